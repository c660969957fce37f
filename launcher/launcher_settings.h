#pragma once
// The graphics settings the launcher edits: the same three stored values that
// the game reads at start-up.

struct LauncherSettings {
  bool fullscreen = false;
  bool antialiasing = false;
  bool vsync = true;
  bool objectShadows = true;
  int landShadows = 2;  // 0..2
  int gfxQuality = 1;   // index into launcher_quality_names
};

extern const char* const launcher_quality_names[2];  // "low", "high"

// Overwrites what is stored; values that are missing or unreadable keep
// their current settings.
void read_launcher_settings(LauncherSettings& s);
// Writes all three values every time; false when any write failed.
bool save_launcher_settings(const LauncherSettings& s);
