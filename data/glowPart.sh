// Glow particles (fire, sparks, magic): light added into accumulation
// image A, the colour's alpha acting as intensity.
#include "particle_vertex.sh"
#ifdef PSH
vec4 psh() {
  vec4 t = texture(tex0, tc) * col;
  oC1 = vec4(t.rgb * t.a, t.a);
  return vec4(0.0);
}
#endif
