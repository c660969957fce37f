// Virtual-pipe water simulation over the wrap-around grid.
//
// The three passes (flow smoothing, acceleration, transfer) and the two
// copies are fused into one sweep over the rows, four cells at a time, so
// that the working rows stay in the first-level cache and the big arrays are
// each read or written once per step. Row z's stages run a few rows behind
// the loads so that every stage sees exactly the values the pass-by-pass
// definition gives it; the depth of a cell is finally summed in the order in
// which the cell-by-cell transfer scan would have touched it, so the result
// is bit-identical to that scan.
//
// The arithmetic stages are written once (water_sweep.inl) and built for
// four lanes (SSE, or plain code) and, on x86-64, for eight lanes with AVX2,
// chosen at run time; the per-lane operations are the same, so are the bits.
#include <cstring>

#include "world/heightmap.h"
#include "world/simd4.h"
#include "world/simd8.h"

namespace HeightmapData {

namespace {
using namespace simd;

struct Coeffs {
  float accel, move, damp, foamKeep, side, centre;
};

Coeffs coeffs(float dt) {
  Coeffs c;
  c.accel = 10.0f * dt;
  c.move = 4.0f * dt;
  double damp = 1.0 - 0.1 * double(dt);
  c.damp = float(damp > 0.0 ? damp : 0.0);
  float fk = 1.0f - 5.0f * dt;
  c.foamKeep = fk > 0.0f ? fk : 0.0f;
  float t = dt < 1.0f ? dt : 1.0f;
  c.side = t / 3.0f;
  c.centre = 1.0f - 2.0f * t / 3.0f;
  return c;
}

// Row buffers hold 256 values from index PAD, with the wrapped neighbours of
// the first and last cell at PAD - 1 and PAD + 256. PAD keeps the cells of
// every eight-lane group on one 32-byte boundary.
constexpr int PAD = 8;
constexpr int STRIDE = HMAP_SIZE + 2 * PAD;

inline void set_pads(float* row) {
  row[PAD - 1] = row[PAD + HMAP_SIZE - 1];
  row[PAD + HMAP_SIZE] = row[PAD];
}

// The state before the step, split by field.
struct RowA {
  alignas(32) float d[STRIDE], fx[STRIDE], fz[STRIDE], fo[STRIDE], g[STRIDE];
};
// Flows and foam after smoothing and acceleration.
struct RowB {
  alignas(32) float fx[STRIDE], fz[STRIDE], fo[STRIDE];
};
// What each cell sends: its total, and the shares to its four neighbours.
struct RowC {
  alignas(32) float own[STRIDE], sl[STRIDE], sr[STRIDE], su[STRIDE], sd[STRIDE];
};

// Rows needed again at the end of the sweep (across the wrap) are kept apart
// from the rolling rows.
RowA ringA[8], keepA[4];  // keepA: rows 254, 255, 0, 1
RowB ringB[8], keepB[2];  // keepB: rows 255, 0
RowC ringC[8], keepC[2];  // keepC: rows 0, 1

RowA& rowA(int z) {
  z &= HMAP_MASK;
  if (z >= 254) return keepA[z - 254];
  if (z <= 1) return keepA[2 + z];
  return ringA[z & 7];
}
RowB& rowB(int z) {
  z &= HMAP_MASK;
  if (z == 255) return keepB[0];
  if (z == 0) return keepB[1];
  return ringB[z & 7];
}
RowC& rowC(int z) {
  z &= HMAP_MASK;
  if (z <= 1) return keepC[z];
  return ringC[z & 7];
}

namespace lanes4 {
using V = F4;
constexpr int WIDTH = 4;
inline V vload(const float* p) { return load(p); }
inline V vloadu(const float* p) { return loadu(p); }
inline V splat(float f) { return set1(f); }
inline V zeros() { return zero(); }
inline void leave_sweep() {}
#define WATER_SWEEP_TARGET
#define WATER_SWEEP_INLINE inline
#include "world/water_sweep.inl"
#undef WATER_SWEEP_TARGET
#undef WATER_SWEEP_INLINE
}  // namespace lanes4

#if WORLD_AVX2
namespace lanes8 {
using V = F8;
constexpr int WIDTH = 8;
WORLD_AVX2_INLINE V vload(const float* p) { return load8(p); }
WORLD_AVX2_INLINE V vloadu(const float* p) { return loadu8(p); }
WORLD_AVX2_INLINE V splat(float f) { return set1_8(f); }
WORLD_AVX2_INLINE V zeros() { return zero8(); }
// The callers are built for plain x86-64: clear the upper lanes so that their
// SSE code does not pay for the eight-lane state.
WORLD_AVX2_INLINE void leave_sweep() { _mm256_zeroupper(); }
#define WATER_SWEEP_TARGET WORLD_AVX2_TARGET
#define WATER_SWEEP_INLINE WORLD_AVX2_INLINE
#include "world/water_sweep.inl"
#undef WATER_SWEEP_TARGET
#undef WATER_SWEEP_INLINE
}  // namespace lanes8
#endif

bool wideAllowed = true;
}  // namespace

void setWaterWideLanes(bool allowed) { wideAllowed = allowed; }

bool waterUsesWideLanes() {
#if WORLD_AVX2
  return wideAllowed && avx2_available();
#else
  return false;
#endif
}

void simWater(float dt) {
  Coeffs k = coeffs(dt);
#if WORLD_AVX2
  if (waterUsesWideLanes())
    lanes8::sweep(k);
  else
#endif
    lanes4::sweep(k);
  stream_fence();
}

}  // namespace HeightmapData
