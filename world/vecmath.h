#pragma once
// Value types the world code shares with its callers (the packed vector and
// the ARGB colour of the device layer, and a 2-D ground point), with the
// colour conversions used wherever a colour is read from or written to the map.
#include <cstdint>

#include "platform/math_types.h"

// A point on the ground plane: x and z (stored as x, y).
struct Point2 {
  float x, y;
};

// byte / 255 for every byte value: exact divisions without dividing at run time.
extern const float byte_to_unit[256];

#include "world/simd4.h"

// Rounds to the nearest integer (ties to even), as the CPU's conversion does.
inline int round_to_int(float v) { return world_round(v); }

namespace worldmath {
inline vec4f add(const vec4f& a, const vec4f& b) { return {a.x + b.x, a.y + b.y, a.z + b.z, a.w + b.w}; }
inline vec4f sub(const vec4f& a, const vec4f& b) { return {a.x - b.x, a.y - b.y, a.z - b.z, a.w - b.w}; }
inline vec4f scale(const vec4f& a, float s) { return {a.x * s, a.y * s, a.z * s, a.w * s}; }
inline vec4f splat(float v) { return {v, v, v, v}; }
}  // namespace worldmath

// Unpacks to (r, g, b, a), each byte divided by 255.
inline vec4f color_to_vec4f(D3dColor c) {
  uint32_t u = c.u;
  return {byte_to_unit[(u >> 16) & 255], byte_to_unit[(u >> 8) & 255], byte_to_unit[u & 255], byte_to_unit[u >> 24]};
}

// Clamps a colour channel to 0..1, scales by 255 and rounds to nearest.
inline uint32_t unit_to_byte(float v) {
  // Both comparisons are false for NaN, which therefore ends at 0.
  float c = v > 0.0f ? v : 0.0f;
  c = c < 1.0f ? c : 1.0f;
  return uint32_t(round_to_int(c * 255.0f));
}

inline uint32_t pack_color(float r, float g, float b, float a) {
  return (unit_to_byte(a) << 24) | (unit_to_byte(r) << 16) | (unit_to_byte(g) << 8) | unit_to_byte(b);
}

// Packs (r, g, b, a), each clamped to 0..1, into a D3dColor.
inline D3dColor vec4f_to_color(const vec4f& c) { return D3dColor(pack_color(c.x, c.y, c.z, c.w)); }
