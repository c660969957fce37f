// What the module sees of the game: the headers the game publishes for it.
#pragma once
#include <squirrel.h>

#include "objects/base_object.h"
#include "objects/building_records.h"
#include "objects/game_objects.h"
#include "objects/inst_render.h"
#include "objects/gameobj_exports.h"
#include "objects/module_contract.h"
#include "objects/object_save.h"
#include "objects/proximity.h"
#include "objects/run_state.h"
#include "objects/spell_grid.h"
#include "objects/game_view.h"

// Only the lookup functions leave the module; everything else binds inside
// it, so a second build loaded beside this one never mixes with it.
#define GAMEOBJ_EXPORT extern "C" __attribute__((visibility("default")))
