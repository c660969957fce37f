// The sky's script: "sky.nut" in a reloadable VM of its own with only the
// standard functions. The colour function "get_sky_colors" takes the sun
// elevation in degrees and returns ten [r, g, b] colours.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/log.h"
#include "script/error_place.h"
#include "render/sky.h"
#include "render/sky_script.h"
#include "script/sqVMReload.h"
#include "script/sqbind.h"

namespace {
class SkyScript : public Sky::ColorSource {
 public:
  SqReloadableVM vm;
  sqbind::SqFunc get_colors;
  char last_reload_error[1024] = "";

  // Binds the colour function; a script without one is not an error.
  void bind() {
    get_colors.release();
    get_colors.bind(vm.vm, "get_sky_colors");
  }

  bool bound() override { return vm.vm && !get_colors.isNull(); }

  bool evaluate(float elevation, vec4f out[Sky::SCRIPT_COLORS], char* err, int err_size) override {
    HSQUIRRELVM v = vm.vm;
    SQInteger top = sq_gettop(v);
    try {
      get_colors.pushCall();
      sq_pushfloat(v, elevation);
      get_colors.doCall(1);
      SQInteger result = sq_gettop(v);
      for (int i = 0; i < Sky::SCRIPT_COLORS; i++) {
        sq_pushinteger(v, i);
        if (SQ_FAILED(sq_get(v, result))) sqbind::throw_last_error(v);
        for (int c = 0; c < 3; c++) {
          out[i][c] = sqbind::get_array_float(v, -1, c);
          // NaN or infinity would turn the whole sky white: refused.
          if (!std::isfinite(out[i][c])) throw sqbind::SquirrelError("get_sky_colors() returned a non-finite colour");
        }
        out[i].w = 0;
        sq_poptop(v);
      }
    } catch (const sqbind::SquirrelError& e) {
      sqbind::script_error_message(err, size_t(err_size), "%s", e);
      sq_settop(v, top);
      // A function that ran out of time would stall every frame: leave it
      // unbound until its file changes.
      if (e.kind == sqbind::ScriptErrorKind::TimedOut) get_colors.release();
      return false;
    }
    sq_settop(v, top);
    return true;
  }

  // Re-runs only the changed files (the VM goes on after a failed run),
  // then binds the colour function again.
  bool reload_if_changed() override {
    if (!vm.vm || !vm.isChanged()) return false;
    last_reload_error[0] = 0;
    if (!vm.reload(false))
      sqbind::script_error_message(last_reload_error, sizeof(last_reload_error), "%s", sqbind::last_error(vm.vm));
    bind();
    return true;
  }

  const char* reload_error() override { return last_reload_error; }

  void close() {
    get_colors.release();
    vm.close();
  }
};

SkyScript* script = nullptr;
}  // namespace

Sky::ColorSource* open_sky_script(const char* main_file) {
  close_sky_script();
  script = new SkyScript;
  script->vm.call_time_limit = SKY_SCRIPT_TIME_LIMIT_S;
  if (!script->vm.open(1024)) fatal("error creating sky script VM");
  if (!script->vm.include(main_file)) {
    // Still fatal at start-up, but saying where.
    char msg[1200];
    sqbind::script_error_message(msg, sizeof(msg), "error in sky script\n%s", sqbind::last_error(script->vm.vm));
    fatal("%s", msg);
  }
  script->bind();
  return script;
}

void close_sky_script() {
  if (!script) return;
  script->close();
  delete script;
  script = nullptr;
}
