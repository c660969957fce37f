// The dispatch loop, calls, exceptions, generators, thread suspension and the
// object protocol (get/set/newslot/delete with delegation and metamethods).
#include "sqopcodes.h"
#include "sqpcheader.h"

#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <new>
#include <stdexcept>

SQVM::SQVM(SQSharedState *ss) : SQCollectable(ss) { _stack.resize(64); }

SQVM::~SQVM() {
  _frames.clear();
  _traps.clear();
  CloseOuters(0);
  _stack.clear();
}

void SQVM::Mark(std::vector<SQCollectable *> &stack) {
  for (SQInteger i = 0; i < (SQInteger)_stack.size(); i++) MarkObject(_stack[i], stack);
  for (auto &f : _frames) MarkObject(f.closure, stack);
  MarkObject(_roottable, stack);
  MarkObject(_lasterror, stack);
  MarkObject(_errorhandler, stack);
  MarkObject(_debughook, stack);
  MarkObject(_suspendvalue, stack);
  for (SQOuter *o = _openouters; o; o = o->_nextopen) MarkObject(SQObjectPtr(o), stack);
}

void SQVM::Finalize() {
  CloseOuters(0);
  _frames.clear();
  _traps.clear();
  for (auto &s : _stack) s.Null();
  _top = 0;
  _roottable.Null();
  _lasterror.Null();
  _errorhandler.Null();
  _debughook.Null();
  _suspendvalue.Null();
}

void SQVM::GrowStack(SQInteger needed) {
  SQInteger n = (SQInteger)_stack.size();
  if (needed <= n) return;
  while (n < needed) n *= 2;
  _stack.resize(n);
}

void SQVM::Remove(SQInteger absidx) {
  for (SQInteger i = absidx; i < _top - 1; i++) _stack[i] = std::move(_stack[i + 1]);
  _stack[--_top].Null();
}

// ---------------------------------------------------------------- errors
void SQVM::RaiseError(const char *fmt, ...) {
  char buf[1024];
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  _lasterror = SQObjectPtr(SQStr(_sharedstate, buf));
  _errorhandled = false;
}

static std::string KeyText(SQVM *v, const SQObject &key) {
  char buf[64];
  switch (key._type) {
    case OT_STRING: return std::string(_string(key)->_val, _string(key)->_len);
    case OT_INTEGER: snprintf(buf, sizeof buf, "%lld", (long long)_integer(key)); return buf;
    case OT_FLOAT: sq_print_float(buf, sizeof buf, _float(key)); return buf;
    case OT_BOOL: return _integer(key) ? "true" : "false";
    case OT_NULL: return "null";
    default: (void)v; return GetTypeName(key);
  }
}

void SQVM::Raise_IdxError(const SQObject &key) {
  RaiseError("the index '%s' does not exist", KeyText(this, key).c_str());
}

bool SQVM::CheckSize(SQInteger n, SQInteger cap, const char *what) {
  if (n >= 0 && n <= cap) return true;
  RaiseError("out of memory: %s may hold at most %lld elements", what, (long long)cap);
  return false;
}

void SQVM::Raise_CompareError(const SQObject &a, const SQObject &b) {
  RaiseError("comparison between '%s' and '%s'", GetTypeName(a), GetTypeName(b));
}

bool SQVM::CallErrorHandler(const SQObjectPtr &error) {
  if (_errorhandled) return true;
  _errorhandled = true;
  if (_errorhandler._type == OT_NULL || _inerrorhandler) return true;
  _inerrorhandler = true;
  SQObjectPtr h = _errorhandler, err = error, saved = _lasterror;
  SQInteger base = _top;
  Push(_roottable);
  Push(err);
  SQObjectPtr ret;
  bool saveraise = _raiseerror;
  Call(h, 2, base, ret, false);
  _raiseerror = saveraise;
  while (_top > base) Pop();
  _lasterror = saved;
  _errorhandled = true;
  _inerrorhandler = false;
  return true;
}

// ---------------------------------------------------------------- watchdog
// Loop jumps and calls between two looks at the clock: a few microseconds of
// script, so that the check costs nothing next to the work it guards.
constexpr SQInteger kWatchdogTicks = 4096;

static int64_t WatchdogNow() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

SQHostCall::SQHostCall(SQSharedState *s) : ss(s) {
  if (ss->_hostcalls++ > 0) return;
  ss->_timedout = false;
  if (ss->_timelimit_ns > 0) ss->_deadline_ns = WatchdogNow() + ss->_timelimit_ns;
}

// Called when the tick count runs out: true (with the error raised) once the
// running host call is past its deadline.
bool SQVM::WatchdogExpired() {
  _watchdogticks = kWatchdogTicks;
  SQSharedState *ss = _sharedstate;
  if (ss->_timelimit_ns <= 0 || ss->_hostcalls == 0) return false;
  if (!ss->_timedout && WatchdogNow() < ss->_deadline_ns) return false;
  ss->_timedout = true;
  // Raised at the current instruction: the error handler's call stack and
  // the owners' messages give the line.
  RaiseError("script ran for more than %g s", (double)ss->_timelimit_ns * 1e-9);
  return true;
}

// ---------------------------------------------------------------- outers
SQOuter *SQVM::FindOuter(SQInteger idx) {
  SQOuter **p = &_openouters;
  while (*p && (*p)->_idx > idx) p = &(*p)->_nextopen;
  if (*p && (*p)->_idx == idx) return *p;
  SQOuter *o = new SQOuter(_sharedstate, this, idx);
  o->_uiRef++;  // held by the open list
  o->_nextopen = *p;
  *p = o;
  return o;
}

void SQVM::CloseOuters(SQInteger fromidx) {
  while (_openouters && _openouters->_idx >= fromidx) {
    SQOuter *o = _openouters;
    _openouters = o->_nextopen;
    o->_nextopen = nullptr;
    o->_value = _stack[o->_idx];
    o->_closed = true;
    sq_release_obj(OT_OUTER, SQObjectValue{.pOuter = o});
  }
}

// ---------------------------------------------------------------- calls
void SQVM::LeaveFrame() {
  SQCallFrame &f = _frames.back();
  if (!_traps.empty()) {
    SQInteger fi = (SQInteger)_frames.size() - 1;
    while (!_traps.empty() && _traps.back().frame == fi) _traps.pop_back();
  }
  if (_openouters) CloseOuters(f.base);
  if (f.generator && f.generator->_state == SQGenerator::eRunning) f.generator->_state = SQGenerator::eDead;
  for (SQObjectPtr *p = _stack.data() + f.base, *e = _stack.data() + _top; p < e; ++p) p->Null();
  _top = f.prevtop;
  _stackbase = f.prevstackbase;
  _frames.pop_back();
}

// Pushes a frame for a script closure whose 'this' and arguments are at
// base..base+nargs-1. Generator functions produce a generator in _suspendvalue
// and push nothing (returns false with no error set in _lasterror? no: see gencreated).
static thread_local bool g_gencreated = false;

bool SQVM::StartCall(SQClosure *c, SQInteger target, SQInteger nargs, SQInteger base, bool root) {
  SQFunctionProto *p = c->Proto();
  SQInteger nparams = p->_nparams;
  SQInteger ndef = (SQInteger)c->_defaultparams.size();
  g_gencreated = false;
  if ((SQInteger)_frames.size() >= 20000 || base + p->_stacksize > (1 << 22)) {
    RaiseError("stack overflow");
    return false;
  }
  if (base + p->_stacksize + 8 > (SQInteger)_stack.size()) GrowStack(base + p->_stacksize + 8);
  if (nargs != nparams) {
    if (nargs < nparams) {
      if (nargs < nparams - ndef) {  // the counts include 'this'
        RaiseError("wrong number of parameters (%d passed, %d required)", (int)nargs, (int)(nparams - ndef));
        return false;
      }
      for (SQInteger i = nargs; i < nparams; i++) _stack[base + i] = c->_defaultparams[i - (nparams - ndef)];
    } else if (!p->_varparams) {
      RaiseError("wrong number of parameters (%d passed, at most %d accepted)", (int)nargs, (int)nparams);
      return false;
    }
  }
  if (p->_varparams) {
    SQInteger nextra = nargs > nparams ? nargs - nparams : 0;
    SQArray *va = SQArray::Create(_sharedstate, nextra);
    for (SQInteger i = 0; i < nextra; i++) {
      va->_values[i] = std::move(_stack[base + nparams + i]);
    }
    _stack[base + nparams] = SQObjectPtr(va);
  }
  if (c->_env._type == OT_WEAKREF) {
    const SQObject &e = _weakref(c->_env)->_obj;
    if (e._type != OT_NULL) _stack[base] = e;
  }
  if (p->_generator) {
    SQGenerator *g = new SQGenerator(_sharedstate, c);
    g->_stack.resize(p->_stacksize);
    for (SQInteger i = 0; i < p->_stacksize; i++) g->_stack[i] = std::move(_stack[base + i]);
    _suspendvalue = SQObjectPtr(g);
    g_gencreated = true;
    return false;
  }
  // Built in place: a frame made aside and moved in costs a reference
  // count round trip on the closure for every call.
  SQCallFrame &f = _frames.emplace_back();
  f.closure = SQObjectPtr(c);
  f.ip = p->_code.data();
  f.base = base;
  f.prevtop = _top;
  f.prevstackbase = _stackbase;
  f.target = target;
  f.root = root;
  _top = base + p->_stacksize;
  return true;
}

