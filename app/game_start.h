#pragma once
// How a run begins and when the game saves by itself. Started as the
// launcher starts it (no -seed, -load, -new, -record or -replay) the game
// continues from its automatic save; -load FILE starts from a save; else a
// new world is made. The automatic save is written when a world starts and
// when the game quits (never while a replay plays, which must not change
// what the player continues from).
#include <string>

// After the settings are read, before the window opens: reads the save the
// run starts from. False, with the reason naming the file in `why`, only when
// -load names a file that cannot be used (the game then exits with code 1).
bool prepare_game_start(std::string& why);
// In place of the first generate_world: the prepared save, or a new world.
// False when the save -load named could not be applied (the world is then
// a new one, and the game exits with code 1).
bool start_first_world();
// True when start_first_world refused the save -load named.
bool start_failed();
// At the end of every step: saves once a new world's objects are placed.
void autosave_after_world_start();
// Before shutdown, when the run ends normally.
void autosave_on_quit();
// Whether anything ran since the game was last saved or loaded.
bool run_unsaved();
// Notes a save or load made from the menu.
void note_run_saved();
void note_step_played();
