// Keeping the object lists.
#include "object_registry.h"

namespace {
template <typename T>
void unlist(DynArray<T*>& list, BaseObject* obj) {
  for (int i = list.count - 1; i >= 0; i--)
    if (static_cast<BaseObject*>(reinterpret_cast<GameObj*>(list.data[i])) == obj) list.erase(i);
}
}  // namespace

// Every list the module fills, so that a destroyed object leaves all of them.
void unlist_everywhere(BaseObject* obj) {
  unlist(GameObj_list, obj);
  unlist(Player_list, obj);
  unlist(WaterSource_list, obj);
  unlist(Fireball_list, obj);
  unlist(Waterball_list, obj);
  unlist(FaultMissile_list, obj);
  unlist(HouseMissile_list, obj);
  unlist(MeteorMissile_list, obj);
  unlist(HillMissile_list, obj);
  unlist(PitMissile_list, obj);
  unlist(WaterSourceMissile_list, obj);
  unlist(WaterSinkMissile_list, obj);
  unlist(Spell_list, obj);
  unlist(FireballSpell_list, obj);
  unlist(WaterballSpell_list, obj);
  unlist(FaultSpell_list, obj);
  unlist(HouseSpell_list, obj);
  unlist(MeteorSpell_list, obj);
  unlist(HillSpell_list, obj);
  unlist(PitSpell_list, obj);
  unlist(WaterSourceSpell_list, obj);
  unlist(WaterSinkSpell_list, obj);
  unlist(WyvernMonster_list, obj);
  unlist(Stone1StaticObject_list, obj);
  unlist(ManaGatherer_list, obj);
  unlist(CastleObject_list, obj);
  unlist(CastleMissile_list, obj);
  unlist(CastleSpell_list, obj);
  unlist(ManaBall_list, obj);
  unlist(WorldPortal_list, obj);
  unlist(UsePortalSpell_list, obj);
}

void free_deleted_objects() {
  for (BaseObject* obj : deleted_gameobjs) delete obj;
  deleted_gameobjs.clear();
}
