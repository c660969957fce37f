// Render states, clears, transforms, vertex declarations, stream binding and
// the per-draw set-up of vertex inputs; GPU flush and free memory.
#include <epoxy/gl.h>

#include <cmath>
#include <cstring>

#include "platform/globals.h"
#include "platform/log.h"
#include "device/d3d_internal.h"
#include "device/d3d_shaders.h"
#include "device/d3d_vbuf.h"

// ---- render states ----

void set_blend_none() { glDisable(GL_BLEND); }
void set_blend_additive() {
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE);
}
void set_blend_smooth_add() {
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_COLOR);
}
void set_blend_alpha() {
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}
void set_blend_prealpha() {
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
}
void set_blend_multiply() {
  glEnable(GL_BLEND);
  glBlendFunc(GL_DST_COLOR, GL_ZERO);
}

void set_atest(int ref) {
  // Alpha testing runs at the end of every pixel shader (see the preamble):
  // a pixel passes when its alpha, as an 8-bit value, is at least ref.
  dev.layer[4] = ref < 1 ? 0.f : 1.f;
  dev.layer[5] = float(ref);
  dev.layerDirty = true;
}

void set_cull_mode(int on) {
  dev.cullOn = on != 0;
  if (dev.cullOn)
    glEnable(GL_CULL_FACE);
  else
    glDisable(GL_CULL_FACE);
}

void apply_depth_stencil_enables() {
  // Without a bound depth buffer neither test can run.
  if (dev.zenable && dev.depthBound)
    glEnable(GL_DEPTH_TEST);
  else
    glDisable(GL_DEPTH_TEST);
  if (dev.stencilOn && dev.depthBound)
    glEnable(GL_STENCIL_TEST);
  else
    glDisable(GL_STENCIL_TEST);
}

void set_zenable(bool on) {
  dev.zenable = on;
  apply_depth_stencil_enables();
}
void set_zwrite(bool on) {
  dev.zwrite = on;
  glDepthMask(on ? GL_TRUE : GL_FALSE);
}
void set_color_write_mask(int mask) {
  glColorMask((mask & 1) != 0, (mask & 2) != 0, (mask & 4) != 0, (mask & 8) != 0);
}
void set_wireframe(bool on) { glPolygonMode(GL_FRONT_AND_BACK, on ? GL_LINE : GL_FILL); }

namespace {
GLenum gl_cmp(int func) {
  static const GLenum map[9] = {GL_ALWAYS, GL_NEVER, GL_LESS, GL_EQUAL, GL_LEQUAL,
                                GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};
  return func >= 1 && func <= 8 ? map[func] : GL_ALWAYS;
}
}  // namespace

void set_stencil_test(int mask, int ref, int func) {
  if (mask == 0) {
    dev.stencilOn = false;
  } else {
    dev.stencilOn = true;
    glStencilFunc(gl_cmp(func), ref, GLuint(mask));
  }
  apply_depth_stencil_enables();
}

void set_stencil_replace_bits(int bits) {
  glStencilMask(GLuint(bits));
  glStencilOp(GL_KEEP, GL_KEEP, bits ? GL_REPLACE : GL_KEEP);
}

// ---- clears ----

namespace {
void clear_target(bool color, D3dColor c, bool depth) {
  if (!gl_context) return;
  // Clears fill the whole target whatever the write masks say; depth and
  // stencil only exist while the depth buffer is bound.
  GLboolean cm[4];
  GLboolean dm;
  GLint sm;
  glGetBooleanv(GL_COLOR_WRITEMASK, cm);
  glGetBooleanv(GL_DEPTH_WRITEMASK, &dm);
  glGetIntegerv(GL_STENCIL_WRITEMASK, &sm);
  GLbitfield bits = 0;
  if (color) {
    vec4f v = c.toVec4();
    glClearColor(v.x, v.y, v.z, v.w);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    bits |= GL_COLOR_BUFFER_BIT;
  }
  if (depth && dev.depthBound) {
    glClearDepth(1.0);
    glClearStencil(0);
    glDepthMask(GL_TRUE);
    glStencilMask(0xFF);
    bits |= GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT;
  }
  if (bits) glClear(bits);
  glColorMask(cm[0], cm[1], cm[2], cm[3]);
  glDepthMask(dm);
  glStencilMask(GLuint(sm));
}
}  // namespace

void clear_view(D3dColor color) { clear_target(true, color, true); }
void clear_view_color(D3dColor color) { clear_target(true, color, false); }
void clear_view_z() { clear_target(false, D3dColor(), true); }

// ---- transforms ----

void set_view_tm(const Matrix44& tm) { dev.viewTm = tm; }
void set_proj_tm(const Matrix44& tm) { dev.projTm = tm; }
void set_proj_tm(float fov_y, float aspect, float zn, float zf) {
  float a = 1.f / std::tan(fov_y * 0.5f);
  float q = zf / (zf - zn);
  Matrix44 m;
  m.row[0] = vec4f(a / aspect, 0, 0, 0);
  m.row[1] = vec4f(0, a, 0, 0);
  m.row[2] = vec4f(0, 0, q, 1);
  m.row[3] = vec4f(0, 0, -zn * q, 0);
  dev.projTm = m;
}
void get_glob_tm(Matrix44& out) { out = dev.viewTm * dev.projTm; }
const Matrix44& get_view_tm() { return dev.viewTm; }
const Matrix44& get_proj_tm() { return dev.projTm; }

// ---- vertex declarations ----

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

void set_vdecl(VDecl* decl) {
  if (decl != dev.vdecl) dev.inputsDirty = true;
  dev.vdecl = decl;
}

