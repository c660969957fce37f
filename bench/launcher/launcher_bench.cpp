// One full repaint of the launcher's 640 x 480 window: clear, then draw the
// whole settings screen with the software renderer.
#include <benchmark/benchmark.h>

#include <vector>

#include "launcher/launcher_screen.h"
#include "launcher/swrender.h"

namespace {
void BM_FullRepaint640x480(benchmark::State& state) {
  register_standard_gui_behaviours();
  SoftwareGuiRenderer renderer;
  std::vector<uint32_t> pixels(640 * 480);
  renderer.setBuffer(pixels.data(), 640 * 4, 640, 480);
  renderer.setFont(renderer.loadFont(BIN_DIR "/font.tga"));
  GuiScreen screen(&renderer, build_launcher_tree(renderer.glyphSize()), LAUNCHER_DESIGN_W, LAUNCHER_DESIGN_H);
  refresh_launcher_screen(screen.root, LauncherSettings());
  for (auto _ : state) {
    renderer.clear(0);
    screen.draw();
    benchmark::DoNotOptimize(pixels.data());
  }
}
BENCHMARK(BM_FullRepaint640x480)->Unit(benchmark::kMillisecond);

void BM_BlendFill640x480HalfAlpha(benchmark::State& state) {
  SoftwareGuiRenderer renderer;
  std::vector<uint32_t> pixels(640 * 480, 0xFF336699);
  renderer.setBuffer(pixels.data(), 640 * 4, 640, 480);
  for (auto _ : state) {
    renderer.fillRect(0, 0, 640, 480, 0x80C08040);
    benchmark::DoNotOptimize(pixels.data());
  }
}
BENCHMARK(BM_BlendFill640x480HalfAlpha)->Unit(benchmark::kMillisecond);
}  // namespace

BENCHMARK_MAIN();
