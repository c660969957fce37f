// app_init / app_update / app_render / app_close: the subsystems in order.
#include "app/app.h"

#include "app/globals.h"
#include "app/input.h"
#include "app/log.h"
#include "app/main_loop.h"
#include "app/vk_codes.h"

namespace {
bool shift_held() { return getKeyState(VK_SHIFT); }

void toggle_dev_mode() {
  dev_mode = !dev_mode;
}

// Function keys that act on the game's own settings.
void handle_setting_keys() {
  if (keyDown(VK_F1)) show_fps = !show_fps;
  if (keyDown(VK_F5)) {
    if (shift_held())
      land_shadow_quality = (land_shadow_quality + 1) % 3;
    else
      use_postfx = !use_postfx;
  }
  if (keyDown(VK_F6)) use_ppaa = !use_ppaa;
  if (keyDown(VK_F9)) toggle_dev_mode();
}
}  // namespace

void app_init() {
  set_update_rate(20, 5);
  debug("Graphics quality: %s", gfx_quality_name[gfx_quality]);
  if (gfx_quality != 1) use_postfx = false;
  debug("game_rnd_seed=%llu;", (unsigned long long)game_rnd_seed);
}

void app_close() {}

void app_update(float dt) {
  (void)dt;
  if (app_active) handle_setting_keys();
}

void app_render(float t) { (void)t; }

void app_hot_reload_checks() {}
