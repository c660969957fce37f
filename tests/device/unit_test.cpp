// Device-layer logic that needs no GL context: DDS headers, TGA files,
// vertex declarations, shader cache names, colours and projections.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/globals.h"
#include "device/d3d_render.h"
#include "device/d3d_shaders.h"
#include "device/d3d_texture.h"
#include "device/dds.h"
#include "device/screenshot.h"
#include "tests/device/dds_builder.h"


namespace {

DdsResult parse(const DdsSpec& s, long payload_delta = 0) {
  std::vector<uint8_t> payload(size_t(long(dds_payload_size(s)) + payload_delta), 0x5A);
  std::vector<uint8_t> file = make_dds(s, payload);
  DdsInfo info;
  return parse_dds(file.data(), file.size(), info);
}

TEST(DdsHeader, AcceptsTheFourFormatFamilies) {
  struct Case {
    DdsSpec spec;
    uint32_t format;
  };
  DdsSpec argb, xrgb, dxt1, dxt3, dxt5;
  xrgb.alpha = false;
  xrgb.amask = 0;
  dxt1.fourcc = fourcc("DXT1");
  dxt3.fourcc = fourcc("DXT3");
  dxt5.fourcc = fourcc("DXT5");
  for (const Case& c : {Case{argb, FMT_A8R8G8B8}, Case{xrgb, FMT_X8R8G8B8}, Case{dxt1, FMT_DXT1},
                        Case{dxt3, FMT_DXT3}, Case{dxt5, FMT_DXT5}}) {
    std::vector<uint8_t> file = make_dds(c.spec, std::vector<uint8_t>(dds_payload_size(c.spec)));
    DdsInfo info;
    ASSERT_EQ(parse_dds(file.data(), file.size(), info), DdsResult::ok);
    EXPECT_EQ(info.format, c.format);
    EXPECT_EQ(info.levels, 1);
    EXPECT_EQ(info.dataOffset, 128u);
  }
}

TEST(DdsHeader, RefusesEveryOtherVariant) {
  std::vector<DdsSpec> bad(11);
  bad[0].bits = 24, bad[0].amask = 0, bad[0].alpha = false;  // 24-bit RGB
  bad[1].caps2 = 0xFE00;                                     // cube map
  bad[2].caps2 = 0x200000;                                   // volume
  bad[3].fourcc = fourcc("ATI2");                            // other FOURCC
  bad[4].headerSize = 100;
  bad[5].pfSize = 24;
  bad[6].extraFlags = 0x8 | 0x80000;  // PITCH and LINEARSIZE
  bad[7].dropCaps = true;
  bad[8].luminance = true;
  bad[9].rmask = 0x000000FF, bad[9].bmask = 0x00FF0000;  // A8B8G8R8
  bad[10].amask = 0x00000000;                            // alpha flag with no alpha mask
  for (size_t i = 0; i < bad.size(); i++) EXPECT_EQ(parse(bad[i]), DdsResult::not_dds) << "case " << i;

  const uint8_t junk[200] = {'D', 'D', 'S'};
  DdsInfo info;
  EXPECT_EQ(parse_dds(junk, sizeof(junk), info), DdsResult::not_dds);
  EXPECT_EQ(parse_dds(junk, 50, info), DdsResult::not_dds);
  EXPECT_EQ(parse_dds(nullptr, 0, info), DdsResult::not_dds);
}

TEST(DdsHeader, MipChainsAndTruncation) {
  DdsSpec s;
  s.fourcc = fourcc("DXT1");
  s.width = 256;
  s.height = 64;
  s.mips = 9;
  std::vector<uint8_t> file = make_dds(s, std::vector<uint8_t>(dds_payload_size(s)));
  DdsInfo info;
  ASSERT_EQ(parse_dds(file.data(), file.size(), info), DdsResult::ok);
  EXPECT_EQ(info.levels, 9);
  // 64x16 + 32x8 + 16x4 + 8x2 + 4x1 + 2x1 + 1x1 + 1x1 + 1x1 blocks of 8 bytes.
  EXPECT_EQ(info.dataSize, size_t(1024 + 256 + 64 + 16 + 4 + 2 + 1 + 1 + 1) * 8);
  EXPECT_EQ(dds_level_size(FMT_DXT1, 1, 1), 8u);
  EXPECT_EQ(dds_level_size(FMT_DXT5, 2, 2), 16u);

  EXPECT_EQ(parse(s, -1), DdsResult::truncated);
  s.mips = 10;  // more levels than 256 x 64 has
  EXPECT_EQ(parse(s), DdsResult::too_many_levels);
}

TEST(DdsHeader, HugeSizesAreMeasuredWithoutOverflow) {
  // A 128-byte file claiming 32768 x 32768 pixels of 32 bits (4 GiB, which
  // wraps to 0 in 32 bits) and the largest header of every format.
  EXPECT_EQ(dds_level_size(FMT_A8R8G8B8, 32768, 32768), size_t(1) << 32);
  EXPECT_EQ(dds_level_size(FMT_A8R8G8B8, 65536, 65536), size_t(1) << 34);
  EXPECT_EQ(dds_level_size(FMT_DXT5, 65536, 65536), size_t(1) << 32);
  for (uint32_t fcc : {0u, fourcc("DXT1"), fourcc("DXT5")}) {
    for (int side : {32768, 65536}) {
      DdsSpec s;
      s.fourcc = fcc;
      s.width = s.height = side;
      s.mips = 5;
      std::vector<uint8_t> file = make_dds(s, std::vector<uint8_t>(16));
      DdsInfo info;
      EXPECT_EQ(parse_dds(file.data(), file.size(), info), DdsResult::truncated) << side;
      EXPECT_GT(info.dataSize, size_t(1) << 29);  // DXT1: 512 MiB for the top level
    }
  }
}

// ---- TGA ----

class TgaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tolvane_tga_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = std::string(tmpl) + "/";
    std::snprintf(app_path, sizeof(app_path), "%s", dir.c_str());
  }
  void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }
  void write(const char* name, int type, int bpp, int w, int h, int id_len, int pixel_bytes) {
    std::vector<uint8_t> f(18, 0);
    f[0] = uint8_t(id_len);
    f[2] = uint8_t(type);
    f[12] = uint8_t(w), f[13] = uint8_t(w >> 8);
    f[14] = uint8_t(h), f[15] = uint8_t(h >> 8);
    f[16] = uint8_t(bpp);
    for (int i = 0; i < id_len; i++) f.push_back('I');
    for (int i = 0; i < pixel_bytes; i++) f.push_back(uint8_t(i));
    FILE* out = std::fopen((dir + name).c_str(), "wb");
    std::fwrite(f.data(), 1, f.size(), out);
    std::fclose(out);
  }
  std::string dir;
};

