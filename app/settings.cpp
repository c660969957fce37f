// read_settings: stored values first, then command-line overrides.
#include "app/settings.h"

#include <strings.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/globals.h"
#include "platform/key_bindings.h"
#include "platform/log.h"
#include "platform/platform.h"
#include "platform/sim_step.h"

AutomationOptions automation;

namespace {
void read_stored_settings() {
  int flags = 0;
  if (get_config_int("flags", flags)) {
    start_fullscreen = flags & 1;
    use_ppaa = flags & 2;
    use_vsync = flags & 4;
    use_obj_shadows = flags & 8;
  }
  int shadows = 0;
  if (get_config_int("land_shadows", shadows) && shadows >= 0 && shadows <= 2) land_shadow_quality = shadows;
  char quality[32];
  if (get_config_str("gfx_quality", quality, sizeof(quality))) {
    for (int i = 0; gfx_quality_name[i]; i++)
      if (strcasecmp(quality, gfx_quality_name[i]) == 0) {
        gfx_quality = i;
        break;
      }
  }
  load_key_bindings();
}

void apply_argument(const char* a) {
  if (!std::strcmp(a, "-720")) req_width = 1280, req_height = 720;
  else if (!std::strcmp(a, "-360")) req_width = 640, req_height = 360;
  else if (!std::strcmp(a, "-aa")) use_ppaa = true;
  else if (!std::strcmp(a, "-noaa")) use_ppaa = false;
  else if (!std::strcmp(a, "-vs")) use_vsync = true;
  else if (!std::strcmp(a, "-novs")) use_vsync = false;
  else if (!std::strcmp(a, "-fullscr")) start_fullscreen = true;
  else if (!std::strcmp(a, "-win")) start_fullscreen = false;
  else if (!std::strcmp(a, "-gfx-high")) gfx_quality = 1;
  else if (!std::strcmp(a, "-gfx-low")) gfx_quality = 0;
  else if (!std::strcmp(a, "-dev")) dev_mode = true;
}

bool parse_u64(const char* s, uint64_t& out) {
  if (!s || !*s || *s == '-') return false;
  errno = 0;
  char* end = nullptr;
  unsigned long long v = std::strtoull(s, &end, 10);
  if (errno || *end) return false;
  out = v;
  return true;
}

// n comma-separated finite numbers (strtof would take "nan" and "inf").
bool parse_floats(const char* s, float* out, int n) {
  for (int i = 0; i < n; i++) {
    char* end = nullptr;
    out[i] = std::strtof(s, &end);
    if (end == s || !std::isfinite(out[i])) return false;
    if (i + 1 < n && *end != ',') return false;
    s = end + (i + 1 < n ? 1 : 0);
    if (i + 1 == n && *end) return false;
  }
  return true;
}
}  // namespace

