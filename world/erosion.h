#pragma once
// Droplet erosion: rain droplets run downhill over the bilinear height field,
// pick up soil where they are fast and under-loaded and drop it where they
// slow down or climb, carrying the colour of the eroded ground with them.
#include <cstdint>

#include "containers/dyn_array.h"
#include "world/vecmath.h"

// A colour reaction of mass-action form: the deposited colour changes at
// rate * prod(col[ch]^order[ch]) per unit of reaction time.
struct ErosionReaction {
  vec4f rate;
  int order[4];
};
static_assert(sizeof(ErosionReaction) == 32);

// Builds a reaction from the [from, to, k] form: order = from rounded per
// channel, rate = (to - from) * k.
ErosionReaction make_erosion_reaction(vec4f from, vec4f to, float k);

struct ErosionParams {
  float Kq = 10.0f;             // sediment capacity factor
  float Kw = 0.001f;            // evaporation per step
  float Kr = 0.9f;              // erosion rate
  float Kd = 0.02f;             // deposition rate
  float Ki = 0.1f;              // inertia
  float minSlope = 0.05f;       // lower bound of the drop used for the capacity
  float g = 20.0f;              // gravity
  float depositBlend = 2.0f;    // how fast deposits recolour the ground
  float reactionTime = 100.0f;  // reaction time budget per deposit
  DynArray<ErosionReaction> reactions;
};

// Totals of the last genDropletErosion call.
struct ErosionStats {
  uint64_t steps = 0;
  uint64_t cut = 0;
  uint64_t randomDirs = 0;
  int elapsedMs = 0;
};
extern ErosionStats last_erosion_stats;

namespace HeightmapData {
void genDropletErosion(unsigned numDroplets, ErosionParams& params);
// One deposit of amount a carried with colour cc onto the cell of flat index
// cell: raises the ground, clears any cover but grass, blends the ground
// colour toward cc and runs the colour reactions.
void depositSediment(int cell, float a, const vec4f& cc, const ErosionParams& params);
}
