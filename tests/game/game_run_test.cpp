// Starts the game as a separate process with the offscreen video driver and
// a private settings directory, and checks its log, files and exit codes.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/game/run_game.h"

namespace {
struct RunResult {
  int exit_code = -1;
  std::string output;
};

struct GameRun : ::testing::Test {
  std::string cfg;
  void SetUp() override {
    char tmpl[] = "/tmp/tolvane-game-XXXXXX";
    cfg = mkdtemp(tmpl);
  }
  void TearDown() override { std::filesystem::remove_all(cfg); }

  std::string settingsFile() const { return cfg + "/Mirevast Games/Tolvane/settings.reg"; }
  void writeSettings(const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(settingsFile()).parent_path());
    std::ofstream(settingsFile(), std::ios::binary) << text;
  }

  RunResult run(const std::string& args, const std::string& env = "") {
    RunResult r;
    r.exit_code = run_game_process(cfg, args, env, r.output);
    return r;
  }
};

bool contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }
}  // namespace

TEST_F(GameRun, StartsRunsStepsAndShutsDownInOrder) {
  RunResult r = run("-steps 10 -seed 42");
  EXPECT_EQ(r.exit_code, 0) << r.output;
  EXPECT_TRUE(contains(r.output, "app path: '")) << r.output;
  EXPECT_TRUE(contains(r.output, "Graphics quality: high"));
  EXPECT_TRUE(contains(r.output, "game_rnd_seed=42;"));
  size_t closing = r.output.find("closing...");
  size_t closed = r.output.find("closed all systems");
  ASSERT_NE(closing, std::string::npos);
  ASSERT_NE(closed, std::string::npos);
  EXPECT_LT(closing, closed);
}

TEST_F(GameRun, StoredQualityAndCommandLineOverride) {
  writeSettings("\"gfx_quality\"=\"LOW\"\n");
  EXPECT_TRUE(contains(run("-steps 2").output, "Graphics quality: low"));
  EXPECT_TRUE(contains(run("-steps 2 -gfx-high").output, "Graphics quality: high"));
}

