// The public C API on top of the VM.
#include "sqpcheader.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <algorithm>

#define STK(idx) (v->StackGet(idx))

static SQRESULT sq_err(HSQUIRRELVM v, const char *msg) {
  v->RaiseError("%s", msg);
  return SQ_ERROR;
}

SQRESULT sq_aux_invalidtype(HSQUIRRELVM v, SQObjectType type) {
  v->RaiseError("unexpected type %s", GetTypeName(type));
  return SQ_ERROR;
}

static bool ValidIdx(HSQUIRRELVM v, SQInteger idx) {
  SQInteger a = v->AbsIdx(idx);
  return a >= v->_stackbase && a < v->_top;
}

#define CHECK_IDX(idx) \
  if (!ValidIdx(v, idx)) return sq_err(v, "invalid stack index")
#define CHECK_TYPE(o, t) \
  if ((o)._type != (t)) return sq_aux_invalidtype(v, (o)._type)

// ---------------------------------------------------------------- vm
static void DefaultPrint(HSQUIRRELVM, const SQChar *s, ...) {
  va_list ap;
  va_start(ap, s);
  vprintf(s, ap);
  va_end(ap);
}

HSQUIRRELVM sq_open(SQInteger initialstacksize) {
  SQSharedState *ss = new SQSharedState();
  SQVM *v = new SQVM(ss);
  v->_uiRef++;
  v->_mainvm = true;
  ss->Init(v);
  v->GrowStack(initialstacksize > 64 ? initialstacksize : 64);
  v->_roottable = SQObjectPtr(SQTable::Create(ss));
  (void)DefaultPrint;
  sq_register_baselib(v);
  return v;
}

HSQUIRRELVM sq_newthread(HSQUIRRELVM friendvm, SQInteger initialstacksize) {
  SQSharedState *ss = friendvm->SS();
  SQVM *v = new SQVM(ss);
  v->GrowStack(initialstacksize > 64 ? initialstacksize : 64);
  v->_roottable = friendvm->_roottable;
  v->_errorhandler = friendvm->_errorhandler;
  v->_foreignptr = friendvm->_foreignptr;
  friendvm->Push(SQObjectPtr(v));
  return v;
}

void sq_seterrorhandler(HSQUIRRELVM v) {
  SQObjectPtr &o = STK(-1);
  if (o._type == OT_CLOSURE || o._type == OT_NATIVECLOSURE || o._type == OT_NULL) v->_errorhandler = o;
  v->Pop();
}

void sq_setdebughook(HSQUIRRELVM v) {
  SQObjectPtr &o = STK(-1);
  if (o._type == OT_CLOSURE || o._type == OT_NATIVECLOSURE || o._type == OT_NULL) v->_debughook = o;
  v->Pop();
}

void sq_setcalltimelimit(HSQUIRRELVM v, SQFloat seconds) {
  double s = seconds > 1e9 ? 1e9 : (double)seconds;  // beyond 30 years means no practical limit
  v->SS()->_timelimit_ns = s > 0 ? (int64_t)(s * 1e9) : 0;
}

SQFloat sq_getcalltimelimit(HSQUIRRELVM v) { return (SQFloat)((double)v->SS()->_timelimit_ns * 1e-9); }
SQBool sq_calltimedout(HSQUIRRELVM v) { return v->SS()->_timedout ? SQTrue : SQFalse; }

void sq_close(HSQUIRRELVM v) {
  SQSharedState *ss = v->SS();
  SQVM *root = ss->_rootvm;
  while (root->_top > 0) root->Pop();
  ss->Finish();
  // Anything still alive was held from outside (a leaked reference); detach it.
  for (SQCollectable *c = ss->_gclist; c; c = c->_gcnext)
    if (c != root) c->_sharedstate = nullptr;
  SQCollectable *c = ss->_gclist;
  ss->_gclist = nullptr;
  while (c) { SQCollectable *n = c->_gcnext; c->_gcnext = c->_gcprev = nullptr; c = n; }
  root->_sharedstate = nullptr;
  delete root;
  delete ss;
}

void sq_setforeignptr(HSQUIRRELVM v, SQUserPointer p) { v->_foreignptr = p; }
SQUserPointer sq_getforeignptr(HSQUIRRELVM v) { return v->_foreignptr; }
void sq_setprintfunc(HSQUIRRELVM v, SQPRINTFUNCTION printfunc, SQPRINTFUNCTION errfunc) {
  v->SS()->_printfunc = printfunc;
  v->SS()->_errorfunc = errfunc;
}
SQPRINTFUNCTION sq_getprintfunc(HSQUIRRELVM v) { return v->SS()->_printfunc; }
SQPRINTFUNCTION sq_geterrorfunc(HSQUIRRELVM v) { return v->SS()->_errorfunc; }

SQRESULT sq_suspendvm(HSQUIRRELVM v) {
  (void)v;
  return SQ_SUSPEND_FLAG;
}

SQRESULT sq_wakeupvm(HSQUIRRELVM v, SQBool resumedret, SQBool retval, SQBool raiseerror, SQBool throwerror) {
  if (!v->_suspended) return sq_err(v, "cannot resume a vm that is not running any code");
  SQObjectPtr val;
  if (resumedret) {
    val = v->Top();
    v->Pop();
  }
  SQObjectPtr ret;
  bool ok;
  SQHostCall hostcall(v->SS());
  if (throwerror) {
    // resume by raising the last error inside the suspended code
    v->_suspended = 0;
    SQObjectPtr err = v->_lasterror;
    while (!v->_frames.empty()) v->LeaveFrame();
    v->_lasterror = err;
    ok = false;
  } else {
    ok = v->WakeUp(val, resumedret != 0, ret, raiseerror != 0);
  }
  if (!ok) return SQ_ERROR;
  if (retval) v->Push(ret);
  return SQ_OK;
}

SQInteger sq_getvmstate(HSQUIRRELVM v) {
  if (v->_suspended) return SQ_VMSTATE_SUSPENDED;
  return v->_frames.empty() ? SQ_VMSTATE_IDLE : SQ_VMSTATE_RUNNING;
}

