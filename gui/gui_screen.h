#pragma once
// A screen owns an element tree, turns platform input into GUI events
// (hover, capture) and draws the tree through a renderer.
#include "gui/gui_element.h"
#include "gui/gui_renderer.h"

class GuiScreen {
 public:
  // Takes ownership of `root` and lays it out at once. The design size, in
  // glyphs, decides the text scale: the largest whole factor that fits.
  GuiScreen(IGuiRenderer* renderer, GuiElement* root, int design_width, int design_height);
  virtual ~GuiScreen();
  virtual float emSize();
  virtual GuiRect rootRect();
  virtual void measure(GuiElement* el, float& w, float& h);
  virtual void drawElement(GuiElement* el);
  // Draws the tree, laying it out first when the target size changed.
  virtual void draw();
  // Handles every queued platform event, laying out first when the target
  // size changed.
  virtual void processInput();
  virtual void dispatchInput(const InputEvent& ev, GuiElement* target);
  virtual void relayout();

  GuiElement* root;
  GuiElement* captured = nullptr;
  GuiElement* hovered = nullptr;
  int textScale = 1;
  int designWidth, designHeight;
  IGuiRenderer* renderer;

 private:
  void relayoutIfResized();
  void handleOne(const InputEvent& ev);
  int laidOutWidth = -1, laidOutHeight = -1;
};

// Registers "solidBox" and "button"; both programs call it at start-up.
void register_standard_gui_behaviours();
void unregister_standard_gui_behaviours();
