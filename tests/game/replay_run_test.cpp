// Record and replay through the real game binary: a recorded run replays to
// the hash it ended with, a test-written input file drives the game, pause
// holds the simulation, and a broken file is refused with its place named.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/game/run_game.h"

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
    GameRunResult r;
    // Long runs on a busy machine: more than the default two minutes.
    r.exit_code = run_game_process(dir, args, "", r.output, 300);
    return r;
  }

  std::string write(const std::string& name, const std::string& text) {
    std::string path = dir + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
};

// How many objects a list held at the end of a replay (its "object lists" line).
int listed(const GameRunResult& r, const std::string& list) {
  size_t line = r.output.rfind("object lists:");
  if (line == std::string::npos) return -1;
  size_t end = r.output.find('\n', line);
  size_t p = r.output.find(" " + list + "_list=", line);
  if (p == std::string::npos || p > end) return 0;
  return std::atoi(r.output.c_str() + p + list.size() + 7);
}

int occurrences(const std::string& s, const std::string& part) {
  int n = 0;
  for (size_t p = s.find(part); p != std::string::npos; p = s.find(part, p + 1)) n++;
  return n;
}

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

namespace {
// Seed 42 at low quality, drawing a frame every 100 steps so that long runs stay quick.
const std::string GAME_HEAD = "tolvane-input 1\nseed 42\ngfx 0\n";
const std::string FAST = " -frame-steps 100";
}  // namespace

TEST_F(ReplayRun, WyvernsComeAndAFireballAimedAtOneKillsIt) {
  // A quiet run shows where a wyvern burns a gatherer, and from where the
  // hovering player sees it.
  // The first wave comes after the minute of calm.
  GameRunResult probe = run("-replay '" + write("probe.txt", GAME_HEAD + "steps\n" + quiet_steps(2000)) + "'" + FAST);
  ASSERT_TRUE(probe.has("wyvern 1 arrives at (")) << probe.output;
  float w[3], g[3], eye[3];
  int step = -1;
  for (size_t p = probe.output.find("a wyvern at ("); p != std::string::npos;
       p = probe.output.find("a wyvern at (", p + 1)) {
    if (std::sscanf(probe.output.c_str() + p,
                    "a wyvern at (%f, %f, %f) sets fire to the mana gatherer at (%f, %f, %f); the "
                    "player's eye is at (%f, %f, %f) at step %d",
                    &w[0], &w[1], &w[2], &g[0], &g[1], &g[2], &eye[0], &eye[1], &eye[2], &step) == 10 &&
        eye[1] > 15)
      break;
    step = -1;
  }
  ASSERT_GE(step, 0) << "no gatherer burned while the player hovered:\n" << probe.output;

  // The same run, but from a few steps before that the camera looks at the
  // wyvern (across the world's wrap if need be) and a fireball flies.
  auto wrap = [](float d) { return d - 256.f * std::round(d / 256.f); };
  float dx = wrap(w[0] - eye[0]), dy = w[1] - eye[1], dz = wrap(w[2] - eye[2]);
  char look[96];
  std::snprintf(look, sizeof(look), "s %.9g %.9g 0 320 180 1 0 -\n", std::atan2(-dx, dz),
                std::atan2(dy, std::sqrt(dx * dx + dz * dz)));
  std::string kill = GAME_HEAD + "cast " + std::to_string(step + 1) + " 0 0\nsteps\n" + quiet_steps(step - 5);
  for (int i = step - 5; i < step + 60; i++) kill += look;
  std::string kill_file = write("kill.txt", kill);
  std::string quiet_file = write("quiet.txt", GAME_HEAD + "steps\n" + quiet_steps(step + 60));
  GameRunResult a = run("-replay '" + kill_file + "'" + FAST);
  GameRunResult b = run("-replay '" + kill_file + "' -frame-steps 23");
  GameRunResult quiet = run("-replay '" + quiet_file + "'" + FAST);
  EXPECT_TRUE(a.has("automated cast of place 0 at step " + std::to_string(step + 1) + " flies")) << a.output;
  EXPECT_TRUE(a.has("a wyvern died at (")) << a.output;
  EXPECT_FALSE(quiet.has("a wyvern died")) << quiet.output;
  EXPECT_LT(listed(a, "WyvernMonster"), listed(quiet, "WyvernMonster")) << a.output;
  EXPECT_GT(listed(a, "ManaBall") + occurrences(a.output, "a wyvern died"), listed(quiet, "ManaBall"));
  EXPECT_EQ(a.hash(), b.hash()) << "the same replay drawn at another rate";
  EXPECT_EQ(a.hash().size(), 16u);
}

