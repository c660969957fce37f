#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "world/hmGen.h"
#include "world/noise.h"

using namespace HeightmapData;

namespace {
uint64_t state_after(uint64_t s, int draws) {
  for (int i = 0; i < draws; i++) s = s * RND_MULTIPLIER + RND_INCREMENT;
  return s;
}
int idx(int x, int z) { return (z & 255) * 256 + (x & 255); }

ColorRamp const_ramp(vec4f c) {
  ColorRamp r;
  for (auto& e : r.v) e = c;
  return r;
}

class GeneratorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset();
    set_rnd_seed(1234);
    reseed_noise();
  }
};
}  // namespace

TEST_F(GeneratorTest, DrawCounts) {
  uint64_t s = game_rnd_seed;
  addFastNoise(0, 1, nullptr, GT_NONE, 255, 0.5f);
  EXPECT_EQ(game_rnd_seed, state_after(s, 87376));
  s = game_rnd_seed;
  genFault({100, 100}, {1, 0}, 10, 0.5f, 1, nullptr, GT_NONE, 255, hmap);
  EXPECT_EQ(game_rnd_seed, state_after(s, 1));
  s = game_rnd_seed;
  addVoronoiHills(8, 0, 3, 1.5f);
  EXPECT_EQ(game_rnd_seed, state_after(s, 256));
  s = game_rnd_seed;
  genVoronoiFaults(4, 1, 9, 0.3f, 2, 3, 2);
  EXPECT_EQ(game_rnd_seed, state_after(s, 256));
  s = game_rnd_seed;
  addVoronoiHills(1, 5, 5, 0.1f);  // different arguments, same draws
  genVoronoiFaults(256, 0, 0, 0, 1, 1, 1);
  EXPECT_EQ(game_rnd_seed, state_after(s, 512));
  s = game_rnd_seed;
  addSimplexNoise(0, 1, 4, 3, 0.5f);
  genCrater({50, 50}, 10, 1, hmap);
  placeHouse(10, 10, -1, hmap, false);
  EXPECT_EQ(game_rnd_seed, s);
}

TEST_F(GeneratorTest, FastNoiseLevels) {
  std::vector<float> out(HMAP_CELLS, 99.0f);
  makeFastNoise(out.data(), 0, 0.5f);
  for (float v : out) ASSERT_EQ(v, -0.5f);

  // Amplitude 1: values stay within -0.5 + sum of the amplitudes.
  makeFastNoise(out.data(), 1, 0.5f);
  float lo = 1e9f, hi = -1e9f;
  for (float v : out) {
    lo = std::fmin(lo, v);
    hi = std::fmax(hi, v);
  }
  EXPECT_GE(lo, -0.5f);
  EXPECT_LT(hi, -0.5f + 2.0f);
  EXPECT_GT(hi - lo, 0.1f);

  // Replay with a plain level-by-level subdivision that keeps a full copy of
  // the previous level: the in-place version must match it bit for bit.
  set_rnd_seed(77);
  makeFastNoise(out.data(), 2, 0.6f);
  std::vector<float> ref(HMAP_CELLS, 0.0f), prev;
  for (int z : {0, 128})
    for (int x : {0, 128}) ref[idx(x, z)] = -0.5f;
  uint64_t st = 77;
  float a = 2;
  for (int sp = 128; sp >= 2; sp /= 2) {
    prev = ref;
    int h = sp / 2;
    for (int z = 0; z < 256; z += sp)
      for (int x = 0; x < 256; x += sp) {
        float p00 = prev[idx(x, z)], p10 = prev[idx(x + sp, z)], p01 = prev[idx(x, z + sp)],
              p11 = prev[idx(x + sp, z + sp)];
        ref[idx(x, z)] = (9 * p00 + 3 * p10 + 3 * p01 + p11) / 16 + rnd_unit(rnd_step(st)) * a;
        ref[idx(x + h, z)] = (9 * p10 + 3 * p00 + 3 * p11 + p01) / 16 + rnd_unit(rnd_step(st)) * a;
        ref[idx(x, z + h)] = (9 * p01 + 3 * p00 + 3 * p11 + p10) / 16 + rnd_unit(rnd_step(st)) * a;
        ref[idx(x + h, z + h)] = (9 * p11 + 3 * p10 + 3 * p01 + p00) / 16 + rnd_unit(rnd_step(st)) * a;
      }
    a *= 0.6f;
  }
  EXPECT_EQ(std::memcmp(ref.data(), out.data(), sizeof(float) * HMAP_CELLS), 0);
  EXPECT_EQ(game_rnd_seed, st);
}

