// The CPU half of the land and water frame: window geometry, building
// cells, the shore rule, water index culling and the flowing texture
// coordinates.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <vector>

#include "platform/globals.h"
#include "render/hmRender.h"
#include "tests/render/test_world.h"

using namespace HeightmapData;
using namespace HeightmapRenderer;

// The device layer's frame callback; nothing here draws.

namespace {
void clear_water() {
  std::memset(water, 0, sizeof(water));
  std::memset(tmpw, 0, sizeof(tmpw));
}

struct LandBuild : ::testing::Test {
  void SetUp() override {
    test_world::flat(0, D3dColor(0xFF808080));
    std::memcpy(curh, hmap, sizeof(hmap));
    computeShownDepth(0);
    render_building = nullptr;
  }
};

TEST_F(LandBuild, WindowGeometryCoversTheDiscAndWrapsAroundTheSeam) {
  for (int i = 0; i < HMAP_CELLS; i++) curh[i] = float(i & 255) + float(i >> 8) * 1000.f;
  std::vector<LandVertex> verts(WINDOW * WINDOW);
  int ox = windowOrigin(3), oz = windowOrigin(250);  // the window straddles both seams
  buildLandVerts(ox, oz, verts.data());
  for (int k : {0, 100, 255})
    for (int l : {0, 124, 125, 255}) {
      const LandVertex& v = verts[k * WINDOW + l];
      EXPECT_EQ(v.x, ox + l);
      EXPECT_EQ(v.z, oz + k);
      int cell = cellIndex(ox + l, oz + k);
      EXPECT_EQ(v.h, curh[cell]) << k << "," << l;
    }
  // Consecutive vertices across the seam are neighbours in world space.
  EXPECT_EQ(verts[125].x + 1, verts[126].x);

  std::vector<uint16_t> idx(LAND_IB_INDICES);
  int n = buildLandIndices(ox, oz, idx.data());
  ASSERT_GT(n, 0);
  ASSERT_LE(n, LAND_IB_INDICES);
  ASSERT_EQ(n % 6, 0);
  std::vector<PatchInstance> patches(MAX_PATCHES);
  EXPECT_EQ(buildCentrePatches(ox, oz, patches.data()), MAX_PATCHES);
  std::set<int> quads;
  for (int i = 0; i < n; i += 6) {
    int v = idx[i];
    int k = v / WINDOW, l = v % WINDOW;
    // Every quad stays inside its row and column of the window.
    ASSERT_LT(k, WINDOW_QUADS);
    ASSERT_LT(l, WINDOW_QUADS);
    EXPECT_EQ(idx[i + 1], v + WINDOW);
    EXPECT_EQ(idx[i + 5], v + WINDOW + 1);
    EXPECT_TRUE(inLandDisc(k, l));
    EXPECT_FALSE(inCentreBlock(k, l));
    quads.insert(v);
  }
  EXPECT_EQ(int(quads.size()) * 6, n);
  // All quads of the disc outside the centre block are present.
  int expected = 0;
  for (int k = 0; k < WINDOW_QUADS; k++)
    for (int l = 0; l < WINDOW_QUADS; l++) expected += inLandDisc(k, l) && !inCentreBlock(k, l);
  EXPECT_EQ(int(quads.size()), expected);
  // The patch corner heights are those of the wrapped cells.
  const PatchInstance& p = patches[0];
  EXPECT_EQ(p.x, ox + CENTRE_FIRST);
  EXPECT_EQ(p.h[3], curh[cellIndex(p.x + 1, p.z + 1)]);
}

TEST_F(LandBuild, BuildingCellsAreLeftOutAndHandedOverOncePerFrame) {
  static std::vector<std::pair<int, int>> calls;
  calls.clear();
  render_building = [](const Surface&, int x, int z) { calls.push_back({x, z}); };
  int ox = windowOrigin(128), oz = windowOrigin(128);
  surface[cellIndex(128, 128)].setGroundType(GT_HOUSE);  // centre block
  surface[cellIndex(40, 128)].setGroundType(GT_HOUSE);   // ring
  surface[cellIndex(1, 1)].setGroundType(GT_HOUSE);      // outside the disc
  std::vector<PatchInstance> patches(MAX_PATCHES);
  std::vector<uint16_t> idx(LAND_IB_INDICES);
  int np = buildCentrePatches(ox, oz, patches.data());
  int n = buildLandIndices(ox, oz, idx.data());
  EXPECT_EQ(np, MAX_PATCHES - 1);
  for (int i = 0; i < np; i++) EXPECT_FALSE(patches[i].x == 128 && patches[i].z == 128);
  for (int i = 0; i < n; i += 6) {
    int v = idx[i];
    EXPECT_FALSE(ox + v % WINDOW == 40 && oz + v / WINDOW == 128);
  }
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0], std::make_pair(128, 128));
  EXPECT_EQ(calls[1], std::make_pair(40, 128));
}

