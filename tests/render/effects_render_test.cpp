// The effects pass on a real GL context: particles and trails drawn into
// their accumulation images and composited over a plain scene image, read
// back from the scene image.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/camera.h"
#include "device/d3d_render.h"
#include "device/d3d_texture.h"
#include "device/dynVBWriter.h"
#include "device/screenshot.h"
#include "render/common_fx.h"
#include "render/particles.h"
#include "render/postfx.h"
#include "render/trailFx.h"
#include "tests/device/gl_env.h"
#include "tests/render/scene_data.h"

namespace {
constexpr uint32_t BACKGROUND = 0xFF404040;

struct Rgb {
  int r, g, b;
};
Rgb rgb(uint32_t p) { return {int((p >> 16) & 255), int((p >> 8) & 255), int(p & 255)}; }

// With TOLVANE_TEST_SHOTS set to a folder, each picture is kept there to look at.
void keep_picture(const std::vector<uint32_t>& px, const char* name) {
  const char* dir = std::getenv("TOLVANE_TEST_SHOTS");
  if (!dir) return;
  std::string path = std::string(dir) + "/" + name + ".png";
  write_bgra_png(path.c_str(), reinterpret_cast<const uint8_t*>(px.data()), get_target_width(), get_target_height(),
                 get_target_width() * 4);
}

class EffectsRender : public DeviceTest {
 public:
  static void SetUpTestSuite() {
    DeviceTest::SetUpTestSuite();
    scene_data::install(DATA_DIR, BIN_DIR);
    for (const char* f : {"particle_vertex.sh", "blendPart.sh", "glowPart.sh", "effect.sh", "postBlend.sh"})
      write_app_file(f, scene_data::read_file(std::string(DATA_DIR) + "/" + f));
    for (const char* f : {"blendfx.dds", "glowfx.dds"}) {
      std::string s = scene_data::read_file(std::string(BIN_DIR) + "/" + f);
      write_app_file(f, std::vector<uint8_t>(s.begin(), s.end()));
    }
    dynVBWriter.init(65536);
    create_scene_image_texture();
    init_postfx();
    init_common_fx();
  }
  static void TearDownTestSuite() {
    close_common_fx();
    close_postfx();
    release_scene_image_texture();
    dynVBWriter.close();
    DeviceTest::TearDownTestSuite();
  }
  void SetUp() override {
    DeviceTest::SetUp();
    reset_common_fx();
  }

  // A grey scene seen from (x, 30, z) straight down, then the effects pass;
  // returns the scene image's pixels.
  std::vector<uint32_t> draw(float x, float z) {
    set_camera_pos(vec4f(x, 30, z, 1));
    camera_set_angles(0, -1.5707964f);
    test_frame = [](float) {
      set_camera_frame(1);
      // The accumulation images hold other passes' pictures between frames.
      for (int i : {POSTFX_A, POSTFX_B}) {
        set_render_target(0, postfx_tex[i], false);
        clear_view_color(D3dColor(0xFFFF00FF));
      }
      set_render_target(0, scene_image, true);
      clear_view(D3dColor(BACKGROUND));
      render_common_fx(0.025f, 0.5f, camera_frame_view(1).itm);
    };
    EXPECT_TRUE(render_d3d_frame(run_test_frame, 0));
    set_render_target(0, scene_image, true);
    std::vector<uint32_t> px = target_pixels();
    set_back_buffer_target();
    return px;
  }
};

TEST_F(EffectsRender, GlowBurstAddsLightWhereItIsAndNowhereElse) {
  for (int i = 0; i < 20; i++)
    add_glow_particle(vec4f(128, 5, 128, 1), vec4f(), vec4f(), 1, 0, 2, D3dColor(0xFFFF0000), 0, 64, 64, 0, 0, nullptr,
                      nullptr, nullptr);
  std::vector<uint32_t> px = draw(128, 128);
  keep_picture(px, "glow_burst");
  int w = get_target_width(), h = get_target_height();
  Rgb centre = rgb(px[size_t(h / 2 * w + w / 2)]);
  EXPECT_GT(centre.r, 0x40 + 100) << "red light added at the burst";
  EXPECT_NEAR(centre.g, 0x40, 2) << "added, not blended over: the other channels stay";
  EXPECT_NEAR(centre.b, 0x40, 2);
  for (int y : {2, h - 3})
    for (int x : {2, w - 3}) EXPECT_EQ(px[size_t(y * w + x)] & 0xFFFFFF, BACKGROUND & 0xFFFFFF) << x << "," << y;
}

TEST_F(EffectsRender, BlendParticlesCoverTheSceneWithTheirColour) {
  for (int i = 0; i < 6; i++)
    add_blend_particle(vec4f(128, 5, 128, 1), vec4f(), vec4f(), 1, 0, 3, D3dColor(0xFF00C000), 448, 0, 64, 0, 0,
                       nullptr, nullptr, nullptr);
  std::vector<uint32_t> px = draw(128, 128);
  keep_picture(px, "blend_puffs");
  int w = get_target_width(), h = get_target_height();
  Rgb centre = rgb(px[size_t(h / 2 * w + w / 2)]);
  EXPECT_GT(centre.g, 0x90) << "the green puffs cover the middle";
  EXPECT_LT(centre.r, 0x30) << "and hide the grey behind them";
  EXPECT_EQ(px[size_t(2 * w + 2)] & 0xFFFFFF, BACKGROUND & 0xFFFFFF);
}

TEST_F(EffectsRender, TrailAcrossTheSeamIsOneRibbon) {
  int handle = add_trail_fx(vec4f(250, 5, 128, 1), vec4f(), vec4f(0, 0, 0.6f, 0), 0.6f, 0xFFFFFFFF);
  ASSERT_GE(handle, 0);
  for (float x : {252.f, 254.f, 0.f, 2.f, 4.f, 6.f}) add_trail_point(handle, vec4f(x, 5, 128, 1), vec4f(), vec4f(0, 0, 0.6f, 0));
  update_trails(0.05f);  // brings the trail home next to its head
  std::vector<uint32_t> px = draw(254, 128);  // the head is at 6: drawn at its copy 262
  keep_picture(px, "seam_trail");
  int w = get_target_width(), h = get_target_height();
  // The ribbon runs along world x through the middle of the picture, as a
  // row or a column depending on the camera's heading: take the lit one.
  auto lit = [&](int x, int y) { return rgb(px[size_t(y * w + x)]).r > 0x40 + 40; };
  std::vector<bool> row(static_cast<size_t>(w), false), col(static_cast<size_t>(h), false);
  for (int i = 0; i < w; i++) row[size_t(i)] = lit(i, h / 2);
  for (int i = 0; i < h; i++) col[size_t(i)] = lit(w / 2, i);
  auto count = [](const std::vector<bool>& v) { return int(std::count(v.begin(), v.end(), true)); };
  const std::vector<bool>& line = count(row) >= count(col) ? row : col;
  int first = int(std::find(line.begin(), line.end(), true) - line.begin());
  int last = int(line.rend() - std::find(line.rbegin(), line.rend(), true)) - 1;
  ASSERT_LT(first, int(line.size()));
  EXPECT_EQ(count(line), last - first + 1) << "no gap in the ribbon";
  EXPECT_GT(count(line), int(line.size()) / 8) << "12 cells of trail are visible";
  EXPECT_LT(count(line), int(line.size()) * 2 / 3) << "no segment stretched across the map";
  EXPECT_TRUE(line[line.size() / 2]) << "the trail passes under the camera";
}
}  // namespace
