// Buildings and objects in the real scene at both qualities: the castle the
// world stamps shows as solid, lit stone where the land leaves its cells
// out, an object stands where its record puts it in its tint, and its
// shadow balls darken the land at high quality.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/camera.h"
#include "device/d3d_shaders.h"
#include "device/debug_vis.h"
#include "device/dynVBWriter.h"
#include "device/mesh.h"
#include "device/screenshot.h"
#include "objects/building_records.h"
#include "objects/inst_render.h"
#include "platform/globals.h"
#include "render/hmRender.h"
#include "render/postfx.h"
#include "render/scene.h"
#include "render/scene_deferred.h"
#include "render/shadows.h"
#include "render/sky.h"
#include "tests/device/gl_env.h"
#include "tests/render/scene_data.h"
#include "tests/render/test_world.h"

using namespace HeightmapData;

namespace {

struct Rgb {
  double r = 0, g = 0, b = 0;
};
Rgb rgb(uint32_t p) { return {double((p >> 16) & 255), double((p >> 8) & 255), double(p & 255)}; }
double luma(uint32_t p) {
  Rgb c = rgb(p);
  return 0.3 * c.r + 0.59 * c.g + 0.11 * c.b;
}

constexpr int CX = 128, CZ = 128;  // castle centre
float ground = 10;
vec4f stone_pos;

void render_objects() {
  begin_inst_render();
  set_cull_mode(0);  // mirrored building orientations turn their winding
  for (int i = 0; i < 19; i++) inst_renderers[i].inst->render();
  set_cull_mode(1);
  Matrix44 tm = Matrix44::identity();
  tm.row[3] = stone_pos;
  SimpleInstRecord rec;
  make_simple_inst(rec, tm, D3dColor(0xFFFF5040u));
  std::memcpy(stone1_inst.append(int(sizeof(rec))), &rec, sizeof(rec));
  stone1_inst.render();
}
void render_object_shadows() {
  Matrix44 tm = Matrix44::identity();
  tm.row[3] = stone_pos;
  stone1_inst.renderShadowBalls(tm, 1.f);
}
void building_cell(const Surface& s, int x, int z) { write_building_record(s, x, z); }

class ObjectsScene : public DeviceTest {
 public:
  static void SetUpTestSuite() {
    DeviceTest::SetUpTestSuite();
    scene_data::install(DATA_DIR, BIN_DIR);
    for (const char* f : {"building_vertex.sh", "building.sh", "dr_building.sh", "obj_vertex.sh", "obj_forward.sh",
                          "dr_obj.sh", "obj_simple.sh", "dr_obj_simple.sh", "obj_morph.sh", "dr_obj_morph.sh",
                          "obj_spline.sh", "dr_obj_spline.sh"})
      write_app_file(f, scene_data::read_file(std::string(DATA_DIR) + "/" + f));
    for (int i = 0; i < num_inst_renderers; i++) install_binary(mesh_file(i));
    install_binary("castle.dds");
    install_binary("hide.dds");
    dynVBWriter.init(65536);
    use_postfx = false;
    use_ppaa = false;
    use_fog = true;
    create_scene_image_texture();
    init_deferred();
    Sky::init();
    HeightmapRenderer::init();
    init_postfx();
    init_debug_vis();
    init_shadows();
    bind_house_tile_renderers();
  }
  static void TearDownTestSuite() {
    close_inst_renderers();
    close_all_meshes();
    close_shadows();
    close_debug_vis();
    close_postfx();
    HeightmapRenderer::close();
    Sky::close();
    close_deferred();
    release_scene_image_texture();
    dynVBWriter.close();
    DeviceTest::TearDownTestSuite();
  }
  static std::string mesh_file(int i) {
    std::string n = inst_renderers[i].name;
    return "meshes/" + n.substr(0, n.size() - 5) + ".mesh";
  }
  static void install_binary(const std::string& rel) {
    std::string s = scene_data::read_file(std::string(BIN_DIR) + "/" + rel);
    ASSERT_FALSE(s.empty()) << rel;
    write_app_file(rel, std::vector<uint8_t>(s.begin(), s.end()));
  }
  // Binds every renderer at the current quality.
  static void init_renderers() {
    for (int i = 0; i < num_inst_renderers; i++) inst_renderers[i].inst->init(mesh_file(i).c_str());
  }

