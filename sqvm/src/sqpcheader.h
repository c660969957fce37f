// Internal object model of the engine: values, reference counting, the
// collectable object kinds, function prototypes, the VM (thread) and the
// state shared by all threads of one VM.
#pragma once

#include <squirrel.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>
#include <new>

struct SQSharedState;
struct SQVM;

// Largest objects a script may build. Beyond these a request is a script
// error ("out of memory") that a script can catch, never a process abort:
// on an overcommitting system a huge request would otherwise succeed and
// then bring the whole game down when first touched.
// A whole world is 65,536 cells: these leave room for over a hundred copies.
constexpr SQInteger SQ_MAX_STRING_LEN = SQInteger(1) << 26;   // bytes
constexpr SQInteger SQ_MAX_ARRAY_SIZE = SQInteger(1) << 23;   // elements
constexpr SQInteger SQ_MAX_TABLE_SLOTS = SQInteger(1) << 23;  // slots of one table

enum SQMetaMethod {
  MT_ADD, MT_SUB, MT_MUL, MT_DIV, MT_UNM, MT_MODULO, MT_SET, MT_GET, MT_TYPEOF, MT_NEXTI, MT_CMP,
  MT_CALL, MT_CLONED, MT_NEWSLOT, MT_DELSLOT, MT_TOSTRING, MT_NEWMEMBER, MT_INHERITED, MT_LAST
};

// ---------------------------------------------------------------- ref counting
struct SQRefCounted {
  SQUnsignedInteger _uiRef = 0;
  SQWeakRef *_weakref = nullptr;
  virtual ~SQRefCounted();
  virtual void Release() = 0;
  SQWeakRef *GetWeakRef(SQObjectType type);
};

inline void sq_addref_obj(const SQObject &o) {
  if (ISREFCOUNTED(o._type)) o._unVal.pRefCounted->_uiRef++;
}
inline void sq_release_obj(SQObjectType t, SQObjectValue v) {
  if (ISREFCOUNTED(t) && --v.pRefCounted->_uiRef == 0) v.pRefCounted->Release();
}

#if defined(__GNUC__)
#define SQ_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define SQ_ALWAYS_INLINE inline
#endif