TEST_F(LandBuild, HorizonLeavesAHoleUnderTheDiscAndBendsAway) {
  std::vector<uint16_t> idx(HORIZON_IB_INDICES);
  int n = buildHorizonIndices(idx.data());
  ASSERT_LE(n, HORIZON_IB_INDICES);
  int all = (HORIZON_SIZE - 1) * (HORIZON_SIZE - 1);
  int hole = 0;
  for (int i = 0; i < HORIZON_SIZE - 1; i++)
    for (int j = 0; j < HORIZON_SIZE - 1; j++) hole += (2 * i - 191) * (2 * i - 191) + (2 * j - 191) * (2 * j - 191) <= 3843;
  EXPECT_EQ(n, (all - hole) * 6);
  EXPECT_GT(hole, 3000);  // about 31 quads across

  std::vector<LandVertex> verts(HORIZON_SIZE * HORIZON_SIZE);
  std::vector<float> depth(HORIZON_SIZE * HORIZON_SIZE);
  water[7][9].depth = 2;
  tmpw[7][9].depth = 2;
  computeShownDepth(1);
  buildHorizonVerts(130, 9, verts.data(), depth.data());
  // Start on a multiple of 4 at or below cx - 383.
  EXPECT_EQ(verts[0].x % 4, 0);
  EXPECT_LE(verts[0].x, 130 - 383);
  EXPECT_GT(verts[0].x, 130 - 383 - 4);
  for (size_t i = 0; i < verts.size(); i++) {
    float dx = float(verts[i].x - 130), dz = float(verts[i].z - 9);
    float d = (std::sqrt(dx * dx + dz * dz) - 128) / 256;
    float want = (d > 0 ? -128 * d * d : 0) + shown_depth[cellIndex(verts[i].x, verts[i].z)];
    ASSERT_NEAR(verts[i].h, want, 1e-3f);
    ASSERT_EQ(depth[i], shown_depth[cellIndex(verts[i].x, verts[i].z)]);
  }
  clear_water();
}

TEST_F(LandBuild, ShoreRuleSinksDryEdgesBelowTheLand) {
  // Land rises from 0 at x <= 100 by one per cell; a lake of level 2 to x = 101.
  for (int z = 0; z < HMAP_SIZE; z++)
    for (int x = 0; x < HMAP_SIZE; x++) curh[cellIndex(x, z)] = float(std::max(0, x - 100));
  for (int z = 0; z < HMAP_SIZE; z++)
    for (int x = 80; x <= 101; x++) water[z][x].depth = tmpw[z][x].depth = 2.f - curh[cellIndex(x, z)];
  computeShownDepth(1);
  // Wet: 0.1 below the water level.
  EXPECT_FLOAT_EQ(waterSurfaceHeight(90, 50), 1.9f);
  EXPECT_FLOAT_EQ(waterSurfaceHeight(101, 50), 1.9f);
  // Dry next to the lake, with the water level (2) below its land (2):
  // the mean of the wet neighbours' levels minus 0.1.
  EXPECT_FLOAT_EQ(waterSurfaceHeight(102, 50), 1.9f);
  // Dry with higher wet neighbours: its own land minus 0.1.
  curh[cellIndex(102, 50)] = 1.5f;
  EXPECT_FLOAT_EQ(waterSurfaceHeight(102, 50), 1.4f);
  // Dry with no wet neighbour.
  EXPECT_FLOAT_EQ(waterSurfaceHeight(150, 50), 49.9f);
  // A film at exactly 0.1 is dry.
  clear_water();
  water[50][50].depth = tmpw[50][50].depth = 0.1f;
  computeShownDepth(1);
  EXPECT_FLOAT_EQ(waterSurfaceHeight(50, 50), curh[cellIndex(50, 50)] - 0.1f);
  clear_water();
}

