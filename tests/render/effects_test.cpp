// Particles and trails without a device: spawning, delays, death and reuse
// of records, the instance records, the trail table and its ring, the
// update's seam handling and the ribbon's vertices.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/globals.h"
#include "platform/messages.h"
#include "render/common_fx.h"
#include "render/effect_limits.h"
#include "render/particles.h"
#include "script/fx_script.h"
#include "render/trailFx.h"

namespace {
constexpr float EPS = 1e-5f;

ParticleSpawn moving(float delay) {
  ParticleSpawn s;
  s.pos = vec4f(10, 20, 30, 1);
  s.vel = vec4f(2, 0, 0, 0);
  s.life = 1;
  s.delay = delay;
  s.size = 1.5f;
  s.color = D3dColor(0x80402010);
  s.mapU = 64;
  s.mapV = 128;
  s.mapSize = 64;
  return s;
}

const vec4f CAM(10, 50, 30, 1);

class ParticleTest : public ::testing::Test {
 protected:
  void SetUp() override { pool.reset(); }
  ParticlePool pool;
};

TEST_F(ParticleTest, UndelayedSpawnTakesOneStep) {
  int i = pool.spawn(moving(0));
  const Particle& p = pool.recs[i];
  EXPECT_NEAR(p.pos.x, 10.1f, EPS);
  EXPECT_NEAR(p.prevPos.x, 10.f, EPS);
  EXPECT_FLOAT_EQ(p.age, 0.f);
}

TEST_F(ParticleTest, DelayedParticleStartsWhenItsDelayHasPassed) {
  int i = pool.spawn(moving(0.07f));
  const Particle& p = pool.recs[i];
  EXPECT_FLOAT_EQ(p.pos.x, 10.f) << "a delay beyond one update: no step at spawn";
  pool.update(0.05f);
  EXPECT_NEAR(p.pos.x, 10.f + 2 * 0.03f, EPS) << "the first update advances by the 0.03 s after activation";
  ParticleInstance inst;
  EXPECT_FALSE(make_particle_instance(p, 0.01f, 0.2f, CAM, inst)) << "0.06 s after spawn it is not visible yet";
  ASSERT_TRUE(make_particle_instance(p, 0.02f, 0.4f, CAM, inst));
  EXPECT_NEAR(inst.x, 10.f, 1e-4f) << "it appears at its start";
  ASSERT_TRUE(make_particle_instance(p, 0.035f, 0.7f, CAM, inst));
  EXPECT_NEAR(inst.x, 10.f + 2 * 0.015f, 1e-4f) << "and slides by the time since activation";
  pool.update(0.05f);
  EXPECT_NEAR(p.pos.x, 10.f + 2 * 0.08f, EPS);
}

TEST_F(ParticleTest, ShortDelaySpawnsWithThePartialStep) {
  int i = pool.spawn(moving(0.03f));
  EXPECT_NEAR(pool.recs[i].pos.x, 10.f + 2 * 0.02f, EPS);
}

TEST_F(ParticleTest, DragSlowsAndAccelerationActsButDragLeavesW) {
  ParticleSpawn s = moving(0);
  s.vel = vec4f(4, 0, 0, 2);  // drag 2
  s.accel = vec4f(0, -10, 0, 0);
  int i = pool.spawn(s);
  const Particle& p = pool.recs[i];
  EXPECT_NEAR(p.vel.x, 4 - 4 * 2 * 0.05f, EPS);
  EXPECT_NEAR(p.vel.y, -0.5f, EPS);
  EXPECT_FLOAT_EQ(p.vel.w, 2.f);
  EXPECT_NEAR(p.pos.x, 10 + p.vel.x * 0.05f, EPS) << "the position moves by the new velocity";
}

TEST_F(ParticleTest, DiesWhenAgeReachesLifeAndItsRecordIsReusedFirst) {
  ParticleSpawn s = moving(0);
  s.life = 0.1f;
  int a = pool.spawn(s);
  int b = pool.spawn(moving(0));
  pool.update(0.05f);
  EXPECT_EQ(pool.liveCount(), 2);
  pool.update(0.05f);
  EXPECT_EQ(pool.recs[a].life, -1.f) << "life <= age: dead at exactly its life";
  EXPECT_EQ(pool.freeHead, a);
  EXPECT_EQ(pool.liveCount(), 1);
  EXPECT_EQ(pool.spawn(moving(0)), a);
  EXPECT_EQ(pool.spawn(moving(0)), 2) << "an empty free list appends";
  EXPECT_EQ(pool.recs.size(), 3);
  (void)b;
}

TEST_F(ParticleTest, ResetDropsEverythingAndReserves) {
  for (int i = 0; i < 5; i++) pool.spawn(moving(0));
  pool.reset();
  EXPECT_EQ(pool.recs.size(), 0);
  EXPECT_EQ(pool.freeHead, -1);
  EXPECT_GE(pool.recs.capacity, PARTICLE_RESERVE);
}

TEST_F(ParticleTest, NullRampsKeepBaseValuesAndRampsScaleThem) {
  ParticleSpawn s = moving(0);
  s.startRoll = 0.5f;
  s.rollScale = 2.f;
  const Particle& p = pool.recs[pool.spawn(s)];
  ParticleInstance inst;
  ASSERT_TRUE(make_particle_instance(p, 0.025f, 0.5f, CAM, inst));
  EXPECT_EQ(inst.color, 0x80402010u);
  EXPECT_FLOAT_EQ(inst.size, 1.5f);
  EXPECT_FLOAT_EQ(inst.roll, 0.5f);
  EXPECT_FLOAT_EQ(inst.centerU, (64 + 32) / 512.f);
  EXPECT_FLOAT_EQ(inst.centerV, (128 + 32) / 256.f);
  EXPECT_FLOAT_EQ(inst.halfU, 32 / 512.f);
  EXPECT_FLOAT_EQ(inst.negHalfV, -32 / 256.f);

  static ColorRamp half;
  for (auto& c : half.v) c = vec4f(0.5f, 1, 2, 0.5f);
  static FloatRamp twice, quarter;
  for (auto& f : twice.v) f = 2;
  for (auto& f : quarter.v) f = 0.25f;
  s.colorAnim = &half;
  s.sizeAnim = &twice;
  s.rollAnim = &quarter;
  const Particle& q = pool.recs[pool.spawn(s)];
  ASSERT_TRUE(make_particle_instance(q, 0.025f, 0.5f, CAM, inst));
  // 0x40 * 0.5 = 32 (0x20), 0x20 * 1, 0x10 * 2 = 0x20, alpha 0x80 * 0.5 = 0x40.
  EXPECT_EQ(inst.color, 0x40202020u);
  EXPECT_FLOAT_EQ(inst.size, 3.f);
  EXPECT_FLOAT_EQ(inst.roll, 0.5f + 2 * 0.25f);
}

TEST_F(ParticleTest, DrawnAtTheCopyNearestTheCamera) {
  ParticleSpawn s = moving(0);
  s.vel = vec4f(0, 0, 0, 0);
  s.pos = vec4f(255.5f, 5, 1, 1);
  const Particle& p = pool.recs[pool.spawn(s)];
  ParticleInstance inst;
  ASSERT_TRUE(make_particle_instance(p, 0.01f, 0.2f, vec4f(0.5f, 10, 250, 1), inst));
  EXPECT_FLOAT_EQ(inst.x, -0.5f);
  EXPECT_FLOAT_EQ(inst.z, 257.f);
  EXPECT_FLOAT_EQ(inst.y, 5.f);
}

// ---- trails ----

class TrailTest : public ::testing::Test {
 protected:
  void SetUp() override { reset_trails(); }
  int make(float x = 10) { return add_trail_fx(vec4f(x, 5, 10, 1), vec4f(0, 0, 0, 0), vec4f(0, 0.5f, 0, 0), 1, 0xffffffff); }
};

TEST_F(TrailTest, TableRunsOutAfter4000AndKilledHandlesComeBack) {
  for (int i = 0; i < MAX_TRAILS; i++) ASSERT_EQ(make(), i);
  EXPECT_EQ(make(), -1);
  kill_trail_fx(1234);
  EXPECT_EQ(make(), 1234);
  EXPECT_EQ(make(), -1);
}

TEST_F(TrailTest, InvalidHandlesAreIgnored) {
  int h = make();
  for (int bad : {-1, MAX_TRAILS, 1 << 30}) {
    add_trail_point(bad, vec4f(1, 1, 1, 1), vec4f(), vec4f());
    set_trail_color(bad, 0);
    stop_trail_fx(bad);
    kill_trail_fx(bad);
  }
  EXPECT_EQ(trails[h].count, 1);
  EXPECT_EQ(trail_free_head, 1);
}

TEST_F(TrailTest, RingKeepsTheNewest16Points) {
  int h = make(0);
  for (int i = 1; i < 20; i++) add_trail_point(h, vec4f(float(i), 5, 10, 1), vec4f(), vec4f());
  const Trail& tr = trails[h];
  EXPECT_EQ(tr.count, 16);
  EXPECT_FLOAT_EQ(tr.points[tr.head].pos.x, 19.f);
  EXPECT_FLOAT_EQ(tr.points[(tr.head + 15) % 16].pos.x, 4.f);
}

TEST_F(TrailTest, StoppedTrailShrinksAwayAndReturnsToTheFreeList) {
  int h = make();
  for (int i = 0; i < 4; i++) add_trail_point(h, vec4f(11.f + float(i), 5, 10, 1), vec4f(), vec4f());
  stop_trail_fx(h);
  for (int i = 4; i > 0; i--) {
    update_trails(0.05f);
    EXPECT_EQ(trails[h].count, i);
  }
  update_trails(0.05f);
  EXPECT_FALSE(trails[h].isAlive());
  EXPECT_EQ(trail_free_head, h) << "taken again first";
  kill_trail_fx(h);
  EXPECT_EQ(trail_free_head, h) << "a shrunk trail is not alive: kill ignores it";
  EXPECT_EQ(trails[h].nextFree, 1) << "and does not chain it twice";
  // Missiles stop their trails and never kill them: ten thousand of them in
  // a row never run the table out.
  for (int i = 0; i < 10000; i++) {
    int t = make();
    ASSERT_GE(t, 0) << "missile " << i;
    stop_trail_fx(t);
    update_trails(0.05f);
  }
  EXPECT_EQ(live_trail_count(), 0);
}

TEST_F(TrailTest, PointsOnAKilledTrailDoNotReviveIt) {
  int h = make();
  kill_trail_fx(h);
  add_trail_point(h, vec4f(1, 1, 1, 1), vec4f(), vec4f());
  EXPECT_FALSE(trails[h].isAlive());
  EXPECT_EQ(make(), h) << "the free list still hands it out";
}

TEST_F(TrailTest, PointsJoinAcrossTheSeamAndTheUpdateBringsTheHeadHome) {
  int h = add_trail_fx(vec4f(254, 5, 10, 1), vec4f(), vec4f(0, 0.5f, 0, 0), 1, 0xffffffff);
  add_trail_point(h, vec4f(1, 5, 10, 1), vec4f(20, 0, 0, 0), vec4f(0, 0.5f, 0, 0));
  const Trail& tr = trails[h];
  EXPECT_FLOAT_EQ(tr.points[tr.head].pos.x, 257.f) << "next to the former head, not across the map";
  update_trails(0.05f);
  EXPECT_FLOAT_EQ(tr.points[tr.head].prevPos.x, 1.f);
  EXPECT_FLOAT_EQ(tr.points[tr.head].pos.x, 2.f);
  EXPECT_FLOAT_EQ(tr.points[(tr.head + 1) % 16].pos.x, -2.f) << "the whole trail moves with its head";
}

TEST_F(TrailTest, VerticesFormOneRibbonAtTheCopyNearestTheCamera) {
  int h = add_trail_fx(vec4f(250, 5, 10, 1), vec4f(), vec4f(0, 0.5f, 0, 0), 0.25f, 0xff0000ff);
  for (int i = 1; i < 6; i++) {
    set_trail_color(h, D3dColor(0xff000000u | uint32_t(i)));
    add_trail_point(h, vec4f(250.f + 3.f * float(i), 5, 10, 1), vec4f(), vec4f(0, 0.5f, 0, 0));
  }
  const Trail& tr = trails[h];
  ASSERT_EQ(tr.count, 6);
  std::vector<TrailVertex> v(size_t(tr.count * TRAIL_VERTICES_PER_POINT));
  vec4f right(1, 0, 0, 0), up(0, 1, 0, 0);
  int n = write_trail_vertices(tr, 1, vec4f(3, 20, 10, 1), right, up, v.data());
  ASSERT_EQ(n, 36);
  // Head (265 = 9 near the camera at 3): the cap around it.
  EXPECT_FLOAT_EQ(v[0].x, 9 - 0.25f);
  EXPECT_FLOAT_EQ(v[0].y, 5 + 0.25f);
  EXPECT_FLOAT_EQ(v[4].x, 9 + 0.25f);
  EXPECT_FLOAT_EQ(v[4].u, 0.125f);
  EXPECT_FLOAT_EQ(v[4].v, 0.5f);
  // Each segment starts at the edges where the previous one ended.
  for (int s = 0; s < 5; s++) {
    const TrailVertex* seg = &v[size_t(6 + 6 * s)];
    EXPECT_FLOAT_EQ(seg[0].x, 9.f - 3.f * float(s));
    EXPECT_FLOAT_EQ(seg[2].x, 9.f - 3.f * float(s + 1));
    EXPECT_FLOAT_EQ(seg[0].y, 5.5f);
    EXPECT_FLOAT_EQ(seg[1].y, 4.5f);
    EXPECT_FLOAT_EQ(seg[2].u - seg[0].u, 1 / 16.f);
    uint32_t older = s < 4 ? 0xff000000u | uint32_t(4 - s) : 0xff0000ffu;
    EXPECT_EQ(seg[2].color, older) << "each point keeps the colour it was added with";
    if (s > 0) EXPECT_FLOAT_EQ(seg[0].x, v[size_t(6 * s + 2)].x);
  }
  EXPECT_FLOAT_EQ(v[6].u, 1 / 16.f) << "u starts at t/16";
}
}  // namespace

