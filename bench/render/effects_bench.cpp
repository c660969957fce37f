// Particles and trails per frame without a device: the update of 20 000 live
// particles and 500 trails of 16 points, and the writing of their instance
// records and ribbon vertices into a 64 KiB buffer like the shared dynamic
// vertex buffer (restarted whenever it fills, as the writer does after
// drawing what it holds).
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "render/particles.h"
#include "render/trailFx.h"
#include "script/ramp_classes.h"
#include "world/noise.h"

namespace {
constexpr int PARTICLES_PER_POOL = 10000;
constexpr int LIVE_TRAILS = 500;
constexpr int BUFFER_BYTES = 65536;

const vec4f CAMERA(128, 40, 128, 1);
const vec4f RIGHT(1, 0, 0, 0), UP(0, 1, 0, 0);

void fill_pool(ParticlePool& pool) {
  pool.reset();
  for (int i = 0; i < PARTICLES_PER_POOL; i++) {
    ParticleSpawn s;
    s.pos = vec4f(frnd() * 256, 10 + frnd() * 20, frnd() * 256, 1);
    s.vel = vec4f(srnd(), srnd() + 1, srnd(), 0.5f);
    s.accel = vec4f(0, -2, 0, 0);
    s.life = 1e6f;  // none dies while timed
    s.delay = i % 7 == 0 ? 0.02f : 0;
    s.size = 1;
    s.color = D3dColor(0xFFFFC080);
    s.mapU = 64;
    s.mapSize = 64;
    s.colorAnim = &blend_std_fade_anim;
    s.sizeAnim = &size_05_2_anim;
    s.rollAnim = &std_roll_anim;
    pool.spawn(s);
  }
  // Spread the ages so that the ramps are read all along their length.
  for (Particle& p : pool.recs) p.age = frnd() * p.life;
}

void fill_trails() {
  reset_trails();
  for (int t = 0; t < LIVE_TRAILS; t++) {
    vec4f p(frnd() * 256, 20, frnd() * 256, 1);
    vec4f v(srnd() * 20, 0, srnd() * 20, 0);
    int h = add_trail_fx(p, v, vec4f(0, 0.3f, 0, 0), 0.5f, D3dColor(0xFFFFFFFF));
    for (int i = 1; i < TRAIL_POINTS; i++) {
      p.x += v.x * 0.05f;
      p.z += v.z * 0.05f;
      add_trail_point(h, p, v, vec4f(0, 0.3f, 0, 0));
    }
  }
}

// A stand-in for the shared writer: bytes go into one 64 KiB buffer that
// starts over when the next piece does not fit.
struct Buffer {
  std::vector<char> mem = std::vector<char>(BUFFER_BYTES);
  int used = 0;
  char* reserve(int bytes) {
    if (BUFFER_BYTES - used < bytes) used = 0;
    return mem.data() + used;
  }
};

void write_pool(const ParticlePool& pool, Buffer& buf) {
  const Particle* r = pool.recs.data;
  for (int i = 0, n = pool.recs.count; i < n; i++) {
    if (r[i].life <= 0) continue;
    ParticleInstance inst;
    if (!make_particle_instance(r[i], 0.025f, 0.5f, CAMERA, inst)) continue;
    std::memcpy(buf.reserve(int(sizeof(inst))), &inst, sizeof(inst));
    buf.used += int(sizeof(inst));
  }
}

void write_trails(Buffer& buf) {
  for (const Trail& tr : trails) {
    if (tr.count <= 0) continue;
    char* p = buf.reserve(tr.count * TRAIL_VERTICES_PER_POINT * int(sizeof(TrailVertex)));
    int n = write_trail_vertices(tr, 0.5f, CAMERA, RIGHT, UP, reinterpret_cast<TrailVertex*>(p));
    buf.used += n * int(sizeof(TrailVertex));
  }
}

// Particles live a few seconds: the pools start afresh every 40 steps, out
// of the timing, so that drag never runs velocities down into denormals.
void refresh_pools(benchmark::State& state, int& steps) {
  if (++steps < 40) return;
  state.PauseTiming();
  fill_pool(blend_particles);
  fill_pool(glow_particles);
  steps = 0;
  state.ResumeTiming();
}

void BM_ParticleUpdate20k(benchmark::State& state) {
  fill_pool(blend_particles);
  fill_pool(glow_particles);
  int steps = 0;
  for (auto _ : state) {
    refresh_pools(state, steps);
    blend_particles.update(0.05f);
    glow_particles.update(0.05f);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 2 * PARTICLES_PER_POOL);
}
BENCHMARK(BM_ParticleUpdate20k)->Unit(benchmark::kMicrosecond);

void BM_TrailUpdate500x16(benchmark::State& state) {
  fill_trails();
  for (auto _ : state) {
    update_trails(0.05f);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_TrailUpdate500x16)->Unit(benchmark::kMicrosecond);

void BM_ParticleRecords20k(benchmark::State& state) {
  fill_pool(blend_particles);
  fill_pool(glow_particles);
  Buffer buf;
  for (auto _ : state) {
    write_pool(blend_particles, buf);
    write_pool(glow_particles, buf);
    benchmark::DoNotOptimize(buf.mem.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 2 * PARTICLES_PER_POOL);
}
BENCHMARK(BM_ParticleRecords20k)->Unit(benchmark::kMicrosecond);

void BM_TrailVertices500x16(benchmark::State& state) {
  fill_trails();
  Buffer buf;
  for (auto _ : state) {
    write_trails(buf);
    benchmark::DoNotOptimize(buf.mem.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_TrailVertices500x16)->Unit(benchmark::kMicrosecond);

// What one step and one frame cost together: the targets' two halves.
void BM_FrameUpdate(benchmark::State& state) {
  fill_pool(blend_particles);
  fill_pool(glow_particles);
  fill_trails();
  int steps = 0;
  for (auto _ : state) {
    refresh_pools(state, steps);
    blend_particles.update(0.05f);
    glow_particles.update(0.05f);
    update_trails(0.05f);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_FrameUpdate)->Unit(benchmark::kMicrosecond);

void BM_FrameWriting(benchmark::State& state) {
  fill_pool(blend_particles);
  fill_pool(glow_particles);
  fill_trails();
  Buffer buf;
  for (auto _ : state) {
    write_pool(blend_particles, buf);
    write_pool(glow_particles, buf);
    write_trails(buf);
    benchmark::DoNotOptimize(buf.mem.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_FrameWriting)->Unit(benchmark::kMicrosecond);
}  // namespace

BENCHMARK_MAIN();
