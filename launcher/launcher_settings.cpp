// "flags", "land_shadows", "gfx_quality" and the sound volumes through the
// shared settings store.
#include "launcher/launcher_settings.h"

#include <strings.h>

#include <cstring>

#include "platform/log.h"
#include "platform/platform.h"

const char* const launcher_quality_names[2] = {"low", "high"};

void read_launcher_settings(LauncherSettings& s) {
  int flags = 0;
  if (get_config_int("flags", flags)) {
    s.fullscreen = flags & 1;
    s.antialiasing = flags & 2;
    s.vsync = flags & 4;
    s.objectShadows = flags & 8;
  }
  int shadows = 0;
  // A value out of range keeps the default, which Start and Quit then store.
  if (get_config_int("land_shadows", shadows) && shadows >= 0 && shadows <= 2) s.landShadows = shadows;
  char quality[32];
  if (get_config_str("gfx_quality", quality, sizeof(quality)))
    for (int i = 0; i < 2; i++)
      if (strcasecmp(quality, launcher_quality_names[i]) == 0) {
        s.gfxQuality = i;
        break;
      }
  s.sound = load_sound_settings();
}

int launcher_sound_level(const LauncherSettings& s) {
  int level = (s.sound.master + 12) / 25;
  return level < 0 ? 0 : level > 4 ? 4 : level;
}

bool save_launcher_settings(const LauncherSettings& s) {
  int flags = s.fullscreen * 1 + s.antialiasing * 2 + s.vsync * 4 + s.objectShadows * 8;
  const char* quality = launcher_quality_names[s.gfxQuality == 0 ? 0 : 1];
  bool ok = set_config_int("flags", flags);
  ok = set_config_int("land_shadows", s.landShadows) && ok;
  ok = set_config_str("gfx_quality", quality, int(std::strlen(quality))) && ok;
  ok = save_sound_settings(s.sound) && ok;
  if (!ok) debug("can't save the settings to '%s'", get_config_file_path().c_str());
  return ok;
}
