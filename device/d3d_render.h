#pragma once
// The render device: its life on the game window, the frame bracket, render
// states, clears, transforms, draws, render targets, instancing and vertex
// declarations. Callers never see GL or SDL types; numbers (comparison codes,
// primitive types, element types, usages) keep the device numbering below.
#include <cstdint>

#include "platform/math_types.h"

struct SDL_Window;
struct Texture;

// Draws one frame's content; `k` is the fraction of the simulation step the
// frame shows (0..1). The game passes its own, tests theirs.
using FrameFunc = void (*)(float k);

// ---- device life ----
// Sets the window attributes (OpenGL 3.3 core, D24S8, double buffering);
// call before the window is created.
void d3d_prepare_window_attributes();
bool init_d3d(SDL_Window* window, int width, int height);
void close_d3d();
bool resize_d3d(int width, int height, bool fullscreen, bool force);
bool check_d3d_device();
// Brackets one frame around `frame`; false (nothing drawn) while the GPU is
// two frames behind or the device waits for a reset.
bool render_d3d_frame(FrameFunc frame, float k);
void present_frame();
bool is_d3d_ready();

// Called after every successful resize (text scale, land renderer, GUI layout).
using AfterResizeHook = void (*)();
void set_after_resize_hook(AfterResizeHook hook);

// ---- render states ----
void set_blend_none();
void set_blend_additive();
void set_blend_smooth_add();
void set_blend_alpha();
void set_blend_prealpha();
void set_blend_multiply();
void set_atest(int ref);
void set_cull_mode(int on);
void set_zenable(bool on);
void set_zwrite(bool on);
void set_color_write_mask(int mask);
void set_wireframe(bool on);

// Comparison codes of the stencil test.
enum CmpFunc {
  CMP_NEVER = 1,
  CMP_LESS = 2,
  CMP_EQUAL = 3,
  CMP_LESSEQUAL = 4,
  CMP_GREATER = 5,
  CMP_NOTEQUAL = 6,
  CMP_GREATEREQUAL = 7,
  CMP_ALWAYS = 8,
};
void set_stencil_test(int mask, int ref, int func);
void set_stencil_replace_bits(int bits);

// ---- clears (the current render target; depth to 1.0, stencil to 0) ----
void clear_view(D3dColor color);
void clear_view_color(D3dColor color);
void clear_view_z();

// ---- transforms ----
void set_view_tm(const Matrix44& tm);
void set_proj_tm(const Matrix44& tm);
void set_proj_tm(float fov_y, float aspect, float zn, float zf);
void get_glob_tm(Matrix44& out);
const Matrix44& get_view_tm();
const Matrix44& get_proj_tm();

// ---- drawing ----
enum PrimType {
  PRIM_POINTLIST = 1,
  PRIM_LINELIST = 2,
  PRIM_LINESTRIP = 3,
  PRIM_TRIANGLELIST = 4,
  PRIM_TRIANGLESTRIP = 5,
  PRIM_TRIANGLEFAN = 6,
};
// Vertices a primitive count needs for a primitive type (0 for an unknown type).
int prim_vertex_count(int prim_type, int prim_count);

void draw_indexed(int prim_type, int base_vertex, int min_index, int num_vertices, int start_index,
                  int prim_count);
void draw_prim(int prim_type, int start_vertex, int prim_count);
// Full-screen quad of clip-space corners (-1,-1)..(1,1) with the current
// shaders. Afterwards the vertex declaration is position-only and stream 0 is
// unbound, so callers set both again before their next draw.
void draw_postfx();

// ---- render targets ----
constexpr int MAX_RENDER_TARGETS = 4;
// Sets the top level of a texture as render target `index` (0..3). Index 0
// also binds the depth-stencil buffer unless use_depth is false, and resets
// the viewport to the target's size; a null texture at index 0 returns to the
// back buffer, at other indices unbinds that target.
void set_render_target(int index, Texture* tex, bool use_depth = true);
// The back buffer as target 0, no depth buffer, other targets unbound.
void set_back_buffer_target();
// Size of the current target 0 in pixels.
int get_target_width();
int get_target_height();
// Reads pixels of the current target 0 as bytes B, G, R, A, rows from the top
// (row 0 of a texture target, the top of the back buffer). out must hold w*h*4.
bool read_target_pixels(int x, int y, int w, int h, uint8_t* out);
// The same as 4 floats (r, g, b, a) per pixel, for float targets.
bool read_target_pixels_float(int x, int y, int w, int h, float* out);
// Reads the depth and stencil values of the layer's depth buffer (valid while
// it is bound), rows from the top.
bool read_depth_stencil(int x, int y, int w, int h, float* depth, uint8_t* stencil);

// ---- instancing ----
// n > 0: stream 0 is indexed geometry drawn n times, stream 1 advances once
// per instance. n <= 0: no instancing.
void set_instancing(int n);

// ---- vertex declarations ----
enum VDeclType {
  VDECL_FLOAT1 = 1,
  VDECL_FLOAT2 = 2,
  VDECL_FLOAT3 = 3,
  VDECL_FLOAT4 = 4,
  VDECL_D3DCOLOR = 5,
  VDECL_SHORT2 = 6,
  VDECL_SHORT4 = 7,
};
enum VDeclUsage {
  VDECL_POSITION = 0,
  VDECL_NORMAL = 1,
  VDECL_COLOR = 2,
  VDECL_TEXCOORD = 3,
  VDECL_TANGENT = 4,
};
constexpr int MAX_VDECL_LEN = 32;  // elements including the end marker
constexpr int MAX_VDECLS = 64;
constexpr int MAX_STREAMS = 16;

#pragma pack(push, 1)
struct VertexElement {
  uint16_t offset;
  uint8_t stream;  // 255 ends the list
  uint8_t type;
  uint8_t usage;
  uint8_t usage_index;
};
#pragma pack(pop)
static_assert(sizeof(VertexElement) == 6, "vertex element records are 6 bytes");
constexpr VertexElement VDECL_END = {0, 255, 0, 0, 0};

struct VDecl;
// Creates the declaration for an element list ended by VDECL_END, or returns
// the one already made for the same list.
VDecl* create_vdecl(const VertexElement* elements);
void set_vdecl(VDecl* decl);
int get_vdecl_count();  // slots in use

// ---- streams ----
struct VertexBuffer;
struct IndexBuffer;
void set_vb(int stream, VertexBuffer* vb, int offset, int stride);
void set_ib(IndexBuffer* ib);

// ---- utilities ----
void flush_gpu();
unsigned get_free_texmem();
