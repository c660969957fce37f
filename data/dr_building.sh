// Building pieces, geometry pass of the deferred path (layout in
// dr_gbuffer.sh): lit, shadowed and fogged later with the land.
#define GBUF_WRITE 1
#include "dr_gbuffer.sh"
#include "building_vertex.sh"
#ifdef VSH
out float depth512;
vec4 vsh() {
  vec4 pos = building_vertex();
  depth512 = view_depth512(wpos);
  return pos;
}
#endif
#ifdef PSH
in float depth512;
vec4 psh() {
  vec3 n = building_normal();
  return gbuf_write(n, depth512, building_albedo(n), building_aperture(n), 0.08, 0.0);
}
#endif
