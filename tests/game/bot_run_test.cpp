// The balance bot through the real game binary: its input goes the way a
// person's does, so its run records and replays to the same world; and on
// a seed of world 1 it raises the castle to the top and takes the portal.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/game/run_game.h"

namespace {
struct BotRun : ::testing::Test {
  std::string dir;
  void SetUp() override {
    char tmpl[] = "/tmp/tolvane-bot-XXXXXX";
    dir = mkdtemp(tmpl);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::string run(const std::string& args, int timeout_s = 120) {
    std::string out;
    EXPECT_EQ(run_game_process(dir, args + " -gfx-low", "", out, timeout_s), 0) << out;
    return out;
  }
};

std::string hash_of(const std::string& out) {
  size_t p = out.rfind("world hash: ");
  return p == std::string::npos ? "" : out.substr(p + 12, 16);
}

// The step of the first line containing `text` ("... at step N"), -1 when none.
int step_of(const std::string& out, const std::string& text) {
  size_t p = out.find(text);
  if (p == std::string::npos) return -1;
  size_t at = out.find("at step ", p);
  return at == std::string::npos ? -1 : std::atoi(out.c_str() + at + 8);
}
}  // namespace

// Played headless (no panel laid out), the bot still picks its spells, and
// its record replays to the same world in a window of another size, and
// headless again; a windowed bot run gives the same world too.
TEST_F(BotRun, ItsRunRecordsAndReplaysToTheSameWorldWindowedOrHeadless) {
  std::string rec = dir + "/bot.txt";
  // Long enough to pick Castle from the panel and raise the first level.
  std::string played = run("-headless -seed 3 -bot -steps 900 -record '" + rec + "'");
  EXPECT_GE(step_of(played, "castle level 1 reached"), 0) << played;
  ASSERT_EQ(hash_of(played).size(), 16u) << played;
  std::string replayed = run("-720 -replay '" + rec + "' -frame-steps 13");
  EXPECT_EQ(hash_of(replayed), hash_of(played));
  EXPECT_GE(step_of(replayed, "castle level 1 reached"), 0) << "the replay raised the castle too, without the bot";
  EXPECT_EQ(hash_of(run("-headless -replay '" + rec + "'")), hash_of(played));
  EXPECT_EQ(hash_of(run("-seed 3 -bot -steps 900 -frame-steps 50")), hash_of(played));
}

// Six minutes of game time, headless.
TEST_F(BotRun, CompletesTheFirstWorld) {
  std::string out = run("-headless -seed 1 -bot -steps 9000", 400);
  int portal = step_of(out, "world 2 begins at step");
  ASSERT_GE(portal, 0) << out;
  EXPECT_GE(portal, 20 * 60 * 4) << "not before four minutes";
  EXPECT_LE(portal, 20 * 60 * 10) << "within ten minutes";
  EXPECT_LT(step_of(out, "castle level 1 reached"), step_of(out, "castle level 3 reached"));
}
