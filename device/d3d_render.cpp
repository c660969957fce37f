// The device's life on the game window, the frame bracket with two
// alternating fences, draws, render targets and instancing.
//
// Conventions applied for every caller: clip-space z runs from 0 to w, pixel
// centres sit at integer coordinates, texture row 0 is the top row also when
// rendering into a texture, and culling removes counter-clockwise triangles as
// seen on screen. The shader preamble turns the position a vertex shader
// returns into GL clip space with the target's size and orientation, which
// this file keeps in the layer uniform block. Every target, the back buffer
// included, is a framebuffer object holding its top row at GL's y = 0 (the
// back buffer is flipped into the window when presented), so GL's fill rules
// resolve pixels lying on an edge as the top-left rule does, and the front
// face is GL's counter-clockwise.
#include <SDL.h>

#include <cstdlib>
#include <cstring>

#include "platform/globals.h"
#include "platform/log.h"
#include "device/gl_driver_pin.h"
#include "device/d3d_internal.h"
#include "device/d3d_shaders.h"
#include "device/d3d_texture.h"
#include "device/d3d_vbuf.h"

DeviceState dev;
SDL_GLContext gl_context = nullptr;

namespace {
AfterResizeHook after_resize_hook = nullptr;

void delete_sync(GLsync& s) {
  if (s) glDeleteSync(s);
  s = nullptr;
}

void create_fences() {
  // Both fences are issued at once so that the first two frames never wait.
  for (auto& f : dev.frameFence) {
    delete_sync(f);
    f = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
  }
  dev.curFence = 0;
  delete_sync(dev.flushQuery);
  dev.flushQuery = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
}

void release_fences() {
  for (auto& f : dev.frameFence) delete_sync(f);
  delete_sync(dev.flushQuery);
}

bool create_depth_buffer() {
  while (glGetError() != GL_NO_ERROR) {
  }
  if (!dev.depthRb) glGenRenderbuffers(1, &dev.depthRb);
  glBindRenderbuffer(GL_RENDERBUFFER, dev.depthRb);
  GLint max_size = dev.maxRenderbufferSize;
  GLenum err = GL_NO_ERROR;
  if (d3d_wd < 1 || d3d_ht < 1 || d3d_wd > max_size || d3d_ht > max_size)
    err = GL_INVALID_VALUE;
  else {
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, d3d_wd, d3d_ht);
    err = glGetError();
  }
  glBindRenderbuffer(GL_RENDERBUFFER, 0);
  if (err != GL_NO_ERROR) {
    debug("failed to create scene depth buffer (code 0x%08X)", unsigned(err));
    glDeleteRenderbuffers(1, &dev.depthRb);
    dev.depthRb = 0;
    dev.depthW = dev.depthH = 0;
    return false;
  }
  dev.depthW = d3d_wd;
  dev.depthH = d3d_ht;
  return true;
}

void release_depth_buffer() {
  forget_gl_renderbuffer();
  if (dev.depthRb) glDeleteRenderbuffers(1, &dev.depthRb);
  dev.depthRb = 0;
  dev.depthW = dev.depthH = 0;
}

// The back buffer's storage: the back buffer's size, no alpha channel (it
// reads as 1, like the desktop format's), no depth of its own.
bool create_back_buffer() {
  while (glGetError() != GL_NO_ERROR) {
  }
  if (!dev.bbFbo) glGenFramebuffers(1, &dev.bbFbo);
  if (!dev.bbRb) glGenRenderbuffers(1, &dev.bbRb);
  glBindRenderbuffer(GL_RENDERBUFFER, dev.bbRb);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_RGB8, d3d_wd, d3d_ht);
  glBindRenderbuffer(GL_RENDERBUFFER, 0);
  gl_bind_framebuffer(GL_FRAMEBUFFER, dev.bbFbo);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, dev.bbRb);
  GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
  GLenum err = glGetError();
  dev.bbDrawn = false;
  if (err != GL_NO_ERROR || status != GL_FRAMEBUFFER_COMPLETE) {
    debug("failed to create back buffer (code 0x%08X)", unsigned(err ? err : status));
    return false;
  }
  dev.bbW = d3d_wd;
  dev.bbH = d3d_ht;
  return true;
}

