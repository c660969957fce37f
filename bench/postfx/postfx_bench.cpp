// Cost of the full-screen passes at 1280 x 720, each against a plain
// full-screen copy measured in the same run. Wall time around a GPU flush,
// so on the software renderer the figures are the rasteriser's.
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

#include "platform/globals.h"
#include "platform/platform.h"
#include "device/d3d_render.h"
#include "device/d3d_shaders.h"
#include "device/d3d_texture.h"
#include "device/dynVBWriter.h"
#include "render/postfx.h"
#include "render/scene_deferred.h"


namespace {
constexpr int W = 1280, H = 720;
SDL_Window* window = nullptr;

ShaderRecord* copy_shader() {
  static ShaderRecord* s = load_shader("postfx_none.sh", nullptr);
  return s;
}

bool open_device() {
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  setenv("TOLVANE_NO_MSGBOX", "1", 1);
  if (!get_exe_path(app_path, sizeof(app_path))) return false;
  // The benchmark lives in build/bench; the data files are in build/bin.
  std::snprintf(app_path, sizeof(app_path), "%s../bin/", TempString(app_path).c_str());
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
  d3d_prepare_window_attributes();
  window = SDL_CreateWindow("bench", 0, 0, W, H, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (!window || !init_d3d(window, W, H)) return false;
  dynVBWriter.init(65536);
  create_scene_image_texture();
  init_postfx();
  init_deferred();
  set_proj_tm(1.29f, float(W) / H, 0.1f, 512.f);
  return true;
}

// Marks every pixel as a surface in the stencil, so the deferred passes
// shade the whole screen.
void mark_all_surfaces() {
  set_render_target(0, postfx_tex[POSTFX_C], true);
  clear_view_z();
  set_stencil_test(1, 1, CMP_ALWAYS);
  set_stencil_replace_bits(1);
  set_texture(0, scene_image);
  set_shaders(copy_shader());
  draw_postfx();
  set_stencil_replace_bits(0);
}


template <typename F>
void run_pass(benchmark::State& state, F pass) {
  pass();
  flush_gpu();
  for (auto _ : state) {
    pass();
    flush_gpu();
  }
}

void BM_PlainCopy(benchmark::State& state) {
  run_pass(state, [] {
    set_render_target(0, postfx_tex[POSTFX_A], false);
    set_texture(0, scene_image);
    set_fullscreen_tc_const(16, W, H);
    set_ps_const(1, vec4f(0, 0, 0, 0));
    set_shaders(copy_shader());
    draw_postfx();
  });
}

void BM_Mlaa(benchmark::State& state) {
  run_pass(state, [] { render_mlaa(); });
}

void BM_DeferredLight(benchmark::State& state) {
  mark_all_surfaces();
  run_pass(state, [] { render_deferred_light_pass(); });
}

void BM_DeferredFinal(benchmark::State& state) {
  mark_all_surfaces();
  run_pass(state, [] { render_deferred_final_pass(); });
}

void BM_ColourGrade(benchmark::State& state) {
  use_postfx = true;
  use_ppaa = false;
  float none[4] = {0, 0, 0, 0};
  run_pass(state, [&] { render_post_pass(none); });
}
}  // namespace

BENCHMARK(BM_PlainCopy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mlaa)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeferredLight)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeferredFinal)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ColourGrade)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  if (!open_device()) {
    std::fprintf(stderr, "postfx_bench: no GL device: %s\n", SDL_GetError());
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  close_postfx();
  release_scene_image_texture();
  dynVBWriter.close();
  close_d3d();
  return 0;
}
