// The shadow of the driver's state: what the device last sent, so that a
// setting, binding, program or target goes to the driver only when it
// changes and nothing is read back during a frame. Also the objects the
// device makes once and keeps: one framebuffer per target set, sampler
// objects per sampler setting, vertex arrays per layout and program inputs.
//
// Sections: the shadow and its setters · render states · targets and their
// framebuffers · textures and samplers · forgetting deleted objects.
#include <cstring>

#include "platform/log.h"
#include "device/d3d_internal.h"
#include "device/d3d_shaders.h"
#include "device/d3d_texture.h"

DeviceCounters device_counters;

namespace {
DeviceCounters last_frame;

// An unknown value never equals what is wanted, so the next request sends it.
constexpr unsigned UNKNOWN = 0xFFFFFFFFu;

struct GlShadow {
  unsigned blend, blendSrc, blendDst, depthTest, depthMask, cull, colorMask, polygonMode;
  unsigned stencilTest, stencilFunc, stencilRef, stencilReadMask, stencilWriteMask, stencilPass;
  unsigned viewportW, viewportH;
  unsigned drawFbo, readFbo, program, vao, arrayBuffer, copyBuffer, activeUnit;
  unsigned textures[MAX_TEXTURE_STAGES], samplers[MAX_TEXTURE_STAGES];
  unsigned uniformGeneric, uniformBuffer[3], uniformOffset[3], uniformSize[3];
  float clearColor[4];  // NaN when unknown
};
GlShadow gl;

// One framebuffer per distinct set of attachments, made when first used.
struct TargetSet {
  GLuint fbo;
  GLuint color[MAX_RENDER_TARGETS];
  GLuint depth;
  unsigned lastUse;
};
constexpr int MAX_TARGET_SETS = 32;

// The objects the device makes once and keeps.
struct StateObjects {
  TargetSet targetSets[MAX_TARGET_SETS];
  unsigned targetClock = 0;  // ages the target sets, the oldest goes first
  GLuint samplers[128];      // by packed sampler settings
};
StateObjects objs;

bool changed(unsigned& have, unsigned want) {
  if (have == want) return false;
  have = want;
  device_counters.stateChanges++;
  return true;
}

void gl_enable(GLenum cap, unsigned& have, bool on) {
  if (!changed(have, on)) return;
  if (on)
    glEnable(cap);
  else
    glDisable(cap);
}
}  // namespace

const DeviceCounters& last_frame_counters() { return last_frame; }
void end_frame_counters() {
  last_frame = device_counters;
  device_counters = DeviceCounters{};
}

// ---- the shadow and its setters ----

void invalidate_gl_shadow() {
  std::memset(&gl, 0xFF, sizeof(gl));  // every field UNKNOWN, the clear colour NaN
}

