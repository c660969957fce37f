#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "world/noise.h"

namespace {
uint64_t state_after(uint64_t s, int draws) {
  for (int i = 0; i < draws; i++) s = s * RND_MULTIPLIER + RND_INCREMENT;
  return s;
}
}  // namespace

TEST(Random, FirstDrawsFromStateZero) {
  game_rnd_seed = 0;
  EXPECT_EQ(hmrnd(), 126);  // 335903614 & 255
  EXPECT_EQ(game_rnd_seed, 1442695040888963407ull);
  game_rnd_seed = 0;
  EXPECT_NEAR(frnd(), 335903614.0 / 4294967296.0, 1e-7);
  game_rnd_seed = 0;
  EXPECT_EQ(irnd(), 335903614);
  game_rnd_seed = 0;
  EXPECT_NEAR(hmfrnd(), 335903614.0 / 4294967296.0 * 256, 1e-4);
  game_rnd_seed = 0;
  EXPECT_NEAR(srnd(), 335903614.0 / 4294967296.0 * 2 - 1, 1e-6);
  game_rnd_seed = 0;
  EXPECT_NEAR(hmsrnd(), (335903614.0 / 4294967296.0 * 2 - 1) * 128, 1e-4);
  game_rnd_seed = 0;
  EXPECT_NEAR(rndf(10, 20), 10 + 335903614.0 / 4294967296.0 * 10, 1e-5);
  // Every draw is exactly one step.
  game_rnd_seed = 0;
  hmrnd(), hmfrnd(), hmsrnd(), irnd(), frnd(), srnd(), rndf(0, 1);
  EXPECT_EQ(game_rnd_seed, state_after(0, 7));
}

TEST(Random, SeedsAndUnitRange) {
  set_rnd_seed(-1);
  EXPECT_EQ(game_rnd_seed, ~0ull);
  set_rnd_seed(42);
  EXPECT_EQ(game_rnd_seed, 42ull);
  // A full 64-bit seed, as logged, can be set back.
  set_rnd_seed(int64_t(0x8000000000000123ull));
  EXPECT_EQ(game_rnd_seed, 0x8000000000000123ull);
  randomize_rnd_seed();
  uint64_t a = game_rnd_seed;
  randomize_rnd_seed();
  EXPECT_NE(game_rnd_seed, 0ull);
  EXPECT_GE(game_rnd_seed, a);
  // The largest draws stay below 1 and 256.
  EXPECT_LT(rnd_unit(0xFFFFFFFFu), 1.0f);
  EXPECT_LT(rnd_unit(0xFFFFFFFFu) * 256.0f, 256.0f);
  EXPECT_EQ(rnd_unit(0), 0.0f);
  EXPECT_EQ(rnd_unit(0x80000000u), 0.5f);
}

TEST(Random, WrapReducesToTorusOffset) {
  EXPECT_EQ(wrap(128), 128.0f);
  EXPECT_EQ(wrap(-128), 128.0f);
  EXPECT_EQ(wrap(300), 44.0f);
  EXPECT_EQ(wrap(-300), -44.0f);
  EXPECT_EQ(wrap(0), 0.0f);
  EXPECT_EQ(wrap(256), 0.0f);
  EXPECT_EQ(wrap(129), -127.0f);
  EXPECT_EQ(wrap(-129), 127.0f);
}

TEST(Noise, ReseedDrawsAndTables) {
  set_rnd_seed(7);
  reseed_noise();
  EXPECT_EQ(game_rnd_seed, state_after(7, 1536));
  bool seen[256] = {};
  for (int i = 0; i < 256; i++) {
    ASSERT_FALSE(seen[noise_perm[i]]);
    seen[noise_perm[i]] = true;
    ASSERT_EQ(noise_perm[i], noise_perm[i + 256]);
  }
  for (float f : noise_rnd) {
    ASSERT_GE(f, 0.0f);
    ASSERT_LT(f, 1.0f);
  }
  // The shuffle is the generator's: replay the first swap by hand.
  uint64_t s = 7;
  uint8_t p[256];
  for (int i = 0; i < 256; i++) p[i] = uint8_t(i);
  for (int pass = 0; pass < 4; pass++)
    for (int i = 0; i < 256; i++) {
      int j = int(rnd_step(s) & 255);
      std::swap(p[i], p[j]);
    }
  EXPECT_EQ(std::memcmp(p, noise_perm, 256), 0);
  EXPECT_EQ(noise_rnd[0], rnd_unit(rnd_step(s)));
}

