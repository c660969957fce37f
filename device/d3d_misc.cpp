// Render states, clears, transforms; GPU flush and free memory.
#include <cmath>

#include "platform/globals.h"
#include "platform/log.h"
#include "device/d3d_internal.h"

// ---- render states ----
// Each records what the caller asks for and brings the driver's state up to
// date; only settings that differ from what the driver holds are sent.

namespace {
void set_blend(GLenum src, GLenum dst) {
  dev.want.blend = true;
  dev.want.blendSrc = src;
  dev.want.blendDst = dst;
  apply_render_states();
}
}  // namespace

void set_blend_none() {
  dev.want.blend = false;
  apply_render_states();
}
void set_blend_additive() { set_blend(GL_ONE, GL_ONE); }
void set_blend_smooth_add() { set_blend(GL_ONE, GL_ONE_MINUS_SRC_COLOR); }
void set_blend_alpha() { set_blend(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA); }
void set_blend_prealpha() { set_blend(GL_ONE, GL_ONE_MINUS_SRC_ALPHA); }
void set_blend_multiply() { set_blend(GL_DST_COLOR, GL_ZERO); }

void set_atest(int ref) {
  // Alpha testing runs at the end of every pixel shader (see the preamble):
  // a pixel passes when its alpha, as an 8-bit value, is at least ref.
  float on = ref < 1 ? 0.f : 1.f;
  if (dev.layer[4] == on && dev.layer[5] == float(ref)) return;
  dev.layer[4] = on;
  dev.layer[5] = float(ref);
  dev.layerDirty = true;
}

void set_cull_mode(int on) {
  dev.want.cull = on != 0;
  apply_render_states();
}
void set_zenable(bool on) {
  dev.want.zenable = on;
  apply_render_states();
}
void set_zwrite(bool on) {
  dev.want.zwrite = on;
  apply_render_states();
}
void set_color_write_mask(int mask) {
  dev.want.colorMask = uint8_t(mask & 0xF);
  apply_render_states();
}
void set_wireframe(bool on) {
  dev.want.wireframe = on;
  apply_render_states();
}

namespace {
GLenum gl_cmp(int func) {
  static const GLenum map[9] = {GL_ALWAYS, GL_NEVER, GL_LESS, GL_EQUAL, GL_LEQUAL,
                                GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};
  return func >= 1 && func <= 8 ? map[func] : GL_ALWAYS;
}
}  // namespace

void set_stencil_test(int mask, int ref, int func) {
  dev.want.stencilOn = mask != 0;
  if (mask != 0) {
    dev.want.stencilFunc = gl_cmp(func);
    dev.want.stencilRef = ref;
    dev.want.stencilReadMask = GLuint(mask);
  }
  apply_render_states();
}

void set_stencil_replace_bits(int bits) {
  dev.want.stencilWriteMask = GLuint(bits);
  dev.want.stencilPass = bits ? GL_REPLACE : GL_KEEP;
  apply_render_states();
}

// ---- clears ----

namespace {
void clear_target(bool color, D3dColor c, bool depth) {
  if (!gl_context) return;
  apply_targets();
  // Clears fill the whole target whatever the write masks say; depth and
  // stencil only exist while the depth buffer is bound. The masks the
  // callers set are put back by the next draw.
  GLbitfield bits = 0;
  if (color) {
    vec4f v = c.toVec4();
    const float rgba[4] = {v.x, v.y, v.z, v.w};
    gl_clear_color(rgba);
    gl_color_mask(0xF);
    bits |= GL_COLOR_BUFFER_BIT;
  }
  if (depth && dev.depthBound) {
    gl_depth_mask(true);
    gl_stencil_write_mask(0xFF);
    bits |= GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT;
  }
  if (bits) glClear(bits);
  apply_render_states();
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
