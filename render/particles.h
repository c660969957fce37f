#pragma once
// Scripted billboard particles: two pools ("blend" and "glow") of records
// recycled through free lists, the fixed-step integration with drag and
// start delay, and the 40-byte instance records the particle shaders read.
#include <cstdint>

#include "containers/dyn_array.h"
#include "platform/math_types.h"
#include "platform/sim_step.h"
#include "world/ramps.h"

// Length of one simulation update: a particle without delay takes one such
// step when it is spawned.
constexpr float PARTICLE_SPAWN_STEP = SIM_STEP_SECONDS;
constexpr int PARTICLE_RESERVE = 10000;
// A pool beyond its reserve is compacted when fewer than one record in this
// many is alive.
constexpr int PARTICLE_SPARSE_RATIO = 4;
// Particle atlases are 512 x 256 pixels; map coordinates are atlas pixels.
constexpr float PARTICLE_ATLAS_W = 512.f;
constexpr float PARTICLE_ATLAS_H = 256.f;

struct alignas(16) Particle {
  vec4f pos;
  vec4f vel;  // w: drag coefficient
  vec4f accel;
  vec4f prevPos;
  float life;  // <= 0: free record (-1 after death)
  union {
    float age;     // seconds since activation; starts at -delay
    int nextFree;  // in a free record: next free index, -1 ends the list
  };
  float size;
  D3dColor color;
  float centerU, centerV;  // atlas centre in texture coordinates
  float halfMapSize;       // atlas pixels
  float startRoll;
  float rollScale;
  const ColorRamp* colorAnim;
  const FloatRamp* sizeAnim;
  const FloatRamp* rollAnim;

  bool isAlive() const { return life > 0; }
  // previous = position; velocity gains acceleration and loses drag; the
  // position moves by the new velocity.
  void step(float h);
};

// What a spawn call passes; the script binding and the exported functions
// both fill it.
struct ParticleSpawn {
  vec4f pos, vel, accel;
  float life = 1, delay = 0, size = 1;
  D3dColor color = D3dColor(0xFFFFFFFF);
  float mapU = 0, mapV = 0, mapSize = 0;
  float startRoll = 0, rollScale = 0;
  const ColorRamp* colorAnim = nullptr;
  const FloatRamp* sizeAnim = nullptr;
  const FloatRamp* rollAnim = nullptr;
};

struct ParticlePool {
  DynArray<Particle> recs;
  int freeHead = -1;
  int live = 0;

  // Drops every particle and keeps room for `reserve` records.
  void reset(int reserve = PARTICLE_RESERVE);
  // Takes a free record (or appends one) and starts it; returns its index.
  int spawn(const ParticleSpawn& s);
  // Compacts a sparse pool first (record indices change then), then steps
  // every live record.
  void update(float dt);
  int liveCount() const;
  void compact(int reserve = PARTICLE_RESERVE);
  void shrinkIfSparse(int reserve = PARTICLE_RESERVE);
};

// One visible particle as the instanced draw reads it.
struct ParticleInstance {
  float x, y, z;
  float size, roll;
  uint32_t color;
  float centerU, centerV;
  float halfU, negHalfV;  // half map size / 512, -(half map size / 256)
};
static_assert(sizeof(ParticleInstance) == 40, "particle instance records are 40 bytes");

// x and z of `p` moved to the copy nearest `cam` on the 256-cell torus.
vec4f nearest_torus_copy(const vec4f& p, const vec4f& cam);

// The instance record of a live particle at `elapsed` seconds after the last
// update (t: the interpolation factor); false when it is not visible now.
bool make_particle_instance(const Particle& p, float elapsed, float t, const vec4f& cam, ParticleInstance& out);

extern ParticlePool blend_particles;
extern ParticlePool glow_particles;

// Both pools' live particles.
int live_particle_count();
// Spawns into `pool` unless the bounds refuse it (see effect_limits.h);
// the record's index or -1.
int spawn_bounded(ParticlePool& pool, const ParticleSpawn& s);

// Exported for the game-object module; bounded like spawn_bounded.
void add_blend_particle(const vec4f& pos, const vec4f& vel, const vec4f& accel, float life, float delay, float size,
                        D3dColor color, float mapU, float mapV, float mapSize, float startRoll, float rollScale,
                        const ColorRamp* colorAnim, const FloatRamp* sizeAnim, const FloatRamp* rollAnim);
void add_glow_particle(const vec4f& pos, const vec4f& vel, const vec4f& accel, float life, float delay, float size,
                       D3dColor color, float mapU, float mapV, float mapSize, float startRoll, float rollScale,
                       const ColorRamp* colorAnim, const FloatRamp* sizeAnim, const FloatRamp* rollAnim);
