// The sky's script: "sky.nut" in a VM of its own with the standard math and
// string functions and "include", its files watched for changes. The colour
// function "get_sky_colors" takes the sun elevation in degrees and returns
// ten [r, g, b] colours.
#include <squirrel.h>
#include <sqstdmath.h>
#include <sqstdstring.h>
#include <strings.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/log.h"
#include "app/platform.h"
#include "render/sky.h"
#include "render/sky_script.h"

namespace {
struct WatchedFile {
  std::string path;
  int64_t time;
};

void print_func(HSQUIRRELVM, const SQChar* fmt, ...) {
  char buf[1024];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(buf, sizeof(buf), fmt, ap);
  va_end(ap);
  debug_("%s", buf);
}

void compile_error(HSQUIRRELVM, const SQChar* desc, const SQChar* src, SQInteger line, SQInteger col) {
  debug("%s(%lld:%lld): %s", src, (long long)line, (long long)col, desc);
}

std::string last_error(HSQUIRRELVM v) {
  sq_getlasterror(v);
  const SQChar* s = nullptr;
  std::string out = "unknown error";
  if (SQ_SUCCEEDED(sq_tostring(v, -1)) && SQ_SUCCEEDED(sq_getstring(v, -1, &s)) && s) {
    out = s;
    sq_pop(v, 1);
  }
  sq_pop(v, 1);
  return out;
}

class SkyScript : public Sky::ColorSource {
 public:
  HSQUIRRELVM vm = nullptr;
  std::vector<WatchedFile> files;
  bool has_func = false;

  bool open() {
    vm = sq_open(1024);
    if (!vm) return false;
    sq_setprintfunc(vm, print_func, print_func);
    sq_setcompilererrorhandler(vm, compile_error);
    sq_pushregistrytable(vm);
    sq_pushstring(vm, "SkyScript", -1);
    sq_pushuserpointer(vm, this);
    sq_newslot(vm, -3, SQFalse);
    sq_pop(vm, 1);
    sq_pushroottable(vm);
    sq_pushstring(vm, "include", -1);
    sq_newclosure(vm, &SkyScript::sq_include, 0);
    sq_setparamscheck(vm, 2, ".s");
    sq_newslot(vm, -3, SQFalse);
    sqstd_register_mathlib(vm);
    sqstd_register_stringlib(vm);
    sq_pop(vm, 1);
    return true;
  }
  void close() {
    if (vm) sq_close(vm);
    vm = nullptr;
  }

  bool run_file(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
      debug("can't open script '%s'", path.c_str());
      return false;
    }
    std::string src;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) src.append(buf, n);
    std::fclose(f);
    SQInteger top = sq_gettop(vm);
    bool ok = SQ_SUCCEEDED(sq_compilebuffer(vm, src.c_str(), SQInteger(src.size()), path.c_str(), SQTrue));
    if (ok) {
      sq_pushroottable(vm);
      ok = SQ_SUCCEEDED(sq_call(vm, 1, SQFalse, SQTrue));
      if (!ok) debug("error in script '%s': %s", path.c_str(), last_error(vm).c_str());
    }
    sq_settop(vm, top);
    return ok;
  }

  bool include(const char* name) {
    std::string path = make_full_path(name).c_str();
    for (auto& f : files)
      if (strcasecmp(f.path.c_str(), path.c_str()) == 0) return true;
    files.push_back({path, get_file_time(path.c_str())});
    return run_file(path);
  }

  static SQInteger sq_include(HSQUIRRELVM v) {
    const SQChar* name = nullptr;
    if (SQ_FAILED(sq_getstring(v, 2, &name))) return sq_throwerror(v, "sq_get*() failed (type error)");
    sq_pushregistrytable(v);
    sq_pushstring(v, "SkyScript", -1);
    SkyScript* self = nullptr;
    SQUserPointer p = nullptr;
    if (SQ_SUCCEEDED(sq_get(v, -2)) && SQ_SUCCEEDED(sq_getuserpointer(v, -1, &p))) self = static_cast<SkyScript*>(p);
    sq_pop(v, 2);
    G_ASSERT(self);
    self->include(name);
    return 0;
  }

  void bind() {
    SQInteger top = sq_gettop(vm);
    sq_pushroottable(vm);
    sq_pushstring(vm, "get_sky_colors", -1);
    has_func = SQ_SUCCEEDED(sq_get(vm, -2)) && sq_gettype(vm, -1) == OT_CLOSURE;
    sq_settop(vm, top);
  }

  bool bound() override { return vm && has_func; }

  bool evaluate(float elevation, vec4f out[Sky::SCRIPT_COLORS], char* err, int err_size) override {
    SQInteger top = sq_gettop(vm);
    auto fail = [&](const std::string& msg) {
      std::snprintf(err, size_t(err_size), "%s", msg.c_str());
      sq_settop(vm, top);
      return false;
    };
    sq_pushroottable(vm);
    sq_pushstring(vm, "get_sky_colors", -1);
    if (SQ_FAILED(sq_get(vm, -2))) return fail(last_error(vm));
    sq_pushroottable(vm);
    sq_pushfloat(vm, elevation);
    if (SQ_FAILED(sq_call(vm, 2, SQTrue, SQTrue))) return fail(last_error(vm));
    for (int i = 0; i < Sky::SCRIPT_COLORS; i++) {
      sq_pushinteger(vm, i);
      if (SQ_FAILED(sq_get(vm, -2))) return fail(last_error(vm));
      for (int c = 0; c < 3; c++) {
        sq_pushinteger(vm, c);
        SQFloat f = 0;
        if (SQ_FAILED(sq_get(vm, -2))) return fail(last_error(vm));
        if (SQ_FAILED(sq_getfloat(vm, -1, &f))) return fail(last_error(vm));
        out[i][c] = f;
        sq_pop(vm, 1);
      }
      out[i].w = 0;
      sq_pop(vm, 1);
    }
    sq_settop(vm, top);
    return true;
  }

  bool changed() {
    for (auto& f : files)
      if (get_file_time(f.path.c_str()) != f.time) return true;
    return false;
  }

  // Re-runs only the files whose time changed, then re-binds.
  bool reload_if_changed() override {
    if (!vm || !changed()) return false;
    for (size_t i = 0; i < files.size(); i++) {
      int64_t t = get_file_time(files[i].path.c_str());
      if (t == files[i].time) continue;
      files[i].time = t;
      if (!run_file(files[i].path)) break;
    }
    bind();
    return true;
  }
};

SkyScript* script = nullptr;
}  // namespace

Sky::ColorSource* open_sky_script(const char* main_file) {
  close_sky_script();
  script = new SkyScript;
  if (!script->open()) fatal("error creating sky script VM");
  if (!script->include(main_file)) fatal("error in sky script");
  script->bind();
  return script;
}

void close_sky_script() {
  if (!script) return;
  script->close();
  delete script;
  script = nullptr;
}
