// Instance renderers: binding to a mesh, batching, instanced drawing through
// the shared dynamic vertex buffer, shadow balls.
#include "objects/inst_render.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "device/d3d_shaders.h"
#include "device/d3d_texture.h"
#include "device/dynVBWriter.h"
#include "device/mesh.h"
#include "objects/base_object.h"
#include "objects/house_tiles.h"
#include "platform/globals.h"
#include "platform/log.h"
#include "render/frame_view.h"
#include "render/shadows.h"
#include "render/sky.h"

InstBatchNode* inst_free_nodes = nullptr;

namespace {
constexpr float FAR_DIST = 512.f;  // the geometry buffer's depth unit

InstBatchNode* new_node() {
  InstBatchNode* n = inst_free_nodes;
  if (n) {
    inst_free_nodes = n->next;
  } else {
    n = static_cast<InstBatchNode*>(dlmalloc(sizeof(InstBatchNode) + INST_NODE_BYTES));
    if (!n) fatal("out of memory for instance batches");
    n->data = reinterpret_cast<char*>(n + 1);
  }
  n->bytes = 0;
  n->user = 0;
  n->next = nullptr;
  return n;
}

// The writer's callback: `packed` is vertex count * 65536 + triangle count,
// carried as the bits of an unsigned word (a mesh of 32,768 vertices or more
// would not fit a signed one).
void draw_instances(int count, int packed) {
  uint32_t p = uint32_t(packed);
  set_instancing(count);
  draw_indexed(PRIM_TRIANGLELIST, 0, 0, int(p >> 16), 0, int(p & 0xFFFF));
}
int pack_counts(int verts, int faces) { return int(uint32_t(verts) << 16 | uint32_t(faces)); }

constexpr VertexElement SIMPLE_ELEMENTS[] = {
    {0, 1, VDECL_D3DCOLOR, VDECL_POSITION, 11}, {4, 1, VDECL_D3DCOLOR, VDECL_POSITION, 12},
    {8, 1, VDECL_D3DCOLOR, VDECL_POSITION, 13}, {12, 1, VDECL_FLOAT3, VDECL_POSITION, 10},
    {24, 1, VDECL_D3DCOLOR, VDECL_COLOR, 10},
};
constexpr VertexElement MORPH_ELEMENTS[] = {
    {0, 1, VDECL_D3DCOLOR, VDECL_POSITION, 11}, {4, 1, VDECL_D3DCOLOR, VDECL_POSITION, 12},
    {8, 1, VDECL_D3DCOLOR, VDECL_POSITION, 13}, {12, 1, VDECL_FLOAT3, VDECL_POSITION, 10},
    {24, 1, VDECL_D3DCOLOR, VDECL_COLOR, 10},   {28, 1, VDECL_D3DCOLOR, VDECL_POSITION, 15},
};
constexpr VertexElement SPLINE_ELEMENTS[] = {
    {0, 1, VDECL_FLOAT3, VDECL_POSITION, 10},   {12, 1, VDECL_FLOAT3, VDECL_POSITION, 11},
    {24, 1, VDECL_FLOAT3, VDECL_POSITION, 12},  {36, 1, VDECL_FLOAT3, VDECL_POSITION, 13},
    {48, 1, VDECL_D3DCOLOR, VDECL_NORMAL, 10},  {52, 1, VDECL_D3DCOLOR, VDECL_NORMAL, 11},
    {56, 1, VDECL_D3DCOLOR, VDECL_COLOR, 10},   {60, 1, VDECL_D3DCOLOR, VDECL_COLOR, 11},
};
constexpr VertexElement BUILDING_ELEMENTS[] = {
    {0, 1, VDECL_SHORT2, VDECL_POSITION, 10},
    {4, 1, VDECL_FLOAT4, VDECL_POSITION, 11},
    {20, 1, VDECL_D3DCOLOR, VDECL_POSITION, 12},
};
template <size_t N>
const VertexElement* elements_of(const VertexElement (&e)[N], int& count) {
  count = int(N);
  return e;
}

uint32_t unit_byte(float v) {
  float c = v < 0 ? 0 : v > 1 ? 1 : v;
  return uint32_t(c * 255.f + 0.5f);
}
}  // namespace

InstRender::InstRender() : freeList(&inst_free_nodes) {}

