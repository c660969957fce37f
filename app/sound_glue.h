#pragma once
// The game's side of the sound layer: starting it from the settings and the
// command line, the listener on the camera, the ambience measured from the
// world, the volume keys, and the end of every simulation step.

#include "platform/sound_settings.h"

void sound_init();
void sound_close();
// Before the world moves: the listener goes where the camera is.
void sound_begin_step(float dt);
// After the world moved (or stood still, paused): ambience, then the step's mix.
void sound_end_step(float dt, bool world_ran);
void sound_reload_check();
// The volume keys (F7/F8 master, Shift+F7/F8 music, F10 sound on/off).
void sound_handle_keys();
// New volumes: heard at once and stored in the settings file (the keys and
// the options page both change them so).
void store_sound_volumes(const SoundVolumes& v);

