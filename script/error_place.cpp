#include "script/error_place.h"

#include <cstdio>
#include <cstring>

#include "platform/globals.h"

namespace sqbind {

namespace {
// The latest few errors of all VMs: an owner asks right after the error
// unwound to it, so a short history is enough and nothing needs freeing.
struct NotedError {
  HSQUIRRELVM vm;
  unsigned seq;
  char text[256];
  char place[300];
};
constexpr int KEPT = 8;
NotedError noted[KEPT];
int next_slot = 0;
unsigned noted_count = 0;

void copy_text(char* dst, size_t size, const char* src) { std::snprintf(dst, size, "%s", src ? src : ""); }
}  // namespace

const char* display_script_path(const char* path, char* out, size_t size) {
  if (!path) path = "unknown";
  size_t base = std::strlen(app_path);
  if (base > 0 && std::strncmp(path, app_path, base) == 0 && path[base]) path += base;
  copy_text(out, size, path);
  return out;
}

void note_error_place(HSQUIRRELVM vm, const char* text, const char* source, SQInteger line, SQInteger column) {
  NotedError& e = noted[next_slot];
  next_slot = (next_slot + 1) % KEPT;
  e.vm = vm;
  e.seq = ++noted_count;
  copy_text(e.text, sizeof(e.text), text);
  char path[260];
  display_script_path(source, path, sizeof(path));
  if (column > 0)
    std::snprintf(e.place, sizeof(e.place), "%s:%d:%d", path, int(line), int(column));
  else
    std::snprintf(e.place, sizeof(e.place), "%s:%d", path, int(line));
}

void note_error_place_from_stack(HSQUIRRELVM vm, const char* text) {
  SQStackInfos si;
  for (SQInteger level = 0; SQ_SUCCEEDED(sq_stackinfos(vm, level, &si)); level++) {
    if (si.line < 0) continue;  // native code
#ifdef SQ_STACKINFOS_COLUMN
    SQInteger column = si.column;
#else
    SQInteger column = -1;
#endif
    note_error_place(vm, text, si.source, si.line, column);
    return;
  }
}

const char* error_place(HSQUIRRELVM vm, const char* text) {
  if (!text) return "";
  for (int i = 1; i <= KEPT; i++) {
    const NotedError& e = noted[(next_slot - i + KEPT) % KEPT];
    if (e.vm == vm && std::strncmp(e.text, text, sizeof(e.text) - 1) == 0) return e.place;
  }
  return "";
}

unsigned noted_error_count() { return noted_count; }

const char* first_error_since(HSQUIRRELVM vm, unsigned since) {
  const NotedError* first = nullptr;
  for (const NotedError& e : noted)
    if (e.vm == vm && e.seq > since && (!first || e.seq < first->seq)) first = &e;
  return first ? first->text : nullptr;
}

void forget_error_places(HSQUIRRELVM vm) {
  for (NotedError& e : noted)
    if (e.vm == vm) e.vm = nullptr;
}

const char* script_error_message(char* out, size_t size, const char* heading_format, HSQUIRRELVM vm,
                                 const char* text) {
  const char* place = error_place(vm, text);
  char body[600];
  if (place[0])
    std::snprintf(body, sizeof(body), "%s: %s", place, text ? text : "");
  else
    copy_text(body, sizeof(body), text);
  std::snprintf(out, size, heading_format, body);
  return out;
}

}  // namespace sqbind
