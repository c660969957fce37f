// Renders a TrueType face into the game's bitmap font image: a 32-bit TGA
// with alpha holding 16 x 16 cells, one per byte value (Latin-1), white
// glyphs whose coverage is the alpha channel. Control characters stay blank.
//
// usage: make_font <face.ttf> <out.tga> [cell_pixels]
#define STB_TRUETYPE_IMPLEMENTATION
#include <stb/stb_truetype.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {
std::vector<unsigned char> read_file(const char* path) {
  std::vector<unsigned char> data;
  FILE* f = std::fopen(path, "rb");
  if (!f) return data;
  unsigned char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) data.insert(data.end(), buf, buf + n);
  std::fclose(f);
  return data;
}

bool is_drawn(int byte) { return (byte >= 33 && byte <= 126) || byte >= 161; }

// Steepens the coverage ramp so that small glyphs keep hard stems instead of
// two half-lit columns, while curves keep a little smoothing.
unsigned char sharpen(unsigned char a) {
  float v = a / 255.0f;
  v = std::clamp((v - 0.18f) * 1.45f, 0.0f, 1.0f);
  v = std::pow(v, 0.8f);
  return (unsigned char)std::lround(v * 255.0f);
}

struct Image {
  int w, h;
  std::vector<unsigned char> rgba;  // top row first
};

void draw_glyph(const stbtt_fontinfo& font, float scale, int baseline, int cell, int byte, Image& img) {
  int glyph = stbtt_FindGlyphIndex(&font, byte);
  if (!glyph) return;
  int x0, y0, x1, y1;
  stbtt_GetGlyphBitmapBox(&font, glyph, scale, scale, &x0, &y0, &x1, &y1);
  int gw = x1 - x0, gh = y1 - y0;
  if (gw <= 0 || gh <= 0) return;
  std::vector<unsigned char> bmp(size_t(gw) * gh);
  stbtt_MakeGlyphBitmap(&font, bmp.data(), gw, gh, gw, scale, scale, glyph);
  int cx = (byte % 16) * cell, cy = (byte / 16) * cell;
  // One column of margin on the left; the game trims empty columns anyway.
  int left = 1 + std::max(0, x0);
  for (int y = 0; y < gh; y++) {
    int py = cy + baseline + y0 + y;
    if (py < cy || py >= cy + cell) continue;
    for (int x = 0; x < gw; x++) {
      int px = cx + left + x;
      if (px >= cx + cell) continue;
      unsigned char a = sharpen(bmp[size_t(y) * gw + x]);
      unsigned char* p = &img.rgba[(size_t(py) * img.w + px) * 4];
      p[0] = p[1] = p[2] = 255;
      p[3] = std::max(p[3], a);
    }
  }
}

bool write_tga(const char* path, const Image& img) {
  FILE* f = std::fopen(path, "wb");
  if (!f) return false;
  unsigned char header[18] = {0, 0, 2};  // uncompressed true-colour
  header[12] = img.w & 255, header[13] = img.w >> 8;
  header[14] = img.h & 255, header[15] = img.h >> 8;
  header[16] = 32;
  header[17] = 8;  // 8 alpha bits, rows stored bottom-up
  bool ok = std::fwrite(header, 1, 18, f) == 18;
  std::vector<unsigned char> row(size_t(img.w) * 4);
  for (int y = img.h - 1; ok && y >= 0; y--) {
    for (int x = 0; x < img.w; x++) {
      const unsigned char* s = &img.rgba[(size_t(y) * img.w + x) * 4];
      unsigned char* d = &row[size_t(x) * 4];
      d[0] = s[2], d[1] = s[1], d[2] = s[0], d[3] = s[3];  // BGRA
    }
    ok = std::fwrite(row.data(), 1, row.size(), f) == row.size();
  }
  return std::fclose(f) == 0 && ok;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: make_font <face.ttf> <out.tga> [cell_pixels]\n");
    return 2;
  }
  int cell = argc > 3 ? std::atoi(argv[3]) : 16;
  if (cell < 8 || cell > 64) {
    std::fprintf(stderr, "make_font: cell size must be 8..64 pixels\n");
    return 2;
  }
  std::vector<unsigned char> ttf = read_file(argv[1]);
  stbtt_fontinfo font;
  if (ttf.empty() || !stbtt_InitFont(&font, ttf.data(), stbtt_GetFontOffsetForIndex(ttf.data(), 0))) {
    std::fprintf(stderr, "make_font: can't read font '%s'\n", argv[1]);
    return 1;
  }
  int ascent, descent, gap;
  stbtt_GetFontVMetrics(&font, &ascent, &descent, &gap);
  // Ascender to descender fills the cell but for one spare row.
  float scale = float(cell - 1) / float(ascent - descent);
  int baseline = int(std::lround(ascent * scale));
  Image img{cell * 16, cell * 16, {}};
  img.rgba.assign(size_t(img.w) * img.h * 4, 0);
  for (int b = 0; b < 256; b++)
    if (is_drawn(b)) draw_glyph(font, scale, baseline, cell, b, img);
  if (!write_tga(argv[2], img)) {
    std::fprintf(stderr, "make_font: can't write '%s'\n", argv[2]);
    return 1;
  }
  return 0;
}
