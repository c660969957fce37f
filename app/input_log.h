#pragma once
// Each simulation step's input as a line-based text file, so that a run can
// be replayed exactly: the keys and buttons held, the events of the step
// with their modifiers, the cursor, whether the window was active, the
// camera's orientation (the mouse look runs per frame, so the step must not
// depend on how many frames fell between two steps) and the spells the
// panel picked (a pick, not the pixel clicked, so that a replay in another
// window, or none, picks the same).
//
// Version 2 stores the cursor and event positions as fractions of the
// window's width and height; version 1 stored pixels and no picks (its
// panel clicks pick as recorded only in a window of the recorded size).
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/spell_ui.h"
#include "platform/input.h"

struct StepInput {
  float yaw = 0, pitch = 0, roll = 0;
  float mouse_x = 0, mouse_y = 0;
  bool active = true;
  std::vector<int> held;  // virtual keys held at the start of the step
  int toggled = 0;        // IF_CAPSLOCK, IF_SCROLLLOCK, IF_NUMLOCK
  std::vector<InputEvent> events;
  std::vector<SpellPick> picks;  // version 2: the panel's picks in this step
};

constexpr int INPUT_LOG_VERSION = 2;  // what InputLogWriter writes

// What the run started with, beyond the input: replaying it restores these.
struct ReplayStart {
  uint64_t seed = 0;
  bool dev_mode = false;
  bool mana_cheat = false;
  // The graphics quality a version 1 record names (-1 when none). Nothing
  // drawn changes the world, so it is read and not applied.
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
  // A step's own lines, before it runs (its picks are not in `in`).
  bool write(const StepInput& in);
  // The picks the step made, once it has run.
  bool writePicks(const std::vector<SpellPick>& picks);
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

// Reads a whole file of either version; on failure error() names the file
// and line.
struct InputLog {
  int version = 0;
  ReplayStart start;
  std::vector<StepInput> steps;
  std::string error;
  bool load(const std::string& path);
  bool parse(const std::string& text, const std::string& name);
};
