// The shell's frame state the module reads and writes, for hosts that run
// the module without the shell.
#include "objects/shell_exports.h"

Matrix44 cur_view_itm = Matrix44::identity();

// Hosts without world generation note the request for their checks.
uint64_t requested_world_seed = 0;
int world_requests = 0;
void request_world_generation(uint64_t seed) {
  requested_world_seed = seed;
  world_requests++;
}
vec4f cur_frame_color(0, 0, 0, 0);
