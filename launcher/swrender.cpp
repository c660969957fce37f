// Software drawing of the GUI: clipped blends, the font grid and text.
#include "launcher/swrender.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/log.h"
#include "platform/tga.h"

namespace {
int round_px(float v) { return int(std::lround(v)); }

bool cell_column_has_alpha(const SoftFont& f, int x, int y0, int rows) {
  for (int y = y0; y < y0 + rows; y++)
    if (f.pixels[(size_t(y) * f.width + x) * 4 + 3]) return true;
  return false;
}

// Cuts the glyphs: each spans its cell's rows and its visible columns; an
// empty cell is a blank half a cell wide.
void cut_glyphs(SoftFont& f) {
  int cw = f.width / 16, ch = f.height / 16;
  for (int i = 0; i < 256; i++) {
    int x0 = (i % 16) * cw, y0 = (15 - i / 16) * ch;  // rows count from the bottom of the image
    int first = -1, last = -1;
    for (int x = x0; x < x0 + cw; x++)
      if (cell_column_has_alpha(f, x, y0, ch)) {
        if (first < 0) first = x;
        last = x;
      }
    SoftFont::Glyph& g = f.glyphs[i];
    g.bottom = y0;
    g.top = y0 + ch;
    g.left = first < 0 ? x0 : first;
    g.right = first < 0 ? x0 + cw / 2 + 1 : last + 1;
  }
}

// s * (c + 1) / 256 for each channel of a font pixel (bytes B, G, R, A).
uint32_t modulate(const uint8_t* s, uint32_t color) {
  uint32_t out = 0;
  for (int i = 0; i < 4; i++) {
    uint32_t c = (color >> (8 * i)) & 0xFFu;
    out |= ((uint32_t(s[i]) * (c + 1)) >> 8) << (8 * i);
  }
  return out;
}
}  // namespace

SoftwareGuiRenderer::~SoftwareGuiRenderer() {
  for (SoftFont* f : fonts) delete f;
}

int SoftwareGuiRenderer::glyphSize() { return curFont ? curFont->cellHeight : 8; }

void SoftwareGuiRenderer::setBuffer(uint32_t* pixels, int pitch_bytes, int w, int h) {
  buffer = pixels;
  pitch = pitch_bytes;
  bufWidth = w;
  bufHeight = h;
}

void SoftwareGuiRenderer::clear(uint32_t value) {
  G_ASSERT(buffer);
  for (int y = 0; y < bufHeight; y++) std::fill_n(row(y), bufWidth, value);
}

void SoftwareGuiRenderer::fillPixels(int x0, int y0, int x1, int y1, uint32_t color) {
  x0 = std::max(x0, 0), y0 = std::max(y0, 0);
  x1 = std::min(x1, bufWidth), y1 = std::min(y1, bufHeight);
  if (x0 >= x1 || y0 >= y1) return;
  uint32_t a = color >> 24;
  for (int y = y0; y < y1; y++) {
    uint32_t* p = row(y);
    if (a == 255)  // an opaque blend is the colour itself
      std::fill(p + x0, p + x1, color & 0x00FFFFFFu);
    else
      for (int x = x0; x < x1; x++) p[x] = blend_pixel(p[x], color);
  }
}

void SoftwareGuiRenderer::fillRect(float x0, float y0, float x1, float y1, uint32_t color) {
  G_ASSERT(buffer);
  fillPixels(round_px(x0), round_px(y0), round_px(x1), round_px(y1), color);
}

void SoftwareGuiRenderer::frameRect(float fx0, float fy0, float fx1, float fy1, uint32_t color) {
  G_ASSERT(buffer);
  int x0 = round_px(fx0), y0 = round_px(fy0), x1 = round_px(fx1), y1 = round_px(fy1);
  fillPixels(x0, y0, x1 + 1, y0 + 1, color);
  if (y1 > y0) fillPixels(x0, y1, x1 + 1, y1 + 1, color);
  fillPixels(x0, y0 + 1, x0 + 1, y1, color);
  if (x1 > x0) fillPixels(x1, y0 + 1, x1 + 1, y1, color);
}

