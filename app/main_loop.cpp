// The fixed-step main loop.
#include "app/main_loop.h"

#include <algorithm>
#include <cstring>

#include "platform/platform.h"
#include "platform/sim_step.h"

int64_t update_step_ticks = 1;
int max_catchup_steps = SIM_MAX_CATCHUP_STEPS;
int64_t update_clock = 0;
int fps = 0;
int update_time_hist[TIME_HIST_LEN];
int update_time_hist_pos = 0;
int frame_time_hist[TIME_HIST_LEN];
int gpu_load_hist[TIME_HIST_LEN];
int frame_hist_pos = 0;

namespace {
int steps_per_second = SIM_STEPS_PER_SECOND;
MainLoopHost* active_host = nullptr;
int64_t step_start = 0;
int64_t last_step_ticks = 0;

int ticks_to_usec(MainLoopHost& h, int64_t ticks) {
  int64_t f = h.ticksPerSecond();
  return int(ticks / f * 1000000 + ticks % f * 1000000 / f);
}

struct LoopState {
  MainLoopHost& host;
  bool pending = false;  // a drawn frame waits for present
  int catchup = 0;
  int64_t window_start = 0;  // start of the one-second fps window
  int frames_in_window = 0;
  int64_t last_present = 0;  // the frame interval runs from one present to the next

  explicit LoopState(MainLoopHost& h) : host(h) {}

  void reset(int64_t t) {
    update_clock = window_start = last_present = t;
    frames_in_window = 0;
    last_step_ticks = 0;
    update_time_hist_pos = frame_hist_pos = 0;
    std::memset(update_time_hist, 0, sizeof(update_time_hist));
    std::memset(frame_time_hist, 0, sizeof(frame_time_hist));
    // Frames not drawn yet have no GPU reading, not a reading of 0 %.
    std::fill(gpu_load_hist, gpu_load_hist + TIME_HIST_LEN, -1);
  }

  void simulationStep() {
    update_time_hist[update_time_hist_pos] = ticks_to_usec(host, last_step_ticks);
    update_time_hist_pos = (update_time_hist_pos + 1) % TIME_HIST_LEN;
    host.drainMessages();
    step_start = host.now();
    host.update(float(double(update_step_ticks) / double(host.ticksPerSecond())));
    last_step_ticks = host.now() - step_start;
    host.clearInputStep();
  }

  // The one place the frame's fraction of the step is computed, clamped to
  // 0..1 (a frame after dropped time shows the latest state, never beyond).
  static float step_fraction(int64_t since_step) {
    double k = double(since_step) / double(update_step_ticks);
    return float(k < 0 ? 0 : k > 1 ? 1 : k);
  }

  void presentPending() {
    host.present();
    pending = false;
    int64_t t = host.now();
    // Present to present, the steps between included, so that the frame
    // times and the frames counted a second tell the same story.
    frame_time_hist[frame_hist_pos] = ticks_to_usec(host, t - last_present);
    last_present = t;
    gpu_load_hist[frame_hist_pos] = host.gpuActivity();
    frame_hist_pos = (frame_hist_pos + 1) % TIME_HIST_LEN;
    frames_in_window++;
    if (t - window_start >= host.ticksPerSecond()) {
      fps = frames_in_window;
      window_start = t;
      frames_in_window = 0;
      host.hotReloadChecks();
    }
  }

  void waitWhileDeviceLost() {
    if (host.checkDevice()) return;
    int64_t t = host.now();
    if (t > update_clock) host.sleepMsec(int((t - update_clock) * 1000 / host.ticksPerSecond()) / 2);
  }

  // One frame pass; returns true when a simulation step must run next.
  bool framePass() {
    if (pending)
      presentPending();
    else
      waitWhileDeviceLost();
    host.drainMessages();
    int64_t t = host.now();
    int64_t d = t - update_clock;
    if (d < 0) {  // the counter went backwards: re-base
      d = 0;
      update_clock = t;
    }
    if (d >= update_step_ticks && ++catchup <= max_catchup_steps) {
      update_clock += update_step_ticks;
      return true;
    }
    pending = host.renderFrame(step_fraction(d));
    if (catchup > max_catchup_steps) {
      // Too far behind: drop the lost time.
      catchup = 0;
      update_clock = host.now();
      return true;
    }
    catchup = -1;
    return false;
  }
};
}  // namespace

void set_update_rate(int rate, int catchup_limit) {
  if (rate < 1) rate = 1;
  if (catchup_limit < 0) catchup_limit = 0;
  steps_per_second = rate;
  max_catchup_steps = catchup_limit;
  int64_t f = active_host ? active_host->ticksPerSecond() : get_ref_time_freq();
  update_step_ticks = f / rate > 0 ? f / rate : 1;
}

void reset_update_time() {
  if (active_host) step_start = active_host->now();
}

void run_main_loop(MainLoopHost& host) {
  active_host = &host;
  set_update_rate(steps_per_second, max_catchup_steps);
  LoopState s(host);
  s.reset(host.now());
  // The first step runs at once, without advancing the clock.
  bool step = true;
  while (!host.quitRequested()) {
    if (step) {
      s.simulationStep();
      if (host.quitRequested()) break;
    }
    step = s.framePass();
  }
  if (s.pending) host.present();
  host.clearInputStep();
  active_host = nullptr;
}
