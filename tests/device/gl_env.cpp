#include "tests/device/gl_env.h"

#include <SDL.h>
#include <sys/stat.h>
#include <utime.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/globals.h"
#include "device/d3d_shaders.h"
#include "device/d3d_texture.h"

std::function<void(float)> test_frame;
void run_test_frame(float k) {
  if (test_frame) test_frame(k);
}

SDL_Window* DeviceTest::window = nullptr;
std::string DeviceTest::dir;

void prepare_test_environment() {
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  setenv("TOLVANE_NO_MSGBOX", "1", 1);
  GTEST_FLAG_SET(death_test_style, "threadsafe");
}

SDL_Window* open_test_window(int w, int h) {
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return nullptr;
  d3d_prepare_window_attributes();
  return SDL_CreateWindow("device test", 0, 0, w, h, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
}

void close_test_window(SDL_Window* w) {
  if (w) SDL_DestroyWindow(w);
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

void DeviceTest::SetUpTestSuite() {
  prepare_test_environment();
  char tmpl[] = "/tmp/tolvane_device_XXXXXX";
  char* d = mkdtemp(tmpl);
  ASSERT_NE(d, nullptr);
  dir = std::string(d) + "/";
  std::snprintf(app_path, sizeof(app_path), "%s", dir.c_str());
  mkdir((dir + "cache").c_str(), 0755);
  mkdir((dir + "shots").c_str(), 0755);
  is_fullscreen = false;
  use_vsync = false;
  window = open_test_window(256, 256);
  ASSERT_NE(window, nullptr) << SDL_GetError();
  ASSERT_TRUE(init_d3d(window, 256, 256));
}

void DeviceTest::TearDownTestSuite() {
  close_d3d();
  close_test_window(window);
  window = nullptr;
  std::string cmd = "rm -rf '" + dir + "'";
  if (!dir.empty() && std::system(cmd.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", dir.c_str());
}

void DeviceTest::SetUp() {
  ASSERT_TRUE(is_d3d_ready());
  test_frame = nullptr;
  set_back_buffer_target();
  set_shaders(nullptr);
  set_blend_none();
  set_atest(0);
  set_cull_mode(0);
  set_zenable(false);
  set_zwrite(true);
  set_stencil_test(0, 0, CMP_ALWAYS);
  set_stencil_replace_bits(0);
  set_color_write_mask(15);
  set_wireframe(false);
  set_instancing(0);
  for (int i = 0; i < MAX_TEXTURE_STAGES; i++) set_texture(i, nullptr);
  set_default_sampler_states();
}

namespace {
void make_dirs_for(const std::string& full) {
  for (size_t p = full.find('/', 1); p != std::string::npos; p = full.find('/', p + 1))
    mkdir(full.substr(0, p).c_str(), 0755);
}
}  // namespace

std::string write_app_file(const std::string& rel, const std::vector<uint8_t>& data) {
  std::string full = DeviceTest::dir + rel;
  make_dirs_for(full);
  FILE* f = std::fopen(full.c_str(), "wb");
  EXPECT_NE(f, nullptr) << full;
  if (!f) return full;
  if (!data.empty()) std::fwrite(data.data(), 1, data.size(), f);
  std::fclose(f);
  return full;
}

std::string write_app_file(const std::string& rel, const std::string& data) {
  return write_app_file(rel, std::vector<uint8_t>(data.begin(), data.end()));
}

void set_file_time(const std::string& full_path, int64_t seconds) {
  struct utimbuf t;
  t.actime = time_t(seconds);
  t.modtime = time_t(seconds);
  utime(full_path.c_str(), &t);
}

uint32_t pixel_at(int x, int y) {
  uint8_t p[4] = {};
  EXPECT_TRUE(read_target_pixels(x, y, 1, 1, p));
  return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

std::vector<uint32_t> target_pixels() {
  int w = get_target_width(), h = get_target_height();
  std::vector<uint8_t> raw(size_t(w) * h * 4);
  EXPECT_TRUE(read_target_pixels(0, 0, w, h, raw.data()));
  std::vector<uint32_t> out(size_t(w) * h);
  for (size_t i = 0; i < out.size(); i++)
    out[i] = uint32_t(raw[i * 4 + 3]) << 24 | uint32_t(raw[i * 4 + 2]) << 16 | uint32_t(raw[i * 4 + 1]) << 8 |
             raw[i * 4];
  return out;
}
