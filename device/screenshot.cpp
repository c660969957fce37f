// Screenshots (PNG through stb_image_write) and the TGA reader.
#include "device/screenshot.h"

#include <SDL.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb/stb_image_write.h>

#include "platform/file_stream.h"
#include "platform/globals.h"
#include "platform/log.h"
#include "platform/messages.h"
#include "platform/platform.h"
#include "platform/tga.h"
#include "platform/user_dirs.h"
#include "device/d3d_internal.h"

namespace {
std::vector<uint8_t> capture;

bool fail(std::string* why, const char* text) {
  if (why) *why = text;
  return false;
}

// In the log and on screen: the player pressed a key and must learn that
// no file came of it, and why.
void report_failed_save(const char* path, const std::string& why) {
  debug("failed to save screenshot to '%s': %s", path, why.c_str());
  visual_log("Screenshot not saved: %s: %s", path, why.c_str());
}

void append_bytes(void* ctx, void* data, int size) {
  auto* out = static_cast<std::vector<uint8_t>*>(ctx);
  auto* p = static_cast<uint8_t*>(data);
  out->insert(out->end(), p, p + size);
}

// Reads a rectangle of the back buffer (rows from the top), which holds the
// last drawn frame until the next one is drawn.
bool read_back_buffer(int x, int y, int w, int h, std::vector<uint8_t>& out) {
  if (!gl_context || !dev.bbFbo || !dev.bbDrawn || w <= 0 || h <= 0 || x < 0 || y < 0 || x + w > dev.bbW ||
      y + h > dev.bbH)
    return false;
  out.resize(size_t(w) * h * 4);
  // The back buffer's read buffer is its one colour attachment.
  gl_bind_framebuffer(GL_READ_FRAMEBUFFER, dev.bbFbo);
  glReadPixels(x, y, w, h, GL_BGRA, GL_UNSIGNED_BYTE, out.data());
  return glGetError() == GL_NO_ERROR;
}
}  // namespace

uint8_t* capture_front_buffer(int& width, int& height, int& pitch) {
  release_capture();
  width = height = pitch = 0;
  if (!gl_context || !dev.window) return nullptr;
  int display = SDL_GetWindowDisplayIndex(dev.window);
  SDL_Rect bounds;
  if (display < 0 || SDL_GetDisplayBounds(display, &bounds) != 0) return nullptr;
  // The client area in screen coordinates, clipped to the display.
  int wx = 0, wy = 0;
  SDL_GetWindowPosition(dev.window, &wx, &wy);
  int x0 = wx > bounds.x ? wx : bounds.x;
  int y0 = wy > bounds.y ? wy : bounds.y;
  int x1 = wx + d3d_wd < bounds.x + bounds.w ? wx + d3d_wd : bounds.x + bounds.w;
  int y1 = wy + d3d_ht < bounds.y + bounds.h ? wy + d3d_ht : bounds.y + bounds.h;
  if (x1 <= x0 || y1 <= y0) return nullptr;
  if (!read_back_buffer(x0 - wx, y0 - wy, x1 - x0, y1 - y0, capture)) {
    release_capture();
    return nullptr;
  }
  width = x1 - x0;
  height = y1 - y0;
  pitch = width * 4;
  return capture.data();
}

void release_capture() {
  capture.clear();
  capture.shrink_to_fit();
}

bool write_bgra_png(const char* full_path, const uint8_t* pixels, int width, int height, int pitch, std::string* why) {
  if (!pixels || width <= 0 || height <= 0) return fail(why, "nothing to save");
  // The file shows the screen's colours: bytes R, G, B and an opaque alpha.
  std::vector<uint8_t> rgba(size_t(width) * height * 4);
  for (int y = 0; y < height; y++) {
    const uint8_t* s = pixels + size_t(y) * pitch;
    uint8_t* d = rgba.data() + size_t(y) * width * 4;
    for (int x = 0; x < width; x++, s += 4, d += 4) {
      d[0] = s[2];
      d[1] = s[1];
      d[2] = s[0];
      d[3] = 255;
    }
  }
  std::vector<uint8_t> png;
  if (!stbi_write_png_to_func(append_bytes, &png, width, height, 4, rgba.data(), width * 4) || png.empty())
    return fail(why, "PNG encoding failed");
  FILE* f = std::fopen(full_path, "wb");
  if (!f) return fail(why, std::strerror(errno));
  bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size() && std::fflush(f) == 0;
  int err = errno;
  ok = std::fclose(f) == 0 && ok;
  if (!ok && !err) err = errno;
  if (!ok) std::remove(full_path);
  return ok || fail(why, std::strerror(err ? err : EIO));
}

namespace {
// Writes the PNG to `full`; false with the reason in `why`.
bool save_png_file(const std::string& full, const uint8_t* pixels, int w, int h, int pitch, std::string& why) {
  return write_bgra_png(full.c_str(), pixels, w, h, pitch, &why);
}
}  // namespace

void take_screenshot() {
  int64_t start = get_ref_time();
  debug("screenshot...");
  int w, h, pitch;
  uint8_t* pixels = capture_front_buffer(w, h, pitch);
  if (!pixels) return;
  char name[64];
  std::time_t now = std::time(nullptr);
  std::tm tm;
  if (now == std::time_t(-1) || !localtime_r(&now, &tm))
    std::snprintf(name, sizeof(name), "shots/shot.png");
  else
    std::snprintf(name, sizeof(name), "shots/shot%4u_%02u_%02u_%02u_%02u_%02u.png", unsigned(tm.tm_year + 1900),
                  unsigned(tm.tm_mon + 1), unsigned(tm.tm_mday), unsigned(tm.tm_hour), unsigned(tm.tm_min),
                  unsigned(tm.tm_sec));
  std::string full, why;
  bool ok = prepare_writable_path(WriteArea::Data, name, full, &why) && save_png_file(full, pixels, w, h, pitch, why);
  release_capture();
  // Beside the program the short name says enough; elsewhere the player
  // needs to know which folder to look in.
  const char* shown = program_dir_writable() ? name : full.c_str();
  if (ok)
    debug("screenshot captured to '%s' in %d ms", shown, get_time_msec(get_ref_time() - start));
  else
    report_failed_save(full.c_str(), why);
}

bool save_backbuffer_png(const char* path) {
  if (!path) return false;
  std::vector<uint8_t> px;
  std::string full, why;
  if (!prepare_writable_path(WriteArea::Data, path, full, &why)) {
    report_failed_save(full.c_str(), why);
    return false;
  }
  if (!read_back_buffer(0, 0, dev.bbW, dev.bbH, px)) why = "the frame could not be read back";
  if (!why.empty() || !save_png_file(full, px.data(), dev.bbW, dev.bbH, dev.bbW * 4, why)) {
    report_failed_save(full.c_str(), why);
    return false;
  }
  debug("screenshot saved to '%s'", full.c_str());
  return true;
}

bool read_tga(const char* path, int& width, int& height, DynArray<uint8_t>& pixels) {
  std::vector<uint8_t> px;
  pixels.clear();
  if (!read_tga_file(path, width, height, px)) return false;
  pixels.resize(int(px.size()));
  std::memcpy(pixels.data, px.data(), px.size());
  return true;
}
