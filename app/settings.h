#pragma once
// Start-up settings: the stored values and the command line.
#include <cstdint>
#include <string>
#include <vector>

// Options for reproducible and unattended runs.
constexpr int MAX_REPLAY_FRAME_STEPS = 200;

struct AutomationOptions {
  bool has_seed = false;
  uint64_t seed = 0;
  int steps = 0;          // quit after this many simulation steps; 0 = never
  std::string shot_file;  // PNG of the last frame written before quitting
  bool has_cam = false;
  float cam[5] = {0, 0, 0, 0, 0};  // x, y, z, yaw, pitch
  bool has_sun = false;
  float sun_elevation_deg = 0;
  bool help = false;
  // Casts at given steps: the spell of a spell-grid place goes into a hand
  // and is cast toward the screen centre.
  struct Cast {
    int step, place, hand;
  };
  std::vector<Cast> casts;
  bool mana_cheat = false;
  int world = 1;            // the world number the run starts in
  bool bot = false;         // the balance bot plays
  std::string record_file;  // each step's input written here
  std::string replay_file;  // each step's input read from here instead of the devices
  std::string audio_out;    // the mixed sound goes here (16-bit stereo WAV), step by step
  float frame_steps = 4;    // simulation steps per drawn frame while replaying
  std::string load_file;    // start from this saved game
  bool new_game = false;    // start a new game even when an automatic save exists
  bool headless = false;    // the simulation alone: no window, no graphics device
  bool stats_log = false;   // log what each presented frame asked of the GL driver
};
extern AutomationOptions automation;

// Reads the stored settings, then the command line (argv[0] is the program).
void read_settings(int argc, const char* const* argv);
// Parses only the automation options; unknown arguments are ignored.
void parse_automation_options(int argc, const char* const* argv, AutomationOptions& out);
const char* command_line_help();
