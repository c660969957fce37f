// The castle's levels, health and repair, the portal that opens at the top
// level, and the run of worlds: the next world through the portal, the same
// world again when the castle falls.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "casting.h"
#include "drawing.h"
#include "entry_points.h"
#include "object_registry.h"
#include "world_run.h"

namespace {
constexpr int CASTLE_TOP_LEVEL = 3;
constexpr float CASTLE_MAX_HEALTH = 100.f;
constexpr float CASTLE_REPAIR_PER_SECOND = 1.f;
constexpr float CASTLE_THREAT_RANGE = 24.f;    // no repair while a wyvern is this close
constexpr float CASTLE_FALL_SECONDS = 3.f;     // the fall is seen before the world starts again
constexpr float CASTLE_TOWER_DISTANCE = 11.f;  // towers each level adds, this far from the keep
constexpr float PORTAL_HOVER = 16.f;           // above the castle's ground
constexpr float PORTAL_REACH = 20.f;           // a portal cast landing this close uses it
constexpr float PORTAL_PATH_REACH = 6.f;       // or passing this close on its way

// Which world this is, what it was made from and how the castle stands are
// kept in the game's run_state, so that they outlive a module swap.
static_assert(RunState{}.castle_health == CASTLE_MAX_HEALTH);

CastleObject* the_castle() { return CastleObject_list.count ? CastleObject_list[0] : nullptr; }

// Each world is harder: its castle levels cost more.
float world_cost_factor() { return 1.f + 0.25f * float(run_state.world_number - 1); }

// A seed for the next world that depends only on this one's and its number.
uint64_t next_world_seed(uint64_t seed, int number) {
  uint64_t z = seed + 0x9E3779B97F4A7C15ull * uint64_t(number + 1);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// Towers around the keep: two more each level, on ground that takes them.
void raise_castle_towers(const CastleObject& c) {
  for (int k = 0; k < 2; k++) {
    float a = 0.7853982f * float(2 * (c.level - 1) + k * 4 + 1);
    vec4f at(c.pos.x + std::sin(a) * CASTLE_TOWER_DISTANCE, 0, c.pos.z + std::cos(a) * CASTLE_TOWER_DISTANCE, 1);
    build_house(at);
  }
}

UsePortalSpell* portal_spell() {
  if (UsePortalSpell_list.count) return UsePortalSpell_list[0];
  UsePortalSpell* s = spawn(UsePortalSpell_list, false);
  Spell_list.push_back(s);
  return s;
}

void open_portal(const CastleObject& c) {
  if (WorldPortal_list.count) return;
  WorldPortal* p = spawn(WorldPortal_list);
  p->pos = vec4f(c.pos.x, c.pos.y + PORTAL_HOVER, c.pos.z, 1);
  update_proximity(p, p->boundRect());
  if (local_player) local_player->hands[0] = portal_spell();
  visual_log("The portal is open: cast Use portal at it");
  debug("world %d complete: the portal opens above the castle", run_state.world_number);
}

bool wyvern_near_castle(const CastleObject& c) {
  for (int i = 0; i < WyvernMonster_list.count; i++)
    if (distance_xz(reinterpret_cast<Monster*>(WyvernMonster_list[i])->pos, c.pos) < CASTLE_THREAT_RANGE) return true;
  return false;
}

void castle_falls(CastleObject& c) {
  run_state.castle_fall_timer = CASTLE_FALL_SECONDS;
  visual_log("The castle has fallen");
  debug("the castle of world %d has fallen", run_state.world_number);
  meteor_explode_fx(c.pos);
  cur_frame_color = vec4f(0.6f, 0.1f, 0.02f, 0.5f);
}
}  // namespace

// Mana the castle's next level takes: 100, 200, 400, more in later worlds.
int castle_level_cost(int level) {
  return int(std::lround(float(100 << std::clamp(level, 0, CASTLE_TOP_LEVEL - 1)) * world_cost_factor()));
}

int current_world_number() { return run_state.world_number; }

// Before a world is made (the seed is the one it is made from).
void note_world_start() {
  run_state.world_seed = game_rnd_seed;
  run_state.castle_health = CASTLE_MAX_HEALTH;
  run_state.castle_fall_timer = -1;
  run_state.world_objects_due = true;
  // The portal's spell stays behind with the old world.
  if (local_player && UsePortalSpell_list.count && local_player->hands[0] == UsePortalSpell_list[0])
    local_player->hands[0] = spell_grid[1][0];
}

// The castle missile arrived: the castle grows a level when the player has
// the level's mana.
void grow_castle() {
  CastleObject* c = the_castle();
  Player* p = local_player;
  if (!c || !p || c->level >= CASTLE_TOP_LEVEL) return;
  int cost = castle_level_cost(c->level);
  if (!p->manaCheat && p->mana < cost) {
    visual_log("Not enough mana for castle level %d (%d)", c->level + 1, cost);
    return;
  }
  if (!p->manaCheat) p->mana -= cost;
  c->level++;
  raise_castle_towers(*c);
  play_sound("castle_levelup", c->pos, 1, 1);
  call_fx_script("magic_hit_fx", c->pos, vec4f(0, 1, 0, 0), vec4f(0, 0, 0, 0), 4);
  visual_log("Castle level %d", c->level);
  debug("castle level %d in world %d", c->level, run_state.world_number);
  if (c->level >= CASTLE_TOP_LEVEL) open_portal(*c);
}

// Wyverns' fire on the castle; the player is told now and then how it stands.
void hurt_castle(float amount) {
  if (run_state.castle_fall_timer >= 0 || !(amount > 0)) return;
  run_state.castle_health = std::fmax(0.f, run_state.castle_health - amount);
  float& told_at = run_state.castle_burn_told_at;
  if (run_state.anim_clock - told_at > 4.f || run_state.anim_clock < told_at) {
    told_at = run_state.anim_clock;
    visual_log("The castle is burning: %d health left", int(std::ceil(run_state.castle_health)));
  }
}

float castle_health_left() { return run_state.castle_health; }

namespace {
constexpr float PLAYER_RESPAWN_SECONDS = 3.f;
constexpr float PLAYER_FALL_SPEED = 6.f;

// A player at no health falls, then starts again above the castle with
// half his mana.
void update_player_life(float dt) {
  Player* p = local_player;
  if (!p || p->parked || p->health > 0) {
    run_state.player_down_timer = -1;
    return;
  }
  if (run_state.player_down_timer < 0) {
    run_state.player_down_timer = PLAYER_RESPAWN_SECONDS;
    visual_log("You have fallen");
    play_sound("player_fall", p->pos, 1, 1);
    debug("the player has fallen");
  }
  p->pos.y -= PLAYER_FALL_SPEED * dt;
  run_state.player_down_timer -= dt;
  if (run_state.player_down_timer <= 0) {
    p->health = 1;
    p->mana /= 2;
    p->parked = true;  // the next update places him above the castle
    run_state.player_down_timer = -1;
  }
}
}  // namespace

// Once a step, before the objects: the world's objects after generation,
// the castle's repair and fall, and the restart the fall leads to.
void update_world_progress(float dt) {
  if (run_state.world_objects_due) {
    run_state.world_objects_due = false;
    generate_objects();
  }
  update_player_life(dt);
  CastleObject* c = the_castle();
  if (!c) return;
  if (run_state.castle_fall_timer >= 0) {
    run_state.castle_fall_timer -= dt;
    if (run_state.castle_fall_timer < 0) {
      run_state.castle_fall_timer = 0;  // stays fallen until the world is made again
      debug("world %d starts again", run_state.world_number);
      request_world_generation(run_state.world_seed);
    }
    return;
  }
  if (run_state.castle_health <= 0) {
    castle_falls(*c);
    return;
  }
  if (!wyvern_near_castle(*c))
    run_state.castle_health = std::fmin(CASTLE_MAX_HEALTH, run_state.castle_health + CASTLE_REPAIR_PER_SECOND * dt);
}

bool is_world_complete() {
  CastleObject* c = the_castle();
  return c && c->level >= CASTLE_TOP_LEVEL;
}

float CastleObject::castleProgress() {
  if (level >= CASTLE_TOP_LEVEL) return 1;
  int mana = local_player ? local_player->mana : 0;
  return std::clamp(float(mana) / float(castle_level_cost(level)), 0.f, 1.f);
}

void WorldPortal::update(float) {
  call_fx_script("portal_fx", pos, vec4f(0, 1, 0, 0), vec4f(0, 0, 0, 0), 1);
  play_object_loop(this, "portal_hum_loop", pos, 1, 1);
}

// Cast toward the portal (the aimed point near it, or the path passing it):
// the next world, harder, from a new seed.
bool UsePortalSpell::launch(const vec4f& from, const vec4f& target) {
  WorldPortal* p = WorldPortal_list.count ? WorldPortal_list[0] : nullptr;
  if (!p) {
    visual_log("No portal is open");
    return false;
  }
  vec4f d(target.x - from.x, target.y - from.y, target.z - from.z, 0);
  float len2 = d.x * d.x + d.y * d.y + d.z * d.z;
  float t = len2 > 1e-6f ? std::clamp(((p->pos.x - from.x) * d.x + (p->pos.y - from.y) * d.y +
                                       (p->pos.z - from.z) * d.z) / len2, 0.f, 1.f)
                         : 0.f;
  vec4f nearest(from.x + d.x * t, from.y + d.y * t, from.z + d.z * t, 1);
  float dx = nearest.x - p->pos.x, dy = nearest.y - p->pos.y, dz = nearest.z - p->pos.z;
  bool aimed = distance_xz(target, p->pos) < PORTAL_REACH || dx * dx + dy * dy + dz * dz < PORTAL_PATH_REACH * PORTAL_PATH_REACH;
  if (!aimed) {
    visual_log("Aim at the portal");
    return false;
  }
  run_state.world_number++;
  uint64_t seed = next_world_seed(run_state.world_seed, run_state.world_number);
  visual_log("World %d", run_state.world_number);
  play_ui_sound("portal_passage", 1);
  debug("through the portal to world %d (seed %llu)", run_state.world_number, (unsigned long long)seed);
  request_world_generation(seed);
  return true;
}
