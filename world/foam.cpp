// Foam drifts with the water: each step a cell's foam mixes with the foam the
// flow carries into it from upstream. It is part of the water's state (the
// world hash covers it), so it moves in the step whatever is drawn.
//
// The sweep runs once a step over all 65,536 cells, so it is written for
// speed: one row at a time, the left neighbour's flow carried along, no
// branch on the data in the common case, and an integer floor where the
// sample point is a plain coordinate. Every cell still gets exactly the
// arithmetic of the plain bilinear sample below, bit for bit.
#include <cmath>

#include "world/heightmap.h"
#include "world/simd8.h"

namespace HeightmapData {
namespace {
// Beyond this a coordinate is not sampled through the integer floor (an int
// cannot hold every float's floor); the plain path below takes it.
constexpr float PLAIN_FLOOR_LIMIT = 4194304.0f;  // 2^22

// The foam before the last water step, bilinear on the torus at (x + ax, z + az).
inline float bilinear(int ix, int iz, float ax, float az) {
  const Water* r0 = tmpw[iz & HMAP_MASK];
  const Water* r1 = tmpw[(iz + 1) & HMAP_MASK];
  int x0 = ix & HMAP_MASK, x1 = (ix + 1) & HMAP_MASK;
  float a = r0[x0].foam, b = r0[x1].foam, c = r1[x0].foam, d = r1[x1].foam;
  return (a * (1 - ax) + b * ax) * (1 - az) + (c * (1 - ax) + d * ax) * az;
}

// The same sample for any finite point, through the library floor.
float foam_at(float x, float z) {
  float fx = std::floor(x), fz = std::floor(z);
  return bilinear(int(fx), int(fz), x - fx, z - fz);
}

// floor(v) for |v| < PLAIN_FLOOR_LIMIT.
inline int floor_int(float v) {
  int i = int(v);
  return i - int(v < float(i));
}

// The foam one cell gets: its own mixed with what its flow carries in.
inline float drifted_foam(int x, int z, float fx, float fz, float dt, float own_prev) {
  float sx = float(x) - fx * dt, sz = float(z) - fz * dt;
  float sample;
  if (std::fabs(sx) < PLAIN_FLOOR_LIMIT && std::fabs(sz) < PLAIN_FLOOR_LIMIT) {
    int ix = floor_int(sx), iz = floor_int(sz);
    sample = bilinear(ix, iz, sx - float(ix), sz - float(iz));
  } else {
    // Far-off or not a number: a non-finite point samples the cell itself.
    if (!std::isfinite(sx) || !std::isfinite(sz)) sx = float(x), sz = float(z);
    sample = foam_at(sx, sz);
  }
  // Still water (all dry land among it) takes its own cell's foam as it is.
  return (fx == 0 && fz == 0) ? own_prev : sample;
}

// Cells [first, end) of one row, cell by cell.
void drift_row_plain(int z, int first, int end, float dt) {
  Water* row = water[z];
  const Water* up = water[(z - 1) & HMAP_MASK];
  const Water* prev = tmpw[z];
  float left_flow_x = row[(first - 1) & HMAP_MASK].flowX;
  for (int x = first; x < end; x++) {
    Water& w = row[x];
    float fx = (left_flow_x + w.flowX) * 0.5f;
    float fz = (up[x].flowZ + w.flowZ) * 0.5f;
    left_flow_x = w.flowX;
    w.foam = (drifted_foam(x, z, fx, fz, dt, prev[x].foam) + w.foam) * 0.5f;
  }
}

#if WORLD_AVX2
// Eight cells at once. Eight Water records load as four registers and are
// split into their fields, which a permute puts in cell order. Each lane then
// does the plain sweep's arithmetic for its own cell (no fused operations).
//
// A step moves the sample point less than a cell almost everywhere, so its
// four corners lie among the cell's eight neighbours: the previous foam of
// the rows above, at and below is kept as plain float rows, and the corners
// are picked from them with blends instead of gathers. A block where any
// lane samples farther (or at no finite point) takes the plain path.
struct Fields8 {
  __m256 depth, flow_x, flow_z, foam;
};

WORLD_AVX2_INLINE __m256 permute(__m256 v, __m256i order) { return _mm256_permutevar8x32_ps(v, order); }

WORLD_AVX2_INLINE Fields8 load_fields(const Water* w) {
  const float* f = &w->depth;
  __m256 m0 = _mm256_loadu_ps(f), m1 = _mm256_loadu_ps(f + 8);
  __m256 m2 = _mm256_loadu_ps(f + 16), m3 = _mm256_loadu_ps(f + 24);
  __m256 t0 = _mm256_unpacklo_ps(m0, m1), t1 = _mm256_unpackhi_ps(m0, m1);
  __m256 t2 = _mm256_unpacklo_ps(m2, m3), t3 = _mm256_unpackhi_ps(m2, m3);
  // The lanes now hold cells 0, 2, 4, 6, 1, 3, 5, 7.
  const __m256i to_cells = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
  return {permute(_mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(1, 0, 1, 0)), to_cells),
          permute(_mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(3, 2, 3, 2)), to_cells),
          permute(_mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(1, 0, 1, 0)), to_cells),
          permute(_mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(3, 2, 3, 2)), to_cells)};
}

