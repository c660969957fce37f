// Development-time rebuild of the module: watching its sources, running the
// rebuild script without ever waiting for it, and swapping the result in.
#include <dlfcn.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "containers/dyn_array.h"
#include "platform/globals.h"
#include "platform/log.h"
#include "platform/messages.h"
#include "platform/platform.h"
#include "objects/module_host.h"

namespace {
struct WatchedSource {
  char path[260];
  int64_t time;
};
DynArray<WatchedSource> watched;

FILE* rebuild_pipe = nullptr;
int64_t rebuild_start = 0;

constexpr const char* INCLUDE_PREFIX = "#include \"";

bool is_word_char(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// The name inside `#include "name"`, or false for any other line.
bool included_source(const char* line, char* name, size_t size) {
  size_t prefix = std::strlen(INCLUDE_PREFIX);
  if (std::strncmp(line, INCLUDE_PREFIX, prefix) != 0) return false;
  const char* start = line + prefix;
  const char* end = std::strchr(start, '"');
  if (!end || end == start || size_t(end - start) >= size) return false;
  std::memcpy(name, start, size_t(end - start));
  name[end - start] = 0;
  return true;
}

// Modification time in nanoseconds, 0 for a missing file. Whole seconds would
// miss an edit saved in the same second as the rebuild's scan, and the new
// code would silently never arrive.
int64_t source_time(const char* path) {
  struct stat st;
  if (stat(path, &st) != 0) return 0;
  return int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

bool sources_changed() {
  for (const WatchedSource& w : watched)
    if (source_time(w.path) != w.time) return true;
  return false;
}

// Whether the writer has closed its end and nothing is left to read.
bool pipe_output_ended(FILE* pipe) {
  if (std::feof(pipe)) return true;
  if (pipe_bytes_available(pipe) > 0) return false;
  pollfd p{fileno(pipe), POLLIN, 0};
  if (poll(&p, 1, 0) <= 0) return false;
  return (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0 && !(p.revents & POLLIN);
}

void echo_output_line(char* line) {
  std::fputs(line, stdout);
  size_t len = std::strlen(line);
  if (len == 0 || line[len - 1] != '\n') std::fputc('\n', stdout);
  std::fflush(stdout);
  while (len > 0 && (line[len - 1] == '\n' || line[len - 1] == '\r')) line[--len] = 0;
  if (line_reports_error(line)) append_error_message(line, int(len));
}

int close_rebuild_pipe() {
  int status = pclose(rebuild_pipe);
  rebuild_pipe = nullptr;
  return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void finish_rebuild() {
  int code = close_rebuild_pipe();
  if (code == 0 && !has_error_message()) {
    debug("=== DLL rebuild done in %d ms", get_time_msec(get_ref_time() - rebuild_start));
    return;
  }
  const char* failed = "gameobj rebuild failed!!!";
  append_error_message(failed, int(std::strlen(failed)));
  debug("!!! failed to rebuild gameobj DLL (code %d)", code);
}

// Drains what the script has written so far; true while it still runs.
bool drain_rebuild_output() {
  char line[1024];
  while (pipe_bytes_available(rebuild_pipe) > 0) {
    if (!std::fgets(line, sizeof(line), rebuild_pipe)) break;
    echo_output_line(line);
  }
  if (!pipe_output_ended(rebuild_pipe)) return true;
  finish_rebuild();
  return false;
}

bool start_rebuild() {
  clear_rebuild_sources();
  scan_rebuild_sources(GAMEOBJ_MAIN_SOURCE);
  set_error_message(nullptr);
  debug("=== rebuilding gameobj DLL");
  TempString dir = make_full_path("../compiler");
  if (chdir(dir.c_str()) != 0) debug("can't change directory to '%s'", dir.c_str());
  rebuild_start = get_ref_time();
  // The script finds the program directory (where gameobj_new.so belongs)
  // here; its own location gives the sources.
  setenv("TOLVANE_APP_PATH", app_path, 1);
  TempString script = make_full_path(GAMEOBJ_REBUILD_SCRIPT);
  char command[600];
  std::snprintf(command, sizeof(command), "'%s' 2>&1", script.c_str());
  rebuild_pipe = popen(command, "r");
  if (!rebuild_pipe) {
    debug("!!! Error starting DLL rebuild");
    return true;
  }
  drain_rebuild_output();
  return true;
}

// Loads the new module under a name used once. The loader hands back an
// already loaded library when the name matches, and after a swap the
// running module was loaded as gameobj_new.so: a second rebuild loaded by
// that name would silently be the old code again.
void* load_new_module(const char* new_path, char* why, size_t why_size) {
  static int loads = 0;
  char alias[300];
  std::snprintf(alias, sizeof(alias), "%sgameobj_load_%d_%d.so", app_path, int(getpid()), ++loads);
  std::remove(alias);
  void* lib = nullptr;
  if (symlink(new_path, alias) != 0) {
    std::snprintf(why, why_size, "gameobj_new.so can't be loaded: %s: %s", alias, std::strerror(errno));
    return nullptr;
  }
  lib = load_library(alias);
  if (!lib) {
    const char* err = dlerror();
    std::snprintf(why, why_size, "gameobj_new.so can't be loaded: %s", err ? err : "unknown reason");
  }
  std::remove(alias);
  return lib;
}

// A refused file is set aside, so that it is not tried again every second;
// the running module and gameobj.so stay as they are.
void refuse_new_module(const char* new_path, const char* why) {
  TempString refused = make_full_path(GAMEOBJ_REFUSED_MODULE_FILE);
  std::rename(new_path, refused.c_str());
  set_error_message(why);
  debug("gameobj reload refused: %s", why);
}

// After the new module is linked: gameobj.so becomes gameobj_prev.so and the
// new file takes its name. Each step is checked; a failure leaves the new
// module running from its own file.
bool replace_module_files(const char* new_path) {
  TempString path = make_full_path(GAMEOBJ_MODULE_FILE);
  TempString prev = make_full_path(GAMEOBJ_PREV_MODULE_FILE);
  if (std::rename(path.c_str(), prev.c_str()) != 0)
    debug("can't keep '%s' as '%s': %s", path.c_str(), prev.c_str(), std::strerror(errno));
  if (std::rename(new_path, path.c_str()) != 0) {
    char why[700];
    std::snprintf(why, sizeof(why), "can't rename '%s' to '%s': %s", new_path, path.c_str(), std::strerror(errno));
    debug("%s", why);
    // Renamed back where possible, so that the next start finds a module.
    if (get_file_time(path.c_str()) == 0) std::rename(prev.c_str(), path.c_str());
    TempString refused = make_full_path(GAMEOBJ_REFUSED_MODULE_FILE);
    std::rename(new_path, refused.c_str());
    set_error_message(why);
    return false;
  }
  return true;
}
}  // namespace

bool line_reports_error(const char* line) {
  for (const char* p = line; *p; p++) {
    if (strncasecmp(p, "error", 5) != 0) continue;
    if (p > line && is_word_char(p[-1])) continue;
    const char* after = p + 5;
    if (*after == 's' || *after == 'S') after++;
    if (!is_word_char(*after)) return true;
  }
  return false;
}

void scan_rebuild_sources(const char* path) {
  TempString full = make_full_path(path);
  for (const WatchedSource& w : watched)
    if (strcasecmp(w.path, full.c_str()) == 0) return;
  WatchedSource entry{};
  std::snprintf(entry.path, sizeof(entry.path), "%s", full.c_str());
  entry.time = source_time(full.c_str());
  watched.push_back(entry);
  FILE* f = std::fopen(full.c_str(), "rt");
  if (!f) return;
  char line[256], name[200], next[260];
  while (std::fgets(line, sizeof(line), f))
    if (included_source(line, name, sizeof(name))) {
      std::snprintf(next, sizeof(next), "%s%s", GAMEOBJ_SOURCE_ROOT, name);
      scan_rebuild_sources(next);
    }
  std::fclose(f);
}

int rebuild_watch_count() { return watched.count; }
const char* rebuild_watch_path(int i) { return watched[i].path; }
void clear_rebuild_sources() { watched.reset(); }

bool poll_gameobj_rebuild() {
  if (rebuild_pipe) return drain_rebuild_output();
  if (!sources_changed()) return false;
  return start_rebuild();
}

bool poll_gameobj_reload() {
  if (poll_gameobj_rebuild()) return false;
  TempString new_path = make_full_path(GAMEOBJ_NEW_MODULE_FILE);
  if (get_file_time(new_path.c_str()) == 0) return false;
  char why[400];
  void* lib = load_new_module(new_path.c_str(), why, sizeof(why));
  if (!lib) {
    refuse_new_module(new_path.c_str(), why);
    return false;
  }
  ModuleCheck check;
  if (!check_gameobj_module(lib, check)) {
    free_library(lib);
    std::snprintf(why, sizeof(why), "gameobj_new.so refused: %s", check.text);
    refuse_new_module(new_path.c_str(), why);
    return false;
  }
  swap_in_gameobj_module(lib);
  bool ok = replace_module_files(new_path.c_str());
  debug("gameobj reload %s", ok ? "ok" : "failed");
  return ok;
}
