#pragma once
// State shared by the device layer's sources; not for callers.
#include <SDL.h>

#include <cstdint>

#include "device/d3d_render.h"
#include "device/gl_counted.h"

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

// Render states as the callers last set them. They reach the driver at the
// next draw (apply_render_states), so settings undone before a draw cost
// nothing; the effective depth and stencil tests also need a bound depth
// buffer.
struct RenderStates {
  bool blend = false;
  GLenum blendSrc = GL_ONE, blendDst = GL_ZERO;
  bool zenable = true, zwrite = true;
  bool cull = true;
  bool wireframe = false;
  uint8_t colorMask = 0xF;
  bool stencilOn = false;
  GLenum stencilFunc = GL_ALWAYS;
  int stencilRef = 0;
  GLuint stencilReadMask = 0xFF, stencilWriteMask = 0xFF;
  GLenum stencilPass = GL_KEEP;
};

// A sampler stage's settings, packed: bit 6 linear filtering, then the U, V
// and W addressing (0 wrap, 1 clamp, 2 border) two bits each.
using SamplerKey = uint8_t;
constexpr SamplerKey SAMPLER_DEFAULT = 0x40 | 1 << 4 | 1 << 2 | 1;

struct DeviceState {
  SDL_Window* window = nullptr;
  GLsync frameFence[2] = {nullptr, nullptr};
  int curFence = 0;
  GLsync flushQuery = nullptr;
  bool resetPending = false;  // a failed reset waits for the next device check

  // Limits asked of the driver once, when the device is created.
  GLint maxTextureSize = 0, maxRenderbufferSize = 0;
  bool attribBinding = false;  // vertex formats and buffers are bound apart
  bool multiBind = false;      // several texture units bound by one call

  GLuint depthRb = 0;  // D24S8
  int depthW = 0, depthH = 0;
  GLuint postfxVb = 0;
  // The back buffer: a framebuffer of its own, presented by a vertical-flip
  // blit into the window, so every target keeps row 0 at the top in memory.
  GLuint bbFbo = 0, bbRb = 0;
  int bbW = 0, bbH = 0;
  bool bbDrawn = false;  // holds at least one drawn frame
  unsigned presentCount = 0;  // frames presented since the device was made

  // The target set as the callers chose it; bound at the next draw or clear.
  Texture* targets[MAX_RENDER_TARGETS] = {};
  bool depthBound = false;
  int targetW = 0, targetH = 0;

  RenderStates want;

  // Textures and sampler settings per stage, as the callers chose them.
  Texture* stageTex[16] = {};
  SamplerKey stageSampler[16] = {};

  // Streams, indices, declaration, shaders, instancing.
  StreamSource streams[MAX_STREAMS] = {};
  IndexBuffer* ib = nullptr;
  VDecl* vdecl = nullptr;
  ShaderRecord* shader = nullptr;
  int instances = 0;

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
// Before every draw: constants, layer block, program, vertex inputs, states,
// targets and textures. Returns 0 or the result code that makes the draw fail.
uint32_t prepare_draw(bool indexed, int first_vertex, int vertex_count, int instances);

// Shader module hooks used by the device.
void upload_shader_consts();
void create_const_buffers();
void release_const_buffers();
void release_vdecls();
void vdecl_reset_state();

// ---- the shadow of the driver's state (d3d_state.cpp) ----
// Everything below sends a setting only when it differs from what the driver
// was last given; nothing is read back.
void invalidate_gl_shadow();  // the driver's state is unknown: send everything again
void apply_render_states();
void apply_targets();  // binds the chosen target set, its framebuffer made once
void apply_textures(uint32_t stage_mask);
void gl_use_program(GLuint program);
void gl_bind_vertex_array(GLuint vao);
void gl_bind_array_buffer(GLuint buffer);
void gl_bind_copy_buffer(GLuint buffer);  // the binding buffer uploads and maps go through
void gl_bind_texture_for_upload(GLuint texture);
void gl_bind_framebuffer(GLenum target, GLuint fbo);
void gl_set_viewport(int w, int h);
void gl_color_mask(uint8_t mask);
void gl_depth_mask(bool on);
void gl_stencil_write_mask(GLuint mask);
void gl_clear_color(const float rgba[4]);
void gl_bind_uniform_buffer(GLuint buffer);
void gl_bind_uniform_range(GLuint binding, GLuint buffer, GLintptr offset, GLsizeiptr size);
// Objects the driver deleted: forget them wherever the shadow holds them.
void forget_gl_texture(GLuint texture);
void forget_gl_buffer(GLuint buffer);
void forget_gl_renderbuffer();  // the depth buffer changed: framebuffers are made again
void forget_shader_inputs(const ShaderRecord* s);
void release_state_objects();  // framebuffers, vertex arrays, samplers
GLuint sampler_object(SamplerKey key);
// Vertex arrays (d3d_vinput.cpp).
void forget_vertex_array_buffer(GLuint buffer);
void release_vertex_arrays();
int get_vertex_array_count();
