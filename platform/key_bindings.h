#pragma once
// The keys the game's actions are bound to. Every place that reads a key for
// an action asks here, so a binding changed in the options applies
// everywhere at once. An action has up to three keys (the defaults give
// movement its arrow keys too); binding a key in the options makes it the
// action's only key. Bindings are stored in the settings file as
// "key_<action>" dwords holding the keys one byte each.
#include <cstdint>

enum KeyAction : int {
  KEY_MENU,
  KEY_PAUSE,
  KEY_FORWARD,
  KEY_BACK,
  KEY_LEFT,
  KEY_RIGHT,
  KEY_UP,
  KEY_DOWN,
  KEY_BOOST,
  KEY_CAST_FIRST,
  KEY_CAST_SECOND,
  KEY_SPELL_PANEL,
  KEY_HELP,
  KEY_POST_EFFECTS,
  KEY_ANTI_ALIASING,
  KEY_DEVELOPER,
  KEY_SCREENSHOT,
  KEY_NEW_WORLD,
  KEY_ADD_WATER,
  KEY_ERODE,
  KEY_MONSTERS,
  KEY_MANA_CHEAT,
  KEY_EFFECT_DEMO,
  KEY_TRAIL_DEMO,
  KEY_ACTION_COUNT
};
constexpr int KEYS_PER_ACTION = 3;

struct KeyActionInfo {
  const char* id;     // the settings name after "key_"
  const char* label;  // as the options show it
  uint8_t defaults[KEYS_PER_ACTION];
};
const KeyActionInfo& key_action_info(int action);

// The action's keys (0 = none) in slot order.
int bound_key(int action, int slot = 0);
// Makes `vk` the action's only key; false for a key that cannot be bound
// (none, or Escape away from the menu action, so that the menu always opens).
bool bind_key(int action, int vk);
void reset_key_bindings();
// Another action bound to one of this action's keys, or -1.
int key_conflict(int action);
// The action's keys as text: "W, Up".
void key_binding_text(int action, char* out, int size);

// The input of an action: any of its keys held, pressed this step, released
// this step; the modifiers held when a key of it was pressed.
bool action_held(int action);
bool action_pressed(int action);
bool action_released(int action);
int action_pressed_modifiers(int action);

// Reads the bindings from the settings store (missing or unusable values keep
// the defaults) and writes them back.
void load_key_bindings();
bool save_key_bindings();
