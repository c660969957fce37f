#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <regex>
#include <vector>

#include "tests/world/test_support.h"
#include "world/erosion.h"
#include "world/heightmap.h"
#include "world/hmGen.h"
#include "world/noise.h"

using namespace HeightmapData;

namespace {
uint64_t state_after(uint64_t s, int draws) {
  for (int i = 0; i < draws; i++) s = s * RND_MULTIPLIER + RND_INCREMENT;
  return s;
}
int idx(int x, int z) { return (z & 255) * 256 + (x & 255); }

struct Snapshot {
  std::vector<float> h;
  std::vector<Surface> s;
  Snapshot() : h(hmap, hmap + HMAP_CELLS), s(surface, surface + HMAP_CELLS) {}
  bool sameHeights() const { return std::memcmp(h.data(), hmap, sizeof(hmap)) == 0; }
  bool sameSurface() const { return std::memcmp(s.data(), surface, sizeof(surface)) == 0; }
};

void hilly_world(uint64_t seed) {
  reset();
  set_rnd_seed(int64_t(seed));
  reseed_noise();
  addSimplexNoise(0, 40, 4, 5, 0.5f);
}

class ErosionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset();
    splash_calls.clear();
  }
};
}  // namespace

TEST_F(ErosionTest, NoDropletsChangesNothingButStillReports) {
  hilly_world(3);
  Snapshot before;
  uint64_t seed = game_rnd_seed;
  ErosionParams p;
  testing::internal::CaptureStdout();
  genDropletErosion(0, p);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_TRUE(before.sameHeights());
  EXPECT_TRUE(before.sameSurface());
  EXPECT_EQ(game_rnd_seed, seed);
  EXPECT_TRUE(std::regex_search(out, std::regex("computed       0 erosion droplets in +[0-9]+ ms, 0 droplets/s\n")))
      << out;
  EXPECT_NE(out.find("  0.00 average path length, 0 long paths cut, 0 random directions picked\n"),
            std::string::npos)
      << out;
  EXPECT_TRUE(splash_calls.empty());
}

TEST_F(ErosionTest, FlatMapStaysFlat) {
  set_rnd_seed(21);
  ErosionParams p;
  testing::internal::CaptureStdout();
  genDropletErosion(500, p);
  std::string out = testing::internal::GetCapturedStdout();
  for (float h : hmap) ASSERT_EQ(h, 0.0f);
  for (const Surface& s : surface) ASSERT_EQ(s.groundColor.u, 0xFF808080u);
  // Two start draws and one random direction per droplet, and no step taken.
  EXPECT_EQ(game_rnd_seed, state_after(21, 1500));
  EXPECT_EQ(last_erosion_stats.randomDirs, 500u);
  EXPECT_EQ(last_erosion_stats.steps, 0u);
  EXPECT_NE(out.find("0 long paths cut, 500 random directions picked"), std::string::npos) << out;
}

TEST_F(ErosionTest, DropletInAPitEndsAtOnce) {
  uint64_t s = 8;
  int ix = int(rnd_step(s) & 255), iz = int(rnd_step(s) & 255);
  for (int z = 0; z < 256; z++)
    for (int x = 0; x < 256; x++) {
      float dx = wrap(float(x - ix)), dz = wrap(float(z - iz));
      hmap[idx(x, z)] = dx * dx + dz * dz;
    }
  Snapshot before;
  set_rnd_seed(8);
  ErosionParams p;
  testing::internal::CaptureStdout();
  genDropletErosion(1, p);
  testing::internal::GetCapturedStdout();
  EXPECT_TRUE(before.sameHeights());
  EXPECT_EQ(last_erosion_stats.steps, 0u);
  EXPECT_EQ(last_erosion_stats.randomDirs, 0u);
}

TEST_F(ErosionTest, ErodesValleysAndKeepsColoursWithoutBlend) {
  hilly_world(5);
  for (int i = 0; i < HMAP_CELLS; i++) surface[i].groundColor = D3dColor(0xFF000000u | uint32_t(i * 2654435761u >> 8));
  Snapshot before;
  ErosionParams p;
  p.depositBlend = 0;
  testing::internal::CaptureStdout();
  genDropletErosion(3000, p);
  testing::internal::GetCapturedStdout();
  EXPECT_FALSE(before.sameHeights());
  for (int i = 0; i < HMAP_CELLS; i++) ASSERT_EQ(surface[i].groundColor.u, before.s[i].groundColor.u) << i;
  EXPECT_GT(last_erosion_stats.steps, 3000u);
  EXPECT_EQ(last_erosion_stats.cut, 0u);
}

TEST_F(ErosionTest, DepositBlendsTowardCarriedColour) {
  ErosionParams p;
  int c = idx(40, 50);
  surface[c].groundColor = D3dColor(0xFF000000u);
  depositSediment(c, 0.5f, vec4f(1, 1, 1, 1), p);
  EXPECT_EQ(hmap[c], 0.5f);
  // f = 1 - e^-1 = 0.632: each colour channel 0 -> 161.
  uint32_t g = surface[c].groundColor.u;
  EXPECT_EQ((g >> 16) & 255, uint32_t(std::lround((1 - std::exp(-1.0f)) * 255)));
  EXPECT_EQ(g >> 24, 255u);
}

