// The in-game options: their values, what each change does at once, and
// where they are stored.
#include "app/game_options.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/camera.h"
#include "app/sound_glue.h"
#include "app/spell_ui.h"
#include "audio/sound.h"
#include "device/font.h"
#include "platform/globals.h"
#include "platform/log.h"
#include "platform/platform.h"

namespace {
// Stored flag bits, as the launcher writes them.
constexpr int FLAG_AA = 2, FLAG_VSYNC = 4, FLAG_OBJECT_SHADOWS = 8;

int mouse_percent = 100;
int stored_quality = -1;  // the quality the next start takes; -1 = as now
int stored_vsync = -1;

// Each change writes only its own value, so the rest of the file stays as
// the launcher or the player left it.
void store_flag(int bit, bool on) {
  int flags = 0;
  get_config_int("flags", flags);
  flags = on ? flags | bit : flags & ~bit;
  if (!set_config_int("flags", flags)) debug("can't save the settings to '%s'", get_config_file_path().c_str());
}

void store_int(const char* name, int value) {
  if (!set_config_int(name, value)) debug("can't save the settings to '%s'", get_config_file_path().c_str());
}

int stepped(int value, int direction, int lo, int hi, int step) {
  return std::clamp(value + direction * step, lo, hi);
}

const char* on_off(bool on) { return on ? "on" : "off"; }

void apply_ui_scale() {
  font_after_resize();
  relayout_spell_ui();
}

// The volume an option row stands for (null for the other rows).
int* volume_of(SoundVolumes& v, int option) {
  switch (option) {
    case OPT_MASTER_VOLUME: return &v.master;
    case OPT_EFFECTS_VOLUME: return &v.effects;
    case OPT_AMBIENCE_VOLUME: return &v.ambience;
    case OPT_MUSIC_VOLUME: return &v.music;
  }
  return nullptr;
}

const char* volume_label(int option) {
  switch (option) {
    case OPT_MASTER_VOLUME: return "Volume";
    case OPT_EFFECTS_VOLUME: return "Effects volume";
    case OPT_AMBIENCE_VOLUME: return "Ambience volume";
    default: return "Music volume";
  }
}

int quality_next_start() { return stored_quality >= 0 ? stored_quality : gfx_quality; }
bool vsync_next_start() { return stored_vsync >= 0 ? stored_vsync != 0 : use_vsync; }
}  // namespace

void read_game_options() {
  int v = 0;
  if (get_config_int("mouse_sensitivity", v) && v >= MOUSE_SENSITIVITY_MIN && v <= MOUSE_SENSITIVITY_MAX)
    mouse_percent = v;
  mouse_sensitivity = float(mouse_percent) / 100.f;
  if (get_config_int("invert_mouse", v) && (v == 0 || v == 1)) invert_mouse = v == 1;
  if (get_config_int("ui_scale", v) && v >= UI_SCALE_MIN && v <= UI_SCALE_MAX) ui_scale_percent = v;
  if (get_config_int("post_effects", v) && (v == 0 || v == 1)) use_postfx = v == 1;
}

