// Mesh files: sharing by path, the decoded record, and every way a damaged
// or lying file is refused without reading past its data.
#include <cstring>

#include "device/d3d_vbuf.h"
#include "device/mesh.h"
#include "device/mesh_format.h"
#include "platform/file_stream.h"
#include "tests/device/gl_env.h"

namespace {

// A quad of two triangles: position (FLOAT3) and colour, 16-byte vertices.
mesh_format::MeshData quad_mesh() {
  mesh_format::MeshData m;
  m.shaderLow = "obj.sh";
  m.shaderHigh = "dr_obj.sh";
  m.textures = {"stone.dds", "moss.dds"};
  m.balls = {0, 1, 0, 0.5f, 1, 2, 3, 0.25f};
  m.elements = {{0, 0, VDECL_FLOAT3, VDECL_POSITION, 0}, {12, 0, VDECL_D3DCOLOR, VDECL_COLOR, 0}};
  m.stride = 16;
  m.vertices.resize(4 * 16);
  for (int i = 0; i < 64; i++) m.vertices[size_t(i)] = uint8_t(i * 3);
  m.indices = {0, 1, 2, 2, 1, 3};
  return m;
}

// Offsets inside the encoded quad mesh (body starts at 8).
int counts_offset(const mesh_format::MeshData& m) {
  int p = 8 + 1 + int(m.shaderLow.size()) + 1 + 1 + int(m.shaderHigh.size()) + 1 + 1;
  for (auto& t : m.textures) p += int(t.size()) + 2;
  return p + 1 + int(m.balls.size()) * 4 + 1 + int(m.elements.size()) * 6;
}
void put32(std::vector<uint8_t>& f, int at, uint32_t v) {
  for (int i = 0; i < 4; i++) f[size_t(at + i)] = uint8_t(v >> (8 * i));
}

struct Refusal {
  std::string message;
  int code;
};
Refusal refusal(const std::vector<uint8_t>& file) {
  try {
    Mesh* m = parse_mesh_image(file.data(), int(file.size()));
    release_mesh(m);
  } catch (const StreamException& e) {
    return {e.message, e.code};
  }
  return {"accepted", 0};
}

class Meshes : public DeviceTest {
 protected:
  void TearDown() override { close_all_meshes(); }
};

TEST_F(Meshes, DecodesEveryFieldIntoStaticBuffers) {
  auto data = quad_mesh();
  write_app_file("meshes/quad.mesh", mesh_format::encode(data));
  int vbs = get_vb_count(), ibs = get_ib_count();
  Mesh* m = load_mesh("meshes/quad.mesh", true);
  EXPECT_STREQ(m->shaderLow, "obj.sh");
  EXPECT_STREQ(m->shaderHigh, "dr_obj.sh");
  ASSERT_EQ(m->textures.size(), 2);
  EXPECT_STREQ(m->textures[1].name, "moss.dds");
  ASSERT_EQ(m->balls.size(), 2);
  EXPECT_FLOAT_EQ(m->balls[1].z, 3.f);
  EXPECT_FLOAT_EQ(m->balls[1].radius, 0.25f);
  ASSERT_EQ(m->vsd.size(), 2);
  EXPECT_EQ(m->vsd[1].offset, 12);
  EXPECT_EQ(m->vsd[1].type, VDECL_D3DCOLOR);
  EXPECT_EQ(m->numVerts, 4);
  EXPECT_EQ(m->vertStride, 16);
  EXPECT_EQ(m->numFaces, 2);
  EXPECT_EQ(get_vb_count(), vbs + 1);
  EXPECT_EQ(get_ib_count(), ibs + 1);
  EXPECT_EQ(m->vb->size, 64);
  EXPECT_EQ(m->ib->size, 12);
  EXPECT_TRUE(m->vb->flags & BUF_STATIC);
  EXPECT_NE(std::string(m->path).find("/meshes/quad.mesh"), std::string::npos);
  release_mesh(m);
  EXPECT_EQ(get_mesh_count(), 0);
  EXPECT_EQ(get_vb_count(), vbs);
  EXPECT_EQ(get_ib_count(), ibs);
}

TEST_F(Meshes, OnePathInAnyCaseOrSlashIsOneRecord) {
  write_app_file("meshes/quad.mesh", mesh_format::encode(quad_mesh()));
  Mesh* a = load_mesh("meshes/quad.mesh", true);
  Mesh* b = load_mesh("MESHES\\Quad.MESH", true);
  EXPECT_EQ(a, b);
  EXPECT_EQ(a->refs, 2);
  EXPECT_EQ(get_mesh_count(), 1);
  release_mesh(b);
  EXPECT_EQ(get_mesh_count(), 1);
  release_mesh(a);
  EXPECT_EQ(get_mesh_count(), 0);
}

TEST_F(Meshes, NoTexturesAndNoShadowBallsLoad) {
  auto data = quad_mesh();
  data.textures.clear();
  data.balls.clear();
  write_app_file("meshes/bare.mesh", mesh_format::encode(data));
  Mesh* m = load_mesh("meshes/bare.mesh", true);
  EXPECT_EQ(m->textures.size(), 0);
  EXPECT_EQ(m->balls.size(), 0);
  EXPECT_EQ(m->numFaces, 2);
}

TEST_F(Meshes, DamagedOrLyingFilesAreRefusedAtTheBadField) {
  auto data = quad_mesh();
  const std::vector<uint8_t> good = mesh_format::encode(data);
  const int counts = counts_offset(data);
  ASSERT_EQ(refusal(good).message, "accepted");

  auto bad = good;
  put32(bad, 0, 0x12040901u);
  EXPECT_EQ(refusal(bad).message, "Invalid mesh file version");
  EXPECT_EQ(refusal(bad).code, -1);

  bad = good;  // body size larger than the file
  put32(bad, 4, uint32_t(good.size()));
  EXPECT_EQ(refusal(bad).message, "Mesh body runs past the end of the file");

  bad = good;  // every prefix of the body: some field runs past its end
  for (size_t cut = 8; cut < good.size(); cut += 3) {
    std::vector<uint8_t> t(good.begin(), good.begin() + long(cut));
    put32(t, 4, uint32_t(cut - 8));
    Refusal r = refusal(t);
    EXPECT_EQ(r.message, "Mesh data runs past the end of its body") << cut;
    EXPECT_GE(r.code, 8);
    EXPECT_LE(r.code, int(cut));
  }

  bad = good;  // a vertex count whose data the body does not hold
  put32(bad, counts, 5);
  EXPECT_EQ(refusal(bad).message, "Mesh data runs past the end of its body");
  bad = good;
  put32(bad, counts + 8, 0x40000000u);
  EXPECT_EQ(refusal(bad).message, "Too many triangles in mesh");
  bad = good;
  put32(bad, counts + 8, 3);
  EXPECT_EQ(refusal(bad).message, "Mesh data runs past the end of its body");
  bad = good;
  put32(bad, counts, 65536);
  EXPECT_EQ(refusal(bad).message, "Too many vertices in mesh");
  EXPECT_EQ(refusal(bad).code, counts);
  bad = good;
  put32(bad, counts + 4, 0);
  EXPECT_EQ(refusal(bad).message, "Bad vertex stride");
  bad = good;  // a stride so small that the colour element lies past it
  put32(bad, counts + 4, 8);
  put32(bad, counts, 8);
  EXPECT_EQ(refusal(bad).message, "Vertex element lies outside the vertex stride");

  bad = good;  // the last index points past the vertices
  bad[bad.size() - 2] = 4;
  Refusal r = refusal(bad);
  EXPECT_EQ(r.message, "Vertex index out of range");
  EXPECT_EQ(r.code, int(bad.size()) - 2);

  data.elements[1].stream = 255;  // an end record inside the list
  EXPECT_EQ(refusal(mesh_format::encode(data)).message, "Vertex element outside stream 0");
  data = quad_mesh();
  data.elements[1].type = 0;
  EXPECT_EQ(refusal(mesh_format::encode(data)).message, "Unknown vertex element type");
  data = quad_mesh();
  data.textures[0] = std::string(64, 't');  // does not fit its 64-byte slot
  EXPECT_EQ(refusal(mesh_format::encode(data)).message, "Name too long in mesh file");

  // Nothing half-built is left behind.
  EXPECT_EQ(get_mesh_count(), 0);
}

TEST_F(Meshes, FailuresEndTheProgramWithTheFileNamed) {
  auto bad = mesh_format::encode(quad_mesh());
  put32(bad, 0, 7);
  write_app_file("meshes/old.mesh", bad);
  EXPECT_EXIT(load_mesh("meshes/old.mesh", true), testing::ExitedWithCode(100),
              "Error reading mesh file '.*meshes/old.mesh':\nInvalid mesh file version \\(offset -1\\)");
  EXPECT_EXIT(load_mesh("meshes/none.mesh", true), testing::ExitedWithCode(100),
              "Error reading mesh file '.*meshes/none.mesh':\nCan't open file \\(offset -1\\)");
  // Not required: the message goes to the log, then the missing mesh is fatal.
  EXPECT_EXIT(load_mesh("meshes/old.mesh", false), testing::ExitedWithCode(100), "failed ASSERT\\(m\\)");
  auto good = mesh_format::encode(quad_mesh());
  std::vector<uint8_t> header_only(good.begin(), good.begin() + 6);
  write_app_file("meshes/short.mesh", header_only);
  EXPECT_EXIT(load_mesh("meshes/short.mesh", true), testing::ExitedWithCode(100), "short.mesh':\nerror reading file");
}

}  // namespace
