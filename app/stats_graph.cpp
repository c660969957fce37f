// Bar graphs of the main loop's timing rings and the statistics box.
#include "app/stats_graph.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/globals.h"
#include "platform/log.h"
#include "app/main_loop.h"
#include "device/d3d_render.h"
#include "device/font.h"
#include "device/texmem_query.h"

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

// Labels left and values right-aligned in two columns, the box sized to its
// widest line, in the top-right corner.
void draw_stats_box(const StatsLine* lines, int n) {
  int cs = get_font_cell_size() * get_text_scale();
  int label_w = 0, value_w = 0, line_h = cs;
  for (int i = 0; i < n; i++) {
    int w, h;
    measure_text(lines[i].label, -1, w, h);
    label_w = std::max(label_w, w);
    measure_text(lines[i].value, -1, w, h);
    value_w = std::max(value_w, w);
  }
  int pad = cs / 2;
  int x0 = d3d_wd - (pad + label_w + cs + value_w + pad);
  fill_rect(x0, d3d_ht - (2 * pad + n * line_h), d3d_wd, d3d_ht, D3dColor(0x40000000));
  int y = d3d_ht - pad;
  for (int i = 0; i < n; i++, y -= line_h) {
    draw_text(lines[i].label, -1, x0 + pad, y, -1, 1, D3dColor(0xFFFFFFFF));
    draw_text(lines[i].value, -1, d3d_wd - pad, y, 1, 1, D3dColor(0xFFFFFFFF));
  }
}

// The driver's answers change rarely and the queries are not free: asked
// again about once a second of frames.
TexMemInfo texture_memory() {
  static TexMemInfo cached;
  static int frames = 0;
  if (frames++ % 60 == 0) cached = query_texture_memory();
  return cached;
}

void put_line(StatsLine* out, int& n, const char* label, const char* fmt, double v) {
  if (n >= MAX_STATS_LINES) return;
  std::snprintf(out[n].label, sizeof(out[n].label), "%s", label);
  std::snprintf(out[n].value, sizeof(out[n].value), fmt, v);
  n++;
}
void put_na(StatsLine* out, int& n, const char* label) { put_line(out, n, label, "n/a", 0); }
}  // namespace

ValidStats valid_ring_stats(const int* ring) {
  ValidStats s{-1, -1, -1, 0};
  int64_t sum = 0;
  for (int i = 0; i < TIME_HIST_LEN; i++) {
    int v = ring[i];
    if (v < 0) continue;
    s.max = s.count ? std::max(s.max, v) : v;
    s.min = s.count ? std::min(s.min, v) : v;
    sum += v;
    s.count++;
  }
  if (s.count) s.avg = int((sum + s.count / 2) / s.count);
  return s;
}

int stats_box_lines(const StatsBoxInput& in, StatsLine out[MAX_STATS_LINES]) {
  int n = 0;
  put_line(out, n, "FPS", "%.0f", in.fps);
  // The rings hold microseconds.
  put_line(out, n, "frame max", "%.1f ms", in.frame_us.max / 1000.0);
  put_line(out, n, "frame avg", "%.1f ms", in.frame_us.avg / 1000.0);
  put_line(out, n, "frame min", "%.1f ms", in.frame_us.min / 1000.0);
  put_line(out, n, "update max", "%.2f ms", in.update_us.max / 1000.0);
  put_line(out, n, "update avg", "%.2f ms", in.update_us.avg / 1000.0);
  put_line(out, n, "update min", "%.2f ms", in.update_us.min / 1000.0);
  if (in.tex_free_mb >= 0) put_line(out, n, "free tex mem", "%.0f MB", in.tex_free_mb);
  if (in.video_mb >= 0) put_line(out, n, "video mem", "%.0f MB", in.video_mb);
  if (in.tex_free_mb < 0 && in.video_mb < 0) put_na(out, n, "tex mem");
  if (in.gpu_percent.count > 0) {
    put_line(out, n, "GPU load max", "%.0f %%", in.gpu_percent.max);
    put_line(out, n, "GPU load avg", "%.0f %%", in.gpu_percent.avg);
    put_line(out, n, "GPU load min", "%.0f %%", in.gpu_percent.min);
  } else {
    put_na(out, n, "GPU load");
  }
  put_line(out, n, "GL calls", "%.0f", in.gl.glCalls);
  put_line(out, n, "draws", "%.0f", in.gl.draws);
  put_line(out, n, "state changes", "%.0f", in.gl.stateChanges);
  put_line(out, n, "GL reads", "%.0f", in.gl.reads);
  return n;
}

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

void log_frame_counters() {
  static int frame = 0;
  const DeviceCounters& c = last_frame_counters();
  double per_draw = c.draws > 0 ? double(c.glCalls) / c.draws : 0.0;
  debug("frame %d: %d GL calls, %d draws (%.1f calls a draw), %d state changes, %d buffer writes, %d reads",
        ++frame, c.glCalls, c.draws, per_draw, c.stateChanges, c.bufferMaps, c.reads);
}

void draw_stats() {
  push_text_style();
  set_line_spacing(0);
  set_letter_spacing(0);
  set_text_scale(std::max(1, d3d_ht / (get_font_cell_size() * 40)));
  RingStats ft = ring_stats(frame_time_hist), ut = ring_stats(update_time_hist);
  draw_bar_graph(frame_time_hist, frame_hist_pos, STEP_USEC, STEP_USEC, true);
  int ref = std::min(STEP_USEC, std::max(1000, ut.avg));
  draw_bar_graph(update_time_hist, update_time_hist_pos, STEP_USEC, ref, false);
  TexMemInfo mem = texture_memory();
  StatsBoxInput in{fps, ft, ut, valid_ring_stats(gpu_load_hist), mem.free_mb, mem.total_mb, last_frame_counters()};
  StatsLine lines[MAX_STATS_LINES];
  draw_stats_box(lines, stats_box_lines(in, lines));
  pop_text_style();
}
