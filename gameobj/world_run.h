// What the castle, the gatherers and the wyverns ask of each other; the
// module is one translation unit, so these only order the definitions.
#pragma once
#include "classes.h"

constexpr float BALL_RISE = 2.5f;  // a mana ball leaves this far above where it is sent

// Land height under a point (no water), between cell corners.
float land_height(float x, float z);
// A glowing ball of `amount` mana rising from `from` and floating to the player.
void send_mana_ball(const vec4f& from, int amount);

// The step update_gameobj was last called with, for the log.
inline int module_step = 0;

int current_world_number();
int castle_level_cost(int level);
void note_world_start();
void grow_castle();
void hurt_castle(float amount);
float castle_health_left();
void update_world_progress(float dt);
void reset_monster_spawning();
// The Use portal spell, made the first time it is asked for.
Spell* portal_use_spell();
void monster_killed(Monster* m);
