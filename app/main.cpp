// The game's entry point: start-up in order, the main loop, shutdown.
#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/app.h"
#include "app/crash_recovery.h"
#include "app/device_calls.h"
#include "app/game_options.h"
#include "app/game_start.h"
#include "platform/crash_report.h"
#include "platform/globals.h"
#include "platform/input.h"
#include "platform/log.h"
#include "app/main_loop.h"
#include "app/replay_session.h"
#include "platform/messages.h"
#include "platform/platform.h"
#include "platform/sim_step.h"
#include "app/settings.h"
#include "app/stats_graph.h"
#include "app/window.h"
#include "device/dynVBWriter.h"
#include "device/font.h"
#include "device/splash.h"
#include "device/texmem_query.h"

namespace {
constexpr int HEADLESS_WIDTH = 1280, HEADLESS_HEIGHT = 720;  // pixels, for layout only

// Drives the loop with the real clock, window, device and game.
struct GameLoopHost : MainLoopHost {
  int steps_done = 0;
  bool final_frame = false;  // the last frame before an automated quit
  bool shot_failed = false;  // -shot could not write its file
  int64_t steps_started = 0;

  // A replay runs on its own clock, which each drawn frame advances by
  // -frame-steps steps: as fast as frames draw, at any ratio of frames to
  // steps, and the same steps whatever the ratio.
  int64_t replay_clock = 0;
  const bool on_replay_clock = input_on_own_clock();  // kept to the end, the last frame included
  int64_t replayFrameTicks() const {
    double t = double(update_step_ticks) * double(automation.frame_steps);
    return t < 1 ? 1 : int64_t(t);
  }
  int64_t now() override { return on_replay_clock ? replay_clock : get_ref_time(); }
  int64_t ticksPerSecond() override { return get_ref_time_freq(); }
  void drainMessages() override { drain_message_queue(); }
  void update(float dt) override {
    // The run is over: the world waits as it ended for its last frame.
    if (final_frame) return;
    crash_note_step(steps_started++);
    input_session_before_step();
    app_update(dt);
    bool run_ends = automation.steps > 0 && ++steps_done >= automation.steps;
    if (input_session_after_step(run_ends)) run_ends = true;
    if (run_ends) {
      if (automation.shot_file.empty())
        quit_requested = true;
      else
        final_frame = true;
    }
  }
  void clearInputStep() override { clear_input_step(); }
  bool renderFrame(float k) override {
    bool drawn = render_d3d_frame(app_render, k);
    if (on_replay_clock) replay_clock += replayFrameTicks();
    if (drawn && final_frame) {
      // The reason is logged by the save; a run asked for a file and did
      // not get it, so its exit code says so.
      if (save_backbuffer_png(automation.shot_file.c_str()))
        debug("saved screenshot '%s'", automation.shot_file.c_str());
      else
        shot_failed = true;
      quit_requested = true;
    }
    return drawn;
  }
  void present() override {
    present_frame();
    if (automation.stats_log) log_frame_counters();
  }
  bool checkDevice() override { return check_d3d_device(); }
  void sleepMsec(int ms) override {
    SDL_Delay(Uint32(ms > 0 ? ms : 0));
    if (on_replay_clock) replay_clock += int64_t(ms > 0 ? ms : 1) * get_ref_time_freq() / 1000;
  }
  int gpuActivity() override {
    int p = -1;
    return query_gpu_activity(p) ? p : -1;
  }
  // A replay must run the code it was recorded with, so nothing reloads.
  void hotReloadChecks() override {
    if (!on_replay_clock) app_hot_reload_checks();
  }
  bool quitRequested() override { return quit_requested; }
};

// "n/a" where the driver does not say, rather than a misleading 0 MB.
void log_video_memory() {
  TexMemInfo m = query_texture_memory();
  char free_mb[24] = "n/a", total_mb[24] = "n/a";
  if (m.free_mb >= 0) std::snprintf(free_mb, sizeof(free_mb), "%d MB", m.free_mb);
  if (m.total_mb >= 0) std::snprintf(total_mb, sizeof(total_mb), "%d MB", m.total_mb);
  debug("free video memory: %s (of %s)", free_mb, total_mb);
}

bool systems_up = false;

void shutdown_game() {
  if (!systems_up) return;
  systems_up = false;
  debug("closing...");
  app_close();
  end_input_session();
  if (!automation.headless) {
    close_font();
    dynVBWriter.close();
    stop_gpu_probe();
    close_d3d();
  }
  clear_input_step();
  debug("closed all systems");
  if (!automation.headless) destroy_main_window();
}

// Headless, an interrupt or a termination ends the run in order.
volatile std::sig_atomic_t stop_signal = 0;
void on_stop_signal(int) { stop_signal = 1; }

// -headless: step after step with nothing drawn between and no pacing,
// until -steps or the replay ends the run, or a signal does.
void run_headless(GameLoopHost& host) {
  std::signal(SIGINT, on_stop_signal);
  std::signal(SIGTERM, on_stop_signal);
  // The step length exactly as the windowed loop computes it.
  float dt = float(double(update_step_ticks) / double(host.ticksPerSecond()));
  while (!host.quitRequested() && !stop_signal) {
    host.update(dt);
    host.clearInputStep();
  }
}

// The window's systems: the window, input, the device, and what the
// splash needs to show.
bool open_window_and_device() {
  if (!create_main_window()) return false;
  init_input(main_window());
  init_d3d(main_window(), req_width, req_height);
  set_after_resize_hook(app_after_resize);
  if (is_fullscreen) SDL_SetWindowGrab(main_window(), SDL_TRUE);
  dynVBWriter.init(65536);
  start_gpu_probe();
  init_font();
  show_splash("Loading...", -1);
  return true;
}

// Headless there is no window; the layout of the spell UI and the record's
// positions take the size asked for (-720, -360) or a 1280 x 720 one.
void open_headless() {
  init_input(nullptr);
  d3d_wd = req_width > 0 ? req_width : HEADLESS_WIDTH;
  d3d_ht = req_height > 0 ? req_height : HEADLESS_HEIGHT;
  app_active = true;
  if (!automation.shot_file.empty()) {
    debug("ignoring -shot '%s': nothing is drawn headless", automation.shot_file.c_str());
    automation.shot_file.clear();
  }
}
}  // namespace