SQInteger sq_getversion(void) { return SQUIRREL_VERSION_NUMBER; }

// ---------------------------------------------------------------- compiler
SQRESULT sq_compile(HSQUIRRELVM v, SQLEXREADFUNC read, SQUserPointer p, const SQChar *sourcename,
                    SQBool raiseerror) {
  std::string src;
  for (;;) {
    SQInteger c = read(p);
    if (c == 0) break;
    src.push_back((char)c);
  }
  return sq_compilebuffer(v, src.data(), (SQInteger)src.size(), sourcename, raiseerror);
}

SQRESULT sq_compilebuffer(HSQUIRRELVM v, const SQChar *s, SQInteger size, const SQChar *sourcename,
                          SQBool raiseerror) {
  SQObjectPtr proto;
  if (!sq_compile_source(v, s, size, sourcename, raiseerror != 0, proto)) return SQ_ERROR;
  SQClosure *c = new SQClosure(v->SS(), _funcproto(proto));
  v->Push(SQObjectPtr(c));
  return SQ_OK;
}

void sq_enabledebuginfo(HSQUIRRELVM v, SQBool enable) { v->SS()->_debuginfo = enable != 0; }
void sq_notifyallexceptions(HSQUIRRELVM v, SQBool enable) { v->SS()->_notifyallexceptions = enable != 0; }
void sq_setcompilererrorhandler(HSQUIRRELVM v, SQCOMPILERERROR f) { v->SS()->_compilererrorhandler = f; }

// ---------------------------------------------------------------- stack
void sq_push(HSQUIRRELVM v, SQInteger idx) {
  SQObjectPtr o = STK(idx);
  v->Push(o);
}
void sq_pop(HSQUIRRELVM v, SQInteger n) {
  while (n-- > 0 && v->_top > v->_stackbase) v->Pop();
}
void sq_poptop(HSQUIRRELVM v) {
  if (v->_top > v->_stackbase) v->Pop();
}
void sq_remove(HSQUIRRELVM v, SQInteger idx) {
  if (!ValidIdx(v, idx)) return;
  v->Remove(v->AbsIdx(idx));
}
SQInteger sq_gettop(HSQUIRRELVM v) { return v->_top - v->_stackbase; }
void sq_settop(HSQUIRRELVM v, SQInteger newtop) {
  if (newtop < 0) newtop = 0;
  SQInteger t = v->_stackbase + newtop;
  if (t > v->_top) {
    v->GrowStack(t);
    v->_top = t;
  } else {
    while (v->_top > t) v->Pop();
  }
}
SQRESULT sq_reservestack(HSQUIRRELVM v, SQInteger nsize) {
  v->GrowStack(v->_top + nsize);
  return SQ_OK;
}
SQInteger sq_cmp(HSQUIRRELVM v) {
  SQInteger r = 0;
  SQObjectPtr a = STK(-2), b = STK(-1);
  v->ObjCmp(a, b, r);
  return r;
}
void sq_move(HSQUIRRELVM dest, HSQUIRRELVM src, SQInteger idx) {
  SQObjectPtr o = src->StackGet(idx);
  dest->Push(o);
}

// ---------------------------------------------------------------- creation
SQUserPointer sq_newuserdata(HSQUIRRELVM v, SQUnsignedInteger size) {
  SQUserData *ud = new SQUserData(v->SS(), (SQInteger)size);
  v->Push(SQObjectPtr(ud));
  return ud->_data;
}
void sq_newtable(HSQUIRRELVM v) { v->Push(SQObjectPtr(SQTable::Create(v->SS()))); }
void sq_newtableex(HSQUIRRELVM v, SQInteger cap) { v->Push(SQObjectPtr(SQTable::Create(v->SS(), cap))); }
void sq_newarray(HSQUIRRELVM v, SQInteger size) {
  v->Push(SQObjectPtr(SQArray::Create(v->SS(), size < 0 ? 0 : size)));
}

void sq_newclosure(HSQUIRRELVM v, SQFUNCTION func, SQUnsignedInteger nfreevars) {
  SQNativeClosure *nc = new SQNativeClosure(v->SS(), func);
  SQObjectPtr hold(nc);
  for (SQUnsignedInteger i = 0; i < nfreevars; i++) nc->_outervalues.push_back(STK(-(SQInteger)nfreevars + (SQInteger)i));
  v->Pop((SQInteger)nfreevars);
  v->Push(hold);
}

SQRESULT sq_setparamscheck(HSQUIRRELVM v, SQInteger nparamscheck, const SQChar *typemask) {
  SQObjectPtr &o = STK(-1);
  if (o._type != OT_NATIVECLOSURE) return sq_err(v, "native closure expected");
  SQNativeClosure *nc = _nativeclosure(o);
  nc->_nparamscheck = nparamscheck;
  nc->_typecheck.clear();
  if (typemask) {
    std::vector<SQInteger> res;
    if (sq_compile_typemask(typemask, res) < 0) return sq_err(v, "invalid typemask");
    nc->_typecheck = res;
  }
  if (nparamscheck == SQ_MATCHTYPEMASKSTRING) nc->_nparamscheck = (SQInteger)nc->_typecheck.size();
  return SQ_OK;
}

SQRESULT sq_bindenv(HSQUIRRELVM v, SQInteger idx) {
  SQObjectPtr &o = STK(idx);
  SQObjectPtr env = STK(-1);
  if (o._type != OT_CLOSURE && o._type != OT_NATIVECLOSURE) return sq_err(v, "the target is not a closure");
  if (env._type != OT_TABLE && env._type != OT_CLASS && env._type != OT_INSTANCE)
    return sq_err(v, "invalid environment");
  SQObjectPtr w(_refcounted(env)->GetWeakRef(env._type));
  SQObjectPtr res;
  if (o._type == OT_CLOSURE) {
    SQClosure *c = _closure(o)->Clone();
    c->_env = w;
    res = SQObjectPtr(c);
  } else {
    SQNativeClosure *c = _nativeclosure(o)->Clone();
    c->_env = w;
    res = SQObjectPtr(c);
  }
  v->Pop();
  v->Push(res);
  return SQ_OK;
}