void release_back_buffer() {
  if (dev.bbFbo) {
    gl_bind_framebuffer(GL_FRAMEBUFFER, 0);  // never delete the bound framebuffer
    glDeleteFramebuffers(1, &dev.bbFbo);
  }
  if (dev.bbRb) glDeleteRenderbuffers(1, &dev.bbRb);
  dev.bbFbo = dev.bbRb = 0;
  dev.bbW = dev.bbH = 0;
  dev.bbDrawn = false;
}

void apply_swap_interval() {
  if (SDL_GL_SetSwapInterval(use_vsync ? 1 : 0) != 0 && use_vsync)
    debug("vsync not available: %s", SDL_GetError());
}

// What the driver is asked once and what never changes afterwards.
void query_driver() {
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &dev.maxTextureSize);
  glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &dev.maxRenderbufferSize);
  // TOLVANE_GL_BASIC keeps to what every OpenGL 3.3 driver offers, so the
  // paths for older drivers can be run anywhere.
  bool basic = std::getenv("TOLVANE_GL_BASIC") != nullptr;
  dev.attribBinding =
      !basic && (epoxy_gl_version() >= 43 || epoxy_has_gl_extension("GL_ARB_vertex_attrib_binding"));
  dev.multiBind = !basic && (epoxy_gl_version() >= 44 || epoxy_has_gl_extension("GL_ARB_multi_bind"));
}

// The base render state the device starts with and returns to after a reset.
void set_initial_state() {
  invalidate_gl_shadow();
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glDepthFunc(GL_LEQUAL);
  glDepthRange(0.0, 1.0);
  glCullFace(GL_BACK);
  // The flip to row 0 at the top reverses the winding GL sees: clockwise on
  // screen is front.
  glFrontFace(GL_CCW);
  glClearDepth(1.0);
  glClearStencil(0);
  dev.want = RenderStates{};
  apply_render_states();
  set_atest(0);
  set_default_sampler_states();
  set_back_buffer_target();
}

bool desktop_size(int& w, int& h) {
  int display = dev.window ? SDL_GetWindowDisplayIndex(dev.window) : 0;
  if (display < 0) display = 0;
  SDL_DisplayMode mode;
  if (SDL_GetDesktopDisplayMode(display, &mode) != 0) return false;
  w = mode.w;
  h = mode.h;
  return true;
}

void release_default_pool() {
  set_back_buffer_target();
  buffers_before_reset();
  textures_before_reset();
  release_fences();
  release_depth_buffer();
  release_back_buffer();
}
}  // namespace

void set_after_resize_hook(AfterResizeHook hook) { after_resize_hook = hook; }
bool is_d3d_ready() { return gl_context != nullptr && !dev.resetPending; }

void d3d_prepare_window_attributes() {
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
  // The window's own buffers only receive the presented back buffer; depth
  // and stencil live in the device's D24S8 buffer.
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
  SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, 0);
  SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, 0);
}

bool init_d3d(SDL_Window* window, int width, int height) {
  close_d3d();
  if (!window) {
    debug("init d3d: no window");
    return false;
  }
  SDL_GLContext ctx = SDL_GL_CreateContext(window);
  if (!ctx) {
    debug("failed to create OpenGL 3.3 core context: %s", SDL_GetError());
    return false;
  }
  if (SDL_GL_MakeCurrent(window, ctx) != 0 || epoxy_gl_version() < 33) {
    debug("OpenGL 3.3 core is not available (%s)", SDL_GetError());
    SDL_GL_DeleteContext(ctx);
    return false;
  }
  gl_context = ctx;
  keep_gl_driver_mapped();
  dev = DeviceState();
  dev.window = window;
  debug("GL: %s, %s, %s", (const char*)glGetString(GL_VENDOR), (const char*)glGetString(GL_RENDERER),
        (const char*)glGetString(GL_VERSION));

  if (is_fullscreen) {
    if (SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0)
      debug("full-screen switch failed: %s", SDL_GetError());
    int w, h;
    if (desktop_size(w, h)) width = w, height = h;
  }
  if (width < 1 || height < 1) SDL_GL_GetDrawableSize(window, &width, &height);
  d3d_wd = width;
  d3d_ht = height;
  apply_swap_interval();

  query_driver();
  invalidate_gl_shadow();
  static const float quad[12] = {-1, -1, 0, -1, 1, 0, 1, -1, 0, 1, 1, 0};
  glGenBuffers(1, &dev.postfxVb);
  gl_bind_copy_buffer(dev.postfxVb);
  glBufferData(GL_COPY_WRITE_BUFFER, sizeof(quad), quad, GL_STATIC_DRAW);
  create_const_buffers();

  if (!create_back_buffer() || !create_depth_buffer()) {
    close_d3d();
    return false;
  }
  create_fences();
  set_initial_state();
  init_shader_system();
  debug("init d3d ok (%dx%d)", d3d_wd, d3d_ht);
  return true;
}

