// Recording each step's input to a text file and feeding it back.
#include "app/input_log.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "objects/spell_grid.h"
#include "platform/vk_codes.h"

namespace {
constexpr const char* MAGIC = "tolvane-input ";  // then the version

// The held keys of the step being replayed, read through the keyboard-state
// hook by everything that asks whether a key is down.
KeyboardState replay_state;
void read_replayed_state(KeyboardState& out) { out = replay_state; }

void append_event(const InputEvent& ev, void* ctx) { static_cast<StepInput*>(ctx)->events.push_back(ev); }

std::string line_error(const std::string& name, int line, const char* what) {
  return name + ":" + std::to_string(line) + ": " + what;
}

// Splits one line into fields separated by single or repeated spaces.
std::vector<std::string> fields_of(const std::string& line) {
  std::vector<std::string> out;
  std::istringstream in(line);
  std::string w;
  while (in >> w) out.push_back(w);
  return out;
}

// Only finite numbers: "nan" and "inf" read as floats, and a camera or a
// cursor there would carry them into the world.
bool to_float(const std::string& s, float& out) {
  char* end = nullptr;
  errno = 0;
  out = std::strtof(s.c_str(), &end);
  return !s.empty() && !*end && !errno && std::isfinite(out);
}

bool within(float v, float limit) { return v >= -limit && v <= limit; }

// A place in the world, an angle or a cursor position beyond these is no
// longer a number the game can work with (a camera at 1e30 overflows the
// land renderer's cell arithmetic).
constexpr float RECORD_COORD_LIMIT = 65536.f;   // world units and pixels
constexpr float RECORD_ANGLE_LIMIT = 1000.f;    // radians
constexpr int RECORD_SPELL_PLACES = 10;

bool to_int(const std::string& s, int& out) {
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(s.c_str(), &end, 10);
  if (s.empty() || *end || errno || v < -0x7fffffffL || v > 0x7fffffffL) return false;
  out = int(v);
  return true;
}

bool to_u64(const std::string& s, uint64_t& out) {
  if (s.empty() || s[0] == '-') return false;
  char* end = nullptr;
  errno = 0;
  out = std::strtoull(s.c_str(), &end, 10);
  return !*end && !errno;
}

bool parse_held(const std::string& s, std::vector<int>& out) {
  if (s == "-") return true;
  std::istringstream in(s);
  std::string part;
  while (std::getline(in, part, ',')) {
    int vk;
    if (!to_int(part, vk) || vk < 0 || vk > 255) return false;
    out.push_back(vk);
  }
  return true;
}

// "s YAW PITCH ROLL MX MY ACTIVE TOGGLED HELD"
bool parse_step(const std::vector<std::string>& f, StepInput& st) {
  int active;
  return f.size() == 9 && to_float(f[1], st.yaw) && to_float(f[2], st.pitch) && to_float(f[3], st.roll) &&
         within(st.yaw, RECORD_ANGLE_LIMIT) && within(st.pitch, RECORD_ANGLE_LIMIT) &&
         within(st.roll, RECORD_ANGLE_LIMIT) && to_float(f[4], st.mouse_x) && to_float(f[5], st.mouse_y) &&
         within(st.mouse_x, RECORD_COORD_LIMIT) && within(st.mouse_y, RECORD_COORD_LIMIT) && to_int(f[6], active) &&
         (active == 0 || active == 1) && (st.active = active, to_int(f[7], st.toggled)) && parse_held(f[8], st.held);
}

// "e TYPE KEY FLAGS CH WHEEL X Y"
bool parse_event(const std::vector<std::string>& f, InputEvent& ev) {
  return f.size() == 8 && to_int(f[1], ev.type) && ev.type >= EV_KEY_DOWN && ev.type <= EV_WHEEL &&
         to_int(f[2], ev.key) && to_int(f[3], ev.flags) && to_int(f[4], ev.ch) && to_int(f[5], ev.wheel) &&
         to_float(f[6], ev.x) && to_float(f[7], ev.y) && within(ev.x, RECORD_COORD_LIMIT) &&
         within(ev.y, RECORD_COORD_LIMIT);
}

// "p PLACE HAND"
bool parse_pick(const std::vector<std::string>& f, SpellPick& p) {
  return f.size() == 3 && to_int(f[1], p.place) && p.place >= 0 && p.place < SPELL_GRID_NX * SPELL_GRID_NY && to_int(f[2], p.hand) &&
         (p.hand == 0 || p.hand == 1);
}

// The lines after "steps", one parser per kind of line. Each returns the
// error for its line, or null when it was good.
using StepLineParser = const char* (*)(const std::vector<std::string>& f, InputLog& log);

const char* step_line(const std::vector<std::string>& f, InputLog& log) {
  log.steps.emplace_back();
  return parse_step(f, log.steps.back()) ? nullptr : "bad step line";
}

const char* event_line(const std::vector<std::string>& f, InputLog& log) {
  InputEvent ev{};
  if (log.steps.empty() || !parse_event(f, ev)) return "bad event line";
  log.steps.back().events.push_back(ev);
  return nullptr;
}

const char* pick_line(const std::vector<std::string>& f, InputLog& log) {
  SpellPick p{};
  if (log.version < 2) return "a version 1 record has no pick lines";
  if (log.steps.empty() || !parse_pick(f, p)) return "bad pick line";
  log.steps.back().picks.push_back(p);
  return nullptr;
}

struct StepLineKind {
  const char* tag;
  StepLineParser parse;
};
const StepLineKind STEP_LINES[] = {{"s", step_line}, {"e", event_line}, {"p", pick_line}};

// "tolvane-input N" with a version this game reads, else 0.
int version_of(const std::string& first_line) {
  if (first_line.rfind(MAGIC, 0) != 0) return 0;
  int v = 0;
  if (!to_int(first_line.substr(std::strlen(MAGIC)), v)) return 0;
  return v;
}

// Header lines before "steps".
bool parse_header_line(const std::vector<std::string>& f, ReplayStart& s) {
  if (f[0] == "seed") return f.size() == 2 && to_u64(f[1], s.seed);
  if (f[0] == "dev") return f.size() == 2 && (f[1] == "0" || f[1] == "1") && (s.dev_mode = f[1] == "1", true);
  if (f[0] == "mana_cheat")
    return f.size() == 2 && (f[1] == "0" || f[1] == "1") && (s.mana_cheat = f[1] == "1", true);
  if (f[0] == "gfx") return f.size() == 2 && (f[1] == "0" || f[1] == "1") && (s.gfx_quality = f[1][0] - '0', true);
  if (f[0] == "cam") {
    if (f.size() != 6) return false;
    for (int i = 0; i < 5; i++)
      if (!to_float(f[i + 1], s.cam[i]) || !within(s.cam[i], i < 3 ? RECORD_COORD_LIMIT : RECORD_ANGLE_LIMIT))
        return false;
    s.has_cam = true;
    return true;
  }
  if (f[0] == "cast") {
    ReplayStart::Cast c{};
    if (f.size() != 4 || !to_int(f[1], c.step) || !to_int(f[2], c.place) || !to_int(f[3], c.hand)) return false;
    if (c.step < 0 || c.place < 0 || c.place >= RECORD_SPELL_PLACES || (c.hand != 0 && c.hand != 1)) return false;
    s.casts.push_back(c);
    return true;
  }
  return false;
}
}  // namespace

