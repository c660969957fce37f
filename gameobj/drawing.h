// The module's drawing, shared with its entry points: the instance renderers
// bound to their meshes, and the clock the creatures animate by.
#pragma once
#include "module_api.h"

// Seconds of simulation, for the creatures' breathing, bobbing and flapping.
extern float anim_clock;

// Binds every instance renderer to its mesh (at start-up).
void bind_inst_renderers();
// Draws what the renderers hold this frame.
void draw_inst_renderers();
// place_test_objects(x, z) for world scripts: a few of every drawn object
// around a point, for looking at the meshes in a world.
SQInteger sq_place_test_objects(HSQUIRRELVM vm);
