// The world-generation interface: masks, paint functions, terrain calls,
// the script error texts and generate_world with broken scripts.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "platform/globals.h"
#include "platform/messages.h"
#include "script/worldgen_script.h"
#include "tests/script/script_test_support.h"
#include "world/heightmap.h"
#include "world/noise.h"

using namespace HeightmapData;

namespace {
struct WorldGen : ::testing::Test {
  std::string dir;
  void SetUp() override {
    dir = make_scratch_dir();
    set_error_message(nullptr);
    reset();
  }
  void TearDown() override { close_world_gen_vm(); }

  // Writes gen/main.nut with the given body and creates the VM with it.
  bool load(const char* text) {
    write_file(dir + "gen/main.nut", text);
    bool ok = create_world_gen_vm();
    capture_print(world_gen_vm.vm);
    return ok;
  }
  // Runs a snippet in the world-generation VM; returns the script error
  // text ("" when it ran), whichever way the error travelled.
  std::string run(const char* text) {
    HSQUIRRELVM vm = world_gen_vm.vm;
    SQInteger top = sq_gettop(vm);
    std::string err;
    try {
      if (!run_text(vm, text)) err = sqbind::last_error_text(vm);
    } catch (const sqbind::SquirrelError& e) {
      err = e.text;
    }
    sq_settop(vm, top);
    return err;
  }
  float global_float(const char* expr) {
    std::string t = std::string("__r <- (") + expr + ").tofloat();";
    EXPECT_EQ(run(t.c_str()), "");
    sq_pushroottable(world_gen_vm.vm);
    sq_pushstring(world_gen_vm.vm, "__r", -1);
    sq_get(world_gen_vm.vm, -2);
    float f = sqbind::get_float(world_gen_vm.vm, -1);
    sq_pop(world_gen_vm.vm, 2);
    return f;
  }
};

uint32_t flags_of(const Surface& s) {
  uint32_t f;
  std::memcpy(&f, reinterpret_cast<const char*>(&s) + 8, 4);
  return f;
}
}  // namespace

TEST_F(WorldGen, MaskEdgeCases) {
  ASSERT_TRUE(load("function generate_world() {}"));
  EXPECT_EQ(global_float("HmapMask(3.5).calcMinMax()[0]"), 3.5f);
  EXPECT_EQ(global_float("HmapMask(3.5).calcMinMax()[1]"), 3.5f);
  // After reset the height mask is all zeros and adding it changes nothing.
  EXPECT_EQ(run("m <- HmapMask.fromHeight(); apply_height_mask(m, null);"), "");
  EXPECT_EQ(global_float("m.calcMinMax()[1]"), 0.0f);
  for (int i = 0; i < HMAP_CELLS; i++) ASSERT_EQ(hmap[i], 0.0f);
  // A function mask is called per cell with (x, z).
  EXPECT_EQ(run("f <- HmapMask(function(x, z) { return x + z * 1000; });"), "");
  EXPECT_EQ(global_float("f.getraw(3, 2)"), 2003.0f);
  EXPECT_EQ(global_float("f.getraw(259, -254)"), 2003.0f);  // wraps
  EXPECT_FLOAT_EQ(global_float("f.get(3.5, 2.0)"), 2003.5f);
  EXPECT_FLOAT_EQ(global_float("f.get(255.5, 0.0)"), 127.5f);  // halfway between 255 and 0
  // A mask made of neither a number nor a function is refused.
  EXPECT_EQ(run("HmapMask(\"x\")"), sqbind::TYPE_ERROR);
}

TEST_F(WorldGen, HeightAndWaterFunctions) {
  ASSERT_TRUE(load("function generate_world() {}"));
  EXPECT_EQ(run("apply_height_mask(HmapMask(function(x, z) { return x < 128 ? 2 : 6; }), null);"), "");
  EXPECT_EQ(global_float("recenter_hmap()"), 2.0f);
  EXPECT_EQ(hmap[cellIndex(0, 0)], -2.0f);
  EXPECT_EQ(hmap[cellIndex(200, 9)], 2.0f);
  EXPECT_EQ(run("apply_height_mask(null, function(h) { return h * 3; });"), "");
  EXPECT_EQ(hmap[cellIndex(200, 9)], 6.0f);
  EXPECT_EQ(run("apply_water_mask(HmapMask.fromHeight(), function(d, h) { return h < 0 ? -h : 0; });"), "");
  EXPECT_EQ(water[9][0].depth, 6.0f);
  EXPECT_EQ(water[9][200].depth, 0.0f);
  EXPECT_EQ(global_float("HmapMask.fromWater().calcMinMax()[1]"), 6.0f);
  // Slope: 1 on flat ground, lower across the step between the halves.
  EXPECT_FLOAT_EQ(global_float("HmapMask.fromSlope().getraw(64, 64)"), 1.0f);
  EXPECT_LT(global_float("HmapMask.fromSlope().getraw(127, 64)"), 0.9f);
}

