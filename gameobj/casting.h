// What the module's spell sources share: the land-or-water surface test,
// sending a missile, the world actions missiles end in, and hurting the player.
#pragma once
#include <cmath>

#include "classes.h"
#include "object_registry.h"
#include "tuning.h"

using tuning::MISSILE_SPEED;

// First point of the segment a..b at or under the surface; false when none.
bool segment_hits_surface(const vec4f& a, const vec4f& b, vec4f& hit);
// A unit vector across a velocity on the ground plane (for ribbon trails).
vec4f side_of(const vec4f& vel);

// Sends a missile of class T from `from` toward `target`.
template <typename T>
T* launch_missile(DynArray<T*>& list, const vec4f& from, const vec4f& target) {
  T* m = spawn(list);
  m->pos = vec4f(from.x, from.y, from.z, 1);
  m->target = vec4f(target.x, target.y, target.z, 1);
  float dx = target.x - from.x, dy = target.y - from.y, dz = target.z - from.z;
  float len = std::sqrt(dx * dx + dy * dy + dz * dz);
  if (len < 1e-4f) dx = 0, dy = -1, dz = 0, len = 1;
  m->vel = vec4f(dx / len * MISSILE_SPEED, dy / len * MISSILE_SPEED, dz / len * MISSILE_SPEED, 0);
  m->trail = add_trail_fx(m->pos, m->vel, side_of(m->vel), m->trailWidth(), D3dColor(m->trailColor()));
  update_proximity(m, m->boundRect());
  return m;
}

// Kills a monster with its death burst where it is.
void kill_monster(Monster* m);
// A cliff through pos running along dir on the ground plane.
void open_fault(const vec4f& pos, const vec4f& dir);
void make_crater(const vec4f& pos, float radius);
// Stamps a tower at the cell of pos when it fits; false when it does not.
bool build_house(const vec4f& pos);
// Health falls (never below none) and, with `flash`, the screen flashes red
// (the game tints the edge toward a wyvern's breath instead).
void hurt_player(Player& p, float amount, bool flash = true);
// The hands' cooldowns, mana's cap and the cast buttons, once a step.
void tick_player_hands(Player& p, float dt);
