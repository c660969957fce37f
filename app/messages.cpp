// On-screen error message and visual log storage.
#include "app/messages.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "app/log.h"

namespace {
DynArray<char> error_text;  // empty, or a NUL-terminated text
DynArray<VisualLogLine> log_lines;
}  // namespace

void set_error_message(const char* text) {
  if (!text || !text[0]) {
    error_text.reset();
    return;
  }
  int len = int(std::strlen(text));
  error_text.clear();
  error_text.insert(0, text, len + 1);
  debug("ERROR MESSAGE SET: %s", text);
}

void append_error_message(const char* text, int len) {
  if (!text || len == 0) return;
  if (len < 0) len = int(std::strlen(text));
  if (len == 0) return;
  if (error_text.count > 0) {
    int at = error_text.count - 1;  // before the terminator
    error_text.insert(at, "\n", 1);
    error_text.insert(at + 1, text, len);
  } else {
    error_text.insert(0, text, len);
    error_text.push_back(0);
  }
}

bool has_error_message() { return error_text.count > 0; }
const char* get_error_message() { return error_text.count ? error_text.data : ""; }

void visual_log(const char* fmt, ...) {
  VisualLogLine line;
  va_list args;
  va_start(args, fmt);
  // A longer text is cut to the 127 characters a line holds: the log is a
  // development aid and must never end the game.
  std::vsnprintf(line.text, sizeof(line.text), fmt, args);
  va_end(args);
  log_lines.push_back(line);
  if (log_lines.count > VISUAL_LOG_MAX_LINES) log_lines.erase(0, log_lines.count - VISUAL_LOG_MAX_LINES);
}

void clear_visual_log() { log_lines.reset(); }
const DynArray<VisualLogLine>& get_visual_log() { return log_lines; }
