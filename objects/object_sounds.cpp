// Loops owned by objects.
#include "objects/object_sounds.h"

#include "objects/base_object.h"

void play_object_loop(BaseObject* obj, const char* name, const vec4f& pos, float gain, float pitch) {
  // A destroyed object waits to be freed; a loop started now would outlive it.
  if (!obj || (obj->flags & OBJ_DESTROYED)) return;
  keep_sound_loop(obj, name, pos, gain, pitch);
}
