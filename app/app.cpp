// app_init / app_update / app_render / app_close: the subsystems in order.
#include "app/app.h"

#include <algorithm>
#include <cmath>

#include "app/camera.h"
#include "app/health_edge.h"
#include "app/threat_marks.h"
#include "objects/game_objects.h"
#include "objects/spell_grid.h"
#include "app/effects.h"
#include "app/game_menu.h"
#include "app/game_options.h"
#include "app/game_start.h"
#include "app/gameobj_glue.h"
#include "app/window.h"
#include "platform/globals.h"
#include "platform/sim_step.h"
#include "platform/input.h"
#include "platform/key_bindings.h"
#include "platform/log.h"
#include "app/main_loop.h"
#include "platform/messages.h"
#include "app/messages_draw.h"
#include "app/overlays.h"
#include "app/save_game.h"
#include "app/replay_session.h"
#include "app/settings.h"
#include "app/sound_glue.h"
#include "app/spell_ui.h"
#include "app/world_requests.h"
#include "platform/vk_codes.h"
#include "device/d3d_render.h"
#include "device/d3d_shaders.h"
#include "device/debug_vis.h"
#include "device/font.h"
#include "device/screenshot.h"
#include "device/splash.h"
#include "gui/gui_screen.h"
#include "render/frame_view.h"
#include "render/hmRender.h"
#include "render/postfx.h"
#include "render/scene_deferred.h"
#include "render/shadows.h"
#include "render/scene.h"
#include "render/sky.h"
#include "script/worldgen_script.h"
#include "world/world_step.h"

vec4f cur_frame_color(0, 0, 0, 0);
vec4f prev_frame_color(0, 0, 0, 0);

