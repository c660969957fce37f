// A small screen drawn through the game's font layer on a real GL context:
// boxes, borders and text land on the pixels the layout gives them, at two
// window sizes, and the hovered button shows its other state.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/globals.h"
#include "platform/input.h"
#include "device/dynVBWriter.h"
#include "device/font.h"
#include "device/screenshot.h"
#include "gui/gui_screen.h"
#include "gui/layout.h"
#include "gui/vantor_renderer.h"
#include "tests/device/gl_env.h"

namespace {
constexpr uint32_t ROOT_BG = 0xFF203040, PANEL_BG = 0xFF006000, PANEL_BORDER = 0xFFFF0000;
constexpr uint32_t NORMAL_BG = 0xFF303030, OVER_BG = 0xFF0000C0;

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void no_keys_held(KeyboardState& ks) { std::memset(&ks, 0, sizeof(ks)); }

GuiSides auto_lr(GuiLen top) { return {top, gui_auto(), gui_auto(), gui_px(0)}; }

struct TestScreen {
  GuiElement *root, *panel, *label, *button;
};

// 20 x 15 glyphs: a bordered panel with centred text and a push button.
TestScreen build_screen() {
  TestScreen s;
  s.root = createElement(gui_em(20), gui_em(15), {gui_auto(), gui_auto(), gui_auto(), gui_auto()}, {}, nullptr);
  s.root->background = ROOT_BG;
  s.panel = createElement(gui_em(16), gui_em(4), auto_lr(gui_em(1)), {}, s.root);
  s.panel->background = PANEL_BG;
  s.panel->border = {gui_px(2), gui_px(2), gui_px(2), gui_px(2)};
  for (uint32_t& c : s.panel->borderColors) c = PANEL_BORDER;
  s.label = createElement(gui_auto(), gui_auto(), {gui_auto(), gui_auto(), gui_auto(), gui_auto()}, {}, s.panel);
  s.label->setText("Tolvane");
  s.button = createElement(gui_em(8), gui_em(3), auto_lr(gui_em(8)), {}, s.root);
  s.button->id = 1;
  for (const char* state : {".normal", ".over", ".pressed"}) {
    GuiElement* st = createElement(gui_pct_w(100), gui_pct_h(100), {}, {}, s.button);
    st->setName(state);
    st->background = std::strcmp(state, ".over") == 0 ? OVER_BG : NORMAL_BG;
    st->setText("Start");
    st->textColor = 0xFFC8C8C8;
  }
  s.button->applyBehaviour("solidBox");
  s.button->applyBehaviour("button");
  return s;
}

struct Box {
  int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;
};

struct GuiRenderTest : DeviceTest {
  static void SetUpTestSuite() {
    DeviceTest::SetUpTestSuite();
    write_app_file("font.sh", read_file(DATA_DIR "/font.sh"));
    write_app_file("font.tga", read_file(BIN_DIR "/font.tga"));
    dynVBWriter.init(65536);
    init_font();
    register_standard_gui_behaviours();
    set_keyboard_state_reader(no_keys_held);
  }
  static void TearDownTestSuite() {
    set_keyboard_state_reader(nullptr);
    close_font();
    dynVBWriter.close();
    DeviceTest::TearDownTestSuite();
  }

  std::vector<uint32_t> px;
  void draw(GuiScreen& screen) {
    set_back_buffer_target();
    clear_view(D3dColor(0xFF000000));
    begin_text();
    screen.draw();
    end_text();
    px = target_pixels();
  }
  uint32_t at(int x, int y) { return px[size_t(y) * d3d_wd + x] | 0xFF000000u; }
  int ix(float v) { return int(v); }
  Box white_pixels() {
    Box b;
    for (int y = 0; y < d3d_ht; y++)
      for (int x = 0; x < d3d_wd; x++)
        if ((at(x, y) & 0xFFFFFF) == 0xFFFFFF) {
          b.x0 = std::min(b.x0, x), b.x1 = std::max(b.x1, x);
          b.y0 = std::min(b.y0, y), b.y1 = std::max(b.y1, y);
        }
    return b;
  }
  void save(const char* name) {
    const char* dir = std::getenv("TOLVANE_GUI_SHOTS");
    if (!dir) return;
    std::vector<uint32_t> flipped = px;  // the PNG writer takes B, G, R, A rows from the top
    write_bgra_png((std::string(dir) + "/" + name).c_str(), reinterpret_cast<const uint8_t*>(flipped.data()),
                   d3d_wd, d3d_ht, d3d_wd * 4);
  }

