// Deferred light pass: sun and sky light for every surface pixel from the
// geometry buffer, the object shadows (stage 11) and the sky table.
// Output: rgb = diffuse light, a = sun specular strength.
#define FULLSCREEN_RAY
#include "fullscreen.sh"
#include "dr_gbuffer.sh"

#ifdef PSH
uniform sampler2D shadow11;
in vec3 ray;
float sun_visible() { return smoothstep(-0.04, 0.06, pc[0].y); }
vec4 psh() {
  vec4 nd = gbuf_normal_depth(uv);
  vec4 alb = gbuf_albedo(uv);
  vec4 mat = gbuf_material(uv);
  vec3 n = normalize(nd.xyz);
  float aper = alb.a;
  float shadow = texture(shadow11, uv).r;
  vec3 sun = pc[0].xyz;
  float ndl = max(dot(n, sun), 0.0);
  vec3 amb = pc[1].rgb * aper * (0.55 + 0.45 * n.y);
  // Shadowed ground keeps a little bounce light from the sunlit surroundings.
  vec3 direct = pc[2].rgb * ndl * sun_visible() * mix(0.6, 1.0, aper) * shadow;
  vec3 bounce = pc[2].rgb * sun_visible() * 0.06 * aper * (1.0 - shadow);
  // Steep faces also catch the sunlight the ground around them throws back.
  bounce += pc[2].rgb * sun_visible() * max(sun.y, 0.0) * 0.16 * (1.0 - n.y) * aper;
  vec3 p = pc[16].xyz + ray * nd.w;
  vec3 v = normalize(pc[16].xyz - p);
  vec3 h = normalize(v + sun);
  // Water is fully specular; the material target under it is the land's.
  float spec_strength = gbuf_water(nd) > 0.0 ? 1.0 : mat.r;
  float spec = spec_strength * pow(max(dot(n, h), 0.0), 90.0) * 3.0 * sun_visible() * shadow;
  return vec4(amb + direct + bounce, spec);
}
#endif
