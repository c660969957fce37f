#pragma once
// What a GUI screen draws through. Coordinates are screen pixels with y
// growing downwards; colours are 0xAARRGGBB. Alignments: -1 left/top,
// 0 centre, 1 right/bottom of the text block at the point.
#include <cstdint>

class IGuiRenderer {
 public:
  virtual int width() = 0;
  virtual int height() = 0;
  virtual int glyphSize() = 0;  // the font's cell height in pixels
  virtual void fillRect(float x0, float y0, float x1, float y1, uint32_t color) = 0;
  // One-pixel outline; both corners are on it.
  virtual void frameRect(float x0, float y0, float x1, float y1, uint32_t color) = 0;
  virtual void drawText(const char* text, int length, float x, float y, int hAlign, int vAlign, uint32_t color,
                        int scale) = 0;
  virtual void measureText(const char* text, int length, float& w, float& h, int scale) = 0;
  virtual ~IGuiRenderer() = default;
};