StepInput capture_step_input() {
  StepInput st;
  KeyboardState ks;
  read_keyboard_state(ks);
  for (int vk = 0; vk < 256; vk++)
    if (ks.held[vk]) st.held.push_back(vk);
  if (ks.toggled[VK_CAPITAL]) st.toggled |= IF_CAPSLOCK;
  if (ks.toggled[VK_SCROLL]) st.toggled |= IF_SCROLLLOCK;
  if (ks.toggled[VK_NUMLOCK]) st.toggled |= IF_NUMLOCK;
  getMousePos(&st.mouse_x, &st.mouse_y);
  visit_step_events(append_event, &st);
  return st;
}

void apply_step_input(const StepInput& in) {
  clear_input_step();
  std::memset(&replay_state, 0, sizeof(replay_state));
  for (int vk : in.held) replay_state.held[vk & 255] = true;
  replay_state.toggled[VK_CAPITAL] = in.toggled & IF_CAPSLOCK;
  replay_state.toggled[VK_SCROLL] = in.toggled & IF_SCROLLLOCK;
  replay_state.toggled[VK_NUMLOCK] = in.toggled & IF_NUMLOCK;
  set_keyboard_state_reader(read_replayed_state);
  set_recorded_mouse_pos(in.mouse_x, in.mouse_y);
  for (const InputEvent& ev : in.events) push_recorded_event(ev);
}

void stop_replaying_input() { set_keyboard_state_reader(nullptr); }

InputLogWriter::~InputLogWriter() { close(); }