TEST_F(ReplayRun, CastleRisesToLevelThreeAndThePortalLeadsToAHarderWorld) {
  // With the mana cheat: three castle casts, then a click with the portal's
  // spell, which the complete world puts into the first hand.
  std::string text = GAME_HEAD + "mana_cheat 1\ncast 2 9 0\ncast 30 9 0\ncast 60 9 0\nsteps\n" +
                     quiet_steps(130, 95, "e 3 1 128 0 0 320 180\n");
  std::string file = write("portal.txt", text);
  GameRunResult a = run("-replay '" + file + "'" + FAST);
  GameRunResult b = run("-replay '" + file + "' -frame-steps 3");
  for (const char* line : {"castle level 1 reached in world 1", "castle level 2 reached in world 1",
                           "castle level 3 reached in world 1", "world 1 complete: the portal opens above the great tower",
                           "through the portal to world 2", "world 2 begins at step", "world 2: 3 mana gatherers"})
    EXPECT_TRUE(a.has(line)) << line << "\n" << a.output;
  unsigned long long seed = 0;
  size_t p = a.output.find("through the portal to world 2 (seed ");
  ASSERT_NE(p, std::string::npos);
  ASSERT_EQ(std::sscanf(a.output.c_str() + p, "through the portal to world 2 (seed %llu)", &seed), 1);
  EXPECT_NE(seed, 42u);
  EXPECT_TRUE(a.has("game_rnd_seed=" + std::to_string(seed) + ";")) << "the next world is made from the new seed";
  EXPECT_EQ(listed(a, "WorldPortal"), 0) << "the portal stays behind with the old world";
  EXPECT_EQ(listed(a, "CastleObject"), 1);
  EXPECT_EQ(a.hash(), b.hash());
}

// In world 3 (the record's start world, as -world 3 gives it) the waves come
// sooner and bigger: an undefended castle falls within two minutes.
TEST_F(ReplayRun, UndefendedCastleFallsAndTheSameWorldStartsAgain) {
  std::string file = write("fall.txt", "tolvane-input 1\nseed 42\ngfx 0\nworld 3\nsteps\n" + quiet_steps(2300));
  GameRunResult a = run("-replay '" + file + "'" + FAST);
  GameRunResult b = run("-replay '" + file + "' -frame-steps 40");
  EXPECT_TRUE(a.has("world 3 begins at step 0")) << a.output;
  EXPECT_TRUE(a.has("a mana gatherer burned down")) << a.output;
  size_t fell = a.output.find("the castle of world 3 has fallen");
  size_t again = a.output.find("world 3 starts again");
  ASSERT_NE(fell, std::string::npos) << a.output;
  ASSERT_NE(again, std::string::npos);
  EXPECT_LT(fell, again);
  // Made again from seed 42, with its gatherers back, and still world 3.
  EXPECT_NE(a.output.find("game_rnd_seed=42;", again), std::string::npos);
  EXPECT_NE(a.output.find("world 3: 3 mana gatherers", again), std::string::npos);
  EXPECT_FALSE(a.has("world 4"));
  EXPECT_EQ(a.hash(), b.hash());
}

