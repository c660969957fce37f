// Object kinds: strings (interned), tables, arrays, user data, closures,
// classes, instances, weak references; the shared state and the cycle collector.
#include "sqpcheader.h"

#include <algorithm>
#include <cstdlib>

SQRefCounted::~SQRefCounted() {
  if (_weakref) {
    _weakref->_obj._type = OT_NULL;
    _weakref->_obj._unVal.raw = 0;
  }
}

SQWeakRef *SQRefCounted::GetWeakRef(SQObjectType type) {
  if (!_weakref) {
    _weakref = new SQWeakRef();
    _weakref->_obj._type = type;
    _weakref->_obj._unVal.raw = 0;
    _weakref->_obj._unVal.pRefCounted = this;
  }
  return _weakref;
}

void SQWeakRef::Release() {
  if (ISREFCOUNTED(_obj._type)) _obj._unVal.pRefCounted->_weakref = nullptr;
  delete this;
}

const char *GetTypeName(SQObjectType t) {
  switch (_RAW_TYPE(t)) {
    case _RT_NULL: return "null";
    case _RT_INTEGER: return "integer";
    case _RT_FLOAT: return "float";
    case _RT_BOOL: return "bool";
    case _RT_STRING: return "string";
    case _RT_TABLE: return "table";
    case _RT_ARRAY: return "array";
    case _RT_GENERATOR: return "generator";
    case _RT_CLOSURE: case _RT_NATIVECLOSURE: return "function";
    case _RT_USERDATA: return "userdata";
    case _RT_USERPOINTER: return "userpointer";
    case _RT_THREAD: return "thread";
    case _RT_FUNCPROTO: return "function";
    case _RT_CLASS: return "class";
    case _RT_INSTANCE: return "instance";
    case _RT_WEAKREF: return "weakref";
    case _RT_OUTER: return "outer";
  }
  return "unknown";
}
const char *GetTypeName(const SQObject &o) { return GetTypeName(o._type); }

// ---------------------------------------------------------------- strings
// Long strings hash a sample of their bytes (plus the length) so that building
// a long string piece by piece does not rehash all of it at every step. The
// text may come in two pieces (a concatenation not yet built): byte i is
// a[i] below alen and b[i - alen] above.
static SQHash HashPieces(const char *a, SQInteger alen, const char *b, SQInteger blen) {
  SQInteger len = alen + blen;
  SQHash h = 1469598103934665603ull ^ (SQHash)len;
  SQInteger step = (len >> 6) + 1, i = 0;
  for (; i < alen; i += step) h = (h ^ (unsigned char)a[i]) * 1099511628211ull;
  for (; i < len; i += step) h = (h ^ (unsigned char)b[i - alen]) * 1099511628211ull;
  return h;
}

static SQString *NewString(SQSharedState *ss, const char *a, SQInteger alen, const char *b, SQInteger blen,
                           SQHash h) {
  SQInteger len = alen + blen;
  void *mem = ::operator new(sizeof(SQString) + len);
  SQString *str = new (mem) SQString();
  str->_ss = ss;
  str->_len = len;
  str->_hash = h;
  if (alen) memcpy(str->_val, a, alen);
  if (blen) memcpy(str->_val + alen, b, blen);
  str->_val[len] = 0;
  ss->InternAdd(str);
  return str;
}

SQString *SQString::Create(SQSharedState *ss, const char *s, SQInteger len) {
  if (len < 0) len = (SQInteger)strlen(s);
  SQHash h = HashPieces(s, len, nullptr, 0);
  if (SQString *e = ss->InternLookup(s, len, h)) return e;
  return NewString(ss, s, len, nullptr, 0, h);
}

