// What the castle, the gatherers, the waves and the wyverns ask of each
// other: the world's number and progress, hurting the castle, the waves'
// clock, and the log lines the balance runs read.
#pragma once
#include "classes.h"

constexpr float BALL_RISE = 2.5f;  // a mana ball leaves this far above where it is sent

// A glowing ball of `amount` mana rising from `from` and floating to the player.
void send_mana_ball(const vec4f& from, int amount);

// The step update_gameobj was last called with, for the log.
inline int module_step = 0;

int current_world_number();
void begin_run();
int castle_level_cost(int level);
void note_world_start();
void grow_castle();
void hurt_castle(float amount);
float castle_health_left();
float castle_health_max();
void update_world_progress(float dt);
void reset_monster_spawning();
// The Use portal spell, made the first time it is asked for.
Spell* portal_use_spell();
void monster_killed(Monster* m);
// A meteor of the player's landed at `at`: the castle pays when it is close.
void meteor_near_castle(const vec4f& at);
// The world is complete and the portal open: no wave comes, wyverns flee.
bool world_is_won();
// Wyverns near where a spell landed turn on the player for a while.
void provoke_wyverns(const vec4f& at);
// The compass side a bearing points to ("north-east").
const char* compass_name(float bearing);
// A wyvern breathed on the player from `from` (for the edge tint).
void note_player_attacked(const vec4f& from);
// Writes game_view for the interface and the bot, once a step.
void publish_game_view(float dt);
