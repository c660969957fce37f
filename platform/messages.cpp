// On-screen error message and visual log storage.
#include "platform/messages.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/log.h"

namespace {
std::vector<char> error_text;  // empty, or a NUL-terminated text
std::vector<VisualLogLine> log_lines;
}  // namespace

void set_error_message(const char* text) {
  if (!text || !text[0]) {
    std::vector<char>().swap(error_text);
    return;
  }
  // Whoever reports the error logs it; the band only shows it.
  int len = int(std::strlen(text));
  error_text.assign(text, text + len + 1);
}

void append_error_message(const char* text, int len) {
  if (!text || len == 0) return;
  if (len < 0) len = int(std::strlen(text));
  if (len == 0) return;
  if (!error_text.empty()) error_text.back() = '\n';  // the terminator becomes the separator
  error_text.insert(error_text.end(), text, text + len);
  error_text.push_back(0);
}

bool has_error_message() { return !error_text.empty(); }
const char* get_error_message() { return error_text.empty() ? "" : error_text.data(); }

void visual_log(const char* fmt, ...) {
  VisualLogLine line;
  va_list args;
  va_start(args, fmt);
  // A longer text is cut to the 127 characters a line holds: the log is a
  // development aid and must never end the game.
  std::vsnprintf(line.text, sizeof(line.text), fmt, args);
  va_end(args);
  log_lines.push_back(line);
  if (log_lines.size() > size_t(VISUAL_LOG_MAX_LINES))
    log_lines.erase(log_lines.begin(), log_lines.end() - VISUAL_LOG_MAX_LINES);
}

void clear_visual_log() { std::vector<VisualLogLine>().swap(log_lines); }
const std::vector<VisualLogLine>& get_visual_log() { return log_lines; }
