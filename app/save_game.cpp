// Saving and loading the running game. The payload is a list of sections,
// each a four-letter tag, a length and its bytes; a section this game does
// not know is skipped, so later versions can add some without a new format.
// Named values (the run state, the host's state, the camera) are stored by
// name and type, so a field added to the run state loads from an older save
// with its starting value.
#include "app/save_game.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <map>

#include "app/camera.h"
#include "app/gameobj_glue.h"
#include "app/replay_session.h"
#include "objects/game_objects.h"
#include "objects/house_tiles.h"
#include "objects/module_host.h"
#include "objects/object_save.h"
#include "objects/run_state.h"
#include "objects/spell_grid.h"
#include "platform/globals.h"
#include "platform/log.h"
#include "platform/platform.h"
#include "platform/user_dirs.h"
#include "script/worldgen_script.h"
#include "world/heightmap.h"
#include "world/noise.h"
#include "world/world_step.h"

namespace {
using namespace HeightmapData;

double played = 0;

// ---- sections ----

void put_section(std::string& out, const char tag[5], const void* data, size_t n) {
  out.append(tag, 4);
  uint64_t len = n;
  out.append(reinterpret_cast<const char*>(&len), sizeof(len));
  out.append(static_cast<const char*>(data), n);
}
void put_section(std::string& out, const char tag[5], const std::string& data) {
  put_section(out, tag, data.data(), data.size());
}

using Sections = std::map<std::string, std::string>;

bool split_sections(const std::string& payload, Sections& out, std::string& why) {
  size_t at = 0;
  while (at < payload.size()) {
    if (payload.size() - at < 12) {
      why = "a section header is cut short";
      return false;
    }
    std::string tag = payload.substr(at, 4);
    uint64_t len;
    std::memcpy(&len, payload.data() + at + 4, sizeof(len));
    at += 12;
    if (len > payload.size() - at) {
      why = "section '" + tag + "' runs past the end";
      return false;
    }
    out[tag] = payload.substr(at, size_t(len));
    at += size_t(len);
  }
  return true;
}

// ---- named values ----

enum ValueType : uint8_t { V_INT = 0, V_U64 = 1, V_FLOAT = 2, V_BOOL = 3, V_DOUBLE = 4 };

struct NamedValueWriter {
  std::string bytes;
  void add(const char* name, ValueType type, const void* value, size_t n) {
    uint8_t len = uint8_t(std::strlen(name));
    bytes.append(reinterpret_cast<const char*>(&len), 1).append(name, len);
    bytes.append(reinterpret_cast<const char*>(&type), 1);
    char v[8] = {0};
    std::memcpy(v, value, n);
    bytes.append(v, 8);
  }
  void put(const char* name, int v) {
    int64_t w = v;
    add(name, V_INT, &w, 8);
  }
  void put(const char* name, uint64_t v) { add(name, V_U64, &v, 8); }
  void put(const char* name, float v) { add(name, V_FLOAT, &v, 4); }
  void put(const char* name, bool v) {
    uint8_t b = v;
    add(name, V_BOOL, &b, 1);
  }
  void put(const char* name, double v) { add(name, V_DOUBLE, &v, 8); }
};

struct NamedValues {
  std::map<std::string, std::pair<uint8_t, std::string>> values;
  std::string why;

