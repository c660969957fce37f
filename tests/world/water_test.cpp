#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "tests/world/test_support.h"
#include "world/heightmap.h"
#include "world/noise.h"

using namespace HeightmapData;

namespace {
int idx(int x, int z) { return (z & 255) * 256 + (x & 255); }

// The simulation step written out plainly, one cell at a time, as the model
// defines it. The library's packed version must agree with it bit for bit.
struct RefWorld {
  std::vector<Water> w, prev;
  std::vector<float> g;
  RefWorld() : w(HMAP_CELLS), prev(HMAP_CELLS), g(hmap, hmap + HMAP_CELLS) {
    std::memcpy(w.data(), water, sizeof(water));
  }
  Water& at(int x, int z) { return w[idx(x, z)]; }

  void step(float dt) {
    float accel = 10 * dt, move = 4 * dt;
    float damp = float(std::max(0.0, 1.0 - 0.1 * double(dt)));
    float foamKeep = std::max(0.0f, 1 - 5 * dt);
    float side = std::min(dt, 1.0f) / 3, centre = 1 - 2 * std::min(dt, 1.0f) / 3;
    prev = w;
    for (int z = 0; z < 256; z++)
      for (int x = 0; x < 256; x++) {
        Water& c = at(x, z);
        c.flowX = (prev[idx(x - 1, z)].flowX + prev[idx(x + 1, z)].flowX) * side + prev[idx(x, z)].flowX * centre;
        c.flowZ = (prev[idx(x, z - 1)].flowZ + prev[idx(x, z + 1)].flowZ) * side + prev[idx(x, z)].flowZ * centre;
      }
    for (int z = 0; z < 256; z++)
      for (int x = 0; x < 256; x++) {
        Water& c = at(x, z);
        float d = c.depth, gr = g[idx(x, z)], L = gr + d;
        float gR = g[idx(x + 1, z)], dR = at(x + 1, z).depth;
        float out = std::max(0.0f, std::min(d, L - gR));
        float in = std::max(0.0f, std::min(dR, dR + gR - gr));
        if ((c.flowX >= 0 && out == 0) || (c.flowX < 0 && in == 0)) {
          c.flowX = 0;
          c.foam += 0.1f;
        }
        float ax = (L - (gR + dR)) * accel;
        c.flowX = c.flowX * damp + ax;
        float gD = g[idx(x, z + 1)], dD = at(x, z + 1).depth;
        out = std::max(0.0f, std::min(d, L - gD));
        in = std::max(0.0f, std::min(dD, dD + gD - gr));
        if ((c.flowZ >= 0 && out == 0) || (c.flowZ < 0 && in == 0)) {
          c.flowZ = 0;
          c.foam += 0.1f;
        }
        float az = (L - (gD + dD)) * accel;
        c.flowZ = c.flowZ * damp + az;
        c.foam = std::min(1.0f, (ax * ax + az * az) * 3.2f + foamKeep * c.foam);
      }
    std::vector<float> D(HMAP_CELLS);
    for (int i = 0; i < HMAP_CELLS; i++) D[i] = w[i].depth;
    for (int z = 0; z < 256; z++)
      for (int x = 0; x < 256; x++) {
        float d0 = D[idx(x, z)];
        if (d0 <= 0) continue;
        float L = g[idx(x, z)] + d0;
        int nb[4] = {idx(x - 1, z), idx(x, z - 1), idx(x + 1, z), idx(x, z + 1)};
        float o[4] = {-at(x - 1, z).flowX, -at(x, z - 1).flowZ, at(x, z).flowX, at(x, z).flowZ};
        float total = 0;
        for (int k = 0; k < 4; k++) {
          if (!(o[k] > 0 && g[nb[k]] <= L)) o[k] = 0;
          total += o[k];
        }
        float amount = total * move;
        if (amount <= 0.001f) continue;
        amount = std::min(amount, d0);
        at(x, z).depth -= amount;
        float per = amount / total;
        for (int k = 0; k < 4; k++)
          if (o[k] > 0) w[nb[k]].depth += per * o[k];
      }
  }
};

double total_water() {
  double s = 0;
  for (auto& row : water)
    for (const Water& c : row) s += c.depth;
  return s;
}

void expect_matches(const RefWorld& ref) {
  const Water* got = &water[0][0];
  int bad = 0;
  for (int i = 0; i < HMAP_CELLS && bad < 5; i++) {
    const Water& a = ref.w[i];
    const Water& b = got[i];
    if (!(same_float(a.depth, b.depth) && same_float(a.flowX, b.flowX) && same_float(a.flowZ, b.flowZ) &&
          same_float(a.foam, b.foam))) {
      ADD_FAILURE() << "cell " << i % 256 << "," << i / 256 << ": depth " << a.depth << " vs " << b.depth
                    << ", flowX " << a.flowX << " vs " << b.flowX << ", flowZ " << a.flowZ << " vs " << b.flowZ
                    << ", foam " << a.foam << " vs " << b.foam;
      bad++;
    }
  }
}

class WaterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset();
    std::memset(tmpw, 0, sizeof(tmpw));
  }
};


