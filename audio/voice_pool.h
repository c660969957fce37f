#pragma once
// The voices and beds behind sound.h: OpenAL sources, who holds them and
// how loud each is heard, for the choice of which one a new request takes.
#include <AL/al.h>

#include "audio/sound.h"

namespace voice_pool {

void create();   // the sources, once the context is current
void destroy();  // stops and deletes them

// Where the listener is, for attenuation and culling (game axes).
void setListenerPos(const vec4f& pos);
// Group gains changed: every voice and bed takes its new gain.
void applyGroupGains();
float groupGain(SoundGroup g);

bool start(ALuint buffer, const vec4f& pos, bool relative, float gain, float pitch, SoundPriority prio,
           const void* owner, const char* loopName);
// Refreshes a playing loop of the owner (true), or says it is not playing (false).
bool keepLoop(const void* owner, const char* name, const vec4f& pos, float gain, float pitch, float stepSeconds);
void stopOwner(const void* owner);
// Stops loops that were not kept since the last call.
void endStep();
// Stops every voice and bed that plays the buffer.
void stopBuffer(ALuint buffer);

void setBed(int slot, ALuint buffer, SoundGroup group, float gain);

int activeCount();

// The game's y-up axes are left-handed; OpenAL's are right-handed. Mirroring
// z turns one into the other, so "left" stays left.
inline void to_al(const vec4f& v, ALfloat out[3]) {
  out[0] = v.x;
  out[1] = v.y;
  out[2] = -v.z;
}

}  // namespace voice_pool
