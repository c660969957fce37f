#pragma once
// The on-screen error message and the visual log: text stores filled by
// development-time failures and by the game-object module; drawn in the
// text pass by the shell (app/messages_draw.h).
#include <vector>

void set_error_message(const char* text);
void append_error_message(const char* text, int len);
bool has_error_message();
const char* get_error_message();  // "" when none

void visual_log(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void clear_visual_log();
struct VisualLogLine {
  char text[128];
};
const std::vector<VisualLogLine>& get_visual_log();
constexpr int VISUAL_LOG_MAX_LINES = 100;

// GPU activity probe: utilisation of device 0 in percent.
bool start_gpu_probe();
bool query_gpu_activity(int& percent);
void stop_gpu_probe();
