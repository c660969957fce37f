#include "world/ramps.h"

vec4f ColorRamp::get(float t) const {
  float x = t * 256.0f;
  // "not above 0" rather than "at most 0", so a NaN parameter reads entry 0
  // instead of indexing with an undefined integer.
  if (!(x > 0.0f)) return v[0];
  if (x >= 256.0f) return v[256];
  int i = int(x);
  float f = x - float(i);
  const vec4f& a = v[i];
  const vec4f& b = v[i + 1];
  return {a.x + (b.x - a.x) * f, a.y + (b.y - a.y) * f, a.z + (b.z - a.z) * f, a.w + (b.w - a.w) * f};
}

float FloatRamp::get(float t) const {
  float x = t * 256.0f;
  if (!(x > 0.0f)) return v[0];
  if (x >= 256.0f) return v[256];
  int i = int(x);
  float f = x - float(i);
  return v[i] + (v[i + 1] - v[i]) * f;
}
