#pragma once
// The one shared dynamic vertex buffer for immediate geometry (text,
// particles, debug lines, shadow quads). Writers append vertices at curPtr;
// the writer draws through the callback and restarts whenever it is flushed.
// Batches follow each other through the buffer within a frame (the buffer is
// mapped once per batch and its storage renewed once per frame); users bind
// the buffer at offset 0 and draw from vertex or instance 0 as if each batch
// began the buffer.
#include "device/d3d_vbuf.h"

using DynVBDrawFunc = void (*)(int prim_count, int arg);

struct DynVBWriter {
  char* curPtr = nullptr;
  int primCount = 0;
  char* startPtr = nullptr;
  VertexBuffer* vb = nullptr;
  int size = 0;   // the buffer's bytes
  int limit = 0;  // bytes mapped for the current batch
  DynVBDrawFunc renderFunc = nullptr;
  int renderArg = 0;

  void init(int size_);
  void close();
  char* begin(DynVBDrawFunc func, int arg);
  void flush(bool finish);

  bool started() const { return startPtr != nullptr; }
  int bytesLeft() const { return limit - int(curPtr - startPtr); }
  // Room for `bytes` at curPtr, flushing first when they do not fit. The
  // caller writes them, then calls advance().
  char* reserve(int bytes) {
    if (bytesLeft() < bytes) flush(false);
    return curPtr;
  }
  void advance(int bytes, int prims) {
    curPtr += bytes;
    primCount += prims;
  }
  void lockBatch();  // maps the next batch
};

extern DynVBWriter dynVBWriter;

// The shared callback: a non-indexed draw of prim_count primitives from
// vertex 0, the argument being the primitive type.
void dyn_vb_draw_prims(int prim_count, int prim_type);