std::string option_text(int option) {
  char text[128] = "";
  switch (option) {
    case OPT_MOUSE_SENSITIVITY: std::snprintf(text, sizeof(text), "Mouse sensitivity: %d %%", mouse_percent); break;
    case OPT_INVERT_MOUSE: std::snprintf(text, sizeof(text), "Invert mouse: %s", on_off(invert_mouse)); break;
    case OPT_UI_SCALE: std::snprintf(text, sizeof(text), "UI and text scale: %d %%", ui_scale_percent); break;
    case OPT_GFX_QUALITY:
      std::snprintf(text, sizeof(text), "Graphics quality: %s%s", gfx_quality_name[quality_next_start()],
                    quality_next_start() != gfx_quality ? " (at next start)" : "");
      break;
    case OPT_ANTI_ALIASING: std::snprintf(text, sizeof(text), "Anti-aliasing: %s", on_off(use_ppaa)); break;
    case OPT_POST_EFFECTS:
      std::snprintf(text, sizeof(text), "Post effects: %s", gfx_quality == 1 ? on_off(use_postfx) : "off (high quality only)");
      break;
    case OPT_LAND_SHADOWS: std::snprintf(text, sizeof(text), "Land shadows: %d", land_shadow_quality); break;
    case OPT_OBJECT_SHADOWS:
      std::snprintf(text, sizeof(text), "Object shadows: %s%s", on_off(use_obj_shadows),
                    gfx_quality == 1 ? "" : " (high quality only)");
      break;
    case OPT_VSYNC:
      std::snprintf(text, sizeof(text), "Vertical sync: %s%s", on_off(vsync_next_start()),
                    vsync_next_start() != use_vsync ? " (at next start)" : "");
      break;
    case OPT_SOUND: std::snprintf(text, sizeof(text), "Sound: %s", on_off(sound_volumes().enabled)); break;
    default: {
      SoundVolumes v = sound_volumes();
      if (const int* volume = volume_of(v, option)) std::snprintf(text, sizeof(text), "%s: %d", volume_label(option), *volume);
    }
  }
  return text;
}

bool change_option(int option, int direction) {
  direction = direction < 0 ? -1 : 1;
  switch (option) {
    case OPT_MOUSE_SENSITIVITY:
      mouse_percent = stepped(mouse_percent, direction, MOUSE_SENSITIVITY_MIN, MOUSE_SENSITIVITY_MAX,
                              MOUSE_SENSITIVITY_STEP);
      mouse_sensitivity = float(mouse_percent) / 100.f;
      store_int("mouse_sensitivity", mouse_percent);
      return true;
    case OPT_INVERT_MOUSE:
      invert_mouse = !invert_mouse;
      store_int("invert_mouse", invert_mouse);
      return true;
    case OPT_UI_SCALE:
      ui_scale_percent = stepped(ui_scale_percent, direction, UI_SCALE_MIN, UI_SCALE_MAX, UI_SCALE_STEP);
      store_int("ui_scale", ui_scale_percent);
      apply_ui_scale();
      return true;
    case OPT_GFX_QUALITY: {
      // The deferred renderer is set up (or not) at start-up.
      stored_quality = 1 - quality_next_start();
      const char* name = gfx_quality_name[stored_quality];
      if (!set_config_str("gfx_quality", name, int(std::strlen(name))))
        debug("can't save the settings to '%s'", get_config_file_path().c_str());
      return true;
    }
    case OPT_ANTI_ALIASING:
      use_ppaa = !use_ppaa;
      store_flag(FLAG_AA, use_ppaa);
      return true;
    case OPT_POST_EFFECTS:
      if (gfx_quality != 1) return false;
      use_postfx = !use_postfx;
      store_int("post_effects", use_postfx);
      return true;
    case OPT_LAND_SHADOWS:
      land_shadow_quality = stepped(land_shadow_quality, direction, 0, 2, 1);
      store_int("land_shadows", land_shadow_quality);
      return true;
    case OPT_OBJECT_SHADOWS:
      use_obj_shadows = !use_obj_shadows;
      store_flag(FLAG_OBJECT_SHADOWS, use_obj_shadows);
      return true;
    case OPT_VSYNC:
      stored_vsync = !vsync_next_start();
      store_flag(FLAG_VSYNC, stored_vsync);
      return true;
    case OPT_SOUND: {
      SoundVolumes v = sound_volumes();
      v.enabled = !v.enabled;
      store_sound_volumes(v);
      return true;
    }
  }
  SoundVolumes v = sound_volumes();
  if (int* volume = volume_of(v, option)) {
    *volume = stepped(*volume, direction, 0, 100, SOUND_VOLUME_STEP);
    store_sound_volumes(v);
    return true;
  }
  return false;
}
