// Wires the effects of render/ and the effect script of script/ into the
// game: the script reaches the particle pools through its hooks, world
// generation clears the effects through its own hook, and the scene draws
// them through the scene hook.
#include "app/effects.h"

#include "app/camera.h"
#include "platform/globals.h"
#include "platform/input.h"
#include "platform/vk_codes.h"
#include "render/common_fx.h"
#include "render/frame_view.h"
#include "render/particles.h"
#include "render/scene.h"
#include "script/fx_script.h"
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

void start_demo(bool next) {
  if (next || demo_index < 0) demo_index++;
  demo_time = 0;
  const Matrix44& cam = cur_view_itm;
  demo_dir = cam.row[2];
  demo_pos = vec4f(cam.row[3].x + demo_dir.x * 30.f, cam.row[3].y + demo_dir.y * 30.f,
                   cam.row[3].z + demo_dir.z * 30.f, 1.f);
}

void demo_step(float dt) {
  if (app_active && dev_mode != getKeyState(VK_CONTROL) && keyDown('F')) start_demo(!getKeyState(VK_SHIFT));
  if (demo_time >= DEMO_SECONDS) return;
  call_fx_script("demo_fx", demo_pos, demo_dir, vec4f(float(demo_index), 0, 0, 0), demo_time);
  demo_time += dt;
}
}  // namespace

void effects_init() {
  init_common_fx();
  world_gen_hooks.resetCommonFx = reset_common_fx;
  scene_hooks.renderEffects = render_effects;
  fx_script_hooks.addBlendParticle = add_blend_particle;
  fx_script_hooks.addGlowParticle = add_glow_particle;
  fx_script_hooks.resetCommonFx = reset_common_fx;
  fx_script_hooks.liveParticles = live_particles;
  fx_script_start();
}

void effects_close() {
  fx_script_stop();
  fx_script_hooks = FxScriptHooks();
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