namespace {
// A version 2 record written by hand: W held for a while with D in it, the
// mouse turning the camera all along, Ctrl held over two panel picks and a
// stray click (at a place that means nothing to the panel, and which must
// not cast while Ctrl is held), then casts of the picked spells, water
// among them for the land's flow animation.
std::string picks_casts_and_turns(bool with_picks, int steps = 30) {
  std::string s = "tolvane-input 2\nseed 5\nmana_cheat 1\nsteps\n";
  for (int i = 0; i < steps; i++) {
    std::string held;
    auto hold = [&held](int vk) { held += (held.empty() ? "" : ",") + std::to_string(vk); };
    if (i >= 2 && i < 28) hold('W');
    if (i >= 15 && i < 22) hold('D');
    if (i >= 6 && i <= 10) hold(17);  // Ctrl
    char line[96];
    std::snprintf(line, sizeof(line), "s %.6f -0.35 0 0.5 0.5 1 0 %s\n", 0.4 * std::sin(i * 0.2),
                  held.empty() ? "-" : held.c_str());
    s += line;
    if (i == 7) s += "e 3 1 130 0 0 0.9 0.04\ne 4 1 2 0 0 0.9 0.04\n";
    if (with_picks && i == 8) s += "p 4 0\n";  // Meteor into the first hand
    if (with_picks && i == 9) s += "p 1 1\n";  // Waterball into the second
    if (i == 13 || i == 24) s += "e 3 1 128 0 0 0.5 0.5\ne 4 1 0 0 0 0.5 0.5\n";
    if (i == 18) s += "e 3 2 256 0 0 0.5 0.5\ne 4 2 0 0 0 0.5 0.5\n";
  }
  return s;
}
}  // namespace

TEST_F(ReplayRun, OneRecordOneWorldAtAnyFrameRateWindowQualityOrHeadless) {
  std::string file = write("v2.txt", picks_casts_and_turns(true));
  // Frame rates from a frame a step to one every 200 steps (twenty frames a
  // step has its own test below, on a shorter record).
  GameRunResult first = run("-gfx-low -replay '" + file + "' -frame-steps 1");
  ASSERT_EQ(first.exit_code, 0) << first.output;
  ASSERT_EQ(first.hash().size(), 16u) << first.output;
  for (const char* how : {"-gfx-high -frame-steps 8", "-720 -gfx-low -frame-steps 50",
                          "-720 -gfx-high -frame-steps 200", "-headless", "-720 -headless"}) {
    GameRunResult r = run(std::string(how) + " -replay '" + file + "'");
    EXPECT_EQ(r.hash(), first.hash()) << how << "\n" << r.output;
  }
  // The picks, not the stray click, chose what was cast.
  std::string without = write("nopicks.txt", picks_casts_and_turns(false));
  EXPECT_NE(run("-headless -replay '" + without + "'").hash(), first.hash());
}

// Twenty frames drawn for every step, through the picks and the first cast:
// the frames between two steps change nothing the headless run does not do.
TEST_F(ReplayRun, TwentyFramesAStepMakeTheSameWorldAsNone) {
  std::string file = write("short.txt", picks_casts_and_turns(true, 14));
  GameRunResult headless = run("-headless -replay '" + file + "'");
  ASSERT_EQ(headless.hash().size(), 16u) << headless.output;
  GameRunResult drawn = run("-gfx-low -replay '" + file + "' -frame-steps 0.05");
  EXPECT_EQ(drawn.exit_code, 0) << drawn.output;
  EXPECT_EQ(drawn.hash(), headless.hash()) << drawn.output;
}

TEST_F(ReplayRun, RecordStoresPicksSoAnotherWindowReplaysTheSameAndOldFilesSaySo) {
  // A version 1 record clicks the panel in pixels of a 640 x 360 window,
  // then casts what the first hand holds.
  std::string v1 = "tolvane-input 1\nseed 5\nsteps\n" + quiet_steps(4) + "s 0 -0.5 0 200 20 1 0 17\n" +
                   "e 3 1 130 0 0 200 20\ne 4 1 2 0 0 200 20\n" + quiet_steps(40, 5, "e 3 1 128 0 0 320 180\ne 4 1 0 0 0 320 180\n");
  std::string old_file = write("v1.txt", v1);
  std::string rec = dir + "/again.txt";
  GameRunResult recorded = run("-replay '" + old_file + "' -record '" + rec + "'");
  EXPECT_TRUE(recorded.has("is a version 1 record: its 1 spell-panel clicks are pixels")) << recorded.output;
  // Recorded again, the click is a pick, which a larger window and a run
  // with no window at all make just the same.
  std::ifstream in(rec);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text.rfind("tolvane-input 2\n", 0), 0u);
  EXPECT_NE(text.find("\np 1 0\n"), std::string::npos) << text;
  EXPECT_EQ(run("-720 -replay '" + rec + "'").hash(), recorded.hash());
  EXPECT_EQ(run("-headless -replay '" + rec + "'").hash(), recorded.hash());
  EXPECT_NE(run("-720 -replay '" + old_file + "'").hash(), recorded.hash()) << "pixels pick elsewhere there";
}
