// Blend particles (smoke, spray, feathers): coverage-weighted colour and
// coverage summed into accumulation image B, scaled by 1/8 so that a dense
// cloud of about eight overlapping puffs fits in eight bits before the sums
// saturate (past that the mean colour "postBlend.sh" takes from them would
// drift toward white). "postBlend.sh" divides the scale out.
#include "particle_vertex.sh"
#ifdef PSH
vec4 psh() {
  vec4 t = texture(tex0, tc) * col;
  float a = t.a * 0.125;
  oC1 = vec4(0.0);
  return vec4(t.rgb * a, a);
}
#endif
