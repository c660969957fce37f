// Reading and writing the sound volumes in the settings file.
#include "platform/sound_settings.h"

#include "platform/platform.h"

namespace {
void read_volume(const char* name, int& out) {
  int v = 0;
  if (get_config_int(name, v)) out = v < 0 ? 0 : v > 100 ? 100 : v;
}
}  // namespace

SoundVolumes load_sound_settings() {
  SoundVolumes v;
  read_volume(SOUND_SETTING_MASTER, v.master);
  read_volume(SOUND_SETTING_EFFECTS, v.effects);
  read_volume(SOUND_SETTING_AMBIENCE, v.ambience);
  read_volume(SOUND_SETTING_MUSIC, v.music);
  int on = 1;
  if (get_config_int(SOUND_SETTING_ENABLED, on)) v.enabled = on != 0;
  return v;
}

bool save_sound_settings(const SoundVolumes& v) {
  bool ok = set_config_int(SOUND_SETTING_MASTER, v.master);
  ok = set_config_int(SOUND_SETTING_EFFECTS, v.effects) && ok;
  ok = set_config_int(SOUND_SETTING_AMBIENCE, v.ambience) && ok;
  ok = set_config_int(SOUND_SETTING_MUSIC, v.music) && ok;
  ok = set_config_int(SOUND_SETTING_ENABLED, v.enabled ? 1 : 0) && ok;
  return ok;
}
