// Wyverns: they come in at the rim of the visible land, fly a smooth banking
// path to the nearest mana gatherer, then the castle, and breathe fire on
// what they reach, turning on the player when he comes close. Fire, a
// meteor, a waterball's direct hit or deep water kill them; they fall and
// leave a ball of mana.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "casting.h"
#include "sounds.h"
#include "drawing.h"
#include "entry_points.h"
#include "object_registry.h"
#include "world_run.h"

namespace {
constexpr float WYVERN_BASE_SPEED = 8.f;       // world units a second in the first world
constexpr float WYVERN_SPEED_PER_WORLD = 1.f;
constexpr float WYVERN_TURN_RATE = 1.5f;       // radians a second at most
constexpr float WYVERN_CLIMB_RATE = 5.f;       // units a second up or down at most
constexpr float WYVERN_MAX_BANK = 0.8f;
constexpr float CRUISE_HEIGHT = 10.f;          // above the land or water on the way
constexpr float ATTACK_HEIGHT = 5.f;           // above what it burns
constexpr float APPROACH_RANGE = 28.f;         // starts its descent this far out
constexpr float HOVER_RANGE = 8.f, HOVER_SPEED = 0.4f;  // slows to this share of its speed over its prey
constexpr float LOOK_AHEAD_SECONDS = 1.5f;
constexpr float WYVERN_CLEARANCE = 1.5f;          // never closer to the land than this
constexpr float SEPARATION = 5.f;              // keeps this far from other wyverns
constexpr float PLAYER_ATTACK_RANGE = 16.f;
constexpr float BREATH_RANGE = 9.f;
constexpr float BREATH_SECONDS = 1.5f, BREATH_PAUSE = 1.0f;
constexpr float CASTLE_BURN_PER_SECOND = 20.f;
constexpr float PLAYER_BURN_PER_SECOND = 0.12f;  // of full health
constexpr float GATHERER_FIRE_SECONDS = 3.f;
constexpr float DROWN_DEPTH = 1.f;
constexpr float FLYER_HIT_RADIUS = 3.f;  // a fireball or waterball bursts this close to a flyer
constexpr float RIM_DISTANCE = 100.f;          // where the fog swallows the land
constexpr float SPAWN_HEIGHT = 16.f;
constexpr int DROPPED_MANA = 10;
constexpr float CORPSE_GRAVITY = 15.f;

float wyvern_speed() { return WYVERN_BASE_SPEED + WYVERN_SPEED_PER_WORLD * float(current_world_number() - 1); }
int alive_cap() { return 2 + 2 * current_world_number(); }

// The shortest way from a to b on the wrap-around ground plane.
vec4f wrapped_delta(const vec4f& a, const vec4f& b) {
  return vec4f(std::remainder(b.x - a.x, float(HMAP_SIZE)), b.y - a.y, std::remainder(b.z - a.z, float(HMAP_SIZE)), 0);
}

float wrap_angle(float a) { return std::remainder(a, 6.2831853f); }

float water_depth_at(float x, float z) {
  return HeightmapData::water[int(std::floor(z)) & HMAP_MASK][int(std::floor(x)) & HMAP_MASK].depth;
}

// What a wyvern goes for: the player when he is close, else the nearest
// gatherer, else the castle.
enum class Prey { NONE, PLAYER, GATHERER, CASTLE };
struct Target {
  Prey kind = Prey::NONE;
  vec4f pos{0, 0, 0, 1};
  ManaGatherer* gatherer = nullptr;
};

Target choose_target(const vec4f& at) {
  Target t;
  Player* p = local_player;
  if (p && !p->parked && p->health > 0) {
    vec4f d = wrapped_delta(at, p->pos);
    if (d.x * d.x + d.z * d.z < PLAYER_ATTACK_RANGE * PLAYER_ATTACK_RANGE) {
      t.kind = Prey::PLAYER, t.pos = p->pos;
      return t;
    }
  }
  float best = 1e30f;
  for (int i = 0; i < ManaGatherer_list.count; i++) {
    ManaGatherer* g = ManaGatherer_list[i];
    vec4f d = wrapped_delta(at, g->pos);
    float d2 = d.x * d.x + d.z * d.z;
    if (d2 < best) best = d2, t.kind = Prey::GATHERER, t.gatherer = g, t.pos = g->pos;
  }
  if (t.kind == Prey::NONE && CastleObject_list.count) {
    t.kind = Prey::CASTLE;
    t.pos = CastleObject_list[0]->pos;
  }
  if (t.kind == Prey::NONE && p) t.kind = Prey::PLAYER, t.pos = p->pos;
  return t;
}

// A push away from the other wyverns near it, found through the proximity bins.
vec4f separation(const WyvernMonster& self) {
  ProximityQuery q;
  q.proximityQuery(vec4f(self.pos.x - SEPARATION, self.pos.z - SEPARATION, self.pos.x + SEPARATION,
                         self.pos.z + SEPARATION), false);
  vec4f push(0, 0, 0, 0);
  while (GameObj* o = q.next()) {
    if (o == &self || std::strcmp(o->getName(), "WyvernMonster") != 0) continue;
    vec4f d = wrapped_delta(static_cast<WyvernMonster*>(o)->pos, self.pos);
    float l2 = d.x * d.x + d.y * d.y + d.z * d.z;
    if (l2 > SEPARATION * SEPARATION || l2 < 1e-6f) continue;
    float w = (SEPARATION - std::sqrt(l2)) / SEPARATION;
    push = vec4f(push.x + d.x * w, push.y + d.y * w, push.z + d.z * w, 0);
  }
  return push;
}

// The highest land or water ahead along the flight, so that the wyvern
// climbs before a hill or a tower rather than into it.
float floor_ahead(const vec4f& pos, const vec4f& vel) {
  float top = surface_at(pos.x, pos.z);
  for (int k = 1; k <= 3; k++) {
    float t = LOOK_AHEAD_SECONDS * float(k) / 3.f;
    top = std::fmax(top, surface_at(pos.x + vel.x * t, pos.z + vel.z * t));
  }
  return top;
}

void breathe_on(WyvernMonster& w, const Target& t, float dt) {
  vec4f d = wrapped_delta(w.pos, t.pos);
  float l = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
  vec4f dir = l > 1e-4f ? vec4f(d.x / l, d.y / l, d.z / l, 0) : vec4f(0, -1, 0, 0);
  call_fx_script("wyvern_breath_fx", w.pos, dir, vec4f(0, 0, 0, 0), 1);
  switch (t.kind) {
    case Prey::GATHERER:
      if (t.gatherer->burning <= 0) {
        t.gatherer->burning = GATHERER_FIRE_SECONDS;
        const vec4f& g = t.gatherer->pos;
        vec4f eye = local_player ? local_player->eye() : vec4f(0, 0, 0, 1);
        debug("a wyvern at (%.3f, %.3f, %.3f) sets fire to the mana gatherer at (%.3f, %.3f, %.3f) at step %d; "
              "the player's eye is at (%.3f, %.3f, %.3f)",
              w.pos.x, w.pos.y, w.pos.z, g.x, g.y, g.z, module_step, eye.x, eye.y, eye.z);
      }
      break;
    case Prey::CASTLE:
      hurt_castle(CASTLE_BURN_PER_SECOND * dt);
      break;
    case Prey::PLAYER:
      if (local_player) hurt_player(*local_player, PLAYER_BURN_PER_SECOND * dt);
      break;
    default:
      break;
  }
}

void fire_breath(WyvernMonster& w, const Target& t, float dt) {
  w.breathWait = std::fmax(0.f, w.breathWait - dt);
  vec4f d = wrapped_delta(w.pos, t.pos);
  bool in_range = t.kind != Prey::NONE && d.x * d.x + d.y * d.y + d.z * d.z < BREATH_RANGE * BREATH_RANGE;
  if (w.breathing <= 0 && in_range && w.breathWait <= 0) {
    w.breathing = BREATH_SECONDS;
    w.breathWait = BREATH_SECONDS + BREATH_PAUSE;
  }
  if (w.breathing > 0) {
    w.breathing -= dt;
    if (in_range) breathe_on(w, t, dt);
  }
}

// Turns the heading toward the wanted one by at most the turn rate and
// banks into the turn.
void steer(WyvernMonster& w, const vec4f& want_dir, float speed, float dt) {
  float heading = std::atan2(w.vel.x, w.vel.z);
  float wanted = std::atan2(want_dir.x, want_dir.z);
  float turn = std::clamp(wrap_angle(wanted - heading), -WYVERN_TURN_RATE * dt, WYVERN_TURN_RATE * dt);
  heading += turn;
  float bank_goal = std::clamp(-turn / (WYVERN_TURN_RATE * dt) * WYVERN_MAX_BANK, -WYVERN_MAX_BANK, WYVERN_MAX_BANK);
  w.bank += (bank_goal - w.bank) * std::fmin(1.f, 3.f * dt);
  w.vel.x = std::sin(heading) * speed;
  w.vel.z = std::cos(heading) * speed;
}

void climb(WyvernMonster& w, float goal_y, float dt) {
  float vy = std::clamp((goal_y - w.pos.y) * 1.5f, -WYVERN_CLIMB_RATE, WYVERN_CLIMB_RATE);
  w.vel.y = vy;
  (void)dt;
}

void fly(WyvernMonster& w, const Target& t, float dt) {
  vec4f d = wrapped_delta(w.pos, t.pos);
  float flat = std::sqrt(d.x * d.x + d.z * d.z);
  vec4f want = flat > 1e-3f ? vec4f(d.x / flat, 0, d.z / flat, 0) : vec4f(0, 0, 1, 0);
  // Close in, it circles what it burns instead of overshooting it.
  if (flat < 6.f) want = vec4f(want.x * 0.3f + want.z, 0, want.z * 0.3f - want.x, 0);
  vec4f push = separation(w);
  want = vec4f(want.x + push.x, 0, want.z + push.z, 0);
  // It slows to hover over what it burns.
  steer(w, want, flat < HOVER_RANGE ? wyvern_speed() * HOVER_SPEED : wyvern_speed(), dt);
  float cruise = floor_ahead(w.pos, w.vel) + CRUISE_HEIGHT;
  float goal = flat < APPROACH_RANGE ? std::fmax(t.pos.y + ATTACK_HEIGHT, floor_ahead(w.pos, w.vel) + 3.f) : cruise;
  climb(w, goal + push.y, dt);
  w.pos = vec4f(std::fmod(w.pos.x + w.vel.x * dt + 256.f, 256.f), w.pos.y + w.vel.y * dt,
                std::fmod(w.pos.z + w.vel.z * dt + 256.f, 256.f), 1);
  // Whatever the steering wanted, the land is never passed through.
  w.pos.y = std::fmax(w.pos.y, land_height(w.pos.x, w.pos.z) + WYVERN_CLEARANCE);
  w.flap += dt * (7.f + std::fmax(0.f, w.vel.y));
}
}  // namespace

