// The input event queue with per-step key flags, the mouse and capture.
#include "platform/input.h"

#include <SDL.h>

#include <cstdlib>
#include <cstring>

#include "platform/globals.h"
#include "platform/vk_codes.h"

namespace {
struct QueuedEvent {
  InputEvent ev;
  QueuedEvent* next;
};

QueuedEvent* queue_head = nullptr;
QueuedEvent* queue_tail = nullptr;
unsigned char key_flags[256];  // bit 0 pressed this step, bit 1 released this step
int key_down_mods[256];        // Shift, Ctrl and Alt held at the key's last press this step
int last_key = 0, last_char = 0, wheel_notches = 0;
float mouse_x = 0, mouse_y = 0;
SDL_Window* input_window = nullptr;
bool mouse_captured = false;
bool mouse_over = false;
bool pointer_is_held = false;
float motion_x = 0, motion_y = 0;  // relative motion not yet taken

void read_sdl_keyboard_state(KeyboardState& out) {
  std::memset(&out, 0, sizeof(out));
  int n = 0;
  const Uint8* keys = SDL_GetKeyboardState(&n);
  for (int sc = 0; keys && sc < n; sc++)
    if (keys[sc]) {
      int vk = sdl_scancode_to_vk(sc);
      if (vk) out.held[vk] = true;
    }
  Uint32 buttons = input_window ? SDL_GetMouseState(nullptr, nullptr) : 0;
  out.held[VK_LBUTTON] = buttons & SDL_BUTTON_LMASK;
  out.held[VK_RBUTTON] = buttons & SDL_BUTTON_RMASK;
  out.held[VK_MBUTTON] = buttons & SDL_BUTTON_MMASK;
  SDL_Keymod mod = SDL_GetModState();
  out.toggled[VK_CAPITAL] = mod & KMOD_CAPS;
  out.toggled[VK_NUMLOCK] = mod & KMOD_NUM;
  out.toggled[VK_SCROLL] = mod & KMOD_SCROLL;
}

KeyboardStateReader state_reader = read_sdl_keyboard_state;

int modifier_bits(const KeyboardState& ks) {
  int f = 0;
  if (ks.held[VK_SHIFT]) f |= IF_SHIFT;
  if (ks.held[VK_CONTROL]) f |= IF_CTRL;
  if (ks.held[VK_MENU]) f |= IF_ALT;
  if (ks.toggled[VK_CAPITAL]) f |= IF_CAPSLOCK;
  if (ks.toggled[VK_SCROLL]) f |= IF_SCROLLLOCK;
  if (ks.toggled[VK_NUMLOCK]) f |= IF_NUMLOCK;
  if (ks.held[VK_LBUTTON]) f |= IF_LBUTTON;
  if (ks.held[VK_RBUTTON]) f |= IF_RBUTTON;
  if (ks.held[VK_MBUTTON]) f |= IF_MBUTTON;
  return f;
}

float clamp_coord(float v, int size) {
  if (v > float(size - 1)) v = float(size - 1);
  if (v < 0) v = 0;
  return v;
}

void set_key_flag(int key, unsigned char bit) {
  if (key >= 0 && key <= 255) key_flags[key] |= bit;
}

void move_cursor_to_stored_position() {
  if (input_window) SDL_WarpMouseInWindow(input_window, int(mouse_x), int(mouse_y));
}
}  // namespace

void set_keyboard_state_reader(KeyboardStateReader reader) {
  state_reader = reader ? reader : read_sdl_keyboard_state;
}
void read_keyboard_state(KeyboardState& out) { state_reader(out); }

void init_input(SDL_Window* window) {
  input_window = window;
  int x = 0, y = 0;
  if (window) SDL_GetMouseState(&x, &y);
  mouse_x = float(x), mouse_y = float(y);
  std::memset(key_flags, 0, sizeof(key_flags));
  std::memset(key_down_mods, 0, sizeof(key_down_mods));
}

namespace {
constexpr int CHORD_MODIFIERS = IF_SHIFT | IF_CTRL | IF_ALT;

// The character is derived from the virtual key and modifiers; `scan` is
// used only by wheel events (the notch count). held_modifiers: the Shift, Ctrl and Alt bits the window system reported
// with the event, or null to read them from the keyboard state now.
void queue_event(int type, int key, int scan, int flags, float x, float y, const int* held_modifiers) {
  auto* q = static_cast<QueuedEvent*>(std::malloc(sizeof(QueuedEvent)));
  if (!q) return;
  InputEvent& e = q->ev;
  e.type = type;
  e.ch = 0;
  e.wheel = 0;
  e.key = 0;
  KeyboardState ks;
  state_reader(ks);
  if (held_modifiers) {
    ks.held[VK_SHIFT] = *held_modifiers & IF_SHIFT;
    ks.held[VK_CONTROL] = *held_modifiers & IF_CTRL;
    ks.held[VK_MENU] = *held_modifiers & IF_ALT;
  }
  bool shift = ks.held[VK_SHIFT], caps = ks.toggled[VK_CAPITAL];
  switch (type) {
    case EV_KEY_DOWN:
      if (!(flags & IF_REPEAT)) {
        set_key_flag(key, 1);
        if (key >= 0 && key <= 255) key_down_mods[key] = modifier_bits(ks) & CHORD_MODIFIERS;
      }
      e.ch = vk_to_ascii(key, shift, caps);
      e.key = key;
      break;
    case EV_KEY_UP:
      set_key_flag(key, 2);
      e.ch = vk_to_ascii(key, shift, caps);
      e.key = key;
      break;
    case EV_BUTTON_DOWN:
      e.key = key;
      set_key_flag(key, 1);
      if (input_window) SDL_CaptureMouse(SDL_TRUE);
      mouse_captured = true;
      break;
    case EV_BUTTON_UP:
      e.key = key;
      set_key_flag(key, 2);
      if (input_window) SDL_CaptureMouse(SDL_FALSE);
      move_cursor_to_stored_position();
      x = mouse_x, y = mouse_y;
      mouse_captured = false;
      break;
    case EV_WHEEL:
      // The window layer already passes client coordinates.
      e.wheel = scan;
      break;
    default:
      break;
  }
  e.flags = flags | modifier_bits(ks);
  if (type == EV_KEY_DOWN || type == EV_KEY_UP) {
    e.x = mouse_x, e.y = mouse_y;
  } else {
    e.x = clamp_coord(x, d3d_wd);
    e.y = clamp_coord(y, d3d_ht);
  }
  q->next = nullptr;
  if (queue_tail)
    queue_tail->next = q;
  else
    queue_head = q;
  queue_tail = q;

  if (type == EV_KEY_DOWN || type == EV_BUTTON_DOWN) last_key = e.key, last_char = e.ch;
  if (type == EV_MOUSE_MOVE) mouse_x = e.x, mouse_y = e.y;
  if (type == EV_WHEEL) wheel_notches += e.wheel;
}
}  // namespace

