// Base library (print, assert, type, threads, ...) and the default delegates
// of every value type (len, slice, append, sort, call, getclass, ...).
#include "sqpcheader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

SQObjectPtr &Arg(HSQUIRRELVM v, SQInteger n) { return v->StackGet(n); }
SQInteger NArgs(HSQUIRRELVM v) { return sq_gettop(v); }

SQInteger base_print(HSQUIRRELVM v) {
  const SQChar *s;
  if (SQ_SUCCEEDED(sq_tostring(v, 2)) && SQ_SUCCEEDED(sq_getstring(v, -1, &s))) {
    if (v->SS()->_printfunc) v->SS()->_printfunc(v, "%s", s);
    return 0;
  }
  return SQ_ERROR;
}

SQInteger base_error(HSQUIRRELVM v) {
  const SQChar *s;
  if (SQ_SUCCEEDED(sq_tostring(v, 2)) && SQ_SUCCEEDED(sq_getstring(v, -1, &s))) {
    if (v->SS()->_errorfunc) v->SS()->_errorfunc(v, "%s", s);
    return 0;
  }
  return SQ_ERROR;
}

SQInteger base_getroottable(HSQUIRRELVM v) { v->Push(v->_roottable); return 1; }
SQInteger base_getconsttable(HSQUIRRELVM v) { v->Push(v->SS()->_consts); return 1; }

SQInteger base_setroottable(HSQUIRRELVM v) {
  SQObjectPtr old = v->_roottable;
  if (SQ_FAILED(sq_setroottable(v))) return SQ_ERROR;
  v->Push(old);
  return 1;
}

SQInteger base_setconsttable(HSQUIRRELVM v) {
  SQObjectPtr old = v->SS()->_consts;
  if (SQ_FAILED(sq_setconsttable(v))) return SQ_ERROR;
  v->Push(old);
  return 1;
}

SQInteger base_seterrorhandler(HSQUIRRELVM v) { sq_seterrorhandler(v); return 0; }
SQInteger base_setdebughook(HSQUIRRELVM v) { sq_setdebughook(v); return 0; }

SQInteger base_enabledebuginfo(HSQUIRRELVM v) {
  SQObjectPtr &o = Arg(v, 2);
  sq_enabledebuginfo(v, IsFalse(o) ? SQFalse : SQTrue);
  return 0;
}

SQInteger base_getstackinfos(HSQUIRRELVM v) {
  SQInteger level;
  sq_getinteger(v, -1, &level);
  SQStackInfos si;
  if (SQ_FAILED(sq_stackinfos(v, level, &si))) return 0;
  sq_newtable(v);
  sq_pushstring(v, "func", -1);
  sq_pushstring(v, si.funcname ? si.funcname : "unknown", -1);
  sq_newslot(v, -3, SQFalse);
  sq_pushstring(v, "src", -1);
  sq_pushstring(v, si.source ? si.source : "unknown", -1);
  sq_newslot(v, -3, SQFalse);
  sq_pushstring(v, "line", -1);
  sq_pushinteger(v, si.line);
  sq_newslot(v, -3, SQFalse);
  sq_pushstring(v, "locals", -1);
  sq_newtable(v);
  const SQChar *name;
  for (SQUnsignedInteger i = 0; (name = sq_getlocal(v, (SQUnsignedInteger)level, i)) != nullptr; i++) {
    sq_pushstring(v, name, -1);
    sq_push(v, -2);
    sq_newslot(v, -4, SQFalse);
    sq_pop(v, 1);
  }
  sq_newslot(v, -3, SQFalse);
  return 1;
}

SQInteger base_assert(HSQUIRRELVM v) {
  if (IsFalse(Arg(v, 2))) {
    if (NArgs(v) >= 3 && Arg(v, 3)._type == OT_STRING) return sq_throwerror(v, _string(Arg(v, 3))->_val);
    return sq_throwerror(v, "assertion failed");
  }
  return 0;
}

SQInteger base_array(HSQUIRRELVM v) {
  SQInteger n = tointeger(Arg(v, 2));
  if (n < 0) return sq_throwerror(v, "negative size");
  if (!v->CheckSize(n, SQ_MAX_ARRAY_SIZE, "an array")) return SQ_ERROR;
  SQArray *a = SQArray::Create(v->SS(), n);
  if (NArgs(v) >= 3)
    for (auto &x : a->_values) x = Arg(v, 3);
  v->Push(SQObjectPtr(a));
  return 1;
}

SQInteger base_type(HSQUIRRELVM v) {
  v->Push(SQObjectPtr(SQStr(v->SS(), GetTypeName(Arg(v, 2)))));
  return 1;
}

SQInteger base_callee(HSQUIRRELVM v) {
  // the closure of the script function that called us
  if (v->_frames.size() < 2) return sq_throwerror(v, "no closure in the calls stack");
  v->Push(v->_frames[v->_frames.size() - 2].closure);
  return 1;
}

SQInteger base_collectgarbage(HSQUIRRELVM v) {
  sq_pushinteger(v, sq_collectgarbage(v));
  return 1;
}

SQInteger base_resurrectunreachable(HSQUIRRELVM v) {
  sq_resurrectunreachable(v);
  return 1;
}

