// Costs of the per-frame world passes, the generators and the erosion.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "world/erosion.h"
#include "world/heightmap.h"
#include "world/hmGen.h"
#include "world/noise.h"
#include "world/world_step.h"

using namespace HeightmapData;

namespace {
// A typical generated landscape: noise layers, plateaus and a fault.
void generated_world(uint64_t seed) {
  reset();
  set_rnd_seed(int64_t(seed));
  reseed_noise();
  addFastNoise(0, 12, nullptr, GT_SOIL, 255, 0.5f);
  addSimplexNoise(0, 30, 4, 6, 0.5f);
  genVoronoiFaults(4, 0, 10, 0.3f, 2, 3, 3);
  genFault({80, 80}, {1, 0.5f}, 15, 0.5f, 2, nullptr, GT_ROCK, 255, hmap);
  recenterHt();
}

void wet_world() {
  generated_world(7);
  for (int z = 0; z < HMAP_SIZE; z++)
    for (int x = 0; x < HMAP_SIZE; x++) {
      float h = hmap[(z << 8) | x];
      water[z][x].depth = h < 0 ? -h : 0.0f;
    }
  addWater(0.5f);
  std::memcpy(tmpw, water, sizeof(water));
  for (int i = 0; i < 40; i++) simWater(0.05f);  // flows established
}

// One water pass a step over the wet world, its flows set; wide = false keeps
// it to the sweep CPUs without AVX2 run (four lanes for the water, plain for
// the foam), for comparison where the eight-lane sweeps run.
void time_water_pass(benchmark::State& st, void (*pass)(float), bool wide) {
  wet_world();
  setWaterWideLanes(wide);
  for (auto _ : st) {
    pass(0.05f);
    benchmark::ClobberMemory();
  }
  setWaterWideLanes(true);
  st.SetItemsProcessed(st.iterations() * HMAP_CELLS);
}

void BM_SimWater(benchmark::State& st) { time_water_pass(st, simWater, true); }
BENCHMARK(BM_SimWater)->Unit(benchmark::kMicrosecond);
void BM_SimWaterFourLanes(benchmark::State& st) { time_water_pass(st, simWater, false); }
BENCHMARK(BM_SimWaterFourLanes)->Unit(benchmark::kMicrosecond);

// The foam's drift.
void BM_AdvectFoam(benchmark::State& st) { time_water_pass(st, advectFoam, true); }
BENCHMARK(BM_AdvectFoam)->Unit(benchmark::kMicrosecond);
void BM_AdvectFoamPlain(benchmark::State& st) { time_water_pass(st, advectFoam, false); }
BENCHMARK(BM_AdvectFoamPlain)->Unit(benchmark::kMicrosecond);

// The machine's copy bandwidth on the same arrays: water into tmpw (1 MiB each).
void BM_CopyWater(benchmark::State& st) {
  for (auto _ : st) {
    std::memcpy(tmpw, water, sizeof(water));
    benchmark::ClobberMemory();
  }
  st.SetBytesProcessed(st.iterations() * int64_t(2 * sizeof(water)));
}
BENCHMARK(BM_CopyWater)->Unit(benchmark::kMicrosecond);

void moving_terrain() {
  for (int i = 0; i < HMAP_CELLS; i++) {
    hmap[i] = float(i % 101) * 0.1f;
    target_hmap[i] = float(i % 37) * 0.3f;
  }
}

void BM_UpdateHmap(benchmark::State& st) {
  moving_terrain();
  for (auto _ : st) {
    updateHmap(0.05f);
    // Keep every block moving so nothing is skipped.
    st.PauseTiming();
    moving_terrain();
    st.ResumeTiming();
  }
}
BENCHMARK(BM_UpdateHmap)->Unit(benchmark::kMicrosecond);

void BM_UpdateHmapAtRest(benchmark::State& st) {
  generated_world(3);
  std::memcpy(target_hmap, hmap, sizeof(hmap));
  for (auto _ : st) {
    updateHmap(0.05f);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_UpdateHmapAtRest)->Unit(benchmark::kMicrosecond);

void BM_MorphHmap(benchmark::State& st) {
  alignas(16) static float morphed[HMAP_CELLS];
  moving_terrain();
  for (auto _ : st) {
    morphHmap(0.05f, morphed);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_MorphHmap)->Unit(benchmark::kMicrosecond);

void BM_ReseedNoise(benchmark::State& st) {
  for (auto _ : st) reseed_noise();
}
BENCHMARK(BM_ReseedNoise)->Unit(benchmark::kMicrosecond);

template <typename F>
void run_generator(benchmark::State& st, F&& f) {
  generated_world(11);
  for (auto _ : st) {
    f();
    benchmark::ClobberMemory();
  }
}

ColorRamp& test_ramp() {
  static ColorRamp r = [] {
    ColorRamp c;
    for (int i = 0; i < RAMP_ENTRIES; i++) c.v[i] = vec4f(i / 256.0f, 0.6f, 0.3f, 0.7f);
    return c;
  }();
  return r;
}

void BM_MakeFastNoise(benchmark::State& st) {
  std::vector<float> out(HMAP_CELLS);
  run_generator(st, [&] { makeFastNoise(out.data(), 1, 0.5f); });
}
BENCHMARK(BM_MakeFastNoise)->Unit(benchmark::kMillisecond);

void BM_AddFastNoise(benchmark::State& st) {
  run_generator(st, [] { addFastNoise(0, 10, &test_ramp(), GT_SOIL, 255, 0.5f); });
}
BENCHMARK(BM_AddFastNoise)->Unit(benchmark::kMillisecond);

void BM_AddSimplexNoise(benchmark::State& st) {
  int octaves = int(st.range(0));
  run_generator(st, [=] { addSimplexNoise(0, 10, 4, octaves, 0.5f); });
}
BENCHMARK(BM_AddSimplexNoise)->Arg(4)->Arg(8)->Unit(benchmark::kMillisecond);

void BM_AddVoronoiHills(benchmark::State& st) {
  run_generator(st, [] { addVoronoiHills(16, 0, 10, 0.8f); });
}
BENCHMARK(BM_AddVoronoiHills)->Unit(benchmark::kMillisecond);

void BM_GenVoronoiFaults(benchmark::State& st) {
  int octaves = int(st.range(0));
  run_generator(st, [=] { genVoronoiFaults(8, 0, 10, 0.3f, 2, octaves, 3); });
}
BENCHMARK(BM_GenVoronoiFaults)->Arg(3)->Arg(6)->Unit(benchmark::kMillisecond);

void BM_GenFault(benchmark::State& st) {
  run_generator(st, [] { genFault({128, 128}, {1, 0.3f}, 20, 0.5f, 3, &test_ramp(), GT_SAND, 255, hmap); });
}
BENCHMARK(BM_GenFault)->Unit(benchmark::kMillisecond);

void BM_GenCrater(benchmark::State& st) {
  float r = float(st.range(0));
  run_generator(st, [=] { genCrater({128, 128}, r, 1, hmap); });
}
BENCHMARK(BM_GenCrater)->Arg(20)->Arg(64)->Unit(benchmark::kMillisecond);

void BM_PlaceCastle(benchmark::State& st) {
  run_generator(st, [] { placeHouse(128, 128, -1, hmap, true); });
}
BENCHMARK(BM_PlaceCastle)->Unit(benchmark::kMicrosecond);

// The erode key: 92160 droplets with its parameters on a generated world.
void BM_ErodeKey(benchmark::State& st) {
  uint64_t steps = 0, droplets = 0;
  double elapsedMs = 0;
  for (auto _ : st) {
    st.PauseTiming();
    generated_world(5);
    set_rnd_seed(99);
    ErosionParams p;
    setErodeKeyParams(p);
    std::fflush(stdout);
    st.ResumeTiming();
    genDropletErosion(ERODE_KEY_DROPLETS, p);
    steps += last_erosion_stats.steps;
    elapsedMs += last_erosion_stats.elapsedMs;
    droplets += ERODE_KEY_DROPLETS;
  }
  st.counters["ns_per_step"] = double(elapsedMs) * 1e6 / double(steps);
  st.counters["droplets_per_s"] = benchmark::Counter(double(droplets), benchmark::Counter::kIsRate);
  st.counters["avg_path"] = double(steps) / double(droplets);
}
BENCHMARK(BM_ErodeKey)->Unit(benchmark::kMillisecond)->Iterations(3);

// Default parameters (Kq 10, Kd 0.02): longer paths, more erosion per step.
void BM_ErodeDefault(benchmark::State& st) {
  uint64_t steps = 0, droplets = 0;
  double elapsedMs = 0;
  for (auto _ : st) {
    st.PauseTiming();
    generated_world(5);
    set_rnd_seed(99);
    ErosionParams p;
    st.ResumeTiming();
    genDropletErosion(20000, p);
    steps += last_erosion_stats.steps;
    elapsedMs += last_erosion_stats.elapsedMs;
    droplets += 20000;
  }
  st.counters["ns_per_step"] = double(elapsedMs) * 1e6 / double(steps);
  st.counters["droplets_per_s"] = benchmark::Counter(double(droplets), benchmark::Counter::kIsRate);
  st.counters["avg_path"] = double(steps) / double(droplets);
}
BENCHMARK(BM_ErodeDefault)->Unit(benchmark::kMillisecond)->Iterations(3);
}  // namespace

BENCHMARK_MAIN();