TEST_F(GeneratorTest, AddFastNoisePaintsAndSetsGround) {
  ColorRamp red = const_ramp(vec4f(1, 0, 0, 1));
  addFastNoise(2, 2, &red, GT_SAND, 128, 0.5f);
  for (int i = 0; i < HMAP_CELLS; i += 511) {
    // Noise scaled by a zero range: exactly min_ht.
    ASSERT_EQ(hmap[i], 2.0f);
    ASSERT_EQ(surface[i].groundColor.u, 0x80FF0000u);
    ASSERT_EQ(surface[i].groundType, unsigned(GT_SAND));
  }
  // Ramp alpha 0.5 blends halfway from grey; GT_NONE keeps the type.
  reset();
  ColorRamp half = const_ramp(vec4f(0, 0, 1, 0.5f));
  addFastNoise(0, 1, &half, GT_NONE, 255, 0.5f);
  uint32_t c = surface[300].groundColor.u;
  EXPECT_EQ(c >> 24, 255u);
  EXPECT_EQ((c >> 16) & 255, 64u);  // 128 + 0.5 * (0 - 128)
  EXPECT_EQ(c & 255, 192u);         // 128 + 0.5 * (255 - 128) = 191.5 -> 192
  EXPECT_EQ(surface[300].groundType, unsigned(GT_ROCK));
}

TEST_F(GeneratorTest, CraterNeverRaises) {
  for (int z = 0; z < 256; z++)
    for (int x = 0; x < 256; x++) hmap[idx(x, z)] = std::sin(float(x) * 0.3f) * 4 + float(z % 7);
  std::vector<float> before(hmap, hmap + HMAP_CELLS);
  genCrater({250.5f, 3.25f}, 12, 1.5f, hmap);  // across the world's corner
  int lowered = 0;
  for (int i = 0; i < HMAP_CELLS; i++) {
    ASSERT_LE(hmap[i], before[i]) << i;
    lowered += hmap[i] < before[i];
  }
  EXPECT_GT(lowered, 100);
  // The centre lies near mean - r * s; the far side wrapped around.
  EXPECT_LT(hmap[idx(250, 3)], before[idx(250, 3)] - 10);
  EXPECT_LT(hmap[idx(2, 3)], before[idx(2, 3)]);
  // Cells beyond 2r are untouched.
  EXPECT_EQ(hmap[idx(250, 40)], before[idx(250, 40)]);
}

TEST_F(GeneratorTest, CraterWithZeroSteepnessFlattensTowardMean) {
  for (int i = 0; i < HMAP_CELLS; i++) hmap[i] = float((i * 7) % 5);
  std::vector<float> before(hmap, hmap + HMAP_CELLS);
  genCrater({128, 128}, 6, 0, hmap);
  double sum = 0;
  int n = 0;
  for (int z = 122; z <= 134; z++)
    for (int x = 122; x <= 134; x++) {
      float dx = float(x) - 128, dz = float(z) - 128;
      if (dx * dx + dz * dz < 36) sum += before[idx(x, z)], n++;
    }
  float m = float(sum / n);
  for (int z = 110; z <= 146; z++)
    for (int x = 110; x <= 146; x++) {
      int i = idx(x, z);
      if (before[i] <= m)
        ASSERT_EQ(hmap[i], before[i]);
      else
        ASSERT_GE(hmap[i], m - 1e-5f);
    }
  EXPECT_NEAR(hmap[idx(128, 128)], std::fmin(before[idx(128, 128)], m), 1e-5f);
}

TEST_F(GeneratorTest, FaultStaysInsideItsEllipse) {
  ColorRamp green = const_ramp(vec4f(0, 1, 0, 1));
  for (int i = 0; i < HMAP_CELLS; i++) surface[i].houseTile = 3;
  genFault({20, 30}, {0, 2}, 16, 0.5f, 2, &green, GT_SOIL, 255, hmap);
  int inside = 0, face = 0;
  for (int z = 0; z < 256; z++)
    for (int x = 0; x < 256; x++) {
      float dx = wrap(float(x) - 20), dz = wrap(float(z) - 30);
      // Direction +z: along = dz, across = -dx.
      float F = (dz / 64) * (dz / 64) + (dx / 128) * (dx / 128);
      int i = idx(x, z);
      if (F >= 1.0f) {
        ASSERT_EQ(hmap[i], 0.0f) << x << "," << z;
        ASSERT_EQ(surface[i].groundColor.u, 0xFF808080u);
        ASSERT_EQ(surface[i].groundType, unsigned(GT_ROCK));
      } else {
        inside++;
        if (surface[i].groundType == unsigned(GT_SOIL)) {
          face++;
          ASSERT_EQ(surface[i].groundColor.u, 0xFF00FF00u);
        }
      }
      ASSERT_EQ(surface[i].houseTile, 3u);
    }
  EXPECT_GT(inside, 20000);
  EXPECT_GT(face, 100);
  // Near the centre the side the direction points to rises by about b * H,
  // the other side sinks by about (1 - b) * H.
  EXPECT_GT(hmap[idx(20, 50)], 4.0f);
  EXPECT_LT(hmap[idx(20, 10)], -4.0f);
}

