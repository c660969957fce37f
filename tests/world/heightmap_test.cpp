#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "world/heightmap.h"
#include "world/ramps.h"

using namespace HeightmapData;

namespace {
int idx(int x, int z) { return z * 256 + x; }

class HeightmapTest : public ::testing::Test {
 protected:
  void SetUp() override { reset(); }
};
}  // namespace

TEST_F(HeightmapTest, RecordLayoutsAndTables) {
  EXPECT_EQ(sizeof(Water), 16u);
  EXPECT_EQ(sizeof(Surface), 12u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(hmap) % 16, 0u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(target_hmap) % 16, 0u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(water) % 16, 0u);
}

TEST_F(HeightmapTest, SurfaceBitFieldsKeepTheirPlaces) {
  Surface s = surface[0];
  s.setGroundType(GT_NONE);
  EXPECT_EQ(s.groundType, 15u);
  s.setGroundType(GT_SOIL);
  s.setSurfaceType(ST_ROAD);
  s.houseOrient = 5;
  s.houseTile = 18;
  uint32_t flags;
  std::memcpy(&flags, reinterpret_cast<const char*>(&s) + 8, 4);
  EXPECT_EQ(flags, 3u | (4u << 4) | (5u << 8) | (18u << 11));
}

TEST_F(HeightmapTest, ResetClearsWorldButNotSavedWater) {
  hmap[5] = 3;
  target_hmap[7] = 2;
  water[1][2] = {1, 2, 3, 4};
  tmpw[3][4] = {5, 6, 7, 8};
  surface[9].coverColor = D3dColor(0x12345678u);
  surface[9].houseTile = 7;
  reset();
  EXPECT_EQ(hmap[5], 0.0f);
  EXPECT_EQ(target_hmap[7], 0.0f);
  EXPECT_EQ(water[1][2].depth, 0.0f);
  EXPECT_EQ(water[1][2].foam, 0.0f);
  EXPECT_EQ(tmpw[3][4].flowZ, 7.0f);
  EXPECT_EQ(surface[9].groundColor.u, 0xFF808080u);
  EXPECT_EQ(surface[9].coverColor.u, 0u);
  EXPECT_EQ(surface[9].groundType, unsigned(GT_ROCK));
  EXPECT_EQ(surface[9].surfaceType, 0u);
  EXPECT_EQ(surface[9].houseTile, 0u);
}

TEST_F(HeightmapTest, HeightRangeAndRecentre) {
  for (float& h : hmap) h = 7.5f;
  EXPECT_EQ(recenterHt(), 0.0f);
  for (float h : hmap) ASSERT_EQ(h, 0.0f);

  hmap[100] = 2;
  hmap[200] = 6;
  for (int i = 0; i < HMAP_CELLS; i++)
    if (i != 100 && i != 200) hmap[i] = 4;
  float lo, hi;
  calcHtRange(lo, hi);
  EXPECT_EQ(lo, 2.0f);
  EXPECT_EQ(hi, 6.0f);
  for (float& t : target_hmap) t = 9;
  EXPECT_EQ(recenterHt(), 2.0f);
  EXPECT_EQ(hmap[100], -2.0f);
  EXPECT_EQ(hmap[200], 2.0f);
  EXPECT_EQ(hmap[0], 0.0f);
  EXPECT_EQ(target_hmap[100], 9.0f);
}

TEST_F(HeightmapTest, UpdateHmapStepsAndSnaps) {
  // Equal arrays: nothing moves.
  updateHmap(0.1f);
  for (float h : hmap) ASSERT_EQ(h, 0.0f);

  target_hmap[idx(10, 10)] = 10;   // proportional plus constant step
  target_hmap[idx(20, 10)] = -10;  // same step downward
  target_hmap[idx(30, 10)] = 0.05f; // snaps: the step would overshoot
  target_hmap[idx(40, 10)] = 0.2f;  // 0.2 * 0.02 + 0.1 = 0.104 short of it
  updateHmap(0.1f);
  float rate = 0.1f * 0.2f;
  float expect = std::fmin(10.0f * rate + 0.1f, 10.0f);
  EXPECT_NEAR(hmap[idx(10, 10)], 0.3f, 1e-6f);
  EXPECT_EQ(hmap[idx(10, 10)], expect);
  EXPECT_EQ(hmap[idx(20, 10)], -expect);
  EXPECT_EQ(hmap[idx(30, 10)], 0.05f);
  EXPECT_FLOAT_EQ(hmap[idx(40, 10)], 0.104f);
  // Rate is capped at 1: a huge dt snaps everything.
  updateHmap(100.0f);
  EXPECT_EQ(hmap[idx(10, 10)], 10.0f);
}