TEST_F(LandBuild, WaterVerticesInterpolateBetweenSteps) {
  water[128][128].depth = 4;
  water[128][128].foam = 1;
  tmpw[128][128].depth = 2;
  tmpw[128][128].foam = 0;
  std::vector<WaterVertexLow> lo(WINDOW * WINDOW);
  int ox = windowOrigin(128), oz = windowOrigin(128);
  for (float t : {0.f, 0.5f, 1.f}) {
    computeShownDepth(t);
    buildWaterVertsLow(ox, oz, t, lo.data());
    const WaterVertexLow& v = lo[128 * WINDOW + 128];
    EXPECT_FLOAT_EQ(v.h, 2 + 2 * t - 0.1f);
    EXPECT_FLOAT_EQ(v.foam, t);
  }
  clear_water();
}

TEST_F(LandBuild, WaterQuadsNeedAWetCornerBeforeOrAfterTheStep) {
  std::vector<uint16_t> idx(WATER_IB_INDICES);
  int ox = windowOrigin(128), oz = windowOrigin(128);
  computeShownDepth(0);
  EXPECT_EQ(buildWaterIndices(ox, oz, idx.data()), 0);
  // Wet only after the step: the four quads around the vertex.
  water[128][128].depth = 0.5f;
  computeShownDepth(0);
  EXPECT_EQ(buildWaterIndices(ox, oz, idx.data()), 4 * 6);
  // Wet only before the step counts as well.
  clear_water();
  tmpw[128][128].depth = 0.5f;
  computeShownDepth(1);
  EXPECT_EQ(buildWaterIndices(ox, oz, idx.data()), 4 * 6);
  // Exactly 0.1 is dry; a wet cell outside the disc is not drawn.
  clear_water();
  water[128][128].depth = 0.1f;
  water[0][0].depth = 5;  // the window corner, outside the disc
  computeShownDepth(1);
  EXPECT_EQ(buildWaterIndices(ox, oz, idx.data()), 0);
  // Everything wet: every quad of the disc.
  for (auto& row : water)
    for (auto& w : row) w.depth = 1;
  computeShownDepth(1);
  int n = buildWaterIndices(ox, oz, idx.data());
  int disc = 0;
  for (int k = 0; k < WINDOW_QUADS; k++)
    for (int l = 0; l < WINDOW_QUADS; l++) disc += inLandDisc(k, l);
  EXPECT_EQ(n, disc * 6);
  clear_water();
}

