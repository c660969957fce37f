#pragma once
// Worlds for the rendering tests: a generated landscape with lakes, and
// small hand-made worlds whose cells are known exactly.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "world/erosion.h"
#include "world/heightmap.h"
#include "world/hmGen.h"
#include "world/noise.h"

namespace test_world {
using namespace HeightmapData;

// Makes the current state the state before and after the last step.
inline void settle() {
  std::memcpy(target_hmap, hmap, sizeof(hmap));
  std::memcpy(tmpw, water, sizeof(water));
}

// Flat land at height h with no water; every cell soil of one colour.
inline void flat(float h, D3dColor ground, D3dColor cover = D3dColor(0)) {
  reset();
  for (int i = 0; i < HMAP_CELLS; i++) {
    hmap[i] = h;
    surface[i].groundColor = ground;
    surface[i].coverColor = cover;
    surface[i].setGroundType(GT_SOIL);
  }
  settle();
}

// Hills and valleys with sandy shores, grass on the gentle slopes, rock
// above and lakes filled up to a fifth of the height range.
inline void landscape(uint64_t seed, bool lakes) {
  reset();
  set_rnd_seed(int64_t(seed));
  reseed_noise();
  ColorRamp ramp;
  for (int i = 0; i < RAMP_ENTRIES; i++) {
    float t = float(i) / 256.f;
    vec4f sand(0.74f, 0.66f, 0.48f, 1), soil(0.46f, 0.36f, 0.25f, 1), rock(0.52f, 0.50f, 0.47f, 1);
    vec4f c = t < 0.5f ? vec4f(sand.x + (soil.x - sand.x) * t * 2, sand.y + (soil.y - sand.y) * t * 2,
                               sand.z + (soil.z - sand.z) * t * 2, 1)
                       : vec4f(soil.x + (rock.x - soil.x) * (t - 0.5f) * 2, soil.y + (rock.y - soil.y) * (t - 0.5f) * 2,
                               soil.z + (rock.z - soil.z) * (t - 0.5f) * 2, 1);
    ramp.v[i] = c;
  }
  addFastNoise(0, 26, &ramp, GT_SOIL, 255, 0.52f);
  addVoronoiHills(8, 0, 9, 0.7f);
  recenterHt();
  float lo, hi;
  calcHtRange(lo, hi);
  float level = lo + (hi - lo) * 0.3f;
  for (int z = 0; z < HMAP_SIZE; z++)
    for (int x = 0; x < HMAP_SIZE; x++) {
      int c = cellIndex(x, z);
      float h = hmap[c];
      float sx = hmap[cellIndex(x + 1, z)] - hmap[cellIndex(x - 1, z)];
      float sz = hmap[cellIndex(x, z + 1)] - hmap[cellIndex(x, z - 1)];
      float slope = std::sqrt(sx * sx + sz * sz) * 0.5f;
      float rel = (h - lo) / std::max(hi - lo, 1e-3f);
      if (rel < 0.33f) {
        surface[c].groundColor = D3dColor(0xFFBCA77Au);
        surface[c].setGroundType(GT_SAND);
      }
      if (slope < 0.9f && rel > 0.33f && rel < 0.75f) {
        uint32_t a = uint32_t(std::clamp((0.9f - slope) * 400.f, 0.f, 255.f));
        surface[c].coverColor = D3dColor((a << 24) | 0x4E7A2Eu);
        surface[c].setSurfaceType(ST_GRASS);
      }
      if (lakes && h < level) water[z][x].depth = level - h;
    }
  settle();
}
}  // namespace test_world
