// Text, splash, error band, statistics and debug drawing rendered on a real
// GL context and checked by reading pixels back.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/globals.h"
#include "app/main_loop.h"
#include "platform/messages.h"
#include "app/messages_draw.h"
#include "app/health_edge.h"
#include "app/overlays.h"
#include "app/stats_graph.h"
#include "device/d3d_shaders.h"
#include "device/debug_vis.h"
#include "device/dynVBWriter.h"
#include "device/font.h"
#include "device/screenshot.h"
#include "device/splash.h"
#include "tests/device/gl_env.h"

namespace {
// A 128 x 128 font image: 'A' has opaque texel columns 2..5 of its cell,
// 'B' column 0 only; everything else is blank.
std::vector<uint8_t> synthetic_font_tga(int w = 128, int h = 128) {
  std::vector<uint8_t> f(18, 0);
  f[2] = 2;
  f[12] = uint8_t(w), f[13] = uint8_t(w >> 8), f[14] = uint8_t(h), f[15] = uint8_t(h >> 8);
  f[16] = 32, f[17] = 8;
  std::vector<uint8_t> px(size_t(w) * h * 4, 0);  // rows bottom-up, as in the file
  int c = h / 16, cw = w / 16;
  auto set_column = [&](int glyph, int col) {
    int x = (glyph % 16) * cw + col, y0 = (15 - glyph / 16) * c;
    for (int y = y0; y < y0 + c; y++) {
      uint8_t* p = &px[(size_t(y) * w + x) * 4];
      p[0] = p[1] = p[2] = p[3] = 255;
    }
  };
  if (w % 16 == 0)
    for (int col = 2; col <= 5; col++) set_column('A', col);
  if (w % 16 == 0) set_column('B', 0);
  f.insert(f.end(), px.begin(), px.end());
  return f;
}

std::string read_text_file(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

struct Box {
  int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;  // rows from the top
  bool empty() const { return x1 < 0; }
};

// Bounding box of pixels whose colour passes `match`.
template <typename F>
Box find_box(F match) {
  std::vector<uint32_t> px = target_pixels();
  int w = get_target_width(), h = get_target_height();
  Box b;
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++)
      if (match(px[size_t(y) * w + x])) {
        b.x0 = std::min(b.x0, x), b.x1 = std::max(b.x1, x);
        b.y0 = std::min(b.y0, y), b.y1 = std::max(b.y1, y);
      }
  return b;
}

bool is_white(uint32_t c) { return (c & 0xFFFFFF) == 0xFFFFFF; }
int red(uint32_t c) { return (c >> 16) & 255; }
int green(uint32_t c) { return (c >> 8) & 255; }
int blue(uint32_t c) { return c & 255; }

struct TextTest : DeviceTest {
  static void SetUpTestSuite() {
    DeviceTest::SetUpTestSuite();
    write_app_file("font.sh", read_text_file(DATA_DIR "/font.sh"));
    write_app_file("debug_vis.sh", read_text_file(DATA_DIR "/debug_vis.sh"));
    write_app_file("font.tga", synthetic_font_tga());
    dynVBWriter.init(65536);
    init_font();
    init_debug_vis();
  }
  static void TearDownTestSuite() {
    close_debug_vis();
    close_font();
    dynVBWriter.close();
    DeviceTest::TearDownTestSuite();
  }
  void clear(uint32_t c = 0xFF0000FF) {
    set_back_buffer_target();
    clear_view(D3dColor(c));
  }
  // Pixel at text coordinates (origin bottom-left, y up).
  uint32_t text_pixel(int x, int y) { return pixel_at(x, d3d_ht - 1 - y); }
};
}  // namespace

