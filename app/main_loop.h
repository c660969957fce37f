#pragma once
// The fixed-step main loop: simulation steps of a fixed length decoupled
// from drawing, with catch-up, dropped time and interpolation.
#include <cstdint>

constexpr int TIME_HIST_LEN = 200;

// Timing state, read by the statistics graph.
extern int64_t update_step_ticks;
extern int max_catchup_steps;
extern int64_t update_clock;
extern int fps;
extern int update_time_hist[TIME_HIST_LEN];  // step durations, microseconds
extern int update_time_hist_pos;
extern int frame_time_hist[TIME_HIST_LEN];  // frame intervals, microseconds
extern int gpu_load_hist[TIME_HIST_LEN];    // GPU activity in percent, -1 unknown
extern int frame_hist_pos;                  // shared by the two above

void set_update_rate(int steps_per_second, int catchup_limit);
// reset_update_time() is declared with the services the module calls back.
#include "objects/shell_exports.h"

// Everything the loop drives, behind one interface so that tests can run it
// against a scripted clock.
struct MainLoopHost {
  virtual ~MainLoopHost() = default;
  virtual int64_t now() = 0;
  virtual int64_t ticksPerSecond() = 0;
  virtual void drainMessages() = 0;
  virtual void update(float dt) = 0;
  virtual void clearInputStep() = 0;
  // Draws a frame showing fraction k (0..1) of the way from the last step to
  // the next; false when the device refused.
  virtual bool renderFrame(float k) = 0;
  virtual void present() = 0;
  virtual bool checkDevice() = 0;  // usable, or reset successfully
  virtual void sleepMsec(int ms) = 0;
  virtual int gpuActivity() = 0;  // -1 when unavailable
  virtual void hotReloadChecks() = 0;
  virtual bool quitRequested() = 0;
};

void run_main_loop(MainLoopHost& host);
