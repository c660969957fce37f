// Normals of the height field from a 3 x 3 Sobel filter, which smooths the
// cell steps; alpha holds a cavity term over a wider neighbourhood.
#include "field_common.sh"
#ifdef PSH
vec4 psh() {
  float a = ht(vec2(-1.0, -1.0)), b = ht(vec2(0.0, -1.0)), c = ht(vec2(1.0, -1.0));
  float d = ht(vec2(-1.0, 0.0)), e = ht(vec2(0.0)), f = ht(vec2(1.0, 0.0));
  float g = ht(vec2(-1.0, 1.0)), h = ht(vec2(0.0, 1.0)), i = ht(vec2(1.0, 1.0));
  float dx = ((c + 2.0 * f + i) - (a + 2.0 * d + g)) * 0.125;
  float dz = ((g + 2.0 * h + i) - (a + 2.0 * b + c)) * 0.125;
  vec3 n = normalize(vec3(-dx, 1.0, -dz));
  float ring = 0.0;
  for (int k = 0; k < 8; k++) {
    float ang = float(k) * 0.7853982;
    ring += ht(vec2(cos(ang), sin(ang)) * 3.0);
  }
  float cav = clamp(0.5 + (e - ring * 0.125) * 0.35, 0.0, 1.0);
  return vec4(n * 0.5 + 0.5, cav);
}
#endif
