#pragma once
// The in-game spell UI: the top strip (castle progress, castle text, the
// player's two state bars, the two hands' spell boxes) and, while Ctrl is
// held, the panel of spell buttons laid out from spell_grid. A left click on
// a button puts its spell into the first hand, a right click into the second.
// Everything it shows comes from the module's local player, read each step.
// Game mode only: in developer mode none of it is called.
#include "gui/gui_renderer.h"
#include "gui/gui_screen.h"

constexpr int SPELL_UI_DESIGN_W = 50, SPELL_UI_DESIGN_H = 30;  // in glyphs
constexpr int SPELL_UI_FIRST_COMMAND = 100;                  // + the place in spell_grid
constexpr int SPELL_UI_USES_SCALE = 15;                       // casts that fill the uses bar

// Builds the screen; draws through `renderer` (the game's own when null),
// which the UI does not own.
void create_spell_ui(IGuiRenderer* renderer = nullptr);
// Per frame: Ctrl shows the panel and claims the mouse; returns Ctrl's state.
bool spell_ui_input();
// Per step: the boxes and bars from the local player, then the screen's input.
void update_spell_ui(float dt);
void draw_spell_ui();
void relayout_spell_ui();
void destroy_spell_ui();

// The screen, for tests (null when none exists).
GuiScreen* spell_ui_screen();
// Where a click picks the spell of a grid place (window pixels, y down);
// false before the screen is laid out.
bool spell_ui_place_centre(int place, float& x, float& y);
// The help lines listing every spell of the grid with its cost.
const char* spell_help_text();
