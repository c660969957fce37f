// Generates the two particle atlases, 512 x 256 A8R8G8B8 DDS files with a
// short mip chain (stopping while every cell still has pixels of its own).
// Shapes are drawn in cells; the effect script names them by pixel
// rectangle (mapU, mapV, mapSize), so the table below is shared with
// data/test/fx.nut and must stay in step with it.
//
//   blendfx.dds  rgb = shading (the particle colour multiplies it),
//                a   = coverage
//     row y=0,   64 px:  smoke puffs 1-4, flame tongue, water drop,
//                        spray, soft disc
//     row y=64,  64 px:  feather 1-2, ring, splash crown, rock chip,
//                        swirl, ember, mist
//     row y=128, 128 px: big smoke, spray cloud, big flame, shock ring
//   glowfx.dds   rgb = white, a = intensity
//     row y=0,   512 x 64: trail ribbon (u along the trail, v across)
//     row y=64,  64 px:  soft glow (the trail cap), spark, sparkle star,
//                        ring, flame tongue, magic wisp, streak, bubble
//     row y=128, 128 px: big glow, shock ring, flare, fire ball
//
// usage: make_fx_textures <output folder>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "tools/tool_output.h"

namespace {
constexpr int W = 512, H = 256, LEVELS = 6;

struct Rgba {
  float r = 0, g = 0, b = 0, a = 0;
};
struct Image {
  int w, h;
  std::vector<Rgba> px;
  Image(int w_, int h_) : w(w_), h(h_), px(size_t(w_) * size_t(h_)) {}
  Rgba& at(int x, int y) { return px[size_t(y) * size_t(w) + size_t(x)]; }
};

uint32_t hash(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7feb352dU;
  x ^= x >> 15;
  x *= 0x846ca68bU;
  x ^= x >> 16;
  return x;
}
float lattice(int x, int y, uint32_t seed) {
  return float(hash(uint32_t(x) * 73856093U ^ uint32_t(y) * 19349663U ^ seed) & 0xFFFFFF) / float(0xFFFFFF);
}
float smooth(float t) { return t * t * (3 - 2 * t); }
float clamp01(float v) { return v < 0 ? 0 : v > 1 ? 1 : v; }
float vnoise(float x, float y, uint32_t seed) {
  int ix = int(std::floor(x)), iy = int(std::floor(y));
  float fx = smooth(x - float(ix)), fy = smooth(y - float(iy));
  float a = lattice(ix, iy, seed), b = lattice(ix + 1, iy, seed);
  float c = lattice(ix, iy + 1, seed), d = lattice(ix + 1, iy + 1, seed);
  return (a + (b - a) * fx) * (1 - fy) + (c + (d - c) * fx) * fy;
}
float fbm(float x, float y, int octaves, uint32_t seed) {
  float s = 0, amp = 1, norm = 0;
  for (int o = 0; o < octaves; o++) {
    s += vnoise(x, y, seed + uint32_t(o) * 101U) * amp;
    norm += amp;
    amp *= 0.5f;
    x *= 2;
    y *= 2;
  }
  return s / norm;
}
float soft_edge(float d, float inner, float outer) { return 1 - smooth(clamp01((d - inner) / (outer - inner))); }

// A shape maps cell coordinates (x right, y up, both -1..1) to a colour.
using Shape = std::function<Rgba(float x, float y)>;

// Cells fade to nothing over their outer pixels, so that a shape whose
// noisy edge reaches the border never shows the square it was cut from, and
// filtering does not pull in a neighbour. The trail ribbon keeps its ends.
void draw_cell(Image& img, int x0, int y0, int w, int h, const Shape& f, bool fade_border = true) {
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      float u = (float(x) + 0.5f) / float(w) * 2 - 1;
      float v = 1 - (float(y) + 0.5f) / float(h) * 2;
      Rgba c = f(u, v);
      int edge = std::min(std::min(x, w - 1 - x), std::min(y, h - 1 - y));
      if (fade_border) c.a *= clamp01(float(edge) / 3.f);
      img.at(x0 + x, y0 + y) = c;
    }
}

Rgba grey(float shade, float a) { return {shade, shade, shade, clamp01(a)}; }
Rgba white(float a) { return {1, 1, 1, clamp01(a)}; }

