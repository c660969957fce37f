// The game's record and replay of step input, and the world hash.
#include "app/replay_session.h"

#include <cstring>

#include "app/camera.h"
#include "app/input_log.h"
#include "app/settings.h"
#include "app/spell_ui.h"
#include "objects/game_objects.h"
#include "objects/object_lists.h"
#include "platform/crash_report.h"
#include "platform/globals.h"
#include "platform/log.h"
#include "platform/messages.h"
#include "world/heightmap.h"

namespace {
InputLogWriter writer;
bool recording = false;
bool record_failed = false;
std::vector<SpellPick> step_picks;  // the picks of the step being recorded
InputLog replay;
bool replay_active = false;
size_t replay_pos = 0;

// Version 2 keeps positions as fractions of the window, so that they mean
// the same place in a window of any size.
float window_w() { return float(d3d_wd > 0 ? d3d_wd : 1); }
float window_h() { return float(d3d_ht > 0 ? d3d_ht : 1); }

void scale_positions(StepInput& in, float sx, float sy) {
  in.mouse_x *= sx, in.mouse_y *= sy;
  for (InputEvent& e : in.events) e.x *= sx, e.y *= sy;
}

void record_pick(const SpellPick& pick) {
  if (recording) step_picks.push_back(pick);
}

// A version 1 record stored panel clicks (buttons pressed with Ctrl held in
// game mode) as pixels: said once, as they may pick other spells here.
void warn_about_pixel_clicks() {
  if (replay.version >= 2 || replay.start.dev_mode) return;
  int clicks = 0;
  for (const StepInput& st : replay.steps)
    for (const InputEvent& e : st.events)
      if (e.type == EV_BUTTON_DOWN && (e.flags & IF_CTRL)) clicks++;
  if (clicks)
    debug("'%s' is a version 1 record: its %d spell-panel clicks are pixels and pick the recorded spells only in a "
          "window of the size it was recorded at",
          automation.replay_file.c_str(), clicks);
}

void stop_replay() {
  stop_replaying_input();
  set_replayed_spell_picks(nullptr);
  replay_active = false;
}

struct Fnv {
  uint64_t h = 0xcbf29ce484222325ull;
  void bytes(const void* p, size_t n) {
    auto* b = static_cast<const unsigned char*>(p);
    for (size_t i = 0; i < n; i++) h = (h ^ b[i]) * 0x100000001b3ull;
  }
  void vec(const vec4f& v) {
    float f[3] = {v.x, v.y, v.z};
    bytes(f, sizeof(f));
  }
};

// The start options of the command line, as a record stores them.
ReplayStart start_of_this_run() {
  ReplayStart s;
  s.seed = game_rnd_seed;
  s.dev_mode = dev_mode;
  s.mana_cheat = automation.mana_cheat;
  s.has_cam = automation.has_cam;
  std::memcpy(s.cam, automation.cam, sizeof(s.cam));
  for (const AutomationOptions::Cast& c : automation.casts) s.casts.push_back({c.step, c.place, c.hand});
  return s;
}

void adopt_start(const ReplayStart& s) {
  game_rnd_seed = s.seed;
  dev_mode = s.dev_mode;
  automation.mana_cheat = s.mana_cheat;
  automation.has_cam = s.has_cam;
  std::memcpy(automation.cam, s.cam, sizeof(s.cam));
  automation.casts.clear();
  for (const ReplayStart::Cast& c : s.casts) automation.casts.push_back({c.step, c.place, c.hand});
  // The replay decides when the run ends.
  automation.steps = 0;
}

// The record stops at its first failed write; the run goes on, and its exit
// code says the record is incomplete.
void report_record_failure() {
  debug("%s", writer.error().c_str());
  visual_log("Input record stopped: %s", writer.error().c_str());
  record_failed = true;
  recording = false;
  set_spell_pick_observer(nullptr);
  crash_note_record(-1, nullptr);
  writer.close();
}

void log_object_counts() {
  std::string line;
  for (const ObjectListEntry& e : gameobj_lists)
    if (e.list->count) line += std::string(" ") + e.name + "=" + std::to_string(e.list->count);
  debug("object lists:%s", line.c_str());
}
}  // namespace

bool start_input_session() {
  if (!automation.replay_file.empty()) {
    if (!replay.load(automation.replay_file)) {
      debug("%s", replay.error.c_str());
      return false;
    }
    adopt_start(replay.start);
    replay_active = true;
    replay_pos = 0;
    debug("replaying %d steps from '%s'", int(replay.steps.size()), automation.replay_file.c_str());
    warn_about_pixel_clicks();
  }
  if (!automation.record_file.empty()) {
    if (!writer.open(automation.record_file, start_of_this_run())) {
      debug("%s", writer.error().c_str());
      return false;
    }
    recording = true;
    set_spell_pick_observer(record_pick);
    crash_note_record(writer.fd(), writer.path().c_str());
    debug("recording input to '%s'", automation.record_file.c_str());
  }
  return true;
}

bool replaying_input() { return replay_active; }
bool input_session_failed() { return record_failed; }

void input_session_before_step() {
  if (replay_active && replay_pos < replay.steps.size()) {
    StepInput in = replay.steps[replay_pos++];
    if (replay.version >= 2) scale_positions(in, window_w(), window_h());
    apply_step_input(in);
    camera.yaw = in.yaw, camera.pitch = in.pitch, camera.roll = in.roll;
    app_active = in.active;
    // Version 2 stores the picks themselves; version 1 only the clicks.
    set_replayed_spell_picks(replay.version >= 2 ? &replay.steps[replay_pos - 1].picks : nullptr);
  }
  if (recording) {
    StepInput in = capture_step_input();
    scale_positions(in, 1 / window_w(), 1 / window_h());
    in.yaw = camera.yaw, in.pitch = camera.pitch, in.roll = camera.roll;
    in.active = app_active;
    step_picks.clear();
    if (!writer.write(in)) report_record_failure();
  }
}

bool input_session_after_step(bool run_ends) {
  if (recording && !writer.writePicks(step_picks)) report_record_failure();
  if (recording && run_ends) debug("world hash: %016llx", (unsigned long long)world_hash());
  if (!replay_active || replay_pos < replay.steps.size()) return false;
  log_object_counts();
  debug("world hash: %016llx", (unsigned long long)world_hash());
  stop_replay();
  return true;
}

void end_input_session() {
  crash_note_record(-1, nullptr);
  if (recording) {
    if (!writer.close()) report_record_failure();
    recording = false;
  }
  set_spell_pick_observer(nullptr);
  if (replay_active) stop_replay();
}

uint64_t world_hash() {
  Fnv f;
  f.bytes(HeightmapData::hmap, sizeof(HeightmapData::hmap));
  f.bytes(HeightmapData::surface, sizeof(HeightmapData::surface));
  f.bytes(HeightmapData::water, sizeof(HeightmapData::water));
  for (int i = 0; i < GameObj_list.count; i++) {
    GameObj* o = GameObj_list[i];
    const char* name = o->getName();
    f.bytes(name, std::strlen(name));
    f.vec(o->boundRect());
  }
  for (int i = 0; i < Player_list.count; i++) f.vec(Player_list[i]->pos);
  for (int i = 0; i < CastleObject_list.count; i++) f.vec(CastleObject_list[i]->pos);
  return f.h;
}
