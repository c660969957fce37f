// Building pieces, forward: lit by the sky and the sun, fogged like the land.
#include "land_common.sh"
#include "building_vertex.sh"
#ifdef VSH
out float fog;
vec4 vsh() {
  vec4 pos = building_vertex();
  fog = fog_amount(wpos);
  return pos;
}
#endif
#ifdef PSH
in float fog;
vec4 psh() {
  vec3 n = building_normal();
  vec3 col = building_albedo(n) * surface_light(n, building_aperture(n));
  return vec4(mix(col, fog_colour(), fog), 1.0);
}
#endif
