// Drawing through the game's instance renderers.
#pragma once
#include "module_api.h"

// Binds every instance renderer to its mesh (at start-up).
void bind_inst_renderers();
// Draws what the renderers hold this frame, the house cells included.
void draw_inst_renderers();
// place_test_objects(x, z): a few of every drawn object around a point, for
// looking at the meshes in a world (stones and gatherers on the ground, a
// wyvern circling above).
SQInteger sq_place_test_objects(HSQUIRRELVM vm);
