// Lengths of the vertical edge runs, as the horizontal search does for
// rows; results go to blue (up) and alpha (down). The final pass writes
// only those two channels beside the horizontal results.
#include "mlaa_common.sh"
#ifdef PSH
uniform sampler2D tex0;  // edges
uniform sampler2D tex1;  // the previous pass
vec4 psh() {
  ivec2 p = pixel_pos();
#ifdef FIRST
  if (texelFetch(tex0, p, 0).g < 0.5) return vec4(0.0);
  float u1 = texel(tex0, p - ivec2(0, 1)).g, u2 = texel(tex0, p - ivec2(0, 2)).g;
  float d1 = texel(tex0, p + ivec2(0, 1)).g, d2 = texel(tex0, p + ivec2(0, 2)).g;
  float up = u1 + u1 * u2, down = d1 + d1 * d2;
#else
  int a = pass_distance();
  vec4 cur = texelFetch(tex1, p, 0);
  if (count_of(cur.b) != a && count_of(cur.a) != a) return vec4(0.0, 0.0, cur.b, cur.a);
  float up = float(count_of(cur.b)), down = float(count_of(cur.a));
  if (int(up) == a) up += float(count_of(texel(tex1, p - ivec2(0, a)).b));
  if (int(down) == a) down += float(count_of(texel(tex1, p + ivec2(0, a)).a));
#endif
  return vec4(0.0, 0.0, encode(up), encode(down));
}
#endif
