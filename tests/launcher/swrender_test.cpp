// The software renderer: font grid, measuring, text placement, blending and
// clipping into a guarded buffer.
#include "launcher/swrender.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "platform/globals.h"
#include "tests/launcher/font_image.h"

namespace {
// The blend as written per channel: t = (c - d) a + 128, d + (t + t / 256) / 256
// with divisions rounding down.
uint32_t reference_blend(uint32_t dst, uint32_t color) {
  int a = int(color >> 24);
  uint32_t out = 0;
  for (int shift : {0, 8, 16}) {
    int c = int((color >> shift) & 255), d = int((dst >> shift) & 255);
    int t = (c - d) * a + 128;
    int v = d + ((t + (t >> 8)) >> 8);
    out |= uint32_t(v) << shift;
  }
  return out;
}

std::string temp_dir() {
  char tmpl[] = "/tmp/tolvane-swrender-XXXXXX";
  return mkdtemp(tmpl);
}

// A 40 x 20 target inside a larger array: the guard around it must stay intact.
struct GuardedBuffer {
  static constexpr int W = 40, H = 20, PITCH_PX = 48, GUARD_ROWS = 4;
  static constexpr uint32_t GUARD = 0x5A5A5A5A;
  std::vector<uint32_t> mem = std::vector<uint32_t>(size_t(PITCH_PX) * (H + 2 * GUARD_ROWS), GUARD);
  uint32_t* origin() { return &mem[size_t(GUARD_ROWS) * PITCH_PX]; }
  uint32_t& at(int x, int y) { return origin()[size_t(y) * PITCH_PX + x]; }
  int guard_damage() {
    int n = 0;
    for (size_t i = 0; i < mem.size(); i++) {
      int row = int(i / PITCH_PX) - GUARD_ROWS, col = int(i % PITCH_PX);
      bool inside = row >= 0 && row < H && col < W;
      if (!inside && mem[i] != GUARD) n++;
    }
    return n;
  }
};

struct SwRender : ::testing::Test {
  static std::string dir;
  static void SetUpTestSuite() {
    dir = temp_dir();
    write_test_font(dir + "/font128.tga", 128, 128);
    write_test_font(dir + "/font100.tga", 100, 128);
  }
  static void TearDownTestSuite() { std::system(("rm -rf '" + dir + "'").c_str()); }
  SoftwareGuiRenderer r;
  GuardedBuffer buf;
  void SetUp() override {
    r.setBuffer(buf.origin(), GuardedBuffer::PITCH_PX * 4, GuardedBuffer::W, GuardedBuffer::H);
    r.clear(0xFF000000);
  }
  void useFont() { r.setFont(r.loadFont((dir + "/font128.tga").c_str())); }
};
std::string SwRender::dir;
}  // namespace

TEST_F(SwRender, FontGridGlyphExtentsAndMeasuring) {
  EXPECT_EQ(r.glyphSize(), 8) << "without a font";
  SoftFont* f = r.loadFont((dir + "/font128.tga").c_str());
  r.setFont(f);
  EXPECT_EQ(r.glyphSize(), 8) << "128 / 16";
  const SoftFont::Glyph& a = f->glyphs['A'];
  EXPECT_EQ(a.left, 1 * 8 + 1);  // 'A' = 65: column 1, row 4 from the top
  EXPECT_EQ(a.right, 1 * 8 + 5);
  EXPECT_EQ(a.bottom, (15 - 4) * 8);
  EXPECT_EQ(a.top, a.bottom + 8);
  const SoftFont::Glyph& space = f->glyphs[' '];
  EXPECT_EQ(space.right - space.left, 5) << "half a cell plus one";
  float w, h;
  r.measureText(" ", -1, w, h, 1);
  EXPECT_EQ(w, 6) << "half a cell plus two pixels";
  r.measureText("AI\nA", -1, w, h, 1);
  EXPECT_EQ(w, 5 + 2);
  EXPECT_EQ(h, 16);
  r.measureText("A\n", -1, w, h, 3);
  EXPECT_EQ(w, 15);
  EXPECT_EQ(h, 24) << "an empty last line adds nothing";
  r.measureText("AAAA", 1, w, h, 1);
  EXPECT_EQ(w, 5);
}

