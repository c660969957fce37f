// CPU cost of the land renderer's frame preparation (heights, shown depth,
// centre patches, land and horizon vertices, land indices, water vertices
// and indices) on a generated world with lakes, into plain memory standing
// in for the locked buffers. Also the per-step flowing-water update.
#include <benchmark/benchmark.h>

#include <vector>

#include "render/hmRender.h"
#include "tests/render/test_world.h"

using namespace HeightmapRenderer;


namespace {
struct Buffers {
  std::vector<PatchInstance> patches = std::vector<PatchInstance>(MAX_PATCHES);
  std::vector<LandVertex> land = std::vector<LandVertex>(WINDOW * WINDOW);
  std::vector<uint16_t> land_ib = std::vector<uint16_t>(LAND_IB_INDICES);
  std::vector<LandVertex> horizon = std::vector<LandVertex>(HORIZON_SIZE * HORIZON_SIZE);
  std::vector<float> horizon_depth = std::vector<float>(HORIZON_SIZE * HORIZON_SIZE);
  std::vector<WaterVertexLow> water_lo = std::vector<WaterVertexLow>(WINDOW * WINDOW);
  std::vector<WaterVertexHigh> water_hi = std::vector<WaterVertexHigh>(WINDOW * WINDOW);
  std::vector<uint16_t> water_ib = std::vector<uint16_t>(WATER_IB_INDICES);
};

void setup_world() {
  static bool made = false;
  if (made) return;
  made = true;
  test_world::landscape(7, true);
  // The land on its way to a new shape, so that morphHmap moves every cell.
  for (int i = 0; i < HMAP_CELLS; i++) HeightmapData::target_hmap[i] = HeightmapData::hmap[i] + 3.f;
  for (int i = 0; i < 20; i++) flowStep(0.05f, 128, 128, true);
}

void prepare(Buffers& b, bool high, int cx, int cz) {
  const float dt = 0.02f, t = dt * 20;
  HeightmapData::morphHmap(dt, curh);
  computeShownDepth(t);
  int ox = windowOrigin(cx), oz = windowOrigin(cz);
  benchmark::DoNotOptimize(buildCentrePatches(ox, oz, b.patches.data()));
  buildLandVerts(ox, oz, b.land.data());
  benchmark::DoNotOptimize(buildLandIndices(ox, oz, b.land_ib.data()));
  buildHorizonVerts(cx, cz, b.horizon.data(), b.horizon_depth.data());  // both qualities draw the ring
  if (high) {
    buildWaterVertsHigh(ox, oz, t, b.water_hi.data());
  } else {
    buildWaterVertsLow(ox, oz, t, b.water_lo.data());
  }
  benchmark::DoNotOptimize(buildWaterIndices(ox, oz, b.water_ib.data()));
  benchmark::ClobberMemory();
}

void BM_FramePrepLow(benchmark::State& st) {
  setup_world();
  Buffers b;
  for (auto _ : st) prepare(b, false, 128, 128);
}
BENCHMARK(BM_FramePrepLow)->Unit(benchmark::kMillisecond);

void BM_FramePrepHigh(benchmark::State& st) {
  setup_world();
  Buffers b;
  for (auto _ : st) prepare(b, true, 128, 128);
}
BENCHMARK(BM_FramePrepHigh)->Unit(benchmark::kMillisecond);

// The camera at a map corner: every row and column of the window wraps.
void BM_FramePrepHighAtSeam(benchmark::State& st) {
  setup_world();
  Buffers b;
  for (auto _ : st) prepare(b, true, 3, 250);
}
BENCHMARK(BM_FramePrepHighAtSeam)->Unit(benchmark::kMillisecond);

// The pieces of one high-quality frame.
void BM_Piece(benchmark::State& st) {
  setup_world();
  Buffers b;
  HeightmapData::morphHmap(0.02f, curh);
  computeShownDepth(0.4f);
  int ox = windowOrigin(128), oz = windowOrigin(128);
  for (auto _ : st) {
    switch (st.range(0)) {
      case 0: HeightmapData::morphHmap(0.02f, curh); break;
      case 1: computeShownDepth(0.4f); break;
      case 2: benchmark::DoNotOptimize(buildCentrePatches(ox, oz, b.patches.data())); break;
      case 3: buildLandVerts(ox, oz, b.land.data()); break;
      case 4: benchmark::DoNotOptimize(buildLandIndices(ox, oz, b.land_ib.data())); break;
      case 5: buildHorizonVerts(128, 128, b.horizon.data(), b.horizon_depth.data()); break;
      case 6: buildWaterVertsHigh(ox, oz, 0.4f, b.water_hi.data()); break;
      case 7: benchmark::DoNotOptimize(buildWaterIndices(ox, oz, b.water_ib.data())); break;
    }
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Piece)
    ->ArgName("piece")
    ->DenseRange(0, 7)
    ->Unit(benchmark::kMicrosecond);

// Once per simulation step, not per frame.
void BM_FlowStep(benchmark::State& st) {
  setup_world();
  bool high = st.range(0) != 0;
  for (auto _ : st) flowStep(0.05f, 128, 128, high);
}
BENCHMARK(BM_FlowStep)->ArgName("high")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
}  // namespace

BENCHMARK_MAIN();
