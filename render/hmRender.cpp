// The GPU half of land and water: resources, the field rebuild (height and
// colour uploads, normals, aperture), their smooth interpolation, and the
// per-frame buffer fills and draws.
//
// Sections: the renderer's state · resource helpers · the field rebuild ·
// interpolation and land bindings · start-up and shutdown · steps and frames
// · draws.
#include <cstring>
#include <utility>

#include "render/frame_view.h"
#include "platform/globals.h"
#include "platform/log.h"
#include "platform/sim_step.h"
#include "device/d3d_render.h"
#include "device/d3d_shaders.h"
#include "device/d3d_texture.h"
#include "device/d3d_vbuf.h"
#include "device/splash.h"
#include "render/hmRender.h"
#include "render/postfx.h"
#include "render/sky.h"
#include "world/heightmap.h"

namespace HeightmapRenderer {

namespace {
constexpr int NORMAL_SIZE = 1024;

// ---- the renderer's state ----

enum {
  SH_LAND, SH_LAND_INST, SH_DR_LAND, SH_DR_LAND_INST, SH_WATER, SH_DR_WATER,
  SH_LOAD_FLOAT, SH_LOAD_COLOR, SH_NORM, SH_APER0, SH_APER1, SH_APER2, SH_INTERP, SH_HORIZON,
  SH_COUNT
};

// Everything the land and water renderer keeps between calls.
struct LandGpu {
  bool high = false;         // quality of the resources made at start-up
  bool dirty = true;         // the fields need rebuilding from the world
  bool fields_lost = true;   // both targets of each pair need filling

  VertexBuffer *upload_vb, *land_vb, *horizon_vb, *horizon_depth_vb, *inst_vb, *water_vb, *patch_vb;
  IndexBuffer *patch_ib, *land_ib, *horizon_ib, *water_ib;
  VDecl *land_decl, *horizon_decl, *patch_decl, *height_decl, *color_decl, *water_decl;
  Texture* height_tex;
  Texture* color_tex[2];
  Texture* normal_tex[3];  // two alternating targets and the interpolated result
  Texture* aper_tex[3];
  Texture *detail_tex, *foam_tex;
  int normal_cur = 0, aper_cur = 0;
  ShaderRecord* shaders[SH_COUNT];