TEST_F(SwRender, TextPlacementAlignmentShadowAndScale) {
  useFont();
  // "AAAAAAAA" is 8 x 5 = 40 wide; centred on x = 100 it starts at 80.
  std::vector<uint32_t> big(200 * 40, 0xFF000000);
  r.setBuffer(big.data(), 200 * 4, 200, 40);
  r.drawText("AAAAAAAA", -1, 100, 10, 0, -1, 0xFFFFFFFF, 1);
  auto px = [&](int x, int y) { return big[size_t(y) * 200 + x]; };
  int first = -1;
  for (int x = 0; x < 200 && first < 0; x++)
    if (px(x, 12) == 0x00FFFFFF) first = x;
  EXPECT_EQ(first, 80);
  EXPECT_EQ(px(83, 10), 0x00FFFFFFu) << "top row at y";
  EXPECT_EQ(px(83, 17), 0x00FFFFFFu);
  EXPECT_EQ(px(83, 18), 0x00000000u) << "shadow under the glyph: black over black";
  EXPECT_EQ(px(84, 12), 0x00000000u) << "the one-pixel gap holds the shadow";
  // The shadow is black at half the alpha: over white it halves the channels.
  std::fill(big.begin(), big.end(), 0xFFFFFFFF);
  r.drawText("I", -1, 10, 20, -1, 1, 0xFFFF0000, 2);  // bottom edge at y = 20
  EXPECT_EQ(px(10, 19), 0x00FF0000u);
  EXPECT_EQ(px(11, 4), 0x00FF0000u) << "scale 2: two columns, 16 rows";
  EXPECT_EQ(px(11, 3), 0xFFFFFFFFu) << "untouched";
  EXPECT_EQ(px(12, 20), reference_blend(0xFFFFFFFF, 0x7F000000)) << "shadow one pixel right and down";
  EXPECT_EQ(px(12, 20), 0x00808080u);
  // Modulation: a half-transparent colour blends the opaque glyph by its alpha.
  std::fill(big.begin(), big.end(), 0xFF000000);
  r.drawText("I", -1, 50, 20, -1, -1, 0x80FFFFFF, 1);
  // s (c + 1) / 256: the colour channels stay 255, the alpha becomes 128.
  EXPECT_EQ(px(50, 20), reference_blend(0xFF000000, 0x80FFFFFF));
  EXPECT_EQ(px(50, 20), 0x00808080u);
}

TEST_F(SwRender, BlendMatchesTheReferenceOnRandomColours) {
  std::mt19937 rng(1234);
  for (int i = 0; i < 200000; i++) {
    uint32_t d = rng(), c = rng();
    if (i % 4 == 0) c = (c & 0x00FFFFFF) | uint32_t(i % 256) << 24;
    ASSERT_EQ(blend_pixel(d, c), reference_blend(d, c)) << std::hex << d << " " << c;
  }
  EXPECT_EQ(blend_pixel(0xFFFFFFFF, 0xFF000000), 0u) << "opaque black is black";
  EXPECT_EQ(blend_pixel(0x00123456, 0xFFABCDEF), 0x00ABCDEFu);
}

TEST_F(SwRender, FillsAndFramesClipAndRoundToWholePixels) {
  r.fillRect(-10, -10, 5.4f, 3.5f, 0xFF00FF00);
  EXPECT_EQ(buf.at(0, 0), 0x0000FF00u);
  EXPECT_EQ(buf.at(4, 3), 0x0000FF00u) << "3.5 rounds to 4, exclusive";
  EXPECT_EQ(buf.at(5, 0), 0xFF000000u);
  EXPECT_EQ(buf.at(0, 4), 0xFF000000u);
  r.fillRect(30, 15, 1000, 1000, 0x80FF0000);
  r.fillRect(-5, 18, 100, 25, 0xFF0000FF);
  r.frameRect(-3, -3, 100, 100, 0xFFFFFFFF);
  r.frameRect(35, 2, 39, 6, 0xFFFF00FF);
  EXPECT_EQ(buf.guard_damage(), 0) << "nothing written outside the target";
  EXPECT_EQ(buf.at(39, 17), reference_blend(0xFF000000, 0x80FF0000));
  EXPECT_EQ(buf.at(35, 2), 0x00FF00FFu);
  EXPECT_EQ(buf.at(39, 6), 0x00FF00FFu) << "both corners are on the outline";
  EXPECT_EQ(buf.at(37, 4), 0xFF000000u) << "the inside stays";
  // An alpha-0 fill only clears the alpha bytes it touches.
  r.fillRect(10, 5, 12, 6, 0x00FFFFFF);
  EXPECT_EQ(buf.at(10, 5), 0x00000000u);
  EXPECT_EQ(buf.at(12, 5), 0xFF000000u);
  // Text reaching past every edge is clipped too.
  useFont();
  r.drawText("AAAAAAAAAAAA", -1, 20, 10, 0, 0, 0xFFFFFFFF, 3);
  r.drawText("A\nA\nA", -1, -2, -5, -1, -1, 0xFFFFFFFF, 2);
  EXPECT_EQ(buf.guard_damage(), 0);
}

TEST(SwRenderDeathTest, BadFontsAndMissingTargetsAreFatal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  setenv("TOLVANE_NO_MSGBOX", "1", 1);
  std::string dir = temp_dir();
  write_test_font(dir + "/font100.tga", 100, 128);
  std::string bad = dir + "/font100.tga";
  EXPECT_EXIT(SoftwareGuiRenderer().loadFont(bad.c_str()), ::testing::ExitedWithCode(100),
              "expected 16x16 font grid in .*font100.tga, got 100x128 image");
  EXPECT_EXIT(SoftwareGuiRenderer().loadFont("/nonexistent/font.tga"), ::testing::ExitedWithCode(100),
              "can't load font from /nonexistent/font.tga");
  auto draw_without_buffer = [] { SoftwareGuiRenderer().drawText("x", -1, 0, 0, 0, 0, 0xFFFFFFFF, 1); };
  EXPECT_EXIT(draw_without_buffer(), ::testing::ExitedWithCode(100), "failed ASSERT\\(buffer\\)");
  EXPECT_EXIT(
      {
        SoftwareGuiRenderer r;
        float size[2];
        r.measureText("x", -1, size[0], size[1], 1);
      },
      ::testing::ExitedWithCode(100), "failed ASSERT\\(curFont\\)");
  std::system(("rm -rf '" + dir + "'").c_str());
}