namespace {
// Developer mode is for editing the world and its scripts: no wyverns come
// while it is on (M turns them on there).
void set_monsters_for_mode() {
  if (monster_spawn_enabled == !dev_mode) return;
  monster_spawn_enabled = !dev_mode;
  visual_log("monster spawn %s", monster_spawn_enabled ? "on" : "off (M turns it on)");
}

void toggle_dev_mode() {
  dev_mode = !dev_mode;
  set_monsters_for_mode();
  if (dev_mode)
    camera.roll = camera.prev_roll = 0;
  else
    reset_fly_control();
}

// Function keys that act on the game's own settings.
void handle_setting_keys() {
  if (action_released(KEY_SCREENSHOT) && !automation.headless) take_screenshot();
  if (action_pressed(KEY_HELP)) show_fps = !show_fps;
  if (action_pressed(KEY_POST_EFFECTS)) {
    if (action_pressed_modifiers(KEY_POST_EFFECTS) & IF_SHIFT)
      land_shadow_quality = (land_shadow_quality + 1) % 3;
    else
      use_postfx = !use_postfx;
  }
  if (action_pressed(KEY_ANTI_ALIASING)) use_ppaa = !use_ppaa;
  if (action_pressed(KEY_DEVELOPER)) toggle_dev_mode();
  sound_handle_keys();
}

// World keys: in developer mode without Ctrl, in game mode only with it.
void handle_world_keys() {
  if (dev_mode && getKeyState(VK_RBUTTON)) Sky::set_sun_dir(cur_view_itm.row[2], true);
  gameobj_handle_keys();
  auto world_key = [](int action) {
    return action_pressed(action) && dev_mode != bool(action_pressed_modifiers(action) & IF_CTRL);
  };
  if (world_key(KEY_NEW_WORLD)) generate_world();
  if (world_key(KEY_ADD_WATER)) HeightmapData::addWaterKey();
  if (world_key(KEY_ERODE)) HeightmapData::erodeKey();
}

bool sun_elevation_query(float& y) {
  y = Sky::sun_dir().y;
  return true;
}

// The start-up sun, or the elevation asked for on the command line with
// the start-up azimuth.
void place_initial_sun() {
  if (!automation.has_sun) return;
  float e = automation.sun_elevation_deg * 0.017453292519943295f;
  Sky::set_sun_dir(vec4f(0, std::sin(e), std::cos(e), 0), false);
}

// The casts the command line asked for at this step.
void run_automated_casts() {
  static int step = 0;
  for (const AutomationOptions::Cast& c : automation.casts)
    if (c.step == step)
      debug("automated cast of place %d at step %d %s", c.place, step,
            gameobj_cast_from_place(c.place, c.hand) ? "flies" : "did not fly");
  step++;
}

// The visual log shows what just happened ("Not enough mana"): it is cleared
// once nothing new has been logged for a few seconds.
constexpr float VISUAL_LOG_SHOWN_SECONDS = 5;
void expire_visual_log(float dt) {
  static size_t lines_seen = 0;
  static float quiet = 0;
  size_t n = get_visual_log().size();
  if (n != lines_seen) {
    lines_seen = n;
    quiet = 0;
  } else if (n > 0 && (quiet += dt) > VISUAL_LOG_SHOWN_SECONDS) {
    clear_visual_log();
    lines_seen = 0;
  }
}

// Pause stops the simulation; the frame still draws and the mouse still looks.
bool paused = false;
bool pause_toggled() { return action_pressed(KEY_PAUSE); }

void draw_pause_banner() {
  if (!paused) return;
  push_text_style();
  set_text_scale(get_text_scale() * 2);
  draw_text("Paused", -1, d3d_wd / 2, d3d_ht / 2, 0, 0, D3dColor(0xFFFFFFFF));
  pop_text_style();
}

void fade_screen_flash(float dt) { decay_frame_color(prev_frame_color, cur_frame_color, dt); }

void place_initial_camera() {
  if (automation.has_cam) {
    set_camera_pos(vec4f(automation.cam[0], automation.cam[1], automation.cam[2], 1));
    camera_set_angles(automation.cam[3], automation.cam[4]);
  } else {
    set_camera_pos(vec4f(128, 40, 128, 1));
    camera_set_angles(0, -0.3f);
  }
}

void text_pass() {
  set_back_buffer_target();
  begin_text();
  if (!dev_mode) {
    if (local_player) draw_low_health_edge(local_player->stateFraction(0));
    draw_threat_marks(cur_view_itm.row[3], cur_glob_tm);
    draw_spell_ui();
    draw_crosshair();
  }
  draw_error_message();
  draw_visual_log();
  draw_pause_banner();
  draw_overlays();
  draw_game_menu();
  end_text();
}
// Alt+F4 quits at once when nothing would be lost, else asks in the menu.
void answer_quit_request() {
  if (!quit_asked) return;
  quit_asked = false;
  if (run_unsaved())
    open_quit_question();
  else
    quit_requested = true;
}
}  // namespace

namespace {
// What draws: the scene's textures and shaders, the sky, the land renderer
// (whose step animates the water's look), post effects and debug drawing.
void init_drawing() {
  HeightmapData::world_hooks.progress = show_splash;
  debug("Graphics quality: %s", gfx_quality_name[gfx_quality]);
  create_scene_image_texture();
  if (gfx_quality == 1)
    init_deferred();
  else
    use_postfx = false;
  Sky::init();
  place_initial_sun();
  set_sun_elevation_query(sun_elevation_query);
  HeightmapRenderer::init();
  HeightmapData::world_hooks.landStep = HeightmapRenderer::step;
  HeightmapData::world_hooks.heightsChanged = HeightmapRenderer::markDirty;
  init_postfx();
  init_debug_vis();
}
}  // namespace

void app_init() {
  bool drawing = !automation.headless;
  if (drawing)
    init_drawing();
  else
    debug("headless: no window, no graphics device; the simulation runs alone");
  sound_init();
  gameobj_startup(drawing);
  effects_init(drawing);
  if (drawing && gfx_quality == 1) init_shadows();
  start_world_number = automation.world;
  gameobj_init_objects();
  set_monsters_for_mode();
  register_standard_gui_behaviours();
  create_spell_ui();
  create_game_menu();
  set_spell_ui_mouse_claim(spell_ui_wants_pointer);
  set_game_help_extra(spell_help_text);
  debug("game_rnd_seed=%llu;", (unsigned long long)game_rnd_seed);
  setMousePos(float(d3d_wd / 2), float(d3d_ht / 2));
  place_initial_camera();
  HeightmapData::world_hooks.restartClock = reset_update_time;
  create_world_gen_vm();
  if (!start_first_world()) quit_requested = true;
  if (automation.has_cam) gameobj_place_player_at_camera();
  if (automation.mana_cheat) gameobj_toggle_mana_cheat();
}