TEST(Noise, ZerosPeriodicityAndHashes) {
  set_rnd_seed(99);
  reseed_noise();
  uint64_t before = game_rnd_seed;
  for (int i = -300; i <= 300; i += 7) {
    ASSERT_EQ(noise1(float(i)), 0.0f) << i;
    ASSERT_EQ(tiled_noise2(float(i), float(i / 3), 16), 0.0f) << i;
  }
  bool nonzero = false;
  for (float x = 0.1f; x < 20; x += 0.37f) {
    float v = noise1(x);
    nonzero = nonzero || v != 0.0f;
    ASSERT_LE(std::fabs(v), 8.0f);
  }
  EXPECT_TRUE(nonzero);
  for (int tile : {1, 4, 32, 256})
    for (float x = 0.125f; x < 6; x += 0.6875f)
      for (float y = 0.25f; y < 6; y += 0.8125f)
        ASSERT_EQ(tiled_noise2(x + float(tile), y, tile), tiled_noise2(x, y, tile))
            << tile << " " << x << " " << y;
  EXPECT_EQ(tiled_noise2(1.25f, 2.5f, 8), tiled_noise2(1.25f, 2.5f + 8, 8));
  for (int x = -5; x < 300; x += 13) {
    ASSERT_EQ(get_noise_hash2(x + 256, 17), get_noise_hash2(x, 17));
    ASSERT_EQ(get_noise_hash2(3, x - 256), get_noise_hash2(3, x));
    ASSERT_EQ(get_noise_hash1(x + 256), get_noise_hash1(x));
    ASSERT_EQ(get_noise_hash1(x), noise_perm[x & 255]);
  }
  EXPECT_EQ(get_noise_hash2(5, 9), noise_perm[5 + noise_perm[9]]);
  // No noise function draws.
  float pts[8];
  fractal_noise1(0.3f, 4, nullptr, 0.5f);
  tiled_fractal_noise2(0.3f, 0.7f, 4, 4, nullptr, 0.5f);
  tiled_voronoi_noise2_near4(1.5f, 2.5f, 3, pts, nullptr, nullptr);
  EXPECT_EQ(game_rnd_seed, before);
}

TEST(Noise, FractalSumsAndRampShaping) {
  set_rnd_seed(3);
  reseed_noise();
  float x = 3.37f;
  EXPECT_EQ(fractal_noise1(x, 1, nullptr, 0.5f), noise1(x));
  EXPECT_EQ(fractal_noise1(x, 0, nullptr, 0.5f), noise1(x));
  float two = noise1(x) + noise1(x * 2 + 0.5f) * 0.7f;
  EXPECT_EQ(fractal_noise1(x, 2, nullptr, 0.7f), two);
  float three = two + noise1((x * 2 + 0.5f) * 2 + 0.5f) * (0.7f * 0.7f);
  EXPECT_EQ(fractal_noise1(x, 3, nullptr, 0.7f), three);

  FloatRamp ramp;
  for (int i = 0; i < RAMP_ENTRIES; i++) ramp.v[i] = float(i);  // maps v to (v + 1) * 128
  float n = noise1(x);
  EXPECT_FLOAT_EQ(fractal_noise1(x, 1, &ramp, 0.5f), (n + 1) * 128);
  float t2 = tiled_noise2(0.3125f, 0.625f, 4) + tiled_noise2(1.125f, 1.75f, 8) * 0.5f;
  EXPECT_EQ(tiled_fractal_noise2(0.3125f, 0.625f, 4, 2, nullptr, 0.5f), t2);
  // Each octave keeps the period in world units.
  EXPECT_EQ(tiled_fractal_noise2(0.3125f + 4, 0.625f, 4, 3, nullptr, 0.5f),
            tiled_fractal_noise2(0.3125f, 0.625f, 4, 3, nullptr, 0.5f));
}

