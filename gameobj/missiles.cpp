// Missiles in flight and what each does where it lands. A missile moves in a
// straight line, leaves its trail and flight effect every step, and lands
// where its path first meets the land or the water surface, or at its target.
#include <algorithm>
#include <cmath>

#include "casting.h"
#include "sounds.h"
#include "world_run.h"
#include "entry_points.h"

namespace {
constexpr float MISSILE_MAX_AGE = 12.f;  // one that never lands goes out
constexpr float HIT_SAMPLE = 0.5f;       // path samples for the surface test
constexpr float TARGET_ON_SURFACE = 0.5f;  // a target this close above the surface is on it
constexpr float FIREBALL_KILL_RADIUS = 4.f;
constexpr float METEOR_BLAST_RADIUS = 10.f;
constexpr float METEOR_CRATER_RADIUS = 8.f;
constexpr float METEOR_PLAYER_DAMAGE = 0.5f;  // of full health, at the blast's centre
constexpr float WATERBALL_WATER = 300.f;
constexpr float WATERBALL_RADIUS = 3.f;
constexpr float HILL_RADIUS = 8.f, HILL_HEIGHT = 6.f;
constexpr float SPRING_RATE = 10.f;      // water units a second
constexpr float SPRING_SECONDS = 60.f;
constexpr int SINK_REACH = 1;            // a sink drains the cells this far around it
constexpr float MONSTER_HIT_RADIUS = 3.f;  // a missile passing this close strikes a monster

vec4f lerp3(const vec4f& a, const vec4f& b, float t) {
  return vec4f(a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t, 1);
}

vec4f up_normal(const vec4f& at) { return calc_land_norm(int(std::floor(at.x)), int(std::floor(at.z))); }

// The first monster the segment a..b passes within reach of, and where along it.
Monster* first_monster_on(const vec4f& a, const vec4f& b, vec4f& at) {
  Monster* best = nullptr;
  float best_t = 2;
  float dx = b.x - a.x, dy = b.y - a.y, dz = b.z - a.z;
  float len2 = dx * dx + dy * dy + dz * dz;
  for (int i = 0; i < WyvernMonster_list.count; i++) {
    Monster* m = reinterpret_cast<Monster*>(WyvernMonster_list[i]);
    // Seen from the missile's side of the world's wrap.
    float px = std::remainder(m->pos.x - a.x, float(HMAP_SIZE)), py = m->pos.y - a.y;
    float pz = std::remainder(m->pos.z - a.z, float(HMAP_SIZE));
    float t = len2 > 0 ? std::clamp((px * dx + py * dy + pz * dz) / len2, 0.f, 1.f) : 0.f;
    float ex = px - dx * t, ey = py - dy * t, ez = pz - dz * t;
    if (ex * ex + ey * ey + ez * ez <= MONSTER_HIT_RADIUS * MONSTER_HIT_RADIUS && t < best_t) best = m, best_t = t;
  }
  if (best) at = lerp3(a, b, best_t);
  return best;
}
}  // namespace

// Land or water surface under a point, interpolated between cell corners.
float surface_at(float x, float z) {
  using namespace HeightmapData;
  float fx = std::floor(x), fz = std::floor(z);
  int ix = int(fx), iz = int(fz);
  float tx = x - fx, tz = z - fz;
  auto top = [](int cx, int cz) { return hmap[cellIndex(cx, cz)] + water[cz & HMAP_MASK][cx & HMAP_MASK].depth; };
  float a = top(ix, iz) + (top(ix + 1, iz) - top(ix, iz)) * tx;
  float b = top(ix, iz + 1) + (top(ix + 1, iz + 1) - top(ix, iz + 1)) * tx;
  return a + (b - a) * tz;
}

