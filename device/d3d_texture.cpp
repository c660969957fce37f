// The texture table, texture kinds, binding, sampler settings and the DDS
// loader with its loaded-texture list shared by full path.
//
// Texture memory keeps the device's row order: row 0 is the top row, and
// texture coordinate v = 0 addresses it (GL's t = 0 is the first row in
// memory, so sampling needs no flip). Formats with fewer than four channels
// read the missing colour channels as 1, as the device does.
#include <strings.h>

#include <cstdlib>
#include <cstring>

#include "platform/file_stream.h"
#include "platform/globals.h"
#include "platform/log.h"
#include "platform/platform.h"
#include "containers/dyn_array.h"
#include "device/d3d_internal.h"
#include "device/d3d_texture.h"
#include "device/dds.h"

namespace {
Texture tex_table[MAX_TEXTURES];

struct LoadedTexture {
  Texture* tex;
  int refs;
  char path[260];
};
DynArray<LoadedTexture> loaded;

struct GlFormat {
  GLenum internal, format, type;
  int bytes;       // per texel, or per 4x4 block for compressed formats
  bool compressed;
  GLenum swizzle[4];
};

bool gl_format(uint32_t f, GlFormat& g) {
  const GLenum R = GL_RED, G = GL_GREEN, B = GL_BLUE, A = GL_ALPHA, ONE = GL_ONE;
  switch (f) {
    case FMT_A8R8G8B8: g = {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, 4, false, {R, G, B, A}}; return true;
    case FMT_X8R8G8B8: g = {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, 4, false, {R, G, B, ONE}}; return true;
    case FMT_G16R16: g = {GL_RG16, GL_RG, GL_UNSIGNED_SHORT, 4, false, {R, G, ONE, ONE}}; return true;
    case FMT_R16F: g = {GL_R16F, GL_RED, GL_HALF_FLOAT, 2, false, {R, ONE, ONE, ONE}}; return true;
    case FMT_G16R16F: g = {GL_RG16F, GL_RG, GL_HALF_FLOAT, 4, false, {R, G, ONE, ONE}}; return true;
    case FMT_A16B16G16R16F: g = {GL_RGBA16F, GL_RGBA, GL_HALF_FLOAT, 8, false, {R, G, B, A}}; return true;
    case FMT_R32F: g = {GL_R32F, GL_RED, GL_FLOAT, 4, false, {R, ONE, ONE, ONE}}; return true;
    case FMT_G32R32F: g = {GL_RG32F, GL_RG, GL_FLOAT, 8, false, {R, G, ONE, ONE}}; return true;
    case FMT_A32B32G32R32F: g = {GL_RGBA32F, GL_RGBA, GL_FLOAT, 16, false, {R, G, B, A}}; return true;
    case FMT_DXT1:
      g = {GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, 0, 0, 8, true, {R, G, B, A}};
      return epoxy_has_gl_extension("GL_EXT_texture_compression_s3tc");
    case FMT_DXT3:
      g = {GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 0, 0, 16, true, {R, G, B, A}};
      return epoxy_has_gl_extension("GL_EXT_texture_compression_s3tc");
    case FMT_DXT5:
      g = {GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 0, 0, 16, true, {R, G, B, A}};
      return epoxy_has_gl_extension("GL_EXT_texture_compression_s3tc");
    default: return false;
  }
}

int full_chain(int w, int h) {
  int n = 1;
  while (w > 1 || h > 1) {
    w = w > 1 ? w / 2 : 1;
    h = h > 1 ? h / 2 : 1;
    n++;
  }
  return n;
}

// Creates the GL texture of an entry from its recorded parameters; 0 or the
// failure code.
uint32_t create_storage(Texture& t) {
  while (glGetError() != GL_NO_ERROR) {
  }
  GlFormat g;
  if (!gl_format(t.format, g)) return RESULT_INVALID_ENUM;
  int w = t.width, h = t.height;
  if (w == 0 && h == 0) w = d3d_wd, h = d3d_ht;
  GLint max_size = dev.maxTextureSize;
  if (w < 1 || h < 1 || w > max_size || h > max_size) return RESULT_INVALID_VALUE;
  int levels = t.levels == 0 ? full_chain(w, h) : t.levels;
  if (levels < 1 || levels > full_chain(w, h)) return RESULT_INVALID_VALUE;
  if ((t.usage & USAGE_RENDERTARGET) && g.compressed) return RESULT_INVALID_VALUE;

  glGenTextures(1, &t.texture);
  gl_bind_texture_for_upload(t.texture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, levels - 1);
  GLint sw[4] = {GLint(g.swizzle[0]), GLint(g.swizzle[1]), GLint(g.swizzle[2]), GLint(g.swizzle[3])};
  glTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA, sw);
  int lw = w, lh = h;
  for (int l = 0; l < levels; l++) {
    if (g.compressed)
      glCompressedTexImage2D(GL_TEXTURE_2D, l, g.internal, lw, lh, 0, texture_level_size(t.format, lw, lh), nullptr);
    else
      glTexImage2D(GL_TEXTURE_2D, l, GLint(g.internal), lw, lh, 0, g.format, g.type, nullptr);
    lw = lw > 1 ? lw / 2 : 1;
    lh = lh > 1 ? lh / 2 : 1;
  }
  GLenum err = glGetError();
  if (err != GL_NO_ERROR) {
    glDeleteTextures(1, &t.texture);
    forget_gl_texture(t.texture);
    t.texture = 0;
    return err;
  }
  t.realWidth = w;
  t.realHeight = h;
  t.levels = levels;
  return 0;
}

