// The device's memory of the driver's state: what a draw sends when little
// or nothing changed, objects deleted and made again under the same GL name,
// the shared writer's batches one behind the other in a frame, and masks a
// clear overrides. Each check runs on the driver's full feature set and on
// what every OpenGL 3.3 driver offers (TOLVANE_GL_BASIC).
#include <cstdlib>
#include <cstring>

#include "device/d3d_shaders.h"
#include "device/d3d_texture.h"
#include "device/d3d_vbuf.h"
#include "device/device_counters.h"
#include "device/dynVBWriter.h"
#include "tests/device/gl_env.h"
#include "tests/device/test_shaders.h"

namespace {

// A clip-space rectangle as two front-facing triangles.
void rect_at(float x0, float y0, float x1, float y1, float* v) {
  const float q[] = {x0, y1, 0.5f, x1, y1, 0.5f, x0, y0, 0.5f, x1, y1, 0.5f, x1, y0, 0.5f, x0, y0, 0.5f};
  std::memcpy(v, q, sizeof(q));
}
void full_rect(float* v) { rect_at(-1, -1, 1, 1, v); }

VDecl* xyz_decl() {
  static const VertexElement decl[] = {{0, 0, VDECL_FLOAT3, VDECL_POSITION, 0}, VDECL_END};
  return create_vdecl(decl);
}

// A 1 x 1 texture of one colour.
Texture* one_texel(uint32_t argb) {
  Texture* t = create_managed_texture(1, 1);
  int pitch = 0;
  void* p = lock_texture(t, pitch, true);
  std::memcpy(p, &argb, 4);  // bytes B, G, R, A
  unlock_texture(t);
  return t;
}

// Repeating a draw sends only the draw; changing one state sends only that
// state; nothing is read back from the driver in a whole frame.
void check_repeated_draws_send_only_what_changed() {
  VertexBuffer* vb = create_vb(72, 0);
  float v[18];
  full_rect(v);
  std::memcpy(lock_vb(vb, 0, 0), v, sizeof(v));
  unlock_vb(vb);
  ShaderRecord* s = load_shader("solid.sh", nullptr);
  int first_draw_calls = 0, repeat_calls = 0, repeat_changes = 0, blend_calls = 0;
  end_frame_counters();  // the loading above is not part of the frame
  test_frame = [&](float) {
    set_shaders(s);
    set_vdecl(xyz_decl());
    set_vb(0, vb, 0, 12);
    set_ps_const(0, vec4f(1, 0, 0, 1));
    clear_view_color(0xFF000000);
    int before = device_counters.glCalls;
    draw_prim(PRIM_TRIANGLELIST, 0, 2);
    first_draw_calls = device_counters.glCalls - before;
    before = device_counters.glCalls;
    int changes = device_counters.stateChanges;
    set_shaders(s);
    set_vdecl(xyz_decl());
    set_vb(0, vb, 0, 12);
    set_ps_const(0, vec4f(1, 0, 0, 1));
    set_blend_none();
    draw_prim(PRIM_TRIANGLELIST, 0, 2);
    repeat_calls = device_counters.glCalls - before;
    repeat_changes = device_counters.stateChanges - changes;
    before = device_counters.glCalls;
    set_blend_additive();
    draw_prim(PRIM_TRIANGLELIST, 0, 2);
    blend_calls = device_counters.glCalls - before;
    set_blend_none();
  };
  ASSERT_TRUE(render_d3d_frame(run_test_frame, 0));
  test_frame = nullptr;
  present_frame();
  const DeviceCounters& frame = last_frame_counters();
  EXPECT_GT(first_draw_calls, 1);
  EXPECT_EQ(repeat_calls, 1) << "an unchanged draw is the draw call alone";
  EXPECT_EQ(repeat_changes, 0);
  EXPECT_GE(blend_calls, 2) << "blending on, the draw";
  EXPECT_LE(blend_calls, 3) << "blending on, its factors if they differ, the draw";
  EXPECT_EQ(frame.draws, 3);
  EXPECT_EQ(frame.reads, 0) << "nothing is read back during a frame";
  // Red added to red is still red.
  EXPECT_EQ(pixel_at(10, 10), 0xFFFF0000u);
  release_shader(s);
  release_vb(vb);
}

// A texture, buffer or target deleted and made again usually gets the same
// GL name back; the device must still bind the new one where it is used.
void check_objects_made_again_under_old_names() {
  Texture* target = create_render_target(8, 8, RT_A8R8G8B8);
  ShaderRecord* copy = load_shader("copy.sh", nullptr);
  auto draw_texture = [&](Texture* t) {
    set_render_target(0, target, false);
    set_shaders(copy);
    set_texture(0, t);
    set_vs_const(16, vec4f(0.5f, -0.5f, 0.5f, 0.5f));
    draw_postfx();
    return pixel_at(4, 4);
  };
  Texture* red = one_texel(0xFFFF0000);
  EXPECT_EQ(draw_texture(red), 0xFFFF0000u);
  release_texture(red);
  Texture* green = one_texel(0xFF00FF00);
  EXPECT_EQ(draw_texture(green), 0xFF00FF00u);
  release_texture(green);

  // The render target itself, released and made again.
  release_texture(target);
  target = create_render_target(8, 8, RT_A8R8G8B8);
  set_render_target(0, target, false);
  clear_view_color(0xFF0000FF);
  EXPECT_EQ(pixel_at(1, 1), 0xFF0000FFu);

  // A vertex buffer released and made again, drawn with the same layout.
  ShaderRecord* solid = load_shader("solid.sh", nullptr);
  float v[18];
  for (int pass = 0; pass < 2; pass++) {
    VertexBuffer* vb = create_vb(72, BUF_STATIC);
    full_rect(v);
    if (pass == 1)  // the second buffer covers only the left half
      for (int i = 0; i < 6; i++) v[i * 3] = v[i * 3] < 0 ? -1.f : 0.f;
    std::memcpy(lock_vb(vb, 0, 0), v, sizeof(v));
    unlock_vb(vb);
    clear_view_color(0xFF000000);
    set_shaders(solid);
    set_vdecl(xyz_decl());
    set_vb(0, vb, 0, 12);
    set_ps_const(0, vec4f(1, 1, 1, 1));
    draw_prim(PRIM_TRIANGLELIST, 0, 2);
    EXPECT_EQ(pixel_at(1, 4), 0xFFFFFFFFu);
    EXPECT_EQ(pixel_at(6, 4), pass == 0 ? 0xFFFFFFFFu : 0xFF000000u) << "pass " << pass;
    release_vb(vb);
  }
  release_shader(solid);
  release_shader(copy);
  release_texture(target);
}

// Quads of three colours written through the shared writer in three batches
// and a flush in between, in one frame and again in the next: each batch's
// draw reads its own vertices, wherever in the buffer the batch landed.
void check_writer_batches_follow_each_other() {
  struct ColorVertex {
    float x, y, z;
    uint32_t color;
  };
  static const VertexElement decl[] = {
      {0, 0, VDECL_FLOAT3, VDECL_POSITION, 0}, {12, 0, VDECL_D3DCOLOR, VDECL_COLOR, 0}, VDECL_END};
  ShaderRecord* s = load_shader("vcolor.sh", nullptr);
  const uint32_t colors[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00};
  auto quad = [&](int band, uint32_t c) {
    float x0 = -1.f + 0.5f * float(band), v[18];
    rect_at(x0, -1.f, x0 + 0.5f, 1.f, v);
    auto* out = reinterpret_cast<ColorVertex*>(dynVBWriter.reserve(6 * int(sizeof(ColorVertex))));
    for (int i = 0; i < 6; i++) out[i] = ColorVertex{v[i * 3], v[i * 3 + 1], v[i * 3 + 2], c};
    dynVBWriter.advance(6 * int(sizeof(ColorVertex)), 2);
  };
  for (int frame = 0; frame < 2; frame++) {
    test_frame = [&](float) {
      clear_view_color(0xFF000000);
      set_shaders(s);
      set_vdecl(create_vdecl(decl));
      set_vb(0, dynVBWriter.vb, 0, int(sizeof(ColorVertex)));
      for (int band = 0; band < 3; band++) {
        dynVBWriter.begin(dyn_vb_draw_prims, PRIM_TRIANGLELIST);
        quad(band, colors[(band + frame) % 4]);
        if (band == 2) {
          dynVBWriter.flush(false);  // drawn, and writing goes on behind it
          quad(3, colors[(3 + frame) % 4]);
        }
        dynVBWriter.flush(true);
      }
    };
    ASSERT_TRUE(render_d3d_frame(run_test_frame, 0));
    test_frame = nullptr;
    for (int band = 0; band < 4; band++)
      EXPECT_EQ(pixel_at(64 * band + 32, 128), colors[(band + frame) % 4]) << "frame " << frame << " band " << band;
    present_frame();
  }
  release_shader(s);
}

// A clear writes every channel and the whole depth whatever the masks say;
// the draws after it still honour the masks the caller set.
void check_masks_survive_clears() {
  Texture* target = create_render_target(8, 8, RT_A8R8G8B8);
  VertexBuffer* vb = create_vb(72, 0);
  float v[18];
  full_rect(v);
  std::memcpy(lock_vb(vb, 0, 0), v, sizeof(v));
  unlock_vb(vb);
  ShaderRecord* s = load_shader("solid.sh", nullptr);
  set_render_target(0, target, false);
  set_color_write_mask(1);  // red only
  clear_view_color(0xFF204060);
  EXPECT_EQ(pixel_at(2, 2), 0xFF204060u);
  set_shaders(s);
  set_vdecl(xyz_decl());
  set_vb(0, vb, 0, 12);
  set_ps_const(0, vec4f(1, 1, 1, 1));
  draw_prim(PRIM_TRIANGLELIST, 0, 2);
  EXPECT_EQ(pixel_at(2, 2), 0xFFFF4060u);
  set_color_write_mask(15);
  release_shader(s);
  release_vb(vb);
  release_texture(target);
}

class StateCache : public DeviceTest {
 protected:
  static void SetUpTestSuite() {
    DeviceTest::SetUpTestSuite();
    write_app_file("solid.sh", SOLID_SH);
    write_app_file("vcolor.sh", VCOLOR_SH);
    write_app_file("copy.sh", COPY_SH);
    dynVBWriter.init(4096);
  }
  static void TearDownTestSuite() {
    dynVBWriter.close();
    DeviceTest::TearDownTestSuite();
  }
};

// The same on the paths for drivers that bind vertex formats and buffers
// together and texture units one at a time.
class StateCacheBasic : public StateCache {
 protected:
  static void SetUpTestSuite() {
    setenv("TOLVANE_GL_BASIC", "1", 1);
    StateCache::SetUpTestSuite();
  }
  static void TearDownTestSuite() {
    StateCache::TearDownTestSuite();
    unsetenv("TOLVANE_GL_BASIC");
  }
};

TEST_F(StateCache, RepeatedDrawsSendOnlyWhatChanged) { check_repeated_draws_send_only_what_changed(); }
TEST_F(StateCache, ObjectsMadeAgainUnderOldNames) { check_objects_made_again_under_old_names(); }
TEST_F(StateCache, WriterBatchesFollowEachOther) { check_writer_batches_follow_each_other(); }
TEST_F(StateCache, MasksSurviveClears) { check_masks_survive_clears(); }
TEST_F(StateCacheBasic, RepeatedDrawsSendOnlyWhatChanged) { check_repeated_draws_send_only_what_changed(); }
TEST_F(StateCacheBasic, ObjectsMadeAgainUnderOldNames) { check_objects_made_again_under_old_names(); }
TEST_F(StateCacheBasic, WriterBatchesFollowEachOther) { check_writer_batches_follow_each_other(); }
TEST_F(StateCacheBasic, MasksSurviveClears) { check_masks_survive_clears(); }
}  // namespace
