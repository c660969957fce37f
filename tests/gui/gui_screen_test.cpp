// Screens driven through the platform's input queue: hover, capture, buttons
// and their commands, and relayout on a size change.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/globals.h"
#include "platform/input.h"
#include "gui/behaviours.h"
#include "gui/gui_screen.h"
#include "gui/layout.h"
#include "tests/gui/fake_gui_renderer.h"

namespace {
// Nothing is held unless the event's own flags say so.
void no_keys_held(KeyboardState& ks) { std::memset(&ks, 0, sizeof(ks)); }

struct CommandLog final : GuiEventHandler {
  std::vector<uint32_t> ids;
  std::vector<int> params;
  CommandLog() : GuiEventHandler(GUI_EV_COMMAND) {}
  int handle(GuiEvent& ev, GuiElement*, int) override {
    auto& c = static_cast<GuiCommandEvent&>(ev);
    ids.push_back(c.id);
    params.push_back(c.param);
    return 1;
  }
  void attach(GuiElement*) override {}
  void detach(GuiElement*) override {}
};

GuiElement* box(GuiElement* parent, float x, float y, float w, float h) {
  GuiElement* e = createElement(gui_px(w), gui_px(h), {gui_px(0), gui_px(0), gui_px(0), gui_px(0)}, {}, parent);
  e->x = gui_px(x), e->y = gui_px(y);
  return e;
}

// A button with its three state children, each holding the label.
GuiElement* button(GuiElement* parent, uint32_t id, float x, float y) {
  GuiElement* b = box(parent, x, y, 100, 40);
  b->id = id;
  for (const char* state : {".normal", ".over", ".pressed"}) {
    GuiElement* s = box(b, 0, 0, 100, 40);
    s->setName(state);
    s->setText("go");
  }
  b->applyBehaviour("solidBox");
  b->applyBehaviour("button");
  return b;
}

const char* shown_state(GuiElement* b) {
  const char* shown = "none";
  int visible = 0;
  for (const char* s : {".normal", ".over", ".pressed"})
    if (!b->findByName(s)->isHidden()) shown = s, visible++;
  return visible == 1 ? shown : "several";
}

struct GuiScreenTest : ::testing::Test {
  FakeGuiRenderer r;
  GuiScreen* screen = nullptr;
  GuiElement* root = nullptr;
  CommandLog commands;

  void SetUp() override {
    set_keyboard_state_reader(no_keys_held);
    register_standard_gui_behaviours();
    d3d_wd = r.w, d3d_ht = r.h;  // the input queue clamps positions to the window
    clear_input_step();
    root = createElement(gui_pct_w(100), gui_pct_h(100), {}, {}, nullptr);
    root->addHandler(&commands, -1);
  }
  void TearDown() override {
    delete screen;
    clear_input_step();
    set_keyboard_state_reader(nullptr);
  }
  void make_screen() { screen = new GuiScreen(&r, root, 80, 60); }

  void move(float x, float y, int flags = 0) { send(EV_MOUSE_MOVE, 0, flags, x, y); }
  void press(float x, float y) { send(EV_BUTTON_DOWN, 1, IF_LBUTTON, x, y); }
  void release(float x, float y) { send(EV_BUTTON_UP, 1, 0, x, y); }
  void send(int type, int key, int flags, float x, float y) {
    push_input_event(type, key, 0, flags, x, y);
    screen->processInput();
  }
};
}  // namespace

TEST_F(GuiScreenTest, NestedSolidBoxesAlwaysHitTheOuterOne) {
  GuiElement* outer = box(root, 10, 10, 200, 200);
  GuiElement* inner = box(outer, 20, 20, 50, 50);
  outer->applyBehaviour("solidBox");
  inner->applyBehaviour("solidBox");
  make_screen();
  EXPECT_EQ(root->hitTest(35, 35), outer) << "inside the inner box too";
  EXPECT_EQ(root->hitTest(205, 150), outer);
  EXPECT_EQ(root->hitTest(210, 150), nullptr) << "right edge is exclusive";
  EXPECT_EQ(root->hitTest(5, 5), nullptr) << "the root has no hit-test handler";
  // Borders belong to the box.
  outer->border = {gui_px(3), gui_px(3), gui_px(3), gui_px(3)};
  screen->relayout();
  EXPECT_EQ(root->hitTest(10, 10), outer);
  outer->setHidden(true);
  EXPECT_EQ(root->hitTest(35, 35), nullptr) << "a hidden box and its children take nothing";
}