TEST_F(GeneratorTest, SimplexNoiseRangeAndFlatCase) {
  addSimplexNoise(3, 3, 4, 4, 0.5f);
  for (float h : hmap) ASSERT_EQ(h, 3.0f);
  reset();
  addSimplexNoise(1, 5, 8, 3, 0.5f);
  float lo, hi;
  calcHtRange(lo, hi);
  EXPECT_GE(lo, 1.0f);
  EXPECT_GT(hi, 3.0f);
  float expect = std::fmax(0.0f, tiled_fractal_noise2(37 * 8 / 256.0f, 91 * 8 / 256.0f, 8, 3, nullptr, 0.5f) * 0.286f + 0.5f) * 4 + 1;
  EXPECT_EQ(hmap[idx(37, 91)], expect);
}

TEST_F(GeneratorTest, VoronoiHillsAndFaults) {
  addVoronoiHills(8, 2, 6, 0.6f);
  float lo, hi;
  calcHtRange(lo, hi);
  EXPECT_EQ(lo, 0.0f);  // cells far from every feature point get nothing
  EXPECT_LE(hi, 6.0f);
  EXPECT_GT(hi, 1.0f);

  // Store form draws the same levels and writes the same values.
  std::vector<float> mask(HMAP_CELLS);
  set_rnd_seed(555);
  reset();
  addVoronoiHills(16, 0, 4, 0.8f);
  set_rnd_seed(555);
  fillVoronoiHills(mask.data(), 16, 0, 4, 0.8f);
  EXPECT_EQ(std::memcmp(mask.data(), hmap, sizeof(hmap)), 0);

  set_rnd_seed(556);
  reset();
  genVoronoiFaults(8, 1, 9, 0.2f, 2, 3, 4);
  set_rnd_seed(556);
  fillVoronoiFaults(mask.data(), 8, 1, 9, 0.2f, 2, 3, 4);
  EXPECT_EQ(std::memcmp(mask.data(), hmap, sizeof(hmap)), 0);
  calcHtRange(lo, hi);
  EXPECT_GE(lo, 1.0f - 1e-4f);
  EXPECT_LE(hi, 9.0f + 1e-4f);
  // Plateaus: many cells share exactly their cell's level.
  int flat = 0;
  for (int i = 1; i < HMAP_CELLS; i++) flat += hmap[i] == hmap[i - 1];
  EXPECT_GT(flat, 10000);
}

TEST_F(GeneratorTest, HouseTemplatesAreWellFormed) {
  for (const HouseTemplate& t : house_templates) {
    for (int r = 0; r <= t.d; r++) ASSERT_EQ(int(std::strlen(t.heights[r])), t.w + 1);
    for (int r = 0; r < t.d; r++) {
      ASSERT_EQ(int(std::strlen(t.tiles[r])), t.w);
      ASSERT_EQ(int(std::strlen(t.orients[r])), t.w);
      for (int i = 0; i < t.w; i++) {
        char c = t.tiles[r][i];
        ASSERT_TRUE(c == '.' || (c >= 'a' && c <= 's')) << c;
      }
    }
  }
}

