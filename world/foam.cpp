// Foam drifts with the water: each step a cell's foam mixes with the foam the
// flow carries into it from upstream. It is part of the water's state (the
// world hash covers it), so it moves in the step whatever is drawn.
#include <cmath>

#include "world/heightmap.h"

namespace HeightmapData {
namespace {
inline const Water& wcell(int x, int z) { return water[z & HMAP_MASK][x & HMAP_MASK]; }
inline float prev_foam(int x, int z) { return tmpw[z & HMAP_MASK][x & HMAP_MASK].foam; }

// The foam before the last water step, bilinear on the torus.
float foam_at(float x, float z) {
  float fx = std::floor(x), fz = std::floor(z);
  int ix = int(fx), iz = int(fz);
  float ax = x - fx, az = z - fz;
  float a = prev_foam(ix, iz), b = prev_foam(ix + 1, iz), c = prev_foam(ix, iz + 1), d = prev_foam(ix + 1, iz + 1);
  return (a * (1 - ax) + b * ax) * (1 - az) + (c * (1 - ax) + d * ax) * az;
}
}  // namespace

void advectFoam(float dt) {
  for (int z = 0; z < HMAP_SIZE; z++)
    for (int x = 0; x < HMAP_SIZE; x++) {
      Water& w = water[z][x];
      float fx = (wcell(x - 1, z).flowX + w.flowX) * 0.5f;
      float fz = (wcell(x, z - 1).flowZ + w.flowZ) * 0.5f;
      // Still water (all dry land among it) samples its own cell: the
      // bilinear weights are 1 and 0 there.
      if (fx == 0 && fz == 0) {
        w.foam = (tmpw[z][x].foam + w.foam) * 0.5f;
        continue;
      }
      float sx = float(x) - fx * dt, sz = float(z) - fz * dt;
      if (!std::isfinite(sx) || !std::isfinite(sz)) sx = float(x), sz = float(z);
      w.foam = (foam_at(sx, sz) + w.foam) * 0.5f;
    }
}

}  // namespace HeightmapData