TEST_F(GuiScreenTest, HoverFollowsTheMouseAndAClickSendsTheCommand) {
  GuiElement* b = button(root, 7, 100, 100);
  make_screen();
  EXPECT_STREQ(shown_state(b), ".normal");
  move(150, 120);
  EXPECT_EQ(screen->hovered, b);
  EXPECT_STREQ(shown_state(b), ".over");
  move(10, 10);
  EXPECT_EQ(screen->hovered, nullptr);
  EXPECT_STREQ(shown_state(b), ".normal");
  move(150, 120);
  press(150, 120);
  EXPECT_EQ(screen->captured, b);
  EXPECT_STREQ(shown_state(b), ".pressed");
  EXPECT_TRUE(commands.ids.empty()) << "nothing before the release";
  release(150, 120);
  EXPECT_EQ(screen->captured, nullptr);
  EXPECT_STREQ(shown_state(b), ".over");
  ASSERT_EQ(commands.ids.size(), 1u);
  EXPECT_EQ(commands.ids[0], 7u);
  EXPECT_EQ(commands.params[0], 1) << "the left button made it";
}

TEST_F(GuiScreenTest, DraggingOffBeforeReleaseCancelsAndDraggingBackRestores) {
  GuiElement* b = button(root, 3, 100, 100);
  GuiElement* other = button(root, 4, 300, 100);
  make_screen();
  move(150, 120);
  press(150, 120);
  move(320, 120, IF_LBUTTON);
  EXPECT_STREQ(shown_state(b), ".normal");
  EXPECT_STREQ(shown_state(other), ".normal") << "capture keeps the other button cold";
  EXPECT_EQ(screen->hovered, nullptr);
  release(320, 120);
  EXPECT_STREQ(shown_state(b), ".normal");
  EXPECT_TRUE(commands.ids.empty());

  move(150, 120);
  press(150, 120);
  move(10, 10, IF_LBUTTON);
  move(150, 120, IF_LBUTTON);
  EXPECT_STREQ(shown_state(b), ".pressed") << "entering with the button held";
  EXPECT_EQ(screen->hovered, b);
  release(150, 120);
  EXPECT_EQ(commands.ids, std::vector<uint32_t>{3});
}

TEST_F(GuiScreenTest, HidingAParentResetsTheButtonAndHiddenButtonsIgnoreTheMouse) {
  GuiElement* row = box(root, 50, 50, 400, 200);
  GuiElement* b = button(row, 9, 100, 100);
  make_screen();
  move(200, 170);
  press(200, 170);
  EXPECT_STREQ(shown_state(b), ".pressed");
  row->setHidden(true);
  EXPECT_STREQ(shown_state(b), ".normal");
  release(200, 170);
  EXPECT_TRUE(commands.ids.empty()) << "a hidden button sends nothing";
  move(201, 170);
  press(201, 170);
  release(201, 170);
  EXPECT_TRUE(commands.ids.empty());
  EXPECT_STREQ(shown_state(b), ".normal");
  row->setHidden(false);
  move(200, 170);
  press(200, 170);
  release(200, 170);
  EXPECT_EQ(commands.ids, std::vector<uint32_t>{9});
}

