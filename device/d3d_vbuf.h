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
void unlock_ib(IndexBuffer* ib);

int get_vb_count();  // entries in use
int get_ib_count();

// Device reset and close.
void buffers_before_reset();
void buffers_after_reset();
void close_all_buffers();
