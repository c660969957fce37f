// read_settings: defaults, stored values and the command line.
#include <gtest/gtest.h>

#include "platform/globals.h"
#include "platform/platform.h"
#include "app/settings.h"
#include "tests/platform/test_config_dir.h"

namespace {
void defaults() {
  gfx_quality = 1;
  land_shadow_quality = 2;
  use_obj_shadows = true;
  dev_mode = false;
  automation = AutomationOptions();
}
}  // namespace

TEST(ReadSettings, DefaultsStoredValuesAndCommandLineOrder) {
  TempConfigDir tmp;
  defaults();
  const char* none[] = {"game"};
  read_settings(1, none);
  EXPECT_FALSE(start_fullscreen);
  EXPECT_EQ(req_width, 0);
  EXPECT_FALSE(use_ppaa);
  EXPECT_TRUE(use_vsync);
  EXPECT_EQ(gfx_quality, 1);

  set_config_int("flags", 1 | 2);  // full screen, AA; vsync and shadows off
  set_config_int("land_shadows", 0);
  set_config_str("gfx_quality", "LOW", 3);
  read_settings(1, none);
  EXPECT_TRUE(start_fullscreen);
  EXPECT_TRUE(use_ppaa);
  EXPECT_FALSE(use_vsync);
  EXPECT_FALSE(use_obj_shadows);
  EXPECT_EQ(land_shadow_quality, 0);
  EXPECT_EQ(gfx_quality, 0) << "names compare case-insensitively";

  const char* args[] = {"game", "-720", "-360", "-fullscr", "-win", "-gfx-high", "-noaa", "-bogus", "-novs"};
  read_settings(9, args);
  EXPECT_EQ(req_width, 640);
  EXPECT_EQ(req_height, 360);
  EXPECT_FALSE(start_fullscreen);
  EXPECT_EQ(gfx_quality, 1);
  EXPECT_FALSE(use_ppaa);
  EXPECT_FALSE(use_vsync);

  defaults();
  set_config_str("gfx_quality", "ultra", -1);
  read_settings(1, none);
  EXPECT_EQ(gfx_quality, 1) << "an unknown name leaves the quality alone";
}

TEST(ReadSettings, AutomationOptions) {
  AutomationOptions o;
  const char* args[] = {"game", "-seed", "18446744073709551615", "-steps", "40", "-shot", "out.png",
                        "-cam", "1.5,20,-3,0.5,-0.25", "-sun", "12.5", "-steps"};
  parse_automation_options(12, args, o);
  EXPECT_TRUE(o.has_seed);
  EXPECT_EQ(o.seed, 18446744073709551615ull);
  EXPECT_EQ(o.steps, 40);
  EXPECT_EQ(o.shot_file, "out.png");
  ASSERT_TRUE(o.has_cam);
  EXPECT_FLOAT_EQ(o.cam[2], -3.0f);
  EXPECT_FLOAT_EQ(o.cam[4], -0.25f);
  EXPECT_TRUE(o.has_sun);
  EXPECT_FLOAT_EQ(o.sun_elevation_deg, 12.5f);

  AutomationOptions bad;
  const char* wrong[] = {"game", "-seed", "-5", "-cam", "1,2,3", "-steps", "x", "-help"};
  parse_automation_options(8, wrong, bad);
  EXPECT_FALSE(bad.has_seed);
  EXPECT_FALSE(bad.has_cam);
  EXPECT_EQ(bad.steps, 0);
  EXPECT_TRUE(bad.help);

  // strtof reads "nan" and "inf": a camera there shows nothing, so refused.
  for (const char* cam : {"nan,1,1,0,0", "1,inf,1,0,0", "1,1,1,-INF,0", "1,1,1,0,NAN"}) {
    AutomationOptions o2;
    const char* nonfinite[] = {"game", "-cam", cam, "-headless"};
    parse_automation_options(4, nonfinite, o2);
    EXPECT_FALSE(o2.has_cam) << cam;
    EXPECT_TRUE(o2.headless);
  }
}
