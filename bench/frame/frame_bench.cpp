// What a late frame of the real game asks of the GL driver, at both
// qualities: the game replays a fixed view (seed 5, 640 x 360, the camera
// looking down over the start, a frame every two steps) with -stats-log,
// and the last frame's counts become the benchmark's counters. Each run is
// one whole game run, so the time is not the figure; the counters are.
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {
constexpr int REPLAY_STEPS = 30;

std::string make_temp_dir() {
  char tmpl[] = "/tmp/tolvane_frame_bench_XXXXXX";
  return mkdtemp(tmpl) ? std::string(tmpl) : std::string();
}

// A record of quiet steps at the given quality.
std::string write_replay(const std::string& dir, int quality) {
  std::string path = dir + "/view.txt";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return {};
  std::fprintf(f, "tolvane-input 1\nseed 5\ngfx %d\nsteps\n", quality);
  for (int i = 0; i < REPLAY_STEPS; i++) std::fputs("s 0 -0.5 0 320 180 1 0 -\n", f);
  std::fclose(f);
  return path;
}

struct FrameCounts {
  int glCalls = -1, draws = 0, stateChanges = 0, bufferWrites = 0, reads = 0;
};

// Runs the game and keeps the counts of the last frame it logged.
FrameCounts run_game(int quality, std::string& error) {
  FrameCounts last;
  std::string dir = make_temp_dir();
  std::string replay = dir.empty() ? std::string() : write_replay(dir, quality);
  if (replay.empty()) {
    error = "can't write the replay";
    return last;
  }
  const char* driver = std::getenv("SDL_VIDEODRIVER");
  std::string cmd = "env XDG_CONFIG_HOME='" + dir + "' TOLVANE_NO_MSGBOX=1 SDL_VIDEODRIVER=" +
                    (driver ? driver : "offscreen") + " '" GAME_BINARY "' -360 -novs -stats-log -frame-steps 2 -replay '" +
                    replay + "' 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) {
    error = "can't start the game";
    return last;
  }
  char line[512];
  while (std::fgets(line, sizeof(line), p)) {
    FrameCounts c;
    int frame = 0;
    double per_draw = 0;
    if (std::sscanf(line,
                    "frame %d: %d GL calls, %d draws (%lf calls a draw), %d state changes, %d buffer writes, %d reads",
                    &frame, &c.glCalls, &c.draws, &per_draw, &c.stateChanges, &c.bufferWrites, &c.reads) == 7)
      last = c;
  }
  int status = pclose(p);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) error = "the game failed";
  else if (last.glCalls < 0) error = "the game logged no frame";
  std::string rm = "rm -rf '" + dir + "'";
  if (std::system(rm.c_str()) != 0) error = "can't remove " + dir;
  return last;
}

void BM_LateFrame(benchmark::State& state) {
  FrameCounts c;
  for (auto _ : state) {
    std::string error;
    c = run_game(int(state.range(0)), error);
    if (!error.empty()) {
      state.SkipWithError(error.c_str());
      return;
    }
  }
  state.SetLabel(state.range(0) ? "high quality" : "low quality");
  state.counters["gl_calls"] = c.glCalls;
  state.counters["draws"] = c.draws;
  state.counters["calls_per_draw"] = c.draws ? double(c.glCalls) / c.draws : 0.0;
  state.counters["state_changes"] = c.stateChanges;
  state.counters["buffer_writes"] = c.bufferWrites;
  state.counters["reads"] = c.reads;
}
BENCHMARK(BM_LateFrame)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond);
}  // namespace

BENCHMARK_MAIN();
