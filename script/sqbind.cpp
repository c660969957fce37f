#include "script/sqbind.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/log.h"
#include "script/error_place.h"

namespace sqbind {

// ---- VM life ----

void print_func(HSQUIRRELVM, const SQChar* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  vdebug(fmt, args);
  va_end(args);
  std::fflush(stdout);
}

namespace {
bool print_locals = std::getenv("TOLVANE_SCRIPT_LOCALS") != nullptr;

std::string place_of(const SquirrelError& e) { return e.place(); }
}  // namespace

void set_print_locals(bool on) { print_locals = on; }

void compiler_error(HSQUIRRELVM vm, const SQChar* desc, const SQChar* source, SQInteger line, SQInteger column) {
  SquirrelError e(desc ? desc : "");
  e.setPlace(source, line, column);
  e.logged = sq_getprintfunc(vm) != nullptr;
  note_error(vm, e);
  if (SQPRINTFUNCTION pf = sq_getprintfunc(vm)) pf(vm, "%s: error: %s\n", place_of(e).c_str(), e.text);
}

SQInteger print_call_stack(HSQUIRRELVM vm) {
  SQPRINTFUNCTION pf = sq_getprintfunc(vm);
  if (!pf) return 0;
  if (sq_gettop(vm) < 1) return 0;
  const SQChar* err = nullptr;
  if (sq_gettop(vm) < 2 || SQ_FAILED(sq_getstring(vm, 2, &err)) || !err) err = "unknown";

  pf(vm, "\nCALLSTACK\n");
  SquirrelError error(err, sq_calltimedout(vm) ? ScriptErrorKind::TimedOut : ScriptErrorKind::Failed);
  SQStackInfos si;
  for (SQInteger level = 1; SQ_SUCCEEDED(sq_stackinfos(vm, level, &si)); level++) {
    char src[260];
    display_script_path(si.source ? si.source : "unknown", src, sizeof(src));
    const char* fn = si.funcname ? si.funcname : "unknown";
    if (level == 1) {
#ifdef SQ_STACKINFOS_COLUMN
      SQInteger column = si.column;
#else
      SQInteger column = -1;
#endif
      error.setPlace(si.source ? si.source : "unknown", si.line, column);
      error.logged = true;
      note_error(vm, error);
      pf(vm, "%s: ERROR: %s (in %s())\n", place_of(error).c_str(), err, fn);
    } else {
      pf(vm, "%s:%d: function %s() (CALLSTACK)\n", src, int(si.line), fn);
    }
  }

  if (!error.hasPlace()) note_error(vm, error);  // no script function on the stack
  // The locals of every level only when asked for: a stop deep in a script
  // would otherwise flood the log.
  if (!print_locals) return 0;
  pf(vm, "\nLOCALS\n");
  for (SQUnsignedInteger level = 0; level < 20; level++) {
    for (SQUnsignedInteger seq = 0;; seq++) {
      const SQChar* name = sq_getlocal(vm, level, seq);
      if (!name) break;
      switch (sq_gettype(vm, -1)) {
        case OT_NULL: pf(vm, "[%s] NULL\n", name); break;
        case OT_INTEGER: {
          SQInteger i = 0;
          sq_getinteger(vm, -1, &i);
          pf(vm, "[%s] %lld\n", name, (long long)i);
          break;
        }
        case OT_FLOAT: {
          SQFloat f = 0;
          sq_getfloat(vm, -1, &f);
          pf(vm, "[%s] %.14g\n", name, double(f));
          break;
        }
        case OT_USERPOINTER: pf(vm, "[%s] USERPOINTER\n", name); break;
        case OT_STRING: {
          const SQChar* s = "";
          sq_getstring(vm, -1, &s);
          pf(vm, "[%s] \"%s\"\n", name, s);
          break;
        }
        case OT_TABLE: pf(vm, "[%s] TABLE\n", name); break;
        case OT_ARRAY: pf(vm, "[%s] ARRAY\n", name); break;
        case OT_CLOSURE: pf(vm, "[%s] CLOSURE\n", name); break;
        case OT_NATIVECLOSURE: pf(vm, "[%s] NATIVECLOSURE\n", name); break;
        case OT_GENERATOR: pf(vm, "[%s] GENERATOR\n", name); break;
        case OT_USERDATA: pf(vm, "[%s] USERDATA\n", name); break;
        case OT_THREAD: pf(vm, "[%s] THREAD\n", name); break;
        case OT_CLASS: pf(vm, "[%s] CLASS\n", name); break;
        case OT_INSTANCE: pf(vm, "[%s] INSTANCE\n", name); break;
        case OT_WEAKREF: pf(vm, "[%s] WEAKREF\n", name); break;
        case OT_BOOL: {
          SQBool b = SQFalse;
          sq_getbool(vm, -1, &b);
          pf(vm, "[%s] %s\n", name, b ? "true" : "false");
          break;
        }
        default: G_ASSERT(0);
      }
      sq_poptop(vm);
    }
  }
  return 0;
}

HSQUIRRELVM open_vm(SQInteger initial_stack) {
  HSQUIRRELVM vm = sq_open(initial_stack);
  if (!vm) return nullptr;
  sq_setprintfunc(vm, print_func, print_func);
  sq_setcompilererrorhandler(vm, compiler_error);
  sq_newclosure(vm, print_call_stack, 0);
  sq_seterrorhandler(vm);
  open_error_log(vm);
  return vm;
}

void close_vm(HSQUIRRELVM vm) {
  if (!vm) return;
  sq_collectgarbage(vm);
  close_error_log(vm);
  sq_close(vm);
}

// ---- compiling and running ----

bool compile_buffer(HSQUIRRELVM vm, const char* text, SQInteger length, const char* source_name) {
  return SQ_SUCCEEDED(sq_compilebuffer(vm, text, length, source_name, SQTrue));
}

bool compile_file(HSQUIRRELVM vm, const char* path) {
  FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  bool ok = false;
  char* buf = nullptr;
  long size = -1;
  if (std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
  if (size >= 0 && std::fseek(f, 0, SEEK_SET) == 0) {
    buf = static_cast<char*>(std::malloc(size_t(size) + 1));  // +1: an empty file still gets a buffer
    if (buf && std::fread(buf, 1, size_t(size), f) == size_t(size)) ok = true;
  }
  std::fclose(f);
  if (ok) ok = compile_buffer(vm, buf, SQInteger(size), path);
  std::free(buf);
  return ok;
}

bool run_file(HSQUIRRELVM vm, const char* path) {
  SQInteger top = sq_gettop(vm);
  if (!compile_file(vm, path)) return false;
  sq_pushroottable(vm);
  bool ok = false;
  try {
    ok = SQ_SUCCEEDED(sq_call(vm, 1, SQFalse, SQTrue));
  } catch (const SquirrelError& e) {
    // A native failed inside the file (an include among them): the run
    // fails like any script error, with that text as the VM's last error.
    sq_settop(vm, top + 1);
    note_error(vm, e);
    sq_throwerror(vm, e.text);
  }
  sq_settop(vm, top);
  return ok;
}

std::string last_error_text(HSQUIRRELVM vm) {
  sq_getlasterror(vm);
  const SQChar* s = nullptr;
  if (SQ_FAILED(sq_getstring(vm, -1, &s)) || !s) s = "unknown error";
  std::string text = s;
  sq_poptop(vm);
  return text;
}

SquirrelError last_error(HSQUIRRELVM vm) {
  std::string text = last_error_text(vm);
  // The handlers recorded the error with its place as it was raised; a
  // record of some earlier error (one a script caught) does not belong.
  const SquirrelError* noted = latest_error(vm);
  SquirrelError e = noted && text == noted->text ? *noted : SquirrelError(text.c_str());
  if (sq_calltimedout(vm)) e.kind = ScriptErrorKind::TimedOut;
  return e;
}

namespace detail {
void note_native_error(HSQUIRRELVM v, SquirrelError& e) { note_error_from_stack(v, e); }
}  // namespace detail

void throw_last_error(HSQUIRRELVM vm) { throw last_error(vm); }

// ---- object holder ----

bool SqObject::fromStack(HSQUIRRELVM v, SQInteger idx) {
  release();
  if (!has_slot(v, idx)) return false;
  HSQOBJECT o;
  if (SQ_FAILED(sq_getstackobj(v, idx, &o))) return false;
  obj = o;
  sq_addref(v, &obj);
  vm = v;
  return true;
}

void SqObject::weakFromStack(HSQUIRRELVM v, SQInteger idx) {
  if (sq_gettype(v, idx) == OT_WEAKREF) {
    fromStack(v, idx);
    return;
  }
  sq_weakref(v, idx);
  fromStack(v, -1);
  sq_poptop(v);
}

bool SqObject::pushDeref(HSQUIRRELVM v) const {
  sq_pushobject(v, obj);
  if (obj._type != OT_WEAKREF) return true;
  if (SQ_FAILED(sq_getweakrefval(v, -1))) {
    sq_poptop(v);
    return false;
  }
  sq_remove(v, -2);
  if (sq_gettype(v, -1) == OT_NULL) {  // the object was collected
    sq_poptop(v);
    return false;
  }
  return true;
}

void SqObject::release() {
  if (vm) sq_release(vm, &obj);
  sq_resetobject(&obj);
  vm = nullptr;
}

// ---- classes and instances ----

SqObject create_class(HSQUIRRELVM vm, const char* name, const char* base_name, SQUserPointer tag) {
  SqObject cls;
  SQInteger top = sq_gettop(vm);
  sq_pushroottable(vm);
  sq_pushstring(vm, name, -1);
  if (base_name) {
    sq_pushstring(vm, base_name, -1);
    if (SQ_FAILED(sq_get(vm, -3))) {
      sq_settop(vm, top);
      fatal("no base class '%s' binded for '%s'", base_name, name);
    }
  }
  if (SQ_FAILED(sq_newclass(vm, base_name ? SQTrue : SQFalse))) {
    sq_settop(vm, top);
    fatal("can't create class '%s'", name);
  }
  cls.fromStack(vm, -1);
  if (SQ_FAILED(sq_settypetag(vm, -1, tag))) {
    sq_settop(vm, top);
    fatal("can't set type tag for class '%s'", name);
  }
  if (SQ_FAILED(sq_newslot(vm, -3, SQFalse))) {
    sq_settop(vm, top);
    fatal("can't register class '%s' in root table", name);
  }
  sq_poptop(vm);  // root table
  sq_pushregistrytable(vm);
  sq_pushuserpointer(vm, tag);
  sq_pushobject(vm, cls.obj);
  if (SQ_FAILED(sq_newslot(vm, -3, SQFalse))) {
    sq_settop(vm, top);
    fatal("can't register class '%s' in registry table", name);
  }
  sq_poptop(vm);
  return cls;
}

bool push_instance(HSQUIRRELVM vm, void* p, SQUserPointer tag, const char* class_name, SQRELEASEHOOK hook) {
  if (!p) {
    sq_pushnull(vm);
    return true;
  }
  SQInteger top = sq_gettop(vm);
  const char* err = nullptr;
  sq_pushregistrytable(vm);
  sq_pushuserpointer(vm, tag);
  if (SQ_FAILED(sq_get(vm, -2))) {
    err = "can't get script class";
  } else {
    sq_remove(vm, -2);  // registry
    if (SQ_FAILED(sq_createinstance(vm, -1))) {
      err = "can't create script instance";
    } else {
      sq_remove(vm, -2);  // class
      if (SQ_FAILED(sq_setinstanceup(vm, -1, p))) {
        err = "can't set instance user pointer";
      } else if (hook) {
        sq_setreleasehook(vm, -1, hook);
      }
    }
  }
  if (err) {
    sq_settop(vm, top);
    debug("failed to create %s", class_name);
    throw SquirrelError(err);
  }
  return true;
}

bool init_instance(void* p, HSQUIRRELVM vm, SQRELEASEHOOK hook) {
  if (SQ_FAILED(sq_setinstanceup(vm, 1, p))) {
    sq_poptop(vm);
    debug("failed to init scripted object %p", p);
    throw SquirrelError("can't set scripted instance user pointer");
  }
  if (hook) sq_setreleasehook(vm, 1, hook);
  return true;
}

void* get_instance(HSQUIRRELVM vm, SQInteger idx, SQUserPointer tag) {
  if (!has_slot(vm, idx) || sq_gettype(vm, idx) != OT_INSTANCE) return nullptr;
  SQUserPointer p = nullptr;
  if (SQ_FAILED(sq_getinstanceup(vm, idx, &p, tag))) return nullptr;
  return p;
}

void assert_allocated(const void* p) { G_ASSERT(p); }
void fatal_null_method_block() {
  const void* ud = nullptr;
  G_ASSERT(ud);
}

namespace detail {
void check_constructed(HSQUIRRELVM v, SQUserPointer tag) {
  void* ptr = get_instance(v, 1, tag);
  G_ASSERT(ptr);
}

const char* construction_refused(HSQUIRRELVM v, SQUserPointer tag) {
  SQUserPointer p = nullptr;
  if (!has_slot(v, 1) || sq_gettype(v, 1) != OT_INSTANCE || SQ_FAILED(sq_getinstanceup(v, 1, &p, tag)))
    return "constructor called on an instance of another class";
  if (p) return "constructor called on an instance already constructed";
  return nullptr;
}

void new_native_slot(HSQUIRRELVM v, const char* name, SQUserPointer fn, SQFUNCTION dispatcher) {
  sq_pushstring(v, name, -1);
  sq_pushuserpointer(v, fn);
  sq_newclosure(v, dispatcher, 1);
  sq_setnativeclosurename(v, -1, name);
  sq_newslot(v, -3, SQFalse);
}

void push_class(HSQUIRRELVM v, const SqObject& cls) {
  if (!cls.pushDeref(v)) sq_pushnull(v);
}
}  // namespace detail

// ---- argument conversion ----

bool has_slot(HSQUIRRELVM vm, SQInteger idx) {
  SQInteger top = sq_gettop(vm);
  if (idx > 0) return idx <= top;
  return idx < 0 && -idx <= top;
}

float get_float(HSQUIRRELVM vm, SQInteger idx) {
  SQFloat f = 0;
  if (!has_slot(vm, idx) || SQ_FAILED(sq_getfloat(vm, idx, &f))) throw SquirrelError(TYPE_ERROR);
  return f;
}

SQInteger get_int(HSQUIRRELVM vm, SQInteger idx) {
  SQInteger i = 0;
  if (!has_slot(vm, idx) || sq_gettype(vm, idx) != OT_INTEGER || SQ_FAILED(sq_getinteger(vm, idx, &i)))
    throw SquirrelError(TYPE_ERROR);
  return i;
}

bool get_bool(HSQUIRRELVM vm, SQInteger idx) {
  SQBool b = SQFalse;
  if (!has_slot(vm, idx) || SQ_FAILED(sq_getbool(vm, idx, &b))) throw SquirrelError(TYPE_ERROR);
  return b != 0;
}

const char* get_string(HSQUIRRELVM vm, SQInteger idx) {
  const SQChar* s = nullptr;
  if (!has_slot(vm, idx) || SQ_FAILED(sq_getstring(vm, idx, &s)) || !s) throw SquirrelError(TYPE_ERROR);
  return s;
}

SQUserPointer get_userpointer(HSQUIRRELVM vm, SQInteger idx) {
  SQUserPointer p = nullptr;
  if (!has_slot(vm, idx) || SQ_FAILED(sq_getuserpointer(vm, idx, &p))) throw SquirrelError(TYPE_ERROR);
  return p;
}

SqObject get_object(HSQUIRRELVM vm, SQInteger idx) {
  SqObject o;
  if (!o.fromStack(vm, idx)) throw SquirrelError(TYPE_ERROR);
  return o;
}

void* get_inst(HSQUIRRELVM vm, SQInteger idx, SQUserPointer tag, bool nullable) {
  if (nullable && has_slot(vm, idx) && sq_gettype(vm, idx) == OT_NULL) return nullptr;
  void* p = get_instance(vm, idx, tag);
  if (!p) throw SquirrelError(INST_ERROR);
  return p;
}

float get_array_float(HSQUIRRELVM vm, SQInteger arr, SQInteger idx) {
  if (arr < 0) arr = sq_gettop(vm) + arr + 1;
  sq_push(vm, arr);
  sq_pushinteger(vm, idx);
  if (SQ_FAILED(sq_get(vm, -2))) {
    sq_poptop(vm);
    throw_last_error(vm);
  }
  SQFloat f = 0;
  if (SQ_FAILED(sq_getfloat(vm, -1, &f))) {
    sq_pop(vm, 2);
    throw SquirrelError(TYPE_ERROR);
  }
  sq_pop(vm, 2);
  return f;
}

vec4f get_vec4f(HSQUIRRELVM vm, SQInteger idx) {
  if (!has_slot(vm, idx)) throw SquirrelError(INST_ERROR);
  switch (sq_gettype(vm, idx)) {
    case OT_INTEGER:
    case OT_FLOAT: {
      SQFloat f = 0;
      sq_getfloat(vm, idx, &f);
      return vec4f(f, f, f, f);
    }
    case OT_ARRAY: {
      vec4f r;
      for (int i = 0; i < 4; i++) r[i] = get_array_float(vm, idx, i);
      return r;
    }
    default: break;
  }
  const vec4f* p = static_cast<const vec4f*>(get_instance(vm, idx, type_tag<vec4f>()));
  if (!p) throw SquirrelError(INST_ERROR);
  return *p;
}

vec4f get_color(HSQUIRRELVM vm, SQInteger idx) {
  if (has_slot(vm, idx) && sq_gettype(vm, idx) == OT_INTEGER) {
    SQInteger i = 0;
    sq_getinteger(vm, idx, &i);
    return D3dColor(uint32_t(i)).toVec4();
  }
  return get_vec4f(vm, idx);
}

void push_vec4f(HSQUIRRELVM vm, const vec4f& v) {
  vec4f* p = new vec4f(v);
  try {
    push_owned(vm, p);
  } catch (...) {
    delete p;
    throw;
  }
}

// ---- reading script data ----

void push_slot(HSQUIRRELVM vm, const SqObject& obj, const char* name) {
  if (!obj.pushDeref(vm)) sq_pushnull(vm);
  sq_pushstring(vm, name, -1);
  if (SQ_FAILED(sq_get(vm, -2))) {
    sq_poptop(vm);
    debug("getSlot '%s' failed", name);
    throw_last_error(vm);
  }
}

SQUserPointer getReg(HSQUIRRELVM vm, const char* name) {
  sq_pushregistrytable(vm);
  sq_pushstring(vm, name, -1);
  if (SQ_FAILED(sq_get(vm, -2))) {
    sq_poptop(vm);
    debug("getReg '%s' failed", name);
    throw_last_error(vm);
  }
  SQUserPointer p = nullptr;
  if (SQ_FAILED(sq_getuserpointer(vm, -1, &p))) {
    sq_pop(vm, 2);
    throw SquirrelError(TYPE_ERROR);
  }
  sq_pop(vm, 2);
  return p;
}

// ---- calling script functions ----

bool SqFunc::bind(HSQUIRRELVM v, const char* name) {
  release();
  vm = v;
  sq_pushroottable(v);
  env.weakFromStack(v, -1);
  sq_pushstring(v, name, -1);
  bool found = SQ_SUCCEEDED(sq_get(v, -2));
  if (found) {
    func.fromStack(v, -1);
    sq_poptop(v);
  }
  sq_poptop(v);
  return found;
}

bool SqFunc::bind(HSQUIRRELVM v, const SqObject& obj, const char* name) {
  release();
  vm = v;
  if (!obj.pushDeref(v)) return false;
  env.weakFromStack(v, -1);
  sq_pushstring(v, name, -1);
  bool found = SQ_SUCCEEDED(sq_get(v, -2));
  if (found) {
    func.fromStack(v, -1);
    sq_poptop(v);
  }
  sq_poptop(v);
  return found;
}

void SqFunc::bind(HSQUIRRELVM v, const SqObject& environment, const SqObject& function) {
  release();
  vm = v;
  env = environment;
  func = function;
}

void SqFunc::release() {
  func.release();
  env.release();
  vm = nullptr;
}

bool SqFunc::isNull() const {
  if (!vm || func.isNull() || env.isNull()) return true;
  if (!env.pushDeref(vm)) return true;
  sq_poptop(vm);
  return false;
}

void SqFunc::pushCall() const {
  if (!vm) throw SquirrelError("SqFunc: can't deref weakptr to object");
  sq_pushobject(vm, func.obj);
  if (!env.pushDeref(vm)) {
    sq_poptop(vm);
    throw SquirrelError("SqFunc: can't deref weakptr to object");
  }
}

void SqFunc::doCall(int nargs) const {
  SQInteger base = sq_gettop(vm) - nargs - 2;  // below the function
  if (SQ_FAILED(sq_call(vm, nargs + 1, SQTrue, SQTrue))) {
    // The handler has printed the call stack; the script's own error says
    // what went wrong.
    SquirrelError e = last_error(vm);
    sq_settop(vm, base);
    throw e;
  }
}

}  // namespace sqbind
