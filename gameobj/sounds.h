// What the world sounds like, where a sound needs more than one line:
// each spell's cast, and the player's pain (not every step of a burn).
#pragma once
#include "objects/game_objects.h"

// The cast of the spell, heard at the caster.
void cast_sound(Spell* spell, const vec4f& at);
// The horn that tells an attack comes from `from`: heard from that side, as
// loud as if it were near.
void wave_horn_from(const vec4f& from);
// The player was hurt by `amount` of health: a cry, at most a few a second.
void hurt_sound(const vec4f& at, float amount);
