#pragma once
// The thin layer between native code and Squirrel: VM life, compiling and
// running files, classes and instances of native types, references to script
// objects, typed native functions, methods and constructors, and typed calls
// of script functions. Only the public Squirrel C API is used, so the layer
// builds against our engine and against an installed Squirrel 3 alike.
//
// Errors: conversion and call failures throw SquirrelError, which unwinds
// through the running script to the native code that started the outermost
// call; only dispatch failures (nothing stored, wrong 'this') are raised
// inside the script with sq_throwerror. A failed call of a script function
// throws the script's own error with its place, so owners never need to
// read the VM's error text themselves.
#include <squirrel.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

#include "platform/math_types.h"

namespace sqbind {

// How a script call failed.
enum class ScriptErrorKind : uint8_t {
  Failed,    // the script or a native it called raised an error
  TimedOut,  // the VM's time limit stopped the call
};

// The one exception of the layer: what went wrong in a script, or in a native
// function a script called, and where in the script. It owns its text and
// place, so it stays readable however long it is kept.
struct SquirrelError {
  ScriptErrorKind kind = ScriptErrorKind::Failed;
  char text[1024];
  char file[260];  // as its author sees it (relative to the program folder); "" when unknown
  int line = 0;    // 0 when unknown
  int column = 0;  // 0 when unknown
  bool logged = false;  // the VM's error handler has already written it to the log

  explicit SquirrelError(const char* t, ScriptErrorKind k = ScriptErrorKind::Failed);
  const char* what() const { return text; }
  bool hasPlace() const { return file[0] != 0; }
  void setPlace(const char* source, SQInteger line, SQInteger column);
  // "file:line:column: text" with the parts of the place that are known.
  std::string describe() const;
  // "file:line:column" ("" when unknown).
  std::string place() const;
};

inline constexpr const char* TYPE_ERROR = "sq_get*() failed (type error)";
inline constexpr const char* INST_ERROR = "getInst: invalid argument type";

// ---- VM life ----
HSQUIRRELVM open_vm(SQInteger initial_stack);
void close_vm(HSQUIRRELVM vm);
void print_func(HSQUIRRELVM vm, const SQChar* fmt, ...);
void compiler_error(HSQUIRRELVM vm, const SQChar* desc, const SQChar* source, SQInteger line, SQInteger column);
// The runtime error handler: the error and the call stack through the print
// function, and the locals of each level when set_print_locals (or the
// environment variable TOLVANE_SCRIPT_LOCALS) asks for them.
SQInteger print_call_stack(HSQUIRRELVM vm);
void set_print_locals(bool on);

bool compile_buffer(HSQUIRRELVM vm, const char* text, SQInteger length, const char* source_name);
bool compile_file(HSQUIRRELVM vm, const char* path);
bool run_file(HSQUIRRELVM vm, const char* path);

// The VM's last error as text ("unknown error" when it is not a string).
std::string last_error_text(HSQUIRRELVM vm);
// The VM's last error as the exception: with the place its handlers noted,
// and TimedOut when the VM's time limit stopped the call.
SquirrelError last_error(HSQUIRRELVM vm);
[[noreturn]] void throw_last_error(HSQUIRRELVM vm);

// ---- object holder ----
class SqObject {
 public:
  HSQOBJECT obj;
  HSQUIRRELVM vm = nullptr;

  SqObject() { sq_resetobject(&obj); }
  // Takes (and references) the object at a stack slot; stays empty on failure.
  SqObject(HSQUIRRELVM v, SQInteger idx) {
    sq_resetobject(&obj);
    fromStack(v, idx);
  }
  SqObject(const SqObject& o) : obj(o.obj), vm(o.vm) {
    if (vm) sq_addref(vm, &obj);
  }
  SqObject& operator=(const SqObject& o) {
    if (this == &o) return *this;
    HSQOBJECT nobj = o.obj;
    if (o.vm) sq_addref(o.vm, &nobj);
    release();
    obj = nobj;
    vm = o.vm;
    return *this;
  }
  ~SqObject() { release(); }

