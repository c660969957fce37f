#pragma once
// Platform services shared by both programs: time, input, settings store,
// paths and files, libraries and pipes. Plain free functions over module state.
#include <cstdint>
#include <cstdio>

#include "platform/fixed_string.h"

// ---- time ----
void init_ref_time();            // queries the counter frequency once
int64_t get_ref_time();          // monotonic counter value
int64_t get_ref_time_freq();     // ticks per second
int get_time_msec(int64_t ticks);
int get_time_usec(int64_t ticks);
float get_time_sec(int64_t ticks);

// ---- settings store (text file standing in for the registry key) ----
bool set_config_int(const char* name, int value);
bool set_config_str(const char* name, const char* str, int len);
bool get_config_int(const char* name, int& out);
bool get_config_str(const char* name, char* buf, int size);
// Full path of the settings file (under $XDG_CONFIG_HOME or ~/.config).
TempString get_config_file_path();

// ---- paths and files ----
bool get_exe_filename(char* buf, unsigned size);
bool get_exe_path(char* buf, unsigned size);
TempString make_full_path(const char* path);
int64_t get_file_time(const char* path);  // mtime in seconds since 1970, 0 if missing

// ---- libraries and pipes ----
void* load_library(const char* filename);
void* get_library_proc(void* lib, const char* name);
bool free_library(void* lib);
int pipe_bytes_available(FILE* stream);
