#pragma once
// State shared by the device layer's sources; not for callers.
#include <SDL.h>
#include <epoxy/gl.h>

#include <cstdint>

#include "device/d3d_render.h"

struct ShaderRecord;
struct VertexBuffer;
struct IndexBuffer;

// GL error codes stand in for the device's result codes in log lines and
// fatal messages.
constexpr uint32_t RESULT_INVALID_ENUM = GL_INVALID_ENUM;
constexpr uint32_t RESULT_INVALID_VALUE = GL_INVALID_VALUE;
constexpr uint32_t RESULT_INVALID_OPERATION = GL_INVALID_OPERATION;
constexpr uint32_t RESULT_OUT_OF_MEMORY = GL_OUT_OF_MEMORY;

// Element types and usages as the device numbers them inside a declaration.
enum DeclTypeCode : uint8_t {
  DECLTYPE_FLOAT1 = 0,
  DECLTYPE_FLOAT2 = 1,
  DECLTYPE_FLOAT3 = 2,
  DECLTYPE_FLOAT4 = 3,
  DECLTYPE_D3DCOLOR = 4,
  DECLTYPE_SHORT2 = 6,
  DECLTYPE_SHORT4 = 7,
  DECLTYPE_UNUSED = 17,
};
enum DeclUsageCode : uint8_t {
  DECLUSAGE_POSITION = 0,
  DECLUSAGE_NORMAL = 3,
  DECLUSAGE_TEXCOORD = 5,
  DECLUSAGE_TANGENT = 6,
  DECLUSAGE_COLOR = 10,
};

struct DeclElement {
  uint16_t stream;
  uint16_t offset;
  uint8_t type;
  uint8_t method;
  uint8_t usage;
  uint8_t usageIndex;
};
static_assert(sizeof(DeclElement) == 8, "declaration elements are 8 bytes");

struct VDecl {
  int count;  // including the end element
  DeclElement elems[MAX_VDECL_LEN];
};

struct StreamSource {
  VertexBuffer* vb;
  int offset;
  int stride;
};

struct DeviceState {
  SDL_Window* window = nullptr;
  GLsync frameFence[2] = {nullptr, nullptr};
  int curFence = 0;
  GLsync flushQuery = nullptr;
  bool resetPending = false;  // a failed reset waits for the next device check

  GLuint depthRb = 0;  // D24S8
  int depthW = 0, depthH = 0;
  GLuint rtFbo = 0;
  GLuint vao = 0;
  GLuint postfxVb = 0;
  // The back buffer: a framebuffer of its own, presented by a vertical-flip
  // blit into the window, so every target keeps row 0 at the top in memory.
  GLuint bbFbo = 0, bbRb = 0;
  int bbW = 0, bbH = 0;
  bool bbDrawn = false;  // holds at least one drawn frame

  Texture* targets[MAX_RENDER_TARGETS] = {};
  bool depthBound = false;
  int targetW = 0, targetH = 0;

  // Render states as the callers set them; the effective GL state also
  // depends on whether a depth buffer is bound.
  bool zenable = true, zwrite = true;
  bool stencilOn = false;
  bool cullOn = true;

  // Streams, indices, declaration, shaders, instancing.
  StreamSource streams[MAX_STREAMS] = {};
  IndexBuffer* ib = nullptr;
  VDecl* vdecl = nullptr;
  ShaderRecord* shader = nullptr;
  int instances = 0;
  unsigned usedProgram = 0;
  bool inputsDirty = true;
  bool lastInstanced = false;
  unsigned lastSerial = 0;
  ShaderRecord* lastShader = nullptr;
  VDecl* lastVdecl = nullptr;
  uint32_t enabledAttribs = 0;

  // Layer uniforms: target size and orientation, alpha test.
  float layer[8] = {};
  bool layerDirty = true;

  Matrix44 viewTm = Matrix44::identity();
  Matrix44 projTm = Matrix44::identity();
};

extern DeviceState dev;
extern SDL_GLContext gl_context;  // the context; null while the device is closed

// Uniform block bindings.
constexpr int UBO_VS_CONSTS = 0;
constexpr int UBO_PS_CONSTS = 1;
constexpr int UBO_LAYER = 2;

// Updates the layer block for the current target and alpha test.
void update_target_state();
void apply_depth_stencil_enables();
// Before every draw: constants, layer block, program, vertex inputs.
// Returns 0 or the result code that makes the draw fail.
uint32_t prepare_draw(bool indexed, int first_vertex, int vertex_count, int instances);

// Shader module hooks used by the device.
void upload_shader_consts();
void create_const_buffers();
void release_const_buffers();
void release_vdecls();
void vdecl_reset_state();