struct SQObjectPtr : public SQObject {
  SQObjectPtr() { _type = OT_NULL; _unVal.raw = 0; }
  SQObjectPtr(const SQObjectPtr &o) { _type = o._type; _unVal = o._unVal; sq_addref_obj(*this); }
  SQObjectPtr(SQObjectPtr &&o) noexcept { _type = o._type; _unVal = o._unVal; o._type = OT_NULL; o._unVal.raw = 0; }
  SQObjectPtr(const SQObject &o) { _type = o._type; _unVal = o._unVal; sq_addref_obj(*this); }
  SQObjectPtr(SQInteger n) { _type = OT_INTEGER; _unVal.nInteger = n; }
  SQObjectPtr(int n) { _type = OT_INTEGER; _unVal.nInteger = n; }
  SQObjectPtr(SQFloat f) { _type = OT_FLOAT; _unVal.raw = 0; _unVal.fFloat = f; }
  SQObjectPtr(bool b) { _type = OT_BOOL; _unVal.nInteger = b ? 1 : 0; }
  SQObjectPtr(SQUserPointer p) { _type = OT_USERPOINTER; _unVal.raw = 0; _unVal.pUserPointer = p; }
#define SQ_PTR_CTOR(T, OT, F) \
  SQObjectPtr(T *p) { _type = OT; _unVal.raw = 0; _unVal.F = p; sq_addref_obj(*this); }
  SQ_PTR_CTOR(SQTable, OT_TABLE, pTable)
  SQ_PTR_CTOR(SQArray, OT_ARRAY, pArray)
  SQ_PTR_CTOR(SQString, OT_STRING, pString)
  SQ_PTR_CTOR(SQClosure, OT_CLOSURE, pClosure)
  SQ_PTR_CTOR(SQNativeClosure, OT_NATIVECLOSURE, pNativeClosure)
  SQ_PTR_CTOR(SQGenerator, OT_GENERATOR, pGenerator)
  SQ_PTR_CTOR(SQUserData, OT_USERDATA, pUserData)
  SQ_PTR_CTOR(SQFunctionProto, OT_FUNCPROTO, pFunctionProto)
  SQ_PTR_CTOR(SQClass, OT_CLASS, pClass)
  SQ_PTR_CTOR(SQInstance, OT_INSTANCE, pInstance)
  SQ_PTR_CTOR(SQWeakRef, OT_WEAKREF, pWeakRef)
  SQ_PTR_CTOR(SQVM, OT_THREAD, pThread)
  SQ_PTR_CTOR(SQOuter, OT_OUTER, pOuter)
#undef SQ_PTR_CTOR
  ~SQObjectPtr() { sq_release_obj(_type, _unVal); }
  SQ_ALWAYS_INLINE SQObjectPtr &operator=(const SQObjectPtr &o) { return Assign(o); }
  SQ_ALWAYS_INLINE SQObjectPtr &operator=(const SQObject &o) { return Assign(o); }
  // Inlined: these run in every instruction that moves a value, where a call
  // costs more than the few loads and stores they are.
  SQ_ALWAYS_INLINE SQObjectPtr &operator=(SQObjectPtr &&o) noexcept {
    if (this != &o) {
      SQObjectType t = _type; SQObjectValue v = _unVal;
      _type = o._type; _unVal = o._unVal; o._type = OT_NULL; o._unVal.raw = 0;
      sq_release_obj(t, v);
    }
    return *this;
  }
  SQ_ALWAYS_INLINE SQObjectPtr &Assign(const SQObject &o) {
    SQObjectType t = _type; SQObjectValue v = _unVal;
    _type = o._type; _unVal = o._unVal;
    sq_addref_obj(*this);
    sq_release_obj(t, v);
    return *this;
  }
  SQ_ALWAYS_INLINE void Null() {
    SQObjectType t = _type; SQObjectValue v = _unVal;
    _type = OT_NULL; _unVal.raw = 0;
    sq_release_obj(t, v);
  }
  SQ_ALWAYS_INLINE void SetInt(SQInteger n) {
    if (ISREFCOUNTED(_type)) { Null(); }
    _type = OT_INTEGER; _unVal.nInteger = n;
  }
  SQ_ALWAYS_INLINE void SetFloat(SQFloat f) {
    if (ISREFCOUNTED(_type)) { Null(); }
    _type = OT_FLOAT; _unVal.raw = 0; _unVal.fFloat = f;
  }
  void SetBool(bool b) {
    if (ISREFCOUNTED(_type)) { Null(); }
    _type = OT_BOOL; _unVal.nInteger = b ? 1 : 0;
  }
};

#define sqtype(o) ((o)._type)
#define _integer(o) ((o)._unVal.nInteger)
#define _float(o) ((o)._unVal.fFloat)
#define _string(o) ((o)._unVal.pString)
#define _table(o) ((o)._unVal.pTable)
#define _array(o) ((o)._unVal.pArray)
#define _closure(o) ((o)._unVal.pClosure)
#define _nativeclosure(o) ((o)._unVal.pNativeClosure)
#define _generator(o) ((o)._unVal.pGenerator)
#define _userdata(o) ((o)._unVal.pUserData)
#define _userpointer(o) ((o)._unVal.pUserPointer)
#define _class(o) ((o)._unVal.pClass)
#define _instance(o) ((o)._unVal.pInstance)
#define _weakref(o) ((o)._unVal.pWeakRef)
#define _thread(o) ((o)._unVal.pThread)
#define _funcproto(o) ((o)._unVal.pFunctionProto)
#define _outer(o) ((o)._unVal.pOuter)
#define _refcounted(o) ((o)._unVal.pRefCounted)
#define _delegable(o) ((o)._unVal.pDelegable)
#define _rawval(o) ((o)._unVal.raw)

