// The game-object module: the player, spells, missiles, monsters and the
// castle. It is built as one translation unit from the files included here,
// so that the game's rebuild watch sees every source through this file.
#include <cmath>
#include <cstring>
#include <new>

#include "module_api.h"
#include "classes.h"

#include "object_registry.cpp"
#include "base_classes.cpp"
#include "player.cpp"
#include "world_actions.cpp"
#include "drawing.cpp"
#include "entry_points.cpp"
#include "class_table.cpp"
