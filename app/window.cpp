// The window: creation, the message table over SDL events, Alt-Enter.
#include "app/window.h"

#include <SDL.h>

#include "app/device_calls.h"
#include "platform/globals.h"
#include "platform/input.h"
#include "platform/log.h"
#include "platform/vk_codes.h"
#include "platform/window_icon.h"

const char* const WINDOW_TITLE = "Tolvane 0.09 DEMO";

bool quit_asked = false;

namespace {
SDL_Window* window = nullptr;
// Saved when going full-screen, restored when coming back.
int saved_client_w = 0, saved_client_h = 0;
SDL_Rect saved_window_rect = {0, 0, 0, 0};

void clip_cursor(bool on) {
  if (window) SDL_SetWindowGrab(window, on ? SDL_TRUE : SDL_FALSE);
}

// The window procedure's set-cursor rule: no cursor over the client area
// while the game hides it.
void apply_cursor() {
  bool hide = app_active && hide_cursor && (isMouseOver() || is_fullscreen);
  SDL_ShowCursor(hide ? SDL_DISABLE : SDL_ENABLE);
}

void on_size() {
  if (is_fullscreen || (SDL_GetWindowFlags(window) & SDL_WINDOW_MINIMIZED)) return;
  int w = 0, h = 0;
  SDL_GL_GetDrawableSize(window, &w, &h);
  if (w > 0 && h > 0) resize_d3d(w, h, false, false);
}

void set_active(bool active) {
  if (active == app_active) return;
  app_active = active;
  if (!active) hold_pointer(false);  // another window gets the pointer
  if (is_fullscreen) clip_cursor(active);
}

void on_window_event(const SDL_WindowEvent& w) {
  switch (w.event) {
    case SDL_WINDOWEVENT_SIZE_CHANGED: on_size(); break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
    case SDL_WINDOWEVENT_RESTORED:
    case SDL_WINDOWEVENT_SHOWN: set_active(!(SDL_GetWindowFlags(window) & SDL_WINDOW_MINIMIZED)); break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
    case SDL_WINDOWEVENT_MINIMIZED: set_active(false); break;
    case SDL_WINDOWEVENT_CLOSE:
      app_active = false;
      quit_requested = true;
      break;
  }
}

// Shift, Ctrl and Alt as they were when the key event happened.
int held_modifiers(const SDL_KeyboardEvent& k) {
  int m = 0;
  if (k.keysym.mod & KMOD_SHIFT) m |= IF_SHIFT;
  if (k.keysym.mod & KMOD_CTRL) m |= IF_CTRL;
  if (k.keysym.mod & KMOD_ALT) m |= IF_ALT;
  return m;
}

void on_key_down(const SDL_KeyboardEvent& k) {
  int vk = sdl_scancode_to_vk(k.keysym.scancode);
  bool alt = k.keysym.mod & KMOD_ALT;
  if (alt && vk == VK_F4) {  // Alt-F4: the game asks first when the run is unsaved
    quit_asked = true;
    return;
  }
  if (alt && vk == VK_RETURN) {
    if (!k.repeat) toggle_fullscreen();
    return;
  }
  if (vk) push_key_event(EV_KEY_DOWN, vk, k.keysym.scancode, k.repeat ? IF_REPEAT : 0, held_modifiers(k));
}
}  // namespace

SDL_Window* main_window() { return window; }

bool create_main_window() {
  if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_TIMER) != 0) {
    debug("can't create window: %s", SDL_GetError());
    return false;
  }
  d3d_prepare_window_attributes();
  is_fullscreen = start_fullscreen;
  SDL_Rect area;
  if (SDL_GetDisplayUsableBounds(0, &area) != 0 && SDL_GetDisplayBounds(0, &area) != 0) area = {0, 0, 1280, 720};
  bool sized = req_width >= 1 && req_height >= 1;
  int w = sized ? req_width : area.w, h = sized ? req_height : area.h;
  int x = area.x + (area.w - w) / 2, y = area.y + (area.h - h) / 2;
  Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI;
  if (is_fullscreen)
    flags |= SDL_WINDOW_FULLSCREEN_DESKTOP, x = y = 0;
  else if (!sized)
    flags |= SDL_WINDOW_MAXIMIZED;
  window = SDL_CreateWindow(WINDOW_TITLE, x, y, w, h, flags);
  if (!window) {
    debug("can't create window: %s", SDL_GetError());
    SDL_Quit();
    return false;
  }
  set_window_icon(window);
  SDL_GL_GetDrawableSize(window, &w, &h);
  if (req_width < 1) req_width = w;
  if (req_height < 1) req_height = h;
  app_active = true;
  return true;
}

void destroy_main_window() {
  if (window) SDL_DestroyWindow(window);
  window = nullptr;
  SDL_Quit();
}

void handle_window_message(const SDL_Event& e) {
  switch (e.type) {
    case SDL_QUIT:
      app_active = false;
      quit_requested = true;
      break;
    case SDL_WINDOWEVENT: on_window_event(e.window); break;
    case SDL_KEYDOWN: on_key_down(e.key); break;
    case SDL_KEYUP: {
      int vk = sdl_scancode_to_vk(e.key.keysym.scancode);
      if (vk) push_key_event(EV_KEY_UP, vk, e.key.keysym.scancode, 0, held_modifiers(e.key));
      break;
    }
    case SDL_MOUSEMOTION:
      add_mouse_motion(float(e.motion.xrel), float(e.motion.yrel));
      push_input_event(EV_MOUSE_MOVE, 0, 0, 0, float(e.motion.x), float(e.motion.y));
      break;
    case SDL_MOUSEBUTTONDOWN: {
      int b = sdl_mouse_button_to_vk(e.button.button);
      if (!b) break;
      if (e.button.clicks < 2) SDL_RaiseWindow(window);  // takes the keyboard focus
      push_input_event(EV_BUTTON_DOWN, b, 0, e.button.clicks >= 2 ? IF_REPEAT : 0, float(e.button.x), float(e.button.y));
      break;
    }
    case SDL_MOUSEBUTTONUP: {
      int b = sdl_mouse_button_to_vk(e.button.button);
      if (b) push_input_event(EV_BUTTON_UP, b, 0, 0, float(e.button.x), float(e.button.y));
      break;
    }
    case SDL_MOUSEWHEEL: {
      int notches = e.wheel.y;
      if (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) notches = -notches;
      float mx, my;
      getMousePos(&mx, &my);
      push_input_event(EV_WHEEL, 0, notches, 0, mx, my);
      break;
    }
  }
}

void drain_message_queue() {
  SDL_Event e;
  while (SDL_PollEvent(&e)) handle_window_message(e);
  update_mouse_over();
  apply_cursor();
}

void toggle_fullscreen() {
  if (!is_fullscreen) {
    SDL_GL_GetDrawableSize(window, &saved_client_w, &saved_client_h);
    SDL_GetWindowPosition(window, &saved_window_rect.x, &saved_window_rect.y);
    SDL_GetWindowSize(window, &saved_window_rect.w, &saved_window_rect.h);
    resize_d3d(0, 0, true, false);
  } else {
    int w = saved_client_w, h = saved_client_h;
    if (w == 0 || h == 0) w = d3d_wd / 2, h = d3d_ht / 2;
    resize_d3d(w, h, false, false);
    if (saved_window_rect.w > 0) {
      SDL_SetWindowSize(window, saved_window_rect.w, saved_window_rect.h);
      SDL_SetWindowPosition(window, saved_window_rect.x, saved_window_rect.y);
    }
  }
  clip_cursor(is_fullscreen);
}
