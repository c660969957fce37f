// Droplet erosion over hmap and the surface colours.
#include "world/erosion.h"

#include <chrono>
#include <cmath>

#include "platform/log.h"
#include "world/world_step.h"
#include "world/heightmap.h"
#include "world/noise.h"
#include "world/simd4.h"

ErosionStats last_erosion_stats;

ErosionReaction make_erosion_reaction(vec4f from, vec4f to, float k) {
  ErosionReaction r;
  r.rate = worldmath::scale(worldmath::sub(to, from), k);
  r.order[0] = world_round(from.x);
  r.order[1] = world_round(from.y);
  r.order[2] = world_round(from.z);
  r.order[3] = world_round(from.w);
  return r;
}

namespace HeightmapData {

namespace {

constexpr int MAX_STEPS = 1024;
constexpr int PROGRESS_INTERVAL = 16384;
constexpr float TWO_PI = 6.2831855f;

inline int cell(int x, int z) { return ((z & HMAP_MASK) << HMAP_SIZE_SHIFT) | (x & HMAP_MASK); }

inline float ipow(float b, int n) {
  float r = 1.0f;
  while (n > 0) {
    if (n & 1) r *= b;
    b *= b;
    n >>= 1;
  }
  return r;
}

// Colours are handled as four lanes in the byte order of a D3dColor:
// blue, green, red, alpha.
struct LaneReaction {
  float rate[4];
  int order[4];
};

struct Eroder {
  const ErosionParams& p;
  simd::F4 negBlend;
  DynArray<LaneReaction> reactions;

  explicit Eroder(const ErosionParams& params) : p(params), negBlend(simd::set1(-params.depositBlend)) {
    for (const ErosionReaction& r : params.reactions) {
      LaneReaction l = {{r.rate.z, r.rate.y, r.rate.x, r.rate.w}, {r.order[2], r.order[1], r.order[0], r.order[3]}};
      reactions.push_back(l);
    }
  }

  // Runs the colour reactions on col within the time budget (at most 10 rounds).
  void react(float col[4]) const {
    float T = p.reactionTime;
    const LaneReaction* rs = reactions.data;
    int nr = reactions.count;
    for (int it = 0; it < 10 && T > 0.0f; it++) {
      float R[4] = {0, 0, 0, 0};
      for (int k = 0; k < nr; k++) {
        float prod = 1.0f;
        for (int ch = 0; ch < 4; ch++)
          if (rs[k].order[ch] > 0) prod *= ipow(col[ch], rs[k].order[ch]);
        for (int ch = 0; ch < 4; ch++) R[ch] += rs[k].rate[ch] * prod;
      }
      float t = T;
      for (int ch = 0; ch < 4; ch++)
        if (R[ch] < 0.0f) {
          float tc = -col[ch] / R[ch];
          if (tc < t) t = tc;
        }
      for (int ch = 0; ch < 4; ch++) {
        col[ch] += t * R[ch];
        // A channel used up by this round ends at 0, not a rounding step below.
        if (R[ch] < 0.0f && col[ch] < 0.0f) col[ch] = 0.0f;
      }
      T -= t;
    }
  }

  // One deposit of a with blend factor f = 1 - e^(-a * depositBlend).
  void deposit(int i, float a, float f, simd::F4 cc) const {
    using namespace simd;
    hmap[i] += a;
    Surface& sf = surface[i];
    if (sf.surfaceType != ST_GRASS) {
      sf.coverColor = D3dColor(0u);
      sf.surfaceType = 0;
    }
    F4 col = unpack_bytes(sf.groundColor.u);
    col = col + set1(f) * (cc - col);
    if (reactions.count) {
      alignas(16) float c[4];
      store(c, col);
      react(c);
      col = load(c);
    }
    sf.groundColor = D3dColor(pack_bytes(col));
  }

  simd::F4 blendFactors(simd::F4 a) const { return simd::set1(1.0f) - simd::exp(a * negBlend); }

