// make_icons OUT_DIR: the game's icon, a castle standing against a dusk sky
// on a rounded tile, as PNG files OUT_DIR/tolvane-48.png, -128.png and
// -256.png. The desktop's menus take all three; both programs' windows show
// the 128-pixel one.
//
// The picture is a function over the unit square (y down), sampled 4 x 4
// times per pixel so that the edges stay smooth at every size.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb/stb_image_write.h>

namespace {
constexpr int SIZES[] = {48, 128, 256};
constexpr int SUPERSAMPLE = 4;  // samples per pixel along each axis

struct Rgba {
  float r, g, b, a;
};

Rgba mix(Rgba x, Rgba y, float t) {
  return {x.r + (y.r - x.r) * t, x.g + (y.g - x.g) * t, x.b + (y.b - x.b) * t, x.a + (y.a - x.a) * t};
}

// Palette.
constexpr Rgba SKY_TOP = {0.09f, 0.14f, 0.33f, 1};
constexpr Rgba SKY_HORIZON = {0.96f, 0.60f, 0.32f, 1};
constexpr Rgba SUN = {1.00f, 0.86f, 0.56f, 1};
constexpr Rgba HILL = {0.15f, 0.29f, 0.17f, 1};
constexpr Rgba STONE = {0.10f, 0.10f, 0.16f, 1};
constexpr Rgba WINDOW_LIGHT = {1.00f, 0.80f, 0.38f, 1};
constexpr Rgba GATE = {0.26f, 0.15f, 0.08f, 1};
constexpr Rgba BANNER = {0.86f, 0.18f, 0.16f, 1};
constexpr Rgba CLEAR = {0, 0, 0, 0};

// The tile: a square with rounded corners, a small margin all round.
constexpr float TILE_MARGIN = 0.03f, TILE_RADIUS = 0.18f;
constexpr float HORIZON_Y = 0.78f;

bool in_box(float x, float y, float x0, float y0, float x1, float y1) { return x >= x0 && x < x1 && y >= y0 && y < y1; }

bool in_tile(float x, float y) {
  float lo = TILE_MARGIN + TILE_RADIUS, hi = 1 - TILE_MARGIN - TILE_RADIUS;
  float dx = x < lo ? lo - x : (x > hi ? x - hi : 0);
  float dy = y < lo ? lo - y : (y > hi ? y - hi : 0);
  return in_box(x, y, TILE_MARGIN, TILE_MARGIN, 1 - TILE_MARGIN, 1 - TILE_MARGIN) &&
         dx * dx + dy * dy <= TILE_RADIUS * TILE_RADIUS;
}

// A battlemented block: the body from `top` down to the ground, and
// `merlons` teeth of equal width and gap above it.
bool in_battlemented(float x, float y, float x0, float x1, float top, int merlons) {
  constexpr float TOOTH_HEIGHT = 0.045f;
  if (in_box(x, y, x0, top, x1, HORIZON_Y + 0.05f)) return true;
  if (!in_box(x, y, x0, top - TOOTH_HEIGHT, x1, top)) return false;
  float slots = 2.0f * merlons - 1;  // teeth and gaps, teeth at both ends
  int slot = int((x - x0) / (x1 - x0) * slots);
  return slot % 2 == 0;
}

bool in_castle(float x, float y) {
  return in_battlemented(x, y, 0.24f, 0.76f, 0.54f, 6) ||  // curtain wall
         in_battlemented(x, y, 0.13f, 0.31f, 0.38f, 3) ||  // left tower
         in_battlemented(x, y, 0.69f, 0.87f, 0.38f, 3) ||  // right tower
         in_battlemented(x, y, 0.39f, 0.61f, 0.24f, 3) ||  // keep
         in_box(x, y, 0.494f, 0.06f, 0.506f, 0.20f);       // flagpole
}

bool in_banner(float x, float y) {
  // A pennant flying right from the pole's top.
  if (x < 0.506f || x > 0.62f) return false;
  float t = (x - 0.506f) / (0.62f - 0.506f);
  float half = 0.035f * (1 - t);
  return std::fabs(y - 0.095f) <= half;
}

bool in_gate(float x, float y) {
  constexpr float CX = 0.5f, HALF_WIDTH = 0.06f, SPRING = 0.72f;
  if (std::fabs(x - CX) > HALF_WIDTH || y > HORIZON_Y + 0.05f) return false;
  if (y >= SPRING) return true;
  float dx = x - CX, dy = y - SPRING;  // the round arch above the springing line
  return dx * dx + dy * dy <= HALF_WIDTH * HALF_WIDTH;
}

bool in_window(float x, float y) {
  constexpr float W = 0.035f, H = 0.06f;
  const float centres[][2] = {{0.22f, 0.47f}, {0.78f, 0.47f}, {0.5f, 0.34f}, {0.5f, 0.48f}};
  for (const auto& c : centres)
    if (in_box(x, y, c[0] - W / 2, c[1] - H / 2, c[0] + W / 2, c[1] + H / 2)) return true;
  return false;
}

Rgba sky(float x, float y) {
  Rgba c = mix(SKY_TOP, SKY_HORIZON, std::fmin(1.0f, std::fmax(0.0f, y / HORIZON_Y)));
  float dx = x - 0.23f, dy = y - 0.22f;  // low over the left tower
  if (dx * dx + dy * dy <= 0.085f * 0.085f) c = SUN;
  return c;
}

Rgba sample(float x, float y) {
  if (!in_tile(x, y)) return CLEAR;
  if (in_banner(x, y)) return BANNER;
  if (in_castle(x, y)) {
    if (in_gate(x, y)) return GATE;
    if (in_window(x, y)) return WINDOW_LIGHT;
    return STONE;
  }
  float hill_top = HORIZON_Y + 0.035f * std::sin(x * 7.0f + 0.6f);
  if (y >= hill_top) return HILL;
  return sky(x, y);
}

// Averages the samples with premultiplied alpha, so that the tile's edge
// fades out without darkening.
std::vector<unsigned char> render(int size) {
  std::vector<unsigned char> px(size_t(size) * size * 4);
  for (int py = 0; py < size; py++)
    for (int pxi = 0; pxi < size; pxi++) {
      float r = 0, g = 0, b = 0, a = 0;
      for (int sy = 0; sy < SUPERSAMPLE; sy++)
        for (int sx = 0; sx < SUPERSAMPLE; sx++) {
          Rgba c = sample((pxi + (sx + 0.5f) / SUPERSAMPLE) / size, (py + (sy + 0.5f) / SUPERSAMPLE) / size);
          r += c.r * c.a;
          g += c.g * c.a;
          b += c.b * c.a;
          a += c.a;
        }
      unsigned char* p = &px[(size_t(py) * size + pxi) * 4];
      auto byte = [](float v) { return (unsigned char)std::lround(std::fmin(1.0f, std::fmax(0.0f, v)) * 255); };
      p[0] = a > 0 ? byte(r / a) : 0;
      p[1] = a > 0 ? byte(g / a) : 0;
      p[2] = a > 0 ? byte(b / a) : 0;
      p[3] = byte(a / (SUPERSAMPLE * SUPERSAMPLE));
    }
  return px;
}

// Written under a temporary name and renamed, so that an interrupted build
// never leaves half an image behind.
bool write_png(const std::string& path, int size, const std::vector<unsigned char>& px) {
  std::string tmp = path + ".part";
  if (!stbi_write_png(tmp.c_str(), size, size, 4, px.data(), size * 4) || std::rename(tmp.c_str(), path.c_str())) {
    std::fprintf(stderr, "make_icons: can't write %s\n", path.c_str());
    std::remove(tmp.c_str());
    return false;
  }
  return true;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_icons OUT_DIR\n");
    return 2;
  }
  for (int size : SIZES)
    if (!write_png(std::string(argv[1]) + "/tolvane-" + std::to_string(size) + ".png", size, render(size))) return 1;
  return 0;
}
