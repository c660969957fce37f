#pragma once
// The in-game spell UI: the top strip (castle progress, castle text, the
// player's two state bars, the two hands' spell boxes) and, while Ctrl is
// held, the panel of spell buttons laid out from spell_grid. A left click on
// a button puts its spell into the first hand, a right click into the second.
// Everything it shows comes from the module's local player, read each step.
// Game mode only: in developer mode none of it is called.
#include <vector>

#include "gui/gui_renderer.h"
#include "gui/gui_screen.h"

constexpr int SPELL_UI_DESIGN_W = 50, SPELL_UI_DESIGN_H = 30;  // in glyphs
constexpr int SPELL_UI_FIRST_COMMAND = 100;                  // + the place in spell_grid
constexpr int SPELL_UI_USES_SCALE = 15;                       // casts that fill the uses bar

// Builds the screen; draws through `renderer` (the game's own when null),
// which the UI does not own.
void create_spell_ui(IGuiRenderer* renderer = nullptr);
// Per step, before the module's update: Ctrl held shows the panel and keeps
// the buttons from casting (spells_ui_active), and the step's pointer events
// pick spells. Returns Ctrl's state.
bool spell_ui_input();
// Per frame: whether the panel wants the pointer (Ctrl held), for the mouse
// look. Reads only; nothing the simulation uses changes here.
bool spell_ui_wants_pointer();

// A pick in the panel: the spell of grid place `place` into the first (0) or
// second (1) hand. Records store picks so, not as the pixels clicked.
struct SpellPick {
  int place, hand;
};
// Told of every pick the panel makes (a record writes them down).
void set_spell_pick_observer(void (*observer)(const SpellPick& pick));
// While `picks` is set the pointer picks nothing: each step's spell_ui_input
// makes exactly these picks instead (a replay of a record that stores them).
void set_replayed_spell_picks(const std::vector<SpellPick>* picks);
// Puts the spell of a place into a hand, as a click on its button does.
void make_spell_pick(const SpellPick& pick);
// Per step: the boxes and bars from the local player, then the screen's input.
void update_spell_ui(float dt);
void draw_spell_ui();
void relayout_spell_ui();
void destroy_spell_ui();

// The screen, for tests (null when none exists).
GuiScreen* spell_ui_screen();
// The help lines listing every spell of the grid with its cost.
const char* spell_help_text();
