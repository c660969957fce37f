#pragma once
// Vertex and index buffers handed out from two fixed tables, so that dynamic
// buffers are re-created in place after a device reset and handles stay valid.
#include <cstdint>

constexpr int MAX_BUFFERS = 1000;
constexpr int BUF_STATIC = 1;  // flags bit 0: survives resets, keeps its contents

struct VertexBuffer {
  unsigned buffer;  // GL buffer name, 0 when released or free
  int size;         // bytes
  int flags;
  bool inUse;       // entry taken (stays set while a reset has released the buffer)
  bool locked;
  // Appending batches (lock_vb_append): where the current batch starts, which
  // draws add to their stream offsets, and where the next may start.
  int drawBase;
  int appendPos;
  unsigned appendFrame;
};
struct IndexBuffer {
  unsigned buffer;
  int size;  // bytes: index count * 2, 16-bit indices
  int flags;
  bool inUse;
  bool locked;
};

VertexBuffer* create_vb(int size, int flags);
IndexBuffer* create_ib(int index_count, int flags);
void release_vb(VertexBuffer* vb);
void release_ib(IndexBuffer* ib);
// Offset and size 0 lock the whole buffer. Dynamic buffers discard their
// contents on every lock.
void* lock_vb(VertexBuffer* vb, int offset, int size);
void* lock_ib(IndexBuffer* ib, int offset, int size);
void unlock_vb(VertexBuffer* vb);
// For a writer that fills a dynamic buffer in batches: maps the rest of the
// buffer behind this frame's earlier batches (at least min_bytes, else fresh
// storage from its start) and says in `bytes` how much was mapped. Until the
// next lock, draws read the buffer from where this batch starts, so callers
// keep binding it at offset 0. Null for a static, locked or too small buffer.
void* lock_vb_append(VertexBuffer* vb, int min_bytes, int& bytes);
// Unmaps a batch of which `used_bytes` were written.
void unlock_vb_append(VertexBuffer* vb, int used_bytes);
void unlock_ib(IndexBuffer* ib);

int get_vb_count();  // entries in use
int get_ib_count();

// Device reset and close.
void buffers_before_reset();
void buffers_after_reset();
void close_all_buffers();
