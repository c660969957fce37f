#pragma once
// Soft object shadows from shadow balls: spheres binned into a 16 x 9 grid
// of screen tiles, each tile drawn as a quad that darkens a white target by
// the spheres listed for it.
#include "containers/dyn_array.h"
#include "platform/math_types.h"

constexpr int SHADOW_TILES_X = 16, SHADOW_TILES_Y = 9;
constexpr int SHADOW_BLOCK = 8;

struct ShadowTile {
  int first_block = -1, last_block = -1;
  int extra_blocks = 0;
  int last_count = 0;  // spheres in the last block, 0..8
};

struct ShadowBlock {
  vec4f spheres[SHADOW_BLOCK];
};

struct ShadowBins {
  DynArray<vec4f> balls;
  ShadowTile tiles[SHADOW_TILES_Y][SHADOW_TILES_X];
  DynArray<ShadowBlock> blocks;
  DynArray<int> next_block;  // -1 ends a tile's chain

  void clear();
  // Bins one sphere (centre and radius in xyz, w) seen through glob_tm with
  // the per-axis extent rk; the sun direction points toward the sun.
  void bin(const vec4f& sphere, const vec4f& sun_dir, const Matrix44& glob_tm, const vec4f& rk);
  int sphereCount(int col, int row) const;  // all blocks of a tile
};
extern ShadowBins shadow_bins;

// The sun direction the shadows are cast along (set by the scene each frame).
void set_shadow_sun_dir(const vec4f& dir);

void init_shadows();   // GPU resources; only at high quality
void close_shadows();
void start_render_shadows();
void render_shadow_ball(const vec4f& pos, float radius);
void end_render_shadows();
void render_shadows_debug();

// Instances each NUMVEC pass of the last end_render_shadows drew (8, 4, 2, 1).
struct ShadowPassCounts {
  int n8, n4, n2, n1;
};
ShadowPassCounts count_shadow_instances(const ShadowBins& bins);
