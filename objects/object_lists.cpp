// The exported object lists and the spell and monster globals.
#include "objects/object_lists.h"

#include "objects/game_objects.h"
#include "objects/spell_grid.h"
#include "objects/game_view.h"

DynArray<GameObj*> GameObj_list;
DynArray<Player*> Player_list;
DynArray<WaterSource*> WaterSource_list;
DynArray<Fireball*> Fireball_list;
DynArray<Waterball*> Waterball_list;
DynArray<FaultMissile*> FaultMissile_list;
DynArray<HouseMissile*> HouseMissile_list;
DynArray<MeteorMissile*> MeteorMissile_list;
DynArray<HillMissile*> HillMissile_list;
DynArray<PitMissile*> PitMissile_list;
DynArray<WaterSourceMissile*> WaterSourceMissile_list;
DynArray<WaterSinkMissile*> WaterSinkMissile_list;
DynArray<Spell*> Spell_list;
DynArray<FireballSpell*> FireballSpell_list;
DynArray<WaterballSpell*> WaterballSpell_list;
DynArray<FaultSpell*> FaultSpell_list;
DynArray<HouseSpell*> HouseSpell_list;
DynArray<MeteorSpell*> MeteorSpell_list;
DynArray<HillSpell*> HillSpell_list;
DynArray<PitSpell*> PitSpell_list;
DynArray<WaterSourceSpell*> WaterSourceSpell_list;
DynArray<WaterSinkSpell*> WaterSinkSpell_list;
DynArray<WyvernMonster*> WyvernMonster_list;
DynArray<Stone1StaticObject*> Stone1StaticObject_list;
DynArray<ManaGatherer*> ManaGatherer_list;
DynArray<CastleObject*> CastleObject_list;
DynArray<CastleMissile*> CastleMissile_list;
DynArray<CastleSpell*> CastleSpell_list;
DynArray<ManaBall*> ManaBall_list;
DynArray<WorldPortal*> WorldPortal_list;
DynArray<UsePortalSpell*> UsePortalSpell_list;

Player* local_player = nullptr;

Spell* spell_grid[SPELL_GRID_NY][SPELL_GRID_NX] = {};
int32_t spell_grid_nx = SPELL_GRID_NX, spell_grid_ny = SPELL_GRID_NY;
bool monster_spawn_enabled = true;
bool spells_ui_active = false;
float monster_spawn_delay = 5.0f;
int32_t total_spawned_monsters = 0;
int32_t start_world_number = 1;
GameView game_view;

namespace {
// Every list stores plain object pointers with the same layout whatever the
// element class, so the game walks them all as lists of BaseObject pointers.
template <typename T>
DynArray<BaseObject*>* as_base_list(DynArray<T*>& list) {
  static_assert(sizeof(DynArray<T*>) == sizeof(DynArray<BaseObject*>));
  return reinterpret_cast<DynArray<BaseObject*>*>(&list);
}
}  // namespace

const ObjectListEntry gameobj_lists[GAMEOBJ_LIST_COUNT] = {
    {"GameObj_list", as_base_list(GameObj_list)},
    {"Player_list", as_base_list(Player_list)},
    {"WaterSource_list", as_base_list(WaterSource_list)},
    {"Fireball_list", as_base_list(Fireball_list)},
    {"Waterball_list", as_base_list(Waterball_list)},
    {"FaultMissile_list", as_base_list(FaultMissile_list)},
    {"HouseMissile_list", as_base_list(HouseMissile_list)},
    {"MeteorMissile_list", as_base_list(MeteorMissile_list)},
    {"HillMissile_list", as_base_list(HillMissile_list)},
    {"PitMissile_list", as_base_list(PitMissile_list)},
    {"WaterSourceMissile_list", as_base_list(WaterSourceMissile_list)},
    {"WaterSinkMissile_list", as_base_list(WaterSinkMissile_list)},
    {"Spell_list", as_base_list(Spell_list)},
    {"FireballSpell_list", as_base_list(FireballSpell_list)},
    {"WaterballSpell_list", as_base_list(WaterballSpell_list)},
    {"FaultSpell_list", as_base_list(FaultSpell_list)},
    {"HouseSpell_list", as_base_list(HouseSpell_list)},
    {"MeteorSpell_list", as_base_list(MeteorSpell_list)},
    {"HillSpell_list", as_base_list(HillSpell_list)},
    {"PitSpell_list", as_base_list(PitSpell_list)},
    {"WaterSourceSpell_list", as_base_list(WaterSourceSpell_list)},
    {"WaterSinkSpell_list", as_base_list(WaterSinkSpell_list)},
    {"WyvernMonster_list", as_base_list(WyvernMonster_list)},
    {"Stone1StaticObject_list", as_base_list(Stone1StaticObject_list)},
    {"ManaGatherer_list", as_base_list(ManaGatherer_list)},
    {"CastleObject_list", as_base_list(CastleObject_list)},
    {"CastleMissile_list", as_base_list(CastleMissile_list)},
    {"CastleSpell_list", as_base_list(CastleSpell_list)},
    {"ManaBall_list", as_base_list(ManaBall_list)},
    {"WorldPortal_list", as_base_list(WorldPortal_list)},
    {"UsePortalSpell_list", as_base_list(UsePortalSpell_list)},
};

void free_object_lists() {
  for (const ObjectListEntry& e : gameobj_lists) e.list->reset();
  deleted_gameobjs.reset();
  local_player = nullptr;
}
