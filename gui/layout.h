#pragma once
// Box layout: every element placed in screen pixels from its lengths.
#include "gui/gui_element.h"

class GuiScreen;

// A new element with the given size and sides, appended to `parent` at
// position -1 when there is one. Sides are top, left, right, bottom.
GuiElement* createElement(float width, int width_mode, float height, int height_mode, GuiLen margin_top,
                          GuiLen margin_left, GuiLen margin_right, GuiLen margin_bottom, GuiLen padding_top,
                          GuiLen padding_left, GuiLen padding_right, GuiLen padding_bottom, GuiElement* parent);
// Same, with all margins and paddings given as one length each.
GuiElement* createElement(GuiLen width, GuiLen height, GuiSides margin, GuiSides padding, GuiElement* parent);

void layout(GuiElement* el, GuiScreen* screen);
// The size the element's own settings or text ask for, grown to hold every
// child's outer size.
void measureContent(GuiElement* el, GuiScreen* screen, float& w, float& h);
// The space the element needs in its parent, margins included.
void outerSize(GuiElement* el, GuiScreen* screen, float& w, float& h);
