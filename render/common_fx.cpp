// Particles and trails in the frame: both pools are drawn instanced and
// additively into two accumulation images (blend particles into B, glow
// particles and trails into A), which "postBlend.sh" composites over the
// scene image with premultiplied alpha. Additive accumulation makes the
// result independent of drawing order, so nothing is sorted.
#include "render/common_fx.h"

#include <cstring>
#include <initializer_list>

#include "platform/globals.h"
#include "platform/log.h"
#include "device/d3d_render.h"
#include "device/d3d_shaders.h"
#include "device/d3d_texture.h"
#include "device/d3d_vbuf.h"
#include "device/dynVBWriter.h"
#include "render/effect_limits.h"
#include "render/particles.h"
#include "render/postfx.h"
#include "render/trailFx.h"

namespace {
Texture* blend_tex = nullptr;
Texture* glow_tex = nullptr;
ShaderRecord* effect_sh = nullptr;
ShaderRecord* blend_sh = nullptr;
ShaderRecord* glow_sh = nullptr;
ShaderRecord* post_blend_sh = nullptr;
VDecl* particle_decl = nullptr;
VDecl* trail_decl = nullptr;
VertexBuffer* quad_vb = nullptr;
IndexBuffer* quad_ib = nullptr;

void create_decls() {
  const VertexElement particle[] = {
      {0, 0, VDECL_SHORT2, VDECL_POSITION, 10},   {0, 1, VDECL_FLOAT3, VDECL_POSITION, 0},
      {12, 1, VDECL_FLOAT2, VDECL_POSITION, 1},   {20, 1, VDECL_D3DCOLOR, VDECL_COLOR, 0},
      {24, 1, VDECL_FLOAT4, VDECL_TEXCOORD, 0},   VDECL_END,
  };
  const VertexElement trail[] = {
      {0, 0, VDECL_FLOAT3, VDECL_POSITION, 0},
      {12, 0, VDECL_D3DCOLOR, VDECL_COLOR, 0},
      {16, 0, VDECL_FLOAT2, VDECL_TEXCOORD, 0},
      VDECL_END,
  };
  particle_decl = create_vdecl(particle);
  trail_decl = create_vdecl(trail);
}

void create_quad() {
  quad_vb = create_vb(16, BUF_STATIC);
  quad_ib = create_ib(6, BUF_STATIC);
  if (!quad_vb || !quad_ib) fatal("can't create particle VB");
  auto* vp = static_cast<int16_t*>(lock_vb(quad_vb, 0, 0));
  G_ASSERT(vp);
  const int16_t corners[8] = {-1, -1, 1, -1, -1, 1, 1, 1};
  std::memcpy(vp, corners, sizeof(corners));
  unlock_vb(quad_vb);
  auto* ip = static_cast<uint16_t*>(lock_ib(quad_ib, 0, 0));
  G_ASSERT(ip);
  const uint16_t idx[6] = {0, 2, 1, 1, 2, 3};
  std::memcpy(ip, idx, sizeof(idx));
  unlock_ib(quad_ib);
}

// The writer's draw: one instance of the quad per 40-byte record.
void draw_particle_instances(int instances, int) {
  set_vb(1, dynVBWriter.vb, 0, int(sizeof(ParticleInstance)));
  set_instancing(instances);
  draw_indexed(PRIM_TRIANGLELIST, 0, 0, 4, 0, 2);
}

void draw_pool(const ParticlePool& pool, float elapsed, float t, const vec4f& cam) {
  dynVBWriter.begin(draw_particle_instances, 0);
  const Particle* r = pool.recs.data;
  for (int i = 0, n = pool.recs.count; i < n; i++) {
    if (r[i].life <= 0) continue;
    ParticleInstance inst;
    if (!make_particle_instance(r[i], elapsed, t, cam, inst)) continue;
    char* ptr = dynVBWriter.reserve(int(sizeof(ParticleInstance)));
    G_ASSERT(ptr);
    std::memcpy(ptr, &inst, sizeof(inst));
    dynVBWriter.advance(int(sizeof(ParticleInstance)), 1);
  }
  dynVBWriter.flush(true);
}

void draw_trails(float t, const Matrix44& camera) {
  set_vb(0, dynVBWriter.vb, 0, int(sizeof(TrailVertex)));
  dynVBWriter.begin(dyn_vb_draw_prims, PRIM_TRIANGLELIST);
  for (const Trail& tr : trails) {
    if (tr.count <= 0) continue;
    int bytes = tr.count * TRAIL_VERTICES_PER_POINT * int(sizeof(TrailVertex));
    char* ptr = dynVBWriter.reserve(bytes);
    G_ASSERT(ptr);
    int n = write_trail_vertices(tr, t, camera.row[3], camera.row[0], camera.row[1], reinterpret_cast<TrailVertex*>(ptr));
    dynVBWriter.advance(n * int(sizeof(TrailVertex)), tr.count * 2);
  }
  dynVBWriter.flush(true);
}

// Steps 1-4: both pools and the trails into B (blend) and A (glow).
void accumulate(float elapsed, float t, const Matrix44& camera) {
  set_render_target(0, postfx_tex[POSTFX_B], true);
  set_render_target(1, postfx_tex[POSTFX_A]);
  clear_view_color(D3dColor(0));
  set_vdecl(particle_decl);
  set_vb(0, quad_vb, 0, 4);
  set_ib(quad_ib);
  set_vs_const(16, camera.row, 3);
  set_blend_additive();
  set_cull_mode(0);
  set_zwrite(false);
  set_zenable(true);
  const vec4f& cam = camera.row[3];
  if (blend_sh && blend_particles.recs.count) {
    set_shaders(blend_sh);
    set_texture(0, blend_tex);
    draw_pool(blend_particles, elapsed, t, cam);
  }
  if (glow_sh && glow_particles.recs.count) {
    set_shaders(glow_sh);
    set_texture(0, glow_tex);
    draw_pool(glow_particles, elapsed, t, cam);
  }
  set_instancing(0);
  set_vdecl(trail_decl);
  if (effect_sh) {
    set_shaders(effect_sh);
    set_texture(0, glow_tex);
    draw_trails(t, camera);
  }
}

// Step 5: B and A over the scene image with premultiplied alpha.
void composite() {
  set_blend_none();
  set_cull_mode(1);
  set_zwrite(true);
  set_render_target(0, scene_image, true);
  set_render_target(1, nullptr);
  if (!post_blend_sh) return;
  set_shaders(post_blend_sh);
  set_texture(0, postfx_tex[POSTFX_B]);
  set_texture(1, postfx_tex[POSTFX_A]);
  set_fullscreen_tc_const(16, get_target_width(), get_target_height());
  set_zenable(false);
  set_blend_prealpha();
  set_wireframe(false);
  draw_postfx();
  set_wireframe(use_wireframe);
  set_texture(0, nullptr);
  set_texture(1, nullptr);
}
}  // namespace

