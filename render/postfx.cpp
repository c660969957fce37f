// Post-effect targets and shaders, MLAA and the final copy to the back buffer.
#include "render/postfx.h"

#include <algorithm>
#include <utility>

#include "platform/globals.h"
#include "platform/log.h"
#include "device/d3d_render.h"
#include "device/d3d_shaders.h"
#include "device/d3d_texture.h"
#include "device/splash.h"

Texture* scene_image = nullptr;
Texture* postfx_tex[4] = {};

namespace {
enum {
  SH_ART1,
  SH_MAIN,
  SH_NONE,
  SH_EDGE,
  SH_ROWS_FIRST,
  SH_ROWS,
  SH_COLS_FIRST,
  SH_COLS,
  SH_COLS_FINAL,
  SH_COMBINE,
  SH_COUNT
};
ShaderRecord* shaders[SH_COUNT] = {};

struct ShaderSpec {
  const char* file;
  const char* defines;  // NUL-separated name/value pairs
};
const ShaderSpec shader_specs[SH_COUNT] = {
    {"postfx_art1.sh", nullptr},        {"postfx_main.sh", nullptr},         {"postfx_none.sh", nullptr},
    {"mlaa_edge.sh", nullptr},          {"mlaa_rows.sh", "FIRST\0" "1\0"},   {"mlaa_rows.sh", nullptr},
    {"mlaa_cols.sh", "FIRST\0" "1\0"},  {"mlaa_cols.sh", nullptr},           {"mlaa_cols.sh", "FINAL\0" "1\0"},
    {"mlaa_combine.sh", nullptr},
};

// Geometry target 0 needs precision for normals and depth, as does the
// light buffer; B must match the scene image because they swap.
const int target_kinds[4] = {RT_A8R8G8B8, RT_A8R8G8B8, RT_A16B16G16R16F, RT_A16B16G16R16F};

void fullscreen_pass(Texture* target, ShaderRecord* sh) {
  set_render_target(0, target, false);
  set_shaders(sh);
  draw_postfx();
}

void mlaa_search(bool horizontal) {
  float w = float(d3d_wd), h = float(d3d_ht);
  Texture* a_tex = postfx_tex[POSTFX_A];
  // Horizontal passes alternate B and C and end in C; vertical ones
  // alternate D and B and end in C under a blue/alpha write mask.
  Texture* ping = horizontal ? postfx_tex[POSTFX_B] : postfx_tex[POSTFX_D];
  Texture* pong = horizontal ? postfx_tex[POSTFX_C] : postfx_tex[POSTFX_B];
  Texture* prev = nullptr;
  set_texture(0, a_tex);
  for (int a = 1; a < 255; a *= 2) {
    bool first = a == 1, final = !horizontal && a == 128;
    Texture* target = final ? postfx_tex[POSTFX_C] : ping;
    set_render_target(0, target, false);
    if (first) clear_view_color(D3dColor(0));
    set_texture(1, prev);
    if (horizontal)
      set_vs_const(17, vec4f(1.f / w, 0, float(a) / w, 0));
    else
      set_vs_const(17, vec4f(0, 1.f / h, 0, float(a) / h));
    set_ps_const(0, vec4f(float(a) / 255.f, 0, 0, 0));
    if (final) set_color_write_mask(12);
    int sh = horizontal ? (first ? SH_ROWS_FIRST : SH_ROWS) : (first ? SH_COLS_FIRST : final ? SH_COLS_FINAL : SH_COLS);
    set_shaders(shaders[sh]);
    draw_postfx();
    prev = target;
    std::swap(ping, pong);
  }
  set_texture(1, nullptr);
}
}  // namespace

void decay_frame_color(vec4f& prev, vec4f& cur, float dt) {
  prev = cur;
  cur.x = std::max(cur.x, 0.f);
  cur.y = std::max(cur.y, 0.f);
  cur.z = std::max(cur.z, 0.f);
  cur.w = std::max(0.f, cur.w * (1 - dt / 2) - dt / 2);
}

void create_scene_image_texture() {
  scene_image = create_scene_image();
  if (!scene_image) fatal("can't create scene image texture");
}

void release_scene_image_texture() {
  if (scene_image) release_texture(scene_image);
  scene_image = nullptr;
}

void init_postfx() {
  show_splash("Creating post-effect textures", -1);
  for (int i = 0; i < 4; i++) {
    postfx_tex[i] = create_render_target(0, 0, target_kinds[i]);
    if (!postfx_tex[i]) fatal("can't create textures for post-effect");
  }
  show_splash("Compiling post-effect shaders", -1);
  for (int i = 0; i < SH_COUNT; i++) shaders[i] = load_shader(shader_specs[i].file, shader_specs[i].defines);
}

void close_postfx() {
  for (auto& s : shaders) {
    if (s) release_shader(s);
    s = nullptr;
  }
  for (auto& t : postfx_tex) {
    if (t) release_texture(t);
    t = nullptr;
  }
}

void set_fullscreen_tc_const(int reg, int width, int height) {
  set_vs_const(reg, vec4f(0.5f, -0.5f, 0.5f / float(width) + 0.5f, 0.5f / float(height) + 0.5f));
}

void render_mlaa() {
  float w = float(d3d_wd), h = float(d3d_ht);
  set_zenable(false);
  set_blend_none();
  set_stencil_test(0, 0, CMP_ALWAYS);
  set_fullscreen_tc_const(16, d3d_wd, d3d_ht);
  // Edges between each pixel and its right and lower neighbours.
  set_texture(0, scene_image);
  set_texture_filter(0, false);
  set_vs_const(17, vec4f(1.f / w, 1.f / h, 0, 0));
  fullscreen_pass(postfx_tex[POSTFX_A], shaders[SH_EDGE]);
  mlaa_search(true);
  mlaa_search(false);
  set_color_write_mask(15);
  set_texture(0, scene_image);
  set_texture(1, postfx_tex[POSTFX_A]);
  set_texture(2, postfx_tex[POSTFX_C]);
  set_vs_const(17, vec4f(1.f / w, 1.f / h, 0, 0));
  set_ps_const(0, vec4f(1.f / w, 1.f / h, 0, 0));
  fullscreen_pass(postfx_tex[POSTFX_B], shaders[SH_COMBINE]);
  for (int i = 0; i < 3; i++) set_texture(i, nullptr);
  set_texture_filter(0, true);
  std::swap(scene_image, postfx_tex[POSTFX_B]);
}

void render_post_pass(const float frame_color[4]) {
  set_wireframe(false);
  set_zenable(false);
  set_zwrite(false);
  set_blend_none();
  set_stencil_test(0, 0, CMP_ALWAYS);
  if (use_ppaa) render_mlaa();
  set_fullscreen_tc_const(16, d3d_wd, d3d_ht);
  set_vs_const(17, vec4f(1.f / float(d3d_wd), 1.f / float(d3d_ht), 0, 0));
  vec4f flash(frame_color[0], frame_color[1], frame_color[2], frame_color[3]);
  if (!use_postfx || use_wireframe) {
    set_back_buffer_target();
    set_texture(0, scene_image);
    set_ps_const(1, flash);
    set_shaders(shaders[SH_NONE]);
    draw_postfx();
  } else {
    set_texture(0, scene_image);
    fullscreen_pass(postfx_tex[POSTFX_A], shaders[SH_ART1]);
    set_back_buffer_target();
    set_texture(0, postfx_tex[POSTFX_A]);
    set_ps_const(1, flash);
    set_shaders(shaders[SH_MAIN]);
    draw_postfx();
  }
  set_texture(0, nullptr);
  set_zenable(true);
  set_zwrite(true);
}