TEST_F(GeneratorTest, PlaceHouseSelectsTemplatesAndStamps) {
  struct Case {
    int type, w, d;
  } cases[] = {{-1, 18, 18}, {0, 4, 4}, {3, 4, 4}, {6, 4, 4}, {1, 4, 10}, {4, 4, 10}, {2, 10, 4}, {5, 10, 4}};
  for (const Case& c : cases) {
    reset();
    for (float& h : hmap) h = 2.0f;
    placeHouse(100, 120, c.type, hmap, false);
    int x0 = 100 - c.w / 2, z0 = 120 - c.d / 2;
    int tiles = 0;
    for (int z = 0; z < 256; z++)
      for (int x = 0; x < 256; x++) {
        bool in = x >= x0 && x < x0 + c.w && z >= z0 && z < z0 + c.d;
        if (surface[idx(x, z)].groundType == unsigned(GT_HOUSE)) {
          ASSERT_TRUE(in) << c.type;
          tiles++;
        }
      }
    EXPECT_GT(tiles, 0) << c.type;
    // The vertex rows: the outer ring is 0 (base = mean 2), the first inner
    // vertex row from z0 is the template's second-to-last row.
    EXPECT_EQ(hmap[idx(x0, z0)], 2.0f);
    const HouseTemplate& t = house_templates[c.type == -1 ? 0 : c.type % 3 + 1];
    char v = t.heights[t.d - 1][1];
    EXPECT_FLOAT_EQ(hmap[idx(x0 + 1, z0 + 1)], 2.0f + float(v - '0') * 6.75f / 9.0f) << c.type;
  }
  // Tower tile layout: the bottom-left tile is the last row's first letter.
  reset();
  placeHouse(10, 10, 0, hmap, false);
  const Surface& s = surface[idx(8, 8)];
  EXPECT_EQ(s.houseTile, unsigned('b' - 'a'));
  EXPECT_EQ(s.houseOrient, 0u);
  const Surface& s2 = surface[idx(8, 11)];  // top row "bdcb" / "5666"
  EXPECT_EQ(s2.houseTile, 1u);
  EXPECT_EQ(s2.houseOrient, 5u);
  EXPECT_EQ(surface[idx(9, 11)].houseTile, unsigned('d' - 'a'));
  EXPECT_EQ(surface[idx(9, 11)].houseOrient, 6u);
}

TEST_F(GeneratorTest, PlaceHouseWrapsAndKeepsMean) {
  for (int i = 0; i < HMAP_CELLS; i++) hmap[i] = float(i % 13);
  surface[idx(5, 5)].coverColor = D3dColor(0x11223344u);
  surface[idx(5, 5)].surfaceType = ST_GRASS;
  placeHouse(1, 254, -1, hmap, true);
  // Footprint from (-8, 245) wraps to x = 248..255, 0..10 and z = 245..255, 0..7.
  int n = 0;
  double mean = 0;
  for (int j = 0; j <= 18; j++)
    for (int i = 0; i <= 18; i++) mean += hmap[idx(248 + i, 245 + j)], n++;
  EXPECT_EQ(surface[idx(250, 245)].groundType, unsigned(GT_HOUSE));
  EXPECT_EQ(surface[idx(2, 5)].groundType, unsigned(GT_HOUSE));
  EXPECT_EQ(surface[idx(2, 5)].houseTile, unsigned('q' - 'a'));
  EXPECT_EQ(surface[idx(5, 5)].coverColor.u, 0u);
  EXPECT_EQ(surface[idx(5, 5)].surfaceType, 0u);
  // With keepMean the stamped footprint keeps the terrain's mean height.
  double terrain = 0;
  for (int j = 0; j <= 18; j++)
    for (int i = 0; i <= 18; i++) terrain += float((idx(248 + i, 245 + j)) % 13);
  EXPECT_NEAR(mean / n, terrain / n, 1e-3);
}

using GeneratorDeathTest = GeneratorTest;

TEST_F(GeneratorDeathTest, PreconditionsAreFatal) {
  EXPECT_EXIT(addSimplexNoise(0, 1, 3, 2, 0.5f), ::testing::ExitedWithCode(100),
              "hmGen\\.cpp\\([0-9]+\\): failed ASSERT\\(\\(tile&\\(tile-1\\)\\)==0 && tile>0\\)");
  EXPECT_EXIT(addSimplexNoise(2, 1, 4, 2, 0.5f), ::testing::ExitedWithCode(100),
              "failed ASSERT\\(min_ht<=max_ht\\)");
  EXPECT_EXIT(addFastNoise(-1, 1, nullptr, GT_NONE, 255, 0.5f), ::testing::ExitedWithCode(100),
              "failed ASSERT\\(min_ht>=0\\)");
  EXPECT_EXIT(addVoronoiHills(0, 0, 1, 1), ::testing::ExitedWithCode(100), "tile>0");
  EXPECT_EXIT(genVoronoiFaults(12, 0, 1, 0, 1, 1, 1), ::testing::ExitedWithCode(100), "tile&");
}
