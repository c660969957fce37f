// The effect script service and its two particle functions.
#include "script/fx_script.h"

#include <cstdio>
#include <cstring>

#include "platform/log.h"
#include "platform/messages.h"
#include "platform/platform.h"
#include "script/error_place.h"
#include "script/ramp_classes.h"
#include "script/sqbind.h"
#include "script/vec_helpers.h"

FxScriptHooks fx_script_hooks;
SqReloadableVM fx_script_vm;

namespace {
sqbind::SqFunc update_fx;
// Ramps are borrowed by particles: a ramp the script made on the fly would
// be collected while particles still read it. Every script ramp given to a
// particle is held in this table until no particle is left.
sqbind::SqObject pinned_ramps;
int pinned_count = 0;  // pins since the table was last emptied
// A call ran out of time: the script is called no more until its files
// change, or every step (and every effect) would stall the game again.
bool stopped_by_watchdog = false;

// The error with its place ("test/fx.nut:12:5: ..."), on screen, and in the
// log unless the VM's handler has already written it there.
void show_fx_error(const sqbind::SquirrelError& e) {
  char msg[1400];
  sqbind::script_error_message(msg, sizeof(msg), FX_SCRIPT_ERROR, e);
  set_error_message(msg);
  sqbind::log_script_error("Error in fx script", e);
  if (e.kind == sqbind::ScriptErrorKind::TimedOut) stopped_by_watchdog = true;
}

void unpin_ramps() {
  if (!pinned_count || pinned_ramps.isNull()) return;
  HSQUIRRELVM vm = pinned_ramps.vm;
  sq_pushobject(vm, pinned_ramps.obj);
  sq_clear(vm, -1);
  sq_poptop(vm);
  pinned_count = 0;
}

void pin_slot(HSQUIRRELVM vm, const sqbind::SqObject& params, const char* name) {
  if (pinned_ramps.isNull()) return;
  sqbind::push_slot(vm, params, name);
  if (sq_gettype(vm, -1) == OT_INSTANCE) {
    sq_pushobject(vm, pinned_ramps.obj);
    sq_push(vm, -2);
    sq_pushbool(vm, SQTrue);
    sq_newslot(vm, -3, SQFalse);
    sq_poptop(vm);
    pinned_count++;
  }
  sq_pop(vm, 2);
}

void add_particle(HSQUIRRELVM vm, FxAddParticle add, const vec4f& pos, const vec4f& vel,
                  const sqbind::SqObject& params) {
  using sqbind::getSlot;
  using sqbind::getSlotPtr;
  const vec4f& accel = *getSlot<vec4f*>(vm, params, "accel");
  float life = getSlot<float>(vm, params, "life");
  float delay = getSlot<float>(vm, params, "delay");
  float size = getSlot<float>(vm, params, "size");
  float mapU = getSlot<float>(vm, params, "mapU");
  float mapV = getSlot<float>(vm, params, "mapV");
  float mapSize = getSlot<float>(vm, params, "mapSize");
  float startRoll = getSlot<float>(vm, params, "startRoll");
  float rollScale = getSlot<float>(vm, params, "rollScale");
  const ColorRamp* colorAnim = getSlotPtr<ColorRamp>(vm, params, "colorAnim");
  const FloatRamp* sizeAnim = getSlotPtr<FloatRamp>(vm, params, "sizeAnim");
  const FloatRamp* rollAnim = getSlotPtr<FloatRamp>(vm, params, "rollAnim");
  sqbind::push_slot(vm, params, "color");
  D3dColor color;
  {
    struct Pop2 {
      HSQUIRRELVM v;
      ~Pop2() { sq_pop(v, 2); }
    } pop{vm};
    color = fx_slot_color(vm, -1);
  }
  if (!add) return;
  if (colorAnim) pin_slot(vm, params, "colorAnim");
  if (sizeAnim) pin_slot(vm, params, "sizeAnim");
  if (rollAnim) pin_slot(vm, params, "rollAnim");
  add(pos, vel, accel, life, delay, size, color, mapU, mapV, mapSize, startRoll, rollScale, colorAnim, sizeAnim,
      rollAnim);
}

void script_add_blend_particle(HSQUIRRELVM vm, vec4f pos, vec4f vel, sqbind::SqObject params) {
  add_particle(vm, fx_script_hooks.addBlendParticle, pos, vel, params);
}
void script_add_glow_particle(HSQUIRRELVM vm, vec4f pos, vec4f vel, sqbind::SqObject params) {
  add_particle(vm, fx_script_hooks.addGlowParticle, pos, vel, params);
}

// Why the main script did not run: a missing file says so, anything else is
// the VM's last error.
[[noreturn]] void throw_load_error(const char* main_script) {
  char buf[512];
  TempString full = make_full_path(main_script);
  if (FILE* f = std::fopen(full.c_str(), "rb")) {
    std::fclose(f);
    sqbind::throw_last_error(fx_script_vm.vm);
  }
  std::snprintf(buf, sizeof(buf), "can't open script file '%s'", full.c_str());
  throw sqbind::SquirrelError(buf);
}

void bind_update() {
  update_fx.release();
  update_fx.bind(fx_script_vm.vm, "update_fx");
}

void make_pin_table(HSQUIRRELVM vm) {
  sq_newtable(vm);
  pinned_ramps.fromStack(vm, -1);
  sq_poptop(vm);
  pinned_count = 0;
}
}  // namespace

