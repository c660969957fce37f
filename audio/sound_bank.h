#pragma once
// Named sounds: "fireball_burst" is sounds/fireball_burst.ogg when that file
// exists, else sounds/fireball_burst.wav. Each is loaded into an OpenAL
// buffer on first use; a missing or broken file is logged once with its
// name and the reason and then plays nothing until the file changes.
#include <AL/al.h>

#include <cstdint>

namespace sound_bank {

// The buffer of the named sound, 0 when it cannot be played.
ALuint buffer(const char* name);
// Looks at every known sound's files; reloads the changed ones, first
// calling before_replace with the old buffer (so its voices can stop).
void reloadChanged(void (*before_replace)(ALuint old_buffer));
// Deletes every buffer (the device's context must still be current).
void clear();
int failedCount();

}  // namespace sound_bank