int get_vdecl_count() {
  int n = 0;
  for (VDecl* c : vdecl_cache) n += c != nullptr;
  return n;
}

void release_vdecls() {
  for (VDecl*& c : vdecl_cache) {
    delete c;
    c = nullptr;
  }
  dev.vdecl = nullptr;
  dev.lastVdecl = nullptr;
}

// ---- streams ----

void set_vb(int stream, VertexBuffer* vb, int offset, int stride) {
  G_ASSERT(stream >= 0 && stream < MAX_STREAMS);
  StreamSource& s = dev.streams[stream];
  if (s.vb != vb || s.offset != offset || s.stride != stride) dev.inputsDirty = true;
  s.vb = vb;
  s.offset = offset;
  s.stride = stride;
}

void set_ib(IndexBuffer* ib) {
  dev.ib = ib;
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, ib ? ib->buffer : 0);
}

void vdecl_reset_state() {
  for (auto& s : dev.streams) s = StreamSource{};
  dev.ib = nullptr;
  if (gl_context) glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
  dev.inputsDirty = true;
}

// ---- per-draw set-up ----

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
}  // namespace

uint32_t prepare_draw(bool indexed, int first_vertex, int vertex_count, int instances) {
  ShaderRecord* s = dev.shader;
  if (!s || !s->program || !dev.vdecl) return RESULT_INVALID_OPERATION;
  if (dev.usedProgram != s->program) {
    glUseProgram(s->program);
    dev.usedProgram = s->program;
  }
  upload_shader_consts();
  bool instanced = indexed && instances > 0;

  // Every element a shader input reads must lie inside its stream's buffer.
  const VDecl* d = dev.vdecl;
  for (int i = 0; i < s->numInputs; i++) {
    const ShaderInput& in = s->inputs[i];
    const DeclElement* e = find_element(d, in.usage, in.usageIndex);
    if (!e) continue;
    const StreamSource& st = dev.streams[e->stream];
    if (!st.vb || !st.vb->buffer || st.offset < 0 || st.stride < 0) return RESULT_INVALID_OPERATION;
    int64_t last = (instanced && e->stream == 1) ? instances - 1 : int64_t(first_vertex) + vertex_count - 1;
    int64_t end = int64_t(st.offset) + e->offset + last * st.stride + type_info(e->type).bytes;
    if (end > st.vb->size) return RESULT_INVALID_VALUE;
  }

  if (!dev.inputsDirty && dev.lastShader == s && dev.lastSerial == s->serial && dev.lastVdecl == d &&
      dev.lastInstanced == instanced)
    return 0;

  uint32_t enabled = 0;
  GLuint bound = 0;
  for (int i = 0; i < s->numInputs; i++) {
    const ShaderInput& in = s->inputs[i];
    GLuint loc = GLuint(in.location);
    const DeclElement* e = find_element(d, in.usage, in.usageIndex);
    if (!e) {
      glDisableVertexAttribArray(loc);
      glVertexAttrib4f(loc, 0, 0, 0, 1);
      continue;
    }
    const StreamSource& st = dev.streams[e->stream];
    if (st.vb->buffer != bound) {
      glBindBuffer(GL_ARRAY_BUFFER, st.vb->buffer);
      bound = st.vb->buffer;
    }
    TypeInfo ti = type_info(e->type);
    glVertexAttribPointer(loc, ti.size, ti.type, ti.normalized, st.stride,
                          reinterpret_cast<const void*>(intptr_t(st.offset) + e->offset));
    glVertexAttribDivisor(loc, (instanced && e->stream == 1) ? 1 : 0);
    glEnableVertexAttribArray(loc);
    enabled |= 1u << loc;
  }
  uint32_t stale = dev.enabledAttribs & ~enabled;
  for (int loc = 0; stale; loc++, stale >>= 1)
    if (stale & 1) glDisableVertexAttribArray(GLuint(loc));
  dev.enabledAttribs = enabled;
  dev.lastShader = s;
  dev.lastSerial = s->serial;
  dev.lastVdecl = dev.vdecl;
  dev.lastInstanced = instanced;
  dev.inputsDirty = false;
  return 0;
}

// ---- utilities ----

void flush_gpu() {
  G_ASSERT(dev.flushQuery);
  glDeleteSync(dev.flushQuery);
  dev.flushQuery = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
  GLbitfield flags = GL_SYNC_FLUSH_COMMANDS_BIT;
  for (;;) {
    GLenum r = glClientWaitSync(dev.flushQuery, flags, 0);
    if (r == GL_ALREADY_SIGNALED || r == GL_CONDITION_SATISFIED || r == GL_WAIT_FAILED) break;
  }
}

unsigned get_free_texmem() {
  G_ASSERT(gl_context);
  uint64_t kb = 0;
  if (epoxy_has_gl_extension("GL_NVX_gpu_memory_info")) {
    GLint v = 0;
    glGetIntegerv(0x9049, &v);  // current available video memory, KiB
    kb = uint64_t(v > 0 ? v : 0);
  } else if (epoxy_has_gl_extension("GL_ATI_meminfo")) {
    GLint v[4] = {};
    glGetIntegerv(0x87FC, v);  // free texture memory, KiB
    kb = uint64_t(v[0] > 0 ? v[0] : 0);
  }
  uint64_t bytes = kb * 1024;
  // More than 4 GiB free reads as the largest unsigned value, never wraps.
  return bytes > 0xFFFFFFFFull ? 0xFFFFFFFFu : unsigned(bytes);
}
