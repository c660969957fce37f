// Blends two fields: stage 0 (previous) toward stage 1 (current) by pixel
// register 0 x.
#include "fullscreen.sh"
#ifdef PSH
uniform sampler2D prev0;
uniform sampler2D cur1;
vec4 psh() { return mix(texture(prev0, uv), texture(cur1, uv), clamp(pc[0].x, 0.0, 1.0)); }
#endif