// ---- blend shapes ----
Shape smoke(uint32_t seed) {
  return [seed](float x, float y) {
    float r = std::hypot(x, y);
    float n = fbm(x * 2.5f + 7, y * 2.5f + 3, 4, seed);
    float a = soft_edge(r + (n - 0.5f) * 0.55f, 0.15f, 0.95f) * (0.55f + 0.45f * n);
    return grey(0.7f + 0.3f * fbm(x * 3 + 1, y * 3 + 5, 3, seed + 9), a);
  };
}
// A tongue of flame: a round base that narrows into a flickering tip,
// densest low in the middle.
Rgba flame_tongue(float x, float y, uint32_t seed) {
  const float base_y = -0.4f, base_r = 0.42f;
  float wob = (fbm(x * 2 + 3, y * 3 - 2, 3, seed) - 0.5f) * 0.5f * clamp01(y - base_y);
  float d;
  if (y <= base_y) {
    d = std::hypot(x, y - base_y) / base_r;
  } else {
    float up = (y - base_y) / (0.95f - base_y);  // 0 at the base's middle, 1 at the tip
    float half = base_r * std::pow(std::max(0.f, 1 - up), 1.3f);
    d = std::fabs(x - wob) / std::max(half, 1e-3f) + (up > 1 ? 1 : 0);
  }
  float tip = y <= base_y ? 1 : 1 - smooth(clamp01(((y - base_y) / (0.95f - base_y) - 0.5f) / 0.5f));
  float a = soft_edge(d, 0.25f, 1.0f) * tip * (0.75f + 0.25f * fbm(x * 4, y * 4 - 9, 2, seed + 1));
  return {1, 1, 1, a};
}
Rgba drop(float x, float y) {
  // A drop falling: round bottom, pointed top, a highlight on the upper left.
  float yy = y < 0 ? y : y * 0.6f;
  float r = std::hypot(x * (1 + std::max(0.f, y)), yy + 0.15f);
  float a = soft_edge(r, 0.35f, 0.6f);
  // Water shows the bright sky: light all over, a white glint, a faint rim.
  float hi = soft_edge(std::hypot(x + 0.15f, y + 0.05f), 0.0f, 0.2f);
  float rim = smooth(clamp01((r - 0.4f) / 0.2f));
  return grey(0.92f + 0.08f * hi - 0.1f * rim, a * (0.75f + 0.25f * std::max(hi, rim)));
}
Rgba spray(float x, float y) {
  float a = 0;
  for (int i = 0; i < 14; i++) {
    float px = lattice(i, 1, 77) * 1.6f - 0.8f, py = lattice(i, 2, 77) * 1.6f - 0.8f;
    float s = 0.05f + 0.1f * lattice(i, 3, 77);
    a = std::max(a, soft_edge(std::hypot(x - px, y - py), s * 0.4f, s));
  }
  return grey(0.95f, a * soft_edge(std::hypot(x, y), 0.6f, 1.0f));
}
Rgba feather(float x, float y, bool curl) {
  // A quill along the diagonal with a vane of fine barbs.
  float c = 0.7071f;
  float along = (x + y) * c, across = (x - y) * c;
  if (curl) across += 0.15f * along * along;
  float len = soft_edge(std::fabs(along), 0.75f, 0.9f);
  float vane = 0.28f * std::sqrt(std::max(0.f, 1 - along * along));
  float barbs = 0.75f + 0.25f * std::sin(along * 60 + std::fabs(across) * 30);
  float a = soft_edge(std::fabs(across), vane * 0.7f, vane) * len * barbs;
  float quill = soft_edge(std::fabs(across), 0.01f, 0.035f) * len;
  return grey(0.9f - 0.2f * std::fabs(across) / std::max(vane, 1e-3f) + 0.1f * quill, std::max(a, quill));
}
Rgba ring(float x, float y, float radius, float width) {
  float d = std::fabs(std::hypot(x, y) - radius);
  return white(soft_edge(d, 0, width));
}
Rgba crown(float x, float y) {
  // Splash crown seen from the side: a cup of spikes rising from a rim.
  float up = (y + 1) * 0.5f;
  float spikes = 0.5f + 0.5f * std::cos(x * 9.4f);
  float top = 0.35f + 0.45f * spikes * (1 - x * x);
  float a = soft_edge(up, top * 0.7f, top) * soft_edge(std::fabs(x), 0.75f, 0.95f);
  float drops = 0;
  for (int i = 0; i < 6; i++) {
    float px = lattice(i, 4, 91) * 1.4f - 0.7f, py = 0.2f + lattice(i, 5, 91) * 0.6f;
    drops = std::max(drops, soft_edge(std::hypot(x - px, y - py), 0.03f, 0.08f));
  }
  return grey(0.85f + 0.15f * up, std::max(a, drops));
}
Rgba chip(float x, float y) {
  float ang = std::atan2(y, x);
  float r = std::hypot(x, y);
  float edge = 0.55f + 0.12f * std::cos(ang * 3 + 1) + 0.08f * std::cos(ang * 5);
  float a = soft_edge(r, edge - 0.06f, edge);
  float shade = 0.5f + 0.35f * clamp01(0.5f + 0.6f * (y - x) * 0.7f) + 0.1f * fbm(x * 4, y * 4, 2, 5);
  return grey(shade, a);
}
Rgba swirl(float x, float y) {
  float r = std::hypot(x, y), ang = std::atan2(y, x);
  float arms = 0.5f + 0.5f * std::cos(ang * 3 + r * 9);
  return grey(0.9f, arms * soft_edge(r, 0.2f, 0.95f) * smooth(clamp01(r * 4)));
}
Rgba soft_disc(float x, float y) { return grey(1, soft_edge(std::hypot(x, y), 0.0f, 1.0f)); }
Rgba mist(float x, float y) {
  float n = fbm(x * 1.5f + 11, y * 1.5f, 4, 33);
  return grey(0.95f, soft_edge(std::hypot(x, y), 0.1f, 1.0f) * (0.3f + 0.7f * n) * 0.8f);
}
Rgba ember(float x, float y) { return grey(1, soft_edge(std::hypot(x, y), 0.1f, 0.45f)); }
Rgba big_flame(float x, float y) {
  float n = fbm(x * 2 + 4, y * 2 - 6, 4, 55);
  float r = std::hypot(x * 1.1f, y < 0 ? y * 1.2f : y * 0.8f);
  return {1, 1, 1, soft_edge(r + (n - 0.5f) * 0.6f, 0.2f, 0.95f)};
}