WORLD_AVX2_INLINE void store_fields(Water* w, const Fields8& c) {
  const __m256i to_pairs = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
  __m256 depth = permute(c.depth, to_pairs), flow_x = permute(c.flow_x, to_pairs);
  __m256 flow_z = permute(c.flow_z, to_pairs), foam = permute(c.foam, to_pairs);
  __m256 t0 = _mm256_unpacklo_ps(depth, flow_x), t1 = _mm256_unpacklo_ps(flow_z, foam);
  __m256 t2 = _mm256_unpackhi_ps(depth, flow_x), t3 = _mm256_unpackhi_ps(flow_z, foam);
  float* f = &w->depth;
  _mm256_storeu_ps(f, _mm256_shuffle_ps(t0, t1, _MM_SHUFFLE(1, 0, 1, 0)));
  _mm256_storeu_ps(f + 8, _mm256_shuffle_ps(t0, t1, _MM_SHUFFLE(3, 2, 3, 2)));
  _mm256_storeu_ps(f + 16, _mm256_shuffle_ps(t2, t3, _MM_SHUFFLE(1, 0, 1, 0)));
  _mm256_storeu_ps(f + 24, _mm256_shuffle_ps(t2, t3, _MM_SHUFFLE(3, 2, 3, 2)));
}

// One row of the previous foam as plain floats, eight cells of the row's
// other end on each side so that x - 1 and x + 1 wrap.
constexpr int ROW_PAD = 8;
struct FoamRow {
  alignas(32) float at[ROW_PAD + HMAP_SIZE + ROW_PAD];
  const float* cell(int x) const { return at + ROW_PAD + x; }
};

WORLD_AVX2_TARGET void fill_foam_row(FoamRow& r, int z) {
  const Water* src = tmpw[z & HMAP_MASK];
  for (int x = 0; x < HMAP_SIZE; x += 8) _mm256_storeu_ps(r.at + ROW_PAD + x, load_fields(src + x).foam);
  for (int i = 0; i < ROW_PAD; i++) {
    r.at[i] = r.at[HMAP_SIZE + i];
    r.at[ROW_PAD + HMAP_SIZE + i] = r.at[ROW_PAD + i];
  }
}

// Where each lane's corners lie: one cell back (all bits set) or not, per axis.
struct CornerPick {
  __m256 back_x, back_z;
};

// Cells x - 1, x and x + 1 of the row one back or of this one, per lane.
WORLD_AVX2_INLINE void pick_row(const FoamRow& back, const FoamRow& here, int x, __m256 back_z, __m256 out[3]) {
  for (int i = 0; i < 3; i++)
    out[i] = _mm256_blendv_ps(_mm256_loadu_ps(here.cell(x + i - 1)), _mm256_loadu_ps(back.cell(x + i - 1)), back_z);
}

// The four corners of every lane from the rows above (z - 1), at and below.
WORLD_AVX2_INLINE void pick_corners(const FoamRow& above, const FoamRow& at, const FoamRow& below, int x,
                                    const CornerPick& pick, __m256& a, __m256& b, __m256& c, __m256& d) {
  __m256 near_row[3], far_row[3];
  pick_row(above, at, x, pick.back_z, near_row);
  pick_row(at, below, x, pick.back_z, far_row);
  a = _mm256_blendv_ps(near_row[1], near_row[0], pick.back_x);
  b = _mm256_blendv_ps(near_row[2], near_row[1], pick.back_x);
  c = _mm256_blendv_ps(far_row[1], far_row[0], pick.back_x);
  d = _mm256_blendv_ps(far_row[2], far_row[1], pick.back_x);
}