TEST_F(LandBuild, FlowPhasesResetInTurnAndTheirWeightHidesTheFreshOne) {
  resetFlow();
  game_rnd_seed = 99;
  clear_water();
  for (int i = 1; i < 20; i++) flowStep(0.05f, 10, 20, true);
  EXPECT_EQ(flowPhaseCounter(), 19);
  EXPECT_FLOAT_EQ(flowField(true)[cellIndex(5, 5)].x, 0);  // nothing reset yet
  uint64_t seed_before = game_rnd_seed;
  flowStep(0.05f, 10, 20, true);
  EXPECT_EQ(flowPhaseCounter(), 20);
  EXPECT_EQ(game_rnd_seed, seed_before) << "the animation draws from its own sequence, not the game's";
  // The first phase is the position around the camera cell, rotated and offset.
  const vec4f* f = flowField(true);
  vec4f a = f[cellIndex(10, 20)], b = f[cellIndex(11, 20)], c = f[cellIndex(10, 21)];
  float ax = b.x - a.x, ay = b.y - a.y;
  EXPECT_NEAR(ax * ax + ay * ay, 1, 1e-3f);               // unit step along x
  EXPECT_NEAR((c.x - a.x) * ax + (c.y - a.y) * ay, 0, 1e-3f);  // perpendicular z
  vec4f wrap = f[cellIndex(10 + 127, 20)], wrap2 = f[cellIndex(10 + 128, 20)];
  EXPECT_NEAR(std::hypot(wrap.x - a.x, wrap.y - a.y), 127, 1e-2f);
  EXPECT_NEAR(std::hypot(wrap2.x - a.x, wrap2.y - a.y), 128, 1e-2f);  // -128 around the camera
  EXPECT_EQ(a.z, 0);  // the second phase is untouched
  EXPECT_EQ(a.w, 0);
  // Right after the first phase's reset the second carries all the weight.
  EXPECT_FLOAT_EQ(flowPhaseWeight(0), 1);
  EXPECT_FLOAT_EQ(flowPhaseWeight(0.5f), 0.975f);
  for (int i = 0; i < 20; i++) flowStep(0.05f, 10, 20, true);
  EXPECT_EQ(flowPhaseCounter(), 0);
  f = flowField(true);
  EXPECT_NE(f[cellIndex(10, 20)].z, 0);  // the second phase was reset on the wrap
  EXPECT_FLOAT_EQ(flowPhaseWeight(0), 0);
  EXPECT_FLOAT_EQ(flowPhaseWeight(1), 0.05f);
}

TEST_F(LandBuild, EitherQualityLeavesTheGamesSequenceAndTheWorldAlone) {
  for (bool high : {false, true}) {
    resetFlow();
    clear_water();
    for (auto& row : water)
      for (auto& w : row) w.flowX = 2, w.foam = 0.25f;
    game_rnd_seed = 1234;
    for (int i = 0; i < 45; i++) flowStep(0.05f, 3, 4, high);  // past both phase resets
    EXPECT_EQ(game_rnd_seed, 1234u) << (high ? "high" : "low");
    EXPECT_EQ(water[7][9].foam, 0.25f) << "the foam drifts in the world's step, not the renderer's";
  }
  clear_water();
}

TEST_F(LandBuild, FlowAdvectsCoordinatesAndFoamUpstream) {
  resetFlow();
  clear_water();
  // Phase 1 set up by 20 steps in still water.
  for (int i = 0; i < 20; i++) flowStep(0.05f, 0, 0, true);
  const vec4f before = flowField(true)[cellIndex(60, 60)];
  const vec4f upstream = flowField(true)[cellIndex(59, 60)];
  // A uniform flow of 4 cells per second in +x for one step of 0.05 s moves
  // the pattern by 0.2 cells: each cell samples 0.2 cells upstream.
  for (auto& row : water)
    for (auto& w : row) w.flowX = 4;
  tmpw[60][59].foam = 1;
  water[60][60].foam = 0.5f;
  flowStep(0.05f, 0, 0, true);
  advectFoam(0.05f);
  vec4f after = flowField(true)[cellIndex(60, 60)];
  EXPECT_NEAR(after.x, before.x + (upstream.x - before.x) * 0.2f, 1e-3f);
  EXPECT_NEAR(after.y, before.y + (upstream.y - before.y) * 0.2f, 1e-3f);
  // Foam: the mean of the sampled previous foam (0.2) and the cell's own (0.5).
  EXPECT_NEAR(water[60][60].foam, (0.2f + 0.5f) * 0.5f, 1e-5f);
  // Broken flow values never spread into the field.
  water[30][30].flowX = NAN;
  flowStep(0.05f, 0, 0, true);
  EXPECT_TRUE(std::isfinite(flowField(true)[cellIndex(30, 30)].x));
  clear_water();
}
}  // namespace
