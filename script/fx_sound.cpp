// The effect script's play_sound.
#include "script/fx_sound.h"

#include "script/sqbind.h"
#include "script/vec_helpers.h"

FxPlaySound fx_play_sound_hook = nullptr;

namespace {
bool script_play_sound(const char* name, vec4f pos, float gain, float pitch) {
  return fx_play_sound_hook && fx_play_sound_hook(name, pos, gain, pitch);
}
}  // namespace

void register_fx_sound(HSQUIRRELVM vm) { sqbind::register_global(vm, "play_sound", &script_play_sound); }
