#pragma once
// The last stage of the captured mix: a stereo-linked peak limiter that
// keeps every sample under LIMIT. The gain drops at once on a peak over the
// limit and recovers over about RELEASE_S, so a crowd of loud voices comes
// out a little quieter instead of clipping.
#include <cmath>
#include <cstddef>

struct OutputLimiter {
  static constexpr float LIMIT = 0.97f;  // about -0.26 dBFS
  static constexpr float RELEASE_S = 0.08f;
  float gain = 1;

  // Limits `frames` interleaved stereo frames in place.
  void process(float* lr, size_t frames, int rate) {
    float recover = 1.f - std::exp(-1.f / (RELEASE_S * float(rate)));
    for (size_t i = 0; i < frames; i++) {
      float& l = lr[2 * i];
      float& r = lr[2 * i + 1];
      if (!std::isfinite(l)) l = 0;
      if (!std::isfinite(r)) r = 0;
      float peak = std::fmax(std::fabs(l), std::fabs(r));
      gain += (1.f - gain) * recover;
      if (peak * gain > LIMIT) gain = LIMIT / peak;
      l *= gain;
      r *= gain;
    }
  }
};