void gl_use_program(GLuint program) {
  if (changed(gl.program, program)) glUseProgram(program);
}
void gl_bind_vertex_array(GLuint vao) {
  if (changed(gl.vao, vao)) glBindVertexArray(vao);
}
void gl_bind_array_buffer(GLuint buffer) {
  if (changed(gl.arrayBuffer, buffer)) glBindBuffer(GL_ARRAY_BUFFER, buffer);
}
void gl_bind_copy_buffer(GLuint buffer) {
  if (changed(gl.copyBuffer, buffer)) glBindBuffer(GL_COPY_WRITE_BUFFER, buffer);
}
void gl_bind_framebuffer(GLenum target, GLuint fbo) {
  bool draw = target != GL_READ_FRAMEBUFFER, read = target != GL_DRAW_FRAMEBUFFER;
  if (draw && read && gl.drawFbo != fbo && gl.readFbo != fbo) {
    gl.drawFbo = gl.readFbo = fbo;
    device_counters.stateChanges++;
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    return;
  }
  if (draw && changed(gl.drawFbo, fbo)) glBindFramebuffer(GL_DRAW_FRAMEBUFFER, fbo);
  if (read && changed(gl.readFbo, fbo)) glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo);
}
void gl_set_viewport(int w, int h) {
  if (gl.viewportW == unsigned(w) && gl.viewportH == unsigned(h)) return;
  gl.viewportW = unsigned(w);
  gl.viewportH = unsigned(h);
  device_counters.stateChanges++;
  glViewport(0, 0, w, h);
}
void gl_color_mask(uint8_t mask) {
  if (changed(gl.colorMask, mask))
    glColorMask((mask & 1) != 0, (mask & 2) != 0, (mask & 4) != 0, (mask & 8) != 0);
}
void gl_depth_mask(bool on) {
  if (changed(gl.depthMask, on)) glDepthMask(on ? GL_TRUE : GL_FALSE);
}
void gl_stencil_write_mask(GLuint mask) {
  if (changed(gl.stencilWriteMask, mask)) glStencilMask(mask);
}
void gl_clear_color(const float c[4]) {
  if (std::memcmp(gl.clearColor, c, sizeof(gl.clearColor)) == 0) return;
  std::memcpy(gl.clearColor, c, sizeof(gl.clearColor));
  device_counters.stateChanges++;
  glClearColor(c[0], c[1], c[2], c[3]);
}
void gl_bind_uniform_buffer(GLuint buffer) {
  if (changed(gl.uniformGeneric, buffer)) glBindBuffer(GL_UNIFORM_BUFFER, buffer);
}
void gl_bind_uniform_range(GLuint binding, GLuint buffer, GLintptr offset, GLsizeiptr size) {
  if (gl.uniformBuffer[binding] == buffer && gl.uniformOffset[binding] == unsigned(offset) &&
      gl.uniformSize[binding] == unsigned(size))
    return;
  gl.uniformBuffer[binding] = buffer;
  gl.uniformOffset[binding] = unsigned(offset);
  gl.uniformSize[binding] = unsigned(size);
  gl.uniformGeneric = buffer;  // binding a range also binds the buffer itself
  device_counters.stateChanges++;
  glBindBufferRange(GL_UNIFORM_BUFFER, binding, buffer, offset, size);
}

// ---- render states ----

void apply_render_states() {
  const RenderStates& w = dev.want;
  gl_enable(GL_BLEND, gl.blend, w.blend);
  // The blend factors only matter while blending is on.
  if (w.blend && (gl.blendSrc != w.blendSrc || gl.blendDst != w.blendDst)) {
    gl.blendSrc = w.blendSrc;
    gl.blendDst = w.blendDst;
    device_counters.stateChanges++;
    glBlendFunc(w.blendSrc, w.blendDst);
  }
  // Without a bound depth buffer neither test can run.
  gl_enable(GL_DEPTH_TEST, gl.depthTest, w.zenable && dev.depthBound);
  gl_depth_mask(w.zwrite);
  gl_enable(GL_CULL_FACE, gl.cull, w.cull);
  gl_color_mask(w.colorMask);
  if (changed(gl.polygonMode, w.wireframe ? GL_LINE : GL_FILL))
    glPolygonMode(GL_FRONT_AND_BACK, w.wireframe ? GL_LINE : GL_FILL);
  bool stencil = w.stencilOn && dev.depthBound;
  gl_enable(GL_STENCIL_TEST, gl.stencilTest, stencil);
  // The stencil function, mask and operation only act while the test runs.
  if (stencil) {
    if (gl.stencilFunc != w.stencilFunc || gl.stencilRef != unsigned(w.stencilRef) ||
        gl.stencilReadMask != w.stencilReadMask) {
      gl.stencilFunc = w.stencilFunc;
      gl.stencilRef = unsigned(w.stencilRef);
      gl.stencilReadMask = w.stencilReadMask;
      device_counters.stateChanges++;
      glStencilFunc(w.stencilFunc, w.stencilRef, w.stencilReadMask);
    }
    gl_stencil_write_mask(w.stencilWriteMask);
    if (changed(gl.stencilPass, w.stencilPass)) glStencilOp(GL_KEEP, GL_KEEP, w.stencilPass);
  }
}

