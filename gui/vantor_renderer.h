#pragma once
// The game's GUI renderer on the device layer's screen font. Every call must
// come inside the font layer's text pass (begin_text / end_text).
#include "gui/gui_renderer.h"

class VantorGuiRenderer final : public IGuiRenderer {
 public:
  int width() override;
  int height() override;
  int glyphSize() override;
  void fillRect(float x0, float y0, float x1, float y1, uint32_t color) override;
  void frameRect(float x0, float y0, float x1, float y1, uint32_t color) override;
  void drawText(const char* text, int length, float x, float y, int hAlign, int vAlign, uint32_t color,
                int scale) override;
  void measureText(const char* text, int length, float& w, float& h, int scale) override;
};
