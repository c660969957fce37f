// Drawing the on-screen error band and the visual log in the text pass.
#include <algorithm>

#include "platform/globals.h"
#include "platform/messages.h"
#include "app/messages_draw.h"
#include "device/font.h"

void draw_error_message() {
  if (!has_error_message()) return;
  push_text_style();
  set_text_scale(2);
  int cell = get_font_cell_size();
  fill_rect(0, d3d_ht - 12 * cell, d3d_wd, d3d_ht, D3dColor(0xCC660000));
  draw_text(get_error_message(), -1, d3d_wd / 2, d3d_ht - cell, 0, 1, D3dColor(0xFFFFEE00));
  pop_text_style();
}

// Scale 2 from 720 lines up; a small window gets scale 1 and fewer lines, so
// that the log never covers the middle of the screen.
void draw_visual_log() {
  const auto& lines = get_visual_log();
  if (lines.empty()) return;
  push_text_style();
  int scale = d3d_ht >= 720 ? 2 : 1;
  set_text_scale(scale);
  int cell = get_font_cell_size();
  int line_h = cell * scale;
  int shown = std::max(1, std::min(int(lines.size()), d3d_ht / 3 / std::max(1, line_h)));
  int first = int(lines.size()) - shown;
  for (int i = first; i < int(lines.size()); i++) {
    int y = (int(lines.size()) - i) * line_h;
    // A dark edge keeps the words readable over snow and sky.
    draw_text(lines[i].text, -1, 2 * cell + 1, y - 1, -1, -1, D3dColor(0xC0000000));
    draw_text(lines[i].text, -1, 2 * cell, y, -1, -1, D3dColor(0xFFFFFFFF));
  }
  pop_text_style();
}