void spawn_monster(const vec4f& pos) {
  WyvernMonster* w = spawn(WyvernMonster_list);
  w->pos = vec4f(pos.x, pos.y, pos.z, 1);
  // Heads for the castle (or the middle of the world) at first.
  vec4f goal = CastleObject_list.count ? CastleObject_list[0]->pos : vec4f(HMAP_SIZE / 2, 0, HMAP_SIZE / 2, 1);
  vec4f d = wrapped_delta(pos, goal);
  float l = std::sqrt(d.x * d.x + d.z * d.z);
  w->vel = l > 1e-3f ? vec4f(d.x / l * wyvern_speed(), 0, d.z / l * wyvern_speed(), 0) : vec4f(0, 0, wyvern_speed(), 0);
  w->flap = frnd() * 6.2831853f;
  total_spawned_monsters++;
  play_sound("wyvern_screech", w->pos, 1, 1);
  if (WyvernMonster_list.count == 1) wave_horn_from(w->pos);  // the first of an attack
  update_proximity(w, w->boundRect());
  debug("wyvern %d comes at (%.1f, %.1f, %.1f)", int(total_spawned_monsters), pos.x, pos.y, pos.z);
}

// Once a step: a new wyvern at the rim, away from the player, every
// monster_spawn_delay seconds while spawning is on and fewer are alive than
// the world allows.
void spawn_monsters(float dt) {
  Player* p = local_player;
  if (!monster_spawn_enabled || !p || p->parked || !CastleObject_list.count) return;
  run_state.spawn_clock += dt;
  if (run_state.spawn_clock < monster_spawn_delay) return;
  run_state.spawn_clock = 0;
  if (WyvernMonster_list.count >= alive_cap()) return;
  float a = p->yaw + 3.1415927f + (frnd() - 0.5f) * 1.6f;
  vec4f dir = make_dir_xz(a);
  float x = std::fmod(p->pos.x + dir.x * RIM_DISTANCE + 512.f, 256.f);
  float z = std::fmod(p->pos.z + dir.z * RIM_DISTANCE + 512.f, 256.f);
  spawn_monster(vec4f(x, surface_at(x, z) + SPAWN_HEIGHT, z, 1));
}

