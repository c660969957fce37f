// Instanced objects, geometry pass of the deferred path.
#define GBUF_WRITE 1
#include "dr_gbuffer.sh"
#include "obj_vertex.sh"
#ifdef VSH
out float depth512;
vec4 vsh() {
  vec4 pos = obj_vertex();
  depth512 = view_depth512(wpos);
  return pos;
}
#endif
#ifdef PSH
in float depth512;
vec4 psh() {
  vec3 a = obj_albedo();
  // Glowing parts stay bright under any light: the glow lifts the albedo.
  return gbuf_write(normalize(wnorm), depth512, clamp(a * (1.0 + glow * 2.0), 0.0, 1.0), 0.9, 0.25, 0.0);
}
#endif
