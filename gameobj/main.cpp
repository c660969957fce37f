// The game-object module: the player, spells, missiles, monsters and the
// castle. It is built as one translation unit from the files included here,
// so that the game's rebuild watch sees every source through this file.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "module_api.h"
#include "classes.h"
#include "world_run.h"

#include "object_registry.cpp"
#include "base_classes.cpp"
#include "fx_calls.cpp"
#include "drawing.cpp"
#include "world_actions.cpp"
#include "missiles.cpp"
#include "spells.cpp"
#include "player.cpp"
#include "gatherer.cpp"
#include "wyvern.cpp"
#include "castle.cpp"
#include "entry_points.cpp"
#include "class_table.cpp"
