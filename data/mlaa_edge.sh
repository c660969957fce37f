// Finds the edges between each pixel and its right and lower neighbours
// from their luminance difference, relative to the brighter one so that
// dark scenes keep their edges too.
#include "mlaa_common.sh"
#ifdef PSH
uniform sampler2D tex0;
float luma(ivec2 p) { return dot(texel(tex0, p).rgb, vec3(0.299, 0.587, 0.114)); }
float is_edge(float a, float b) { return abs(a - b) > 0.045 + 0.1 * max(a, b) ? 1.0 : 0.0; }
vec4 psh() {
  ivec2 p = pixel_pos();
  ivec2 size = textureSize(tex0, 0);
  float l = luma(p);
  float below = p.y + 1 < size.y ? is_edge(l, luma(p + ivec2(0, 1))) : 0.0;
  float right = p.x + 1 < size.x ? is_edge(l, luma(p + ivec2(1, 0))) : 0.0;
  return vec4(below, right, 0.0, 0.0);
}
#endif
