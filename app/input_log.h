#pragma once
// Each simulation step's input as a line-based text file, so that a run can
// be replayed exactly: the keys and buttons held, the events of the step
// with their modifiers, the cursor, whether the window was active, and the
// camera's orientation (the mouse look runs per frame, so the step must not
// depend on how many frames fell between two steps).
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/input.h"

struct StepInput {
  float yaw = 0, pitch = 0, roll = 0;
  float mouse_x = 0, mouse_y = 0;
  bool active = true;
  std::vector<int> held;  // virtual keys held at the start of the step
  int toggled = 0;        // IF_CAPSLOCK, IF_SCROLLLOCK, IF_NUMLOCK
  std::vector<InputEvent> events;
};

// What the run started with, beyond the input: replaying it restores these.
struct ReplayStart {
  uint64_t seed = 0;
  bool dev_mode = false;
  bool mana_cheat = false;
  // Graphics quality: the land renderer's flow animation draws from the
  // game's random sequence in its step, so a replay runs at the quality it
  // was recorded at. -1 when the record does not say.
  int gfx_quality = -1;
  bool has_cam = false;
  float cam[5] = {0, 0, 0, 0, 0};
  struct Cast {
    int step, place, hand;
  };
  std::vector<Cast> casts;
};

// The live input of this step (camera fields left for the caller).
StepInput capture_step_input();
// Replaces this step's input with a recorded one: the queued events and key
// flags are discarded, the recorded ones queued, and the held keys read from
// `in` until the next call or stop_replaying_input().
void apply_step_input(const StepInput& in);
void stop_replaying_input();

class InputLogWriter {
 public:
  ~InputLogWriter();
  // False (with the reason in error()) when the file cannot be created.
  bool open(const std::string& path, const ReplayStart& start);
  bool write(const StepInput& in);
  // Flushes and closes; false when anything could not be written.
  bool close();
  // The path, and why the write failed (the system's error text).
  const std::string& error() const { return err; }
  int fd() const { return f ? fileno(f) : -1; }
  const std::string& path() const { return file; }

 private:
  void note_failure(int error_number);
  FILE* f = nullptr;
  std::string file, err;
  bool failed = false;
};

// Reads a whole file; on failure error() names the file and line.
struct InputLog {
  ReplayStart start;
  std::vector<StepInput> steps;
  std::string error;
  bool load(const std::string& path);
  bool parse(const std::string& text, const std::string& name);
};