TEST_F(WaterTest, UniformWaterOnFlatGroundStaysAtRest) {
  addWater(2);
  for (auto& row : water)
    for (Water& c : row) c.foam = 0.5f;
  simWater(0.05f);
  for (auto& row : water)
    for (const Water& c : row) {
      ASSERT_EQ(c.depth, 2.0f);
      ASSERT_EQ(c.flowX, 0.0f);
      ASSERT_EQ(c.flowZ, 0.0f);
      ASSERT_FLOAT_EQ(c.foam, 0.5f * 0.75f);
    }
  EXPECT_EQ(tmpw[7][9].depth, 2.0f);
  EXPECT_EQ(tmpw[7][9].foam, 0.5f);
}

TEST_F(WaterTest, AddWaterKeyAmounts) {
  addWater(0);
  for (auto& row : water)
    for (const Water& c : row) ASSERT_EQ(c.depth, 0.0f);
  water[3][4].depth = 0.25f;
  addWater(1.0f);
  EXPECT_EQ(water[3][4].depth, 1.25f);
  EXPECT_EQ(water[200][100].depth, 1.0f);
}

TEST_F(WaterTest, ColumnSpreadsSymmetricallyAndConserves) {
  water[100][50].depth = 10;
  double before = total_water();
  for (int step = 0; step < 30; step++) {
    simWater(0.05f);
    ASSERT_NEAR(total_water(), before, 1e-4) << step;
  }
  EXPECT_LT(water[100][50].depth, 10.0f);
  for (int r = 1; r <= 3; r++) {
    float e = water[100][50 + r].depth;
    EXPECT_GT(e, 0.0f);
    // Symmetric up to the rounding of the in-place scan order.
    float tol = e * 1e-5f;
    EXPECT_NEAR(water[100][50 - r].depth, e, tol) << r;
    EXPECT_NEAR(water[100 + r][50].depth, e, tol) << r;
    EXPECT_NEAR(water[100 - r][50].depth, e, tol) << r;
  }
  for (auto& row : water)
    for (const Water& c : row) ASSERT_GE(c.depth, 0.0f);
}

TEST_F(WaterTest, WaterWrapsAcrossTheWorldEdge) {
  water[0][0].depth = 5;
  for (int i = 0; i < 10; i++) simWater(0.05f);
  EXPECT_GT(water[0][255].depth, 0.0f);
  EXPECT_GT(water[255][0].depth, 0.0f);
  EXPECT_NEAR(water[0][255].depth, water[0][1].depth, water[0][1].depth * 1e-5f);
}

TEST_F(WaterTest, NeverClimbsAboveTheSendersLevel) {
  // A basin with a wall: water level 1 left of a wall of height 3.
  for (int z = 0; z < 256; z++)
    for (int x = 0; x < 256; x++) {
      hmap[idx(x, z)] = (x >= 120 && x <= 122) ? 3.0f : 0.0f;
      if (x >= 100 && x < 120) water[z][x].depth = 1;
      // A pushing flow toward the wall.
      if (x == 119) water[z][x].flowX = 50;
    }
  for (int i = 0; i < 100; i++) {
    simWater(0.05f);
    for (int z = 0; z < 256; z += 17)
      for (int x = 120; x <= 130; x++) ASSERT_EQ(water[z][x].depth, 0.0f) << x << " step " << i;
  }
}

