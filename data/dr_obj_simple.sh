// Simple objects, geometry pass.
#include "dr_obj.sh"