TEST(Noise, VoronoiQueries) {
  set_rnd_seed(11);
  reseed_noise();
  Point2 pts[9];
  int ids[9];
  tiled_voronoi_noise2_all9(5.25f, 2.75f, 3, pts, ids);
  // Candidate 0 is the cell (-1, -1) from (5, 2).
  int k = noise_perm[(4 & 7) + noise_perm[1 & 7]];
  EXPECT_EQ(pts[0].x, noise_rnd[2 * k] - 1 - 0.25f);
  EXPECT_EQ(pts[0].y, noise_rnd[2 * k + 1] - 1 - 0.75f);
  EXPECT_EQ(ids[0], (1 << 16) | 4);
  EXPECT_EQ(ids[4], (2 << 16) | 5);
  EXPECT_EQ(ids[8], (3 << 16) | 6);
  // Ids wrap with the tile: the same feature point from the next period.
  int ids2[9];
  tiled_voronoi_noise2_all9(5.25f + 8, 2.75f, 3, nullptr, ids2);
  EXPECT_EQ(std::memcmp(ids, ids2, sizeof(ids)), 0);

  float d[4];
  int nid[4];
  Point2 np[4];
  tiled_voronoi_noise2_near4(5.25f, 2.75f, 3, d, nid, np);
  std::vector<float> all;
  for (auto& p : pts) all.push_back(p.x * p.x + p.y * p.y);
  std::vector<float> sorted = all;
  std::sort(sorted.begin(), sorted.end());
  for (int s = 0; s < 4; s++) {
    EXPECT_EQ(d[s], sorted[s]);
    int j = int(std::find(all.begin(), all.end(), d[s]) - all.begin());
    EXPECT_EQ(nid[s], ids[j]);
    EXPECT_EQ(np[s].x, pts[j].x);
  }
  // Null outputs are never written.
  float guard[4] = {-7, -7, -7, -7};
  tiled_voronoi_noise2_near4(5.25f, 2.75f, 3, nullptr, nullptr, nullptr);
  tiled_voronoi_noise2_near4(5.25f, 2.75f, 3, guard, nullptr, nullptr);
  EXPECT_EQ(guard[0], sorted[0]);
}

namespace {
struct Recorder : IWalkMapGrid {
  std::vector<std::array<float, 3>> calls;
  void on_map_grid_walk(float x, float z, float size) override { calls.push_back({x, z, size}); }
};
struct PointList : IPointSink {
  std::vector<std::pair<float, float>> pts;
  void add_point(float x, float z) override { pts.push_back({x, z}); }
};
}  // namespace

TEST(MapGridWalk, LevelsAndPoints) {
  Recorder r;
  walk_map_grid(6, r);
  ASSERT_EQ(r.calls.size(), 16u);
  EXPECT_EQ(r.calls[1][0], 64.0f);
  EXPECT_EQ(r.calls[4][1], 64.0f);
  EXPECT_EQ(r.calls[4][0], 0.0f);
  EXPECT_EQ(r.calls[15][2], 64.0f);
  r.calls.clear();
  walk_map_grid(12, r);
  ASSERT_EQ(r.calls.size(), 1u);
  EXPECT_EQ(r.calls[0][2], 256.0f);
  r.calls.clear();
  walk_map_grid(-1, r);
  ASSERT_EQ(r.calls.size(), 512u * 512u);
  EXPECT_EQ(r.calls[513][0], 0.5f);
  EXPECT_EQ(r.calls[513][1], 0.5f);
  EXPECT_EQ(r.calls[513][2], 0.5f);

  PointList sink;
  GenMapCellPoints gen(&sink, 3);
  set_rnd_seed(5);
  walk_map_grid(7, gen);
  ASSERT_EQ(sink.pts.size(), 12u);
  EXPECT_EQ(game_rnd_seed, state_after(5, 24));
  uint64_t s = 5;
  uint32_t u1 = rnd_step(s), u2 = rnd_step(s);
  EXPECT_EQ(sink.pts[0].first, 128.0f * (float(u1) * 0x1p-32f));
  EXPECT_EQ(sink.pts[0].second, 128.0f * (float(u2) * 0x1p-32f));
  for (size_t i = 0; i < sink.pts.size(); i++) {
    int cellIndex = int(i / 3);
    float cx = float(cellIndex % 2) * 128, cz = float(cellIndex / 2) * 128;
    EXPECT_GE(sink.pts[i].first, cx);
    EXPECT_LE(sink.pts[i].first, cx + 128);
    EXPECT_GE(sink.pts[i].second, cz);
    EXPECT_LE(sink.pts[i].second, cz + 128);
  }
}
