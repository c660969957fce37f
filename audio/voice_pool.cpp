// MAX_VOICES OpenAL sources shared by one-shots and loops, and the beds.
#include "audio/voice_pool.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace voice_pool {
namespace {
struct Voice {
  ALuint source = 0;
  ALuint buffer = 0;
  vec4f pos{0, 0, 0, 1};
  bool relative = false;
  float gain = 0;  // as asked, before the group's gain
  SoundPriority prio = SOUND_PRIO_EFFECT;
  const void* owner = nullptr;  // set for loops
  char loopName[48] = {};
  bool kept = false;  // a loop asked for during this step
};
struct Bed {
  ALuint source = 0;
  ALuint buffer = 0;
  SoundGroup group = SOUND_AMBIENCE;
  float gain = 0;
};

Voice voices[MAX_VOICES];
Bed beds[MAX_SOUND_BEDS];
vec4f listener{0, 0, 0, 1};
bool created = false;

float clamp01(float v) { return v < 0 ? 0 : v > 1 ? 1 : v; }

// The inverse-distance law the sources are given, as heard here; beyond
// SOUND_MAX_DISTANCE a sound is culled (nothing, not the law's floor).
float attenuation(const vec4f& pos, bool relative) {
  if (relative) return 1;
  float dx = pos.x - listener.x, dy = pos.y - listener.y, dz = pos.z - listener.z;
  float d = std::sqrt(dx * dx + dy * dy + dz * dz);
  if (!(d <= SOUND_MAX_DISTANCE)) return 0;
  return SOUND_REF_DISTANCE / std::max(d, SOUND_REF_DISTANCE);
}

bool playing(const Voice& v) {
  if (!v.buffer) return false;
  ALint state = AL_STOPPED;
  alGetSourcei(v.source, AL_SOURCE_STATE, &state);
  return state == AL_PLAYING || state == AL_INITIAL;
}

// How loud the voice is heard now: what picks the voice a request takes.
float heard(const Voice& v) { return v.gain * groupGain(SOUND_EFFECTS) * attenuation(v.pos, v.relative); }

void stopVoice(Voice& v) {
  if (v.buffer) {
    alSourceStop(v.source);
    alSourcei(v.source, AL_BUFFER, 0);
  }
  v.buffer = 0;
  v.owner = nullptr;
  v.loopName[0] = 0;
}

void placeSource(ALuint s, const vec4f& pos, bool relative) {
  ALfloat p[3];
  if (relative) {
    alSourcei(s, AL_SOURCE_RELATIVE, AL_TRUE);
    alSource3f(s, AL_POSITION, 0, 0, 0);
  } else {
    to_al(pos, p);
    alSourcei(s, AL_SOURCE_RELATIVE, AL_FALSE);
    alSourcefv(s, AL_POSITION, p);
  }
}

// A free voice, else the quietest of no higher priority when it is no louder
// than the request; null when the request must give way.
Voice* pickVoice(float requestHeard, SoundPriority prio) {
  Voice* quietest = nullptr;
  float q = 0;
  for (Voice& v : voices) {
    if (!playing(v)) {
      if (v.buffer) stopVoice(v);
      return &v;
    }
    if (v.prio > prio) continue;
    float h = heard(v);
    if (!quietest || h < q) quietest = &v, q = h;
  }
  if (!quietest || q > requestHeard) return nullptr;
  stopVoice(*quietest);
  return quietest;
}

float groupVolume(int percent) { return float(std::clamp(percent, 0, 100)) / 100.f; }

float pitchRange(float p) { return std::isfinite(p) ? std::clamp(p, 0.25f, 4.f) : 1.f; }
float gainRange(float g) { return std::isfinite(g) ? clamp01(g) : 0.f; }
}  // namespace

float groupGain(SoundGroup g) {
  const SoundVolumes& v = sound_volumes();
  if (!v.enabled) return 0;
  int p = g == SOUND_EFFECTS ? v.effects : g == SOUND_AMBIENCE ? v.ambience : v.music;
  return groupVolume(p);
}

void create() {
  for (Voice& v : voices) {
    v = Voice();
    alGenSources(1, &v.source);
    alSourcef(v.source, AL_REFERENCE_DISTANCE, SOUND_REF_DISTANCE);
    alSourcef(v.source, AL_MAX_DISTANCE, SOUND_MAX_DISTANCE);
    alSourcef(v.source, AL_ROLLOFF_FACTOR, 1.f);
  }
  for (Bed& b : beds) {
    b = Bed();
    alGenSources(1, &b.source);
    alSourcei(b.source, AL_SOURCE_RELATIVE, AL_TRUE);
    alSourcei(b.source, AL_LOOPING, AL_TRUE);
    alSource3f(b.source, AL_POSITION, 0, 0, 0);
  }
  created = true;
}

