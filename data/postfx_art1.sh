// First colour pass: a gentle filmic curve, a touch of warmth in the
// highlights and cool shadows, a little more saturation. The luminance of
// the bright part goes to alpha for the glow of the second pass.
#include "fullscreen.sh"
#ifdef PSH
uniform sampler2D tex0;
vec3 filmic(vec3 x) {
  // Smooth toe and shoulder around mid grey.
  vec3 a = x * (x * 0.22 + 0.03) + 0.002;
  vec3 b = x * (x * 0.22 + 0.3) + 0.06;
  return a / b - 0.033;
}
vec4 psh() {
  vec3 c = texture(tex0, uv).rgb;
  float l = dot(c, vec3(0.299, 0.587, 0.114));
  c = mix(vec3(l), c, 1.12);                        // saturation
  c *= mix(vec3(0.96, 0.99, 1.05), vec3(1.05, 1.0, 0.93), smoothstep(0.2, 0.8, l));
  vec3 graded = filmic(c * 1.9) / filmic(vec3(1.9));
  float glow = max(l - 0.72, 0.0) * 2.5;
  return vec4(clamp(graded, 0.0, 1.0), clamp(glow, 0.0, 1.0));
}
#endif