namespace {
// Both pools, as the game and the module spawn into them.
struct BoundedEffects : ::testing::Test {
  void SetUp() override {
    blend_particles.reset();
    glow_particles.reset();
    end_effect_limits_step();
    end_effect_limits_step();
    set_error_message(nullptr);
  }
  void TearDown() override {
    blend_particles.recs.reset();
    glow_particles.recs.reset();
  }
  static void add(float life, float size = 1, bool glow = false) {
    ParticleSpawn s = moving(0);
    (glow ? add_glow_particle : add_blend_particle)(s.pos, s.vel, s.accel, life, 0, size, s.color, 0, 0, 16, 0, 0,
                                                     nullptr, nullptr, nullptr);
  }
};
}  // namespace

// A script adding long-lived particles every step stops at the cap with one
// log line for the whole burst; a burst that dies leaves pools of the
// reserved size that the update walks quickly again.
TEST_F(BoundedEffects, LiveParticlesStopAtTheCapOneReportPerBurstAndPoolsShrinkBack) {
  int reports = effect_refusals().reports;
  for (int step = 0; step < 3; step++) {
    for (int i = 0; i < 20000; i++) add(1e6f, 1, i & 1);
    update_common_fx(0.05f);
  }
  EXPECT_EQ(live_particle_count(), MAX_LIVE_PARTICLES);
  EXPECT_EQ(effect_refusals().reports, reports + 1) << "one line for the burst";
  update_common_fx(0.05f);  // a step without refusals ends the burst
  add(1e6f);
  EXPECT_EQ(effect_refusals().reports, reports + 2) << "the next burst is reported again";

  reset_common_fx();
  EXPECT_LE(blend_particles.recs.capacity, PARTICLE_RESERVE) << "reset gives the storage back";
  for (int i = 0; i < MAX_LIVE_PARTICLES - 10; i++) add(0.5f);
  for (int i = 0; i < 10; i++) add(1e6f);
  for (int step = 0; step < 12; step++) update_common_fx(0.05f);
  EXPECT_EQ(live_particle_count(), 10);
  EXPECT_EQ(blend_particles.recs.count, 10) << "the update walks only what is alive";
  EXPECT_LE(blend_particles.recs.capacity, PARTICLE_RESERVE);
  for (const Particle& p : blend_particles.recs) EXPECT_GT(p.life, 1e5f);
  add(0.5f);
  EXPECT_EQ(blend_particles.liveCount(), 11);
}

