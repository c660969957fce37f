#pragma once
// Worlds the module asked for (the portal, a fallen castle), made between
// steps. request_world_generation itself is declared with the services the
// module calls back.
#include "objects/shell_exports.h"

// After the module's step: generates the world asked for, if any.
void generate_requested_world();
