// Log lines on standard output, the fatal path and the error box.
#include "platform/log.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
const char* program_title = "Tolvane";
ShutdownHook shutdown_hook = nullptr;
bool in_fatal = false;

bool message_boxes_suppressed() {
  if (std::getenv("TOLVANE_NO_MSGBOX")) return true;
  // Without any display a box could never be answered.
  const char* drv = std::getenv("SDL_VIDEODRIVER");
  if (drv && (std::strcmp(drv, "offscreen") == 0 || std::strcmp(drv, "dummy") == 0)) return true;
  return !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY");
}
}  // namespace

void set_program_title(const char* title) { program_title = title; }
const char* get_program_title() { return program_title; }
void set_fatal_shutdown_hook(ShutdownHook hook) { shutdown_hook = hook; }

void vdebug(const char* fmt, va_list args) { std::vfprintf(stdout, fmt, args); }

void debug_(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  vdebug(fmt, args);
  va_end(args);
}

void debug(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  vdebug(fmt, args);
  va_end(args);
  std::fputs("\n", stdout);
  std::fflush(stdout);
}

void error_message(const char* text) {
  debug("ERROR: %s", text);
  if (message_boxes_suppressed()) return;
  char caption[256];
  std::snprintf(caption, sizeof(caption), "%s - FATAL ERROR", program_title);
  SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption, text, nullptr);
}

void fatal(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::fputs("\n\n", stderr);
  va_list copy;
  va_copy(copy, args);
  std::vfprintf(stderr, fmt, copy);
  va_end(copy);
  std::fputs("\n", stderr);
  std::fflush(stdout);
  std::fflush(stderr);

  char text[4096];
  std::vsnprintf(text, sizeof(text), fmt, args);
  va_end(args);

  // A second fatal error raised by the shutdown itself ends at once, so the
  // shutdown never recurses.
  if (in_fatal) std::_Exit(100);
  in_fatal = true;
  error_message(text);
  if (shutdown_hook) shutdown_hook();
  std::fflush(stdout);
  std::_Exit(100);
}
