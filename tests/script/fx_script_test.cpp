// The effect script service: the particle functions and their slot rules,
// calls by name, update_fx, reloads of a broken script, and the game's own
// test/fx.nut running every effect it offers.
#include <gtest/gtest.h>

#include <regex>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/globals.h"
#include "platform/messages.h"
#include "script/fx_script.h"
#include "script/sqbind.h"
#include "tests/script/script_test_support.h"

namespace {
struct Spawned {
  bool glow;
  vec4f pos, vel, accel;
  float life, delay, size;
  uint32_t color;
  float mapU, mapV, mapSize, startRoll, rollScale;
  const ColorRamp* colorAnim;
  const FloatRamp* sizeAnim;
  const FloatRamp* rollAnim;
};
std::vector<Spawned> spawned;
int resets = 0;

template <bool GLOW>
void record(const vec4f& pos, const vec4f& vel, const vec4f& accel, float life, float delay, float size, D3dColor color,
            float mapU, float mapV, float mapSize, float startRoll, float rollScale, const ColorRamp* colorAnim,
            const FloatRamp* sizeAnim, const FloatRamp* rollAnim) {
  spawned.push_back({GLOW, pos, vel, accel, life, delay, size, color.u, mapU, mapV, mapSize, startRoll, rollScale,
                     colorAnim, sizeAnim, rollAnim});
}
void count_reset() {
  resets++;
  spawned.clear();
}
int live() { return int(spawned.size()); }

const char* PARAMS = R"(
function params(changes) {
  local p = { accel = vec4f(0.0, -1.0, 0.0, 0.0), life = 2.0, delay = 0.25, size = 3.0, mapU = 64.0, mapV = 128.0,
              mapSize = 32.0, startRoll = 0.5, rollScale = 1.5, colorAnim = null, sizeAnim = null, rollAnim = null,
              color = 0x80ff0000 };
  foreach (k, v in changes) p[k] <- v;
  return p;
}
)";

struct FxScript : ::testing::Test {
  std::string dir;
  void SetUp() override {
    dir = make_scratch_dir();
    set_error_message(nullptr);
    spawned.clear();
    resets = 0;
    fx_script_hooks.addBlendParticle = record<false>;
    fx_script_hooks.addGlowParticle = record<true>;
    fx_script_hooks.resetCommonFx = count_reset;
    fx_script_hooks.liveParticles = live;
  }
  void TearDown() override {
    fx_script_stop();
    fx_script_hooks = FxScriptHooks();
  }
  void start(const std::string& body) {
    write_file(dir + FX_SCRIPT, (std::string(PARAMS) + body).c_str());
    fx_script_start();
  }
  std::string error() { return get_error_message(); }
};

TEST_F(FxScript, SlotsReachTheParticleAndColoursPack) {
  start(R"(
    ramp <- ColorRamp.constRamp(0xffffffff);
    sizes <- FloatRamp.linear(1.0, 2.0);
    function burst(pos, dir, extra, scale) {
      add_blend_particle(pos, dir, params({}));
      add_glow_particle(pos, dir, params({ color = [2.0, -1.0, 0.5, 1.0], colorAnim = ramp, sizeAnim = sizes }));
    }
  )");
  ASSERT_EQ(error(), "");
  call_fx_script("burst", vec4f(1, 2, 3, 1), vec4f(4, 5, 6, 0.5f), vec4f(), 1);
  ASSERT_EQ(error(), "");
  ASSERT_EQ(spawned.size(), 2u);
  const Spawned& b = spawned[0];
  EXPECT_FALSE(b.glow);
  EXPECT_EQ(b.pos.z, 3.f);
  EXPECT_EQ(b.vel.w, 0.5f);
  EXPECT_EQ(b.accel.y, -1.f);
  EXPECT_EQ(b.life, 2.f);
  EXPECT_EQ(b.delay, 0.25f);
  EXPECT_EQ(b.size, 3.f);
  EXPECT_EQ(b.mapU, 64.f);
  EXPECT_EQ(b.mapV, 128.f);
  EXPECT_EQ(b.mapSize, 32.f);
  EXPECT_EQ(b.startRoll, 0.5f);
  EXPECT_EQ(b.rollScale, 1.5f);
  EXPECT_EQ(b.color, 0x80ff0000u) << "an integer colour is taken unchanged";
  EXPECT_EQ(b.colorAnim, nullptr);
  const Spawned& g = spawned[1];
  EXPECT_TRUE(g.glow);
  EXPECT_EQ(g.color, 0xffff0080u) << "clamped, scaled, 127.5 rounded up";
  ASSERT_NE(g.colorAnim, nullptr);
  EXPECT_EQ(g.colorAnim->v[0].w, 1.f);
  ASSERT_NE(g.sizeAnim, nullptr);
  EXPECT_FLOAT_EQ(g.sizeAnim->v[256], 2.f);
  EXPECT_EQ(g.rollAnim, nullptr);
}

