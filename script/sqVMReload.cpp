#include "script/sqVMReload.h"

#include <sqstdmath.h>
#include <sqstdstring.h>
#include <strings.h>

#include <cstdio>
#include <cstring>

#include "platform/log.h"
#include "platform/platform.h"
#include "script/sqbind.h"

namespace {
constexpr const char* REGISTRY_KEY = "SqReloadableVM";

// The script function "include": finds its VM object through the registry.
// A file that is missing, does not compile or fails while running fails the
// including script too. A missing file is an error at the include; any other
// failure keeps its own text and the place noted for it inside the file.
void script_include(HSQUIRRELVM v, const char* name) {
  SqReloadableVM* rvm = static_cast<SqReloadableVM*>(sqbind::getReg(v, REGISTRY_KEY));
  G_ASSERT(rvm);
  if (rvm->include(name)) return;
  TempString full = make_full_path(name);
  if (std::FILE* f = std::fopen(full.c_str(), "rb")) {
    std::fclose(f);
    // The error inside the file, with its place there.
    sqbind::throw_last_error(v);
  }
  char message[700];
  std::snprintf(message, sizeof(message), "include '%s' failed: can't open script file '%s'", name, full.c_str());
  throw sqbind::SquirrelError(message);
}
}  // namespace

#if defined(__SANITIZE_ADDRESS__)
#define TOLVANE_SLOW_BUILD_SCALE 20.0f
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TOLVANE_SLOW_BUILD_SCALE 20.0f
#endif
#endif
#if !defined(TOLVANE_SLOW_BUILD_SCALE) && !defined(NDEBUG)
#define TOLVANE_SLOW_BUILD_SCALE 5.0f
#endif
#ifndef TOLVANE_SLOW_BUILD_SCALE
#define TOLVANE_SLOW_BUILD_SCALE 1.0f
#endif

float SqReloadableVM::applied_time_limit(float seconds) { return seconds * TOLVANE_SLOW_BUILD_SCALE; }

SqReloadableVM::~SqReloadableVM() { close(); }

bool SqReloadableVM::open(int initial_stack) {
  close();
  vm = sqbind::open_vm(initial_stack);
  if (!vm) return false;
#ifdef SQ_HAS_CALLTIMELIMIT
  sq_setcalltimelimit(vm, applied_time_limit(call_time_limit));
#endif
  sq_pushregistrytable(vm);
  sq_pushstring(vm, REGISTRY_KEY, -1);
  sq_pushuserpointer(vm, this);
  sq_newslot(vm, -3, SQFalse);
  sq_poptop(vm);
  return bindFunctions();
}

void SqReloadableVM::close() {
  if (!vm) return;
  sqbind::close_vm(vm);
  vm = nullptr;
}

bool SqReloadableVM::bindFunctions() {
  sqbind::register_global(vm, "include", &script_include);
  sq_pushroottable(vm);
  sqstd_register_mathlib(vm);
  sqstd_register_stringlib(vm);
  sq_poptop(vm);
  return true;
}

bool SqReloadableVM::include(const char* file_name) {
  TempString full = make_full_path(file_name);
  for (const ScriptFile& f : files)
    if (strcasecmp(f.path, full.c_str()) == 0) return true;
  ScriptFile entry;
  copy_fixed(entry.path, full.c_str());
  entry.time = get_file_time(entry.path);
  files.push_back(entry);
  return sqbind::run_file(vm, full.c_str());
}

bool SqReloadableVM::isChanged() {
  for (const ScriptFile& f : files)
    if (get_file_time(f.path) != f.time) return true;
  return false;
}

bool SqReloadableVM::reload(bool force) { return reloadFiles(force); }

bool SqReloadableVM::reloadFiles(bool force) {
  // Indexed, not iterated: a file run here may include new files, which
  // append entries (and may move the array).
  for (int i = 0; i < files.size(); i++) {
    int64_t t = get_file_time(files[i].path);
    if (!force && t == files[i].time) continue;
    files[i].time = t;
    char path[260];
    std::memcpy(path, files[i].path, sizeof(path));
    if (!sqbind::run_file(vm, path)) return false;
  }
  return true;
}
