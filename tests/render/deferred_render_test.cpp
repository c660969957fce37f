// The high-quality frame on a real GL context: the deferred path against
// the forward one, object shadows, and wireframe.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/camera.h"
#include "platform/globals.h"
#include "device/d3d_shaders.h"
#include "device/debug_vis.h"
#include "device/dynVBWriter.h"
#include "device/screenshot.h"
#include "render/hmRender.h"
#include "render/postfx.h"
#include "render/scene.h"
#include "render/scene_deferred.h"
#include "render/shadows.h"
#include "render/sky.h"
#include "tests/device/gl_env.h"
#include "tests/render/scene_data.h"
#include "tests/render/test_world.h"

using namespace HeightmapData;

namespace {
struct Rgb {
  double r = 0, g = 0, b = 0;
};
Rgb rgb(uint32_t p) { return {double((p >> 16) & 255), double((p >> 8) & 255), double(p & 255)}; }
double luma(uint32_t p) {
  Rgb c = rgb(p);
  return 0.3 * c.r + 0.59 * c.g + 0.11 * c.b;
}

Rgb average(const std::vector<uint32_t>& px, int row0, int row1, int w) {
  Rgb a;
  int n = 0;
  for (int y = row0; y < row1; y++)
    for (int x = 0; x < w; x++) {
      Rgb c = rgb(px[size_t(y) * w + x]);
      a.r += c.r, a.g += c.g, a.b += c.b, n++;
    }
  a.r /= n, a.g /= n, a.b /= n;
  return a;
}

vec4f ball;  // the shadow ball the object hook casts
void cast_test_ball() { render_shadow_ball(vec4f(ball.x, ball.y, ball.z, 1), ball.w); }

class DeferredTest : public DeviceTest {
 public:
  static void SetUpTestSuite() {
    DeviceTest::SetUpTestSuite();
    scene_data::install(DATA_DIR, BIN_DIR);
    dynVBWriter.init(65536);
    gfx_quality = 1;
    use_postfx = false;
    use_ppaa = false;
    use_fog = true;
    use_obj_shadows = true;
    create_scene_image_texture();
    init_deferred();
    Sky::init();  // the game's own sky script
    HeightmapRenderer::init();
    init_postfx();
    init_debug_vis();
    init_shadows();
  }
  static void TearDownTestSuite() {
    close_shadows();
    close_debug_vis();
    close_postfx();
    HeightmapRenderer::close();
    Sky::close();
    close_deferred();
    release_scene_image_texture();
    dynVBWriter.close();
    DeviceTest::TearDownTestSuite();
  }
  void SetUp() override {
    DeviceTest::SetUp();
    use_wireframe = false;
    gfx_quality = 1;
    scene_hooks = SceneHooks();
    Sky::set_sun_dir(vec4f(0.6f, 0.8f, 0.0f, 0), false);
  }

  std::vector<uint32_t> draw(float x, float y, float z, float yaw, float pitch) {
    set_camera_pos(vec4f(x, y, z, 1));
    camera_set_angles(yaw, pitch);
    HeightmapRenderer::markDirty();
    test_frame = [](float) {
      set_camera_frame(1);
      render_scene_frame(camera_frame_view(0), vec4f(0, 0, 0, 0));
    };
    EXPECT_TRUE(render_d3d_frame(run_test_frame, 0));
    set_back_buffer_target();
    return target_pixels();
  }
};
}  // namespace

TEST_F(DeferredTest, HighAndLowQualityDrawTheSameWorld) {
  ASSERT_TRUE(deferred_ready());
  test_world::landscape(7, true);
  float h = hmap[cellIndex(128, 128)];
  std::vector<uint32_t> hq = draw(128, h + 14, 128, 0.4f, -0.05f);
  gfx_quality = 0;
  std::vector<uint32_t> lq = draw(128, h + 14, 128, 0.4f, -0.05f);
  int w = get_target_width(), ht = get_target_height();
  for (auto* px : {&hq, &lq}) {
    Rgb top = average(*px, 0, 20, w), bottom = average(*px, ht - 40, ht, w);
    EXPECT_GT(top.b, top.r) << "sky above";
    EXPECT_GT(bottom.g + bottom.r, 2 * bottom.b) << "land below";
  }
  Rgb a = average(hq, ht / 2, ht, w), b = average(lq, ht / 2, ht, w);
  EXPECT_LT(std::fabs(a.r - b.r) + std::fabs(a.g - b.g) + std::fabs(a.b - b.b), 75.0)
      << "the lit land of both paths has a similar colour: " << a.r << "," << a.g << "," << a.b << " vs " << b.r
      << "," << b.g << "," << b.b;
}

