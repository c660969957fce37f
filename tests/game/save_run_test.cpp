// Saved games through the real game: a run saved and loaded goes on exactly
// as the same run straight through; started as the launcher starts it the
// game continues from its automatic save, or from the backup when the save
// is damaged (which is kept aside, not lost); -new ignores the automatic
// save and -load refuses a damaged file with exit code 1.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/game/run_game.h"

namespace fs = std::filesystem;

namespace {
bool contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

std::string read_bytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// The world hashes a run logged with `verb` ("saved" or "loaded"), in order.
std::vector<std::string> hashes(const std::string& log, const std::string& verb) {
  std::vector<std::string> out;
  std::regex line(verb + " world \\d+ (to|from) '[^']*' \\(world hash: ([0-9a-f]{16})\\)");
  for (std::sregex_iterator it(log.begin(), log.end(), line), end; it != end; ++it) out.push_back((*it)[2]);
  return out;
}

struct SaveRun : ::testing::Test {
  std::string dir;
  void SetUp() override {
    char tmpl[] = "/tmp/tolvane-saverun-XXXXXX";
    dir = mkdtemp(tmpl);
  }
  void TearDown() override { fs::remove_all(dir); }

  // Each run has its own settings and data folder `name`.
  std::string run(const std::string& name, const std::string& args, int expect_exit = 0) {
    std::string out;
    int code = run_game_process(dir + "/" + name, args, "", out);
    EXPECT_EQ(code, expect_exit) << args << "\n" << out;
    return out;
  }
  std::string autosave(const std::string& name) const {
    return dir + "/" + name + "/Mirevast Games/Tolvane/saves/autosave.sav";
  }
};
}  // namespace

// Casts at known steps: a hill, a meteor's crater, a waterball's lake and a
// fireball. (The first world's calm start keeps wyverns away for a minute,
// longer than this run.) At low quality,
// which draws frames faster; all three at one quality, as the land's flow
// animation draws from the random sequence as its quality asks.
TEST_F(SaveRun, SavedAndLoadedTheRunGoesOnAsItWouldHave) {
  const std::string first = "-cast 5,5 -cast 20,4 -cast 60,1", second = "-cast 30,4 -cast 50,0";
  std::string straight = run("straight", "-gfx-low -seed 11 -steps 240 " + first + " -cast 190,4 -cast 210,0");
  std::string before = run("before", "-gfx-low -seed 11 -steps 160 " + first);
  fs::create_directories(dir + "/after");
  fs::copy_file(autosave("before"), dir + "/after/game.sav");
  std::string after = run("after", "-gfx-low -load '" + dir + "/after/game.sav' -steps 80 " + second);

  std::vector<std::string> straight_saved = hashes(straight, "saved"), before_saved = hashes(before, "saved");
  ASSERT_EQ(straight_saved.size(), 2u) << "when the world started and on quitting\n" << straight;
  ASSERT_EQ(before_saved.size(), 2u) << before;
  EXPECT_EQ(straight_saved[0], before_saved[0]) << "the same world was made";
  EXPECT_NE(before_saved[1], straight_saved[1]);
  std::vector<std::string> loaded = hashes(after, "loaded"), after_saved = hashes(after, "saved");
  ASSERT_EQ(loaded.size(), 1u) << after;
  EXPECT_EQ(loaded[0], before_saved[1]) << "the world as it was saved";
  ASSERT_EQ(after_saved.size(), 1u) << "only on quitting: no new world started\n" << after;
  EXPECT_EQ(after_saved[0], straight_saved[1]) << "the loaded run reached the straight run's world";
}

TEST_F(SaveRun, TheGameContinuesFromItsAutosaveOrItsBackupAndMayStartAnew) {
  // A castle grown to its top level and a crater.
  std::string play = run("p", "-gfx-low -seed 5 -mana-cheat -steps 160 -cast 5,9 -cast 30,9 -cast 55,9 -cast 90,4");
  ASSERT_TRUE(contains(play, "castle level 3 reached in world 1")) << play;
  std::vector<std::string> played = hashes(play, "saved");
  ASSERT_EQ(played.size(), 2u) << play;

  std::string back = run("p", "-gfx-low -steps 3");
  EXPECT_TRUE(contains(back, "continuing world 1 (castle level 3) from the autosave")) << back;
  ASSERT_EQ(hashes(back, "loaded").size(), 1u) << back;
  EXPECT_EQ(hashes(back, "loaded")[0], played[1]) << "the world as it was left";
  EXPECT_FALSE(contains(back, "generated world")) << "no new world was made";

  // A damaged autosave is refused by name, the game continues from the
  // backup (the save before it), and the damaged file is set aside.
  std::string path = autosave("p");
  std::string bytes = read_bytes(path);
  bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 0x40);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  std::string from_backup = run("p", "-gfx-low -steps 3");
  EXPECT_TRUE(contains(from_backup, "'" + path + "' is damaged")) << from_backup;
  EXPECT_TRUE(contains(from_backup, "continuing world 1 (castle level 3) from the autosave's backup")) << from_backup;
  ASSERT_EQ(hashes(from_backup, "loaded").size(), 1u) << from_backup;
  EXPECT_EQ(hashes(from_backup, "loaded")[0], played[1]);
  EXPECT_EQ(read_bytes(path + ".damaged"), bytes);

  // -new makes a new world; -load of a damaged file stops with its name.
  std::string fresh = run("p", "-gfx-low -new -steps 3");
  EXPECT_TRUE(contains(fresh, "generated world")) << fresh;
  EXPECT_FALSE(contains(fresh, "continuing")) << fresh;
  std::string refused = run("p", "-gfx-low -load '" + path + ".damaged' -steps 3", 1);
  EXPECT_TRUE(contains(refused, "'" + path + ".damaged' is damaged")) << refused;
  EXPECT_FALSE(contains(refused, "generated world")) << "stopped before the window opened";
}
