#include "tests/script/script_test_support.h"

#include <sys/stat.h>
#include <utime.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/globals.h"
#include "script/sqbind.h"

std::string printed;

namespace {
void print_to_string(HSQUIRRELVM, const SQChar* fmt, ...) {
  char buf[4096];
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(buf, sizeof(buf), fmt, args);
  va_end(args);
  printed += buf;
}

struct NoMessageBoxes {
  NoMessageBoxes() { setenv("TOLVANE_NO_MSGBOX", "1", 1); }
} no_message_boxes;
}  // namespace

void capture_print(HSQUIRRELVM vm) { sq_setprintfunc(vm, print_to_string, print_to_string); }

bool run_text(HSQUIRRELVM vm, const char* text) {
  if (!sqbind::compile_buffer(vm, text, SQInteger(std::strlen(text)), "test.nut")) return false;
  sq_pushroottable(vm);
  bool ok = SQ_SUCCEEDED(sq_call(vm, 1, SQFalse, SQTrue));
  sq_poptop(vm);
  return ok;
}

std::string make_scratch_dir() {
  char tmpl[] = "/tmp/tolvane_script_XXXXXX";
  char* d = mkdtemp(tmpl);
  std::string dir = d ? d : "/tmp";
  dir += "/";
  std::snprintf(app_path, sizeof(app_path), "%s", dir.c_str());
  return dir;
}

void write_file(const std::string& path, const char* text) {
  std::string p = path;
  size_t slash = p.rfind('/');
  if (slash != std::string::npos) mkdir(p.substr(0, slash).c_str(), 0755);
  FILE* f = std::fopen(path.c_str(), "wb");
  std::fputs(text, f);
  std::fclose(f);
}

void set_file_time(const std::string& path, long long t) {
  struct utimbuf u;
  u.actime = time_t(t);
  u.modtime = time_t(t);
  utime(path.c_str(), &u);
}
