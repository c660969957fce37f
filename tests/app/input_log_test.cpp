// The step-input record: its file round trip, the errors a broken file
// gives, and a replay reaching the same state at different frame rates.
#include "app/input_log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/main_loop.h"
#include "platform/vk_codes.h"

namespace {
std::string temp_path(const char* name) { return (std::filesystem::temp_directory_path() / name).string(); }

StepInput sample_step(int i) {
  StepInput s;
  s.yaw = 0.1f * float(i) + 1e-7f, s.pitch = -0.3f, s.roll = 1.0f / 3.0f;
  s.mouse_x = 320.5f, s.mouse_y = float(i);
  s.active = i % 2 == 0;
  s.toggled = IF_CAPSLOCK;
  if (i % 3 == 0) s.held = {VK_CONTROL, 'W'};
  InputEvent ev{EV_KEY_DOWN, 'G', IF_CTRL, 'g', 0, 1.25f, 2.5f};
  if (i % 2) s.events.push_back(ev);
  if (i == 4) s.picks = {{9, 1}, {0, 0}};
  return s;
}

TEST(InputLog, WrittenFileReadsBackExactly) {
  std::string path = temp_path("tolvane_input_log_roundtrip.txt");
  ReplayStart start;
  start.seed = 18446744073709551615ull;
  start.mana_cheat = true;
  start.has_cam = true;
  start.cam[3] = 0.123456789f;
  start.casts.push_back({5, 9, 1});
  InputLogWriter w;
  ASSERT_TRUE(w.open(path, start));
  for (int i = 0; i < 6; i++) {
    ASSERT_TRUE(w.write(sample_step(i)));
    ASSERT_TRUE(w.writePicks(sample_step(i).picks));
  }
  ASSERT_TRUE(w.close());

  InputLog log;
  ASSERT_TRUE(log.load(path)) << log.error;
  EXPECT_EQ(log.version, INPUT_LOG_VERSION);
  EXPECT_EQ(log.start.seed, start.seed);
  EXPECT_TRUE(log.start.mana_cheat);
  EXPECT_FALSE(log.start.dev_mode);
  EXPECT_EQ(log.start.gfx_quality, -1) << "nothing drawn matters, so the quality is not stored";
  EXPECT_EQ(log.start.cam[3], start.cam[3]);
  ASSERT_EQ(log.start.casts.size(), 1u);
  EXPECT_EQ(log.start.casts[0].place, 9);
  ASSERT_EQ(log.steps.size(), 6u);
  for (int i = 0; i < 6; i++) {
    StepInput a = sample_step(i);
    const StepInput& b = log.steps[i];
    // Floats must come back bit for bit, or a replay drifts.
    EXPECT_EQ(a.yaw, b.yaw);
    EXPECT_EQ(a.roll, b.roll);
    EXPECT_EQ(a.mouse_x, b.mouse_x);
    EXPECT_EQ(a.active, b.active);
    EXPECT_EQ(a.toggled, b.toggled);
    EXPECT_EQ(a.held, b.held);
    ASSERT_EQ(a.events.size(), b.events.size());
    for (size_t e = 0; e < a.events.size(); e++) {
      EXPECT_EQ(a.events[e].flags, b.events[e].flags);
      EXPECT_EQ(a.events[e].key, b.events[e].key);
      EXPECT_EQ(a.events[e].y, b.events[e].y);
    }
    ASSERT_EQ(a.picks.size(), b.picks.size());
    for (size_t p = 0; p < a.picks.size(); p++) {
      EXPECT_EQ(a.picks[p].place, b.picks[p].place);
      EXPECT_EQ(a.picks[p].hand, b.picks[p].hand);
    }
  }
  std::filesystem::remove(path);
}

TEST(InputLog, BrokenFilesNameTheFileAndLine) {
  struct Case {
    const char* text;
    const char* error;
  } cases[] = {
      {"", "f.txt:1: empty file"},
      {"something else\nsteps\n", "f.txt:1: not an input record"},
      {"tolvane-input 1\nseed -4\nsteps\n", "f.txt:2: bad header line"},
      {"tolvane-input 1\nseed 1\n", "f.txt:2: no 'steps' line"},
      {"tolvane-input 1\nsteps\ne 1 2 0 0 0 0 0\n", "f.txt:3: bad event line"},
      {"tolvane-input 1\nsteps\ns 0 0 0 0 0 1 0 -\ne 9 2 0 0 0 0 0\n", "f.txt:4: bad event line"},
      {"tolvane-input 1\nsteps\ns 0 0 0 0 0 1 0 1,300\n", "f.txt:3: bad step line"},
      {"tolvane-input 1\nsteps\ns 0 0 0 0 0 2 0 -\n", "f.txt:3: bad step line"},
      {"tolvane-input 1\nsteps\ns 0 0 0 0 0 1 0\n", "f.txt:3: bad step line"},
      {"tolvane-input 1\nsteps\nx\n", "f.txt:3: unknown line"},
      {"tolvane-input 3\nsteps\n", "f.txt:1: input record version 3 is newer than this game reads"},
      {"tolvane-input 1\nsteps\ns 0 0 0 0 0 1 0 -\np 1 0\n", "f.txt:4: a version 1 record has no pick lines"},
      {"tolvane-input 2\nsteps\np 1 0\n", "f.txt:3: bad pick line"},
      {"tolvane-input 2\nsteps\ns 0 0 0 0 0 1 0 -\np 10 0\n", "f.txt:4: bad pick line"},
      {"tolvane-input 2\nsteps\ns 0 0 0 0 0 1 0 -\np 1 2\n", "f.txt:4: bad pick line"},
      // Numbers a camera, a cursor or a cast cannot take.
      {"tolvane-input 1\nseed 1\ncam nan 40 30 0 0\nsteps\n", "f.txt:3: bad header line"},
      {"tolvane-input 1\ncam 1e30 40 30 0 0\nsteps\n", "f.txt:2: bad header line"},
      {"tolvane-input 1\ncam 10 40 30 inf 0\nsteps\n", "f.txt:2: bad header line"},
      {"tolvane-input 1\ncast 5 10 0\nsteps\n", "f.txt:2: bad header line"},
      {"tolvane-input 1\ncast -1 3 0\nsteps\n", "f.txt:2: bad header line"},
      {"tolvane-input 1\ncast 5 3 2\nsteps\n", "f.txt:2: bad header line"},
      {"tolvane-input 1\nsteps\ns 0 0 0 0 0 1 0 -\ns nan 0 0 0 0 1 0 -\n", "f.txt:4: bad step line"},
      {"tolvane-input 1\nsteps\ns 0 -inf 0 0 0 1 0 -\n", "f.txt:3: bad step line"},
      {"tolvane-input 1\nsteps\ns 0 0 0 NAN 0 1 0 -\n", "f.txt:3: bad step line"},
      {"tolvane-input 1\nsteps\ns 0 0 0 0 1e20 1 0 -\n", "f.txt:3: bad step line"},
      {"tolvane-input 1\nsteps\ns 0 0 0 0 0 1 0 -\ne 1 2 0 0 0 nan 0\n", "f.txt:4: bad event line"},
  };
  for (const Case& c : cases) {
    InputLog log;
    EXPECT_FALSE(log.parse(c.text, "f.txt")) << c.text;
    EXPECT_EQ(log.error.rfind(c.error, 0), 0u) << c.text << " gave " << log.error;
  }
  InputLog ok;
  EXPECT_TRUE(ok.parse("tolvane-input 1\r\n# note\n\nsteps\ns 0 0 0 0 0 1 0 -\r\n", "f.txt")) << ok.error;
  EXPECT_EQ(ok.steps.size(), 1u);
  // A version 1 record's quality line is still read.
  InputLog old;
  EXPECT_TRUE(old.parse("tolvane-input 1\nseed 3\ngfx 1\nsteps\n", "f.txt")) << old.error;
  EXPECT_EQ(old.version, 1);
  EXPECT_EQ(old.start.gfx_quality, 1);
  InputLog missing;
  EXPECT_FALSE(missing.load(temp_path("tolvane_no_such_input_log.txt")));
  EXPECT_NE(missing.error.find("tolvane_no_such_input_log.txt"), std::string::npos);
}

// A small simulation that reads input the way the game does: presses with
// their modifiers, held keys and the cursor.
struct ToySim {
  uint64_t state = 7;  // unsigned: the mixing wraps by design
  void step() {
    float mx, my;
    getMousePos(&mx, &my);
    int mix = (keyDown('G') ? 3 : 0) + (keyDownModifiers('G') & IF_CTRL ? 5 : 0) + (getKeyState('W') ? 11 : 0);
    state = state * 31 + uint64_t(mix) + uint64_t(int64_t(mx)) * 17 + uint64_t(int64_t(my));
  }
};

// The held keys a "user" holds: they change with time, not with steps.
bool live_w_held = false;
void live_reader(KeyboardState& out) {
  out = KeyboardState{};
  out.held['W'] = live_w_held;
}

// Time in milliseconds; each frame takes `frame_ms`. Live input arrives
// during frames; a replay run ignores it and takes the record's instead.
struct SimHost : MainLoopHost {
  int64_t clock = 1000;
  int frame_ms;
  int steps = 0, max_steps;
  ToySim sim;
  InputLogWriter* writer = nullptr;
  const InputLog* replay = nullptr;