SQInteger sq_compile_typemask(const char *typemask, std::vector<SQInteger> &res) {
  SQInteger mask = 0;
  for (const char *t = typemask;; t++) {
    char c = *t;
    SQInteger m = 0;
    switch (c) {
      case 'o': m = _RT_NULL; break;
      case 'i': m = _RT_INTEGER; break;
      case 'f': m = _RT_FLOAT; break;
      case 'n': m = _RT_FLOAT | _RT_INTEGER; break;
      case 's': m = _RT_STRING; break;
      case 't': m = _RT_TABLE; break;
      case 'a': m = _RT_ARRAY; break;
      case 'u': m = _RT_USERDATA; break;
      case 'c': m = _RT_CLOSURE | _RT_NATIVECLOSURE; break;
      case 'b': m = _RT_BOOL; break;
      case 'g': m = _RT_GENERATOR; break;
      case 'p': m = _RT_USERPOINTER; break;
      case 'v': m = _RT_THREAD; break;
      case 'x': m = _RT_INSTANCE; break;
      case 'y': m = _RT_CLASS; break;
      case 'r': m = _RT_WEAKREF; break;
      case '.': m = -1; break;
      case '|': continue;
      case ' ': continue;
      case 0: break;
      default: return -1;
    }
    if (c == 0) break;
    mask = (m == -1) ? -1 : (mask == -1 ? -1 : (mask | m));
    if (t[1] != '|') {
      res.push_back(mask);
      mask = 0;
    }
  }
  return (SQInteger)res.size();
}

static std::string TypeMaskText(SQInteger mask) {
  static const struct { SQInteger bit; const char *name; } names[] = {
      {_RT_NULL, "null"}, {_RT_INTEGER, "integer"}, {_RT_FLOAT, "float"}, {_RT_BOOL, "bool"},
      {_RT_STRING, "string"}, {_RT_TABLE, "table"}, {_RT_ARRAY, "array"}, {_RT_USERDATA, "userdata"},
      {_RT_CLOSURE, "closure"}, {_RT_NATIVECLOSURE, "native closure"}, {_RT_GENERATOR, "generator"},
      {_RT_USERPOINTER, "userpointer"}, {_RT_THREAD, "thread"}, {_RT_CLASS, "class"},
      {_RT_INSTANCE, "instance"}, {_RT_WEAKREF, "weakref"}};
  std::string s;
  for (auto &n : names)
    if (mask & n.bit) {
      if (!s.empty()) s += "|";
      s += n.name;
    }
  return s;
}

void SQVM::Raise_ParamTypeError(SQInteger nparam, SQInteger typemask, SQInteger type) {
  RaiseError("parameter %d has an invalid type '%s' ; expected: '%s'", (int)nparam,
             GetTypeName((SQObjectType)type), TypeMaskText(typemask).c_str());
}

bool sq_typecheck_params(SQVM *v, SQNativeClosure *nc, SQInteger nargs, SQInteger base) {
  SQInteger n = nc->_nparamscheck;
  if (n != 0 && ((n > 0 && nargs != n) || (n < 0 && nargs < -n))) {
    v->RaiseError("wrong number of parameters");
    return false;
  }
  SQInteger tc = (SQInteger)nc->_typecheck.size();
  for (SQInteger i = 0; i < tc && i < nargs; i++) {
    SQInteger m = nc->_typecheck[i];
    if (m == -1) continue;
    SQObjectType t = v->_stack[base + i]._type;
    if (!(m & _RAW_TYPE(t))) {
      v->Raise_ParamTypeError(i, m, t);
      return false;
    }
  }
  return true;
}

bool SQVM::CallNative(SQNativeClosure *nc, SQInteger nargs, SQInteger base, SQObjectPtr &ret, bool &suspend) {
  suspend = false;
  if (!sq_typecheck_params(this, nc, nargs, base)) return false;
  if (_nnativecalls > 200) { RaiseError("native stack overflow"); return false; }
  SQInteger nouters = (SQInteger)nc->_outervalues.size();
  GrowStack(base + nargs + nouters + 32);
  for (SQInteger i = 0; i < nouters; i++) _stack[base + nargs + i] = nc->_outervalues[i];
  if (nc->_env._type == OT_WEAKREF) {
    const SQObject &e = _weakref(nc->_env)->_obj;
    if (e._type != OT_NULL) _stack[base] = e;
  }
  SQCallFrame f;
  f.closure = SQObjectPtr(nc);
  f.base = base;
  f.prevtop = _top;
  f.prevstackbase = _stackbase;
  f.native = true;
  SQInteger depth = (SQInteger)_frames.size();
  _frames.push_back(std::move(f));
  _stackbase = base;
  _top = base + nargs + nouters;
  _nnativecalls++;
  SQInteger r;
  try {
    r = nc->_function(this);
  } catch (const std::bad_alloc &) {
    // a native that could not get memory fails like any other native
    _nnativecalls--;
    while ((SQInteger)_frames.size() > depth) LeaveFrame();
    RaiseError("out of memory");
    return false;
  } catch (const std::length_error &) {
    _nnativecalls--;
    while ((SQInteger)_frames.size() > depth) LeaveFrame();
    RaiseError("out of memory");
    return false;
  } catch (...) {
    _nnativecalls--;
    while ((SQInteger)_frames.size() > depth) LeaveFrame();
    throw;
  }
  _nnativecalls--;
  bool ok = true;
  if (r == SQ_SUSPEND_FLAG) {
    suspend = true;
    ret = _top > base + nargs + nouters - 1 && _top > base ? _stack[_top - 1] : SQObjectPtr();
  } else if (r < 0) {
    ok = false;
  } else if (r > 0) {
    if (_top <= _stackbase) { RaiseError("native function returned a value with an empty stack"); ok = false; }
    else ret = _stack[_top - 1];
  } else {
    ret.Null();
  }
  while ((SQInteger)_frames.size() > depth) LeaveFrame();
  return ok;
}

// Calls any callable with 'this' and the arguments at stackbase..stackbase+nparams-1.
bool SQVM::Call(const SQObjectPtr &closure, SQInteger nparams, SQInteger stackbase, SQObjectPtr &outres,
                bool raiseerror) {
  switch (closure._type) {
    case OT_CLOSURE: {
      SQInteger depth = (SQInteger)_frames.size();
      bool saveraise = _raiseerror;
      _raiseerror = raiseerror;
      if (!StartCall(_closure(closure), -1, nparams, stackbase, true)) {
        _raiseerror = saveraise;
        if (g_gencreated) {
          outres = _suspendvalue;
          _suspendvalue.Null();
          return true;
        }
        if (raiseerror && _traps.empty()) CallErrorHandler(_lasterror);
        return false;
      }
      bool ok;
      try {
        ok = Execute(depth + 1, outres, raiseerror);
      } catch (const std::bad_alloc &) {
        // The interpreter itself ran out of memory (the caps keep scripts
        // well below that): the call fails instead of the process.
        while ((SQInteger)_frames.size() > depth) LeaveFrame();
        _raiseerror = saveraise;
        RaiseError("out of memory");
        if (raiseerror) CallErrorHandler(_lasterror);
        return false;
      } catch (...) {
        while ((SQInteger)_frames.size() > depth) LeaveFrame();
        _raiseerror = saveraise;
        throw;
      }
      _raiseerror = saveraise;
      return ok;
    }
    case OT_NATIVECLOSURE: {
      bool suspend;
      bool ok = CallNative(_nativeclosure(closure), nparams, stackbase, outres, suspend);
      if (!ok && raiseerror && _traps.empty()) CallErrorHandler(_lasterror);
      if (suspend) {
        _suspended = 1;
        _suspend_target = -1;
      }
      return ok;
    }
    case OT_CLASS: {
      SQObjectPtr inst, ctor;
      if (!CreateClassInstance(_class(closure), inst, ctor)) return false;
      _stack[stackbase] = inst;
      if (ctor._type != OT_NULL) {
        SQObjectPtr dummy;
        if (!Call(ctor, nparams, stackbase, dummy, raiseerror)) return false;
      }
      outres = inst;
      return true;
    }
    case OT_INSTANCE: case OT_TABLE: case OT_USERDATA: {
      SQObjectPtr mm;
      if (GetMeta(closure, MT_CALL, mm)) {
        GrowStack(stackbase + nparams + 2);
        for (SQInteger i = stackbase + nparams; i > stackbase; i--) _stack[i] = std::move(_stack[i - 1]);
        _stack[stackbase] = closure;
        if (_top < stackbase + nparams + 1) _top = stackbase + nparams + 1;
        return Call(mm, nparams + 1, stackbase, outres, raiseerror);
      }
    }
    [[fallthrough]];
    default:
      RaiseError("attempt to call '%s'", GetTypeName(closure));
      if (raiseerror && _traps.empty()) CallErrorHandler(_lasterror);
      return false;
  }
}

