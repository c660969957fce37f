// The deferred path of the high-quality frame, in its fixed pass order.
#include "render/scene_deferred.h"

#include "render/frame_view.h"
#include "platform/globals.h"
#include "device/d3d_render.h"
#include "device/d3d_shaders.h"
#include "device/d3d_texture.h"
#include "render/hmRender.h"
#include "render/postfx.h"
#include "render/scene.h"
#include "render/shadows.h"
#include "render/sky.h"

namespace {
constexpr float FAR_DIST = 512.f;
ShaderRecord* light_sh = nullptr;
ShaderRecord* final_sh = nullptr;

Texture* tex(int i) { return postfx_tex[i]; }

void set_depth_const() {
  const Matrix44& v = render_view().tm;
  set_vs_const(6, vec4f(v.at(0, 2) / FAR_DIST, v.at(1, 2) / FAR_DIST, v.at(2, 2) / FAR_DIST, v.at(3, 2) / FAR_DIST));
}

void geometry_pass() {
  set_render_target(0, tex(POSTFX_D), true);
  set_render_target(1, tex(POSTFX_B));
  set_render_target(2, tex(POSTFX_A));
  set_zenable(true);
  set_zwrite(true);
  set_cull_mode(1);
  set_blend_none();
  clear_view_z();
  set_stencil_test(1, 1, CMP_ALWAYS);
  set_stencil_replace_bits(STENCIL_SURFACE);
  HeightmapRenderer::renderLand(true);
  if (scene_hooks.renderObjects) scene_hooks.renderObjects();
  set_render_target(2, nullptr);
  HeightmapRenderer::renderWater(true);
  set_render_target(1, nullptr);
}

void bind_geometry_textures() {
  const int stages[3] = {8, 9, 10};
  const int which[3] = {POSTFX_D, POSTFX_B, POSTFX_A};
  for (int i = 0; i < 3; i++) {
    set_texture(stages[i], tex(which[i]));
    set_texture_filter(stages[i], false);
    set_texture_address(stages[i], 1);
  }
  set_texture_filter(11, false);
  set_texture_address(11, 1);
}

void shadow_pass() {
  set_stencil_test(255, 0, CMP_NOTEQUAL);
  set_stencil_replace_bits(0);
  set_render_target(0, scene_image, true);
  set_zenable(false);
  set_zwrite(false);
  set_far_ray_consts();
  set_shadow_sun_dir(Sky::sun_dir());
  start_render_shadows();
  if (use_obj_shadows && scene_hooks.renderObjectShadows) scene_hooks.renderObjectShadows();
  end_render_shadows();
}

void light_pass() {
  set_fullscreen_tc_const(16, d3d_wd, d3d_ht);
  set_far_ray_consts();
  set_render_target(0, tex(POSTFX_C), true);
  set_texture(11, scene_image);
  set_ps_const(0, Sky::sun_const());
  set_ps_const(1, Sky::table(), Sky::TABLE_ENTRIES);
  set_ps_const(16, render_view().cameraPos());
  set_shaders(light_sh);
  draw_postfx();
  set_texture(11, nullptr);
}

void horizon_and_sky() {
  set_render_target(0, scene_image, true);
  if (use_wireframe) {
    clear_view_color(D3dColor(WIREFRAME_CLEAR));
    set_wireframe(true);
  }
  set_zenable(true);
  // Only where no nearer surface was drawn (surface bit clear): where the
  // coarse ring reaches under the land disc it would otherwise win the depth
  // test along the disc's edge and cut a stair-stepped seam into it.
  set_stencil_test(STENCIL_SURFACE, STENCIL_HORIZON, CMP_EQUAL);
  set_stencil_replace_bits(STENCIL_HORIZON);
  HeightmapRenderer::renderHorizon();
  set_wireframe(false);
  set_zenable(false);
  set_zwrite(false);
  if (!use_wireframe) {
    set_stencil_test(255, 0, CMP_EQUAL);
    set_stencil_replace_bits(0);
    Sky::draw();
  }
}

void final_composition() {
  set_texture(11, tex(POSTFX_C));
  set_fullscreen_tc_const(16, d3d_wd, d3d_ht);
  set_far_ray_consts();
  set_ps_const(16, render_view().cameraPos());
  set_ps_const(17, vec4f(use_fog ? 1.f : 0.f, 0, 0, 0));
  set_zenable(false);
  set_stencil_test(1, 1, CMP_EQUAL);
  set_stencil_replace_bits(0);
  set_shaders(final_sh);
  draw_postfx();
  set_stencil_test(0, 0, CMP_ALWAYS);
  for (int s = 8; s <= 11; s++) set_texture(s, nullptr);
}
}  // namespace

void init_deferred() {
  light_sh = load_shader("dr_calc_light.sh", nullptr);
  final_sh = load_shader("dr_final.sh", nullptr);
}

void render_deferred_light_pass() {
  bind_geometry_textures();
  set_stencil_test(255, 0, CMP_NOTEQUAL);
  light_pass();
}

void render_deferred_final_pass() {
  bind_geometry_textures();
  set_render_target(0, scene_image, true);
  final_composition();
}

bool deferred_ready() { return light_sh && final_sh; }

void close_deferred() {
  if (light_sh) release_shader(light_sh);
  if (final_sh) release_shader(final_sh);
  light_sh = final_sh = nullptr;
}

void set_far_ray_consts() {
  const Matrix44& itm = render_view().itm;
  const Matrix44& proj = get_proj_tm();
  float sx = FAR_DIST / proj.at(0, 0), sy = FAR_DIST / proj.at(1, 1);
  set_vs_const(17, vec4f(itm.at(0, 0) * sx, itm.at(0, 1) * sx, itm.at(0, 2) * sx, 0));
  set_vs_const(18, vec4f(itm.at(1, 0) * sy, itm.at(1, 1) * sy, itm.at(1, 2) * sy, 0));
  set_vs_const(19, vec4f(itm.at(2, 0) * FAR_DIST, itm.at(2, 1) * FAR_DIST, itm.at(2, 2) * FAR_DIST, 0));
}

void render_scene_deferred() {
  set_scene_forward_consts();
  set_depth_const();
  geometry_pass();
  bind_geometry_textures();
  shadow_pass();
  light_pass();
  horizon_and_sky();
  final_composition();
  set_scene_forward_consts();
  render_scene_additions();
}
