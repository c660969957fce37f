#pragma once
// Lookup tables of a colour or a number over a normalised parameter 0..1:
// 257 entries, entry i standing for i/256, read with linear interpolation.
#include "world/vecmath.h"

constexpr int RAMP_ENTRIES = 257;

struct ColorRamp {
  vec4f v[RAMP_ENTRIES];
  // t <= 0 (and NaN) gives entry 0, t >= 1 entry 256.
  vec4f get(float t) const;
};

struct FloatRamp {
  float v[RAMP_ENTRIES];
  float get(float t) const;
};
