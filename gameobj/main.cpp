// The game-object module: the player, spells, missiles, monsters and the
// castle. This file holds the classes' fixed order and the lookups the game
// binds the module with.
//
// The module's other sources: the game's rebuild watch follows these lines
// from this file, and the build compiles each of them on its own (they are
// never included here). A new source file is listed here and in the build.
#if 0
#include "base_classes.cpp"
#include "castle.cpp"
#include "common.cpp"
#include "drawing.cpp"
#include "entry_points.cpp"
#include "fx_calls.cpp"
#include "gatherer.cpp"
#include "missiles.cpp"
#include "object_registry.cpp"
#include "player.cpp"
#include "save_objects.cpp"
#include "sounds.cpp"
#include "spells.cpp"
#include "view.cpp"
#include "waves.cpp"
#include "world_actions.cpp"
#include "wyvern.cpp"
#endif

#include <cstring>
#include <new>

#include "classes.h"
#include "entry_points.h"
#include "module_api.h"

// The module's classes in their fixed order. The order is part of the
// contract with live objects: a rebuilt module may change what the classes
// do, never which class stands where, and the game refuses a build whose
// classes moved or changed size.

#define GAMEOBJ_CLASSES(X)                                                                             \
  X(BaseObject) X(GameObj) X(Player) X(WaterSource) X(WaterSink) X(Missile) X(TerrainMissile)           \
  X(WaterMissile) X(Fireball) X(Waterball) X(FaultMissile) X(HouseMissile) X(MeteorMissile)              \
  X(HillMissile) X(PitMissile) X(WaterSourceMissile) X(WaterSinkMissile) X(CastleMissile) X(Spell)       \
  X(FireballSpell) X(WaterballSpell) X(FaultSpell) X(HouseSpell) X(MeteorSpell) X(HillSpell)             \
  X(PitSpell) X(WaterSourceSpell) X(WaterSinkSpell) X(CastleSpell) X(UsePortalSpell) X(Monster)          \
  X(WyvernMonster) X(WyvernCorpse) X(StaticObject) X(Stone1StaticObject) X(ManaGatherer)                 \
  X(CastleObject) X(CastleTower) X(CastleWall) X(WorldPortal) X(ManaBall) X(EffectObject) X(FireEffect) \
  X(Explosion) X(ShockWave) X(SpringSpray) X(Puff) X(ScorchMark) X(PortalGlow)

namespace {
// The dispatch pointer an object of class T carries: one is built in scratch
// memory and read back (constructors only set default values, and the
// scratch object is never used or destroyed).
template <typename T>
void* dispatch_table_of() {
  alignas(T) unsigned char scratch[sizeof(T)];
  T* obj = ::new (static_cast<void*>(scratch)) T();
  return *reinterpret_cast<void**>(obj);
}

#define GAMEOBJ_COUNT_ONE(Name) +1
constexpr int CLASS_COUNT = 0 GAMEOBJ_CLASSES(GAMEOBJ_COUNT_ONE);
#undef GAMEOBJ_COUNT_ONE
static_assert(CLASS_COUNT == GAMEOBJ_CLASS_COUNT, "the game expects exactly this many classes");

void* class_vtables[CLASS_COUNT];

const GameobjClassLayout class_layouts[CLASS_COUNT] = {
#define GAMEOBJ_LAYOUT(Name) {#Name, int(sizeof(Name))},
    GAMEOBJ_CLASSES(GAMEOBJ_LAYOUT)
#undef GAMEOBJ_LAYOUT
};

struct NamedEntry {
  const char* name;
  void* address;
};
const NamedEntry entry_points[] = {
#define GAMEOBJ_NAMED_ENTRY(name) {#name, reinterpret_cast<void*>(&name)},
    GAMEOBJ_ENTRY_POINTS(GAMEOBJ_NAMED_ENTRY)
#undef GAMEOBJ_NAMED_ENTRY
};
}  // namespace

// The run state this module was built against, checked by the game before
// it links the module.
const GameobjClassLayout run_state_layout = {"RunState", int(sizeof(RunState))};

GAMEOBJ_EXPORT void* get_gameobj_func_by_name(const char* name) {
  if (!name) return nullptr;
  if (std::strcmp(name, GAMEOBJ_RUN_STATE_LAYOUT) == 0)
    return const_cast<void*>(static_cast<const void*>(&run_state_layout));
  for (const NamedEntry& e : entry_points)
    if (std::strcmp(e.name, name) == 0) return e.address;
  return nullptr;
}

GAMEOBJ_EXPORT void* const* get_gameobj_vtables(int* count) {
  int i = 0;
#define GAMEOBJ_VTABLE(Name) class_vtables[i++] = dispatch_table_of<Name>();
  GAMEOBJ_CLASSES(GAMEOBJ_VTABLE)
#undef GAMEOBJ_VTABLE
  if (count) *count = CLASS_COUNT;
  return class_vtables;
}

GAMEOBJ_EXPORT const GameobjClassLayout* get_gameobj_class_layouts(int* count) {
  if (count) *count = CLASS_COUNT;
  return class_layouts;
}