// ---- glow shapes ----
Rgba glow(float x, float y, float falloff) {
  float r = std::hypot(x, y);
  return white(std::pow(clamp01(1 - r), falloff));
}
Rgba spark(float x, float y) {
  float r = std::hypot(x, y);
  return white(soft_edge(r, 0.0f, 0.2f) + 0.35f * std::pow(clamp01(1 - r), 3.f));
}
Rgba star(float x, float y) {
  float r = std::hypot(x, y);
  float rays = std::max(soft_edge(std::fabs(x), 0, 0.06f) * (1 - std::fabs(y)),
                        soft_edge(std::fabs(y), 0, 0.06f) * (1 - std::fabs(x)));
  float diag = std::max(soft_edge(std::fabs(x - y), 0, 0.05f), soft_edge(std::fabs(x + y), 0, 0.05f)) *
               clamp01(1 - r * 1.6f);
  return white(std::max({rays, diag * 0.6f, std::pow(clamp01(1 - r * 1.8f), 2.f)}));
}
Rgba streak(float x, float y) {
  return white(soft_edge(std::fabs(x), 0, 0.22f) * std::pow(clamp01(1 - std::fabs(y)), 1.5f));
}
Rgba wisp(float x, float y) {
  float n = fbm(x * 2.2f + 9, y * 2.2f + 1, 4, 61);
  return white(std::pow(clamp01(1 - std::hypot(x, y)), 1.5f) * (0.35f + 0.9f * n));
}
Rgba bubble(float x, float y) {
  float r = std::hypot(x, y);
  float rim = soft_edge(std::fabs(r - 0.75f), 0, 0.12f);
  float hi = soft_edge(std::hypot(x + 0.3f, y - 0.3f), 0, 0.2f);
  return white(std::max(rim * 0.7f, hi) + 0.1f * soft_edge(r, 0.6f, 0.8f));
}
Rgba flare(float x, float y) {
  float r = std::hypot(x, y), ang = std::atan2(y, x);
  float rays = std::pow(0.5f + 0.5f * std::cos(ang * 8), 6.f) * clamp01(1 - r);
  return white(std::pow(clamp01(1 - r), 2.5f) + 0.5f * rays);
}
Rgba fire_ball(float x, float y) {
  float n = fbm(x * 3 + 2, y * 3 + 8, 4, 71);
  float r = std::hypot(x, y);
  return white(soft_edge(r + (n - 0.5f) * 0.5f, 0.1f, 0.9f) * (0.6f + 0.6f * n));
}
// The ribbon: bright across its middle (v), fading toward the trail's end
// (u = 1) and flickering gently along it.
Rgba ribbon(float x, float y) {
  float along = (x + 1) * 0.5f;
  float across = std::fabs(y);
  float flick = 0.8f + 0.2f * fbm(along * 24, y * 2, 2, 13);
  return white(soft_edge(across, 0.1f, 0.95f) * std::pow(1 - along, 0.7f) * flick);
}