void reset_monster_spawning() { run_state.spawn_clock = 0; }

void monster_killed(Monster* m) {
  wyvern_death_fx(m->pos);
  auto* c = new WyvernCorpse();
  GameObj_list.push_back(c);
  c->pos = m->pos;
  c->vel = vec4f(m->vel.x * 0.5f, 2.f, m->vel.z * 0.5f, 0);
  update_proximity(c, c->boundRect());
  send_mana_ball(vec4f(m->pos.x, m->pos.y - BALL_RISE, m->pos.z, 1), DROPPED_MANA);
  debug("a wyvern died at (%.1f, %.1f, %.1f)", m->pos.x, m->pos.y, m->pos.z);
  m->destroy();
}

vec4f WyvernMonster::boundRect() { return vec4f(pos.x - 1.5f, pos.z - 1.5f, pos.x + 1.5f, pos.z + 1.5f); }

void WyvernMonster::update(float dt) {
  // Deep water over it (a flood, a waterball's lake) drowns it.
  float land = land_height(pos.x, pos.z);
  float depth = water_depth_at(pos.x, pos.z);
  if (depth > DROWN_DEPTH && pos.y < land + depth) {
    monster_killed(this);
    return;
  }
  if (health <= 0) {
    monster_killed(this);
    return;
  }
  Target t = choose_target(pos);
  fly(*this, t, dt);
  fire_breath(*this, t, dt);
  play_object_loop(this, "wyvern_wings_loop", pos, 0.7f, 1);
  if (breathing > 0) play_object_loop(this, "wyvern_breath_loop", pos, 1, 1);
  update_proximity(this, boundRect());
}

