// Bar graphs of the main loop's timing rings and the statistics box.
#include "app/stats_graph.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/globals.h"
#include "app/main_loop.h"
#include "device/d3d_render.h"
#include "device/font.h"

namespace {
constexpr int STEP_USEC = 50000;

int channel(float v) { return int(std::lround(std::clamp(v, 0.f, 1.f) * 255.f)); }

void draw_bar_graph(const int* ring, int index, int limit, int ref, bool right_side) {
  int H = d3d_ht / 4;
  int f = bar_pitch(d3d_wd);
  int left = right_side ? d3d_wd - 200 * f : 0;
  fill_rect(left, 0, left + 200 * f, H, D3dColor(0x40000000));
  if (2 * ref >= limit) fill_rect(left, 0, left + 200 * f, int(int64_t(limit) * H / (2 * ref)), D3dColor(0x20008000));
  int max_v = *std::max_element(ring, ring + TIME_HIST_LEN);
  bool labelled = false;
  for (int j = 0; j < TIME_HIST_LEN; j++) {
    int v = ring[j];
    int x = left + f / 2 + 1 + j * f;
    int h = int(std::min<int64_t>(H, int64_t(std::max(v, 0)) * H / (2 * ref)));
    fill_rect(x, 0, x + f - 1, h, bar_color(j, index, v, limit));
    if (!labelled && v == max_v) {
      labelled = true;
      int ty = std::max(h, H / 2);
      draw_text_fmt(x, ty, right_side ? 1 : -1, -1, D3dColor(0xFFFFFFFF), "%d", v);
    }
  }
}

// One labelled block of the box; returns the y below it.
int stat_block(int x_label, int x_value, int y, const char* label, const char* values) {
  int lw, lh, vw, vh;
  measure_text(label, -1, lw, lh);
  measure_text(values, -1, vw, vh);
  draw_text(label, -1, x_label, y, -1, 1, D3dColor(0xFFFFFFFF));
  draw_text(values, -1, x_value, y, -1, 1, D3dColor(0xFFFFFFFF));
  return y - std::max(lh, vh) - get_text_scale() * get_font_cell_size() / 2;
}

void draw_stats_box(const RingStats& ft, const RingStats& ut, const RingStats& gl) {
  int cs = get_font_cell_size() * get_text_scale();
  fill_rect(d3d_wd - 12 * cs, d3d_ht - 14 * cs, d3d_wd, d3d_ht, D3dColor(0x40000000));
  int xl = d3d_wd - 11 * cs, xv = d3d_wd - 6 * cs;
  int y = d3d_ht - cs / 2;
  char buf[128];
  std::snprintf(buf, sizeof(buf), "%d", fps);
  y = stat_block(xl, xv, y, "FPS", buf);
  std::snprintf(buf, sizeof(buf), "%02d\n%02d\n%02d", ft.max, ft.avg, ft.min);
  y = stat_block(xl, xv, y, "frame\ntime", buf);
  std::snprintf(buf, sizeof(buf), "%02d\n%02d\n%02d", ut.max, ut.avg, ut.min);
  y = stat_block(xl, xv, y, "update\ntime", buf);
  std::snprintf(buf, sizeof(buf), "%3d MB", int(get_free_texmem() >> 20));
  y = stat_block(xl, xv, y, "tex\nmem", buf);
  if (gl.max >= 0) {
    std::snprintf(buf, sizeof(buf), "%3d%%\n%3d%%\n%3d%%", gl.max, gl.avg, gl.min);
    stat_block(xl, xv, y, "GPU\nload", buf);
  }
}
}  // namespace

RingStats ring_stats(const int* ring) {
  RingStats s{ring[0], ring[0], 0};
  int64_t sum = 0;
  for (int i = 0; i < TIME_HIST_LEN; i++) {
    s.max = std::max(s.max, ring[i]);
    s.min = std::min(s.min, ring[i]);
    sum += ring[i];
  }
  s.avg = int((sum + 100) / 200);
  return s;
}

D3dColor bar_color(int j, int index, int value, int limit) {
  float a = float(((j - index) % TIME_HIST_LEN + TIME_HIST_LEN) % TIME_HIST_LEN) / 200.f;
  int c = channel(0.5f * a);
  return value < limit ? D3dColor(0xFF000000u | uint32_t(c) << 8) : D3dColor(0xFF000000u | uint32_t(c) << 16);
}

int bar_pitch(int screen_width) { return std::max(2, screen_width / 400); }

void draw_stats() {
  push_text_style();
  set_line_spacing(0);
  set_letter_spacing(0);
  set_text_scale(std::max(1, d3d_ht / (get_font_cell_size() * 40)));
  RingStats ft = ring_stats(frame_time_hist), ut = ring_stats(update_time_hist), gl = ring_stats(gpu_load_hist);
  draw_bar_graph(frame_time_hist, frame_hist_pos, STEP_USEC, STEP_USEC, true);
  int ref = std::min(STEP_USEC, std::max(1000, ut.avg));
  draw_bar_graph(update_time_hist, update_time_hist_pos, STEP_USEC, ref, false);
  draw_stats_box(ft, ut, gl);
  pop_text_style();
}
