// The module's effects, each a named function of the effect script called
// with (position, direction, extra, scale); the script decides how they look.
#include "entry_points.h"

namespace {
const vec4f NO_EXTRA(0, 0, 0, 0);
const vec4f UP(0, 1, 0, 0);
}  // namespace

void spawn_fireball_fx(const vec4f& pos, const vec4f& vel) { call_fx_script("fireball_fx", pos, vel, NO_EXTRA, 1); }
void fireball_explode_fx(const vec4f& pos) { call_fx_script("fireball_explode_fx", pos, UP, NO_EXTRA, 1); }
void spawn_waterball_missile_fx(const vec4f& pos, const vec4f& vel) {
  call_fx_script("waterball_fx", pos, vel, NO_EXTRA, 1);
}
void spawn_magic_missile_fx(const vec4f& pos, const vec4f& vel) {
  call_fx_script("magic_missile_fx", pos, vel, NO_EXTRA, 1);
}
void spawn_water_source_fx(const vec4f& pos) { call_fx_script("water_source_fx", pos, UP, NO_EXTRA, 1); }
void spawn_water_sink_fx(const vec4f& pos) { call_fx_script("water_sink_fx", pos, UP, NO_EXTRA, 1); }
void spawn_meteor_fx(const vec4f& pos, const vec4f& vel) { call_fx_script("meteor_fx", pos, vel, NO_EXTRA, 1); }
void meteor_explode_fx(const vec4f& pos) { call_fx_script("meteor_impact_fx", pos, UP, NO_EXTRA, 1); }
void wyvern_death_fx(const vec4f& pos) { call_fx_script("wyvern_death_fx", pos, UP, NO_EXTRA, 1); }
// Builds the script's colour and size ramps again.
void init_fx_data() { call_fx_script("init_fx_data", NO_EXTRA, NO_EXTRA, NO_EXTRA, 0); }