TEST_F(TgaTest, ReadsPixelsAfterTheIdentificationField) {
  write("a.tga", 2, 32, 2, 3, 5, 2 * 3 * 4);
  int w = 0, h = 0;
  DynArray<uint8_t> px;
  ASSERT_TRUE(read_tga("a.tga", w, h, px));
  EXPECT_EQ(w, 2);
  EXPECT_EQ(h, 3);
  ASSERT_EQ(px.size(), 24);
  for (int i = 0; i < 24; i++) EXPECT_EQ(px[i], uint8_t(i));
}

TEST_F(TgaTest, RefusesOtherFormatsAndBrokenFiles) {
  write("rle.tga", 10, 32, 2, 2, 0, 16);
  write("rgb.tga", 2, 24, 2, 2, 0, 12);
  write("zero.tga", 2, 32, 0, 2, 0, 16);
  write("short.tga", 2, 32, 4, 4, 0, 63);
  for (const char* name : {"rle.tga", "rgb.tga", "zero.tga", "short.tga", "missing.tga"}) {
    int w = 7, h = 7;
    DynArray<uint8_t> px;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(read_tga(name, w, h, px)) << name;
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(w, 0);
    EXPECT_EQ(px.size(), 0);
    if (std::string(name) == "rle.tga" || std::string(name) == "rgb.tga")
      EXPECT_NE(out.find("unsupported TGA format"), std::string::npos) << out;
    if (std::string(name) == "zero.tga") EXPECT_NE(out.find("zero-sized TGA image"), std::string::npos) << out;
  }
}

// ---- vertex declarations ----

