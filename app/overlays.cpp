// Help text, the "F1" hint, the statistics graph and the sun readout.
#include "app/overlays.h"

#include <cmath>
#include <string>

#include "platform/globals.h"
#include "platform/input.h"
#include "app/stats_graph.h"
#include "platform/vk_codes.h"
#include "device/font.h"

const char* const DEV_HELP_TEXT =
    "Goal: raise the castle to level 3 with mana from your gatherers, then take its portal.\n"
    "Keep wyverns off the gatherers and the castle: if the castle falls, the world starts again.\n"
    "F1: show/hide this\nP/Pause: pause\nF9: game/dev mode\nWASD/arrows: move\nShift: move faster\nF5: toggle post-effect\n"
    "F6: toggle anti-aliasing\nRight mouse: set sun position\nG: generate new world\nH: add water everywhere\n"
    "R: erode land\nF: next effect (Shift-F: again)\nT: trail\nCtrl-M: toggle monsters\n"
    "F7/F8: sound volume down/up (Shift: music)\nF10: sound on/off\nPrintScreen: screenshot\n"
    "Alt-Enter: toggle fullscreen\nAlt-F4: quit\n";
const char* const GAME_HELP_TEXT =
    "Goal: raise the castle to level 3 with mana from your gatherers, then take its portal.\n"
    "Keep wyverns off the gatherers and the castle: if the castle falls, the world starts again.\n"
    "F1: show/hide this\nP/Pause: pause\nF9: game/dev mode\nWASD/arrows: move\ndouble-tap forward or backward: dash\n"
    "Space/PgUp: move up\nX/C/PgDn: move down\nhold Ctrl: select spells\nLMB/RMB: fire assigned spell\n"
    "Ctrl-G: generate new world\nCtrl-M: toggle monsters\nCtrl-N: mana cheat\nCtrl-...: other dev-mode keys\n"
    "F7/F8: sound volume down/up (Shift: music)\nF10: sound on/off\n"
    "PrintScreen: screenshot\nAlt-Enter: toggle fullscreen\nAlt-F4: quit\n";

namespace {
SunElevationQuery sun_query = nullptr;
HelpTextQuery help_extra = nullptr;
std::string help_buffer;

const char* help_text() {
  if (dev_mode || !help_extra) return dev_mode ? DEV_HELP_TEXT : GAME_HELP_TEXT;
  help_buffer = GAME_HELP_TEXT;
  help_buffer += help_extra();
  return help_buffer.c_str();
}
}  // namespace

void set_sun_elevation_query(SunElevationQuery q) { sun_query = q; }
void set_game_help_extra(HelpTextQuery q) { help_extra = q; }

void draw_crosshair() {
  int cx = d3d_wd / 2, cy = d3d_ht / 2;
  int arm = 5 * get_text_scale(), gap = 2 * get_text_scale();
  const D3dColor ink(0xB0FFFFFF), shade(0x60000000);
  // A dark outline first so the cross shows on snow and sky alike.
  fill_rect(cx - arm - 1, cy - 2, cx + arm + 1, cy + 2, shade);
  fill_rect(cx - 2, cy - arm - 1, cx + 2, cy + arm + 1, shade);
  fill_rect(cx - arm, cy - 1, cx - gap, cy + 1, ink);
  fill_rect(cx + gap, cy - 1, cx + arm, cy + 1, ink);
  fill_rect(cx - 1, cy - arm, cx + 1, cy - gap, ink);
  fill_rect(cx - 1, cy + gap, cx + 1, cy + arm, ink);
}

void draw_overlays() {
  int s = get_text_scale(), c = get_font_cell_size();
  if (show_fps) {
    draw_text(help_text(), -1, s * c, d3d_ht - s * c, -1, 1, D3dColor(0xFFFFFFFF));
    draw_stats();
  } else {
    draw_text("F1: help/stats", -1, 2, d3d_ht - 3 * s * c, -1, 1, D3dColor(0x66FFFFFF));
  }
  float y;
  if (dev_mode && getKeyState(VK_RBUTTON) && sun_query && sun_query(y)) {
    int deg = int(std::lround(std::asin(std::fmax(-1.f, std::fmin(1.f, y))) * 57.29577951308232));
    draw_text_fmt(0, d3d_ht, -1, 1, D3dColor(0xFFFFFFFF), "%3d", deg);
  }
}