TEST_F(DeferredTest, ShadowBallDarkensTheLandAwayFromTheSun) {
  test_world::flat(10, D3dColor(0xFF80A060));
  float h = hmap[cellIndex(128, 128)];
  ball = vec4f(128, h + 3, 128, 1.5f);
  scene_hooks.renderObjectShadows = cast_test_ball;
  // Looking almost straight down: world +x is to the right on screen.
  std::vector<uint32_t> lit_off, lit_on;
  use_obj_shadows = false;
  // The land's GPU fields blend toward a new world over a few frames.
  for (int i = 0; i < 4; i++) draw(128, h + 30, 126, 0, -1.45f);
  lit_off = draw(128, h + 30, 126, 0, -1.45f);
  use_obj_shadows = true;
  lit_on = draw(128, h + 30, 126, 0, -1.45f);
  int w = get_target_width();
  if (const char* dump = std::getenv("TOLVANE_DUMP_SHADOW")) {
    for (int k = 0; k < 2; k++) {
      const std::vector<uint32_t>& v = k ? lit_on : lit_off;
      std::vector<uint8_t> bgra(v.size() * 4);
      for (size_t i = 0; i < v.size(); i++)
        for (int c = 0; c < 4; c++) bgra[i * 4 + c] = uint8_t(v[i] >> (8 * c));
      write_bgra_png((std::string(dump) + (k ? "_on.png" : "_off.png")).c_str(), bgra.data(), w, w, w * 4);
    }
  }
  int darker = 0;
  double sum_x = 0;
  for (size_t i = 0; i < lit_on.size(); i++)
    if (luma(lit_on[i]) < luma(lit_off[i]) - 8) {
      darker++;
      sum_x += double(i % size_t(w));
    }
  ASSERT_GT(darker, 30) << "a shadow is cast";
  // The ball is at the centre column; the sun shines from +x, so the
  // shadow lies toward -x, left of the centre.
  EXPECT_LT(sum_x / darker, w / 2.0 - 3);
  use_obj_shadows = false;
  std::vector<uint32_t> again = draw(128, h + 30, 126, 0, -1.45f);
  int changed = 0;
  for (size_t i = 0; i < again.size(); i++) changed += std::fabs(luma(again[i]) - luma(lit_off[i])) > 3;
  EXPECT_EQ(changed, 0) << "no shadow when object shadows are off";
  use_obj_shadows = true;
}

TEST_F(DeferredTest, WireframeShowsGreyAndNoSky) {
  test_world::landscape(3, false);
  use_wireframe = true;
  float h = hmap[cellIndex(128, 128)];
  std::vector<uint32_t> px = draw(128, h + 12, 128, 0, 0.3f);
  use_wireframe = false;
  int grey = 0;
  for (uint32_t p : px) grey += (p & 0xFFFFFF) == 0xb4b4b4;
  EXPECT_GT(grey, int(px.size()) / 3);
}

// Screen position (pixels, rows from the top) of a world point in the last
// drawn frame.
bool project(const vec4f& p, int w, int h, double& sx, double& sy) {
  const Matrix44& m = render_view().glob_tm;
  double c[4];
  for (int i = 0; i < 4; i++) c[i] = p.x * m.at(0, i) + p.y * m.at(1, i) + p.z * m.at(2, i) + m.at(3, i);
  if (c[3] <= 0) return false;
  sx = (c[0] / c[3] + 1) * 0.5 * w;
  sy = (1 - c[1] / c[3]) * 0.5 * h;
  return sx >= 0 && sx < w && sy >= 0 && sy < h;
}

