#pragma once
// The settings the launcher edits: the three stored graphics values and the
// sound volumes, as the game reads them at start-up.
#include "platform/sound_settings.h"

struct LauncherSettings {
  bool fullscreen = false;
  bool antialiasing = false;
  bool vsync = true;
  bool objectShadows = true;
  int landShadows = 2;  // 0..2
  int gfxQuality = 1;   // index into launcher_quality_names
  SoundVolumes sound;   // the launcher sets the switch and the master volume
};

// The master volume as one of the launcher's four steps (1..4 for 25..100 %; 0 below 13 %).
int launcher_sound_level(const LauncherSettings& s);

extern const char* const launcher_quality_names[2];  // "low", "high"

// Overwrites what is stored; values that are missing or unreadable keep
// their current settings.
void read_launcher_settings(LauncherSettings& s);
// Writes every value every time; false when any write failed.
bool save_launcher_settings(const LauncherSettings& s);
