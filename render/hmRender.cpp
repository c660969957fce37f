// The GPU half of land and water: resources, the field rebuild (height and
// colour uploads, normals, aperture), their smooth interpolation, and the
// per-frame buffer fills and draws.
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

bool high = false;   // quality of the resources made at start-up
bool dirty = true;
bool fields_lost = true;  // both targets of each pair need filling

VertexBuffer *upload_vb, *land_vb, *horizon_vb, *horizon_depth_vb, *inst_vb, *water_vb, *patch_vb;
IndexBuffer *patch_ib, *land_ib, *horizon_ib, *water_ib;
VDecl *land_decl, *horizon_decl, *patch_decl, *height_decl, *color_decl, *water_decl;
Texture* height_tex;
Texture* color_tex[2];
Texture* normal_tex[3];  // two alternating targets and the interpolated result
Texture* aper_tex[3];
Texture *detail_tex, *foam_tex;
int normal_cur = 0, aper_cur = 0;

enum {
  SH_LAND, SH_LAND_INST, SH_DR_LAND, SH_DR_LAND_INST, SH_WATER, SH_DR_WATER,
  SH_LOAD_FLOAT, SH_LOAD_COLOR, SH_NORM, SH_APER0, SH_APER1, SH_APER2, SH_INTERP, SH_HORIZON,
  SH_COUNT
};
ShaderRecord* shaders[SH_COUNT];

int horizon_indices = 0;
FrameStats stats;
float frame_t = 0;

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
  auto* vp = static_cast<float*>(lock_vb(patch_vb, 0, 0));
  G_ASSERT(vp);
  for (int j = 0; j < 5; j++)
    for (int i = 0; i < 5; i++) {
      vp[(j * 5 + i) * 2] = float(i) * 0.25f;
      vp[(j * 5 + i) * 2 + 1] = float(j) * 0.25f;
    }
  unlock_vb(patch_vb);
  auto* ip = static_cast<uint16_t*>(lock_ib(patch_ib, 0, 0));
  G_ASSERT(ip);
  for (int j = 0; j < 4; j++)
    for (int i = 0; i < 4; i++) {
      uint16_t v = uint16_t(j * 5 + i);
      uint16_t q[6] = {v, uint16_t(v + 5), uint16_t(v + 1), uint16_t(v + 1), uint16_t(v + 5), uint16_t(v + 6)};
      std::memcpy(ip + (j * 4 + i) * 6, q, sizeof(q));
    }
  unlock_ib(patch_ib);
}

void fill_horizon_ib() {
  auto* ip = static_cast<uint16_t*>(lock_ib(horizon_ib, 0, 0));
  G_ASSERT(ip);
  horizon_indices = buildHorizonIndices(ip);
  unlock_ib(horizon_ib);
}

void field_pass_states() {
  set_zenable(false);
  set_zwrite(false);
  set_blend_none();
  set_stencil_test(0, 0, CMP_ALWAYS);
  set_cull_mode(0);
  set_instancing(0);
}

// Writes per-cell values into a 256 x 256 target as points, 4096 at a time.
void upload_points(Texture* target, ShaderRecord* sh, VDecl* decl, int kind) {
  int x0 = 0, z0 = 0, nx = HMAP_SIZE, nz = HMAP_SIZE;
  check_region(x0, z0, nx, nz);
  set_render_target(0, target, false);
  set_shaders(sh);
  set_vs_const(16, vec4f(1.f / 128, -1.f / 128, -1, 1));
  for (int first = 0; first < HMAP_CELLS; first += UPLOAD_BATCH) {
    auto* p = static_cast<UploadPoint*>(lock_vb(upload_vb, 0, 0));
    G_ASSERT(p);
    int n = kind == 0 ? buildUploadHeights(first, UPLOAD_BATCH, p) : buildUploadColors(first, UPLOAD_BATCH, kind == 2, p);
    unlock_vb(upload_vb);
    set_vdecl(decl);
    set_vb(0, upload_vb, 0, sizeof(UploadPoint));
    draw_prim(PRIM_POINTLIST, 0, n);
  }
}