void sq_pushstring(HSQUIRRELVM v, const SQChar *s, SQInteger len) {
  if (!s) { v->PushNull(); return; }
  v->Push(SQObjectPtr(SQStr(v->SS(), s, len)));
}
void sq_pushfloat(HSQUIRRELVM v, SQFloat f) { v->Push(SQObjectPtr(f)); }
void sq_pushinteger(HSQUIRRELVM v, SQInteger n) { v->Push(SQObjectPtr(n)); }
void sq_pushbool(HSQUIRRELVM v, SQBool b) { v->Push(SQObjectPtr(b != 0)); }
void sq_pushuserpointer(HSQUIRRELVM v, SQUserPointer p) { v->Push(SQObjectPtr(p)); }
void sq_pushnull(HSQUIRRELVM v) { v->PushNull(); }

SQObjectType sq_gettype(HSQUIRRELVM v, SQInteger idx) {
  if (!ValidIdx(v, idx)) return OT_NULL;
  return STK(idx)._type;
}

SQRESULT sq_typeof(HSQUIRRELVM v, SQInteger idx) {
  SQObjectPtr o = STK(idx), res;
  if (!v->TypeOf(o, res)) return SQ_ERROR;
  v->Push(res);
  return SQ_OK;
}

SQInteger sq_getsize(HSQUIRRELVM v, SQInteger idx) {
  SQObjectPtr &o = STK(idx);
  switch (o._type) {
    case OT_STRING: return _string(o)->_len;
    case OT_TABLE: return _table(o)->CountUsed();
    case OT_ARRAY: return _array(o)->Size();
    case OT_USERDATA: return _userdata(o)->_size;
    case OT_INSTANCE: return _instance(o)->_class->_udsize;
    case OT_CLASS: return _class(o)->_udsize;
    default: return sq_aux_invalidtype(v, o._type);
  }
}

SQHash sq_gethash(HSQUIRRELVM v, SQInteger idx) { return HashObj(STK(idx)); }

SQRESULT sq_getbase(HSQUIRRELVM v, SQInteger idx) {
  SQObjectPtr &o = STK(idx);
  CHECK_TYPE(o, OT_CLASS);
  if (_class(o)->_base) v->Push(SQObjectPtr(_class(o)->_base));
  else v->PushNull();
  return SQ_OK;
}

SQBool sq_instanceof(HSQUIRRELVM v) {
  SQObjectPtr &inst = STK(-2), &cl = STK(-1);
  if (inst._type != OT_INSTANCE || cl._type != OT_CLASS) return SQFalse;
  return _instance(inst)->InstanceOf(_class(cl)) ? SQTrue : SQFalse;
}

SQRESULT sq_tostring(HSQUIRRELVM v, SQInteger idx) {
  SQObjectPtr o = STK(idx), res;
  if (!v->ToString(o, res)) return SQ_ERROR;
  v->Push(res);
  return SQ_OK;
}

void sq_tobool(HSQUIRRELVM v, SQInteger idx, SQBool *b) { *b = IsFalse(STK(idx)) ? SQFalse : SQTrue; }

SQRESULT sq_getstring(HSQUIRRELVM v, SQInteger idx, const SQChar **c) {
  CHECK_IDX(idx);
  SQObjectPtr &o = STK(idx);
  CHECK_TYPE(o, OT_STRING);
  *c = _string(o)->_val;
  return SQ_OK;
}

SQRESULT sq_getinteger(HSQUIRRELVM v, SQInteger idx, SQInteger *i) {
  CHECK_IDX(idx);
  SQObjectPtr &o = STK(idx);
  if (o._type & SQOBJECT_NUMERIC) { *i = tointeger(o); return SQ_OK; }
  if (o._type == OT_BOOL) { *i = _integer(o); return SQ_OK; }
  return sq_aux_invalidtype(v, o._type);
}

SQRESULT sq_getfloat(HSQUIRRELVM v, SQInteger idx, SQFloat *f) {
  CHECK_IDX(idx);
  SQObjectPtr &o = STK(idx);
  if (o._type & SQOBJECT_NUMERIC) { *f = tofloat(o); return SQ_OK; }
  return sq_aux_invalidtype(v, o._type);
}

SQRESULT sq_getbool(HSQUIRRELVM v, SQInteger idx, SQBool *b) {
  CHECK_IDX(idx);
  SQObjectPtr &o = STK(idx);
  CHECK_TYPE(o, OT_BOOL);
  *b = _integer(o) ? SQTrue : SQFalse;
  return SQ_OK;
}

SQRESULT sq_getthread(HSQUIRRELVM v, SQInteger idx, HSQUIRRELVM *thread) {
  CHECK_IDX(idx);
  SQObjectPtr &o = STK(idx);
  CHECK_TYPE(o, OT_THREAD);
  *thread = _thread(o);
  return SQ_OK;
}

SQRESULT sq_getuserpointer(HSQUIRRELVM v, SQInteger idx, SQUserPointer *p) {
  CHECK_IDX(idx);
  SQObjectPtr &o = STK(idx);
  CHECK_TYPE(o, OT_USERPOINTER);
  *p = _userpointer(o);
  return SQ_OK;
}

SQRESULT sq_getuserdata(HSQUIRRELVM v, SQInteger idx, SQUserPointer *p, SQUserPointer *typetag) {
  CHECK_IDX(idx);
  SQObjectPtr &o = STK(idx);
  CHECK_TYPE(o, OT_USERDATA);
  *p = _userdata(o)->_data;
  if (typetag) *typetag = _userdata(o)->_typetag;
  return SQ_OK;
}

SQRESULT sq_settypetag(HSQUIRRELVM v, SQInteger idx, SQUserPointer typetag) {
  SQObjectPtr &o = STK(idx);
  switch (o._type) {
    case OT_USERDATA: _userdata(o)->_typetag = typetag; return SQ_OK;
    case OT_CLASS: _class(o)->_typetag = typetag; return SQ_OK;
    default: return sq_err(v, "invalid object type");
  }
}

