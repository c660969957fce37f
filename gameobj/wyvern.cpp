// Wyverns: they come in waves from the rim, fly a smooth banking path to the
// nearest standing mana gatherer, then the castle, and breathe fire on what
// they reach. They turn on the player only when he comes close or a spell
// of his lands near them, and no more than two chase him at once. Fire, a
// meteor, a waterball's direct hit or deep water kill them; they fall and
// leave a ball of mana. Once the portal is open they flee to the rim.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "casting.h"
#include "common.h"
#include "sounds.h"
#include "drawing.h"
#include "entry_points.h"
#include "object_registry.h"
#include "tuning.h"
#include "world_run.h"

using namespace tuning;

namespace {
constexpr float LOOK_AHEAD_SECONDS = 1.5f;
constexpr float CIRCLE_RANGE = 6.f;      // this close it circles what it burns instead of overshooting
constexpr float CORPSE_GRAVITY = 15.f;

float wyvern_speed() { return WYVERN_SPEED + WYVERN_SPEED_PER_WORLD * float(current_world_number() - 1); }

float wrap_angle(float a) { return std::remainder(a, 6.2831853f); }

// What a wyvern goes for.
enum class Prey { NONE, PLAYER, GATHERER, CASTLE, RIM };
struct Target {
  Prey kind = Prey::NONE;
  vec4f pos{0, 0, 0, 1};
  ManaGatherer* gatherer = nullptr;
};

bool player_can_be_hunted() {
  Player* p = local_player;
  return p && !p->parked && p->health > 0;
}

int chasers_besides(const WyvernMonster& self) {
  int n = 0;
  for (int i = 0; i < WyvernMonster_list.count; i++) {
    auto* w = WyvernMonster_list[i];
    if (w != &self && w->chasing) n++;
  }
  return n;
}

// The player when he is close or has provoked it (and not too many chase
// him already), else the nearest standing gatherer, else the castle. A
// won world's wyverns make for the rim, away from the castle.
Target choose_target(const WyvernMonster& w) {
  Target t;
  CastleObject* castle = the_castle();
  if (world_is_won() && castle) {
    vec4f away = wrapped_delta(castle->pos, w.pos);
    float l = length_xz(away);
    away = l > 1e-3f ? away * (1.f / l) : vec4f(0, 0, 1, 0);
    t.kind = Prey::RIM;
    t.pos = vec4f(w.pos.x + away.x * 40.f, w.pos.y, w.pos.z + away.z * 40.f, 1);
    return t;
  }
  if (player_can_be_hunted()) {
    Player* p = local_player;
    bool near = length_xyz(wrapped_delta(w.pos, p->pos)) < WYVERN_NOTICE_PLAYER;
    if ((near || w.provoked > 0) && (w.chasing || chasers_besides(w) < WYVERN_MAX_CHASERS)) {
      t.kind = Prey::PLAYER, t.pos = p->pos;
      return t;
    }
  }
  float best = 1e30f;
  for (int i = 0; i < ManaGatherer_list.count; i++) {
    ManaGatherer* g = ManaGatherer_list[i];
    if (!g->standing()) continue;
    float d = distance_xz(w.pos, g->pos);
    if (d < best) best = d, t.kind = Prey::GATHERER, t.gatherer = g, t.pos = g->pos;
  }
  if (t.kind == Prey::NONE && castle) t.kind = Prey::CASTLE, t.pos = castle->pos;
  if (t.kind == Prey::NONE && local_player) t.kind = Prey::PLAYER, t.pos = local_player->pos;
  return t;
}

// A push away from the other wyverns near it, found through the proximity bins.
vec4f separation(const WyvernMonster& self) {
  ProximityQuery q;
  q.proximityQuery(vec4f(self.pos.x - WYVERN_SEPARATION, self.pos.z - WYVERN_SEPARATION,
                         self.pos.x + WYVERN_SEPARATION, self.pos.z + WYVERN_SEPARATION),
                   false);
  vec4f push(0, 0, 0, 0);
  while (GameObj* o = q.next()) {
    if (o == &self || std::strcmp(o->getName(), "WyvernMonster") != 0) continue;
    vec4f d = wrapped_delta(static_cast<WyvernMonster*>(o)->pos, self.pos);
    float l2 = dot_xyz(d, d);
    if (l2 > WYVERN_SEPARATION * WYVERN_SEPARATION || l2 < 1e-6f) continue;
    push = push + d * ((WYVERN_SEPARATION - std::sqrt(l2)) / WYVERN_SEPARATION);
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

// The log says when a gatherer catches fire, so that the balance runs can
// tell how long the calm lasted.
void set_gatherer_on_fire(const WyvernMonster& w, ManaGatherer& g) {
  g.burning = GATHERER_FIRE_S;
  float& told_at = run_state.gatherer_fire_told_at;
  if (run_state.anim_clock - told_at > 3.f || run_state.anim_clock < told_at) {
    told_at = run_state.anim_clock;
    visual_log("A gatherer is burning! Put it out with a waterball");
  }
  vec4f eye = local_player ? local_player->eye() : vec4f(0, 0, 0, 1);
  debug("a wyvern at (%.3f, %.3f, %.3f) sets fire to the mana gatherer at (%.3f, %.3f, %.3f); "
        "the player's eye is at (%.3f, %.3f, %.3f) at step %d",
        w.pos.x, w.pos.y, w.pos.z, g.pos.x, g.pos.y, g.pos.z, eye.x, eye.y, eye.z, module_step);
}

void breathe_on(WyvernMonster& w, const Target& t, float dt) {
  vec4f d = wrapped_delta(w.pos, t.pos);
  float l = length_xyz(d);
  vec4f dir = l > 1e-4f ? d * (1.f / l) : vec4f(0, -1, 0, 0);
  // Fire at the player falls short of his eyes, so that he still sees who breathes it.
  float reach = t.kind == Prey::PLAYER ? std::clamp((l - 3.f) / BREATH_RANGE, 0.35f, 1.f) : 1.f;
  call_fx_script("wyvern_breath_fx", w.pos, dir, vec4f(0, 0, 0, 0), reach);
  w.attacking = true;
  switch (t.kind) {
    case Prey::GATHERER:
      if (t.gatherer->burning <= 0) set_gatherer_on_fire(w, *t.gatherer);
      break;
    case Prey::CASTLE:
      hurt_castle(BREATH_CASTLE_PER_S * dt);
      break;
    case Prey::PLAYER:
      if (local_player) hurt_player(*local_player, BREATH_PLAYER_PER_S * dt, false);
      note_player_attacked(w.pos);
      break;
    default:
      break;
  }
}

void fire_breath(WyvernMonster& w, const Target& t, float dt) {
  w.breathWait = std::fmax(0.f, w.breathWait - dt);
  vec4f d = wrapped_delta(w.pos, t.pos);
  bool in_range = t.kind != Prey::NONE && t.kind != Prey::RIM && dot_xyz(d, d) < BREATH_RANGE * BREATH_RANGE;
  if (w.breathing <= 0 && in_range && w.breathWait <= 0) {
    w.breathing = BREATH_S;
    w.breathWait = BREATH_S + BREATH_PAUSE_S;
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

void climb(WyvernMonster& w, float goal_y) {
  w.vel.y = std::clamp((goal_y - w.pos.y) * 1.5f, -WYVERN_CLIMB_RATE, WYVERN_CLIMB_RATE);
}

void fly(WyvernMonster& w, const Target& t, float dt) {
  vec4f d = wrapped_delta(w.pos, t.pos);
  float flat = length_xz(d);
  vec4f want = flat > 1e-3f ? vec4f(d.x / flat, 0, d.z / flat, 0) : vec4f(0, 0, 1, 0);
  // Close in, it circles what it burns instead of overshooting it.
  if (flat < CIRCLE_RANGE && t.kind != Prey::RIM) want = vec4f(want.x * 0.3f + want.z, 0, want.z * 0.3f - want.x, 0);
  vec4f push = separation(w);
  want = vec4f(want.x + push.x, 0, want.z + push.z, 0);
  // It slows to hover over what it burns.
  bool hover = flat < WYVERN_HOVER_RANGE && t.kind != Prey::RIM;
  steer(w, want, hover ? wyvern_speed() * WYVERN_HOVER_SPEED : wyvern_speed(), dt);
  float ahead = floor_ahead(w.pos, w.vel);
  float cruise = ahead + WYVERN_CRUISE_HEIGHT;
  bool descending = flat < WYVERN_APPROACH && t.kind != Prey::RIM;
  float goal = descending ? std::fmax(t.pos.y + WYVERN_ATTACK_HEIGHT, ahead + 3.f) : cruise;
  climb(w, goal + push.y);
  w.pos = vec4f(wrap_coord(w.pos.x + w.vel.x * dt), w.pos.y + w.vel.y * dt, wrap_coord(w.pos.z + w.vel.z * dt), 1);
  // Whatever the steering wanted, the land is never passed through.
  w.pos.y = std::fmax(w.pos.y, land_height(w.pos.x, w.pos.z) + WYVERN_CLEARANCE);
  w.flap += dt * (7.f + std::fmax(0.f, w.vel.y));
}

// A fleeing wyvern that has reached the rim is gone.
bool fled(const WyvernMonster& w) {
  CastleObject* c = the_castle();
  return world_is_won() && c && distance_xz(w.pos, c->pos) > FLEE_GONE_DISTANCE;
}
}  // namespace

void spawn_monster(const vec4f& pos) {
  WyvernMonster* w = spawn_at(WyvernMonster_list, pos);
  // Heads for the castle (or the middle of the world) at first.
  CastleObject* c = the_castle();
  vec4f goal = c ? c->pos : vec4f(HMAP_SIZE / 2, 0, HMAP_SIZE / 2, 1);
  vec4f d = wrapped_delta(pos, goal);
  float l = length_xz(d);
  w->vel = l > 1e-3f ? vec4f(d.x / l * wyvern_speed(), 0, d.z / l * wyvern_speed(), 0) : vec4f(0, 0, wyvern_speed(), 0);
  w->flap = frnd() * 6.2831853f;
  total_spawned_monsters++;
  play_sound("wyvern_screech", w->pos, 1, 1);
  if (WyvernMonster_list.count == 1) wave_horn_from(w->pos);  // the first of an attack
  debug("wyvern %d arrives at (%.1f, %.1f, %.1f) at step %d", int(total_spawned_monsters), pos.x, pos.y, pos.z,
        module_step);
}

// A spell landed: the wyverns near it are set on the caster for a while.
void provoke_wyverns(const vec4f& at) {
  for (int i = 0; i < WyvernMonster_list.count; i++) {
    WyvernMonster* w = WyvernMonster_list[i];
    if (length_xyz(wrapped_delta(w->pos, at)) <= PROVOKE_RADIUS) w->provoked = PROVOKED_S;
  }
}

void monster_killed(Monster* m) {
  wyvern_death_fx(m->pos);
  auto* c = new WyvernCorpse();
  GameObj_list.push_back(c);
  c->pos = m->pos;
  c->vel = vec4f(m->vel.x * 0.5f, 2.f, m->vel.z * 0.5f, 0);
  update_proximity(c, c->boundRect());
  send_mana_ball(vec4f(m->pos.x, m->pos.y - BALL_RISE, m->pos.z, 1), WYVERN_DROPPED_MANA);
  visual_log("Wyvern slain (+%d mana)", WYVERN_DROPPED_MANA);
  debug("a wyvern died at (%.1f, %.1f, %.1f) at step %d", m->pos.x, m->pos.y, m->pos.z, module_step);
  m->destroy();
}

vec4f WyvernMonster::boundRect() { return vec4f(pos.x - 1.5f, pos.z - 1.5f, pos.x + 1.5f, pos.z + 1.5f); }

void WyvernMonster::update(float dt) {
  // Deep water over it (a flood, a waterball's lake) drowns it.
  float land = land_height(pos.x, pos.z);
  float depth = water_depth_at(pos.x, pos.z);
  if ((depth > DROWN_DEPTH && pos.y < land + depth) || health <= 0) {
    monster_killed(this);
    return;
  }
  if (fled(*this)) {
    debug("a wyvern fled at step %d", module_step);
    destroy();
    return;
  }
  provoked = std::fmax(0.f, provoked - dt);
  attacking = false;
  Target t = choose_target(*this);
  chasing = t.kind == Prey::PLAYER;
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
