// Instanced objects, forward: sky and sun light, a glow of their own, fog.
#include "land_common.sh"
#include "obj_vertex.sh"
#ifdef VSH
out float fog;
vec4 vsh() {
  vec4 pos = obj_vertex();
  fog = fog_amount(wpos);
  return pos;
}
#endif
#ifdef PSH
in float fog;
vec4 psh() {
  vec3 n = normalize(wnorm);
  vec3 a = obj_albedo();
  vec3 col = a * surface_light(n, 0.9) + a * glow * 2.0;
  return vec4(mix(col, fog_colour(), fog), 1.0);
}
#endif
