// Vertex declarations, stream and index binding, and the vertex arrays a draw
// binds: one per declaration, program inputs and instancing, made when first
// drawn with and kept. A draw binds its array and sends only the streams and
// the index buffer that changed since that array was last used.
//
// Where the driver binds vertex formats and buffers apart, an array holds the
// formats and a stream change is one buffer binding; otherwise a stream
// change re-specifies the attributes that read that stream.
//
// Sections: declarations · streams · vertex arrays · per-draw set-up.
#include <cstring>
#include <vector>

#include "platform/log.h"
#include "device/d3d_internal.h"
#include "device/d3d_shaders.h"
#include "device/d3d_vbuf.h"

// ---- declarations ----

namespace {
VDecl* vdecl_cache[MAX_VDECLS];

uint8_t decl_type(uint8_t t) {
  switch (t) {
    case VDECL_FLOAT1: return DECLTYPE_FLOAT1;
    case VDECL_FLOAT2: return DECLTYPE_FLOAT2;
    case VDECL_FLOAT3: return DECLTYPE_FLOAT3;
    case VDECL_FLOAT4: return DECLTYPE_FLOAT4;
    case VDECL_D3DCOLOR: return DECLTYPE_D3DCOLOR;
    case VDECL_SHORT2: return DECLTYPE_SHORT2;
    case VDECL_SHORT4: return DECLTYPE_SHORT4;
    default: return DECLTYPE_UNUSED;
  }
}
uint8_t decl_usage(uint8_t u) {
  switch (u) {
    case VDECL_POSITION: return DECLUSAGE_POSITION;
    case VDECL_NORMAL: return DECLUSAGE_NORMAL;
    case VDECL_COLOR: return DECLUSAGE_COLOR;
    case VDECL_TEXCOORD: return DECLUSAGE_TEXCOORD;
    default: return DECLUSAGE_TANGENT;
  }
}

// The checks the device makes when a declaration is created: streams in
// range, 4-byte aligned offsets, each usage and index at most once.
bool decl_valid(const VDecl& d) {
  for (int i = 0; i + 1 < d.count; i++) {
    const DeclElement& e = d.elems[i];
    if (e.type == DECLTYPE_UNUSED) continue;
    if (e.stream >= MAX_STREAMS || (e.offset & 3) != 0) return false;
    for (int j = 0; j < i; j++) {
      const DeclElement& o = d.elems[j];
      if (o.type != DECLTYPE_UNUSED && o.usage == e.usage && o.usageIndex == e.usageIndex) return false;
    }
  }
  return true;
}
}  // namespace

VDecl* create_vdecl(const VertexElement* elements) {
  VDecl d;
  std::memset(&d, 0, sizeof(d));
  int n = 0;  // records converted
  for (; elements[n].stream != 255; n++) {
    int i = n + 1;  // elements with the end marker, which must still fit
    G_ASSERT(i<MAX_VDECL_LEN);
    DeclElement& e = d.elems[n];
    e.stream = elements[n].stream;
    e.offset = elements[n].offset;
    e.type = decl_type(elements[n].type);
    e.method = 0;
    e.usage = decl_usage(elements[n].usage);
    e.usageIndex = elements[n].usage_index;
  }
  d.elems[n] = DeclElement{0xFF, 0, DECLTYPE_UNUSED, 0, 0, 0};
  d.count = n + 1;

  for (VDecl* c : vdecl_cache)
    if (c && c->count == d.count && std::memcmp(c->elems, d.elems, sizeof(DeclElement) * size_t(d.count)) == 0)
      return c;

  int slot = -1;
  for (int s = 0; s < MAX_VDECLS; s++)
    if (!vdecl_cache[s]) {
      slot = s;
      break;
    }
  if (slot < 0) fatal("reached maximum vertex declaration count");
  if (!decl_valid(d)) {
    debug("VSD:");
    for (int k = 0; k < n; k++)
      debug("  %4u %2u %2u %2u %2u", elements[k].offset, elements[k].stream, elements[k].type, elements[k].usage,
            elements[k].usage_index);
    fatal("failed to create vertex declaration (code 0x%08X)", RESULT_INVALID_VALUE);
  }
  vdecl_cache[slot] = new VDecl(d);
  return vdecl_cache[slot];
}

void set_vdecl(VDecl* decl) { dev.vdecl = decl; }

int get_vdecl_count() {
  int n = 0;
  for (VDecl* c : vdecl_cache) n += c != nullptr;
  return n;
}

