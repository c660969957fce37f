#pragma once
// Shader pairs compiled from one GLSL source file (".sh") with the entry
// functions vsh and psh, shared by file name and defines with a reference
// count, cached as program binaries under "cache/" and reloaded when their
// files change.
//
// Source conventions (the layer prepends a common preamble):
//  - the vertex stage sees VSH defined, the pixel stage PSH, both " 1";
//  - `vec4 vsh()` returns the clip-space position with z from 0 to w, pixel
//    centres at integer coordinates and texture row 0 at the top, also when
//    rendering to a texture;
//  - `vec4 psh()` returns colour 0; oC1..oC3 are the further targets;
//  - vertex inputs are named by usage and usage index: POSITION0, NORMAL0,
//    COLOR0, TEXCOORD0.. TEXCOORD15, TANGENT0, POSITION10, ...;
//  - vertex registers are vc[0..255], pixel registers pc[0..223];
//  - a sampler's stage is the number its name ends with (tex0, scene11);
//  - vpos() gives the pixel position with (0, 0) at the top-left pixel;
//  - `#include "file"` is resolved against the application directory.
#include <cstdint>

#include "containers/dyn_array.h"
#include "platform/math_types.h"

constexpr int MAX_SHADERS = 64;
constexpr int MAX_VS_CONSTS = 256;
constexpr int MAX_PS_CONSTS = 224;
constexpr uint32_t SHADER_CACHE_MAGIC = 0x20100715;

struct ShaderDependency {
  char name[264];
  int64_t time;
};

// One vertex input of a linked program.
struct ShaderInput {
  int location;
  uint8_t usage;
  uint8_t usageIndex;
};

struct ShaderRecord {
  unsigned program;  // GL program linking both stages; 0 when the slot is free
  char file[260];
  char defines[512];
  DynArray<ShaderDependency> deps;
  int refcount;
  // Vertex inputs of the program.
  ShaderInput inputs[16];
  int numInputs;
  uint32_t samplerMask;  // the stages the program samples
  unsigned serial;       // changes whenever the program object changes
};

ShaderRecord* load_shader(const char* file, const char* defines);
void release_shader(ShaderRecord* s);
void release_all_shaders();
void set_shaders(ShaderRecord* s);
// `count` four-float registers starting at `start`.
void set_vs_const(int start, const float* data, int count);
void set_ps_const(int start, const float* data, int count);
inline void set_vs_const(int start, const vec4f* v, int count) { set_vs_const(start, &v->x, count); }
inline void set_ps_const(int start, const vec4f* v, int count) { set_ps_const(start, &v->x, count); }
inline void set_vs_const(int reg, const vec4f& v) { set_vs_const(reg, &v.x, 1); }
inline void set_ps_const(int reg, const vec4f& v) { set_ps_const(reg, &v.x, 1); }
const float* get_vs_consts();  // the 256 registers as the layer holds them
const float* get_ps_consts();
void reload_changed_shaders();

int get_shader_count();  // slots in use
bool shader_compiler_present();
// The cache file name of a source and defines list; empty when it does not
// fit `out` (the user's cache folder comes from the environment).
constexpr int SHADER_CACHE_PATH_MAX = 4096;
void make_shader_cache_name(const char* file, const char* defines, char* out, int out_size);
// Length in bytes of a defines list including its final empty string (0 for null).
int defines_list_size(const char* defines);

// Device start and reset (called by the device).
void init_shader_system();
void close_shader_system();
