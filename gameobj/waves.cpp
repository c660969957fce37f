// The pace of a world: a calm start, then wyverns in waves. Each wave is
// announced a few seconds ahead with the side it comes from and arrives from
// the rim on that side, its wyverns one after another; the waves grow with
// their count and with the world, and never put more wyverns in the air
// than the world allows. A won world sends none.
#include <algorithm>
#include <cmath>

#include "common.h"
#include "entry_points.h"
#include "tuning.h"
#include "world_run.h"

using namespace tuning;

namespace {
constexpr float TURN = 6.2831853f;

float calm_seconds(int world) {
  return std::fmax(CALM_S_MIN, CALM_S_WORLD1 - CALM_S_LESS_PER_WORLD * float(world - 1));
}
float wave_interval(int world) {
  return std::fmax(WAVE_INTERVAL_MIN_S, WAVE_INTERVAL_S_WORLD1 - WAVE_INTERVAL_LESS_PER_WORLD * float(world - 1));
}
// The n-th wave (from 0) of a world.
int wave_size(int n, int world) { return 1 + n / 2 + (world - 1); }
int alive_cap(int world) { return ALIVE_BASE + ALIVE_PER_WORLD * world; }

void announce_wave() {
  RunState& r = run_state;
  r.wave_bearing = frnd() * TURN;
  r.wave_announced = true;
  int world = current_world_number();
  visual_log("Wyverns from the %s!", compass_name(r.wave_bearing));
  debug("wave %d of %d wyverns announced from the %s at step %d", r.waves_sent + 1, wave_size(r.waves_sent, world),
        compass_name(r.wave_bearing), module_step);
}

void start_wave() {
  RunState& r = run_state;
  int world = current_world_number();
  r.wave_to_arrive = wave_size(r.waves_sent, world);
  r.wave_arrival_wait = 0;
  r.waves_sent++;
  r.wave_announced = false;
  r.wave_until_next = wave_interval(world);
}

// One wyvern of the current wave comes in at the rim on the wave's side,
// a little apart from the others.
void bring_in_wyvern(const CastleObject& castle) {
  RunState& r = run_state;
  float a = r.wave_bearing + (frnd() - 0.5f) * 2.f * WAVE_SPREAD;
  float x = wrap_coord(castle.pos.x + std::sin(a) * RIM_DISTANCE);
  float z = wrap_coord(castle.pos.z + std::cos(a) * RIM_DISTANCE);
  spawn_monster(vec4f(x, surface_at(x, z) + SPAWN_HEIGHT, z, 1));
  if (r.wave_to_arrive == wave_size(r.waves_sent - 1, current_world_number()))
    visual_log("The wyverns are here, from the %s", compass_name(r.wave_bearing));
  r.wave_to_arrive--;
  r.wave_arrival_wait = WAVE_ARRIVAL_GAP_S;
}
}  // namespace

const char* compass_name(float bearing) {
  static const char* const names[8] = {"north", "north-east", "east", "south-east",
                                       "south", "south-west", "west", "north-west"};
  int sector = int(std::lround(bearing / (TURN / 8.f)));
  return names[((sector % 8) + 8) % 8];
}

// At the start of a world (and again when it starts over).
void reset_monster_spawning() {
  RunState& r = run_state;
  r.waves_sent = 0;
  r.wave_announced = false;
  r.wave_to_arrive = 0;
  r.wave_arrival_wait = 0;
  r.wave_until_next = calm_seconds(current_world_number());
  monster_spawn_delay = wave_interval(current_world_number());
}

// Once a step: the wave clock runs while spawning is on, the player is in
// the world and the castle stands; a won world sends no more.
void spawn_monsters(float dt) {
  CastleObject* castle = the_castle();
  Player* p = local_player;
  if (!monster_spawn_enabled || !p || !castle || world_is_won()) return;
  RunState& r = run_state;
  if (r.wave_to_arrive > 0) {
    r.wave_arrival_wait -= dt;
    if (r.wave_arrival_wait <= 0 && WyvernMonster_list.count < alive_cap(current_world_number()))
      bring_in_wyvern(*castle);
  }
  r.wave_until_next -= dt;
  if (!r.wave_announced && r.wave_until_next <= WAVE_WARNING_S) announce_wave();
  if (r.wave_until_next <= 0) start_wave();
}