SQRESULT sq_getobjtypetag(const HSQOBJECT *o, SQUserPointer *typetag) {
  switch (o->_type) {
    case OT_INSTANCE: *typetag = _instance(*o)->_class->_typetag; return SQ_OK;
    case OT_USERDATA: *typetag = _userdata(*o)->_typetag; return SQ_OK;
    case OT_CLASS: *typetag = _class(*o)->_typetag; return SQ_OK;
    default: return SQ_ERROR;
  }
}

SQRESULT sq_gettypetag(HSQUIRRELVM v, SQInteger idx, SQUserPointer *typetag) {
  SQObjectPtr &o = STK(idx);
  if (SQ_FAILED(sq_getobjtypetag(&o, typetag))) return sq_err(v, "invalid object type");
  return SQ_OK;
}

void sq_setreleasehook(HSQUIRRELVM v, SQInteger idx, SQRELEASEHOOK hook) {
  if (!ValidIdx(v, idx)) return;
  SQObjectPtr &o = STK(idx);
  switch (o._type) {
    case OT_USERDATA: _userdata(o)->_hook = hook; break;
    case OT_INSTANCE: _instance(o)->_hook = hook; break;
    case OT_CLASS: _class(o)->_hook = hook; break;
    default: break;
  }
}

SQChar *sq_getscratchpad(HSQUIRRELVM v, SQInteger minsize) {
  if (minsize < 0) minsize = 0;
  if ((SQInteger)v->_scratch.size() < minsize + 1) v->_scratch.resize(minsize + 1);
  return &v->_scratch[0];
}

static bool FrameAtLevel(HSQUIRRELVM v, SQInteger level, SQCallFrame *&f) {
  SQInteger n = (SQInteger)v->_frames.size();
  if (level < 0 || level >= n) return false;
  f = &v->_frames[n - 1 - level];
  return true;
}

SQRESULT sq_getfunctioninfo(HSQUIRRELVM v, SQInteger level, SQFunctionInfo *fi) {
  SQCallFrame *f;
  if (!FrameAtLevel(v, level, f)) return sq_err(v, "the level doesn't exist");
  if (f->closure._type == OT_CLOSURE) {
    SQFunctionProto *p = _closure(f->closure)->Proto();
    fi->funcid = p;
    fi->name = p->_name._type == OT_STRING ? _string(p->_name)->_val : "unknown";
    fi->source = p->_sourcename._type == OT_STRING ? _string(p->_sourcename)->_val : "unknown";
    return SQ_OK;
  }
  return sq_err(v, "the object is not a closure");
}

SQRESULT sq_getclosureinfo(HSQUIRRELVM v, SQInteger idx, SQUnsignedInteger *nparams, SQUnsignedInteger *nfreevars) {
  SQObjectPtr &o = STK(idx);
  if (o._type == OT_CLOSURE) {
    SQFunctionProto *p = _closure(o)->Proto();
    *nparams = (SQUnsignedInteger)p->_nparams;
    *nfreevars = (SQUnsignedInteger)p->_outers.size();
    return SQ_OK;
  }
  if (o._type == OT_NATIVECLOSURE) {
    *nparams = (SQUnsignedInteger)_nativeclosure(o)->_nparamscheck;
    *nfreevars = (SQUnsignedInteger)_nativeclosure(o)->_outervalues.size();
    return SQ_OK;
  }
  return sq_err(v, "the object is not a closure");
}

SQRESULT sq_setnativeclosurename(HSQUIRRELVM v, SQInteger idx, const SQChar *name) {
  SQObjectPtr &o = STK(idx);
  if (o._type != OT_NATIVECLOSURE) return sq_err(v, "the object is not a nativeclosure");
  _nativeclosure(o)->_name = SQObjectPtr(SQStr(v->SS(), name));
  return SQ_OK;
}

SQRESULT sq_setinstanceup(HSQUIRRELVM v, SQInteger idx, SQUserPointer p) {
  if (!ValidIdx(v, idx)) return sq_err(v, "invalid stack index");
  SQObjectPtr &o = STK(idx);
  if (o._type != OT_INSTANCE) return sq_err(v, "the object is not a class instance");
  _instance(o)->_userpointer = p;
  return SQ_OK;
}

SQRESULT sq_getinstanceup(HSQUIRRELVM v, SQInteger idx, SQUserPointer *p, SQUserPointer typetag) {
  if (!ValidIdx(v, idx)) return sq_err(v, "invalid stack index");
  SQObjectPtr &o = STK(idx);
  if (o._type != OT_INSTANCE) return sq_err(v, "the object is not a class instance");
  SQInstance *inst = _instance(o);
  if (typetag) {
    bool ok = false;
    for (SQClass *c = inst->_class; c; c = c->_base)
      if (c->_typetag == typetag) { ok = true; break; }
    if (!ok) return sq_err(v, "invalid type tag");
  }
  *p = inst->_userpointer;
  return SQ_OK;
}

SQRESULT sq_setclassudsize(HSQUIRRELVM v, SQInteger idx, SQInteger udsize) {
  SQObjectPtr &o = STK(idx);
  CHECK_TYPE(o, OT_CLASS);
  if (_class(o)->_locked) return sq_err(v, "the class is locked");
  _class(o)->_udsize = udsize;
  return SQ_OK;
}

SQRESULT sq_newclass(HSQUIRRELVM v, SQBool hasbase) {
  SQClass *base = nullptr;
  if (hasbase) {
    SQObjectPtr &b = STK(-1);
    if (b._type != OT_CLASS) return sq_err(v, "invalid base type");
    base = _class(b);
  }
  SQObjectPtr c(new SQClass(v->SS(), base));
  if (hasbase) v->Pop();
  v->Push(c);
  return SQ_OK;
}

SQRESULT sq_createinstance(HSQUIRRELVM v, SQInteger idx) {
  SQObjectPtr &o = STK(idx);
  CHECK_TYPE(o, OT_CLASS);
  SQObjectPtr inst(_class(o)->CreateInstance());
  v->Push(inst);
  return SQ_OK;
}

