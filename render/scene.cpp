// Scene composition: the forward path, the high-quality entry and the post
// pass that ends on the back buffer.
#include "render/scene.h"

#include "platform/globals.h"
#include "platform/sim_step.h"
#include "device/d3d_render.h"
#include "device/d3d_shaders.h"
#include "device/debug_vis.h"
#include "render/hmRender.h"
#include "render/postfx.h"
#include "render/scene_deferred.h"
#include "render/sky.h"

SceneHooks scene_hooks;

namespace {
void draw_sky_where_empty() {
  set_zenable(false);
  set_zwrite(false);
  set_stencil_test(255, 0, CMP_EQUAL);
  set_stencil_replace_bits(0);
  Sky::draw();
  set_stencil_test(0, 0, CMP_ALWAYS);
}

}  // namespace

void render_scene_additions() {
  set_zenable(true);
  if (scene_hooks.renderDebugObjects) {
    start_draw_debug_vis();
    scene_hooks.renderDebugObjects();
    end_draw_debug_vis();
  }
  if (scene_hooks.renderEffects) {
    float k = render_view().k;
    scene_hooks.renderEffects(k * SIM_STEP_SECONDS, k);
  }
}

namespace {

// Steps 2-3 of the forward path: target, clear, and the stencil-marked
// surfaces.
void draw_surfaces() {
  set_render_target(0, scene_image, true);
  set_zenable(true);
  set_zwrite(true);
  set_cull_mode(1);
  set_blend_none();
  if (use_wireframe) {
    clear_view(D3dColor(WIREFRAME_CLEAR));
    set_wireframe(true);
  } else {
    clear_view_z();
  }
  set_stencil_test(1, 1, CMP_ALWAYS);
  set_stencil_replace_bits(STENCIL_SURFACE);
  HeightmapRenderer::renderLand(false);
  if (scene_hooks.renderObjects) scene_hooks.renderObjects();
  HeightmapRenderer::renderWater(false);
}
}  // namespace

namespace {
// The horizon ring only where no nearer surface was drawn: the test
// compares bit 1 with the reference's (clear), and the pass writes value 2.
void draw_horizon_where_empty() {
  set_stencil_test(STENCIL_SURFACE, STENCIL_HORIZON, CMP_EQUAL);
  set_stencil_replace_bits(STENCIL_HORIZON);
  HeightmapRenderer::renderHorizon();
}
}  // namespace

void set_scene_forward_consts() {
  set_vs_const(5, vec4f(use_fog ? 1.f : 0.f, 0, 0, 0));
  set_vs_const(30, Sky::sun_const());
  set_vs_const(31, Sky::table(), Sky::TABLE_ENTRIES);
}

void render_scene_forward() {
  set_scene_forward_consts();
  draw_surfaces();
  draw_horizon_where_empty();
  set_stencil_test(0, 0, CMP_ALWAYS);
  set_stencil_replace_bits(0);
  set_wireframe(false);
  if (!use_wireframe) draw_sky_where_empty();
  render_scene_additions();
}

void render_scene_high_quality() {
  if (deferred_ready()) {
    render_scene_deferred();
    return;
  }
  // Without the deferred shaders: the forward path.
  render_scene_forward();
}

void render_scene_frame(const FrameView& view, const vec4f& frame_color) {
  set_render_view(view);
  Sky::update_frame(view.k);
  HeightmapRenderer::prepareFrame(view.k);
  if (gfx_quality == 1)
    render_scene_high_quality();
  else
    render_scene_forward();
  float fc[4] = {frame_color.x, frame_color.y, frame_color.z, frame_color.w};
  render_post_pass(fc);
}
