// The settings store's public getters and setters over the settings file.
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/settings_store.h"

TempString get_config_file_path() {
  std::string base;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home ? home : "") + "/.config";
  }
  base += "/Mirevast Games/Tolvane/settings.reg";
  return TempString(base.c_str());
}

namespace {
// The file as last read, with what identified it: start-up reads several
// values and each would otherwise parse the whole file again.
struct CachedSettings {
  std::string path;
  bool exists = false;
  struct timespec mtime = {};
  off_t size = -1;
  SettingsFile file;
};
CachedSettings cache;

// The parsed settings file, read again only when it changed on disk.
const SettingsFile& current_settings() {
  TempString path = get_config_file_path();
  struct stat st;
  bool exists = stat(path.c_str(), &st) == 0;
  bool same = cache.path == path.c_str() && cache.exists == exists &&
              (!exists || (st.st_mtim.tv_sec == cache.mtime.tv_sec && st.st_mtim.tv_nsec == cache.mtime.tv_nsec &&
                           st.st_size == cache.size));
  if (!same) {
    cache.path = path.c_str();
    cache.exists = exists;
    cache.mtime = exists ? st.st_mtim : timespec{};
    cache.size = exists ? st.st_size : -1;
    cache.file = load_settings_file(path);
  }
  return cache.file;
}

bool write_value(const SettingsValue& v) {
  TempString path = get_config_file_path();
  SettingsFile file = load_settings_file(path);
  if (SettingsValue* old = file.find(v.name.c_str()))
    *old = v;
  else
    file.values.push_back(v);
  cache.path.clear();  // read afresh next time
  return save_settings_file(path, file);
}
}  // namespace

bool set_config_int(const char* name, int value) {
  if (!name) return false;
  SettingsValue v;
  v.name = name;
  v.type = SettingsValue::DWORD;
  v.dword = uint32_t(value);
  return write_value(v);
}

bool set_config_str(const char* name, const char* str, int len) {
  if (!name || !str) return false;
  if (len < 0) len = int(std::strlen(str));
  SettingsValue v;
  v.name = name;
  v.type = SettingsValue::STRING;
  // The stored bytes need not be terminated; the text ends at the first NUL.
  v.text.assign(str, strnlen(str, size_t(len)));
  return write_value(v);
}

bool get_config_int(const char* name, int& out) {
  if (!name) return false;
  const SettingsValue* v = current_settings().find(name);
  if (!v || v->type != SettingsValue::DWORD) return false;
  out = int(v->dword);
  return true;
}

bool get_config_str(const char* name, char* buf, int size) {
  if (!name || !buf || size <= 0) return false;
  buf[0] = 0;
  const SettingsValue* v = current_settings().find(name);
  if (!v || v->type != SettingsValue::STRING) return false;
  if (int(v->text.size()) > size - 1) return false;
  std::memcpy(buf, v->text.data(), v->text.size());
  buf[v->text.size()] = 0;
  return true;
}