SQInteger base_compilestring(HSQUIRRELVM v) {
  const SQChar *src, *name = "unnamedbuffer";
  sq_getstring(v, 2, &src);
  if (NArgs(v) > 2) sq_getstring(v, 3, &name);
  if (SQ_SUCCEEDED(sq_compilebuffer(v, src, _string(Arg(v, 2))->_len, name, SQFalse))) return 1;
  return SQ_ERROR;
}

SQInteger base_newthread(HSQUIRRELVM v) {
  SQObjectPtr func = Arg(v, 2);
  HSQUIRRELVM t = sq_newthread(v, 64);
  t->Push(func);
  return 1;
}

SQInteger base_suspend(HSQUIRRELVM v) {
  if (v->_mainvm && v->_frames.size() <= 2) {
    // suspending the main VM from script hands control back to the host
  }
  return sq_suspendvm(v);
}

// ---------------------------------------------------------------- shared delegate helpers
SQInteger default_tostring(HSQUIRRELVM v) {
  if (SQ_FAILED(sq_tostring(v, 1))) return SQ_ERROR;
  return 1;
}

SQInteger obj_weakref(HSQUIRRELVM v) {
  sq_weakref(v, 1);
  return 1;
}

SQInteger obj_len(HSQUIRRELVM v) {
  sq_pushinteger(v, sq_getsize(v, 1));
  return 1;
}

SQInteger obj_rawget(HSQUIRRELVM v) {
  if (SQ_FAILED(sq_rawget(v, 1))) return SQ_ERROR;
  return 1;
}
SQInteger obj_rawset(HSQUIRRELVM v) {
  if (SQ_FAILED(sq_rawset(v, 1))) return SQ_ERROR;
  return 0;
}
SQInteger obj_rawin(HSQUIRRELVM v) {
  SQObjectPtr self = Arg(v, 1), key = Arg(v, 2), r;
  bool found = false;
  switch (self._type) {
    case OT_TABLE: found = _table(self)->Get(key, r); break;
    case OT_CLASS: found = _class(self)->Get(key, r); break;
    case OT_INSTANCE: found = _instance(self)->Get(key, r); break;
    default: break;
  }
  sq_pushbool(v, found);
  return 1;
}
SQInteger obj_clear(HSQUIRRELVM v) {
  if (SQ_FAILED(sq_clear(v, 1))) return SQ_ERROR;
  v->Push(Arg(v, 1));
  return 1;
}

// ---------------------------------------------------------------- numbers
SQInteger number_tointeger(HSQUIRRELVM v) {
  SQObjectPtr &o = Arg(v, 1);
  sq_pushinteger(v, o._type == OT_BOOL ? _integer(o) : tointeger(o));
  return 1;
}
SQInteger number_tofloat(HSQUIRRELVM v) {
  SQObjectPtr &o = Arg(v, 1);
  sq_pushfloat(v, o._type == OT_BOOL ? (SQFloat)_integer(o) : tofloat(o));
  return 1;
}
SQInteger number_tochar(HSQUIRRELVM v) {
  char c = (char)tointeger(Arg(v, 1));
  sq_pushstring(v, &c, 1);
  return 1;
}

// ---------------------------------------------------------------- strings
}  // namespace

bool sq_str_to_number(const char *s, SQObjectPtr &out, bool allowfloat) {
  while (*s == ' ' || *s == '\t' || *s == '\n' || *s == '\r') s++;
  if (!*s) return false;
  char *end;
  const char *p = s;
  if (*p == '-' || *p == '+') p++;
  bool isfloat = false;
  for (const char *q = p; *q; q++)
    if (*q == '.' || *q == 'e' || *q == 'E') isfloat = true;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) isfloat = false;
  if (isfloat) {
    double d = strtod(s, &end);
    if (end == s) return false;
    while (*end == ' ' || *end == '\t' || *end == '\n' || *end == '\r') end++;
    if (*end) return false;
    if (allowfloat) out = SQObjectPtr((SQFloat)d);
    else out = SQObjectPtr(sq_float_to_integer(d));
    return true;
  }
  long long n = strtoll(s, &end, 0);
  if (end == s) return false;
  while (*end == ' ' || *end == '\t' || *end == '\n' || *end == '\r') end++;
  if (*end) return false;
  out = allowfloat ? SQObjectPtr((SQFloat)n) : SQObjectPtr((SQInteger)n);
  return true;
}

