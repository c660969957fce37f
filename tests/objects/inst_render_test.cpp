// Instance renderers on a real device: binding to a mesh, the element
// limit, nothing drawn and no state touched when empty, every record drawn
// exactly once however many dynamic buffers it takes, node recycling and
// the shadow balls' placement.
#include <gtest/gtest.h>

#include "device/d3d_internal.h"
#include "device/d3d_shaders.h"
#include "device/dynVBWriter.h"
#include "device/mesh.h"
#include "device/mesh_format.h"
#include "objects/inst_render.h"
#include "platform/globals.h"
#include "render/shadows.h"
#include "tests/device/gl_env.h"

namespace {

// Each instance fills the one pixel at its position's (x, y) with 1/255 red,
// added to what is there: a pixel of 2 was drawn twice, of 0 never.
const char* COUNT_SH = R"(
#ifdef VSH
in vec3 POSITION0;
in vec3 POSITION10;
vec4 vsh() {
  vec2 p = POSITION10.xy + POSITION0.xy;
  return vec4(p.x / vc[0].x * 2.0 - 1.0, 1.0 - p.y / vc[0].y * 2.0, 0.5, 1.0);
}
#endif
#ifdef PSH
vec4 psh() { return vec4(1.0 / 255.0, 0.0, 0.0, 1.0); }
#endif
)";

// A one-pixel quad, two shadow balls.
mesh_format::MeshData pixel_quad() {
  mesh_format::MeshData m;
  m.shaderLow = m.shaderHigh = "count.sh";
  m.balls = {0, 1, 0, 0.5f, 2, 0, 0, 0.25f};
  m.elements = {{0, 0, VDECL_FLOAT3, VDECL_POSITION, 0}};
  m.stride = 12;
  const float v[12] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0};
  m.vertices.resize(sizeof(v));
  std::memcpy(m.vertices.data(), v, sizeof(v));
  m.indices = {0, 1, 2, 2, 1, 3};
  return m;
}

// A mesh of n FLOAT1 elements, each its own usage and index.
mesh_format::MeshData many_elements(int n) {
  mesh_format::MeshData m = pixel_quad();
  m.elements.clear();
  for (int i = 0; i < n; i++)
    m.elements.push_back({uint16_t(4 * i), 0, VDECL_FLOAT1, uint8_t(i < 16 ? VDECL_TEXCOORD : VDECL_COLOR),
                          uint8_t(i < 16 ? i : i - 16)});
  m.stride = uint32_t(4 * n);
  m.vertices.assign(size_t(4 * n * 4), 0);
  return m;
}

class InstRenderTest : public DeviceTest {
 protected:
  static void SetUpTestSuite() {
    DeviceTest::SetUpTestSuite();
    write_app_file("count.sh", COUNT_SH);
    write_app_file("meshes/pixel.mesh", mesh_format::encode(pixel_quad()));
    write_app_file("meshes/wide28.mesh", mesh_format::encode(many_elements(28)));
    mesh_format::MeshData big = pixel_quad();  // the quad's four vertices, then unused ones
    big.vertices.resize(size_t(60000) * 12, 0);
    write_app_file("meshes/big.mesh", mesh_format::encode(big));
    dynVBWriter.init(65536);
  }
  static void TearDownTestSuite() {
    close_inst_renderers();
    close_all_meshes();
    dynVBWriter.close();
    DeviceTest::TearDownTestSuite();
  }
  void TearDown() override { close_inst_renderers(); }

  static void add_pixel(InstRender& r, int i) {
    SimpleInstRecord rec{};
    rec.pos[0] = float(i % 256);
    rec.pos[1] = float(i / 256);
    std::memcpy(r.append(int(sizeof(rec))), &rec, sizeof(rec));
  }
  // Draws r into the 256 x 256 back buffer and counts pixels by how many
  // times they were drawn.
  static std::array<int, 4> draw_and_count(InstRender& r) {
    std::array<int, 4> counts{};
    test_frame = [&](float) {
      set_back_buffer_target();
      clear_view(D3dColor(0u));
      set_zenable(false);
      set_cull_mode(0);
      set_blend_additive();
      set_vs_const(0, vec4f(float(get_target_width()), float(get_target_height()), 0, 0));
      r.render();
      for (uint32_t p : target_pixels()) counts[std::min<uint32_t>((p >> 16) & 255, 3)]++;
    };
    EXPECT_TRUE(render_d3d_frame(run_test_frame, 0));
    return counts;
  }
};

TEST_F(InstRenderTest, InitBindsTheMeshAndItsQualityShader) {
  SimpleInstRender r;
  gfx_quality = 0;
  r.init("meshes/pixel.mesh");
  ASSERT_NE(r.mesh, nullptr);
  EXPECT_NE(r.vdecl, nullptr);
  ASSERT_NE(r.shader, nullptr);
  EXPECT_STREQ(r.shader->file + std::strlen(r.shader->file) - 8, "count.sh");
  EXPECT_EQ(r.texture, nullptr) << "the mesh names no texture";
  EXPECT_EQ(r.vdecl->count, 1 + 5 + 1);
  r.close();
  EXPECT_EQ(get_mesh_count(), 0);
}

TEST_F(InstRenderTest, AnEmptyRendererTouchesNoDeviceState) {
  SimpleInstRender r;
  r.init("meshes/pixel.mesh");
  VDecl* decl_before = dev.vdecl;
  ShaderRecord* shader_before = dev.shader;
  IndexBuffer* ib_before = dev.ib;
  StreamSource s1 = dev.streams[1];
  r.render();
  EXPECT_EQ(dev.vdecl, decl_before);
  EXPECT_EQ(dev.shader, shader_before);
  EXPECT_EQ(dev.ib, ib_before);
  EXPECT_EQ(dev.streams[1].vb, s1.vb);
  EXPECT_FALSE(dynVBWriter.started());
}