int main(int argc, char** argv) {
  set_program_title(WINDOW_TITLE);
  AutomationOptions early;
  parse_automation_options(argc, argv, early);
  if (early.help) {
    std::fputs(command_line_help(), stdout);
    return 0;
  }
  if (!get_exe_path(app_path, sizeof(app_path))) app_path[0] = 0;
  debug("app path: '%s'", app_path);
  init_ref_time();
  game_rnd_seed = uint64_t(get_ref_time());
  int64_t start_time = get_ref_time();
  set_update_rate(SIM_STEPS_PER_SECOND, SIM_MAX_CATCHUP_STEPS);

  read_settings(argc, argv);
  read_game_options();
  if (automation.has_seed) game_rnd_seed = automation.seed;
  if (!start_input_session()) return 1;
  std::string start_problem;
  if (!prepare_game_start(start_problem)) {
    debug("%s", start_problem.c_str());
    std::fprintf(stderr, "%s\n", start_problem.c_str());
    return 1;
  }
  // A replay catches up as many steps between two frames as it asks for.
  if (input_on_own_clock())
    set_update_rate(SIM_STEPS_PER_SECOND, std::max(SIM_MAX_CATCHUP_STEPS, int(std::ceil(automation.frame_steps))));
  set_fatal_shutdown_hook(shutdown_game);
  install_crash_handler();
  crash_note_seed(game_rnd_seed);
  std::string last_crash = recover_from_last_crash();
  if (automation.headless)
    open_headless();
  else if (!open_window_and_device())
    return 1;
  systems_up = true;
  app_init();
  if (!last_crash.empty()) set_error_message(last_crash.c_str());
  debug("total start-up time: %d ms", get_time_msec(get_ref_time() - start_time));
  if (!automation.headless) log_video_memory();
  // Lets the tests exercise the fatal path of a running game.
  if (std::getenv("TOLVANE_TEST_FORCE_ASSERT")) G_ASSERT(!"forced by TOLVANE_TEST_FORCE_ASSERT");

  GameLoopHost host;
  if (automation.headless)
    run_headless(host);
  else
    run_main_loop(host);
  bool started = !start_failed();
  if (started) autosave_on_quit();
  shutdown_game();
  // An automated run whose files were not written is a failed run, as is
  // one whose -load could not be used.
  bool write_failed = host.shot_failed || input_session_failed();
  return write_failed || !started ? 1 : 0;
}
