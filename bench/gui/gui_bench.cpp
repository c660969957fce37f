// Layout of a 1,000-element screen and the routing of one mouse move over it.
#include <benchmark/benchmark.h>

#include <cstring>

#include "platform/globals.h"
#include "platform/input.h"
#include "gui/gui_screen.h"
#include "gui/layout.h"

namespace {
struct MeasuringRenderer : IGuiRenderer {
  int width() override { return 1280; }
  int height() override { return 960; }
  int glyphSize() override { return 16; }
  void fillRect(float, float, float, float, uint32_t) override {}
  void frameRect(float, float, float, float, uint32_t) override {}
  void drawText(const char*, int, float, float, int, int, uint32_t, int) override {}
  void measureText(const char* text, int length, float& w, float& h, int scale) override {
    int n = length < 0 ? int(std::strlen(text)) : length;
    w = float(n * 9 * scale), h = float(16 * scale);
  }
};

void no_keys_held(KeyboardState& ks) { std::memset(&ks, 0, sizeof(ks)); }

GuiSides centred(GuiLen top) { return {top, gui_auto(), gui_auto(), gui_px(0)}; }

// Ten columns of 20 buttons (each with three state children) and 19 labels
// sized by their text: 1 + 10 x (20 x 4 + 19) = 1,001 elements.
GuiElement* build_tree(int& count) {
  GuiElement* root = createElement(gui_em(40), gui_em(30), centred(gui_auto()), {}, nullptr);
  count = 1;
  for (int c = 0; c < 10; c++) {
    GuiElement* col = createElement(gui_pct_w(10), gui_pct_h(100), {gui_px(0), gui_px(0), gui_px(0), gui_px(0)}, {},
                                    root);
    col->x = gui_pct_w(10.f * float(c));
    count++;
    for (int b = 0; b < 20; b++) {
      GuiElement* btn = createElement(gui_pct_w(90), gui_em(0.7f), centred(gui_em(0.05f)), {}, col);
      btn->y = gui_em(1.4f * float(b));
      btn->id = uint32_t(c * 100 + b + 1);
      btn->border = {gui_px(1), gui_px(1), gui_px(1), gui_px(1)};
      for (const char* state : {".normal", ".over", ".pressed"}) {
        GuiElement* s = createElement(gui_pct_w(100), gui_pct_h(100), {}, {}, btn);
        s->setName(state);
        s->setText("Button");
      }
      btn->applyBehaviour("solidBox");
      btn->applyBehaviour("button");
      count += 4;
    }
    for (int l = 0; l < 19; l++) {
      GuiElement* label = createElement(gui_auto(), gui_auto(), centred(gui_em(0.7f)), {}, col);
      label->y = gui_em(1.4f * float(l));
      label->setText("label");
      count++;
    }
  }
  return root;
}

struct Fixture {
  MeasuringRenderer renderer;
  GuiScreen* screen;
  int elements = 0;
  Fixture() {
    register_standard_gui_behaviours();
    set_keyboard_state_reader(no_keys_held);
    d3d_wd = renderer.width(), d3d_ht = renderer.height();
    screen = new GuiScreen(&renderer, build_tree(elements), 40, 30);
  }
  ~Fixture() { delete screen; }
};

void BM_LayoutThousandElements(benchmark::State& state) {
  Fixture f;
  for (auto _ : state) {
    layout(f.screen->root, f.screen);
    benchmark::DoNotOptimize(f.screen->root->children[0]->contentRect);
  }
  state.counters["elements"] = f.elements;
}
BENCHMARK(BM_LayoutThousandElements)->Unit(benchmark::kMicrosecond);

// Each move crosses from one button to another in the last column, so every
// event hit-tests the whole tree and sends a leave and an enter.
void BM_ProcessInputMouseMove(benchmark::State& state) {
  Fixture f;
  GuiRect a = f.screen->root->findById(901)->paddingRect, b = f.screen->root->findById(920)->paddingRect;
  bool flip = false;
  for (auto _ : state) {
    const GuiRect& r = flip ? a : b;
    flip = !flip;
    push_input_event(EV_MOUSE_MOVE, 0, 0, 0, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
    f.screen->processInput();
  }
  if (f.screen->hovered != f.screen->root->findById(flip ? 920 : 901)) state.SkipWithError("hover did not follow");
}
BENCHMARK(BM_ProcessInputMouseMove)->Unit(benchmark::kMicrosecond);

// Moves within one button: only the hit test and the move event.
void BM_ProcessInputMouseMoveSameButton(benchmark::State& state) {
  Fixture f;
  GuiRect r = f.screen->root->findById(920)->paddingRect;
  float x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
  bool flip = false;
  for (auto _ : state) {
    flip = !flip;
    push_input_event(EV_MOUSE_MOVE, 0, 0, 0, x + (flip ? 1.f : 0.f), y);
    f.screen->processInput();
  }
  benchmark::DoNotOptimize(f.screen->hovered);
}
BENCHMARK(BM_ProcessInputMouseMoveSameButton)->Unit(benchmark::kMicrosecond);
}  // namespace

BENCHMARK_MAIN();
