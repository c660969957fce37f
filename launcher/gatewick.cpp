// gatewick: the settings window that starts the game. One SDL window whose
// surface receives the software-rendered GUI.
#include <SDL.h>
#include <spawn.h>

#include <algorithm>
#include <vector>

#include "gui/gui_screen.h"
#include "launcher/launcher_screen.h"
#include "launcher/swrender.h"
#include "platform/globals.h"
#include "platform/input.h"
#include "platform/log.h"
#include "platform/platform.h"
#include "platform/vk_codes.h"
#include "platform/window_icon.h"

extern char** environ;

namespace {
constexpr const char* WINDOW_TITLE = "Tolvane Launcher";
constexpr int CLIENT_W = 640, CLIENT_H = 512;

SDL_Window* window = nullptr;
SoftwareGuiRenderer* renderer = nullptr;
GuiScreen* screen = nullptr;
LauncherHandler* handler = nullptr;
LauncherSettings settings;
std::vector<uint32_t> pixels;
int buf_w = 0, buf_h = 0;
bool quit = false;

void close_down() {
  debug("closing...");
  delete screen;
  screen = nullptr;
  delete handler;
  handler = nullptr;
  delete renderer;
  renderer = nullptr;
  std::vector<uint32_t>().swap(pixels);
  buf_w = buf_h = 0;
  clear_input_step();
  debug("closed all systems");
}

[[noreturn]] void close_and_exit(int code) {
  close_down();
  if (window) SDL_DestroyWindow(window);
  SDL_Quit();
  std::exit(code);
}

// Starts the game next to this program, without options and without
// waiting; a failure is not reported to the player.
void start_game() {
  TempString path = make_full_path("game");
  char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
  pid_t pid;
  if (posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, environ) != 0) debug("can't start '%s'", path.c_str());
}

bool open_site() {
  if (SDL_OpenURL(LAUNCHER_SITE_URL) == 0) {
    debug("opened %s", LAUNCHER_SITE_URL);
    return true;
  }
  debug("can't open %s: %s", LAUNCHER_SITE_URL, SDL_GetError());
  return false;
}

// Keeps the pixel buffer the size of the window (at least 1 x 1).
void fit_buffer() {
  int w = 0, h = 0;
  SDL_GetWindowSize(window, &w, &h);
  w = std::max(w, 1), h = std::max(h, 1);
  if (w == buf_w && h == buf_h) return;
  pixels.assign(size_t(w) * h, 0);
  buf_w = w, buf_h = h;
  d3d_wd = w, d3d_ht = h;  // the input queue clamps mouse positions to these
  debug("resized screen buffer to %dx%d", w, h);
  renderer->setBuffer(pixels.data(), w * 4, w, h);
  if (screen) screen->relayout();
}

void paint() {
  fit_buffer();
  renderer->setBuffer(pixels.data(), buf_w * 4, buf_w, buf_h);
  renderer->clear(0);
  screen->draw();
  SDL_Surface* surface = SDL_GetWindowSurface(window);
  if (!surface) return;
  int w = std::min(buf_w, surface->w), h = std::min(buf_h, surface->h);
  SDL_ConvertPixels(w, h, SDL_PIXELFORMAT_ARGB8888, pixels.data(), buf_w * 4, surface->format->format,
                    surface->pixels, surface->pitch);
  SDL_UpdateWindowSurface(window);
}

