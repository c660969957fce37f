// The game's calls into the game-object module, each at its place in the
// frame, and the camera's view of the module's local player.
#include "app/gameobj_glue.h"

#include "app/camera.h"
#include "platform/globals.h"
#include "platform/input.h"
#include "platform/key_bindings.h"
#include "platform/vk_codes.h"
#include "device/mesh.h"
#include "objects/game_objects.h"
#include "objects/inst_render.h"
#include "objects/module_host.h"
#include "objects/object_lists.h"
#include "objects/proximity.h"
#include "objects/spell_grid.h"
#include "render/hmRender.h"
#include "render/scene.h"
#include "script/worldgen_script.h"

namespace {
float frame_time = 0;
int step_count = 0;

template <typename Fn>
Fn entry(void* address) {
  return reinterpret_cast<Fn>(address);
}

void call_void(void* address) {
  if (address) entry<GameobjVoidFn>(address)();
}

void call_frame(void* address) {
  if (address) entry<GameobjFrameFn>(address)(frame_time);
}

// The camera steers the module's local player and looks through its eyes.
struct LocalPlayerSeat : CameraPlayer {
  void move(float dt, float speed, const vec4f& velocity, const Matrix44& cam, int dash) override {
    if (local_player) local_player->move(dt, speed, velocity, cam, dash);
  }
  vec4f eye() override { return local_player ? local_player->eye() : camera.pos; }
  void placeAt(const vec4f& pos) override {
    if (local_player) local_player->placeAtCamera(pos);
  }
} local_player_seat;

void render_objects() { call_frame(gameobj_entry.render_gameobj); }
void render_object_shadows() { call_frame(gameobj_entry.render_gameobj_shadow); }
void render_debug_objects() { call_frame(gameobj_entry.render_debug_vis_gameobj); }

void render_house_cell(const HeightmapData::Surface& s, int x, int z) {
  if (gameobj_entry.render_building) entry<GameobjBuildingFn>(gameobj_entry.render_building)(s, x, z);
}

void bind_module_to_script(HSQUIRRELVM vm) {
  if (gameobj_entry.bind_gameobj && vm) entry<GameobjBindFn>(gameobj_entry.bind_gameobj)(vm);
}

void remove_all_objects() { call_void(gameobj_entry.remove_all_gameobj); }

void player_world_start() {
  if (local_player) local_player->onWorldGenerate();
}
}  // namespace

void gameobj_startup(bool with_device) {
  load_gameobj_module();
  if (with_device) call_void(gameobj_entry.init_inst_render);
}

void gameobj_init_objects() {
  call_void(gameobj_entry.init_gameobj);
  set_camera_player(&local_player_seat);
  scene_hooks.renderObjects = render_objects;
  scene_hooks.renderObjectShadows = render_object_shadows;
  scene_hooks.renderDebugObjects = render_debug_objects;
  HeightmapRenderer::render_building = render_house_cell;
  world_gen_hooks.bindGameobj = bind_module_to_script;
  world_gen_hooks.removeAllGameobj = remove_all_objects;
  world_gen_hooks.playerWorldStart = player_world_start;
}

void gameobj_place_player_at_camera() {
  if (local_player) local_player->placeAtCamera(camera.pos);
}

void gameobj_shutdown() {
  world_gen_hooks.bindGameobj = nullptr;
  world_gen_hooks.removeAllGameobj = nullptr;
  world_gen_hooks.playerWorldStart = nullptr;
  HeightmapRenderer::render_building = nullptr;
  scene_hooks.renderObjects = nullptr;
  scene_hooks.renderObjectShadows = nullptr;
  scene_hooks.renderDebugObjects = nullptr;
  set_camera_player(nullptr);
  call_void(gameobj_entry.close_gameobj);
  shutdown_gameobj_module();
  // The renderers the module bound belong to the game.
  close_inst_renderers();
  close_all_meshes();
  // The module has freed its objects; the storage of the lists is the game's.
  free_object_lists();
  free_proximity_bins();
}

void gameobj_update(float dt) {
  if (gameobj_entry.update_gameobj) entry<GameobjUpdateFn>(gameobj_entry.update_gameobj)(step_count++, dt);
}

int gameobj_step_count() { return step_count; }
void set_gameobj_step_count(int steps) { step_count = steps; }

void gameobj_set_frame_time(float t) { frame_time = t; }

// Ctrl+M and Ctrl+N, with the Ctrl that was held when the key went down.
void gameobj_handle_keys() {
  if (action_pressed_modifiers(KEY_MONSTERS) & IF_CTRL) call_void(gameobj_entry.toggle_monster_spawn);
  if (action_pressed_modifiers(KEY_MANA_CHEAT) & IF_CTRL) call_void(gameobj_entry.toggle_mana_cheat);
}

void gameobj_reload_check() {
  int linked = gameobj_link_generation();
  poll_gameobj_reload();
  // The world-generation VM holds native functions of the old module: they
  // are bound again to the new one's.
  if (gameobj_link_generation() != linked) bind_module_to_script(world_gen_vm.vm);
}

bool gameobj_cast_from_place(int place, int hand) {
  if (!local_player || place < 0 || place >= SPELL_GRID_NX * SPELL_GRID_NY) return false;
  Spell* spell = spell_grid[place / SPELL_GRID_NX][place % SPELL_GRID_NX];
  if (!spell) return false;
  local_player->selectSpell(hand == 1, spell);
  return local_player->castHand(hand);
}

void gameobj_toggle_mana_cheat() { call_void(gameobj_entry.toggle_mana_cheat); }