// Lanes whose floor is the cell (0) or one back (-1): all of them, or none counts.
WORLD_AVX2_INLINE bool near_cells(__m256i offset, __m256& back) {
  __m256i minus_one = _mm256_set1_epi32(-1);
  __m256i is_back = _mm256_cmpeq_epi32(offset, minus_one);
  __m256i ok = _mm256_or_si256(is_back, _mm256_cmpeq_epi32(offset, _mm256_setzero_si256()));
  back = _mm256_castsi256_ps(is_back);
  return _mm256_movemask_ps(_mm256_castsi256_ps(ok)) == 0xff;
}

WORLD_AVX2_TARGET void drift_row_wide(int z, float dt, const FoamRow& above, const FoamRow& at, const FoamRow& below) {
  // The first eight take their left neighbour from the row's far end.
  drift_row_plain(z, 0, 8, dt);
  Water* row = water[z];
  const Water* up = water[(z - 1) & HMAP_MASK];
  const __m256 half = _mm256_set1_ps(0.5f), one = _mm256_set1_ps(1), zero = _mm256_setzero_ps();
  const __m256 step = _mm256_set1_ps(dt), row_z = _mm256_set1_ps(float(z));
  const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7), cell_z = _mm256_set1_epi32(z);
  for (int x = 8; x < HMAP_SIZE; x += 8) {
    Fields8 w = load_fields(row + x);
    __m256 left_x = load_fields(row + x - 1).flow_x, up_z = load_fields(up + x).flow_z;
    __m256 fx = _mm256_mul_ps(_mm256_add_ps(left_x, w.flow_x), half);
    __m256 fz = _mm256_mul_ps(_mm256_add_ps(up_z, w.flow_z), half);
    __m256i cell_x = _mm256_add_epi32(_mm256_set1_epi32(x), lanes);
    __m256 sx = _mm256_sub_ps(_mm256_cvtepi32_ps(cell_x), _mm256_mul_ps(fx, step));
    __m256 sz = _mm256_sub_ps(row_z, _mm256_mul_ps(fz, step));
    __m256 floor_x = _mm256_floor_ps(sx), floor_z = _mm256_floor_ps(sz);
    CornerPick pick;
    if (!near_cells(_mm256_sub_epi32(_mm256_cvttps_epi32(floor_x), cell_x), pick.back_x) ||
        !near_cells(_mm256_sub_epi32(_mm256_cvttps_epi32(floor_z), cell_z), pick.back_z)) {
      drift_row_plain(z, x, x + 8, dt);
      continue;
    }
    __m256 a, b, c, d;
    pick_corners(above, at, below, x, pick, a, b, c, d);
    __m256 ax = _mm256_sub_ps(sx, floor_x), az = _mm256_sub_ps(sz, floor_z);
    __m256 oax = _mm256_sub_ps(one, ax), oaz = _mm256_sub_ps(one, az);
    __m256 near_row = _mm256_add_ps(_mm256_mul_ps(a, oax), _mm256_mul_ps(b, ax));
    __m256 far_row = _mm256_add_ps(_mm256_mul_ps(c, oax), _mm256_mul_ps(d, ax));
    __m256 sample = _mm256_add_ps(_mm256_mul_ps(near_row, oaz), _mm256_mul_ps(far_row, az));
    // Still water keeps its own cell's foam, which is the sample's first corner.
    __m256 still = _mm256_and_ps(_mm256_cmp_ps(fx, zero, _CMP_EQ_OQ), _mm256_cmp_ps(fz, zero, _CMP_EQ_OQ));
    sample = _mm256_blendv_ps(sample, a, still);
    w.foam = _mm256_mul_ps(_mm256_add_ps(sample, w.foam), half);
    store_fields(row + x, w);
  }
}

void advect_foam_wide(float dt) {
  // Three rows of the previous foam, turned as the sweep moves down.
  FoamRow rows[3];
  FoamRow *above = &rows[0], *at = &rows[1], *below = &rows[2];
  fill_foam_row(*above, -1);
  fill_foam_row(*at, 0);
  for (int z = 0; z < HMAP_SIZE; z++) {
    fill_foam_row(*below, z + 1);
    drift_row_wide(z, dt, *above, *at, *below);
    FoamRow* done = above;
    above = at, at = below, below = done;
  }
}
#endif
}  // namespace

void advectFoam(float dt) {
#if WORLD_AVX2
  if (waterUsesWideLanes()) {
    advect_foam_wide(dt);
    return;
  }
#endif
  for (int z = 0; z < HMAP_SIZE; z++) drift_row_plain(z, 0, HMAP_SIZE, dt);
}

}  // namespace HeightmapData
