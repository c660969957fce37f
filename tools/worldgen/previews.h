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