namespace {

SQInteger string_tointeger(HSQUIRRELVM v) {
  SQObjectPtr r;
  if (NArgs(v) > 1) {
    SQInteger base = tointeger(Arg(v, 2));
    char *end;
    const char *s = _string(Arg(v, 1))->_val;
    long long n = strtoll(s, &end, (int)base);
    if (end == s || *end) return sq_throwerror(v, "cannot convert the string");
    sq_pushinteger(v, n);
    return 1;
  }
  if (!sq_str_to_number(_string(Arg(v, 1))->_val, r, false)) return sq_throwerror(v, "cannot convert the string");
  v->Push(r);
  return 1;
}
SQInteger string_tofloat(HSQUIRRELVM v) {
  SQObjectPtr r;
  if (!sq_str_to_number(_string(Arg(v, 1))->_val, r, true)) return sq_throwerror(v, "cannot convert the string");
  v->Push(r);
  return 1;
}

// Resolves slice(start, end) bounds with negative values counting from the end.
bool SliceBounds(HSQUIRRELVM v, SQInteger len, SQInteger &s, SQInteger &e) {
  s = NArgs(v) > 1 ? tointeger(Arg(v, 2)) : 0;
  e = NArgs(v) > 2 && Arg(v, 3)._type != OT_NULL ? tointeger(Arg(v, 3)) : len;
  if (s < 0) s += len;
  if (e < 0) e += len;
  if (s < 0 || s > len) { sq_throwerror(v, "slice out of range"); return false; }
  if (e < s || e > len) { sq_throwerror(v, e < s ? "wrong indexes" : "slice out of range"); return false; }
  return true;
}

SQInteger string_slice(HSQUIRRELVM v) {
  SQString *str = _string(Arg(v, 1));
  SQInteger s, e;
  if (!SliceBounds(v, str->_len, s, e)) return SQ_ERROR;
  sq_pushstring(v, str->_val + s, e - s);
  return 1;
}

SQInteger string_find(HSQUIRRELVM v) {
  SQString *str = _string(Arg(v, 1)), *sub = _string(Arg(v, 2));
  SQInteger start = NArgs(v) > 2 ? tointeger(Arg(v, 3)) : 0;
  if (start < 0 || start > str->_len) return 0;
  std::string_view hay(str->_val, str->_len);
  size_t pos = hay.find(std::string_view(sub->_val, sub->_len), (size_t)start);
  if (pos == std::string_view::npos) return 0;
  sq_pushinteger(v, (SQInteger)pos);
  return 1;
}

SQInteger string_case(HSQUIRRELVM v, bool upper) {
  SQString *str = _string(Arg(v, 1));
  std::string s(str->_val, str->_len);
  for (auto &c : s) c = upper ? (char)toupper((unsigned char)c) : (char)tolower((unsigned char)c);
  sq_pushstring(v, s.data(), (SQInteger)s.size());
  return 1;
}
SQInteger string_tolower(HSQUIRRELVM v) { return string_case(v, false); }
SQInteger string_toupper(HSQUIRRELVM v) { return string_case(v, true); }

// ---------------------------------------------------------------- tables
SQInteger table_rawdelete(HSQUIRRELVM v) {
  if (SQ_FAILED(sq_rawdeleteslot(v, 1, SQTrue))) return SQ_ERROR;
  return 1;
}
SQInteger table_setdelegate(HSQUIRRELVM v) {
  if (SQ_FAILED(sq_setdelegate(v, 1))) return SQ_ERROR;
  sq_push(v, 1);
  return 1;
}
SQInteger table_getdelegate(HSQUIRRELVM v) { return SQ_SUCCEEDED(sq_getdelegate(v, 1)) ? 1 : SQ_ERROR; }

// ---------------------------------------------------------------- arrays
std::vector<SQObjectPtr> &Vals(HSQUIRRELVM v) { return _array(Arg(v, 1))->_values; }

SQInteger array_append(HSQUIRRELVM v) {
  if (!v->CheckSize((SQInteger)Vals(v).size() + 1, SQ_MAX_ARRAY_SIZE, "an array")) return SQ_ERROR;
  Vals(v).push_back(Arg(v, 2));
  sq_push(v, 1);
  return 1;
}
SQInteger array_extend(HSQUIRRELVM v) {
  SQObjectPtr other = Arg(v, 2);
  auto &src = _array(other)->_values;
  if (!v->CheckSize((SQInteger)(Vals(v).size() + src.size()), SQ_MAX_ARRAY_SIZE, "an array")) return SQ_ERROR;
  std::vector<SQObjectPtr> copy(src);
  for (auto &x : copy) Vals(v).push_back(x);
  sq_push(v, 1);
  return 1;
}
SQInteger array_pop(HSQUIRRELVM v) { return SQ_SUCCEEDED(sq_arraypop(v, 1, SQTrue)) ? 1 : SQ_ERROR; }
SQInteger array_top(HSQUIRRELVM v) {
  auto &a = Vals(v);
  if (a.empty()) return sq_throwerror(v, "top() on a empty array");
  v->Push(a.back());
  return 1;
}
SQInteger array_insert(HSQUIRRELVM v) {
  SQInteger idx = tointeger(Arg(v, 2));
  auto &a = Vals(v);
  if (idx < 0 || idx > (SQInteger)a.size()) return sq_throwerror(v, "index out of range");
  if (!v->CheckSize((SQInteger)a.size() + 1, SQ_MAX_ARRAY_SIZE, "an array")) return SQ_ERROR;
  a.insert(a.begin() + idx, Arg(v, 3));
  sq_push(v, 1);
  return 1;
}
SQInteger array_remove(HSQUIRRELVM v) {
  SQInteger idx = tointeger(Arg(v, 2));
  auto &a = Vals(v);
  if (idx < 0 || idx >= (SQInteger)a.size()) return sq_throwerror(v, "index out of range");
  SQObjectPtr val = a[idx];
  a.erase(a.begin() + idx);
  v->Push(val);
  return 1;
}
SQInteger array_resize(HSQUIRRELVM v) {
  SQInteger n = tointeger(Arg(v, 2));
  if (n < 0) return sq_throwerror(v, "negative size");
  if (!v->CheckSize(n, SQ_MAX_ARRAY_SIZE, "an array")) return SQ_ERROR;
  SQObjectPtr fill = NArgs(v) > 2 ? Arg(v, 3) : SQObjectPtr();
  auto &a = Vals(v);
  size_t old = a.size();
  a.resize(n);
  for (size_t i = old; i < a.size(); i++) a[i] = fill;
  sq_push(v, 1);
  return 1;
}
SQInteger array_reverse(HSQUIRRELVM v) {
  sq_arrayreverse(v, 1);
  sq_push(v, 1);
  return 1;
}
SQInteger array_slice(HSQUIRRELVM v) {
  auto &a = Vals(v);
  SQInteger s, e;
  if (!SliceBounds(v, (SQInteger)a.size(), s, e)) return SQ_ERROR;
  SQArray *r = SQArray::Create(v->SS(), 0);
  r->_values.assign(a.begin() + s, a.begin() + e);
  v->Push(SQObjectPtr(r));
  return 1;
}

// Calls f with this = root (or the env) and the given arguments; result in res.
bool CallFn(HSQUIRRELVM v, const SQObjectPtr &f, std::initializer_list<SQObjectPtr> args, SQObjectPtr &res) {
  SQInteger base = v->_top;
  v->Push(v->_roottable);
  for (auto &a : args) v->Push(a);
  bool ok = v->Call(f, (SQInteger)args.size() + 1, base, res, v->_raiseerror);
  while (v->_top > base) v->Pop();
  return ok;
}

SQInteger array_map(HSQUIRRELVM v) {
  SQObjectPtr arr = Arg(v, 1), f = Arg(v, 2);
  SQArray *r = SQArray::Create(v->SS(), 0);
  SQObjectPtr hold(r);
  for (SQInteger i = 0; i < _array(arr)->Size(); i++) {
    SQObjectPtr res;
    if (!CallFn(v, f, {_array(arr)->_values[i]}, res)) return SQ_ERROR;
    r->_values.push_back(res);
  }
  v->Push(hold);
  return 1;
}
SQInteger array_apply(HSQUIRRELVM v) {
  SQObjectPtr arr = Arg(v, 1), f = Arg(v, 2);
  for (SQInteger i = 0; i < _array(arr)->Size(); i++) {
    SQObjectPtr res;
    if (!CallFn(v, f, {_array(arr)->_values[i]}, res)) return SQ_ERROR;
    if (i < _array(arr)->Size()) _array(arr)->_values[i] = res;
  }
  v->Push(arr);
  return 1;
}
SQInteger array_reduce(HSQUIRRELVM v) {
  SQObjectPtr arr = Arg(v, 1), f = Arg(v, 2);
  auto &a = _array(arr)->_values;
  if (a.empty()) return 0;
  SQObjectPtr acc = a[0];
  for (SQInteger i = 1; i < _array(arr)->Size(); i++) {
    SQObjectPtr res;
    if (!CallFn(v, f, {acc, _array(arr)->_values[i]}, res)) return SQ_ERROR;
    acc = res;
  }
  v->Push(acc);
  return 1;
}
SQInteger array_filter(HSQUIRRELVM v) {
  SQObjectPtr arr = Arg(v, 1), f = Arg(v, 2);
  SQArray *r = SQArray::Create(v->SS(), 0);
  SQObjectPtr hold(r);
  for (SQInteger i = 0; i < _array(arr)->Size(); i++) {
    SQObjectPtr res, val = _array(arr)->_values[i];
    if (!CallFn(v, f, {SQObjectPtr(i), val}, res)) return SQ_ERROR;
    if (!IsFalse(res)) r->_values.push_back(val);
  }
  v->Push(hold);
  return 1;
}
SQInteger array_find(HSQUIRRELVM v) {
  auto &a = Vals(v);
  for (size_t i = 0; i < a.size(); i++)
    if (SQVM::IsEqual(a[i], Arg(v, 2))) {
      sq_pushinteger(v, (SQInteger)i);
      return 1;
    }
  return 0;
}

// Merge sort on a copy so a comparator that misbehaves cannot corrupt memory.
bool SortCompare(HSQUIRRELVM v, const SQObjectPtr &f, const SQObjectPtr &a, const SQObjectPtr &b, SQInteger &r) {
  if (f._type == OT_NULL) return v->ObjCmp(a, b, r);
  SQObjectPtr res;
  if (!CallFn(v, f, {a, b}, res)) return false;
  if (res._type != OT_INTEGER) {
    v->RaiseError("numeric value expected as return value of the compare function");
    return false;
  }
  r = _integer(res);
  return true;
}

bool MergeSort(HSQUIRRELVM v, const SQObjectPtr &f, std::vector<SQObjectPtr> &a, std::vector<SQObjectPtr> &tmp,
               size_t lo, size_t hi) {
  if (hi - lo < 2) return true;
  if (hi - lo <= 12) {
    for (size_t i = lo + 1; i < hi; i++) {
      SQObjectPtr x = std::move(a[i]);
      size_t j = i;
      while (j > lo) {
        SQInteger r;
        if (!SortCompare(v, f, a[j - 1], x, r)) { a[j] = std::move(x); return false; }
        if (r <= 0) break;
        a[j] = std::move(a[j - 1]);
        j--;
      }
      a[j] = std::move(x);
    }
    return true;
  }
  size_t mid = lo + (hi - lo) / 2;
  if (!MergeSort(v, f, a, tmp, lo, mid) || !MergeSort(v, f, a, tmp, mid, hi)) return false;
  size_t i = lo, j = mid, k = lo;
  while (i < mid && j < hi) {
    SQInteger r;
    if (!SortCompare(v, f, a[j], a[i], r)) {
      while (i < mid) tmp[k++] = std::move(a[i++]);
      while (j < hi) tmp[k++] = std::move(a[j++]);
      for (size_t n = lo; n < hi; n++) if (tmp[n]._type != OT_NULL || true) a[n] = std::move(tmp[n]);
      return false;
    }
    if (r < 0) tmp[k++] = std::move(a[j++]);
    else tmp[k++] = std::move(a[i++]);
  }
  while (i < mid) tmp[k++] = std::move(a[i++]);
  while (j < hi) tmp[k++] = std::move(a[j++]);
  for (size_t n = lo; n < hi; n++) a[n] = std::move(tmp[n]);
  return true;
}

SQInteger array_sort(HSQUIRRELVM v) {
  SQObjectPtr arr = Arg(v, 1);
  SQObjectPtr f = NArgs(v) > 1 ? Arg(v, 2) : SQObjectPtr();
  std::vector<SQObjectPtr> work = _array(arr)->_values;
  bool allint = f._type == OT_NULL;
  for (auto &x : work)
    if (x._type != OT_INTEGER) { allint = false; break; }
  if (allint) {
    std::stable_sort(work.begin(), work.end(),
                     [](const SQObjectPtr &a, const SQObjectPtr &b) { return _integer(a) < _integer(b); });
  } else {
    std::vector<SQObjectPtr> tmp(work.size());
    if (!MergeSort(v, f, work, tmp, 0, work.size())) return SQ_ERROR;
  }
  _array(arr)->_values.swap(work);
  sq_push(v, 1);
  return 1;
}

// ---------------------------------------------------------------- closures
SQInteger closure_call(HSQUIRRELVM v) {
  SQInteger n = NArgs(v);
  SQObjectPtr f = Arg(v, 1), res;
  if (!v->Call(f, n - 1, v->_stackbase + 1, res, v->_raiseerror)) return SQ_ERROR;
  v->Push(res);
  return 1;
}
SQInteger closure_pcall(HSQUIRRELVM v) {
  SQInteger n = NArgs(v);
  SQObjectPtr f = Arg(v, 1), res;
  if (!v->Call(f, n - 1, v->_stackbase + 1, res, false)) return SQ_ERROR;
  v->Push(res);
  return 1;
}
SQInteger closure_acall_impl(HSQUIRRELVM v, bool raise) {
  SQObjectPtr f = Arg(v, 1), arr = Arg(v, 2), res;
  auto vals = _array(arr)->_values;
  if (vals.empty()) return sq_throwerror(v, "the array must contain at least the 'this' parameter");
  SQInteger base = v->_top;
  for (auto &x : vals) v->Push(x);
  bool ok = v->Call(f, (SQInteger)vals.size(), base, res, raise && v->_raiseerror);
  while (v->_top > base) v->Pop();
  if (!ok) return SQ_ERROR;
  v->Push(res);
  return 1;
}
SQInteger closure_acall(HSQUIRRELVM v) { return closure_acall_impl(v, true); }
SQInteger closure_pacall(HSQUIRRELVM v) { return closure_acall_impl(v, false); }
SQInteger closure_bindenv(HSQUIRRELVM v) {
  if (SQ_FAILED(sq_bindenv(v, 1))) return SQ_ERROR;
  return 1;
}
SQInteger closure_getinfos(HSQUIRRELVM v) {
  SQObjectPtr f = Arg(v, 1);
  SQTable *t = SQTable::Create(v->SS());
  SQObjectPtr hold(t);
  auto S = [&](const char *s) { return SQObjectPtr(SQStr(v->SS(), s)); };
  if (f._type == OT_CLOSURE) {
    SQFunctionProto *p = _closure(f)->Proto();
    SQArray *params = SQArray::Create(v->SS(), 0);
    SQObjectPtr ph(params);
    for (auto &l : p->_locals)
      if (l.pos > 0 && l.pos < p->_nparams) {
        if ((SQInteger)params->_values.size() < l.pos) params->_values.resize(l.pos);
        params->_values[l.pos - 1] = l.name;
      }
    params->_values.insert(params->_values.begin(), S("this"));
    if (p->_varparams) params->_values.push_back(S("..."));
    SQArray *defs = SQArray::Create(v->SS(), 0);
    SQObjectPtr dh(defs);
    defs->_values = _closure(f)->_defaultparams;
    t->NewSlot(S("native"), SQObjectPtr(false));
    t->NewSlot(S("name"), p->_name);
    t->NewSlot(S("src"), p->_sourcename);
    t->NewSlot(S("parameters"), ph);
    t->NewSlot(S("varargs"), SQObjectPtr(p->_varparams));
    t->NewSlot(S("defparams"), dh);
  } else {
    SQNativeClosure *nc = _nativeclosure(f);
    SQArray *tc = SQArray::Create(v->SS(), 0);
    SQObjectPtr th(tc);
    for (SQInteger m : nc->_typecheck) tc->_values.push_back(SQObjectPtr(m));
    t->NewSlot(S("native"), SQObjectPtr(true));
    t->NewSlot(S("name"), nc->_name);
    t->NewSlot(S("paramscheck"), SQObjectPtr(nc->_nparamscheck));
    t->NewSlot(S("typecheck"), th);
  }
  v->Push(hold);
  return 1;
}

// ---------------------------------------------------------------- generators and threads
SQInteger generator_getstatus(HSQUIRRELVM v) {
  static const char *names[] = {"running", "suspended", "dead"};
  sq_pushstring(v, names[_generator(Arg(v, 1))->_state], -1);
  return 1;
}

SQInteger thread_call(HSQUIRRELVM v) {
  SQVM *t = _thread(Arg(v, 1));
  SQObjectPtr hold = Arg(v, 1);
  if (t->_suspended || !t->_frames.empty()) return sq_throwerror(v, "wrong thread state");
  if (t->_top < 1) return sq_throwerror(v, "the thread has no function to call");
  SQObjectPtr f = t->_stack[0];
  SQInteger n = NArgs(v);
  SQInteger base = t->_top;
  t->Push(v->_roottable);
  for (SQInteger i = 2; i <= n; i++) t->Push(Arg(v, i));
  SQObjectPtr res;
  bool ok = t->Call(f, n, base, res, v->_raiseerror);
  if (!ok) {
    while (t->_top > base) t->Pop();
    v->_lasterror = t->_lasterror;
    v->_errorhandled = t->_errorhandled;
    return SQ_ERROR;
  }
  if (!t->_suspended) while (t->_top > base) t->Pop();
  v->Push(res);
  return 1;
}

SQInteger thread_wakeup(HSQUIRRELVM v) {
  SQVM *t = _thread(Arg(v, 1));
  SQObjectPtr hold = Arg(v, 1);
  if (!t->_suspended) return sq_throwerror(v, t->_frames.empty() ? "cannot wakeup a idle thread" : "cannot wakeup a running thread");
  SQObjectPtr val = NArgs(v) > 1 ? Arg(v, 2) : SQObjectPtr(), res;
  bool ok = t->WakeUp(val, NArgs(v) > 1, res, v->_raiseerror);
  if (!ok) {
    v->_lasterror = t->_lasterror;
    v->_errorhandled = t->_errorhandled;
    return SQ_ERROR;
  }
  if (!t->_suspended) while (t->_top > 1) t->Pop();
  v->Push(res);
  return 1;
}

SQInteger thread_getstatus(HSQUIRRELVM v) {
  static const char *names[] = {"idle", "running", "suspended"};
  sq_pushstring(v, names[sq_getvmstate(_thread(Arg(v, 1)))], -1);
  return 1;
}

SQInteger thread_getstackinfos(HSQUIRRELVM v) {
  SQVM *t = _thread(Arg(v, 1));
  SQInteger level = tointeger(Arg(v, 2));
  SQStackInfos si;
  if (SQ_FAILED(sq_stackinfos(t, level, &si))) return 0;
  sq_newtable(v);
  sq_pushstring(v, "func", -1);
  sq_pushstring(v, si.funcname ? si.funcname : "unknown", -1);
  sq_newslot(v, -3, SQFalse);
  sq_pushstring(v, "src", -1);
  sq_pushstring(v, si.source ? si.source : "unknown", -1);
  sq_newslot(v, -3, SQFalse);
  sq_pushstring(v, "line", -1);
  sq_pushinteger(v, si.line);
  sq_newslot(v, -3, SQFalse);
  return 1;
}

// ---------------------------------------------------------------- classes and instances
SQInteger class_getattributes(HSQUIRRELVM v) { return SQ_SUCCEEDED(sq_getattributes(v, 1)) ? 1 : SQ_ERROR; }
SQInteger class_setattributes(HSQUIRRELVM v) { return SQ_SUCCEEDED(sq_setattributes(v, 1)) ? 1 : SQ_ERROR; }
SQInteger class_instance(HSQUIRRELVM v) { return SQ_SUCCEEDED(sq_createinstance(v, 1)) ? 1 : SQ_ERROR; }
SQInteger class_getbase(HSQUIRRELVM v) { return SQ_SUCCEEDED(sq_getbase(v, 1)) ? 1 : SQ_ERROR; }
SQInteger class_newmember(HSQUIRRELVM v, bool raw) {
  SQObjectPtr self = Arg(v, 1), key = Arg(v, 2);
  SQObjectPtr val = NArgs(v) > 2 ? Arg(v, 3) : SQObjectPtr();
  SQObjectPtr attrs = NArgs(v) > 3 ? Arg(v, 4) : SQObjectPtr();
  bool bstatic = NArgs(v) > 4 && !IsFalse(Arg(v, 5));
  if (!v->NewSlot(self, key, val, bstatic, raw)) return SQ_ERROR;
  if (attrs._type != OT_NULL) _class(self)->SetAttributes(key, attrs);
  return 0;
}
SQInteger class_newmember_(HSQUIRRELVM v) { return class_newmember(v, false); }
SQInteger class_rawnewmember(HSQUIRRELVM v) { return class_newmember(v, true); }

SQInteger instance_getclass(HSQUIRRELVM v) { return SQ_SUCCEEDED(sq_getclass(v, 1)) ? 1 : SQ_ERROR; }

SQInteger weakref_ref(HSQUIRRELVM v) { return SQ_SUCCEEDED(sq_getweakrefval(v, 1)) ? 1 : SQ_ERROR; }

struct Reg {
  const char *name;
  SQFUNCTION f;
  SQInteger nparams;
  const char *mask;
};

SQObjectPtr MakeDelegate(SQSharedState *ss, const Reg *regs) {
  SQTable *t = SQTable::Create(ss);
  SQObjectPtr hold(t);
  for (const Reg *r = regs; r->name; r++) {
    SQNativeClosure *nc = new SQNativeClosure(ss, r->f);
    SQObjectPtr nh(nc);
    nc->_nparamscheck = r->nparams;
    nc->_name = SQObjectPtr(SQStr(ss, r->name));
    if (r->mask) sq_compile_typemask(r->mask, nc->_typecheck);
    t->NewSlot(SQObjectPtr(SQStr(ss, r->name)), nh);
  }
  return hold;
}

const Reg kNumberDelegate[] = {{"tointeger", number_tointeger, 1, "n|b"}, {"tofloat", number_tofloat, 1, "n|b"},
                               {"tostring", default_tostring, 1, "."}, {"tochar", number_tochar, 1, "n|b"},
                               {"weakref", obj_weakref, 1, nullptr}, {nullptr, nullptr, 0, nullptr}};
const Reg kStringDelegate[] = {{"len", obj_len, 1, "s"}, {"tointeger", string_tointeger, -1, "si"},
                               {"tofloat", string_tofloat, 1, "s"}, {"tostring", default_tostring, 1, "."},
                               {"slice", string_slice, -1, "s n n|o"}, {"find", string_find, -2, "s s n"},
                               {"tolower", string_tolower, 1, "s"}, {"toupper", string_toupper, 1, "s"},
                               {"weakref", obj_weakref, 1, nullptr}, {nullptr, nullptr, 0, nullptr}};
const Reg kTableDelegate[] = {{"len", obj_len, 1, "t"}, {"rawget", obj_rawget, 2, "t"},
                              {"rawset", obj_rawset, 3, "t"}, {"rawdelete", table_rawdelete, 2, "t"},
                              {"rawin", obj_rawin, 2, "t"}, {"weakref", obj_weakref, 1, nullptr},
                              {"tostring", default_tostring, 1, "."}, {"clear", obj_clear, 1, "."},
                              {"setdelegate", table_setdelegate, 2, "t t|o"},
                              {"getdelegate", table_getdelegate, 1, "."}, {nullptr, nullptr, 0, nullptr}};
const Reg kArrayDelegate[] = {{"len", obj_len, 1, "a"}, {"append", array_append, 2, "a"},
                              {"extend", array_extend, 2, "aa"}, {"push", array_append, 2, "a"},
                              {"pop", array_pop, 1, "a"}, {"top", array_top, 1, "a"},
                              {"insert", array_insert, 3, "an"}, {"remove", array_remove, 2, "an"},
                              {"resize", array_resize, -2, "an"}, {"reverse", array_reverse, 1, "a"},
                              {"sort", array_sort, -1, "ac"}, {"slice", array_slice, -1, "a n n|o"},
                              {"weakref", obj_weakref, 1, nullptr}, {"tostring", default_tostring, 1, "."},
                              {"clear", obj_clear, 1, "."}, {"map", array_map, 2, "ac"},
                              {"apply", array_apply, 2, "ac"}, {"reduce", array_reduce, 2, "ac"},
                              {"filter", array_filter, 2, "ac"}, {"find", array_find, 2, "a."},
                              {nullptr, nullptr, 0, nullptr}};
const Reg kClosureDelegate[] = {{"call", closure_call, -1, "c"}, {"pcall", closure_pcall, -1, "c"},
                                {"acall", closure_acall, 2, "ca"}, {"pacall", closure_pacall, 2, "ca"},
                                {"weakref", obj_weakref, 1, nullptr}, {"tostring", default_tostring, 1, "."},
                                {"bindenv", closure_bindenv, 2, "c x|y|t"},
                                {"getinfos", closure_getinfos, 1, "c"}, {nullptr, nullptr, 0, nullptr}};
const Reg kGeneratorDelegate[] = {{"getstatus", generator_getstatus, 1, "g"},
                                  {"weakref", obj_weakref, 1, nullptr},
                                  {"tostring", default_tostring, 1, "."}, {nullptr, nullptr, 0, nullptr}};
const Reg kThreadDelegate[] = {{"call", thread_call, -1, "v"}, {"wakeup", thread_wakeup, -1, "v"},
                               {"getstatus", thread_getstatus, 1, "v"}, {"weakref", obj_weakref, 1, nullptr},
                               {"getstackinfos", thread_getstackinfos, 2, "vn"},
                               {"tostring", default_tostring, 1, "."}, {nullptr, nullptr, 0, nullptr}};
const Reg kClassDelegate[] = {{"getattributes", class_getattributes, 2, "y."},
                              {"setattributes", class_setattributes, 3, "y.."},
                              {"rawget", obj_rawget, 2, "y"}, {"rawset", obj_rawset, 3, "y"},
                              {"rawin", obj_rawin, 2, "y"}, {"weakref", obj_weakref, 1, nullptr},
                              {"tostring", default_tostring, 1, "."}, {"instance", class_instance, 1, "y"},
                              {"getbase", class_getbase, 1, "y"}, {"newmember", class_newmember_, -3, "y"},
                              {"rawnewmember", class_rawnewmember, -3, "y"}, {nullptr, nullptr, 0, nullptr}};
const Reg kInstanceDelegate[] = {{"getclass", instance_getclass, 1, "x"}, {"rawget", obj_rawget, 2, "x"},
                                 {"rawset", obj_rawset, 3, "x"}, {"rawin", obj_rawin, 2, "x"},
                                 {"weakref", obj_weakref, 1, nullptr}, {"tostring", default_tostring, 1, "."},
                                 {nullptr, nullptr, 0, nullptr}};
const Reg kWeakrefDelegate[] = {{"ref", weakref_ref, 1, "r"}, {"weakref", obj_weakref, 1, nullptr},
                                {"tostring", default_tostring, 1, "."}, {nullptr, nullptr, 0, nullptr}};

const Reg kBaseFuncs[] = {{"seterrorhandler", base_seterrorhandler, 2, nullptr},
                          {"setdebughook", base_setdebughook, 2, nullptr},
                          {"enabledebuginfo", base_enabledebuginfo, 2, nullptr},
                          {"getstackinfos", base_getstackinfos, 2, ".n"},
                          {"getroottable", base_getroottable, 1, nullptr},
                          {"setroottable", base_setroottable, 2, nullptr},
                          {"getconsttable", base_getconsttable, 1, nullptr},
                          {"setconsttable", base_setconsttable, 2, nullptr},
                          {"assert", base_assert, -2, nullptr},
                          {"print", base_print, 2, nullptr},
                          {"error", base_error, 2, nullptr},
                          {"compilestring", base_compilestring, -2, ".ss"},
                          {"newthread", base_newthread, 2, ".c"},
                          {"suspend", base_suspend, -1, nullptr},
                          {"array", base_array, -2, ".n"},
                          {"type", base_type, 2, nullptr},
                          {"callee", base_callee, 1, nullptr},
                          {"collectgarbage", base_collectgarbage, 1, nullptr},
                          {"resurrectunreachable", base_resurrectunreachable, 1, nullptr},
                          {nullptr, nullptr, 0, nullptr}};

}  // namespace

