// Bodies bent along a curve, forward.
#define SPLINE 1
#include "obj_forward.sh"