void InstRender::init(const char* mesh_name) {
  close();
  mesh = load_mesh(mesh_name, true);
  int inum = 0;
  const VertexElement* inst = instanceElements(inum);
  G_ASSERT(mesh->vsd.size()+inum<MAX_VDECL_LEN);
  VertexElement all[MAX_VDECL_LEN];
  int n = 0;
  for (const VertexElement& e : mesh->vsd) all[n++] = e;
  for (int i = 0; i < inum; i++) all[n++] = inst[i];
  all[n] = VDECL_END;
  vdecl = create_vdecl(all);
  shader = load_shader(gfx_quality == 1 ? mesh->shaderHigh : mesh->shaderLow, nullptr);
  if (mesh->textures.size() > 0) texture = load_texture(mesh->textures[0].name, true);
}

void InstRender::close() {
  if (shader) release_shader(shader);
  if (texture) release_texture(texture);
  if (mesh) release_mesh(mesh);
  shader = nullptr;
  texture = nullptr;
  mesh = nullptr;
  vdecl = nullptr;
}

char* InstRender::append(int bytes) {
  G_ASSERT(bytes > 0 && bytes <= INST_NODE_BYTES);
  if (!first || first->bytes + bytes > INST_NODE_BYTES) {
    InstBatchNode* n = new_node();
    n->next = first;
    first = n;
    numBatches++;
  }
  char* p = first->data + first->bytes;
  first->bytes += bytes;
  return p;
}

int InstRender::recordCount() const {
  int stride = instanceStride(), n = 0;
  for (const InstBatchNode* b = first; b; b = b->next) n += b->bytes / stride;
  return n;
}

void InstRender::render() {
  if (!first) return;
  G_ASSERT(mesh);
  const int stride = instanceStride();
  set_vdecl(vdecl);
  set_ib(mesh->ib);
  set_shaders(shader);
  if (texture) set_texture(0, texture);
  set_vb(0, mesh->vb, 0, mesh->vertStride);
  set_vb(1, dynVBWriter.vb, 0, stride);
  dynVBWriter.begin(draw_instances, pack_counts(mesh->numVerts, mesh->numFaces));
  for (InstBatchNode* b = first; b; b = b->next) {
    const char* src = b->data;
    for (int left = b->bytes / stride; left > 0;) {
      int room = dynVBWriter.bytesLeft() / stride;
      if (room == 0) {
        dynVBWriter.flush(false);
        continue;
      }
      int k = left < room ? left : room;
      std::memcpy(dynVBWriter.curPtr, src, size_t(k) * size_t(stride));
      dynVBWriter.advance(k * stride, k);
      src += k * stride;
      left -= k;
    }
  }
  dynVBWriter.flush(true);
  set_instancing(0);
  while (first) {
    InstBatchNode* b = first;
    first = b->next;
    b->bytes = 0;
    b->next = *freeList;
    *freeList = b;
  }
  numBatches = 0;
}

void InstRender::renderShadowBalls(const Matrix44& tm, float scale) {
  if (!mesh) return;
  for (const ShadowBall& b : mesh->balls) {
    vec4f p(b.x * tm.row[0].x + b.y * tm.row[1].x + b.z * tm.row[2].x + tm.row[3].x,
            b.x * tm.row[0].y + b.y * tm.row[1].y + b.z * tm.row[2].y + tm.row[3].y,
            b.x * tm.row[0].z + b.y * tm.row[1].z + b.z * tm.row[2].z + tm.row[3].z,
            b.x * tm.row[0].w + b.y * tm.row[1].w + b.z * tm.row[2].w + tm.row[3].w);
    render_shadow_ball(p, b.radius * scale);
  }
}

const VertexElement* SimpleInstRender::instanceElements(int& count) const { return elements_of(SIMPLE_ELEMENTS, count); }
int SimpleInstRender::instanceStride() const { return 28; }
const VertexElement* MorphInstRender::instanceElements(int& count) const { return elements_of(MORPH_ELEMENTS, count); }
int MorphInstRender::instanceStride() const { return 32; }
const VertexElement* SplineInstRender::instanceElements(int& count) const { return elements_of(SPLINE_ELEMENTS, count); }
int SplineInstRender::instanceStride() const { return 64; }
const VertexElement* BuildingInstRender::instanceElements(int& count) const {
  return elements_of(BUILDING_ELEMENTS, count);
}
int BuildingInstRender::instanceStride() const { return 24; }

uint32_t pack_inst_dir(const vec4f& d, float a01) {
  return unit_byte(a01) << 24 | unit_byte(d.x * 0.5f + 0.5f) << 16 | unit_byte(d.y * 0.5f + 0.5f) << 8 |
         unit_byte(d.z * 0.5f + 0.5f);
}

