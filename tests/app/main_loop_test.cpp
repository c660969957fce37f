// The main loop against a scripted clock: steps, catch-up, dropped time,
// counters going backwards and the statistics rings.
#include "app/main_loop.h"
#include "platform/sim_step.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {
// Time in milliseconds: 1000 ticks per second, 50 ticks per step.
struct ScriptedHost : MainLoopHost {
  int64_t clock = 1000;
  int64_t render_cost = 4;  // time each drawn frame takes
  int updates = 0, renders = 0, presents = 0, reloads = 0, sleeps = 0;
  int quit_after_updates = 1000;
  bool device_ok = true;
  bool device_accepts = true;
  std::vector<char> log;      // 'U' update, 'R' render
  std::vector<float> render_k;  // step fraction of each drawn frame
  std::vector<float> update_dt;
  std::function<void(ScriptedHost&)> on_render;  // lets a test inject stalls

  int64_t now() override { return clock; }
  int64_t ticksPerSecond() override { return 1000; }
  void drainMessages() override {}
  void update(float dt) override {
    updates++;
    update_dt.push_back(dt);
    log.push_back('U');
  }
  void clearInputStep() override {}
  bool renderFrame(float k) override {
    if (!device_accepts) {
      clock += 1;
      return false;
    }
    renders++;
    render_k.push_back(k);
    log.push_back('R');
    clock += render_cost;
    if (on_render) on_render(*this);
    return true;
  }
  void present() override { presents++; }
  bool checkDevice() override { return device_ok; }
  void sleepMsec(int ms) override {
    sleeps++;
    clock += ms > 0 ? ms : 1;
  }
  int gpuActivity() override { return -1; }
  void hotReloadChecks() override { reloads++; }
  bool quitRequested() override { return updates >= quit_after_updates; }
};

void run(ScriptedHost& h) {
  set_update_rate(SIM_STEPS_PER_SECOND, SIM_MAX_CATCHUP_STEPS);
  run_main_loop(h);
}
}  // namespace

TEST(MainLoop, StepsHaveFixedLengthAndTrackRealTime) {
  ScriptedHost h;
  h.quit_after_updates = 41;  // the first step plus two seconds of steps
  run(h);
  ASSERT_EQ(h.log.front(), 'U') << "the first step runs at once";
  for (float dt : h.update_dt) EXPECT_FLOAT_EQ(dt, 0.05f);
  // 40 further steps need 2 s of simulated time; frames cost 4 ms each.
  EXPECT_NEAR(double(h.clock - 1000), 2000.0, 10.0);
  for (float k : h.render_k) {
    EXPECT_GE(k, 0.0f);
    EXPECT_LT(k, 1.0f) << "frames interpolate within one step";
  }
  EXPECT_EQ(h.presents, h.renders) << "the last pending frame is presented too";
  EXPECT_GE(h.reloads, 1) << "hot-reload checks run once a second";
  EXPECT_GT(fps, 200);
}

TEST(MainLoop, StallRunsSixStepsThenDrawsThenDropsTheRest) {
  ScriptedHost h;
  h.quit_after_updates = 30;
  bool stalled = false;
  size_t stall_at = 0;
  h.on_render = [&](ScriptedHost& host) {
    if (!stalled && host.renders == 10) {
      stalled = true;
      host.clock += 1000;  // one second without returning
      stall_at = host.log.size();
    }
  };
  run(h);
  ASSERT_TRUE(stalled);
  std::string after(h.log.begin() + long(stall_at), h.log.begin() + long(stall_at) + 8);
  EXPECT_EQ(after, "UUUUUURU") << "six steps back to back, one frame, then one more step at once";
  // That frame is 1 s behind minus the six simulated steps (0.3 s): far more
  // than a step, so it shows the latest state, never an extrapolation.
  EXPECT_FLOAT_EQ(h.render_k[10], 1.0f);
  // The remaining lost time (about 0.7 s) is never simulated.
  EXPECT_GT(h.clock - 1000, int64_t(h.updates - 1) * 50 + 600);
}

TEST(MainLoop, CounterGoingBackwardsRebasesTheClock) {
  ScriptedHost h;
  h.quit_after_updates = 12;
  bool jumped = false;
  h.on_render = [&](ScriptedHost& host) {
    if (!jumped && host.renders == 5) {
      jumped = true;
      host.clock -= 5000;
    }
  };
  run(h);
  ASSERT_TRUE(jumped);
  // The frame after the jump sees zero elapsed time, not a huge negative one.
  EXPECT_FLOAT_EQ(h.render_k[5], 0.0f);
  for (float k : h.render_k) EXPECT_GE(k, 0.0f);
  EXPECT_GE(update_clock, h.clock - 100) << "the clock was re-based to now";
}

TEST(MainLoop, SleepsOnlyWhileTheDeviceIsLostAndStepsContinue) {
  ScriptedHost h;
  h.quit_after_updates = 20;
  h.device_ok = false;
  h.device_accepts = false;
  run(h);
  EXPECT_EQ(h.renders, 0);
  EXPECT_GT(h.sleeps, 0);
  EXPECT_EQ(h.updates, 20) << "simulation goes on while no frames are drawn";
}

TEST(MainLoop, RingsRecordStepsAndFrames) {
  ScriptedHost h;
  h.quit_after_updates = 10;
  h.render_cost = 7;
  run(h);
  EXPECT_EQ(update_time_hist_pos, 10);
  EXPECT_EQ(frame_hist_pos, h.presents % TIME_HIST_LEN);
  // Frame intervals are 7 ms of drawing.
  EXPECT_EQ(frame_time_hist[2], 7000);
  EXPECT_EQ(gpu_load_hist[2], -1);
  EXPECT_EQ(gpu_load_hist[TIME_HIST_LEN - 1], -1) << "frames not drawn yet hold no reading, not 0 %";
}

TEST(MainLoop, UpdateRateLimits) {
  set_update_rate(0, -3);
  EXPECT_EQ(max_catchup_steps, 0);
  EXPECT_GE(update_step_ticks, 1);
  set_update_rate(20, 5);
  EXPECT_EQ(max_catchup_steps, 5);
}
