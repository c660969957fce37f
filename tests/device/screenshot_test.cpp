// Screenshots: the PNG files under "shots/" and the automation capture.
#include <dirent.h>

#include <cstdlib>
#include <cstring>
#include <string>

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#include <stb/stb_image.h>

#include <epoxy/gl.h>

#include "platform/globals.h"
#include "device/screenshot.h"
#include "tests/device/gl_env.h"

namespace {

std::vector<std::string> shots() {
  std::vector<std::string> out;
  DIR* d = opendir((DeviceTest::dir + "shots").c_str());
  if (!d) return out;
  while (dirent* e = readdir(d))
    if (e->d_name[0] != '.') out.push_back(e->d_name);
  closedir(d);
  return out;
}

class Screenshot : public DeviceTest {};

TEST_F(Screenshot, PrintScreenWritesTheScreensColours) {
  std::system(("rm -f '" + dir + "shots/'*").c_str());
  test_frame = [](float) {
    clear_view_color(0xFFFF0000);
    set_render_target(0, nullptr);
  };
  ASSERT_TRUE(render_d3d_frame(run_test_frame, 0));
  present_frame();
  testing::internal::CaptureStdout();
  take_screenshot();
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("screenshot..."), std::string::npos);
  EXPECT_NE(out.find("screenshot captured to 'shots/shot"), std::string::npos) << out;
  std::vector<std::string> files = shots();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].size(), std::strlen("shot2024_01_02_03_04_05.png"));
  int w, h, n;
  unsigned char* px = stbi_load((dir + "shots/" + files[0]).c_str(), &w, &h, &n, 4);
  ASSERT_NE(px, nullptr);
  EXPECT_EQ(w, 256);
  EXPECT_EQ(h, 256);
  int wrong = 0;
  for (int i = 0; i < w * h; i++)
    wrong += !(px[i * 4] == 255 && px[i * 4 + 1] == 0 && px[i * 4 + 2] == 0 && px[i * 4 + 3] == 255);
  EXPECT_EQ(wrong, 0);
  stbi_image_free(px);
}

TEST_F(Screenshot, AutomationCaptureKeepsRowsInScreenOrder) {
  // A frame drawn but not yet presented is what gets saved: black with a
  // blue band over the top 16 rows (the back buffer keeps its top row at
  // GL's y = 0, so the scissor box starts there).
  test_frame = [](float) {
    clear_view_color(0xFF000000);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 256, 16);
    clear_view_color(0xFF0000FF);
    glDisable(GL_SCISSOR_TEST);
  };
  ASSERT_TRUE(render_d3d_frame(run_test_frame, 0));
  test_frame = nullptr;
  EXPECT_TRUE(save_backbuffer_png("shots/auto.png"));
  int w, h, n;
  unsigned char* px = stbi_load((dir + "shots/auto.png").c_str(), &w, &h, &n, 4);
  ASSERT_NE(px, nullptr);
  auto at = [&](int x, int y) { return px + (size_t(y) * w + x) * 4; };
  EXPECT_EQ(at(5, 0)[2], 255);  // blue at the top
  EXPECT_EQ(at(5, 15)[2], 255);
  EXPECT_EQ(at(5, 16)[2], 0);
  EXPECT_EQ(at(5, 255)[2], 0);
  EXPECT_EQ(at(5, 255)[3], 255);
  stbi_image_free(px);
  // A folder that does not exist makes the write fail with the log line.
  testing::internal::CaptureStdout();
  EXPECT_FALSE(save_backbuffer_png("no_such_folder/x.png"));
  EXPECT_NE(testing::internal::GetCapturedStdout().find("failed to save screenshot to"), std::string::npos);
  present_frame();
}

}  // namespace
