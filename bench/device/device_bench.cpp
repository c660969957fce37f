// Cost of the render device layer per draw call, per state change and per
// buffer refill, on a real GL context (headless: Mesa's software renderer
// unless the environment picks another video driver).
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/globals.h"
#include "device/d3d_render.h"
#include "device/d3d_shaders.h"
#include "device/d3d_texture.h"
#include "device/d3d_vbuf.h"
#include "device/dynVBWriter.h"


namespace {
SDL_Window* window = nullptr;
Texture* target = nullptr;
Texture* tex = nullptr;
VertexBuffer* quad = nullptr;
ShaderRecord* shader = nullptr;
VDecl* decl = nullptr;

const char* BENCH_SH = R"(
#ifdef VSH
in vec3 POSITION0;
out vec2 uv;
vec4 vsh() { uv = POSITION0.xy * vc[16].xy + vc[16].zw; return vec4(POSITION0 * 0.5, 1.0); }
#endif
#ifdef PSH
uniform sampler2D tex0;
in vec2 uv;
vec4 psh() { return texture(tex0, uv) * pc[0]; }
#endif
)";

bool setup() {
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  setenv("TOLVANE_NO_MSGBOX", "1", 1);
  char tmpl[] = "/tmp/tolvane_bench_XXXXXX";
  if (!mkdtemp(tmpl)) return false;
  std::snprintf(app_path, sizeof(app_path), "%s/", tmpl);
  std::string cache = std::string(app_path) + "cache";
  mkdir(cache.c_str(), 0755);
  FILE* f = std::fopen((std::string(app_path) + "bench.sh").c_str(), "wb");
  if (!f) return false;
  std::fputs(BENCH_SH, f);
  std::fclose(f);
  if (SDL_Init(SDL_INIT_VIDEO) != 0) return false;
  d3d_prepare_window_attributes();
  use_vsync = false;
  window = SDL_CreateWindow("bench", 0, 0, 64, 64, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (!window || !init_d3d(window, 64, 64)) return false;
  // A tiny target keeps the rasteriser out of the measurement.
  target = create_render_target(4, 4, RT_A8R8G8B8);
  tex = create_managed_texture(4, 4);
  quad = create_vb(48, BUF_STATIC);
  const float v[] = {-1, -1, 0, -1, 1, 0, 1, -1, 0, 1, 1, 0};
  std::memcpy(lock_vb(quad, 0, 0), v, sizeof(v));
  unlock_vb(quad);
  static const VertexElement e[] = {{0, 0, VDECL_FLOAT3, VDECL_POSITION, 0}, VDECL_END};
  decl = create_vdecl(e);
  shader = load_shader("bench.sh", nullptr);
  return true;
}

void bind_quad() {
  set_render_target(0, target, false);
  set_shaders(shader);
  set_vdecl(decl);
  set_vb(0, quad, 0, 12);
  set_texture(0, tex);
}

// The GPU is kept at most a few hundred draws behind so queues stay bounded.
void drain(int64_t i) {
  if ((i & 255) == 255) flush_gpu();
}

void BM_DrawPrim(benchmark::State& state) {
  bind_quad();
  int64_t i = 0;
  for (auto _ : state) {
    draw_prim(PRIM_TRIANGLESTRIP, 0, 2);
    drain(i++);
  }
  flush_gpu();
}
BENCHMARK(BM_DrawPrim);

void BM_DrawPrimWithConstants(benchmark::State& state) {
  bind_quad();
  int64_t i = 0;
  vec4f c[4] = {vec4f(1, 1, 0, 0), vec4f(0, 1, 0, 0), vec4f(0, 0, 1, 0), vec4f(0, 0, 0, 1)};
  for (auto _ : state) {
    c[0].z = float(i & 7);
    set_vs_const(16, c, 4);
    set_ps_const(0, c[1]);
    draw_prim(PRIM_TRIANGLESTRIP, 0, 2);
    drain(i++);
  }
  flush_gpu();
}
BENCHMARK(BM_DrawPrimWithConstants);

void BM_DrawWithStateChanges(benchmark::State& state) {
  bind_quad();
  int64_t i = 0;
  for (auto _ : state) {
    if (i & 1) {
      set_blend_alpha();
      set_zwrite(false);
      set_cull_mode(0);
    } else {
      set_blend_none();
      set_zwrite(true);
      set_cull_mode(1);
    }
    set_texture(0, (i & 2) ? tex : nullptr);
    set_vb(0, quad, 0, 12);
    draw_prim(PRIM_TRIANGLESTRIP, 0, 2);
    drain(i++);
  }
  set_texture(0, tex);
  flush_gpu();
}
BENCHMARK(BM_DrawWithStateChanges);

void BM_StateChangeOnly(benchmark::State& state) {
  int64_t i = 0;
  for (auto _ : state) {
    if (i++ & 1)
      set_blend_alpha();
    else
      set_blend_none();
  }
}
BENCHMARK(BM_StateChangeOnly);

void BM_VertexDeclLookup(benchmark::State& state) {
  VertexElement e[] = {{0, 0, VDECL_FLOAT3, VDECL_POSITION, 0}, {12, 0, VDECL_D3DCOLOR, VDECL_COLOR, 0},
                       {16, 0, VDECL_FLOAT2, VDECL_TEXCOORD, 0}, VDECL_END};
  create_vdecl(e);
  for (auto _ : state) benchmark::DoNotOptimize(create_vdecl(e));
}
BENCHMARK(BM_VertexDeclLookup);

// A per-frame refill of the shared 64 KiB writer: 910 quads of 72 bytes
// written, drawn in one batch.
void BM_WriterRefill64K(benchmark::State& state) {
  dynVBWriter.init(65536);
  bind_quad();
  set_vb(0, dynVBWriter.vb, 0, 12);
  const float v[18] = {-1, 1, 0, 1, 1, 0, -1, -1, 0, 1, 1, 0, 1, -1, 0, -1, -1, 0};
  for (auto _ : state) {
    dynVBWriter.begin(dyn_vb_draw_prims, PRIM_TRIANGLELIST);
    for (int q = 0; q < 65536 / 72; q++) {
      std::memcpy(dynVBWriter.reserve(72), v, 72);
      dynVBWriter.advance(72, 2);
    }
    dynVBWriter.flush(true);
    flush_gpu();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * (65536 / 72) * 72);
  dynVBWriter.close();
}
BENCHMARK(BM_WriterRefill64K);
}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (!setup()) {
    std::fprintf(stderr, "device bench: no GL device (%s)\n", SDL_GetError());
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  release_shader(shader);
  close_d3d();
  SDL_DestroyWindow(window);
  SDL_Quit();
  std::system((std::string("rm -rf '") + app_path + "'").c_str());
  return 0;
}
