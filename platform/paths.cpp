// Executable-relative paths and file times.
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/globals.h"
#include "platform/platform.h"

bool get_exe_filename(char* buf, unsigned size) {
  if (!buf || size == 0) return false;
  ssize_t n = readlink("/proc/self/exe", buf, size);
  if (n <= 0 || unsigned(n) >= size) {
    buf[0] = 0;
    return false;
  }
  buf[n] = 0;
  return true;
}

bool get_exe_path(char* buf, unsigned size) {
  if (!get_exe_filename(buf, size)) return false;
  char* cut = std::strrchr(buf, '/');
  if (cut) cut[1] = 0;
  return true;
}

namespace {
void to_forward_slashes(std::string& s) {
  for (char& c : s)
    if (c == '\\') c = '/';
}

// Collapses "//", "." and ".." without touching the file system, so paths to
// files that do not exist yet are made absolute as well.
std::string normalise_absolute(const std::string& path) {
  std::vector<std::string> parts;
  size_t i = 0;
  while (i <= path.size()) {
    size_t j = path.find('/', i);
    if (j == std::string::npos) j = path.size();
    std::string part = path.substr(i, j - i);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    i = j + 1;
  }
  std::string out;
  for (auto& p : parts) out += "/" + p;
  bool dir = !path.empty() && path.back() == '/';
  if (out.empty() || dir) out += "/";
  return out;
}
}  // namespace

TempString make_full_path(const char* path) {
  if (!path) return TempString(app_path);
  std::string joined = path;
  to_forward_slashes(joined);
  if (joined.empty() || joined[0] != '/') joined = std::string(app_path) + joined;
  std::string full = joined;
  if (!full.empty() && full[0] == '/') full = normalise_absolute(full);
  to_forward_slashes(full);
  return TempString(full.c_str());
}

int64_t get_file_time(const char* path) {
  struct stat st;
  if (!path || stat(path, &st) != 0) return 0;
  return int64_t(st.st_mtime);
}
