// CPU cost of drawing 1,000 instances with each instance renderer kind:
// writing the records into the batch nodes and submitting them (copy into
// the shared dynamic buffer, state, instanced draws), on a real GL context.
// The view matrix is zero so the GPU rasterises nothing; the GPU is drained
// outside the timed part.
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "device/d3d_render.h"
#include "device/d3d_shaders.h"
#include "device/dynVBWriter.h"
#include "device/mesh.h"
#include "device/mesh_format.h"
#include "objects/inst_render.h"
#include "platform/globals.h"

namespace {
SDL_Window* window = nullptr;
constexpr int INSTANCES = 1000;

bool copy_file(const std::string& from, const std::string& rel) {
  std::ifstream in(from, std::ios::binary);
  if (!in) return false;
  std::string to = std::string(app_path) + rel;
  std::ofstream out(to, std::ios::binary);
  out << in.rdbuf();
  return bool(out);
}

bool setup() {
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  setenv("TOLVANE_NO_MSGBOX", "1", 1);
  char tmpl[] = "/tmp/tolvane_bench_XXXXXX";
  if (!mkdtemp(tmpl)) return false;
  std::snprintf(app_path, sizeof(app_path), "%s/", tmpl);
  mkdir((std::string(app_path) + "cache").c_str(), 0755);
  mkdir((std::string(app_path) + "meshes").c_str(), 0755);
  for (const char* f : {"land_common.sh", "dr_gbuffer.sh", "building_vertex.sh", "building.sh", "dr_building.sh",
                        "obj_vertex.sh", "obj_forward.sh", "dr_obj.sh", "obj_simple.sh", "dr_obj_simple.sh",
                        "obj_morph.sh", "dr_obj_morph.sh", "obj_spline.sh", "dr_obj_spline.sh"})
    if (!copy_file(std::string(DATA_DIR) + "/" + f, f)) return false;
  for (const char* f : {"castle.dds", "hide.dds", "meshes/castle_wall2.mesh", "meshes/stone1.mesh",
                        "meshes/gatherer_body.mesh", "meshes/wyvern_body.mesh"})
    if (!copy_file(std::string(BIN_DIR) + "/" + f, f)) return false;
  // One triangle with the shaders of each kind: what remains is our own
  // path (records, copy, state, draw calls) with next to no vertex work.
  for (const char* sh : {"building.sh", "obj_simple.sh", "obj_morph.sh", "obj_spline.sh"}) {
    mesh_format::MeshData m;
    m.shaderLow = sh;
    m.shaderHigh = std::string("dr_") + sh;
    m.elements = {{0, 0, VDECL_FLOAT3, VDECL_POSITION, 0}};
    m.stride = 12;
    m.vertices.assign(36, 0);
    m.indices = {0, 1, 2};
    std::vector<uint8_t> file = mesh_format::encode(m);
    std::ofstream(std::string(app_path) + "meshes/tri_" + sh + ".mesh", std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
  }
  if (SDL_Init(SDL_INIT_VIDEO) != 0) return false;
  d3d_prepare_window_attributes();
  use_vsync = false;
  window = SDL_CreateWindow("bench", 0, 0, 64, 64, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (!window || !init_d3d(window, 64, 64)) return false;
  dynVBWriter.init(65536);
  return true;
}

template <typename Rec>
void write_records(InstRender& r, const Rec& proto) {
  for (int i = 0; i < INSTANCES; i++) {
    Rec rec = proto;
    std::memcpy(&rec, &i, sizeof(int16_t));  // vary the first field a little
    std::memcpy(r.append(int(sizeof(Rec))), &rec, sizeof(Rec));
  }
}

template <typename Rec>
void run(benchmark::State& state, InstRender& r, const char* mesh, const char* shader, const Rec& proto) {
  gfx_quality = int(state.range(0));
  r.init(state.range(1) ? (std::string("meshes/tri_") + shader + ".mesh").c_str() : mesh);
  Matrix44 zero;
  std::memset(&zero, 0, sizeof(zero));
  set_vs_const(0, zero.row, 4);
  set_back_buffer_target();
  set_cull_mode(0);
  int n = 0;
  for (auto _ : state) {
    write_records(r, proto);
    r.render();
    if (++n % 16 == 0) {
      state.PauseTiming();
      flush_gpu();
      state.ResumeTiming();
    }
  }
  flush_gpu();
  state.SetItemsProcessed(int64_t(state.iterations()) * INSTANCES);
  r.close();
}

void BM_Building(benchmark::State& state) {
  BuildingInstRender r;
  BuildingInstRecord rec{10, 20, {1, 2, 3, 4}, 0xFF000003u};
  run(state, r, "meshes/castle_wall2.mesh", "building.sh", rec);
}
void BM_Simple(benchmark::State& state) {
  SimpleInstRender r;
  SimpleInstRecord rec;
  make_simple_inst(rec, Matrix44::identity(), D3dColor(0xFFFFFFFFu));
  run(state, r, "meshes/stone1.mesh", "obj_simple.sh", rec);
}
void BM_Morph(benchmark::State& state) {
  MorphInstRender r;
  MorphInstRecord rec;
  make_simple_inst(rec.simple, Matrix44::identity(), D3dColor(0xFFFFFFFFu));
  rec.morph = 0xFF800000u;
  run(state, r, "meshes/gatherer_body.mesh", "obj_morph.sh", rec);
}
void BM_Spline(benchmark::State& state) {
  SplineInstRender r;
  SplineInstRecord rec{{{0, 0, 0}, {0, 0, 1}, {0, 0, 2}, {0, 0, 3}}, 0x40FF80FFu, 0x40FF80FFu, ~0u, ~0u};
  run(state, r, "meshes/wyvern_body.mesh", "obj_spline.sh", rec);
}
// The module's half alone: 1,000 building records written into the batch
// nodes (taken from and given back to the free list, as render() does).
void BM_WriteRecordsOnly(benchmark::State& state) {
  BuildingInstRender r;
  BuildingInstRecord rec{10, 20, {1, 2, 3, 4}, 0xFF000003u};
  for (auto _ : state) {
    write_records(r, rec);
    benchmark::DoNotOptimize(r.first);
    while (r.first) {
      InstBatchNode* b = r.first;
      r.first = b->next;
      b->bytes = 0;
      b->next = inst_free_nodes;
      inst_free_nodes = b;
    }
    r.numBatches = 0;
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * INSTANCES);
}
BENCHMARK(BM_WriteRecordsOnly)->Unit(benchmark::kMicrosecond);

// Arguments: graphics quality (0 low, forward shaders; 1 high, geometry
// pass) and the mesh (0 the game's, 1 a single triangle).
void args(benchmark::internal::Benchmark* b) {
  b->ArgNames({"quality", "tri"})->Args({0, 0})->Args({1, 0})->Args({0, 1})->Unit(benchmark::kMicrosecond);
}
BENCHMARK(BM_Building)->Apply(args);
BENCHMARK(BM_Simple)->Apply(args);
BENCHMARK(BM_Morph)->Apply(args);
BENCHMARK(BM_Spline)->Apply(args);
}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (!setup()) {
    std::fprintf(stderr, "instance renderer bench: no GL device or data (%s)\n", SDL_GetError());
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  close_inst_renderers();
  close_all_meshes();
  dynVBWriter.close();
  close_d3d();
  SDL_DestroyWindow(window);
  SDL_Quit();
  std::system((std::string("rm -rf '") + app_path + "'").c_str());
  return 0;
}
