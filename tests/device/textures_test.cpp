// The texture table, locking, sampling settings and DDS files of every
// accepted and refused variant.
#include <epoxy/gl.h>

#include <cstring>

#include "device/d3d_shaders.h"
#include "device/d3d_texture.h"
#include "tests/device/dds_builder.h"
#include "tests/device/gl_env.h"

namespace {

// Samples texture 0 at pc[0].xy with level of detail pc[0].z.
const char* AT_SH = R"(
#ifdef VSH
in vec3 POSITION0;
vec4 vsh() { return vec4(POSITION0, 1.0); }
#endif
#ifdef PSH
uniform sampler2D tex0;
vec4 psh() { return textureLod(tex0, pc[0].xy, pc[0].z); }
#endif
)";

class Textures : public DeviceTest {
 protected:
  static void SetUpTestSuite() {
    DeviceTest::SetUpTestSuite();
    write_app_file("at.sh", AT_SH);
  }
  // The texel the shader reads at (u, v, lod), as 0xAARRGGBB.
  static uint32_t sample(Texture* t, float u, float v, float lod = 0) {
    set_back_buffer_target();
    ShaderRecord* s = load_shader("at.sh", nullptr);
    set_shaders(s);
    set_texture(0, t);
    set_ps_const(0, vec4f(u, v, lod, 0));
    draw_postfx();
    set_texture(0, nullptr);
    release_shader(s);
    // The back buffer has no alpha: read it through a texture target instead.
    Texture* rt = create_render_target(4, 4, RT_A8R8G8B8);
    set_render_target(0, rt, false);
    s = load_shader("at.sh", nullptr);
    set_shaders(s);
    set_texture(0, t);
    draw_postfx();
    uint32_t p = pixel_at(1, 1);
    set_texture(0, nullptr);
    release_shader(s);
    set_back_buffer_target();
    release_texture(rt);
    return p;
  }
};

TEST_F(Textures, TableLimitLocksAndReleases) {
  int before = get_texture_count();
  std::vector<Texture*> all;
  for (int i = before; i < MAX_TEXTURES; i++) all.push_back(create_managed_texture(1, 1));
  for (Texture* t : all) ASSERT_NE(t, nullptr);
  testing::internal::CaptureStdout();
  EXPECT_EQ(create_managed_texture(1, 1), nullptr);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("reached MAX_TEXTURES"), std::string::npos);
  for (Texture* t : all) release_texture(t);
  EXPECT_EQ(get_texture_count(), before);

  Texture* t = create_managed_texture(3, 2);
  int pitch = 0;
  auto* p = static_cast<uint8_t*>(lock_texture(t, pitch, true));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(pitch, 12);
  for (int i = 0; i < 24; i++) p[i] = uint8_t(i * 10);
  unlock_texture(t);
  p = static_cast<uint8_t*>(lock_texture(t, pitch, false));  // keeps the contents
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 24; i++) EXPECT_EQ(p[i], uint8_t(i * 10));
  unlock_texture(t);
  release_texture(t);

  Texture* rt = create_render_target(4, 4, RT_R32F);
  testing::internal::CaptureStdout();
  EXPECT_EQ(lock_texture(rt, pitch, true), nullptr);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("error locking texture (code 0x"), std::string::npos);
  release_texture(rt);
  release_texture(nullptr);
}