void close_d3d() {
  if (!gl_context) return;
  debug("close d3d");
  SDL_GL_MakeCurrent(dev.window, gl_context);
  release_fences();
  close_all_textures();
  close_all_buffers();
  release_vdecls();
  close_shader_system();
  release_depth_buffer();
  release_back_buffer();
  release_const_buffers();
  release_state_objects();
  if (dev.postfxVb) glDeleteBuffers(1, &dev.postfxVb);
  SDL_GL_MakeCurrent(dev.window, nullptr);
  SDL_GL_DeleteContext(gl_context);
  gl_context = nullptr;
  dev = DeviceState();
}

bool resize_d3d(int width, int height, bool fullscreen, bool force) {
  if (!gl_context) return false;
  if (width == 0) width = d3d_wd;
  if (height == 0) height = d3d_ht;
  if (!force && width == d3d_wd && height == d3d_ht && fullscreen == is_fullscreen) return true;
  debug("=== resizing d3d to %dx%d %s", width, height, fullscreen ? "fullscreen" : "windowed");

  release_default_pool();

  // Resetting the device: the window's mode and size stand for the present
  // parameters; full-screen always takes the desktop mode's size.
  is_fullscreen = fullscreen;
  int rc = 0;
  if (fullscreen) {
    int w, h;
    if (desktop_size(w, h)) width = w, height = h;
    if (!(SDL_GetWindowFlags(dev.window) & SDL_WINDOW_FULLSCREEN))
      rc = SDL_SetWindowFullscreen(dev.window, SDL_WINDOW_FULLSCREEN_DESKTOP);
  } else {
    if (SDL_GetWindowFlags(dev.window) & SDL_WINDOW_FULLSCREEN) rc = SDL_SetWindowFullscreen(dev.window, 0);
    int cw = 0, ch = 0;
    SDL_GetWindowSize(dev.window, &cw, &ch);
    if (rc == 0 && (cw != width || ch != height)) SDL_SetWindowSize(dev.window, width, height);
  }
  if (rc == 0 && (width < 1 || height < 1)) rc = -1;
  if (rc != 0) {
    debug("Reset failed (code 0x%08X)", unsigned(rc));
    debug("  %s", SDL_GetError());
    dev.resetPending = true;
    return false;
  }
  apply_swap_interval();

  d3d_wd = width;
  d3d_ht = height;
  // Framebuffers, vertex arrays and samplers are made again as they are used.
  release_state_objects();
  textures_after_reset();
  buffers_after_reset();
  if (!create_back_buffer()) {
    dev.resetPending = true;
    return false;
  }
  if (!create_depth_buffer()) {
    debug("failed to recreate scene RT");
    dev.resetPending = true;
    return false;
  }
  create_fences();
  set_default_sampler_states();
  set_back_buffer_target();
  dev.resetPending = false;
  debug("resized d3d to %dx%d %s", d3d_wd, d3d_ht, is_fullscreen ? "fullscreen" : "windowed");
  if (after_resize_hook) after_resize_hook();
  return true;
}

bool check_d3d_device() {
  if (!gl_context) return false;
  // GL contexts are never lost; only a failed reset leaves the device unusable.
  if (dev.resetPending) return resize_d3d(d3d_wd, d3d_ht, is_fullscreen, true);
  return true;
}

bool render_d3d_frame(FrameFunc frame, float k) {
  if (!gl_context || dev.resetPending) return false;
  GLsync& fence = dev.frameFence[dev.curFence];
  if (fence) {
    // The fence of the frame drawn two frames ago: polled, never waited on.
    GLenum r = glClientWaitSync(fence, GL_SYNC_FLUSH_COMMANDS_BIT, 0);
    if (r == GL_TIMEOUT_EXPIRED) return false;
    glDeleteSync(fence);
    fence = nullptr;
  }
  set_cull_mode(1);
  if (frame) frame(k);
  fence = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
  dev.curFence ^= 1;
  dev.bbDrawn = true;
  return true;
}

