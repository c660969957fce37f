// The high-resolution counter and tick conversions.
#include <SDL.h>

#include "platform/platform.h"

namespace {
int64_t ref_freq = 0;
double ref_freq_inv = 0.0;
}  // namespace

void init_ref_time() {
  ref_freq = int64_t(SDL_GetPerformanceFrequency());
  if (ref_freq <= 0) ref_freq = 1;
  ref_freq_inv = 1.0 / double(ref_freq);
}

int64_t get_ref_time_freq() {
  if (!ref_freq) init_ref_time();
  return ref_freq;
}

int64_t get_ref_time() { return int64_t(SDL_GetPerformanceCounter()); }

int get_time_msec(int64_t ticks) { return int(ticks * 1000 / get_ref_time_freq()); }

int get_time_usec(int64_t ticks) {
  // Split to keep ticks * 1e6 from overflowing for long intervals.
  int64_t f = get_ref_time_freq();
  int64_t whole = ticks / f, rest = ticks % f;
  return int(whole * 1000000 + rest * 1000000 / f);
}

float get_time_sec(int64_t ticks) {
  if (!ref_freq) init_ref_time();
  return float(double(ticks) * ref_freq_inv);
}