  bool parse(const std::string& bytes, const char* what) {
    size_t at = 0;
    while (at < bytes.size()) {
      size_t len = uint8_t(bytes[at]);
      if (bytes.size() - at < 1 + len + 9) {
        why = std::string("the ") + what + " values are cut short";
        return false;
      }
      std::string name = bytes.substr(at + 1, len);
      values[name] = {uint8_t(bytes[at + 1 + len]), bytes.substr(at + 2 + len, 8)};
      at += 1 + len + 9;
    }
    return true;
  }
  // Missing values keep what `v` holds; a value of another type is refused.
  template <typename T>
  bool raw(const char* name, ValueType type, T& v) {
    auto it = values.find(name);
    if (it == values.end()) return false;
    if (it->second.first != type) {
      why = std::string("the value '") + name + "' has the wrong type";
      return false;
    }
    std::memcpy(&v, it->second.second.data(), sizeof(T));
    return true;
  }
  void get(const char* name, int& v) {
    int64_t w;
    if (raw(name, V_INT, w)) {
      if (w < INT32_MIN || w > INT32_MAX) why = std::string("the value '") + name + "' is out of range";
      else v = int(w);
    }
  }
  void get(const char* name, uint64_t& v) { raw(name, V_U64, v); }
  void get(const char* name, float& v) {
    float f;
    if (!raw(name, V_FLOAT, f)) return;
    if (!std::isfinite(f)) why = std::string("the value '") + name + "' is not a finite number";
    else v = f;
  }
  void get(const char* name, bool& v) {
    uint8_t b;
    if (raw(name, V_BOOL, b)) v = b != 0;
  }
  void get(const char* name, double& v) {
    double d;
    if (!raw(name, V_DOUBLE, d)) return;
    if (!std::isfinite(d)) why = std::string("the value '") + name + "' is not a finite number";
    else v = d;
  }
};

// ---- the host's own state: spawning, the module's step count, play time, the camera ----

struct HostState {
  bool spawn_enabled = true;
  float spawn_delay = 5;
  int spawned = 0;
  int module_step = 0;
  double played = 0;
  CameraState cam;
};

#define HOST_CAMERA_FIELDS(X)                                                                        \
  X(cam.pos.x) X(cam.pos.y) X(cam.pos.z) X(cam.yaw) X(cam.pitch) X(cam.roll) X(cam.zoom) X(cam.roll_gain) \
  X(cam.fwd_tap_timer) X(cam.back_tap_timer) X(cam.dash)

std::string host_values() {
  HostState h{monster_spawn_enabled, monster_spawn_delay, int(total_spawned_monsters), gameobj_step_count(), played,
              camera};
  NamedValueWriter w;
  w.put("monster_spawn_enabled", h.spawn_enabled);
  w.put("monster_spawn_delay", h.spawn_delay);
  w.put("total_spawned_monsters", h.spawned);
  w.put("module_step", h.module_step);
  w.put("seconds_played", h.played);
#define PUT_HOST(field) w.put(#field, h.field);
  HOST_CAMERA_FIELDS(PUT_HOST)
#undef PUT_HOST
  return w.bytes;
}

bool read_host_values(const std::string& bytes, HostState& h, std::string& why) {
  NamedValues v;
  if (v.parse(bytes, "host")) {
    h.cam = camera;
    v.get("monster_spawn_enabled", h.spawn_enabled);
    v.get("monster_spawn_delay", h.spawn_delay);
    v.get("total_spawned_monsters", h.spawned);
    v.get("module_step", h.module_step);
    v.get("seconds_played", h.played);
#define GET_HOST(field) v.get(#field, h.field);
    HOST_CAMERA_FIELDS(GET_HOST)
#undef GET_HOST
  }
  why = v.why;
  return why.empty();
}

void apply_host_state(const HostState& h) {
  monster_spawn_enabled = h.spawn_enabled;
  monster_spawn_delay = h.spawn_delay;
  total_spawned_monsters = h.spawned;
  set_gameobj_step_count(h.module_step);
  played = h.played;
  camera = h.cam;
  camera.prev_pos = camera.pos;
  camera.prev_roll = camera.roll;
  camera.prev_zoom = camera.zoom;
  camera.prev_roll_gain = camera.roll_gain;
}

// ---- the run state ----

std::string run_values() {
  NamedValueWriter w;
#define PUT_RUN(type, name, start) w.put(#name, run_state.name);
  RUN_STATE_FIELDS(PUT_RUN)
#undef PUT_RUN
  return w.bytes;
}

bool read_run_values(const std::string& bytes, RunState& rs, std::string& why) {
  NamedValues v;
  rs = RunState{};
  if (v.parse(bytes, "run")) {
#define GET_RUN(type, name, start) v.get(#name, rs.name);
    RUN_STATE_FIELDS(GET_RUN)
#undef GET_RUN
  }
  why = v.why;
  return why.empty();
}

// ---- the world ----

std::string world_bytes(const void* a, size_t na, const void* b, size_t nb, const void* c = nullptr, size_t nc = 0) {
  std::string s(static_cast<const char*>(a), na);
  s.append(static_cast<const char*>(b), nb);
  if (c) s.append(static_cast<const char*>(c), nc);
  return s;
}

constexpr size_t SEED_BYTES = sizeof(uint64_t) + sizeof(noise_perm) + sizeof(noise_rnd);
constexpr size_t LAND_BYTES = sizeof(hmap) + sizeof(target_hmap) + sizeof(surface);
constexpr size_t WATER_BYTES = sizeof(water) + sizeof(tmpw);

bool all_finite(const float* v, size_t n) {
  for (size_t i = 0; i < n; i++)
    if (!std::isfinite(v[i])) return false;
  return true;
}

// The parts of a save that replace the world's arrays, checked before any is used.
bool check_world(const Sections& s, std::string& why) {
  auto size_is = [&](const char* tag, size_t n) {
    auto it = s.find(tag);
    if (it == s.end()) why = std::string("section '") + tag + "' is missing";
    else if (it->second.size() != n) why = std::string("section '") + tag + "' has the wrong size";
    return why.empty();
  };
  if (!size_is("SEED", SEED_BYTES) || !size_is("LAND", LAND_BYTES) || !size_is("WATR", WATER_BYTES)) return false;
  for (const char* tag : {"RUN ", "HOST", "OBJS"})
    if (!s.count(tag)) {
      why = std::string("section '") + tag + "' is missing";
      return false;
    }
  const std::string& land = s.at("LAND");
  const std::string& wat = s.at("WATR");
  if (!all_finite(reinterpret_cast<const float*>(land.data()), (sizeof(hmap) + sizeof(target_hmap)) / sizeof(float)) ||
      !all_finite(reinterpret_cast<const float*>(wat.data()), wat.size() / sizeof(float))) {
    why = "the land or the water holds a number that is not finite";
    return false;
  }
  const std::string& seed = s.at("SEED");
  const auto* rnd = reinterpret_cast<const float*>(seed.data() + sizeof(uint64_t) + sizeof(noise_perm));
  if (!all_finite(rnd, 512)) {
    why = "the noise table holds a number that is not finite";
    return false;
  }
  const auto* cells = reinterpret_cast<const Surface*>(land.data() + sizeof(hmap) + sizeof(target_hmap));
  for (int i = 0; i < HMAP_CELLS; i++)
    if (cells[i].groundType == GT_HOUSE && int(cells[i].houseTile) >= HeightmapRenderer::num_house_tiles) {
      why = "a house cell names a building piece that does not exist";
      return false;
    }
  return true;
}

void apply_world(const Sections& s) {
  const std::string& seed = s.at("SEED");
  std::memcpy(&game_rnd_seed, seed.data(), sizeof(uint64_t));
  std::memcpy(noise_perm, seed.data() + sizeof(uint64_t), sizeof(noise_perm));
  std::memcpy(noise_rnd, seed.data() + sizeof(uint64_t) + sizeof(noise_perm), sizeof(noise_rnd));
  const char* land = s.at("LAND").data();
  std::memcpy(hmap, land, sizeof(hmap));
  std::memcpy(target_hmap, land + sizeof(hmap), sizeof(target_hmap));
  std::memcpy(surface, land + sizeof(hmap) + sizeof(target_hmap), sizeof(surface));
  const char* wat = s.at("WATR").data();
  std::memcpy(water, wat, sizeof(water));
  std::memcpy(tmpw, wat + sizeof(water), sizeof(tmpw));
}

std::string build_payload() {
  std::string out;
  uint64_t rnd = game_rnd_seed;
  put_section(out, "SEED", world_bytes(&rnd, sizeof(rnd), noise_perm, sizeof(noise_perm), noise_rnd, sizeof(noise_rnd)));
  put_section(out, "LAND", world_bytes(hmap, sizeof(hmap), target_hmap, sizeof(target_hmap), surface, sizeof(surface)));
  put_section(out, "WATR", world_bytes(water, sizeof(water), tmpw, sizeof(tmpw)));
  put_section(out, "RUN ", run_values());
  put_section(out, "HOST", host_values());
  ObjectSaveWriter objects;
  if (gameobj_entry.save_gameobj) reinterpret_cast<GameobjSaveFn>(gameobj_entry.save_gameobj)(objects);
  put_section(out, "OBJS", objects.bytes);
  return out;
}

SaveSummary summary_now() {
  SaveSummary s;
  s.world_number = run_state.world_number;
  CastleObject* c = CastleObject_list.count ? CastleObject_list[0] : nullptr;
  s.castle_level = c ? c->castleLevel() : 0;
  s.seconds_played = played;
  s.saved_at = int64_t(std::time(nullptr));
  return s;
}

// Everything checked first; then the world, the run and the objects. The
// module refuses objects it cannot read, and the world saved just before
// is put back.
bool apply_payload(const std::string& payload, std::string& why) {
  Sections s;
  RunState rs;
  HostState host;
  if (!split_sections(payload, s, why) || !check_world(s, why) || !read_run_values(s.at("RUN "), rs, why) ||
      !read_host_values(s.at("HOST"), host, why))
    return false;
  if (!gameobj_entry.load_gameobj) {
    why = "the game-object module cannot load objects";
    return false;
  }
  std::string before = build_payload();
  apply_world(s);
  run_state = rs;
  apply_host_state(host);
  if (world_gen_hooks.resetCommonFx) world_gen_hooks.resetCommonFx();
  const std::string& objs = s.at("OBJS");
  ObjectSaveReader reader(objs.data(), objs.size());
  if (!reinterpret_cast<GameobjLoadFn>(gameobj_entry.load_gameobj)(reader)) {
    why = std::string("its objects cannot be read: ") + reader.why;
    std::string ignored;
    apply_payload(before, ignored);
    return false;
  }
  note_loaded_world_seed(run_state.world_seed);
  if (world_hooks.heightsChanged) world_hooks.heightsChanged();
  return true;
}

bool ends_with(const std::string& s, const char* suffix) {
  size_t n = std::strlen(suffix);
  return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}
}  // namespace

