// Blend particles (smoke, spray, feathers): coverage-weighted colour summed
// into accumulation image B, half scaled so that a few overlapping puffs fit
// in eight bits before they saturate. "postBlend.sh" divides it out.
#include "particle_vertex.sh"
#ifdef PSH
vec4 psh() {
  vec4 t = texture(tex0, tc) * col;
  float a = t.a * 0.5;
  oC1 = vec4(0.0);
  return vec4(t.rgb * a, a);
}
#endif
