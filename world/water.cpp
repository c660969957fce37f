// Virtual-pipe water simulation over the wrap-around grid.
#include <algorithm>
#include <cstring>

#include "world/heightmap.h"
#include "world/simd4.h"

namespace HeightmapData {

namespace {
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

// Smoothing of the flows along their own axes, from the saved state.
void smooth_flows(const Coeffs& k) {
  for (int z = 0; z < HMAP_SIZE; z++) {
    const Water* up = tmpw[(z - 1) & HMAP_MASK];
    const Water* row = tmpw[z];
    const Water* down = tmpw[(z + 1) & HMAP_MASK];
    Water* out = water[z];
    for (int x = 0; x < HMAP_SIZE; x++) {
      out[x].flowX = (row[(x - 1) & HMAP_MASK].flowX + row[(x + 1) & HMAP_MASK].flowX) * k.side +
                     row[x].flowX * k.centre;
      out[x].flowZ = (up[x].flowZ + down[x].flowZ) * k.side + row[x].flowZ * k.centre;
    }
  }
}

// Flow acceleration by the level difference across each edge; cuts flows
// with nothing to carry and tracks foam.
void accelerate(const Coeffs& k) {
  for (int z = 0; z < HMAP_SIZE; z++) {
    int zd = (z + 1) & HMAP_MASK;
    Water* row = water[z];
    const Water* down = water[zd];
    const float* g0 = hmap + (z << HMAP_SIZE_SHIFT);
    const float* g1 = hmap + (zd << HMAP_SIZE_SHIFT);
    for (int x = 0; x < HMAP_SIZE; x++) {
      int xr = (x + 1) & HMAP_MASK;
      Water& c = row[x];
      float d = c.depth, g = g0[x], L = g + d;
      float foam = c.foam;

      float gR = g0[xr], dR = row[xr].depth;
      float out = std::max(0.0f, std::min(d, L - gR));
      float in = std::max(0.0f, std::min(dR, dR + gR - g));
      float fx = c.flowX;
      if ((fx >= 0.0f && out == 0.0f) || (fx < 0.0f && in == 0.0f)) {
        fx = 0.0f;
        foam += 0.1f;
      }
      float ax = (L - (gR + dR)) * k.accel;
      fx = fx * k.damp + ax;

      float gD = g1[x], dD = down[x].depth;
      out = std::max(0.0f, std::min(d, L - gD));
      in = std::max(0.0f, std::min(dD, dD + gD - g));
      float fz = c.flowZ;
      if ((fz >= 0.0f && out == 0.0f) || (fz < 0.0f && in == 0.0f)) {
        fz = 0.0f;
        foam += 0.1f;
      }
      float az = (L - (gD + dD)) * k.accel;
      fz = fz * k.damp + az;

      c.flowX = fx;
      c.flowZ = fz;
      c.foam = std::min(1.0f, (ax * ax + az * az) * 3.2f + k.foamKeep * foam);
    }
  }
}

// Moves water along the flows, never taking more than a cell held at the
// start of the pass.
void transfer(const Coeffs& k) {
  for (int z = 0; z < HMAP_SIZE; z++)
    for (int x = 0; x < HMAP_SIZE; x++) prev_depth[(z << HMAP_SIZE_SHIFT) | x] = water[z][x].depth;

  for (int z = 0; z < HMAP_SIZE; z++) {
    int zu = (z - 1) & HMAP_MASK, zd = (z + 1) & HMAP_MASK;
    for (int x = 0; x < HMAP_SIZE; x++) {
      int i = (z << HMAP_SIZE_SHIFT) | x;
      float D = prev_depth[i];
      if (!(D > 0.0f)) continue;
      int xl = (x - 1) & HMAP_MASK, xr = (x + 1) & HMAP_MASK;
      float L = hmap[i] + D;
      float oL = -water[z][xl].flowX, oU = -water[zu][x].flowZ;
      float oR = water[z][x].flowX, oD = water[z][x].flowZ;
      if (!(oL > 0.0f && hmap[(z << HMAP_SIZE_SHIFT) | xl] <= L)) oL = 0.0f;
      if (!(oU > 0.0f && hmap[(zu << HMAP_SIZE_SHIFT) | x] <= L)) oU = 0.0f;
      if (!(oR > 0.0f && hmap[(z << HMAP_SIZE_SHIFT) | xr] <= L)) oR = 0.0f;
      if (!(oD > 0.0f && hmap[(zd << HMAP_SIZE_SHIFT) | x] <= L)) oD = 0.0f;
      float total = oL + oU + oR + oD;
      float amount = total * k.move;
      if (!(amount > 0.001f)) continue;
      if (amount > D) amount = D;
      water[z][x].depth -= amount;
      if (oL > 0.0f) water[z][xl].depth += amount * oL / total;
      if (oU > 0.0f) water[zu][x].depth += amount * oU / total;
      if (oR > 0.0f) water[z][xr].depth += amount * oR / total;
      if (oD > 0.0f) water[zd][x].depth += amount * oD / total;
    }
  }
}
}  // namespace

void simWater(float dt) {
  Coeffs k = coeffs(dt);
  std::memcpy(tmpw, water, sizeof(water));
  smooth_flows(k);
  accelerate(k);
  transfer(k);
}

}  // namespace HeightmapData
