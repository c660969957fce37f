#include "script/error_place.h"

#include <cstdio>
#include <cstring>

#include "platform/globals.h"
#include "platform/log.h"

namespace sqbind {

namespace {
// What a VM's log holds; hung on the VM itself.
struct ErrorLog {
  SquirrelError latest{""};
  bool hasLatest = false;
  SquirrelError firstSinceMark{""};
  bool hasFirst = false;
};

ErrorLog* log_of(HSQUIRRELVM vm) { return vm ? static_cast<ErrorLog*>(sq_getforeignptr(vm)) : nullptr; }

void copy_text(char* dst, size_t size, const char* src) { std::snprintf(dst, size, "%s", src ? src : ""); }
}  // namespace

SquirrelError::SquirrelError(const char* t, ScriptErrorKind k) : kind(k) {
  copy_text(text, sizeof(text), t);
  file[0] = 0;
}

void SquirrelError::setPlace(const char* source, SQInteger l, SQInteger c) {
  display_script_path(source, file, sizeof(file));
  line = int(l);
  column = c > 0 ? int(c) : 0;
}

std::string SquirrelError::place() const {
  if (!hasPlace()) return "";
  char p[300];
  if (column > 0)
    std::snprintf(p, sizeof(p), "%s:%d:%d", file, line, column);
  else
    std::snprintf(p, sizeof(p), "%s:%d", file, line);
  return p;
}

std::string SquirrelError::describe() const { return hasPlace() ? place() + ": " + text : std::string(text); }

const char* display_script_path(const char* path, char* out, size_t size) {
  if (!path) path = "unknown";
  size_t base = std::strlen(app_path);
  if (base > 0 && std::strncmp(path, app_path, base) == 0 && path[base]) path += base;
  copy_text(out, size, path);
  return out;
}

void open_error_log(HSQUIRRELVM vm) { sq_setforeignptr(vm, new ErrorLog); }

void close_error_log(HSQUIRRELVM vm) {
  delete log_of(vm);
  sq_setforeignptr(vm, nullptr);
}

void note_error(HSQUIRRELVM vm, const SquirrelError& e) {
  ErrorLog* log = log_of(vm);
  if (!log) return;
  log->latest = e;
  log->hasLatest = true;
  if (!log->hasFirst) {
    log->firstSinceMark = e;
    log->hasFirst = true;
  }
}

void note_error_from_stack(HSQUIRRELVM vm, SquirrelError& e) {
  if (!e.hasPlace()) {
    SQStackInfos si;
    for (SQInteger level = 0; SQ_SUCCEEDED(sq_stackinfos(vm, level, &si)); level++) {
      if (si.line < 0) continue;  // native code
#ifdef SQ_STACKINFOS_COLUMN
      e.setPlace(si.source, si.line, si.column);
#else
      e.setPlace(si.source, si.line, -1);
#endif
      break;
    }
  }
  note_error(vm, e);
}

const SquirrelError* latest_error(HSQUIRRELVM vm) {
  ErrorLog* log = log_of(vm);
  return log && log->hasLatest ? &log->latest : nullptr;
}

void mark_errors(HSQUIRRELVM vm) {
  if (ErrorLog* log = log_of(vm)) log->hasFirst = false;
}

const SquirrelError* first_error_since_mark(HSQUIRRELVM vm) {
  ErrorLog* log = log_of(vm);
  return log && log->hasFirst ? &log->firstSinceMark : nullptr;
}

const char* script_error_message(char* out, size_t size, const char* heading_format, const SquirrelError& e) {
  std::snprintf(out, size, heading_format, e.describe().c_str());
  return out;
}

void log_script_error(const char* owner, const SquirrelError& e) {
  if (e.logged)
    debug("%s: %s (logged above)", owner, e.place().c_str());
  else
    debug("%s:\n%s", owner, e.describe().c_str());
}

}  // namespace sqbind