TEST_F(FxScript, DrawsFromItsOwnRandomSequenceNotTheGames) {
  start(R"(
    function roll(pos, dir, extra, scale) { add_blend_particle(make4f(frnd(), srnd(), hmfrnd(), 1), dir, params({})); }
    function update_fx(dt) { frnd(); }
  )");
  game_rnd_seed = 1234;
  call_fx_script("roll", vec4f(), vec4f(), vec4f(), 1);
  fx_script_update(0.05f);
  call_fx_script("roll", vec4f(), vec4f(), vec4f(), 1);
  ASSERT_EQ(error(), "");
  EXPECT_EQ(game_rnd_seed, 1234u);
  ASSERT_EQ(spawned.size(), 2u);
  EXPECT_NE(spawned[0].pos.x, spawned[1].pos.x) << "its own sequence goes on from call to call";
  EXPECT_GE(spawned[0].pos.x, 0.f);
  EXPECT_LT(spawned[0].pos.x, 1.f);
}

TEST_F(FxScript, BadSlotsAreScriptErrorsAndTheServiceGoesOn) {
  start(R"(
    function no_life(pos, dir, extra, scale) {
      local p = params({});
      delete p.life;
      add_blend_particle(pos, dir, p);
    }
    function array_accel(pos, dir, extra, scale) { add_glow_particle(pos, dir, params({ accel = [0, 1, 0, 0] })); }
    function good(pos, dir, extra, scale) { add_glow_particle(pos, dir, params({})); }
  )");
  call_fx_script("no_life", vec4f(), vec4f(), vec4f(), 0);
  EXPECT_EQ(error().rfind("Error in fx script:\n", 0), 0u) << error();
  EXPECT_TRUE(spawned.empty());
  set_error_message(nullptr);
  call_fx_script("array_accel", vec4f(), vec4f(), vec4f(), 0);
  EXPECT_NE(error(), "") << "accel must be a vec4f instance";
  EXPECT_TRUE(spawned.empty());
  set_error_message(nullptr);
  call_fx_script("good", vec4f(), vec4f(), vec4f(), 0);
  EXPECT_EQ(error(), "");
  EXPECT_EQ(spawned.size(), 1u);
}

TEST_F(FxScript, MissingScriptFileIsNamed) {
  fx_script_start();
  EXPECT_EQ(error(), "Error in fx script:\ncan't open script file '" + dir + FX_SCRIPT + "'");
  call_fx_script("anything", vec4f(), vec4f(), vec4f(), 0);
  fx_script_update(0.05f);
  EXPECT_TRUE(spawned.empty());
}

TEST_F(FxScript, MissingFunctionsAreNamed) {
  start("not_a_function <- null;\n");
  call_fx_script("spawn_nothing_fx", vec4f(), vec4f(), vec4f(), 0);
  EXPECT_EQ(error(), "Error in fx script:\nNo 'spawn_nothing_fx' function in script");
  set_error_message(nullptr);
  call_fx_script("not_a_function", vec4f(), vec4f(), vec4f(), 0);
  EXPECT_EQ(error(), "Error in fx script:\nNo 'not_a_function' function in script");
}

TEST_F(FxScript, CalledWithCopiesOfTheVectors) {
  start(R"(
    seen <- 0.0;
    function poke(a, b, c, f) { a[0] = 99.0; seen = a[1] + b[2] + c[3] + f; }
    function get_seen(a, b, c, f) { add_blend_particle(vec4f(seen), a, params({})); }
  )");
  vec4f a(1, 2, 3, 4), b(5, 6, 7, 8), c(9, 10, 11, 12);
  call_fx_script("poke", a, b, c, 0.5f);
  EXPECT_EQ(a.x, 1.f) << "the script gets its own copies";
  call_fx_script("get_seen", a, b, c, 0);
  ASSERT_EQ(spawned.size(), 1u);
  EXPECT_FLOAT_EQ(spawned[0].pos.x, 2 + 7 + 12 + 0.5f);
}

