// Wind, surf and music beds.
#include "audio/ambience.h"

#include <algorithm>
#include <cmath>

#include "audio/sound.h"

namespace {
// Wind: a murmur on the ground, full at WIND_FULL_HEIGHT and above; the
// bright, whistling layer comes in between WIND_BRIGHT_FROM and _TO.
constexpr float WIND_GROUND_LEVEL = 0.25f;
constexpr float WIND_FULL_HEIGHT = 80.f;    // units
constexpr float WIND_BRIGHT_FROM = 25.f;    // units
constexpr float WIND_BRIGHT_TO = 120.f;     // units
constexpr float WIND_BRIGHT_LEVEL = 0.7f;
// Surf fades as the listener climbs away from the shore.
constexpr float SURF_LEVEL = 0.9f;
constexpr float SURF_FADE_FROM = 20.f;  // units
constexpr float SURF_FADE_TO = 110.f;   // units
constexpr float MUSIC_LEVEL = 0.8f;
// Seconds for a bed to cover most of the way to its target.
constexpr float WIND_SMOOTHING_S = 0.6f;
constexpr float MUSIC_CROSSFADE_S = 3.f;

const char* const BED_NAMES[AMBIENCE_BED_COUNT] = {"wind", "wind_high", "surf", "music_calm", "music_threat"};
const SoundGroup BED_GROUPS[AMBIENCE_BED_COUNT] = {SOUND_AMBIENCE, SOUND_AMBIENCE, SOUND_AMBIENCE, SOUND_MUSIC,
                                                   SOUND_MUSIC};

AmbienceGains current;
bool started = false;

float smoothstep(float a, float b, float x) {
  float t = std::clamp((x - a) / (b - a), 0.f, 1.f);
  return t * t * (3 - 2 * t);
}

float finite_or(float v, float fallback) { return std::isfinite(v) ? v : fallback; }

float approach(float from, float to, float seconds, float time_constant) {
  return to + (from - to) * std::exp(-seconds / time_constant);
}
}  // namespace

AmbienceGains ambience_targets(const AmbienceInput& in) {
  float h = std::max(0.f, finite_or(in.heightAboveGround, 0));
  float water = std::clamp(finite_or(in.openWater, 0), 0.f, 1.f);
  float threat = std::clamp(finite_or(in.threat, 0), 0.f, 1.f);
  AmbienceGains g;
  float loud = WIND_GROUND_LEVEL + (1 - WIND_GROUND_LEVEL) * smoothstep(0, WIND_FULL_HEIGHT, h);
  float bright = smoothstep(WIND_BRIGHT_FROM, WIND_BRIGHT_TO, h);
  g.gain[BED_WIND] = loud * (1 - 0.5f * bright);
  g.gain[BED_WIND_HIGH] = loud * bright * WIND_BRIGHT_LEVEL;
  g.gain[BED_SURF] = SURF_LEVEL * water * (1 - 0.7f * smoothstep(SURF_FADE_FROM, SURF_FADE_TO, h));
  g.gain[BED_MUSIC_CALM] = MUSIC_LEVEL * (1 - threat);
  g.gain[BED_MUSIC_THREAT] = MUSIC_LEVEL * threat;
  return g;
}

void update_ambience(const AmbienceInput& in, float seconds) {
  AmbienceGains target = ambience_targets(in);
  for (int b = 0; b < AMBIENCE_BED_COUNT; b++) {
    float tc = b >= BED_MUSIC_CALM ? MUSIC_CROSSFADE_S : WIND_SMOOTHING_S;
    current.gain[b] = started ? approach(current.gain[b], target.gain[b], seconds, tc) : target.gain[b];
  }
  // Every bed starts in the same step, so the two music moods stay on one beat.
  for (int b = 0; b < AMBIENCE_BED_COUNT; b++) set_sound_bed(b, BED_NAMES[b], BED_GROUPS[b], current.gain[b]);
  started = true;
}

void stop_ambience() {
  for (int b = 0; b < AMBIENCE_BED_COUNT; b++) set_sound_bed(b, nullptr, BED_GROUPS[b], 0);
  current = AmbienceGains();
  started = false;
}
