// Render states, clears, targets, instancing and the clip-space, pixel-centre
// and orientation conventions, checked on real pixels.
#include <epoxy/gl.h>

#include <cmath>
#include <cstring>

#include "device/d3d_shaders.h"
#include "device/d3d_texture.h"
#include "device/d3d_vbuf.h"
#include "tests/device/gl_env.h"
#include "tests/device/test_shaders.h"

namespace {

class Render : public DeviceTest {
 protected:
  static void SetUpTestSuite() {
    DeviceTest::SetUpTestSuite();
    write_app_file("solid.sh", SOLID_SH);
    write_app_file("vcolor.sh", VCOLOR_SH);
    write_app_file("points.sh", POINTS_SH);
    write_app_file("copy.sh", COPY_SH);
    write_app_file("inst.sh", INST_SH);
    write_app_file("mrt.sh", MRT_SH);
    write_app_file("vpos.sh", VPOS_SH);
    vb = create_vb(1 << 16, 0);
    rt = create_render_target(64, 32, RT_A8R8G8B8);
  }
  static void TearDownTestSuite() {
    release_vb(vb);
    release_texture(rt);
    DeviceTest::TearDownTestSuite();
  }

  // Draws a rectangle in clip space as two clockwise triangles (front faces).
  static void rect(float x0, float y0, float x1, float y1, float z, vec4f colour, const char* shader = "solid.sh") {
    float v[] = {x0, y1, z, x1, y1, z, x0, y0, z, x1, y1, z, x1, y0, z, x0, y0, z};
    tri_list(v, 2, colour, shader);
  }
  static void tri_list(const float* xyz, int tris, vec4f colour, const char* shader = "solid.sh") {
    void* p = lock_vb(vb, 0, 0);
    std::memcpy(p, xyz, size_t(tris) * 36);
    unlock_vb(vb);
    static const VertexElement decl[] = {{0, 0, VDECL_FLOAT3, VDECL_POSITION, 0}, VDECL_END};
    ShaderRecord* s = load_shader(shader, nullptr);
    set_shaders(s);
    set_vdecl(create_vdecl(decl));
    set_vb(0, vb, 0, 12);
    set_ps_const(0, colour);
    draw_prim(PRIM_TRIANGLELIST, 0, tris);
    release_shader(s);
  }
  static void full(vec4f colour) { rect(-1, -1, 1, 1, 0.5f, colour); }

