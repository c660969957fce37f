#include "objects/house_tiles.h"

namespace HeightmapRenderer {

HouseTileInfo house_tile_info[] = {
    {"roof_corner_inst", nullptr},    {"tower_corner_inst", nullptr},  {"tower_wall1_inst", nullptr},
    {"tower_wall2_inst", nullptr},    {"castle_walk_inst", nullptr},   {"merlon_top_inst", nullptr},
    {"merlon_corner_inst", nullptr},  {"merlon_wall1_inst", nullptr},  {"merlon_wall2_inst", nullptr},
    {"castle_wall1_inst", nullptr},   {"castle_wall2_inst", nullptr},  {"castle_wall3_inst", nullptr},
    {"castle_wall4_inst", nullptr},   {"castle_slant1_inst", nullptr}, {"castle_slant2_inst", nullptr},
    {"castle_slant3_inst", nullptr},  {"castle_slant4_inst", nullptr}, {"castle_corner1_inst", nullptr},
    {"castle_corner2_inst", nullptr},
};
int num_house_tiles = int(sizeof(house_tile_info) / sizeof(house_tile_info[0]));

}  // namespace HeightmapRenderer
