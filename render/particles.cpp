// Particle pools: spawning, the fixed-step update and the instance records.
#include "render/particles.h"

#include <cmath>
#include <utility>

#include "render/effect_limits.h"
#include "world/vecmath.h"

ParticlePool blend_particles;
ParticlePool glow_particles;

void Particle::step(float h) {
  prevPos = pos;
  float drag = vel.w * h;
  vel.x += accel.x * h - vel.x * drag;
  vel.y += accel.y * h - vel.y * drag;
  vel.z += accel.z * h - vel.z * drag;
  vel.w += accel.w * h;
  pos.x += vel.x * h;
  pos.y += vel.y * h;
  pos.z += vel.z * h;
}

void ParticlePool::reset(int reserve) {
  // A burst's storage is given back, not only emptied.
  if (recs.capacity > reserve) recs.reset();
  recs.clear();
  recs.reserve(reserve);
  freeHead = -1;
  live = 0;
}

int ParticlePool::spawn(const ParticleSpawn& s) {
  int i = freeHead;
  if (i >= 0)
    freeHead = recs[i].nextFree;
  else
    i = recs.push_back(Particle());
  live++;
  Particle& p = recs[i];
  p.pos = s.pos;
  p.vel = s.vel;
  p.accel = s.accel;
  p.prevPos = s.pos;
  p.life = s.life;
  p.age = -s.delay;
  p.size = s.size;
  p.color = s.color;
  p.centerU = (s.mapU + s.mapSize * 0.5f) / PARTICLE_ATLAS_W;
  p.centerV = (s.mapV + s.mapSize * 0.5f) / PARTICLE_ATLAS_H;
  p.halfMapSize = s.mapSize * 0.5f;
  p.startRoll = s.startRoll;
  p.rollScale = s.rollScale;
  p.colorAnim = s.colorAnim;
  p.sizeAnim = s.sizeAnim;
  p.rollAnim = s.rollAnim;
  // Spawns happen during an update: the particle catches up with the part
  // of that update it is already active in.
  if (p.age < 0) {
    if (p.age + PARTICLE_SPAWN_STEP > 0) p.step(p.age + PARTICLE_SPAWN_STEP);
  } else {
    p.step(PARTICLE_SPAWN_STEP);
  }
  return i;
}

void ParticlePool::update(float dt) {
  shrinkIfSparse();
  Particle* r = recs.data;
  for (int i = 0, n = recs.count; i < n; i++) {
    Particle& p = r[i];
    if (p.life <= 0) continue;
    p.age += dt;
    if (p.age >= p.life) {
      p.life = -1;
      p.nextFree = freeHead;
      freeHead = i;
      live--;
    } else if (p.age < 0) {
      if (p.age + dt > 0) p.step(p.age + dt);
    } else {
      p.step(dt);
    }
  }
}

int ParticlePool::liveCount() const { return live; }

// Live records move to the front (in their order) and the storage shrinks,
// so that the update and the draw walk what is alive, not every record a
// burst once needed.
void ParticlePool::compact(int reserve) {
  DynArray<Particle> kept;
  kept.reserve(live * 2 > reserve ? live * 2 : reserve);
  for (const Particle& p : recs)
    if (p.life > 0) kept.push_back(p);
  std::swap(recs.data, kept.data);
  std::swap(recs.count, kept.count);
  std::swap(recs.capacity, kept.capacity);
  kept.reset();
  freeHead = -1;
}

void ParticlePool::shrinkIfSparse(int reserve) {
  if (recs.count > reserve && live < recs.count / PARTICLE_SPARSE_RATIO) compact(reserve);
}

namespace {
float wrap_offset(float d) { return d - 256.f * std::floor((d + 128.f) * (1.f / 256.f)); }
}  // namespace

vec4f nearest_torus_copy(const vec4f& p, const vec4f& cam) {
  return vec4f(cam.x + wrap_offset(p.x - cam.x), p.y, cam.z + wrap_offset(p.z - cam.z), p.w);
}

