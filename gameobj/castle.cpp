// The castle's levels, health and repair, the buildings each level adds
// outside what stands, its fall (the buildings crumble, then the same world
// starts again), the portal that opens at the top level, and the run of
// worlds: the next world through the portal, harder, from a new seed. A
// world whose portal is open stays won: no wave comes and the castle
// cannot fall.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "casting.h"
#include "common.h"
#include "drawing.h"
#include "entry_points.h"
#include "object_registry.h"
#include "tuning.h"
#include "world_run.h"

using namespace tuning;

namespace {
constexpr float GREAT_TOWER_RISE = 7.f;  // the great tower stands this much above an ordinary one
constexpr float CRUMBLE_REACH = 17.f;    // buildings this close to the keep crumble with it

// Which world this is, what it was made from and how the castle stands are
// kept in the game's run_state, so that they outlive a module swap.

// Each world is harder: its castle levels cost more.
float world_cost_factor() { return 1.f + CASTLE_COST_PER_WORLD * float(run_state.world_number - 1); }

// A seed for the next world that depends only on this one's and its number.
uint64_t next_world_seed(uint64_t seed, int number) {
  uint64_t z = seed + 0x9E3779B97F4A7C15ull * uint64_t(number + 1);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

void tell_land_renderer() {
  if (HeightmapData::world_hooks.heightsChanged) HeightmapData::world_hooks.heightsChanged();
}

// One building of a level: a house template's type and its cell offset
// from the keep's centre (the level-0 castle covers -9..8 either way).
struct Stamp {
  int type;  // placeHouse: 0 tower, 1 wall along z, 2 wall along x
  int dx, dz;
};
constexpr int TOWER = 0, WALL_X = 2;
// Level 1: two towers on the east and west walls. Level 2: an outer wall
// on the south with a gate in its middle, and one on the north. Level 3:
// the great tower in the north wall's gap, under the portal.
constexpr Stamp LEVEL1[] = {{TOWER, -11, 0}, {TOWER, 11, 0}};
constexpr Stamp LEVEL2[] = {{WALL_X, -8, -13}, {WALL_X, 9, -13}, {WALL_X, -7, 13}, {WALL_X, 7, 13}};
constexpr Stamp LEVEL3[] = {{TOWER, 0, 13}};
constexpr int GREAT_TOWER_DZ = 13;

vec4f keep_cell(const CastleObject& c) { return vec4f(std::floor(c.pos.x), 0, std::floor(c.pos.z), 1); }

// Raises the inner corners of the tower at (x, z) so that it stands tall.
void raise_great_tower(int x, int z) {
  using namespace HeightmapData;
  for (int j = -1; j <= 1; j++)
    for (int i = -1; i <= 1; i++) target_hmap[cellIndex(x + i, z + j)] += GREAT_TOWER_RISE * (i == 0 && j == 0 ? 1.1f : 1.f);
}

// The buildings a level adds, stamped whatever the ground: the stamp
// levels its own footprint.
void stamp_level(const CastleObject& c, int level) {
  const Stamp* stamps = level == 1 ? LEVEL1 : level == 2 ? LEVEL2 : LEVEL3;
  int n = level == 1 ? int(std::size(LEVEL1)) : level == 2 ? int(std::size(LEVEL2)) : int(std::size(LEVEL3));
  vec4f k = keep_cell(c);
  for (int i = 0; i < n; i++) {
    int x = int(k.x) + stamps[i].dx, z = int(k.z) + stamps[i].dz;
    HeightmapData::placeHouse(x, z, stamps[i].type, HeightmapData::target_hmap, false);
    if (level == 3) raise_great_tower(x, z);
    call_fx_script("house_fizzle_fx", vec4f(float(x) + 0.5f, c.pos.y + 2, float(z) + 0.5f, 1), vec4f(0, 1, 0, 0),
                   vec4f(0, 0, 0, 0), 2);
  }
  tell_land_renderer();
}

// The fallen castle's buildings sink toward the lowest ground around them,
// in a cloud of dust.
void crumble_castle(const CastleObject& c) {
  using namespace HeightmapData;
  int r = int(CRUMBLE_REACH);
  vec4f k = keep_cell(c);
  float base = 1e30f;
  for (int d = -r; d <= r; d++) {
    base = std::fmin(base, target_hmap[cellIndex(int(k.x) + d, int(k.z) - r)]);
    base = std::fmin(base, target_hmap[cellIndex(int(k.x) + d, int(k.z) + r)]);
    base = std::fmin(base, target_hmap[cellIndex(int(k.x) - r, int(k.z) + d)]);
    base = std::fmin(base, target_hmap[cellIndex(int(k.x) + r, int(k.z) + d)]);
  }
  for (int dz = -r; dz <= r; dz++)
    for (int dx = -r; dx <= r; dx++) {
      int x = int(k.x) + dx, z = int(k.z) + dz;
      if (surface[cellIndex(x, z)].groundType != GT_HOUSE) continue;
      for (int j = 0; j <= 1; j++)
        for (int i = 0; i <= 1; i++) {
          float& h = target_hmap[cellIndex(x + i, z + j)];
          h = std::fmax(base, h - CASTLE_CRUMBLE_DEPTH);
        }
    }
  for (int i = 0; i < 8; i++) {
    float a = 0.785398f * float(i);
    vec4f at(c.pos.x + std::sin(a) * 9.f, c.pos.y + 1.f, c.pos.z + std::cos(a) * 9.f, 1);
    call_fx_script("house_fizzle_fx", at, vec4f(0, 1, 0, 0), vec4f(0, 0, 0, 0), 4);
  }
  tell_land_renderer();
}

void open_portal(const CastleObject& c) {
  if (WorldPortal_list.count) return;
  vec4f k = keep_cell(c);
  float ground = land_height(k.x + 0.5f, k.z + float(GREAT_TOWER_DZ) + 0.5f);
  spawn_at(WorldPortal_list, vec4f(k.x + 0.5f, std::fmax(ground, c.pos.y) + PORTAL_HOVER, k.z + float(GREAT_TOWER_DZ) + 0.5f, 1));
  if (local_player) local_player->hands[0] = portal_use_spell();
  visual_log("The portal is open: cast Use portal at it");
  debug("world %d complete: the portal opens above the great tower at step %d", run_state.world_number, module_step);
}

bool wyvern_near_castle(const CastleObject& c) {
  for (int i = 0; i < WyvernMonster_list.count; i++)
    if (distance_xz(reinterpret_cast<Monster*>(WyvernMonster_list[i])->pos, c.pos) < CASTLE_THREAT_RANGE) return true;
  return false;
}

void castle_falls(CastleObject& c) {
  run_state.castle_fall_timer = CASTLE_FALL_S;
  visual_log("The castle has fallen");
  debug("the castle of world %d has fallen at step %d", run_state.world_number, module_step);
  meteor_explode_fx(c.pos);
  crumble_castle(c);
  cur_frame_color = vec4f(0.6f, 0.1f, 0.02f, 0.5f);
}
}  // namespace

Spell* portal_use_spell() {
  if (UsePortalSpell_list.count) return UsePortalSpell_list[0];
  UsePortalSpell* s = spawn(UsePortalSpell_list, false);
  Spell_list.push_back(s);
  return s;
}

// Mana the castle's next level takes: 100, 200, 400, more in later worlds.
int castle_level_cost(int level) {
  return int(std::lround(float(CASTLE_LEVEL_COST[std::clamp(level, 0, CASTLE_TOP_LEVEL - 1)]) * world_cost_factor()));
}

int current_world_number() { return run_state.world_number; }

// At start-up: the run begins in the world the command line asked for.
void begin_run() { run_state.world_number = std::max(1, int(start_world_number)); }

// Before a world is made (the seed is the one it is made from).
void note_world_start() {
  run_state.world_seed = game_rnd_seed;
  run_state.castle_health = CASTLE_BASE_HEALTH;
  run_state.castle_fall_timer = -1;
  run_state.world_objects_due = true;
  debug("world %d begins at step %d", run_state.world_number, module_step);
  visual_log("World %d: gather mana and raise your castle.", run_state.world_number);
  visual_log("Hold Ctrl and put Castle in a hand.");
  // The portal's spell stays behind with the old world.
  if (local_player && UsePortalSpell_list.count && local_player->hands[0] == UsePortalSpell_list[0])
    local_player->hands[0] = spell_grid[1][4];
}

// The castle missile arrived: the castle grows a level when the player has
// the level's mana.
void grow_castle() {
  CastleObject* c = the_castle();
  Player* p = local_player;
  if (!c || !p || c->level >= CASTLE_TOP_LEVEL || run_state.castle_fall_timer >= 0) return;
  int cost = castle_level_cost(c->level);
  if (!p->manaCheat && p->mana < cost) {
    visual_log("Not enough mana for castle level %d (%d)", c->level + 1, cost);
    return;
  }
  if (!p->manaCheat) p->mana -= cost;
  c->level++;
  run_state.castle_health += CASTLE_HEALTH_PER_LEVEL;
  stamp_level(*c, c->level);
  play_sound("castle_levelup", c->pos, 1, 1);
  call_fx_script("magic_hit_fx", c->pos, vec4f(0, 1, 0, 0), vec4f(0, 0, 0, 0), 4);
  visual_log("Castle level %d", c->level);
  debug("castle level %d reached in world %d at step %d", c->level, run_state.world_number, module_step);
  if (c->level >= CASTLE_TOP_LEVEL) open_portal(*c);
}

// Wyverns' fire on the castle; the player is told now and then how it stands.
void hurt_castle(float amount) {
  if (run_state.castle_fall_timer >= 0 || world_is_won() || !(amount > 0)) return;
  run_state.castle_health = std::fmax(0.f, run_state.castle_health - amount);
  float& told_at = run_state.castle_burn_told_at;
  if (run_state.anim_clock - told_at > 4.f || run_state.anim_clock < told_at) {
    told_at = run_state.anim_clock;
    visual_log("The castle is under attack: %d health left", int(std::ceil(run_state.castle_health)));
  }
}

void meteor_near_castle(const vec4f& at) {
  CastleObject* c = the_castle();
  if (!c || distance_xz(at, c->pos) > METEOR_CASTLE_REACH || run_state.castle_fall_timer >= 0 || world_is_won()) return;
  run_state.castle_health = std::fmax(0.f, run_state.castle_health - METEOR_CASTLE_DAMAGE);
  visual_log("Your meteor struck the castle! (%d health left)", int(std::ceil(run_state.castle_health)));
  debug("the player's meteor struck the castle at step %d", module_step);
}

float castle_health_left() { return run_state.castle_health; }
float castle_health_max() {
  CastleObject* c = the_castle();
  return CASTLE_BASE_HEALTH + CASTLE_HEALTH_PER_LEVEL * float(c ? c->level : 0);
}
bool world_is_won() { return WorldPortal_list.count > 0; }

namespace {
// A player at no health falls, then starts again above the castle with
// most of his mana and a moment in which nothing hurts him.
void update_player_life(float dt) {
  run_state.player_protection = std::fmax(0.f, run_state.player_protection - dt);
  Player* p = local_player;
  if (!p || p->parked || p->health > 0) {
    run_state.player_down_timer = -1;
    return;
  }
  if (run_state.player_down_timer < 0) {
    run_state.player_down_timer = RESPAWN_DELAY_S;
    visual_log("You have fallen");
    play_sound("player_fall", p->pos, 1, 1);
    debug("the player has fallen at step %d", module_step);
  }
  p->pos.y -= PLAYER_FALL_SPEED * dt;
  run_state.player_down_timer -= dt;
  if (run_state.player_down_timer <= 0) {
    p->health = 1;
    p->mana = int(float(p->mana) * RESPAWN_MANA_KEPT);
    p->parked = true;  // the next update places him above the castle
    run_state.player_protection = RESPAWN_PROTECTION_S;
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
  if (!wyvern_near_castle(*c)) run_state.castle_health = std::fmin(castle_health_max(), run_state.castle_health + CASTLE_REPAIR_PER_S * dt);
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
float CastleObject::castleHealth() { return run_state.castle_health; }
float CastleObject::castleHealthMax() { return castle_health_max(); }

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
  vec4f d = target - from;
  float len2 = dot_xyz(d, d);
  float t = len2 > 1e-6f ? std::clamp(dot_xyz(p->pos - from, d) / len2, 0.f, 1.f) : 0.f;
  vec4f off = from + d * t - p->pos;
  bool aimed = distance_xz(target, p->pos) < PORTAL_REACH || dot_xyz(off, off) < PORTAL_PATH_REACH * PORTAL_PATH_REACH;
  if (!aimed) {
    visual_log("Aim at the portal");
    return false;
  }
  run_state.world_number++;
  uint64_t seed = next_world_seed(run_state.world_seed, run_state.world_number);
  play_ui_sound("portal_passage", 1);
  debug("through the portal to world %d (seed %llu) at step %d", run_state.world_number, (unsigned long long)seed, module_step);
  request_world_generation(seed);
  return true;
}