void reset_common_fx() {
  blend_particles.reset();
  glow_particles.reset();
  reset_trails();
}

void init_common_fx() {
  reset_common_fx();
  blend_tex = load_texture("blendfx.dds", true);
  glow_tex = load_texture("glowfx.dds", true);
  effect_sh = load_shader("effect.sh", nullptr);
  blend_sh = load_shader("blendPart.sh", nullptr);
  glow_sh = load_shader("glowPart.sh", nullptr);
  post_blend_sh = load_shader("postBlend.sh", nullptr);
  create_decls();
  create_quad();
}

void close_common_fx() {
  for (ShaderRecord** s : {&effect_sh, &blend_sh, &glow_sh, &post_blend_sh}) {
    if (*s) release_shader(*s);
    *s = nullptr;
  }
  for (Texture** tx : {&blend_tex, &glow_tex}) {
    if (*tx) release_texture(*tx);
    *tx = nullptr;
  }
  if (quad_vb) release_vb(quad_vb);
  if (quad_ib) release_ib(quad_ib);
  quad_vb = nullptr;
  quad_ib = nullptr;
  blend_particles.recs.reset();
  glow_particles.recs.reset();
}

void update_common_fx(float dt) {
  end_effect_limits_step();
  blend_particles.update(dt);
  glow_particles.update(dt);
  update_trails(dt);
}

void render_common_fx(float elapsed, float t, const Matrix44& camera) {
  if (!quad_vb) return;
  accumulate(elapsed, t, camera);
  composite();
  // Step 6: the scene's usual state.
  set_blend_none();
  set_cull_mode(1);
  set_zenable(true);
  set_zwrite(true);
}