bool make_particle_instance(const Particle& p, float elapsed, float t, const vec4f& cam, ParticleInstance& out) {
  float a = (p.age + elapsed) / p.life;
  if (!(a >= 0.f && a <= 1.f)) return false;
  float f = t;
  // A particle that becomes active within this update moves only over the
  // part of the update since its activation.
  if (p.age < 0) {
    float denom = elapsed / t + p.age;
    f = denom > 0 ? (p.age + elapsed) / denom : 1.f;
  }
  vec4f q(p.prevPos.x + (p.pos.x - p.prevPos.x) * f, p.prevPos.y + (p.pos.y - p.prevPos.y) * f,
          p.prevPos.z + (p.pos.z - p.prevPos.z) * f, 1.f);
  q = nearest_torus_copy(q, cam);
  out.x = q.x;
  out.y = q.y;
  out.z = q.z;
  if (p.colorAnim) {
    vec4f rc = p.colorAnim->get(a);
    vec4f bc = color_to_vec4f(p.color);
    out.color = pack_color(rc.x * bc.x, rc.y * bc.y, rc.z * bc.z, rc.w * bc.w);
  } else {
    out.color = p.color.u;
  }
  out.size = p.sizeAnim ? p.size * p.sizeAnim->get(a) : p.size;
  out.roll = p.rollAnim ? p.startRoll + p.rollScale * p.rollAnim->get(a) : p.startRoll;
  out.centerU = p.centerU;
  out.centerV = p.centerV;
  out.halfU = p.halfMapSize / PARTICLE_ATLAS_W;
  out.negHalfV = -(p.halfMapSize / PARTICLE_ATLAS_H);
  return true;
}

namespace {
ParticleSpawn make_spawn(const vec4f& pos, const vec4f& vel, const vec4f& accel, float life, float delay, float size,
                         D3dColor color, float mapU, float mapV, float mapSize, float startRoll, float rollScale,
                         const ColorRamp* colorAnim, const FloatRamp* sizeAnim, const FloatRamp* rollAnim) {
  ParticleSpawn s;
  s.pos = pos;
  s.vel = vel;
  s.accel = accel;
  s.life = life;
  s.delay = delay;
  s.size = size;
  s.color = color;
  s.mapU = mapU;
  s.mapV = mapV;
  s.mapSize = mapSize;
  s.startRoll = startRoll;
  s.rollScale = rollScale;
  s.colorAnim = colorAnim;
  s.sizeAnim = sizeAnim;
  s.rollAnim = rollAnim;
  return s;
}
}  // namespace

int live_particle_count() { return blend_particles.liveCount() + glow_particles.liveCount(); }

int spawn_bounded(ParticlePool& pool, const ParticleSpawn& s) {
  return admit_particle(s, live_particle_count()) ? pool.spawn(s) : -1;
}

void add_blend_particle(const vec4f& pos, const vec4f& vel, const vec4f& accel, float life, float delay, float size,
                        D3dColor color, float mapU, float mapV, float mapSize, float startRoll, float rollScale,
                        const ColorRamp* colorAnim, const FloatRamp* sizeAnim, const FloatRamp* rollAnim) {
  spawn_bounded(blend_particles, make_spawn(pos, vel, accel, life, delay, size, color, mapU, mapV, mapSize, startRoll,
                                   rollScale, colorAnim, sizeAnim, rollAnim));
}

void add_glow_particle(const vec4f& pos, const vec4f& vel, const vec4f& accel, float life, float delay, float size,
                       D3dColor color, float mapU, float mapV, float mapSize, float startRoll, float rollScale,
                       const ColorRamp* colorAnim, const FloatRamp* sizeAnim, const FloatRamp* rollAnim) {
  spawn_bounded(glow_particles, make_spawn(pos, vel, accel, life, delay, size, color, mapU, mapV, mapSize, startRoll,
                                  rollScale, colorAnim, sizeAnim, rollAnim));
}
