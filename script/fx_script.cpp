// The effect script service and its two particle functions.
#include "script/fx_script.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/log.h"
#include "platform/messages.h"
#include "platform/platform.h"
#include "script/error_place.h"
#include "script/fx_sound.h"
#include "script/ramp_classes.h"
#include "script/sqbind.h"
#include "script/vec_helpers.h"
#include "world/noise.h"

FxScriptHooks fx_script_hooks;
SqReloadableVM fx_script_vm;

namespace {
// The effect script's own random sequence: frnd, srnd and the rest draw from
// it inside every call into the script, never from the game's.
constexpr uint64_t FX_RND_START = 0xbb67ae8584caa73bULL;
uint64_t fx_rnd = FX_RND_START;
sqbind::SqFunc update_fx;
// Ramps are borrowed by particles: a ramp the script made on the fly would
// be collected while particles still read it. Every script ramp given to a
// particle is held in this table until no particle is left.
sqbind::SqObject pinned_ramps;
int pinned_count = 0;  // pins since the table was last emptied
// A call ran out of time: the script is called no more until its files
// change, or every step (and every effect) would stall the game again.
bool stopped_by_watchdog = false;
// The effect function being called, for the messages of whoever it asks
// for particles; null between calls.
const char* running_function = nullptr;
struct RunningFunction {
  const char* outer;
  explicit RunningFunction(const char* name) : outer(running_function) { running_function = name; }
  ~RunningFunction() { running_function = outer; }
};

// The error with its place ("test/fx.nut:12:5: ..."), on screen, and in the
// log unless the VM's handler has already written it there.
void show_fx_error(const sqbind::SquirrelError& e) {
  char msg[1400];
  sqbind::script_error_message(msg, sizeof(msg), FX_SCRIPT_ERROR, e);
  set_error_message(msg);
  sqbind::log_script_error("Error in fx script", e);
  if (e.kind == sqbind::ScriptErrorKind::TimedOut) stopped_by_watchdog = true;
}

// The slots of a particle table, in the order they are read. Their names are
// made into script strings once per VM, so a slot read pushes a ready key
// instead of hashing and interning the name again for every particle.
enum ParticleSlot {
  PS_ACCEL, PS_LIFE, PS_DELAY, PS_SIZE, PS_MAP_U, PS_MAP_V, PS_MAP_SIZE, PS_START_ROLL, PS_ROLL_SCALE,
  PS_COLOR_ANIM, PS_SIZE_ANIM, PS_ROLL_ANIM, PS_COLOR, PS_COUNT
};
constexpr const char* PARTICLE_SLOT_NAMES[PS_COUNT] = {"accel",     "life",      "delay",     "size",     "mapU",
                                                       "mapV",      "mapSize",   "startRoll", "rollScale",
                                                       "colorAnim", "sizeAnim",  "rollAnim",  "color"};
struct SlotKeys {
  HSQUIRRELVM vm = nullptr;
  HSQOBJECT key[PS_COUNT];