inline SQFloat tofloat(const SQObject &o) { return o._type == OT_INTEGER ? (SQFloat)o._unVal.nInteger : o._unVal.fFloat; }
// Float to integer, truncating; beyond the integer range it saturates and NaN
// gives 0 (a plain cast would be undefined there).
inline SQInteger sq_float_to_integer(double f) {
  if (f > -9223372036854775808.0 && f < 9223372036854775808.0) return (SQInteger)f;
  if (f != f) return 0;
  return f < 0 ? INT64_MIN : INT64_MAX;
}
inline SQInteger tointeger(const SQObject &o) {
  return o._type == OT_FLOAT ? sq_float_to_integer(o._unVal.fFloat) : o._unVal.nInteger;
}
inline bool IsFalse(const SQObject &o) {
  if (!(o._type & SQOBJECT_CANBEFALSE)) return false;
  if (o._type == OT_FLOAT) return o._unVal.fFloat == 0.0f;
  return o._unVal.nInteger == 0;  // null, false, 0
}

const char *GetTypeName(SQObjectType t);
const char *GetTypeName(const SQObject &o);

// ---------------------------------------------------------------- strings
struct SQString : public SQRefCounted {
  SQSharedState *_ss;
  SQString *_next;  // chain in the interning table
  SQInteger _len;
  SQHash _hash;
  char _val[1];
  static SQString *Create(SQSharedState *ss, const char *s, SQInteger len = -1);
  static SQString *Concat(SQSharedState *ss, const char *a, SQInteger alen, const char *b, SQInteger blen);
  void Release() override;
};

inline SQHash HashObj(const SQObject &k) {
  switch (k._type) {
    case OT_STRING: return k._unVal.pString->_hash;
    case OT_INTEGER: case OT_BOOL: return (SQHash)k._unVal.nInteger * 0x9E3779B97F4A7C15ull;
    case OT_FLOAT: return (SQHash)k._unVal.raw * 0x9E3779B97F4A7C15ull;
    default: return ((SQHash)k._unVal.raw >> 3) * 0x9E3779B97F4A7C15ull;
  }
}
inline bool KeyEq(const SQObject &a, const SQObject &b) { return a._type == b._type && a._unVal.raw == b._unVal.raw; }

// ---------------------------------------------------------------- collectables
struct SQCollectable : public SQRefCounted {
  SQCollectable *_gcnext = nullptr, *_gcprev = nullptr;
  SQSharedState *_sharedstate = nullptr;
  bool _marked = false;
  explicit SQCollectable(SQSharedState *ss);
  ~SQCollectable() override;
  void Release() override { delete this; }
  // Adds every object this one references to the mark stack.
  virtual void Mark(std::vector<SQCollectable *> &stack) = 0;
  // Drops every reference (used to break unreachable cycles).
  virtual void Finalize() = 0;
  virtual SQObjectType GetType() = 0;
};

void MarkObject(const SQObject &o, std::vector<SQCollectable *> &stack);

struct SQDelegable : public SQCollectable {
  SQTable *_delegate = nullptr;
  using SQCollectable::SQCollectable;
  bool SetDelegate(SQTable *d);
  bool GetMetaMethod(SQVM *v, SQMetaMethod mm, SQObjectPtr &res);
};

