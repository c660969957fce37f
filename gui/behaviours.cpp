// Hit testing, solid boxes and push buttons.
#include "gui/behaviours.h"

#include "gui/gui_screen.h"

namespace {
GuiHittestHandler shared_hittest;
SolidBoxBehaviour solid_box;
ButtonBehaviour button_behaviour;

bool button_held(const InputEvent& ev) { return ev.flags & (IF_LBUTTON | IF_RBUTTON); }

bool in_border_box(const GuiElement* el, float x, float y) {
  const GuiRect& p = el->paddingRect;
  const float* b = el->borderWidths;  // top, left, right, bottom
  return x >= p.left - b[1] && x < p.right + b[2] && y >= p.top - b[0] && y < p.bottom + b[3];
}
}  // namespace

int GuiHittestHandler::handle(GuiEvent& ev, GuiElement* el, int) {
  auto& hit = static_cast<GuiHittestEvent&>(ev);
  // Whatever is not drawn must not take the mouse either.
  if (el->isHiddenInTree() || !in_border_box(el, hit.x, hit.y)) return 0;
  hit.result = el;
  return 1;
}

void SolidBoxBehaviour::apply(GuiElement* el) { el->addHandler(&shared_hittest, -1); }
void ButtonBehaviour::apply(GuiElement* el) { el->addHandler(new ButtonEventHandler, -1); }

void register_standard_gui_behaviours() {
  register_gui_behaviour(&solid_box);
  register_gui_behaviour(&button_behaviour);
}

void unregister_standard_gui_behaviours() {
  unregister_gui_behaviour(&button_behaviour);
  unregister_gui_behaviour(&solid_box);
}

ButtonEventHandler::ButtonEventHandler()
    : GuiEventHandler(GUI_EV_MOUSE_ENTER | GUI_EV_MOUSE_LEAVE | GUI_EV_BUTTON_UP | GUI_EV_BUTTON_DOWN |
                      GUI_EV_VISIBILITY) {}

void ButtonEventHandler::attach(GuiElement* el) {
  button = el;
  normal = el->findByName(".normal");
  over = el->findByName(".over");
  pressed = el->findByName(".pressed");
  show(NORMAL);
}

void ButtonEventHandler::detach(GuiElement*) { delete this; }

void ButtonEventHandler::show(State which) {
  // The states may be added after the behaviour.
  if (!normal && !over && !pressed) {
    normal = button->findByName(".normal");
    over = button->findByName(".over");
    pressed = button->findByName(".pressed");
  }
  GuiElement* states[3] = {normal, over, pressed};
  for (int i = 0; i < 3; i++)
    if (states[i]) states[i]->setHidden(i != which);
}

int ButtonEventHandler::handle(GuiEvent& ev, GuiElement*, int) {
  if (ev.type == GUI_EV_VISIBILITY) {
    show(NORMAL);
    return 0;
  }
  if (button->isHiddenInTree()) return 0;
  const auto& in = static_cast<const GuiInputEvent&>(ev);
  switch (ev.type) {
    case GUI_EV_MOUSE_ENTER: show(button_held(in.input) ? PRESSED : OVER); return 1;
    case GUI_EV_MOUSE_LEAVE: show(NORMAL); return 1;
    case GUI_EV_BUTTON_DOWN: show(PRESSED); return 1;
    case GUI_EV_BUTTON_UP: return released(in);
    default: return 0;
  }
}

int ButtonEventHandler::released(const GuiInputEvent& ev) {
  GuiElement* hit = button->hitTest(ev.input.x, ev.input.y);
  bool held = button_held(ev.input);
  show(held ? PRESSED : hit == button ? OVER : NORMAL);
  if (!held && hit == button) {
    GuiCommandEvent cmd(button->id, ev.input.key, button);
    button->dispatch(cmd, GUI_BUBBLE);
  }
  return 1;
}