TEST_F(Textures, AddressModesAndFilters) {
  Texture* t = create_managed_texture(2, 2);
  int pitch;
  auto* p = static_cast<uint32_t*>(lock_texture(t, pitch, true));
  p[0] = 0xFFFF0000, p[1] = 0xFF00FF00, p[2] = 0xFF0000FF, p[3] = 0xFFFFFFFF;
  unlock_texture(t);
  set_texture_filter(0, false);
  set_texture_address(0, 0);  // wrap everywhere
  EXPECT_EQ(sample(t, 1.25f, 0.25f), 0xFFFF0000u);
  EXPECT_EQ(sample(t, 0.25f, 1.75f), 0xFF0000FFu);
  set_texture_address(0, 1);  // clamp
  EXPECT_EQ(sample(t, 1.25f, 0.25f), 0xFF00FF00u);
  set_texture_address(0, 2);  // border: transparent black
  EXPECT_EQ(sample(t, 1.25f, 0.25f), 0x00000000u);
  set_texture_address(0, 3, 0);  // clamp U, wrap V and W
  EXPECT_EQ(sample(t, 1.25f, 1.25f), 0xFF00FF00u);
  set_texture_filter(0, true);
  set_texture_address(0, 1);
  // Linear filtering halfway between the two top texels.
  uint32_t mid = sample(t, 0.5f, 0.25f);
  EXPECT_NEAR(int((mid >> 16) & 0xFF), 128, 1);
  EXPECT_NEAR(int((mid >> 8) & 0xFF), 128, 1);
  release_texture(t);
}

TEST_F(Textures, LoadsEveryAcceptedDdsVariant) {
  // 4 x 4 A8R8G8B8 with distinct texels, row 0 first.
  DdsSpec argb;
  std::vector<uint8_t> px;
  for (int i = 0; i < 16; i++) px.insert(px.end(), {uint8_t(i * 16), uint8_t(i), uint8_t(255 - i), uint8_t(100 + i)});
  write_app_file("dds/argb.dds", make_dds(argb, px));
  set_texture_filter(0, false);
  Texture* t = load_texture("dds/argb.dds", true);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->format, uint32_t(FMT_A8R8G8B8));
  EXPECT_EQ(sample(t, 0.125f, 0.125f), 0x64FF0000u);             // texel 0
  EXPECT_EQ(sample(t, 0.875f, 0.125f), 0x67FC0330u);             // texel 3: row 0 is v = 0
  EXPECT_EQ(sample(t, 0.125f, 0.875f), 0x70F30CC0u);             // texel 12

  DdsSpec xrgb;
  xrgb.alpha = false;
  write_app_file("dds/xrgb.dds", make_dds(xrgb, px));
  Texture* x = load_texture("dds/xrgb.dds", true);
  EXPECT_EQ(x->format, uint32_t(FMT_X8R8G8B8));
  EXPECT_EQ(sample(x, 0.125f, 0.125f), 0xFFFF0000u);  // alpha reads 1

  // One solid block each: DXT1 red, DXT3 green with alpha 0x88, DXT5 blue with alpha 200.
  const uint8_t c1[8] = {0x00, 0xF8, 0x00, 0x00, 0, 0, 0, 0};
  const uint8_t c3[16] = {0x88, 0x88, 0x88, 0x88, 0x88, 0x88, 0x88, 0x88, 0xE0, 0x07, 0x00, 0x00, 0, 0, 0, 0};
  const uint8_t c5[16] = {200, 0, 0, 0, 0, 0, 0, 0, 0x1F, 0x00, 0x00, 0x00, 0, 0, 0, 0};
  DdsSpec d1, d3, d5;
  d1.fourcc = fourcc("DXT1");
  d3.fourcc = fourcc("DXT3");
  d5.fourcc = fourcc("DXT5");
  write_app_file("dds/d1.dds", make_dds(d1, std::vector<uint8_t>(c1, c1 + 8)));
  write_app_file("dds/d3.dds", make_dds(d3, std::vector<uint8_t>(c3, c3 + 16)));
  write_app_file("dds/d5.dds", make_dds(d5, std::vector<uint8_t>(c5, c5 + 16)));
  EXPECT_EQ(sample(load_texture("dds/d1.dds", true), 0.5f, 0.5f), 0xFFFF0000u);
  EXPECT_EQ(sample(load_texture("dds/d3.dds", true), 0.5f, 0.5f), 0x8800FF00u);
  EXPECT_EQ(sample(load_texture("dds/d5.dds", true), 0.5f, 0.5f), 0xC80000FFu);
}