  static VertexBuffer* vb;
  static Texture* rt;
};
VertexBuffer* Render::vb = nullptr;
Texture* Render::rt = nullptr;

TEST_F(Render, ClearsColourDepthAndStencil) {
  set_render_target(0, rt);
  clear_view(0xFF112233);
  EXPECT_EQ(pixel_at(0, 0), 0xFF112233u);
  EXPECT_EQ(pixel_at(63, 31), 0xFF112233u);
  float depth = 0;
  uint8_t stencil = 9;
  ASSERT_TRUE(read_depth_stencil(10, 10, 1, 1, &depth, &stencil));
  EXPECT_EQ(depth, 1.0f);
  EXPECT_EQ(stencil, 0);

  // Write depth 0.25 and stencil 5, then clear only colour: both stay.
  set_zenable(true);
  set_stencil_test(0xFF, 5, CMP_ALWAYS);
  set_stencil_replace_bits(0xFF);
  full(vec4f(1, 1, 1, 1));
  rect(-1, -1, 1, 1, 0.25f, vec4f(1, 1, 1, 1));
  set_stencil_test(0, 0, CMP_ALWAYS);
  // Clears ignore the write masks.
  set_color_write_mask(0);
  set_zwrite(false);
  clear_view_color(0xFF445566);
  EXPECT_EQ(pixel_at(5, 5), 0xFF445566u);
  ASSERT_TRUE(read_depth_stencil(10, 10, 1, 1, &depth, &stencil));
  EXPECT_NEAR(depth, 0.25f, 1e-6f);
  EXPECT_EQ(stencil, 5);
  clear_view_z();
  ASSERT_TRUE(read_depth_stencil(10, 10, 1, 1, &depth, &stencil));
  EXPECT_EQ(depth, 1.0f);
  EXPECT_EQ(stencil, 0);
  EXPECT_EQ(pixel_at(5, 5), 0xFF445566u);
}

TEST_F(Render, BlendModes) {
  struct Case {
    void (*set)();
    const char* name;
    vec4f src;
    uint32_t dst;
    uint32_t expect;
  };
  // dst 0xFF804020 = (0.502, 0.251, 0.125, 1)
  const Case cases[] = {
      {set_blend_none, "none", vec4f(0.2f, 0.4f, 0.6f, 0.5f), 0xFF804020, 0x80336699},
      {set_blend_additive, "additive", vec4f(0.2f, 0.4f, 0.6f, 0.5f), 0xFF804020, 0xFFB3A6B9},
      {set_blend_smooth_add, "smooth add", vec4f(0.5f, 0.5f, 0.5f, 1.f), 0xFF804020, 0xFFC0A090},
      {set_blend_alpha, "alpha", vec4f(1.f, 0.f, 0.f, 0.25f), 0xFF804020, 0xCFA03018},
      {set_blend_prealpha, "prealpha", vec4f(0.25f, 0.f, 0.f, 0.25f), 0xFF804020, 0xFFA03018},
      {set_blend_multiply, "multiply", vec4f(0.5f, 1.f, 0.f, 1.f), 0xFF804020, 0xFF404000},
  };
  set_render_target(0, rt, false);
  for (const Case& c : cases) {
    clear_view_color(c.dst);
    c.set();
    full(c.src);
    set_blend_none();
    uint32_t got = pixel_at(32, 16);
    for (int sh = 0; sh < 32; sh += 8) {
      int g = int((got >> sh) & 0xFF), e = int((c.expect >> sh) & 0xFF);
      EXPECT_NEAR(g, e, 1) << c.name << std::hex << " got 0x" << got << " want 0x" << c.expect;
    }
  }
}

TEST_F(Render, AlphaTestPassesAlphaAtOrAboveTheReference) {
  set_render_target(0, rt, false);
  set_atest(128);
  clear_view_color(0xFF000000);
  full(vec4f(1, 0, 0, 127.f / 255.f));
  EXPECT_EQ(pixel_at(3, 3), 0xFF000000u);
  full(vec4f(1, 0, 0, 128.f / 255.f));
  EXPECT_EQ(pixel_at(3, 3) & 0x00FFFFFF, 0x00FF0000u);
  set_atest(0);
  clear_view_color(0xFF000000);
  full(vec4f(0, 1, 0, 0));
  EXPECT_EQ(pixel_at(3, 3), 0x0000FF00u);
}

TEST_F(Render, StencilTestAndReplaceBits) {
  set_render_target(0, rt);
  clear_view(0xFF000000);
  set_zenable(false);
  // Mark the left half with bit 1, leaving the rest at 0.
  set_stencil_test(0xFF, 1, CMP_ALWAYS);
  set_stencil_replace_bits(1);
  rect(-1, -1, 0, 1, 0.5f, vec4f(0, 0, 1, 1));
  // Bits 0 keep the stencil: writing 3 with no replace bits changes nothing.
  set_stencil_test(0xFF, 3, CMP_ALWAYS);
  set_stencil_replace_bits(0);
  full(vec4f(0, 0, 1, 1));
  set_stencil_replace_bits(0);
  set_stencil_test(1, 1, CMP_EQUAL);
  full(vec4f(1, 0, 0, 1));
  set_stencil_test(0, 0, CMP_ALWAYS);
  EXPECT_EQ(pixel_at(5, 5), 0xFFFF0000u);
  EXPECT_EQ(pixel_at(60, 5), 0xFF0000FFu);
  uint8_t st[2];
  ASSERT_TRUE(read_depth_stencil(5, 5, 1, 1, nullptr, st));
  ASSERT_TRUE(read_depth_stencil(60, 5, 1, 1, nullptr, st + 1));
  EXPECT_EQ(st[0], 1);
  EXPECT_EQ(st[1], 0);
  // NOTEQUAL with the same reference picks the other half.
  set_stencil_test(1, 1, CMP_NOTEQUAL);
  full(vec4f(0, 1, 0, 1));
  set_stencil_test(0, 0, CMP_ALWAYS);
  EXPECT_EQ(pixel_at(5, 5), 0xFFFF0000u);
  EXPECT_EQ(pixel_at(60, 5), 0xFF00FF00u);
}

TEST_F(Render, ColourWriteMaskAndWireframe) {
  set_render_target(0, rt, false);
  clear_view_color(0x00000000);
  set_color_write_mask(12);  // blue and alpha
  full(vec4f(1, 1, 1, 1));
  set_color_write_mask(15);
  EXPECT_EQ(pixel_at(10, 10), 0xFF0000FFu);

  clear_view_color(0xFF000000);
  set_wireframe(true);
  rect(-0.5f, -0.5f, 0.5f, 0.5f, 0.5f, vec4f(1, 1, 1, 1));
  set_wireframe(false);
  // Edges drawn, the inside away from the diagonal left alone.
  EXPECT_EQ(pixel_at(16, 8), 0xFFFFFFFFu);
  EXPECT_EQ(pixel_at(20, 20), 0xFF000000u);
}

TEST_F(Render, DepthRunsFromZeroToW) {
  set_render_target(0, rt);
  clear_view(0xFF000000);
  set_zenable(true);
  set_zwrite(true);
  rect(-1, -1, 1, 1, 0.75f, vec4f(0, 0, 1, 1));
  rect(-1, -1, 0, 1, 0.25f, vec4f(0, 1, 0, 1));
  rect(-1, -1, 1, 1, 0.5f, vec4f(1, 0, 0, 1));  // behind the left, in front of the right
  float d[2];
  ASSERT_TRUE(read_depth_stencil(5, 5, 1, 1, d, nullptr));
  ASSERT_TRUE(read_depth_stencil(60, 5, 1, 1, d + 1, nullptr));
  EXPECT_NEAR(d[0], 0.25f, 1e-6f);
  EXPECT_NEAR(d[1], 0.5f, 1e-6f);
  EXPECT_EQ(pixel_at(5, 5), 0xFF00FF00u);
  EXPECT_EQ(pixel_at(60, 5), 0xFFFF0000u);
  // Below 0 is clipped away; without depth writes the buffer keeps its values.
  set_zwrite(false);
  rect(-1, -1, 1, 1, -0.01f, vec4f(1, 1, 1, 1));
  EXPECT_EQ(pixel_at(5, 5), 0xFF00FF00u);
  rect(-1, -1, 1, 1, 0.0f, vec4f(1, 1, 1, 1));
  EXPECT_EQ(pixel_at(5, 5), 0xFFFFFFFFu);
  ASSERT_TRUE(read_depth_stencil(5, 5, 1, 1, d, nullptr));
  EXPECT_NEAR(d[0], 0.25f, 1e-6f);
}

TEST_F(Render, BackBufferHasNoDepthBuffer) {
  set_back_buffer_target();
  clear_view(0xFF000000);
  set_zenable(true);
  rect(-1, -1, 1, 1, 0.9f, vec4f(1, 0, 0, 1));
  rect(-1, -1, 1, 1, 0.95f, vec4f(0, 1, 0, 1));  // would fail a depth test
  EXPECT_EQ(pixel_at(100, 100), 0xFF00FF00u);
  float d;
  EXPECT_FALSE(read_depth_stencil(0, 0, 1, 1, &d, nullptr));
}

TEST_F(Render, CullingRemovesCounterClockwiseTrianglesOnEveryTarget) {
  // Left triangle clockwise on screen, right one counter-clockwise.
  const float tris[] = {-1, 1, 0.5f, -0.1f, 1, 0.5f, -1, -1, 0.5f, 1, 1, 0.5f, 0.1f, 1, 0.5f, 1, -1, 0.5f};
  for (bool texture : {false, true}) {
    if (texture)
      set_render_target(0, rt, false);
    else
      set_back_buffer_target();
    int w = get_target_width(), h = get_target_height();
    clear_view_color(0xFF000000);
    set_cull_mode(1);
    tri_list(tris, 2, vec4f(1, 1, 1, 1));
    EXPECT_EQ(pixel_at(w / 8, h / 2), 0xFFFFFFFFu) << "texture " << texture;
    EXPECT_EQ(pixel_at(w * 7 / 8, h / 2), 0xFF000000u) << "texture " << texture;
    set_cull_mode(0);
    tri_list(tris, 2, vec4f(1, 1, 1, 1));
    EXPECT_EQ(pixel_at(w * 7 / 8, h / 2), 0xFFFFFFFFu) << "texture " << texture;
  }
}

TEST_F(Render, TopOfClipSpaceIsRowZeroOfEveryTarget) {
  for (bool texture : {false, true}) {
    if (texture)
      set_render_target(0, rt, false);
    else
      set_back_buffer_target();
    int w = get_target_width(), h = get_target_height();
    clear_view_color(0xFF000000);
    rect(-1, 0, 1, 1, 0.5f, vec4f(1, 0, 0, 1));  // upper half
    EXPECT_EQ(pixel_at(0, 0), 0xFFFF0000u) << "texture " << texture;
    EXPECT_EQ(pixel_at(w - 1, h / 2 - 1), 0xFFFF0000u) << "texture " << texture;
    EXPECT_EQ(pixel_at(0, h / 2), 0xFF000000u) << "texture " << texture;
    // vpos() counts from the top-left pixel as well.
    ShaderRecord* s = load_shader("vpos.sh", nullptr);
    set_shaders(s);
    draw_postfx();
    release_shader(s);
    EXPECT_EQ(pixel_at(3, 5), 0xFF030500u) << "texture " << texture;
    EXPECT_EQ(pixel_at(w - 1, h - 1), 0xFF000000u | uint32_t(w - 1) << 16 | uint32_t(h - 1) << 8);
  }
}

TEST_F(Render, FullScreenPassSamplesEveryTexelExactly) {
  // A source of distinct texels, read through linear filtering with the
  // half-texel constant: each pixel must get exactly its own texel.
  const int w = 64, h = 32;
  Texture* src = create_managed_texture(w, h);
  int pitch = 0;
  auto* p = static_cast<uint8_t*>(lock_texture(src, pitch, true));
  ASSERT_NE(p, nullptr);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      uint8_t* t = p + y * pitch + x * 4;
      t[0] = uint8_t(x * 4), t[1] = uint8_t(y * 8), t[2] = uint8_t((x * 7 + y * 13) & 0xFF), t[3] = 255;
    }
  unlock_texture(src);
  Texture* dst = create_render_target(w, h, RT_A8R8G8B8);
  ShaderRecord* s = load_shader("copy.sh", nullptr);
  for (Texture* target : {dst, static_cast<Texture*>(nullptr)}) {
    set_render_target(0, target, false);
    int tw = get_target_width(), th = get_target_height();
    clear_view_color(0);
    set_texture(0, src);
    set_texture_filter(0, true);
    set_shaders(s);
    set_vs_const(16, vec4f(0.5f, -0.5f, 0.5f / tw + 0.5f, 0.5f / th + 0.5f));
    draw_postfx();
    std::vector<uint32_t> px = target_pixels();
    int bad = 0;
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++) {
        uint32_t want = 0xFF000000u | uint32_t((x * 7 + y * 13) & 0xFF) << 16 | uint32_t(y * 8) << 8 | uint32_t(x * 4);
        if (target && px[size_t(y) * tw + x] != want && bad++ < 5)
          ADD_FAILURE() << "texel " << x << "," << y << std::hex << " got 0x" << px[size_t(y) * tw + x];
      }
    if (!target) {
      // On the 256 x 256 back buffer the texture is stretched; its corners
      // still map onto the corner texels.
      EXPECT_EQ(px[0], 0xFF000000u);
      EXPECT_EQ(px[size_t(th - 1) * tw + tw - 1] & 0xFFFF, uint32_t(31 * 8) << 8 | 63 * 4);
    }
  }
  release_shader(s);
  set_texture(0, nullptr);
  release_texture(dst);
  release_texture(src);
}