// Reports an event ('c' call, 'l' new line, 'r' return) to the script debug hook.
void SQVM::CallDebugHook(SQInteger type, SQFunctionProto *p, SQInteger line) {
  _inhook = true;
  SQObjectPtr hook = _debughook, res, err = _lasterror;
  SQInteger base = _top;
  Push(_roottable);
  Push(SQObjectPtr(type));
  Push(p->_sourcename);
  Push(SQObjectPtr(line));
  Push(p->_name);
  Call(hook, 5, base, res, false);
  while (_top > base) Pop();
  _lasterror = err;
  _inhook = false;
}

bool SQVM::CallMetaMethod(const SQObjectPtr &mm, const SQObjectPtr &self, SQInteger nargs, const SQObject *args,
                          SQObjectPtr &res) {
  SQInteger base = _top;
  Push(self);
  for (SQInteger i = 0; i < nargs; i++) Push(args[i]);
  bool ok = Call(mm, nargs + 1, base, res, _raiseerror);
  while (_top > base) Pop();
  return ok;
}

bool SQVM::CreateClassInstance(SQClass *c, SQObjectPtr &inst, SQObjectPtr &ctor) {
  inst = SQObjectPtr(c->CreateInstance());
  ctor = c->_constructor;
  return true;
}

bool SQVM::GetMeta(const SQObjectPtr &o, SQMetaMethod mm, SQObjectPtr &out) {
  switch (o._type) {
    case OT_TABLE: case OT_USERDATA:
      return _delegable(o)->GetMetaMethod(this, mm, out);
    case OT_INSTANCE:
      if (_instance(o)->_class->_metamethods[mm]._type != OT_NULL) {
        out = _instance(o)->_class->_metamethods[mm];
        return true;
      }
      return false;
    default: return false;
  }
}

bool SQVM::ResumeGenerator(SQGenerator *g, SQObjectPtr &out) {
  if (g->_state == SQGenerator::eDead) { RaiseError("resuming dead generator"); return false; }
  if (g->_state == SQGenerator::eRunning) { RaiseError("resuming active generator"); return false; }
  SQObjectPtr hold(g);
  SQClosure *c = _closure(g->_closure);
  SQFunctionProto *p = c->Proto();
  SQInteger base = _top;
  GrowStack(base + p->_stacksize + 8);
  for (SQInteger i = 0; i < (SQInteger)g->_stack.size(); i++) _stack[base + i] = std::move(g->_stack[i]);
  g->_stack.clear();
  SQCallFrame f;
  f.closure = g->_closure;
  f.ip = p->_code.data() + g->_ip;
  f.base = base;
  f.prevtop = _top;
  f.prevstackbase = _stackbase;
  f.root = true;
  f.generator = g;
  SQInteger depth = (SQInteger)_frames.size();
  _frames.push_back(std::move(f));
  _top = base + p->_stacksize;
  for (auto &t : g->_traps) {
    SQExceptionTrap nt = t;
    nt.frame = depth;
    _traps.push_back(nt);
  }
  g->_traps.clear();
  g->_state = SQGenerator::eRunning;
  bool ok;
  try {
    ok = Execute(depth + 1, out, _raiseerror);
  } catch (...) {
    while ((SQInteger)_frames.size() > depth) LeaveFrame();
    g->_state = SQGenerator::eDead;
    throw;
  }
  if (!ok) g->_state = SQGenerator::eDead;
  return ok;
}

bool SQVM::WakeUp(const SQObjectPtr &val, bool useval, SQObjectPtr &outres, bool raiseerror) {
  if (!_suspended) { RaiseError("cannot resume a vm that is not running any code"); return false; }
  _suspended = 0;
  if (_frames.empty()) {
    outres = useval ? val : SQObjectPtr();
    return true;
  }
  if (_suspend_target >= 0 && useval) _stack[_suspend_target] = val;
  else if (_suspend_target >= 0) _stack[_suspend_target].Null();
  bool saveraise = _raiseerror;
  _raiseerror = raiseerror;
  bool ok;
  try {
    ok = Execute(1, outres, raiseerror);
  } catch (...) {
    while (!_frames.empty()) LeaveFrame();
    throw;
  }
  _raiseerror = saveraise;
  return ok;
}

// ---------------------------------------------------------------- object protocol
bool SQVM::IsEqual(const SQObject &a, const SQObject &b) {
  if (a._type == b._type) {
    if (a._type == OT_FLOAT) return _float(a) == _float(b);
    return _rawval(a) == _rawval(b);
  }
  if ((a._type & SQOBJECT_NUMERIC) && (b._type & SQOBJECT_NUMERIC)) return tofloat(a) == tofloat(b);
  return false;
}

bool SQVM::GetDefaultDelegateMember(const SQObjectPtr &self, const SQObjectPtr &key, SQObjectPtr &dest) {
  SQSharedState *ss = _sharedstate;
  const SQObjectPtr *d = nullptr;
  switch (self._type) {
    case OT_TABLE: d = &ss->_table_delegate; break;
    case OT_ARRAY: d = &ss->_array_delegate; break;
    case OT_STRING: d = &ss->_string_delegate; break;
    case OT_INTEGER: case OT_FLOAT: case OT_BOOL: d = &ss->_number_delegate; break;
    case OT_CLOSURE: case OT_NATIVECLOSURE: d = &ss->_closure_delegate; break;
    case OT_GENERATOR: d = &ss->_generator_delegate; break;
    case OT_THREAD: d = &ss->_thread_delegate; break;
    case OT_CLASS: d = &ss->_class_delegate; break;
    case OT_INSTANCE: d = &ss->_instance_delegate; break;
    case OT_WEAKREF: d = &ss->_weakref_delegate; break;
    default: return false;
  }
  return d->_type == OT_TABLE && _table(*d)->Get(key, dest);
}

bool SQVM::Get(const SQObjectPtr &self, const SQObjectPtr &key, SQObjectPtr &dest, bool raw, bool rootfallback,
               bool raiseerror) {
  switch (self._type) {
    case OT_TABLE:
      if (_table(self)->Get(key, dest)) return true;
      for (SQTable *d = _table(self)->_delegate; d; d = d->_delegate)
        if (d->Get(key, dest)) return true;
      break;
    case OT_ARRAY:
      if (key._type & SQOBJECT_NUMERIC) {
        if (_array(self)->Get(tointeger(key), dest)) return true;
        if (raiseerror) Raise_IdxError(key);
        return false;
      }
      break;
    case OT_INSTANCE:
      if (_instance(self)->Get(key, dest)) return true;
      break;
    case OT_CLASS:
      if (_class(self)->Get(key, dest)) return true;
      break;
    case OT_STRING:
      if (key._type & SQOBJECT_NUMERIC) {
        SQInteger n = tointeger(key);
        SQString *s = _string(self);
        if (n < 0) n += s->_len;
        if (n >= 0 && n < s->_len) { dest = SQObjectPtr((SQInteger)(unsigned char)s->_val[n]); return true; }
        if (raiseerror) Raise_IdxError(key);
        return false;
      }
      break;
    case OT_USERDATA:
      for (SQTable *d = _userdata(self)->_delegate; d; d = d->_delegate)
        if (d->Get(key, dest)) return true;
      break;
    default: break;
  }
  if (!raw) {
    SQObjectPtr mm;
    if ((self._type == OT_TABLE || self._type == OT_INSTANCE || self._type == OT_USERDATA) && GetMeta(self, MT_GET, mm)) {
      SQObjectPtr k = key, s = self;
      bool saved = _errorhandled;
      // a failing _get that throws null means "no such member": keep looking
      bool saveraise = _raiseerror;
      _raiseerror = false;
      bool ok = CallMetaMethod(mm, s, 1, &k, dest);
      _raiseerror = saveraise;
      if (ok) return true;
      if (_lasterror._type != OT_NULL) {
        if (raiseerror && _traps.empty()) CallErrorHandler(_lasterror);
        return false;
      }
      _errorhandled = saved;
    }
    if (GetDefaultDelegateMember(self, key, dest)) return true;
  }
  if (rootfallback && _roottable._type == OT_TABLE && _rawval(_roottable) != _rawval(self)) {
    if (_table(_roottable)->Get(key, dest)) return true;
    for (SQTable *d = _table(_roottable)->_delegate; d; d = d->_delegate)
      if (d->Get(key, dest)) return true;
  }
  if (raiseerror) Raise_IdxError(key);
  return false;
}

bool SQVM::Set(const SQObjectPtr &self, const SQObjectPtr &key, const SQObjectPtr &val, bool rootfallback) {
  switch (self._type) {
    case OT_TABLE:
      if (_table(self)->Set(key, val)) return true;
      break;
    case OT_ARRAY:
      if (!(key._type & SQOBJECT_NUMERIC)) {
        RaiseError("indexing array with %s", GetTypeName(key));
        return false;
      }
      if (_array(self)->Set(tointeger(key), val)) return true;
      Raise_IdxError(key);
      return false;
    case OT_INSTANCE:
      if (_instance(self)->Set(key, val)) return true;
      break;
    case OT_CLASS: {
      SQTable::Node *n = _class(self)->_members->FindNode(key);
      if (n) {
        SQInteger d = _integer(n->val);
        if (d & MEMBER_FIELD) _class(self)->_defaultvalues[d >> 2].val = val;
        else _class(self)->_methods[d >> 2].val = val;
        return true;
      }
      break;
    }
    case OT_USERDATA: break;
    default:
      RaiseError("trying to set '%s'", GetTypeName(self));
      return false;
  }
  SQObjectPtr mm;
  if (GetMeta(self, MT_SET, mm)) {
    SQObjectPtr args[2] = {key, val};
    SQObjectPtr dummy, s = self;
    bool saveraise = _raiseerror;
    _raiseerror = false;
    bool ok = CallMetaMethod(mm, s, 2, args, dummy);
    _raiseerror = saveraise;
    if (ok) return true;
    if (_lasterror._type != OT_NULL) return false;
  }
  if (rootfallback && _roottable._type == OT_TABLE && _rawval(_roottable) != _rawval(self)) {
    if (_table(_roottable)->Set(key, val)) return true;
  }
  Raise_IdxError(key);
  return false;
}

