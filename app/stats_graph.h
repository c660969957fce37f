#pragma once
// The statistics graph shown with the help text: frame and step times as
// bar graphs, and a box with fps, timing extremes, texture memory, GPU load.
#include "platform/math_types.h"

struct RingStats {
  int max, min, avg;
};
RingStats ring_stats(const int* ring);
// Colour of bar j of a ring written up to `index`: green below the limit,
// red at or above it, brighter the newer.
D3dColor bar_color(int j, int index, int value, int limit);
int bar_pitch(int screen_width);

void draw_stats();