SQRESULT sq_setattributes(HSQUIRRELVM v, SQInteger idx) {
  SQObjectPtr o = STK(idx);
  CHECK_TYPE(o, OT_CLASS);
  SQObjectPtr key = STK(-2), val = STK(-1);
  if (key._type == OT_NULL) {
    SQObjectPtr old = _class(o)->_attributes;
    _class(o)->_attributes = val;
    v->Pop(2);
    v->Push(old);
    return SQ_OK;
  }
  SQObjectPtr old;
  if (!_class(o)->GetAttributes(key, old)) return sq_err(v, "wrong index");
  _class(o)->SetAttributes(key, val);
  v->Pop(2);
  v->Push(old);
  return SQ_OK;
}

SQRESULT sq_getattributes(HSQUIRRELVM v, SQInteger idx) {
  SQObjectPtr o = STK(idx);
  CHECK_TYPE(o, OT_CLASS);
  SQObjectPtr key = STK(-1);
  SQObjectPtr res;
  if (key._type == OT_NULL) res = _class(o)->_attributes;
  else if (!_class(o)->GetAttributes(key, res)) return sq_err(v, "wrong index");
  v->Pop();
  v->Push(res);
  return SQ_OK;
}

SQRESULT sq_getclass(HSQUIRRELVM v, SQInteger idx) {
  SQObjectPtr &o = STK(idx);
  CHECK_TYPE(o, OT_INSTANCE);
  SQObjectPtr c = _instance(o)->_classobj;
  v->Push(c);
  return SQ_OK;
}

void sq_weakref(HSQUIRRELVM v, SQInteger idx) {
  SQObjectPtr o = STK(idx);
  if (ISREFCOUNTED(o._type) && o._type != OT_WEAKREF) {
    v->Push(SQObjectPtr(_refcounted(o)->GetWeakRef(o._type)));
    return;
  }
  v->Push(o);
}

SQRESULT sq_getdefaultdelegate(HSQUIRRELVM v, SQObjectType t) {
  SQSharedState *ss = v->SS();
  switch (t) {
    case OT_TABLE: v->Push(ss->_table_delegate); break;
    case OT_ARRAY: v->Push(ss->_array_delegate); break;
    case OT_STRING: v->Push(ss->_string_delegate); break;
    case OT_INTEGER: case OT_FLOAT: v->Push(ss->_number_delegate); break;
    case OT_GENERATOR: v->Push(ss->_generator_delegate); break;
    case OT_CLOSURE: case OT_NATIVECLOSURE: v->Push(ss->_closure_delegate); break;
    case OT_THREAD: v->Push(ss->_thread_delegate); break;
    case OT_CLASS: v->Push(ss->_class_delegate); break;
    case OT_INSTANCE: v->Push(ss->_instance_delegate); break;
    case OT_WEAKREF: v->Push(ss->_weakref_delegate); break;
    default: return sq_err(v, "the type doesn't have a default delegate");
  }
  return SQ_OK;
}

// ---------------------------------------------------------------- object manipulation
void sq_pushroottable(HSQUIRRELVM v) { v->Push(v->_roottable); }
void sq_pushregistrytable(HSQUIRRELVM v) { v->Push(v->SS()->_registry); }
void sq_pushconsttable(HSQUIRRELVM v) { v->Push(v->SS()->_consts); }

SQRESULT sq_setroottable(HSQUIRRELVM v) {
  SQObjectPtr o = STK(-1);
  if (o._type != OT_TABLE && o._type != OT_NULL) return sq_err(v, "ivalid type");
  v->_roottable = o;
  v->Pop();
  return SQ_OK;
}

SQRESULT sq_setconsttable(HSQUIRRELVM v) {
  SQObjectPtr o = STK(-1);
  if (o._type != OT_TABLE) return sq_err(v, "ivalid type, expected table");
  v->SS()->_consts = o;
  v->Pop();
  return SQ_OK;
}

SQRESULT sq_newslot(HSQUIRRELVM v, SQInteger idx, SQBool bstatic) {
  if (sq_gettop(v) < 3) return sq_err(v, "not enough params in the stack");
  SQObjectPtr self = STK(idx);
  if (self._type != OT_TABLE && self._type != OT_CLASS) return sq_err(v, "invalid param type");
  SQObjectPtr key = STK(-2), val = STK(-1);
  if (key._type == OT_NULL) return sq_err(v, "null is not a valid key");
  if (!v->NewSlot(self, key, val, bstatic != 0)) return SQ_ERROR;
  v->Pop(2);
  return SQ_OK;
}

SQRESULT sq_deleteslot(HSQUIRRELVM v, SQInteger idx, SQBool pushval) {
  SQObjectPtr self = STK(idx);
  if (self._type != OT_TABLE) return sq_err(v, "invalid param type");
  SQObjectPtr key = STK(-1), res;
  if (key._type == OT_NULL) return sq_err(v, "null is not a valid key");
  if (!v->DeleteSlot(self, key, res)) return SQ_ERROR;
  v->Pop();
  if (pushval) v->Push(res);
  return SQ_OK;
}

SQRESULT sq_set(HSQUIRRELVM v, SQInteger idx) {
  SQObjectPtr self = STK(idx), key = STK(-2), val = STK(-1);
  if (!v->Set(self, key, val)) return SQ_ERROR;
  v->Pop(2);
  return SQ_OK;
}

SQRESULT sq_get(HSQUIRRELVM v, SQInteger idx) {
  SQObjectPtr self = STK(idx), key = STK(-1), res;
  if (!v->Get(self, key, res, false)) {
    v->Pop();
    return SQ_ERROR;
  }
  v->Pop();
  v->Push(res);
  return SQ_OK;
}

SQRESULT sq_rawget(HSQUIRRELVM v, SQInteger idx) {
  SQObjectPtr self = STK(idx), key = STK(-1), res;
  bool ok = false;
  switch (self._type) {
    case OT_TABLE: ok = _table(self)->Get(key, res); break;
    case OT_CLASS: ok = _class(self)->Get(key, res); break;
    case OT_INSTANCE: ok = _instance(self)->Get(key, res); break;
    case OT_ARRAY:
      if (key._type & SQOBJECT_NUMERIC) ok = _array(self)->Get(tointeger(key), res);
      break;
    default:
      v->Pop();
      return sq_err(v, "rawget works only on array/table/instance and class");
  }
  v->Pop();
  if (!ok) {
    v->Raise_IdxError(key);
    return SQ_ERROR;
  }
  v->Push(res);
  return SQ_OK;
}

