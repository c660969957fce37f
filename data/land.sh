// Land, forward shading. With INST: the instanced 4 x 4 patches of the
// centre block (patch position on stream 0, cell and corner heights per
// instance). HIGH reads the ambient aperture (stage 0); otherwise the
// cavity term in the normal texture's alpha darkens the valleys.
#include "land_common.sh"
#include "land_vertex.sh"
#ifdef VSH
out float fog;
vec4 vsh() {
  vec4 pos = land_vertex();
  fog = fog_amount(wpos);
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
in float fog;
vec4 psh() {
  vec4 nt = texture(normal1, uvs.zw);
  vec3 n = decode_normal(nt);
#ifdef HIGH
  float aper = texture(aper0, uvs.xy).r;
#else
  float aper = clamp(0.35 + nt.a * 0.9, 0.0, 1.0);
#endif
  vec4 det = texture(detail4, wpos.xz * 0.25);
  vec4 coarse = texture(detail4, wpos.xz * 0.029);
  vec4 g = texture(ground2, uvs.xy);
  vec4 cv = texture(cover3, uvs.xy);
  // Steep ground shows its rocky detail, flat ground the finer grain.
  float steep = clamp((1.0 - n.y) * 3.0, 0.0, 1.0);
  float gdet = mix(det.b, det.r, steep) * 2.0;
  vec3 ground = g.rgb * gdet * (0.8 + 0.4 * coarse.a);
  // Cover thins out on slopes and breaks up along the detail pattern.
  float cover = clamp(cv.a * (1.0 - steep * 0.7) * (0.7 + 0.6 * det.a), 0.0, 1.0);
  vec3 albedo = mix(ground, cv.rgb * det.g * 2.0 * (0.85 + 0.3 * coarse.a), cover);
  vec3 col = albedo * surface_light(n, aper);
  col = mix(col, fog_colour(), fog);
  return vec4(col, 1.0);
}
#endif