TEST_F(WaterTest, FlowWithNothingToCarryIsCutAndFoams) {
  // Dry cell pushing into a dry neighbour: cut, foam 0.1 per edge.
  water[10][10].flowX = 3;
  water[10][10].flowZ = -2;
  tmpw[10][10] = water[10][10];
  simWater(0.05f);
  // After smoothing the flows are nonzero but nothing stands above the
  // neighbour's ground: both are cut and the foam gained 2 x 0.1.
  EXPECT_EQ(water[10][10].flowX, 0.0f);
  EXPECT_EQ(water[10][10].flowZ, 0.0f);
  EXPECT_FLOAT_EQ(water[10][10].foam, 0.75f * 0.2f);
  // The neighbour's smoothed share of the flow is cut as well.
  EXPECT_EQ(water[10][11].flowX, 0.0f);
  EXPECT_FLOAT_EQ(water[10][11].foam, 0.75f * 0.2f);
  // A wet cell on flat ground keeps its (zero) flows without foaming.
  reset();
  addWater(1);
  water[20][20].flowX = 1;
  simWater(0.05f);
  EXPECT_GT(water[20][20].flowX, 0.0f);
  EXPECT_FLOAT_EQ(water[20][20].foam, 0.0f);
}

TEST_F(WaterTest, LargeStepsArePureLevelDifferences) {
  for (int z = 0; z < 256; z++)
    for (int x = 0; x < 256; x++) hmap[idx(x, z)] = float(x % 5) * 0.1f;
  addWater(1);
  for (auto& row : water)
    for (Water& c : row) c.flowX = 1000, c.flowZ = -1000;
  float dt = 12;
  RefWorld ref;
  ref.step(dt);
  simWater(dt);
  expect_matches(ref);
  // damp 0: the flow is the level difference times 10 dt.
  EXPECT_FLOAT_EQ(ref.at(4, 0).flowX, (0.4f + 1 - (0.0f + 1)) * 120);
  EXPECT_FLOAT_EQ(ref.at(4, 0).flowZ, 0.0f);
  for (auto& row : water)
    for (const Water& c : row) ASSERT_GE(c.depth, 0.0f);
}

TEST_F(WaterTest, ZeroStepMovesNoWater) {
  addWater(0.5f);
  water[3][3].flowX = 2;
  simWater(0);
  for (auto& row : water)
    for (const Water& c : row) ASSERT_EQ(c.depth, 0.5f);
  EXPECT_EQ(water[3][3].flowX, 2.0f);
}

TEST_F(WaterTest, MatchesThePlainModelOnRoughTerrain) {
  set_rnd_seed(17);
  for (int i = 0; i < HMAP_CELLS; i++) hmap[i] = frnd() * 3 + float((i >> 8) % 9) * 0.2f;
  for (auto& row : water)
    for (Water& c : row) {
      c.depth = frnd() < 0.3f ? 0.0f : frnd() * 2;
      c.flowX = srnd() * 4;
      c.flowZ = srnd() * 4;
      c.foam = frnd();
    }
  water[5][5].depth = -1;  // a cell another part left negative sends nothing
  RefWorld ref;
  double before = total_water();
  for (int step = 0; step < 6; step++) {
    ref.step(0.05f);
    simWater(0.05f);
    expect_matches(ref);
    if (HasFailure()) break;
  }
  EXPECT_NEAR(total_water(), before, 1e-2);
}

// The eight-lane sweep (where the CPU has one) and the four-lane sweep give the
// same bits, step after step, for both the new state and the saved one.
TEST_F(WaterTest, WideAndNarrowSweepsAgreeBitForBit) {
  set_rnd_seed(23);
  for (int i = 0; i < HMAP_CELLS; i++) hmap[i] = frnd() * 4 + float((i >> 4) % 7) * 0.3f;
  for (auto& row : water)
    for (Water& c : row) {
      c.depth = frnd() < 0.4f ? 0.0f : frnd() * 3;
      c.flowX = srnd() * 5;
      c.flowZ = srnd() * 5;
      c.foam = frnd();
    }
  std::vector<Water> start(&water[0][0], &water[0][0] + HMAP_CELLS);
  const float steps[] = {0.05f, 0.2f, 1.5f, 0.0f, 0.05f, 0.05f, 0.7f, 0.05f};

  std::vector<Water> narrow, narrowPrev;
  setWaterWideLanes(false);
  EXPECT_FALSE(waterUsesWideLanes());
  for (float dt : steps) simWater(dt);
  narrow.assign(&water[0][0], &water[0][0] + HMAP_CELLS);
  narrowPrev.assign(&tmpw[0][0], &tmpw[0][0] + HMAP_CELLS);

  std::memcpy(water, start.data(), sizeof(water));
  setWaterWideLanes(true);
  for (float dt : steps) simWater(dt);
  ASSERT_EQ(std::memcmp(narrow.data(), water, sizeof(water)), 0);
  ASSERT_EQ(std::memcmp(narrowPrev.data(), tmpw, sizeof(tmpw)), 0);
  if (!waterUsesWideLanes()) GTEST_LOG_(INFO) << "no eight-lane sweep on this CPU: compared the four-lane sweep with itself";
}

