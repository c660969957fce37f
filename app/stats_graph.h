#pragma once
// The statistics graph shown with the help text: frame and step times as
// bar graphs, and a box with fps, timing extremes, texture memory, GPU load.
#include "platform/math_types.h"
#include "device/device_counters.h"

struct RingStats {
  int max, min, avg;
};
RingStats ring_stats(const int* ring);
// The same over the entries that hold a reading (not negative); count is
// how many did, and max, min and avg are -1 when none did.
struct ValidStats {
  int max, min, avg, count;
};
ValidStats valid_ring_stats(const int* ring);

// What the statistics box lists: one figure per line, each with its unit,
// "n/a" where no source answers.
struct StatsLine {
  char label[24];
  char value[24];
};
constexpr int MAX_STATS_LINES = 16;
struct StatsBoxInput {
  int fps;
  RingStats frame_us, update_us;
  ValidStats gpu_percent;
  int tex_free_mb, video_mb;  // -1 where the driver does not say
  DeviceCounters gl{};        // the last presented frame's
};
int stats_box_lines(const StatsBoxInput& in, StatsLine out[MAX_STATS_LINES]);
// Colour of bar j of a ring written up to `index`: green below the limit,
// red at or above it, brighter the newer.
D3dColor bar_color(int j, int index, int value, int limit);
int bar_pitch(int screen_width);

void draw_stats();
// One log line of the last presented frame's device counts (-stats-log).
void log_frame_counters();