TEST(VertexDecl, SameLayoutIsSharedAndTheCacheHasSixtyFourSlots) {
  VertexElement a[] = {{0, 0, VDECL_FLOAT3, VDECL_POSITION, 0}, {12, 0, VDECL_D3DCOLOR, VDECL_COLOR, 0}, VDECL_END};
  VertexElement b[] = {{0, 0, VDECL_FLOAT3, VDECL_POSITION, 0}, {12, 0, VDECL_D3DCOLOR, VDECL_COLOR, 0}, VDECL_END};
  int before = get_vdecl_count();
  VDecl* da = create_vdecl(a);
  EXPECT_EQ(create_vdecl(b), da);
  VertexElement c[] = {{0, 0, VDECL_FLOAT3, VDECL_POSITION, 0}, {12, 0, VDECL_D3DCOLOR, VDECL_COLOR, 1}, VDECL_END};
  EXPECT_NE(create_vdecl(c), da);
  // Usage codes beyond 3 all mean the same usage.
  VertexElement t5[] = {{0, 0, VDECL_FLOAT4, 5, 0}, VDECL_END};
  VertexElement t9[] = {{0, 0, VDECL_FLOAT4, 9, 0}, VDECL_END};
  EXPECT_EQ(create_vdecl(t5), create_vdecl(t9));
  EXPECT_EQ(get_vdecl_count(), before + 3);

  auto fill_and_overflow = [] {
    for (int i = 0; get_vdecl_count() < 64; i++) {
      VertexElement e[] = {{uint16_t(4 * i), 0, VDECL_FLOAT1, VDECL_TEXCOORD, 0}, VDECL_END};
      create_vdecl(e);
    }
    VertexElement again[] = {{0, 0, VDECL_FLOAT3, VDECL_POSITION, 0}, {12, 0, VDECL_D3DCOLOR, VDECL_COLOR, 0},
                             VDECL_END};
    create_vdecl(again);  // already there: no new slot needed
    std::fprintf(stderr, "sixty-four fit\n");
    VertexElement extra[] = {{0, 7, VDECL_FLOAT2, VDECL_NORMAL, 3}, VDECL_END};
    create_vdecl(extra);
  };
  EXPECT_EXIT(fill_and_overflow(), testing::ExitedWithCode(100),
              "sixty-four fit.*reached maximum vertex declaration count");
}

TEST(VertexDecl, LengthLimitAndInvalidLayouts) {
  std::vector<VertexElement> e;
  for (int i = 0; i < 31; i++) e.push_back({uint16_t(i * 4), 1, VDECL_FLOAT1, VDECL_TEXCOORD, uint8_t(i)});
  e.push_back(VDECL_END);
  EXPECT_NE(create_vdecl(e.data()), nullptr);
  e.back() = {124, 1, VDECL_FLOAT1, VDECL_TEXCOORD, 31};
  e.push_back(VDECL_END);
  EXPECT_EXIT(create_vdecl(e.data()), testing::ExitedWithCode(100), "failed ASSERT\\(i<MAX_VDECL_LEN\\)");

  VertexElement dup[] = {{0, 0, VDECL_FLOAT3, VDECL_POSITION, 0}, {12, 0, VDECL_FLOAT3, VDECL_POSITION, 0}, VDECL_END};
  EXPECT_EXIT(create_vdecl(dup), testing::ExitedWithCode(100), "failed to create vertex declaration \\(code 0x");
  VertexElement odd[] = {{2, 0, VDECL_FLOAT3, VDECL_POSITION, 0}, VDECL_END};
  testing::internal::CaptureStdout();
  EXPECT_EXIT(create_vdecl(odd), testing::ExitedWithCode(100), "failed to create vertex declaration");
  testing::internal::GetCapturedStdout();
}

// ---- shader cache names and defines ----