TEST_F(Render, PointListWritesOneTexelPerCell) {
  Texture* target = create_render_target(256, 256, RT_A8R8G8B8);
  set_render_target(0, target, false);
  clear_view_color(0);
  struct P {
    float x, z;
    uint32_t c;
  };
  std::vector<P> pts;
  for (int i = 17; i < 255; i += 17) pts.push_back({float(i), float((i * 5) % 256), 0xFF000000u | uint32_t(i + 1)});
  pts.push_back({0, 0, 0xFFAA0000});
  pts.push_back({255, 255, 0xFF00AA00});
  pts.push_back({255, 0, 0xFF0000AA});
  pts.push_back({0, 255, 0xFFAAAA00});
  void* m = lock_vb(vb, 0, 0);
  std::memcpy(m, pts.data(), pts.size() * sizeof(P));
  unlock_vb(vb);
  static const VertexElement decl[] = {
      {0, 0, VDECL_FLOAT2, VDECL_POSITION, 0}, {8, 0, VDECL_D3DCOLOR, VDECL_COLOR, 0}, VDECL_END};
  ShaderRecord* s = load_shader("points.sh", nullptr);
  set_shaders(s);
  set_vdecl(create_vdecl(decl));
  set_vb(0, vb, 0, sizeof(P));
  set_vs_const(16, vec4f(1.f / 128, -1.f / 128, -1, 1));
  draw_prim(PRIM_POINTLIST, 0, int(pts.size()));
  release_shader(s);
  std::vector<uint32_t> px = target_pixels();
  int written = 0;
  for (uint32_t v : px) written += v != 0;
  EXPECT_EQ(written, int(pts.size()));
  // The cell (x, z) lands on texel x of row z (row 0 at the top).
  for (const P& p : pts) EXPECT_EQ(px[size_t(p.z) * 256 + size_t(p.x)], p.c) << p.x << "," << p.z;
  set_back_buffer_target();
  release_texture(target);
}

