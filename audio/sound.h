#pragma once
// The game's sound: one OpenAL device (or its loopback twin when the mix is
// captured to a file), the sound bank of named files under "sounds/", a pool
// of MAX_VOICES positional voices and a few beds (ambience and music) that
// play beside them. Without a usable device the game stays silent and says
// so once in the log; every call below is then harmless.
//
// Voices: a request that finds every voice busy takes the quietest voice of
// no higher priority, if that one is quieter than the request; otherwise the
// request is dropped. A request too far away to be heard is dropped at once.
// Loops belong to an owner (any address: an object, a subsystem) and play
// while the owner asks for them every step.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/math_types.h"
#include "platform/sound_settings.h"

constexpr int MAX_VOICES = 32;
constexpr int MAX_SOUND_BEDS = 8;
constexpr int SOUND_OUTPUT_RATE = 48000;  // Hz, of the captured mix
constexpr const char* SOUND_FOLDER = "sounds";

// Distance attenuation, world units: full level within REF, then falling as
// REF / distance; beyond MAX a sound is not played at all.
constexpr float SOUND_REF_DISTANCE = 10.f;
constexpr float SOUND_MAX_DISTANCE = 300.f;
// Quieter than this (about -50 dB) a request is not worth a voice.
constexpr float SOUND_AUDIBLE_GAIN = 0.003f;

enum SoundGroup { SOUND_EFFECTS, SOUND_AMBIENCE, SOUND_MUSIC, SOUND_GROUP_COUNT };
enum SoundPriority { SOUND_PRIO_LOOP = 0, SOUND_PRIO_EFFECT = 1, SOUND_PRIO_SIGNAL = 2 };


struct AudioOutput {
  // False: the system's default device. True: the loopback device, rendered
  // step by step by audio_end_step, written to `capture_file` when it is set.
  bool loopback = false;
  std::string capture_file;
  // Loopback only: false leaves the mixing to audio_mix (for measuring the
  // step's own work apart from the mixer's).
  bool mixEachStep = true;
};

// Opens the output. False when there is no device: the game goes on silent.
bool audio_start(const AudioOutput& out);
void audio_stop();
bool audio_running();

// The world repeats every `period` units in x and z (0: it does not).
void set_sound_world_wrap(float period);

void set_sound_volumes(const SoundVolumes& v);
const SoundVolumes& sound_volumes();

// The listener: position, velocity (units per second) and orientation in
// the game's axes (y up, the camera's forward and up rows).
void set_sound_listener(const vec4f& pos, const vec4f& vel, const vec4f& forward, const vec4f& up);

// A one-shot at a place in the world; gain 0..1 (more is clamped), pitch
// 1 = as recorded. False when it does not play.
bool play_sound(const char* name, const vec4f& pos, float gain, float pitch);
// A one-shot at the listener, not placed in the world: interface sounds.
bool play_ui_sound(const char* name, float gain);
// A positional one-shot with an explicit priority.
bool play_sound_prio(const char* name, const vec4f& pos, float gain, float pitch, SoundPriority prio);

// Keeps the owner's loop `name` playing this step at pos (starting it when
// it is not); loops nobody kept during a step stop when the step ends.
void keep_sound_loop(const void* owner, const char* name, const vec4f& pos, float gain, float pitch);
// Stops the owner's loops at once; a null owner stops every owned loop.
void stop_sound_loops(const void* owner);

// Beds: non-positional loops, one per slot; an empty or null name stops the slot.
void set_sound_bed(int slot, const char* name, SoundGroup group, float gain);

// Ends a simulation step of `seconds`: when the world ran, loops nobody kept
// stop (a paused world keeps them); on the loopback device one step of
// audio is mixed, kept for last_rendered_step() and appended to the capture.
void audio_end_step(float seconds, bool world_ran);
// Mixes `seconds` of sound on the loopback device (as a step's end does).
void audio_mix(float seconds);
// Interleaved stereo samples of the last step the loopback mixed.
const std::vector<int16_t>& last_rendered_step();

// Reloads the sound files that changed on disk (WAV or Ogg Vorbis).
void audio_reload_check();

int active_voice_count();
// How many sounds asked for could not be loaded (missing or broken files).
int failed_sound_count();
