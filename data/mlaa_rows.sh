// Lengths of the horizontal edge runs by repeated doubling: after the pass
// with distance a, each pixel knows its run up to 2a pixels either way.
#include "mlaa_common.sh"
#ifdef PSH
uniform sampler2D tex0;  // edges
uniform sampler2D tex1;  // the previous pass
vec4 psh() {
  ivec2 p = pixel_pos();
#ifdef FIRST
  // Only pixels on an edge have runs; the rest are never read.
  if (texelFetch(tex0, p, 0).r < 0.5) return vec4(0.0);
  float l1 = texel(tex0, p - ivec2(1, 0)).r, l2 = texel(tex0, p - ivec2(2, 0)).r;
  float r1 = texel(tex0, p + ivec2(1, 0)).r, r2 = texel(tex0, p + ivec2(2, 0)).r;
  float left = l1 + l1 * l2, right = r1 + r1 * r2;
#else
  int a = pass_distance();
  vec4 cur = texelFetch(tex1, p, 0);
  // Runs shorter than a are complete already.
  if (count_of(cur.r) != a && count_of(cur.g) != a) return cur;
  float left = float(count_of(cur.r)), right = float(count_of(cur.g));
  if (int(left) == a) left += float(count_of(texel(tex1, p - ivec2(a, 0)).r));
  if (int(right) == a) right += float(count_of(texel(tex1, p + ivec2(a, 0)).g));
#endif
  return vec4(encode(left), encode(right), 0.0, 0.0);
}
#endif
