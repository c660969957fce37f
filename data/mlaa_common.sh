// Helpers of the morphological anti-aliasing passes. Every MLAA image has
// the back buffer's size, so a pixel's position is also its texel.
//
//   edges (A):   r = an edge below the pixel, g = an edge right of it
//   searches:    r, g = pixels of the same horizontal edge run to the left
//                and right; b, a = pixels of the vertical run above and
//                below; each as count / 255
#include "fullscreen.sh"
#ifdef PSH
ivec2 pixel_pos() { return ivec2(vpos()); }
// A texel, or zero outside the image (edge runs never leave it).
vec4 texel(sampler2D t, ivec2 p) {
  ivec2 size = textureSize(t, 0);
  if (p.x < 0 || p.y < 0 || p.x >= size.x || p.y >= size.y) return vec4(0.0);
  return texelFetch(t, p, 0);
}
// The pass distance a, doubling from 1 to 128, from pixel register 0.
int pass_distance() { return int(pc[0].x * 255.0 + 0.5); }
int count_of(float encoded) { return int(encoded * 255.0 + 0.5); }
float encode(float count) { return min(count, 255.0) / 255.0; }
#endif
