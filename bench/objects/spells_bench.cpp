// A busy step of the real module: 50 missiles in flight (each with its trail
// and flight effect through the effect script) and 20 springs pouring, over
// a rolling landscape. Measures update_gameobj alone (with and without the
// effect script running behind it); the water simulation
// and the particles' own update are measured with their subsystems.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>

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

constexpr int MISSILES = 50, SPRINGS = 20;
int particles_asked = 0;
void count_particle(const vec4f&, const vec4f&, const vec4f&, float, float, float, D3dColor, float, float, float, float,
                    float, const ColorRamp*, const FloatRamp*, const FloatRamp*) {
  particles_asked++;
}

int in_flight() {
  return Fireball_list.count + Waterball_list.count + FaultMissile_list.count + HouseMissile_list.count +
         MeteorMissile_list.count + HillMissile_list.count + PitMissile_list.count + WaterSourceMissile_list.count +
         WaterSinkMissile_list.count + CastleMissile_list.count;
}

uint32_t rnd_state = 777;
float rnd01() {
  rnd_state = rnd_state * 1664525u + 1013904223u;
  return float(rnd_state >> 8) / float(1u << 24);
}

// Casts from high above toward a far point, so that each missile flies for
// a few seconds; fireballs and waterballs (their flight effects are the
// busiest) from the two hands.
void top_up_missiles(Player* p) {
  while (in_flight() < MISSILES) {
    float x = rnd01() * 256, z = rnd01() * 256;
    p->placeAtCamera(vec4f(x, 60, z, 1));
    float a = rnd01() * 6.2831853f;
    vec4f fwd(std::sin(a) * 0.9f, -0.43f, std::cos(a) * 0.9f, 0);
    cur_view_itm.row[2] = fwd;
    cur_view_itm.row[3] = p->eye();
    int hand = in_flight() & 1;
    p->handCooldown[hand] = 0;
    if (!p->castHand(hand)) break;
  }
}

// No water simulation runs here to spread what the springs pour, so it is
// taken away again now and then, before columns of it stand in the missiles' way.
void dry_world() {
  for (auto& row : water)
    for (Water& w : row) w = Water{};
}

void BM_BusyModuleStep(benchmark::State& state) {
  dry_world();
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
  Player* p = local_player;
  p->manaCheat = true;
  p->selectSpell(false, spell_grid[0][0]);
  p->selectSpell(true, spell_grid[0][1]);
  auto add_source = reinterpret_cast<void (*)(const vec4f&, float, float)>(gameobj_entry.add_water_source);
  for (int i = 0; i < SPRINGS; i++) add_source(vec4f(rnd01() * 256, 10, rnd01() * 256, 1), 10, 1e6f);
  auto update = reinterpret_cast<GameobjUpdateFn>(gameobj_entry.update_gameobj);
  int step = 0;
  particles_asked = 0;
  for (auto _ : state) {
    state.PauseTiming();
    top_up_missiles(p);
    if (step % 200 == 0) dry_world();
    state.ResumeTiming();
    update(step++, 0.05f);
  }
  state.counters["missiles"] = double(in_flight());
  state.counters["springs"] = double(WaterSource_list.count);
  state.counters["particles/step"] = double(particles_asked) / double(step);
  reinterpret_cast<GameobjVoidFn>(gameobj_entry.close_gameobj)();
  shutdown_gameobj_module();
  free_object_lists();
  if (with_script) fx_script_stop();
  fx_script_hooks = FxScriptHooks();
}
// 1: with the effect script; 0: without it, the module's own share.
BENCHMARK(BM_BusyModuleStep)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);
}  // namespace

BENCHMARK_MAIN();
