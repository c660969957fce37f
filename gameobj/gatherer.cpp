// The world's objects after generation: standing stones across the land and
// mana gatherers on dry ground around the castle. Gatherers draw mana (faster
// near a stone) and send it as glowing balls that float to the player.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "casting.h"
#include "drawing.h"
#include "entry_points.h"
#include "object_registry.h"
#include "world_run.h"

namespace {
constexpr int GATHERERS_PER_WORLD = 3;
constexpr int STONES_PER_WORLD = 8;
constexpr float GATHERER_MIN_DISTANCE = 14.f, GATHERER_MAX_DISTANCE = 22.f;  // from the castle
constexpr float GATHER_SECONDS_PER_MANA = 2.f;
constexpr float STONE_REACH = 12.f;     // a gatherer this close to a stone gathers twice as fast
constexpr float SEND_SECONDS = 10.f;    // between two mana balls of one gatherer
constexpr float DRY_DEPTH = 0.05f;
constexpr float EVEN_SLOPE = 1.5f;      // highest minus lowest corner around a standing place
constexpr float EXTINGUISH_DEPTH = 0.3f;
constexpr float BALL_START_SPEED = 3.f, BALL_ACCEL = 6.f, BALL_MAX_SPEED = 24.f;
constexpr float BALL_CATCH = 1.6f;      // absorbed this close to the player
constexpr float BALL_MAX_AGE = 40.f;

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
  T* obj = spawn(list);
  obj->pos = vec4f(x, land_height(x, z), z, 1);
  update_proximity(obj, obj->boundRect());
  return obj;
}

// Distance on the wrap-around ground plane.
float wrapped_distance_xz(const vec4f& a, const vec4f& b) {
  float dx = std::remainder(a.x - b.x, float(HMAP_SIZE)), dz = std::remainder(a.z - b.z, float(HMAP_SIZE));
  return std::sqrt(dx * dx + dz * dz);
}

bool near_stone(const vec4f& p) {
  for (int i = 0; i < Stone1StaticObject_list.count; i++)
    if (wrapped_distance_xz(Stone1StaticObject_list[i]->pos, p) <= STONE_REACH) return true;
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
    if (standing_place(int(x), int(z))) stand_at(Stone1StaticObject_list, std::fmod(x + 256.f, 256.f), std::fmod(z + 256.f, 256.f));
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
      x = std::fmod(x + 256.f, 256.f), z = std::fmod(z + 256.f, 256.f);
      if (!standing_place(int(x), int(z))) continue;
      ManaGatherer* g = stand_at(ManaGatherer_list, x, z);
      // Their first balls leave a little apart.
      g->sendWait = SEND_SECONDS * (0.6f + 0.2f * float(i));
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

float land_height(float x, float z) {
  using namespace HeightmapData;
  int ix = int(std::floor(x)), iz = int(std::floor(z));
  float fx = x - float(ix), fz = z - float(iz);
  float a = hmap[cellIndex(ix, iz)], b = hmap[cellIndex(ix + 1, iz)];
  float c = hmap[cellIndex(ix, iz + 1)], d = hmap[cellIndex(ix + 1, iz + 1)];
  return (a + (b - a) * fx) * (1 - fz) + (c + (d - c) * fx) * fz;
}

// After a world is made: what stands on it besides the castle. Worlds whose
// script placed its own stones or gatherers keep those.
void generate_objects() {
  CastleObject* c = CastleObject_list.count ? CastleObject_list[0] : nullptr;
  vec4f centre = c ? c->pos : vec4f(HMAP_SIZE / 2, 0, HMAP_SIZE / 2, 1);
  if (!Stone1StaticObject_list.count) place_stones(centre);
  if (!ManaGatherer_list.count) place_gatherers(centre);
  monster_spawn_delay = std::fmax(2.f, 7.f - float(current_world_number()));
  debug("world %d: %d mana gatherers, %d standing stones", current_world_number(), ManaGatherer_list.count,
        Stone1StaticObject_list.count);
}

vec4f StaticObject::boundRect() { return vec4f(pos.x - 1, pos.z - 1, pos.x + 1, pos.z + 1); }

void ManaGatherer::update(float dt) {
  if (burning > 0) {
    // Water puts the fire out; otherwise the gatherer burns down.
    if (HeightmapData::water[int(std::floor(pos.z)) & HMAP_MASK][int(std::floor(pos.x)) & HMAP_MASK].depth >
        EXTINGUISH_DEPTH) {
      burning = 0;
    } else {
      call_fx_script("fireball_fx", vec4f(pos.x, pos.y + 1.2f, pos.z, 1), vec4f(0, 2, 0, 0), vec4f(0, 0, 0, 0), 1);
      play_object_loop(this, "gatherer_burning_loop", pos, 1, 1);
      burning -= dt;
      if (burning <= 0) {
        fireball_explode_fx(pos);
        visual_log("A mana gatherer burned down");
        debug("a mana gatherer burned down at (%.1f, %.1f)", pos.x, pos.z);
        destroy();
        return;
      }
    }
  }
  play_object_loop(this, "gatherer_hum_loop", pos, 0.15f, 1);
  gathered += dt / GATHER_SECONDS_PER_MANA * (near_stone(pos) ? 2.f : 1.f);
  sendWait -= dt;
  if (sendWait <= 0) {
    sendWait += SEND_SECONDS;
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
  if (age > BALL_MAX_AGE) {
    destroy();
    return;
  }
  if (p && !p->parked) {
    vec4f to(p->pos.x - pos.x, p->pos.y - pos.y, p->pos.z - pos.z, 0);
    to.x = std::remainder(to.x, float(HMAP_SIZE)), to.z = std::remainder(to.z, float(HMAP_SIZE));
    float d = std::sqrt(to.x * to.x + to.y * to.y + to.z * to.z);
    if (d < BALL_CATCH) {
      p->mana = std::min(p->mana + amount, 999);
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
  pos = vec4f(std::fmod(pos.x + vel.x * dt + 256.f, 256.f), pos.y + vel.y * dt,
              std::fmod(pos.z + vel.z * dt + 256.f, 256.f), 1);
  pos.y = std::fmax(pos.y, land_height(pos.x, pos.z) + 0.5f);
  call_fx_script("mana_ball_fx", pos, vel, vec4f(0, 0, 0, 0), 0.5f + 0.05f * float(std::min(amount, 20)));
  update_proximity(this, boundRect());
}

vec4f ManaBall::boundRect() { return vec4f(pos.x - 0.5f, pos.z - 0.5f, pos.x + 0.5f, pos.z + 0.5f); }
