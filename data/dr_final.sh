// Deferred final composition on surface pixels: albedo under the light
// buffer (stage 11), sun glints, water with its sky reflection and shallow
// bed, and fog toward the horizon. Pixel registers: 0 sun, 1-12 sky table,
// 16 camera position, 17 x fog switch.
#define FULLSCREEN_RAY
#include "fullscreen.sh"
#include "dr_gbuffer.sh"
#ifdef PSH
uniform sampler2D light11;
in vec3 ray;
vec3 fog_colour() { return min(pc[5].rgb, vec3(1.5)); }
vec4 psh() {
  vec4 nd = gbuf_normal_depth(uv);
  vec4 alb = gbuf_albedo(uv);
  vec4 light = texture(light11, uv);
  vec3 eye = pc[16].xyz;
  vec3 p = eye + ray * nd.w;
  vec3 n = normalize(nd.xyz);
  vec3 col = alb.rgb * light.rgb;
  float water = gbuf_water(nd);
  if (water > 0.0) {
    // Water: shallow water shows a sandy bed, deep water its own colour,
    // and every part reflects the sky by the Fresnel term.
    vec3 v = normalize(eye - p);
    float fres = 0.03 + 0.97 * pow(1.0 - max(dot(n, v), 0.0), 5.0);
    vec3 rd = reflect(-v, n);
    vec3 sky = mix(pc[5].rgb, pc[4].rgb, sqrt(clamp(rd.y, 0.0, 1.0)));
    vec3 bed = vec3(0.55, 0.5, 0.38) * light.rgb;
    float depthiness = water;
    vec3 body = mix(bed, col, 0.3 + 0.5 * depthiness);
    // The surface scatters some sky light at every angle, more at grazing ones.
    col = mix(body, sky, 0.22 + 0.78 * fres);
  }
  col += pc[7].rgb * light.a;
  float d = length(p - eye) * (1.0 / 128.0);
  float fog = pc[17].x * (1.0 - exp(-d * d * max(pc[6].x, 0.0)));
  return vec4(mix(col, fog_colour(), fog), 1.0);
}
#endif
