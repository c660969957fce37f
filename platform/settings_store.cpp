// Parsing and atomic writing of the settings file.
#include "platform/settings_store.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <unordered_map>

#include "platform/log.h"

namespace {
const char* const kHeader = "Windows Registry Editor Version 5.00";
const char* const kKeyLine = "[HKEY_CURRENT_USER\\SOFTWARE\\Mirevast Games\\Tolvane]";

// Reads a quoted, backslash-escaped string starting at s[i] == '"'.
bool read_quoted(const std::string& s, size_t& i, std::string& out) {
  if (i >= s.size() || s[i] != '"') return false;
  out.clear();
  for (i++; i < s.size(); i++) {
    char c = s[i];
    if (c == '"') {
      i++;
      return true;
    }
    if (c == '\\') {
      if (++i >= s.size()) return false;
      c = s[i];
      if (c == 'n') c = '\n';
    }
    out += c;
  }
  return false;
}

std::string quote(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\')
      out += '\\', out += c;
    else if (c == '\n')
      out += "\\n";
    else
      out += c;
  }
  return out + "\"";
}

bool parse_dword(const std::string& hex, uint32_t& out) {
  if (hex.empty() || hex.size() > 8) return false;
  uint32_t v = 0;
  for (char c : hex) {
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return false;
    v = v * 16 + uint32_t(d);
  }
  out = v;
  return true;
}

bool parse_value_line(const std::string& line, SettingsValue& v) {
  size_t i = 0;
  if (!read_quoted(line, i, v.name) || v.name.empty()) return false;
  if (i >= line.size() || line[i] != '=') return false;
  i++;
  if (line.compare(i, 6, "dword:") == 0) {
    v.type = SettingsValue::DWORD;
    std::string hex = line.substr(i + 6);
    while (!hex.empty() && (hex.back() == ' ' || hex.back() == '\r')) hex.pop_back();
    return parse_dword(hex, v.dword);
  }
  v.type = SettingsValue::STRING;
  if (!read_quoted(line, i, v.text)) return false;
  while (i < line.size() && (line[i] == ' ' || line[i] == '\r')) i++;
  return i == line.size();
}

bool is_blank(const std::string& line) { return line.find_first_not_of(" \t\r") == std::string::npos; }

// Names compare without case (ASCII), as find() does.
std::string name_key(const std::string& name) {
  std::string k = name;
  for (char& c : k) c = char(std::tolower((unsigned char)c));
  return k;
}

// Malformed lines logged one by one before the rest are only counted.
constexpr int kLoggedMalformedLines = 20;

void make_parent_dirs(const std::string& path) {
  for (size_t i = 1; i < path.size(); i++)
    if (path[i] == '/') mkdir(path.substr(0, i).c_str(), 0755);
}
}  // namespace

SettingsValue* SettingsFile::find(const char* name) {
  for (auto& v : values)
    if (strcasecmp(v.name.c_str(), name) == 0) return &v;
  return nullptr;
}

// One pass over the text; names are found through a hash map, so the time
// grows with the length of the file and not with its square.
SettingsFile parse_settings(const std::string& text, const char* source_name) {
  SettingsFile file;
  std::unordered_map<std::string, size_t> index;  // name_key -> position in values
  std::istringstream in(text);
  std::string line;
  int line_no = 0, malformed = 0;
  while (std::getline(in, line)) {
    line_no++;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line == kHeader || line == kKeyLine || is_blank(line)) continue;
    SettingsValue v;
    if (line[0] == '"' && parse_value_line(line, v)) {
      auto [it, added] = index.emplace(name_key(v.name), file.values.size());
      if (added)
        file.values.push_back(std::move(v));
      else
        file.values[it->second] = std::move(v);  // a later line wins, as a re-import would
      continue;
    }
    if (++malformed <= kLoggedMalformedLines)
      debug("settings: ignoring malformed line %d of '%s'", line_no, source_name);
    file.other_lines.push_back(line);
  }
  if (malformed > kLoggedMalformedLines)
    debug("settings: ignored %d more malformed lines of '%s'", malformed - kLoggedMalformedLines, source_name);
  return file;
}

std::string format_settings(const SettingsFile& file) {
  std::string out = std::string(kHeader) + "\n\n" + kKeyLine + "\n";
  char hex[16];
  for (auto& v : file.values) {
    out += quote(v.name) + "=";
    if (v.type == SettingsValue::DWORD) {
      std::snprintf(hex, sizeof(hex), "dword:%08x", v.dword);
      out += hex;
    } else {
      out += quote(v.text);
    }
    out += "\n";
  }
  for (auto& l : file.other_lines) out += l + "\n";
  return out;
}

SettingsFile load_settings_file(const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return SettingsFile();
  std::stringstream ss;
  ss << in.rdbuf();
  return parse_settings(ss.str(), path);
}

bool save_settings_file(const char* path, const SettingsFile& file) {
  std::string p = path;
  make_parent_dirs(p);
  std::string tmp = p + ".tmp." + std::to_string(getpid());
  std::string text = format_settings(file);
  FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  ok = (std::fflush(f) == 0) && ok;
  ok = (fsync(fileno(f)) == 0) && ok;
  ok = (std::fclose(f) == 0) && ok;
  if (!ok || std::rename(tmp.c_str(), p.c_str()) != 0) {
    std::remove(tmp.c_str());
    return false;
  }
  return true;
}