// A dead wyvern tumbles down and bursts where it lands.
void WyvernCorpse::update(float dt) {
  vel.y -= CORPSE_GRAVITY * dt;
  pos = vec4f(pos.x + vel.x * dt, pos.y + vel.y * dt, pos.z + vel.z * dt, 1);
  spin += dt * 5.f;
  float floor_y = surface_at(pos.x, pos.z);
  if (pos.y <= floor_y) {
    pos.y = floor_y;
    fireball_explode_fx(pos);
    destroy();
    return;
  }
  update_proximity(this, boundRect());
}

// The fallen body tumbles: its head turns as it drops.
void WyvernCorpse::render(float) {
  float c = std::cos(spin) * 1.2f, s = std::sin(spin) * 1.2f;
  Matrix44 tm = Matrix44::identity();
  tm.row[0] = vec4f(c, 0, -s, 0);
  tm.row[1] = vec4f(0, 1.2f, 0, 0);
  tm.row[2] = vec4f(s, 0, c, 0);
  tm.row[3] = vec4f(pos.x, pos.y, pos.z, 1);
  SimpleInstRecord rec;
  make_simple_inst(rec, tm, D3dColor(0xFF806050u));
  std::memcpy(wyvern_head_inst.append(int(sizeof(rec))), &rec, sizeof(rec));
}

vec4f WyvernCorpse::boundRect() { return vec4f(pos.x - 1, pos.z - 1, pos.x + 1, pos.z + 1); }
