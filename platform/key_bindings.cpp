// The action-to-key table, its defaults and its place in the settings file.
#include "platform/key_bindings.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/input.h"
#include "platform/platform.h"
#include "platform/vk_codes.h"

namespace {
const KeyActionInfo actions[KEY_ACTION_COUNT] = {
    {"menu", "Menu", {VK_ESCAPE}},
    {"pause", "Pause", {'P', VK_PAUSE}},
    {"forward", "Forward", {'W', VK_UP, 'Z'}},
    {"back", "Back", {'S', VK_DOWN}},
    {"left", "Left", {'A', VK_LEFT, 'Q'}},
    {"right", "Right", {'D', VK_RIGHT}},
    {"up", "Up", {VK_SPACE, VK_PRIOR}},
    {"down", "Down", {'C', VK_NEXT, 'X'}},
    {"boost", "Fly faster", {VK_SHIFT}},
    {"cast_first", "Cast first hand", {VK_LBUTTON}},
    {"cast_second", "Cast second hand", {VK_RBUTTON}},
    {"spell_panel", "Spell panel", {VK_CONTROL}},
    {"help", "Help and statistics", {VK_F1}},
    {"post_effects", "Post effects", {VK_F5}},
    {"anti_aliasing", "Anti-aliasing", {VK_F6}},
    {"developer", "Developer mode", {VK_F9}},
    {"screenshot", "Screenshot", {VK_SNAPSHOT}},
    {"new_world", "New world (Ctrl)", {'G'}},
    {"add_water", "Add water (Ctrl)", {'H'}},
    {"erode", "Erosion (Ctrl)", {'R'}},
    {"monsters", "Monster spawning (Ctrl)", {'M'}},
    {"mana_cheat", "Mana cheat (Ctrl)", {'N'}},
    {"effect_demo", "Effect demo (Ctrl)", {'F'}},
    {"trail_demo", "Trail demo (Ctrl)", {'T'}},
};

uint8_t keys[KEY_ACTION_COUNT][KEYS_PER_ACTION];
bool keys_set = false;

void ensure_defaults() {
  if (keys_set) return;
  for (int a = 0; a < KEY_ACTION_COUNT; a++) std::memcpy(keys[a], actions[a].defaults, KEYS_PER_ACTION);
  keys_set = true;
}

bool valid_action(int a) { return a >= 0 && a < KEY_ACTION_COUNT; }

// Escape stays with the menu alone, so a player can always get back to it.
bool bindable(int action, int vk) {
  if (vk <= 0 || vk > 255) return false;
  return vk != VK_ESCAPE || action == KEY_MENU;
}

std::string setting_name(int action) { return std::string("key_") + actions[action].id; }
}  // namespace

const KeyActionInfo& key_action_info(int action) { return actions[valid_action(action) ? action : 0]; }

int bound_key(int action, int slot) {
  ensure_defaults();
  if (!valid_action(action) || slot < 0 || slot >= KEYS_PER_ACTION) return 0;
  return keys[action][slot];
}

bool bind_key(int action, int vk) {
  ensure_defaults();
  if (!valid_action(action) || !bindable(action, vk)) return false;
  std::memset(keys[action], 0, KEYS_PER_ACTION);
  keys[action][0] = uint8_t(vk);
  return true;
}

void reset_key_bindings() {
  keys_set = false;
  ensure_defaults();
}

int key_conflict(int action) {
  ensure_defaults();
  if (!valid_action(action)) return -1;
  for (int other = 0; other < KEY_ACTION_COUNT; other++) {
    if (other == action) continue;
    for (int i = 0; i < KEYS_PER_ACTION; i++)
      for (int j = 0; j < KEYS_PER_ACTION; j++)
        if (keys[action][i] && keys[action][i] == keys[other][j]) return other;
  }
  return -1;
}

void key_binding_text(int action, char* out, int size) {
  ensure_defaults();
  if (size <= 0) return;
  out[0] = 0;
  if (!valid_action(action)) return;
  std::string text;
  for (int i = 0; i < KEYS_PER_ACTION; i++)
    if (keys[action][i]) text += (text.empty() ? "" : ", ") + std::string(getKeyName(keys[action][i]));
  std::snprintf(out, size_t(size), "%s", text.empty() ? "(none)" : text.c_str());
}

bool action_held(int action) {
  for (int i = 0; i < KEYS_PER_ACTION; i++)
    if (int vk = bound_key(action, i); vk && getKeyState(vk)) return true;
  return false;
}

bool action_pressed(int action) {
  for (int i = 0; i < KEYS_PER_ACTION; i++)
    if (int vk = bound_key(action, i); vk && keyDown(vk)) return true;
  return false;
}

bool action_released(int action) {
  for (int i = 0; i < KEYS_PER_ACTION; i++)
    if (int vk = bound_key(action, i); vk && keyUp(vk)) return true;
  return false;
}

int action_pressed_modifiers(int action) {
  int mods = 0;
  for (int i = 0; i < KEYS_PER_ACTION; i++)
    if (int vk = bound_key(action, i)) mods |= keyDownModifiers(vk);
  return mods;
}

void load_key_bindings() {
  reset_key_bindings();
  for (int a = 0; a < KEY_ACTION_COUNT; a++) {
    int packed = 0;
    if (!get_config_int(setting_name(a).c_str(), packed)) continue;
    uint8_t read[KEYS_PER_ACTION] = {};
    bool usable = (uint32_t(packed) >> (8 * KEYS_PER_ACTION)) == 0;
    for (int i = 0; i < KEYS_PER_ACTION; i++) {
      read[i] = uint8_t(uint32_t(packed) >> (8 * i));
      if (read[i] && !bindable(a, read[i])) usable = false;
    }
    if (usable && read[0]) std::memcpy(keys[a], read, KEYS_PER_ACTION);
  }
}

bool save_key_bindings() {
  ensure_defaults();
  bool ok = true;
  for (int a = 0; a < KEY_ACTION_COUNT; a++) {
    uint32_t packed = 0;
    for (int i = 0; i < KEYS_PER_ACTION; i++) packed |= uint32_t(keys[a][i]) << (8 * i);
    ok = set_config_int(setting_name(a).c_str(), int(packed)) && ok;
  }
  return ok;
}