// A full-screen pass of a field shader over the region into target.
void region_pass(Texture* target, ShaderRecord* sh, int x0, int z0, int nx, int nz) {
  check_region(x0, z0, nx, nz);
  set_render_target(0, target, false);
  set_shaders(sh);
  set_texture(0, height_tex);
  set_texture_address(0, 0);
  set_vs_const(16, vec4f(float(nx) / 256, float(nz) / 256, float(2 * x0 - 256 + nx) / 256,
                         -float(2 * z0 - 256 + nz) / 256));
  set_vs_const(17, vec4f(0.5f, -0.5f, 0.5f + 0.5f / 256, 0.5f + 0.5f / 256));
  set_ps_const(0, vec4f(1.f / 256, 1.f / 256, 0, 0));
  draw_postfx();
}

void rebuild_fields() {
  field_pass_states();
  upload_points(height_tex, shaders[SH_LOAD_FLOAT], height_decl, 0);
  int passes = fields_lost ? 2 : 1;  // after a loss both targets of a pair get the new field
  for (int i = 0; i < passes; i++) {
    normal_cur ^= 1;
    region_pass(normal_tex[normal_cur], shaders[SH_NORM], 0, 0, HMAP_SIZE, HMAP_SIZE);
    if (high) {
      aper_cur ^= 1;
      int q = land_shadow_quality < 0 ? 0 : land_shadow_quality > 2 ? 2 : land_shadow_quality;
      region_pass(aper_tex[aper_cur], shaders[SH_APER0 + q], 0, 0, HMAP_SIZE, HMAP_SIZE);
    }
  }
  set_texture(0, nullptr);
  upload_points(color_tex[0], shaders[SH_LOAD_COLOR], color_decl, 1);
  upload_points(color_tex[1], shaders[SH_LOAD_COLOR], color_decl, 2);
  dirty = false;
  fields_lost = false;
}

void interp_pair(Texture* pair[3], int cur, int size, float t) {
  set_render_target(0, pair[2], false);
  set_shaders(shaders[SH_INTERP]);
  set_texture(0, pair[cur ^ 1]);
  set_texture(1, pair[cur]);
  set_fullscreen_tc_const(16, size, size);
  set_ps_const(0, vec4f(t, 0, 0, 0));
  draw_postfx();
}