TEST_F(GameRun, GarbageSettingsFileStartsWithDefaultsAndSurvives) {
  std::string garbage;
  for (int i = 0; i < 2000; i++) garbage += char((i * 131 + 7) & 0xff);
  writeSettings(garbage);
  RunResult r = run("-steps 2");
  EXPECT_EQ(r.exit_code, 0) << r.output;
  EXPECT_TRUE(contains(r.output, "Graphics quality: high"));
  std::ifstream in(settingsFile(), std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  EXPECT_EQ(ss.str(), garbage);
}

TEST_F(GameRun, FatalErrorRunsShutdownAndExits100) {
  RunResult r = run("-steps 50", "TOLVANE_TEST_FORCE_ASSERT=1");
  EXPECT_EQ(r.exit_code, 100) << r.output;
  EXPECT_TRUE(contains(r.output, "): failed ASSERT(")) << r.output;
  EXPECT_TRUE(contains(r.output, "closed all systems")) << "the orderly shutdown runs";
}

TEST_F(GameRun, ScreenshotOfTheLastFrameAndHelp) {
  std::string shot = cfg + "/last.png";
  RunResult r = run("-steps 3 -shot '" + shot + "'");
  EXPECT_EQ(r.exit_code, 0) << r.output;
  EXPECT_TRUE(std::filesystem::exists(shot));
  EXPECT_GT(std::filesystem::file_size(shot), 8u);
  RunResult h = run("-help");
  EXPECT_EQ(h.exit_code, 0);
  EXPECT_TRUE(contains(h.output, "-seed N"));
  EXPECT_FALSE(contains(h.output, "init d3d")) << "help exits before opening anything";
}

TEST_F(GameRun, HeadlessRunsTheSimulationWithoutAnyVideo) {
  // A video driver that does not exist: only a run that never asks for
  // video gets anywhere.
  RunResult r = run("-headless -steps 130 -seed 42 -cast 5,5 -shot x.png", "SDL_VIDEODRIVER=no-such-driver");
  EXPECT_EQ(r.exit_code, 0) << r.output;
  for (const char* line : {"headless: no window, no graphics device", "game_rnd_seed=42;", "generated world in",
                           "loaded ", "player starts above the castle", "automated cast of place 5 at step 5 flies",
                           "world 1 begins at step 0", "ignoring -shot 'x.png'", "closed all systems"})
    EXPECT_TRUE(contains(r.output, line)) << line << "\n" << r.output;
  EXPECT_FALSE(contains(r.output, "Graphics quality")) << r.output;
  EXPECT_FALSE(contains(r.output, "can't create window"));
}

TEST_F(GameRun, NoWindowIsAFailureNotASuccess) {
  RunResult r = run("-steps 2", "SDL_VIDEODRIVER=no-such-driver");
  EXPECT_EQ(r.exit_code, 1) << r.output;
  EXPECT_TRUE(contains(r.output, "can't create window")) << r.output;
  EXPECT_FALSE(contains(r.output, "closing...")) << "nothing was started, so nothing shuts down";
}

TEST_F(GameRun, LoadsTheObjectModuleAndStartsThePlayerAboveTheCastle) {
  RunResult r = run("-steps 3 -seed 42");
  EXPECT_EQ(r.exit_code, 0) << r.output;
  size_t loaded = r.output.find("gameobj.so");
  size_t generated = r.output.find("generated world in");
  size_t player = r.output.find("player starts above the castle");
  ASSERT_NE(loaded, std::string::npos) << r.output;
  ASSERT_NE(player, std::string::npos) << r.output;
  EXPECT_LT(loaded, generated);
  EXPECT_LT(generated, player);
  // The module binds every instance renderer to its generated mesh at start-up.
  size_t bound = r.output.find("instance renderers bound: 25 of 25");
  ASSERT_NE(bound, std::string::npos) << r.output;
  EXPECT_LT(loaded, bound);
  EXPECT_LT(bound, generated);
}

// The effect script of a running game: edited into a broken state, it shows
// the error on screen and the game goes on to its last step.
// Casts through the real game: a hand waits for its cooldown, the other does
// not, and mana runs out (60 at the start).
TEST_F(GameRun, AutomatedCastsFlyUntilCooldownOrManaStopsThem) {
  RunResult r = run("-steps 60 -seed 7 -cast 5,5 -cast 6,0,1 -cast 7,4 -cast 20,4 -cast 40,5");
  EXPECT_EQ(r.exit_code, 0) << r.output;
  EXPECT_TRUE(contains(r.output, "cast of place 5 at step 5 flies")) << r.output;
  EXPECT_TRUE(contains(r.output, "cast of place 0 at step 6 flies")) << r.output;
  EXPECT_TRUE(contains(r.output, "cast of place 4 at step 7 did not fly")) << "first hand cooling down";
  EXPECT_TRUE(contains(r.output, "cast of place 4 at step 20 flies")) << r.output;
  EXPECT_TRUE(contains(r.output, "cast of place 5 at step 40 did not fly")) << "5 mana left for a 10 spell";
  RunResult cheat = run("-steps 45 -seed 7 -mana-cheat -cast 20,4 -cast 40,5");
  EXPECT_TRUE(contains(cheat.output, "cast of place 5 at step 40 flies")) << cheat.output;
}

TEST_F(GameRun, BrokenEffectScriptEditIsShownAndTheGameRunsOn) {
  namespace fs = std::filesystem;
  fs::path bin = fs::path(GAME_BINARY).parent_path(), copy = fs::path(cfg) / "bin";
  fs::copy(bin, copy, fs::copy_options::recursive);
  fs::path script = copy / "test" / "fx.nut";
  std::ofstream(script, std::ios::app)
      << "\nsteps <- 0;\nfunction update_fx(dt) { steps++; if (steps == 5) print(\"fx running\\n\"); }\n";
  std::string cmd = "env XDG_CONFIG_HOME='" + cfg + "' XDG_DATA_HOME='" + cfg + "/data' TOLVANE_NO_MSGBOX=1 SDL_VIDEODRIVER=offscreen timeout 120 '" +
                    (copy / "game").string() + "' -360 -steps 100 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_TRUE(p);
  std::string out;
  char line[4096];
  bool edited = false;
  while (fgets(line, sizeof(line), p)) {
    out += line;
    if (!edited && contains(line, "fx running")) {
      // The reload check compares modification times: make sure this one differs.
      std::ofstream(script, std::ios::trunc) << "function update_fx(dt) {\n";
      fs::last_write_time(script, fs::last_write_time(script) + std::chrono::seconds(2));
      edited = true;
    }
  }
  int status = pclose(p);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;
  ASSERT_TRUE(edited) << "the script's update_fx never ran:\n" << out;
  size_t running = out.find("fx running"), error = out.find("Error in fx script:");
  ASSERT_NE(error, std::string::npos) << out;
  EXPECT_GT(error, running);
  EXPECT_TRUE(contains(out, "closed all systems"));
}
