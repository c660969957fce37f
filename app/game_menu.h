#pragma once
// The Esc menu, drawn with the GUI toolkit over the game: Resume, Save game,
// Load game (the saves with their world, time played and date), Options,
// Controls (the key bindings: pick a row, press a key) and Quit, which asks
// first. The mouse picks and clicks rows; the arrows move, Enter picks, Left
// and Right change a value and Esc goes back. The simulation stands still
// while it is open.
#include "gui/gui_renderer.h"
#include "gui/gui_screen.h"

constexpr int GAME_MENU_DESIGN_W = 44, GAME_MENU_DESIGN_H = 26;  // in glyphs

// Builds the screen; draws through `renderer` (the game's own when null).
void create_game_menu(IGuiRenderer* renderer = nullptr);
void destroy_game_menu();
bool game_menu_open();
void open_game_menu();
// Opens the menu on the question whether to quit.
void open_quit_question();
void close_game_menu();
// Per step while open: the mouse and keys of the step.
void update_game_menu();
void draw_game_menu();
void relayout_game_menu();

// For tests: the screen, and the text of the rows shown now.
GuiScreen* game_menu_screen();
int game_menu_row_count();
const char* game_menu_row_text(int row);
int game_menu_selected_row();
const char* game_menu_status();
