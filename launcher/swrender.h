#pragma once
// The launcher's GUI renderer: alpha-blended rectangles and bitmap text drawn
// into a 32-bit pixel buffer in memory (0xAARRGGBB words, rows top-down).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "gui/gui_renderer.h"

// A bitmap font cut from a 16 x 16 grid of glyph cells.
struct SoftFont {
  struct Glyph {
    int left, bottom, right, top;  // image pixels; right and top exclusive
  };
  Glyph glyphs[256];
  int cellHeight = 0;
  int width = 0, height = 0;
  std::vector<uint8_t> pixels;  // B, G, R, A; rows bottom-up as the TGA reader gives them
};

class ISoftwareGuiRenderer : public IGuiRenderer {
 public:
  virtual SoftFont* loadFont(const char* file_name) = 0;
  virtual void setFont(SoftFont* font) = 0;
  virtual void setBuffer(uint32_t* pixels, int pitch_bytes, int width, int height) = 0;
  virtual void clear(uint32_t value) = 0;
};

class SoftwareGuiRenderer final : public ISoftwareGuiRenderer {
 public:
  ~SoftwareGuiRenderer() override;
  int width() override { return bufWidth; }
  int height() override { return bufHeight; }
  int glyphSize() override;
  void fillRect(float x0, float y0, float x1, float y1, uint32_t color) override;
  void frameRect(float x0, float y0, float x1, float y1, uint32_t color) override;
  void drawText(const char* text, int length, float x, float y, int hAlign, int vAlign, uint32_t color,
                int scale) override;
  void measureText(const char* text, int length, float& w, float& h, int scale) override;
  // Fatal when the image cannot be read or is not a 16 x 16 grid.
  SoftFont* loadFont(const char* file_name) override;
  void setFont(SoftFont* font) override { curFont = font; }
  void setBuffer(uint32_t* pixels, int pitch_bytes, int width, int height) override;
  void clear(uint32_t value) override;

 private:
  void fillPixels(int x0, int y0, int x1, int y1, uint32_t color);
  void measure(const char* text, int length, int scale, int& w, int& h);
  void drawGlyph(const SoftFont::Glyph& g, int x, int y, uint32_t color, int scale);
  uint32_t* row(int y) { return reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(buffer) + size_t(y) * pitch); }

  uint32_t* buffer = nullptr;
  int pitch = 0, bufWidth = 0, bufHeight = 0;
  std::vector<SoftFont*> fonts;
  SoftFont* curFont = nullptr;
};

// Blends an 0xAARRGGBB colour over a pixel by the colour's alpha, rounding
// each channel as (t + t / 256) / 256 with t = (c - d) * a + 128; the pixel's
// alpha byte becomes 0. Red and blue share one packed multiply.
inline uint32_t blend_pixel(uint32_t dst, uint32_t color) {
  uint32_t a = color >> 24;
  uint32_t d_rb = dst & 0x00FF00FFu, d_g = (dst >> 8) & 0xFFu;
  // Per lane u = 256 d + (c - d) a + 128 lies in 0..65408, so the lanes never
  // spill into each other even though (c - d) may be negative.
  uint32_t u_rb = ((color & 0x00FF00FFu) - d_rb) * a + (d_rb << 8) + 0x00800080u;
  uint32_t rb = ((u_rb + ((u_rb >> 8) & 0x00FF00FFu) - d_rb) >> 8) & 0x00FF00FFu;
  int32_t u_g = int32_t(((color >> 8) & 0xFFu) - d_g) * int32_t(a) + int32_t(d_g << 8) + 128;
  uint32_t g = uint32_t((u_g + (u_g >> 8) - int32_t(d_g)) >> 8) & 0xFFu;
  return rb | (g << 8);
}