SQRESULT sq_rawset(HSQUIRRELVM v, SQInteger idx) {
  SQObjectPtr self = STK(idx), key = STK(-2), val = STK(-1);
  if (key._type == OT_NULL) {
    v->Pop(2);
    return sq_err(v, "null key");
  }
  switch (self._type) {
    case OT_TABLE: _table(self)->NewSlot(key, val); v->Pop(2); return SQ_OK;
    case OT_CLASS:
      if (!v->NewSlot(self, key, val, false, true)) { v->Pop(2); return SQ_ERROR; }
      v->Pop(2);
      return SQ_OK;
    case OT_INSTANCE:
      if (_instance(self)->Set(key, val)) { v->Pop(2); return SQ_OK; }
      break;
    case OT_ARRAY:
      if ((key._type & SQOBJECT_NUMERIC) && _array(self)->Set(tointeger(key), val)) { v->Pop(2); return SQ_OK; }
      break;
    default:
      v->Pop(2);
      return sq_err(v, "rawset works only on array/table/class and instance");
  }
  v->Pop(2);
  v->Raise_IdxError(key);
  return SQ_ERROR;
}

SQRESULT sq_rawdeleteslot(HSQUIRRELVM v, SQInteger idx, SQBool pushval) {
  SQObjectPtr self = STK(idx);
  if (self._type != OT_TABLE) return sq_err(v, "invalid param type");
  SQObjectPtr key = STK(-1), res;
  if (!v->DeleteSlot(self, key, res, true)) return SQ_ERROR;
  v->Pop();
  if (pushval) v->Push(res);
  return SQ_OK;
}

SQRESULT sq_arrayappend(HSQUIRRELVM v, SQInteger idx) {
  SQObjectPtr &a = STK(idx);
  CHECK_TYPE(a, OT_ARRAY);
  if (!v->CheckSize(_array(a)->Size() + 1, SQ_MAX_ARRAY_SIZE, "an array")) return SQ_ERROR;
  _array(a)->_values.push_back(STK(-1));
  v->Pop();
  return SQ_OK;
}

SQRESULT sq_arraypop(HSQUIRRELVM v, SQInteger idx, SQBool pushval) {
  SQObjectPtr a = STK(idx);
  CHECK_TYPE(a, OT_ARRAY);
  auto &vals = _array(a)->_values;
  if (vals.empty()) return sq_err(v, "empty array");
  SQObjectPtr last = vals.back();
  vals.pop_back();
  if (pushval) v->Push(last);
  return SQ_OK;
}

SQRESULT sq_arrayresize(HSQUIRRELVM v, SQInteger idx, SQInteger newsize) {
  SQObjectPtr &a = STK(idx);
  CHECK_TYPE(a, OT_ARRAY);
  if (newsize < 0) return sq_err(v, "negative size");
  if (!v->CheckSize(newsize, SQ_MAX_ARRAY_SIZE, "an array")) return SQ_ERROR;
  _array(a)->_values.resize(newsize);
  return SQ_OK;
}

SQRESULT sq_arrayreverse(HSQUIRRELVM v, SQInteger idx) {
  SQObjectPtr &a = STK(idx);
  CHECK_TYPE(a, OT_ARRAY);
  auto &vals = _array(a)->_values;
  for (size_t i = 0, j = vals.size(); i + 1 < j; i++, j--) std::swap(vals[i], vals[j - 1]);
  return SQ_OK;
}

SQRESULT sq_arrayremove(HSQUIRRELVM v, SQInteger idx, SQInteger itemidx) {
  SQObjectPtr &a = STK(idx);
  CHECK_TYPE(a, OT_ARRAY);
  auto &vals = _array(a)->_values;
  if (itemidx < 0 || itemidx >= (SQInteger)vals.size()) return sq_err(v, "index out of range");
  vals.erase(vals.begin() + itemidx);
  return SQ_OK;
}

SQRESULT sq_arrayinsert(HSQUIRRELVM v, SQInteger idx, SQInteger destpos) {
  SQObjectPtr &a = STK(idx);
  CHECK_TYPE(a, OT_ARRAY);
  auto &vals = _array(a)->_values;
  if (destpos < 0 || destpos > (SQInteger)vals.size()) return sq_err(v, "index out of range");
  if (!v->CheckSize((SQInteger)vals.size() + 1, SQ_MAX_ARRAY_SIZE, "an array")) return SQ_ERROR;
  SQObjectPtr val = STK(-1);
  vals.insert(vals.begin() + destpos, val);
  v->Pop();
  return SQ_OK;
}

SQRESULT sq_setdelegate(HSQUIRRELVM v, SQInteger idx) {
  SQObjectPtr self = STK(idx), d = STK(-1);
  if (self._type != OT_TABLE && self._type != OT_USERDATA) return sq_aux_invalidtype(v, self._type);
  if (d._type == OT_TABLE) {
    if (!_delegable(self)->SetDelegate(_table(d))) return sq_err(v, "delegate cycle");
  } else if (d._type == OT_NULL) {
    _delegable(self)->SetDelegate(nullptr);
  } else {
    return sq_aux_invalidtype(v, d._type);
  }
  v->Pop();
  return SQ_OK;
}

SQRESULT sq_getdelegate(HSQUIRRELVM v, SQInteger idx) {
  SQObjectPtr &self = STK(idx);
  if (self._type != OT_TABLE && self._type != OT_USERDATA) return sq_aux_invalidtype(v, self._type);
  SQTable *d = _delegable(self)->_delegate;
  if (d) v->Push(SQObjectPtr(d));
  else v->PushNull();
  return SQ_OK;
}

SQRESULT sq_clone(HSQUIRRELVM v, SQInteger idx) {
  SQObjectPtr o = STK(idx), res;
  if (!v->Clone(o, res)) return SQ_ERROR;
  v->Push(res);
  return SQ_OK;
}