// First point of the segment a..b at or under the surface; false when none.
bool segment_hits_surface(const vec4f& a, const vec4f& b, vec4f& hit) {
  float dx = b.x - a.x, dy = b.y - a.y, dz = b.z - a.z;
  float len = std::sqrt(dx * dx + dy * dy + dz * dz);
  int n = std::max(1, int(std::ceil(len / HIT_SAMPLE)));
  vec4f prev = a;
  for (int i = 1; i <= n; i++) {
    vec4f p = lerp3(a, b, float(i) / float(n));
    if (p.y <= surface_at(p.x, p.z)) {
      // Narrow the crossing down between the last point above and this one.
      vec4f lo = prev, hi = p;
      for (int k = 0; k < 8; k++) {
        vec4f mid = lerp3(lo, hi, 0.5f);
        (mid.y <= surface_at(mid.x, mid.z) ? hi : lo) = mid;
      }
      hit = vec4f(hi.x, surface_at(hi.x, hi.z), hi.z, 1);
      return true;
    }
    prev = p;
  }
  return false;
}

vec4f side_of(const vec4f& vel) {
  float l = std::sqrt(vel.x * vel.x + vel.z * vel.z);
  return l > 1e-5f ? vec4f(vel.z / l, 0, -vel.x / l, 0) : vec4f(1, 0, 0, 0);
}

// Health falls (never below none) and the screen flashes red, so that the
// player sees the hit whatever he looks at.
void hurt_player(Player& p, float amount) {
  if (!(amount > 0)) return;
  p.health = std::fmax(0.f, p.health - amount);
  hurt_sound(p.pos, amount);
  cur_frame_color = vec4f(0.9f, 0.08f, 0.04f, std::fmin(0.6f, 0.25f + amount));
}

void Missile::update(float dt) {
  age += dt;
  vec4f from = pos;
  vec4f to(pos.x + vel.x * dt, pos.y + vel.y * dt, pos.z + vel.z * dt, 1);
  // Past the target when the step would carry it beyond. A target on the
  // surface is where it lands; one in the air (a cast at the sky) is flown
  // through until the missile meets something or burns out.
  float left = (target.x - from.x) * vel.x + (target.y - from.y) * vel.y + (target.z - from.z) * vel.z;
  float step = vel.x * vel.x * dt + vel.y * vel.y * dt + vel.z * vel.z * dt;
  bool reaches_target = left <= step && left > -step && target.y <= surface_at(target.x, target.z) + TARGET_ON_SURFACE;
  if (reaches_target) to = target;
  vec4f hit;
  bool landed = segment_hits_surface(from, to, hit);
  if (!landed && reaches_target) landed = true, hit = to;
  vec4f strike;
  if (Monster* m = hitsMonsters() ? first_monster_on(from, landed ? hit : to, strike) : nullptr) {
    struck(m);
    landed = true, hit = strike;
  }
  pos = landed ? hit : to;
  if (trail >= 0) add_trail_point(trail, pos, vel, side_of(vel));
  if (landed) {
    arrive(hit);
    destroy();
    return;
  }
  call_fx_script(flightFx(), pos, vel, vec4f(0, 0, 0, 0), 1);
  if (age > MISSILE_MAX_AGE) {
    destroy();
    return;
  }
  update_proximity(this, boundRect());
}

void Missile::onDestroy() {
  if (trail >= 0) stop_trail_fx(trail);
  trail = -1;
  GameObj::onDestroy();
}

vec4f Missile::boundRect() { return vec4f(pos.x - 0.5f, pos.z - 0.5f, pos.x + 0.5f, pos.z + 0.5f); }

void Fireball::arrive(const vec4f& at) {
  fireball_explode_fx(at);
  apply_fireball(at, FIREBALL_KILL_RADIUS);
}

// A direct hit drowns a wyvern.
void Waterball::struck(Monster* m) { kill_monster(m); }

void Waterball::arrive(const vec4f& at) {
  call_fx_script("waterball_splash_fx", at, up_normal(at), vec4f(0, 0, 0, 0), 1);
  add_water_globe(at, WATERBALL_WATER, WATERBALL_RADIUS);
}

void FaultMissile::arrive(const vec4f& at) {
  call_fx_script("magic_hit_fx", at, up_normal(at), vec4f(0, 0, 0, 0), 2);
  play_sound("fault_rumble", at, 1, 1);
  float l = std::sqrt(vel.x * vel.x + vel.z * vel.z);
  open_fault(at, l > 1e-4f ? vec4f(vel.x / l, 0, vel.z / l, 0) : vec4f(0, 0, 1, 0));
}

