#pragma once
// "play_sound(name, pos, gain, pitch)" for the effect script, so that an
// effect says what it sounds like beside what it looks like. The sound
// layer sits beside this one: whoever owns it fills in the hook (unset, the
// function plays nothing and returns false).
#include <squirrel.h>

#include "platform/math_types.h"

using FxPlaySound = bool (*)(const char* name, const vec4f& pos, float gain, float pitch);
extern FxPlaySound fx_play_sound_hook;

void register_fx_sound(HSQUIRRELVM vm);