  void depositBilinear(int ix, int iz, float fx, float fz, float a, simd::F4 cc) const {
    using namespace simd;
    float gx = 1.0f - fx, gz = 1.0f - fz;
    alignas(16) float av[4], fv[4];
    F4 amounts = set1(a) * set(gx, fx, gx, fx) * set(gz, gz, fz, fz);
    store(av, amounts);
    store(fv, blendFactors(amounts));
    int x0 = ix & HMAP_MASK, x1 = (ix + 1) & HMAP_MASK;
    int r0 = (iz & HMAP_MASK) << HMAP_SIZE_SHIFT, r1 = ((iz + 1) & HMAP_MASK) << HMAP_SIZE_SHIFT;
    deposit(r0 | x0, av[0], fv[0], cc);
    deposit(r0 | x1, av[1], fv[1], cc);
    deposit(r1 | x0, av[2], fv[2], cc);
    deposit(r1 | x1, av[3], fv[3], cc);
  }

  // Removes e from the disc of radius 2 around (x, z), taking up the colour
  // of the eroded ground into cc.
  void erode(int ix, int iz, float x, float z, float e, float s, simd::F4& cc) const {
    using namespace simd;
    F4 dcol = set(float(ix - 1), float(ix), float(ix + 1), float(ix + 2)) - set1(x);
    F4 dcol2 = dcol * dcol;
    F4 ve = set1(e), vs = set1(s), one = set1(1.0f), quarter = set1(0.25f), twopi = set1(TWO_PI);
    bool inside = ix >= 1 && ix <= HMAP_SIZE - 3;
    for (int r = 0; r < 4; r++) {
      int row = iz - 1 + r;
      float drow = float(row) - z;
      F4 k = one - (dcol2 + set1(drow * drow)) * quarter;
      F4 liveMask = cmpgt(k, zero());
      int live = movemask(liveMask);
      if (!live) continue;
      F4 a = ((k * ve) / twopi) & liveMask;
      // Dead lanes (and a cell with nothing carried and nothing removed)
      // take r = 1, which leaves cc bit-identical: 1 * cc + 0 * colour.
      F4 ratio = select(liveMask & cmpgt(a + vs, zero()), vs / (a + vs), one);
      alignas(16) float rv[4];
      store(rv, ratio);
      float* hrow = hmap + ((row & HMAP_MASK) << HMAP_SIZE_SHIFT);
      Surface* srow = surface + ((row & HMAP_MASK) << HMAP_SIZE_SHIFT);
      if (inside) {
        // Dead lanes subtract +0, which leaves any height bit-identical.
        storeu(hrow + ix - 1, loadu(hrow + ix - 1) - a);
      } else {
        alignas(16) float av[4];
        store(av, a);
        for (int c = 0; c < 4; c++) hrow[(ix - 1 + c) & HMAP_MASK] -= av[c];
      }
      for (int c = 0; c < 4; c++) {
        Surface& sf = srow[(ix - 1 + c) & HMAP_MASK];
        bool on = (live >> c) & 1;
        uint32_t* words = reinterpret_cast<uint32_t*>(&sf);
        // Cover colour and surface type cleared on live cells only.
        uint32_t keep = on ? 0u : ~0u;
        words[1] &= keep;
        words[2] &= keep | ~0xF0u;
        F4 rr = set1(rv[c]);
        cc = rr * cc + (one - rr) * unpack_bytes(sf.groundColor.u);
      }
    }
  }
};

inline int floor_int(float v) {
  int i = int(v);
  return float(i) > v ? i - 1 : i;
}

struct Corners {
  float h00, h10, h01, h11;
};
inline Corners read_corners(int ix, int iz) {
  int x0 = ix & HMAP_MASK, x1 = (ix + 1) & HMAP_MASK;
  int r0 = (iz & HMAP_MASK) << HMAP_SIZE_SHIFT, r1 = ((iz + 1) & HMAP_MASK) << HMAP_SIZE_SHIFT;
  return {hmap[r0 | x0], hmap[r0 | x1], hmap[r1 | x0], hmap[r1 | x1]};
}
inline float bilinear(const Corners& c, float fx, float fz) {
  float a = c.h00 + (c.h10 - c.h00) * fx;
  float b = c.h01 + (c.h11 - c.h01) * fx;
  return a + (b - a) * fz;
}

}  // namespace

void depositSediment(int cell, float a, const vec4f& cc, const ErosionParams& params) {
  Eroder er(params);
  float f = simd::lane(er.blendFactors(simd::set1(a)), 0);
  er.deposit(cell & (HMAP_CELLS - 1), a, f, simd::set(cc.z, cc.y, cc.x, cc.w));
}

void genDropletErosion(unsigned numDroplets, ErosionParams& params) {
  auto start = std::chrono::steady_clock::now();
  Eroder er(params);
  const float Ki = params.Ki, Kq = params.Kq, Kr = params.Kr, Kd = params.Kd, minSlope = params.minSlope;
  const float g2 = 2.0f * params.g, keepW = 1.0f - params.Kw;
  uint64_t totalSteps = 0, cut = 0, randomDirs = 0;

  for (unsigned k = 0; k < numDroplets; k++) {
    if (k && k % PROGRESS_INTERVAL == 0)
      report_progress("Calculating erosion", (float(k) + 0.5f) / float(numDroplets));

    int ix = int(rnd_step() & 255);
    int iz = int(rnd_step() & 255);
    float x = float(ix), z = float(iz), fx = 0.0f, fz = 0.0f;
    Corners c = read_corners(ix, iz);
    float h = c.h00;
    float w = 1.0f, s = 0.0f, v = 0.0f, dx = 0.0f, dz = 0.0f;
    simd::F4 cc = simd::zero();
    int steps = 0;
    bool ended = false;

    while (steps < MAX_STEPS) {
      float gx = (c.h00 + c.h01) - (c.h10 + c.h11);
      float gz = (c.h00 + c.h10) - (c.h01 + c.h11);
      dx = gx + (dx - gx) * Ki;
      dz = gz + (dz - gz) * Ki;
      float len = std::sqrt(dx * dx + dz * dz);
      if (!(len > 1.1920929e-7f)) {
        float angle = rnd_unit(rnd_step()) * TWO_PI;
        dx = std::cos(angle);
        dz = std::sin(angle);
        randomDirs++;
      } else {
        dx = dx / len;
        dz = dz / len;
      }

      float nx = x + dx, nz = z + dz;
      int nix = floor_int(nx), niz = floor_int(nz);
      float nfx = nx - float(nix), nfz = nz - float(niz);
      Corners nc = read_corners(nix, niz);
      float hn = bilinear(nc, nfx, nfz);

      if (h <= hn) {
        float need = (hn - h) + 0.001f;
        if (s <= need) {
          er.depositBilinear(ix, iz, fx, fz, s, cc);
          ended = true;
          break;
        }
        er.depositBilinear(ix, iz, fx, fz, need, cc);
        s -= need;
        h += need;
        v = 0.0f;
      }

      float dh = h - hn;
      float q = s - (dh > minSlope ? dh : minSlope) * v * w * Kq;
      if (q < 0.0f) {
        float e = -q * Kr;
        float lim = 0.99f * dh;
        if (lim < e) e = lim;
        er.erode(ix, iz, x, z, e, s, cc);
        dh -= e;
        s += e;
      } else {
        float d = q * Kd;
        er.depositBilinear(ix, iz, fx, fz, d, cc);
        dh += d;
        s -= d;
      }

      v = std::sqrt(v * v + g2 * dh);
      w = w * keepW;
      steps++;
      h = hn;
      x = nx;
      z = nz;
      ix = nix;
      iz = niz;
      fx = nfx;
      fz = nfz;
      c = nc;
    }

    if (!ended) {
      debug("droplet #%d path is too long!", int(k));
      cut++;
    }
    totalSteps += uint64_t(steps);
  }

  auto elapsed = std::chrono::steady_clock::now() - start;
  double sec = std::chrono::duration<double>(elapsed).count();
  unsigned ms = unsigned(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
  // A call too short to time (or with no droplets) reports a rate of 0 rather
  // than a division by zero.
  double rate = sec > 0.0 ? double(numDroplets) / sec : 0.0;
  double avg = numDroplets ? double(totalSteps) / double(numDroplets) : 0.0;
  debug("computed %7d erosion droplets in %6u ms, %.0f droplets/s", int(numDroplets), ms, rate);
  debug("  %.2f average path length, %llu long paths cut, %llu random directions picked", avg,
        (unsigned long long)cut, (unsigned long long)randomDirs);

  last_erosion_stats.steps = totalSteps;
  last_erosion_stats.cut = cut;
  last_erosion_stats.randomDirs = randomDirs;
  last_erosion_stats.elapsedMs = int(ms);
}

}  // namespace HeightmapData
