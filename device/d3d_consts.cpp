// The shared shader constant registers, kept by the layer like device state,
// and their upload before a draw: the register blocks that changed since the
// last draw go up in one write into a ring buffer and are bound there.
#include <cstring>

#include "platform/log.h"
#include "device/d3d_internal.h"
#include "device/d3d_shaders.h"

namespace {
// Every upload takes fresh space in the ring, so no write ever touches memory
// a queued draw still reads and the driver never has to wait or copy. When
// the ring is full its storage is renewed and writing starts over.
constexpr GLsizeiptr CONST_RING_SIZE = 4 << 20;
constexpr int VS_BYTES = MAX_VS_CONSTS * 16, PS_BYTES = MAX_PS_CONSTS * 16, LAYER_BYTES = 32;
// Blocks written together sit at offsets that are multiples of 256, which
// every driver's uniform buffer alignment divides.
constexpr int BLOCK_ALIGN = 256;

struct ConstRegisters {
  float vs[MAX_VS_CONSTS * 4];
  float ps[MAX_PS_CONSTS * 4];
  bool vsDirty = true, psDirty = true;
  GLuint ring = 0;
  GLintptr ringPos = 0;
  GLint ringAlign = 256;
  alignas(16) uint8_t staging[VS_BYTES + PS_BYTES + BLOCK_ALIGN];
};
ConstRegisters regs;

GLintptr align_up(GLintptr v, GLintptr a) { return (v + a - 1) / a * a; }
}  // namespace

void set_vs_const(int start, const float* data, int count) {
  G_ASSERT(start >= 0 && count >= 0 && start + count <= MAX_VS_CONSTS);
  if (count == 0) return;
  float* at = regs.vs + start * 4;
  if (std::memcmp(at, data, size_t(count) * 16) == 0) return;
  std::memcpy(at, data, size_t(count) * 16);
  regs.vsDirty = true;
}

void set_ps_const(int start, const float* data, int count) {
  G_ASSERT(start >= 0 && count >= 0 && start + count <= MAX_PS_CONSTS);
  if (count == 0) return;
  float* at = regs.ps + start * 4;
  if (std::memcmp(at, data, size_t(count) * 16) == 0) return;
  std::memcpy(at, data, size_t(count) * 16);
  regs.psDirty = true;
}

const float* get_vs_consts() { return regs.vs; }
const float* get_ps_consts() { return regs.ps; }

void upload_shader_consts() {
  if (!regs.vsDirty && !regs.psDirty && !dev.layerDirty) return;
  // The changed blocks side by side in the staging memory.
  struct Piece {
    GLuint binding;
    const void* data;
    int bytes;
    int at;
  } pieces[3];
  int n = 0, size = 0;
  auto add = [&](bool dirty, GLuint binding, const void* data, int bytes) {
    if (!dirty) return;
    size = int(align_up(size, regs.ringAlign > BLOCK_ALIGN ? regs.ringAlign : BLOCK_ALIGN));
    pieces[n++] = Piece{binding, data, bytes, size};
    size += bytes;
  };
  add(regs.vsDirty, UBO_VS_CONSTS, regs.vs, VS_BYTES);
  add(regs.psDirty, UBO_PS_CONSTS, regs.ps, PS_BYTES);
  add(dev.layerDirty, UBO_LAYER, dev.layer, LAYER_BYTES);
  GLintptr at = align_up(regs.ringPos, regs.ringAlign);
  if (at + size > CONST_RING_SIZE) {
    gl_bind_uniform_buffer(regs.ring);
    glBufferData(GL_UNIFORM_BUFFER, CONST_RING_SIZE, nullptr, GL_STREAM_DRAW);
    at = 0;
  }
  gl_bind_uniform_buffer(regs.ring);
  device_counters.bufferMaps++;
  if (size > int(sizeof(regs.staging)) || n == 1) {
    // A driver alignment beyond the staging layout, or one block: each its own write.
    for (int i = 0; i < n; i++)
      glBufferSubData(GL_UNIFORM_BUFFER, at + pieces[i].at, pieces[i].bytes, pieces[i].data);
  } else {
    for (int i = 0; i < n; i++) std::memcpy(regs.staging + pieces[i].at, pieces[i].data, size_t(pieces[i].bytes));
    glBufferSubData(GL_UNIFORM_BUFFER, at, size, regs.staging);
  }
  for (int i = 0; i < n; i++) gl_bind_uniform_range(pieces[i].binding, regs.ring, at + pieces[i].at, pieces[i].bytes);
  regs.ringPos = at + size;
  regs.vsDirty = regs.psDirty = dev.layerDirty = false;
}

void create_const_buffers() {
  // The registers keep their values across device life like device state;
  // a new device starts them at zero.
  std::memset(regs.vs, 0, sizeof(regs.vs));
  std::memset(regs.ps, 0, sizeof(regs.ps));
  glGetIntegerv(GL_UNIFORM_BUFFER_OFFSET_ALIGNMENT, &regs.ringAlign);
  if (regs.ringAlign < 1) regs.ringAlign = 256;
  glGenBuffers(1, &regs.ring);
  gl_bind_uniform_buffer(regs.ring);
  glBufferData(GL_UNIFORM_BUFFER, CONST_RING_SIZE, nullptr, GL_STREAM_DRAW);
  regs.ringPos = 0;
  // Every block is uploaded before the first draw.
  regs.vsDirty = regs.psDirty = true;
  dev.layerDirty = true;
}

void release_const_buffers() {
  if (regs.ring) {
    glDeleteBuffers(1, &regs.ring);
    forget_gl_buffer(regs.ring);
  }
  regs.ring = 0;
}
