// The vertex and index buffer tables. Dynamic buffers are released before a
// device reset and re-created in place after it, so handles stay valid.
#include "platform/log.h"
#include "device/d3d_internal.h"
#include "device/d3d_vbuf.h"

namespace {
VertexBuffer vb_table[MAX_BUFFERS];
IndexBuffer ib_table[MAX_BUFFERS];

template <typename B>
void delete_storage(B& b) {
  if (b.locked) {
    gl_bind_copy_buffer(b.buffer);
    glUnmapBuffer(GL_COPY_WRITE_BUFFER);
    b.locked = false;
  }
  glDeleteBuffers(1, &b.buffer);
  forget_gl_buffer(b.buffer);
  b.buffer = 0;
}

// Creates the GL storage of an entry; 0 or the failure code.
template <typename B>
uint32_t create_storage(B& b) {
  while (glGetError() != GL_NO_ERROR) {
  }
  if (b.size <= 0) return RESULT_INVALID_VALUE;
  glGenBuffers(1, &b.buffer);
  gl_bind_copy_buffer(b.buffer);
  glBufferData(GL_COPY_WRITE_BUFFER, b.size, nullptr, (b.flags & BUF_STATIC) ? GL_STATIC_DRAW : GL_DYNAMIC_DRAW);
  GLenum err = glGetError();
  if (err != GL_NO_ERROR) {
    delete_storage(b);
    return err;
  }
  return 0;
}

template <typename B>
B* create_buffer(B* table, int size, int flags, const char* full_msg, const char* err_msg) {
  G_ASSERT(gl_context);
  B* b = nullptr;
  for (int i = 0; i < MAX_BUFFERS; i++)
    if (!table[i].inUse) {
      b = &table[i];
      break;
    }
  if (!b) {
    debug("%s", full_msg);
    return nullptr;
  }
  *b = B{};
  b->size = size;
  b->flags = flags;
  if (uint32_t code = create_storage(*b)) {
    debug(err_msg, unsigned(code));
    *b = B{};
    return nullptr;
  }
  b->inUse = true;
  return b;
}

template <typename B>
void release_buffer(B* b) {
  if (!b || !b->inUse) return;
  if (b->buffer && gl_context) delete_storage(*b);
  *b = B{};
}

template <typename B>
void* lock_buffer(B* b, int offset, int size, const char* what) {
  if (!b || !b->buffer || b->locked) return nullptr;
  if (offset == 0 && size == 0) size = b->size;
  if (offset < 0 || size <= 0 || int64_t(offset) + size > b->size) {
    debug("%s lock of %d bytes at %d outside its %d bytes", what, size, offset, b->size);
    return nullptr;
  }
  // Every lock of a dynamic buffer discards its contents, so the driver can
  // hand out fresh memory without waiting for the GPU.
  GLbitfield access = GL_MAP_WRITE_BIT;
  if (!(b->flags & BUF_STATIC)) access |= GL_MAP_INVALIDATE_BUFFER_BIT;
  gl_bind_copy_buffer(b->buffer);
  device_counters.bufferMaps++;
  void* p = glMapBufferRange(GL_COPY_WRITE_BUFFER, offset, size, access);
  if (p) b->locked = true;
  return p;
}

template <typename B>
void unlock_buffer(B* b) {
  if (!b || !b->buffer || !b->locked) return;
  gl_bind_copy_buffer(b->buffer);
  glUnmapBuffer(GL_COPY_WRITE_BUFFER);
  b->locked = false;
}

template <typename B>
int count_in_use(const B* table) {
  int n = 0;
  for (int i = 0; i < MAX_BUFFERS; i++) n += table[i].inUse;
  return n;
}
}  // namespace