// Interns a + b with one copy of the bytes: the concatenation is looked up in
// place and only built when it is new.
SQString *SQString::Concat(SQSharedState *ss, const char *a, SQInteger alen, const char *b, SQInteger blen) {
  SQHash h = HashPieces(a, alen, b, blen);
  SQInteger len = alen + blen;
  for (SQString *e = ss->_strbuckets[h & (ss->_strbuckets.size() - 1)]; e; e = e->_next)
    if (e->_hash == h && e->_len == len && memcmp(e->_val, a, alen) == 0 && memcmp(e->_val + alen, b, blen) == 0)
      return e;
  return NewString(ss, a, alen, b, blen, h);
}

void SQString::Release() {
  _ss->InternRemove(this);
  this->~SQString();
  ::operator delete(this);
}

SQString *SQStr(SQSharedState *ss, const char *s, SQInteger len) { return SQString::Create(ss, s, len); }

SQString *SQSharedState::InternLookup(const char *s, SQInteger len, SQHash h) {
  for (SQString *e = _strbuckets[h & (_strbuckets.size() - 1)]; e; e = e->_next)
    if (e->_hash == h && e->_len == len && memcmp(e->_val, s, len) == 0) return e;
  return nullptr;
}

void SQSharedState::InternAdd(SQString *s) {
  if (_strcount >= (SQInteger)_strbuckets.size()) {
    std::vector<SQString *> nb(_strbuckets.size() * 2, nullptr);
    for (SQString *head : _strbuckets) {
      while (head) {
        SQString *n = head->_next;
        SQString *&slot = nb[head->_hash & (nb.size() - 1)];
        head->_next = slot;
        slot = head;
        head = n;
      }
    }
    _strbuckets.swap(nb);
  }
  SQString *&slot = _strbuckets[s->_hash & (_strbuckets.size() - 1)];
  s->_next = slot;
  slot = s;
  _strcount++;
}

void SQSharedState::InternRemove(SQString *s) {
  SQString **p = &_strbuckets[s->_hash & (_strbuckets.size() - 1)];
  while (*p) {
    if (*p == s) {
      *p = s->_next;
      _strcount--;
      return;
    }
    p = &(*p)->_next;
  }
}

// ---------------------------------------------------------------- collectables
SQCollectable::SQCollectable(SQSharedState *ss) : _sharedstate(ss) {
  if (ss) {
    _gcnext = ss->_gclist;
    if (_gcnext) _gcnext->_gcprev = this;
    ss->_gclist = this;
  }
}

SQCollectable::~SQCollectable() {
  if (_sharedstate) {
    if (_gcprev) _gcprev->_gcnext = _gcnext;
    else _sharedstate->_gclist = _gcnext;
    if (_gcnext) _gcnext->_gcprev = _gcprev;
  }
}

void MarkObject(const SQObject &o, std::vector<SQCollectable *> &stack) {
  switch (o._type) {
    case OT_TABLE: case OT_ARRAY: case OT_USERDATA: case OT_CLOSURE: case OT_NATIVECLOSURE: case OT_GENERATOR:
    case OT_THREAD: case OT_CLASS: case OT_INSTANCE: case OT_OUTER: {
      SQCollectable *c = static_cast<SQCollectable *>(o._unVal.pRefCounted);
      if (!c->_marked) {
        c->_marked = true;
        stack.push_back(c);
      }
      break;
    }
    case OT_FUNCPROTO: {
      SQFunctionProto *f = o._unVal.pFunctionProto;
      for (auto &l : f->_literals) MarkObject(l, stack);
      for (auto &fn : f->_functions) MarkObject(fn, stack);
      break;
    }
    default: break;
  }
}

bool SQDelegable::SetDelegate(SQTable *d) {
  for (SQTable *t = d; t; t = t->_delegate)
    if (t == this) return false;  // delegation cycle
  if (d) d->_uiRef++;
  SQTable *old = _delegate;
  _delegate = d;
  if (old) sq_release_obj(OT_TABLE, SQObjectValue{.pTable = old});
  return true;
}