void present_frame() {
  if (!gl_context) return;
  // The back buffer goes to the window turned the right way up (GL shows
  // its row 0 at the bottom), stretched if the window's size differs.
  int dw = 0, dh = 0;
  SDL_GL_GetDrawableSize(dev.window, &dw, &dh);
  if (dev.bbFbo && dw > 0 && dh > 0) {
    // The back buffer's read buffer and the window's draw buffer are set
    // when they are made and never change. The colour mask the callers set
    // is put back by the next draw.
    gl_bind_framebuffer(GL_READ_FRAMEBUFFER, dev.bbFbo);
    gl_bind_framebuffer(GL_DRAW_FRAMEBUFFER, 0);
    gl_color_mask(0xF);
    bool same = dw == dev.bbW && dh == dev.bbH;
    glBlitFramebuffer(0, 0, dev.bbW, dev.bbH, 0, dh, dw, 0, GL_COLOR_BUFFER_BIT, same ? GL_NEAREST : GL_LINEAR);
  }
  SDL_GL_SwapWindow(dev.window);
  dev.presentCount++;
  end_frame_counters();
}

// ---- render targets ----

void update_target_state() {
  // Target size and orientation for the preamble's position fix-up.
  dev.layer[0] = dev.targetW > 0 ? 1.f / float(dev.targetW) : 0.f;
  dev.layer[1] = dev.targetH > 0 ? 1.f / float(dev.targetH) : 0.f;
  dev.layer[2] = -1.f;  // every target, the back buffer too, keeps row 0 at GL's y = 0
  dev.layer[3] = float(dev.targetH);
  dev.layerDirty = true;
  // The effective depth and stencil tests follow the depth buffer.
  apply_render_states();
}

void set_back_buffer_target() {
  if (!gl_context) return;
  for (auto& t : dev.targets) t = nullptr;
  dev.depthBound = false;
  dev.targetW = dev.bbW;
  dev.targetH = dev.bbH;
  update_target_state();
}

void set_render_target(int index, Texture* tex, bool use_depth) {
  if (!gl_context) return;
  G_ASSERT(index >= 0 && index < MAX_RENDER_TARGETS);
  if (index == 0 && !tex) {
    set_back_buffer_target();
    return;
  }
  if (index > 0 && !dev.targets[0]) {
    // Further targets only join a texture target 0.
    if (!tex) return;
    debug("set_render_target(%d): target 0 is the back buffer", index);
    return;
  }
  if (tex && !texture_gl_name(tex)) {
    debug("set_render_target(%d): texture not created", index);
    tex = nullptr;
    if (index == 0) {
      set_back_buffer_target();
      return;
    }
  }
  if (index == 0) {
    // Switching target 0 unbinds the others, as a fresh target set.
    for (int i = 1; i < MAX_RENDER_TARGETS; i++) dev.targets[i] = nullptr;
  }
  // The set is bound, its framebuffer made if it is new, at the next draw or clear.
  dev.targets[index] = tex;
  if (index == 0) {
    dev.targetW = tex->realWidth;
    dev.targetH = tex->realHeight;
    // A depth buffer smaller than the target cannot serve it.
    bool depth = use_depth && dev.depthRb && dev.depthW >= dev.targetW && dev.depthH >= dev.targetH;
    if (use_depth && !depth)
      debug("set_render_target: %dx%d target without depth (depth buffer %dx%d)", dev.targetW, dev.targetH,
            dev.depthW, dev.depthH);
    dev.depthBound = depth;
    update_target_state();
  }
}

int get_target_width() { return dev.targetW; }
int get_target_height() { return dev.targetH; }

namespace {
template <typename T>
bool read_rows(int x, int y, int w, int h, GLenum format, GLenum type, T* out, int comps) {
  if (!gl_context || w <= 0 || h <= 0 || x < 0 || y < 0 || x + w > dev.targetW || y + h > dev.targetH) return false;
  apply_targets();
  // Every target stores its top row at GL's y = 0.
  glReadPixels(x, y, w, h, format, type, out);
  (void)comps;
  return glGetError() == GL_NO_ERROR;
}
}  // namespace

