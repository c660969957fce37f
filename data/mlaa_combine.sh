// Blends each pixel with its neighbours across the edges around it. Each
// edge run is replaced by the line through the midpoints of the steps at
// its ends (L, Z and U shapes); the part of the pixel on the far side of
// that line takes the neighbour's colour.
#include "mlaa_common.sh"
#ifdef PSH
uniform sampler2D tex0;  // scene
uniform sampler2D tex1;  // edges
uniform sampler2D tex2;  // search results

// Offset of the reconstructed line at the pixel `before` pixels from the
// run's start, for steps hs (start) and he (end) of +0.5, -0.5 or 0.
float line_offset(float before, float after, float hs, float he) {
  float n = before + after + 1.0;
  float t = before + 0.5;
  if (hs != 0.0 && he != 0.0 && hs != he) return hs + (he - hs) * t / n;  // Z
  return t < 0.5 * n ? hs * (1.0 - 2.0 * t / n) : he * (2.0 * t / n - 1.0);
}

float step_of(float first_side, float second_side) {
  if (first_side > 0.5 && second_side < 0.5) return 0.5;
  if (second_side > 0.5 && first_side < 0.5) return -0.5;
  return 0.0;
}

// Horizontal run on the boundary below pixel q; positive: into q's row.
float horizontal_offset(ivec2 q) {
  vec4 s = texel(tex2, q);
  int l = count_of(s.r), r = count_of(s.g);
  int xs = q.x - l, xe = q.x + r;
  float hs = step_of(texel(tex1, ivec2(xs - 1, q.y)).g, texel(tex1, ivec2(xs - 1, q.y + 1)).g);
  float he = step_of(texel(tex1, ivec2(xe, q.y)).g, texel(tex1, ivec2(xe, q.y + 1)).g);
  return line_offset(float(l), float(r), hs, he);
}

// Vertical run on the boundary right of pixel q; positive: into q's column.
float vertical_offset(ivec2 q) {
  vec4 s = texel(tex2, q);
  int u = count_of(s.b), d = count_of(s.a);
  int ys = q.y - u, ye = q.y + d;
  float hs = step_of(texel(tex1, ivec2(q.x, ys - 1)).r, texel(tex1, ivec2(q.x + 1, ys - 1)).r);
  float he = step_of(texel(tex1, ivec2(q.x, ye)).r, texel(tex1, ivec2(q.x + 1, ye)).r);
  return line_offset(float(u), float(d), hs, he);
}

vec4 psh() {
  ivec2 p = pixel_pos();
  vec4 edges = texelFetch(tex1, p, 0);
  float up_edge = texel(tex1, p - ivec2(0, 1)).r, left_edge = texel(tex1, p - ivec2(1, 0)).g;
  // Most pixels touch no edge: plain copy.
  if (edges.r + edges.g + up_edge + left_edge < 0.5) return texelFetch(tex0, p, 0);
  vec3 acc = vec3(0.0);
  float w = 0.0;
  if (edges.r > 0.5) {
    float h = horizontal_offset(p);
    if (h > 0.0) acc += h * texel(tex0, p + ivec2(0, 1)).rgb, w += h;
  }
  if (up_edge > 0.5) {
    float h = -horizontal_offset(p - ivec2(0, 1));
    if (h > 0.0) acc += h * texel(tex0, p - ivec2(0, 1)).rgb, w += h;
  }
  if (edges.g > 0.5) {
    float h = vertical_offset(p);
    if (h > 0.0) acc += h * texel(tex0, p + ivec2(1, 0)).rgb, w += h;
  }
  if (left_edge > 0.5) {
    float h = -vertical_offset(p - ivec2(1, 0));
    if (h > 0.0) acc += h * texel(tex0, p - ivec2(1, 0)).rgb, w += h;
  }
  vec3 c = texel(tex0, p).rgb;
  if (w > 1.0) acc /= w, w = 1.0;
  return vec4(c * (1.0 - w) + acc, 1.0);
}
#endif