bool SQDelegable::GetMetaMethod(SQVM *, SQMetaMethod mm, SQObjectPtr &res) {
  if (!_delegate) return false;
  const SQObjectPtr &name = _sharedstate->_metanames[mm];
  for (SQTable *t = _delegate; t; t = t->_delegate)
    if (t->Get(name, res)) return true;
  return false;
}

// ---------------------------------------------------------------- table
SQTable::SQTable(SQSharedState *ss, SQInteger cap) : SQDelegable(ss) {
  size_t nb = 4;
  while ((SQInteger)nb < cap) nb <<= 1;
  _buckets.assign(nb, -1);
  if (cap > 0) _nodes.reserve(cap);
}

SQTable::~SQTable() {
  if (_delegate) SetDelegate(nullptr);
}

void SQTable::Rehash(size_t nb) {
  _buckets.assign(nb, -1);
  for (size_t i = 0; i < _nodes.size(); i++) {
    Node &n = _nodes[i];
    if (n.key._type == OT_NULL) continue;
    int32_t &b = _buckets[HashObj(n.key) & (nb - 1)];
    n.next = b;
    b = (int32_t)i;
  }
}

void SQTable::NewSlot(const SQObject &key, const SQObject &val) {
  if (Node *n = FindNode(key)) {
    n->val = val;
    return;
  }
  int32_t idx;
  if (_free >= 0) {
    idx = _free;
    _free = _nodes[idx].next;
  } else {
    idx = (int32_t)_nodes.size();
    _nodes.emplace_back();
  }
  Node &n = _nodes[idx];
  n.key = key;
  n.val = val;
  _count++;
  if (_count > (SQInteger)_buckets.size()) {
    Rehash(_buckets.size() * 2);
  } else {
    int32_t &b = _buckets[HashObj(key) & (_buckets.size() - 1)];
    n.next = b;
    b = idx;
  }
}

bool SQTable::Remove(const SQObject &key) {
  if (_count == 0) return false;
  int32_t *p = &_buckets[HashObj(key) & (_buckets.size() - 1)];
  while (*p >= 0) {
    Node &n = _nodes[*p];
    if (KeyEq(n.key, key)) {
      int32_t idx = *p;
      *p = n.next;
      SQObjectPtr k = std::move(n.key), v = std::move(n.val);  // released after the node is consistent
      n.key.Null();
      n.next = _free;
      _free = idx;
      _count--;
      return true;
    }
    p = &n.next;
  }
  return false;
}

void SQTable::Clear() {
  std::vector<Node> old;
  old.swap(_nodes);
  _buckets.assign(4, -1);
  _free = -1;
  _count = 0;
}

SQTable *SQTable::Clone() {
  SQTable *t = new SQTable(_sharedstate, _count);
  for (auto &n : _nodes)
    if (n.key._type != OT_NULL) t->NewSlot(n.key, n.val);
  t->SetDelegate(_delegate);
  return t;
}

void SQTable::Mark(std::vector<SQCollectable *> &stack) {
  for (auto &n : _nodes) {
    if (n.key._type == OT_NULL) continue;
    MarkObject(n.key, stack);
    MarkObject(n.val, stack);
  }
  if (_delegate) MarkObject(SQObjectPtr(_delegate), stack);
}

void SQTable::Finalize() {
  Clear();
  SetDelegate(nullptr);
}

void SQArray::Mark(std::vector<SQCollectable *> &stack) {
  for (auto &v : _values) MarkObject(v, stack);
}

// ---------------------------------------------------------------- user data
SQUserData::SQUserData(SQSharedState *ss, SQInteger size) : SQDelegable(ss), _size(size) {
  _data = size > 0 ? calloc(1, (size_t)size) : nullptr;
}

SQUserData::~SQUserData() {
  if (_hook) _hook(_data, _size);
  if (_delegate) SetDelegate(nullptr);
  free(_data);
}