  // Every drawn part sits exactly on the rectangles of the layout.
  void check_layout_pixels(const TestScreen& s) {
    const GuiRect& p = s.panel->paddingRect;
    int l = ix(p.left), t = ix(p.top), r = ix(p.right), b = ix(p.bottom);
    EXPECT_EQ(at(l + 1, t + 1), PANEL_BG);
    EXPECT_EQ(at(r - 1, b - 1), PANEL_BG);
    EXPECT_EQ(at(l - 1, t - 1), PANEL_BORDER);
    EXPECT_EQ(at(l - 2, t + 5), PANEL_BORDER);
    EXPECT_EQ(at(r + 1, b + 1), PANEL_BORDER);
    EXPECT_EQ(at(l - 3, t + 5), ROOT_BG);
    EXPECT_EQ(at(r + 2, t + 5), ROOT_BG);
    EXPECT_EQ(at(l + 5, b + 2), ROOT_BG);
    const GuiRect& rr = s.root->paddingRect;
    EXPECT_EQ(at(ix(rr.left), ix(rr.top)), ROOT_BG);
    EXPECT_EQ(at(ix(rr.right) - 1, ix(rr.bottom) - 1), ROOT_BG);
    if (rr.left >= 1) EXPECT_EQ(at(ix(rr.left) - 1, ix(rr.top)), 0xFF000000u) << "outside the root";
    // The label is the only white text: inside its content box, centred in the panel.
    const GuiRect& c = s.label->contentRect;
    Box w = white_pixels();
    ASSERT_GE(w.x1, 0) << "no text drawn";
    EXPECT_GE(w.x0, ix(c.left));
    EXPECT_LT(w.x1, ix(c.right) + 1);
    EXPECT_GE(w.y0, ix(c.top));
    EXPECT_LT(w.y1, ix(c.bottom));
    EXPECT_NEAR((w.x0 + w.x1 + 1) / 2.0, (p.left + p.right) / 2, 3.0 * s.label->textScale);
  }
};
}  // namespace

TEST_F(GuiRenderTest, ScreenDrawsWhereTheLayoutPutsItAtTwoSizesAndReactsToHover) {
  ASSERT_EQ(get_font_cell_size(), 16);
  ASSERT_TRUE(resize_d3d(400, 300, false, false));
  VantorGuiRenderer renderer;
  TestScreen s = build_screen();
  GuiScreen screen(&renderer, s.root, 20, 15);
  EXPECT_EQ(screen.textScale, 1);
  draw(screen);
  check_layout_pixels(s);
  EXPECT_EQ(ix(s.root->paddingRect.left), 40);
  save("gui_400x300.png");

  ASSERT_TRUE(resize_d3d(800, 600, false, false));
  draw(screen);  // the new size relays out before drawing
  EXPECT_EQ(screen.textScale, 2);
  EXPECT_FLOAT_EQ(s.root->paddingRect.left, 80);
  EXPECT_FLOAT_EQ(s.panel->paddingRect.right - s.panel->paddingRect.left, 16 * 32);
  check_layout_pixels(s);

  const GuiRect& b = s.button->paddingRect;
  int bx = ix(b.left) + 4, by = ix(b.top) + 4;
  EXPECT_EQ(at(bx, by), NORMAL_BG);
  push_input_event(EV_MOUSE_MOVE, 0, 0, 0, float(bx), float(by));
  screen.processInput();
  draw(screen);
  EXPECT_EQ(at(bx, by), OVER_BG);
  EXPECT_EQ(at(ix(b.left) - 1, by), ROOT_BG);
  save("gui_800x600_hover.png");
  clear_input_step();
}