  void make(HSQUIRRELVM v) {
    release();
    for (int i = 0; i < PS_COUNT; i++) {
      sq_pushstring(v, PARTICLE_SLOT_NAMES[i], -1);
      sq_getstackobj(v, -1, &key[i]);
      sq_addref(v, &key[i]);
      sq_poptop(v);
    }
    vm = v;
  }
  void release() {
    if (!vm) return;
    for (HSQOBJECT& k : key) sq_release(vm, &k);
    vm = nullptr;
  }
} slot_keys;

// Native addresses of the ramps already in the pin table, so that a ramp
// given to many particles is entered once rather than once per particle.
constexpr int PIN_MEMO_SIZE = 64;
const void* pin_memo[PIN_MEMO_SIZE];
int pin_memo_count = 0;

void unpin_ramps() {
  pin_memo_count = 0;
  if (!pinned_count || pinned_ramps.isNull()) return;
  HSQUIRRELVM vm = pinned_ramps.vm;
  sq_pushobject(vm, pinned_ramps.obj);
  sq_clear(vm, -1);
  sq_poptop(vm);
  pinned_count = 0;
}

bool pin_memo_has(const void* ramp) {
  for (int i = 0; i < pin_memo_count; i++)
    if (pin_memo[i] == ramp) return true;
  return false;
}

// Holds the ramp instance on top of the stack in the pin table. A pinned
// ramp lives until the table is emptied, so its address cannot be reused by
// another ramp while it is in the memo.
void pin_top(HSQUIRRELVM vm, const void* ramp) {
  if (pinned_ramps.isNull() || pin_memo_has(ramp)) return;
  sq_pushobject(vm, pinned_ramps.obj);
  sq_push(vm, -2);
  sq_pushbool(vm, SQTrue);
  sq_newslot(vm, -3, SQFalse);
  sq_poptop(vm);
  pinned_count++;
  if (pin_memo_count < PIN_MEMO_SIZE) pin_memo[pin_memo_count++] = ramp;
}

// Pushes the slot of the particle table at `table` (an absolute index);
// a missing slot is the VM's error, as for any slot read.
void push_particle_slot(HSQUIRRELVM vm, SQInteger table, ParticleSlot slot) {
  sq_pushobject(vm, slot_keys.key[slot]);
  if (SQ_FAILED(sq_get(vm, table))) {
    debug("getSlot '%s' failed", PARTICLE_SLOT_NAMES[slot]);
    sqbind::throw_last_error(vm);
  }
}

// Reads one slot with the argument rules and pops it again.
template <class T>
T particle_slot(HSQUIRRELVM vm, SQInteger table, ParticleSlot slot) {
  push_particle_slot(vm, table, slot);
  struct Pop {
    HSQUIRRELVM v;
    ~Pop() { sq_poptop(v); }
  } pop{vm};
  return sqbind::Arg<T>::get(vm, -1);
}

// A ramp slot (null allowed), pinned when a particle is going to borrow it.
template <class T>
const T* particle_ramp(HSQUIRRELVM vm, SQInteger table, ParticleSlot slot, bool pin) {
  push_particle_slot(vm, table, slot);
  struct Pop {
    HSQUIRRELVM v;
    ~Pop() { sq_poptop(v); }
  } pop{vm};
  const T* ramp = static_cast<const T*>(sqbind::get_inst(vm, -1, sqbind::type_tag<T>(), true));
  if (ramp && pin) pin_top(vm, ramp);
  return ramp;
}

void add_particle(HSQUIRRELVM vm, FxAddParticle add, const vec4f& pos, const vec4f& vel,
                  const sqbind::SqObject& params) {
  if (slot_keys.vm != vm) slot_keys.make(vm);
  sq_pushobject(vm, params.obj);
  SQInteger table = sq_gettop(vm);
  struct PopTable {
    HSQUIRRELVM v;
    ~PopTable() { sq_poptop(v); }
  } pop{vm};
  const vec4f& accel = *particle_slot<vec4f*>(vm, table, PS_ACCEL);
  float life = particle_slot<float>(vm, table, PS_LIFE);
  float delay = particle_slot<float>(vm, table, PS_DELAY);
  float size = particle_slot<float>(vm, table, PS_SIZE);
  float mapU = particle_slot<float>(vm, table, PS_MAP_U);
  float mapV = particle_slot<float>(vm, table, PS_MAP_V);
  float mapSize = particle_slot<float>(vm, table, PS_MAP_SIZE);
  float startRoll = particle_slot<float>(vm, table, PS_START_ROLL);
  float rollScale = particle_slot<float>(vm, table, PS_ROLL_SCALE);
  bool pin = add != nullptr;
  const ColorRamp* colorAnim = particle_ramp<ColorRamp>(vm, table, PS_COLOR_ANIM, pin);
  const FloatRamp* sizeAnim = particle_ramp<FloatRamp>(vm, table, PS_SIZE_ANIM, pin);
  const FloatRamp* rollAnim = particle_ramp<FloatRamp>(vm, table, PS_ROLL_ANIM, pin);
  push_particle_slot(vm, table, PS_COLOR);
  D3dColor color;
  {
    struct Pop {
      HSQUIRRELVM v;
      ~Pop() { sq_poptop(v); }
    } popColor{vm};
    // The particle system never sees the colour as numbers: a colour that
    // is not finite is refused here, as a script error at its line.
    if (sq_gettype(vm, -1) != OT_INTEGER) {
      vec4f c = sqbind::get_vec4f(vm, -1);
      if (!std::isfinite(c.x) || !std::isfinite(c.y) || !std::isfinite(c.z) || !std::isfinite(c.w))
        throw sqbind::SquirrelError("particle refused: its color is not a finite number");
    }
    color = fx_slot_color(vm, -1);
  }
  if (!add) return;
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
  pin_memo_count = 0;
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
  OwnRandomSequence own(fx_rnd);
  stopped_by_watchdog = false;
  fx_script_vm.call_time_limit = FX_SCRIPT_TIME_LIMIT_S;
  if (!fx_script_vm.open(1024)) fatal("error creating fx script VM");
  HSQUIRRELVM vm = fx_script_vm.vm;
  make_pin_table(vm);
  try {
    register_ramp_classes(vm);
    register_vec4f_and_helpers(vm);
    register_fx_functions(vm);
    register_fx_sound(vm);
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
  OwnRandomSequence own(fx_rnd);
  if (fx_script_hooks.liveParticles && fx_script_hooks.liveParticles() == 0) unpin_ramps();
  if (update_fx.isNull() || stopped_by_watchdog) return;
  HSQUIRRELVM vm = fx_script_vm.vm;
  SQInteger top = sq_gettop(vm);
  RunningFunction running("update_fx");
  try {
    update_fx.call(dt);
  } catch (const sqbind::SquirrelError& e) {
    sq_settop(vm, top);
    show_fx_error(e);
  }
}

bool fx_script_check_reload() {
  if (!fx_script_vm.vm || !fx_script_vm.isChanged()) return false;
  OwnRandomSequence own(fx_rnd);
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
  slot_keys.release();
  fx_script_vm.close();
  fx_script_vm.files.clear();
}

bool fx_script_running() { return fx_script_vm.vm != nullptr; }
const char* fx_script_running_function() { return running_function; }

void call_fx_script(const char* name, const vec4f& a, const vec4f& b, const vec4f& c, float f) {
  HSQUIRRELVM vm = fx_script_vm.vm;
  if (!vm || !name || stopped_by_watchdog) return;
  OwnRandomSequence own(fx_rnd);
  SQInteger top = sq_gettop(vm);
  RunningFunction running(name);
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
