// A step of the living world in the real module: 30 wyverns hunting 10 mana
// gatherers (and the player) over rolling land, with their fire breath and
// the gatherers' mana balls going through the effect script. Measures
// update_gameobj alone, with and without the effect script; the particles'
// own update is measured with the effects.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include <squirrel.h>

#include "objects/game_objects.h"
#include "objects/module_host.h"
#include "objects/object_lists.h"
#include "objects/shell_exports.h"
#include "objects/spell_grid.h"
#include "platform/globals.h"
#include "render/trailFx.h"
#include "script/fx_script.h"
#include "world/heightmap.h"

void camera_set_angles(float, float) {}

namespace {
using namespace HeightmapData;

constexpr int WYVERNS = 30, GATHERERS = 10;
int particles_asked = 0;
void count_particle(const vec4f&, const vec4f&, const vec4f&, float, float, float, D3dColor, float, float, float, float,
                    float, const ColorRamp*, const FloatRamp*, const FloatRamp*) {
  particles_asked++;
}

void run_script(const char* text) {
  HSQUIRRELVM vm = sq_open(1024);
  reinterpret_cast<GameobjBindFn>(gameobj_entry.bind_gameobj)(vm);
  if (SQ_SUCCEEDED(sq_compilebuffer(vm, text, SQInteger(std::strlen(text)), "bench", SQFalse))) {
    sq_pushroottable(vm);
    sq_call(vm, 1, SQFalse, SQFalse);
  }
  sq_close(vm);
}

// Gatherers that burn down are put back, and the wyverns kept at 30, so
// that every timed step has the whole crowd.
void top_up(float t) {
  char line[96];
  for (int i = ManaGatherer_list.count; i < GATHERERS; i++) {
    float a = 0.628f * float(i) + t;
    std::snprintf(line, sizeof(line), "spawn_gatherer(%.2f, %.2f)", 128 + std::sin(a) * 30, 128 + std::cos(a) * 30);
    run_script(line);
  }
  auto spawn = reinterpret_cast<void (*)(const vec4f&)>(gameobj_entry.spawn_monster);
  for (int i = WyvernMonster_list.count; i < WYVERNS; i++) {
    float a = 0.21f * float(i) + t;
    spawn(vec4f(128 + std::sin(a) * 90, 30, 128 + std::cos(a) * 90, 1));
  }
}

void BM_LivingWorldStep(benchmark::State& state) {
  for (auto& row : water)
    for (Water& w : row) w = Water{};
  for (int z = 0; z < HMAP_SIZE; z++)
    for (int x = 0; x < HMAP_SIZE; x++)
      hmap[cellIndex(x, z)] = target_hmap[cellIndex(x, z)] =
          8 + 6 * std::sin(float(x) * 0.05f) * std::cos(float(z) * 0.07f);
  std::snprintf(app_path, sizeof(app_path), "%s/", GAMEOBJ_BIN_DIR);
  if (chdir(DATA_DIR) != 0) state.SkipWithError("no data directory");
  fx_script_hooks.addBlendParticle = count_particle;
  fx_script_hooks.addGlowParticle = count_particle;
  bool with_script = state.range(0) != 0;
  if (with_script) fx_script_start();
  reset_trails();
  load_gameobj_module();
  reinterpret_cast<GameobjVoidFn>(gameobj_entry.init_gameobj)();
  run_script("set_castle_site(128, 128)");
  monster_spawn_enabled = false;  // the crowd is kept by hand
  Player* p = local_player;
  p->placeAtCamera(vec4f(128, 40, 100, 1));
  p->health = 1e9f;
  auto update = reinterpret_cast<GameobjUpdateFn>(gameobj_entry.update_gameobj);
  int step = 0;
  particles_asked = 0;
  for (auto _ : state) {
    state.PauseTiming();
    top_up(float(step) * 0.01f);
    state.ResumeTiming();
    update(step++, 0.05f);
  }
  state.counters["wyverns"] = double(WyvernMonster_list.count);
  state.counters["gatherers"] = double(ManaGatherer_list.count);
  state.counters["particles/step"] = double(particles_asked) / double(step);
  reinterpret_cast<GameobjVoidFn>(gameobj_entry.close_gameobj)();
  shutdown_gameobj_module();
  free_object_lists();
  if (with_script) fx_script_stop();
  fx_script_hooks = FxScriptHooks();
}
// 1: with the effect script; 0: without it, the module's own share.
BENCHMARK(BM_LivingWorldStep)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);
}  // namespace

BENCHMARK_MAIN();