D3dColor fx_slot_color(HSQUIRRELVM vm, SQInteger idx) {
  if (sq_gettype(vm, idx) == OT_INTEGER) return D3dColor(uint32_t(sqbind::get_int(vm, idx)));
  return D3dColor(sqbind::get_vec4f(vm, idx));
}

int fx_pinned_ramp_count() {
  if (!pinned_count || pinned_ramps.isNull()) return 0;
  HSQUIRRELVM vm = pinned_ramps.vm;
  sq_pushobject(vm, pinned_ramps.obj);
  SQInteger n = sq_getsize(vm, -1);
  sq_poptop(vm);
  return int(n);
}

void register_fx_functions(HSQUIRRELVM vm) {
  sqbind::register_global(vm, "add_blend_particle", &script_add_blend_particle);
  sqbind::register_global(vm, "add_glow_particle", &script_add_glow_particle);
}

void fx_script_start(const char* main_script) {
  stopped_by_watchdog = false;
  fx_script_vm.call_time_limit = FX_SCRIPT_TIME_LIMIT_S;
  if (!fx_script_vm.open(1024)) fatal("error creating fx script VM");
  HSQUIRRELVM vm = fx_script_vm.vm;
  make_pin_table(vm);
  try {
    register_ramp_classes(vm);
    register_vec4f_and_helpers(vm);
    register_fx_functions(vm);
    // A VM started again keeps its file list, where include would skip the
    // listed main script: then every listed file runs again instead.
    bool ok = fx_script_vm.files.empty() ? fx_script_vm.include(main_script) : fx_script_vm.reload(true);
    if (!ok) throw_load_error(main_script);
    bind_update();
  } catch (const sqbind::SquirrelError& e) {
    show_fx_error(e);
  }
}

void fx_script_update(float dt) {
  if (!fx_script_vm.vm) return;
  if (fx_script_hooks.liveParticles && fx_script_hooks.liveParticles() == 0) unpin_ramps();
  if (update_fx.isNull() || stopped_by_watchdog) return;
  HSQUIRRELVM vm = fx_script_vm.vm;
  SQInteger top = sq_gettop(vm);
  try {
    update_fx.call(dt);
  } catch (const sqbind::SquirrelError& e) {
    sq_settop(vm, top);
    show_fx_error(e);
  }
}

bool fx_script_check_reload() {
  if (!fx_script_vm.vm || !fx_script_vm.isChanged()) return false;
  set_error_message(nullptr);
  stopped_by_watchdog = false;
  if (fx_script_hooks.resetCommonFx) fx_script_hooks.resetCommonFx();
  unpin_ramps();
  try {
    if (!fx_script_vm.reload(true)) sqbind::throw_last_error(fx_script_vm.vm);
    bind_update();
  } catch (const sqbind::SquirrelError& e) {
    show_fx_error(e);
  }
  return true;
}

void fx_script_stop() {
  update_fx.release();
  unpin_ramps();
  pinned_ramps.release();
  fx_script_vm.close();
  fx_script_vm.files.clear();
}

bool fx_script_running() { return fx_script_vm.vm != nullptr; }

void call_fx_script(const char* name, const vec4f& a, const vec4f& b, const vec4f& c, float f) {
  HSQUIRRELVM vm = fx_script_vm.vm;
  if (!vm || !name || stopped_by_watchdog) return;
  SQInteger top = sq_gettop(vm);
  sqbind::SqFunc func;
  try {
    if (!func.bind(vm, name) || func.isNull()) {
      char msg[300];
      std::snprintf(msg, sizeof(msg), "No '%s' function in script", name);
      func.release();
      show_fx_error(sqbind::SquirrelError(msg));
      return;
    }
    func.pushCall();
    sqbind::push_owned(vm, new vec4f(a));
    sqbind::push_owned(vm, new vec4f(b));
    sqbind::push_owned(vm, new vec4f(c));
    sq_pushfloat(vm, f);
    func.doCall(4);
  } catch (const sqbind::SquirrelError& e) {
    show_fx_error(e);
  }
  sq_settop(vm, top);
  func.release();
}