TEST_F(WorldGen, ErosionWithNoDropletsChangesNothing) {
  ASSERT_TRUE(load("function generate_world() {}"));
  EXPECT_EQ(run("add_simplex_noise(0, 10, 4, 3, 0.5);"), "");
  static float before[HMAP_CELLS];
  std::memcpy(before, hmap, sizeof(before));
  uint64_t seed = game_rnd_seed;
  EXPECT_EQ(run("gen_droplet_erosion(0, null);"), "");
  EXPECT_EQ(std::memcmp(before, hmap, sizeof(before)), 0);
  EXPECT_EQ(game_rnd_seed, seed);
  // A parameter table with reactions is read; a bad one is refused.
  EXPECT_EQ(run("gen_droplet_erosion(50, {Kq = 2, depositBlend = 0, reactions = [[[1,0,0,0],[0,1,0,0],0.5]]});"), "");
  EXPECT_EQ(run("gen_droplet_erosion(5, {Kq = \"a lot\"});"), sqbind::TYPE_ERROR);
  EXPECT_EQ(run("gen_droplet_erosion(5, {reactions = [[[1,0,0,0]]]});").empty(), false);
  EXPECT_EQ(run("gen_droplet_erosion(-1, null);"), "numDroplets must not be negative in gen_droplet_erosion()");
}

TEST_F(WorldGen, PaintFunctions) {
  ASSERT_TRUE(load("function generate_world() {}"));
  EXPECT_EQ(run("repaint_land(function(x, z, g, c) { return [0xFF00FF00, GT_SAND]; });"), "");
  for (int i = 0; i < HMAP_CELLS; i += 997) {
    ASSERT_EQ(surface[i].groundColor.u, 0xFF00FF00u);
    ASSERT_EQ(surface[i].coverColor.u, 0u);
    ASSERT_EQ(surface[i].groundType, uint32_t(GT_SAND));
    ASSERT_EQ(surface[i].surfaceType, 0u);
  }
  EXPECT_EQ(run("repaint_land(function(x, z, g, c) { return [g, GT_NONE, [0, 0, 1, 0.5], ST_SNOW]; });"), "");
  EXPECT_EQ(surface[5].groundColor.u, 0xFF00FF00u);
  EXPECT_EQ(surface[5].coverColor.u, 0x800000FFu);
  EXPECT_EQ(surface[5].groundType, 15u);
  EXPECT_EQ(surface[5].surfaceType, uint32_t(ST_SNOW));
  EXPECT_EQ(run("repaint_land(function(x, z, g, c) { return 1; });").empty(), false);
  EXPECT_EQ(run("repaint_land(null);"), "null function in repaint_land()");

  // House tile fields survive repainting.
  EXPECT_EQ(run("place_house(100, 100, 0);"), "");
  int cell = cellIndex(100, 100);
  uint32_t house_bits = flags_of(surface[cell]) >> 8;
  EXPECT_EQ(run("repaint_land(function(x, z, g, c) { return [g, GT_HOUSE]; });"), "");
  EXPECT_EQ(flags_of(surface[cell]) >> 8, house_bits);

  // recolor_land4 uses the ground colour as weights.
  EXPECT_EQ(run("repaint_land(function(x, z, g, c) { return [0x00FF0000, GT_ROCK]; });"
                "recolor_land4(0xFF102030, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF);"),
            "");
  EXPECT_EQ(surface[77].groundColor.u, 0xFF102030u);
  EXPECT_EQ(surface[77].groundType, uint32_t(GT_SOIL));
  // All-zero weights give an even mix instead of a division by zero.
  EXPECT_EQ(run("repaint_land(function(x, z, g, c) { return [0, GT_ROCK]; });"
                "recolor_land4(0xFF000000, 0xFF000000, 0xFFFFFFFF, 0xFFFFFFFF);"),
            "");
  EXPECT_EQ(surface[77].groundColor.u, 0xFF808080u);

  // recolor_by_height spans the ramp over the height range.
  EXPECT_EQ(run("apply_height_mask(HmapMask(function(x, z) { return x; }), null);"
                "recolor_by_height(ColorRamp.linear(0xFF000000, 0xFFFFFFFF), null);"),
            "");
  EXPECT_EQ(surface[cellIndex(0, 3)].groundColor.u, 0xFF000000u);
  EXPECT_EQ(surface[cellIndex(255, 3)].groundColor.u, 0xFFFFFFFFu);
  EXPECT_EQ(run("recolor_by_height(null, null);"), sqbind::INST_ERROR);
}

