#pragma once
// The input event queue, per-step key flags and the mouse.
#include <cstdint>

struct SDL_Window;

enum InputEventType { EV_KEY_DOWN = 1, EV_KEY_UP = 2, EV_BUTTON_DOWN = 3, EV_BUTTON_UP = 4, EV_MOUSE_MOVE = 5, EV_WHEEL = 6 };

// Modifier bits of InputEvent::flags.
enum : int {
  IF_SHIFT = 0x1,
  IF_CTRL = 0x2,
  IF_ALT = 0x4,
  IF_CAPSLOCK = 0x8,
  IF_SCROLLLOCK = 0x10,
  IF_NUMLOCK = 0x20,
  IF_REPEAT = 0x40,  // key down: auto-repeat; button down: double click
  IF_LBUTTON = 0x80,
  IF_RBUTTON = 0x100,
  IF_MBUTTON = 0x200,
};

struct InputEvent {
  int type;
  int key;
  int flags;
  int ch;
  int wheel;
  float x, y;
};
static_assert(sizeof(InputEvent) == 28, "seven 32-bit fields");

// Snapshot of the keyboard and mouse buttons taken when an event is queued:
// held[vk] and toggled[vk] over the virtual-key numbering.
struct KeyboardState {
  bool held[256];
  bool toggled[256];
};
// Reads the live state from SDL; tests install their own reader.
using KeyboardStateReader = void (*)(KeyboardState& out);
void set_keyboard_state_reader(KeyboardStateReader reader);
void read_keyboard_state(KeyboardState& out);

void init_input(SDL_Window* window);
// For wheel events `scan` carries the signed notch count. Shift, Ctrl and
// Alt are read from the keyboard state as it is now.
void push_input_event(int type, int key, int scan, int flags, float x, float y);
// A key event with the Shift, Ctrl and Alt bits (IF_SHIFT, IF_CTRL, IF_ALT)
// that were held when it happened. The window layer uses this: at a few
// frames a second a whole chord (Ctrl down, G down, Ctrl up) is drained in
// one go, after which the keyboard state no longer shows the Ctrl.
void push_key_event(int type, int key, int scan, int flags, int held_modifiers);
bool getEvent(InputEvent* ev);
void getMousePos(float* x, float* y);
void setMousePos(float x, float y);
int getMouseWheel();
bool isMouseOver();
bool getKeyState(int vk);
bool keyDown(int vk);
// The Shift, Ctrl and Alt bits held when vk was last pressed in this step;
// 0 when it was not pressed. Chords act on these, not on what is held when
// the step runs.
int keyDownModifiers(int vk);
bool keyUp(int vk);
const char* getKeyName(int vk);
int getKey();
int getChar();
void clear_input_step();
void update_mouse_over();

// Record and replay of a step's input. The events queued for this step, in
// order, are passed to `fn`; nothing is taken off the queue.
void visit_step_events(void (*fn)(const InputEvent& ev, void* ctx), void* ctx);
// Queues an event exactly as it was recorded (flags included) and sets the
// step's key flags from it, without touching the real cursor or capture.
void push_recorded_event(const InputEvent& ev);
// Sets where the game believes the cursor is, without moving the real one.
void set_recorded_mouse_pos(float x, float y);
bool is_mouse_captured();

// The held pointer of the game's mouse look: hidden, confined to the window
// and reporting only motion, so that no fast move can carry it outside and
// lose the look or a click. Released, the pointer shows at the window's
// centre. Without a window only the flag changes.
void hold_pointer(bool held);
bool pointer_held();
// Relative motion reported by the window since the last take, in pixels.
void add_mouse_motion(float dx, float dy);
void take_mouse_motion(float* dx, float* dy);

// The character a key produces with the given Shift and Caps Lock state on a
// US layout, 0 for none.
int vk_to_ascii(int vk, bool shift, bool caps);
