// World generation from the shipped script: the whole default world
// (target: at most 1 s, erosion included) and the time of each layer.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/globals.h"
#include "platform/platform.h"
#include "script/worldgen_script.h"
#include "world/heightmap.h"

namespace {
// The script files live in the program directory next to the benchmarks'.
void use_program_dir() {
  char exe[260];
  if (!get_exe_path(exe, sizeof(exe))) return;
  std::snprintf(app_path, sizeof(app_path), "%s../bin/", exe);
}

bool setup() {
  static bool ok = [] {
    use_program_dir();
    init_ref_time();
    return create_world_gen_vm();
  }();
  return ok;
}

void BM_DefaultWorld(benchmark::State& state) {
  if (!setup()) return state.SkipWithError("world script did not load");
  uint64_t seed = 1;
  for (auto _ : state) {
    game_rnd_seed = seed++;
    if (!generate_world()) return state.SkipWithError("generation failed");
  }
}
BENCHMARK(BM_DefaultWorld)->Unit(benchmark::kMillisecond)->Iterations(8);

// The layers of generate_world, run one by one with their time each.
const char* LAYERS =
    "function layer_0() { reset_world_state(); reseed_noise(); ::W <- roll_world(); ::P <- make_palette(W); }\n"
    "function layer_1() { shape_landforms(W); }\n"
    "function layer_2() { add_features(W, P); ::SEA <- settle_sea_level(W); }\n"
    "function layer_3() { paint_ground(P); }\n"
    "function layer_4() { erode_land(W); }\n"
    "function layer_5() { paint_surface(W, P, SEA); }\n"
    "function layer_6() { found_settlement(W, SEA); }\n"
    "function layer_7() { flood_sea(SEA); }\n";
const char* LAYER_NAMES[] = {"setup_palette", "landforms", "features_sea_level", "ground_colours",
                             "erosion",       "surface",   "settlement",         "sea"};
constexpr int NUM_LAYERS = 8;

void reset_world_state(HSQUIRRELVM) { HeightmapData::reset(); }

void BM_WorldLayers(benchmark::State& state) {
  if (!setup()) return state.SkipWithError("world script did not load");
  HSQUIRRELVM vm = world_gen_vm.vm;
  sqbind::register_global(vm, "reset_world_state", &reset_world_state);
  if (!sqbind::compile_buffer(vm, LAYERS, SQInteger(std::strlen(LAYERS)), "layers")) return state.SkipWithError("");
  sq_pushroottable(vm);
  sq_call(vm, 1, SQFalse, SQTrue);
  sq_poptop(vm);
  sqbind::SqFunc layer[NUM_LAYERS];
  for (int i = 0; i < NUM_LAYERS; i++) {
    char name[16];
    std::snprintf(name, sizeof(name), "layer_%d", i);
    layer[i].bind(vm, name);
  }
  double total[NUM_LAYERS] = {};
  uint64_t seed = 1;
  int64_t runs = 0;
  for (auto _ : state) {
    game_rnd_seed = seed++;
    for (int i = 0; i < NUM_LAYERS; i++) {
      auto t0 = std::chrono::steady_clock::now();
      layer[i].call();
      total[i] += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    }
    sq_collectgarbage(vm);
    runs++;
  }
  for (int i = 0; i < NUM_LAYERS; i++) state.counters[std::string("ms_") + LAYER_NAMES[i]] = total[i] / double(runs);
}
BENCHMARK(BM_WorldLayers)->Unit(benchmark::kMillisecond)->Iterations(8);
}  // namespace

BENCHMARK_MAIN();
