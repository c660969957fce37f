// The world's objects after generation: standing stones across the land and
// mana gatherers on dry ground around the castle. Gatherers draw mana (faster
// near a stone) and send it as glowing balls that float to the player. A
// gatherer that burns down leaves a glowing ruin that grows a new one, so
// that the land's mana never runs dry for good.
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
constexpr float DRY_DEPTH = 0.05f;
constexpr float EVEN_SLOPE = 1.5f;      // highest minus lowest corner around a standing place
constexpr float BALL_START_SPEED = 3.f, BALL_ACCEL = 6.f, BALL_MAX_SPEED = 24.f;
constexpr float RUIN_GLOW_S = 0.5f;     // between two glows of a ruin
constexpr float BALL_GLOW_PER_DISTANCE = 0.1f;  // glow size at most this share of its distance to the eye

// Open, dry, even ground a thing can stand on.
bool standing_place(int x, int z) {
  using namespace HeightmapData;
  float lo = 1e30f, hi = -1e30f;
  for (int dz = -1; dz <= 1; dz++)
    for (int dx = -1; dx <= 1; dx++) {
      int c = cellIndex(x + dx, z + dz);
      if (surface[c].groundType == GT_HOUSE) return false;
      if (water[(z + dz) & HMAP_MASK][(x + dx) & HMAP_MASK].depth > DRY_DEPTH) return false;
      lo = std::fmin(lo, hmap[c]);
      hi = std::fmax(hi, hmap[c]);
    }
  return hi - lo <= EVEN_SLOPE;
}

template <typename T>
T* stand_at(DynArray<T*>& list, float x, float z) {
  return spawn_at(list, vec4f(x, land_height(x, z), z, 1));
}

bool near_stone(const vec4f& p) {
  for (int i = 0; i < Stone1StaticObject_list.count; i++)
    if (distance_xz(Stone1StaticObject_list[i]->pos, p) <= STONE_REACH) return true;
  return false;
}

// Stones anywhere on open land; the first near the castle, so that a
// gatherer can be put to work beside one.
void place_stones(const vec4f& castle) {
  for (int tries = 0; tries < 400 && Stone1StaticObject_list.count < STONES_PER_WORLD; tries++) {
    float x, z;
    if (Stone1StaticObject_list.count == 0 && tries < 60) {
      float a = frnd() * 6.2831853f, d = 18.f + frnd() * 14.f;
      x = castle.x + std::sin(a) * d, z = castle.z + std::cos(a) * d;
    } else {
      x = hmfrnd(), z = hmfrnd();
    }
    x = std::floor(x) + 0.5f, z = std::floor(z) + 0.5f;
    if (standing_place(int(x), int(z))) stand_at(Stone1StaticObject_list, wrap_coord(x), wrap_coord(z));
  }
}

// Gatherers spread round the castle, each on the first open place found
// along its own bearing.
void place_gatherers(const vec4f& castle) {
  for (int i = 0; i < GATHERERS_PER_WORLD; i++) {
    for (int tries = 0; tries < 40; tries++) {
      float a = 6.2831853f * (float(i) + frnd() * 0.6f) / float(GATHERERS_PER_WORLD);
      float d = GATHERER_MIN_DISTANCE + frnd() * (GATHERER_MAX_DISTANCE - GATHERER_MIN_DISTANCE);
      float x = std::floor(castle.x + std::sin(a) * d) + 0.5f, z = std::floor(castle.z + std::cos(a) * d) + 0.5f;
      x = wrap_coord(x), z = wrap_coord(z);
      if (!standing_place(int(x), int(z))) continue;
      ManaGatherer* g = stand_at(ManaGatherer_list, x, z);
      // Their first balls leave a little apart.
      g->sendWait = SEND_INTERVAL_S * (0.6f + 0.2f * float(i));
      break;
    }
  }
}

}  // namespace

void send_mana_ball(const vec4f& from, int amount) {
  ManaBall* b = spawn(ManaBall_list);
  b->pos = vec4f(from.x, from.y + BALL_RISE, from.z, 1);
  b->vel = vec4f(0, BALL_START_SPEED, 0, 0);
  b->amount = amount;
  play_sound("mana_chime", b->pos, 0.6f, 1);
  update_proximity(b, b->boundRect());
}

// After a world is made: what stands on it besides the castle. Worlds whose
// script placed its own stones or gatherers keep those.
void generate_objects() {
  CastleObject* c = CastleObject_list.count ? CastleObject_list[0] : nullptr;
  vec4f centre = c ? c->pos : vec4f(HMAP_SIZE / 2, 0, HMAP_SIZE / 2, 1);
  if (!Stone1StaticObject_list.count) place_stones(centre);
  if (!ManaGatherer_list.count) place_gatherers(centre);
  debug("world %d: %d mana gatherers, %d standing stones", current_world_number(), ManaGatherer_list.count,
        Stone1StaticObject_list.count);
}

vec4f StaticObject::boundRect() { return vec4f(pos.x - 1, pos.z - 1, pos.x + 1, pos.z + 1); }