TEST_F(GuiScreenTest, KeysAndWheelReachOnlyTheHoveredTarget) {
  struct Count final : GuiEventHandler {
    int keys = 0, wheels = 0, moves = 0;
    Count() : GuiEventHandler(GUI_EV_KEY | GUI_EV_WHEEL | GUI_EV_MOUSE_MOVE) {}
    int handle(GuiEvent& ev, GuiElement*, int mode) override {
      EXPECT_EQ(mode, GUI_DIRECT);
      keys += ev.type == GUI_EV_KEY, wheels += ev.type == GUI_EV_WHEEL, moves += ev.type == GUI_EV_MOUSE_MOVE;
      return 1;
    }
    void attach(GuiElement*) override {}
    void detach(GuiElement*) override {}
  } count, parent_count;
  GuiElement* b = box(root, 0, 0, 100, 100);
  b->applyBehaviour("solidBox");
  b->addHandler(&count, -1);
  root->addHandler(&parent_count, -1);
  make_screen();
  move(50, 50);
  send(EV_KEY_DOWN, 'A', 0, 0, 0);  // key events take the stored mouse position
  send(EV_KEY_UP, 'A', 0, 0, 0);
  send(EV_WHEEL, 0, 0, 50, 50);
  move(500, 400);
  send(EV_WHEEL, 0, 0, 500, 400);
  EXPECT_EQ(count.moves, 1);
  EXPECT_EQ(count.keys, 2);
  EXPECT_EQ(count.wheels, 1);
  EXPECT_EQ(parent_count.keys + parent_count.wheels + parent_count.moves, 0) << "no bubbling";
  delete screen;  // before the handlers go out of scope
  screen = nullptr;
}

TEST_F(GuiScreenTest, ASizeChangeRelaysOutBeforeTheNextEvent) {
  GuiElement* b = createElement(gui_em(10), gui_em(5), {gui_auto(), gui_auto(), gui_auto(), gui_auto()}, {}, root);
  b->applyBehaviour("solidBox");
  make_screen();
  // 640 x 480 over 80 x 60 glyphs of 8 px: scale 1, em 8; the 80 x 40 box is centred.
  EXPECT_EQ(screen->textScale, 1);
  EXPECT_FLOAT_EQ(b->paddingRect.left, 280);
  EXPECT_FLOAT_EQ(b->paddingRect.top, 220);
  r.w = 1280, r.h = 960;
  d3d_wd = r.w, d3d_ht = r.h;
  move(1279, 959);
  EXPECT_EQ(screen->textScale, 2);
  EXPECT_FLOAT_EQ(b->paddingRect.left, 560);
  EXPECT_FLOAT_EQ(b->paddingRect.right, 720);
  EXPECT_FLOAT_EQ(b->paddingRect.bottom, 520);
  move(600, 500);
  EXPECT_EQ(screen->hovered, b) << "hit testing uses the new layout";
  r.w = 1280, r.h = 100;  // a letterbox: the smaller factor wins, never below 1
  screen->draw();
  EXPECT_EQ(screen->textScale, 1);
}

TEST_F(GuiScreenTest, DrawingSkipsHiddenSubtreesAndEmptyParts) {
  GuiElement* a = box(root, 0, 0, 10, 10);
  a->background = 0xFF112233;
  a->border = {gui_px(1), gui_px(1), gui_px(1), gui_px(1)};
  a->borderColors[2] = 0;  // no right border
  GuiElement* t = box(a, 0, 0, 10, 10);
  t->setText("x");
  GuiElement* hidden = box(root, 0, 0, 10, 10);
  hidden->background = 0xFFFFFFFF;
  hidden->setText("y");
  hidden->setHidden(true);
  make_screen();
  screen->draw();
  EXPECT_EQ(r.fills, 1 + 3) << "background and three borders";
  EXPECT_EQ(r.texts, 1);
}

TEST(GuiScreenDeathTest, UnknownInputTypesAreFatal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  setenv("TOLVANE_NO_MSGBOX", "1", 1);
  FakeGuiRenderer r;
  GuiScreen screen(&r, new GuiElement, 80, 60);
  InputEvent ev{};
  ev.type = 9;
  EXPECT_EXIT(screen.dispatchInput(ev, nullptr), ::testing::ExitedWithCode(100), "unknown input event type");
}
