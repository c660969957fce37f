#pragma once
// A script VM that remembers every file run in it with its modification
// time, so that owners can poll for changed files and run them again in the
// same VM while the program runs. Scripts pull in further files with the
// script function "include".
#include <squirrel.h>

#include <cstdint>

#include "containers/dyn_array.h"

class SqReloadableVM {
 public:
  struct ScriptFile {
    char path[260];
    int64_t time;
  };

  HSQUIRRELVM vm = nullptr;
  DynArray<ScriptFile> files;  // order of first run; outlives close and reopen
  // Longest time one call from native code into the VM may run (each file
  // run, each function called) before it is stopped with the error "script
  // ran for more than N s"; 0 for no limit. Applied when the VM opens, as
  // applied_time_limit() gives it.
  float call_time_limit = 0;

  // Sanitizer and debug builds run scripts, and the generators they call,
  // many times slower than the release build the limits are set for: there
  // the limits stretch (x20 with AddressSanitizer, x5 in other debug builds)
  // so that the game's own scripts still fit.
  static float applied_time_limit(float seconds);

  SqReloadableVM() = default;
  SqReloadableVM(const SqReloadableVM&) = delete;
  SqReloadableVM& operator=(const SqReloadableVM&) = delete;

  virtual ~SqReloadableVM();
  // Closes any open VM first, then opens a fresh one with the standard set.
  virtual bool open(int initial_stack);
  virtual void close();
  // Runs the file unless it is already listed (compared without case).
  virtual bool include(const char* file_name);
  // True when any listed file's modification time differs from the recorded one.
  virtual bool isChanged();
  virtual bool reload(bool force);
  // The script functions every VM has: "include" and the math and string libraries.
  virtual bool bindFunctions();
  // Runs again the changed files (all of them when forced), in list order;
  // stops at the first failure.
  virtual bool reloadFiles(bool force);
};