void parse_automation_options(int argc, const char* const* argv, AutomationOptions& o) {
  for (int i = 1; i < argc; i++) {
    const char* a = argv[i];
    const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
    if (!std::strcmp(a, "-help") || !std::strcmp(a, "--help")) {
      o.help = true;
    } else if (!std::strcmp(a, "-seed") && v) {
      if (parse_u64(v, o.seed)) o.has_seed = true;
      else debug("ignoring bad -seed value '%s'", v);
      i++;
    } else if (!std::strcmp(a, "-steps") && v) {
      uint64_t n = 0;
      if (parse_u64(v, n) && n < 0x7fffffff) o.steps = int(n);
      else debug("ignoring bad -steps value '%s'", v);
      i++;
    } else if (!std::strcmp(a, "-shot") && v) {
      o.shot_file = v;
      i++;
    } else if (!std::strcmp(a, "-cam") && v) {
      float c[5];
      if (parse_floats(v, c, 5)) {
        std::memcpy(o.cam, c, sizeof(c));
        o.has_cam = true;
      } else {
        debug("ignoring bad -cam value '%s' (expected five finite numbers X,Y,Z,YAW,PITCH)", v);
      }
      i++;
    } else if (!std::strcmp(a, "-cast") && v) {
      float c[3] = {0, 0, 0};
      bool ok = parse_floats(v, c, 3) || parse_floats(v, c, 2);
      if (ok && c[0] >= 0 && c[1] >= 0 && c[1] < 10 && (c[2] == 0 || c[2] == 1))
        o.casts.push_back({int(c[0]), int(c[1]), int(c[2])});
      else
        debug("ignoring bad -cast value '%s' (expected STEP,PLACE[,HAND])", v);
      i++;
    } else if (!std::strcmp(a, "-record") && v) {
      o.record_file = v;
      i++;
    } else if (!std::strcmp(a, "-replay") && v) {
      o.replay_file = v;
      i++;
    } else if (!std::strcmp(a, "-frame-steps") && v) {
      float f;
      if (parse_floats(v, &f, 1) && f >= 0.05f && f <= MAX_REPLAY_FRAME_STEPS) o.frame_steps = f;
      else debug("ignoring bad -frame-steps value '%s' (expected 0.05 to %d)", v, MAX_REPLAY_FRAME_STEPS);
      i++;
    } else if (!std::strcmp(a, "-load") && v) {
      o.load_file = v;
      i++;
    } else if (!std::strcmp(a, "-new")) {
      o.new_game = true;
    } else if (!std::strcmp(a, "-headless")) {
      o.headless = true;
    } else if (!std::strcmp(a, "-audio-out") && v) {
      o.audio_out = v;
      i++;
    } else if (!std::strcmp(a, "-mana-cheat")) {
      o.mana_cheat = true;
    } else if (!std::strcmp(a, "-bot")) {
      o.bot = true;
    } else if (!std::strcmp(a, "-world") && v) {
      uint64_t n = 0;
      if (parse_u64(v, n) && n >= 1 && n <= 99) o.world = int(n);
      else debug("ignoring bad -world value '%s' (expected 1 to 99)", v);
      i++;
    } else if (!std::strcmp(a, "-stats-log")) {
      o.stats_log = true;
    } else if (!std::strcmp(a, "-sun") && v) {
      float deg;
      if (parse_floats(v, &deg, 1)) o.has_sun = true, o.sun_elevation_deg = deg;
      else debug("ignoring bad -sun value '%s'", v);
      i++;
    }
  }
}

void read_settings(int argc, const char* const* argv) {
  start_fullscreen = false;
  req_width = req_height = 0;
  use_vsync = true;
  use_ppaa = false;
  read_stored_settings();
  for (int i = 1; i < argc; i++) apply_argument(argv[i]);
  parse_automation_options(argc, argv, automation);
}

const char* command_line_help() {
  return "Usage: game [options]\n"
         "  -720 / -360        windowed at 1280x720 / 640x360 (default: maximised window)\n"
         "  -fullscr / -win    full screen / window\n"
         "  -aa / -noaa        post-process anti-aliasing on / off\n"
         "  -vs / -novs        vertical sync on / off\n"
         "  -gfx-high / -gfx-low  graphics quality\n"
         "  -seed N            seed of the first world (unsigned 64-bit decimal)\n"
         "  -steps N           quit after N simulation steps\n"
         "  -shot FILE         save the last drawn frame as PNG before quitting\n"
         "  -dev               start in developer mode (free-fly camera)\n"
         "  -cam X,Y,Z,YAW,PITCH  initial camera position and angles (radians)\n"
         "  -sun DEG           initial sun elevation in degrees\n"
         "  -cast STEP,PLACE[,HAND]  at that step cast the spell of a spell-grid place (0-9)\n"
         "                     from the first (0) or second (1) hand; may be repeated\n"
         "  -mana-cheat        start with unlimited mana\n"
         "  -world N           start in world N (1 to 99) with the seed given\n"
         "  -bot               the balance bot plays (through the same input a person gives)\n"
         "  -record FILE       write every simulation step's input (keys, buttons, camera) to FILE\n"
         "  -replay FILE       play FILE's input instead of the devices (its seed and start\n"
         "                     options replace these), log 'world hash: ' and quit after its last step\n"
         "  -frame-steps X     simulation steps per drawn frame while replaying (0.05 to 200, default 4)\n"
         "  -load FILE         start from the saved game FILE (-steps then counts the steps after it)\n"
         "  -new               start a new game; without -new, -seed, -load, -record or -replay\n"
         "                     the game continues from its automatic save\n"
         "  -headless          run the simulation alone, as fast as it goes: no window, no graphics\n"
         "                     device, no drawing (with -steps, -replay, -record, -cast, -seed, ...)\n"
         "  -audio-out FILE    mix the sound step by step (not to the speakers) into FILE (WAV)\n"
         "  -stats-log         log each frame's GL calls, draws, state changes, buffer writes and reads\n"
         "  -help              print this text and exit\n"
         "Unknown options are ignored.\n";
}
