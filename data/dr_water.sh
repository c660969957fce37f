// Water, geometry pass of the deferred path: rippled normal from the two
// flowing phases (blend weight in pixel register 12 x), view depth, the
// deep-water colour with foam as albedo, full specular and the water flag
// (layout in dr_gbuffer.sh).
#define GBUF_WRITE 1
#include "dr_gbuffer.sh"
#ifdef VSH
in vec2 POSITION0;
in float POSITION1;
in float POSITION2;
in vec4 TEXCOORD0;
in float TEXCOORD1;
out vec3 wpos;
out vec2 uvs;
out vec4 flow;
out float depth;
out float foam;
out float depth512;
vec4 vsh() {
  vec2 xz = POSITION0;
  float y = POSITION1;
  wpos = vec3(xz.x, y, xz.y);
  uvs = xz * vc[16].xy + vc[16].w;
  flow = TEXCOORD0 * (1.0 / 12.0);
  depth = y + 0.1 - POSITION2;
  foam = TEXCOORD1;
  depth512 = view_depth512(wpos);
  return xz.x * vc[0] + y * vc[1] + xz.y * vc[2] + vc[3];
}
#endif
#ifdef PSH
uniform sampler2D aper0;
uniform sampler2D normal1;
uniform sampler2D foam4;
in vec3 wpos;
in vec2 uvs;
in vec4 flow;
in float depth;
in float foam;
in float depth512;
vec4 psh() {
  vec3 n = normalize(texture(normal1, uvs).xyz * 2.0 - 1.0);
  float w = clamp(pc[12].x, 0.0, 1.0);
  vec4 r = texture(foam4, flow.xy) * (1.0 - w) + texture(foam4, flow.zw) * w;
  n = normalize(n + vec3((r.r - 0.5) * 0.5, 0.0, (r.g - 0.5) * 0.5));
  float f = clamp(foam * 1.6 * (0.4 + 1.2 * r.a) - 0.1, 0.0, 1.0);
  float d = max(depth, 0.0);
  vec3 deep = clamp(pc[10].rgb, 0.0, 1.0);
  vec3 albedo = mix(deep, vec3(0.92), f);
  float aper = texture(aper0, uvs).r;
  return gbuf_write(n, depth512, albedo, aper, 1.0 - f, clamp(d * 2.0, 0.0, 1.0));
}
#endif