TEST_F(Render, RenderedTargetsReadBackTheRightWayUp) {
  // Draw into a texture, then copy the texture to the back buffer: the upper
  // half stays the upper half.
  set_render_target(0, rt, false);
  clear_view_color(0xFF000000);
  rect(-1, 0, 1, 1, 0.5f, vec4f(0, 1, 0, 1));
  set_back_buffer_target();
  clear_view_color(0xFF0000FF);
  ShaderRecord* s = load_shader("copy.sh", nullptr);
  set_shaders(s);
  set_texture(0, rt);
  set_vs_const(16, vec4f(0.5f, -0.5f, 0.5f / 256 + 0.5f, 0.5f / 256 + 0.5f));
  draw_postfx();
  release_shader(s);
  set_texture(0, nullptr);
  EXPECT_EQ(pixel_at(128, 10), 0xFF00FF00u);
  EXPECT_EQ(pixel_at(128, 245), 0xFF000000u);
}

TEST_F(Render, MultipleRenderTargets) {
  Texture* a = create_render_target(32, 32, RT_A8R8G8B8);
  Texture* b = create_render_target(32, 32, RT_A8R8G8B8);
  set_render_target(0, a, false);
  set_render_target(1, b);
  clear_view_color(0xFF000000);  // clears both
  ShaderRecord* s = load_shader("mrt.sh", nullptr);
  set_shaders(s);
  set_ps_const(0, vec4f(1, 0, 0, 1));
  set_ps_const(1, vec4f(0, 0, 1, 1));
  draw_postfx();
  EXPECT_EQ(pixel_at(7, 7), 0xFFFF0000u);
  set_render_target(0, b, false);
  EXPECT_EQ(pixel_at(7, 7), 0xFF0000FFu);
  // A null texture unbinds a further target only.
  set_render_target(0, a, false);
  set_render_target(1, b);
  set_render_target(1, nullptr);
  set_ps_const(0, vec4f(0, 1, 0, 1));
  set_ps_const(1, vec4f(1, 1, 1, 1));
  draw_postfx();
  EXPECT_EQ(pixel_at(7, 7), 0xFF00FF00u);
  set_render_target(0, b, false);
  EXPECT_EQ(pixel_at(7, 7), 0xFF0000FFu);
  release_shader(s);
  set_back_buffer_target();
  release_texture(a);
  release_texture(b);
}