TEST_F(FxScript, UpdateFxRunsEachStepAndItsErrorsAreShown) {
  start(R"(
    steps <- 0;
    function update_fx(dt) {
      steps++;
      if (steps == 3) throw "third step";
      add_glow_particle(vec4f(dt), vec4f(0.0), params({}));
    }
  )");
  fx_script_update(0.05f);
  fx_script_update(0.05f);
  EXPECT_EQ(spawned.size(), 2u);
  EXPECT_FLOAT_EQ(spawned[0].pos.x, 0.05f);
  fx_script_update(0.05f);
  EXPECT_NE(error().find("third step"), std::string::npos) << error();
  EXPECT_TRUE(std::regex_search(error(), std::regex("fx\\.nut:[0-9]+:[0-9]+: third step"))) << "with its place: " << error();
  fx_script_update(0.05f);
  EXPECT_EQ(spawned.size(), 3u) << "the script goes on after an error";
}

TEST_F(FxScript, AnEndlessStepIsStoppedOnceAndTheScriptRestsUntilFixed) {
#ifndef SQ_HAS_CALLTIMELIMIT
  GTEST_SKIP() << "the installed Squirrel has no watchdog";
#else
  start(R"(
    function burst(pos, dir, extra, scale) { add_glow_particle(pos, dir, params({})); }
    function update_fx(dt) {
      while (true) {}
    }
  )");
  EXPECT_FLOAT_EQ(sq_getcalltimelimit(fx_script_vm.vm), SqReloadableVM::applied_time_limit(FX_SCRIPT_TIME_LIMIT_S));
  sq_setcalltimelimit(fx_script_vm.vm, 0.1f);  // the test need not wait half a second
  fx_script_update(0.05f);
  EXPECT_TRUE(std::regex_search(error(), std::regex("fx\\.nut:[0-9]+:[0-9]+: script ran for more than 0\\.1 s")))
      << error();
  // Resting: neither steps nor effects call into the script any more.
  set_error_message(nullptr);
  fx_script_update(0.05f);
  call_fx_script("burst", vec4f(), vec4f(), vec4f(), 0);
  EXPECT_EQ(error(), "");
  EXPECT_EQ(spawned.size(), 0u);

  write_file(dir + FX_SCRIPT, (std::string(PARAMS) + R"(
    function burst(pos, dir, extra, scale) { add_glow_particle(pos, dir, params({})); }
    function update_fx(dt) {}
  )").c_str());
  set_file_time(dir + FX_SCRIPT, 5000);
  EXPECT_TRUE(fx_script_check_reload());
  fx_script_update(0.05f);
  call_fx_script("burst", vec4f(), vec4f(), vec4f(), 0);
  EXPECT_EQ(error(), "");
  EXPECT_EQ(spawned.size(), 1u);
#endif
}

TEST_F(FxScript, BrokenReloadShowsTheErrorAndTheOldFunctionsStay) {
  start(R"(
    function burst(pos, dir, extra, scale) { add_glow_particle(pos, dir, params({})); }
  )");
  call_fx_script("burst", vec4f(), vec4f(), vec4f(), 0);
  ASSERT_EQ(spawned.size(), 1u);
  set_file_time(dir + FX_SCRIPT, 1000);
  write_file(dir + FX_SCRIPT, "function burst(pos, dir, extra, scale) { add_glow_particle(pos, dir, \n");
  set_file_time(dir + FX_SCRIPT, 2000);
  EXPECT_TRUE(fx_script_check_reload());
  EXPECT_EQ(resets, 1) << "the particles of the old script are removed";
  EXPECT_EQ(error().rfind("Error in fx script:\n", 0), 0u) << error();
  EXPECT_TRUE(std::regex_search(error(), std::regex("fx\\.nut:[0-9]+:[0-9]+: "))) << "with its place: " << error();
  EXPECT_FALSE(fx_script_check_reload()) << "nothing changed since";
  call_fx_script("burst", vec4f(), vec4f(), vec4f(), 0);
  EXPECT_EQ(spawned.size(), 1u) << "the old function still runs";

  set_error_message(nullptr);
  write_file(dir + FX_SCRIPT, (std::string(PARAMS) + R"(
    function burst(pos, dir, extra, scale) { add_glow_particle(pos, dir, params({ size = 7.0 })); }
    function update_fx(dt) {}
  )").c_str());
  set_file_time(dir + FX_SCRIPT, 3000);
  EXPECT_TRUE(fx_script_check_reload());
  EXPECT_EQ(error(), "");
  call_fx_script("burst", vec4f(), vec4f(), vec4f(), 0);
  ASSERT_EQ(spawned.size(), 1u);
  EXPECT_EQ(spawned[0].size, 7.f) << "the next effect uses the edited script";
}

TEST_F(FxScript, RampsMadeOnTheFlyLiveAsLongAsParticles) {
  start(R"(
    function burst(pos, dir, extra, scale) {
      add_glow_particle(pos, dir, params({ colorAnim = ColorRamp.constRamp(0x40302010) }));
    }
    global_ramp <- FloatRamp.constRamp(2.0);
    function kept(pos, dir, extra, scale) { add_glow_particle(pos, dir, params({ sizeAnim = global_ramp })); }
  )");
  call_fx_script("burst", vec4f(), vec4f(), vec4f(), 0);
  call_fx_script("burst", vec4f(), vec4f(), vec4f(), 0);
  call_fx_script("kept", vec4f(), vec4f(), vec4f(), 0);
  call_fx_script("kept", vec4f(), vec4f(), vec4f(), 0);
  sq_collectgarbage(fx_script_vm.vm);
  EXPECT_EQ(fx_pinned_ramp_count(), 3) << "two made on the fly, one global held once";
  ASSERT_EQ(spawned.size(), 4u);
  EXPECT_FLOAT_EQ(spawned[0].colorAnim->v[128].w, 0x40 / 255.f);
  spawned.clear();
  fx_script_update(0.05f);
  EXPECT_EQ(fx_pinned_ramp_count(), 0) << "released once no particle is left";
}

std::string read_data(const char* rel) {
  std::ifstream in(std::string(DATA_DIR) + "/" + rel, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// The game's script: every demonstrated effect runs without an error and
// makes particles, in flight (called each step) or as a burst.
TEST_F(FxScript, GameEffectsAllRun) {
  std::string text = read_data(FX_SCRIPT);
  ASSERT_FALSE(text.empty());
  write_file(dir + FX_SCRIPT, text.c_str());
  fx_script_start();
  ASSERT_EQ(error(), "");
  const char* names[] = {"fireball_fx",    "fireball_explode_fx", "waterball_fx",       "waterball_splash_fx",
                         "magic_missile_fx", "magic_hit_fx",      "water_source_fx",    "water_sink_fx",
                         "meteor_fx",      "meteor_impact_fx",    "wyvern_breath_fx",   "wyvern_death_fx",
                         "mana_ball_fx",   "portal_fx",           "house_fizzle_fx"};
  call_fx_script("init_fx_data", vec4f(), vec4f(), vec4f(), 0);
  ASSERT_EQ(error(), "");
  for (const char* name : names) {
    spawned.clear();
    for (int step = 0; step < 20; step++)
      call_fx_script(name, vec4f(100, 20, 100, 1), vec4f(10, 0, 5, 0), vec4f(), 1);
    EXPECT_EQ(error(), "") << name;
    EXPECT_GT(spawned.size(), 0u) << name;
    for (const Spawned& s : spawned) {
      EXPECT_GT(s.life, 0.f) << name;
      EXPECT_GE(s.mapU, 0.f) << name;
      EXPECT_LE(s.mapU + s.mapSize, 512.f) << name;
      EXPECT_LE(s.mapV + s.mapSize, 256.f) << name;
    }
    set_error_message(nullptr);
  }
  for (int i = 0; i < 40; i++) call_fx_script("demo_fx", vec4f(100, 20, 100, 1), vec4f(0, 0, 1, 0), vec4f(float(i), 0, 0, 0), 0);
  EXPECT_EQ(error(), "");
}
}  // namespace