void app_close() {
  close_world_gen_vm();
  HeightmapData::world_hooks.restartClock = nullptr;
  HeightmapData::world_hooks.progress = nullptr;
  set_game_help_extra(nullptr);
  set_spell_ui_mouse_claim(nullptr);
  destroy_game_menu();
  destroy_spell_ui();
  unregister_standard_gui_behaviours();
  gameobj_shutdown();
  sound_close();
  if (automation.headless) {
    effects_close();
    return;
  }
  close_shadows();
  effects_close();
  close_debug_vis();
  close_postfx();
  HeightmapData::world_hooks.landStep = nullptr;
  HeightmapData::world_hooks.heightsChanged = nullptr;
  HeightmapRenderer::close();
  set_sun_elevation_query(nullptr);
  Sky::close();
  close_deferred();
  release_scene_image_texture();
}

void app_update(float dt) {
  camera_save_previous();
  answer_quit_request();
  // The menu stops the simulation; the frame still draws behind it.
  if (game_menu_open()) {
    update_game_menu();
    return;
  }
  if (app_active && action_pressed(KEY_MENU)) {
    open_game_menu();
    release_camera_mouse();
    return;
  }
  if (app_active && pause_toggled()) paused = !paused;
  if (paused) {
    if (app_active) handle_setting_keys();
    sound_end_step(dt, false);
    return;
  }
  fade_screen_flash(dt);
  expire_visual_log(dt);
  if (dev_mode)
    free_fly_step(dt);
  else
    game_camera_step(dt);
  cur_view_itm = camera_matrix(1);
  set_render_view_camera(cur_view_itm);
  sound_begin_step(dt);
  Sky::begin_update();
  if (app_active) {
    handle_setting_keys();
    handle_world_keys();
  }
  // The panel's state and its picks belong to the step: a frame only reads
  // them, however many frames fall between two steps.
  if (!dev_mode) spell_ui_input();
  HeightmapData::stepWorld(dt);
  effects_step(dt);
  run_automated_casts();
  gameobj_update(dt);
  generate_requested_world();
  if (!dev_mode) update_spell_ui(dt);
  count_played_step(dt);
  note_step_played();
  autosave_after_world_start();
  sound_end_step(dt, true);
}

void app_render(float k) {
  // A replay turns the camera as recorded, step by step; the pointer is left
  // alone. The menu shows the pointer.
  if (game_menu_open())
    release_camera_mouse();
  else if (!replaying_input()) {
    if (dev_mode)
      free_fly_mouse_look(k);
    else
      game_camera_mouse_look(k);
  }
  set_camera_frame(k);
  gameobj_set_frame_time(k * SIM_STEP_SECONDS);
  vec4f flash(prev_frame_color.x + (cur_frame_color.x - prev_frame_color.x) * k,
              prev_frame_color.y + (cur_frame_color.y - prev_frame_color.y) * k,
              prev_frame_color.z + (cur_frame_color.z - prev_frame_color.z) * k,
              prev_frame_color.w + (cur_frame_color.w - prev_frame_color.w) * k);
  render_scene_frame(camera_frame_view(k), flash);
  text_pass();
}

void app_hot_reload_checks() {
  reload_changed_shaders();
  gameobj_reload_check();
  Sky::check_reload();
  effects_reload_check();
  world_gen_reload_check();
  sound_reload_check();
}

void app_after_resize() {
  font_after_resize();
  HeightmapRenderer::afterResize();
  relayout_spell_ui();
  relayout_game_menu();
}
