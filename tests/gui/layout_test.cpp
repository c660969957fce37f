// Box layout: em and percentages, auto sizes and margins, outer sizes.
#include <gtest/gtest.h>

#include "gui/gui_screen.h"
#include "gui/layout.h"
#include "tests/gui/fake_gui_renderer.h"

namespace {
GuiSides px4(float t, float l, float r, float b) { return {gui_px(t), gui_px(l), gui_px(r), gui_px(b)}; }
GuiSides autos() { return {gui_auto(), gui_auto(), gui_auto(), gui_auto()}; }

void expect_rect(const GuiRect& r, float left, float top, float right, float bottom) {
  EXPECT_FLOAT_EQ(r.left, left);
  EXPECT_FLOAT_EQ(r.top, top);
  EXPECT_FLOAT_EQ(r.right, right);
  EXPECT_FLOAT_EQ(r.bottom, bottom);
}
}  // namespace

TEST(GuiLayout, DesignRootAtTextScaleTwoFillsSixForty) {
  FakeGuiRenderer r;  // 640 x 480, 8-px glyphs
  GuiElement* root = createElement(gui_em(40), gui_em(30), autos(), {}, nullptr);
  GuiScreen screen(&r, root, 40, 30);
  EXPECT_EQ(screen.textScale, 2);
  EXPECT_FLOAT_EQ(screen.emSize(), 16);
  expect_rect(root->marginRect, 0, 0, 640, 480);
  expect_rect(root->contentRect, 0, 0, 640, 480);
  // In a bigger window the auto margins centre the root; the scale stays whole.
  r.w = 1000, r.h = 700;
  screen.relayout();
  EXPECT_EQ(screen.textScale, 2);
  expect_rect(root->contentRect, 180, 110, 820, 590);
}

TEST(GuiLayout, AutoMarginsCentreAndOverflowGoesRight) {
  GuiElement parent;
  parent.width = gui_px(500), parent.height = gui_px(300);
  parent.margin = px4(0, 0, 0, 0);
  GuiElement* c = createElement(gui_px(100), gui_px(50), {gui_px(10), gui_auto(), gui_auto(), gui_px(0)}, {}, &parent);
  GuiElement* wide = createElement(gui_px(450), gui_px(50), {gui_px(0), gui_auto(), gui_auto(), gui_px(0)},
                                   px4(0, 40, 40, 0), &parent);
  layout(&parent, nullptr);  // no screen: em is 8 and the frame 640 x 480
  expect_rect(parent.marginRect, 0, 0, 500, 300);
  expect_rect(c->paddingRect, 200, 10, 300, 60);
  EXPECT_FLOAT_EQ(c->marginRect.right - c->paddingRect.right, 200);
  expect_rect(wide->marginRect, 0, 0, 530, 50);
  expect_rect(wide->contentRect, 40, 0, 490, 50);  // auto margins are 0 when nothing is left
}

TEST(GuiLayout, AutoPaddingsShareSpaceWithAutoMarginsAndBordersAreInside) {
  GuiElement parent;
  parent.width = gui_px(400), parent.height = gui_px(100);
  parent.margin = px4(0, 0, 0, 0);
  GuiElement* c = createElement(gui_px(100), gui_px(20), {gui_px(0), gui_auto(), gui_px(0), gui_px(0)},
                                {gui_px(0), gui_auto(), gui_auto(), gui_px(0)}, &parent);
  c->border = px4(2, 5, 5, 2);
  layout(&parent, nullptr);
  // 400 - 100 - 10 of borders = 290, shared by three autos.
  float share = 290.f / 3;
  EXPECT_FLOAT_EQ(c->paddingRect.left, share + 5);
  EXPECT_FLOAT_EQ(c->contentRect.left, 2 * share + 5);
  EXPECT_FLOAT_EQ(c->contentRect.width(), 100);
  EXPECT_FLOAT_EQ(c->paddingRect.top, 2) << "top border inside the margin box";
  EXPECT_FLOAT_EQ(c->borderWidths[1], 5);
  EXPECT_FLOAT_EQ(c->marginRect.bottom, 24);
}

TEST(GuiLayout, AutoSizeFitsTextAndChildren) {
  FakeGuiRenderer r;
  GuiElement* root = createElement(gui_pct_w(100), gui_pct_h(100), px4(0, 0, 0, 0), {}, nullptr);
  GuiScreen screen(&r, root, 80, 60);  // scale 1
  GuiElement* label = createElement(gui_auto(), gui_auto(), px4(3, 4, 6, 0), px4(1, 2, 2, 1), root);
  label->border = px4(1, 1, 1, 1);
  label->setText("Hello");
  label->textScale = 3;
  screen.relayout();
  // 5 glyphs x 8 px x 3 = 120 wide, 24 high.
  expect_rect(label->contentRect, 4 + 1 + 2, 3 + 1 + 1, 4 + 1 + 2 + 120, 3 + 1 + 1 + 24);
  float w, h;
  outerSize(label, &screen, w, h);
  EXPECT_FLOAT_EQ(w, 120 + 4 + 6 + 2 + 4);
  EXPECT_FLOAT_EQ(h, 24 + 3 + 2 + 2);

  // A container with auto size grows around its children's outer sizes.
  GuiElement* holder = createElement(gui_auto(), gui_auto(), px4(0, 0, 0, 0), {}, root);
  createElement(gui_px(30), gui_em(2), px4(0, 10, 0, 0), {}, holder);
  createElement(gui_px(50), gui_px(5), px4(0, 0, 0, 0), {}, holder);
  screen.relayout();
  EXPECT_FLOAT_EQ(holder->contentRect.width(), 50);
  EXPECT_FLOAT_EQ(holder->contentRect.height(), 16);
}

TEST(GuiLayout, PercentMarginsScaleTheOuterSize) {
  GuiElement* c = createElement(gui_px(80), gui_px(10), {gui_pct_h(50), gui_pct_w(10), gui_pct_w(10), gui_px(0)}, {},
                                nullptr);
  float w, h;
  outerSize(c, nullptr, w, h);
  EXPECT_FLOAT_EQ(w, 100) << "80 / (1 - 0.2)";
  EXPECT_FLOAT_EQ(h, 20) << "only height percentages count vertically";
  c->margin.left = gui_pct_w(100);
  outerSize(c, nullptr, w, h);
  EXPECT_FLOAT_EQ(w, 80) << "a share of 100 % or more adds nothing";
  // em terms use the 8-px default without a screen.
  c->padding.left = gui_em(1);
  c->margin.left = gui_px(2);
  outerSize(c, nullptr, w, h);
  EXPECT_FLOAT_EQ(w, (80 + 2 + 8) / 0.9f);
  delete c;
}

TEST(GuiLayout, PercentagesAndEmFollowTheWindowAcrossRelayout) {
  FakeGuiRenderer r;
  GuiElement* root = createElement(gui_pct_w(100), gui_pct_h(100), px4(0, 0, 0, 0), {}, nullptr);
  GuiScreen screen(&r, root, 40, 30);
  GuiElement* half = createElement(gui_pct_w(50), gui_em(2), {gui_pct_h(10), gui_auto(), gui_px(0), gui_px(0)}, {},
                                   root);
  half->x = gui_pct_w(-10);
  screen.relayout();
  expect_rect(half->paddingRect, 320 - 64, 48, 640 - 64, 48 + 32);
  r.w = 1920, r.h = 1080;
  screen.relayout();
  EXPECT_EQ(screen.textScale, 4);  // min(1920 / 320, 1080 / 240)
  expect_rect(half->paddingRect, 960 - 192, 108, 1920 - 192, 108 + 64);
}