struct SQTable : public SQDelegable {
  struct Node {
    SQObjectPtr key, val;
    int32_t next = -1;
  };
  std::vector<Node> _nodes;
  std::vector<int32_t> _buckets;
  int32_t _free = -1;
  SQInteger _count = 0;
  SQTable(SQSharedState *ss, SQInteger cap);
  static SQTable *Create(SQSharedState *ss, SQInteger cap = 0) { return new SQTable(ss, cap); }
  ~SQTable() override;
  Node *FindNode(const SQObject &key) const {
    if (_count == 0) return nullptr;
    int32_t i = _buckets[HashObj(key) & (_buckets.size() - 1)];
    while (i >= 0) {
      const Node &n = _nodes[i];
      if (KeyEq(n.key, key)) return const_cast<Node *>(&n);
      i = n.next;
    }
    return nullptr;
  }
  bool Get(const SQObject &key, SQObjectPtr &val) const {
    Node *n = FindNode(key);
    if (!n) return false;
    val = n->val;
    return true;
  }
  bool Set(const SQObject &key, const SQObject &val) {  // existing slots only
    Node *n = FindNode(key);
    if (!n) return false;
    n->val = val;
    return true;
  }
  void NewSlot(const SQObject &key, const SQObject &val);
  bool Remove(const SQObject &key);
  void Clear();
  SQInteger CountUsed() const { return _count; }
  // Iteration: returns the next used node index at or after i, -1 at the end.
  SQInteger Next(SQInteger i) const {
    for (; i < (SQInteger)_nodes.size(); i++)
      if (_nodes[i].key._type != OT_NULL) return i;
    return -1;
  }
  SQTable *Clone();
  void Rehash(size_t nb);
  void Mark(std::vector<SQCollectable *> &stack) override;
  void Finalize() override;
  SQObjectType GetType() override { return OT_TABLE; }
};

struct SQArray : public SQCollectable {
  std::vector<SQObjectPtr> _values;
  SQArray(SQSharedState *ss, SQInteger n) : SQCollectable(ss) { _values.resize(n); }
  static SQArray *Create(SQSharedState *ss, SQInteger n) { return new SQArray(ss, n); }
  SQInteger Size() const { return (SQInteger)_values.size(); }
  bool Get(SQInteger i, SQObjectPtr &v) const {
    if ((SQUnsignedInteger)i >= _values.size()) return false;
    v = _values[i];
    return true;
  }
  bool Set(SQInteger i, const SQObject &v) {
    if ((SQUnsignedInteger)i >= _values.size()) return false;
    _values[i] = v;
    return true;
  }
  void Mark(std::vector<SQCollectable *> &stack) override;
  void Finalize() override { _values.clear(); }
  SQObjectType GetType() override { return OT_ARRAY; }
};

struct SQUserData : public SQDelegable {
  SQInteger _size = 0;
  SQRELEASEHOOK _hook = nullptr;
  SQUserPointer _typetag = nullptr;
  void *_data = nullptr;
  SQUserData(SQSharedState *ss, SQInteger size);
  ~SQUserData() override;
  void Mark(std::vector<SQCollectable *> &stack) override;
  void Finalize() override;
  SQObjectType GetType() override { return OT_USERDATA; }
};

// ---------------------------------------------------------------- functions
struct SQInstr {
  uint8_t op;
  uint8_t x;  // per-opcode flags (constant operand bits, etc.)
  uint16_t a;
  union {
    struct { uint16_t b, c; };
    int32_t sbx;
  };
};
static_assert(sizeof(SQInstr) == 8, "instruction must be 8 bytes");

struct SQLocalVarInfo {
  SQObjectPtr name;
  SQInteger pos;
  SQInteger start_op, end_op;
};

struct SQOuterVarInfo {
  SQObjectPtr name;
  bool fromlocal;  // true: a local slot of the enclosing function; false: one of its outers
  SQInteger index;
};

struct SQFunctionProto : public SQRefCounted {
  SQSharedState *_ss;
  std::vector<SQInstr> _code;
  std::vector<int32_t> _lines;    // source line of each instruction
  std::vector<int32_t> _columns;  // and the column of the token it was compiled at
  std::vector<SQObjectPtr> _literals;
  std::vector<SQObjectPtr> _functions;  // nested prototypes
  std::vector<SQLocalVarInfo> _locals;
  std::vector<SQOuterVarInfo> _outers;
  std::vector<SQInteger> _defaultparams;  // stack slots holding default values when the closure is made
  SQObjectPtr _name, _sourcename;
  SQInteger _nparams = 1;  // including 'this'
  SQInteger _stacksize = 1;
  bool _varparams = false;
  bool _generator = false;
  explicit SQFunctionProto(SQSharedState *ss) : _ss(ss) {}
  void Release() override { delete this; }
  SQInteger GetLine(SQInteger ip) const {
    if (_lines.empty()) return -1;
    if (ip < 0) ip = 0;
    if (ip >= (SQInteger)_lines.size()) ip = (SQInteger)_lines.size() - 1;
    return _lines[ip];
  }
  SQInteger GetColumn(SQInteger ip) const {
    if (_columns.empty()) return -1;
    if (ip < 0) ip = 0;
    if (ip >= (SQInteger)_columns.size()) ip = (SQInteger)_columns.size() - 1;
    return _columns[ip];
  }
};

