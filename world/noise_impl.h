#pragma once
// Inline bodies of the noise functions, shared by their exported wrappers and
// by the generators that evaluate them per cell.
#include <cfloat>

#include "world/noise.h"
#include "world/simd4.h"

namespace noise_detail {

// Floor of a coordinate as the noise and generators compute it.
inline int coord_floor(float v) { return world_round(v - 0.49999988f); }
inline int coord_ceil(float v) { return world_round(v + 0.49999988f); }

// Lattice neighbours wrap instead of overflowing: a coordinate beyond the int
// range rounds to INT_MIN, whose left neighbour is INT_MAX.
inline int lattice_add(int a, int b) { return int(unsigned(a) + unsigned(b)); }

inline float grad1(int n) {
  int h = noise_perm[n & 255];
  float g = float((h & 7) + 1);
  return (h & 8) ? -g : g;
}

inline float pow4(float v) {
  float s = v * v;
  return s * s;
}

inline float noise1(float x) {
  int i = coord_floor(x);
  float f = x - float(i);
  float f1 = f - 1.0f;
  return 0.4f * (grad1(i) * f * pow4(1.0f - f * f) + grad1(lattice_add(i, 1)) * f1 * pow4(1.0f - f1 * f1));
}

extern const float grad2[8][2];

inline float corner2(int h, float dx, float dy) {
  float w = 1.0f - dx * dx - dy * dy;
  if (!(w > 0.0f)) return 0.0f;
  const float* g = grad2[h & 7];
  return pow4(w) * (g[0] * dx + g[1] * dy);
}

inline float tiled_noise2(float x, float y, int tile) {
  int m = (tile - 1) & 255;
  int ix = coord_floor(x), iy = coord_floor(y);
  float fx = x - float(ix), fy = y - float(iy);
  int r0 = noise_perm[iy & m], r1 = noise_perm[lattice_add(iy, 1) & m];
  int xa = ix & m, xb = lattice_add(ix, 1) & m;
  float s = corner2(noise_perm[xa + r0], fx, fy);
  s += corner2(noise_perm[xb + r0], fx - 1.0f, fy);
  s += corner2(noise_perm[xa + r1], fx, fy - 1.0f);
  s += corner2(noise_perm[xb + r1], fx - 1.0f, fy - 1.0f);
  return 2.75f * s;
}

inline float shaped(float v, const FloatRamp* ramp) { return ramp ? ramp->get((v + 1.0f) * 0.5f) : v; }

inline float tiled_fractal_noise2(float x, float y, int tile, int octaves, const FloatRamp* ramp, float gain) {
  float r = shaped(tiled_noise2(x, y, tile), ramp);
  float amp = gain;
  for (int o = 1; o < octaves; o++) {
    x = x * 2.0f + 0.5f;
    y = y * 2.0f + 0.5f;
    tile = int(unsigned(tile) * 2u);  // only its low 8 bits matter: let it wrap
    r += shaped(tiled_noise2(x, y, tile), ramp) * amp;
    amp *= gain;
  }
  return r;
}

// Visits the nine feature-point candidates around (x, y) in row-major order:
// f(index, dx, dy, id).
template <typename F>
inline void voronoi9(float x, float y, int tileShift, F&& f) {
  int mask = (1 << tileShift) - 1;
  int hm = mask & 255;
  int ix = coord_floor(x), iy = coord_floor(y);
  float fx = x - float(ix), fy = y - float(iy);
  int n = 0;
  for (int i = -1; i <= 1; i++) {
    int row = lattice_add(iy, i) & hm;
    int rh = noise_perm[row];
    int idRow = (lattice_add(iy, i) & mask) << 16;
    for (int j = -1; j <= 1; j++, n++) {
      int k = noise_perm[(lattice_add(ix, j) & hm) + rh];
      float px = noise_rnd[2 * k] + float(j) - fx;
      float py = noise_rnd[2 * k + 1] + float(i) - fy;
      f(n, px, py, idRow | (lattice_add(ix, j) & mask));
    }
  }
}

struct Near4 {
  float dist[4];
  int ids[4];
  Point2 pts[4];
};

inline void near4(float x, float y, int tileShift, Near4& out) {
  for (int s = 0; s < 4; s++) {
    out.dist[s] = FLT_MAX;
    out.ids[s] = 0;
    out.pts[s] = {0.0f, 0.0f};
  }
  voronoi9(x, y, tileShift, [&](int, float px, float py, int id) {
    float d = px * px + py * py;
    if (!(d < out.dist[3])) return;
    int s = 3;
    while (s > 0 && d < out.dist[s - 1]) {
      out.dist[s] = out.dist[s - 1];
      out.ids[s] = out.ids[s - 1];
      out.pts[s] = out.pts[s - 1];
      s--;
    }
    out.dist[s] = d;
    out.ids[s] = id;
    out.pts[s] = {px, py};
  });
}

inline int hash2(int x, int y) { return noise_perm[(x & 255) + noise_perm[y & 255]]; }

}  // namespace noise_detail
