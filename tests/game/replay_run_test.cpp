// Record and replay through the real game binary: a recorded run replays to
// the hash it ended with, a test-written input file drives the game, pause
// holds the simulation, and a broken file is refused with its place named.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {
struct GameRunResult {
  int exit_code = -1;
  std::string output;
  bool has(const std::string& s) const { return output.find(s) != std::string::npos; }
  // The 16 hex digits after the last "world hash: ", or "" when none.
  std::string hash() const {
    size_t p = output.rfind("world hash: ");
    return p == std::string::npos ? "" : output.substr(p + 12, 16);
  }
};

struct ReplayRun : ::testing::Test {
  std::string dir;
  void SetUp() override {
    char tmpl[] = "/tmp/tolvane-replay-XXXXXX";
    dir = mkdtemp(tmpl);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  GameRunResult run(const std::string& args) {
    std::string cmd = "env XDG_CONFIG_HOME='" + dir + "' TOLVANE_NO_MSGBOX=1 SDL_VIDEODRIVER=offscreen timeout 120 '" +
                      std::string(GAME_BINARY) + "' -360 " + args + " 2>&1";
    GameRunResult r;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), p)) > 0) r.output.append(buf, n);
    int status = pclose(p);
    r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
  }

  std::string write(const std::string& name, const std::string& text) {
    std::string path = dir + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
};

// A test-written record: `steps` quiet steps looking 0.5 down, with the
// given event lines inserted before the step they belong to.
std::string quiet_steps(int steps, int event_step = -1, const std::string& events = "") {
  std::string s;
  for (int i = 0; i < steps; i++) {
    s += "s 0 -0.5 0 320 180 1 0 -\n";
    if (i == event_step) s += events;
  }
  return s;
}
}  // namespace

TEST_F(ReplayRun, RecordedRunReplaysTwiceToTheHashItEndedWith) {
  std::string rec = dir + "/run.txt";
  GameRunResult recorded = run("-seed 42 -steps 50 -cast 3,5,0 -cast 20,0,1 -record '" + rec + "'");
  ASSERT_EQ(recorded.exit_code, 0) << recorded.output;
  ASSERT_EQ(recorded.hash().size(), 16u) << recorded.output;
  GameRunResult a = run("-replay '" + rec + "'");
  GameRunResult b = run("-seed 7 -replay '" + rec + "'");  // the record's seed wins
  EXPECT_EQ(a.exit_code, 0) << a.output;
  EXPECT_TRUE(a.has("replaying 50 steps")) << a.output;
  EXPECT_TRUE(a.has("game_rnd_seed=42;")) << a.output;
  EXPECT_TRUE(b.has("game_rnd_seed=42;")) << b.output;
  EXPECT_EQ(a.hash(), recorded.hash());
  EXPECT_EQ(b.hash(), recorded.hash());
  // Another seed is another world.
  std::string other = write("other.txt", "tolvane-input 1\nseed 43\nsteps\n" + quiet_steps(50));
  std::string same = write("same.txt", "tolvane-input 1\nseed 42\nsteps\n" + quiet_steps(50));
  EXPECT_NE(run("-replay '" + other + "'").hash(), run("-replay '" + same + "'").hash());
}

TEST_F(ReplayRun, PauseHoldsTheSimulationUntilPressedAgain) {
  // The Hill cast at step 5 only happens when the game is not paused by then.
  const std::string head = "tolvane-input 1\nseed 42\ncast 5 5 0\nsteps\n";
  const std::string press_p = "e 1 80 0 112 0 320 180\n";
  GameRunResult plain = run("-replay '" + write("plain.txt", head + quiet_steps(30)) + "'");
  GameRunResult paused = run("-replay '" + write("paused.txt", head + quiet_steps(30, 1, press_p)) + "'");
  std::string twice = head + quiet_steps(4, 1, press_p) + "s 0 -0.5 0 320 180 1 0 -\n" + press_p + quiet_steps(25);
  GameRunResult resumed = run("-replay '" + write("resumed.txt", twice) + "'");
  EXPECT_TRUE(plain.has("automated cast of place 5 at step 5 flies")) << plain.output;
  EXPECT_FALSE(paused.has("automated cast of place 5")) << paused.output;
  EXPECT_TRUE(resumed.has("automated cast of place 5 at step 5 flies")) << resumed.output;
  EXPECT_EQ(paused.exit_code, 0);
  EXPECT_NE(plain.hash(), paused.hash());
}

TEST_F(ReplayRun, BrokenOrMissingFileIsRefusedNamingItsPlace) {
  GameRunResult missing = run("-replay '" + dir + "/none.txt'");
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_TRUE(missing.has("can't open input record '" + dir + "/none.txt'")) << missing.output;
  std::string bad = write("bad.txt", "tolvane-input 1\nseed 42\nsteps\ns 0 0 0 0 0 1 0 -\ne 1 x\n");
  GameRunResult broken = run("-replay '" + bad + "'");
  EXPECT_EQ(broken.exit_code, 1);
  EXPECT_TRUE(broken.has(bad + ":5: bad event line")) << broken.output;
  EXPECT_FALSE(broken.has("init d3d")) << "refused before anything opened";
  GameRunResult unwritable = run("-steps 2 -record '" + dir + "/no/such/dir/rec.txt'");
  EXPECT_EQ(unwritable.exit_code, 1);
  EXPECT_TRUE(unwritable.has("can't create input record")) << unwritable.output;
}