  int horizon_indices = 0;
  FrameStats stats;
  float frame_t = 0;  // the frame's fraction of the step
};
LandGpu g;

// ---- resource helpers ----

void check_region(int x0, int z0, int nx, int nz) {
  G_ASSERT(nx > 0 && nz > 0);
  G_ASSERT(x0 >= 0 && z0 >= 0 && x0 + nx <= HMAP_SIZE && z0 + nz <= HMAP_SIZE);
}

VertexBuffer* make_vb(int size, int flags, const char* fail) {
  VertexBuffer* vb = create_vb(size, flags);
  if (!vb) fatal("%s", fail);
  return vb;
}
IndexBuffer* make_ib(int count, int flags, const char* fail) {
  IndexBuffer* ib = create_ib(count, flags);
  if (!ib) fatal("%s", fail);
  return ib;
}
Texture* make_target(int size, int kind) {
  Texture* t = create_render_target(size, size, kind);
  if (!t) fatal("can't create land textures");
  return t;
}

void fill_patch_mesh() {
  auto* vp = static_cast<float*>(lock_vb(g.patch_vb, 0, 0));
  G_ASSERT(vp);
  for (int j = 0; j < 5; j++)
    for (int i = 0; i < 5; i++) {
      vp[(j * 5 + i) * 2] = float(i) * 0.25f;
      vp[(j * 5 + i) * 2 + 1] = float(j) * 0.25f;
    }
  unlock_vb(g.patch_vb);
  auto* ip = static_cast<uint16_t*>(lock_ib(g.patch_ib, 0, 0));
  G_ASSERT(ip);
  for (int j = 0; j < 4; j++)
    for (int i = 0; i < 4; i++) {
      uint16_t v = uint16_t(j * 5 + i);
      uint16_t q[6] = {v, uint16_t(v + 5), uint16_t(v + 1), uint16_t(v + 1), uint16_t(v + 5), uint16_t(v + 6)};
      std::memcpy(ip + (j * 4 + i) * 6, q, sizeof(q));
    }
  unlock_ib(g.patch_ib);
}

void fill_horizon_ib() {
  auto* ip = static_cast<uint16_t*>(lock_ib(g.horizon_ib, 0, 0));
  G_ASSERT(ip);
  g.horizon_indices = buildHorizonIndices(ip);
  unlock_ib(g.horizon_ib);
}

void field_pass_states() {
  set_zenable(false);
  set_zwrite(false);
  set_blend_none();
  set_stencil_test(0, 0, CMP_ALWAYS);
  set_cull_mode(0);
  set_instancing(0);
}

// ---- the field rebuild ----

// Writes per-cell values into a 256 x 256 target as points, 4096 to a draw.
// The points of every draw are written in one go, so the buffer is mapped
// once per field.
void upload_points(Texture* target, ShaderRecord* sh, VDecl* decl, int kind) {
  int x0 = 0, z0 = 0, nx = HMAP_SIZE, nz = HMAP_SIZE;
  check_region(x0, z0, nx, nz);
  set_render_target(0, target, false);
  set_shaders(sh);
  set_vs_const(16, vec4f(1.f / 128, -1.f / 128, -1, 1));
  constexpr int BATCHES = HMAP_CELLS / UPLOAD_BATCH;
  int count[BATCHES];
  auto* p = static_cast<UploadPoint*>(lock_vb(g.upload_vb, 0, 0));
  G_ASSERT(p);
  for (int b = 0; b < BATCHES; b++) {
    int first = b * UPLOAD_BATCH;
    UploadPoint* at = p + first;
    count[b] = kind == 0 ? buildUploadHeights(first, UPLOAD_BATCH, at)
                         : buildUploadColors(first, UPLOAD_BATCH, kind == 2, at);
  }
  unlock_vb(g.upload_vb);
  set_vdecl(decl);
  set_vb(0, g.upload_vb, 0, sizeof(UploadPoint));
  for (int b = 0; b < BATCHES; b++)
    if (count[b] > 0) draw_prim(PRIM_POINTLIST, b * UPLOAD_BATCH, count[b]);
}

// A full-screen pass of a field shader over the region into target.
void region_pass(Texture* target, ShaderRecord* sh, int x0, int z0, int nx, int nz) {
  check_region(x0, z0, nx, nz);
  set_render_target(0, target, false);
  set_shaders(sh);
  set_texture(0, g.height_tex);
  set_texture_address(0, 0);
  set_vs_const(16, vec4f(float(nx) / 256, float(nz) / 256, float(2 * x0 - 256 + nx) / 256,
                         -float(2 * z0 - 256 + nz) / 256));
  set_vs_const(17, vec4f(0.5f, -0.5f, 0.5f + 0.5f / 256, 0.5f + 0.5f / 256));
  set_ps_const(0, vec4f(1.f / 256, 1.f / 256, 0, 0));
  draw_postfx();
}

void rebuild_fields() {
  field_pass_states();
  upload_points(g.height_tex, g.shaders[SH_LOAD_FLOAT], g.height_decl, 0);
  int passes = g.fields_lost ? 2 : 1;  // after a loss both targets of a pair get the new field
  for (int i = 0; i < passes; i++) {
    g.normal_cur ^= 1;
    region_pass(g.normal_tex[g.normal_cur], g.shaders[SH_NORM], 0, 0, HMAP_SIZE, HMAP_SIZE);
    if (g.high) {
      g.aper_cur ^= 1;
      int q = land_shadow_quality < 0 ? 0 : land_shadow_quality > 2 ? 2 : land_shadow_quality;
      region_pass(g.aper_tex[g.aper_cur], g.shaders[SH_APER0 + q], 0, 0, HMAP_SIZE, HMAP_SIZE);
    }
  }
  set_texture(0, nullptr);
  upload_points(g.color_tex[0], g.shaders[SH_LOAD_COLOR], g.color_decl, 1);
  upload_points(g.color_tex[1], g.shaders[SH_LOAD_COLOR], g.color_decl, 2);
  g.dirty = false;
  g.fields_lost = false;
}

// ---- interpolation and land bindings ----

void interp_pair(Texture* pair[3], int cur, int size, float t) {
  set_render_target(0, pair[2], false);
  set_shaders(g.shaders[SH_INTERP]);
  set_texture(0, pair[cur ^ 1]);
  set_texture(1, pair[cur]);
  set_fullscreen_tc_const(16, size, size);
  set_ps_const(0, vec4f(t, 0, 0, 0));
  draw_postfx();
}

void bind_land_textures() {
  if (g.high) set_texture(0, g.aper_tex[2]);
  set_texture(1, g.normal_tex[2]);
  set_texture(2, g.color_tex[0]);
  set_texture(3, g.color_tex[1]);
  set_texture(4, g.detail_tex);
  for (int s = 0; s <= 4; s++) {
    set_texture_filter(s, true);
    set_texture_address(s, 0);
  }
}

void set_land_consts() {
  set_vs_const(16, vec4f(1.f / 256, 1.f / 256, 1.f / 512, 1.f / 2048));
  set_ps_const(0, Sky::sun_const());
  set_ps_const(1, Sky::table(), Sky::TABLE_ENTRIES);
}

const char* const HIGH_DEF = "HIGH\0" "1\0";
const char* const INST_DEF = "INST\0" "1\0";
const char* const HIGH_INST_DEF = "HIGH\0" "1\0" "INST\0" "1\0";
}  // namespace

// ---- start-up and shutdown ----

void init() {
  show_splash("Compiling land shaders", -1);
  g.high = gfx_quality == 1;
  g.upload_vb = make_vb(HMAP_CELLS * int(sizeof(UploadPoint)), 0, "Can't create color VB");
  g.land_vb = make_vb(WINDOW * WINDOW * 8, 0, "Can't create land VB");
  g.inst_vb = make_vb(MAX_PATCHES * 20, 0, "Can't create land VB");
  g.patch_vb = make_vb(PATCH_VERTS * 8, BUF_STATIC, "Can't create land VB");
  // The horizon ring at both qualities: without it the sea would end at the
  // land disc's edge.
  g.horizon_vb = make_vb(HORIZON_SIZE * HORIZON_SIZE * 8, 0, "Can't create land VB");
  g.horizon_depth_vb = make_vb(HORIZON_SIZE * HORIZON_SIZE * 4, 0, "Can't create land VB");
  g.water_vb = make_vb(WINDOW * WINDOW * (g.high ? 28 : 12), 0, "Can't create water VB");
  g.patch_ib = make_ib(PATCH_INDICES, BUF_STATIC, "Can't create land IB");
  g.land_ib = make_ib(LAND_IB_INDICES, BUF_STATIC, "Can't create land IB");
  g.horizon_ib = make_ib(HORIZON_IB_INDICES, BUF_STATIC, "Can't create land IB");
  g.water_ib = make_ib(WATER_IB_INDICES, 0, "Can't create water IB");
  fill_patch_mesh();
  fill_horizon_ib();

  g.height_tex = make_target(HMAP_SIZE, RT_R32F);
  for (auto& t : g.color_tex) t = make_target(HMAP_SIZE, RT_A8R8G8B8);
  for (auto& t : g.normal_tex) t = make_target(NORMAL_SIZE, RT_A8R8G8B8);
  if (g.high)
    for (auto& t : g.aper_tex) t = make_target(HMAP_SIZE, RT_A8R8G8B8);
  g.detail_tex = load_texture("detail.dds", false);
  if (!g.detail_tex) fatal("can't create land textures");
  if (g.high) {
    g.foam_tex = load_texture("foam.dds", false);
    if (!g.foam_tex) fatal("can't create land textures");
  }

  static const VertexElement land_el[] = {
      {0, 0, VDECL_SHORT2, VDECL_POSITION, 0}, {4, 0, VDECL_FLOAT1, VDECL_POSITION, 1}, VDECL_END};
  // The horizon also reads the water depth of each vertex (stream 1), so
  // that far lakes show as water.
  static const VertexElement horizon_el[] = {{0, 0, VDECL_SHORT2, VDECL_POSITION, 0},
                                             {4, 0, VDECL_FLOAT1, VDECL_POSITION, 1},
                                             {0, 1, VDECL_FLOAT1, VDECL_TEXCOORD, 0},
                                             VDECL_END};
  static const VertexElement patch_el[] = {{0, 0, VDECL_FLOAT2, VDECL_POSITION, 0},
                                           {0, 1, VDECL_SHORT2, VDECL_POSITION, 1},
                                           {4, 1, VDECL_FLOAT4, VDECL_POSITION, 2},
                                           VDECL_END};
  static const VertexElement height_el[] = {
      {0, 0, VDECL_SHORT2, VDECL_POSITION, 0}, {4, 0, VDECL_FLOAT1, VDECL_TEXCOORD, 0}, VDECL_END};
  static const VertexElement color_el[] = {
      {0, 0, VDECL_SHORT2, VDECL_POSITION, 0}, {4, 0, VDECL_D3DCOLOR, VDECL_COLOR, 0}, VDECL_END};
  // Both water layouts also read the land height of the same window vertex
  // from the land VB on stream 1, for the depth tint.
  static const VertexElement water_hi_el[] = {{0, 0, VDECL_SHORT2, VDECL_POSITION, 0},
                                              {4, 0, VDECL_FLOAT1, VDECL_POSITION, 1},
                                              {8, 0, VDECL_FLOAT4, VDECL_TEXCOORD, 0},
                                              {24, 0, VDECL_FLOAT1, VDECL_TEXCOORD, 1},
                                              {4, 1, VDECL_FLOAT1, VDECL_POSITION, 2},
                                              VDECL_END};
  static const VertexElement water_lo_el[] = {{0, 0, VDECL_SHORT2, VDECL_POSITION, 0},
                                              {4, 0, VDECL_FLOAT1, VDECL_POSITION, 1},
                                              {8, 0, VDECL_FLOAT1, VDECL_TEXCOORD, 1},
                                              {4, 1, VDECL_FLOAT1, VDECL_POSITION, 2},
                                              VDECL_END};
  g.land_decl = create_vdecl(land_el);
  g.horizon_decl = create_vdecl(horizon_el);
  g.patch_decl = create_vdecl(patch_el);
  g.height_decl = create_vdecl(height_el);
  g.color_decl = create_vdecl(color_el);
  g.water_decl = create_vdecl(g.high ? water_hi_el : water_lo_el);

  // Forward shaders at high quality read the aperture and the flow phases.
  g.shaders[SH_LAND] = load_shader("land.sh", g.high ? HIGH_DEF : nullptr);
  g.shaders[SH_LAND_INST] = load_shader("land.sh", g.high ? HIGH_INST_DEF : INST_DEF);
  g.shaders[SH_WATER] = load_shader("water.sh", g.high ? HIGH_DEF : nullptr);
  g.shaders[SH_LOAD_FLOAT] = load_shader("load_float.sh", nullptr);
  g.shaders[SH_LOAD_COLOR] = load_shader("load_color.sh", nullptr);
  g.shaders[SH_NORM] = load_shader(g.high ? "calc_norm.sh" : "calc_norm_low.sh", nullptr);
  g.shaders[SH_INTERP] = load_shader("interp_tex.sh", nullptr);
  g.shaders[SH_HORIZON] = load_shader("horizon.sh", g.high ? HIGH_DEF : nullptr);
  if (g.high) {
    g.shaders[SH_DR_LAND] = load_shader("dr_land.sh", nullptr);
    g.shaders[SH_DR_LAND_INST] = load_shader("dr_land.sh", INST_DEF);
    g.shaders[SH_DR_WATER] = load_shader("dr_water.sh", nullptr);
    g.shaders[SH_APER0] = load_shader("calc_aper.sh", "QUALITY\0" "0\0");
    g.shaders[SH_APER1] = load_shader("calc_aper.sh", "QUALITY\0" "1\0");
    g.shaders[SH_APER2] = load_shader("calc_aper.sh", "QUALITY\0" "2\0");
  }
  resetFlow();
  g.dirty = true;
  g.fields_lost = true;
}

void close() {
  for (auto& s : g.shaders) {
    if (s) release_shader(s);
    s = nullptr;
  }
  auto rel_tex = [](Texture*& t) {
    if (t) release_texture(t);
    t = nullptr;
  };
  rel_tex(g.foam_tex);
  rel_tex(g.detail_tex);
  for (auto& t : g.aper_tex) rel_tex(t);
  for (auto& t : g.normal_tex) rel_tex(t);
  for (auto& t : g.color_tex) rel_tex(t);
  rel_tex(g.height_tex);
  for (IndexBuffer** ib : {&g.water_ib, &g.horizon_ib, &g.land_ib, &g.patch_ib}) {
    if (*ib) release_ib(*ib);
    *ib = nullptr;
  }
  for (VertexBuffer** vb : {&g.water_vb, &g.horizon_depth_vb, &g.horizon_vb, &g.patch_vb, &g.inst_vb, &g.land_vb, &g.upload_vb}) {
    if (*vb) release_vb(*vb);
    *vb = nullptr;
  }
}

// ---- steps and frames ----

void markDirty() { g.dirty = true; }
bool isDirty() { return g.dirty; }

void afterResize() {
  // Render targets are re-created empty by a resize.
  g.dirty = true;
  g.fields_lost = true;
}

void step(float dt) {
  int cx = cameraCell(render_view().cameraPos().x), cz = cameraCell(render_view().cameraPos().z);
  flowStep(dt, cx, cz, g.high);
  // The water moves every step, so the surface heights and normals follow.
  g.dirty = true;
}

void prepareFrame(float k) {
  float t = k < 0 ? 0 : k > 1 ? 1 : k;
  g.frame_t = t;
  if (!g.land_vb) return;
  if (g.dirty) rebuild_fields();
  field_pass_states();
  if (g.high) interp_pair(g.aper_tex, g.aper_cur, HMAP_SIZE, t);
  interp_pair(g.normal_tex, g.normal_cur, NORMAL_SIZE, t);
  set_texture(0, nullptr);
  set_texture(1, nullptr);
  set_back_buffer_target();
  set_cull_mode(1);
  set_zenable(true);
  set_zwrite(true);

  HeightmapData::morphHmap(t * SIM_STEP_SECONDS, curh);
  computeShownDepth(t);
  int cx = cameraCell(render_view().cameraPos().x), cz = cameraCell(render_view().cameraPos().z);
  int ox = windowOrigin(cx), oz = windowOrigin(cz);
  g.stats.originX = ox;
  g.stats.originZ = oz;

  auto* ip = static_cast<PatchInstance*>(lock_vb(g.inst_vb, 0, 0));
  G_ASSERT(ip);
  g.stats.patches = buildCentrePatches(ox, oz, ip);
  unlock_vb(g.inst_vb);

  auto* vp = static_cast<LandVertex*>(lock_vb(g.land_vb, 0, 0));
  G_ASSERT(vp);
  buildLandVerts(ox, oz, vp);
  unlock_vb(g.land_vb);

  auto* lp = static_cast<uint16_t*>(lock_ib(g.land_ib, 0, 0));
  G_ASSERT(lp);
  g.stats.landIndices = buildLandIndices(ox, oz, lp);
  unlock_ib(g.land_ib);

  {
    auto* hp = static_cast<LandVertex*>(lock_vb(g.horizon_vb, 0, 0));
    G_ASSERT(hp);
    auto* hd = static_cast<float*>(lock_vb(g.horizon_depth_vb, 0, 0));
    G_ASSERT(hd);
    buildHorizonVerts(cx, cz, hp, hd);
    unlock_vb(g.horizon_depth_vb);
    unlock_vb(g.horizon_vb);
  }

  void* wv = lock_vb(g.water_vb, 0, 0);
  G_ASSERT(wv);
  if (g.high)
    buildWaterVertsHigh(ox, oz, t, static_cast<WaterVertexHigh*>(wv));
  else
    buildWaterVertsLow(ox, oz, t, static_cast<WaterVertexLow*>(wv));
  unlock_vb(g.water_vb);

  auto* wp = static_cast<uint16_t*>(lock_ib(g.water_ib, 0, 0));
  G_ASSERT(wp);
  g.stats.waterIndices = buildWaterIndices(ox, oz, wp);
  unlock_ib(g.water_ib);
}

// ---- draws ----

void renderLand(bool geometry_pass) {
  if (!g.land_vb) return;
  bool dr = geometry_pass && g.high;
  bind_land_textures();
  set_land_consts();
  set_blend_none();
  if (g.stats.patches > 0) {
    set_vdecl(g.patch_decl);
    set_vb(0, g.patch_vb, 0, 8);
    set_vb(1, g.inst_vb, 0, sizeof(PatchInstance));
    set_ib(g.patch_ib);
    set_shaders(g.shaders[dr ? SH_DR_LAND_INST : SH_LAND_INST]);
    set_instancing(g.stats.patches);
    draw_indexed(PRIM_TRIANGLELIST, 0, 0, PATCH_VERTS, 0, PATCH_TRIS);
    set_instancing(0);
  }
  if (g.stats.landIndices > 0) {
    set_vdecl(g.land_decl);
    set_vb(0, g.land_vb, 0, sizeof(LandVertex));
    set_ib(g.land_ib);
    set_shaders(g.shaders[dr ? SH_DR_LAND : SH_LAND]);
    draw_indexed(PRIM_TRIANGLELIST, 0, 0, WINDOW * WINDOW, 0, g.stats.landIndices / 3);
  }
}

void renderWater(bool geometry_pass) {
  if (!g.water_vb || g.stats.waterIndices <= 0) return;
  bool dr = geometry_pass && g.high;
  bind_land_textures();
  set_land_consts();
  if (g.high) {
    set_texture(0, g.aper_tex[2]);
    set_texture(4, g.foam_tex);
    set_ps_const(12, vec4f(flowPhaseWeight(g.frame_t), 0, 0, 0));
  }
  // The forward water is blended over the land; the geometry pass writes
  // opaque buffer values.
  if (dr)
    set_blend_none();
  else
    set_blend_alpha();
  set_vdecl(g.water_decl);
  set_vb(0, g.water_vb, 0, g.high ? sizeof(WaterVertexHigh) : sizeof(WaterVertexLow));
  set_vb(1, g.land_vb, 0, sizeof(LandVertex));
  set_ib(g.water_ib);
  set_shaders(g.shaders[dr ? SH_DR_WATER : SH_WATER]);
  draw_indexed(PRIM_TRIANGLELIST, 0, 0, WINDOW * WINDOW, 0, g.stats.waterIndices / 3);
  set_vb(1, nullptr, 0, 0);
  set_blend_none();
  if (g.high) set_texture(1, g.height_tex);
}

void renderHorizon() {
  if (!g.horizon_vb || g.horizon_indices <= 0) return;
  bind_land_textures();
  if (g.high) set_texture(4, g.foam_tex);  // far water ripples like the near water
  set_land_consts();
  set_blend_none();
  set_vdecl(g.horizon_decl);
  set_vb(0, g.horizon_vb, 0, sizeof(LandVertex));
  set_vb(1, g.horizon_depth_vb, 0, 4);
  set_ib(g.horizon_ib);
  set_shaders(g.shaders[SH_HORIZON]);
  draw_indexed(PRIM_TRIANGLELIST, 0, 0, HORIZON_SIZE * HORIZON_SIZE, 0, g.horizon_indices / 3);
  set_vb(1, nullptr, 0, 0);
}

const FrameStats& frameStats() { return g.stats; }

}  // namespace HeightmapRenderer
