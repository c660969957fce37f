// What the castle, the gatherers and the wyverns ask of each other; the
// module is one translation unit, so these only order the definitions.
#pragma once

struct Monster;
struct Player;

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
void monster_killed(Monster* m);
// A flying monster within reach of the segment a..b: the point where the
// segment passes it, or false.
bool flyer_on_path(const vec4f& a, const vec4f& b, vec4f& hit);
// Kills flying monsters within `radius` of a point (a waterball's direct hit).
void drown_monsters_near(const vec4f& at, float radius);
void hurt_player(Player& p, float amount);