void SQUserData::Mark(std::vector<SQCollectable *> &stack) {
  if (_delegate) MarkObject(SQObjectPtr(_delegate), stack);
}

void SQUserData::Finalize() { SetDelegate(nullptr); }

// ---------------------------------------------------------------- closures
SQObjectPtr &SQOuter::Ref() { return _closed ? _value : _vm->_stack[_idx]; }

void SQOuter::Mark(std::vector<SQCollectable *> &stack) {
  if (_closed) MarkObject(_value, stack);
  else MarkObject(SQObjectPtr(_vm), stack);
}

SQClosure *SQClosure::Clone() {
  SQClosure *c = new SQClosure(_sharedstate, Proto());
  c->_outervalues = _outervalues;
  c->_defaultparams = _defaultparams;
  c->_env = _env;
  c->_base = _base;
  return c;
}

void SQClosure::Mark(std::vector<SQCollectable *> &stack) {
  MarkObject(_function, stack);
  for (auto &o : _outervalues) MarkObject(o, stack);
  for (auto &o : _defaultparams) MarkObject(o, stack);
  MarkObject(_base, stack);
}

void SQClosure::Finalize() {
  _outervalues.clear();
  _defaultparams.clear();
  _base.Null();
  _env.Null();
}

SQNativeClosure *SQNativeClosure::Clone() {
  SQNativeClosure *c = new SQNativeClosure(_sharedstate, _function);
  c->_outervalues = _outervalues;
  c->_typecheck = _typecheck;
  c->_nparamscheck = _nparamscheck;
  c->_name = _name;
  c->_env = _env;
  return c;
}

void SQNativeClosure::Mark(std::vector<SQCollectable *> &stack) {
  for (auto &o : _outervalues) MarkObject(o, stack);
}

void SQNativeClosure::Finalize() {
  _outervalues.clear();
  _env.Null();
}

void SQGenerator::Mark(std::vector<SQCollectable *> &stack) {
  MarkObject(_closure, stack);
  for (auto &o : _stack) MarkObject(o, stack);
}

// ---------------------------------------------------------------- classes
SQClass::SQClass(SQSharedState *ss, SQClass *base) : SQCollectable(ss), _base(base) {
  _members = SQTable::Create(ss);
  _members->_uiRef++;
  if (base) {
    _baseobj = SQObjectPtr(base);
    _defaultvalues = base->_defaultvalues;
    _methods = base->_methods;
    for (auto &n : base->_members->_nodes)
      if (n.key._type != OT_NULL) _members->NewSlot(n.key, n.val);
    for (int i = 0; i < MT_LAST; i++) _metamethods[i] = base->_metamethods[i];
    _constructor = base->_constructor;
    _typetag = base->_typetag;
    _hook = base->_hook;
    _udsize = base->_udsize;
  }
}

SQClass::~SQClass() { sq_release_obj(OT_TABLE, SQObjectValue{.pTable = _members}); }

bool SQClass::NewSlot(SQSharedState *ss, const SQObject &key, const SQObject &val, bool bstatic) {
  bool isfunc = val._type == OT_CLOSURE || val._type == OT_NATIVECLOSURE;
  SQObjectPtr v(val);
  // 'base' inside a method refers to the base class of the class it was added to.
  if (val._type == OT_CLOSURE && _closure(val)->_base._type == OT_NULL && _base) _closure(val)->_base = _baseobj;
  SQObjectPtr desc;
  if (_members->Get(key, desc)) {
    SQInteger d = _integer(desc);
    if ((d & MEMBER_FIELD) && !bstatic && !isfunc) {
      _defaultvalues[d >> 2].val = v;
      return true;
    }
    if ((d & MEMBER_METHOD) && (isfunc || bstatic)) {
      _methods[d >> 2].val = v;
      goto metas;
    }
  }
  if (_locked) return false;  // no new members once instances exist
  if (isfunc || bstatic) {
    _members->NewSlot(key, SQObjectPtr(MakeMemberDesc((SQInteger)_methods.size(), MEMBER_METHOD)));
    _methods.push_back({v, SQObjectPtr()});
  } else {
    _members->NewSlot(key, SQObjectPtr(MakeMemberDesc((SQInteger)_defaultvalues.size(), MEMBER_FIELD)));
    _defaultvalues.push_back({v, SQObjectPtr()});
  }
metas:
  if (key._type == OT_STRING) {
    SQInteger mm = ss->GetMetaMethodIdx(key);
    if (mm >= 0 && isfunc) _metamethods[mm] = v;
    if (isfunc && KeyEq(key, ss->_constructorname)) _constructor = v;
  }
  return true;
}

