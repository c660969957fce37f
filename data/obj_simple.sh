// Simple objects, forward.
#include "obj_forward.sh"
