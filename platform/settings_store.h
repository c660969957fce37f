#pragma once
// The typed settings file: named DWORD and string values in the text form
// "name"=dword:0000000c / "name"="text", one per line, under a key header.
#include <cstdint>
#include <string>
#include <vector>

struct SettingsValue {
  enum Type { DWORD, STRING };
  std::string name;
  Type type = DWORD;
  uint32_t dword = 0;
  std::string text;
};

struct SettingsFile {
  std::vector<SettingsValue> values;
  // Lines that are neither the header nor a value: kept verbatim on rewrite
  // so that saving never throws away what a person wrote there.
  std::vector<std::string> other_lines;

  SettingsValue* find(const char* name);
  const SettingsValue* find(const char* name) const { return const_cast<SettingsFile*>(this)->find(name); }
};

// Parses text; a malformed value line is skipped with one log line.
SettingsFile parse_settings(const std::string& text, const char* source_name);
std::string format_settings(const SettingsFile& file);

// Reads the file at path; a missing or unreadable file is empty.
SettingsFile load_settings_file(const char* path);
// Writes a temporary file beside path, then renames it over path, so the old
// file survives any failure. Creates missing parent directories.
bool save_settings_file(const char* path, const SettingsFile& file);