std::string saves_dir() { return user_data_dir() + "saves/"; }
std::string autosave_path() { return saves_dir() + AUTOSAVE_NAME; }

std::string new_save_path() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  char stamp[32];
  std::strftime(stamp, sizeof(stamp), "%Y%m%d-%H%M%S", &tm);
  std::string base = saves_dir() + "save-" + stamp;
  std::string path = base + ".sav";
  struct stat st;
  for (int n = 2; ::stat(path.c_str(), &st) == 0; n++) path = base + "-" + std::to_string(n) + ".sav";
  return path;
}

bool save_game(const std::string& path, std::string& why) {
  if (!make_parent_dirs(path, &why)) {
    why = "can't save to '" + path + "': " + why;
    return false;
  }
  int64_t start = get_ref_time();
  SaveSummary summary = summary_now();
  std::string payload = build_payload();
  if (!write_save_file(path, summary, payload, why)) return false;
  debug("saved world %d to '%s' (world hash: %016llx)", summary.world_number, path.c_str(),
        (unsigned long long)world_hash());
  struct stat st;
  debug("save: %zu bytes of data in %lld bytes, %d ms", payload.size(),
        (long long)(::stat(path.c_str(), &st) == 0 ? st.st_size : -1), get_time_msec(get_ref_time() - start));
  return true;
}