SQRESULT sq_setfreevariable(HSQUIRRELVM v, SQInteger idx, SQUnsignedInteger nval) {
  SQObjectPtr self = STK(idx);
  SQObjectPtr val = STK(-1);
  if (self._type == OT_NATIVECLOSURE) {
    auto &o = _nativeclosure(self)->_outervalues;
    if (nval >= o.size()) return sq_err(v, "invalid free var index");
    o[nval] = val;
  } else if (self._type == OT_CLOSURE) {
    auto &o = _closure(self)->_outervalues;
    if (nval >= o.size()) return sq_err(v, "invalid free var index");
    _outer(o[nval])->Ref() = val;
  } else {
    return sq_aux_invalidtype(v, self._type);
  }
  v->Pop();
  return SQ_OK;
}

const SQChar *sq_getfreevariable(HSQUIRRELVM v, SQInteger idx, SQUnsignedInteger nval) {
  SQObjectPtr self = STK(idx);
  if (self._type == OT_NATIVECLOSURE) {
    auto &o = _nativeclosure(self)->_outervalues;
    if (nval >= o.size()) return nullptr;
    v->Push(o[nval]);
    return "@NATIVE";
  }
  if (self._type == OT_CLOSURE) {
    SQClosure *c = _closure(self);
    if (nval >= c->_outervalues.size()) return nullptr;
    v->Push(_outer(c->_outervalues[nval])->Ref());
    return _string(c->Proto()->_outers[nval].name)->_val;
  }
  return nullptr;
}

SQRESULT sq_next(HSQUIRRELVM v, SQInteger idx) {
  SQObjectPtr o = STK(idx), iter = STK(-1), key, val;
  bool done;
  if (o._type == OT_GENERATOR) return sq_err(v, "cannot iterate a generator with sq_next");
  if (!v->FOREACH_Next(o, iter, key, val, done)) return SQ_ERROR;
  if (done) return SQ_ERROR;
  STK(-1) = iter;
  v->Push(key);
  v->Push(val);
  return SQ_OK;
}

SQRESULT sq_getweakrefval(HSQUIRRELVM v, SQInteger idx) {
  SQObjectPtr &o = STK(idx);
  if (o._type != OT_WEAKREF) return sq_err(v, "the object must be a weakref");
  SQObjectPtr r(_weakref(o)->_obj);
  v->Push(r);
  return SQ_OK;
}

SQRESULT sq_clear(HSQUIRRELVM v, SQInteger idx) {
  SQObjectPtr &o = STK(idx);
  switch (o._type) {
    case OT_TABLE: _table(o)->Clear(); return SQ_OK;
    case OT_ARRAY: _array(o)->_values.clear(); return SQ_OK;
    default: return sq_err(v, "clear only works on table and array");
  }
}

// ---------------------------------------------------------------- calls
SQRESULT sq_call(HSQUIRRELVM v, SQInteger params, SQBool retval, SQBool raiseerror) {
  if (params < 1 || sq_gettop(v) < params + 1) return sq_err(v, "not enough parameters in the stack");
  SQObjectPtr closure = v->_stack[v->_top - params - 1];
  SQObjectPtr res;
  SQInteger base = v->_top - params;
  SQHostCall hostcall(v->SS());
  bool ok = v->Call(closure, params, base, res, raiseerror != 0);
  // the callee consumed its arguments; drop whatever is left of them, unless
  // the call suspended and its frames still live there
  if (!v->_suspended)
    while (v->_top > base) v->Pop();
  if (!ok) return SQ_ERROR;
  if (retval) v->Push(res);
  return SQ_OK;
}

SQRESULT sq_resume(HSQUIRRELVM v, SQBool retval, SQBool raiseerror) {
  SQObjectPtr g = STK(-1);
  if (g._type != OT_GENERATOR) return sq_err(v, "only generators can be resumed");
  SQObjectPtr res;
  bool save = v->_raiseerror;
  v->_raiseerror = raiseerror != 0;
  bool ok = v->ResumeGenerator(_generator(g), res);
  v->_raiseerror = save;
  if (!ok) return SQ_ERROR;
  if (retval) v->Push(res);
  return SQ_OK;
}

const SQChar *sq_getlocal(HSQUIRRELVM v, SQUnsignedInteger level, SQUnsignedInteger idx) {
  SQCallFrame *f;
  if (!FrameAtLevel(v, (SQInteger)level, f)) return nullptr;
  if (f->closure._type != OT_CLOSURE) return nullptr;
  SQFunctionProto *p = _closure(f->closure)->Proto();
  SQInteger ip = f->ip ? (SQInteger)(f->ip - p->_code.data()) - 1 : 0;
  SQUnsignedInteger n = 0;
  // locals in order of their slots, those alive at the current instruction
  std::vector<const SQLocalVarInfo *> alive;
  for (auto &l : p->_locals)
    if (l.start_op <= ip && l.end_op >= ip && _string(l.name)->_val[0] != '@') alive.push_back(&l);
  std::sort(alive.begin(), alive.end(), [](const SQLocalVarInfo *a, const SQLocalVarInfo *b) { return a->pos < b->pos; });
  for (auto *l : alive) {
    if (n++ == idx) {
      SQObjectPtr val = v->_stack[f->base + l->pos];
      v->Push(val);
      return _string(l->name)->_val;
    }
  }
  return nullptr;
}

SQRESULT sq_throwerror(HSQUIRRELVM v, const SQChar *err) {
  v->_lasterror = SQObjectPtr(SQStr(v->SS(), err ? err : ""));
  v->_errorhandled = false;
  return SQ_ERROR;
}

SQRESULT sq_throwobject(HSQUIRRELVM v) {
  v->_lasterror = STK(-1);
  v->_errorhandled = false;
  v->Pop();
  return SQ_ERROR;
}

void sq_reseterror(HSQUIRRELVM v) {
  v->_lasterror.Null();
  v->_errorhandled = false;
}
void sq_getlasterror(HSQUIRRELVM v) { v->Push(v->_lasterror); }