TEST_F(Render, InstancedDrawsThroughStreamFrequency) {
  // A one-pixel-high quad per instance on the 64 x 32 target; instance i
  // moves it down i rows and gives it its own colour.
  VertexBuffer* corners = create_vb(4 * 8, BUF_STATIC);
  IndexBuffer* ib = create_ib(6, BUF_STATIC);
  VertexBuffer* inst = create_vb(8 * 12, BUF_STATIC);
  const float c[] = {-1, 1, 1, 1, -1, 1 - 2.f / 32, 1, 1 - 2.f / 32};
  std::memcpy(lock_vb(corners, 0, 0), c, sizeof(c));
  unlock_vb(corners);
  const uint16_t idx[] = {0, 1, 2, 1, 3, 2};
  std::memcpy(lock_ib(ib, 0, 0), idx, sizeof(idx));
  unlock_ib(ib);
  struct I {
    float dx, dy;
    uint32_t colour;
  } in[8];
  for (int i = 0; i < 8; i++) in[i] = {0.f, -2.f * float(i * 2) / 32, 0xFF000000u | uint32_t(i * 30 + 10) << 16};
  std::memcpy(lock_vb(inst, 0, 0), in, sizeof(in));
  unlock_vb(inst);
  static const VertexElement decl[] = {{0, 0, VDECL_FLOAT2, VDECL_POSITION, 0},
                                       {0, 1, VDECL_FLOAT2, VDECL_POSITION, 1},
                                       {8, 1, VDECL_D3DCOLOR, VDECL_COLOR, 0},
                                       VDECL_END};
  ShaderRecord* s = load_shader("inst.sh", nullptr);
  set_render_target(0, rt, false);
  clear_view_color(0);
  set_shaders(s);
  set_vdecl(create_vdecl(decl));
  set_vb(0, corners, 0, 8);
  set_vb(1, inst, 0, 12);
  set_ib(ib);
  set_instancing(8);
  draw_indexed(PRIM_TRIANGLELIST, 0, 0, 4, 0, 2);
  set_instancing(0);
  for (int i = 0; i < 8; i++) {
    EXPECT_EQ(pixel_at(20, i * 2), in[i].colour) << "instance " << i;
    EXPECT_EQ(pixel_at(20, i * 2 + 1), 0u) << "instance " << i;
  }
  // Without instancing stream 1 is read per vertex: one quad only.
  for (int i = 0; i < 8; i++) in[i] = {0.f, 0.f, 0xFF00FF00u};
  std::memcpy(lock_vb(inst, 0, 0), in, sizeof(in));
  unlock_vb(inst);
  clear_view_color(0);
  draw_indexed(PRIM_TRIANGLELIST, 0, 0, 4, 0, 2);
  EXPECT_EQ(pixel_at(20, 0), 0xFF00FF00u);
  for (int i = 1; i < 32; i++) EXPECT_EQ(pixel_at(20, i), 0u) << i;
  release_shader(s);
  set_ib(nullptr);
  set_vb(1, nullptr, 0, 0);
  release_vb(corners);
  release_vb(inst);
  release_ib(ib);
}

