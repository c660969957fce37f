#pragma once
// Where the game meets the game-object module: start-up, the per-step and
// per-frame calls, the once-a-second reload check, the keys and shutdown.
// Everything goes through the module's bound entry points; an unbound one
// is skipped.

// Loads the module and starts its instance renderers (before the effects
// and shadows are set up).
// Loads the module; with the device it also binds its instance renderers
// (headless, no drawing entry point of the module is ever called).
void gameobj_startup(bool with_device = true);
// The module's init_gameobj, and the seams of the camera, the scene, the
// land renderer and world generation (after the shadows are set up).
void gameobj_init_objects();
// After the first world: the player starts where the -cam option put the camera.
void gameobj_place_player_at_camera();
void gameobj_shutdown();

void gameobj_update(float dt);
// Steps the module has been given (its log names them); kept by saved games.
int gameobj_step_count();
void set_gameobj_step_count(int steps);
// Seconds since the last step, for the module's drawing this frame.
void gameobj_set_frame_time(float t);
// Ctrl+M and Ctrl+N.
void gameobj_handle_keys();
// Rebuilds and swaps the module when its sources changed.
void gameobj_reload_check();

// Puts the spell of a spell-grid place into a hand of the local player and
// casts it toward the screen centre (automated runs); false when nothing flew.
bool gameobj_cast_from_place(int place, int hand);
void gameobj_toggle_mana_cheat();