TEST_F(TextTest, GlyphTableAndMeasurement) {
  const FontMetrics& m = get_font_metrics();
  EXPECT_EQ(m.cell, 8);
  EXPECT_EQ(get_text_scale(), 1) << "256 lines / (8 x 30)";
  EXPECT_EQ(font_scale_for_height(720, 8), 3);
  const Glyph& a = m.glyphs['A'];
  EXPECT_EQ(a.left, 8 + 2);
  EXPECT_EQ(a.right1, 8 + 6);
  EXPECT_EQ(a.bottom, (15 - 4) * 8);
  EXPECT_EQ(a.top, a.bottom + 8);
  EXPECT_EQ(m.glyphs['B'].right1 - m.glyphs['B'].left, 1) << "one visible column";
  const Glyph& empty = m.glyphs['C'];
  EXPECT_EQ(empty.left, 3 * 8);
  EXPECT_EQ(empty.right1, 3 * 8 + 4 + 1) << "a blank half-cell";
  int w, h;
  measure_text("AA\nA", -1, w, h);
  EXPECT_EQ(w, 10);
  EXPECT_EQ(h, 16);
  measure_text("A\n", -1, w, h);
  EXPECT_EQ(h, 8) << "an empty last line adds no height";
  measure_text(" ", -1, w, h);
  EXPECT_EQ(w, 6);
  measure_text("AAAA", 2, w, h);
  EXPECT_EQ(w, 10) << "the length limits the text";
  set_letter_spacing(3);
  measure_text("AA", -1, w, h);
  EXPECT_EQ(w, 16);
  set_letter_spacing(0);
}

TEST_F(TextTest, AlignmentPutsTheGlyphInTheExpectedPixels) {
  // Block: 5 px wide (glyph 4 + 1), 8 px tall. Text y is up; rows are down.
  for (int ha = -1; ha <= 1; ha++)
    for (int va = -1; va <= 1; va++) {
      clear();
      begin_text();
      draw_text("A", -1, 128, 128, ha, va, D3dColor(0xFFFFFFFF));
      end_text();
      Box b = find_box(is_white);
      ASSERT_FALSE(b.empty()) << ha << "," << va;
      int x0 = 128 - (ha + 1) * 5 / 2;
      int bottom = 128 + 8 - 8 * (va + 1) / 2 - 8;
      EXPECT_EQ(b.x0, x0) << ha << "," << va;
      EXPECT_EQ(b.x1, x0 + 3);
      EXPECT_EQ(b.y1, 255 - bottom) << ha << "," << va;
      EXPECT_EQ(b.y0, 255 - (bottom + 7));
    }
  // The drop shadow sits one pixel right and down, darker than the background.
  clear();
  begin_text();
  draw_text("A", -1, 100, 100, -1, -1, D3dColor(0xFFFFFFFF));
  end_text();
  uint32_t shadow = text_pixel(104, 99);
  EXPECT_LT(blue(shadow), 200);
  EXPECT_GT(blue(shadow), 60) << "half-transparent black";
}

TEST_F(TextTest, TwoLinesCentredAndLongTextsFlushTheWriter) {
  clear();
  begin_text();
  draw_text("AA\nA", -1, 128, 128, 0, 0, D3dColor(0xFFFFFFFF));
  end_text();
  Box b = find_box(is_white);
  EXPECT_EQ(b.x0, 128 - 5);
  EXPECT_EQ(b.y0, 255 - (128 + 7));
  EXPECT_EQ(b.y1, 255 - (128 - 8));
  // 2000 glyphs need 144 kB of quads: more than the writer's buffer holds.
  std::string many;
  for (int row = 0; row < 40; row++) many += std::string(50, 'A') + "\n";
  clear();
  begin_text();
  draw_text(many.c_str(), -1, 0, 255, -1, 1, D3dColor(0xFFFFFFFF));
  end_text();
  Box all = find_box(is_white);
  EXPECT_EQ(all.x1, 49 * 5 + 3) << "the last glyph of a line was drawn";
  EXPECT_EQ(all.y1, 255) << "lines reach the bottom of the screen";
}

TEST_F(TextTest, FillRectIsSolidAndStylesNest) {
  clear();
  begin_text();
  fill_rect(10, 20, 30, 40, D3dColor(0xFF00FF00));
  end_text();
  EXPECT_EQ(text_pixel(10, 20), 0xFF00FF00u);
  EXPECT_EQ(text_pixel(29, 39), 0xFF00FF00u);
  EXPECT_EQ(text_pixel(30, 39), 0xFF0000FFu);
  EXPECT_EQ(text_pixel(29, 40), 0xFF0000FFu);
  push_text_style();
  set_text_scale(4);
  set_line_spacing(2);
  push_text_style();
  set_text_scale(2);
  pop_text_style();
  EXPECT_EQ(get_text_scale(), 4);
  pop_text_style();
  EXPECT_EQ(get_text_scale(), 1);
}

