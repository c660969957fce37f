// The low-resolution horizon ring beyond the land disc: ground and cover
// colours lit by the far light (entry 10) and mostly swallowed by the haze.
#include "land_common.sh"
#ifdef VSH
in vec2 POSITION0;
in float POSITION1;
out vec2 uvc;
out vec2 uvn;
out float fog;
vec4 vsh() {
  vec2 xz = POSITION0;
  float y = POSITION1;
  uvc = xz * vc[16].xy + vc[16].z;
  uvn = xz * vc[16].xy + vc[16].w;
  float d = length(vec3(xz.x, y, xz.y) - vc[4].xyz) * (1.0 / 128.0);
  fog = max(1.0 - exp(-d * d * max(vc[36].x, 0.0)), 0.35);
  return xz.x * vc[0] + y * vc[1] + xz.y * vc[2] + vc[3];
}
#endif
#ifdef PSH
uniform sampler2D normal1;
uniform sampler2D ground2;
uniform sampler2D cover3;
in vec2 uvc;
in vec2 uvn;
in float fog;
vec4 psh() {
  vec3 n = decode_normal(texture(normal1, uvn));
  vec4 g = texture(ground2, uvc);
  vec4 cv = texture(cover3, uvc);
  vec3 albedo = mix(g.rgb, cv.rgb, cv.a * 0.8);
  vec3 light = pc[1].rgb * (0.55 + 0.45 * n.y) + pc[11].rgb * max(dot(n, pc[0].xyz), 0.0) * sun_visible() * 0.5;
  return vec4(mix(albedo * light, fog_colour(), fog), 1.0);
}
#endif