bool SQClass::Get(const SQObject &key, SQObjectPtr &val) const {
  SQObjectPtr desc;
  if (!_members->Get(key, desc)) return false;
  SQInteger d = _integer(desc);
  val = (d & MEMBER_FIELD) ? _defaultvalues[d >> 2].val : _methods[d >> 2].val;
  return true;
}

bool SQClass::SetAttributes(const SQObject &key, const SQObject &val) {
  SQObjectPtr desc;
  if (!_members->Get(key, desc)) return false;
  SQInteger d = _integer(desc);
  ((d & MEMBER_FIELD) ? _defaultvalues[d >> 2] : _methods[d >> 2]).attrs = val;
  return true;
}

bool SQClass::GetAttributes(const SQObject &key, SQObjectPtr &out) {
  SQObjectPtr desc;
  if (!_members->Get(key, desc)) return false;
  SQInteger d = _integer(desc);
  out = ((d & MEMBER_FIELD) ? _defaultvalues[d >> 2] : _methods[d >> 2]).attrs;
  return true;
}

SQInstance *SQClass::CreateInstance() {
  // An instance of a derived class holds the fields of every class above it,
  // so none of them may grow new members from now on.
  for (SQClass *c = this; c && !c->_locked; c = c->_base) c->_locked = true;
  return new SQInstance(_sharedstate, this);
}

void SQClass::Mark(std::vector<SQCollectable *> &stack) {
  MarkObject(SQObjectPtr(_members), stack);
  MarkObject(_baseobj, stack);
  for (auto &m : _defaultvalues) { MarkObject(m.val, stack); MarkObject(m.attrs, stack); }
  for (auto &m : _methods) { MarkObject(m.val, stack); MarkObject(m.attrs, stack); }
  MarkObject(_attributes, stack);
}

void SQClass::Finalize() {
  _defaultvalues.clear();
  _methods.clear();
  for (auto &m : _metamethods) m.Null();
  _attributes.Null();
  _constructor.Null();
  _members->Clear();
  _base = nullptr;
  _baseobj.Null();
}

SQInstance::SQInstance(SQSharedState *ss, SQClass *c) : SQDelegable(ss), _classobj(c), _class{c} {
  _values.reserve(c->_defaultvalues.size());
  for (auto &m : c->_defaultvalues) _values.push_back(m.val);
  if (c->_udsize > 0) {
    _udmem = calloc(1, (size_t)c->_udsize);
    _userpointer = _udmem;
  }
}

SQInstance::~SQInstance() {
  if (_hook) _hook(_userpointer, 0);
  free(_udmem);
}

SQInstance *SQInstance::Clone() {
  SQInstance *i = new SQInstance(_sharedstate, _class);
  i->_values = _values;
  return i;
}

void SQInstance::Mark(std::vector<SQCollectable *> &stack) {
  MarkObject(_classobj, stack);
  for (auto &v : _values) MarkObject(v, stack);
}

void SQInstance::Finalize() {
  _values.clear();
  _classobj.Null();
}

