#pragma once
// Whole-map arithmetic on HmapMask layers and painting the land by masks and
// ramps: what a script would otherwise do with one call per cell, done by
// one native call per layer.
#include <squirrel.h>

#include "script/sqbind.h"

// Adds the arithmetic methods to the HmapMask class and the paint functions
// to the root table.
void register_mask_paint(HSQUIRRELVM vm, const sqbind::SqObject& mask_class);
