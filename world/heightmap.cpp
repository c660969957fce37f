// The world arrays and the whole-grid operations on them.
#include "world/heightmap.h"

#include <cfloat>
#include <cmath>
#include <cstring>

#include "world/simd4.h"

namespace HeightmapData {
alignas(16) float hmap[HMAP_CELLS];
alignas(16) float target_hmap[HMAP_CELLS];
alignas(16) Water water[HMAP_SIZE][HMAP_SIZE];
alignas(16) Water tmpw[HMAP_SIZE][HMAP_SIZE];
alignas(16) Surface surface[HMAP_CELLS];
}  // namespace HeightmapData


namespace HeightmapData {

void reset() {
  std::memset(hmap, 0, sizeof(hmap));
  std::memset(target_hmap, 0, sizeof(target_hmap));
  Surface s;
  s.groundColor = D3dColor(0xFF808080u);
  s.coverColor = D3dColor(0u);
  s.groundType = GT_ROCK;
  s.surfaceType = 0;
  s.houseOrient = 0;
  s.houseTile = 0;
  for (Surface& c : surface) c = s;
  std::memset(water, 0, sizeof(water));
}

void calcHtRange(float& min, float& max) {
  float lo = hmap[0], hi = hmap[0];
  for (int i = 1; i < HMAP_CELLS; i++) {
    float v = hmap[i];
    if (v < lo)
      lo = v;
    else if (v > hi)
      hi = v;
  }
  min = lo;
  max = hi;
}

float recenterHt() {
  float lo, hi;
  calcHtRange(lo, hi);
  float shift = -(lo + hi) * 0.5f;
  simd::F4 s = simd::set1(shift);
  for (int i = 0; i < HMAP_CELLS; i += 4) simd::store(hmap + i, simd::load(hmap + i) + s);
  return (hi - lo) * 0.5f;
}

namespace {
// The approach step for four cells: min(|d| * rate + dt, |d|) with the sign of d.
inline simd::F4 approach_step(simd::F4 d, simd::F4 ad, simd::F4 rate, simd::F4 dt) {
  simd::F4 step = simd::min(ad * rate + dt, ad);
  return step | (d & simd::sign_mask());
}
}  // namespace

void updateHmap(float dt) {
  using namespace simd;
  float r = dt * 0.2f;
  F4 rate = set1(r < 1.0f ? r : 1.0f);
  F4 vdt = set1(dt);
  F4 eps = set1(0.001f);
  for (int i = 0; i < HMAP_CELLS; i += 4) {
    F4 h = load(hmap + i);
    F4 d = load(target_hmap + i) - h;
    F4 ad = abs(d);
    // All four below the threshold (NaN counts as not below): leave the block.
    if (movemask(cmplt(ad, eps)) == 15) continue;
    store(hmap + i, h + approach_step(d, ad, rate, vdt));
  }
}

void morphHmap(float dt, float* out) {
  using namespace simd;
  float r = dt * 0.2f;
  F4 rate = set1(r < 1.0f ? r : 1.0f);
  F4 vdt = set1(dt);
  for (int i = 0; i < HMAP_CELLS; i += 4) {
    F4 h = load(hmap + i);
    F4 d = load(target_hmap + i) - h;
    storeu(out + i, h + approach_step(d, abs(d), rate, vdt));
  }
}

namespace {
inline float node(int x, int z, bool withWater) {
  int xi = x & HMAP_MASK, zi = z & HMAP_MASK;
  float v = hmap[(zi << HMAP_SIZE_SHIFT) | xi];
  if (withWater) v += water[zi][xi].depth;
  return v;
}
inline float lerp(float a, float b, float t) { return a + (b - a) * t; }
inline int sq_floor(float v) { return world_round(v - 0.4999999f); }
}  // namespace

vec4f calcSquareDepth(vec4f pos, float h, bool withWater) {
  float ex0 = pos.x - h, ex1 = pos.x + h, ez0 = pos.z - h, ez1 = pos.z + h;
  int x0 = sq_floor(ex0), x1 = sq_floor(ex1), z0 = sq_floor(ez0), z1 = sq_floor(ez1);
  float fx0 = ex0 - float(x0), fx1 = ex1 - float(x1), fz0 = ez0 - float(z0), fz1 = ez1 - float(z1);

  auto bilinear = [&](int x, float fx, int z, float fz) {
    float a = lerp(node(x, z, withWater), node(x + 1, z, withWater), fx);
    float b = lerp(node(x, z + 1, withWater), node(x + 1, z + 1, withWater), fx);
    return lerp(a, b, fz);
  };

  float m = -FLT_MAX;
  auto take = [&m](float v) {
    if (v > m) m = v;
  };
  take(bilinear(x0, fx0, z0, fz0));
  take(bilinear(x1, fx1, z0, fz0));
  take(bilinear(x0, fx0, z1, fz1));
  take(bilinear(x1, fx1, z1, fz1));
  // Integer columns crossing the two z edges.
  for (int c = x0 + 1; c <= x1; c++) {
    take(lerp(node(c, z0, withWater), node(c, z0 + 1, withWater), fz0));
    take(lerp(node(c, z1, withWater), node(c, z1 + 1, withWater), fz1));
  }
  // Integer rows crossing the two x edges.
  for (int r = z0 + 1; r <= z1; r++) {
    take(lerp(node(x0, r, withWater), node(x0 + 1, r, withWater), fx0));
    take(lerp(node(x1, r, withWater), node(x1 + 1, r, withWater), fx1));
  }
  // Grid nodes strictly inside the square.
  for (int r = z0 + 1; r <= z1; r++)
    for (int c = x0 + 1; c <= x1; c++) take(node(c, r, withWater));

  return worldmath::splat(m - pos.y);
}

void addWater(float amount) {
  for (auto& row : water)
    for (Water& w : row) w.depth += amount;
}

}  // namespace HeightmapData
