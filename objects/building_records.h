#pragma once
// One building record per house cell: the piece from the cell's tile index,
// its orientation from the tile bits, the cell and its corner heights as
// the land draws them this frame (so the piece meets the land's edge). Kept
// inline so that the module's render_building and the game share it.
#include <cstring>

#include "objects/house_tiles.h"
#include "objects/inst_render.h"
#include "render/hmRender.h"
#include "world/heightmap.h"

inline bool write_building_record(const HeightmapData::Surface& s, int x, int z) {
  if (int(s.houseTile) >= HeightmapRenderer::num_house_tiles) return false;
  InstRender* inst = HeightmapRenderer::house_tile_info[s.houseTile].inst;
  if (!inst || !inst->mesh) return false;
  BuildingInstRecord r;
  r.x = int16_t(x);
  r.z = int16_t(z);
  const float* h = HeightmapRenderer::curh;
  r.h[0] = h[HeightmapData::cellIndex(x, z)];
  r.h[1] = h[HeightmapData::cellIndex(x + 1, z)];
  r.h[2] = h[HeightmapData::cellIndex(x, z + 1)];
  r.h[3] = h[HeightmapData::cellIndex(x + 1, z + 1)];
  // A tone per cell so that neighbouring blocks are not all alike.
  uint32_t tone = (uint32_t(x & 255) * 73u ^ uint32_t(z & 255) * 151u) * 2654435761u >> 24;
  r.params = 0xFF000000u | tone << 8 | (s.houseOrient & 7u);
  std::memcpy(inst->append(int(sizeof(r))), &r, sizeof(r));
  return true;
}
