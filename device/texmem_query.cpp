// Kept apart from the rest of the device layer: the GLX header brings in
// Xlib's macros.
#include "device/texmem_query.h"

#include <epoxy/gl.h>
#include <epoxy/glx.h>

#include "device/d3d_render.h"

namespace {
// Mesa's GLX renderer query, only where the current context is a GLX one
// that offers it (calling it elsewhere is not allowed).
int mesa_video_memory_mb() {
  Display* dpy = glXGetCurrentDisplay();
  if (!dpy || !glXGetCurrentContext()) return -1;
  if (!epoxy_has_glx_extension(dpy, DefaultScreen(dpy), "GLX_MESA_query_renderer")) return -1;
  unsigned int mb = 0;
  if (!glXQueryCurrentRendererIntegerMESA(GLX_RENDERER_VIDEO_MEMORY_MESA, &mb)) return -1;
  return int(mb);
}
}  // namespace

TexMemInfo query_texture_memory() {
  TexMemInfo info;
  if (epoxy_has_gl_extension("GL_NVX_gpu_memory_info") || epoxy_has_gl_extension("GL_ATI_meminfo")) {
    unsigned bytes = get_free_texmem();
    info.free_mb = int(bytes >> 20);
  }
  info.total_mb = mesa_video_memory_mb();
  return info;
}
