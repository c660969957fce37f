// Mesh files: loading, decoding into static buffers, sharing by path.
#include "device/mesh.h"

#include <strings.h>

#include <cstring>

#include "device/d3d_vbuf.h"
#include "device/mesh_format.h"
#include "platform/file_stream.h"
#include "platform/log.h"
#include "platform/platform.h"

namespace {
DynArray<Mesh*> loaded_meshes;

// Reads the body front to back; every field that would run past its end
// throws with the file position of that field.
struct BodyReader {
  const uint8_t* data;
  int size;
  int pos = 0;

  [[noreturn]] void fail(const char* what) const {
    throw InputStream::Exception(what, mesh_format::HEADER_BYTES + pos);
  }
  [[noreturn]] void fail_at(int at, const char* what) {
    pos = at;
    fail(what);
  }
  const uint8_t* take(int64_t n) {
    if (n < 0 || n > int64_t(size - pos)) fail("Mesh data runs past the end of its body");
    const uint8_t* p = data + pos;
    pos += int(n);
    return p;
  }
  uint8_t u8() { return *take(1); }
  uint32_t u32() {
    const uint8_t* p = take(4);
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
  }
  // A length byte, the characters and their NUL.
  void name(char* out, int out_size) {
    int len = u8();
    if (len + 1 > out_size) fail("Name too long in mesh file");
    const uint8_t* p = take(len + 1);
    std::memcpy(out, p, size_t(len));
    out[len] = 0;
  }
};

void destroy_mesh(Mesh* m) {
  if (m->vb) release_vb(m->vb);
  if (m->ib) release_ib(m->ib);
  m->vsd.reset();
  m->textures.reset();
  m->balls.reset();
  delete m;
}

void read_elements(BodyReader& r, Mesh& m) {
  int count = r.u8();
  for (int i = 0; i < count; i++) {
    const uint8_t* p = r.take(mesh_format::ELEMENT_BYTES);
    VertexElement e;
    e.offset = uint16_t(p[0] | p[1] << 8);
    e.stream = p[2];
    e.type = p[3];
    e.usage = p[4];
    e.usage_index = p[5];
    // The mesh owns stream 0 only; an end record inside the list would cut
    // the declaration short.
    if (e.stream != 0) r.fail("Vertex element outside stream 0");
    if (mesh_format::element_type_size(e.type) == 0) r.fail("Unknown vertex element type");
    m.vsd.push_back(e);
  }
}

// The elements must lie inside one vertex, so that no draw reads past the
// vertex buffer.
void check_elements_fit(const BodyReader& r, const Mesh& m) {
  for (const VertexElement& e : m.vsd)
    if (int(e.offset) + mesh_format::element_type_size(e.type) > m.vertStride)
      r.fail("Vertex element lies outside the vertex stride");
}

void upload(Mesh& m, const uint8_t* verts, const uint8_t* idx) {
  int vbytes = m.numVerts * m.vertStride;
  m.vb = create_vb(vbytes, BUF_STATIC);
  if (!m.vb) throw InputStream::Exception("Can't create vertex buffer", -1);
  void* vp = lock_vb(m.vb, 0, 0);
  if (!vp) throw InputStream::Exception("Can't lock vertex buffer", -1);
  std::memcpy(vp, verts, size_t(vbytes));
  unlock_vb(m.vb);

  m.ib = create_ib(m.numFaces * 3, BUF_STATIC);
  if (!m.ib) throw InputStream::Exception("Can't create index buffer", -1);
  void* ip = lock_ib(m.ib, 0, 0);
  if (!ip) throw InputStream::Exception("Can't lock index buffer", -1);
  std::memcpy(ip, idx, size_t(m.numFaces) * 6);
  unlock_ib(m.ib);
}

// Reads and checks the body into m; the buffers are made only when asked.
void decode_body(BodyReader& r, Mesh& m, bool create_buffers) {
  r.name(m.shaderLow, int(sizeof(m.shaderLow)));
  r.name(m.shaderHigh, int(sizeof(m.shaderHigh)));
  int ntex = r.u8();
  for (int i = 0; i < ntex; i++) {
    MeshTextureName t;
    r.name(t.name, int(sizeof(t.name)));
    m.textures.push_back(t);
  }
  int nballs = r.u8();
  for (int i = 0; i < nballs; i++) {
    ShadowBall b;
    std::memcpy(&b, r.take(mesh_format::BALL_BYTES), sizeof(b));
    m.balls.push_back(b);
  }
  read_elements(r, m);
  // Each count is judged where it stands, so the message points at it.
  int at = r.pos;
  uint32_t nv = r.u32();
  if (nv > uint32_t(mesh_format::MAX_VERTICES)) r.fail_at(at, "Too many vertices in mesh");
  if (nv == 0) r.fail_at(at, "Mesh has no vertices");
  at = r.pos;
  uint32_t stride = r.u32();
  if (stride == 0 || stride > 1024) r.fail_at(at, "Bad vertex stride");
  at = r.pos;
  uint32_t nf = r.u32();
  if (nf > uint32_t(mesh_format::MAX_TRIANGLES)) r.fail_at(at, "Too many triangles in mesh");
  if (nf == 0) r.fail_at(at, "Mesh has no triangles");
  m.numVerts = int(nv);
  m.vertStride = int(stride);
  m.numFaces = int(nf);
  check_elements_fit(r, m);
  const uint8_t* verts = r.take(int64_t(nv) * stride);
  int idx_pos = r.pos;
  const uint8_t* idx = r.take(int64_t(nf) * 6);
  for (uint32_t i = 0; i < nf * 3; i++) {
    uint32_t v = uint32_t(idx[2 * i] | idx[2 * i + 1] << 8);
    if (v >= nv) r.fail_at(idx_pos + int(2 * i), "Vertex index out of range");
  }
  if (create_buffers) upload(m, verts, idx);
}

Mesh* decode_mesh_body(const uint8_t* body, int size, bool create_buffers = true) {
  Mesh* m = new Mesh;
  try {
    BodyReader r{body, size};
    decode_body(r, *m, create_buffers);
  } catch (...) {
    destroy_mesh(m);
    throw;
  }
  return m;
}

uint32_t read_u32(InputStream& in) {
  uint8_t b[4];
  in.read(b, 4);
  return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

Mesh* read_mesh_file(const char* path) {
  FileInputStream in;
  if (!in.open(path)) throw InputStream::Exception("Can't open file", -1);
  if (read_u32(in) != mesh_format::VERSION) throw InputStream::Exception("Invalid mesh file version", -1);
  uint32_t n = read_u32(in);
  // The body must be in the file before anything is allocated for it.
  in.seekToEnd(0);
  int64_t file_size = in.tell();
  in.seekTo(mesh_format::HEADER_BYTES);
  if (int64_t(n) > file_size - mesh_format::HEADER_BYTES)
    throw InputStream::Exception("Mesh body runs past the end of the file", 4);
  DynArray<uint8_t> body;
  body.resize(int(n));
  if (n) in.read(body.data, int(n));
  Mesh* m = decode_mesh_body(body.data, int(n));
  body.reset();
  return m;
}

Mesh* load_mesh_file(const char* full, bool required) {
  try {
    Mesh* m = read_mesh_file(full);
    copy_fixed(m->path, full);
    return m;
  } catch (const InputStream::Exception& e) {
    if (required) fatal("Error reading mesh file '%s':\n%s (offset %d)", full, e.message, e.code);
    debug("Error reading mesh file '%s':\n%s (offset %d)", full, e.message, e.code);
    return nullptr;
  }
}
}  // namespace

namespace {
// The body's length from the header of a whole file image, checked against it.
int image_body_size(const uint8_t* data, int size) {
  auto word = [&](int at) {
    if (size < at + 4) throw InputStream::Exception("error reading file", at);
    return uint32_t(data[at]) | uint32_t(data[at + 1]) << 8 | uint32_t(data[at + 2]) << 16 |
           uint32_t(data[at + 3]) << 24;
  };
  if (word(0) != mesh_format::VERSION) throw InputStream::Exception("Invalid mesh file version", -1);
  uint32_t n = word(4);
  if (int64_t(n) > int64_t(size) - mesh_format::HEADER_BYTES)
    throw InputStream::Exception("Mesh body runs past the end of the file", 4);
  return int(n);
}
}  // namespace

Mesh* parse_mesh_image(const uint8_t* data, int size) {
  int n = image_body_size(data, size);
  return decode_mesh_body(data + mesh_format::HEADER_BYTES, n);
}

void check_mesh_image(const uint8_t* data, int size) {
  int n = image_body_size(data, size);
  destroy_mesh(decode_mesh_body(data + mesh_format::HEADER_BYTES, n, false));
}

Mesh* load_mesh(const char* path, bool required) {
  TempString full = make_full_path(path);
  for (Mesh* m : loaded_meshes)
    if (strcasecmp(m->path, full.c_str()) == 0) {
      m->refs++;
      return m;
    }
  Mesh* m = load_mesh_file(full.c_str(), required);
  G_ASSERT(m);
  m->refs = 1;
  loaded_meshes.push_back(m);
  return m;
}

void release_mesh(Mesh* m) {
  if (!m || --m->refs > 0) return;
  for (int i = 0; i < loaded_meshes.size(); i++)
    if (loaded_meshes[i] == m) {
      loaded_meshes.erase(i);
      break;
    }
  destroy_mesh(m);
}

void close_all_meshes() {
  for (Mesh* m : loaded_meshes) destroy_mesh(m);
  loaded_meshes.reset();
}

int get_mesh_count() { return loaded_meshes.size(); }