TEST_F(TextTest, ErrorBandCoversTheTopTwelveCells) {
  set_error_message("AB BA");
  clear(0xFF000000);
  begin_text();
  draw_error_message();
  end_text();
  set_error_message("");
  // Twelve cells of 8 pixels: the top 96 rows.
  uint32_t band = pixel_at(2, 90);
  EXPECT_GT(red(band), 60);
  EXPECT_EQ(green(band), 0);
  EXPECT_EQ(pixel_at(2, 97), 0xFF000000u);
  Box yellow = find_box([](uint32_t c) { return red(c) > 240 && green(c) > 220 && blue(c) < 40; });
  ASSERT_FALSE(yellow.empty()) << "the message is drawn in yellow";
  EXPECT_LT(yellow.y1, 96);
  clear(0xFF000000);
  begin_text();
  draw_error_message();  // no message: nothing drawn
  end_text();
  EXPECT_EQ(pixel_at(2, 50), 0xFF000000u);
}

TEST_F(TextTest, LowHealthTintsOnlyTheScreenEdgesAndGrowsAsHealthFalls) {
  EXPECT_EQ(low_health_edge_strength(0.9f), 0.f);
  EXPECT_EQ(low_health_edge_strength(0.4f), 0.f);
  EXPECT_EQ(low_health_edge_strength(std::nanf("")), 0.f) << "a broken fraction never paints the screen";
  EXPECT_EQ(low_health_edge_strength(-3.f), 1.f);
  EXPECT_GT(low_health_edge_strength(0.05f), low_health_edge_strength(0.3f));

  auto edge_and_centre = [&](float health) {
    clear(0xFF000000);
    begin_text();
    draw_low_health_edge(health);
    end_text();
    return std::pair<uint32_t, uint32_t>(pixel_at(1, d3d_ht / 2), pixel_at(d3d_wd / 2, d3d_ht / 2));
  };
  auto [edge_low, centre_low] = edge_and_centre(0.05f);
  EXPECT_GT(red(edge_low), 40) << std::hex << edge_low;
  EXPECT_LT(green(edge_low), red(edge_low) / 4);
  EXPECT_EQ(centre_low, 0xFF000000u) << "the middle of the screen stays clear";
  auto [edge_mid, centre_mid] = edge_and_centre(0.3f);
  EXPECT_LT(red(edge_mid), red(edge_low)) << "weaker with more health";
  auto [edge_full, centre_full] = edge_and_centre(1.f);
  EXPECT_EQ(edge_full, 0xFF000000u) << "no tint at full health";
  (void)centre_mid;
  (void)centre_full;
}

TEST_F(TextTest, SplashShowsAHalfFilledGreenBar) {
  show_splash("Loading", 0.5f);
  draw_splash_screen();
  // Bar: 64 px wide from x = 96, rows 40..51 in text coordinates (a = 24).
  EXPECT_EQ(text_pixel(110, 46), 0xFF32960Au);
  EXPECT_EQ(text_pixel(127, 46), 0xFF32960Au);
  EXPECT_EQ(text_pixel(128, 46), 0xFF000000u);
  EXPECT_EQ(text_pixel(159, 46), 0xFF000000u);
  EXPECT_EQ(text_pixel(10, 10), 0xFF000A28u);
  show_splash("Loading", -1);
  draw_splash_screen();
  EXPECT_EQ(text_pixel(110, 46), 0xFF000A28u) << "no bar without progress";
}

TEST(StatsGraph, RingStatisticsAndBarColours) {
  int ring[TIME_HIST_LEN];
  for (int i = 0; i < TIME_HIST_LEN; i++) ring[i] = i;
  RingStats s = ring_stats(ring);
  EXPECT_EQ(s.max, 199);
  EXPECT_EQ(s.min, 0);
  EXPECT_EQ(s.avg, (19900 + 100) / 200);
  EXPECT_EQ(bar_pitch(800), 2);
  EXPECT_EQ(bar_pitch(300), 2);
  EXPECT_EQ(bar_pitch(1920), 4);
  // Index 10 is the next to be written: entry 9 is the newest and brightest.
  EXPECT_EQ(bar_color(9, 10, 70000, 50000).u, 0xFF7F0000u);
  EXPECT_EQ(bar_color(10, 10, 70000, 50000).u, 0xFF000000u);
  EXPECT_EQ(bar_color(9, 10, 100, 50000).u, 0xFF007F00u);
  EXPECT_GT(bar_color(9, 10, 1, 2).u & 0xFF00, bar_color(150, 10, 1, 2).u & 0xFF00);
}