TEST_F(ErosionTest, ReactionTurnsRedIntoGreen) {
  ErosionParams p;
  p.reactions.push_back(make_erosion_reaction(vec4f(1, 0, 0, 0), vec4f(0, 1, 0, 0), 0.001f));
  EXPECT_EQ(p.reactions[0].order[0], 1);
  EXPECT_EQ(p.reactions[0].order[1], 0);
  EXPECT_FLOAT_EQ(p.reactions[0].rate.x, -0.001f);
  EXPECT_FLOAT_EQ(p.reactions[0].rate.y, 0.001f);
  // Zero deposit: only the reaction acts. Time budget 100 at rate 0.001:
  // a tenth of the red turns green.
  int c = idx(3, 4);
  surface[c].groundColor = D3dColor(0xFFC80000u);  // red 200
  depositSediment(c, 0, vec4f(0, 0, 0, 0), p);
  uint32_t g = surface[c].groundColor.u;
  EXPECT_EQ((g >> 16) & 255, 180u);
  EXPECT_EQ((g >> 8) & 255, 20u);

  // Fast reaction: red is used up within the budget and never below 0.
  p.reactions[0] = make_erosion_reaction(vec4f(1, 0, 0, 0), vec4f(0, 1, 0, 0), 3.0f);
  surface[c].groundColor = D3dColor(0xFF960000u);  // red 150
  depositSediment(c, 0, vec4f(0, 0, 0, 0), p);
  g = surface[c].groundColor.u;
  EXPECT_EQ((g >> 16) & 255, 0u);
  EXPECT_EQ((g >> 8) & 255, 150u);

  // A second-order reaction (2 red -> 1 blue) also stops at zero red.
  p.reactions[0] = make_erosion_reaction(vec4f(2, 0, 0, 0), vec4f(0, 0, 1, 0), 5.0f);
  surface[c].groundColor = D3dColor(0xFFFF0000u);
  depositSediment(c, 0, vec4f(0, 0, 0, 0), p);
  g = surface[c].groundColor.u;
  EXPECT_LT((g >> 16) & 255, 255u);
  EXPECT_GT(g & 255, 0u);
}

TEST_F(ErosionTest, GrassSurvivesDepositsButNotErosion) {
  ErosionParams p;
  int grass = idx(1, 1), snow = idx(2, 1);
  surface[grass].setSurfaceType(ST_GRASS);
  surface[grass].coverColor = D3dColor(0xFF00A000u);
  surface[snow].setSurfaceType(ST_SNOW);
  surface[snow].coverColor = D3dColor(0xFFFFFFFFu);
  depositSediment(grass, 0.3f, vec4f(0, 0, 0, 1), p);
  depositSediment(snow, 0.3f, vec4f(0, 0, 0, 1), p);
  EXPECT_EQ(surface[grass].surfaceType, unsigned(ST_GRASS));
  EXPECT_EQ(surface[grass].coverColor.u, 0xFF00A000u);
  EXPECT_EQ(surface[snow].surfaceType, 0u);
  EXPECT_EQ(surface[snow].coverColor.u, 0u);

  hilly_world(9);
  for (Surface& s : surface) {
    s.setSurfaceType(ST_GRASS);
    s.coverColor = D3dColor(0xFF00A000u);
  }
  Snapshot before;
  testing::internal::CaptureStdout();
  genDropletErosion(2000, p);
  testing::internal::GetCapturedStdout();
  int lowered = 0, raisedGrass = 0;
  for (int i = 0; i < HMAP_CELLS; i++) {
    if (hmap[i] < before.h[i]) {
      lowered++;
      ASSERT_EQ(surface[i].surfaceType, 0u) << i;
      ASSERT_EQ(surface[i].coverColor.u, 0u) << i;
    }
    if (hmap[i] > before.h[i] && surface[i].surfaceType == unsigned(ST_GRASS)) raisedGrass++;
  }
  EXPECT_GT(lowered, 100);
  EXPECT_GT(raisedGrass, 0);
}

TEST_F(ErosionTest, ProgressEvery16384Droplets) {
  set_rnd_seed(1);
  ErosionParams p;
  testing::internal::CaptureStdout();
  genDropletErosion(40000, p);
  testing::internal::GetCapturedStdout();
  ASSERT_EQ(splash_calls.size(), 2u);
  EXPECT_EQ(splash_calls[0].message, "Calculating erosion");
  EXPECT_FLOAT_EQ(splash_calls[0].progress, 16384.5f / 40000);
  EXPECT_FLOAT_EQ(splash_calls[1].progress, 32768.5f / 40000);
}

TEST_F(ErosionTest, RunawayDropletsAreCutAtTheStepLimit) {
  hilly_world(12);
  ErosionParams p;
  p.Kd = -1;  // "depositing" a negative amount picks up ever more sediment
  set_rnd_seed(4);
  testing::internal::CaptureStdout();
  genDropletErosion(20, p);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_GT(last_erosion_stats.cut, 0u);
  EXPECT_LE(last_erosion_stats.steps, 20u * 1024u);
  EXPECT_TRUE(std::regex_search(out, std::regex("droplet #[0-9]+ path is too long!\n"))) << out.substr(0, 400);
}

TEST_F(ErosionTest, SameSeedSameWorld) {
  hilly_world(31);
  ErosionParams p;
  p.reactions.push_back(make_erosion_reaction(vec4f(1, 0, 0, 0), vec4f(0, 0, 1, 0), 0.01f));
  testing::internal::CaptureStdout();
  genDropletErosion(1500, p);
  Snapshot first;
  hilly_world(31);
  genDropletErosion(1500, p);
  testing::internal::GetCapturedStdout();
  EXPECT_TRUE(first.sameHeights());
  EXPECT_TRUE(first.sameSurface());
}