TEST_F(InstRenderTest, MoreRecordsThanTheBufferHoldsAreDrawnOnceEach) {
  SimpleInstRender r;
  r.init("meshes/pixel.mesh");
  const int per_buffer = 65536 / 28;
  const int total = 2 * per_buffer + 321;  // three instanced draws
  for (int i = 0; i < total; i++) add_pixel(r, i);
  EXPECT_EQ(r.recordCount(), total);
  EXPECT_GT(r.numBatches, 1);
  std::array<int, 4> c = draw_and_count(r);
  EXPECT_EQ(c[1], total) << "every record drawn";
  EXPECT_EQ(c[2] + c[3], 0) << "none drawn twice";
  EXPECT_EQ(r.first, nullptr);
  EXPECT_EQ(r.numBatches, 0);
  EXPECT_EQ(dev.instances, 0) << "instancing is off again";

  // The nodes went to the shared free list and are taken from it again.
  InstBatchNode* recycled = inst_free_nodes;
  ASSERT_NE(recycled, nullptr);
  add_pixel(r, 7);
  EXPECT_EQ(r.first, recycled);
  EXPECT_EQ(r.first->bytes, 28);
  c = draw_and_count(r);
  EXPECT_EQ(c[1], 1);
}

// Vertex and triangle counts travel to the draw packed into one word; a mesh
// of more than 32,767 vertices must come through whole.
TEST_F(InstRenderTest, LargeMeshesDrawToo) {
  SimpleInstRender r;
  r.init("meshes/big.mesh");
  ASSERT_EQ(r.mesh->numVerts, 60000);
  for (int i = 0; i < 10; i++) add_pixel(r, i * 3);
  std::array<int, 4> c = draw_and_count(r);
  EXPECT_EQ(c[1], 10);
}

TEST_F(InstRenderTest, ElementLimitCountsMeshAndInstanceElements) {
  BuildingInstRender b;  // 28 + 3 + the end record fit in 32
  b.init("meshes/wide28.mesh");
  EXPECT_EQ(b.vdecl->count, 32);
  b.close();
  SimpleInstRender s;  // 28 + 5 do not
  EXPECT_EXIT(s.init("meshes/wide28.mesh"), testing::ExitedWithCode(100),
              "failed ASSERT\\(mesh->vsd.size\\(\\)\\+inum<MAX_VDECL_LEN\\)");
}

TEST_F(InstRenderTest, ShadowBallsFollowTheObjectsPlacement) {
  SimpleInstRender r;
  r.init("meshes/pixel.mesh");
  Matrix44 tm = Matrix44::identity();
  // A quarter turn about y (x becomes -z), twice the size, at (10, 5, 20).
  tm.row[0] = vec4f(0, 0, -2, 0);
  tm.row[1] = vec4f(0, 2, 0, 0);
  tm.row[2] = vec4f(2, 0, 0, 0);
  tm.row[3] = vec4f(10, 5, 20, 1);
  start_render_shadows();
  r.renderShadowBalls(tm, 2.f);
  ASSERT_EQ(shadow_bins.balls.size(), 2);
  const vec4f& a = shadow_bins.balls[0];
  EXPECT_FLOAT_EQ(a.x, 10);
  EXPECT_FLOAT_EQ(a.y, 7);
  EXPECT_FLOAT_EQ(a.z, 20);
  EXPECT_FLOAT_EQ(a.w, 1.0f);
  const vec4f& b = shadow_bins.balls[1];
  EXPECT_FLOAT_EQ(b.x, 10);
  EXPECT_FLOAT_EQ(b.z, 16);
  EXPECT_FLOAT_EQ(b.w, 0.5f);
  shadow_bins.clear();
}

TEST(InstRenderTables, ExportedRenderersAndTheirRecords) {
  ASSERT_EQ(num_inst_renderers, 25);
  int counts[4] = {};
  for (int i = 0; i < num_inst_renderers; i++) {
    InstRender* r = inst_renderers[i].inst;
    EXPECT_EQ(find_inst_render(inst_renderers[i].name), r);
    int n = 0;
    const VertexElement* e = r->instanceElements(n);
    int stride = r->instanceStride();
    for (int k = 0; k < n; k++) {
      EXPECT_EQ(e[k].stream, 1);
      EXPECT_LT(e[k].offset, stride);
    }
    counts[stride == 24 ? 0 : stride == 28 ? 1 : stride == 32 ? 2 : 3]++;
    EXPECT_EQ(r->first, nullptr);
    EXPECT_EQ(r->freeList, &inst_free_nodes);
  }
  EXPECT_EQ(counts[0], 19);
  EXPECT_EQ(counts[1], 4);
  EXPECT_EQ(counts[2], 1);
  EXPECT_EQ(counts[3], 1);
  // A simple record keeps the axes, the scale and the position.
  SimpleInstRecord rec;
  Matrix44 tm = Matrix44::identity();
  tm.row[0] = vec4f(4, 0, 0, 0);
  tm.row[1] = vec4f(0, 4, 0, 0);
  tm.row[2] = vec4f(0, 0, 4, 0);
  tm.row[3] = vec4f(1, 2, 3, 1);
  make_simple_inst(rec, tm, D3dColor(0xFF102030u), 0.5f);
  EXPECT_EQ(rec.axisX, 0x80FF8080u);
  EXPECT_EQ(rec.axisY >> 24, 0x80u);
  EXPECT_EQ(rec.axisZ & 0xFFFFFF, 0x8080FFu);
  EXPECT_FLOAT_EQ(rec.pos[2], 3);
  EXPECT_EQ(rec.color, 0xFF102030u);
}

}  // namespace
