// Buffer tables, locks and the dynamic vertex buffer writer.
#include <epoxy/gl.h>

#include <cstring>
#include <vector>

#include "device/d3d_shaders.h"
#include "device/d3d_vbuf.h"
#include "device/dynVBWriter.h"
#include "tests/device/gl_env.h"
#include "tests/device/test_shaders.h"

namespace {

std::vector<uint8_t> contents(unsigned buffer, int size) {
  std::vector<uint8_t> out(static_cast<size_t>(size));
  glBindBuffer(GL_COPY_READ_BUFFER, buffer);
  glGetBufferSubData(GL_COPY_READ_BUFFER, 0, size, out.data());
  glBindBuffer(GL_COPY_READ_BUFFER, 0);
  return out;
}

class Buffers : public DeviceTest {};

TEST_F(Buffers, TablesHoldAThousandBuffersEach) {
  int before = get_vb_count();
  std::vector<VertexBuffer*> vbs;
  for (int i = before; i < MAX_BUFFERS; i++) vbs.push_back(create_vb(16, i & 1));
  for (VertexBuffer* v : vbs) ASSERT_NE(v, nullptr);
  testing::internal::CaptureStdout();
  EXPECT_EQ(create_vb(16, 0), nullptr);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("reached MAX_BUFFERS for VB"), std::string::npos);
  release_vb(vbs.back());
  VertexBuffer* again = create_vb(16, 0);
  EXPECT_EQ(again, vbs.back());  // the freed entry is taken again
  vbs.back() = again;
  for (VertexBuffer* v : vbs) release_vb(v);
  EXPECT_EQ(get_vb_count(), before);

  testing::internal::CaptureStdout();
  EXPECT_EQ(create_vb(0, 0), nullptr);
  EXPECT_EQ(create_ib(-4, 0), nullptr);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("error creating VB (code 0x00000501)"), std::string::npos) << out;
  EXPECT_NE(out.find("error creating IB (code 0x00000501)"), std::string::npos) << out;
  EXPECT_EQ(get_vb_count(), before);
}

TEST_F(Buffers, LocksCheckTheirRangeAndStaticLocksKeepTheRest) {
  IndexBuffer* ib = create_ib(8, BUF_STATIC);
  ASSERT_NE(ib, nullptr);
  EXPECT_EQ(ib->size, 16);
  auto* p = static_cast<uint16_t*>(lock_ib(ib, 0, 0));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 8; i++) p[i] = uint16_t(i + 100);
  EXPECT_EQ(lock_ib(ib, 0, 0), nullptr);  // already locked
  unlock_ib(ib);
  p = static_cast<uint16_t*>(lock_ib(ib, 4, 4));
  ASSERT_NE(p, nullptr);
  p[0] = 7, p[1] = 8;
  unlock_ib(ib);
  std::vector<uint8_t> c = contents(ib->buffer, 16);
  const uint16_t* v = reinterpret_cast<const uint16_t*>(c.data());
  EXPECT_EQ(v[0], 100);
  EXPECT_EQ(v[2], 7);
  EXPECT_EQ(v[3], 8);
  EXPECT_EQ(v[7], 107);
  testing::internal::CaptureStdout();
  EXPECT_EQ(lock_ib(ib, 12, 8), nullptr);
  EXPECT_EQ(lock_ib(ib, -2, 4), nullptr);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(lock_ib(nullptr, 0, 0), nullptr);
  release_ib(ib);
  release_ib(nullptr);
}

// Writes quads of 6 vertices (72 bytes with 12-byte positions) and counts
// what the callback is asked to draw.
std::vector<int> batches;
void count_batch(int prims, int arg) {
  EXPECT_EQ(arg, PRIM_TRIANGLELIST);
  batches.push_back(prims);
}

TEST_F(Buffers, WriterDrawsInBatchesOfWholePrimitives) {
  dynVBWriter.init(65536);
  batches.clear();
  dynVBWriter.begin(count_batch, PRIM_TRIANGLELIST);
  const int quads = 2000;  // 144,000 bytes
  for (int q = 0; q < quads; q++) {
    char* p = dynVBWriter.reserve(72);
    std::memset(p, 0, 72);
    dynVBWriter.advance(72, 2);
  }
  dynVBWriter.flush(true);
  EXPECT_FALSE(dynVBWriter.started());
  ASSERT_EQ(batches.size(), 3u);
  int total = 0;
  for (int b : batches) {
    EXPECT_EQ(b % 2, 0);  // whole quads
    EXPECT_LE(b / 2 * 72, 65536);
    total += b;
  }
  EXPECT_EQ(total, quads * 2);
  EXPECT_EQ(batches[0], 65536 / 72 * 2);

  // Finishing right after begin draws nothing and ends the writing state.
  batches.clear();
  dynVBWriter.begin(count_batch, PRIM_TRIANGLELIST);
  dynVBWriter.flush(true);
  EXPECT_TRUE(batches.empty());
  EXPECT_FALSE(dynVBWriter.started());
  dynVBWriter.flush(true);  // not started: nothing
  dynVBWriter.flush(false);

  dynVBWriter.begin(count_batch, PRIM_TRIANGLELIST);
  EXPECT_EXIT(dynVBWriter.begin(count_batch, 0), testing::ExitedWithCode(100), "failed ASSERT\\(!startPtr\\)");
  EXPECT_EXIT(dynVBWriter.init(1024), testing::ExitedWithCode(100), "failed ASSERT\\(!startPtr\\)");
  dynVBWriter.flush(true);
  dynVBWriter.close();
  EXPECT_EXIT(dynVBWriter.begin(count_batch, 0), testing::ExitedWithCode(100), "failed ASSERT\\(vb\\)");
  EXPECT_EXIT(dynVBWriter.init(-5), testing::ExitedWithCode(100), "can't create dynamic VB of size -5");
}

TEST_F(Buffers, WriterGeometryReachesTheScreen) {
  write_app_file("vcolor.sh", VCOLOR_SH);
  dynVBWriter.init(4096);
  struct V {
    float x, y, z;
    uint32_t c;
  };
  static const VertexElement decl[] = {
      {0, 0, VDECL_FLOAT3, VDECL_POSITION, 0}, {12, 0, VDECL_D3DCOLOR, VDECL_COLOR, 0}, VDECL_END};
  ShaderRecord* s = load_shader("vcolor.sh", nullptr);
  set_back_buffer_target();
  clear_view_color(0xFF000000);
  set_shaders(s);
  set_vdecl(create_vdecl(decl));
  set_vb(0, dynVBWriter.vb, 0, sizeof(V));
  dynVBWriter.begin(dyn_vb_draw_prims, PRIM_LINELIST);
  // 256 horizontal lines, one per row, more than one buffer's worth.
  for (int row = 0; row < 256; row++) {
    float y = 1.f - (2.f * float(row) + 1.f) / 256.f + 1.f / 256.f;  // pixel centre row
    V line[2] = {{-1.f, y, 0.5f, 0xFF000000u | uint32_t(row)}, {1.f, y, 0.5f, 0xFF000000u | uint32_t(row)}};
    std::memcpy(dynVBWriter.reserve(sizeof(line)), line, sizeof(line));
    dynVBWriter.advance(sizeof(line), 1);
  }
  dynVBWriter.flush(true);
  for (int row = 0; row < 256; row += 15) EXPECT_EQ(pixel_at(100, row), 0xFF000000u | uint32_t(row)) << row;
  release_shader(s);
  dynVBWriter.close();
}

}  // namespace
