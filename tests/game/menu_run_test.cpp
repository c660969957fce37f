// The Esc menu in the real game, driven through the input queue by
// test-written input records: it opens and holds the simulation, the arrows
// and Enter reach the controls, a new key for Forward is taken, stored and
// moves the player once the menu is closed, and the old key no longer does.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/game/run_game.h"

namespace {
bool contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

std::string read_file(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// One step looking down, with keys held ("-" for none) and the step's
// events; the pointer rests in a corner, away from the menu's rows (which it
// would pick by hovering).
std::string step(const std::string& held = "-", const std::string& events = "") {
  return "s 0 -0.5 0 4 4 1 0 " + held + "\n" + events;
}
std::string press(int vk, int ch = 0) {
  return "e 1 " + std::to_string(vk) + " 0 " + std::to_string(ch) + " 0 4 4\ne 2 " + std::to_string(vk) +
         " 0 0 0 4 4\n";
}
constexpr int VK_ESC = 27, VK_ENTER = 13, VK_DOWN_ARROW = 40, KEY_I = 73, KEY_W = 87;

// Esc opens the menu; Down four times reaches Controls, Enter opens it;
// Down twice reaches Forward, Enter asks for a key, I is the key; Esc twice
// goes back and closes the menu. Then `held` is held for 40 steps.
std::string menu_run(const std::string& held) {
  std::string s = "tolvane-input 1\nseed 42\ngfx 0\nsteps\n";
  s += step() + step("-", press(VK_ESC, 27));
  for (int i = 0; i < 4; i++) s += step("-", press(VK_DOWN_ARROW));
  s += step("-", press(VK_ENTER, 13));
  s += step("-", press(VK_DOWN_ARROW)) + step("-", press(VK_DOWN_ARROW));
  s += step("-", press(VK_ENTER, 13)) + step("-", press(KEY_I, 'i'));
  s += step("-", press(VK_ESC, 27)) + step("-", press(VK_ESC, 27));
  for (int i = 0; i < 40; i++) s += step(held);
  return s;
}

struct MenuRun : ::testing::Test {
  std::string dir;
  void SetUp() override {
    char tmpl[] = "/tmp/tolvane-menu-XXXXXX";
    dir = mkdtemp(tmpl);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  // Each run has its own settings folder, as each binds its own key.
  std::string replay(const std::string& name, const std::string& record) {
    std::string path = dir + "/" + name + ".txt";
    std::ofstream(path, std::ios::binary) << record;
    std::string out;
    EXPECT_EQ(run_game_process(dir + "/" + name, "-replay '" + path + "' -frame-steps 20", "", out), 0) << out;
    return out;
  }
  static std::string hash(const std::string& out) {
    size_t p = out.rfind("world hash: ");
    return p == std::string::npos ? "" : out.substr(p + 12, 16);
  }
};
}  // namespace

TEST_F(MenuRun, ARebindingFromTheMenuIsStoredAndUsedAndTheOldKeyIsFree) {
  std::string with_i = replay("i", menu_run(std::to_string(KEY_I)));
  std::string with_w = replay("w", menu_run(std::to_string(KEY_W)));
  std::string still = replay("still", menu_run("-"));
  EXPECT_TRUE(contains(with_i, "menu: opened")) << with_i;
  EXPECT_TRUE(contains(with_i, "menu: Forward bound to I")) << with_i;
  EXPECT_TRUE(contains(with_i, "menu: closed")) << with_i;
  EXPECT_NE(read_file(dir + "/i/Mirevast Games/Tolvane/settings.reg").find("\"key_forward\"=dword:00000049"),
            std::string::npos);
  ASSERT_EQ(hash(still).size(), 16u) << still;
  EXPECT_NE(hash(with_i), hash(still)) << "I flies the player forward";
  EXPECT_EQ(hash(with_w), hash(still)) << "W is no longer bound";
}

// The options page's sound rows: Enter turns the sound off, Left lowers the
// volume by a step a press; both are stored where the launcher and the
// F7/F8/F10 keys keep them, and the next start reads them.
TEST_F(MenuRun, SoundRowsChangeAndStoreTheVolumes) {
  constexpr int VK_LEFT_ARROW = 37;
  std::string s = "tolvane-input 1\nseed 42\ngfx 0\nsteps\n";
  s += step() + step("-", press(VK_ESC, 27));
  for (int i = 0; i < 3; i++) s += step("-", press(VK_DOWN_ARROW));
  s += step("-", press(VK_ENTER, 13));  // Options
  for (int i = 0; i < 9; i++) s += step("-", press(VK_DOWN_ARROW));
  s += step("-", press(VK_ENTER, 13));  // Sound: off
  s += step("-", press(VK_DOWN_ARROW));
  s += step("-", press(VK_LEFT_ARROW)) + step("-", press(VK_LEFT_ARROW));  // Volume: 80 -> 60
  s += step("-", press(VK_ESC, 27)) + step("-", press(VK_ESC, 27)) + step();
  replay("sound", s);
  std::string settings = read_file(dir + "/sound/Mirevast Games/Tolvane/settings.reg");
  EXPECT_TRUE(contains(settings, "\"sound_master_volume\"=dword:0000003c")) << settings;
  EXPECT_TRUE(contains(settings, "\"sound_enabled\"=dword:00000000")) << settings;
  // The other volumes keep their defaults.
  EXPECT_TRUE(contains(settings, "\"sound_music_volume\"=dword:00000023")) << settings;
}