TEST_F(HeightmapTest, UpdateHmapSkipsQuietBlocksButMorphDoesNot) {
  // Block 0..3 holds only residues below 0.001: left exactly as it is.
  for (int i = 0; i < 4; i++) target_hmap[i] = 0.0005f;
  // Block 4..7 has one large difference: its small residues snap too.
  target_hmap[4] = 5;
  target_hmap[5] = 0.0005f;
  updateHmap(0.05f);
  for (int i = 0; i < 4; i++) EXPECT_EQ(hmap[i], 0.0f);
  EXPECT_EQ(hmap[5], 0.0005f);
  EXPECT_GT(hmap[4], 0.0f);

  float out[HMAP_CELLS];
  float before[4];
  std::memcpy(before, hmap, sizeof(before));
  morphHmap(0.05f, out);
  for (int i = 0; i < 4; i++) EXPECT_EQ(out[i], 0.0005f);
  EXPECT_EQ(std::memcmp(before, hmap, sizeof(before)), 0);
}

TEST_F(HeightmapTest, MorphMatchesUpdateWhereNothingIsSkipped) {
  for (int i = 0; i < HMAP_CELLS; i++) {
    hmap[i] = float(i % 97) * 0.37f;
    target_hmap[i] = float(i % 89) * 0.41f - 5.0f;
  }
  alignas(16) static float morphed[HMAP_CELLS];
  morphHmap(0.05f, morphed);
  for (int i = 0; i < HMAP_CELLS; i += 4) {
    bool quiet = true;
    for (int j = 0; j < 4; j++) quiet = quiet && std::fabs(target_hmap[i + j] - hmap[i + j]) < 0.001f;
    if (quiet) morphed[i] = hmap[i];
  }
  updateHmap(0.05f);
  EXPECT_EQ(std::memcmp(hmap, morphed, sizeof(hmap)), 0);
}

TEST_F(HeightmapTest, SquareDepthSamplesNodesEdgesAndInterior) {
  hmap[idx(10, 20)] = 5;
  water[20][10].depth = 2;
  // Zero half size on a node: its value.
  EXPECT_EQ(calcSquareDepth(vec4f(10, 1, 20, 0), 0, false).x, 4.0f);
  vec4f r = calcSquareDepth(vec4f(10, 1, 20, 0), 0, true);
  EXPECT_EQ(r.x, 6.0f);
  EXPECT_EQ(r.w, 6.0f);
  // A node strictly inside the footprint counts although no corner touches it.
  EXPECT_EQ(calcSquareDepth(vec4f(10.3f, 0, 20.3f, 0), 1.2f, false).x, 5.0f);
  // A column crossing an edge: the peak at x = 10 lies on the square's z edge.
  float v = calcSquareDepth(vec4f(10.2f, 0, 20.5f, 0), 0.5f, false).y;
  EXPECT_NEAR(v, 5.0f, 1e-5f);
  // Away from the peak the surface is flat 0.
  EXPECT_EQ(calcSquareDepth(vec4f(100, 0, 100, 0), 3, true).z, 0.0f);
}

TEST_F(HeightmapTest, SquareDepthWrapsAroundTheEdge) {
  hmap[idx(0, 0)] = 8;
  // Footprint over the corner of the world sees (0, 0) through (255, 255).
  EXPECT_NEAR(calcSquareDepth(vec4f(255.5f, 0, 255.5f, 0), 0.6f, false).x, 8.0f, 1e-5f);
  EXPECT_NEAR(calcSquareDepth(vec4f(-0.5f, 0, -0.5f, 0), 0.6f, false).x, 8.0f, 1e-5f);
}

TEST(Ramps, GetClampsAndInterpolates) {
  FloatRamp f;
  ColorRamp c;
  for (int i = 0; i < RAMP_ENTRIES; i++) {
    f.v[i] = float(i) * 2.0f;
    c.v[i] = vec4f(float(i), 0, 1, 2);
  }
  EXPECT_EQ(f.get(-1.0f), 0.0f);
  EXPECT_EQ(f.get(2.0f), 512.0f);
  EXPECT_EQ(f.get(0.5f), 256.0f);
  EXPECT_FLOAT_EQ(f.get(1.5f / 256.0f), 3.0f);
  EXPECT_EQ(f.get(NAN), 0.0f);
  EXPECT_EQ(c.get(1.0f).x, 256.0f);
  EXPECT_FLOAT_EQ(c.get(0.25f / 256.0f).x, 0.25f);
}