struct SQOuter : public SQCollectable {
  SQVM *_vm;           // owner of the stack while open
  SQInteger _idx;      // stack index while open
  SQObjectPtr _value;  // value once closed
  bool _closed = false;
  SQOuter *_nextopen = nullptr;
  SQOuter(SQSharedState *ss, SQVM *v, SQInteger idx) : SQCollectable(ss), _vm(v), _idx(idx) {}
  SQObjectPtr &Ref();
  void Mark(std::vector<SQCollectable *> &stack) override;
  void Finalize() override { _value.Null(); }
  SQObjectType GetType() override { return OT_OUTER; }
};

struct SQClosure : public SQCollectable {
  SQObjectPtr _function;        // SQFunctionProto
  std::vector<SQObjectPtr> _outervalues;  // SQOuter objects
  std::vector<SQObjectPtr> _defaultparams;
  SQObjectPtr _env;             // weak reference to a bound environment, or null
  SQObjectPtr _base;            // class whose base 'base' refers to
  SQClosure(SQSharedState *ss, SQFunctionProto *f) : SQCollectable(ss), _function(f) {}
  SQFunctionProto *Proto() const { return _funcproto(_function); }
  SQClosure *Clone();
  void Mark(std::vector<SQCollectable *> &stack) override;
  void Finalize() override;
  SQObjectType GetType() override { return OT_CLOSURE; }
};

struct SQNativeClosure : public SQCollectable {
  SQFUNCTION _function;
  std::vector<SQObjectPtr> _outervalues;
  std::vector<SQInteger> _typecheck;
  SQInteger _nparamscheck = 0;
  SQObjectPtr _name;
  SQObjectPtr _env;
  SQNativeClosure(SQSharedState *ss, SQFUNCTION f) : SQCollectable(ss), _function(f) {}
  SQNativeClosure *Clone();
  void Mark(std::vector<SQCollectable *> &stack) override;
  void Finalize() override;
  SQObjectType GetType() override { return OT_NATIVECLOSURE; }
};

struct SQExceptionTrap {
  SQInteger frame;     // index of the call frame that owns the trap
  SQInteger stackbase; // stack slot count of that frame when entered (relative)
  SQInteger catchip;   // instruction index of the handler
  SQInteger target;    // frame-relative slot receiving the exception
};

struct SQGenerator : public SQCollectable {
  enum State { eRunning, eSuspended, eDead };
  SQObjectPtr _closure;
  std::vector<SQObjectPtr> _stack;  // saved frame slots
  std::vector<SQExceptionTrap> _traps;
  SQInteger _ip = 0;
  State _state = eSuspended;
  SQGenerator(SQSharedState *ss, SQClosure *c) : SQCollectable(ss), _closure{c} {}
  void Mark(std::vector<SQCollectable *> &stack) override;
  void Finalize() override { _stack.clear(); _closure.Null(); _state = eDead; }
  SQObjectType GetType() override { return OT_GENERATOR; }
};

// ---------------------------------------------------------------- classes
struct SQClassMember {
  SQObjectPtr val;
  SQObjectPtr attrs;
};

// Member descriptors stored in SQClass::_members: (index << 2) | kind.
enum { MEMBER_FIELD = 1, MEMBER_METHOD = 2 };
inline SQInteger MakeMemberDesc(SQInteger idx, SQInteger kind) { return (idx << 2) | kind; }

