// The splash: a message and an optional progress bar, drawn and presented
// at once, outside the main loop.
#include "device/splash.h"

#include <cmath>

#include "platform/globals.h"
#include "platform/fixed_string.h"
#include "device/d3d_render.h"
#include "device/font.h"

namespace {
FixedString<256> splash_message;
float splash_progress = -1;

}  // namespace

void draw_splash_screen() {
  set_back_buffer_target();
  clear_view_color(D3dColor(0xFF000A28));
  begin_text();
  draw_text(splash_message, -1, d3d_wd / 2, d3d_ht / 4, 0, 0, D3dColor(0xFFFFFFFF));
  if (splash_progress >= 0) {
    int a = 3 * get_text_scale() * get_font_cell_size();
    int bar_w = d3d_wd / 4;
    int x = (d3d_wd - bar_w) / 2;
    int y = d3d_ht / 4 - a;
    fill_rect(x, y, x + bar_w, y + a / 2, D3dColor(0xFF000000));
    float p = splash_progress > 1 ? 1 : splash_progress;
    int filled = int(std::lround(float(bar_w) * p));
    fill_rect(x, y, x + filled, y + a / 2, D3dColor(0xFF32960A));
  }
  end_text();
}

void show_splash(const char* message, float progress) {
  splash_message.assign(message ? message : "");
  splash_progress = progress;
  if (!is_d3d_ready() || !font_loaded()) return;
  set_cull_mode(1);
  draw_splash_screen();
  present_frame();
}
