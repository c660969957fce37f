#pragma once
// Picture files of the current world: shaded relief, ground and cover
// colour, water depth, a 16-bit heightmap for other terrain tools, and a
// combined view.
#include <cstdint>

// 64-bit FNV-1a over hmap, surface and water.
uint64_t world_hash();
// Writes height.png, color.png, water.png, height16.png and preview.png into
// dir; false (with a log line) when a file cannot be written.
bool write_world_previews(const char* dir);
// Writes height16.json into dir: the world units that height16.png's 0 and
// 65535 stand for (the lowest and highest height), the sea level the script
// reported (null when none), the seed and the world hash.
bool write_height_scale(const char* dir, const float* sea_level, uint64_t seed);