TEST(ShaderNames, CacheFileNamesCarryTheDefines) {
  char tmpl[] = "/tmp/tolvane_cachename_XXXXXX";
  std::string dir = std::string(mkdtemp(tmpl)) + "/";
  std::snprintf(app_path, sizeof(app_path), "%s", dir.c_str());
  char out[300];
  make_shader_cache_name("dr_shadow.sh", "NUMVEC\0 8\0", out, sizeof(out));
  EXPECT_EQ(out, dir + "cache/dr_shadow.sh@NUMVEC@_8.cache");
  make_shader_cache_name("land.sh", nullptr, out, sizeof(out));
  EXPECT_EQ(out, dir + "cache/land.sh.cache");
  make_shader_cache_name("calc_aper.sh", "QUALITY\0 3\0INST\0-1.5\0", out, sizeof(out));
  EXPECT_EQ(out, dir + "cache/calc_aper.sh@QUALITY@_3@INST@_1_5.cache");
  // An installed copy keeps its cache in the user's cache folder.
  setenv("XDG_CACHE_HOME", "/home/someone/.cache", 1);
  std::fclose(std::fopen((dir + "installed.txt").c_str(), "w"));
  make_shader_cache_name("land.sh", nullptr, out, sizeof(out));
  EXPECT_STREQ(out, "/home/someone/.cache/Mirevast Games/Tolvane/cache/land.sh.cache");
  // A name that does not fit is no name: a cut one could be another shader's.
  setenv("XDG_CACHE_HOME", ("/" + std::string(400, 'c')).c_str(), 1);
  make_shader_cache_name("land.sh", nullptr, out, sizeof(out));
  EXPECT_STREQ(out, "");
  unsetenv("XDG_CACHE_HOME");
  std::remove((dir + "installed.txt").c_str());
  rmdir(dir.c_str());
  EXPECT_EQ(defines_list_size("NUMVEC\0 8\0"), 11);
  EXPECT_EQ(defines_list_size(""), 1);
  EXPECT_EQ(defines_list_size(nullptr), 0);
}

// ---- colours, transforms, primitive counts ----

TEST(DeviceMath, ColourPackingAndPerspective) {
  EXPECT_EQ(D3dColor(vec4f(1, 0, 0, 1)).u, 0xFFFF0000u);
  EXPECT_EQ(D3dColor(vec4f(0.5f, 2.f, -1.f, 0.2f)).u, 0x3380FF00u);
  EXPECT_EQ(D3dColor(vec4f(NAN, 0, 0, 0)).u, 0u);

  set_proj_tm(float(M_PI / 2), 2.f, 1.f, 101.f);
  const Matrix44& p = get_proj_tm();
  EXPECT_FLOAT_EQ(p.at(0, 0), 0.5f);
  EXPECT_FLOAT_EQ(p.at(1, 1), 1.f);
  EXPECT_FLOAT_EQ(p.at(2, 2), 101.f / 100.f);
  EXPECT_FLOAT_EQ(p.at(2, 3), 1.f);
  EXPECT_FLOAT_EQ(p.at(3, 2), -101.f / 100.f);
  EXPECT_FLOAT_EQ(p.at(3, 3), 0.f);
  // Points at the near and far planes land at depth 0 and 1.
  for (float z : {1.f, 101.f}) {
    float cz = z * p.at(2, 2) + p.at(3, 2), cw = z * p.at(2, 3);
    EXPECT_NEAR(cz / cw, z == 1.f ? 0.f : 1.f, 1e-6f);
  }
  Matrix44 v = Matrix44::identity();
  v.at(3, 0) = 5;  // translation
  set_view_tm(v);
  Matrix44 g;
  get_glob_tm(g);
  EXPECT_FLOAT_EQ(g.at(3, 0), 5 * 0.5f);
  EXPECT_FLOAT_EQ(g.at(2, 2), p.at(2, 2));
  set_view_tm(Matrix44::identity());
  set_proj_tm(Matrix44::identity());
}

TEST(DeviceMath, PrimitiveVertexCounts) {
  EXPECT_EQ(prim_vertex_count(PRIM_POINTLIST, 5), 5);
  EXPECT_EQ(prim_vertex_count(PRIM_LINELIST, 5), 10);
  EXPECT_EQ(prim_vertex_count(PRIM_LINESTRIP, 5), 6);
  EXPECT_EQ(prim_vertex_count(PRIM_TRIANGLELIST, 5), 15);
  EXPECT_EQ(prim_vertex_count(PRIM_TRIANGLESTRIP, 2), 4);
  EXPECT_EQ(prim_vertex_count(PRIM_TRIANGLEFAN, 2), 4);
  EXPECT_EQ(prim_vertex_count(9, 2), 0);
  EXPECT_EQ(texture_level_size(FMT_A16B16G16R16F, 3, 2), 48);
  EXPECT_EQ(texture_level_size(FMT_R16F, 3, 2), 12);
  EXPECT_EQ(rt_kind_format(5), uint32_t(FMT_A16B16G16R16F));
  EXPECT_EQ(rt_kind_format(9), uint32_t(FMT_UNKNOWN));
}

}  // namespace