void ManaGatherer::fall() {
  fireball_explode_fx(pos);
  burning = 0, gathered = 0;
  ruin = RUIN_REGROW_S;
  visual_log("A mana gatherer burned down; its ruin grows a new one");
  debug("a mana gatherer burned down at (%.1f, %.1f) at step %d", pos.x, pos.z, module_step);
}

// A ruin glows while it grows a new gatherer.
static void regrow(ManaGatherer& g, float dt) {
  float before = g.ruin;
  g.ruin -= dt;
  if (std::floor(before / RUIN_GLOW_S) != std::floor(g.ruin / RUIN_GLOW_S))
    call_fx_script("magic_hit_fx", vec4f(g.pos.x, g.pos.y + 0.5f, g.pos.z, 1), vec4f(0, 1, 0, 0), vec4f(0, 0, 0, 0),
                   0.3f + 0.7f * (1.f - g.ruin / RUIN_REGROW_S));
  if (g.ruin > 0) return;
  g.ruin = 0;
  g.sendWait = SEND_INTERVAL_S;
  call_fx_script("magic_hit_fx", g.pos, vec4f(0, 1, 0, 0), vec4f(0, 0, 0, 0), 1.5f);
  visual_log("A mana gatherer has grown again");
  debug("a mana gatherer regrew at (%.1f, %.1f) at step %d", g.pos.x, g.pos.z, module_step);
}

void ManaGatherer::update(float dt) {
  if (!standing()) {
    regrow(*this, dt);
    return;
  }
  if (burning > 0) {
    // Water puts the fire out; otherwise the gatherer burns down.
    if (water_depth_at(pos.x, pos.z) > EXTINGUISH_DEPTH) {
      burning = 0;
      visual_log("The fire is out");
    } else {
      call_fx_script("fireball_fx", vec4f(pos.x, pos.y + 1.2f, pos.z, 1), vec4f(0, 2, 0, 0), vec4f(0, 0, 0, 0), 1);
      play_object_loop(this, "gatherer_burning_loop", pos, 1, 1);
      burning -= dt;
      if (burning <= 0) {
        fall();
        return;
      }
    }
  }
  play_object_loop(this, "gatherer_hum_loop", pos, 0.15f, 1);
  gathered += dt / GATHER_S_PER_MANA * (near_stone(pos) ? 2.f : 1.f);
  sendWait -= dt;
  if (sendWait <= 0) {
    sendWait += SEND_INTERVAL_S;
    int amount = int(gathered);
    if (amount > 0) {
      gathered -= float(amount);
      send_mana_ball(pos, amount);
    }
  }
}

// A ball rises, then speeds toward the player's eye and is absorbed there.
void ManaBall::update(float dt) {
  age += dt;
  Player* p = local_player;
  if (age > BALL_MAX_AGE_S) {
    destroy();
    return;
  }
  if (p && !p->parked) {
    vec4f to(p->pos.x - pos.x, p->pos.y - pos.y, p->pos.z - pos.z, 0);
    to = wrapped_delta(pos, p->pos);
    float d = std::sqrt(to.x * to.x + to.y * to.y + to.z * to.z);
    if (d < BALL_CATCH) {
      p->mana = std::min(p->mana + amount, MANA_CAP);
      play_sound("mana_pickup", pos, 0.8f, 1);
      call_fx_script("magic_hit_fx", pos, vec4f(0, 1, 0, 0), vec4f(0, 0, 0, 0), 0.5f);
      destroy();
      return;
    }
    float speed = std::fmin(BALL_MAX_SPEED, BALL_START_SPEED + BALL_ACCEL * age);
    // Steers toward the player, keeping some of its old heading so that it curves.
    float k = std::fmin(1.f, 4.f * dt);
    vec4f want(to.x / d * speed, to.y / d * speed, to.z / d * speed, 0);
    vel = vec4f(vel.x + (want.x - vel.x) * k, vel.y + (want.y - vel.y) * k, vel.z + (want.z - vel.z) * k, 0);
    // Never overshoots the player in one step.
    float step = std::sqrt(vel.x * vel.x + vel.y * vel.y + vel.z * vel.z) * dt;
    if (step > d) vel = vec4f(to.x / dt, to.y / dt, to.z / dt, 0);
  } else {
    vel = vec4f(0, 0.5f * std::sin(age * 2.f), 0, 0);
  }
  pos = vec4f(wrap_coord(pos.x + vel.x * dt), pos.y + vel.y * dt, wrap_coord(pos.z + vel.z * dt), 1);
  pos.y = std::fmax(pos.y, land_height(pos.x, pos.z) + 0.5f);
  // However close it comes to the eye, its glow stays small on screen.
  float size = 0.5f + 0.05f * float(std::min(amount, 20));
  if (p) size = std::fmin(size, BALL_GLOW_PER_DISTANCE * length_xyz(wrapped_delta(pos, p->eye())));
  call_fx_script("mana_ball_fx", pos, vel, vec4f(0, 0, 0, 0), std::fmax(size, 0.05f));
  update_proximity(this, boundRect());
}

vec4f ManaBall::boundRect() { return vec4f(pos.x - 0.5f, pos.z - 0.5f, pos.x + 0.5f, pos.z + 0.5f); }
