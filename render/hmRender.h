#pragma once
// Land and water rendering. The CPU rebuilds the vertex and index data of a
// 256 x 256 window of cells around the camera every frame (the world is a
// torus, so the window wraps); per-cell data that only changes with the world
// (surface height, colours) lives in textures whose normals and ambient
// aperture are computed on the GPU whenever the world is marked dirty.
//
// The build functions below are the CPU half of a frame. They write into
// caller-provided memory (a locked buffer in the game, plain arrays in the
// tests and the benchmark) and read the world arrays, curh and shown_depth.
#include <cstdint>

#include "platform/math_types.h"
#include "world/heightmap.h"

namespace HeightmapRenderer {

// Heights the land renderer draws this frame (written by morphHmap).
alignas(16) extern float curh[HMAP_CELLS];

constexpr int WINDOW = 256;                 // vertices along each side of the window
constexpr int WINDOW_QUADS = WINDOW - 1;    // quads along each side
constexpr int CENTRE_FIRST = 95;            // first window cell of the finely tessellated block
constexpr int CENTRE_CELLS = 64;            // cells along each side of that block
constexpr int DISC_R2 = 67600;              // (2k-255)^2 + (2l-255)^2 bound: radius 130 cells
constexpr int HORIZON_SIZE = 192;           // horizon vertices along each side
constexpr int HORIZON_STEP = 4;             // cells between horizon vertices
constexpr int HORIZON_HOLE_R2 = 3843;       // quads left out under the land disc
constexpr int PATCH_VERTS = 25, PATCH_TRIS = 32, PATCH_INDICES = 96;
constexpr int MAX_PATCHES = CENTRE_CELLS * CENTRE_CELLS;
constexpr int LAND_IB_INDICES = 365574;
constexpr int HORIZON_IB_INDICES = 218886;
constexpr int WATER_IB_INDICES = WINDOW_QUADS * WINDOW_QUADS * 6;
constexpr int UPLOAD_BATCH = 4096;          // points per height or colour upload draw
constexpr float WET_DEPTH = 0.1f;           // shown depth above which a vertex is wet
constexpr int FLOW_PHASE_STEPS = 40;        // phase counter period in simulation steps

#pragma pack(push, 1)
struct LandVertex {
  int16_t x, z;
  float h;
};
struct PatchInstance {
  int16_t x, z;
  float h[4];  // corners (x, z), (x+1, z), (x, z+1), (x+1, z+1)
};
struct UploadPoint {
  int16_t x, z;
  uint32_t value;  // float bits or a colour
};
struct WaterVertexLow {
  int16_t x, z;
  float h;
  float foam;
};
struct WaterVertexHigh {
  int16_t x, z;
  float h;
  float tc[4];  // texture coordinates of the two flow phases
  float foam;
};
#pragma pack(pop)
static_assert(sizeof(LandVertex) == 8);
static_assert(sizeof(PatchInstance) == 20);
static_assert(sizeof(UploadPoint) == 8);
static_assert(sizeof(WaterVertexLow) == 12);
static_assert(sizeof(WaterVertexHigh) == 28);

// Interpolated water depth of every cell for this frame.
alignas(16) extern float shown_depth[HMAP_CELLS];

// Called for each building cell of the drawn window, once per frame; null
// until the game-object module provides it (building cells are then simply
// left out of the land).
using RenderBuildingFunc = void (*)(const HeightmapData::Surface& s, int x, int z);
extern RenderBuildingFunc render_building;

// ---- CPU frame build ----
// Window origin of a camera cell: (cx - 128, cz - 128).
inline int windowOrigin(int c) { return c - WINDOW / 2; }
// Camera position rounded to a whole cell.
int cameraCell(float v);
bool inLandDisc(int k, int l);
inline bool inCentreBlock(int k, int l) {
  return unsigned(k - CENTRE_FIRST) < unsigned(CENTRE_CELLS) && unsigned(l - CENTRE_FIRST) < unsigned(CENTRE_CELLS);
}

void computeShownDepth(float t);
int buildCentrePatches(int ox, int oz, PatchInstance* out);  // instance count
void buildLandVerts(int ox, int oz, LandVertex* out);
int buildLandIndices(int ox, int oz, uint16_t* out);         // index count
// depth_out (optional) receives the shown water depth of each vertex.
void buildHorizonVerts(int cx, int cz, LandVertex* out, float* depth_out = nullptr);
int buildHorizonIndices(uint16_t* out);
// Height of the water surface at a world cell from curh and shown_depth:
// wet cells show their surface 0.1 below the water level; dry cells sink
// below their own land so that the water edge meets the shore underground.
float waterSurfaceHeight(int x, int z);
void buildWaterVertsLow(int ox, int oz, float t, WaterVertexLow* out);
void buildWaterVertsHigh(int ox, int oz, float t, WaterVertexHigh* out);
int buildWaterIndices(int ox, int oz, uint16_t* out);
int buildUploadHeights(int first, int count, UploadPoint* out);  // cells first.. first+count-1
int buildUploadColors(int first, int count, bool cover, UploadPoint* out);

// ---- flowing water texture coordinates (one call per simulation step) ----
// Advances the phase counter and, at high quality, advects the texture
// coordinates backwards along the water flow and resets one phase every 20
// steps around the camera cell (cx, cz), from the animation's own random
// sequence. Nothing of the world changes (the foam drifts in the world's step).
void flowStep(float dt, int cx, int cz, bool high);
// Blend weight of the second phase at interpolation factor t.
float flowPhaseWeight(float t);
int flowPhaseCounter();
void resetFlow();  // counter 0, both fields zero
// The flow field before and after the last step: four floats per cell.
const vec4f* flowField(bool current);

// ---- GPU side ----
void init();
void close();
void markDirty();
bool isDirty();
// The land renderer's part of a simulation step.
void step(float dt);
// Everything a frame needs before drawing: the GPU fields when dirty, their
// interpolation, curh, and all vertex and index data. `k` is the fraction of
// the simulation step since the last one (0..1).
void prepareFrame(float k);
// Draws with the forward shaders or the geometry-pass ("dr_") shaders.
void renderLand(bool geometry_pass);
void renderWater(bool geometry_pass);
void renderHorizon();
void afterResize();

// What the last prepareFrame built (for statistics and tests).
struct FrameStats {
  int patches, landIndices, waterIndices;
  int originX, originZ;
};
const FrameStats& frameStats();

}  // namespace HeightmapRenderer
