#pragma once
// What the game looks up in the game-object module: two exports found by
// name, the classes in their fixed order, and the entry points the game
// calls at fixed points of its frame.
#include <squirrel.h>

#include "world/heightmap.h"

constexpr int GAMEOBJ_CLASS_COUNT = 49;
constexpr int GAMEOBJ_ENTRY_COUNT = 38;

// The entry points, in the order the game binds them.
#define GAMEOBJ_ENTRY_POINTS(X)                                                                       \
  X(toggle_mana_cheat) X(add_source_water) X(add_water_source) X(apply_fireball) X(add_water_globe)  \
  X(create_hill) X(init_spell_grid) X(spawn_monster) X(is_world_complete) X(toggle_monster_spawn)    \
  X(spawn_monsters) X(init_inst_render) X(do_inst_render) X(render_gameobj_shadow) X(calc_land_norm) \
  X(generate_objects) X(render_building) X(spawn_fireball_fx) X(fireball_explode_fx)                 \
  X(spawn_waterball_missile_fx) X(spawn_magic_missile_fx) X(spawn_water_source_fx)                   \
  X(spawn_water_sink_fx) X(spawn_meteor_fx) X(meteor_explode_fx) X(wyvern_death_fx) X(make_dir_xz)   \
  X(init_fx_data) X(update_gameobj) X(render_gameobj) X(render_debug_vis_gameobj)                    \
  X(remove_all_gameobj) X(init_gameobj) X(close_gameobj) X(delete_gameobj) X(bind_gameobj)                  \
  X(save_gameobj) X(load_gameobj)

// Signatures of the entry points the game itself calls.
using GameobjVoidFn = void (*)();
using GameobjUpdateFn = void (*)(int step, float dt);
using GameobjFrameFn = void (*)(float t);
using GameobjBindFn = void (*)(HSQUIRRELVM vm);
using GameobjBuildingFn = void (*)(const HeightmapData::Surface& cell, int x, int z);

// Object size of one class: the module reports them so that a rebuilt
// module whose data layout differs is never linked over live objects.
struct GameobjClassLayout {
  const char* name;
  int size;
};

// The exports of the module, found by name.
extern "C" {
using GetGameobjFuncByName = void* (*)(const char* name);
using GetGameobjVtables = void* const* (*)(int* count);
using GetGameobjClassLayouts = const GameobjClassLayout* (*)(int* count);
}
constexpr const char* GET_GAMEOBJ_FUNC_BY_NAME = "get_gameobj_func_by_name";
constexpr const char* GET_GAMEOBJ_VTABLES = "get_gameobj_vtables";
constexpr const char* GET_GAMEOBJ_CLASS_LAYOUTS = "get_gameobj_class_layouts";
