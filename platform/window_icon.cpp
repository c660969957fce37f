// Loading the icon PNG and handing it to the window.
#include "platform/window_icon.h"

#include <SDL.h>

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_PNG
#include <stb/stb_image.h>

#include "platform/log.h"
#include "platform/platform.h"

bool set_window_icon(SDL_Window* window) {
  if (!window) return false;
  TempString path = make_full_path(WINDOW_ICON_FILE);
  int w = 0, h = 0, n = 0;
  stbi_uc* px = stbi_load(path.c_str(), &w, &h, &n, 4);
  if (!px) {
    debug("no window icon: '%s': %s", path.c_str(), stbi_failure_reason());
    return false;
  }
  SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormatFrom(px, w, h, 32, w * 4, SDL_PIXELFORMAT_RGBA32);
  if (icon) {
    SDL_SetWindowIcon(window, icon);  // copies the pixels
    SDL_FreeSurface(icon);
  } else {
    debug("no window icon: %s", SDL_GetError());
  }
  stbi_image_free(px);
  return icon != nullptr;
}
