// Wires the effects of render/ and the effect script of script/ into the
// game: the script reaches the particle pools through its hooks, world
// generation clears the effects through its own hook, and the scene draws
// them through the scene hook.
#include "app/effects.h"

#include <cmath>
#include <string>

#include "app/camera.h"
#include "platform/globals.h"
#include "platform/input.h"
#include "platform/messages.h"
#include "platform/key_bindings.h"
#include "platform/vk_codes.h"
#include "render/common_fx.h"
#include "render/frame_view.h"
#include "render/particles.h"
#include "render/scene.h"
#include "render/effect_limits.h"
#include "render/trailFx.h"
#include "script/fx_script.h"
#include "script/fx_sound.h"
#include "audio/sound.h"
#include "script/worldgen_script.h"

namespace {
// Developer key F (Ctrl+F in game mode) starts the script's next
// demonstration effect a little ahead of the camera; Shift+F repeats the
// current one. "demo_fx" gets the place, the view direction, (index, 0, 0,
// 0) and the seconds since the start, every step for DEMO_SECONDS.
constexpr float DEMO_SECONDS = 3.f;
int demo_index = -1;
float demo_time = DEMO_SECONDS;
vec4f demo_pos, demo_dir;

void render_effects(float elapsed, float t) { render_common_fx(elapsed, t, render_view().itm); }

int live_particles() { return blend_particles.liveCount() + glow_particles.liveCount(); }

// 30 units ahead of the camera.
vec4f aim_point() {
  const Matrix44& cam = cur_view_itm;
  return vec4f(cam.row[3].x + cam.row[2].x * 30.f, cam.row[3].y + cam.row[2].y * 30.f,
               cam.row[3].z + cam.row[2].z * 30.f, 1.f);
}

// The name of the demonstration effect `index` stands for: the first entry
// of that row of the script's DEMO_EFFECTS list; empty when the script has
// no such list.
std::string demo_effect_name(int index) {
  HSQUIRRELVM vm = fx_script_vm.vm;
  if (!vm || index < 0) return "";
  SQInteger top = sq_gettop(vm);
  std::string name;
  sq_pushroottable(vm);
  sq_pushstring(vm, "DEMO_EFFECTS", -1);
  if (SQ_SUCCEEDED(sq_get(vm, -2)) && sq_gettype(vm, -1) == OT_ARRAY && sq_getsize(vm, -1) > 0) {
    sq_pushinteger(vm, index % sq_getsize(vm, -1));
    if (SQ_SUCCEEDED(sq_get(vm, -2)) && sq_gettype(vm, -1) == OT_ARRAY) {
      sq_pushinteger(vm, 0);
      const SQChar* text = nullptr;
      if (SQ_SUCCEEDED(sq_get(vm, -2)) && SQ_SUCCEEDED(sq_getstring(vm, -1, &text)) && text) name = text;
    }
  }
  sq_settop(vm, top);
  return name;
}

void start_demo(bool next) {
  if (next || demo_index < 0) demo_index++;
  demo_time = 0;
  demo_dir = cur_view_itm.row[2];
  demo_pos = aim_point();
  std::string name = demo_effect_name(demo_index);
  if (!name.empty()) visual_log("Effect %d: %s%s", demo_index, name.c_str(), next ? "" : " (again)");
}

// Developer key T: a trail circles the aimed-at point for DEMO_SECONDS, its
// colour turning from orange to violet, then it is stopped and shrinks away.
int demo_trail = -1;
float trail_time = 0;
vec4f trail_centre;

vec4f trail_point(float t, vec4f& vel, vec4f& side) {
  float a = t * 2.5f, r = 6.f;
  vel = vec4f(-std::sin(a) * r * 2.5f, 0, std::cos(a) * r * 2.5f, 0);
  side = vec4f(0, 0.4f, 0, 0);
  return vec4f(trail_centre.x + std::cos(a) * r, trail_centre.y + std::sin(t * 4.f), trail_centre.z + std::sin(a) * r, 1);
}

void trail_demo_step() {
  vec4f vel, side;
  if (app_active && dev_mode != getKeyState(VK_CONTROL) && action_pressed(KEY_TRAIL_DEMO)) {
    kill_trail_fx(demo_trail);
    trail_centre = aim_point();
    trail_time = 0;
    vec4f p = trail_point(0, vel, side);
    demo_trail = add_trail_fx(p, vel, side, 0.8f, D3dColor(0xFFFF9020));
    return;
  }
  if (demo_trail < 0) return;
  trail_time += 0.05f;
  if (trail_time < DEMO_SECONDS) {
    float k = trail_time / DEMO_SECONDS;
    set_trail_color(demo_trail, D3dColor(vec4f(1 - 0.4f * k, 0.55f - 0.3f * k, 0.1f + 0.9f * k, 1)));
    add_trail_point(demo_trail, trail_point(trail_time, vel, side), vel, side);
  } else if (trail_time < DEMO_SECONDS + 0.06f) {
    stop_trail_fx(demo_trail);
  } else if (trail_time > DEMO_SECONDS + 0.7f) {
    // Killed while a couple of points are left: a trail that has shrunk to
    // nothing only comes back to the free list at the next reset.
    kill_trail_fx(demo_trail);
    demo_trail = -1;
  }
}

void demo_step(float dt) {
  trail_demo_step();
  if (app_active && dev_mode != getKeyState(VK_CONTROL) && action_pressed(KEY_EFFECT_DEMO)) start_demo(!getKeyState(VK_SHIFT));
  if (demo_time >= DEMO_SECONDS) return;
  call_fx_script("demo_fx", demo_pos, demo_dir, vec4f(float(demo_index), 0, 0, 0), demo_time);
  demo_time += dt;
}
}  // namespace

void effects_init(bool with_device) {
  if (with_device) {
    init_common_fx();
    scene_hooks.renderEffects = render_effects;
  } else {
    reset_common_fx();
  }
  world_gen_hooks.resetCommonFx = reset_common_fx;
  fx_script_hooks.addBlendParticle = add_blend_particle;
  fx_script_hooks.addGlowParticle = add_glow_particle;
  fx_script_hooks.resetCommonFx = reset_common_fx;
  fx_script_hooks.liveParticles = live_particles;
  fx_play_sound_hook = play_sound;
  effect_source_hook = fx_script_running_function;
  fx_script_start();
}

void effects_close() {
  demo_trail = -1;
  fx_script_stop();
  fx_script_hooks = FxScriptHooks();
  fx_play_sound_hook = nullptr;
  effect_source_hook = nullptr;
  scene_hooks.renderEffects = nullptr;
  world_gen_hooks.resetCommonFx = nullptr;
  close_common_fx();
}

void effects_step(float dt) {
  update_common_fx(dt);
  fx_script_update(dt);
  demo_step(dt);
}

void effects_reload_check() { fx_script_check_reload(); }
