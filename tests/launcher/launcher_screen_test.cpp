// The settings window driven through the platform's input queue: defaults,
// stored values, the rows that follow the quality, and saving on Quit and Start.
#include "launcher/launcher_screen.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "launcher/swrender.h"
#include "platform/globals.h"
#include "platform/input.h"
#include "platform/vk_codes.h"
#include "tests/platform/test_config_dir.h"

namespace {
std::vector<std::string> calls;
void record_start() { calls.push_back("start"); }
void record_exit(int code) { calls.push_back("exit " + std::to_string(code)); }
bool browser_opens = true;
bool record_site() {
  calls.push_back("site");
  return browser_opens;
}
void no_keys_held(KeyboardState& ks) { std::memset(&ks, 0, sizeof(ks)); }

std::string read_file(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

struct LauncherScreen : ::testing::Test {
  TempConfigDir cfg;
  SoftwareGuiRenderer renderer;
  std::vector<uint32_t> pixels;
  LauncherSettings settings;
  LauncherHandler* handler = nullptr;
  GuiScreen* screen = nullptr;

  void SetUp() override {
    calls.clear();
    browser_opens = true;
    set_keyboard_state_reader(no_keys_held);
    register_standard_gui_behaviours();
    clear_input_step();
  }
  void TearDown() override {
    delete screen;
    delete handler;
    clear_input_step();
    set_keyboard_state_reader(nullptr);
  }

  void writeSettings(const std::string& values) {
    std::filesystem::create_directories(std::filesystem::path(cfg.settingsFile()).parent_path());
    std::ofstream(cfg.settingsFile()) << "Windows Registry Editor Version 5.00\n\n"
                                         "[HKEY_CURRENT_USER\\SOFTWARE\\Mirevast Games\\Tolvane]\n"
                                      << values;
  }

  // Start-up as the program does it, on a w x h buffer.
  void start(int w = 640, int h = 512) {
    pixels.assign(size_t(w) * h, 0);
    renderer.setBuffer(pixels.data(), w * 4, w, h);
    d3d_wd = w, d3d_ht = h;
    renderer.setFont(renderer.loadFont(BIN_DIR "/font.tga"));
    read_launcher_settings(settings);
    screen = new GuiScreen(&renderer, build_launcher_tree(renderer.glyphSize()), LAUNCHER_DESIGN_W,
                           LAUNCHER_DESIGN_H);
    refresh_launcher_screen(screen->root, settings);
    LauncherActions actions;
    actions.startGame = record_start;
    actions.closeAndExit = record_exit;
    actions.openSite = record_site;
    handler = new LauncherHandler(settings, actions);
    screen->root->addHandler(handler, -1);
  }

  GuiElement* byId(uint32_t id) { return screen->root->findById(id); }
  uint32_t normalColor(uint32_t id) { return byId(id)->findByName(".normal")->background; }
  bool on(uint32_t id) { return normalColor(id) == 0xFFAA4411; }

  void click(float x, float y) {
    push_input_event(EV_MOUSE_MOVE, 0, 0, 0, x, y);
    push_input_event(EV_BUTTON_DOWN, 1, 0, IF_LBUTTON, x, y);
    push_input_event(EV_BUTTON_UP, 1, 0, 0, x, y);
    screen->processInput();
  }
  void click(uint32_t id) {
    const GuiRect& r = byId(id)->paddingRect;
    click((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  }
  bool rowHidden(uint32_t box_id) { return byId(box_id)->parent->isHidden(); }
};
}  // namespace

TEST_F(LauncherScreen, DefaultsWithoutStoredValues) {
  start();
  EXPECT_FALSE(on(CMD_FULLSCREEN));
  EXPECT_TRUE(on(CMD_VSYNC));
  EXPECT_FALSE(on(CMD_ANTIALIASING));
  EXPECT_TRUE(on(CMD_OBJECT_SHADOWS));
  EXPECT_FALSE(on(CMD_LAND_SHADOWS_0));
  EXPECT_FALSE(on(CMD_LAND_SHADOWS_0 + 1));
  EXPECT_TRUE(on(CMD_LAND_SHADOWS_0 + 2));
  EXPECT_FALSE(on(CMD_GFX_QUALITY_0));
  EXPECT_TRUE(on(CMD_GFX_QUALITY_0 + 1));
  EXPECT_FALSE(rowHidden(CMD_LAND_SHADOWS_0));
  EXPECT_FALSE(rowHidden(CMD_OBJECT_SHADOWS));
  EXPECT_EQ(normalColor(CMD_FULLSCREEN), 0xFF000000u);
  EXPECT_FALSE(std::filesystem::exists(cfg.settingsFile())) << "reading writes nothing";
}

TEST_F(LauncherScreen, StoredValuesAreShownAndAnUnknownQualityIsHigh) {
  writeSettings("\"flags\"=dword:00000003\n\"land_shadows\"=dword:00000001\n\"gfx_quality\"=\"Medium\"\n");
  start();
  EXPECT_TRUE(on(CMD_FULLSCREEN));
  EXPECT_TRUE(on(CMD_ANTIALIASING));
  EXPECT_FALSE(on(CMD_VSYNC));
  EXPECT_FALSE(on(CMD_OBJECT_SHADOWS));
  EXPECT_TRUE(on(CMD_LAND_SHADOWS_0 + 1));
  EXPECT_TRUE(on(CMD_GFX_QUALITY_0 + 1));
  delete screen, delete handler;
  screen = nullptr, handler = nullptr;
  settings = LauncherSettings();
  writeSettings("\"gfx_quality\"=\"LOW\"\n");
  start();
  EXPECT_TRUE(on(CMD_GFX_QUALITY_0)) << "names match in any letter case";
  EXPECT_TRUE(rowHidden(CMD_LAND_SHADOWS_0));
  EXPECT_TRUE(rowHidden(CMD_OBJECT_SHADOWS));
}

TEST_F(LauncherScreen, LowHidesBothShadowRowsAndHighBringsThemBackUnchanged) {
  start();
  click(CMD_LAND_SHADOWS_0);
  click(CMD_OBJECT_SHADOWS);
  EXPECT_TRUE(on(CMD_LAND_SHADOWS_0));
  EXPECT_FALSE(on(CMD_LAND_SHADOWS_0 + 2));
  const GuiRect land = byId(CMD_LAND_SHADOWS_0 + 1)->paddingRect;
  click(CMD_GFX_QUALITY_0);
  EXPECT_EQ(settings.gfxQuality, 0);
  EXPECT_TRUE(rowHidden(CMD_LAND_SHADOWS_0));
  EXPECT_TRUE(rowHidden(CMD_OBJECT_SHADOWS));
  click((land.left + land.right) / 2, (land.top + land.bottom) / 2);
  EXPECT_EQ(settings.landShadows, 0) << "a hidden choice cannot be clicked";
  click(CMD_GFX_QUALITY_0 + 1);
  EXPECT_FALSE(rowHidden(CMD_LAND_SHADOWS_0));
  EXPECT_TRUE(on(CMD_LAND_SHADOWS_0));
  EXPECT_FALSE(on(CMD_OBJECT_SHADOWS));
  EXPECT_STREQ(byId(CMD_LAND_SHADOWS_0)->findByName(".normal")->isHidden() ? "hidden" : "shown", "shown")
      << "buttons in a row that comes back show their normal state";
  EXPECT_TRUE(calls.empty());
}

TEST_F(LauncherScreen, QuitSavesAndExitsWithZero) {
  start();
  click(CMD_FULLSCREEN);
  click(CMD_GFX_QUALITY_0);
  click(CMD_VISIT_SITE);
  EXPECT_EQ(calls, std::vector<std::string>{"site"});
  click(CMD_QUIT);
  EXPECT_EQ(calls, (std::vector<std::string>{"site", "exit 0"}));
  std::string saved = read_file(cfg.settingsFile());
  EXPECT_NE(saved.find("\"flags\"=dword:0000000d"), std::string::npos) << saved;
  EXPECT_NE(saved.find("\"land_shadows\"=dword:00000002"), std::string::npos) << saved;
  EXPECT_NE(saved.find("\"gfx_quality\"=\"low\""), std::string::npos) << saved;
}

TEST_F(LauncherScreen, TheSoundRowShowsAndSavesTheSwitchAndTheVolume) {
  // Volumes the launcher does not show survive its save.
  writeSettings("\"sound_master_volume\"=dword:0000004b\n\"sound_music_volume\"=dword:00000011\n");
  start();
  EXPECT_TRUE(on(CMD_SOUND));
  EXPECT_TRUE(on(CMD_SOUND_LEVEL_1 + 2));  // 75 %
  EXPECT_FALSE(on(CMD_SOUND_LEVEL_1 + 3));
  click(CMD_SOUND);
  click(CMD_SOUND_LEVEL_1 + 1);
  EXPECT_FALSE(on(CMD_SOUND));
  EXPECT_TRUE(on(CMD_SOUND_LEVEL_1 + 1));
  EXPECT_FALSE(on(CMD_SOUND_LEVEL_1 + 2));
  click(CMD_QUIT);
  std::string saved = read_file(cfg.settingsFile());
  EXPECT_NE(saved.find("\"sound_enabled\"=dword:00000000"), std::string::npos) << saved;
  EXPECT_NE(saved.find("\"sound_master_volume\"=dword:00000032"), std::string::npos) << saved;
  EXPECT_NE(saved.find("\"sound_music_volume\"=dword:00000011"), std::string::npos) << saved;
}

TEST_F(LauncherScreen, StartSavesThenStartsTheGameThenExits) {
  start(1280, 1088);
  // The root keeps its design size at the largest whole scale and is centred.
  EXPECT_EQ(screen->textScale, 2);
  EXPECT_FLOAT_EQ(screen->root->paddingRect.left, 0);
  EXPECT_FLOAT_EQ(screen->root->paddingRect.top, 32);
  click(CMD_ANTIALIASING);
  click(CMD_START);
  EXPECT_EQ(calls, (std::vector<std::string>{"start", "exit 0"}));
  EXPECT_NE(read_file(cfg.settingsFile()).find("\"flags\"=dword:0000000e"), std::string::npos);
}

TEST_F(LauncherScreen, TheWindowShowsTheLayoutInItsColours) {
  start();
  click(CMD_FULLSCREEN);
  push_input_event(EV_MOUSE_MOVE, 0, 0, 0, 5, 5);
  screen->processInput();
  renderer.clear(0);
  screen->draw();
  auto px = [&](float x, float y) { return pixels[size_t(y) * 640 + size_t(x)]; };
  EXPECT_EQ(px(2, 2), 0x00222222u) << "the root fills a 640 x 512 window";
  const GuiRect& fs = byId(CMD_FULLSCREEN)->paddingRect;
  EXPECT_EQ(px(fs.left + 8, fs.top + 8), 0x00AA4411u) << "full screen is on now";
  EXPECT_EQ(px(fs.left, fs.top), 0x00221100u) << "its border";
  const GuiRect& quit = byId(CMD_QUIT)->paddingRect;
  EXPECT_EQ(px(quit.left + 3, quit.top + 3), 0x00323232u);
  EXPECT_EQ(px(quit.left, quit.top + 3), 0x00505050u) << "light left border";
  EXPECT_EQ(px(quit.right - 1, quit.top + 3), 0x001E1E1Eu) << "dark right border";
  EXPECT_FLOAT_EQ(quit.left, 16);
  EXPECT_FLOAT_EQ(quit.bottom, 512 - 32);
  const GuiRect& start_btn = byId(CMD_START)->paddingRect;
  EXPECT_FLOAT_EQ(start_btn.right, 640 - 16);
}

TEST_F(LauncherScreen, AStoredValueOutOfRangeShowsAndSavesTheDefault) {
  writeSettings("\"land_shadows\"=dword:00000009\n");
  start();
  EXPECT_TRUE(on(CMD_LAND_SHADOWS_0 + 2)) << "the default, not nothing";
  EXPECT_FALSE(on(CMD_LAND_SHADOWS_0));
  click(CMD_QUIT);
  std::string saved = read_file(cfg.settingsFile());
  EXPECT_NE(saved.find("\"land_shadows\"=dword:00000002"), std::string::npos) << saved;
}

TEST_F(LauncherScreen, ReturnStartsEscQuitsAndVisitSiteSaysWhereItWent) {
  start();
  GuiElement* footer = screen->root->findByName("footer");
  ASSERT_NE(footer, nullptr);
  click(CMD_VISIT_SITE);
  EXPECT_NE(std::string(footer->text).find("Opened https://"), std::string::npos) << footer->text;
  browser_opens = false;
  click(CMD_VISIT_SITE);
  EXPECT_NE(std::string(footer->text).find("No browser could be opened"), std::string::npos) << footer->text;

  push_input_event(EV_KEY_DOWN, VK_ESCAPE, 0, 0, 0, 0);
  launcher_keys(screen->root);
  EXPECT_EQ(calls, (std::vector<std::string>{"site", "site", "exit 0"}));
  clear_input_step();
  push_input_event(EV_KEY_DOWN, VK_RETURN, 0, 0, 0, 0);
  launcher_keys(screen->root);
  EXPECT_EQ(calls, (std::vector<std::string>{"site", "site", "exit 0", "start", "exit 0"}));
  clear_input_step();
  launcher_keys(screen->root);
  EXPECT_EQ(calls.size(), 5u) << "nothing without a key";
}
