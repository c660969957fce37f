// The sound's cost to the game: the work of one simulation step with every
// voice busy and the ambience playing (listener, 32 moving loops, the beds,
// the end of the step), and the mixer's cost per 20 ms of output at 32
// voices on the loopback device.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>

#include "audio/ambience.h"
#include "audio/sound.h"
#include "platform/globals.h"

namespace {
const vec4f EAR(100, 20, 100, 1);
int owners[MAX_VOICES];

bool start(bool mixEachStep) {
  std::snprintf(app_path, sizeof(app_path), "%s/", BIN_DIR);
  set_sound_volumes(SoundVolumes{80, 100, 50, 35, true});
  AudioOutput out;
  out.loopback = true;
  out.mixEachStep = mixEachStep;
  if (!audio_start(out)) return false;
  set_sound_world_wrap(256);
  return true;
}

// 32 loops on objects circling the listener, as wyverns and springs would.
void keep_loops(int step) {
  static const char* names[4] = {"wyvern_wings_loop", "wyvern_breath_loop", "spring_loop", "gatherer_hum_loop"};
  for (int i = 0; i < MAX_VOICES; i++) {
    float a = float(i) * 0.196f + float(step) * 0.01f;
    vec4f p(EAR.x + std::cos(a) * 25.f, EAR.y, EAR.z + std::sin(a) * 25.f, 1);
    keep_sound_loop(&owners[i], names[i % 4], p, 0.8f, 1);
  }
}

void one_step(int step) {
  set_sound_listener(EAR, vec4f(1, 0, 0, 0), vec4f(0, 0, 1, 0), vec4f(0, 1, 0, 0));
  keep_loops(step);
  update_ambience({30, 0.4f, step % 200 < 100 ? 0.f : 1.f}, 0.05f);
  audio_end_step(0.05f, true);
}

void BM_StepUpdate32VoicesAndAmbience(benchmark::State& state) {
  if (!start(false)) {
    state.SkipWithError("no loopback device");
    return;
  }
  int step = 0;
  for (int i = 0; i < 3; i++) one_step(step++);
  if (active_voice_count() != MAX_VOICES) state.SkipWithError("not every voice plays");
  for (auto _ : state) one_step(step++);
  state.counters["voices"] = active_voice_count();
  stop_ambience();
  audio_stop();
}
BENCHMARK(BM_StepUpdate32VoicesAndAmbience)->Unit(benchmark::kMicrosecond);

void BM_Mix20ms32Voices(benchmark::State& state) {
  if (!start(false)) {
    state.SkipWithError("no loopback device");
    return;
  }
  one_step(0);
  for (auto _ : state) audio_mix(0.02f);
  state.counters["voices"] = active_voice_count();
  stop_ambience();
  audio_stop();
}
BENCHMARK(BM_Mix20ms32Voices)->Unit(benchmark::kMicrosecond);
}  // namespace

BENCHMARK_MAIN();
