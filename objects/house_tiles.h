#pragma once
// The building pieces a house cell can show. The world marks a cell as a
// house with an index into this table (Surface::houseTile); the instance
// renderer of each piece is bound by name when the renderers are set up.
class InstRender;

namespace HeightmapRenderer {

struct HouseTileInfo {
  const char* name;
  InstRender* inst;  // null until bound
};
extern HouseTileInfo house_tile_info[];
extern int num_house_tiles;

}  // namespace HeightmapRenderer
