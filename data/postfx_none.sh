// Plain copy of the scene image with the screen flash (pixel register 1).
#include "fullscreen.sh"
#ifdef PSH
uniform sampler2D tex0;
vec4 psh() {
  vec3 c = texture(tex0, uv).rgb;
  return vec4(mix(c, pc[1].rgb, clamp(pc[1].a, 0.0, 1.0)), 1.0);
}
#endif