Image make_blend() {
  Image img(W, H);
  for (int i = 0; i < 4; i++) draw_cell(img, 64 * i, 0, 64, 64, smoke(uint32_t(100 + i)));
  draw_cell(img, 256, 0, 64, 64, [](float x, float y) { return flame_tongue(x, y, 3); });
  draw_cell(img, 320, 0, 64, 64, drop);
  draw_cell(img, 384, 0, 64, 64, spray);
  draw_cell(img, 448, 0, 64, 64, soft_disc);
  draw_cell(img, 0, 64, 64, 64, [](float x, float y) { return feather(x, y, false); });
  draw_cell(img, 64, 64, 64, 64, [](float x, float y) { return feather(x, y, true); });
  draw_cell(img, 128, 64, 64, 64, [](float x, float y) { return ring(x, y, 0.7f, 0.2f); });
  draw_cell(img, 192, 64, 64, 64, crown);
  draw_cell(img, 256, 64, 64, 64, chip);
  draw_cell(img, 320, 64, 64, 64, swirl);
  draw_cell(img, 384, 64, 64, 64, ember);
  draw_cell(img, 448, 64, 64, 64, mist);
  draw_cell(img, 0, 128, 128, 128, smoke(200));
  draw_cell(img, 128, 128, 128, 128, [](float x, float y) {
    Rgba s = spray(x * 0.8f, y * 0.8f);
    Rgba m = mist(x, y);
    return grey(0.95f, std::max(s.a, m.a));
  });
  draw_cell(img, 256, 128, 128, 128, big_flame);
  draw_cell(img, 384, 128, 128, 128, [](float x, float y) { return ring(x, y, 0.8f, 0.15f); });
  return img;
}

Image make_glow() {
  Image img(W, H);
  draw_cell(img, 0, 0, 512, 64, ribbon, false);
  draw_cell(img, 0, 64, 64, 64, [](float x, float y) { return glow(x, y, 2.f); });
  draw_cell(img, 64, 64, 64, 64, spark);
  draw_cell(img, 128, 64, 64, 64, star);
  draw_cell(img, 192, 64, 64, 64, [](float x, float y) { return ring(x, y, 0.7f, 0.25f); });
  draw_cell(img, 256, 64, 64, 64, [](float x, float y) { return flame_tongue(x, y, 8); });
  draw_cell(img, 320, 64, 64, 64, wisp);
  draw_cell(img, 384, 64, 64, 64, streak);
  draw_cell(img, 448, 64, 64, 64, bubble);
  draw_cell(img, 0, 128, 128, 128, [](float x, float y) { return glow(x, y, 1.5f); });
  draw_cell(img, 128, 128, 128, 128, [](float x, float y) { return ring(x, y, 0.8f, 0.2f); });
  draw_cell(img, 256, 128, 128, 128, flare);
  draw_cell(img, 384, 128, 128, 128, fire_ball);
  return img;
}

Image half(const Image& src) {
  Image out(src.w / 2, src.h / 2);
  for (int y = 0; y < out.h; y++)
    for (int x = 0; x < out.w; x++) {
      Rgba s;
      for (int k = 0; k < 4; k++) {
        const Rgba& p = src.px[size_t(2 * y + k / 2) * size_t(src.w) + size_t(2 * x + k % 2)];
        s.r += p.r * 0.25f;
        s.g += p.g * 0.25f;
        s.b += p.b * 0.25f;
        s.a += p.a * 0.25f;
      }
      out.at(x, y) = s;
    }
  return out;
}

uint8_t to_byte(float v) { return uint8_t(std::lround(clamp01(v) * 255)); }

bool write_dds(const std::string& path, Image img) {
  std::vector<uint8_t> f;
  f.insert(f.end(), {'D', 'D', 'S', ' '});
  put32(f, 124);
  put32(f, 0x1 | 0x2 | 0x4 | 0x8 | 0x1000 | 0x20000);  // caps, height, width, pitch, format, mip count
  put32(f, H);
  put32(f, W);
  put32(f, W * 4);
  put32(f, 0);
  put32(f, LEVELS);
  for (int i = 0; i < 11; i++) put32(f, 0);
  put32(f, 32);
  put32(f, 0x40 | 0x1);  // RGB with alpha
  put32(f, 0);
  put32(f, 32);
  put32(f, 0x00FF0000);
  put32(f, 0x0000FF00);
  put32(f, 0x000000FF);
  put32(f, 0xFF000000);
  put32(f, 0x1000 | 0x400000 | 0x8);  // texture, mip map, complex
  for (int i = 0; i < 4; i++) put32(f, 0);
  for (int l = 0; l < LEVELS; l++) {
    for (const Rgba& p : img.px) f.insert(f.end(), {to_byte(p.b), to_byte(p.g), to_byte(p.r), to_byte(p.a)});
    if (l + 1 < LEVELS) img = half(img);
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
  if (!write_dds(dir + "/blendfx.dds", make_blend()) || !write_dds(dir + "/glowfx.dds", make_glow())) {
    std::fprintf(stderr, "make_fx_textures: can't write the atlases into %s\n", dir.c_str());
    return 1;
  }
  return 0;
}
