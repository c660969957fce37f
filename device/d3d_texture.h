#pragma once
// Textures handed out from one fixed table, so that render targets and other
// default-pool textures are re-created after a device reset under the same
// handle; binding, sampler settings, and loading of DDS files shared by path.
#include <cstdint>

constexpr int MAX_TEXTURES = 1000;
constexpr int MAX_TEXTURE_STAGES = 16;

// Usage flags.
constexpr int USAGE_RENDERTARGET = 0x1;
constexpr int USAGE_DYNAMIC = 0x200;

// Pools.
constexpr int POOL_DEFAULT = 0;  // released and re-created by device resets
constexpr int POOL_MANAGED = 1;

constexpr uint32_t make_fourcc(char a, char b, char c, char d) {
  return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
         uint32_t(uint8_t(d)) << 24;
}

// Texture formats (device numbering).
enum TexFormat : uint32_t {
  FMT_UNKNOWN = 0,
  FMT_A8R8G8B8 = 21,
  FMT_X8R8G8B8 = 22,
  FMT_G16R16 = 34,
  FMT_R16F = 111,
  FMT_G16R16F = 112,
  FMT_A16B16G16R16F = 113,
  FMT_R32F = 114,
  FMT_G32R32F = 115,
  FMT_A32B32G32R32F = 116,
  FMT_DXT1 = make_fourcc('D', 'X', 'T', '1'),
  FMT_DXT3 = make_fourcc('D', 'X', 'T', '3'),
  FMT_DXT5 = make_fourcc('D', 'X', 'T', '5'),
};

// Render-target kinds of create_render_target.
enum RtKind {
  RT_A8R8G8B8 = 1,
  RT_G16R16 = 2,
  RT_R16F = 3,
  RT_G16R16F = 4,
  RT_A16B16G16R16F = 5,
  RT_R32F = 6,
  RT_G32R32F = 7,
  RT_A32B32G32R32F = 8,
};
uint32_t rt_kind_format(int kind);  // FMT_UNKNOWN for an unknown kind

struct Texture {
  unsigned texture;  // GL texture name; 0 when released or free
  int width, height; // 0 x 0: the back buffer's size
  int levels;
  int usage;
  uint32_t format;
  int pool;
  bool inUse;        // entry taken (stays set while a reset has released it)
  // Size of the current texture object (the back buffer's for 0 x 0 entries).
  int realWidth, realHeight;
  // Lock state: staging memory of level 0 while locked.
  uint8_t* lockData;
  int lockPitch;
};

Texture* create_texture(int width, int height, int levels, int usage, uint32_t format, int pool);
Texture* create_render_target(int width, int height, int kind);
Texture* create_scene_image();
Texture* create_managed_texture(int width, int height);
// Releases a texture. A texture returned by load_texture is freed when its
// last reference is released.
void release_texture(Texture* tex);
void* lock_texture(Texture* tex, int& pitch, bool discard);
void unlock_texture(Texture* tex);

void set_texture(int stage, Texture* tex);
void set_texture_filter(int sampler, bool linear);
// 0 wrap, 2 border, anything else clamp; negative v takes u, negative w takes v.
void set_texture_address(int sampler, int u, int v = -1, int w = -1);

Texture* load_texture(const char* path, bool required);
int get_texture_count();         // entries in use
int get_loaded_texture_count();  // entries of the loaded-texture list

// Bytes one level of a format takes (blocks for compressed formats).
int texture_level_size(uint32_t format, int width, int height);
int texture_row_pitch(uint32_t format, int width);
bool is_compressed_format(uint32_t format);

// Device reset and close.
void textures_before_reset();
void textures_after_reset();
void close_all_textures();
// The default sampler states of every stage (linear filtering, clamping).
void set_default_sampler_states();
// GL texture name bound to a texture (0 for null or released).
unsigned texture_gl_name(const Texture* tex);
