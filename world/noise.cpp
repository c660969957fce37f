// The game's random generator, the noise tables and the noise queries.
#include "world/noise.h"

#include <cmath>

#include "platform/platform.h"
#include "world/noise_impl.h"

namespace {
// Contents used before the first reseed: a fixed odd-multiplier permutation
// and golden-ratio feature points.
struct InitialTables {
  uint8_t perm[512];
  float rnd[512];
  constexpr InitialTables() : perm(), rnd() {
    for (int i = 0; i < 256; i++) perm[i] = perm[i + 256] = uint8_t((i * 167 + 13) & 255);
    for (int i = 0; i < 512; i++) {
      double v = double(i + 1) * 0.6180339887498949;
      rnd[i] = float(v - double(int64_t(v)));
    }
  }
};
constexpr InitialTables initial;
}  // namespace

uint8_t noise_perm[512];
float noise_rnd[512];

namespace {
// Fills the tables before any other code of the process runs.
struct TableInit {
  TableInit() {
    for (int i = 0; i < 512; i++) {
      noise_perm[i] = initial.perm[i];
      noise_rnd[i] = initial.rnd[i];
    }
  }
} table_init;
}  // namespace

namespace noise_detail {
const float grad2[8][2] = {{0, 1}, {0, -1}, {-1, -1}, {1, -1}, {1, 0}, {-1, 0}, {-1, 1}, {1, 1}};
}

int hmrnd() { return int(rnd_step() & 255); }
float hmfrnd() { return rnd_unit(rnd_step()) * 256.0f; }
float hmsrnd() { return (rnd_unit(rnd_step()) * 2.0f - 1.0f) * 128.0f; }
int irnd() { return int(rnd_step() & 0x7FFFFFFFu); }
float frnd() { return rnd_unit(rnd_step()); }
float srnd() { return rnd_unit(rnd_step()) * 2.0f - 1.0f; }
float rndf(float a, float b) { return a + rnd_unit(rnd_step()) * (b - a); }
void set_rnd_seed(int64_t n) { game_rnd_seed = uint64_t(n); }
void randomize_rnd_seed() { game_rnd_seed = uint64_t(get_ref_time()); }

float wrap(float x) {
  float t = x / 256.0f;
  t -= std::trunc(t);
  t *= 256.0f;
  if (t > 128.0f)
    t -= 256.0f;
  else if (t <= -128.0f)
    t += 256.0f;
  return t;
}

void reseed_noise() {
  uint64_t s = game_rnd_seed;
  for (int i = 0; i < 256; i++) noise_perm[i] = uint8_t(i);
  for (int pass = 0; pass < 4; pass++)
    for (int i = 0; i < 256; i++) {
      int j = int(rnd_step(s) & 255);
      uint8_t t = noise_perm[i];
      noise_perm[i] = noise_perm[j];
      noise_perm[j] = t;
    }
  for (int i = 0; i < 256; i++) noise_perm[i + 256] = noise_perm[i];
  for (int i = 0; i < 512; i++) noise_rnd[i] = rnd_unit(rnd_step(s));
  game_rnd_seed = s;
}

float noise1(float x) { return noise_detail::noise1(x); }
float tiled_noise2(float x, float y, int tile) { return noise_detail::tiled_noise2(x, y, tile); }

float fractal_noise1(float x, int octaves, const FloatRamp* ramp, float gain) {
  using noise_detail::shaped;
  float r = shaped(noise_detail::noise1(x), ramp);
  float amp = gain;
  for (int o = 1; o < octaves; o++) {
    x = x * 2.0f + 0.5f;
    r += shaped(noise_detail::noise1(x), ramp) * amp;
    amp *= gain;
  }
  return r;
}

float tiled_fractal_noise2(float x, float y, int tile, int octaves, const FloatRamp* ramp, float gain) {
  return noise_detail::tiled_fractal_noise2(x, y, tile, octaves, ramp, gain);
}

int get_noise_hash1(int i) { return noise_perm[i & 255]; }
int get_noise_hash2(int x, int y) { return noise_detail::hash2(x, y); }

void tiled_voronoi_noise2_all9(float x, float y, int tileShift, Point2* points, int* ids) {
  if (!points && !ids) return;
  noise_detail::voronoi9(x, y, tileShift, [&](int n, float px, float py, int id) {
    if (points) points[n] = {px, py};
    if (ids) ids[n] = id;
  });
}

void tiled_voronoi_noise2_near4(float x, float y, int tileShift, float* dist, int* ids, Point2* points) {
  if (!dist && !ids && !points) return;
  noise_detail::Near4 r;
  noise_detail::near4(x, y, tileShift, r);
  for (int s = 0; s < 4; s++) {
    if (dist) dist[s] = r.dist[s];
    if (ids) ids[s] = r.ids[s];
    if (points) points[s] = r.pts[s];
  }
}

void walk_map_grid(int level, IWalkMapGrid& walker) {
  if (level >= 0) {
    int size = 1 << (level < 8 ? level : 8);
    for (int z = 0; z < 256; z += size)
      for (int x = 0; x < 256; x += size) walker.on_map_grid_walk(float(x), float(z), float(size));
    return;
  }
  int sub = -level;
  // 2^22 sub-cells per map cell is already far beyond any useful walk; the
  // limit keeps the cell count inside an int.
  if (sub > 22) sub = 22;
  int n = 256 << sub;
  float size = 1.0f / float(1 << sub);
  for (int i = 0; i < n; i++)
    for (int j = 0; j < n; j++) walker.on_map_grid_walk(float(j) * size, float(i) * size, size);
}

void GenMapCellPoints::on_map_grid_walk(float x, float z, float size) {
  for (int k = 0; k < n; k++) {
    uint32_t u1 = rnd_step();
    uint32_t u2 = rnd_step();
    sink->add_point(x + size * (float(u1) * 0x1p-32f), z + size * (float(u2) * 0x1p-32f));
  }
}
