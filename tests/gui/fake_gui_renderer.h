#pragma once
// A renderer that draws nothing and measures every glyph as one square cell,
// for tests that check layout and input without a device.
#include <cstring>

#include "gui/gui_renderer.h"

struct FakeGuiRenderer : IGuiRenderer {
  int w = 640, h = 480, glyph = 8;
  int fills = 0, texts = 0;
  int width() override { return w; }
  int height() override { return h; }
  int glyphSize() override { return glyph; }
  void fillRect(float, float, float, float, uint32_t) override { fills++; }
  void frameRect(float, float, float, float, uint32_t) override {}
  void drawText(const char*, int, float, float, int, int, uint32_t, int) override { texts++; }
  void measureText(const char* text, int length, float& tw, float& th, int scale) override {
    int n = length < 0 ? int(std::strlen(text)) : length;
    tw = float(n * glyph * scale);
    th = float(n ? glyph * scale : 0);
  }
};