SoftFont* SoftwareGuiRenderer::loadFont(const char* file_name) {
  auto* f = new SoftFont;
  if (!read_tga_file(file_name, f->width, f->height, f->pixels)) {
    delete f;
    fatal("can't load font from %s", file_name);
  }
  if (f->width % 16 || f->height % 16) {
    int w = f->width, h = f->height;
    delete f;
    fatal("expected 16x16 font grid in %s, got %dx%d image", file_name, w, h);
  }
  f->cellHeight = f->height / 16;
  cut_glyphs(*f);
  fonts.push_back(f);
  return f;
}

void SoftwareGuiRenderer::measure(const char* text, int length, int scale, int& w, int& h) {
  G_ASSERT(curFont);
  if (!text) text = "";
  if (length < 0) length = int(std::strlen(text));
  int line_h = scale * curFont->cellHeight, line_w = 0, line_chars = 0;
  w = h = 0;
  for (int i = 0; i < length; i++) {
    unsigned char ch = static_cast<unsigned char>(text[i]);
    if (ch == '\n') {
      w = std::max(w, line_w);
      h += line_h;
      line_w = line_chars = 0;
      continue;
    }
    const SoftFont::Glyph& g = curFont->glyphs[ch];
    line_w += scale * (g.right - g.left + 1);
    line_chars++;
  }
  w = std::max(w, line_w);
  if (line_chars) h += line_h;
}

void SoftwareGuiRenderer::measureText(const char* text, int length, float& w, float& h, int scale) {
  int iw, ih;
  measure(text, length, scale, iw, ih);
  w = float(iw), h = float(ih);
}

void SoftwareGuiRenderer::drawGlyph(const SoftFont::Glyph& g, int x, int y, uint32_t color, int scale) {
  const SoftFont& f = *curFont;
  for (int sy = g.top - 1, dy = y; sy >= g.bottom; sy--, dy += scale) {  // top row first
    if (dy >= bufHeight || dy + scale <= 0) continue;
    const uint8_t* src = &f.pixels[(size_t(sy) * f.width + g.left) * 4];
    for (int sx = 0; sx < g.right - g.left; sx++) {
      int dx = x + sx * scale;
      if (dx >= bufWidth || dx + scale <= 0) continue;
      uint32_t c = modulate(src + sx * 4, color);
      for (int ry = std::max(dy, 0); ry < std::min(dy + scale, bufHeight); ry++) {
        uint32_t* p = row(ry);
        for (int rx = std::max(dx, 0); rx < std::min(dx + scale, bufWidth); rx++) p[rx] = blend_pixel(p[rx], c);
      }
    }
  }
}

void SoftwareGuiRenderer::drawText(const char* text, int length, float fx, float fy, int hAlign, int vAlign,
                                   uint32_t color, int scale) {
  G_ASSERT(buffer);
  G_ASSERT(curFont);
  if (!text) text = "";
  if (length < 0) length = int(std::strlen(text));
  if (scale < 1) scale = 1;
  int w, h;
  measure(text, length, scale, w, h);
  int start_x = round_px(fx) - w * (hAlign + 1) / 2;
  int y = round_px(fy) - h * (vAlign + 1) / 2;
  int x = start_x;
  uint32_t shadow = (color >> 1) & 0x7F000000u;  // black at half the alpha
  for (int i = 0; i < length; i++) {
    unsigned char ch = static_cast<unsigned char>(text[i]);
    if (ch == '\n') {
      y += scale * curFont->cellHeight;
      x = start_x;
      continue;
    }
    const SoftFont::Glyph& g = curFont->glyphs[ch];
    if (ch != 0 && ch != ' ') {
      drawGlyph(g, x + 1, y + 1, shadow, scale);
      drawGlyph(g, x, y, color, scale);
    }
    x += scale * (g.right - g.left + 1);
  }
}
