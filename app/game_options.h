#pragma once
// The options the game changes while it runs: the mouse, the UI scale and
// the graphics settings the launcher also edits. They live in the same
// settings file as the launcher's values ("flags", "land_shadows",
// "gfx_quality") plus "mouse_sensitivity", "invert_mouse", "ui_scale"
// (percent values) and "post_effects"; the launcher keeps what it does not edit.
// The sound rows show and change the volumes the launcher and F7/F8/F10 use.
#include <string>

enum GameOption : int {
  OPT_MOUSE_SENSITIVITY,
  OPT_INVERT_MOUSE,
  OPT_UI_SCALE,
  OPT_GFX_QUALITY,
  OPT_ANTI_ALIASING,
  OPT_POST_EFFECTS,
  OPT_LAND_SHADOWS,
  OPT_OBJECT_SHADOWS,
  OPT_VSYNC,
  OPT_SOUND,
  OPT_MASTER_VOLUME,
  OPT_EFFECTS_VOLUME,
  OPT_AMBIENCE_VOLUME,
  OPT_MUSIC_VOLUME,
  OPT_COUNT
};

constexpr int MOUSE_SENSITIVITY_MIN = 25, MOUSE_SENSITIVITY_MAX = 400, MOUSE_SENSITIVITY_STEP = 25;  // percent
constexpr int UI_SCALE_MIN = 75, UI_SCALE_MAX = 200, UI_SCALE_STEP = 25;                              // percent

// Reads the game's own options from the settings file (at start-up, with
// the launcher's values); values out of range keep their defaults.
void read_game_options();
// The option's row in the options page: "Anti-aliasing: on", with
// "(at next start)" where the running game cannot change it.
std::string option_text(int option);
// Steps the option up (+1) or down (-1), applies it where it can be applied
// at once and stores it; false when the option cannot change now.
bool change_option(int option, int direction);