struct SQClass : public SQCollectable {
  SQClass *_base = nullptr;  // strong (ref held through _baseobj)
  SQObjectPtr _baseobj;
  SQTable *_members;
  std::vector<SQClassMember> _defaultvalues;  // instance fields
  std::vector<SQClassMember> _methods;        // methods and static values
  SQObjectPtr _metamethods[MT_LAST];
  SQObjectPtr _attributes;
  SQObjectPtr _constructor;
  SQUserPointer _typetag = nullptr;
  SQRELEASEHOOK _hook = nullptr;
  SQInteger _udsize = 0;
  bool _locked = false;
  SQClass(SQSharedState *ss, SQClass *base);
  ~SQClass() override;
  bool NewSlot(SQSharedState *ss, const SQObject &key, const SQObject &val, bool bstatic);
  bool Get(const SQObject &key, SQObjectPtr &val) const;
  bool SetAttributes(const SQObject &key, const SQObject &val);
  bool GetAttributes(const SQObject &key, SQObjectPtr &out);
  SQInstance *CreateInstance();
  void Mark(std::vector<SQCollectable *> &stack) override;
  void Finalize() override;
  SQObjectType GetType() override { return OT_CLASS; }
};

struct SQInstance : public SQDelegable {
  SQObjectPtr _classobj;
  SQClass *_class;
  std::vector<SQObjectPtr> _values;
  SQUserPointer _userpointer = nullptr;
  SQRELEASEHOOK _hook = nullptr;
  void *_udmem = nullptr;
  SQInstance(SQSharedState *ss, SQClass *c);
  ~SQInstance() override;
  bool Get(const SQObject &key, SQObjectPtr &val) const {
    SQObjectPtr desc;
    if (!_class->_members->Get(key, desc)) return false;
    SQInteger d = _integer(desc);
    if (d & MEMBER_FIELD) val = _values[d >> 2];
    else val = _class->_methods[d >> 2].val;
    return true;
  }
  bool Set(const SQObject &key, const SQObject &val) {
    SQTable::Node *n = _class->_members->FindNode(key);
    if (!n) return false;
    SQInteger d = _integer(n->val);
    if (!(d & MEMBER_FIELD)) return false;
    _values[d >> 2] = val;
    return true;
  }
  bool InstanceOf(SQClass *c) const {
    for (SQClass *k = _class; k; k = k->_base)
      if (k == c) return true;
    return false;
  }
  SQInstance *Clone();
  void Mark(std::vector<SQCollectable *> &stack) override;
  void Finalize() override;
  SQObjectType GetType() override { return OT_INSTANCE; }
};

struct SQWeakRef : public SQRefCounted {
  SQObject _obj;  // not counted; nulled when the referent dies
  void Release() override;
};

// ---------------------------------------------------------------- the VM
struct SQCallFrame {
  SQObjectPtr closure;
  const SQInstr *ip = nullptr;
  SQInteger base = 0;     // stack index of 'this'
  SQInteger prevtop = 0;  // caller's top, restored on return
  SQInteger target = -1;  // absolute stack index for the result, -1 to discard
  SQInteger prevstackbase = 0;
  SQInteger ntraps = 0;
  SQGenerator *generator = nullptr;  // frame runs this generator
  bool root = false;      // returning from this frame leaves the dispatch loop
  bool native = false;
};

struct SQVM : public SQCollectable {
  std::vector<SQObjectPtr> _stack;
  SQInteger _top = 0;
  SQInteger _stackbase = 0;  // base of the running native frame (slot 1 of the API)
  std::vector<SQCallFrame> _frames;
  std::vector<SQExceptionTrap> _traps;
  SQObjectPtr _roottable;
  SQObjectPtr _lasterror;
  SQObjectPtr _errorhandler;
  SQObjectPtr _debughook;
  SQOuter *_openouters = nullptr;
  SQUserPointer _foreignptr = nullptr;
  SQInteger _nnativecalls = 0;
  SQInteger _suspended = 0;     // nonzero while suspended
  SQInteger _suspend_target = -1;  // where the wake-up value goes
  bool _suspend_root = false;
  bool _errorhandled = false;   // the error handler already saw _lasterror
  bool _inerrorhandler = false;
  bool _mainvm = false;
  bool _raiseerror = true;      // of the innermost running dispatch loop
  SQInteger _nestedexec = 0;    // dispatch loops running on this thread
  SQObjectPtr _suspendvalue;
  bool _inhook = false;          // the debug hook is running
  SQInteger _watchdogticks = 0;  // loop jumps and calls left before the next look at the clock
  bool WatchdogExpired();
  SQInteger _hookline = -1;
  SQInteger _hookbase = -1;
  void CallDebugHook(SQInteger type, SQFunctionProto *p, SQInteger line);
  std::string _scratch;