bool read_target_pixels(int x, int y, int w, int h, uint8_t* out) {
  return read_rows(x, y, w, h, GL_BGRA, GL_UNSIGNED_BYTE, out, 4);
}
bool read_target_pixels_float(int x, int y, int w, int h, float* out) {
  return read_rows(x, y, w, h, GL_RGBA, GL_FLOAT, out, 4);
}
bool read_depth_stencil(int x, int y, int w, int h, float* depth, uint8_t* stencil) {
  if (!dev.depthBound) return false;
  bool ok = true;
  if (depth) ok = read_rows(x, y, w, h, GL_DEPTH_COMPONENT, GL_FLOAT, depth, 1) && ok;
  if (stencil) ok = read_rows(x, y, w, h, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, stencil, 1) && ok;
  return ok;
}

// ---- instancing and draws ----

void set_instancing(int n) { dev.instances = n > 0 ? n : 0; }

int prim_vertex_count(int prim_type, int n) {
  switch (prim_type) {
    case PRIM_POINTLIST: return n;
    case PRIM_LINELIST: return n * 2;
    case PRIM_LINESTRIP: return n > 0 ? n + 1 : 0;
    case PRIM_TRIANGLELIST: return n * 3;
    case PRIM_TRIANGLESTRIP:
    case PRIM_TRIANGLEFAN: return n > 0 ? n + 2 : 0;
    default: return 0;
  }
}

namespace {
GLenum gl_prim(int prim_type) {
  switch (prim_type) {
    case PRIM_POINTLIST: return GL_POINTS;
    case PRIM_LINELIST: return GL_LINES;
    case PRIM_LINESTRIP: return GL_LINE_STRIP;
    case PRIM_TRIANGLELIST: return GL_TRIANGLES;
    case PRIM_TRIANGLESTRIP: return GL_TRIANGLE_STRIP;
    case PRIM_TRIANGLEFAN: return GL_TRIANGLE_FAN;
    default: return GL_INVALID_ENUM;
  }
}
}  // namespace

void draw_indexed(int prim_type, int base_vertex, int min_index, int num_vertices, int start_index,
                  int prim_count) {
  GLenum mode = gl_prim(prim_type);
  int count = prim_vertex_count(prim_type, prim_count);
  uint32_t code = 0;
  if (!gl_context)
    code = RESULT_INVALID_OPERATION;
  else if (mode == GL_INVALID_ENUM || prim_count <= 0 || start_index < 0 || min_index < 0 || num_vertices <= 0 ||
           base_vertex + min_index < 0)
    code = RESULT_INVALID_VALUE;
  else if (!dev.ib || !dev.ib->buffer)
    code = RESULT_INVALID_OPERATION;
  else if ((int64_t(start_index) + count) * 2 > dev.ib->size)
    code = RESULT_INVALID_VALUE;
  else
    code = prepare_draw(true, base_vertex + min_index, num_vertices, dev.instances);
  if (code) fatal("draw_indexed failed (code 0x%08X)", code);
  device_counters.draws++;
  const void* offset = reinterpret_cast<const void*>(intptr_t(start_index) * 2);
  if (dev.instances > 0)
    glDrawElementsInstancedBaseVertex(mode, count, GL_UNSIGNED_SHORT, offset, dev.instances, base_vertex);
  else
    glDrawElementsBaseVertex(mode, count, GL_UNSIGNED_SHORT, offset, base_vertex);
}

void draw_prim(int prim_type, int start_vertex, int prim_count) {
  GLenum mode = gl_prim(prim_type);
  int count = prim_vertex_count(prim_type, prim_count);
  uint32_t code = 0;
  if (!gl_context)
    code = RESULT_INVALID_OPERATION;
  else if (mode == GL_INVALID_ENUM || prim_count <= 0 || start_vertex < 0)
    code = RESULT_INVALID_VALUE;
  else
    code = prepare_draw(false, start_vertex, count, 0);
  if (code) fatal("draw_prim failed (code 0x%08X)", code);
  device_counters.draws++;
  glDrawArrays(mode, start_vertex, count);
}

void draw_postfx() {
  if (!gl_context) return;
  static const VertexElement xyz[] = {{0, 0, VDECL_FLOAT3, VDECL_POSITION, 0}, VDECL_END};
  static VertexBuffer quad;
  quad.buffer = dev.postfxVb;
  quad.size = 48;
  quad.flags = BUF_STATIC;
  quad.inUse = true;
  set_vdecl(create_vdecl(xyz));
  set_vb(0, &quad, 0, 12);
  draw_prim(PRIM_TRIANGLESTRIP, 0, 2);
  // Like a draw from user memory: stream 0 does not stay bound.
  set_vb(0, nullptr, 0, 0);
}