void push_input_event(int type, int key, int scan, int flags, float x, float y) {
  queue_event(type, key, scan, flags, x, y, nullptr);
}

void push_key_event(int type, int key, int scan, int flags, int held_modifiers) {
  queue_event(type, key, scan, flags, 0, 0, &held_modifiers);
}

bool getEvent(InputEvent* ev) {
  QueuedEvent* q = queue_head;
  if (!q) return false;
  if (ev) *ev = q->ev;
  queue_head = q->next;
  if (!queue_head) queue_tail = nullptr;
  std::free(q);
  return true;
}

void getMousePos(float* x, float* y) {
  if (x) *x = mouse_x;
  if (y) *y = mouse_y;
}

void setMousePos(float x, float y) {
  if (input_window) SDL_WarpMouseInWindow(input_window, int(x), int(y));
}

int getMouseWheel() { return wheel_notches; }
bool isMouseOver() { return mouse_over; }
bool is_mouse_captured() { return mouse_captured; }

bool getKeyState(int vk) {
  if (vk < 0 || vk > 255) return false;
  KeyboardState ks;
  state_reader(ks);
  return ks.held[vk];
}

bool keyDown(int vk) { return vk >= 0 && vk <= 255 && (key_flags[vk] & 1); }
int keyDownModifiers(int vk) { return keyDown(vk) ? key_down_mods[vk] : 0; }
bool keyUp(int vk) { return vk >= 0 && vk <= 255 && (key_flags[vk] & 2); }
int getKey() { return last_key; }
int getChar() { return last_char; }

void clear_input_step() {
  std::memset(key_flags, 0, sizeof(key_flags));
  std::memset(key_down_mods, 0, sizeof(key_down_mods));
  while (getEvent(nullptr)) {
  }
  last_key = last_char = wheel_notches = 0;
}

void visit_step_events(void (*fn)(const InputEvent& ev, void* ctx), void* ctx) {
  for (QueuedEvent* q = queue_head; q; q = q->next) fn(q->ev, ctx);
}

void push_recorded_event(const InputEvent& ev) {
  auto* q = static_cast<QueuedEvent*>(std::malloc(sizeof(QueuedEvent)));
  if (!q) return;
  q->ev = ev;
  q->next = nullptr;
  if (queue_tail)
    queue_tail->next = q;
  else
    queue_head = q;
  queue_tail = q;
  bool in_range = ev.key >= 0 && ev.key <= 255;
  switch (ev.type) {
    case EV_KEY_DOWN:
    case EV_BUTTON_DOWN:
      if (ev.type == EV_BUTTON_DOWN || !(ev.flags & IF_REPEAT)) {
        set_key_flag(ev.key, 1);
        if (in_range) key_down_mods[ev.key] = ev.flags & CHORD_MODIFIERS;
      }
      last_key = ev.key, last_char = ev.ch;
      break;
    case EV_KEY_UP:
    case EV_BUTTON_UP:
      set_key_flag(ev.key, 2);
      break;
    case EV_MOUSE_MOVE:
      mouse_x = ev.x, mouse_y = ev.y;
      break;
    case EV_WHEEL:
      wheel_notches += ev.wheel;
      break;
    default:
      break;
  }
}

void set_recorded_mouse_pos(float x, float y) { mouse_x = x, mouse_y = y; }

void hold_pointer(bool held) {
  if (held == pointer_is_held) return;
  pointer_is_held = held;
  motion_x = motion_y = 0;
  if (!input_window) return;
  SDL_SetRelativeMouseMode(held ? SDL_TRUE : SDL_FALSE);
  if (!held) {
    mouse_x = float(d3d_wd / 2), mouse_y = float(d3d_ht / 2);
    SDL_WarpMouseInWindow(input_window, d3d_wd / 2, d3d_ht / 2);
  }
}

bool pointer_held() { return pointer_is_held; }

void add_mouse_motion(float dx, float dy) {
  motion_x += dx;
  motion_y += dy;
}

void take_mouse_motion(float* dx, float* dy) {
  if (dx) *dx = motion_x;
  if (dy) *dy = motion_y;
  motion_x = motion_y = 0;
}

void update_mouse_over() {
  if (mouse_captured || is_fullscreen || pointer_is_held) {
    mouse_over = true;
    return;
  }
  mouse_over = input_window && SDL_GetMouseFocus() == input_window;
}