// ---------------------------------------------------------------- shared state
static const char *kMetaNames[MT_LAST] = {"_add", "_sub", "_mul", "_div", "_unm", "_modulo", "_set", "_get",
                                          "_typeof", "_nexti", "_cmp", "_call", "_cloned", "_newslot",
                                          "_delslot", "_tostring", "_newmember", "_inherited"};

SQSharedState::SQSharedState() { _strbuckets.assign(256, nullptr); }

void SQSharedState::Init(SQVM *root) {
  _rootvm = root;
  for (int i = 0; i < MT_LAST; i++) _metanames[i] = SQObjectPtr(SQStr(this, kMetaNames[i]));
  _constructorname = SQObjectPtr(SQStr(this, "constructor"));
  _registry = SQObjectPtr(SQTable::Create(this));
  _consts = SQObjectPtr(SQTable::Create(this));
  _refs = SQObjectPtr(SQTable::Create(this));
  sq_init_delegates(this);
}

SQInteger SQSharedState::GetMetaMethodIdx(const SQObject &name) const {
  if (name._type != OT_STRING || _string(name)->_len < 2 || _string(name)->_val[0] != '_') return -1;
  for (int i = 0; i < MT_LAST; i++)
    if (_metanames[i]._unVal.pString == name._unVal.pString) return i;
  return -1;
}

// Mark from the roots, then break every unmarked object's references so the
// reference counts of unreachable cycles drop to zero and they free themselves.
SQInteger SQSharedState::CollectGarbage(SQVM *) {
  std::vector<SQCollectable *> stack;
  for (SQCollectable *c = _gclist; c; c = c->_gcnext) c->_marked = false;
  auto root = [&](const SQObject &o) { MarkObject(o, stack); };
  root(SQObjectPtr(_rootvm));
  root(_registry);
  root(_consts);
  root(_refs);
  root(_table_delegate); root(_array_delegate); root(_string_delegate); root(_number_delegate);
  root(_closure_delegate); root(_generator_delegate); root(_thread_delegate); root(_class_delegate);
  root(_instance_delegate); root(_weakref_delegate);
  // Threads that are currently executing are roots as well.
  for (SQCollectable *c = _gclist; c; c = c->_gcnext)
    if (c->GetType() == OT_THREAD && !static_cast<SQVM *>(c)->_frames.empty() &&
        !static_cast<SQVM *>(c)->_suspended && !c->_marked) {
      c->_marked = true;
      stack.push_back(c);
    }
  while (!stack.empty()) {
    SQCollectable *c = stack.back();
    stack.pop_back();
    c->Mark(stack);
  }
  std::vector<SQCollectable *> garbage;
  for (SQCollectable *c = _gclist; c; c = c->_gcnext)
    if (!c->_marked) garbage.push_back(c);
  for (SQCollectable *c : garbage) c->_uiRef++;  // keep them alive while cycles are broken
  for (SQCollectable *c : garbage) c->Finalize();
  SQInteger n = (SQInteger)garbage.size();
  for (SQCollectable *c : garbage)
    if (--c->_uiRef == 0) c->Release();
  return n;
}

void SQSharedState::Finish() {
  _closing = true;
  // Break every remaining reference among collectables, then drop the roots.
  std::vector<SQCollectable *> all;
  for (SQCollectable *c = _gclist; c; c = c->_gcnext) all.push_back(c);
  for (SQCollectable *c : all) c->_uiRef++;
  for (SQCollectable *c : all) c->Finalize();
  _registry.Null(); _consts.Null(); _refs.Null();
  for (auto &m : _metanames) m.Null();
  _constructorname.Null();
  _table_delegate.Null(); _array_delegate.Null(); _string_delegate.Null(); _number_delegate.Null();
  _closure_delegate.Null(); _generator_delegate.Null(); _thread_delegate.Null(); _class_delegate.Null();
  _instance_delegate.Null(); _weakref_delegate.Null();
  for (SQCollectable *c : all)
    if (--c->_uiRef == 0) c->Release();
}
