// MLAA, the post pass and the shadow target on a real GL context.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/globals.h"
#include "device/d3d_shaders.h"
#include "device/d3d_texture.h"
#include "device/dynVBWriter.h"
#include "render/postfx.h"
#include "render/shadows.h"
#include "device/screenshot.h"
#include "tests/device/gl_env.h"

namespace {
std::string read_text_file(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// A flat colour on one side of the line y = slope * x + offset (pixels,
// rows from the top), drawn with per-vertex colours.
const char* HALF_PLANE_SH = R"(
#ifdef VSH
in vec3 POSITION0;
out vec2 clip;
vec4 vsh() { clip = POSITION0.xy; return vec4(POSITION0.xy, 0.5, 1.0); }
#endif
#ifdef PSH
in vec2 clip;
vec4 psh() {
  vec2 p = vpos();
  bool below = p.y > pc[2].x * p.x + pc[2].y;
  return below ? pc[3] : pc[4];
}
#endif
)";

struct PostfxTest : DeviceTest {
  static ShaderRecord* half_plane;
  static void SetUpTestSuite() {
    DeviceTest::SetUpTestSuite();
    for (const char* f : {"fullscreen.sh", "postfx_none.sh", "postfx_art1.sh", "postfx_main.sh", "mlaa_common.sh",
                          "mlaa_edge.sh", "mlaa_rows.sh", "mlaa_cols.sh", "mlaa_combine.sh", "dr_shadow.sh",
                          "dr_gbuffer.sh"})
      write_app_file(f, read_text_file(std::string(DATA_DIR "/") + f));
    write_app_file("half_plane.sh", HALF_PLANE_SH);
    dynVBWriter.init(65536);
    create_scene_image_texture();
    init_postfx();
    half_plane = load_shader("half_plane.sh", nullptr);
    ASSERT_NE(half_plane, nullptr);
  }
  static void TearDownTestSuite() {
    release_shader(half_plane);
    close_postfx();
    release_scene_image_texture();
    dynVBWriter.close();
    DeviceTest::TearDownTestSuite();
  }

  // Draws a shallow dark-over-light silhouette into the scene image.
  void draw_staircase() {
    set_render_target(0, scene_image, false);
    set_ps_const(2, vec4f(0.125f, 100, 0, 0));
    set_ps_const(3, vec4f(0.1f, 0.1f, 0.1f, 1));
    set_ps_const(4, vec4f(0.9f, 0.8f, 0.7f, 1));
    set_shaders(half_plane);
    draw_postfx();
  }
  std::vector<uint32_t> scene_pixels() {
    set_render_target(0, scene_image, false);
    return target_pixels();
  }
};
ShaderRecord* PostfxTest::half_plane = nullptr;

int channel_diff(uint32_t a, uint32_t b) {
  int d = 0;
  for (int s = 0; s < 24; s += 8) d = std::max(d, std::abs(int((a >> s) & 255) - int((b >> s) & 255)));
  return d;
}
}  // namespace

TEST_F(PostfxTest, MlaaSmoothsTheStaircaseAndLeavesFlatAreasAlone) {
  draw_staircase();
  std::vector<uint32_t> before = scene_pixels();
  render_mlaa();
  std::vector<uint32_t> after = scene_pixels();
  int w = get_target_width(), h = get_target_height();
  if (const char* dump = std::getenv("TOLVANE_DUMP_MLAA")) {
    std::vector<uint8_t> bgra(after.size() * 4);
    for (size_t i = 0; i < after.size(); i++)
      for (int c = 0; c < 4; c++) bgra[i * 4 + c] = uint8_t(after[i] >> (8 * c));
    write_bgra_png(dump, bgra.data(), w, h, w * 4);
  }
  int changed = 0, far_changed = 0, intermediate = 0;
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      int d = channel_diff(before[size_t(y) * w + x], after[size_t(y) * w + x]);
      float line = 0.125f * float(x) + 100;
      if (d > 2) {
        changed++;
        if (std::fabs(float(y) - line) > 2.5f) far_changed++;
        if (d > 10) intermediate++;
      }
    }
  EXPECT_GT(changed, 100) << "pixels along the 256-pixel silhouette were blended";
  EXPECT_EQ(far_changed, 0) << "nothing away from the edge changes";
  EXPECT_GT(intermediate, 50);
  // Along one stair (8 pixels per row step) the blend ramps: pixels next to a
  // step take more of the other side than those in the middle of the stair.
  int y = 106;  // the boundary row below which the dark side starts
  std::vector<int> ramp;
  for (int x = 48; x < 56; x++) ramp.push_back(int(after[size_t(y) * w + x] & 255));
  EXPECT_NE(ramp.front(), ramp.back()) << "a gradient along the stair, not a uniform blur";
}

TEST_F(PostfxTest, PlainCopyAndScreenFlash) {
  use_ppaa = false;
  use_postfx = false;
  draw_staircase();
  float none[4] = {0, 0, 0, 0};
  render_post_pass(none);
  set_back_buffer_target();
  EXPECT_LE(channel_diff(pixel_at(10, 10), 0xE6CCB3u), 1) << "the light side, copied as it is";
  EXPECT_LE(channel_diff(pixel_at(10, 250), 0x1A1A1Au), 1);
  float flash[4] = {1, 0, 0, 1};
  draw_staircase();
  render_post_pass(flash);
  set_back_buffer_target();
  EXPECT_EQ(pixel_at(10, 10) & 0xFFFFFF, 0xFF0000u) << "full flash covers the picture";
  use_postfx = true;
}

TEST_F(PostfxTest, ColourGradeKeepsThePictureAndAddsAVignette) {
  use_ppaa = false;
  use_postfx = true;
  draw_staircase();
  float none[4] = {0, 0, 0, 0};
  render_post_pass(none);
  set_back_buffer_target();
  uint32_t centre_light = pixel_at(128, 20), corner_light = pixel_at(0, 0);
  EXPECT_GT((centre_light >> 16) & 255, 150u) << "light stays light";
  EXPECT_LT(pixel_at(128, 250) & 255, 60u) << "dark stays dark";
  EXPECT_GT((centre_light >> 8) & 255, (corner_light >> 8) & 255) << "corners are a little darker";
}

TEST_F(PostfxTest, ShadowTargetStaysWhiteWithoutBalls) {
  Texture* gbuf = postfx_tex[POSTFX_D];
  set_render_target(0, gbuf, false);
  clear_view_color(D3dColor(0));
  set_texture(8, gbuf);
  set_render_target(0, scene_image, false);
  start_render_shadows();
  end_render_shadows();
  std::vector<uint32_t> px = target_pixels();
  for (uint32_t p : px) ASSERT_EQ(p, 0xFFFFFFFFu);
  set_texture(8, nullptr);
}