// Painting by masks and ramps: the zones a script builds from mask
// arithmetic get the ramp colour at each cell's t, the rest stays as it was,
// and house fields survive.
TEST_F(WorldGen, PaintByMasksAndRamps) {
  ASSERT_TRUE(load("function generate_world() {}"));
  EXPECT_EQ(run("apply_height_mask(HmapMask(function(x, z) { return x; }), null);"
                "repaint_land(function(x, z, g, c) { return [0xFF102030, GT_ROCK, 0xFF0000FF, ST_ASH]; });"
                "place_house(40, 200, 0);"),
            "");
  int house = cellIndex(40, 200);
  uint32_t house_bits = flags_of(surface[house]) >> 8;
  EXPECT_EQ(run("local h = HmapMask.fromHeight();"
                "local low = h.less(100);"
                "paint_ground_layer(low, ColorRamp.linear(0xFF000000, 0xFFFFFFFF), h.remap(0, 255, null), 1.0, GT_SAND);"
                "paint_cover_layer(h.greater(200), ColorRamp.constRamp(0xFF00FF00), 0, 1.0, h.remap(200, 250, null), ST_GRASS);"
                "paint_cover_layer(h.greater(200).mul(h.less(210)), ColorRamp.constRamp(0xFFFF0000), 0, 0.5, null, ST_GRASS);"),
            "");
  const Surface& low = surface[cellIndex(51, 9)];
  EXPECT_EQ(low.groundColor.u, 0xFF333333u) << "the ramp at 51/255";
  EXPECT_EQ(low.groundType, uint32_t(GT_SAND));
  EXPECT_EQ(low.coverColor.u, 0u) << "ground paint clears the cover";
  EXPECT_EQ(low.surfaceType, 0u);
  EXPECT_EQ(flags_of(surface[house]) >> 8, house_bits);
  const Surface& mid = surface[cellIndex(150, 9)];
  EXPECT_EQ(mid.groundColor.u, 0xFF102030u) << "outside every zone";
  EXPECT_EQ(mid.coverColor.u, 0xFF0000FFu);
  EXPECT_EQ(mid.surfaceType, uint32_t(ST_ASH));
  const Surface& high = surface[cellIndex(225, 9)];
  EXPECT_EQ(high.groundColor.u, 0xFF102030u);
  EXPECT_EQ(high.coverColor.u, 0x8000FF00u) << "green with alpha (225 - 200) / 50";
  EXPECT_EQ(high.surfaceType, uint32_t(ST_GRASS));
  EXPECT_EQ(surface[cellIndex(205, 9)].coverColor.u, 0x1A808000u) << "half way to red, alpha kept";

  // Arithmetic with numbers and masks, remap with a ramp and as a step.
  EXPECT_FLOAT_EQ(global_float("HmapMask(2).add(3).mul(HmapMask(4)).sub(1).calcMinMax()[1]"), 19.0f);
  EXPECT_FLOAT_EQ(global_float("HmapMask(0.25).remap(0, 0.5, FloatRamp.linear(10, 20)).getraw(3, 4)"), 15.0f);
  EXPECT_FLOAT_EQ(global_float("HmapMask(3).remap(3, 3, null).getraw(0, 0)"), 1.0f);
  EXPECT_EQ(run("paint_ground_layer(\"x\", ColorRamp.constRamp(0), 0, 1, GT_SOIL);"),
            "paint_ground_layer: where must be a number or an HmapMask");
  EXPECT_EQ(run("HmapMask(1).add([1]);"), "add: the argument must be a number or an HmapMask");
  EXPECT_EQ(run("paint_cover_layer(null, null, 0, 1, null, ST_GRASS);"), sqbind::INST_ERROR);
}