TEST_F(Render, FloatTargetsKeepTheirValuesAndReadMissingChannelsAsOne) {
  for (int kind : {RT_R16F, RT_G16R16F, RT_A16B16G16R16F, RT_R32F, RT_G32R32F, RT_A32B32G32R32F, RT_G16R16}) {
    Texture* t = create_render_target(8, 8, kind);
    ASSERT_NE(t, nullptr) << kind;
    set_render_target(0, t, false);
    clear_view_color(0);
    full(vec4f(0.25f, 0.5f, 0.75f, 1.0f));
    // Sampled into an 8-bit target: missing colour channels read 1.
    Texture* out = create_render_target(8, 8, RT_A8R8G8B8);
    set_render_target(0, out, false);
    ShaderRecord* s = load_shader("copy.sh", nullptr);
    set_shaders(s);
    set_texture(0, t);
    set_vs_const(16, vec4f(0.5f, -0.5f, 0.5f / 8 + 0.5f, 0.5f / 8 + 0.5f));
    draw_postfx();
    release_shader(s);
    set_texture(0, nullptr);
    uint32_t p = pixel_at(3, 3);
    int ch = (kind == RT_R16F || kind == RT_R32F) ? 1 : (kind == RT_A16B16G16R16F || kind == RT_A32B32G32R32F) ? 4 : 2;
    EXPECT_NEAR(int((p >> 16) & 0xFF), 64, 1) << kind;
    EXPECT_NEAR(int((p >> 8) & 0xFF), ch >= 2 ? 128 : 255, 1) << kind;
    EXPECT_NEAR(int(p & 0xFF), ch >= 4 ? 191 : 255, 1) << kind;
    set_back_buffer_target();
    release_texture(out);
    release_texture(t);
  }
  testing::internal::CaptureStdout();
  EXPECT_EQ(create_render_target(8, 8, 9), nullptr);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("error creating texture (code 0x"), std::string::npos);
}

