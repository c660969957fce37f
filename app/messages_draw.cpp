// Drawing the on-screen error band and the visual log in the text pass.
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

void draw_visual_log() {
  const auto& lines = get_visual_log();
  if (lines.empty()) return;
  push_text_style();
  set_text_scale(2);
  int cell = get_font_cell_size();
  int n = int(lines.size());
  for (int i = 0; i < n; i++)
    draw_text(lines[i].text, -1, 2 * cell, (n - i) * 2 * cell, -1, -1, D3dColor(0xFFFFFFFF));
  pop_text_style();
}