VertexBuffer* create_vb(int size, int flags) {
  return create_buffer(vb_table, size, flags, "reached MAX_BUFFERS for VB", "error creating VB (code 0x%08X)");
}
IndexBuffer* create_ib(int index_count, int flags) {
  if (index_count > 0x3FFFFFFF) index_count = 0;  // the byte size would overflow
  return create_buffer(ib_table, index_count * 2, flags, "reached MAX_BUFFERS for IB",
                       "error creating IB (code 0x%08X)");
}
void release_vb(VertexBuffer* vb) {
  for (auto& s : dev.streams)
    if (s.vb == vb) s = StreamSource{};
  release_buffer(vb);
}
void release_ib(IndexBuffer* ib) {
  if (ib && dev.ib == ib) set_ib(nullptr);
  release_buffer(ib);
}
void* lock_vb(VertexBuffer* vb, int offset, int size) {
  if (vb) vb->drawBase = 0;
  return lock_buffer(vb, offset, size, "VB");
}

void* lock_vb_append(VertexBuffer* vb, int min_bytes, int& bytes) {
  bytes = 0;
  if (!vb || !vb->buffer || vb->locked || (vb->flags & BUF_STATIC) || min_bytes > vb->size) return nullptr;
  // Batches start 16-byte aligned, so every element's offset stays aligned.
  int at = (vb->appendPos + 15) & ~15;
  GLbitfield access = GL_MAP_WRITE_BIT;
  if (vb->appendFrame != dev.presentCount || at + min_bytes > vb->size) {
    // The first batch of a frame, or one that no longer fits: fresh storage
    // (the old stays with the GPU until it is done with it).
    at = 0;
    access |= GL_MAP_INVALIDATE_BUFFER_BIT;
  } else {
    // Behind the batches already written this frame: nothing the GPU reads
    // is overwritten, so there is nothing to wait for.
    access |= GL_MAP_UNSYNCHRONIZED_BIT | GL_MAP_INVALIDATE_RANGE_BIT;
  }
  gl_bind_copy_buffer(vb->buffer);
  device_counters.bufferMaps++;
  void* p = glMapBufferRange(GL_COPY_WRITE_BUFFER, at, vb->size - at, access);
  if (!p) return nullptr;
  vb->locked = true;
  vb->drawBase = at;
  vb->appendPos = at;
  vb->appendFrame = dev.presentCount;
  bytes = vb->size - at;
  return p;
}

void unlock_vb_append(VertexBuffer* vb, int used_bytes) {
  if (!vb || !vb->locked) return;
  vb->appendPos = vb->drawBase + used_bytes;
  unlock_buffer(vb);
}
void* lock_ib(IndexBuffer* ib, int offset, int size) { return lock_buffer(ib, offset, size, "IB"); }
void unlock_vb(VertexBuffer* vb) { unlock_buffer(vb); }
void unlock_ib(IndexBuffer* ib) { unlock_buffer(ib); }
int get_vb_count() { return count_in_use(vb_table); }
int get_ib_count() { return count_in_use(ib_table); }

namespace {
template <typename B>
void release_dynamic(B* table) {
  for (int i = 0; i < MAX_BUFFERS; i++) {
    B& b = table[i];
    if (!b.inUse || (b.flags & BUF_STATIC) || !b.buffer) continue;
    delete_storage(b);  // the entry stays in use until it is re-created
  }
}
template <typename B>
void recreate_dynamic(B* table, const char* err_msg) {
  for (int i = 0; i < MAX_BUFFERS; i++) {
    B& b = table[i];
    if (!b.inUse || (b.flags & BUF_STATIC) || b.buffer) continue;
    if (uint32_t code = create_storage(b)) {
      debug(err_msg, unsigned(code));
      b = B{};
    }
  }
}
}  // namespace

void buffers_before_reset() {
  vdecl_reset_state();
  release_dynamic(vb_table);
  release_dynamic(ib_table);
}

void buffers_after_reset() {
  recreate_dynamic(vb_table, "error creating VB (code 0x%08X)");
  recreate_dynamic(ib_table, "error creating IB (code 0x%08X)");
}

void close_all_buffers() {
  vdecl_reset_state();
  for (auto& b : vb_table) release_buffer(&b);
  for (auto& b : ib_table) release_buffer(&b);
}