  void SetUp() override {
    DeviceTest::SetUp();
    scene_hooks = SceneHooks();
    HeightmapRenderer::render_building = nullptr;
    Sky::set_sun_dir(vec4f(0.6f, 0.8f, 0.0f, 0), false);
    test_world::flat(ground, D3dColor(0xFF70A050));
    placeHouse(CX, CZ, -1, hmap, false);
    test_world::settle();
    stone_pos = vec4f(CX, ground, CZ - 14, 1);
    use_obj_shadows = true;
  }
  void with_objects() {
    scene_hooks.renderObjects = render_objects;
    scene_hooks.renderObjectShadows = render_object_shadows;
    HeightmapRenderer::render_building = building_cell;
  }

  std::vector<uint32_t> draw(float x, float y, float z, float yaw, float pitch) {
    set_camera_pos(vec4f(x, y, z, 1));
    camera_set_angles(yaw, pitch);
    HeightmapRenderer::markDirty();
    test_frame = [](float) {
      set_camera_frame(1);
      render_scene_frame(camera_frame_view(0), vec4f(0, 0, 0, 0));
    };
    for (int i = 0; i < 3; i++) EXPECT_TRUE(render_d3d_frame(run_test_frame, 0));  // the land's fields settle
    set_back_buffer_target();
    return target_pixels();
  }
  // Screen pixel of a world point in the last drawn view.
  static std::pair<int, int> project(const vec4f& p) {
    const Matrix44& m = render_view().glob_tm;
    float cx = p.x * m.at(0, 0) + p.y * m.at(1, 0) + p.z * m.at(2, 0) + m.at(3, 0);
    float cy = p.x * m.at(0, 1) + p.y * m.at(1, 1) + p.z * m.at(2, 1) + m.at(3, 1);
    float cw = p.x * m.at(0, 3) + p.y * m.at(1, 3) + p.z * m.at(2, 3) + m.at(3, 3);
    int w = get_target_width(), h = get_target_height();
    return {int((cx / cw * 0.5f + 0.5f) * float(w)), int((0.5f - cy / cw * 0.5f) * float(h))};
  }
  static uint32_t at(const std::vector<uint32_t>& px, std::pair<int, int> p) {
    int w = get_target_width();
    return px[size_t(p.second) * size_t(w) + size_t(p.first)];
  }
  static void dump(const std::vector<uint32_t>& v, const std::string& name) {
    const char* dir = std::getenv("TOLVANE_DUMP_OBJECTS");
    if (!dir) return;
    int w = get_target_width(), h = get_target_height();
    std::vector<uint8_t> bgra(v.size() * 4);
    for (size_t i = 0; i < v.size(); i++)
      for (int c = 0; c < 4; c++) bgra[i * 4 + c] = uint8_t(v[i] >> (8 * c));
    write_bgra_png((std::string(dir) + "/" + name + ".png").c_str(), bgra.data(), w, h, w * 4);
  }
};

TEST_F(ObjectsScene, CastleAndObjectAtBothQualities) {
  for (int q : {0, 1}) {
    SCOPED_TRACE(q ? "high" : "low");
    gfx_quality = q;
    init_renderers();
    // From the south, a little above the wall tops.
    std::vector<uint32_t> bare = draw(CX, ground + 7, CZ - 26, 0, -0.12f);
    with_objects();
    std::vector<uint32_t> built = draw(CX, ground + 7, CZ - 26, 0, -0.12f);
    dump(built, std::string("side_") + (q ? "high" : "low"));

    // The castle's outer wall, half-way up its south face, is stone: grey,
    // lit, and not what the frame without buildings shows there.
    auto wall = project(vec4f(CX + 0.5f, ground + 2.5f, CZ - 8.5f, 1));
    Rgb c = rgb(at(built, wall));
    EXPECT_GT(luma(at(built, wall)), 40) << "lit";
    EXPECT_LT(std::fabs(c.r - c.g) + std::fabs(c.g - c.b), 70) << "grey stone " << c.r << "," << c.g << "," << c.b;
    EXPECT_NE(at(built, wall), at(bare, wall));
    // The stone stands in front of it in its red tint.
    auto stone = project(vec4f(stone_pos.x, ground + 1.0f, stone_pos.z, 1));
    Rgb s = rgb(at(built, stone));
    EXPECT_GT(s.r, s.g + 15) << s.r << "," << s.g << "," << s.b;
    // Around the castle the land is as before: the pieces cover only their cells.
    auto field = project(vec4f(CX + 14, ground, CZ - 10, 1));
    EXPECT_NEAR(luma(at(built, field)), luma(at(bare, field)), 6);
    close_inst_renderers();
    scene_hooks = SceneHooks();
    HeightmapRenderer::render_building = nullptr;
  }
}

TEST_F(ObjectsScene, ObjectShadowDarkensTheLandAtHighQuality) {
  gfx_quality = 1;
  init_renderers();
  with_objects();
  use_obj_shadows = false;
  std::vector<uint32_t> off = draw(stone_pos.x, ground + 16, stone_pos.z - 2, 0, -1.45f);
  use_obj_shadows = true;
  std::vector<uint32_t> on = draw(stone_pos.x, ground + 16, stone_pos.z - 2, 0, -1.45f);
  dump(on, "stone_shadow");
  int w = get_target_width(), darker = 0;
  double sum_x = 0;
  for (size_t i = 0; i < on.size(); i++)
    if (luma(on[i]) < luma(off[i]) - 8) {
      darker++;
      sum_x += double(i % size_t(w));
    }
  ASSERT_GT(darker, 30);
  EXPECT_LT(sum_x / darker, w / 2.0) << "the sun shines from +x: the shadow falls toward -x";
}

// Looks at the castle from the side and from above, at noon and at dusk,
// at both qualities; with TOLVANE_DUMP_OBJECTS set the frames are saved.
TEST_F(ObjectsScene, CastleViews) {
  for (int q : {0, 1}) {
    gfx_quality = q;
    init_renderers();
    with_objects();
    for (int dusk : {0, 1}) {
      Sky::set_sun_dir(dusk ? vec4f(0.96f, 0.08f, 0.27f, 0) : vec4f(0.3f, 0.9f, 0.3f, 0), false);
      std::string tag = std::string(q ? "high" : "low") + (dusk ? "_dusk" : "_noon");
      std::vector<uint32_t> side = draw(CX - 22, ground + 9, CZ - 24, -0.75f, -0.22f);
      std::vector<uint32_t> above = draw(CX, ground + 34, CZ - 6, 0, -1.3f);
      dump(side, "castle_side_" + tag);
      dump(draw(CX - 13, ground + 10, CZ - 13, -0.75f, -0.5f), "castle_corner_" + tag);
      dump(above, "castle_above_" + tag);
      // From above, the castle's cells are all drawn: nothing of the sky
      // shows through where the land leaves them out.
      int bluish = 0;
      for (int dz = -8; dz < 8; dz++)
        for (int dx = -8; dx < 8; dx++) {
          Rgb c = rgb(at(above, project(vec4f(CX + dx + 0.5f, ground + 3, CZ + dz + 0.5f, 1))));
          bluish += c.b > c.r + 25 && c.b > c.g + 10;
        }
      EXPECT_LT(bluish, 8) << tag;
    }
    close_inst_renderers();
  }
}


// Each object mesh at arm's length, in its renderer's record: the stone, the
// gatherer's body half-way through a breath with its eye, and a wyvern's
// head, a bent body segment and its tail. Each shows where it was put.
std::vector<std::pair<const char*, vec4f>> creature_spots;
void render_creatures() {
  begin_inst_render();
  creature_spots.clear();
  auto place = [](float x, float y, float z, float s) {
    Matrix44 tm = Matrix44::identity();
    tm.row[0] = vec4f(s, 0, 0, 0);
    tm.row[1] = vec4f(0, s, 0, 0);
    tm.row[2] = vec4f(0, 0, s, 0);
    tm.row[3] = vec4f(x, y, z, 1);
    return tm;
  };
  float y = ground;
  SimpleInstRecord rec;
  make_simple_inst(rec, place(CX - 3, y, CZ, 1), D3dColor(0xFFFFFFFFu));
  std::memcpy(stone1_inst.append(28), &rec, 28);
  creature_spots.push_back({"stone", vec4f(CX - 3, y + 1.0f, CZ, 1)});
  MorphInstRecord m;
  make_simple_inst(m.simple, place(CX, y + 1.2f, CZ, 1), D3dColor(0xFFFFFFFFu));
  m.morph = 0xFF800000u;
  std::memcpy(gatherer_body_inst.append(32), &m, 32);
  creature_spots.push_back({"gatherer", vec4f(CX, y + 1.2f, CZ, 1)});
  make_simple_inst(rec, place(CX, y + 1.35f, CZ - 0.55f, 1), D3dColor(0xFFFFFFFFu));
  // The eye looks toward the camera (-z): its mesh looks along +z.
  rec.axisX = pack_inst_dir(vec4f(-1, 0, 0, 0), 1.f / 8);
  rec.axisZ = pack_inst_dir(vec4f(0, 0, -1, 0), 0);
  std::memcpy(gatherer_eye_inst.append(28), &rec, 28);
  make_simple_inst(rec, place(CX + 3, y + 1.5f, CZ, 1.2f), D3dColor(0xFFFFFFFFu));
  rec.axisX = pack_inst_dir(vec4f(0, 0, 1, 0), 1.2f / 8);
  rec.axisZ = pack_inst_dir(vec4f(-1, 0, 0, 0), 0);  // head toward -x
  std::memcpy(wyvern_head_inst.append(28), &rec, 28);
  creature_spots.push_back({"wyvern head", vec4f(CX + 2.7f, y + 1.5f, CZ, 1)});
  SplineInstRecord sp{{{CX + 3.3f, y + 1.5f, CZ}, {CX + 3.8f, y + 1.8f, CZ}, {CX + 4.3f, y + 1.2f, CZ}, {CX + 4.8f, y + 1.4f, CZ}},
                      pack_inst_dir(vec4f(0, 1, 0, 0), 0.4f / 4), pack_inst_dir(vec4f(0, 1, 0, 0), 0.3f / 4),
                      0xFFFFFFFFu, 0xFFFFFFFFu};
  std::memcpy(wyvern_body_inst.append(64), &sp, 64);
  creature_spots.push_back({"wyvern body", vec4f(CX + 4.05f, y + 1.5f, CZ, 1)});
  make_simple_inst(rec, place(CX + 4.8f, y + 1.4f, CZ, 1), D3dColor(0xFFFFFFFFu));
  rec.axisX = pack_inst_dir(vec4f(0, 0, 1, 0), 1.f / 8);
  rec.axisZ = pack_inst_dir(vec4f(-1, 0, 0, 0), 0);  // tail trails toward +x
  std::memcpy(wyvern_tail_inst.append(28), &rec, 28);
  for (InstRender* r : {(InstRender*)&stone1_inst, (InstRender*)&gatherer_body_inst, (InstRender*)&gatherer_eye_inst,
                        (InstRender*)&wyvern_head_inst, (InstRender*)&wyvern_body_inst, (InstRender*)&wyvern_tail_inst})
    r->render();
}

TEST_F(ObjectsScene, EveryObjectMeshShowsWhereItsRecordPutsIt) {
  for (int q : {0, 1}) {
    SCOPED_TRACE(q ? "high" : "low");
    gfx_quality = q;
    init_renderers();
    test_world::flat(ground, D3dColor(0xFF70A050));
    std::vector<uint32_t> bare = draw(CX + 1, ground + 2.2f, CZ - 7, 0, -0.12f);
    scene_hooks.renderObjects = render_creatures;
    std::vector<uint32_t> with = draw(CX + 1, ground + 2.2f, CZ - 7, 0, -0.12f);
    dump(with, std::string("creatures_") + (q ? "high" : "low"));
    for (const auto& [name, p] : creature_spots) {
      auto px = project(p);
      EXPECT_GT(std::fabs(luma(at(with, px)) - luma(at(bare, px))) + std::fabs(rgb(at(with, px)).b - rgb(at(bare, px)).b), 10)
          << name;
    }
    close_inst_renderers();
    scene_hooks = SceneHooks();
  }
}

}  // namespace
