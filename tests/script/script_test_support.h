#pragma once
// Shared helpers of the scripting tests: a VM with a capturing print
// function, running snippets, and a scratch directory as app_path.
#include <squirrel.h>

#include <string>

// Everything the VMs printed since the last clear.
extern std::string printed;
void capture_print(HSQUIRRELVM vm);

// Compiles and runs text in the root table; false on any error.
bool run_text(HSQUIRRELVM vm, const char* text);

// A fresh directory under /tmp, made app_path for the test.
std::string make_scratch_dir();
void write_file(const std::string& path, const char* text);
// Sets a file's modification time (seconds since 1970).
void set_file_time(const std::string& path, long long t);