bool SQVM::NewSlot(const SQObjectPtr &self, const SQObjectPtr &key, const SQObjectPtr &val, bool bstatic, bool raw) {
  if (key._type == OT_NULL) { RaiseError("null cannot be used as index"); return false; }
  switch (self._type) {
    case OT_TABLE: {
      if (!raw && _table(self)->_delegate && !_table(self)->FindNode(key)) {
        SQObjectPtr mm;
        if (GetMeta(self, MT_NEWSLOT, mm)) {
          SQObjectPtr args[2] = {key, val};
          SQObjectPtr dummy;
          return CallMetaMethod(mm, self, 2, args, dummy);
        }
      }
      if (key._type == OT_FLOAT && std::isnan(_float(key))) { RaiseError("NaN cannot be used as index"); return false; }
      if (_table(self)->_count >= SQ_MAX_TABLE_SLOTS && !_table(self)->FindNode(key) &&
          !CheckSize(_table(self)->_count + 1, SQ_MAX_TABLE_SLOTS, "a table"))
        return false;
      _table(self)->NewSlot(key, val);
      return true;
    }
    case OT_CLASS: {
      SQClass *c = _class(self);
      if (!raw && c->_metamethods[MT_NEWMEMBER]._type != OT_NULL) {
        SQObjectPtr args[4] = {key, val, SQObjectPtr(), SQObjectPtr(bstatic)};
        SQObjectPtr dummy, mm = c->_metamethods[MT_NEWMEMBER];
        return CallMetaMethod(mm, self, 4, args, dummy);
      }
      if (!c->NewSlot(_sharedstate, key, val, bstatic)) {
        if (c->_locked) RaiseError("trying to modify a class that has already been instantiated");
        else RaiseError("the property '%s' already exists", KeyText(this, key).c_str());
        return false;
      }
      return true;
    }
    case OT_INSTANCE:
      RaiseError("class instances do not support the new slot operator");
      return false;
    default:
      RaiseError("indexing %s with %s", GetTypeName(self), GetTypeName(key));
      return false;
  }
}

bool SQVM::DeleteSlot(const SQObjectPtr &self, const SQObjectPtr &key, SQObjectPtr &res, bool raw) {
  switch (self._type) {
    case OT_TABLE: case OT_INSTANCE: case OT_USERDATA: {
      if (!raw) {
        SQObjectPtr mm;
        if (GetMeta(self, MT_DELSLOT, mm)) {
          SQObjectPtr k = key;
          return CallMetaMethod(mm, self, 1, &k, res);
        }
      }
      if (self._type == OT_TABLE) {
        SQTable::Node *n = _table(self)->FindNode(key);
        if (n) {
          res = n->val;
          _table(self)->Remove(key);
          return true;
        }
        Raise_IdxError(key);
        return false;
      }
    }
    [[fallthrough]];
    default:
      RaiseError("cannot delete a slot from %s", GetTypeName(self));
      return false;
  }
}

bool SQVM::Clone(const SQObjectPtr &self, SQObjectPtr &target) {
  switch (self._type) {
    case OT_TABLE: {
      target = SQObjectPtr(_table(self)->Clone());
      SQObjectPtr mm;
      if (GetMeta(target, MT_CLONED, mm)) {
        SQObjectPtr dummy, orig = self;
        if (!CallMetaMethod(mm, target, 1, &orig, dummy)) return false;
      }
      return true;
    }
    case OT_INSTANCE: {
      target = SQObjectPtr(_instance(self)->Clone());
      SQObjectPtr mm;
      if (GetMeta(target, MT_CLONED, mm)) {
        SQObjectPtr dummy, orig = self;
        if (!CallMetaMethod(mm, target, 1, &orig, dummy)) return false;
      }
      return true;
    }
    case OT_ARRAY: {
      SQArray *a = SQArray::Create(_sharedstate, 0);
      a->_values = _array(self)->_values;
      target = SQObjectPtr(a);
      return true;
    }
    case OT_USERDATA: case OT_CLASS:
      RaiseError("cloning a %s", GetTypeName(self));
      return false;
    default:
      target = self;
      return true;
  }
}

bool SQVM::ObjCmp(const SQObjectPtr &a, const SQObjectPtr &b, SQInteger &res) {
  if (a._type == OT_INTEGER && b._type == OT_INTEGER) {
    res = _integer(a) < _integer(b) ? -1 : (_integer(a) > _integer(b) ? 1 : 0);
    return true;
  }
  if ((a._type & SQOBJECT_NUMERIC) && (b._type & SQOBJECT_NUMERIC)) {
    SQFloat x = tofloat(a), y = tofloat(b);
    res = x < y ? -1 : (x > y ? 1 : 0);
    return true;
  }
  if (a._type == b._type) {
    switch (a._type) {
      case OT_STRING: {
        SQString *x = _string(a), *y = _string(b);
        SQInteger n = x->_len < y->_len ? x->_len : y->_len;
        int c = memcmp(x->_val, y->_val, n);
        res = c < 0 ? -1 : (c > 0 ? 1 : (x->_len < y->_len ? -1 : (x->_len > y->_len ? 1 : 0)));
        return true;
      }
      case OT_BOOL: res = _integer(a) - _integer(b); return true;
      case OT_NULL: res = 0; return true;
      default: break;
    }
  }
  SQObjectPtr mm;
  if (GetMeta(a, MT_CMP, mm)) {
    SQObjectPtr r, other = b;
    if (!CallMetaMethod(mm, a, 1, &other, r)) return false;
    if (r._type != OT_INTEGER) { RaiseError("_cmp must return an integer"); return false; }
    res = _integer(r);
    return true;
  }
  if (a._type == b._type && a._type != OT_INSTANCE && a._type != OT_TABLE && a._type != OT_USERDATA) {
    res = _rawval(a) == _rawval(b) ? 0 : (_rawval(a) < _rawval(b) ? -1 : 1);
    return true;
  }
  Raise_CompareError(a, b);
  return false;
}

void sq_print_float(char *buf, size_t n, SQFloat f) {
  snprintf(buf, n, "%g", (double)f);
}

bool SQVM::ToString(const SQObjectPtr &o, SQObjectPtr &res) {
  char buf[96];
  switch (o._type) {
    case OT_STRING: res = o; return true;
    case OT_INTEGER: snprintf(buf, sizeof buf, "%lld", (long long)_integer(o)); break;
    case OT_FLOAT: sq_print_float(buf, sizeof buf, _float(o)); break;
    case OT_BOOL: snprintf(buf, sizeof buf, "%s", _integer(o) ? "true" : "false"); break;
    case OT_NULL: snprintf(buf, sizeof buf, "null"); break;
    case OT_TABLE: case OT_INSTANCE: case OT_USERDATA: {
      SQObjectPtr mm;
      if (GetMeta(o, MT_TOSTRING, mm)) {
        if (!CallMetaMethod(mm, o, 0, nullptr, res)) return false;
        if (res._type == OT_STRING) return true;
        RaiseError("_tostring must return a string");
        return false;
      }
    }
    [[fallthrough]];
    default:
      snprintf(buf, sizeof buf, "(%s : 0x%p)", GetTypeName(o), (void *)o._unVal.pRefCounted);
      break;
  }
  res = SQObjectPtr(SQStr(_sharedstate, buf));
  return true;
}

bool SQVM::TypeOf(const SQObjectPtr &o, SQObjectPtr &res) {
  SQObjectPtr mm;
  if ((o._type == OT_INSTANCE || o._type == OT_TABLE || o._type == OT_USERDATA) && GetMeta(o, MT_TYPEOF, mm))
    return CallMetaMethod(mm, o, 0, nullptr, res);
  res = SQObjectPtr(SQStr(_sharedstate, GetTypeName(o)));
  return true;
}

bool SQVM::StringCat(const SQObjectPtr &a, const SQObjectPtr &b, SQObjectPtr &dst) {
  SQObjectPtr sa, sb;
  if (!ToString(a, sa) || !ToString(b, sb)) return false;
  SQString *x = _string(sa), *y = _string(sb);
  if (x->_len + y->_len > SQ_MAX_STRING_LEN) {
    RaiseError("out of memory: a string may hold at most %lld bytes", (long long)SQ_MAX_STRING_LEN);
    return false;
  }
  dst = SQObjectPtr(SQString::Concat(_sharedstate, x->_val, x->_len, y->_val, y->_len));
  return true;
}

static const char kOpChars[] = "+-*/%";

