#pragma once
// Points the settings store at a fresh temporary directory for one test, so
// tests never touch the user's real settings.
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

struct TempConfigDir {
  std::string dir;
  TempConfigDir() {
    char tmpl[] = "/tmp/tolvane-test-XXXXXX";
    dir = mkdtemp(tmpl);
    setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
  }
  ~TempConfigDir() { std::filesystem::remove_all(dir); }
  std::string settingsFile() const { return dir + "/Mirevast Games/Tolvane/settings.reg"; }
};
