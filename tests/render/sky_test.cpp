// The sky's colour table: the script in its own VM, defaults on failure,
// derived entries, smooth sun moves and reloads.
#include <gtest/gtest.h>
#include <squirrel.h>
#include <sys/stat.h>
#include <utime.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/globals.h"
#include "platform/messages.h"
#include "render/sky.h"
#include "render/sky_script.h"
#include "script/sqVMReload.h"


namespace {
std::string dir;

void write_file(const std::string& name, const std::string& text, int64_t mtime) {
  std::string path = dir + name;
  std::ofstream(path) << text;
  utimbuf t{time_t(mtime), time_t(mtime)};
  utime(path.c_str(), &t);
}

// A script whose colour i is [i + elevation / 100, i * 0.1, times it ran].
const char* COUNTING =
    "runs <- (\"runs\" in getroottable()) ? runs + 1 : 1;\n"
    "function get_sky_colors(e) {\n"
    "  local a = [];\n"
    "  for (local i = 0; i < 10; i++) a.append([i + e / 100.0, i * 0.1, runs]);\n"
    "  return a;\n"
    "}\n";

struct SkyTest : ::testing::Test {
  static void SetUpTestSuite() {
    setenv("TOLVANE_NO_MSGBOX", "1", 1);
    char tmpl[] = "/tmp/tolvane_sky_XXXXXX";
    dir = std::string(mkdtemp(tmpl)) + "/";
    std::snprintf(app_path, sizeof(app_path), "%s", dir.c_str());
  }
  static void TearDownTestSuite() {
    std::string cmd = "rm -rf '" + dir + "'";
    if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", dir.c_str());
  }
  void TearDown() override {
    Sky::set_color_source(nullptr);
    close_sky_script();
  }
  // Opens the script and moves the sun at once; returns the log.
  std::string open_and_set(const std::string& text, const vec4f& sun) {
    write_file("sky.nut", text, 1000);
    testing::internal::CaptureStdout();
    Sky::set_color_source(open_sky_script("sky.nut"));
    Sky::set_sun_dir(sun, false);
    return testing::internal::GetCapturedStdout();
  }
  static void expect_defaults() {
    vec4f d[Sky::SCRIPT_COLORS];
    Sky::default_colors(d);
    for (int i = 0; i < Sky::SCRIPT_COLORS; i++)
      for (int c = 0; c < 4; c++) EXPECT_FLOAT_EQ(Sky::table()[i][c], d[i][c]) << i;
  }
};

TEST_F(SkyTest, NoColourFunctionGivesTheDefaultsQuietly) {
  std::string log = open_and_set("unrelated <- 1;\n", vec4f(0, 1, 0, 0));
  EXPECT_EQ(log.find("Error in sky script"), std::string::npos) << log;
  expect_defaults();
  // Entries 10 and 11 of the defaults: entry 1 is black, so both are entry 0.
  EXPECT_FLOAT_EQ(Sky::table()[10].x, 1);
  EXPECT_FLOAT_EQ(Sky::table()[11].z, 1);
}

TEST_F(SkyTest, BrokenResultsAreReportedAndFallBackToTheDefaults) {
  for (const char* body : {"return [[1,2,3],[1,2,3]];",           // too few colours
                           "local a = []; for (local i = 0; i < 10; i++) a.append([1, 2]); return a;",  // short colour
                           "return [[1,2,3]] * 2;",               // run-time error
                           "local a = []; for (local i = 0; i < 10; i++) a.append([\"x\", 2, 3]); return a;",
                           "local a = []; for (local i = 0; i < 10; i++) a.append([1, 0.0 / 0.0, 3]); return a;"}) {
    std::string log = open_and_set(std::string("function get_sky_colors(e) { ") + body + " }\n", vec4f(0, 1, 1, 0));
    EXPECT_NE(log.find("Error in sky script:\n"), std::string::npos) << body << "\n" << log;
    expect_defaults();
    TearDown();
  }
}

TEST_F(SkyTest, ScriptColoursAndDerivedEntries) {
  open_and_set(
      "function get_sky_colors(e) { return [[0.1,0.2,0.3],[1,2,3],[0.5,0.25,0.1],"
      "[3,0,0],[4,0,0],[5,0,0],[6,0,0],[7,0,0],[8,0,0],[e,0,0]]; }\n",
      vec4f(0, 1, 1, 0));
  const vec4f* t = Sky::table();
  EXPECT_FLOAT_EQ(t[3].x, 3);
  EXPECT_FLOAT_EQ(t[0].w, 0);
  EXPECT_NEAR(t[9].x, 45, 1e-3f);  // the elevation in degrees
  for (int c = 0; c < 3; c++) {
    EXPECT_NEAR(t[10][c], std::exp(-t[2][c] / 0.2f) * t[1][c] + t[0][c], 1e-5f);
    EXPECT_NEAR(t[11][c], std::exp(-t[2][c]) * t[1][c] + t[0][c], 1e-5f);
  }
  EXPECT_FLOAT_EQ(Sky::sun_const().w, Sky::SUN_DISC_COS);
}

TEST_F(SkyTest, SmoothSunMoveBlendsWithinOneStep) {
  open_and_set(COUNTING, vec4f(0, 0, 1, 0));  // elevation 0
  Sky::begin_update();
  Sky::set_sun_dir(vec4f(0, 1, 0, 0), true);  // to 90 degrees, blended
  Sky::update_frame(0);
  EXPECT_NEAR(Sky::table()[0].x, 0, 1e-5f);
  EXPECT_NEAR(Sky::sun_dir().z, 1, 1e-5f);
  Sky::update_frame(0.5f);
  EXPECT_NEAR(Sky::table()[0].x, 0.45f, 1e-4f);
  EXPECT_NEAR(Sky::sun_dir().y, std::sqrt(0.5f), 1e-5f);  // normalised halfway direction
  Sky::update_frame(1);
  EXPECT_NEAR(Sky::table()[0].x, 0.9f, 1e-4f);
  EXPECT_NEAR(Sky::sun_dir().y, 1, 1e-5f);
  // The next step starts from where this one ended.
  Sky::begin_update();
  Sky::update_frame(0);
  EXPECT_NEAR(Sky::table()[0].x, 0.9f, 1e-4f);
}

TEST_F(SkyTest, ZeroSunDirectionStaysZero) {
  open_and_set(COUNTING, vec4f(0, 0, 0, 0));
  vec4f s = Sky::sun_dir();
  EXPECT_EQ(s.x, 0);
  EXPECT_EQ(s.y, 0);
  EXPECT_EQ(s.z, 0);
  EXPECT_NEAR(Sky::table()[1].x, 1, 1e-5f);  // elevation 0
  Sky::update_frame(0.5f);
  for (int i = 0; i < Sky::TABLE_ENTRIES; i++) EXPECT_TRUE(std::isfinite(Sky::table()[i].x));
  EXPECT_EQ(Sky::elevation_deg(vec4f(0, 2, 0, 0)), 90.f);  // clamped, never NaN
}

TEST_F(SkyTest, ReloadRunsOnlyChangedFilesAndUpdatesTheColours) {
  write_file("sky_part.nut", "part_runs <- (\"part_runs\" in getroottable()) ? part_runs + 1 : 1;\n", 1000);
  open_and_set(std::string("include(\"sky_part.nut\");\n") + COUNTING, vec4f(0, 0, 1, 0));
  EXPECT_NEAR(Sky::table()[2].y, 0.2f, 1e-5f);
  Sky::check_reload();  // nothing changed
  // Only the included file changed: the main file does not run again.
  write_file("sky_part.nut", "part_runs <- part_runs + 10;\n", 2000);
  Sky::check_reload();
  EXPECT_FLOAT_EQ(Sky::table()[2].z, 1);
  // The main file changes its colours; touching back in time counts too.
  write_file("sky.nut",
             "function get_sky_colors(e) { local a = []; for (local i = 0; i < 10; i++) a.append([0.25, 0.5, 0.75]);"
             " return a; }\n",
             500);
  Sky::check_reload();
  EXPECT_FLOAT_EQ(Sky::table()[2].y, 0.5f);
  EXPECT_FLOAT_EQ(Sky::previous_colors()[2].y, 0.5f);
  // A broken edit keeps the game going with the defaults, and the next fix is picked up.
  write_file("sky.nut", "function get_sky_colors(e) { return 1 +; }\n", 600);
  testing::internal::CaptureStdout();
  Sky::check_reload();
  testing::internal::GetCapturedStdout();
  write_file("sky.nut", COUNTING, 700);
  Sky::check_reload();
  EXPECT_NEAR(Sky::table()[2].y, 0.2f, 1e-5f);
  EXPECT_FLOAT_EQ(Sky::table()[2].z, 2);  // the main file's second run
}

// Where message boxes are off, the on-screen band is all a modder sees: a
// sky error must reach it with the file, line and column (relative to the
// program's folder), at run time and on a reload, and leave when fixed.
TEST_F(SkyTest, ErrorsShowTheirPlaceOnScreenAndInTheLog) {
  set_error_message(nullptr);
  std::string log = open_and_set("function get_sky_colors(e) {\n  local a = null;\n  return a.len();\n}\n", vec4f(0, 1, 1, 0));
  EXPECT_STREQ(get_error_message(), "Error in sky script:\nsky.nut:3:12: the index 'len' does not exist");
  EXPECT_NE(log.find("sky.nut:3:12: ERROR: the index 'len' does not exist"), std::string::npos) << log;
  EXPECT_EQ(log.find(dir), std::string::npos) << "paths are relative to the program's folder: " << log;

  write_file("sky.nut", COUNTING, 2000);
  Sky::check_reload();
  EXPECT_FALSE(has_error_message()) << "fixed: " << get_error_message();

  // A broken edit: the working function stays, the compile error shows.
  write_file("sky.nut", "function get_sky_colors(e) {\n  return 1 +;\n}\n", 3000);
  testing::internal::CaptureStdout();
  Sky::check_reload();
  log = testing::internal::GetCapturedStdout();
  EXPECT_EQ(std::string(get_error_message()).rfind("Error in sky script:\nsky.nut:2:13: ", 0), 0u) << get_error_message();
  EXPECT_NE(log.find("sky.nut:2:13: error: "), std::string::npos) << log;
  write_file("sky.nut", COUNTING, 3500);
  Sky::check_reload();
  EXPECT_FALSE(has_error_message()) << get_error_message();
  // Someone else's message stays when the sky is fixed.
  set_error_message("Error in world gen script:\nx");
  write_file("sky.nut", COUNTING, 4000);
  Sky::check_reload();
  EXPECT_STREQ(get_error_message(), "Error in world gen script:\nx");
  set_error_message(nullptr);
}

// A sky script that does not compile at start-up is still fatal, but the
// message says where.
TEST_F(SkyTest, BrokenScriptAtStartUpIsFatalWithItsPlace) {
  write_file("sky_broken.nut", "function get_sky_colors(e) {\n  return [;\n}\n", 1000);
  EXPECT_EXIT(open_sky_script("sky_broken.nut"), testing::ExitedWithCode(100),
              "error in sky script\nsky_broken.nut:2:11: ");
}

TEST_F(SkyTest, AColourFunctionThatNeverReturnsIsStoppedOnceAndTheFixIsPickedUp) {
#ifndef SQ_HAS_CALLTIMELIMIT
  GTEST_SKIP() << "the installed Squirrel has no watchdog";
#endif
  set_error_message(nullptr);
  open_and_set("function get_sky_colors(e) {\n  while (true) {}\n}\n", vec4f(0, 1, 1, 0));
  EXPECT_EQ(std::string(get_error_message()).rfind("Error in sky script:\nsky.nut:2:", 0), 0u) << get_error_message();
  char stop[64];  // the limit as this build applies it
  std::snprintf(stop, sizeof(stop), ": script ran for more than %g s",
                double(SqReloadableVM::applied_time_limit(SKY_SCRIPT_TIME_LIMIT_S)));
  EXPECT_NE(std::string(get_error_message()).find(stop), std::string::npos) << get_error_message();
  expect_defaults();
  // Stopped for good until its file changes: later frames do not stall.
  testing::internal::CaptureStdout();
  Sky::set_sun_dir(vec4f(0, 1, 2, 0), false);
  EXPECT_EQ(testing::internal::GetCapturedStdout().find("Error in sky script"), std::string::npos);
  write_file("sky.nut", COUNTING, 2000);
  Sky::check_reload();
  EXPECT_NEAR(Sky::table()[2].y, 0.2f, 1e-5f);
}

// The game's own script gives a blue noon, a red dusk and a dark night.
TEST_F(SkyTest, GameScriptMakesADay) {
  std::ifstream in(DATA_DIR "/sky.nut");
  std::stringstream ss;
  ss << in.rdbuf();
  auto at = [&](float deg) {
    float e = deg * 0.0174533f;
    open_and_set(ss.str(), vec4f(0, std::sin(e), std::cos(e), 0));
    struct {
      vec4f zenith, horizon, sun, ambient;
    } r{Sky::table()[3], Sky::table()[4], Sky::table()[1], Sky::table()[0]};
    TearDown();
    return r;
  };
  auto noon = at(70), dusk = at(1), night = at(-20);
  EXPECT_GT(noon.zenith.z, noon.zenith.x * 2);
  EXPECT_GT(noon.sun.x + noon.sun.y + noon.sun.z, 2.f);
  EXPECT_GT(dusk.horizon.x, dusk.horizon.z * 2);
  EXPECT_GT(dusk.sun.x, dusk.sun.z * 2);  // a warm low sun
  EXPECT_LT(night.ambient.x + night.ambient.y + night.ambient.z, 0.3f);
  EXPECT_EQ(night.sun.x + night.sun.y + night.sun.z, 0.f);
}
}  // namespace
