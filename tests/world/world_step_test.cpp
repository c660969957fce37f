#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/world/test_support.h"
#include "world/heightmap.h"
#include "world/hmGen.h"
#include "world/noise.h"
#include "world/world_step.h"

using namespace HeightmapData;

namespace {
std::vector<std::string> hook_log;
void land_step(float) { hook_log.push_back("land"); }
void heights_changed() { hook_log.push_back("heights"); }
void restart_clock() { hook_log.push_back("clock"); }

class WorldStepTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset();
    hook_log.clear();
    world_hooks = WorldHooks{};
    world_hooks.progress = record_progress;
  }
  void TearDown() override {
    world_hooks = WorldHooks{};
    world_hooks.progress = record_progress;
  }
};
}  // namespace

TEST_F(WorldStepTest, StepMovesTerrainThenWater) {
  world_hooks.landStep = land_step;
  target_hmap[0] = 10;
  water[0][0].depth = 4;
  stepWorld(0.05f);
  ASSERT_EQ(hook_log.size(), 1u);
  EXPECT_EQ(hook_log[0], "land");
  EXPECT_GT(hmap[0], 0.0f);
  EXPECT_EQ(tmpw[0][0].depth, 4.0f);
  EXPECT_LT(water[0][0].depth, 4.0f);
  // Without hooks the step still runs.
  world_hooks = WorldHooks{};
  stepWorld(0.05f);
  EXPECT_EQ(hook_log.size(), 1u);
}

TEST_F(WorldStepTest, AddWaterKeyRaisesEveryDepthByOne) {
  water[4][5].depth = 0.5f;
  addWaterKey();
  EXPECT_EQ(water[4][5].depth, 1.5f);
  EXPECT_EQ(water[255][255].depth, 1.0f);
}

TEST_F(WorldStepTest, ErodeKeyErodesThenLetsTheLandSlideIntoIt) {
  ErosionParams p;
  setErodeKeyParams(p);
  EXPECT_FLOAT_EQ(p.Kq, 0.1f);
  EXPECT_FLOAT_EQ(p.Kd, 0.9f);
  EXPECT_EQ(p.reactions.count, 0);

  set_rnd_seed(2024);
  reseed_noise();
  addSimplexNoise(0, 30, 4, 4, 0.5f);
  std::memcpy(target_hmap, hmap, sizeof(hmap));
  std::vector<float> before(hmap, hmap + HMAP_CELLS);
  world_hooks.heightsChanged = heights_changed;
  world_hooks.restartClock = restart_clock;
  splash_calls.clear();
  testing::internal::CaptureStdout();
  erodeKey();
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("computed   92160 erosion droplets"), std::string::npos) << out;
  // The live heights are the old shape; the eroded shape is the target.
  EXPECT_EQ(std::memcmp(hmap, before.data(), sizeof(hmap)), 0);
  EXPECT_NE(std::memcmp(target_hmap, before.data(), sizeof(hmap)), 0);
  ASSERT_EQ(hook_log.size(), 2u);
  EXPECT_EQ(hook_log[0], "heights");
  EXPECT_EQ(hook_log[1], "clock");
  EXPECT_EQ(splash_calls.size(), 5u);  // 16384, 32768, 49152, 65536, 81920

  // The following steps carry the land toward the eroded shape.
  float diff0 = 0, diff1 = 0;
  for (int i = 0; i < HMAP_CELLS; i++) diff0 += std::fabs(target_hmap[i] - hmap[i]);
  for (int s = 0; s < 20; s++) stepWorld(0.05f);
  for (int i = 0; i < HMAP_CELLS; i++) diff1 += std::fabs(target_hmap[i] - hmap[i]);
  EXPECT_LT(diff1, diff0);
}