TEST_F(WorldGen, ScriptErrorTexts) {
  ASSERT_TRUE(load("function generate_world() {}"));
  EXPECT_EQ(run("apply_height_mask(null, null);"), "no mask and no func in apply_height_mask()");
  EXPECT_EQ(run("apply_water_mask(null, null);"), "no mask and no func in apply_water_mask()");
  EXPECT_EQ(run("HmapMask.fromSimplexNoise(1, 3, 2, null, 0.5);"), "tile must be power of 2 in fromSimplexNoise()");
  EXPECT_EQ(run("HmapMask.fromVoronoiHills(6, 0, 1, 1);"), "tile must be power of 2 in fromVoronoiHills()");
  EXPECT_EQ(run("HmapMask.fromVoronoiFaults(0, 0, 1, 1, 2, 2, 1);"), "tile must be power of 2 in fromVoronoiFaults()");
  EXPECT_EQ(run("local v = vec4f(1); v[4];"), "vec4f index out of range");
  EXPECT_EQ(run("local v = vec4f(1); v[-1] = 2;"), "vec4f index out of range");
  EXPECT_EQ(run("local v = vec4f(1); v.x;"), "vec4f index out of range");
  EXPECT_EQ(run("add_simplex_noise(0, 1, 3, 2, 0.5);"), "tile must be power of 2 in add_simplex_noise()");
  EXPECT_EQ(run("add_fast_noise(2, 1, null, GT_NONE, 255, 0.5);"), "min_ht<=max_ht failed in add_fast_noise()");
  EXPECT_EQ(run("add_voronoi_hills(5, 0, 1, 1);"), "tile must be power of 2 in add_voronoi_hills()");
  EXPECT_EQ(run("gen_voronoi_faults(12, 0, 1, 1, 2, 2, 1);"), "tile must be power of 2 in gen_voronoi_faults()");
  // Several arguments wrong: the first in the function's order is named.
  EXPECT_EQ(run("HmapMask.fromSimplexNoise(1, 3, 99, null, 0.5);"), "tile must be power of 2 in fromSimplexNoise()");
  EXPECT_EQ(run("gen_voronoi_faults(16, 0, 1, 1, 99, 99, 1);"), "gen_voronoi_faults(): noiseScale must be in 0..64 (got 99)");
}

TEST_F(WorldGen, VectorAndColourHelpers) {
  ASSERT_TRUE(load("function generate_world() {}"));
  EXPECT_FLOAT_EQ(global_float("(vec4f(1, 2, 3, 4) + [1, 1, 1, 1])[3]"), 5.0f);
  EXPECT_FLOAT_EQ(global_float("(vec4f(1, 2, 3, 4) * 2)[1]"), 4.0f);
  EXPECT_FLOAT_EQ(global_float("(-vec4f(1, 2, 3, 4))[2]"), -3.0f);
  EXPECT_FLOAT_EQ(global_float("(vec4f(8) / vec4f(2, 4, 8, 16))[3]"), 0.5f);
  EXPECT_FLOAT_EQ(global_float("getz(cross([1, 0, 0, 0], [0, 1, 0, 0]))"), 1.0f);
  EXPECT_FLOAT_EQ(global_float("getx(dot3([1, 2, 3, 9], [4, 5, 6, 9]))"), 32.0f);
  EXPECT_FLOAT_EQ(global_float("gety(len3([3, 4, 0, 7]))"), 5.0f);
  EXPECT_FLOAT_EQ(global_float("norm3([0, 0, 0, 0])[3]"), 0.0f);
  EXPECT_FLOAT_EQ(global_float("norm3([0, 2, 0, 4])[3]"), 2.0f);
  EXPECT_NEAR(global_float("getx(norm3a([4, 0, 0, 0]))"), 1.0f, 1e-3f);
  EXPECT_FLOAT_EQ(global_float("make4f(1, 2, 3, 4)[2]"), 3.0f);
  EXPECT_FLOAT_EQ(global_float("make4f(7, 8)[3]"), 7.0f);
  EXPECT_FLOAT_EQ(global_float("lerpcolor(0xFF000000, [1, 1, 1, 1], 0.25)[0]"), 0.25f);
  EXPECT_FLOAT_EQ(global_float("mix3colors(1.0, 0.5, 2.0, 0.25, 4.0, 0.25)[1]"), 2.0f);
  EXPECT_FLOAT_EQ(global_float("mix4colors(1.0, 1, 1.0, 1, 1.0, 1, 1.0, 1)[0]"), 4.0f);
  EXPECT_FLOAT_EQ(global_float("hsv2rgba(480, 1, 1, 0.5)[1]"), 1.0f);  // 480 = 120 degrees: green
  EXPECT_FLOAT_EQ(global_float("hsv2rgba(-120, 1, 1, 0.5)[2]"), 1.0f);  // 240 degrees: blue
  EXPECT_FLOAT_EQ(global_float("hsv2rgba(10, 0, 0.3, 1)[2]"), 0.3f);
  EXPECT_NEAR(global_float("lch2rgba(100, 0, 0, 1)[0]"), 1.0f, 2e-3f);
  EXPECT_NEAR(global_float("lch2rgba(50, 0, 0, 1)[1]"), 0.4663f, 2e-3f);
  EXPECT_NEAR(global_float("getz(make_dir_xz(0.25))"), 1.0f, 1e-6f);
  EXPECT_NEAR(global_float("gety(make_dir_2d([1, 0, 0, 0], [0, 1, 0, 0], 0.25))"), 1.0f, 1e-6f);
  EXPECT_EQ(global_float("wrap(300)"), 44.0f);
  EXPECT_EQ(global_float("HMAP_SIZE + HMAP_SIZE_SHIFT + GT_NONE + ST_ROAD"), 256.0f + 8 - 1 + 4);
  // The random draws follow the game's generator.
  EXPECT_EQ(run("set_rnd_seed(0); r0 <- hmrnd();"), "");
  EXPECT_EQ(global_float("r0"), 126.0f);
  EXPECT_EQ(run("set_rnd_seed(-1);"), "");
  EXPECT_EQ(game_rnd_seed, ~0ull);
}