// The foam's drift, written out plainly: each cell mixes its foam with the
// previous foam bilinearly sampled one step upstream; still water keeps its
// own, and a point that is not finite samples the cell itself.
std::vector<float> plain_foam_drift(float dt) {
  auto prev = [](int x, int z) { return tmpw[z & HMAP_MASK][x & HMAP_MASK].foam; };
  std::vector<float> out(HMAP_CELLS);
  for (int z = 0; z < HMAP_SIZE; z++)
    for (int x = 0; x < HMAP_SIZE; x++) {
      const Water& w = water[z][x];
      float fx = (water[z][(x - 1) & HMAP_MASK].flowX + w.flowX) * 0.5f;
      float fz = (water[(z - 1) & HMAP_MASK][x].flowZ + w.flowZ) * 0.5f;
      float sample = prev(x, z);
      if (fx != 0 || fz != 0) {
        float sx = float(x) - fx * dt, sz = float(z) - fz * dt;
        if (!std::isfinite(sx) || !std::isfinite(sz)) sx = float(x), sz = float(z);
        float flx = std::floor(sx), flz = std::floor(sz);
        int ix = int(flx), iz = int(flz);
        float ax = sx - flx, az = sz - flz;
        sample = (prev(ix, iz) * (1 - ax) + prev(ix + 1, iz) * ax) * (1 - az) +
                 (prev(ix, iz + 1) * (1 - ax) + prev(ix + 1, iz + 1) * ax) * az;
      }
      out[idx(x, z)] = (sample + w.foam) * 0.5f;
    }
  return out;
}

// The drift's fast sweeps (eight lanes where the CPU has them, and the plain
// one) agree bit for bit with the plain model: on gentle flows, on flows that
// carry foam more than a cell, across the world's edges, in still water, and
// where the flow holds a value that is not finite.
TEST_F(WaterTest, FoamDriftMatchesThePlainModelBitForBit) {
  set_rnd_seed(31);
  for (int z = 0; z < HMAP_SIZE; z++)
    for (int x = 0; x < HMAP_SIZE; x++) {
      Water& c = water[z][x];
      float kind = frnd();
      float reach = kind < 0.8f ? 15 : kind < 0.95f ? 60 : 4000;  // cells a second
      c.flowX = (x / 16 + z / 16) % 5 == 0 ? 0.0f : srnd() * reach;
      c.flowZ = (x / 16 + z / 16) % 5 == 0 ? 0.0f : srnd() * reach;
      c.foam = frnd();
      tmpw[z][x].foam = frnd();
    }
  water[40][100].flowX = NAN;
  water[41][17].flowZ = INFINITY;
  water[255][0].flowX = 3e38f;
  water[0][255].flowZ = -3e38f;
  std::vector<Water> start(&water[0][0], &water[0][0] + HMAP_CELLS);

  for (bool wide : {false, true}) {
    std::memcpy(water, start.data(), sizeof(water));
    setWaterWideLanes(wide);
    for (float dt : {0.05f, 0.3f}) {
      std::vector<float> expected = plain_foam_drift(dt);
      advectFoam(dt);
      int wrong = 0;
      for (int i = 0; i < HMAP_CELLS; i++) {
        float got = (&water[0][0])[i].foam;
        if (std::memcmp(&got, &expected[i], sizeof(float)) != 0 && wrong++ < 3)
          ADD_FAILURE() << (wide ? "eight-lane" : "plain") << " sweep, dt " << dt << ", cell (" << (i & 255) << ", "
                        << (i >> 8) << "): " << got << " instead of " << expected[i];
      }
      EXPECT_EQ(wrong, 0);
    }
  }
  setWaterWideLanes(true);
}
}  // namespace
