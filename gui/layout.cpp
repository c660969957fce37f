// Box layout: sizes, auto margins and paddings, and the three rectangles.
#include "gui/layout.h"

#include <algorithm>

#include "gui/gui_screen.h"

namespace {
constexpr float NO_SCREEN_EM = 8;

float em_of(GuiScreen* screen) { return screen ? screen->emSize() : NO_SCREEN_EM; }

GuiRect parent_rect(GuiElement* el, GuiScreen* screen) {
  if (el->parent) return el->parent->contentRect;
  if (screen) return screen->rootRect();
  GuiRect r;
  r.right = 640, r.bottom = 480;
  return r;
}

// The seven terms of one axis, outside in: margin, border, padding, size,
// padding, border, margin.
struct AxisTerms {
  GuiLen t[7];
};
enum { MARGIN_A = 0, BORDER_A = 1, PADDING_A = 2, SIZE = 3, PADDING_B = 4, BORDER_B = 5, MARGIN_B = 6 };

AxisTerms horizontal_terms(const GuiElement* el, GuiLen width) {
  return {{el->margin.left, el->border.left, el->padding.left, width, el->padding.right, el->border.right,
           el->margin.right}};
}
AxisTerms vertical_terms(const GuiElement* el, GuiLen height) {
  return {{el->margin.top, el->border.top, el->padding.top, height, el->padding.bottom, el->border.bottom,
           el->margin.bottom}};
}

bool shares_free_space(int term) { return term == MARGIN_A || term == MARGIN_B || term == PADDING_A || term == PADDING_B; }

// Resolves every term to pixels against the available length; auto margins
// and paddings share out what is left, otherwise the box overflows.
float resolve_axis(const AxisTerms& terms, float em, float pw, float ph, float avail, float out[7]) {
  float sum = 0;
  int autos = 0;
  for (int i = 0; i < 7; i++) {
    out[i] = eval_gui_len(terms.t[i], em, pw, ph);
    sum += out[i];
    if (terms.t[i].mode == GUI_AUTO && shares_free_space(i)) autos++;
  }
  if (sum >= avail || autos == 0) return sum;
  float share = (avail - sum) / float(autos);
  for (int i = 0; i < 7; i++)
    if (terms.t[i].mode == GUI_AUTO && shares_free_space(i)) out[i] = share;
  return avail;
}

// (A + E em) / (1 - P): pixels, em and shares of the parent along this axis.
float outer_axis(const AxisTerms& terms, int pct_mode, float em) {
  float a = 0, e = 0, p = 0;
  for (const GuiLen& l : terms.t) {
    if (l.mode == GUI_PX) a += l.value;
    else if (l.mode == GUI_EM) e += l.value;
    else if (l.mode == pct_mode) p += l.value * 0.01f;
    else if (l.mode != GUI_AUTO && l.mode != GUI_PCT_W && l.mode != GUI_PCT_H) eval_gui_len(l, em, 0, 0);
  }
  float fixed = a + e * em;
  return p < 1 ? fixed / (1 - p) : fixed;
}

// The element's width and height with auto ones replaced by the content's.
void sized(GuiElement* el, GuiScreen* screen, GuiLen& w, GuiLen& h) {
  w = el->width, h = el->height;
  if (w.mode != GUI_AUTO && h.mode != GUI_AUTO) return;
  float mw, mh;
  measureContent(el, screen, mw, mh);
  if (w.mode == GUI_AUTO) w = gui_px(mw);
  if (h.mode == GUI_AUTO) h = gui_px(mh);
}
}  // namespace

GuiElement* createElement(float wv, int wm, float hv, int hm, GuiLen mt, GuiLen ml, GuiLen mr, GuiLen mb, GuiLen pt,
                          GuiLen pl, GuiLen pr, GuiLen pb, GuiElement* parent) {
  auto* el = new GuiElement;
  el->width = {wv, wm};
  el->height = {hv, hm};
  el->margin = {mt, ml, mr, mb};
  el->padding = {pt, pl, pr, pb};
  if (parent) parent->insertChild(el, -1);
  return el;
}

GuiElement* createElement(GuiLen width, GuiLen height, GuiSides m, GuiSides p, GuiElement* parent) {
  return createElement(width.value, width.mode, height.value, height.mode, m.top, m.left, m.right, m.bottom, p.top,
                       p.left, p.right, p.bottom, parent);
}

void layout(GuiElement* el, GuiScreen* screen) {
  GuiRect pr = parent_rect(el, screen);
  float pw = pr.width(), ph = pr.height(), em = em_of(screen);
  GuiLen w, h;
  sized(el, screen, w, h);
  float* bw = el->borderWidths;
  bw[0] = eval_gui_len(el->border.top, em, pw, ph);
  bw[1] = eval_gui_len(el->border.left, em, pw, ph);
  bw[2] = eval_gui_len(el->border.right, em, pw, ph);
  bw[3] = eval_gui_len(el->border.bottom, em, pw, ph);
  float hx[7], vy[7];
  float extent_x = resolve_axis(horizontal_terms(el, w), em, pw, ph, pw, hx);
  float extent_y = resolve_axis(vertical_terms(el, h), em, pw, ph, ph, vy);

  GuiRect& m = el->marginRect;
  m.left = pr.left + eval_gui_len(el->x, em, pw, ph);
  m.top = pr.top + eval_gui_len(el->y, em, pw, ph);
  m.right = m.left + extent_x;
  m.bottom = m.top + extent_y;
  GuiRect& p = el->paddingRect;
  p.left = m.left + hx[MARGIN_A] + bw[1];
  p.right = m.right - hx[MARGIN_B] - bw[2];
  p.top = m.top + vy[MARGIN_A] + bw[0];
  p.bottom = m.bottom - vy[MARGIN_B] - bw[3];
  GuiRect& c = el->contentRect;
  c.left = p.left + hx[PADDING_A];
  c.right = p.right - hx[PADDING_B];
  c.top = p.top + vy[PADDING_A];
  c.bottom = p.bottom - vy[PADDING_B];

  for (int i = 0; i < el->children.count; i++) layout(el->children[i], screen);
}

void measureContent(GuiElement* el, GuiScreen* screen, float& w, float& h) {
  if (screen) {
    screen->measure(el, w, h);
  } else {
    w = eval_gui_len(el->width, NO_SCREEN_EM, 0, 0);
    h = eval_gui_len(el->height, NO_SCREEN_EM, 0, 0);
  }
  for (int i = 0; i < el->children.count; i++) {
    float cw, ch;
    outerSize(el->children[i], screen, cw, ch);
    w = std::max(w, cw);
    h = std::max(h, ch);
  }
}

void outerSize(GuiElement* el, GuiScreen* screen, float& w, float& h) {
  GuiLen sw, sh;
  sized(el, screen, sw, sh);
  float em = em_of(screen);
  w = outer_axis(horizontal_terms(el, sw), GUI_PCT_W, em);
  h = outer_axis(vertical_terms(el, sh), GUI_PCT_H, em);
}
