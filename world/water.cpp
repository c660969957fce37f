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
#include <cstring>

#include "world/heightmap.h"
#include "world/simd4.h"

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
// the first and last cell at PAD - 1 and PAD + 256.
constexpr int PAD = 4;
constexpr int STRIDE = HMAP_SIZE + 2 * PAD;

inline void set_pads(float* row) {
  row[PAD - 1] = row[PAD + HMAP_SIZE - 1];
  row[PAD + HMAP_SIZE] = row[PAD];
}

// The state before the step, split by field.
struct RowA {
  alignas(16) float d[STRIDE], fx[STRIDE], fz[STRIDE], fo[STRIDE], g[STRIDE];
};
// Flows and foam after smoothing and acceleration.
struct RowB {
  alignas(16) float fx[STRIDE], fz[STRIDE], fo[STRIDE];
};
// What each cell sends: its total, and the shares to its four neighbours.
struct RowC {
  alignas(16) float own[STRIDE], sl[STRIDE], sr[STRIDE], su[STRIDE], sd[STRIDE];
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

// Copies row z to tmpw and splits it into fields.
void stage_save(int z) {
  RowA& a = rowA(z);
  const Water* src = water[z];
  Water* dst = tmpw[z];
  const float* ground = hmap + (z << HMAP_SIZE_SHIFT);
  // Each row is one 4 KiB page, where the hardware prefetchers stop: fetch the
  // next row to be saved while this one is split.
  const char* next = reinterpret_cast<const char*>(water[(z + 1) & HMAP_MASK]);
  const char* nextGround = reinterpret_cast<const char*>(hmap + (((z + 1) & HMAP_MASK) << HMAP_SIZE_SHIFT));
  for (int x = 0; x < HMAP_SIZE; x += 4) {
    prefetch(next + x * 16);
    if ((x & 15) == 0) prefetch(nextGround + x * 4);
    const float* p = &src[x].depth;
    F4 w0 = load(p), w1 = load(p + 4), w2 = load(p + 8), w3 = load(p + 12);
    // The saved state is only read by the renderer, later: keep it out of
    // the caches the sweep is working in.
    float* q = &dst[x].depth;
    stream(q, w0);
    stream(q + 4, w1);
    stream(q + 8, w2);
    stream(q + 12, w3);
    transpose(w0, w1, w2, w3);
    store(a.d + PAD + x, w0);
    store(a.fx + PAD + x, w1);
    store(a.fz + PAD + x, w2);
    store(a.fo + PAD + x, w3);
    store(a.g + PAD + x, load(ground + x));
  }
  set_pads(a.d);
  set_pads(a.fx);
  set_pads(a.g);
}

// The carry test of one edge: true where the flow has nothing to carry.
inline F4 cut_mask(F4 flow, F4 d, F4 g, F4 L, F4 dn, F4 gn) {
  F4 zero4 = zero();
  F4 out = max(min(L - gn, d), zero4);
  F4 in = max(min((dn + gn) - g, dn), zero4);
  return (cmpge(flow, zero4) & cmpeq(out, zero4)) | (cmplt(flow, zero4) & cmpeq(in, zero4));
}

// Smoothing and acceleration of row z.
void stage_flows(int z, const Coeffs& k) {
  const RowA& up = rowA(z - 1);
  const RowA& a = rowA(z);
  const RowA& dn = rowA(z + 1);
  RowB& b = rowB(z);
  F4 side = set1(k.side), centre = set1(k.centre), accel = set1(k.accel), damp = set1(k.damp);
  F4 foamKeep = set1(k.foamKeep), tenth = set1(0.1f), one = set1(1.0f), foamGain = set1(3.2f);
  for (int i = PAD; i < PAD + HMAP_SIZE; i += 4) {
    F4 fx = (loadu(a.fx + i - 1) + loadu(a.fx + i + 1)) * side + load(a.fx + i) * centre;
    F4 fz = (load(up.fz + i) + load(dn.fz + i)) * side + load(a.fz + i) * centre;
    F4 d = load(a.d + i), g = load(a.g + i), L = g + d;
    F4 foam = load(a.fo + i);

    F4 dR = loadu(a.d + i + 1), gR = loadu(a.g + i + 1);
    F4 cut = cut_mask(fx, d, g, L, dR, gR);
    fx = andnot(cut, fx);
    foam = foam + (cut & tenth);
    F4 ax = (L - (gR + dR)) * accel;
    fx = fx * damp + ax;

    F4 dD = load(dn.d + i), gD = load(dn.g + i);
    cut = cut_mask(fz, d, g, L, dD, gD);
    fz = andnot(cut, fz);
    foam = foam + (cut & tenth);
    F4 az = (L - (gD + dD)) * accel;
    fz = fz * damp + az;

    store(b.fx + i, fx);
    store(b.fz + i, fz);
    store(b.fo + i, min((ax * ax + az * az) * foamGain + foamKeep * foam, one));
  }
  set_pads(b.fx);
}

// What every cell of row z sends, from the depths at the start of the pass.
void stage_sends(int z, const Coeffs& k) {
  const RowA& gu = rowA(z - 1);
  const RowA& a = rowA(z);
  const RowA& gd = rowA(z + 1);
  const RowB& bu = rowB(z - 1);
  const RowB& b = rowB(z);
  RowC& c = rowC(z);
  F4 zero4 = zero(), move = set1(k.move), least = set1(0.001f);
  for (int i = PAD; i < PAD + HMAP_SIZE; i += 4) {
    F4 D = load(a.d + i);
    F4 L = load(a.g + i) + D;
    // Each outflow counts only when positive and the receiver's ground is not above L.
    F4 oL = zero4 - loadu(b.fx + i - 1), oU = zero4 - load(bu.fz + i);
    F4 oR = load(b.fx + i), oD = load(b.fz + i);
    oL = oL & (cmpgt(oL, zero4) & cmple(loadu(a.g + i - 1), L));
    oU = oU & (cmpgt(oU, zero4) & cmple(load(gu.g + i), L));
    oR = oR & (cmpgt(oR, zero4) & cmple(loadu(a.g + i + 1), L));
    oD = oD & (cmpgt(oD, zero4) & cmple(load(gd.g + i), L));
    F4 total = ((oL + oU) + oR) + oD;
    F4 amount = total * move;
    F4 sends = cmpgt(D, zero4) & cmpgt(amount, least);
    if (movemask(sends) == 0) {
      store(c.own + i, zero4);
      store(c.sl + i, zero4);
      store(c.sr + i, zero4);
      store(c.su + i, zero4);
      store(c.sd + i, zero4);
      continue;
    }
    amount = min(D, amount) & sends;
    // The share per unit of outflow; lanes that send nothing give 0 / 0,
    // which the mask clears.
    F4 per = (amount / total) & sends;
    store(c.own + i, amount);
    store(c.sl + i, per * oL);
    store(c.su + i, per * oU);
    store(c.sr + i, per * oR);
    store(c.sd + i, per * oD);
  }
  set_pads(c.sl);
  set_pads(c.sr);
}

// New depth of one cell: its start depth plus what it receives, minus what it
// sends, summed in the scan order of the senders.
float final_depth_scan_order(int x, int z) {
  int xl = (x - 1) & HMAP_MASK, xr = (x + 1) & HMAP_MASK;
  int zu = (z - 1) & HMAP_MASK, zd = (z + 1) & HMAP_MASK;
  struct Part {
    int order;
    float v;
  } parts[5] = {
      {(zu << 8) | x, rowC(zu).sd[PAD + x]},
      {(z << 8) | xl, rowC(z).sr[PAD + xl]},
      {(z << 8) | x, -rowC(z).own[PAD + x]},  // adding -own is subtracting own
      {(z << 8) | xr, rowC(z).sl[PAD + xr]},
      {(zd << 8) | x, rowC(zd).su[PAD + x]},
  };
  for (int i = 1; i < 5; i++)
    for (int j = i; j > 0 && parts[j].order < parts[j - 1].order; j--) std::swap(parts[j], parts[j - 1]);
  float d = rowA(z).d[PAD + x];
  for (const Part& p : parts) d = d + p.v;
  return d;
}

// Final depths of row z, written back with the new flows and foam.
void stage_store(int z) {
  const RowA& a = rowA(z);
  const RowB& b = rowB(z);
  const RowC& cu = rowC(z - 1);
  const RowC& c = rowC(z);
  const RowC& cd = rowC(z + 1);
  alignas(16) float depth[HMAP_SIZE];
  if (z == 0 || z == HMAP_SIZE - 1) {
    for (int x = 0; x < HMAP_SIZE; x++) depth[x] = final_depth_scan_order(x, z);
  } else {
    // Inner cells: from above, from the left, own, from the right, from below.
    for (int i = PAD; i < PAD + HMAP_SIZE; i += 4) {
      F4 d = load(a.d + i) + load(cu.sd + i);
      d = d + loadu(c.sr + i - 1);
      d = d - load(c.own + i);
      d = d + loadu(c.sl + i + 1);
      d = d + load(cd.su + i);
      store(depth + i - PAD, d);
    }
    depth[0] = final_depth_scan_order(0, z);
    depth[HMAP_SIZE - 1] = final_depth_scan_order(HMAP_SIZE - 1, z);
  }
  Water* dst = water[z];
  for (int x = 0; x < HMAP_SIZE; x += 4) {
    F4 w0 = load(depth + x), w1 = load(b.fx + PAD + x), w2 = load(b.fz + PAD + x), w3 = load(b.fo + PAD + x);
    transpose(w0, w1, w2, w3);
    float* q = &dst[x].depth;
    store(q, w0);
    store(q + 4, w1);
    store(q + 8, w2);
    store(q + 12, w3);
  }
}
}  // namespace

void simWater(float dt) {
  Coeffs k = coeffs(dt);
  stage_save(254);
  stage_save(255);
  stage_save(0);
  stage_save(1);
  stage_flows(255, k);
  stage_flows(0, k);
  stage_sends(0, k);
  for (int z = 1; z <= 253; z++) {
    if (z + 1 <= 253) stage_save(z + 1);
    stage_flows(z, k);
    stage_sends(z, k);
    if (z >= 2) stage_store(z - 1);
  }
  stage_flows(254, k);
  stage_sends(254, k);
  stage_store(253);
  stage_sends(255, k);
  stage_store(254);
  stage_store(255);
  stage_store(0);
  stream_fence();
}

}  // namespace HeightmapData