void make_simple_inst(SimpleInstRecord& r, const Matrix44& tm, D3dColor tint, float glow) {
  const vec4f& x = tm.row[0];
  float scale = std::sqrt(x.x * x.x + x.y * x.y + x.z * x.z);
  float inv = scale > 0 ? 1.f / scale : 0.f;
  auto axis = [&](const vec4f& a) { return vec4f(a.x * inv, a.y * inv, a.z * inv, 0); };
  r.axisX = pack_inst_dir(axis(tm.row[0]), scale / 8.f);
  r.axisY = pack_inst_dir(axis(tm.row[1]), glow);
  r.axisZ = pack_inst_dir(axis(tm.row[2]), 0);
  r.pos[0] = tm.row[3].x;
  r.pos[1] = tm.row[3].y;
  r.pos[2] = tm.row[3].z;
  r.color = tint.u;
}

// ---- the renderer objects ----
BuildingInstRender castle_corner1_inst, castle_corner2_inst, castle_slant1_inst, castle_slant2_inst,
    castle_slant3_inst, castle_slant4_inst, castle_walk_inst, castle_wall1_inst, castle_wall2_inst,
    castle_wall3_inst, castle_wall4_inst, merlon_corner_inst, merlon_top_inst, merlon_wall1_inst,
    merlon_wall2_inst, roof_corner_inst, tower_corner_inst, tower_wall1_inst, tower_wall2_inst;
SimpleInstRender stone1_inst, gatherer_eye_inst, wyvern_head_inst, wyvern_tail_inst;
MorphInstRender gatherer_body_inst;
SplineInstRender wyvern_body_inst;

#define INST_ENTRY(n) {#n, &n}
const NamedInstRender inst_renderers[] = {
    INST_ENTRY(castle_corner1_inst), INST_ENTRY(castle_corner2_inst), INST_ENTRY(castle_slant1_inst),
    INST_ENTRY(castle_slant2_inst),  INST_ENTRY(castle_slant3_inst),  INST_ENTRY(castle_slant4_inst),
    INST_ENTRY(castle_walk_inst),    INST_ENTRY(castle_wall1_inst),   INST_ENTRY(castle_wall2_inst),
    INST_ENTRY(castle_wall3_inst),   INST_ENTRY(castle_wall4_inst),   INST_ENTRY(merlon_corner_inst),
    INST_ENTRY(merlon_top_inst),     INST_ENTRY(merlon_wall1_inst),   INST_ENTRY(merlon_wall2_inst),
    INST_ENTRY(roof_corner_inst),    INST_ENTRY(tower_corner_inst),   INST_ENTRY(tower_wall1_inst),
    INST_ENTRY(tower_wall2_inst),    INST_ENTRY(stone1_inst),         INST_ENTRY(gatherer_eye_inst),
    INST_ENTRY(wyvern_head_inst),    INST_ENTRY(wyvern_tail_inst),    INST_ENTRY(gatherer_body_inst),
    INST_ENTRY(wyvern_body_inst),
};
#undef INST_ENTRY
const int num_inst_renderers = int(sizeof(inst_renderers) / sizeof(inst_renderers[0]));

InstRender* find_inst_render(const char* name) {
  for (const NamedInstRender& r : inst_renderers)
    if (strcasecmp(r.name, name) == 0) return r.inst;
  return nullptr;
}

void init_inst_render_internals() {}

void begin_inst_render() {
  set_ps_const(0, Sky::sun_const());
  set_ps_const(1, Sky::table(), Sky::TABLE_ENTRIES);
  const Matrix44& v = render_view().tm;
  set_vs_const(6, vec4f(v.at(0, 2) / FAR_DIST, v.at(1, 2) / FAR_DIST, v.at(2, 2) / FAR_DIST, v.at(3, 2) / FAR_DIST));
}

void bind_house_tile_renderers() {
  for (int i = 0; i < HeightmapRenderer::num_house_tiles; i++)
    HeightmapRenderer::house_tile_info[i].inst = find_inst_render(HeightmapRenderer::house_tile_info[i].name);
}

void close_inst_renderers() {
  for (const NamedInstRender& r : inst_renderers) {
    InstRender* ir = r.inst;
    while (ir->first) {
      InstBatchNode* b = ir->first;
      ir->first = b->next;
      dlfree(b);
    }
    ir->numBatches = 0;
    ir->close();
  }
  while (inst_free_nodes) {
    InstBatchNode* b = inst_free_nodes;
    inst_free_nodes = b->next;
    dlfree(b);
  }
}
