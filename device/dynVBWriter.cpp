// The shared dynamic vertex buffer writer.
#include "device/dynVBWriter.h"

#include "platform/log.h"
#include "device/d3d_render.h"

DynVBWriter dynVBWriter;

void DynVBWriter::init(int size_) {
  G_ASSERT(!startPtr);
  if (vb) release_vb(vb);
  vb = create_vb(size_, 0);
  if (!vb) fatal("can't create dynamic VB of size %d", size_);
  size = size_;
  curPtr = nullptr;
  primCount = 0;
  renderFunc = nullptr;
  renderArg = 0;
}

void DynVBWriter::close() {
  G_ASSERT(!startPtr);
  release_vb(vb);
  vb = nullptr;
  size = 0;
}

namespace {
// A batch maps at least this share of the buffer, so that every single write
// fits a fresh batch.
constexpr int MIN_BATCH_SHARE = 4;
}  // namespace

void DynVBWriter::lockBatch() {
  startPtr = static_cast<char*>(lock_vb_append(vb, size / MIN_BATCH_SHARE, limit));
  G_ASSERT(startPtr);
  curPtr = startPtr;
}

char* DynVBWriter::begin(DynVBDrawFunc func, int arg) {
  G_ASSERT(!startPtr);
  G_ASSERT(vb);
  lockBatch();
  primCount = 0;
  renderFunc = func;
  renderArg = arg;
  return startPtr;
}

void DynVBWriter::flush(bool finish) {
  if (!finish && primCount <= 0) return;
  if (finish && !startPtr) return;
  G_ASSERT(startPtr && renderFunc);
  unlock_vb_append(vb, int(curPtr - startPtr));
  curPtr = startPtr = nullptr;
  if (primCount > 0) {
    renderFunc(primCount, renderArg);
    primCount = 0;
  }
  if (!finish) {
    lockBatch();
  } else {
    renderFunc = nullptr;
  }
}

void dyn_vb_draw_prims(int prim_count, int prim_type) { draw_prim(prim_type, 0, prim_count); }
