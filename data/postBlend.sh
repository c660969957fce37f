// Composites the effect images over the scene with premultiplied alpha:
// B (texture 0) holds an eighth of the coverage-weighted colour and of the
// coverage of the blend particles, A (texture 1) the added light of glow
// particles and trails. The blend colour is the coverage-weighted mean, so
// overlapping puffs keep their colour instead of brightening.
#include "fullscreen.sh"
#ifdef PSH
uniform sampler2D tex0;
uniform sampler2D tex1;
vec4 psh() {
  vec4 b = texture(tex0, uv);
  vec3 glow = texture(tex1, uv).rgb;
  float cover = min(b.a * 8.0, 1.0);
  vec3 mean = b.rgb / max(b.a, 1.0 / 2048.0);
  return vec4(mean * cover + glow, cover);
}
#endif
