// Casting: the player's two hands, their cooldowns, mana, aiming at the
// point under the screen centre, and each spell sending its missile.
#include <algorithm>
#include <cmath>

#include "casting.h"
#include "common.h"
#include "sounds.h"
#include "world_run.h"

using namespace tuning;

namespace {
constexpr float AIM_REACH = 400.f;     // farthest point a cast aims at
constexpr float AIM_STEP = 0.5f;
constexpr float CAST_DROP = 0.6f;      // missiles leave from below the eye

// The point on the land or water under the screen centre: along the camera's
// forward axis from its position, or the far end when nothing is met.
vec4f aim_point() {
  vec4f eye = cur_view_itm.row[3], fwd = cur_view_itm.row[2];
  float l = std::sqrt(fwd.x * fwd.x + fwd.y * fwd.y + fwd.z * fwd.z);
  if (!(l > 1e-6f)) fwd = vec4f(0, -1, 0, 0), l = 1;
  vec4f far(eye.x + fwd.x / l * AIM_REACH, eye.y + fwd.y / l * AIM_REACH, eye.z + fwd.z / l * AIM_REACH, 1);
  vec4f hit;
  return segment_hits_surface(vec4f(eye.x, eye.y, eye.z, 1), far, hit) ? hit : far;
}

// Tells the player once a second at most, so a held button does not flood the log.
void say_not_enough_mana() {
  if (run_state.cast_clock - run_state.not_enough_mana_shown_at < 1.f && run_state.cast_clock >= run_state.not_enough_mana_shown_at) return;
  run_state.not_enough_mana_shown_at = run_state.cast_clock;
  visual_log("Not enough mana");
  play_ui_sound("ui_no_mana", 1);
}

void read_cast_buttons(Player& p) {
  if (dev_mode || !app_active || spells_ui_active) return;
  if (action_held(KEY_CAST_FIRST) || action_pressed(KEY_CAST_FIRST)) p.castHand(0);
  if (action_held(KEY_CAST_SECOND) || action_pressed(KEY_CAST_SECOND)) p.castHand(1);
}
}  // namespace

bool Player::castHand(int hand) {
  if ((hand != 0 && hand != 1) || parked) return false;
  auto* spell = static_cast<CastableSpell*>(hands[hand]);
  if (!spell || handCooldown[hand] > 0) return false;
  int cost = spell->manaCost();
  if (!manaCheat && mana < cost) {
    handCooldown[hand] = HAND_COOLDOWN_S;
    say_not_enough_mana();
    return false;
  }
  vec4f from(pos.x, pos.y - CAST_DROP, pos.z, 1);
  if (!spell->launch(from, aim_point())) return false;
  cast_sound(spell, from);
  if (!manaCheat) mana -= spell->castCost();
  handCooldown[hand] = HAND_COOLDOWN_S;
  cooldown = 1;
  return true;
}

// Cooldowns run down; the second state bar shows the longer one left.
void tick_player_hands(Player& p, float dt) {
  run_state.cast_clock += dt;
  for (float& c : p.handCooldown) c = std::fmax(0.f, c - dt);
  p.cooldown = std::fmax(p.handCooldown[0], p.handCooldown[1]) / HAND_COOLDOWN_S;
  p.mana = std::min(p.mana, MANA_CAP);
  read_cast_buttons(p);
}

bool FireballSpell::launch(const vec4f& from, const vec4f& target) {
  return launch_missile(Fireball_list, from, target);
}
bool WaterballSpell::launch(const vec4f& from, const vec4f& target) {
  return launch_missile(Waterball_list, from, target);
}
bool FaultSpell::launch(const vec4f& from, const vec4f& target) {
  return launch_missile(FaultMissile_list, from, target);
}
bool HouseSpell::launch(const vec4f& from, const vec4f& target) {
  return launch_missile(HouseMissile_list, from, target);
}
bool HillSpell::launch(const vec4f& from, const vec4f& target) { return launch_missile(HillMissile_list, from, target); }
bool PitSpell::launch(const vec4f& from, const vec4f& target) { return launch_missile(PitMissile_list, from, target); }
bool WaterSourceSpell::launch(const vec4f& from, const vec4f& target) {
  return launch_missile(WaterSourceMissile_list, from, target);
}
bool WaterSinkSpell::launch(const vec4f& from, const vec4f& target) {
  return launch_missile(WaterSinkMissile_list, from, target);
}

// The meteor falls from high above the target, a little behind it as seen
// from the caster, so that its fall is seen coming.
bool MeteorSpell::launch(const vec4f& from, const vec4f& target) {
  float dx = target.x - from.x, dz = target.z - from.z;
  float l = std::sqrt(dx * dx + dz * dz);
  float bx = l > 1e-4f ? dx / l : 0, bz = l > 1e-4f ? dz / l : 0;
  vec4f sky(target.x - bx * METEOR_HEIGHT * 0.3f, target.y + METEOR_HEIGHT, target.z - bz * METEOR_HEIGHT * 0.3f, 1);
  // Its whistle is heard from where it will strike, as it falls for about as long.
  play_sound("meteor_whistle", target, 1, 1);
  // Aimed a little below the ground so that it always meets it.
  return launch_missile(MeteorMissile_list, sky, vec4f(target.x, target.y - 2, target.z, 1));
}

// The castle missile flies to the castle, wherever the player aims.
bool CastleSpell::launch(const vec4f& from, const vec4f&) {
  CastleObject* c = the_castle();
  if (!c) {
    visual_log("No castle");
    return false;
  }
  return launch_missile(CastleMissile_list, from, vec4f(c->pos.x, c->pos.y, c->pos.z, 1));
}

// Mana the castle's next level takes: 100, 200, 400.
int CastleSpell::manaCost() {
  CastleObject* c = the_castle();
  return castle_level_cost(c ? c->castleLevel() : 0);
}