void release_vdecls() {
  release_vertex_arrays();
  for (VDecl*& c : vdecl_cache) {
    delete c;
    c = nullptr;
  }
  dev.vdecl = nullptr;
}

// ---- streams ----

void set_vb(int stream, VertexBuffer* vb, int offset, int stride) {
  G_ASSERT(stream >= 0 && stream < MAX_STREAMS);
  dev.streams[stream] = StreamSource{vb, offset, stride};
}

void set_ib(IndexBuffer* ib) { dev.ib = ib; }

void vdecl_reset_state() {
  for (auto& s : dev.streams) s = StreamSource{};
  dev.ib = nullptr;
}

// ---- vertex arrays ----

namespace {
struct TypeInfo {
  GLint size;
  GLenum type;
  GLboolean normalized;
  int bytes;
};
TypeInfo type_info(uint8_t t) {
  switch (t) {
    case DECLTYPE_FLOAT1: return {1, GL_FLOAT, GL_FALSE, 4};
    case DECLTYPE_FLOAT2: return {2, GL_FLOAT, GL_FALSE, 8};
    case DECLTYPE_FLOAT3: return {3, GL_FLOAT, GL_FALSE, 12};
    case DECLTYPE_FLOAT4: return {4, GL_FLOAT, GL_FALSE, 16};
    // Bytes B, G, R, A normalised, read as r, g, b, a.
    case DECLTYPE_D3DCOLOR: return {GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, 4};
    // Signed, not normalised, converted to float.
    case DECLTYPE_SHORT2: return {2, GL_SHORT, GL_FALSE, 4};
    case DECLTYPE_SHORT4: return {4, GL_SHORT, GL_FALSE, 8};
    default: return {0, 0, GL_FALSE, 0};
  }
}

const DeclElement* find_element(const VDecl* d, uint8_t usage, uint8_t index) {
  for (int i = 0; i + 1 < d->count; i++)
    if (d->elems[i].type != DECLTYPE_UNUSED && d->elems[i].usage == usage && d->elems[i].usageIndex == index)
      return &d->elems[i];
  return nullptr;
}

constexpr GLuint NOT_BOUND = 0xFFFFFFFFu;

// One program input fed by a declaration element.
struct Attribute {
  GLuint location;
  const DeclElement* elem;
};

// What a vertex array holds: its key, its attributes, and the buffers the
// driver has bound in it (each array keeps its own).
struct VertexArray {
  const VDecl* decl;
  const ShaderRecord* shader;
  unsigned serial;
  bool instanced;
  GLuint vao;
  std::vector<Attribute> attrs;
  uint32_t streamMask;  // streams the attributes read
  GLuint ib;
  StreamSource bound[MAX_STREAMS];
  GLuint boundBuffer[MAX_STREAMS];
};
std::vector<VertexArray*> arrays;
VertexArray* last_used = nullptr;

bool per_instance(const VertexArray& a, int stream) { return a.instanced && stream == 1; }

VertexArray* make_vertex_array(const VDecl* d, const ShaderRecord* s, bool instanced) {
  auto* a = new VertexArray{};
  a->decl = d;
  a->shader = s;
  a->serial = s->serial;
  a->instanced = instanced;
  a->ib = NOT_BOUND;
  for (GLuint& b : a->boundBuffer) b = NOT_BOUND;
  glGenVertexArrays(1, &a->vao);
  gl_bind_vertex_array(a->vao);
  // Inputs the declaration does not feed stay disabled and read the generic
  // value (0, 0, 0, 1).
  for (int i = 0; i < s->numInputs; i++) {
    const DeclElement* e = find_element(d, s->inputs[i].usage, s->inputs[i].usageIndex);
    if (!e) continue;
    GLuint loc = GLuint(s->inputs[i].location);
    a->attrs.push_back(Attribute{loc, e});
    a->streamMask |= 1u << e->stream;
    glEnableVertexAttribArray(loc);
    if (dev.attribBinding) {
      TypeInfo ti = type_info(e->type);
      glVertexAttribFormat(loc, ti.size, ti.type, ti.normalized, e->offset);
      glVertexAttribBinding(loc, e->stream);
    } else if (per_instance(*a, e->stream)) {
      glVertexAttribDivisor(loc, 1);
    }
  }
  if (dev.attribBinding && instanced && (a->streamMask & 2)) glVertexBindingDivisor(1, 1);
  arrays.push_back(a);
  return a;
}

VertexArray* vertex_array_for(const VDecl* d, const ShaderRecord* s, bool instanced) {
  if (last_used && last_used->decl == d && last_used->shader == s && last_used->serial == s->serial &&
      last_used->instanced == instanced)
    return last_used;
  for (VertexArray* a : arrays)
    if (a->decl == d && a->shader == s && a->serial == s->serial && a->instanced == instanced) return a;
  return make_vertex_array(d, s, instanced);
}

void delete_vertex_array(VertexArray* a) {
  if (a == last_used) last_used = nullptr;
  if (gl_context) {
    gl_bind_vertex_array(0);  // never delete the bound array
    glDeleteVertexArrays(1, &a->vao);
  }
  delete a;
}

// Sends a stream's buffer, offset and stride to the bound array when they
// changed. A buffer the writer appends to is read from where its current
// batch starts.
void bind_stream(VertexArray& a, int stream) {
  const StreamSource& want = dev.streams[stream];
  GLuint buffer = want.vb->buffer;
  int offset = want.offset + want.vb->drawBase;
  StreamSource& have = a.bound[stream];
  if (a.boundBuffer[stream] == buffer && have.offset == offset && have.stride == want.stride) return;
  a.boundBuffer[stream] = buffer;
  have = StreamSource{want.vb, offset, want.stride};
  device_counters.stateChanges++;
  if (dev.attribBinding) {
    glBindVertexBuffer(GLuint(stream), buffer, offset, want.stride);
    return;
  }
  gl_bind_array_buffer(buffer);
  for (const Attribute& at : a.attrs) {
    if (at.elem->stream != stream) continue;
    TypeInfo ti = type_info(at.elem->type);
    glVertexAttribPointer(at.location, ti.size, ti.type, ti.normalized, want.stride,
                          reinterpret_cast<const void*>(intptr_t(offset) + at.elem->offset));
  }
}
}  // namespace

