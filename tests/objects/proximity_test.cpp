// Proximity bins: which bin a rectangle selects, moving objects between
// bins, and which bins a query lists.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "objects/game_objects.h"
#include "objects/proximity.h"

namespace {
struct Thing : GameObj {};

struct Proximity : ::testing::Test {
  std::vector<Thing*> things;
  Thing* make() {
    things.push_back(new Thing());
    return things.back();
  }
  void TearDown() override {
    for (Thing* t : things) {
      remove_proximity_object(t);
      delete t;
    }
    free_proximity_bins();
  }
};

vec4f rect(float x0, float z0, float x1, float z1) { return vec4f(x0, z0, x1, z1); }

int count_of(const DynArray<int>& bins, int b) { return int(std::count(bins.begin(), bins.end(), b)); }
}  // namespace

TEST_F(Proximity, RectanglesChooseFineCoarseOrOverflowBins) {
  // Inside one fine cell (8..16, 0..8).
  EXPECT_EQ(proximity_bin_for(rect(9, 1, 15, 7)), 1);
  // Crosses the fine border at x = 8 but lies in the coarse cell 4..20.
  EXPECT_EQ(proximity_bin_for(rect(7.8f, 5, 8.3f, 6)), PROX_COARSE_FIRST);
  // Crosses a fine border and the coarse border at x = 12.
  EXPECT_EQ(proximity_bin_for(rect(11, 5, 17, 6)), PROX_OVERFLOW_BIN);
  // Negative cells wrap like positive ones: x in (-8, 0) is fine column 31.
  EXPECT_EQ(proximity_bin_for(rect(-7, 1, -1, 2)), 31);
  EXPECT_EQ(proximity_bin_for(rect(249, 1, 255, 2)), 31);
  // The grids repeat every 256 units.
  EXPECT_EQ(proximity_bin_for(rect(10, 3, 11, 4)), proximity_bin_for(rect(266, 3, 267, 4)));
  // Exactly on a border counts as the cell above it.
  EXPECT_EQ(proximity_bin_for(rect(8, 0, 8, 0)), 1);
  EXPECT_EQ(proximity_bin_for(rect(7.99f, 0, 7.99f, 0)), 0);
}

TEST_F(Proximity, ObjectsMoveBetweenBinsAndLeaveOnce) {
  Thing* a = make();
  Thing* b = make();
  Thing* c = make();
  update_proximity(a, rect(1, 1, 2, 2));
  update_proximity(b, rect(3, 1, 4, 2));
  update_proximity(c, rect(5, 1, 6, 2));
  ASSERT_EQ(proximity[0].count, 3);
  // Moving within the same bin changes nothing, not even the order.
  update_proximity(a, rect(1.5f, 1, 2.5f, 2));
  EXPECT_EQ(proximity[0][0], a);
  EXPECT_EQ(a->proximityBin, 0);
  // Leaving a bin moves its last object into the gap.
  update_proximity(a, rect(100, 100, 101, 101));
  EXPECT_EQ(proximity[0].count, 2);
  EXPECT_EQ(proximity[0][0], c);
  EXPECT_EQ(proximity[a->proximityBin].count, 1);
  remove_proximity_object(b);
  EXPECT_EQ(b->proximityBin, -1);
  EXPECT_EQ(proximity[0].count, 1);
  remove_proximity_object(b);  // a second call does nothing
  remove_proximity_object(nullptr);
  EXPECT_EQ(proximity[0].count, 1);
  EXPECT_EQ(proximity[0][0], c);
}

TEST_F(Proximity, AnIndexOutsideTheBinsIsNeverUsedToIndexThem) {
  Thing* a = make();
  a->proximityBin = 5000;  // never a bin
  update_proximity(a, rect(1, 1, 2, 2));
  EXPECT_EQ(a->proximityBin, 0);
  EXPECT_EQ(proximity[0].count, 1);
  a->proximityBin = -7;
  remove_proximity_object(a);
  EXPECT_EQ(a->proximityBin, -7);
  EXPECT_EQ(proximity[0].count, 1);
}

TEST_F(Proximity, QueriesListOnlyNonEmptyBinsAndFindOverlappingObjects) {
  Thing* near_obj = make();
  Thing* coarse_obj = make();
  Thing* big = make();
  update_proximity(near_obj, rect(17, 17, 18, 18));    // fine bin (2, 2)
  update_proximity(coarse_obj, rect(23, 17, 25, 18));  // crosses x = 24: coarse
  update_proximity(big, rect(0, 0, 100, 100));         // overflow
  ProximityQuery q;
  q.proximityQuery(rect(16, 16, 26, 20), false);
  EXPECT_EQ(q.bins.count, 3);
  EXPECT_EQ(count_of(q.bins, 2 * 32 + 2), 1);
  EXPECT_EQ(count_of(q.bins, PROX_OVERFLOW_BIN), 1);
  std::vector<GameObj*> seen;
  while (GameObj* o = q.next()) seen.push_back(o);
  EXPECT_EQ(seen.size(), 3u);
  EXPECT_NE(std::find(seen.begin(), seen.end(), coarse_obj), seen.end());

  q.proximityQuery(rect(16, 16, 26, 20), true);
  EXPECT_EQ(count_of(q.bins, PROX_OVERFLOW_BIN), 0);
  EXPECT_EQ(q.binCursor, 0);
  EXPECT_EQ(q.itemCursor, -1);
  // Nothing stands near here but the overflow object.
  q.proximityQuery(rect(200, 200, 201, 201), false);
  ASSERT_EQ(q.bins.count, 1);
  EXPECT_EQ(q.bins[0], PROX_OVERFLOW_BIN);
}

TEST_F(Proximity, AQueryWiderThanTheWorldListsABinOncePerCell) {
  Thing* a = make();
  update_proximity(a, rect(1, 1, 2, 2));
  ProximityQuery q;
  // 0..519 spans 65 fine columns: column 0 appears at x = 0, 256 and 512.
  q.proximityQuery(rect(0, 1, 519, 2), false);
  EXPECT_EQ(count_of(q.bins, 0), 3);
}