  SimHost(int frame, int max) : frame_ms(frame), max_steps(max) {}
  int64_t now() override { return clock; }
  int64_t ticksPerSecond() override { return 1000; }
  void drainMessages() override {}
  void update(float) override {
    if (replay) apply_step_input(replay->steps[size_t(steps)]);
    if (writer) writer->write(capture_step_input());
    sim.step();
    steps++;
  }
  void clearInputStep() override { clear_input_step(); }
  bool renderFrame(float) override {
    // The user: Ctrl+G now and then, W held for stretches, the mouse moving.
    int64_t t = clock;
    if (t % 170 < int64_t(frame_ms)) push_key_event(EV_KEY_DOWN, 'G', 0, 0, IF_CTRL);
    if (t % 110 < int64_t(frame_ms)) push_key_event(EV_KEY_DOWN, 'G', 0, 0, 0);
    live_w_held = (t / 250) % 2 == 0;
    push_input_event(EV_MOUSE_MOVE, 0, 0, 0, float(t % 97), float(t % 53));
    clock += frame_ms;
    return true;
  }
  void present() override {}
  bool checkDevice() override { return true; }
  void sleepMsec(int ms) override { clock += ms > 0 ? ms : 1; }
  int gpuActivity() override { return -1; }
  void hotReloadChecks() override {}
  bool quitRequested() override { return steps >= max_steps; }
};

TEST(InputLog, ReplayGivesTheSameStateAtAnyFrameRate) {
  init_input(nullptr);
  set_keyboard_state_reader(live_reader);
  std::string path = temp_path("tolvane_input_log_replay.txt");
  const int steps = 120;
  set_update_rate(20, 5);
  SimHost recorded(7, steps);
  InputLogWriter w;
  ASSERT_TRUE(w.open(path, ReplayStart()));
  recorded.writer = &w;
  run_main_loop(recorded);
  ASSERT_TRUE(w.close());

  InputLog log;
  ASSERT_TRUE(log.load(path)) << log.error;
  ASSERT_EQ(log.steps.size(), size_t(steps));
  // The live input differs completely at these frame rates; the replay wins.
  for (int frame_ms : {3, 7, 16, 45, 120}) {
    set_keyboard_state_reader(live_reader);
    SimHost replayed(frame_ms, steps);
    replayed.replay = &log;
    run_main_loop(replayed);
    stop_replaying_input();
    EXPECT_EQ(replayed.sim.state, recorded.sim.state) << "frame of " << frame_ms << " ms";
  }
  // Without the replay the same frame rates give other states: the input matters.
  set_keyboard_state_reader(live_reader);
  SimHost live(45, steps);
  run_main_loop(live);
  EXPECT_NE(live.sim.state, recorded.sim.state);
  set_keyboard_state_reader(nullptr);
  std::filesystem::remove(path);
}
}  // namespace
