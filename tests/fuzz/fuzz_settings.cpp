// Fuzz target of the settings file parser: any text parses, and what it
// keeps formats and parses back to the same values.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/settings_store.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::freopen("/dev/null", "w", stdout);  // the parser logs malformed lines
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SettingsFile file = parse_settings(std::string(reinterpret_cast<const char*>(data), size), "fuzz");
  SettingsFile again = parse_settings(format_settings(file), "fuzz");
  if (again.values.size() != file.values.size()) std::abort();
  for (size_t i = 0; i < file.values.size(); i++) {
    const SettingsValue &a = file.values[i], &b = again.values[i];
    if (a.name != b.name || a.type != b.type || a.dword != b.dword || a.text != b.text) std::abort();
  }
  return 0;
}
