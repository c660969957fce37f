#pragma once
// Instance renderers: every object is one instance of a mesh. The module
// appends one fixed-size record per object to the renderer of its mesh; the
// renderer draws all of them with hardware instancing, the mesh in stream 0
// and the records, copied through the shared dynamic vertex buffer, in
// stream 1. The renderer objects and classes are exported for the module.
#include <cstdint>

#include "device/d3d_render.h"
#include "platform/math_types.h"

struct Mesh;
struct ShaderRecord;
struct VDecl;
struct Texture;

// One block of records: allocated once, linked into a renderer's batch list
// while it holds records and returned to the shared free list by render().
struct InstBatchNode {
  char* data;          // the records (right behind this header)
  int bytes;           // bytes of records held
  uint32_t user;       // the module's own
  InstBatchNode* next;
};
constexpr int INST_NODE_BYTES = 16384;  // record room of every node

// The free nodes of all renderers.
extern InstBatchNode* inst_free_nodes;

class InstRender {
 public:
  InstBatchNode* first = nullptr;  // batch list
  int numBatches = 0;
  InstBatchNode** freeList;        // the shared free list
  Mesh* mesh = nullptr;
  ShaderRecord* shader = nullptr;
  VDecl* vdecl = nullptr;
  Texture* texture = nullptr;      // null when the mesh names none

  InstRender();
  // The per-instance elements (all in stream 1) and their count.
  virtual const VertexElement* instanceElements(int& count) const = 0;
  virtual int instanceStride() const = 0;

  // Binds the renderer to a mesh (path relative to the program directory):
  // its declaration, the shader of the current quality, its first texture.
  void init(const char* mesh_name);
  // Draws every record in one instanced draw per filled dynamic buffer,
  // then returns the batch nodes to the free list. Sets no device state
  // when there are no records.
  void render();
  // The mesh's shadow balls for one object placed by tm (rows: axes and
  // position), radii times scale. Inside the shadow pass only.
  void renderShadowBalls(const Matrix44& tm, float scale);

  // Room for `bytes` of records (at most INST_NODE_BYTES) at the end of the
  // head batch, which is taken from the free list or allocated when full.
  char* append(int bytes);
  int recordCount() const;  // records waiting to be drawn
  // Releases mesh, shader and texture (shutdown); the renderer can be
  // initialised again.
  void close();
};

class SimpleInstRender : public InstRender {
 public:
  const VertexElement* instanceElements(int& count) const override;
  int instanceStride() const override;
};
class MorphInstRender : public InstRender {
 public:
  const VertexElement* instanceElements(int& count) const override;
  int instanceStride() const override;
};
class SplineInstRender : public InstRender {
 public:
  const VertexElement* instanceElements(int& count) const override;
  int instanceStride() const override;
};
class BuildingInstRender : public InstRender {
 public:
  const VertexElement* instanceElements(int& count) const override;
  int instanceStride() const override;
};

// ---- the records as the object shaders read them ----
#pragma pack(push, 1)
struct SimpleInstRecord {
  uint32_t axisX, axisY, axisZ;  // rgb: unit axis (0x80 = 0); a: scale / 8, glow, unused
  float pos[3];
  uint32_t color;  // tint, 0xAARRGGBB
};
struct MorphInstRecord {
  SimpleInstRecord simple;
  uint32_t morph;  // r: blend weight toward the second shape
};
struct SplineInstRecord {
  float p[4][3];   // the curve, through p[0] and p[3]
  uint32_t up0, up1;          // rgb: up direction at each end; a: radius / 4
  uint32_t color0, color1;    // tint at each end
};
struct BuildingInstRecord {
  int16_t x, z;    // cell
  float h[4];      // corner heights at (x, z), (x+1, z), (x, z+1), (x+1, z+1)
  uint32_t params; // low byte orientation 0..7, next byte tone variation
};
#pragma pack(pop)
static_assert(sizeof(SimpleInstRecord) == 28);
static_assert(sizeof(MorphInstRecord) == 32);
static_assert(sizeof(SplineInstRecord) == 64);
static_assert(sizeof(BuildingInstRecord) == 24);

// Fills a record for an object placed by tm (rows: x, y, z axes scaled
// alike by up to 8, then the position).
void make_simple_inst(SimpleInstRecord& r, const Matrix44& tm, D3dColor tint, float glow = 0);
// A direction packed as rgb (components -1..1) with a byte of its own in a.
uint32_t pack_inst_dir(const vec4f& dir, float a01);

// ---- the exported renderers ----
extern BuildingInstRender castle_corner1_inst, castle_corner2_inst, castle_slant1_inst, castle_slant2_inst,
    castle_slant3_inst, castle_slant4_inst, castle_walk_inst, castle_wall1_inst, castle_wall2_inst,
    castle_wall3_inst, castle_wall4_inst, merlon_corner_inst, merlon_top_inst, merlon_wall1_inst,
    merlon_wall2_inst, roof_corner_inst, tower_corner_inst, tower_wall1_inst, tower_wall2_inst;
extern SimpleInstRender stone1_inst, gatherer_eye_inst, wyvern_head_inst, wyvern_tail_inst;
extern MorphInstRender gatherer_body_inst;
extern SplineInstRender wyvern_body_inst;

struct NamedInstRender {
  const char* name;  // "castle_wall1_inst"
  InstRender* inst;
};
extern const NamedInstRender inst_renderers[];
extern const int num_inst_renderers;  // 25
InstRender* find_inst_render(const char* name);

// Exported for the module; nothing to do.
void init_inst_render_internals();
// The constants the object shaders read that the scene does not keep for
// them (the sun and sky table in pixel registers 0-12, the view depth in
// vertex register 6); once per frame before the renderers draw.
void begin_inst_render();
// Points each house tile at its renderer (by name).
void bind_house_tile_renderers();
// Shutdown: releases every renderer's resources and frees all batch nodes.
void close_inst_renderers();
