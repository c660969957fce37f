// The entry points the game binds by name. Those the spells, monsters,
// instance renderers and effects will fill are here already so that the
// game binds a complete table; until then they do nothing.
#include <cmath>

#include "classes.h"
#include "world_run.h"
#include "drawing.h"
#include "entry_points.h"
#include "object_registry.h"

namespace {
// The world script tells where it put the castle.
SQInteger sq_set_castle_site(HSQUIRRELVM vm) {
  SQFloat x = 0, z = 0;
  if (SQ_FAILED(sq_getfloat(vm, 2, &x)) || SQ_FAILED(sq_getfloat(vm, 3, &z)))
    return sq_throwerror(vm, "set_castle_site(x, z): numbers expected");
  for (int i = CastleObject_list.count - 1; i >= 0; i--) CastleObject_list[i]->destroy();
  CastleObject* c = spawn(CastleObject_list);
  c->pos = vec4f(float(x) + 0.5f, HeightmapData::hmap[HeightmapData::cellIndex(int(x), int(z))], float(z) + 0.5f, 1);
  update_proximity(c, c->boundRect());
  return 0;
}

// Reads n numbers from the call's arguments after the root table.
bool script_numbers(HSQUIRRELVM vm, SQFloat* out, int n) {
  if (sq_gettop(vm) < n + 1) return false;
  for (int i = 0; i < n; i++)
    if (SQ_FAILED(sq_getfloat(vm, 2 + i, &out[i])) || !std::isfinite(float(out[i]))) return false;
  return true;
}

// spawn_water_source(x, z, rate, seconds): a spring pouring `rate` units a
// second at the cell, or a sink taking them when the rate is negative.
SQInteger sq_spawn_water_source(HSQUIRRELVM vm) {
  SQFloat a[4];
  if (!script_numbers(vm, a, 4) || !(a[3] > 0))
    return sq_throwerror(vm, "spawn_water_source(x, z, rate, seconds): numbers expected, seconds above 0");
  float x = float(a[0]), z = float(a[1]);
  add_water_source(vec4f(x, HeightmapData::hmap[HeightmapData::cellIndex(int(x), int(z))], z, 1), float(a[2]),
                   float(a[3]));
  return 0;
}

// spawn_stone(x, z) and spawn_gatherer(x, z): a standing stone or a mana
// gatherer on the ground there.
template <typename T>
SQInteger sq_spawn_standing(HSQUIRRELVM vm, DynArray<T*>& list, const char* usage) {
  SQFloat a[2];
  if (!script_numbers(vm, a, 2)) return sq_throwerror(vm, usage);
  T* obj = spawn(list);
  float x = float(a[0]), z = float(a[1]);
  obj->pos = vec4f(x, HeightmapData::hmap[HeightmapData::cellIndex(int(std::floor(x)), int(std::floor(z)))], z, 1);
  update_proximity(obj, vec4f(x - 1, z - 1, x + 1, z + 1));
  return 0;
}
SQInteger sq_spawn_stone(HSQUIRRELVM vm) {
  return sq_spawn_standing(vm, Stone1StaticObject_list, "spawn_stone(x, z): numbers expected");
}
SQInteger sq_spawn_gatherer(HSQUIRRELVM vm) {
  return sq_spawn_standing(vm, ManaGatherer_list, "spawn_gatherer(x, z): numbers expected");
}

void register_script_function(HSQUIRRELVM vm, const char* name, SQFUNCTION fn) {
  sq_pushroottable(vm);
  sq_pushstring(vm, name, -1);
  sq_newclosure(vm, fn, 0);
  sq_newslot(vm, -3, SQFalse);
  sq_pop(vm, 1);
}

template <typename T>
T* make_spell(DynArray<T*>& list) {
  T* s = spawn(list, false);
  Spell_list.push_back(s);
  return s;
}

Player* make_local_player() {
  Player* p = spawn(Player_list);
  local_player = p;
  return p;
}
}  // namespace

