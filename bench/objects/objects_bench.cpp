// Proximity bins under a moving crowd: the cost of updating an object's bin
// every step and of the module's neighbourhood queries.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "objects/game_objects.h"
#include "objects/proximity.h"

namespace {
struct Crowd : GameObj {
  float x = 0, z = 0, vx = 0, vz = 0, r = 0.5f;
  vec4f rect() const { return vec4f(x - r, z - r, x + r, z + r); }
};

uint32_t rnd_state = 12345;
float rnd01() {
  rnd_state = rnd_state * 1664525u + 1013904223u;
  return float(rnd_state >> 8) / float(1u << 24);
}

struct World {
  std::vector<Crowd> objs;
  explicit World(int n) : objs(size_t(n)) {
    for (Crowd& o : objs) {
      o.x = rnd01() * 256;
      o.z = rnd01() * 256;
      o.vx = (rnd01() - 0.5f) * 2;  // up to 1 unit a step, a fast missile
      o.vz = (rnd01() - 0.5f) * 2;
      o.r = rnd01() < 0.05f ? 6.f : 0.5f;  // a few large ones
      update_proximity(&o, o.rect());
    }
  }
  ~World() {
    for (Crowd& o : objs) remove_proximity_object(&o);
    for (ProximityBin& b : proximity) b.reset();
  }
  void step() {
    for (Crowd& o : objs) {
      o.x += o.vx;
      o.z += o.vz;
      update_proximity(&o, o.rect());
    }
  }
};

// One simulation step: every object moves and updates its bin.
void BM_UpdateProximity(benchmark::State& state) {
  World w(int(state.range(0)));
  for (auto _ : state) w.step();
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_UpdateProximity)->Arg(100)->Arg(1000)->Arg(5000);

// A query around a point (a 16-unit square) and the walk over what it lists.
void BM_ProximityQuery(benchmark::State& state) {
  World w(int(state.range(0)));
  ProximityQuery q;
  int found = 0;
  for (auto _ : state) {
    float x = rnd01() * 256, z = rnd01() * 256;
    q.proximityQuery(vec4f(x - 8, z - 8, x + 8, z + 8), false);
    while (GameObj* o = q.next()) found += o->proximityBin >= 0;
  }
  benchmark::DoNotOptimize(found);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ProximityQuery)->Arg(100)->Arg(1000)->Arg(5000);
}  // namespace

BENCHMARK_MAIN();