void release_storage(Texture& t) {
  for (int s = 0; s < MAX_TEXTURE_STAGES; s++)
    if (dev.stageTex[s] == &t) set_texture(s, nullptr);
  for (Texture* rt : dev.targets)
    if (rt == &t) {
      set_back_buffer_target();
      break;
    }
  if (t.texture && gl_context) {
    glDeleteTextures(1, &t.texture);
    forget_gl_texture(t.texture);
  }
  t.texture = 0;
  std::free(t.lockData);
  t.lockData = nullptr;
}

// Uploads one level from memory laid out as the device's rows.
GLenum upload_level(const Texture& t, int level, int w, int h, const void* data) {
  GlFormat g;
  gl_format(t.format, g);
  gl_bind_texture_for_upload(t.texture);
  if (g.compressed)
    glCompressedTexSubImage2D(GL_TEXTURE_2D, level, 0, 0, w, h, g.internal, texture_level_size(t.format, w, h),
                              data);
  else
    glTexSubImage2D(GL_TEXTURE_2D, level, 0, 0, w, h, g.format, g.type, data);
  return glGetError();
}
}  // namespace

bool is_compressed_format(uint32_t f) { return f == FMT_DXT1 || f == FMT_DXT3 || f == FMT_DXT5; }

int texture_row_pitch(uint32_t format, int width) {
  if (is_compressed_format(format)) return ((width + 3) / 4) * (format == FMT_DXT1 ? 8 : 16);
  switch (format) {
    case FMT_R16F: return width * 2;
    case FMT_G32R32F:
    case FMT_A16B16G16R16F: return width * 8;
    case FMT_A32B32G32R32F: return width * 16;
    default: return width * 4;
  }
}

int texture_level_size(uint32_t format, int width, int height) {
  if (is_compressed_format(format)) return texture_row_pitch(format, width) * ((height + 3) / 4);
  return texture_row_pitch(format, width) * height;
}

uint32_t rt_kind_format(int kind) {
  static const uint32_t formats[9] = {FMT_UNKNOWN, FMT_A8R8G8B8, FMT_G16R16, FMT_R16F, FMT_G16R16F,
                                      FMT_A16B16G16R16F, FMT_R32F, FMT_G32R32F, FMT_A32B32G32R32F};
  return kind >= 1 && kind <= 8 ? formats[kind] : FMT_UNKNOWN;
}

