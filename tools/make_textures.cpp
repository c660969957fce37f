// Generates the land detail texture and the water foam texture as DXT5 DDS
// files with full mip chains. Both tile seamlessly: every noise below is
// periodic over the texture size.
//
//   detail.dds  r rock grain, g grass speckle, b fine soil grain, a coarse
//               mottling; all centred on 0.5 so that 2 x value keeps the
//               mean brightness of the colour it modulates.
//   foam.dds    r, g ripple slope (0.5 = flat), b ripple height, a foam
//               bubbles.
//
// usage: make_textures <output folder>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/tool_output.h"

namespace {
constexpr int SIZE = 256;

struct Rgba {
  float r, g, b, a;
};
using Image = std::vector<Rgba>;

uint32_t hash(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7feb352dU;
  x ^= x >> 15;
  x *= 0x846ca68bU;
  x ^= x >> 16;
  return x;
}
float lattice(int x, int y, int period, uint32_t seed) {
  x = ((x % period) + period) % period;
  y = ((y % period) + period) % period;
  return float(hash(uint32_t(x) * 73856093U ^ uint32_t(y) * 19349663U ^ seed) & 0xFFFFFF) / float(0xFFFFFF);
}
float smooth(float t) { return t * t * (3 - 2 * t); }
// Periodic value noise in [0, 1] with `period` lattice cells over the texture.
float vnoise(float u, float v, int period, uint32_t seed) {
  float x = u * float(period), y = v * float(period);
  int ix = int(std::floor(x)), iy = int(std::floor(y));
  float fx = smooth(x - float(ix)), fy = smooth(y - float(iy));
  float a = lattice(ix, iy, period, seed), b = lattice(ix + 1, iy, period, seed);
  float c = lattice(ix, iy + 1, period, seed), d = lattice(ix + 1, iy + 1, period, seed);
  return (a + (b - a) * fx) * (1 - fy) + (c + (d - c) * fx) * fy;
}
float fbm(float u, float v, int period, int octaves, float gain, uint32_t seed) {
  float s = 0, amp = 1, norm = 0;
  for (int o = 0; o < octaves; o++) {
    s += vnoise(u, v, period << o, seed + uint32_t(o) * 101U) * amp;
    norm += amp;
    amp *= gain;
  }
  return s / norm;
}
// Distance to the nearest of one random point per cell, periodic.
float cells(float u, float v, int period, uint32_t seed) {
  float x = u * float(period), y = v * float(period);
  int ix = int(std::floor(x)), iy = int(std::floor(y));
  float best = 9;
  for (int dy = -1; dy <= 1; dy++)
    for (int dx = -1; dx <= 1; dx++) {
      int cx = ix + dx, cy = iy + dy;
      float px = float(cx) + lattice(cx, cy, period, seed);
      float py = float(cy) + lattice(cx, cy, period, seed ^ 0x9e3779b9U);
      float d = std::hypot(px - x, py - y);
      best = std::min(best, d);
    }
  return best;
}
float clamp01(float v) { return v < 0 ? 0 : v > 1 ? 1 : v; }
// Rescales a channel so that its mean is 0.5.
void centre_channel(Image& img, float Rgba::*ch) {
  double sum = 0;
  for (auto& p : img) sum += p.*ch;
  float mean = float(sum / double(img.size()));
  for (auto& p : img) p.*ch = clamp01(p.*ch * 0.5f / std::max(mean, 1e-3f));
}

Image make_detail() {
  Image img(SIZE * SIZE);
  for (int y = 0; y < SIZE; y++)
    for (int x = 0; x < SIZE; x++) {
      float u = (float(x) + 0.5f) / SIZE, v = (float(y) + 0.5f) / SIZE;
      Rgba& p = img[y * SIZE + x];
      // Rock: ridged noise with cracks.
      float r = 1 - std::fabs(fbm(u, v, 8, 5, 0.55f, 11) * 2 - 1);
      float crack = std::min(1.f, cells(u, v, 12, 5) * 2.2f);
      p.r = 0.35f + 0.5f * r * (0.6f + 0.4f * crack);
      // Grass: dense speckle of blades over a soft variation.
      float blades = vnoise(u, v, 128, 23) * 0.6f + vnoise(u, v, 64, 29) * 0.4f;
      p.g = 0.3f + 0.55f * blades * (0.7f + 0.3f * fbm(u, v, 4, 3, 0.5f, 31));
      // Soil: fine grain with small pebbles.
      float grain = fbm(u, v, 32, 3, 0.6f, 41);
      float pebble = 1 - std::min(1.f, cells(u, v, 24, 43) * 2.5f);
      p.b = 0.4f + 0.35f * grain + 0.25f * pebble * pebble;
      // Coarse mottling for large-scale variation.
      p.a = fbm(u, v, 4, 4, 0.5f, 53);
    }
  centre_channel(img, &Rgba::r);
  centre_channel(img, &Rgba::g);
  centre_channel(img, &Rgba::b);
  centre_channel(img, &Rgba::a);
  return img;
}

Image make_foam() {
  Image img(SIZE * SIZE);
  std::vector<float> h(SIZE * SIZE);
  for (int y = 0; y < SIZE; y++)
    for (int x = 0; x < SIZE; x++) {
      float u = (float(x) + 0.5f) / SIZE, v = (float(y) + 0.5f) / SIZE;
      h[y * SIZE + x] = fbm(u, v, 6, 4, 0.5f, 71) * 0.7f + (1 - cells(u, v, 10, 73)) * 0.3f;
    }
  for (int y = 0; y < SIZE; y++)
    for (int x = 0; x < SIZE; x++) {
      auto at = [&](int i, int j) { return h[((j + SIZE) % SIZE) * SIZE + (i + SIZE) % SIZE]; };
      float dx = (at(x + 1, y) - at(x - 1, y)) * 8.f, dy = (at(x, y + 1) - at(x, y - 1)) * 8.f;
      float u = (float(x) + 0.5f) / SIZE, v = (float(y) + 0.5f) / SIZE;
      Rgba& p = img[y * SIZE + x];
      p.r = clamp01(0.5f + dx);
      p.g = clamp01(0.5f + dy);
      p.b = at(x, y);
      // Bubbles: bright rims of packed cells, thinned by a soft mask.
      float c1 = cells(u, v, 20, 81), c2 = cells(u, v, 36, 83);
      float bubbles = std::max(1 - std::fabs(c1 - 0.45f) * 6, 1 - std::fabs(c2 - 0.4f) * 7);
      float mask = smooth(clamp01(fbm(u, v, 4, 3, 0.5f, 87) * 2.2f - 0.6f));
      p.a = clamp01(bubbles * 0.8f * (0.4f + 0.6f * mask) + mask * 0.25f);
    }
  return img;
}

// Building surfaces, each centred on 0.5 like the detail texture:
//   r  stone blocks in courses, dark mortar joints, each block its own tone
//   g  overlapping roof tiles in rows, shaded toward their lower edge
//   b  square paving slabs with worn edges
//   a  soft mottling for weathering
Image make_castle() {
  Image img(SIZE * SIZE);
  for (int y = 0; y < SIZE; y++)
    for (int x = 0; x < SIZE; x++) {
      float u = (float(x) + 0.5f) / SIZE, v = (float(y) + 0.5f) / SIZE;
      Rgba& p = img[y * SIZE + x];
      float grain = fbm(u, v, 16, 3, 0.55f, 101);
      // Eight courses, four blocks a course, every other course offset by half.
      float cy = v * 8, cx = u * 4 + (int(cy) % 2) * 0.5f;
      float fy = cy - std::floor(cy), fx = cx - std::floor(cx);
      float joint = std::min(std::min(fy, 1 - fy) * 8 * 3.5f, std::min(fx, 1 - fx) * 4 * 7.0f);
      float tone = lattice(int(std::floor(cx)) % 4, int(cy), 8, 103);
      p.r = (0.55f + 0.3f * tone + 0.25f * grain) * (0.35f + 0.65f * clamp01(joint));
      // Roof tiles: rows of rounded tongues.
      float ty = v * 16, tx = u * 8 + (int(ty) % 2) * 0.5f;
      float gy = ty - std::floor(ty), gx = tx - std::floor(tx);
      float tongue = clamp01(1 - std::pow(std::fabs(gx - 0.5f) * 2, 3.f) - gy * 0.6f);
      p.g = (0.45f + 0.5f * tongue) * (0.8f + 0.3f * grain);
      // Paving: four slabs a side.
      float sx = u * 4 - std::floor(u * 4), sy = v * 4 - std::floor(v * 4);
      float edge = clamp01(std::min(std::min(sx, 1 - sx), std::min(sy, 1 - sy)) * 18);
      p.b = (0.5f + 0.35f * lattice(int(u * 4), int(v * 4), 4, 107) + 0.3f * grain) * (0.45f + 0.55f * edge);
      p.a = fbm(u, v, 4, 4, 0.5f, 109);
    }
  centre_channel(img, &Rgba::r);
  centre_channel(img, &Rgba::g);
  centre_channel(img, &Rgba::b);
  centre_channel(img, &Rgba::a);
  return img;
}

// Creature skin and weathered stone, centred on 0.5: r small scales, g coarse
// grain, b fine pits, a mottling.
Image make_hide() {
  Image img(SIZE * SIZE);
  for (int y = 0; y < SIZE; y++)
    for (int x = 0; x < SIZE; x++) {
      float u = (float(x) + 0.5f) / SIZE, v = (float(y) + 0.5f) / SIZE;
      Rgba& p = img[y * SIZE + x];
      float c = cells(u, v, 24, 121);
      p.r = 0.35f + 0.65f * clamp01(c * 1.8f);
      p.g = fbm(u, v, 8, 4, 0.55f, 123);
      p.b = 0.5f + 0.5f * clamp01(cells(u, v, 48, 125) * 2.5f);
      p.a = fbm(u, v, 4, 3, 0.5f, 127);
    }
  centre_channel(img, &Rgba::r);
  centre_channel(img, &Rgba::g);
  centre_channel(img, &Rgba::b);
  centre_channel(img, &Rgba::a);
  return img;
}

Image half(const Image& src, int size) {
  int n = size / 2;
  Image out(size_t(n) * n);
  for (int y = 0; y < n; y++)
    for (int x = 0; x < n; x++) {
      const Rgba& a = src[(2 * y) * size + 2 * x];
      const Rgba& b = src[(2 * y) * size + 2 * x + 1];
      const Rgba& c = src[(2 * y + 1) * size + 2 * x];
      const Rgba& d = src[(2 * y + 1) * size + 2 * x + 1];
      out[y * n + x] = {(a.r + b.r + c.r + d.r) / 4, (a.g + b.g + c.g + d.g) / 4, (a.b + b.b + c.b + d.b) / 4,
                        (a.a + b.a + c.a + d.a) / 4};
    }
  return out;
}

uint16_t to565(float r, float g, float b) {
  return uint16_t((int(clamp01(r) * 31 + 0.5f) << 11) | (int(clamp01(g) * 63 + 0.5f) << 5) |
                  int(clamp01(b) * 31 + 0.5f));
}
void from565(uint16_t c, float out[3]) {
  out[0] = float((c >> 11) & 31) / 31.f;
  out[1] = float((c >> 5) & 63) / 63.f;
  out[2] = float(c & 31) / 31.f;
}

// One DXT5 block of 4 x 4 texels (clamped at the level's edge).
void encode_block(const Image& img, int size, int bx, int by, uint8_t out[16]) {
  Rgba px[16];
  for (int j = 0; j < 4; j++)
    for (int i = 0; i < 4; i++) px[j * 4 + i] = img[std::min(by + j, size - 1) * size + std::min(bx + i, size - 1)];
  // Alpha: eight levels between the extremes.
  float amin = 1, amax = 0;
  for (auto& p : px) amin = std::min(amin, p.a), amax = std::max(amax, p.a);
  uint8_t a0 = uint8_t(std::lround(amax * 255)), a1 = uint8_t(std::lround(amin * 255));
  if (a0 == a1) {
    if (a0 < 255) a0++; else a1--;
  }
  float levels[8];
  levels[0] = a0 / 255.f;
  levels[1] = a1 / 255.f;
  for (int i = 1; i < 7; i++) levels[i + 1] = ((7 - i) * a0 + i * a1) / (7 * 255.f);
  uint64_t abits = 0;
  for (int i = 0; i < 16; i++) {
    int best = 0;
    for (int k = 1; k < 8; k++)
      if (std::fabs(levels[k] - px[i].a) < std::fabs(levels[best] - px[i].a)) best = k;
    abits |= uint64_t(best) << (3 * i);
  }
  out[0] = a0;
  out[1] = a1;
  for (int i = 0; i < 6; i++) out[2 + i] = uint8_t(abits >> (8 * i));
  // Colour: the block's extremes along its main axis (the bounding box diagonal).
  float lo[3] = {1, 1, 1}, hi[3] = {0, 0, 0};
  for (auto& p : px) {
    float c[3] = {p.r, p.g, p.b};
    for (int k = 0; k < 3; k++) lo[k] = std::min(lo[k], c[k]), hi[k] = std::max(hi[k], c[k]);
  }
  uint16_t c0 = to565(hi[0], hi[1], hi[2]), c1 = to565(lo[0], lo[1], lo[2]);
  if (c0 < c1) std::swap(c0, c1);
  uint32_t cbits = 0;
  if (c0 == c1) {
    cbits = 0;  // every texel takes colour 0
  } else {
    float p0[3], p1[3], pal[4][3];
    from565(c0, p0);
    from565(c1, p1);
    for (int k = 0; k < 3; k++) {
      pal[0][k] = p0[k];
      pal[1][k] = p1[k];
      pal[2][k] = (2 * p0[k] + p1[k]) / 3;
      pal[3][k] = (p0[k] + 2 * p1[k]) / 3;
    }
    for (int i = 0; i < 16; i++) {
      float c[3] = {px[i].r, px[i].g, px[i].b};
      int best = 0;
      float bd = 1e9f;
      for (int k = 0; k < 4; k++) {
        float d = 0;
        for (int m = 0; m < 3; m++) d += (pal[k][m] - c[m]) * (pal[k][m] - c[m]);
        if (d < bd) bd = d, best = k;
      }
      cbits |= uint32_t(best) << (2 * i);
    }
  }
  out[8] = uint8_t(c0);
  out[9] = uint8_t(c0 >> 8);
  out[10] = uint8_t(c1);
  out[11] = uint8_t(c1 >> 8);
  for (int i = 0; i < 4; i++) out[12 + i] = uint8_t(cbits >> (8 * i));
}


bool write_dds(const std::string& path, Image img) {
  int levels = 0;
  for (int s = SIZE; s >= 1; s /= 2) levels++;
  std::vector<uint8_t> f;
  f.insert(f.end(), {'D', 'D', 'S', ' '});
  put32(f, 124);
  put32(f, 0x1 | 0x2 | 0x4 | 0x1000 | 0x20000 | 0x80000);  // caps, height, width, format, mips, linear size
  put32(f, SIZE);
  put32(f, SIZE);
  put32(f, (SIZE / 4) * (SIZE / 4) * 16);
  put32(f, 0);
  put32(f, uint32_t(levels));
  for (int i = 0; i < 11; i++) put32(f, 0);
  put32(f, 32);   // pixel format size
  put32(f, 0x4);  // four-cc
  f.insert(f.end(), {'D', 'X', 'T', '5'});
  for (int i = 0; i < 5; i++) put32(f, 0);
  put32(f, 0x1000 | 0x400000 | 0x8);  // texture, mip map, complex
  for (int i = 0; i < 4; i++) put32(f, 0);
  int size = SIZE;
  for (int l = 0; l < levels; l++) {
    for (int by = 0; by < std::max(1, size / 4); by++)
      for (int bx = 0; bx < std::max(1, size / 4); bx++) {
        uint8_t block[16];
        encode_block(img, size, bx * 4, by * 4, block);
        f.insert(f.end(), block, block + 16);
      }
    if (size > 1) {
      img = half(img, size);
      size /= 2;
    }
  }
  return write_file_atomically(path, f);
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
    return 2;
  }
  std::string dir = argv[1];
  if (!write_dds(dir + "/detail.dds", make_detail()) || !write_dds(dir + "/foam.dds", make_foam()) ||
      !write_dds(dir + "/castle.dds", make_castle()) || !write_dds(dir + "/hide.dds", make_hide())) {
    std::fprintf(stderr, "make_textures: can't write the textures into %s\n", dir.c_str());
    return 1;
  }
  return 0;
}