void sq_init_delegates(SQSharedState *ss) {
  ss->_number_delegate = MakeDelegate(ss, kNumberDelegate);
  ss->_string_delegate = MakeDelegate(ss, kStringDelegate);
  ss->_table_delegate = MakeDelegate(ss, kTableDelegate);
  ss->_array_delegate = MakeDelegate(ss, kArrayDelegate);
  ss->_closure_delegate = MakeDelegate(ss, kClosureDelegate);
  ss->_generator_delegate = MakeDelegate(ss, kGeneratorDelegate);
  ss->_thread_delegate = MakeDelegate(ss, kThreadDelegate);
  ss->_class_delegate = MakeDelegate(ss, kClassDelegate);
  ss->_instance_delegate = MakeDelegate(ss, kInstanceDelegate);
  ss->_weakref_delegate = MakeDelegate(ss, kWeakrefDelegate);
}

void sq_register_baselib(SQVM *v) {
  SQSharedState *ss = v->SS();
  SQObjectPtr fns = MakeDelegate(ss, kBaseFuncs);
  SQTable *root = _table(v->_roottable);
  SQTable *t = _table(fns);
  for (auto &n : t->_nodes)
    if (n.key._type != OT_NULL) root->NewSlot(n.key, n.val);
  auto S = [&](const char *s) { return SQObjectPtr(SQStr(ss, s)); };
  root->NewSlot(S("_versionnumber_"), SQObjectPtr((SQInteger)SQUIRREL_VERSION_NUMBER));
  root->NewSlot(S("_version_"), S(SQUIRREL_VERSION));
  root->NewSlot(S("_charsize_"), SQObjectPtr((SQInteger)sizeof(SQChar)));
  root->NewSlot(S("_intsize_"), SQObjectPtr((SQInteger)sizeof(SQInteger)));
  root->NewSlot(S("_floatsize_"), SQObjectPtr((SQInteger)sizeof(SQFloat)));
}