TEST_F(Render, FramesRunTheApplicationBetweenFences) {
  float seen = -1;
  test_frame = [&](float t) {
    seen = t;
    clear_view_color(0xFF808080);
  };
  set_cull_mode(0);
  ASSERT_TRUE(render_d3d_frame(run_test_frame, 0.125f));
  EXPECT_EQ(seen, 0.125f);
  EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));  // every frame starts culling
  present_frame();
  flush_gpu();
  // Once the GPU has caught up the next frames are accepted.
  for (int i = 0; i < 4; i++) {
    flush_gpu();
    EXPECT_TRUE(render_d3d_frame(run_test_frame, 0.f));
    present_frame();
  }
  test_frame = nullptr;
  EXPECT_TRUE(check_d3d_device());
}

TEST_F(Render, BrokenDrawsAreFatal) {
  set_render_target(0, rt, false);
  static const VertexElement decl[] = {{0, 0, VDECL_FLOAT3, VDECL_POSITION, 0}, VDECL_END};
  ShaderRecord* s = load_shader("solid.sh", nullptr);
  set_shaders(s);
  set_vdecl(create_vdecl(decl));
  set_vb(0, vb, 0, 12);
  // Reading past the end of the vertex buffer.
  EXPECT_EXIT(draw_prim(PRIM_TRIANGLELIST, 0, 20000), testing::ExitedWithCode(100),
              "draw_prim failed \\(code 0x00000501\\)");
  // No index buffer.
  set_ib(nullptr);
  EXPECT_EXIT(draw_indexed(PRIM_TRIANGLELIST, 0, 0, 3, 0, 1), testing::ExitedWithCode(100),
              "draw_indexed failed \\(code 0x00000502\\)");
  set_vb(0, nullptr, 0, 0);
  EXPECT_EXIT(draw_prim(PRIM_TRIANGLELIST, 0, 1), testing::ExitedWithCode(100), "draw_prim failed");
  release_shader(s);
}

}  // namespace