void forget_vertex_array_buffer(GLuint buffer) {
  for (VertexArray* a : arrays) {
    for (GLuint& b : a->boundBuffer)
      if (b == buffer) b = NOT_BOUND;
    if (a->ib == buffer) a->ib = NOT_BOUND;
  }
}

void forget_shader_inputs(const ShaderRecord* s) {
  for (size_t i = 0; i < arrays.size();) {
    if (arrays[i]->shader == s) {
      delete_vertex_array(arrays[i]);
      arrays.erase(arrays.begin() + long(i));
    } else {
      i++;
    }
  }
}

void release_vertex_arrays() {
  for (VertexArray* a : arrays) delete_vertex_array(a);
  arrays.clear();
}

int get_vertex_array_count() { return int(arrays.size()); }

// ---- per-draw set-up ----

uint32_t prepare_draw(bool indexed, int first_vertex, int vertex_count, int instances) {
  ShaderRecord* s = dev.shader;
  if (!s || !s->program || !dev.vdecl) return RESULT_INVALID_OPERATION;
  bool instanced = indexed && instances > 0;
  VertexArray& a = *vertex_array_for(dev.vdecl, s, instanced);

  // Every element a program input reads must lie inside its stream's buffer.
  for (const Attribute& at : a.attrs) {
    const StreamSource& st = dev.streams[at.elem->stream];
    if (!st.vb || !st.vb->buffer || st.offset < 0 || st.stride < 0) return RESULT_INVALID_OPERATION;
    int64_t last = per_instance(a, at.elem->stream) ? instances - 1 : int64_t(first_vertex) + vertex_count - 1;
    int64_t end = int64_t(st.offset) + st.vb->drawBase + at.elem->offset + last * st.stride +
                  type_info(at.elem->type).bytes;
    if (end > st.vb->size) return RESULT_INVALID_VALUE;
  }

  gl_use_program(s->program);
  upload_shader_consts();
  apply_targets();
  apply_render_states();
  apply_textures(s->samplerMask);
  gl_bind_vertex_array(a.vao);
  last_used = &a;
  for (int stream = 0; stream < MAX_STREAMS; stream++)
    if (a.streamMask >> stream & 1) bind_stream(a, stream);
  // The index buffer binding belongs to the array.
  if (indexed && a.ib != dev.ib->buffer) {
    a.ib = dev.ib->buffer;
    device_counters.stateChanges++;
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, a.ib);
  }
  return 0;
}