TEST_F(WorldGen, ScriptWithoutGenerateWorld) {
  ASSERT_TRUE(load("x <- 1;"));
  EXPECT_FALSE(generate_world());
  EXPECT_STREQ(get_error_message(), "Error in world gen script:\nNo 'generate_world' function in script");
  for (int i = 0; i < HMAP_CELLS; i += 311) {
    ASSERT_EQ(hmap[i], 0.0f);
    ASSERT_EQ(surface[i].groundColor.u, 0xFF808080u);
    ASSERT_EQ(water[i >> 8][i & 255].depth, 0.0f);
  }
}

TEST_F(WorldGen, ErrorsDuringGenerationKeepWhatWasMade) {
  ASSERT_TRUE(load("function generate_world() { add_simplex_noise(1, 1, 1, 1, 0.5); no_such_call(); }"));
  EXPECT_FALSE(generate_world());
  EXPECT_EQ(std::string(get_error_message()).rfind("Error in world gen script:\n", 0), 0u);
  EXPECT_EQ(hmap[1234], 1.0f);
  EXPECT_EQ(target_hmap[1234], 1.0f);
  // A native conversion failure unwinds through the script to the owner.
  close_world_gen_vm();
  ASSERT_TRUE(load("function generate_world() { place_house(\"here\", 1, 0); }"));
  EXPECT_FALSE(generate_world());
  EXPECT_STREQ(get_error_message(), "Error in world gen script:\ngen/main.nut:1:29: sq_get*() failed (type error)");
  EXPECT_EQ(sq_gettop(world_gen_vm.vm), 0);
}

TEST_F(WorldGen, BrokenMainScriptIsReportedAndFixedByReload) {
  EXPECT_FALSE(load("function generate_world() { "));
  EXPECT_EQ(std::string(get_error_message()).rfind("Error in world gen script:\n", 0), 0u);
  std::string load_error = get_error_message();
  EXPECT_FALSE(generate_world());  // no function: the reset world stays
  EXPECT_EQ(get_error_message(), load_error) << "the syntax error stays on screen, not 'no function'";

  write_file(dir + "gen/main.nut", "include(\"gen/part.nut\"); function generate_world() { add_simplex_noise(2, 2, 1, 1, 0.5); }");
  write_file(dir + "gen/part.nut", "function helper() { return 1; }");
  set_file_time(dir + "gen/main.nut", 3000000);
  EXPECT_TRUE(world_gen_reload_check());
  EXPECT_FALSE(has_error_message());
  EXPECT_EQ(hmap[99], 2.0f);
  EXPECT_FALSE(world_gen_reload_check());  // nothing changed since

  // An included file's change regenerates too; its error is shown while the
  // old generate_world still makes a world.
  write_file(dir + "gen/part.nut", "function helper( { }");
  set_file_time(dir + "gen/part.nut", 3000100);
  EXPECT_TRUE(world_gen_reload_check());
  EXPECT_TRUE(has_error_message());
  EXPECT_EQ(hmap[99], 2.0f);
}

TEST_F(WorldGen, MissingMainScript) {
  EXPECT_FALSE(create_world_gen_vm("gen/none.nut"));
  EXPECT_NE(std::string(get_error_message()).find("can't open script file"), std::string::npos);
}

