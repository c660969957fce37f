// Objects blending toward a second shape, forward.
#define MORPH 1
#include "obj_forward.sh"