// ---- targets and their framebuffers ----

namespace {
void delete_target_set(TargetSet& t) {
  if (t.fbo) {
    if (gl.drawFbo == t.fbo) gl.drawFbo = UNKNOWN;
    if (gl.readFbo == t.fbo) gl.readFbo = UNKNOWN;
    glDeleteFramebuffers(1, &t.fbo);
  }
  t = TargetSet{};
}

GLuint framebuffer_for(const GLuint color[MAX_RENDER_TARGETS], GLuint depth) {
  objs.targetClock++;
  TargetSet* oldest = &objs.targetSets[0];
  for (auto& t : objs.targetSets) {
    if (t.fbo && t.depth == depth && std::memcmp(t.color, color, sizeof(t.color)) == 0) {
      t.lastUse = objs.targetClock;
      return t.fbo;
    }
    if (!t.fbo || (oldest->fbo && t.lastUse < oldest->lastUse)) oldest = &t;
  }
  delete_target_set(*oldest);
  TargetSet& t = *oldest;
  std::memcpy(t.color, color, sizeof(t.color));
  t.depth = depth;
  t.lastUse = objs.targetClock;
  glGenFramebuffers(1, &t.fbo);
  gl_bind_framebuffer(GL_FRAMEBUFFER, t.fbo);
  GLenum bufs[MAX_RENDER_TARGETS];
  int n = 0;
  for (int i = 0; i < MAX_RENDER_TARGETS; i++) {
    if (color[i]) {
      glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + i, GL_TEXTURE_2D, color[i], 0);
      n = i + 1;
    }
    bufs[i] = color[i] ? GLenum(GL_COLOR_ATTACHMENT0 + i) : GLenum(GL_NONE);
  }
  if (depth) glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depth);
  glDrawBuffers(n, bufs);
  glReadBuffer(GL_COLOR_ATTACHMENT0);
  return t.fbo;
}
}  // namespace

void apply_targets() {
  GLuint fbo = dev.bbFbo;
  if (dev.targets[0]) {
    GLuint color[MAX_RENDER_TARGETS];
    for (int i = 0; i < MAX_RENDER_TARGETS; i++) color[i] = texture_gl_name(dev.targets[i]);
    fbo = framebuffer_for(color, dev.depthBound ? dev.depthRb : 0);
  }
  gl_bind_framebuffer(GL_FRAMEBUFFER, fbo);
  gl_set_viewport(dev.targetW, dev.targetH);
}

// ---- textures and samplers ----

GLuint sampler_object(SamplerKey key) {
  GLuint& s = objs.samplers[key & 127];
  if (s) return s;
  auto mode = [](int m) -> GLint { return m == 0 ? GL_REPEAT : m == 2 ? GL_CLAMP_TO_BORDER : GL_CLAMP_TO_EDGE; };
  bool linear = (key & 0x40) != 0;
  glGenSamplers(1, &s);
  glSamplerParameteri(s, GL_TEXTURE_MAG_FILTER, linear ? GL_LINEAR : GL_NEAREST);
  glSamplerParameteri(s, GL_TEXTURE_MIN_FILTER, linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_NEAREST);
  glSamplerParameteri(s, GL_TEXTURE_WRAP_S, mode(key >> 4 & 3));
  glSamplerParameteri(s, GL_TEXTURE_WRAP_T, mode(key >> 2 & 3));
  glSamplerParameteri(s, GL_TEXTURE_WRAP_R, mode(key & 3));
  return s;
}

void gl_bind_texture_for_upload(GLuint texture) {
  // Any unit serves; the next draw binds what its stages need.
  if (gl.activeUnit >= unsigned(MAX_TEXTURE_STAGES)) {
    gl.activeUnit = 0;
    glActiveTexture(GL_TEXTURE0);
  }
  if (changed(gl.textures[gl.activeUnit], texture)) glBindTexture(GL_TEXTURE_2D, texture);
}