// Numbers that are not finite never reach a record: a NaN life would never
// die, a NaN position draws nowhere. The refusal names the effect function.
TEST_F(BoundedEffects, NonFiniteNumbersAreRefusedNamingTheEffectFunction) {
  float nan = std::nanf("");
  add(nan);
  add(1, INFINITY);
  EXPECT_EQ(live_particle_count(), 0);
  std::string msg = get_error_message();
  EXPECT_NE(msg.find("Effect the game-object module: particle refused: its life is not a finite number (nan)"),
            std::string::npos)
      << msg;
  add(0);
  EXPECT_EQ(live_particle_count(), 0) << "no life: a record that would look free";
  EXPECT_EQ(add_trail_fx(vec4f(nan, 0, 0, 1), vec4f(), vec4f(), 1, 0), -1);

  // From the effect script: its running function is named, and a colour
  // that is not finite fails at its line.
  char tmpl[] = "/tmp/tolvane-fx-XXXXXX";
  std::string dir = std::string(mkdtemp(tmpl)) + "/";
  std::snprintf(app_path, sizeof(app_path), "%s", dir.c_str());
  std::system(("mkdir -p '" + dir + "test'").c_str());
  std::ofstream(dir + FX_SCRIPT) << R"(
function p(life, color) {
  return { accel = vec4f(0.0, 0.0, 0.0, 0.0), life = life, delay = 0.0, size = 1.0, mapU = 0.0, mapV = 0.0,
           mapSize = 16.0, startRoll = 0.0, rollScale = 0.0, colorAnim = null, sizeAnim = null, rollAnim = null,
           color = color };
}
function nan_life_fx(pos, dir, extra, scale) { add_blend_particle(pos, dir, p(0.0 / 0.0, 0xffffffff)); }
function nan_colour_fx(pos, dir, extra, scale) {
  add_glow_particle(pos, dir, p(1.0, vec4f(1.0, 1.0e300 * 1.0e300, 0.0, 1.0)));
}
)";
  fx_script_hooks.addBlendParticle = add_blend_particle;
  fx_script_hooks.addGlowParticle = add_glow_particle;
  effect_source_hook = fx_script_running_function;
  fx_script_start();
  update_common_fx(0.05f);
  set_error_message(nullptr);
  call_fx_script("nan_life_fx", vec4f(1, 2, 3, 1), vec4f(), vec4f(), 1);
  msg = get_error_message();
  EXPECT_NE(msg.find("Effect nan_life_fx: particle refused: its life is not a finite number"), std::string::npos)
      << msg;
  set_error_message(nullptr);
  call_fx_script("nan_colour_fx", vec4f(1, 2, 3, 1), vec4f(), vec4f(), 1);
  msg = get_error_message();
  EXPECT_NE(msg.find("fx.nut:9"), std::string::npos) << msg;
  EXPECT_NE(msg.find("its color is not a finite number"), std::string::npos) << msg;
  EXPECT_EQ(live_particle_count(), 0);
  fx_script_stop();
  fx_script_hooks = FxScriptHooks();
  effect_source_hook = nullptr;
  std::system(("rm -rf '" + dir + "'").c_str());
}