// Mean colour of seven pixels of one row around column x.
Rgb row_colour(const std::vector<uint32_t>& px, int w, int x, int y) {
  Rgb a;
  for (int i = x - 3; i <= x + 3; i++) {
    Rgb c = rgb(px[size_t(y) * w + i]);
    a.r += c.r / 7, a.g += c.g / 7, a.b += c.b / 7;
  }
  return a;
}
double distance(const Rgb& a, const Rgb& b) { return std::fabs(a.r - b.r) + std::fabs(a.g - b.g) + std::fabs(a.b - b.b); }
// The largest colour change between neighbouring rows from y0 to y1.
double largest_row_step(const std::vector<uint32_t>& px, int w, int x, int y0, int y1) {
  double m = 0;
  for (int y = y0; y < y1; y++) m = std::max(m, distance(row_colour(px, w, x, y), row_colour(px, w, x, y + 1)));
  return m;
}

// Open sea everywhere: the near water hands over to the horizon ring at the
// land disc's edge, about 130 cells out, and the colour must carry on at
// both qualities (the land renderer is made again for each), from low and
// from high above.
TEST_F(DeferredTest, FarWaterContinuesTheNearWaterAtTheDiscEdge) {
  test_world::flat(-6, D3dColor(0xFFBCA77Au));
  for (int i = 0; i < HMAP_CELLS; i++) water[i >> HMAP_SIZE_SHIFT][i & HMAP_MASK].depth = 6;
  test_world::settle();
  int w = get_target_width(), h = get_target_height();
  for (int q : {0, 1}) {
    HeightmapRenderer::close();
    gfx_quality = q;
    HeightmapRenderer::init();
    for (float height : {25.f, 70.f}) {
      float pitch = -std::atan2(height, 130.f);  // the disc's edge in the middle of the view
      std::vector<uint32_t> px = draw(128.5f, height, 128.5f, 0, pitch);
      // Two seconds of steps, so that both ripple phases of the near water
      // have been laid out as they are in a running game.
      for (int i = 0; i < 41; i++) HeightmapRenderer::step(0.05f);
      for (int i = 0; i < 3; i++) px = draw(128.5f, height, 128.5f, 0, pitch);
      if (const char* dump = std::getenv("TOLVANE_DUMP_SEA")) {
        std::vector<uint8_t> bgra(px.size() * 4);
        for (size_t i = 0; i < px.size(); i++)
          for (int c = 0; c < 4; c++) bgra[i * 4 + c] = uint8_t(px[i] >> (8 * c));
        std::string name = std::string(dump) + "_" + std::to_string(int(height)) + (q ? "_high.png" : "_low.png");
        write_bgra_png(name.c_str(), bgra.data(), w, h, w * 4);
      }
      // Straight ahead, the change from row to row across the disc's edge
      // (from 118 to 136 cells out: the water window ends a little before
      // the disc) against the change from row to row over as many cells
      // further in.
      double x = 0, y136 = 0, y118 = 0, y100 = 0;
      ASSERT_TRUE(project(vec4f(128.5f, 0, 128.5f + 136, 1), w, h, x, y136));
      ASSERT_TRUE(project(vec4f(128.5f, 0, 128.5f + 118, 1), w, h, x, y118));
      ASSERT_TRUE(project(vec4f(128.5f, 0, 128.5f + 100, 1), w, h, x, y100));
      double seam = largest_row_step(px, w, int(x), int(y136), int(y118) + 1);
      double inside = largest_row_step(px, w, int(x), int(y118), int(y100) + 1);
      int e = int(y136);
      SCOPED_TRACE(testing::Message() << "camera height " << height << ", quality " << q);
      EXPECT_LT(seam, inside + 8.0) << "inside " << inside << " rows " << y136 << ".." << y118 << ".." << y100;
      Rgb far = row_colour(px, w, int(x), e - 1);
      EXPECT_GT(far.b, far.r + 10) << "far water is blue, not sky-pale: " << far.r << "," << far.g << "," << far.b;
    }
  }
  HeightmapRenderer::close();
  gfx_quality = 1;
  HeightmapRenderer::init();
}

TEST(FrameColour, FlashFadesOutInAboutOnePointFourSeconds) {
  vec4f c(1, 0.5f, -0.2f, 1), prev;
  int steps = 0;
  while (c.w > 0 && steps < 1000) {
    decay_frame_color(prev, c, 0.05f);
    steps++;
  }
  EXPECT_NEAR(steps * 0.05, 2 * std::log(2.0), 0.06);
  EXPECT_FLOAT_EQ(c.x, 1);
  EXPECT_FLOAT_EQ(c.z, 0) << "colour channels are clamped at zero";
  EXPECT_GT(prev.w, 0) << "the previous value is kept for interpolation";
}
