// Objects blending toward a second shape, geometry pass.
#define MORPH 1
#include "dr_obj.sh"
