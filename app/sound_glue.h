#pragma once
// The game's side of the sound layer: starting it from the settings and the
// command line, the listener on the camera, the ambience measured from the
// world, the volume keys, and the end of every simulation step.

void sound_init();
void sound_close();
// Before the world moves: the listener goes where the camera is.
void sound_begin_step(float dt);
// After the world moved (or stood still, paused): ambience, then the step's mix.
void sound_end_step(float dt, bool world_ran);
void sound_reload_check();
// The volume keys (F7/F8 master, Shift+F7/F8 music, F10 sound on/off).
void sound_handle_keys();

