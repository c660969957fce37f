// Normals of the height field from central differences; alpha holds a
// cavity term (0.5 flat, lower in hollows, higher on ridges).
#include "field_common.sh"
#ifdef PSH
vec4 psh() {
  float c = ht(vec2(0.0));
  float l = ht(vec2(-1.0, 0.0)), r = ht(vec2(1.0, 0.0));
  float u = ht(vec2(0.0, -1.0)), d = ht(vec2(0.0, 1.0));
  vec3 n = normalize(vec3(l - r, 2.0, u - d));
  float cav = clamp(0.5 + (c - 0.25 * (l + r + u + d)) * 0.6, 0.0, 1.0);
  return vec4(n * 0.5 + 0.5, cav);
}
#endif