void destroy() {
  if (!created) return;
  for (Voice& v : voices) {
    stopVoice(v);
    alDeleteSources(1, &v.source);
  }
  for (Bed& b : beds) {
    alSourceStop(b.source);
    alSourcei(b.source, AL_BUFFER, 0);
    alDeleteSources(1, &b.source);
  }
  created = false;
}

void setListenerPos(const vec4f& pos) { listener = pos; }

void applyGroupGains() {
  if (!created) return;
  for (Voice& v : voices)
    if (v.buffer) alSourcef(v.source, AL_GAIN, v.gain * groupGain(SOUND_EFFECTS));
  for (Bed& b : beds) alSourcef(b.source, AL_GAIN, b.gain * groupGain(b.group));
}

bool start(ALuint buffer, const vec4f& pos, bool relative, float gain, float pitch, SoundPriority prio,
           const void* owner, const char* loopName) {
  if (!created || !buffer) return false;
  gain = gainRange(gain);
  float h = gain * groupGain(SOUND_EFFECTS) * attenuation(pos, relative);
  if (h < SOUND_AUDIBLE_GAIN) return false;
  Voice* v = pickVoice(h, prio);
  if (!v) return false;
  v->buffer = buffer;
  v->pos = pos;
  v->relative = relative;
  v->gain = gain;
  v->prio = prio;
  v->owner = owner;
  v->kept = true;
  std::snprintf(v->loopName, sizeof(v->loopName), "%s", loopName ? loopName : "");
  alSourcei(v->source, AL_BUFFER, ALint(buffer));
  alSourcei(v->source, AL_LOOPING, owner ? AL_TRUE : AL_FALSE);
  placeSource(v->source, pos, relative);
  alSource3f(v->source, AL_VELOCITY, 0, 0, 0);
  alSourcef(v->source, AL_GAIN, gain * groupGain(SOUND_EFFECTS));
  alSourcef(v->source, AL_PITCH, pitchRange(pitch));
  alSourcePlay(v->source);
  return true;
}

bool keepLoop(const void* owner, const char* name, const vec4f& pos, float gain, float pitch, float stepSeconds) {
  for (Voice& v : voices) {
    if (!v.buffer || v.owner != owner || std::strcmp(v.loopName, name) != 0) continue;
    // Too far to be heard now: the voice goes back to the pool; asking
    // again when nearer starts the loop again.
    gain = gainRange(gain);
    if (gain * groupGain(SOUND_EFFECTS) * attenuation(pos, false) < SOUND_AUDIBLE_GAIN) {
      stopVoice(v);
      return true;
    }
    ALfloat p[3], vel[3];
    float inv = stepSeconds > 0 ? 1.f / stepSeconds : 0.f;
    to_al(vec4f((pos.x - v.pos.x) * inv, (pos.y - v.pos.y) * inv, (pos.z - v.pos.z) * inv, 0), vel);
    to_al(pos, p);
    alSourcefv(v.source, AL_POSITION, p);
    alSourcefv(v.source, AL_VELOCITY, vel);
    alSourcef(v.source, AL_GAIN, gain * groupGain(SOUND_EFFECTS));
    alSourcef(v.source, AL_PITCH, pitchRange(pitch));
    v.pos = pos;
    v.gain = gain;
    v.kept = true;
    return true;
  }
  return false;
}

void stopOwner(const void* owner) {
  for (Voice& v : voices)
    if (v.owner && (!owner || v.owner == owner)) stopVoice(v);
}

void endStep() {
  for (Voice& v : voices) {
    if (v.owner && !v.kept) stopVoice(v);
    v.kept = false;
  }
}

void stopBuffer(ALuint buffer) {
  for (Voice& v : voices)
    if (v.buffer == buffer) stopVoice(v);
  for (Bed& b : beds)
    if (b.buffer == buffer) {
      alSourceStop(b.source);
      alSourcei(b.source, AL_BUFFER, 0);
      b.buffer = 0;
    }
}

void setBed(int slot, ALuint buffer, SoundGroup group, float gain) {
  if (!created || slot < 0 || slot >= MAX_SOUND_BEDS) return;
  Bed& b = beds[slot];
  b.group = group;
  b.gain = gainRange(gain);
  alSourcef(b.source, AL_GAIN, b.gain * groupGain(group));
  if (b.buffer == buffer) return;
  alSourceStop(b.source);
  alSourcei(b.source, AL_BUFFER, ALint(buffer));
  b.buffer = buffer;
  if (buffer) alSourcePlay(b.source);
}

int activeCount() {
  int n = 0;
  for (const Voice& v : voices) n += playing(v);
  return n;
}

}  // namespace voice_pool
