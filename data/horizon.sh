// The low-resolution horizon ring beyond the land disc: ground and cover
// colours, or water where the vertex depth (TEXCOORD0) is above a tenth,
// mostly swallowed by the haze.
#include "land_common.sh"
#ifdef VSH
in vec2 POSITION0;
in float POSITION1;
in float TEXCOORD0;
out vec2 uvc;
out vec2 uvn;
out float fog;
out float wet;
vec4 vsh() {
  vec2 xz = POSITION0;
  float y = POSITION1;
  uvc = xz * vc[16].xy + vc[16].z;
  uvn = xz * vc[16].xy + vc[16].w;
  fog = fog_amount(vec3(xz.x, y, xz.y));
  wet = clamp((TEXCOORD0 - 0.1) * 4.0, 0.0, 1.0);
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
in float wet;
vec4 psh() {
  vec3 n = decode_normal(texture(normal1, uvn));
  vec4 g = texture(ground2, uvc);
  vec4 cv = texture(cover3, uvc);
  vec3 albedo = mix(g.rgb, cv.rgb, cv.a * 0.8);
  vec3 land = albedo * surface_light(n, 1.0);
  // Far water mostly mirrors the sky near the horizon.
  vec3 water = mix(min(pc[10].rgb, vec3(1.0)) * surface_light(vec3(0.0, 1.0, 0.0), 1.0), pc[5].rgb, 0.45);
  vec3 col = mix(land, water, step(0.5, wet));
  return vec4(mix(col, fog_colour(), fog), 1.0);
}
#endif