  bool fromStack(HSQUIRRELVM v, SQInteger idx);
  // Takes a weak reference to the object at a stack slot (a weak reference
  // is copied as it is).
  void weakFromStack(HSQUIRRELVM v, SQInteger idx);
  // Pushes the object; a weak reference is dereferenced. False (and nothing
  // pushed) when it no longer points at a live object.
  bool pushDeref(HSQUIRRELVM v) const;
  void release();
  bool isNull() const { return obj._type == OT_NULL; }
  SQObjectType type() const { return obj._type; }
};

// ---- type tags and bound classes ----
// Each native type exposed as a script class owns one address: the class's
// type tag, its key in the registry and the tag demanded from instances.
template <class T>
inline SQUserPointer type_tag() {
  static const char tag = 0;
  return SQUserPointer(&tag);
}

// Specialised for every bound type: its script class name and the release
// hook of instances that own their object.
template <class T>
struct ClassTraits;

#define SQBIND_DECLARE_CLASS(T, NAME)                                            \
  template <>                                                                    \
  struct sqbind::ClassTraits<T> {                                                \
    static constexpr const char* name = NAME;                                    \
    static SQInteger release(SQUserPointer p, SQInteger) {                       \
      delete static_cast<T*>(p);                                                 \
      return 1;                                                                  \
    }                                                                            \
  }

SqObject create_class(HSQUIRRELVM vm, const char* name, const char* base_name, SQUserPointer tag);
bool push_instance(HSQUIRRELVM vm, void* p, SQUserPointer tag, const char* class_name, SQRELEASEHOOK hook);
bool init_instance(void* p, HSQUIRRELVM vm, SQRELEASEHOOK hook);
// Native pointer of the instance at idx with the tag, or null.
void* get_instance(HSQUIRRELVM vm, SQInteger idx, SQUserPointer tag);

// Pushes a new instance that owns p (freed by the class's release hook).
template <class T>
void push_owned(HSQUIRRELVM vm, T* p) {
  push_instance(vm, p, type_tag<T>(), ClassTraits<T>::name, &ClassTraits<T>::release);
}
// Pushes an instance that borrows p; native code keeps it alive.
template <class T>
void push_borrowed(HSQUIRRELVM vm, T* p) {
  push_instance(vm, p, type_tag<T>(), ClassTraits<T>::name, nullptr);
}

// ---- argument and result types ----
// A pointer argument that may be script null.
template <class T>
struct Nullable {
  T* p = nullptr;
  operator T*() const { return p; }
  T* operator->() const { return p; }
};
// A colour argument: an integer is a packed 0xAARRGGBB colour, anything else
// converts as a vec4f.
struct Color {
  vec4f v;
  operator const vec4f&() const { return v; }
};
// A result that is a new instance owned by the script.
template <class T>
struct New {
  T* p;
};
// A native that pushes its own result (n values, 0 or 1).
struct Pushed {
  int n;
};

bool has_slot(HSQUIRRELVM vm, SQInteger idx);
float get_float(HSQUIRRELVM vm, SQInteger idx);
SQInteger get_int(HSQUIRRELVM vm, SQInteger idx);
bool get_bool(HSQUIRRELVM vm, SQInteger idx);
const char* get_string(HSQUIRRELVM vm, SQInteger idx);
SQUserPointer get_userpointer(HSQUIRRELVM vm, SQInteger idx);
SqObject get_object(HSQUIRRELVM vm, SQInteger idx);
vec4f get_vec4f(HSQUIRRELVM vm, SQInteger idx);
vec4f get_color(HSQUIRRELVM vm, SQInteger idx);
void* get_inst(HSQUIRRELVM vm, SQInteger idx, SQUserPointer tag, bool nullable);

void push_vec4f(HSQUIRRELVM vm, const vec4f& v);

template <class T, class = void>
struct Arg;
template <>
struct Arg<float> {
  static float get(HSQUIRRELVM v, SQInteger i) { return get_float(v, i); }
};
template <>
struct Arg<int> {
  static int get(HSQUIRRELVM v, SQInteger i) { return int(get_int(v, i)); }
};
// Spelled long long rather than SQInteger so that a Squirrel built with
// 32-bit integers (SQInteger = int) does not define the int case twice.
template <>
struct Arg<long long> {
  static long long get(HSQUIRRELVM v, SQInteger i) { return get_int(v, i); }
};
template <>
struct Arg<bool> {
  static bool get(HSQUIRRELVM v, SQInteger i) { return get_bool(v, i); }
};
template <>
struct Arg<const char*> {
  static const char* get(HSQUIRRELVM v, SQInteger i) { return get_string(v, i); }
};
template <>
struct Arg<SQUserPointer> {
  static SQUserPointer get(HSQUIRRELVM v, SQInteger i) { return get_userpointer(v, i); }
};
template <>
struct Arg<SqObject> {
  static SqObject get(HSQUIRRELVM v, SQInteger i) { return get_object(v, i); }
};
template <>
struct Arg<vec4f> {
  static vec4f get(HSQUIRRELVM v, SQInteger i) { return get_vec4f(v, i); }
};
template <>
struct Arg<Color> {
  static Color get(HSQUIRRELVM v, SQInteger i) { return Color{get_color(v, i)}; }
};
template <class T>
struct Arg<T*> {
  static T* get(HSQUIRRELVM v, SQInteger i) {
    return static_cast<T*>(get_inst(v, i, type_tag<std::remove_const_t<T>>(), false));
  }
};
template <class T>
struct Arg<Nullable<T>> {
  static Nullable<T> get(HSQUIRRELVM v, SQInteger i) {
    return Nullable<T>{static_cast<T*>(get_inst(v, i, type_tag<std::remove_const_t<T>>(), true))};
  }
};
template <class T>
struct Arg<const T&, std::enable_if_t<!std::is_pointer_v<T>>> : Arg<T> {};

template <class T>
using arg_t = std::remove_cv_t<std::remove_reference_t<T>>;

// Results pushed onto the stack; returns the count for the dispatcher.
inline SQInteger push_result(HSQUIRRELVM v, float f) {
  sq_pushfloat(v, f);
  return 1;
}
inline SQInteger push_result(HSQUIRRELVM v, int i) {
  sq_pushinteger(v, i);
  return 1;
}
inline SQInteger push_result(HSQUIRRELVM v, long long i) {
  sq_pushinteger(v, SQInteger(i));
  return 1;
}
inline SQInteger push_result(HSQUIRRELVM v, bool b) {
  sq_pushbool(v, b);
  return 1;
}
inline SQInteger push_result(HSQUIRRELVM v, const vec4f& r) {
  push_vec4f(v, r);
  return 1;
}
inline SQInteger push_result(HSQUIRRELVM v, const SqObject& o) {
  sq_pushobject(v, o.obj);
  return 1;
}
inline SQInteger push_result(HSQUIRRELVM, Pushed p) { return p.n; }
template <class T>
SQInteger push_result(HSQUIRRELVM v, New<T> n) {
  push_owned(v, n.p);
  return 1;
}

// ---- dispatchers ----
namespace detail {
// Notes the script line that called the failing native (error_place.h).
void note_native_error(HSQUIRRELVM v, SquirrelError& e);

// Reads the arguments from slot `first` on in order (brace initialisation
// evaluates left to right) and calls f.
template <class R, class F, class... A, size_t... I>
SQInteger call_native(HSQUIRRELVM v, SQInteger first, F f, std::index_sequence<I...>) {
  try {
    std::tuple<arg_t<A>...> args{Arg<arg_t<A>>::get(v, first + SQInteger(I))...};
    if constexpr (std::is_void_v<R>) {
      std::apply(f, args);
      return 0;
    } else {
      return push_result(v, std::apply(f, args));
    }
  } catch (SquirrelError& e) {
    note_native_error(v, e);
    throw;
  }
}

template <class R, class... A>
SQInteger func_dispatch(HSQUIRRELVM v) {
  SQUserPointer up = nullptr;
  if (SQ_FAILED(sq_getuserpointer(v, -1, &up)) || !up) return sq_throwerror(v, "no function stored for C++ call");
  sq_poptop(v);
  auto f = reinterpret_cast<R (*)(A...)>(up);
  return call_native<R, decltype(f), A...>(v, 2, f, std::index_sequence_for<A...>{});
}

// A native that takes the VM first and reads the rest from slot 2 on.
template <class R, class... A>
SQInteger func_vm_dispatch(HSQUIRRELVM v) {
  SQUserPointer up = nullptr;
  if (SQ_FAILED(sq_getuserpointer(v, -1, &up)) || !up) return sq_throwerror(v, "no function stored for C++ call");
  sq_poptop(v);
  auto f = reinterpret_cast<R (*)(HSQUIRRELVM, A...)>(up);
  auto g = [v, f](arg_t<A>... a) -> R { return f(v, a...); };
  return call_native<R, decltype(g), A...>(v, 2, g, std::index_sequence_for<A...>{});
}

template <class C, class M>
struct MethodBlock {
  M m;
};

template <class C, class R, class M, class... A>
SQInteger method_dispatch(HSQUIRRELVM v) {
  C* self = static_cast<C*>(get_instance(v, 1, type_tag<C>()));
  if (!self) return sq_throwerror(v, "invalid 'this' in C++ method call");
  SQUserPointer ud = nullptr;
  if (SQ_FAILED(sq_getuserdata(v, -1, &ud, nullptr)) || !ud) return sq_throwerror(v, "no method stored for C++ call");
  M m = static_cast<MethodBlock<C, M>*>(ud)->m;
  sq_poptop(v);
  auto g = [self, m](arg_t<A>... a) -> R { return (self->*m)(a...); };
  return call_native<R, decltype(g), A...>(v, 2, g, std::index_sequence_for<A...>{});
}

// A method written as a free function R f(HSQUIRRELVM, C& self, A...).
template <class C, class R, class... A>
SQInteger fmethod_dispatch(HSQUIRRELVM v) {
  C* self = static_cast<C*>(get_instance(v, 1, type_tag<C>()));
  if (!self) return sq_throwerror(v, "invalid 'this' in C++ method call");
  SQUserPointer ud = nullptr;
  if (SQ_FAILED(sq_getuserdata(v, -1, &ud, nullptr)) || !ud) return sq_throwerror(v, "no method stored for C++ call");
  using F = R (*)(HSQUIRRELVM, C&, A...);
  F f = static_cast<MethodBlock<C, F>*>(ud)->m;
  sq_poptop(v);
  auto g = [v, self, f](arg_t<A>... a) -> R { return f(v, *self, a...); };
  return call_native<R, decltype(g), A...>(v, 2, g, std::index_sequence_for<A...>{});
}

void check_constructed(HSQUIRRELVM v, SQUserPointer tag);
// Why 'this' (slot 1) can't be constructed as the class of `tag`: an instance
// of another class, or one already constructed (its native block would be
// lost). Null when it can.
const char* construction_refused(HSQUIRRELVM v, SQUserPointer tag);

template <class C, class... A>
SQInteger ctor_dispatch(HSQUIRRELVM v) {
  SQUserPointer up = nullptr;
  if (SQ_FAILED(sq_getuserpointer(v, -1, &up)) || !up) return sq_throwerror(v, "no function stored for C++ ctor call");
  sq_poptop(v);
  if (const char* refused = construction_refused(v, type_tag<C>())) return sq_throwerror(v, refused);
  auto f = reinterpret_cast<void (*)(HSQUIRRELVM, A...)>(up);
  auto g = [v, f](arg_t<A>... a) { f(v, a...); };
  call_native<void, decltype(g), A...>(v, 2, g, std::index_sequence_for<A...>{});
  check_constructed(v, type_tag<C>());
  return 0;
}

// Pushes name, the pointer as the one free variable and the closure, then
// sq_newslot into the table or class below them.
void new_native_slot(HSQUIRRELVM v, const char* name, SQUserPointer fn, SQFUNCTION dispatcher);
void push_class(HSQUIRRELVM v, const SqObject& cls);
}  // namespace detail

// ---- registration ----
// Into the table or class on top of the stack.
template <class R, class... A>
void register_function(HSQUIRRELVM v, const char* name, R (*f)(A...)) {
  detail::new_native_slot(v, name, reinterpret_cast<SQUserPointer>(f), &detail::func_dispatch<R, A...>);
}
template <class R, class... A>
void register_function(HSQUIRRELVM v, const char* name, R (*f)(HSQUIRRELVM, A...)) {
  detail::new_native_slot(v, name, reinterpret_cast<SQUserPointer>(f), &detail::func_vm_dispatch<R, A...>);
}
// Into the root table.
template <class F>
void register_global(HSQUIRRELVM v, const char* name, F f) {
  sq_pushroottable(v);
  register_function(v, name, f);
  sq_poptop(v);
}
// Class-level function: called as Class.name(...), typically a factory.
template <class F>
void register_class_function(HSQUIRRELVM v, const SqObject& cls, const char* name, F f) {
  detail::push_class(v, cls);
  register_function(v, name, f);
  sq_poptop(v);
}

void fatal_null_method_block();

template <class C, class R, class... A>
void register_method(HSQUIRRELVM v, const SqObject& cls, const char* name, R (C::*m)(A...)) {
  using M = R (C::*)(A...);
  detail::push_class(v, cls);
  sq_pushstring(v, name, -1);
  auto* ud = static_cast<detail::MethodBlock<C, M>*>(sq_newuserdata(v, sizeof(detail::MethodBlock<C, M>)));
  if (!ud) fatal_null_method_block();
  ud->m = m;
  sq_newclosure(v, &detail::method_dispatch<C, R, M, A...>, 1);
  sq_newslot(v, -3, SQFalse);
  sq_poptop(v);
}
template <class C, class R, class... A>
void register_method(HSQUIRRELVM v, const SqObject& cls, const char* name, R (C::*m)(A...) const) {
  using M = R (C::*)(A...) const;
  detail::push_class(v, cls);
  sq_pushstring(v, name, -1);
  auto* ud = static_cast<detail::MethodBlock<C, M>*>(sq_newuserdata(v, sizeof(detail::MethodBlock<C, M>)));
  if (!ud) fatal_null_method_block();
  ud->m = m;
  sq_newclosure(v, &detail::method_dispatch<C, R, M, A...>, 1);
  sq_newslot(v, -3, SQFalse);
  sq_poptop(v);
}

template <class C, class R, class... A>
void register_method(HSQUIRRELVM v, const SqObject& cls, const char* name, R (*f)(HSQUIRRELVM, C&, A...)) {
  using F = R (*)(HSQUIRRELVM, C&, A...);
  detail::push_class(v, cls);
  sq_pushstring(v, name, -1);
  auto* ud = static_cast<detail::MethodBlock<C, F>*>(sq_newuserdata(v, sizeof(detail::MethodBlock<C, F>)));
  if (!ud) fatal_null_method_block();
  ud->m = f;
  sq_newclosure(v, &detail::fmethod_dispatch<C, R, A...>, 1);
  sq_newslot(v, -3, SQFalse);
  sq_poptop(v);
}

// The native constructor allocates its object and binds it with
// init_instance on the instance at slot 1.
template <class C, class... A>
void register_constructor(HSQUIRRELVM v, const SqObject& cls, void (*ctor)(HSQUIRRELVM, A...)) {
  detail::push_class(v, cls);
  detail::new_native_slot(v, "constructor", reinterpret_cast<SQUserPointer>(ctor), &detail::ctor_dispatch<C, A...>);
  sq_poptop(v);
}

// Binds a freshly allocated native object to the instance under construction.
void assert_allocated(const void* p);
template <class C>
void construct(HSQUIRRELVM v, C* p) {
  assert_allocated(p);
  init_instance(p, v, &ClassTraits<C>::release);
}

// ---- reading script data ----
// The slot `name` of obj, converted like an argument.
void push_slot(HSQUIRRELVM vm, const SqObject& obj, const char* name);
template <class T>
T getSlot(HSQUIRRELVM vm, const SqObject& obj, const char* name) {
  push_slot(vm, obj, name);
  struct Pop2 {
    HSQUIRRELVM v;
    ~Pop2() { sq_pop(v, 2); }
  } pop{vm};
  return Arg<T>::get(vm, -1);
}
// A null slot value gives a null ramp pointer.
template <class T>
T* getSlotPtr(HSQUIRRELVM vm, const SqObject& obj, const char* name) {
  push_slot(vm, obj, name);
  struct Pop2 {
    HSQUIRRELVM v;
    ~Pop2() { sq_pop(v, 2); }
  } pop{vm};
  return static_cast<T*>(get_inst(vm, -1, type_tag<T>(), true));
}
SQUserPointer getReg(HSQUIRRELVM vm, const char* name);
// Element idx of the array at stack slot arr as a float.
float get_array_float(HSQUIRRELVM vm, SQInteger arr, SQInteger idx);

// ---- calling script functions ----
inline void push_arg(HSQUIRRELVM v, float f) { sq_pushfloat(v, f); }
inline void push_arg(HSQUIRRELVM v, double f) { sq_pushfloat(v, SQFloat(f)); }
inline void push_arg(HSQUIRRELVM v, int i) { sq_pushinteger(v, i); }
inline void push_arg(HSQUIRRELVM v, long long i) { sq_pushinteger(v, SQInteger(i)); }
inline void push_arg(HSQUIRRELVM v, bool b) { sq_pushbool(v, b); }
inline void push_arg(HSQUIRRELVM v, const char* s) { sq_pushstring(v, s, -1); }
inline void push_arg(HSQUIRRELVM v, const vec4f& x) { push_vec4f(v, x); }
inline void push_arg(HSQUIRRELVM v, const SqObject& o) { sq_pushobject(v, o.obj); }

class SqFunc {
 public:
  HSQUIRRELVM vm = nullptr;
  SqObject env;   // weak
  SqObject func;  // strong

  SqFunc() = default;
  // The slot `name` of the root table.
  bool bind(HSQUIRRELVM v, const char* name);
  // The slot `name` of obj, with obj as environment.
  bool bind(HSQUIRRELVM v, const SqObject& obj, const char* name);
  void bind(HSQUIRRELVM v, const SqObject& environment, const SqObject& function);
  void release();
  bool isNull() const;

  // Pushes the function and its environment; throws when the environment is gone.
  void pushCall() const;
  // sq_call with n arguments after 'this'; throws on failure.
  void doCall(int nargs) const;

  template <class R = void, class... A>
  R call(const A&... a) const {
    pushCall();
    (push_arg(vm, a), ...);
    doCall(int(sizeof...(A)));
    if constexpr (std::is_void_v<R>) {
      sq_pop(vm, 2);
    } else {
      struct Pop2 {
        HSQUIRRELVM v;
        ~Pop2() { sq_pop(v, 2); }
      } pop{vm};
      return Arg<arg_t<R>>::get(vm, -1);
    }
  }
};

}  // namespace sqbind

// vec4f values cross the layer as instances of the script class "vec4f".
SQBIND_DECLARE_CLASS(vec4f, "vec4f");