// One figure per line with its unit; "n/a" where nothing answers, and a
// GPU ring with gaps averages only the readings it has.
TEST(StatsGraph, BoxLinesCarryUnitsAndSayWhenNothingAnswers) {
  int gpu[TIME_HIST_LEN];
  for (int i = 0; i < TIME_HIST_LEN; i++) gpu[i] = -1;
  ValidStats none = valid_ring_stats(gpu);
  EXPECT_EQ(none.count, 0);
  gpu[3] = 40, gpu[7] = 60;
  ValidStats some = valid_ring_stats(gpu);
  EXPECT_EQ(some.count, 2);
  EXPECT_EQ(some.min, 40) << "missing readings are not a load of -1 %";
  EXPECT_EQ(some.avg, 50);

  StatsBoxInput in{3, {412345, 250000, 330100}, {12500, 800, 9800}, none, -1, -1};
  StatsLine lines[MAX_STATS_LINES];
  int n = stats_box_lines(in, lines);
  auto value_of = [&](const char* label) -> std::string {
    for (int i = 0; i < n; i++)
      if (std::string(lines[i].label) == label) return lines[i].value;
    return "(missing)";
  };
  for (int i = 0; i < n; i++) {
    EXPECT_EQ(std::strchr(lines[i].label, '\n'), nullptr) << lines[i].label;
    EXPECT_EQ(std::strchr(lines[i].value, '\n'), nullptr) << lines[i].value;
  }
  EXPECT_EQ(value_of("FPS"), "3");
  EXPECT_EQ(value_of("frame max"), "412.3 ms");
  EXPECT_EQ(value_of("frame min"), "250.0 ms");
  EXPECT_EQ(value_of("update avg"), "9.80 ms");
  EXPECT_EQ(value_of("tex mem"), "n/a");
  EXPECT_EQ(value_of("GPU load"), "n/a");

  in.gpu_percent = some;
  in.video_mb = 2048;
  n = stats_box_lines(in, lines);
  EXPECT_EQ(value_of("video mem"), "2048 MB");
  EXPECT_EQ(value_of("tex mem"), "(missing)") << "no n/a line once a source answers";
  EXPECT_EQ(value_of("GPU load min"), "40 %");
  in.tex_free_mb = 0;  // a driver that answers 0 free means 0, not n/a
  n = stats_box_lines(in, lines);
  EXPECT_EQ(value_of("free tex mem"), "0 MB");
}

