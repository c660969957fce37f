// The shell's frame state the module reads and writes, for hosts that run
// the module without the shell.
#include "objects/shell_exports.h"

Matrix44 cur_view_itm = Matrix44::identity();
vec4f cur_frame_color(0, 0, 0, 0);