Texture* create_texture(int width, int height, int levels, int usage, uint32_t format, int pool) {
  G_ASSERT(gl_context);
  Texture* t = nullptr;
  for (auto& e : tex_table)
    if (!e.inUse) {
      t = &e;
      break;
    }
  if (!t) {
    debug("reached MAX_TEXTURES");
    return nullptr;
  }
  *t = Texture{};
  t->width = width;
  t->height = height;
  t->levels = levels;
  t->usage = usage;
  t->format = format;
  t->pool = pool;
  if (uint32_t code = create_storage(*t)) {
    debug("error creating texture (code 0x%08X)", unsigned(code));
    *t = Texture{};
    return nullptr;
  }
  t->inUse = true;
  return t;
}

Texture* create_render_target(int width, int height, int kind) {
  return create_texture(width, height, 1, USAGE_RENDERTARGET, rt_kind_format(kind), POOL_DEFAULT);
}
Texture* create_scene_image() { return create_render_target(0, 0, RT_A8R8G8B8); }
Texture* create_managed_texture(int width, int height) {
  return create_texture(width, height, 1, 0, FMT_A8R8G8B8, POOL_MANAGED);
}

void release_texture(Texture* tex) {
  if (!tex || !tex->inUse) return;
  for (int i = 0; i < loaded.size(); i++)
    if (loaded[i].tex == tex) {
      // A shared loaded texture lives until its last holder releases it.
      if (--loaded[i].refs > 0) return;
      loaded.erase(i);
      break;
    }
  release_storage(*tex);
  *tex = Texture{};
}

void* lock_texture(Texture* tex, int& pitch, bool discard) {
  pitch = 0;
  if (!tex || !tex->texture) return nullptr;
  uint32_t code = 0;
  if (tex->lockData)
    code = RESULT_INVALID_OPERATION;  // already locked
  else if (tex->usage & USAGE_RENDERTARGET)
    code = RESULT_INVALID_OPERATION;  // render targets are not lockable
  if (code) {
    debug("error locking texture (code 0x%08X)", unsigned(code));
    return nullptr;
  }
  int size = texture_level_size(tex->format, tex->realWidth, tex->realHeight);
  tex->lockData = static_cast<uint8_t*>(std::calloc(size_t(size), 1));
  if (!tex->lockData) {
    debug("error locking texture (code 0x%08X)", unsigned(RESULT_OUT_OF_MEMORY));
    return nullptr;
  }
  if (!discard) {
    GlFormat g;
    gl_format(tex->format, g);
    gl_bind_texture_for_upload(tex->texture);
    if (g.compressed)
      glGetCompressedTexImage(GL_TEXTURE_2D, 0, tex->lockData);
    else
      glGetTexImage(GL_TEXTURE_2D, 0, g.format, g.type, tex->lockData);
  }
  tex->lockPitch = texture_row_pitch(tex->format, tex->realWidth);
  pitch = tex->lockPitch;
  return tex->lockData;
}

void unlock_texture(Texture* tex) {
  if (!tex || !tex->lockData) return;
  if (tex->texture) {
    GLenum err = upload_level(*tex, 0, tex->realWidth, tex->realHeight, tex->lockData);
    if (err != GL_NO_ERROR) debug("error unlocking texture (code 0x%08X)", unsigned(err));
  }
  std::free(tex->lockData);
  tex->lockData = nullptr;
}

// Stages and their sampler settings are bound at the next draw that samples
// them; a sampler setting is one sampler object made once.
void set_texture(int stage, Texture* tex) {
  G_ASSERT(stage >= 0 && stage < MAX_TEXTURE_STAGES);
  dev.stageTex[stage] = tex;
}

void set_texture_filter(int sampler, bool linear) {
  G_ASSERT(sampler >= 0 && sampler < MAX_TEXTURE_STAGES);
  SamplerKey& k = dev.stageSampler[sampler];
  k = SamplerKey(linear ? k | 0x40 : k & ~0x40);
}

