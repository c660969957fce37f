#pragma once
// Bounds on what effects may ask for: a cap on live particles, trails only
// from the fixed table, and only finite numbers. A refused spawn is
// reported once per burst (a run of steps with refusals), naming who asked:
// the effect script's running function, or the game-object module.
#include "platform/math_types.h"

struct ParticleSpawn;

// Live particles of both pools together. At 128 bytes a record this keeps
// the pools under 7 MB however long-lived or numerous a script's particles.
constexpr int MAX_LIVE_PARTICLES = 50000;

// The name of the effect function running now, or null; the owner of the
// effect script fills it in.
extern const char* (*effect_source_hook)();

// Whether the particle may be added with `live` particles alive now; a
// refusal is logged (and a non-finite number shown on screen) once per burst.
bool admit_particle(const ParticleSpawn& s, int live);
// Whether a trail point's numbers are all finite (same reporting).
bool admit_trail_point(const vec4f& pos, const vec4f& vel, const vec4f& side, float width);
// add_trail_fx found no free trail.
void note_trail_table_full();
// Once per simulation update: a step without refusals ends the burst, so
// the next refusal is reported again.
void end_effect_limits_step();

// Counts since start-up, for tests and the statistics.
struct EffectRefusals {
  long capped_particles = 0;
  long non_finite = 0;
  long full_trail_table = 0;
  int reports = 0;  // lines logged
};
const EffectRefusals& effect_refusals();
