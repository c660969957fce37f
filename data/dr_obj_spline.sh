// Bodies bent along a curve, geometry pass.
#define SPLINE 1
#include "dr_obj.sh"
