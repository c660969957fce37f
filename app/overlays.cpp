// Help text, the "F1" hint, the statistics graph and the sun readout.
#include "app/overlays.h"

#include <cmath>
#include <algorithm>
#include <string>
#include <vector>

#include "platform/globals.h"
#include "platform/input.h"
#include "app/stats_graph.h"
#include "platform/vk_codes.h"
#include "device/font.h"

// Short lines: the help is laid out in columns below the top strip and must
// fit a 640 x 360 window.
const char* const DEV_HELP_TEXT =
    "Developer mode (no wyverns)\n"
    "F1: show/hide this  P: pause\nF9: game/dev mode\nWASD/arrows: move\nShift: move faster\n"
    "F5: post effects  F6: anti-aliasing\nRight mouse: set the sun\nG: new world  H: add water\n"
    "R: erode the land\nF: next effect (Shift-F: again)\nT: trail\nM: wyverns on/off\n"
    "F7/F8: volume (Shift: music)\nF10: sound on/off\nPrintScreen: screenshot\nAlt-Enter: full screen\nAlt-F4: quit\n";
const char* const GAME_HELP_TEXT =
    "Raise the castle to level 3, then\ncast Use portal at its portal.\n"
    "Mana comes from your gatherers:\nkeep wyverns off them and the castle.\n"
    "F1: show/hide this  P: pause\nWASD/arrows: move, Shift: faster\n"
    "Double-tap forward/back: dash\nSpace/PgUp up, X/C/PgDn down\n"
    "Hold Ctrl: pick spells (L/R click)\nLMB/RMB: cast the hand's spell\n"
    "Ctrl-M: wyverns  Ctrl-N: mana cheat\nF9: developer mode\n"
    "F7/F8: volume (Shift: music)\nF10: sound on/off\n"
    "PrintScreen: screenshot\nAlt-Enter: full screen  Alt-F4: quit\n";

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

namespace {
// The top strip of the spell UI (3 em of its 30-em screen) stays visible.
int hud_top_reserved() { return d3d_ht / 10 + 2; }

std::vector<std::string> split_lines(const char* text) {
  std::vector<std::string> lines;
  std::string line;
  for (const char* p = text; *p; p++) {
    if (*p == '\n') {
      lines.push_back(line);
      line.clear();
    } else {
      line += *p;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

// The help in as few columns as fit below the strip, on the left part of
// the screen (the statistics take the right), at the largest scale that fits.
void draw_help(const char* text) {
  std::vector<std::string> lines = split_lines(text);
  if (lines.empty()) return;
  int c = get_font_cell_size();
  int width = d3d_wd * 64 / 100, height = d3d_ht - hud_top_reserved() - 3 * c;
  push_text_style();
  for (int scale = std::max(1, get_text_scale()); scale >= 1; scale--) {
    set_text_scale(scale);
    int line_h = 0, col_w = 0;
    for (const std::string& l : lines) {
      int w, h;
      measure_text(l.c_str(), -1, w, h);
      col_w = std::max(col_w, w), line_h = std::max(line_h, h);
    }
    int gap = c * scale;
    int rows = std::max(1, height / std::max(1, line_h));
    int cols = int((lines.size() + size_t(rows) - 1) / size_t(rows));
    if (scale > 1 && cols * (col_w + gap) > width) continue;
    int top = d3d_ht - hud_top_reserved();
    int used_rows = int((lines.size() + size_t(cols) - 1) / size_t(cols));
    fill_rect(0, top - used_rows * line_h - gap, std::min(d3d_wd, cols * (col_w + gap) + gap), top,
              D3dColor(0x60000000));
    for (size_t i = 0; i < lines.size(); i++) {
      int col = int(i) / used_rows, row = int(i) % used_rows;
      draw_text(lines[i].c_str(), -1, gap / 2 + col * (col_w + gap), top - gap / 2 - row * line_h, -1, 1,
                D3dColor(0xFFFFFFFF));
    }
    break;
  }
  pop_text_style();
}
}  // namespace

int overlay_top_reserved() { return hud_top_reserved(); }

void draw_overlays() {
  int s = get_text_scale(), c = get_font_cell_size();
  if (show_fps) {
    draw_help(help_text());
    draw_stats();
  } else {
    draw_text("F1: help/stats", -1, 2, d3d_ht - hud_top_reserved() - s * c, -1, 1, D3dColor(0x66FFFFFF));
  }
  float y;
  if (dev_mode && getKeyState(VK_RBUTTON) && sun_query && sun_query(y)) {
    int deg = int(std::lround(std::asin(std::fmax(-1.f, std::fmin(1.f, y))) * 57.29577951308232));
    draw_text_fmt(0, d3d_ht, -1, 1, D3dColor(0xFFFFFFFF), "%3d", deg);
  }
}