// A modder's edit that changes nothing must give back the world on screen;
// the generate key still moves on to a new world.
TEST_F(WorldGen, ReloadRegeneratesTheWorldOnScreen) {
  const char* script = "function generate_world() { reseed_noise(); add_simplex_noise(4, 8, 1, 1, 0.5); hmap_noise <- hmrnd(); }";
  ASSERT_TRUE(load(script));
  game_rnd_seed = 77;
  ASSERT_TRUE(generate_world());
  std::vector<float> first(hmap, hmap + HMAP_CELLS);
  ASSERT_TRUE(generate_world());  // the generate key: the generator's next state
  std::vector<float> shown(hmap, hmap + HMAP_CELLS);
  uint64_t shown_seed = last_world_seed();
  EXPECT_NE(first, shown);
  EXPECT_NE(shown_seed, 77u);

  write_file(dir + "gen/main.nut", (std::string(script) + "\n// a comment\n").c_str());
  set_file_time(dir + "gen/main.nut", 4000000);
  ASSERT_TRUE(world_gen_reload_check());
  EXPECT_FALSE(has_error_message());
  EXPECT_EQ(last_world_seed(), shown_seed);
  EXPECT_TRUE(std::vector<float>(hmap, hmap + HMAP_CELLS) == shown) << "the same world after a no-op edit";

  ASSERT_TRUE(generate_world());
  EXPECT_FALSE(std::vector<float>(hmap, hmap + HMAP_CELLS) == shown) << "G still makes a new world";
}

TEST_F(WorldGen, SeaLevelIsReportedPerWorld) {
  ASSERT_TRUE(load("n <- 0; function generate_world() { if (n++ == 0) set_sea_level(2.5); }"));
  float level = -1;
  ASSERT_TRUE(generate_world());
  EXPECT_TRUE(last_world_sea_level(level));
  EXPECT_FLOAT_EQ(level, 2.5f);
  ASSERT_TRUE(generate_world());
  EXPECT_FALSE(last_world_sea_level(level)) << "a world that reports none has none";
}

// A world is spread over several files: every error names its file (relative
// to the program's folder), line and column, on screen and in the log.
TEST_F(WorldGen, ErrorsShowTheirPlaceOnScreenAndInTheLog) {
  write_file(dir + "gen/land.nut", "function lift() {\n  add_simplex_noise(1, 1, 1, 1, 0.5);\n  local t = {};\n  return t.missing;\n}\n");
  ASSERT_TRUE(load("include(\"gen/land.nut\");\nfunction generate_world() {\n  lift();\n}\n"));
  printed.clear();
  testing::internal::CaptureStdout();
  EXPECT_FALSE(generate_world());
  std::string log = printed + testing::internal::GetCapturedStdout();
  EXPECT_STREQ(get_error_message(), "Error in world gen script:\ngen/land.nut:4:12: the index 'missing' does not exist");
  EXPECT_NE(log.find("gen/land.nut:4:12: ERROR: the index 'missing' does not exist (in lift())"), std::string::npos) << log;
  EXPECT_NE(log.find("gen/main.nut:3: function generate_world() (CALLSTACK)"), std::string::npos) << log;
  EXPECT_EQ(log.find(dir), std::string::npos) << "no program folder in front: " << log;
  auto count = [](const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) n++;
    return n;
  };
  EXPECT_EQ(count(log, "the index 'missing' does not exist"), 1u) << "each error is logged once: " << log;
  EXPECT_EQ(log.find("LOCALS"), std::string::npos) << "no locals unless asked for: " << log;

  // A native call that rejects its arguments: the line that called it.
  write_file(dir + "gen/land.nut", "function lift() {\n  place_house(\"x\", 1, 0);\n}\n");
  set_file_time(dir + "gen/land.nut", 5000000);
  testing::internal::CaptureStdout();
  EXPECT_TRUE(world_gen_reload_check());
  log = testing::internal::GetCapturedStdout();
  EXPECT_STREQ(get_error_message(), "Error in world gen script:\ngen/land.nut:2:3: sq_get*() failed (type error)");
  EXPECT_NE(log.find("gen/land.nut:2:3: sq_get*() failed (type error)"), std::string::npos) << log;
  EXPECT_EQ(count(log, "sq_get*() failed (type error)"), 1u) << log;

  // A syntax error in the edited file.
  write_file(dir + "gen/land.nut", "function lift() {\n  local x = ;\n}\n");
  set_file_time(dir + "gen/land.nut", 5000100);
  printed.clear();
  testing::internal::CaptureStdout();
  EXPECT_TRUE(world_gen_reload_check());
  log = printed + testing::internal::GetCapturedStdout();
  EXPECT_EQ(std::string(get_error_message()).rfind("Error in world gen script:\ngen/land.nut:2:13: expression expected", 0), 0u)
      << get_error_message();
  EXPECT_NE(log.find("gen/land.nut:2:13: error: expression expected"), std::string::npos) << log;
}

