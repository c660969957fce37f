// The screen: text scale, measuring, drawing and input routing.
#include "gui/gui_screen.h"

#include <algorithm>
#include <cmath>

#include "platform/globals.h"
#include "platform/log.h"
#include "gui/layout.h"

namespace {
bool button_held(const InputEvent& ev) { return ev.flags & (IF_LBUTTON | IF_RBUTTON); }

void send_direct(GuiElement* el, uint32_t type, const InputEvent& ie) {
  if (!el) return;
  GuiInputEvent ev(type, ie);
  el->dispatch(ev, GUI_DIRECT);
}

uint32_t gui_type_of(int input_type) {
  switch (input_type) {
    case EV_KEY_DOWN:
    case EV_KEY_UP: return GUI_EV_KEY;
    case EV_BUTTON_DOWN: return GUI_EV_BUTTON_DOWN;
    case EV_BUTTON_UP: return GUI_EV_BUTTON_UP;
    case EV_MOUSE_MOVE: return GUI_EV_MOUSE_MOVE;
    case EV_WHEEL: return GUI_EV_WHEEL;
    default: G_ASSERT(!"unknown input event type"); return 0;
  }
}
}  // namespace

GuiScreen::GuiScreen(IGuiRenderer* r, GuiElement* root_el, int dw, int dh)
    : root(root_el), designWidth(dw), designHeight(dh), renderer(r) {
  G_ASSERT(renderer && root);
  relayout();
}

GuiScreen::~GuiScreen() { delete root; }

float GuiScreen::emSize() { return float(renderer->glyphSize() * textScale); }

GuiRect GuiScreen::rootRect() {
  GuiRect r;
  r.right = float(renderer->width());
  r.bottom = float(renderer->height());
  return r;
}

void GuiScreen::measure(GuiElement* el, float& w, float& h) {
  float em = emSize();
  w = eval_gui_len(el->width, em, 0, 0);
  h = eval_gui_len(el->height, em, 0, 0);
  bool auto_w = el->width.mode == GUI_AUTO, auto_h = el->height.mode == GUI_AUTO;
  if (!el->text[0] || !(auto_w || auto_h)) return;
  float tw = 0, th = 0;
  renderer->measureText(el->text, -1, tw, th, el->textScale * textScale);
  if (auto_w) w = tw;
  if (auto_h) h = th;
}

void GuiScreen::drawElement(GuiElement* el) {
  if (el->isHidden()) return;
  const GuiRect& p = el->paddingRect;
  const float* bw = el->borderWidths;  // top, left, right, bottom
  const uint32_t* bc = el->borderColors;
  if (el->background) renderer->fillRect(p.left, p.top, p.right, p.bottom, el->background);
  if (bw[0] > 0 && bc[0]) renderer->fillRect(p.left - bw[1], p.top - bw[0], p.right, p.top, bc[0]);
  if (bw[1] > 0 && bc[1]) renderer->fillRect(p.left - bw[1], p.top, p.left, p.bottom + bw[3], bc[1]);
  if (bw[2] > 0 && bc[2]) renderer->fillRect(p.right, p.top - bw[0], p.right + bw[2], p.bottom, bc[2]);
  if (bw[3] > 0 && bc[3]) renderer->fillRect(p.left, p.bottom, p.right + bw[2], p.bottom + bw[3], bc[3]);
  if (el->text[0] && el->textColor) {
    const GuiRect& c = el->contentRect;
    float x = el->hAlign < 0 ? c.left : el->hAlign > 0 ? c.right : (c.left + c.right) * 0.5f;
    float y = el->vAlign < 0 ? c.top : el->vAlign > 0 ? c.bottom : (c.top + c.bottom) * 0.5f;
    renderer->drawText(el->text, -1, x, y, el->hAlign, el->vAlign, el->textColor, el->textScale * textScale);
  }
  for (int i = 0; i < el->children.count; i++) drawElement(el->children[i]);
}

void GuiScreen::draw() {
  relayoutIfResized();
  drawElement(root);
}

void GuiScreen::processInput() {
  relayoutIfResized();
  InputEvent ev;
  while (getEvent(&ev)) handleOne(ev);
}

void GuiScreen::handleOne(const InputEvent& ev) {
  GuiElement* target;
  if (!captured) {
    GuiElement* hit = root->hitTest(ev.x, ev.y);
    if (hit != hovered) {
      send_direct(hovered, GUI_EV_MOUSE_LEAVE, ev);
      send_direct(hit, GUI_EV_MOUSE_ENTER, ev);
      hovered = hit;
    }
    target = hit;
  } else if (button_held(ev)) {
    GuiElement* hit = root->hitTest(ev.x, ev.y);
    if (hit != hovered) {
      send_direct(hovered, GUI_EV_MOUSE_LEAVE, ev);
      hovered = nullptr;
      if (hit == captured) {
        hovered = captured;
        send_direct(captured, GUI_EV_MOUSE_ENTER, ev);
      }
    }
    target = captured;
  } else {
    target = captured;
    captured = nullptr;
  }
  dispatchInput(ev, target);
}

void GuiScreen::dispatchInput(const InputEvent& ev, GuiElement* target) {
  if (ev.type == EV_BUTTON_DOWN) captured = target;
  uint32_t type = gui_type_of(ev.type);
  send_direct(target, type, ev);
}

void GuiScreen::relayout() {
  int g = std::max(1, renderer->glyphSize());
  int w = renderer->width(), h = renderer->height();
  int by_w = designWidth > 0 ? w / (g * designWidth) : 1;
  int by_h = designHeight > 0 ? h / (g * designHeight) : 1;
  // The player's UI scale, rounded to the whole multiples a bitmap font draws at.
  int fit = std::max(1, std::min(by_w, by_h));
  textScale = std::max(1, int(std::lround(float(fit) * float(ui_scale_percent) / 100.f)));
  layout(root, this);
  laidOutWidth = w, laidOutHeight = h;
}

void GuiScreen::relayoutIfResized() {
  if (renderer->width() != laidOutWidth || renderer->height() != laidOutHeight) relayout();
}