  SQVM(SQSharedState *ss);
  ~SQVM() override;
  void Mark(std::vector<SQCollectable *> &stack) override;
  void Finalize() override;
  SQObjectType GetType() override { return OT_THREAD; }

  // stack helpers (API indices are relative to _stackbase, 1-based; negative from top)
  void Push(const SQObject &o) {
    if (_top >= (SQInteger)_stack.size()) GrowStack(_top + 1);
    _stack[_top++] = o;
  }
  void PushNull() {
    if (_top >= (SQInteger)_stack.size()) GrowStack(_top + 1);
    _top++;
  }
  void Pop(SQInteger n = 1) {
    while (n-- > 0 && _top > 0) _stack[--_top].Null();
  }
  SQObjectPtr &Top() { return _stack[_top - 1]; }
  SQObjectPtr &GetUp(SQInteger n) { return _stack[_top + n]; }
  SQObjectPtr &GetAt(SQInteger n) { return _stack[n]; }
  SQInteger AbsIdx(SQInteger idx) const { return idx < 0 ? _top + idx : _stackbase + idx - 1; }
  SQObjectPtr &StackGet(SQInteger idx) { return _stack[AbsIdx(idx)]; }
  void GrowStack(SQInteger needed);
  void Remove(SQInteger absidx);

  // execution
  bool Call(const SQObjectPtr &closure, SQInteger nparams, SQInteger stackbase, SQObjectPtr &outres, bool raiseerror);
  bool Execute(SQInteger entrydepth, SQObjectPtr &outres, bool raiseerror);
  bool CallNative(SQNativeClosure *nc, SQInteger nargs, SQInteger base, SQObjectPtr &ret, bool &suspend);
  bool StartCall(SQClosure *c, SQInteger target, SQInteger nargs, SQInteger base, bool root);
  bool ResumeGenerator(SQGenerator *g, SQObjectPtr &out);
  static bool IsEqual(const SQObject &a, const SQObject &b);
  bool WakeUp(const SQObjectPtr &val, bool useval, SQObjectPtr &outres, bool raiseerror);
  void LeaveFrame();
  void CloseOuters(SQInteger fromidx);
  SQOuter *FindOuter(SQInteger idx);
  bool CallMetaMethod(const SQObjectPtr &mm, const SQObjectPtr &self, SQInteger nargs, const SQObject *args,
                      SQObjectPtr &res);
  bool CallErrorHandler(const SQObjectPtr &error);
  void RaiseError(const char *fmt, ...);
  void RaiseErrorObj(const SQObjectPtr &o) { _lasterror = o; _errorhandled = false; }
  void Raise_IdxError(const SQObject &key);
  void Raise_CompareError(const SQObject &a, const SQObject &b);
  void Raise_ParamTypeError(SQInteger nparam, SQInteger typemask, SQInteger type);
  // False (with the script error set) when an object would grow to n > cap.
  bool CheckSize(SQInteger n, SQInteger cap, const char *what);