void toggle_mana_cheat() {
  if (!local_player) return;
  local_player->manaCheat = !local_player->manaCheat;
  visual_log("mana cheat %s", local_player->manaCheat ? "on" : "off");
}

void toggle_monster_spawn() {
  monster_spawn_enabled = !monster_spawn_enabled;
  visual_log("monster spawn %s", monster_spawn_enabled ? "on" : "off");
}

void init_inst_render() { bind_inst_renderers(); }
void do_inst_render(float) { draw_inst_renderers(); }
void render_building(const HeightmapData::Surface& s, int x, int z) { write_building_record(s, x, z); }

// The ten spell places, row by row; the player starts with Hill and Fireball.
void init_spell_grid() {
  Spell* places[SPELL_GRID_NY * SPELL_GRID_NX] = {
      make_spell(FireballSpell_list),    make_spell(WaterballSpell_list), make_spell(FaultSpell_list),
      make_spell(HouseSpell_list),       make_spell(MeteorSpell_list),    make_spell(HillSpell_list),
      make_spell(PitSpell_list),         make_spell(WaterSourceSpell_list), make_spell(WaterSinkSpell_list),
      make_spell(CastleSpell_list)};
  for (int i = 0; i < SPELL_GRID_NY * SPELL_GRID_NX; i++) spell_grid[i / SPELL_GRID_NX][i % SPELL_GRID_NX] = places[i];
  if (local_player) {
    local_player->hands[0] = spell_grid[1][0];
    local_player->hands[1] = spell_grid[0][0];
  }
}

void init_gameobj() {
  if (!local_player) make_local_player();
  if (!spell_grid[0][0]) init_spell_grid();
}

void update_gameobj(int step, float dt) {
#ifdef GAMEOBJ_TEST_CRASH_AT_STEP
  // Only in the module the crash-report test builds: a null dereference in
  // module code from that step on (the pointer is read through a volatile,
  // so the compiler cannot turn the store into a trap of its own).
  volatile int* volatile nowhere = nullptr;
  if (step >= GAMEOBJ_TEST_CRASH_AT_STEP) *nowhere = step;
#endif
  module_step = step;
  free_deleted_objects();
  run_state.anim_clock += dt;
  update_world_progress(dt);
  spawn_monsters(dt);
  for_each_object(GameObj_list, [dt](GameObj* obj) { obj->update(dt); });
}

// Objects queue their records; then every renderer draws what it holds,
// the house cells the land handed over included.
void render_gameobj(float t) {
  for_each_object(GameObj_list, [t](GameObj* obj) { obj->render(t); });
  do_inst_render(t);
}

void render_gameobj_shadow(float t) {
  for_each_object(GameObj_list, [t](GameObj* obj) { obj->renderShadow(t); });
}

void render_debug_vis_gameobj(float t) {
  for_each_object(GameObj_list, [t](GameObj* obj) { obj->renderDebug(t); });
}

// Everything of the old world goes; the player and the spells stay.
void remove_all_gameobj() {
  for_each_object(GameObj_list, [](GameObj* obj) {
    if (obj != local_player) obj->destroy();
  });
  free_deleted_objects();
}

void delete_gameobj(BaseObject* obj) {
  if (obj) obj->destroy();
}

// Frees every object, the player and the spells included.
void close_gameobj() {
  for_each_object(GameObj_list, [](GameObj* obj) { obj->destroy(); });
  for_each_object(Spell_list, [](Spell* obj) { obj->destroy(); });
  for (auto& row : spell_grid)
    for (Spell*& s : row) s = nullptr;
  free_deleted_objects();
}

void bind_gameobj(HSQUIRRELVM vm) {
  register_script_function(vm, "set_castle_site", sq_set_castle_site);
  register_script_function(vm, "place_test_objects", sq_place_test_objects);
  register_script_function(vm, "spawn_water_source", sq_spawn_water_source);
  register_script_function(vm, "spawn_stone", sq_spawn_stone);
  register_script_function(vm, "spawn_gatherer", sq_spawn_gatherer);
}