bool SQVM::ArithOp(int op, SQObjectPtr &dst, const SQObjectPtr &a, const SQObjectPtr &b) {
  if (a._type == OT_INTEGER && b._type == OT_INTEGER) {
    SQInteger x = _integer(a), y = _integer(b), r;
    switch (op) {
      case 0: r = (SQInteger)((SQUnsignedInteger)x + (SQUnsignedInteger)y); break;
      case 1: r = (SQInteger)((SQUnsignedInteger)x - (SQUnsignedInteger)y); break;
      case 2: r = (SQInteger)((SQUnsignedInteger)x * (SQUnsignedInteger)y); break;
      case 3:
        if (y == 0) { RaiseError("division by zero"); return false; }
        r = (y == -1) ? (SQInteger)(0ull - (SQUnsignedInteger)x) : x / y;
        break;
      default:
        if (y == 0) { RaiseError("modulo by zero"); return false; }
        r = (y == -1) ? 0 : x % y;
        break;
    }
    dst.SetInt(r);
    return true;
  }
  if ((a._type & SQOBJECT_NUMERIC) && (b._type & SQOBJECT_NUMERIC)) {
    SQFloat x = tofloat(a), y = tofloat(b), r;
    switch (op) {
      case 0: r = x + y; break;
      case 1: r = x - y; break;
      case 2: r = x * y; break;
      case 3: r = x / y; break;
      default: r = fmodf(x, y); break;
    }
    dst.SetFloat(r);
    return true;
  }
  if (op == 0 && (a._type == OT_STRING || b._type == OT_STRING)) {
    SQObjectPtr r;
    if (!StringCat(a, b, r)) return false;
    dst = std::move(r);
    return true;
  }
  static const SQMetaMethod mms[] = {MT_ADD, MT_SUB, MT_MUL, MT_DIV, MT_MODULO};
  SQObjectPtr mm;
  if (GetMeta(a, mms[op], mm)) {
    SQObjectPtr r, other = b, self = a;
    if (!CallMetaMethod(mm, self, 1, &other, r)) return false;
    dst = std::move(r);
    return true;
  }
  RaiseError("arith op %c on between '%s' and '%s'", kOpChars[op], GetTypeName(a), GetTypeName(b));
  return false;
}

bool SQVM::BitwOp(int op, SQObjectPtr &dst, const SQObjectPtr &a, const SQObjectPtr &b) {
  if (a._type != OT_INTEGER || b._type != OT_INTEGER) {
    RaiseError("bitwise op between '%s' and '%s'", GetTypeName(a), GetTypeName(b));
    return false;
  }
  SQInteger x = _integer(a), y = _integer(b), r;
  switch (op) {
    case OP_BAND: r = x & y; break;
    case OP_BOR: r = x | y; break;
    case OP_BXOR: r = x ^ y; break;
    case OP_SHL: r = (SQInteger)((SQUnsignedInteger)x << (y & 63)); break;
    case OP_SHR: r = x >> (y & 63); break;
    default: r = (SQInteger)((SQUnsignedInteger)x >> (y & 63)); break;
  }
  dst.SetInt(r);
  return true;
}

bool SQVM::Negate(SQObjectPtr &dst, const SQObjectPtr &a) {
  switch (a._type) {
    case OT_INTEGER: dst.SetInt((SQInteger)(0ull - (SQUnsignedInteger)_integer(a))); return true;
    case OT_FLOAT: dst.SetFloat(-_float(a)); return true;
    default: {
      SQObjectPtr mm;
      if (GetMeta(a, MT_UNM, mm)) {
        SQObjectPtr r, self = a;
        if (!CallMetaMethod(mm, self, 0, nullptr, r)) return false;
        dst = std::move(r);
        return true;
      }
      RaiseError("attempt to negate a %s", GetTypeName(a));
      return false;
    }
  }
}

bool SQVM::In(const SQObjectPtr &key, const SQObjectPtr &obj, bool &res) {
  SQObjectPtr tmp;
  switch (obj._type) {
    case OT_TABLE: case OT_INSTANCE: case OT_CLASS: case OT_USERDATA:
      res = Get(obj, key, tmp, false, false, false);
      if (!res && _lasterror._type != OT_NULL && GetMeta(obj, MT_GET, tmp)) {
        // a _get that failed with an error other than "not found" still means absent
      }
      return true;
    case OT_ARRAY:
      res = (key._type & SQOBJECT_NUMERIC) && tointeger(key) >= 0 && tointeger(key) < _array(obj)->Size();
      return true;
    case OT_STRING:
      res = (key._type & SQOBJECT_NUMERIC) && tointeger(key) >= 0 && tointeger(key) < _string(obj)->_len;
      return true;
    default:
      RaiseError("cannot apply 'in' to a %s", GetTypeName(obj));
      return false;
  }
}

bool SQVM::FOREACH_Next(const SQObjectPtr &o, SQObjectPtr &iter, SQObjectPtr &key, SQObjectPtr &val, bool &done) {
  done = false;
  SQInteger idx = iter._type == OT_INTEGER ? _integer(iter) : 0;
  switch (o._type) {
    case OT_TABLE: {
      SQObjectPtr mm;
      if (_table(o)->_delegate && GetMeta(o, MT_NEXTI, mm)) break;
      SQInteger n = _table(o)->Next(idx);
      if (n < 0) { done = true; return true; }
      key = _table(o)->_nodes[n].key;
      val = _table(o)->_nodes[n].val;
      iter.SetInt(n + 1);
      return true;
    }
    case OT_ARRAY:
      if (idx >= _array(o)->Size()) { done = true; return true; }
      key.SetInt(idx);
      val = _array(o)->_values[idx];
      iter.SetInt(idx + 1);
      return true;
    case OT_STRING:
      if (idx >= _string(o)->_len) { done = true; return true; }
      key.SetInt(idx);
      val.SetInt((unsigned char)_string(o)->_val[idx]);
      iter.SetInt(idx + 1);
      return true;
    case OT_CLASS: {
      SQTable *m = _class(o)->_members;
      SQInteger n = m->Next(idx);
      if (n < 0) { done = true; return true; }
      key = m->_nodes[n].key;
      _class(o)->Get(key, val);
      iter.SetInt(n + 1);
      return true;
    }
    case OT_INSTANCE: {
      if (_instance(o)->_class->_metamethods[MT_NEXTI]._type != OT_NULL) break;
      SQTable *m = _instance(o)->_class->_members;
      SQInteger n = m->Next(idx);
      if (n < 0) { done = true; return true; }
      key = m->_nodes[n].key;
      _instance(o)->Get(key, val);
      iter.SetInt(n + 1);
      return true;
    }
    case OT_GENERATOR: {
      SQGenerator *g = _generator(o);
      if (g->_state == SQGenerator::eDead) { done = true; return true; }
      SQObjectPtr hold = o, r;
      if (!ResumeGenerator(g, r)) return false;
      if (g->_state == SQGenerator::eDead) { done = true; return true; }
      key.SetInt(idx);
      val = r;
      iter.SetInt(idx + 1);
      return true;
    }
    case OT_USERDATA: break;
    default:
      RaiseError("cannot iterate %s", GetTypeName(o));
      return false;
  }
  // iteration through the _nexti metamethod
  SQObjectPtr mm;
  if (!GetMeta(o, MT_NEXTI, mm)) {
    RaiseError("cannot iterate %s", GetTypeName(o));
    return false;
  }
  SQObjectPtr prev = iter, next, self = o;
  if (!CallMetaMethod(mm, self, 1, &prev, next)) return false;
  if (next._type == OT_NULL) { done = true; return true; }
  key = next;
  iter = next;
  return Get(self, next, val, false);
}

// ---------------------------------------------------------------- dispatch loop
#define RELOAD()                            \
  do {                                      \
    ci = &_frames.back();                   \
    stk = _stack.data() + ci->base;         \
  } while (0)
#define ENTER_FRAME()                                      \
  do {                                                     \
    ci = &_frames.back();                                  \
    cl = _closure(ci->closure);                            \
    K = cl->Proto()->_literals.data();                     \
    ip = ci->ip;                                           \
    stk = _stack.data() + ci->base;                        \
  } while (0)
#define SAVE() (ci->ip = ip)
#define THROW() goto exception
// Loops and calls count down to the next look at the clock.
#define WATCHDOG()                                                           \
  do {                                                                       \
    if (__builtin_expect(--_watchdogticks <= 0, 0)) {                        \
      SAVE();                                                                \
      if (WatchdogExpired()) THROW();                                        \
    }                                                                        \
  } while (0)
#define OPB(i) (((i).x & 1) ? K[(i).b] : stk[(i).b])
#define OPC(i) (((i).x & 2) ? K[(i).c] : stk[(i).c])