  // object protocol
  bool Get(const SQObjectPtr &self, const SQObjectPtr &key, SQObjectPtr &dest, bool raw, bool rootfallback = false,
           bool raiseerror = true);
  bool Set(const SQObjectPtr &self, const SQObjectPtr &key, const SQObjectPtr &val, bool rootfallback = false);
  bool NewSlot(const SQObjectPtr &self, const SQObjectPtr &key, const SQObjectPtr &val, bool bstatic, bool raw = false);
  bool DeleteSlot(const SQObjectPtr &self, const SQObjectPtr &key, SQObjectPtr &res, bool raw = false);
  bool Clone(const SQObjectPtr &self, SQObjectPtr &target);
  bool ObjCmp(const SQObjectPtr &a, const SQObjectPtr &b, SQInteger &res);
  bool ToString(const SQObjectPtr &o, SQObjectPtr &res);
  bool TypeOf(const SQObjectPtr &o, SQObjectPtr &res);
  bool ArithOp(int op, SQObjectPtr &dst, const SQObjectPtr &a, const SQObjectPtr &b);
  bool BitwOp(int op, SQObjectPtr &dst, const SQObjectPtr &a, const SQObjectPtr &b);
  bool Negate(SQObjectPtr &dst, const SQObjectPtr &a);
  bool StringCat(const SQObjectPtr &a, const SQObjectPtr &b, SQObjectPtr &dst);
  bool In(const SQObjectPtr &key, const SQObjectPtr &obj, bool &res);
  bool FOREACH_Next(const SQObjectPtr &o, SQObjectPtr &iter, SQObjectPtr &key, SQObjectPtr &val, bool &done);
  bool CreateClassInstance(SQClass *c, SQObjectPtr &inst, SQObjectPtr &ctor);
  bool GetDefaultDelegateMember(const SQObjectPtr &self, const SQObjectPtr &key, SQObjectPtr &dest);
  bool GetMeta(const SQObjectPtr &o, SQMetaMethod mm, SQObjectPtr &out);
  SQSharedState *SS() const { return _sharedstate; }
};

SQRESULT sq_aux_invalidtype(HSQUIRRELVM v, SQObjectType type);

struct SQSharedState {
  std::vector<SQString *> _strbuckets;
  SQInteger _strcount = 0;
  SQCollectable *_gclist = nullptr;
  SQObjectPtr _registry;
  SQObjectPtr _consts;
  SQObjectPtr _refs;  // table: object -> reference count, for sq_addref
  SQObjectPtr _metanames[MT_LAST];
  SQObjectPtr _constructorname;
  SQObjectPtr _table_delegate, _array_delegate, _string_delegate, _number_delegate, _closure_delegate,
      _generator_delegate, _thread_delegate, _class_delegate, _instance_delegate, _weakref_delegate;
  SQPRINTFUNCTION _printfunc = nullptr, _errorfunc = nullptr;
  SQCOMPILERERROR _compilererrorhandler = nullptr;
  bool _debuginfo = true;
  bool _notifyallexceptions = false;
  bool _closing = false;
  SQVM *_rootvm = nullptr;
  // Watchdog: limit of one host call, its deadline, host calls under way.
  int64_t _timelimit_ns = 0;
  int64_t _deadline_ns = 0;
  SQInteger _hostcalls = 0;
  bool _timedout = false;  // the running host call passed its deadline
  SQSharedState();
  void Init(SQVM *root);
  void Finish();
  SQString *InternLookup(const char *s, SQInteger len, SQHash h);
  void InternAdd(SQString *s);
  void InternRemove(SQString *s);
  SQInteger CollectGarbage(SQVM *v);
  SQInteger GetMetaMethodIdx(const SQObject &name) const;
};

// Marks a call from the host into the VM; the outermost one starts the
// watchdog's clock.
struct SQHostCall {
  SQSharedState *ss;
  explicit SQHostCall(SQSharedState *s);
  ~SQHostCall() { ss->_hostcalls--; }
};

SQString *SQStr(SQSharedState *ss, const char *s, SQInteger len = -1);
void sq_register_baselib(SQVM *v);
void sq_init_delegates(SQSharedState *ss);
bool sq_compile_source(SQVM *v, const char *src, SQInteger len, const char *sourcename, bool raiseerror,
                       SQObjectPtr &out);
void sq_print_float(char *buf, size_t n, SQFloat f);
bool sq_str_to_number(const char *s, SQObjectPtr &out, bool allowfloat);
bool sq_typecheck_params(SQVM *v, SQNativeClosure *nc, SQInteger nargs, SQInteger base);
SQInteger sq_compile_typemask(const char *typemask, std::vector<SQInteger> &res);