// ---------------------------------------------------------------- raw objects
SQRESULT sq_getstackobj(HSQUIRRELVM v, SQInteger idx, HSQOBJECT *po) {
  if (!ValidIdx(v, idx)) return sq_err(v, "invalid stack index");
  SQObjectPtr &o = STK(idx);
  po->_type = o._type;
  po->_unVal = o._unVal;
  return SQ_OK;
}

void sq_pushobject(HSQUIRRELVM v, HSQOBJECT obj) { v->Push(obj); }

void sq_addref(HSQUIRRELVM v, HSQOBJECT *po) {
  if (!ISREFCOUNTED(po->_type)) return;
  SQTable *refs = _table(v->SS()->_refs);
  SQTable::Node *n = refs->FindNode(*po);
  if (n) _integer(n->val)++;
  else refs->NewSlot(*po, SQObjectPtr((SQInteger)1));
}

SQBool sq_release(HSQUIRRELVM v, HSQOBJECT *po) {
  if (!ISREFCOUNTED(po->_type)) return SQTrue;
  if (v->SS()->_refs._type != OT_TABLE) return SQTrue;
  SQTable *refs = _table(v->SS()->_refs);
  SQTable::Node *n = refs->FindNode(*po);
  if (!n) return SQFalse;
  if (--_integer(n->val) <= 0) {
    SQObjectPtr key = n->key;
    refs->Remove(key);
    return SQTrue;
  }
  return SQFalse;
}

SQUnsignedInteger sq_getrefcount(HSQUIRRELVM v, HSQOBJECT *po) {
  if (!ISREFCOUNTED(po->_type)) return 0;
  SQTable::Node *n = _table(v->SS()->_refs)->FindNode(*po);
  return n ? (SQUnsignedInteger)_integer(n->val) : 0;
}

void sq_resetobject(HSQOBJECT *po) {
  po->_type = OT_NULL;
  po->_unVal.raw = 0;
}

const SQChar *sq_objtostring(const HSQOBJECT *o) { return o->_type == OT_STRING ? _string(*o)->_val : nullptr; }
SQBool sq_objtobool(const HSQOBJECT *o) { return IsFalse(*o) ? SQFalse : SQTrue; }
SQInteger sq_objtointeger(const HSQOBJECT *o) { return (o->_type & SQOBJECT_NUMERIC) ? tointeger(*o) : 0; }
SQFloat sq_objtofloat(const HSQOBJECT *o) { return (o->_type & SQOBJECT_NUMERIC) ? tofloat(*o) : 0; }
SQUserPointer sq_objtouserpointer(const HSQOBJECT *o) {
  return o->_type == OT_USERPOINTER ? _userpointer(*o) : nullptr;
}

// ---------------------------------------------------------------- gc, serialization, memory
SQInteger sq_collectgarbage(HSQUIRRELVM v) { return v->SS()->CollectGarbage(v); }

SQRESULT sq_resurrectunreachable(HSQUIRRELVM v) {
  // Objects in unreachable cycles are returned in an array instead of being freed.
  SQSharedState *ss = v->SS();
  std::vector<SQCollectable *> stack;
  for (SQCollectable *c = ss->_gclist; c; c = c->_gcnext) c->_marked = false;
  MarkObject(SQObjectPtr(ss->_rootvm), stack);
  MarkObject(ss->_registry, stack);
  MarkObject(ss->_consts, stack);
  MarkObject(ss->_refs, stack);
  for (SQCollectable *c = ss->_gclist; c; c = c->_gcnext)
    if (c->GetType() == OT_THREAD && !static_cast<SQVM *>(c)->_frames.empty() && !c->_marked) {
      c->_marked = true;
      stack.push_back(c);
    }
  while (!stack.empty()) {
    SQCollectable *c = stack.back();
    stack.pop_back();
    c->Mark(stack);
  }
  SQArray *res = SQArray::Create(ss, 0);
  SQObjectPtr hold(res);
  for (SQCollectable *c = ss->_gclist; c; c = c->_gcnext) {
    if (c->_marked || c == res) continue;
    SQObject o;
    o._type = c->GetType();
    o._unVal.raw = 0;
    o._unVal.pRefCounted = c;
    if (o._type == OT_OUTER) continue;
    res->_values.push_back(o);
  }
  if (res->_values.empty()) v->PushNull();
  else v->Push(hold);
  return SQ_OK;
}

SQRESULT sq_writeclosure(HSQUIRRELVM v, SQWRITEFUNC, SQUserPointer) {
  return sq_err(v, "closure serialization is not supported");
}
SQRESULT sq_readclosure(HSQUIRRELVM v, SQREADFUNC, SQUserPointer) {
  return sq_err(v, "closure serialization is not supported");
}

void *sq_malloc(SQUnsignedInteger size) { return malloc(size); }
void *sq_realloc(void *p, SQUnsignedInteger, SQUnsignedInteger newsize) { return realloc(p, newsize); }
void sq_free(void *p, SQUnsignedInteger) { free(p); }

// ---------------------------------------------------------------- debug
SQRESULT sq_stackinfos(HSQUIRRELVM v, SQInteger level, SQStackInfos *si) {
  SQCallFrame *f;
  if (!FrameAtLevel(v, level, f)) return SQ_ERROR;
  if (f->closure._type == OT_CLOSURE) {
    SQFunctionProto *p = _closure(f->closure)->Proto();
    si->funcname = p->_name._type == OT_STRING ? _string(p->_name)->_val : nullptr;
    si->source = p->_sourcename._type == OT_STRING ? _string(p->_sourcename)->_val : nullptr;
    SQInteger ip = f->ip ? (SQInteger)(f->ip - p->_code.data()) - 1 : 0;
    si->line = p->GetLine(ip);
    si->column = p->GetColumn(ip);
  } else {
    SQNativeClosure *nc = _nativeclosure(f->closure);
    si->funcname = nc->_name._type == OT_STRING ? _string(nc->_name)->_val : nullptr;
    si->source = "NATIVE";
    si->line = -1;
    si->column = -1;
  }
  return SQ_OK;
}
