// Land, geometry pass of the deferred path: normal and view depth, albedo
// with the ambient aperture, and no specular (layout in dr_gbuffer.sh).
// With INST: the instanced centre patches.
#define GBUF_WRITE 1
#include "dr_gbuffer.sh"
#include "land_vertex.sh"
#ifdef VSH
out float depth512;
vec4 vsh() {
  vec4 pos = land_vertex();
  depth512 = view_depth512(wpos);
  return pos;
}
#endif
#ifdef PSH
uniform sampler2D aper0;
uniform sampler2D normal1;
uniform sampler2D ground2;
uniform sampler2D cover3;
uniform sampler2D detail4;
in vec3 wpos;
in vec4 uvs;
in float depth512;
vec4 psh() {
  vec3 n = normalize(texture(normal1, uvs.zw).xyz * 2.0 - 1.0);
  float aper = texture(aper0, uvs.xy).r;
  vec4 det = texture(detail4, wpos.xz * 0.25);
  vec4 coarse = texture(detail4, wpos.xz * 0.029);
  vec4 g = texture(ground2, uvs.xy);
  vec4 cv = texture(cover3, uvs.xy);
  float steep = clamp((1.0 - n.y) * 3.0, 0.0, 1.0);
  vec3 ground = g.rgb * mix(det.b, det.r, steep) * 2.0 * (0.8 + 0.4 * coarse.a);
  float cover = clamp(cv.a * (1.0 - steep * 0.7) * (0.7 + 0.6 * det.a), 0.0, 1.0);
  vec3 albedo = mix(ground, cv.rgb * det.g * 2.0 * (0.85 + 0.3 * coarse.a), cover);
  return gbuf_write(n, depth512, clamp(albedo, 0.0, 1.0), aper, 0.0, 0.0);
}
#endif
