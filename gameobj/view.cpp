// The world as the game's interface and the balance bot see it, written
// once a step after the objects have moved (see objects/game_view.h).
#include <cmath>

#include "common.h"
#include "tuning.h"
#include "world_run.h"

namespace {
float since_attacked = 1e9f;
vec4f attacker{0, 0, 0, 1};

void put(float* out, const vec4f& v) { out[0] = v.x, out[1] = v.y, out[2] = v.z; }

bool near_standing_gatherer(const vec4f& at) {
  for (int i = 0; i < ManaGatherer_list.count; i++) {
    ManaGatherer* g = ManaGatherer_list[i];
    if (g->standing() && distance_xz(g->pos, at) < tuning::BREATH_RANGE) return true;
  }
  return false;
}
}  // namespace

void note_player_attacked(const vec4f& from) {
  attacker = from;
  since_attacked = 0;
}

void publish_game_view(float dt) {
  GameView& v = game_view;
  since_attacked += dt;
  v.wyverns = 0;
  for (int i = 0; i < WyvernMonster_list.count && v.wyverns < GAME_VIEW_MAX_WYVERNS; i++) {
    WyvernMonster* w = WyvernMonster_list[i];
    WyvernView& o = v.wyvern[v.wyverns++];
    put(o.pos, w->pos);
    put(o.vel, w->vel);
    o.attacking = w->attacking;
    o.chasingPlayer = w->chasing;
    o.nearGatherer = near_standing_gatherer(w->pos);
  }
  v.gatherers = 0;
  for (int i = 0; i < ManaGatherer_list.count && v.gatherers < GAME_VIEW_MAX_GATHERERS; i++) {
    ManaGatherer* g = ManaGatherer_list[i];
    GathererView& o = v.gatherer[v.gatherers++];
    put(o.pos, g->pos);
    o.standing = g->standing();
    o.burning = g->burning > 0;
  }
  v.portalOpen = WorldPortal_list.count > 0;
  if (v.portalOpen) put(v.portal, WorldPortal_list[0]->pos);
  v.worldNumber = current_world_number();
  put(v.attackerPos, attacker);
  v.sinceAttacked = since_attacked;
  v.playerProtected = run_state.player_protection > 0;
  bool waves_come = monster_spawn_enabled && !world_is_won() && the_castle();
  v.nextWaveIn = waves_come ? std::fmax(0.f, run_state.wave_until_next) : -1.f;
  v.waveAnnounced = waves_come && run_state.wave_announced;
}