void HouseMissile::arrive(const vec4f& at) {
  if (build_house(at)) {
    call_fx_script("magic_hit_fx", at, up_normal(at), vec4f(0, 0, 0, 0), 1);
    play_sound("house_build", at, 1, 1);
  } else {
    call_fx_script("house_fizzle_fx", at, up_normal(at), vec4f(0, 0, 0, 0), 1);
    play_sound("house_cast", at, 0.5f, 0.5f);  // the spell fizzles: its own sound, low and dull
  }
}

void MeteorMissile::arrive(const vec4f& at) {
  meteor_explode_fx(at);
  make_crater(at, METEOR_CRATER_RADIUS);
  for (int i = WyvernMonster_list.count - 1; i >= 0; i--) {
    Monster* w = reinterpret_cast<Monster*>(WyvernMonster_list[i]);
    if (distance_xz(w->pos, at) <= METEOR_BLAST_RADIUS) kill_monster(w);
  }
  for (int i = ManaGatherer_list.count - 1; i >= 0; i--)
    if (distance_xz(ManaGatherer_list[i]->pos, at) <= METEOR_BLAST_RADIUS) ManaGatherer_list[i]->destroy();
  // The shock wave lights the whole screen for a moment.
  cur_frame_color = vec4f(1.f, 0.85f, 0.6f, 0.7f);
  // A caster too close to the blast is hurt by it (and sees red, not white).
  if (local_player) {
    vec4f e = local_player->pos;
    float d = std::sqrt((e.x - at.x) * (e.x - at.x) + (e.y - at.y) * (e.y - at.y) + (e.z - at.z) * (e.z - at.z));
    if (d < METEOR_BLAST_RADIUS) hurt_player(*local_player, METEOR_PLAYER_DAMAGE * (1 - d / METEOR_BLAST_RADIUS));
  }
}

void HillMissile::arrive(const vec4f& at) {
  call_fx_script("magic_hit_fx", at, up_normal(at), vec4f(0, 0, 0, 0), 1);
  create_hill(at.x, at.z, HILL_RADIUS, HILL_HEIGHT);
  play_sound("hill_rumble", at, 1, 1);
}

void PitMissile::arrive(const vec4f& at) {
  call_fx_script("magic_hit_fx", at, up_normal(at), vec4f(0, 0, 0, 0), 1);
  create_hill(at.x, at.z, HILL_RADIUS, -HILL_HEIGHT);
  play_sound("pit_rumble", at, 1, 1);
}

void WaterSourceMissile::arrive(const vec4f& at) { add_water_source(at, SPRING_RATE, SPRING_SECONDS); }
void WaterSinkMissile::arrive(const vec4f& at) { add_water_source(at, -SPRING_RATE, SPRING_SECONDS); }

void CastleMissile::arrive(const vec4f& at) {
  call_fx_script("magic_hit_fx", at, vec4f(0, 1, 0, 0), vec4f(0, 0, 0, 0), 3);
  grow_castle();
}

// A spring pours at its own cell; the water sim spreads it.
void WaterSource::update(float dt) {
  add_source_water(int(std::floor(pos.x)), int(std::floor(pos.z)), rate * std::fmin(dt, timeLeft));
  spawn_water_source_fx(pos);
  play_object_loop(this, "spring_loop", pos, 0.8f, 1);
  timeLeft -= dt;
  if (timeLeft <= 0) destroy();
}

// A sink drains its cell and the ring around it, so that it keeps up with
// the water flowing in; no cell goes below dry.
void WaterSink::update(float dt) {
  int x = int(std::floor(pos.x)), z = int(std::floor(pos.z));
  float amount = rate * std::fmin(dt, timeLeft);
  for (int dz = -SINK_REACH; dz <= SINK_REACH; dz++)
    for (int dx = -SINK_REACH; dx <= SINK_REACH; dx++) add_source_water(x + dx, z + dz, -amount);
  spawn_water_sink_fx(pos);
  play_object_loop(this, "sink_loop", pos, 0.8f, 1);
  timeLeft -= dt;
  if (timeLeft <= 0) destroy();
}

vec4f WaterSource::boundRect() { return vec4f(pos.x - 0.5f, pos.z - 0.5f, pos.x + 0.5f, pos.z + 0.5f); }
