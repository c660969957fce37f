#pragma once
// The standard behaviours: "solidBox" makes an element take the mouse,
// "button" gives it pressed/over/normal states and sends its command.
#include "gui/gui_element.h"

// Takes the point when it lies in the element's border box and neither the
// element nor an ancestor is hidden. One shared instance serves every element.
class GuiHittestHandler final : public GuiEventHandler {
 public:
  GuiHittestHandler() : GuiEventHandler(GUI_EV_HITTEST) {}
  int handle(GuiEvent& ev, GuiElement* el, int mode) override;
  void attach(GuiElement*) override {}
  void detach(GuiElement*) override {}
};

// Shows exactly one of the button's ".normal", ".over" and ".pressed"
// children, and bubbles a command when a press is released over the button.
class ButtonEventHandler final : public GuiEventHandler {
 public:
  ButtonEventHandler();
  int handle(GuiEvent& ev, GuiElement* el, int mode) override;
  void attach(GuiElement* el) override;
  void detach(GuiElement* el) override;  // frees the handler

  GuiElement* button = nullptr;
  GuiElement* normal = nullptr;
  GuiElement* over = nullptr;
  GuiElement* pressed = nullptr;

 private:
  enum State { NORMAL, OVER, PRESSED };
  void show(State which);
  int released(const GuiInputEvent& ev);
};

class SolidBoxBehaviour final : public GuiBehaviour {
 public:
  const char* name() override { return "solidBox"; }
  void apply(GuiElement* el) override;
};

class ButtonBehaviour final : public GuiBehaviour {
 public:
  const char* name() override { return "button"; }
  void apply(GuiElement* el) override;
};
