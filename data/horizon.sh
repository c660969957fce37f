// The low-resolution horizon ring beyond the land disc: ground and cover
// colours, or water where the vertex depth (TEXCOORD0) is above a tenth.
// The ring is drawn only where no nearer surface was, so its water must look
// exactly as the near water does at the disc's edge, or the hand-over shows
// as a ring. HIGH: as the deferred composition shades the near water (deep
// colour under sun and sky light, a sandy bed through shallow water, the
// Fresnel sky reflection and the sun's glint), with ripples from the foam
// texture (stage 4) at the flowing ripples' scale. Otherwise: as the forward
// water is shaded where it turns opaque at the disc's edge, with the detail
// texture's static ripples (stage 4). Both fog per pixel.
#include "land_common.sh"
#ifdef VSH
in vec2 POSITION0;
in float POSITION1;
in float TEXCOORD0;
out vec2 uvc;
out vec2 uvn;
out vec3 wpos;
out vec3 eye;
out float fog_on;
out float wet;
out float depth;
vec4 vsh() {
  vec2 xz = POSITION0;
  float y = POSITION1;
  uvc = xz * vc[16].xy + vc[16].z;
  uvn = xz * vc[16].xy + vc[16].w;
  wpos = vec3(xz.x, y, xz.y);
  eye = vc[4].xyz;
  fog_on = vc[5].x;
  wet = clamp((TEXCOORD0 - 0.1) * 4.0, 0.0, 1.0);
  depth = TEXCOORD0;
  return xz.x * vc[0] + y * vc[1] + xz.y * vc[2] + vc[3];
}
#endif
#ifdef PSH
uniform sampler2D aper0;
uniform sampler2D normal1;
uniform sampler2D ground2;
uniform sampler2D cover3;
uniform sampler2D tex4;  // foam.dds at high quality, detail.dds otherwise
in vec2 uvc;
in vec2 uvn;
in vec3 wpos;
in vec3 eye;
in float fog_on;
in float wet;
in float depth;

#ifdef HIGH
vec3 far_water(vec3 n0, float aper) {
  // Ripples at the scale and strength of one flowing phase.
  vec4 r = texture(tex4, wpos.xz * (1.0 / 12.0));
  vec3 n = normalize(n0 + vec3((r.r - 0.5) * 0.5, 0.0, (r.g - 0.5) * 0.5));
  vec3 sun = pc[0].xyz;
  vec3 v = normalize(eye - wpos);
  float ndl = max(dot(n, sun), 0.0);
  vec3 light = pc[1].rgb * aper * (0.55 + 0.45 * n.y) + pc[2].rgb * ndl * sun_visible() * mix(0.6, 1.0, aper);
  vec3 h = normalize(v + sun);
  float spec = pow(max(dot(n, h), 0.0), 90.0) * 3.0 * sun_visible();
  float fres = 0.03 + 0.97 * pow(1.0 - max(dot(n, v), 0.0), 5.0);
  vec3 rd = reflect(-v, n);
  vec3 sky = mix(pc[5].rgb, pc[4].rgb, sqrt(clamp(rd.y, 0.0, 1.0)));
  vec3 bed = vec3(0.55, 0.5, 0.38) * light;
  float depthiness = clamp(depth * 2.0, 0.0, 1.0);
  vec3 body = mix(bed, clamp(pc[10].rgb, 0.0, 1.0) * light, 0.3 + 0.5 * depthiness);
  return mix(body, sky, 0.22 + 0.78 * fres) + pc[7].rgb * spec;
}
#else
vec3 far_water(vec3 n0, float aper) {
  vec4 r = texture(tex4, wpos.xz * 0.11) + texture(tex4, wpos.zx * 0.053 + 0.37);
  vec2 ripple = (r.rg - 1.0) * 0.35;
  vec3 n = normalize(n0 + vec3(ripple.x, 0.0, ripple.y));
  vec3 v = normalize(eye - wpos);
  float fres = 0.1 + 0.9 * pow(1.0 - max(dot(n, v), 0.0), 5.0);
  vec3 rd = reflect(-v, n);
  vec3 sky = mix(pc[5].rgb, pc[4].rgb, sqrt(clamp(rd.y, 0.0, 1.0)));
  float spec = pow(max(dot(rd, pc[0].xyz), 0.0), 180.0) * 6.0 * sun_visible();
  vec3 body = min(pc[10].rgb, vec3(1.0)) * surface_light(vec3(0.0, 1.0, 0.0), 1.0);
  // As opaque as the near water is at the disc's edge.
  return mix(body, sky, fres) + pc[7].rgb * spec;
}
#endif

vec4 psh() {
  vec4 nt = texture(normal1, uvn);
  vec3 n = decode_normal(nt);
#ifdef HIGH
  float aper = texture(aper0, uvc).r;
#else
  float aper = clamp(0.35 + nt.a * 0.9, 0.0, 1.0);  // the cavity term, as the land has it
#endif
  vec4 g = texture(ground2, uvc);
  vec4 cv = texture(cover3, uvc);
  vec3 albedo = mix(g.rgb, cv.rgb, cv.a * 0.8);
  vec3 land = albedo * surface_light(n, 1.0);
  vec3 col = mix(land, far_water(n, aper), step(0.5, wet));
  // Per pixel: interpolated across the ring's coarse quads the fog would
  // step at the disc's edge.
  float d = length(wpos - eye) * (1.0 / 128.0);
  float f = fog_on * (1.0 - exp(-d * d * max(pc[6].x, 0.0)));
  return vec4(mix(col, fog_colour(), f), 1.0);
}
#endif