// The game's own font, for screens whose texts need every glyph.
struct RealFontTest : TextTest {
  static void SetUpTestSuite() {
    DeviceTest::SetUpTestSuite();
    write_app_file("font.sh", read_text_file(DATA_DIR "/font.sh"));
    std::ifstream in(BIN_DIR "/font.tga", std::ios::binary);
    std::vector<uint8_t> tga((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    write_app_file("font.tga", tga);
    dynVBWriter.init(65536);
    init_font();
  }
  static void TearDownTestSuite() {
    close_font();
    dynVBWriter.close();
    DeviceTest::TearDownTestSuite();
  }
};

TEST_F(RealFontTest, StatisticsShowRedBarsForLongFramesAndTheBox) {
  for (int i = 0; i < TIME_HIST_LEN; i++) {
    frame_time_hist[i] = 80000;  // slower than a step: red
    update_time_hist[i] = 0;
    gpu_load_hist[i] = -1;
  }
  frame_hist_pos = update_time_hist_pos = 0;
  clear(0xFF000000);
  begin_text();
  draw_stats();
  end_text();
  // At 256 pixels the 400-pixel graphs overlap; the frame graph's right end
  // shows at the bottom right, above the zero-height step bars.
  uint32_t bar = text_pixel(250, 30);
  EXPECT_GT(red(bar), 60) << std::hex << bar;
  EXPECT_EQ(green(bar), 0);
  // The box's text: white in the upper half (the bar values sit lower).
  std::vector<uint32_t> px = target_pixels();
  Box white;
  for (int y = 0; y < 128; y++)
    for (int x = 0; x < 256; x++)
      if (is_white(px[size_t(y) * 256 + x])) white.x0 = std::min(white.x0, x), white.y0 = std::min(white.y0, y), white.x1 = x;
  ASSERT_FALSE(white.empty());
  EXPECT_LT(white.y0, 40) << "the box's text starts at the top";
  if (const char* dump = std::getenv("TOLVANE_DUMP_STATS")) {
    std::vector<uint8_t> bgra(px.size() * 4);
    for (size_t i = 0; i < px.size(); i++)
      for (int c = 0; c < 4; c++) bgra[i * 4 + c] = uint8_t(px[i] >> (8 * c));
    write_bgra_png(dump, bgra.data(), 256, 256, 256 * 4);
  }
  EXPECT_GT(white.x1, 256 - 24) << "values end at the right edge";
  // Every figure is one line: nine lines of text in the box (FPS, three
  // frame and three update times, texture memory, GPU load), none wrapped.
  int text_rows = 0;
  bool in_text = false;
  for (int y = 0; y < 170; y++) {
    bool any = false;
    for (int x = white.x0; x <= white.x1 && !any; x++) any = is_white(px[size_t(y) * 256 + x]);
    if (any && !in_text) text_rows++;
    in_text = any;
  }
  EXPECT_GE(text_rows, 9);
}

TEST_F(TextTest, DebugLinesAfterTrianglesKeepBoth) {
  clear(0xFF000000);
  float ident[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  set_vs_const(0, ident, 4);
  start_draw_debug_vis();
  draw_debug_vis_tri(vec4f(-1, -1, 0.5f, 1), vec4f(0, -1, 0.5f, 1), vec4f(-1, 0, 0.5f, 1), D3dColor(0xFFFF0000),
                     D3dColor(0xFFFF0000), D3dColor(0xFFFF0000));
  draw_debug_vis_line(vec4f(0.5f, -1, 0.5f, 1), vec4f(0.5f, 1, 0.5f, 1), D3dColor(0xFF00FF00), D3dColor(0xFF00FF00));
  end_draw_debug_vis();
  EXPECT_EQ(pixel_at(10, 250), 0xFFFF0000u) << "the triangle was drawn before the mode switch";
  Box line = find_box([](uint32_t c) { return c == 0xFF00FF00u; });
  ASSERT_FALSE(line.empty());
  EXPECT_LE(line.x1 - line.x0, 1);
  EXPECT_GT(line.y1 - line.y0, 200);
}

TEST_F(RealFontTest, HelpOverlayTogglesWithShowFps) {
  show_fps = false;
  clear(0xFF000000);
  begin_text();
  draw_overlays();
  end_text();
  Box hint = find_box([](uint32_t c) { return c != 0xFF000000u; });
  show_fps = true;
  clear(0xFF000000);
  begin_text();
  draw_overlays();
  end_text();
  Box help = find_box([](uint32_t c) { return c != 0xFF000000u; });
  show_fps = false;
  ASSERT_FALSE(hint.empty());
  EXPECT_GT(help.y1 - help.y0, 2 * (hint.y1 - hint.y0)) << "the help text is many lines";
}

using TextDeathTest = TextTest;
TEST_F(TextDeathTest, FontImageMustBeASixteenBySixteenGrid) {
  EXPECT_EXIT(
      {
        write_app_file("font.tga", synthetic_font_tga(100, 128));
        init_font();
      },
      ::testing::ExitedWithCode(100), "expected 16x16 font grid in font.tga, got 100x128 image");
  write_app_file("font.tga", synthetic_font_tga());
  EXPECT_EXIT(
      {
        write_app_file("font.tga", std::string("not an image"));
        init_font();
      },
      ::testing::ExitedWithCode(100), "can't load font.tga");
  write_app_file("font.tga", synthetic_font_tga());
}
