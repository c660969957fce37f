// The local player: it flies where the game camera steers it, keeps clear of
// the land and the water, and starts every world hovering above the castle.
#include <cmath>

#include "casting.h"
#include "common.h"
#include "tuning.h"
#include "world_run.h"
#include "module_api.h"

using namespace tuning;

namespace {
constexpr float BANK_GAIN = 0.05f;

void keep_in_air(vec4f& p) {
  p.x = wrap_coord(p.x);
  p.z = wrap_coord(p.z);
  float floor_y = surface_at(p.x, p.z) + PLAYER_MIN_CLEARANCE;
  if (p.y < floor_y) p.y = floor_y;
  if (p.y > PLAYER_MAX_HEIGHT) p.y = PLAYER_MAX_HEIGHT;
}

// After a world is made: above the castle the world script placed, or above
// the middle of the world when it placed none.
void leave_parking(Player& p) {
  CastleObject* c = the_castle();
  vec4f at = c ? c->pos : vec4f(HMAP_SIZE / 2, 0, HMAP_SIZE / 2, 1);
  p.pos = vec4f(at.x, 0, at.z - START_BACKOFF, 1);
  p.pos.y = std::fmax(surface_at(at.x, at.z), surface_at(p.pos.x, p.pos.z)) + START_HOVER;
  keep_in_air(p.pos);
  p.parked = false;
  // The game camera looks through the player's eyes: toward the castle, so
  // that the first cast lands somewhere visible. The free-fly camera of
  // developer mode is left where it is.
  if (!dev_mode) camera_set_angles(0, START_PITCH);
  debug("player starts %s at (%.1f, %.1f, %.1f)", c ? "above the castle" : "above the world's middle", p.pos.x, p.pos.y,
        p.pos.z);
}
}  // namespace

const char* Player::getName() { return "Player"; }

void Player::update(float dt) {
  if (parked) leave_parking(*this);
  tick_player_hands(*this, dt);
  update_proximity(this, boundRect());
}

void Player::onWorldGenerate() {
  note_world_start();
  // A player who fell as the world ended starts the new one whole.
  if (health <= 0) health = 1;
  run_state.player_down_timer = -1;
  reset_monster_spawning();
  parked = true;
  vel = vec4f(0, 0, 0, 0);
}

vec4f Player::boundRect() { return vec4f(pos.x - 0.5f, pos.z - 0.5f, pos.x + 0.5f, pos.z + 0.5f); }

void Player::move(float, float, const vec4f& velocity, const Matrix44& cam, int) {
  if (parked) return;
  vel = velocity;
  pos = vec4f(pos.x + velocity.x, pos.y + velocity.y, pos.z + velocity.z, 1);
  keep_in_air(pos);
  yaw = std::atan2(-cam.row[2].x, cam.row[2].z);
  // Lean into sideways motion, as the camera does.
  float side = velocity.x * cam.row[0].x + velocity.z * cam.row[0].z;
  bank = side * BANK_GAIN;
}

Spell* Player::handSpell(int hand) { return hand == 0 || hand == 1 ? hands[hand] : nullptr; }
int Player::manaAmount() { return mana; }
float Player::stateFraction(int bar) { return bar == 0 ? health : cooldown; }
CastleObject* Player::castle() { return the_castle(); }

void Player::selectSpell(bool second, Spell* spell) { hands[second ? 1 : 0] = spell; }

vec4f Player::eye() { return pos; }

void Player::placeAtCamera(const vec4f& camPos) {
  pos = vec4f(camPos.x, camPos.y, camPos.z, 1);
  keep_in_air(pos);
  parked = false;
}