// An included file that does not compile is swallowed by the include while
// the main file runs on; the owner still reports it, and what then fails for
// want of the file's functions goes to the log, not over it on screen.
TEST_F(WorldGen, AFileThatFailsInsideAnIncludeIsTheErrorShown) {
  write_file(dir + "gen/land.nut", "function lift() {\n  local x = ;\n}\n");
  testing::internal::CaptureStdout();
  EXPECT_FALSE(load("include(\"gen/land.nut\");\nfunction generate_world() {\n  lift();\n}\n"));
  const std::string shown = "Error in world gen script:\ngen/land.nut:2:13: expression expected";
  EXPECT_EQ(std::string(get_error_message()).rfind(shown, 0), 0u) << get_error_message();
  EXPECT_FALSE(generate_world());
  std::string log = testing::internal::GetCapturedStdout();
  EXPECT_EQ(std::string(get_error_message()).rfind(shown, 0), 0u) << get_error_message();
  // The failed include stopped main.nut: it defined no generate_world to run.
  EXPECT_EQ(log.find("the index 'lift' does not exist"), std::string::npos) << log;

  // An edit that adds a broken include is reported the same way.
  write_file(dir + "gen/land.nut", "function lift() {}\n");
  set_file_time(dir + "gen/land.nut", 6000000);
  EXPECT_TRUE(world_gen_reload_check());
  EXPECT_FALSE(has_error_message()) << get_error_message();
  write_file(dir + "gen/extra.nut", "x <- ;\n");
  write_file(dir + "gen/main.nut", "include(\"gen/land.nut\");\ninclude(\"gen/extra.nut\");\nfunction generate_world() {\n  lift();\n}\n");
  set_file_time(dir + "gen/main.nut", 6000100);
  EXPECT_TRUE(world_gen_reload_check());
  EXPECT_EQ(std::string(get_error_message()).rfind("Error in world gen script:\ngen/extra.nut:1:6: ", 0), 0u)
      << get_error_message();
}

TEST_F(WorldGen, HostileArgumentsAreScriptErrorsNamingTheRange) {
  ASSERT_TRUE(load("function generate_world() {}"));
  struct Case {
    const char* call;
    const char* error;
  } cases[] = {
      {"gen_crater(10, 10, 20000, 0.5);", "gen_crater(): radius must be in 0..128 (got 20000)"},
      {"gen_crater(10, 10, 0.0 / 0.0, 0.5);", "gen_crater(): radius must be in 0..128 (got "},
      {"gen_crater(1e39, 10, 5, 0.5);", "gen_crater(): x must be a finite number (got inf)"},
      {"gen_droplet_erosion(2147483647, null);", "gen_droplet_erosion(): numDroplets must be in 0..250000"},
      {"gen_droplet_erosion(5, {Kq = 1e39});", "gen_droplet_erosion(): Kq must be a finite number (got inf)"},
      {"add_simplex_noise(0, 1, 8, 2147483647, 0.5);", "add_simplex_noise(): octaves must be in 0..16"},
      {"add_simplex_noise(0, 1, 1 << 30, 3, 0.5);", "add_simplex_noise(): tile must be in 1..256"},
      {"gen_voronoi_faults(8, 0, 1, 1, 1 << 28, 2, 1);", "gen_voronoi_faults(): noiseScale must be in 0..64"},
      {"HmapMask.fromSimplexNoise(1, 8, 99, null, 0.5);", "fromSimplexNoise(): octaves must be in 0..16"},
      {"fractal_noise1(0.5, 2147483647, null, 0.5);", "fractal_noise1(): octaves must be in 0..16"},
      {"tiled_fractal_noise2(0.5, 0.5, 1 << 30, 40, null, 0.5);", "tiled_fractal_noise2(): octaves must be in 0..16"},
      {"add_fast_noise(0, 1e39, null, GT_NONE, 255, 0.5);", "add_fast_noise(): max_ht must be a finite number"},
      {"apply_height_mask(null, @(h) h + 1.0 / 0.0);", "apply_height_mask(): the function returned inf for cell (0, 0)"},
      {"apply_water_mask(null, @(d) 0.0 / 0.0);", "apply_water_mask(): the function returned "},
      {"HmapMask(@(x, z) x == 7 && z == 3 ? 1e39 : 0);", "HmapMask(): the function returned inf for cell (7, 3)"},
  };
  for (const Case& c : cases) {
    std::string err = run(c.call);
    EXPECT_EQ(err.rfind(c.error, 0), 0u) << c.call << " gave: " << err;
  }
  // A huge height that overflows while being added is refused and cleared.
  EXPECT_EQ(run("local m = HmapMask(3e38); apply_height_mask(m, null); apply_height_mask(m, null);"),
            "apply_height_mask() made a non-finite height or water depth at cell (0, 0)");
  for (int i = 0; i < HMAP_CELLS; i += 4099) ASSERT_TRUE(std::isfinite(hmap[i]));
  // In range, the same calls work and can be caught when they are not.
  EXPECT_EQ(run("gen_crater(10, 10, 128, 0.5); add_simplex_noise(0, 1, 256, 16, 0.5);"), "");
  EXPECT_EQ(run("try { gen_crater(0, 0, 1000, 1); } catch (e) { ::caught <- e; }"), "");
  // Coordinates far beyond the int range wrap (the sanitizer build checks
  // that no integer overflows on the way).
  EXPECT_EQ(run("place_house(-2147483647 - 1, 2147483647, -7);"
                "::n <- noise1(-1e30) + tiled_noise2(-1e30, 3e38, 7) + tiled_fractal_noise2(-1e30, 1e30, 256, 16, null, 0.5);"
                "::n += fractal_noise1(-3e38, 16, null, 0.5);"
                "HmapMask.fromVoronoiHills(256, 0, 1, 1); gen_crater(-1e30, 1e30, 128, 1);"),
            "");
}

