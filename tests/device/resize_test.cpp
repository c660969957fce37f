// Resizes and full-screen switches: handles stay valid, back-buffer-sized
// targets follow, static resources keep their contents.
#include <SDL.h>

#include <cstring>

#include "platform/globals.h"
#include "device/d3d_shaders.h"
#include "device/d3d_texture.h"
#include "device/d3d_vbuf.h"
#include "device/dynVBWriter.h"
#include "tests/device/gl_env.h"
#include "tests/device/test_shaders.h"

namespace {

int hook_calls = 0;
void after_resize() { hook_calls++; }

class Resize : public DeviceTest {};

TEST_F(Resize, SameSizeAndModeWithoutForceDoesNothing) {
  testing::internal::CaptureStdout();
  EXPECT_TRUE(resize_d3d(256, 256, false, false));
  EXPECT_TRUE(resize_d3d(0, 0, false, false));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  testing::internal::CaptureStdout();
  EXPECT_TRUE(resize_d3d(256, 256, false, true));
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("=== resizing d3d to 256x256 windowed"), std::string::npos) << out;
  EXPECT_NE(out.find("resized d3d to 256x256 windowed"), std::string::npos) << out;
}

TEST_F(Resize, HandlesSurviveAndBackBufferSizedTargetsFollow) {
  write_app_file("solid.sh", SOLID_SH);
  write_app_file("copy.sh", COPY_SH);
  set_after_resize_hook(after_resize);
  hook_calls = 0;
  Texture* scene = create_scene_image();
  Texture* fixed = create_render_target(32, 16, RT_R16F);
  Texture* managed = create_managed_texture(1, 1);
  int pitch;
  *static_cast<uint32_t*>(lock_texture(managed, pitch, true)) = 0xFF336699;
  unlock_texture(managed);
  VertexBuffer* svb = create_vb(72, BUF_STATIC);
  VertexBuffer* dvb = create_vb(72, 0);
  const float quad[] = {-1, 1, 0.5f, 1, 1, 0.5f, -1, -1, 0.5f, 1, 1, 0.5f, 1, -1, 0.5f, -1, -1, 0.5f};
  std::memcpy(lock_vb(svb, 0, 0), quad, sizeof(quad));
  unlock_vb(svb);
  ShaderRecord* solid = load_shader("solid.sh", nullptr);
  dynVBWriter.init(4096);
  ASSERT_EQ(scene->realWidth, 256);

  ASSERT_TRUE(resize_d3d(320, 200, false, false));
  EXPECT_EQ(hook_calls, 1);
  EXPECT_EQ(d3d_wd, 320);
  EXPECT_EQ(d3d_ht, 200);
  EXPECT_TRUE(scene->inUse);
  EXPECT_NE(scene->texture, 0u);
  EXPECT_EQ(scene->realWidth, 320);
  EXPECT_EQ(scene->realHeight, 200);
  EXPECT_EQ(fixed->realWidth, 32);
  EXPECT_NE(dvb->buffer, 0u);
  EXPECT_NE(dynVBWriter.vb->buffer, 0u);
  EXPECT_EQ(get_target_width(), 320);

  // The static buffer still draws its quad; the scene image is a target of
  // the new size with the depth buffer.
  set_render_target(0, scene);
  clear_view(0xFF000000);
  static const VertexElement decl[] = {{0, 0, VDECL_FLOAT3, VDECL_POSITION, 0}, VDECL_END};
  set_shaders(solid);
  set_vdecl(create_vdecl(decl));
  set_vb(0, svb, 0, 12);
  set_ps_const(0, vec4f(0, 1, 0, 1));
  set_zenable(true);
  draw_prim(PRIM_TRIANGLELIST, 0, 2);
  EXPECT_EQ(pixel_at(319, 199), 0xFF00FF00u);
  float depth;
  ASSERT_TRUE(read_depth_stencil(319, 199, 1, 1, &depth, nullptr));
  EXPECT_NEAR(depth, 0.5f, 1e-6f);
  // The managed texture kept its texel.
  set_back_buffer_target();
  ShaderRecord* copy = load_shader("copy.sh", nullptr);
  set_shaders(copy);
  set_texture(0, managed);
  set_vs_const(16, vec4f(0.5f, -0.5f, 0.5f / 320 + 0.5f, 0.5f / 200 + 0.5f));
  draw_postfx();
  EXPECT_EQ(pixel_at(160, 100), 0xFF336699u);
  set_texture(0, nullptr);

  ASSERT_TRUE(resize_d3d(256, 256, false, false));
  EXPECT_EQ(scene->realWidth, 256);
  EXPECT_EQ(hook_calls, 2);
  set_after_resize_hook(nullptr);
  dynVBWriter.close();
  release_shader(copy);
  release_shader(solid);
  release_vb(svb);
  release_vb(dvb);
  release_texture(scene);
  release_texture(fixed);
  release_texture(managed);
}

TEST_F(Resize, FullScreenTakesTheDesktopSizeAndReturns) {
  SDL_DisplayMode mode;
  ASSERT_EQ(SDL_GetDesktopDisplayMode(0, &mode), 0);
  Texture* scene = create_scene_image();
  ASSERT_TRUE(resize_d3d(0, 0, true, false));
  EXPECT_TRUE(is_fullscreen);
  EXPECT_EQ(d3d_wd, mode.w);
  EXPECT_EQ(d3d_ht, mode.h);
  EXPECT_EQ(scene->realWidth, mode.w);
  EXPECT_TRUE(check_d3d_device());
  test_frame = [](float) { clear_view_color(0xFF0000FF); };
  EXPECT_TRUE(render_d3d_frame(run_test_frame, 0));
  present_frame();
  ASSERT_TRUE(resize_d3d(256, 256, false, false));
  EXPECT_FALSE(is_fullscreen);
  EXPECT_EQ(d3d_wd, 256);
  EXPECT_EQ(scene->realWidth, 256);
  int w = 0, h = 0;
  SDL_GetWindowSize(window, &w, &h);
  EXPECT_EQ(w, 256);
  EXPECT_EQ(h, 256);
  release_texture(scene);
}

}  // namespace