void apply_textures(uint32_t stage_mask) {
  GLuint tex[MAX_TEXTURE_STAGES], smp[MAX_TEXTURE_STAGES];
  int tex_lo = MAX_TEXTURE_STAGES, tex_hi = -1, smp_lo = MAX_TEXTURE_STAGES, smp_hi = -1;
  for (int s = 0; s < MAX_TEXTURE_STAGES; s++) {
    // Stages the program does not sample keep whatever they hold.
    bool used = (stage_mask >> s & 1) != 0;
    tex[s] = used ? texture_gl_name(dev.stageTex[s]) : gl.textures[s];
    smp[s] = used ? sampler_object(dev.stageSampler[s]) : gl.samplers[s];
    if (tex[s] != gl.textures[s]) tex_lo = tex_lo < s ? tex_lo : s, tex_hi = s;
    if (smp[s] != gl.samplers[s]) smp_lo = smp_lo < s ? smp_lo : s, smp_hi = s;
  }
  if (dev.multiBind) {
    // One call for the run of stages that changed; unchanged stages inside
    // it are sent again as they are (an unknown one is left unbound).
    auto known = [](GLuint v) { return v == UNKNOWN ? 0u : v; };
    if (tex_hi >= 0) {
      for (int s = tex_lo; s <= tex_hi; s++) gl.textures[s] = tex[s] = known(tex[s]);
      device_counters.stateChanges++;
      glBindTextures(GLuint(tex_lo), tex_hi - tex_lo + 1, tex + tex_lo);
    }
    if (smp_hi >= 0) {
      for (int s = smp_lo; s <= smp_hi; s++) gl.samplers[s] = smp[s] = known(smp[s]);
      device_counters.stateChanges++;
      glBindSamplers(GLuint(smp_lo), smp_hi - smp_lo + 1, smp + smp_lo);
    }
    return;
  }
  for (int s = tex_lo; s <= tex_hi; s++) {
    if (tex[s] == gl.textures[s]) continue;
    if (changed(gl.activeUnit, unsigned(s))) glActiveTexture(GL_TEXTURE0 + GLenum(s));
    gl.textures[s] = tex[s];
    device_counters.stateChanges++;
    glBindTexture(GL_TEXTURE_2D, tex[s]);
  }
  for (int s = smp_lo; s <= smp_hi; s++)
    if (changed(gl.samplers[s], smp[s])) glBindSampler(GLuint(s), smp[s]);
}

// ---- forgetting deleted objects ----

void forget_gl_texture(GLuint texture) {
  // The driver unbinds a deleted texture from every unit.
  for (auto& t : gl.textures)
    if (t == texture) t = 0;
  for (auto& t : objs.targetSets) {
    bool uses = false;
    for (GLuint c : t.color) uses |= t.fbo && c == texture;
    if (uses) delete_target_set(t);
  }
}

void forget_gl_buffer(GLuint buffer) {
  if (gl.arrayBuffer == buffer) gl.arrayBuffer = 0;
  if (gl.copyBuffer == buffer) gl.copyBuffer = 0;
  if (gl.uniformGeneric == buffer) gl.uniformGeneric = 0;
  for (int i = 0; i < 3; i++)
    if (gl.uniformBuffer[i] == buffer) gl.uniformBuffer[i] = UNKNOWN;
  forget_vertex_array_buffer(buffer);
}

void forget_gl_renderbuffer() {
  for (auto& t : objs.targetSets) delete_target_set(t);
}

void release_state_objects() {
  for (auto& t : objs.targetSets) delete_target_set(t);
  for (GLuint& s : objs.samplers)
    if (s) {
      glDeleteSamplers(1, &s);
      s = 0;
    }
  release_vertex_arrays();
  invalidate_gl_shadow();
}
