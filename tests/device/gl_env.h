#pragma once
// A real OpenGL device on a hidden window for the rendering tests: Mesa's
// software renderer through SDL's offscreen driver unless the environment
// chooses a video driver. app_path is a fresh temporary folder per suite.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "device/d3d_render.h"

struct SDL_Window;

// What a frame draws; tests set it, then call render_d3d_frame(run_test_frame, k).
extern std::function<void(float)> test_frame;
void run_test_frame(float k);

class DeviceTest : public ::testing::Test {
 public:
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  void SetUp() override;  // base state, back buffer target, no shaders

  static SDL_Window* window;
  static std::string dir;  // app_path, with a trailing '/'
};

// Sets up the environment for headless runs (video driver, no message boxes,
// death tests that re-run the executable).
void prepare_test_environment();
// Opens a hidden GL window; closes it again.
SDL_Window* open_test_window(int w, int h);
void close_test_window(SDL_Window* w);

// Writes a file under app_path (folders created), returning its full path.
std::string write_app_file(const std::string& rel, const std::string& data);
std::string write_app_file(const std::string& rel, const std::vector<uint8_t>& data);
void set_file_time(const std::string& full_path, int64_t seconds);

// Pixel of the current target 0 as 0xAARRGGBB.
uint32_t pixel_at(int x, int y);
std::vector<uint32_t> target_pixels();  // all of target 0, rows from the top