TEST_F(WorldGen, NativeConstructorsRefuseForeignAndBuiltInstances) {
  ASSERT_TRUE(load("function generate_world() {}"));
  EXPECT_EQ(run("ColorRamp.constructor.call(HmapMask(0), 0xFF000000);"),
            "constructor called on an instance of another class");
  EXPECT_EQ(run("local m = HmapMask(1); m.constructor(2);"), "constructor called on an instance already constructed");
  EXPECT_EQ(run("local m = HmapMask(1); if (m.getraw(0, 0) != 1) throw \"changed\";"), "");
}

TEST_F(WorldGen, AnEndlessLoopEditedInIsStoppedAtItsLineAndTheFixRuns) {
#ifndef SQ_HAS_CALLTIMELIMIT
  GTEST_SKIP() << "the installed Squirrel has no watchdog";
#else
  ASSERT_TRUE(load("function generate_world() { add_simplex_noise(2, 2, 1, 1, 0.5); }"));
  EXPECT_FLOAT_EQ(sq_getcalltimelimit(world_gen_vm.vm), SqReloadableVM::applied_time_limit(WORLD_GEN_TIME_LIMIT_S));
  sq_setcalltimelimit(world_gen_vm.vm, 0.2f);  // the test need not wait ten seconds
  ASSERT_TRUE(generate_world());

  // Edited while the game runs: the world made before the loop is kept.
  write_file(dir + "gen/main.nut",
             "function generate_world() {\n  add_simplex_noise(3, 3, 1, 1, 0.5);\n  local i = 0;\n"
             "  while (true) {\n    i++;\n  }\n}\n");
  set_file_time(dir + "gen/main.nut", 4000000);
  EXPECT_TRUE(world_gen_reload_check());
  std::string shown = get_error_message();
  EXPECT_EQ(shown.rfind("Error in world gen script:\ngen/main.nut:", 0), 0u) << shown;
  EXPECT_NE(shown.find(": script ran for more than 0.2 s"), std::string::npos) << shown;
  EXPECT_EQ(hmap[99], 3.0f);
  EXPECT_EQ(target_hmap[99], 3.0f);
  EXPECT_EQ(sq_gettop(world_gen_vm.vm), 0);

  write_file(dir + "gen/main.nut", "function generate_world() { add_simplex_noise(4, 4, 1, 1, 0.5); }");
  set_file_time(dir + "gen/main.nut", 4000100);
  EXPECT_TRUE(world_gen_reload_check());
  EXPECT_FALSE(has_error_message());
  EXPECT_EQ(hmap[99], 4.0f);
#endif
}