bool read_save(const std::string& path, LoadedSave& out, std::string& why) {
  out.path = path;
  return read_save_file(path, out.summary, out.payload, why);
}

bool apply_save(const LoadedSave& save, std::string& why) {
  int64_t start = get_ref_time();
  if (!apply_payload(save.payload, why)) {
    why = "'" + save.path + "' cannot be loaded: " + why;
    return false;
  }
  debug("loaded world %d from '%s' (world hash: %016llx)", run_state.world_number, save.path.c_str(),
        (unsigned long long)world_hash());
  debug("load: applied in %d ms", get_time_msec(get_ref_time() - start));
  return true;
}

bool load_game(const std::string& path, std::string& why) {
  int64_t start = get_ref_time();
  LoadedSave save;
  if (!read_save(path, save, why) || !apply_save(save, why)) return false;
  debug("load: %d ms", get_time_msec(get_ref_time() - start));
  return true;
}

std::vector<SaveListEntry> list_saves() {
  std::vector<SaveListEntry> out;
  std::string dir = saves_dir();
  DIR* d = ::opendir(dir.c_str());
  if (!d) return out;
  while (dirent* e = ::readdir(d)) {
    std::string name = e->d_name;
    if (!ends_with(name, ".sav")) continue;
    SaveListEntry entry;
    entry.path = dir + name;
    entry.name = name;
    entry.readable = read_save_summary(entry.path, entry.summary, entry.why);
    out.push_back(entry);
  }
  ::closedir(d);
  std::sort(out.begin(), out.end(), [](const SaveListEntry& a, const SaveListEntry& b) {
    bool aa = a.name == AUTOSAVE_NAME, ba = b.name == AUTOSAVE_NAME;
    if (aa != ba) return aa;
    if (a.summary.saved_at != b.summary.saved_at) return a.summary.saved_at > b.summary.saved_at;
    return a.name > b.name;
  });
  return out;
}

void count_played_step(float dt) { played += dt; }
double seconds_played() { return played; }
