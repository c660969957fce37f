// The game's record and replay of step input, and the world hash.
#include "app/replay_session.h"

#include <cstring>

#include "app/camera.h"
#include "app/input_log.h"
#include "app/settings.h"
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
InputLog replay;
bool replay_active = false;
size_t replay_pos = 0;

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
  s.gfx_quality = gfx_quality;
  s.has_cam = automation.has_cam;
  std::memcpy(s.cam, automation.cam, sizeof(s.cam));
  for (const AutomationOptions::Cast& c : automation.casts) s.casts.push_back({c.step, c.place, c.hand});
  return s;
}

void adopt_start(const ReplayStart& s) {
  game_rnd_seed = s.seed;
  dev_mode = s.dev_mode;
  automation.mana_cheat = s.mana_cheat;
  if (s.gfx_quality >= 0) gfx_quality = s.gfx_quality;
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
  }
  if (!automation.record_file.empty()) {
    if (!writer.open(automation.record_file, start_of_this_run())) {
      debug("%s", writer.error().c_str());
      return false;
    }
    recording = true;
    crash_note_record(writer.fd(), writer.path().c_str());
    debug("recording input to '%s'", automation.record_file.c_str());
  }
  return true;
}

bool replaying_input() { return replay_active; }
bool input_session_failed() { return record_failed; }

void input_session_before_step() {
  if (replay_active && replay_pos < replay.steps.size()) {
    const StepInput& in = replay.steps[replay_pos++];
    apply_step_input(in);
    camera.yaw = in.yaw, camera.pitch = in.pitch, camera.roll = in.roll;
    app_active = in.active;
  }
  if (recording) {
    StepInput in = capture_step_input();
    in.yaw = camera.yaw, in.pitch = camera.pitch, in.roll = camera.roll;
    in.active = app_active;
    if (!writer.write(in)) report_record_failure();
  }
}

bool input_session_after_step(bool run_ends) {
  if (recording && run_ends) debug("world hash: %016llx", (unsigned long long)world_hash());
  if (!replay_active || replay_pos < replay.steps.size()) return false;
  log_object_counts();
  debug("world hash: %016llx", (unsigned long long)world_hash());
  stop_replaying_input();
  replay_active = false;
  return true;
}

void end_input_session() {
  crash_note_record(-1, nullptr);
  if (recording) {
    if (!writer.close()) report_record_failure();
    recording = false;
  }
  if (replay_active) {
    stop_replaying_input();
    replay_active = false;
  }
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