// The window's messages: paints, the close request, and mouse and keyboard
// input for the GUI.
void window_proc(const SDL_Event& e) {
  switch (e.type) {
    case SDL_QUIT: quit = true; break;
    case SDL_WINDOWEVENT:
      if (e.window.event == SDL_WINDOWEVENT_EXPOSED || e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) paint();
      if (e.window.event == SDL_WINDOWEVENT_CLOSE) quit = true;
      break;
    case SDL_MOUSEMOTION: push_input_event(EV_MOUSE_MOVE, 0, 0, 0, float(e.motion.x), float(e.motion.y)); break;
    case SDL_MOUSEBUTTONDOWN:
      if (int b = sdl_mouse_button_to_vk(e.button.button)) {
        SDL_RaiseWindow(window);
        push_input_event(EV_BUTTON_DOWN, b, 0, e.button.clicks >= 2 ? IF_REPEAT : 0, float(e.button.x),
                         float(e.button.y));
      }
      break;
    case SDL_MOUSEBUTTONUP:
      if (int b = sdl_mouse_button_to_vk(e.button.button))
        push_input_event(EV_BUTTON_UP, b, 0, 0, float(e.button.x), float(e.button.y));
      break;
    case SDL_MOUSEWHEEL: {
      float mx, my;
      getMousePos(&mx, &my);
      push_input_event(EV_WHEEL, 0, e.wheel.y, 0, mx, my);
      break;
    }
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      if (int vk = sdl_scancode_to_vk(e.key.keysym.scancode))
        push_input_event(e.type == SDL_KEYDOWN ? EV_KEY_DOWN : EV_KEY_UP, vk, e.key.keysym.scancode,
                         e.key.repeat ? IF_REPEAT : 0, 0, 0);
      break;
  }
}

bool is_paint(const SDL_Event& e) {
  return e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_EXPOSED;
}

// Updates at least 30 times a second, and at once when anything happens;
// sleeps in between.
void run_loop() {
  const int64_t freq = get_ref_time_freq(), period = freq / 30;
  int64_t last = get_ref_time();
  while (!quit) {
    bool activity = false;
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
      if (!is_paint(e)) activity = true;
      window_proc(e);
    }
    if (quit) break;
    int64_t now = get_ref_time();
    if (activity || now - last >= period) {
      last = now;
      screen->processInput();
      launcher_keys(screen->root);
      paint();
    }
    clear_input_step();
    int64_t left_ms = (period - (get_ref_time() - last)) * 1000 / freq;
    SDL_WaitEventTimeout(nullptr, int(std::clamp<int64_t>(left_ms, 1, 34)));
  }
}

SDL_Rect centred_client_rect() {
  SDL_Rect area;
  if (SDL_GetDisplayUsableBounds(0, &area) != 0 && SDL_GetDisplayBounds(0, &area) != 0)
    area = {0, 0, CLIENT_W, CLIENT_H};
  return {area.x + (area.w - CLIENT_W) / 2, area.y + (area.h - CLIENT_H) / 2, CLIENT_W, CLIENT_H};
}
}  // namespace

int main() {
  if (!get_exe_path(app_path, sizeof(app_path))) app_path[0] = 0;
  debug("app path: '%s'", app_path);
  init_ref_time();
  int64_t start = get_ref_time();
  set_program_title(WINDOW_TITLE);
  set_fatal_shutdown_hook(close_down);

  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    debug("can't set up the window system: %s", SDL_GetError());
    return 0;
  }
  SDL_Rect wr = centred_client_rect();
  debug("wr: %d %d %d %d", wr.x, wr.y, wr.x + wr.w, wr.y + wr.h);
  window = SDL_CreateWindow(WINDOW_TITLE, wr.x, wr.y, wr.w, wr.h, SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE);
  if (!window) {
    debug("can't create window: %s", SDL_GetError());
    SDL_Quit();
    return 1;
  }
  set_window_icon(window);

  init_input(window);
  read_launcher_settings(settings);
  renderer = new SoftwareGuiRenderer;
  renderer->setFont(renderer->loadFont("font.tga"));
  register_standard_gui_behaviours();
  fit_buffer();
  screen = new GuiScreen(renderer, build_launcher_tree(renderer->glyphSize()), LAUNCHER_DESIGN_W, LAUNCHER_DESIGN_H);
  refresh_launcher_screen(screen->root, settings);
  LauncherActions actions;
  actions.startGame = start_game;
  actions.closeAndExit = close_and_exit;
  actions.openSite = open_site;
  handler = new LauncherHandler(settings, actions);
  screen->root->addHandler(handler, -1);
  debug("total start-up time: %d ms", get_time_msec(get_ref_time() - start));

  run_loop();
  close_down();
  SDL_DestroyWindow(window);
  SDL_Quit();
  return 0;
}
