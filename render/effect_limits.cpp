// The effect bounds and their once-per-burst reports.
#include "render/effect_limits.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/log.h"
#include "platform/messages.h"
#include "render/particles.h"
#include "render/trailFx.h"

const char* (*effect_source_hook)() = nullptr;

namespace {
EffectRefusals refusals;
// What has been reported in the current burst, and whether anything was
// refused since the last update.
bool cap_reported = false, trails_reported = false, non_finite_reported = false;
bool refused_this_step = false;
// Whose non-finite numbers were reported in this burst: another effect
// function's are reported too.
char non_finite_source[64] = "";

const char* effect_source() {
  const char* name = effect_source_hook ? effect_source_hook() : nullptr;
  return name ? name : "the game-object module";
}

bool finite(const vec4f& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z) && std::isfinite(v.w); }

// The first field that is not a finite number, or null.
const char* non_finite_particle_field(const ParticleSpawn& s, float& value) {
  const struct {
    const char* name;
    float v;
  } scalars[] = {{"life", s.life},     {"delay", s.delay},         {"size", s.size},
                 {"mapU", s.mapU},     {"mapV", s.mapV},           {"mapSize", s.mapSize},
                 {"startRoll", s.startRoll}, {"rollScale", s.rollScale}};
  for (const auto& f : scalars)
    if (!std::isfinite(f.v)) return value = f.v, f.name;
  const struct {
    const char* name;
    const vec4f& v;
  } vectors[] = {{"position", s.pos}, {"velocity", s.vel}, {"acceleration", s.accel}};
  for (const auto& f : vectors)
    if (!finite(f.v)) return value = NAN, f.name;
  return nullptr;
}

void report_non_finite(const char* what, const char* field, float value) {
  refusals.non_finite++;
  refused_this_step = true;
  const char* source = effect_source();
  if (non_finite_reported && std::strncmp(source, non_finite_source, sizeof(non_finite_source) - 1) == 0) return;
  non_finite_reported = true;
  std::snprintf(non_finite_source, sizeof(non_finite_source), "%s", source);
  char msg[300];
  std::snprintf(msg, sizeof(msg), "Effect %s: %s refused: its %s is not a finite number (%g)", source, what,
                field, double(value));
  debug("%s", msg);
  set_error_message(msg);
  refusals.reports++;
}
}  // namespace

bool admit_particle(const ParticleSpawn& s, int live) {
  float value = 0;
  if (const char* field = non_finite_particle_field(s, value)) {
    report_non_finite("particle", field, value);
    return false;
  }
  // A record with no life would look free without being on the free list.
  if (s.life <= 0) return false;
  if (live < MAX_LIVE_PARTICLES) return true;
  refusals.capped_particles++;
  refused_this_step = true;
  if (!cap_reported) {
    cap_reported = true;
    debug("particle cap reached: %d live particles; new ones are dropped until some die (effect %s)",
          MAX_LIVE_PARTICLES, effect_source());
    refusals.reports++;
  }
  return false;
}

bool admit_trail_point(const vec4f& pos, const vec4f& vel, const vec4f& side, float width) {
  if (finite(pos) && finite(vel) && finite(side) && std::isfinite(width)) return true;
  const char* field = !finite(pos) ? "position" : !finite(vel) ? "velocity" : !finite(side) ? "side" : "width";
  report_non_finite("trail point", field, std::isfinite(width) ? NAN : width);
  return false;
}

void note_trail_table_full() {
  refusals.full_trail_table++;
  refused_this_step = true;
  if (trails_reported) return;
  trails_reported = true;
  debug("trail cap reached: all %d trails live; new ones are dropped until some end (effect %s)", MAX_TRAILS,
        effect_source());
  refusals.reports++;
}

void end_effect_limits_step() {
  if (!refused_this_step) cap_reported = trails_reported = non_finite_reported = false;
  refused_this_step = false;
}

const EffectRefusals& effect_refusals() { return refusals; }