void bind_land_textures() {
  if (high) set_texture(0, aper_tex[2]);
  set_texture(1, normal_tex[2]);
  set_texture(2, color_tex[0]);
  set_texture(3, color_tex[1]);
  set_texture(4, detail_tex);
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

void init() {
  show_splash("Compiling land shaders", -1);
  high = gfx_quality == 1;
  upload_vb = make_vb(UPLOAD_BATCH * 8, 0, "Can't create color VB");
  land_vb = make_vb(WINDOW * WINDOW * 8, 0, "Can't create land VB");
  inst_vb = make_vb(MAX_PATCHES * 20, 0, "Can't create land VB");
  patch_vb = make_vb(PATCH_VERTS * 8, BUF_STATIC, "Can't create land VB");
  // The horizon ring at both qualities: without it the sea would end at the
  // land disc's edge.
  horizon_vb = make_vb(HORIZON_SIZE * HORIZON_SIZE * 8, 0, "Can't create land VB");
  horizon_depth_vb = make_vb(HORIZON_SIZE * HORIZON_SIZE * 4, 0, "Can't create land VB");
  water_vb = make_vb(WINDOW * WINDOW * (high ? 28 : 12), 0, "Can't create water VB");
  patch_ib = make_ib(PATCH_INDICES, BUF_STATIC, "Can't create land IB");
  land_ib = make_ib(LAND_IB_INDICES, BUF_STATIC, "Can't create land IB");
  horizon_ib = make_ib(HORIZON_IB_INDICES, BUF_STATIC, "Can't create land IB");
  water_ib = make_ib(WATER_IB_INDICES, 0, "Can't create water IB");
  fill_patch_mesh();
  fill_horizon_ib();

  height_tex = make_target(HMAP_SIZE, RT_R32F);
  for (auto& t : color_tex) t = make_target(HMAP_SIZE, RT_A8R8G8B8);
  for (auto& t : normal_tex) t = make_target(NORMAL_SIZE, RT_A8R8G8B8);
  if (high)
    for (auto& t : aper_tex) t = make_target(HMAP_SIZE, RT_A8R8G8B8);
  detail_tex = load_texture("detail.dds", false);
  if (!detail_tex) fatal("can't create land textures");
  if (high) {
    foam_tex = load_texture("foam.dds", false);
    if (!foam_tex) fatal("can't create land textures");
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
  land_decl = create_vdecl(land_el);
  horizon_decl = create_vdecl(horizon_el);
  patch_decl = create_vdecl(patch_el);
  height_decl = create_vdecl(height_el);
  color_decl = create_vdecl(color_el);
  water_decl = create_vdecl(high ? water_hi_el : water_lo_el);

  // Forward shaders at high quality read the aperture and the flow phases.
  shaders[SH_LAND] = load_shader("land.sh", high ? HIGH_DEF : nullptr);
  shaders[SH_LAND_INST] = load_shader("land.sh", high ? HIGH_INST_DEF : INST_DEF);
  shaders[SH_WATER] = load_shader("water.sh", high ? HIGH_DEF : nullptr);
  shaders[SH_LOAD_FLOAT] = load_shader("load_float.sh", nullptr);
  shaders[SH_LOAD_COLOR] = load_shader("load_color.sh", nullptr);
  shaders[SH_NORM] = load_shader(high ? "calc_norm.sh" : "calc_norm_low.sh", nullptr);
  shaders[SH_INTERP] = load_shader("interp_tex.sh", nullptr);
  shaders[SH_HORIZON] = load_shader("horizon.sh", high ? HIGH_DEF : nullptr);
  if (high) {
    shaders[SH_DR_LAND] = load_shader("dr_land.sh", nullptr);
    shaders[SH_DR_LAND_INST] = load_shader("dr_land.sh", INST_DEF);
    shaders[SH_DR_WATER] = load_shader("dr_water.sh", nullptr);
    shaders[SH_APER0] = load_shader("calc_aper.sh", "QUALITY\0" "0\0");
    shaders[SH_APER1] = load_shader("calc_aper.sh", "QUALITY\0" "1\0");
    shaders[SH_APER2] = load_shader("calc_aper.sh", "QUALITY\0" "2\0");
  }
  resetFlow();
  dirty = true;
  fields_lost = true;
}

void close() {
  for (auto& s : shaders) {
    if (s) release_shader(s);
    s = nullptr;
  }
  auto rel_tex = [](Texture*& t) {
    if (t) release_texture(t);
    t = nullptr;
  };
  rel_tex(foam_tex);
  rel_tex(detail_tex);
  for (auto& t : aper_tex) rel_tex(t);
  for (auto& t : normal_tex) rel_tex(t);
  for (auto& t : color_tex) rel_tex(t);
  rel_tex(height_tex);
  for (IndexBuffer** ib : {&water_ib, &horizon_ib, &land_ib, &patch_ib}) {
    if (*ib) release_ib(*ib);
    *ib = nullptr;
  }
  for (VertexBuffer** vb : {&water_vb, &horizon_depth_vb, &horizon_vb, &patch_vb, &inst_vb, &land_vb, &upload_vb}) {
    if (*vb) release_vb(*vb);
    *vb = nullptr;
  }
}

void markDirty() { dirty = true; }
bool isDirty() { return dirty; }

void afterResize() {
  // Render targets are re-created empty by a resize.
  dirty = true;
  fields_lost = true;
}

void step(float dt) {
  int cx = cameraCell(render_view().cameraPos().x), cz = cameraCell(render_view().cameraPos().z);
  flowStep(dt, cx, cz, high);
  // The water moves every step, so the surface heights and normals follow.
  dirty = true;
}

void prepareFrame(float k) {
  float t = k < 0 ? 0 : k > 1 ? 1 : k;
  frame_t = t;
  if (!land_vb) return;
  if (dirty) rebuild_fields();
  field_pass_states();
  if (high) interp_pair(aper_tex, aper_cur, HMAP_SIZE, t);
  interp_pair(normal_tex, normal_cur, NORMAL_SIZE, t);
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
  stats.originX = ox;
  stats.originZ = oz;

  auto* ip = static_cast<PatchInstance*>(lock_vb(inst_vb, 0, 0));
  G_ASSERT(ip);
  stats.patches = buildCentrePatches(ox, oz, ip);
  unlock_vb(inst_vb);

  auto* vp = static_cast<LandVertex*>(lock_vb(land_vb, 0, 0));
  G_ASSERT(vp);
  buildLandVerts(ox, oz, vp);
  unlock_vb(land_vb);

  auto* lp = static_cast<uint16_t*>(lock_ib(land_ib, 0, 0));
  G_ASSERT(lp);
  stats.landIndices = buildLandIndices(ox, oz, lp);
  unlock_ib(land_ib);

  {
    auto* hp = static_cast<LandVertex*>(lock_vb(horizon_vb, 0, 0));
    G_ASSERT(hp);
    auto* hd = static_cast<float*>(lock_vb(horizon_depth_vb, 0, 0));
    G_ASSERT(hd);
    buildHorizonVerts(cx, cz, hp, hd);
    unlock_vb(horizon_depth_vb);
    unlock_vb(horizon_vb);
  }

  void* wv = lock_vb(water_vb, 0, 0);
  G_ASSERT(wv);
  if (high)
    buildWaterVertsHigh(ox, oz, t, static_cast<WaterVertexHigh*>(wv));
  else
    buildWaterVertsLow(ox, oz, t, static_cast<WaterVertexLow*>(wv));
  unlock_vb(water_vb);

  auto* wp = static_cast<uint16_t*>(lock_ib(water_ib, 0, 0));
  G_ASSERT(wp);
  stats.waterIndices = buildWaterIndices(ox, oz, wp);
  unlock_ib(water_ib);
}

void renderLand(bool geometry_pass) {
  if (!land_vb) return;
  bool dr = geometry_pass && high;
  bind_land_textures();
  set_land_consts();
  set_blend_none();
  if (stats.patches > 0) {
    set_vdecl(patch_decl);
    set_vb(0, patch_vb, 0, 8);
    set_vb(1, inst_vb, 0, sizeof(PatchInstance));
    set_ib(patch_ib);
    set_shaders(shaders[dr ? SH_DR_LAND_INST : SH_LAND_INST]);
    set_instancing(stats.patches);
    draw_indexed(PRIM_TRIANGLELIST, 0, 0, PATCH_VERTS, 0, PATCH_TRIS);
    set_instancing(0);
  }
  if (stats.landIndices > 0) {
    set_vdecl(land_decl);
    set_vb(0, land_vb, 0, sizeof(LandVertex));
    set_ib(land_ib);
    set_shaders(shaders[dr ? SH_DR_LAND : SH_LAND]);
    draw_indexed(PRIM_TRIANGLELIST, 0, 0, WINDOW * WINDOW, 0, stats.landIndices / 3);
  }
}

void renderWater(bool geometry_pass) {
  if (!water_vb || stats.waterIndices <= 0) return;
  bool dr = geometry_pass && high;
  bind_land_textures();
  set_land_consts();
  if (high) {
    set_texture(0, aper_tex[2]);
    set_texture(4, foam_tex);
    set_ps_const(12, vec4f(flowPhaseWeight(frame_t), 0, 0, 0));
  }
  // The forward water is blended over the land; the geometry pass writes
  // opaque buffer values.
  if (dr)
    set_blend_none();
  else
    set_blend_alpha();
  set_vdecl(water_decl);
  set_vb(0, water_vb, 0, high ? sizeof(WaterVertexHigh) : sizeof(WaterVertexLow));
  set_vb(1, land_vb, 0, sizeof(LandVertex));
  set_ib(water_ib);
  set_shaders(shaders[dr ? SH_DR_WATER : SH_WATER]);
  draw_indexed(PRIM_TRIANGLELIST, 0, 0, WINDOW * WINDOW, 0, stats.waterIndices / 3);
  set_vb(1, nullptr, 0, 0);
  set_blend_none();
  if (high) set_texture(1, height_tex);
}

void renderHorizon() {
  if (!horizon_vb || horizon_indices <= 0) return;
  bind_land_textures();
  if (high) set_texture(4, foam_tex);  // far water ripples like the near water
  set_land_consts();
  set_blend_none();
  set_vdecl(horizon_decl);
  set_vb(0, horizon_vb, 0, sizeof(LandVertex));
  set_vb(1, horizon_depth_vb, 0, 4);
  set_ib(horizon_ib);
  set_shaders(shaders[SH_HORIZON]);
  draw_indexed(PRIM_TRIANGLELIST, 0, 0, HORIZON_SIZE * HORIZON_SIZE, 0, horizon_indices / 3);
  set_vb(1, nullptr, 0, 0);
}

const FrameStats& frameStats() { return stats; }

}  // namespace HeightmapRenderer
