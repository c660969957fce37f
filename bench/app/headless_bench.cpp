// Headless steps a second: the game's own simulation step (app_update, as
// -headless runs it) on the default world of seed 1, with the module's usual
// objects (castle, stones, gatherers, the player) and 30 wyverns kept alive,
// the effects' pools and the effect script included, nothing drawn. The
// target is 1,000 steps a second on one core (50 times real time), so the
// time is this thread's CPU time, and steps that made a world anew (the
// castle fell to the wyverns, the portal) are not counted: they measure
// world generation, which has its own figures.
#include <benchmark/benchmark.h>

#include <time.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "app/app.h"
#include "app/settings.h"
#include "objects/game_objects.h"
#include "objects/module_host.h"
#include "objects/object_lists.h"
#include "platform/globals.h"
#include "platform/input.h"
#include "platform/platform.h"
#include "world/world_step.h"

namespace {
constexpr int WYVERNS = 30;
constexpr float STEP_SECONDS = 0.05f;

// Wyverns that die are replaced at once, so that every step has all 30.
void keep_wyverns() {
  auto spawn = reinterpret_cast<void (*)(const vec4f&)>(gameobj_entry.spawn_monster);
  for (int i = WyvernMonster_list.count; i < WYVERNS; i++) {
    float a = 0.21f * float(i);
    spawn(vec4f(128 + std::sin(a) * 90, 30, 128 + std::cos(a) * 90, 1));
  }
}

bool world_made = false;
void note_world_made() { world_made = true; }

double thread_seconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

bool start_headless_game() {
  // The castle falls again and again here, and each new world autosaves:
  // into a folder of the benchmark's own, never over a player's saves.
  static struct BenchDataDir {
    char path[32] = "/tmp/tolvane-bench-XXXXXX";
    bool made = mkdtemp(path) != nullptr;
    ~BenchDataDir() {
      if (made) std::filesystem::remove_all(path);
    }
  } data_dir;
  if (data_dir.made) setenv("XDG_DATA_HOME", data_dir.path, 1);
  std::snprintf(app_path, sizeof(app_path), "%s/", GAME_BIN_DIR);
  init_ref_time();
  automation.headless = true;
  game_rnd_seed = 1;
  init_input(nullptr);
  d3d_wd = 1280, d3d_ht = 720;
  app_active = true;
  app_init();
  // World generation restarts the step clock through this hook.
  HeightmapData::world_hooks.restartClock = note_world_made;
  keep_wyverns();
  // The world settles a little before it is timed.
  for (int i = 0; i < 20; i++) {
    app_update(STEP_SECONDS);
    clear_input_step();
  }
  return gameobj_entry.spawn_monster != nullptr;
}

void BM_HeadlessStep(benchmark::State& state) {
  static const bool up = start_headless_game();
  if (!up) {
    state.SkipWithError("the module has no spawn_monster");
    return;
  }
  double counted_seconds = 0;
  int64_t counted_steps = 0, new_worlds = 0;
  for (auto _ : state) {
    keep_wyverns();
    world_made = false;
    double t0 = thread_seconds();
    app_update(STEP_SECONDS);
    clear_input_step();
    double t = thread_seconds() - t0;
    if (world_made) {
      new_worlds++;
      state.SetIterationTime(0);
      continue;
    }
    counted_seconds += t;
    counted_steps++;
    state.SetIterationTime(t);
  }
  state.counters["wyverns"] = float(WyvernMonster_list.count);
  state.counters["new_worlds"] = double(new_worlds);
  state.counters["steps_per_s"] = counted_seconds > 0 ? double(counted_steps) / counted_seconds : 0;
}
BENCHMARK(BM_HeadlessStep)->Unit(benchmark::kMicrosecond)->UseManualTime()->MinTime(3.0);
}  // namespace

BENCHMARK_MAIN();
