// GUI drawing through the font layer, whose y axis points up from the
// bottom-left corner of the back buffer.
#include "gui/vantor_renderer.h"

#include <cmath>

#include "platform/globals.h"
#include "device/font.h"

namespace {
int px(float v) { return int(std::lround(v)); }

// Font-layer rectangles are half-open [y0, y1) upwards, so the GUI's edge at
// y becomes the edge at height - y: row y of the GUI is row height - y - 1.
void fill_gui_rect(int x0, int y0, int x1, int y1, uint32_t color) {
  if (x1 <= x0 || y1 <= y0) return;
  fill_rect(x0, d3d_ht - y1, x1, d3d_ht - y0, D3dColor(color));
}
}  // namespace

int VantorGuiRenderer::width() { return d3d_wd; }
int VantorGuiRenderer::height() { return d3d_ht; }
int VantorGuiRenderer::glyphSize() { return get_font_cell_size(); }

void VantorGuiRenderer::fillRect(float x0, float y0, float x1, float y1, uint32_t color) {
  fill_gui_rect(px(x0), px(y0), px(x1), px(y1), color);
}

void VantorGuiRenderer::frameRect(float x0, float y0, float x1, float y1, uint32_t color) {
  int l = px(x0), t = px(y0), r = px(x1), b = px(y1);
  fill_gui_rect(l, t, r + 1, t + 1, color);
  if (b > t) fill_gui_rect(l, b, r + 1, b + 1, color);
  fill_gui_rect(l, t + 1, l + 1, b, color);
  if (r > l) fill_gui_rect(r, t + 1, r + 1, b, color);
}

void VantorGuiRenderer::drawText(const char* text, int length, float x, float y, int hAlign, int vAlign,
                                 uint32_t color, int scale) {
  push_text_style();
  set_text_scale(scale);
  set_line_spacing(0);
  set_letter_spacing(0);
  draw_text(text, length, px(x), d3d_ht - px(y), hAlign, -vAlign, D3dColor(color));
  pop_text_style();
}

void VantorGuiRenderer::measureText(const char* text, int length, float& w, float& h, int scale) {
  push_text_style();
  set_text_scale(scale);
  set_line_spacing(0);
  set_letter_spacing(0);
  int iw = 0, ih = 0;
  measure_text(text, length, iw, ih);
  pop_text_style();
  w = float(iw), h = float(ih);
}
