#include "objects/house_tiles.h"

#include <gtest/gtest.h>

// World scripts and the world's surface records name pieces by their index
// in this table, so its order is fixed.
TEST(HouseTiles, TableOrderIsFixed) {
  using namespace HeightmapRenderer;
  EXPECT_EQ(num_house_tiles, 19);
  EXPECT_STREQ(house_tile_info[0].name, "roof_corner_inst");
  EXPECT_STREQ(house_tile_info[9].name, "castle_wall1_inst");
  EXPECT_STREQ(house_tile_info[18].name, "castle_corner2_inst");
  for (int i = 0; i < num_house_tiles; i++) EXPECT_EQ(house_tile_info[i].inst, nullptr) << "bound only by the renderers";
}