TEST_F(Textures, FullDxtMipChainLoadsEveryLevel) {
  DdsSpec s;
  s.fourcc = fourcc("DXT1");
  s.width = 256;
  s.height = 64;
  s.mips = 9;
  // Level l is solid grey of 565 value l * 3 in every channel.
  std::vector<uint8_t> data;
  int w = 256, h = 64;
  for (int l = 0; l < 9; l++) {
    uint16_t c = uint16_t((l * 3) << 11 | (l * 6) << 5 | (l * 3));
    int blocks = ((w + 3) / 4) * ((h + 3) / 4);
    for (int b = 0; b < blocks; b++) data.insert(data.end(), {uint8_t(c), uint8_t(c >> 8), 0, 0, 0, 0, 0, 0});
    w = w > 1 ? w / 2 : 1;
    h = h > 1 ? h / 2 : 1;
  }
  ASSERT_EQ(data.size(), dds_payload_size(s));
  write_app_file("dds/chain.dds", make_dds(s, data));
  Texture* t = load_texture("dds/chain.dds", true);
  EXPECT_EQ(t->levels, 9);
  set_texture_filter(0, false);
  for (int l : {0, 4, 8}) {
    uint32_t p = sample(t, 0.5f, 0.5f, float(l));
    int r5 = l * 3;
    EXPECT_EQ(int((p >> 16) & 0xFF), (r5 << 3) | (r5 >> 2)) << "level " << l;
  }
}

TEST_F(Textures, LoadedTexturesAreSharedByFullPath) {
  DdsSpec s;
  write_app_file("shared/one.dds", make_dds(s, std::vector<uint8_t>(64, 0x7F)));
  int before = get_loaded_texture_count();
  Texture* a = load_texture("shared/one.dds", true);
  Texture* b = load_texture("SHARED\\One.DDS", true);
  Texture* c = load_texture((dir + "shared/./one.dds").c_str(), true);
  EXPECT_EQ(a, b);
  EXPECT_EQ(a, c);
  EXPECT_EQ(get_loaded_texture_count(), before + 1);
  // Released by every holder before it goes.
  release_texture(a);
  release_texture(b);
  EXPECT_TRUE(a->inUse);
  release_texture(c);
  EXPECT_FALSE(a->inUse);
  EXPECT_EQ(get_loaded_texture_count(), before);

  EXPECT_EQ(load_texture("shared/none.dds", false), nullptr);
  EXPECT_EXIT(load_texture("shared/none.dds", true), testing::ExitedWithCode(100),
              "Can't load texture from '.*shared/none.dds'");
}

TEST_F(Textures, RefusedDdsFilesAreFatal) {
  DdsSpec rgb24;
  rgb24.bits = 24, rgb24.alpha = false, rgb24.amask = 0;
  DdsSpec cube;
  cube.caps2 = 0xFE00;
  DdsSpec ati2;
  ati2.fourcc = fourcc("ATI2");
  write_app_file("bad/rgb24.dds", make_dds(rgb24, std::vector<uint8_t>(48)));
  write_app_file("bad/cube.dds", make_dds(cube, std::vector<uint8_t>(64 * 6)));
  write_app_file("bad/ati2.dds", make_dds(ati2, std::vector<uint8_t>(16)));
  write_app_file("bad/short.dds", make_dds(DdsSpec(), std::vector<uint8_t>(63)));
  write_app_file("bad/text.dds", "not a texture at all, only words and more words to pass 128 bytes of header..........................................................");
  for (const char* f : {"rgb24", "cube", "ati2", "text"})
    EXPECT_EXIT(load_texture((std::string("bad/") + f + ".dds").c_str(), true), testing::ExitedWithCode(100),
                std::string("Texture '.*bad/") + f + ".dds' is not a DDS");
  EXPECT_EXIT(load_texture("bad/short.dds", false), testing::ExitedWithCode(100), "bad/short.dds' is truncated");
}

}  // namespace