void set_texture_address(int sampler, int u, int v, int w) {
  G_ASSERT(sampler >= 0 && sampler < MAX_TEXTURE_STAGES);
  if (v < 0) v = u;
  if (w < 0) w = v;
  auto mode = [](int m) { return m == 0 ? 0 : m == 2 ? 2 : 1; };  // wrap, border, clamp
  SamplerKey& k = dev.stageSampler[sampler];
  k = SamplerKey((k & 0x40) | mode(u) << 4 | mode(v) << 2 | mode(w));
}

void set_default_sampler_states() {
  for (SamplerKey& k : dev.stageSampler) k = SAMPLER_DEFAULT;
}

unsigned texture_gl_name(const Texture* tex) { return tex ? tex->texture : 0; }

int get_texture_count() {
  int n = 0;
  for (auto& e : tex_table) n += e.inUse;
  return n;
}
int get_loaded_texture_count() { return loaded.size(); }

void textures_before_reset() {
  for (int s = 0; s < MAX_TEXTURE_STAGES; s++) set_texture(s, nullptr);
  for (auto& t : tex_table)
    if (t.inUse && t.pool == POOL_DEFAULT) release_storage(t);  // the entry stays in use
}

void textures_after_reset() {
  for (auto& t : tex_table) {
    if (!t.inUse || t.pool != POOL_DEFAULT || t.texture) continue;
    if (uint32_t code = create_storage(t)) {
      debug("error recreating texture (code 0x%08X)", unsigned(code));
      for (int i = 0; i < loaded.size(); i++)
        if (loaded[i].tex == &t) {
          loaded.erase(i);
          break;
        }
      t = Texture{};
    }
  }
}

void close_all_textures() {
  for (Texture*& t : dev.stageTex) t = nullptr;
  for (auto& t : tex_table) {
    if (t.inUse) release_storage(t);
    t = Texture{};
  }
  loaded.reset();
}

// ---- DDS loading ----

namespace {
Texture* load_dds(const char* path) {
  DynArray<uint8_t> file;
  {
    FileInputStream in;
    // A file that is not there loads no texture; the caller decides.
    if (!in.open(path)) return nullptr;
    bool ok = true;
    {
      try {
        in.seekToEnd(0);
        int size = in.tell();
        in.seekTo(0);
        if (size < 0) throw InputStream::Exception("file size unknown", -1);
        file.resize(size);
        if (size > 0) in.read(file.data, size);
      } catch (const InputStream::Exception&) {
        ok = false;
      }
    }
    if (!ok) fatal("Error loading file '%s'", path);
  }
  DdsInfo info;
  switch (parse_dds(file.data, size_t(file.size()), info)) {
    case DdsResult::ok: break;
    case DdsResult::not_dds: fatal("Texture '%s' is not a DDS", path);
    case DdsResult::too_many_levels: fatal("Error creating texture from '%s'", path);
    case DdsResult::truncated: fatal("DDS texture '%s' is truncated", path);
  }
  Texture* t = create_texture(info.width, info.height, info.levels, 0, info.format, POOL_MANAGED);
  if (!t) fatal("Error creating texture from '%s'", path);
  const uint8_t* src = file.data + info.dataOffset;
  int w = info.width, h = info.height;
  for (int l = 0; l < info.levels; l++) {
    GLenum err = upload_level(*t, l, w, h, src);
    if (err != GL_NO_ERROR) fatal("error loading texture '%s' (code 0x%08X)", path, unsigned(err));
    src += dds_level_size(info.format, w, h);
    w = w > 1 ? w / 2 : 1;
    h = h > 1 ? h / 2 : 1;
  }
  debug("loaded DDS texture '%s'", path);
  return t;
}
}  // namespace

Texture* load_texture(const char* path, bool required) {
  if (!path) return nullptr;
  TempString full = make_full_path(path);
  for (auto& e : loaded)
    if (strcasecmp(e.path, full.c_str()) == 0) {
      e.refs++;
      return e.tex;
    }
  Texture* t = load_dds(full.c_str());
  if (!t) {
    if (required) fatal("Can't load texture from '%s'", full.c_str());
    return nullptr;
  }
  LoadedTexture e;
  e.tex = t;
  e.refs = 1;
  copy_fixed(e.path, full.c_str());
  loaded.push_back(e);
  return t;
}
