#pragma once
// Sound for the game-object module: one-shots anywhere in the world
// (play_sound, from the sound layer) and loops that belong to an object.
// An object's loop plays while the object asks for it every step; it stops
// when the object is destroyed, when it stops asking, and when a rebuilt
// module is swapped in (the new code asks again for what it wants).
#include "audio/sound.h"

struct BaseObject;

void play_object_loop(BaseObject* obj, const char* name, const vec4f& pos, float gain, float pitch);
