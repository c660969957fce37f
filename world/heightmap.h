#pragma once
// The world grid: a wrap-around square of 256 x 256 cells holding terrain
// heights, the heights the terrain moves toward, water, surface colours and
// types, and the per-frame heights the land renderer draws. Cell (x, z) has
// the flat index z * 256 + x; every neighbour index wraps modulo 256.
#include <cstdint>

#include "world/vecmath.h"

constexpr int HMAP_SIZE = 256;
constexpr int HMAP_SIZE_SHIFT = 8;
constexpr int HMAP_CELLS = HMAP_SIZE * HMAP_SIZE;
constexpr int HMAP_MASK = HMAP_SIZE - 1;

// Ground types (4-bit field; GT_NONE stored in the field reads back as 15).
constexpr int GT_NONE = -1;
constexpr int GT_HOUSE = 0;
constexpr int GT_ROCK = 1;
constexpr int GT_SAND = 2;
constexpr int GT_SOIL = 3;

// Surface cover types (4-bit field).
constexpr int ST_NONE = 0;
constexpr int ST_OPEN = 0;
constexpr int ST_GRASS = 1;
constexpr int ST_ASH = 2;
constexpr int ST_SNOW = 3;
constexpr int ST_ROAD = 4;

namespace HeightmapData {

// Water on one cell. flowX crosses the +x edge toward (x+1, z), flowZ the +z
// edge toward (x, z+1); negative values flow the other way.
struct Water {
  float depth;
  float flowX;
  float flowZ;
  float foam;
};
static_assert(sizeof(Water) == 16);

struct Surface {
  D3dColor groundColor;
  D3dColor coverColor;  // 0 when the cell has no cover
  uint32_t groundType : 4;
  uint32_t surfaceType : 4;
  uint32_t houseOrient : 3;  // house tile orientation 0..7 (groundType GT_HOUSE only)
  uint32_t houseTile : 21;   // index into the house-tile table of the instance renderers

  // Stores a type masked to its 4 bits (so GT_NONE becomes 15).
  void setGroundType(int t) { groundType = uint32_t(t) & 15u; }
  void setSurfaceType(int t) { surfaceType = uint32_t(t) & 15u; }
};
static_assert(sizeof(Surface) == 12);

alignas(16) extern float hmap[HMAP_CELLS];
alignas(16) extern float target_hmap[HMAP_CELLS];
alignas(16) extern Water water[HMAP_SIZE][HMAP_SIZE];  // [z][x]
alignas(16) extern Water tmpw[HMAP_SIZE][HMAP_SIZE];   // state before the last simWater step
alignas(16) extern Surface surface[HMAP_CELLS];

inline int cellIndex(int x, int z) { return ((z & HMAP_MASK) << HMAP_SIZE_SHIFT) | (x & HMAP_MASK); }

// Flat grey rock, zero heights and no water. tmpw is left alone.
void reset();
void calcHtRange(float& min, float& max);
// Shifts hmap so its range is centred on 0; returns half the range.
float recenterHt();
// Moves hmap one step of dt seconds toward target_hmap.
void updateHmap(float dt);
// Writes the heights updateHmap(dt) would produce (without its skip rule)
// into out; hmap is unchanged.
void morphHmap(float dt, float* out);
// Highest bilinear surface (optionally including water) under the square of
// half size halfSize around pos, minus pos.y, in all four lanes.
vec4f calcSquareDepth(vec4f pos, float halfSize, bool withWater);

// Adds amount to the water depth of every cell.
void addWater(float amount);
// One step of the water simulation.
void simWater(float dt);
// Carries the foam along the flow, from the foam before the last simWater.
void advectFoam(float dt);
// Whether simWater and advectFoam may use their eight-lane (AVX2) sweeps on
// CPUs that have them; on by default. Both sweeps give bit-identical results.
void setWaterWideLanes(bool allowed);
// True when the next simWater step will use the eight-lane sweep.
bool waterUsesWideLanes();

}  // namespace HeightmapData

