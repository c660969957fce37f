// The user's data and cache folders and the choice between them and the
// program folder.
#include "platform/user_dirs.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/globals.h"
#include "platform/platform.h"

namespace {
constexpr const char* GAME_SUBDIR = "Mirevast Games/Tolvane/";

std::string home_dir() {
  const char* home = std::getenv("HOME");
  if (home && home[0]) return home;
  // A session started without HOME (a service, a bare `env -i`).
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "";
}

// The XDG rule: the variable counts only when it holds an absolute path;
// otherwise the default under the home folder.
std::string xdg_base(const char* var, const char* home_default) {
  const char* v = std::getenv(var);
  std::string base = v && v[0] == '/' ? std::string(v) : home_dir() + "/" + home_default;
  if (base.empty() || base.back() != '/') base += '/';
  return base + GAME_SUBDIR;
}
}  // namespace

std::string user_data_dir() { return xdg_base("XDG_DATA_HOME", ".local/share"); }
std::string user_cache_dir() { return xdg_base("XDG_CACHE_HOME", ".cache"); }

bool program_dir_installed() {
  std::string marker = std::string(app_path) + INSTALL_MARKER_FILE;
  return app_path[0] == '/' && access(marker.c_str(), F_OK) == 0;
}

bool program_dir_writable() {
  return app_path[0] == '/' && !program_dir_installed() && access(app_path, W_OK) == 0;
}

std::string writable_path(WriteArea area, const char* rel) {
  if (!rel) rel = "";
  if (rel[0] == '/') return rel;
  if (program_dir_writable()) return make_full_path(rel).c_str();
  std::string name = rel;
  for (char& c : name)
    if (c == '\\') c = '/';
  return (area == WriteArea::Cache ? user_cache_dir() : user_data_dir()) + name;
}

bool prepare_writable_path(WriteArea area, const char* rel, std::string& full, std::string* why) {
  full = writable_path(area, rel);
  // Beside the program the build lays the folders out; an absolute name is
  // the caller's own choice.
  if ((rel && rel[0] == '/') || program_dir_writable()) return true;
  return make_parent_dirs(full, why);
}

bool make_parent_dirs(const std::string& path, std::string* why) {
  for (size_t i = 1; i < path.size(); i++) {
    if (path[i] != '/') continue;
    std::string dir = path.substr(0, i);
    if (mkdir(dir.c_str(), 0755) == 0) continue;
    int err = errno;
    struct stat st;
    if (stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) continue;
    if (err == EEXIST) err = ENOTDIR;  // a file stands where the folder belongs
    if (why) *why = dir + ": " + std::strerror(err);
    return false;
  }
  return true;
}
