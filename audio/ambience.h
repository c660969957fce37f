#pragma once
// The beds under the effects: wind whose loudness and brightness follow
// how high the listener flies, surf that follows how much open water is
// near, and the music bed, two moods of one length playing together and
// cross-faded by the threat. The caller measures the world; this turns the
// measures into bed gains, smoothed so that nothing jumps.

struct AmbienceInput {
  float heightAboveGround = 0;  // world units from the land or water under the listener
  float openWater = 0;          // 0..1: share of the land around that is open water
  float threat = 0;             // 0 calm, 1 wyverns in the air
};

// Bed slots the ambience uses (of MAX_SOUND_BEDS).
enum AmbienceBed { BED_WIND, BED_WIND_HIGH, BED_SURF, BED_MUSIC_CALM, BED_MUSIC_THREAT, AMBIENCE_BED_COUNT };

struct AmbienceGains {
  float gain[AMBIENCE_BED_COUNT] = {};
};

// Pure: the gains the beds move toward for this input.
AmbienceGains ambience_targets(const AmbienceInput& in);

// Moves the beds toward the targets over `seconds` and hands them to the
// sound layer (starting the beds on the first call).
void update_ambience(const AmbienceInput& in, float seconds);
// Stops the beds and forgets the smoothed state.
void stop_ambience();