bool SQVM::Execute(SQInteger entrydepth, SQObjectPtr &outres, bool raiseerror) {
  struct NestGuard {
    SQVM *v;
    explicit NestGuard(SQVM *vm) : v(vm) { v->_nestedexec++; }
    ~NestGuard() { v->_nestedexec--; }
  } guard(this);
  if (_nestedexec > 250 || (SQInteger)_frames.size() > 10000) {
    RaiseError("stack overflow");
    while ((SQInteger)_frames.size() >= entrydepth) LeaveFrame();
    return false;
  }
  // Each instruction jumps straight to its handler through this table
  // (labels as values, a GCC and Clang extension) instead of through the
  // switch's range check; the table follows the order of SQOpcode.
#if defined(__GNUC__)
  static const void *const kDispatch[] = {
      &&lbl_OP_LOADK,
      &&lbl_OP_LOADINT,
      &&lbl_OP_LOADNULLS,
      &&lbl_OP_LOADBOOL,
      &&lbl_OP_MOVE,
      &&lbl_OP_LOADROOT,
      &&lbl_OP_GETOUTER,
      &&lbl_OP_SETOUTER,
      &&lbl_OP_GET,
      &&lbl_OP_PREPCALL,
      &&lbl_OP_SET,
      &&lbl_OP_NEWSLOT,
      &&lbl_OP_DELETE,
      &&lbl_OP_ADD,
      &&lbl_OP_SUB,
      &&lbl_OP_MUL,
      &&lbl_OP_DIV,
      &&lbl_OP_MOD,
      &&lbl_OP_BAND,
      &&lbl_OP_BAND,
      &&lbl_OP_BAND,
      &&lbl_OP_BAND,
      &&lbl_OP_BAND,
      &&lbl_OP_BAND,
      &&lbl_OP_EQ,
      &&lbl_OP_EQ,
      &&lbl_OP_LT,
      &&lbl_OP_LT,
      &&lbl_OP_LT,
      &&lbl_OP_LT,
      &&lbl_OP_LT,
      &&lbl_OP_IN,
      &&lbl_OP_INSTANCEOF,
      &&lbl_OP_JMP,
      &&lbl_OP_JZ,
      &&lbl_OP_JNZ,
      &&lbl_OP_NOT,
      &&lbl_OP_NEG,
      &&lbl_OP_BNOT,
      &&lbl_OP_TYPEOF,
      &&lbl_OP_CLONE,
      &&lbl_OP_CALL,
      &&lbl_OP_RETURN,
      &&lbl_OP_YIELD,
      &&lbl_OP_RESUME,
      &&lbl_OP_NEWTABLE,
      &&lbl_OP_NEWARRAY,
      &&lbl_OP_APPEND,
      &&lbl_OP_CLOSURE,
      &&lbl_OP_NEWCLASS,
      &&lbl_OP_GETBASE,
      &&lbl_OP_FOREACH,
      &&lbl_OP_PUSHTRAP,
      &&lbl_OP_POPTRAP,
      &&lbl_OP_THROW,
      &&lbl_OP_CLOSE,
      &&lbl_OP_JCMP,
      &&lbl_OP_ADDI,
      &&lbl_default};
  static_assert(sizeof(kDispatch) / sizeof(kDispatch[0]) == OP_COUNT, "one handler per opcode");
#endif
  SQCallFrame *ci;
  SQClosure *cl;
  const SQObjectPtr *K;
  const SQInstr *ip;
  SQObjectPtr *stk;
  ENTER_FRAME();
  for (;;) {
    if (__builtin_expect(_debughook._type != OT_NULL && !_inhook, 0)) {
      SAVE();
      SQFunctionProto *hp = cl->Proto();
      SQInteger pc = ip - hp->_code.data();
      SQInteger line = hp->GetLine(pc);
      // The hook is a call of its own: it may grow (move) the frame and value
      // stacks, so ci and stk are reloaded after every hook call.
      if (pc == 0) {
        CallDebugHook('c', hp, line);
        RELOAD();
      }
      if (line != _hookline || ci->base != _hookbase) {
        _hookline = line;
        _hookbase = ci->base;
        CallDebugHook('l', hp, line);
        RELOAD();
      }
      if (ip->op == OP_RETURN) {
        CallDebugHook('r', hp, line);
        _hookline = -1;
      }
      RELOAD();
    }
    const SQInstr &i = *ip++;
#if defined(__GNUC__)
    if (__builtin_expect(i.op < OP_COUNT, 1)) goto *kDispatch[i.op];
#endif
    switch (i.op) {
      case OP_LOADK: lbl_OP_LOADK: stk[i.a] = K[i.sbx]; continue;
      case OP_LOADINT: lbl_OP_LOADINT: stk[i.a].SetInt(i.sbx); continue;
      case OP_LOADNULLS: lbl_OP_LOADNULLS:
        for (int n = 0; n < i.b; n++) stk[i.a + n].Null();
        continue;
      case OP_LOADBOOL: lbl_OP_LOADBOOL: stk[i.a].SetBool(i.b != 0); continue;
      case OP_MOVE: lbl_OP_MOVE: stk[i.a] = stk[i.b]; continue;
      case OP_LOADROOT: lbl_OP_LOADROOT: stk[i.a] = _roottable; continue;
      case OP_GETOUTER: lbl_OP_GETOUTER: {
        SQObjectPtr v = _outer(cl->_outervalues[i.b])->Ref();
        stk[i.a] = std::move(v);
        continue;
      }
      case OP_SETOUTER: lbl_OP_SETOUTER: _outer(cl->_outervalues[i.a])->Ref() = stk[i.b]; continue;
      case OP_GET: lbl_OP_GET: {
        const SQObjectPtr &obj = stk[i.b];
        const SQObjectPtr &key = (i.x & 1) ? K[i.c] : stk[i.c];
        if (obj._type == OT_TABLE) {
          SQTable::Node *n = _table(obj)->FindNode(key);
          if (n) { stk[i.a] = n->val; continue; }
        } else if (obj._type == OT_INSTANCE) {
          SQObjectPtr v;
          if (_instance(obj)->Get(key, v)) { stk[i.a] = std::move(v); continue; }
        } else if (obj._type == OT_ARRAY && key._type == OT_INTEGER) {
          SQArray *a = _array(obj);
          if ((SQUnsignedInteger)_integer(key) < a->_values.size()) { stk[i.a] = a->_values[_integer(key)]; continue; }
        }
        SAVE();
        SQObjectPtr o = obj, k = key, v;
        if (!Get(o, k, v, false, (i.x & 2) != 0)) THROW();
        RELOAD();
        stk[i.a] = std::move(v);
        continue;
      }
      case OP_PREPCALL: lbl_OP_PREPCALL: {
        SQObjectPtr o = stk[i.b];
        const SQObjectPtr &key = (i.x & 1) ? K[i.c] : stk[i.c];
        SQObjectPtr v;
        bool found = false;
        if (o._type == OT_TABLE) {
          SQTable::Node *n = _table(o)->FindNode(key);
          if (n) { v = n->val; found = true; }
        } else if (o._type == OT_INSTANCE) {
          found = _instance(o)->Get(key, v);
        }
        if (!found) {
          SAVE();
          SQObjectPtr k = key;
          if (!Get(o, k, v, false, (i.x & 2) != 0)) THROW();
          RELOAD();
        }
        if (i.x & 4) stk[i.a + 1] = stk[0];
        else stk[i.a + 1] = std::move(o);
        stk[i.a] = std::move(v);
        continue;
      }
      case OP_SET: lbl_OP_SET: {
        const SQObjectPtr &obj = stk[i.a];
        const SQObjectPtr &key = (i.x & 1) ? K[i.b] : stk[i.b];
        const SQObjectPtr &val = (i.x & 2) ? K[i.c] : stk[i.c];
        if (obj._type == OT_TABLE) {
          SQTable::Node *n = _table(obj)->FindNode(key);
          if (n) { n->val = val; continue; }
        } else if (obj._type == OT_ARRAY && key._type == OT_INTEGER) {
          SQArray *a = _array(obj);
          if ((SQUnsignedInteger)_integer(key) < a->_values.size()) { a->_values[_integer(key)] = val; continue; }
        } else if (obj._type == OT_INSTANCE) {
          if (_instance(obj)->Set(key, val)) continue;
        }
        SAVE();
        SQObjectPtr o = obj, k = key, v = val;
        if (!Set(o, k, v, (i.x & 4) != 0)) THROW();
        RELOAD();
        continue;
      }
      case OP_NEWSLOT: lbl_OP_NEWSLOT: {
        SAVE();
        SQObjectPtr o = stk[i.a];
        SQObjectPtr k = (i.x & 1) ? K[i.b] : stk[i.b];
        SQObjectPtr v = (i.x & 2) ? K[i.c] : stk[i.c];
        if ((i.x & 8) && o._type == OT_CLASS) {
          SQObjectPtr attrs = stk[i.c + 1];
          if (_class(o)->_metamethods[MT_NEWMEMBER]._type != OT_NULL) {
            SQObjectPtr args[4] = {k, v, attrs, SQObjectPtr((i.x & 4) != 0)};
            SQObjectPtr dummy, mm = _class(o)->_metamethods[MT_NEWMEMBER];
            if (!CallMetaMethod(mm, o, 4, args, dummy)) THROW();
            RELOAD();
            continue;
          }
          if (!NewSlot(o, k, v, (i.x & 4) != 0)) THROW();
          _class(o)->SetAttributes(k, attrs);
        } else {
          if (!NewSlot(o, k, v, (i.x & 4) != 0)) THROW();
        }
        RELOAD();
        continue;
      }
      case OP_DELETE: lbl_OP_DELETE: {
        SAVE();
        SQObjectPtr o = stk[i.b], k = (i.x & 1) ? K[i.c] : stk[i.c], r;
        if (!DeleteSlot(o, k, r)) THROW();
        RELOAD();
        stk[i.a] = std::move(r);
        continue;
      }
      case OP_ADDI: lbl_OP_ADDI: {
        SQObjectPtr &b = stk[i.b];
        if (b._type == OT_INTEGER) {  // wraps around like every integer sum
          stk[i.a].SetInt((SQInteger)((SQUnsignedInteger)_integer(b) + (SQUnsignedInteger)(SQInteger)(int16_t)i.c));
          continue;
        }
        if (b._type == OT_FLOAT) { stk[i.a].SetFloat(_float(b) + (int16_t)i.c); continue; }
        SAVE();
        // x&1: the instruction stands for a subtraction of the negated constant
        SQObjectPtr x = b, y((SQInteger)(i.x ? -(int16_t)i.c : (int16_t)i.c)), r;
        if (!ArithOp(i.x ? 1 : 0, r, x, y)) THROW();
        RELOAD();
        stk[i.a] = std::move(r);
        continue;
      }
#define ARITH_CASE(OPC_, N, EXPR_I, EXPR_F, CHECK)                                     \
  case OPC_:                                                                            \
  lbl_##OPC_: {                                                                         \
    const SQObjectPtr &b = OPB(i), &c = OPC(i);                                         \
    if (b._type == OT_INTEGER && c._type == OT_INTEGER && CHECK) {                      \
      SQInteger x = _integer(b), y = _integer(c);                                       \
      stk[i.a].SetInt(EXPR_I);                                                          \
      continue;                                                                         \
    }                                                                                   \
    if (b._type == OT_FLOAT && c._type == OT_FLOAT) {                                   \
      SQFloat x = _float(b), y = _float(c);                                             \
      stk[i.a].SetFloat(EXPR_F);                                                        \
      continue;                                                                         \
    }                                                                                   \
    SAVE();                                                                             \
    SQObjectPtr x = b, y = c, r;                                                        \
    if (!ArithOp(N, r, x, y)) THROW();                                                  \
    RELOAD();                                                                           \
    stk[i.a] = std::move(r);                                                            \
    continue;                                                                           \
  }
      ARITH_CASE(OP_ADD, 0, (SQInteger)((SQUnsignedInteger)x + (SQUnsignedInteger)y), x + y, true)
      ARITH_CASE(OP_SUB, 1, (SQInteger)((SQUnsignedInteger)x - (SQUnsignedInteger)y), x - y, true)
      ARITH_CASE(OP_MUL, 2, (SQInteger)((SQUnsignedInteger)x * (SQUnsignedInteger)y), x * y, true)
      ARITH_CASE(OP_DIV, 3, x / y, x / y, (_integer(c) != 0 && _integer(c) != -1))
      ARITH_CASE(OP_MOD, 4, x % y, fmodf(x, y), (_integer(c) != 0 && _integer(c) != -1))
#undef ARITH_CASE
      case OP_BAND: case OP_BOR: case OP_BXOR: case OP_SHL: case OP_SHR: case OP_USHR: lbl_OP_BAND: {
        SAVE();
        SQObjectPtr x = OPB(i), y = OPC(i);
        if (!BitwOp(i.op, stk[i.a], x, y)) THROW();
        continue;
      }
      case OP_EQ: case OP_NE: lbl_OP_EQ: {
        const SQObjectPtr &b = OPB(i), &c = OPC(i);
        bool r = IsEqual(b, c);
        stk[i.a].SetBool(i.op == OP_EQ ? r : !r);
        continue;
      }
      case OP_LT: case OP_LE: case OP_GT: case OP_GE: case OP_CMP3: lbl_OP_LT: {
        const SQObjectPtr &b = OPB(i), &c = OPC(i);
        SQInteger r;
        if (b._type == OT_INTEGER && c._type == OT_INTEGER) {
          r = _integer(b) < _integer(c) ? -1 : (_integer(b) > _integer(c) ? 1 : 0);
        } else {
          SAVE();
          SQObjectPtr x = b, y = c;
          if (!ObjCmp(x, y, r)) THROW();
          RELOAD();
        }
        switch (i.op) {
          case OP_LT: stk[i.a].SetBool(r < 0); break;
          case OP_LE: stk[i.a].SetBool(r <= 0); break;
          case OP_GT: stk[i.a].SetBool(r > 0); break;
          case OP_GE: stk[i.a].SetBool(r >= 0); break;
          default: stk[i.a].SetInt(r); break;
        }
        continue;
      }
      case OP_JCMP: lbl_OP_JCMP: {
        const SQObjectPtr &b = stk[i.a];
        const SQObjectPtr &c = (i.x & 1) ? K[i.b] : stk[i.b];
        bool r;
        if (i.c == OP_EQ || i.c == OP_NE) {
          r = IsEqual(b, c);
          if (i.c == OP_NE) r = !r;
        } else {
          SQInteger cmp;
          if (b._type == OT_INTEGER && c._type == OT_INTEGER) {
            cmp = _integer(b) < _integer(c) ? -1 : (_integer(b) > _integer(c) ? 1 : 0);
          } else {
            SAVE();
            SQObjectPtr x = b, y = c;
            if (!ObjCmp(x, y, cmp)) THROW();
            RELOAD();
          }
          switch (i.c) {
            case OP_LT: r = cmp < 0; break;
            case OP_LE: r = cmp <= 0; break;
            case OP_GT: r = cmp > 0; break;
            default: r = cmp >= 0; break;
          }
        }
        if (r) ip++;  // skip the jump taken when the comparison is false
        continue;
      }
      case OP_IN: lbl_OP_IN: {
        SAVE();
        SQObjectPtr k = stk[i.b], o = stk[i.c];
        bool r;
        if (!In(k, o, r)) THROW();
        RELOAD();
        stk[i.a].SetBool(r);
        continue;
      }
      case OP_INSTANCEOF: lbl_OP_INSTANCEOF: {
        const SQObjectPtr &b = stk[i.b], &c = stk[i.c];
        if (c._type != OT_CLASS) {
          SAVE();
          RaiseError("cannot apply instanceof between a %s and a %s", GetTypeName(b), GetTypeName(c));
          THROW();
        }
        bool r = b._type == OT_INSTANCE && _instance(b)->InstanceOf(_class(c));
        stk[i.a].SetBool(r);
        continue;
      }
      case OP_JMP: lbl_OP_JMP:
        if (i.sbx < 0) WATCHDOG();  // every loop jumps back
        ip += i.sbx;
        continue;
      case OP_JZ: lbl_OP_JZ: if (IsFalse(stk[i.a])) ip += i.sbx; continue;
      case OP_JNZ: lbl_OP_JNZ: if (!IsFalse(stk[i.a])) ip += i.sbx; continue;
      case OP_NOT: lbl_OP_NOT: stk[i.a].SetBool(IsFalse(stk[i.b])); continue;
      case OP_NEG: lbl_OP_NEG: {
        SAVE();
        SQObjectPtr x = stk[i.b], r;
        if (!Negate(r, x)) THROW();
        RELOAD();
        stk[i.a] = std::move(r);
        continue;
      }
      case OP_BNOT: lbl_OP_BNOT:
        if (stk[i.b]._type != OT_INTEGER) {
          SAVE();
          RaiseError("attempt to perform a bitwise op on a %s", GetTypeName(stk[i.b]));
          THROW();
        }
        stk[i.a].SetInt(~_integer(stk[i.b]));
        continue;
      case OP_TYPEOF: lbl_OP_TYPEOF: {
        SAVE();
        SQObjectPtr x = stk[i.b], r;
        if (!TypeOf(x, r)) THROW();
        RELOAD();
        stk[i.a] = std::move(r);
        continue;
      }
      case OP_CLONE: lbl_OP_CLONE: {
        SAVE();
        SQObjectPtr x = stk[i.b], r;
        if (!Clone(x, r)) THROW();
        RELOAD();
        stk[i.a] = std::move(r);
        continue;
      }
      case OP_CALL: lbl_OP_CALL: {
        SAVE();
        SQInteger nargs = i.b;
        SQInteger base = ci->base + i.a + 1;
        SQInteger target = i.c == NO_TARGET ? -1 : ci->base + i.c;
        if (stk[i.a]._type == OT_CLOSURE) {
          // The common case without a copy of the callee: its slot lies
          // below the arguments, so it holds the closure until the new
          // frame takes its own reference.
          if (!StartCall(_closure(stk[i.a]), target, nargs, base, false)) {
            RELOAD();
            if (g_gencreated) {
              if (target >= 0) _stack[target] = std::move(_suspendvalue);
              _suspendvalue.Null();
              continue;
            }
            THROW();
          }
          ENTER_FRAME();
          WATCHDOG();  // recursion without loops
          continue;
        }
        SQObjectPtr fn = stk[i.a];
      dispatch_call:
        switch (fn._type) {
          case OT_CLOSURE: {
            if (!StartCall(_closure(fn), target, nargs, base, false)) {
              if (g_gencreated) {
                RELOAD();
                if (target >= 0) _stack[target] = std::move(_suspendvalue);
                _suspendvalue.Null();
                continue;
              }
              RELOAD();
              THROW();
            }
            ENTER_FRAME();
            WATCHDOG();  // recursion without loops
            continue;
          }
          case OT_NATIVECLOSURE: {
            SQObjectPtr ret;
            bool suspend;
            bool ok = CallNative(_nativeclosure(fn), nargs, base, ret, suspend);
            RELOAD();
            if (!ok) THROW();
            if (suspend) {
              if (_nestedexec > 1 || _nnativecalls > 0) {
                RaiseError("cannot suspend through native calls");
                THROW();
              }
              _suspended = 1;
              _suspend_target = target;
              outres = ret;
              return true;
            }
            if (target >= 0) _stack[target] = std::move(ret);
            continue;
          }
          case OT_CLASS: {
            SQObjectPtr inst, ctor;
            if (!CreateClassInstance(_class(fn), inst, ctor)) THROW();
            _stack[base] = inst;
            if (target >= 0) _stack[target] = inst;
            if (ctor._type == OT_CLOSURE) {
              if (!StartCall(_closure(ctor), -1, nargs, base, false)) { RELOAD(); THROW(); }
              ENTER_FRAME();
              continue;
            } else if (ctor._type == OT_NATIVECLOSURE) {
              SQObjectPtr ret;
              bool suspend;
              bool ok = CallNative(_nativeclosure(ctor), nargs, base, ret, suspend);
              RELOAD();
              if (!ok) THROW();
              if (target >= 0) _stack[target] = inst;
            } else {
              for (SQInteger n = 1; n < nargs; n++) _stack[base + n].Null();
            }
            continue;
          }
          case OT_INSTANCE: case OT_TABLE: case OT_USERDATA: {
            SQObjectPtr mm;
            if (GetMeta(fn, MT_CALL, mm)) {
              GrowStack(base + nargs + 2);
              RELOAD();
              for (SQInteger n = base + nargs; n > base; n--) _stack[n] = std::move(_stack[n - 1]);
              _stack[base] = fn;
              nargs++;
              if (_top < base + nargs) _top = base + nargs;
              fn = mm;
              goto dispatch_call;
            }
          }
          [[fallthrough]];
          default:
            RaiseError("attempt to call '%s'", GetTypeName(fn));
            THROW();
        }
      }
      case OP_RETURN: lbl_OP_RETURN: {
        SQObjectPtr res;
        // The frame's slots are cleared on the way out, so the result can be
        // moved out of its slot, unless an open outer is still to read it.
        if (i.x) {
          if (_openouters) res = stk[i.a];
          else res = std::move(stk[i.a]);
        }
        bool root = ci->root;
        SQInteger target = ci->target;
        if (ci->generator) ci->generator->_state = SQGenerator::eDead;
        LeaveFrame();
        if (root) {
          outres = std::move(res);
          return true;
        }
        if (target >= 0) _stack[target] = std::move(res);
        ENTER_FRAME();
        continue;
      }
      case OP_YIELD: lbl_OP_YIELD: {
        SQGenerator *g = ci->generator;
        if (!g) {
          SAVE();
          RaiseError("internal error: yield outside of a generator");
          THROW();
        }
        SQObjectPtr res;
        if (i.x) res = stk[i.a];
        SQFunctionProto *p = cl->Proto();
        if (_openouters) CloseOuters(ci->base);
        g->_stack.resize(p->_stacksize);
        for (SQInteger n = 0; n < p->_stacksize; n++) g->_stack[n] = std::move(stk[n]);
        g->_ip = (ip - p->_code.data());
        SQInteger fi = (SQInteger)_frames.size() - 1;
        SQInteger first = (SQInteger)_traps.size();
        while (first > 0 && _traps[first - 1].frame == fi) first--;
        g->_traps.assign(_traps.begin() + first, _traps.end());
        _traps.resize(first);
        g->_state = SQGenerator::eSuspended;
        LeaveFrame();
        outres = std::move(res);
        return true;
      }
      case OP_RESUME: lbl_OP_RESUME: {
        SAVE();
        SQObjectPtr gobj = stk[i.b];
        if (gobj._type != OT_GENERATOR) {
          RaiseError("trying to resume a '%s',only generators can be resumed", GetTypeName(gobj));
          THROW();
        }
        SQObjectPtr r;
        if (!ResumeGenerator(_generator(gobj), r)) { RELOAD(); THROW(); }
        RELOAD();
        stk[i.a] = std::move(r);
        continue;
      }
      case OP_NEWTABLE: lbl_OP_NEWTABLE: stk[i.a] = SQObjectPtr(SQTable::Create(_sharedstate, i.b)); continue;
      case OP_NEWARRAY: lbl_OP_NEWARRAY: {
        SQArray *a = SQArray::Create(_sharedstate, 0);
        a->_values.reserve(i.b);
        stk[i.a] = SQObjectPtr(a);
        continue;
      }
      case OP_APPEND: lbl_OP_APPEND: _array(stk[i.a])->_values.push_back((i.x & 1) ? K[i.b] : stk[i.b]); continue;
      case OP_CLOSURE: lbl_OP_CLOSURE: {
        SQFunctionProto *fp = _funcproto(cl->Proto()->_functions[i.b]);
        SQClosure *nc = new SQClosure(_sharedstate, fp);
        SQObjectPtr hold(nc);
        nc->_outervalues.reserve(fp->_outers.size());
        for (auto &ov : fp->_outers) {
          if (ov.fromlocal) nc->_outervalues.push_back(SQObjectPtr(FindOuter(ci->base + ov.index)));
          else nc->_outervalues.push_back(cl->_outervalues[ov.index]);
        }
        for (SQInteger s : fp->_defaultparams) nc->_defaultparams.push_back(stk[s]);
        stk[i.a] = std::move(hold);
        continue;
      }
      case OP_NEWCLASS: lbl_OP_NEWCLASS: {
        SAVE();
        SQClass *base = nullptr;
        if (i.b != NO_TARGET) {
          if (stk[i.b]._type != OT_CLASS) {
            RaiseError("trying to inherit from a %s", GetTypeName(stk[i.b]));
            THROW();
          }
          base = _class(stk[i.b]);
        }
        SQClass *c = new SQClass(_sharedstate, base);
        SQObjectPtr cobj(c);
        if (i.c != NO_TARGET) c->_attributes = stk[i.c];
        if (base && base->_metamethods[MT_INHERITED]._type != OT_NULL) {
          SQObjectPtr mm = base->_metamethods[MT_INHERITED], dummy, bobj(base);
          if (!CallMetaMethod(mm, bobj, 1, &cobj, dummy)) THROW();
          RELOAD();
        }
        stk[i.a] = std::move(cobj);
        continue;
      }
      case OP_GETBASE: lbl_OP_GETBASE:
        stk[i.a] = cl->_base;
        continue;
      case OP_FOREACH: lbl_OP_FOREACH: {
        const SQObjectPtr &c = stk[i.a];
        if (c._type == OT_ARRAY) {  // fast path
          SQObjectPtr &it = stk[i.a + 1];
          SQInteger idx = it._type == OT_INTEGER ? _integer(it) : 0;
          SQArray *a = _array(c);
          if (idx >= a->Size()) { ip += i.sbx; continue; }
          stk[i.a + 2].SetInt(idx);
          stk[i.a + 3] = a->_values[idx];
          it.SetInt(idx + 1);
          continue;
        }
        SAVE();
        SQObjectPtr o = c, it = stk[i.a + 1], k, v;
        bool done;
        if (!FOREACH_Next(o, it, k, v, done)) { RELOAD(); THROW(); }
        RELOAD();
        if (done) { ip += i.sbx; continue; }
        stk[i.a + 1] = std::move(it);
        stk[i.a + 2] = std::move(k);
        stk[i.a + 3] = std::move(v);
        continue;
      }
      case OP_PUSHTRAP: lbl_OP_PUSHTRAP: {
        SQExceptionTrap t;
        t.frame = (SQInteger)_frames.size() - 1;
        t.stackbase = 0;
        t.catchip = (ip - cl->Proto()->_code.data()) + i.sbx;
        t.target = i.a;
        _traps.push_back(t);
        continue;
      }
      case OP_POPTRAP: lbl_OP_POPTRAP:
        for (int n = 0; n < i.b && !_traps.empty(); n++) _traps.pop_back();
        continue;
      case OP_THROW: lbl_OP_THROW:
        SAVE();
        _lasterror = stk[i.a];
        _errorhandled = false;
        THROW();
      case OP_CLOSE: lbl_OP_CLOSE:
        if (_openouters) CloseOuters(ci->base + i.a);
        continue;
      default:
      lbl_default:
        SAVE();
        RaiseError("invalid opcode %d", (int)i.op);
        THROW();
    }
  exception: {
    // A trap in this dispatch loop's frames catches it; otherwise report and unwind.
    // A call stopped by the watchdog unwinds through every try.
    bool timedout = _sharedstate->_timedout;
    bool caught = !timedout && !_traps.empty() && _traps.back().frame >= entrydepth - 1;
    if (!caught && raiseerror && (_traps.empty() || timedout) && !_errorhandled) CallErrorHandler(_lasterror);
    if (!caught) {
      while ((SQInteger)_frames.size() >= entrydepth) LeaveFrame();
      return false;
    }
    SQExceptionTrap t = _traps.back();
    _traps.pop_back();
    while ((SQInteger)_frames.size() - 1 > t.frame) LeaveFrame();
    ENTER_FRAME();
    if (_openouters) CloseOuters(ci->base + t.target);
    ip = cl->Proto()->_code.data() + t.catchip;
    stk[t.target] = _lasterror;
    _errorhandled = false;
    continue;
  }
  }
}