bool InputLogWriter::open(const std::string& path, const ReplayStart& s) {
  close();
  file = path;
  failed = false;
  f = std::fopen(path.c_str(), "wb");
  if (!f) {
    err = "can't create input record '" + path + "': " + std::strerror(errno);
    return false;
  }
  std::fprintf(f, "%s%d\nseed %llu\ndev %d\nmana_cheat %d\n", MAGIC, INPUT_LOG_VERSION, (unsigned long long)s.seed,
               s.dev_mode ? 1 : 0, s.mana_cheat ? 1 : 0);
  if (s.has_cam)
    std::fprintf(f, "cam %.9g %.9g %.9g %.9g %.9g\n", s.cam[0], s.cam[1], s.cam[2], s.cam[3], s.cam[4]);
  for (const ReplayStart::Cast& c : s.casts) std::fprintf(f, "cast %d %d %d\n", c.step, c.place, c.hand);
  if (std::fputs("steps\n", f) < 0 || std::fflush(f) != 0) note_failure(errno);
  return true;
}

bool InputLogWriter::write(const StepInput& in) {
  if (!f) return false;
  std::string held;
  for (int vk : in.held) held += (held.empty() ? "" : ",") + std::to_string(vk);
  if (held.empty()) held = "-";
  bool ok = std::fprintf(f, "s %.9g %.9g %.9g %.9g %.9g %d %d %s\n", in.yaw, in.pitch, in.roll, in.mouse_x,
                         in.mouse_y, in.active ? 1 : 0, in.toggled, held.c_str()) >= 0;
  for (const InputEvent& e : in.events)
    ok = ok && std::fprintf(f, "e %d %d %d %d %d %.9g %.9g\n", e.type, e.key, e.flags, e.ch, e.wheel, e.x, e.y) >= 0;
  // Every step reaches the file before it runs: a run that crashes in it
  // leaves a record whose replay runs into the same crash.
  ok = ok && std::fflush(f) == 0;
  if (!ok) note_failure(errno);
  return !failed;
}

bool InputLogWriter::writePicks(const std::vector<SpellPick>& picks) {
  if (!f) return false;
  if (picks.empty()) return !failed;
  bool ok = true;
  for (const SpellPick& p : picks) ok = ok && std::fprintf(f, "p %d %d\n", p.place, p.hand) >= 0;
  ok = ok && std::fflush(f) == 0;
  if (!ok) note_failure(errno);
  return !failed;
}

void InputLogWriter::note_failure(int error_number) {
  if (failed) return;
  failed = true;
  err = "can't write input record '" + file + "': " + std::strerror(error_number ? error_number : EIO);
}

bool InputLogWriter::close() {
  if (!f) return !failed;
  bool flushed = std::fflush(f) == 0;
  int flush_error = errno;
  if (!flushed) note_failure(flush_error);
  if (std::fclose(f) != 0) note_failure(errno);
  f = nullptr;
  return !failed;
}

bool InputLog::load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "can't open input record '" + path + "'";
    return false;
  }
  std::stringstream ss;
  ss << in.rdbuf();
  return parse(ss.str(), path);
}

bool InputLog::parse(const std::string& text, const std::string& name) {
  version = 0;
  start = ReplayStart();
  steps.clear();
  std::istringstream in(text);
  std::string line;
  int n = 0;
  bool in_steps = false;
  while (std::getline(in, line)) {
    n++;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (n == 1) {
      version = version_of(line);
      if (version == 0) return error = line_error(name, n, "not an input record (bad first line)"), false;
      if (version > INPUT_LOG_VERSION) {
        std::string what = "input record version " + std::to_string(version) + " is newer than this game reads (" +
                           std::to_string(INPUT_LOG_VERSION) + ")";
        return error = line_error(name, n, what.c_str()), false;
      }
      continue;
    }
    std::vector<std::string> f = fields_of(line);
    if (f.empty() || f[0][0] == '#') continue;
    if (!in_steps) {
      if (f[0] == "steps" && f.size() == 1) in_steps = true;
      else if (!parse_header_line(f, start)) return error = line_error(name, n, "bad header line"), false;
      continue;
    }
    const StepLineKind* kind = nullptr;
    for (const StepLineKind& k : STEP_LINES)
      if (f[0] == k.tag) kind = &k;
    if (!kind) return error = line_error(name, n, "unknown line"), false;
    if (const char* bad = kind->parse(f, *this)) return error = line_error(name, n, bad), false;
  }
  if (n == 0) return error = line_error(name, 1, "empty file"), false;
  if (!in_steps) return error = line_error(name, n, "no 'steps' line"), false;
  return true;
}
