#pragma once
// Writes small TGA font images for the launcher tests.
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

// A w x h 32-bit TGA whose glyph 'A' has opaque white columns 1..4 of its
// cell and 'I' column 0 only; every other cell is empty. Rows are stored
// bottom-up, as the format does by default.
inline void write_test_font(const std::string& path, int w, int h) {
  std::vector<uint8_t> f(18, 0);
  f[2] = 2;
  f[12] = uint8_t(w), f[13] = uint8_t(w >> 8), f[14] = uint8_t(h), f[15] = uint8_t(h >> 8);
  f[16] = 32, f[17] = 8;
  std::vector<uint8_t> px(size_t(w) * h * 4, 0);
  int cw = w / 16, ch = h / 16;
  auto column = [&](int glyph, int col) {
    int x = (glyph % 16) * cw + col, y0 = (15 - glyph / 16) * ch;
    for (int y = y0; y < y0 + ch; y++) {
      uint8_t* p = &px[(size_t(y) * w + x) * 4];
      p[0] = p[1] = p[2] = p[3] = 255;
    }
  };
  if (cw >= 5)
    for (int c = 1; c <= 4; c++) column('A', c);
  if (cw >= 1) column('I', 0);
  f.insert(f.end(), px.begin(), px.end());
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(f.data()), std::streamsize(f.size()));
}
