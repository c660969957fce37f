// The call sequences the script binding layer relies on: weak environments
// dereferenced with sq_getweakrefval + sq_remove, class registration by type
// tag in the registry, instance creation with release hooks, slot reads that
// fail cleanly, and the call-stack printing error handler.
#include <string>

#include "test_vm.h"

namespace {

int g_tag_vec, g_tag_other;
int g_frees;

SQInteger FreeBlock(SQUserPointer p, SQInteger) {
  delete[] static_cast<float *>(p);
  g_frees++;
  return 1;
}

// create_class: root[name] = class with tag, registry[tag] = class.
void CreateClass(HSQUIRRELVM v, const char *name, int *tag) {
  SQInteger top = sq_gettop(v);
  sq_pushroottable(v);
  sq_pushstring(v, name, -1);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_newclass(v, SQFalse)));
  ASSERT_TRUE(SQ_SUCCEEDED(sq_settypetag(v, -1, tag)));
  HSQOBJECT cls;
  sq_getstackobj(v, -1, &cls);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_newslot(v, -3, SQFalse)));
  sq_pushregistrytable(v);
  sq_pushuserpointer(v, tag);
  sq_pushobject(v, cls);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_newslot(v, -3, SQFalse)));
  sq_pop(v, 2);
  ASSERT_EQ(sq_gettop(v), top);
}

// push_instance: fetch the class by tag, instantiate, bind the pointer and hook.
bool PushInstance(HSQUIRRELVM v, void *p, int *tag, SQRELEASEHOOK hook) {
  SQInteger top = sq_gettop(v);
  sq_pushregistrytable(v);
  sq_pushuserpointer(v, tag);
  if (SQ_FAILED(sq_get(v, -2))) { sq_settop(v, top); return false; }
  sq_remove(v, -2);
  if (SQ_FAILED(sq_createinstance(v, -1))) { sq_settop(v, top); return false; }
  sq_remove(v, -2);
  if (SQ_FAILED(sq_setinstanceup(v, -1, p))) return false;
  if (hook) sq_setreleasehook(v, -1, hook);
  return true;
}

}  // namespace

TEST_F(VmTest, ClassRegistrationAndInstancesByTag) {
  g_frees = 0;
  CreateClass(v, "vec4f", &g_tag_vec);
  CreateClass(v, "Other", &g_tag_other);
  float *data = new float[4]{1, 2, 3, 4};
  ASSERT_TRUE(PushInstance(v, data, &g_tag_vec, FreeBlock));
  EXPECT_EQ(sq_gettop(v), 1);
  SQUserPointer p = nullptr;
  ASSERT_TRUE(SQ_SUCCEEDED(sq_getinstanceup(v, -1, &p, &g_tag_vec)));
  EXPECT_EQ(p, data);
  EXPECT_TRUE(SQ_FAILED(sq_getinstanceup(v, -1, &p, &g_tag_other)));
  sq_pop(v, 1);
  EXPECT_EQ(g_frees, 1);
  // an unregistered tag leaves the stack as it was
  static int unknown_tag;
  EXPECT_FALSE(PushInstance(v, data, &unknown_tag, nullptr));
  EXPECT_EQ(sq_gettop(v), 0);
  // instances handed to a script stay alive while the script holds them
  ASSERT_TRUE(Run("function keep(x) { ::kept <- x; } function drop() { ::kept = null; }"));
  PushGlobal("keep");
  sq_pushroottable(v);
  ASSERT_TRUE(PushInstance(v, new float[4], &g_tag_vec, FreeBlock));
  ASSERT_TRUE(SQ_SUCCEEDED(sq_call(v, 2, SQFalse, SQTrue)));
  sq_settop(v, 0);
  EXPECT_EQ(g_frees, 1);
  ASSERT_TRUE(Run("print(typeof ::kept + (::kept instanceof vec4f));"));
  EXPECT_EQ(cap.out, "instancetrue");
  ASSERT_TRUE(Run("drop();"));
  EXPECT_EQ(g_frees, 2);
}

TEST_F(VmTest, WeakEnvironmentDereferencePattern) {
  ASSERT_TRUE(Run("env <- { scale = 3.0, function apply(x) { return x * scale; } };"));
  // take the environment in weak form
  PushGlobal("env");
  sq_weakref(v, -1);
  HSQOBJECT weakenv;
  sq_getstackobj(v, -1, &weakenv);
  sq_addref(v, &weakenv);
  sq_pop(v, 2);
  // bind the function: strong handle
  sq_pushobject(v, weakenv);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_getweakrefval(v, -1)));
  sq_remove(v, -2);
  sq_pushstring(v, "apply", -1);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
  HSQOBJECT fn;
  sq_getstackobj(v, -1, &fn);
  sq_addref(v, &fn);
  sq_pop(v, 2);
  EXPECT_EQ(sq_gettop(v), 0);
  auto call = [&](float arg, float &out) -> bool {
    sq_pushobject(v, fn);
    sq_pushobject(v, weakenv);
    if (SQ_FAILED(sq_getweakrefval(v, -1)) || sq_gettype(v, -1) == OT_NULL) {
      sq_settop(v, 0);
      return false;
    }
    sq_remove(v, -2);
    sq_pushfloat(v, arg);
    if (SQ_FAILED(sq_call(v, 2, SQTrue, SQTrue))) { sq_settop(v, 0); return false; }
    SQFloat f = 0;
    bool ok = SQ_SUCCEEDED(sq_getfloat(v, -1, &f));
    out = f;
    sq_pop(v, 2);
    return ok;
  };
  float out = 0;
  ASSERT_TRUE(call(2, out));
  EXPECT_FLOAT_EQ(out, 6.0f);
  EXPECT_EQ(sq_gettop(v), 0);
  // once the environment object is gone the weak reference reads null
  ASSERT_TRUE(Run("env = null;"));
  EXPECT_FALSE(call(2, out));
  sq_release(v, &fn);
  sq_release(v, &weakenv);
}

TEST_F(VmTest, SlotReadFailureKeepsStackAndReportsError) {
  ASSERT_TRUE(Run("params <- { life = 2.5, color = 0x80ff0000, ramp = null, arr = [1, 2] };"));
  PushGlobal("params");
  SQInteger top = sq_gettop(v);
  sq_pushstring(v, "life", -1);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
  SQFloat f;
  ASSERT_TRUE(SQ_SUCCEEDED(sq_getfloat(v, -1, &f)));
  EXPECT_FLOAT_EQ(f, 2.5f);
  sq_pop(v, 1);
  sq_pushstring(v, "color", -1);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
  SQInteger c;
  ASSERT_TRUE(SQ_SUCCEEDED(sq_getinteger(v, -1, &c)));
  EXPECT_EQ(c, 0x80ff0000);
  sq_pop(v, 1);
  sq_pushstring(v, "ramp", -1);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
  EXPECT_EQ(sq_gettype(v, -1), OT_NULL);
  sq_pop(v, 1);
  sq_pushstring(v, "size", -1);
  EXPECT_TRUE(SQ_FAILED(sq_get(v, -2)));
  EXPECT_EQ(sq_gettop(v), top);
  EXPECT_EQ(LastError(), "the index 'size' does not exist");
  // array elements by integer index, a missing one fails the same way
  sq_pushstring(v, "arr", -1);
  sq_get(v, -2);
  sq_pushinteger(v, 1);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
  sq_getfloat(v, -1, &f);
  EXPECT_FLOAT_EQ(f, 2.0f);
  sq_pop(v, 1);
  sq_pushinteger(v, 3);
  EXPECT_TRUE(SQ_FAILED(sq_get(v, -2)));
  EXPECT_EQ(LastError(), "the index '3' does not exist");
  sq_pushstring(v, "x", -1);
  SQUserPointer up;
  EXPECT_TRUE(SQ_FAILED(sq_getuserpointer(v, -1, &up)));
}

// The layer's runtime error handler walks levels with sq_stackinfos and the
// locals of up to 20 levels with sq_getlocal, printing through the print function.
SQInteger PrintCallStack(HSQUIRRELVM v) {
  SQPRINTFUNCTION pf = sq_getprintfunc(v);
  if (!pf || sq_gettop(v) < 1) return 0;
  const SQChar *err = "unknown";
  if (sq_gettop(v) >= 2 && sq_gettype(v, 2) == OT_STRING) sq_getstring(v, 2, &err);
  pf(v, "\nCALLSTACK\n");
  SQStackInfos si;
  for (SQInteger level = 1; SQ_SUCCEEDED(sq_stackinfos(v, level, &si)); level++) {
    const char *src = si.source ? si.source : "unknown";
    const char *fn = si.funcname ? si.funcname : "unknown";
    if (level == 1) pf(v, "bin/%s(%d): ERROR: %s (in %s())\n", src, (int)si.line, err, fn);
    else pf(v, "bin/%s(%d): function %s() (CALLSTACK)\n", src, (int)si.line, fn);
  }
  pf(v, "\nLOCALS\n");
  for (SQUnsignedInteger level = 0; level < 20; level++) {
    const SQChar *name;
    for (SQUnsignedInteger i = 0; (name = sq_getlocal(v, level, i)) != nullptr; i++) {
      switch (sq_gettype(v, -1)) {
        case OT_INTEGER: { SQInteger n; sq_getinteger(v, -1, &n); pf(v, "[%s] %d\n", name, (int)n); break; }
        case OT_STRING: { const SQChar *s; sq_getstring(v, -1, &s); pf(v, "[%s] \"%s\"\n", name, s); break; }
        case OT_TABLE: pf(v, "[%s] TABLE\n", name); break;
        case OT_ARRAY: pf(v, "[%s] ARRAY\n", name); break;
        case OT_NULL: pf(v, "[%s] NULL\n", name); break;
        default: pf(v, "[%s] OTHER\n", name); break;
      }
      sq_pop(v, 1);
    }
  }
  return 0;
}

TEST_F(VmTest, CallStackPrintingHandler) {
  sq_newclosure(v, PrintCallStack, 0);
  sq_seterrorhandler(v);
  const char *src =
      "function leaf(n) {\n"
      "  local label = \"leaf\";\n"
      "  return n.field;\n"
      "}\n"
      "function branch() { return leaf(5); }\n"
      "branch();\n";
  ASSERT_TRUE(SQ_SUCCEEDED(sq_compilebuffer(v, src, (SQInteger)strlen(src), "gen/main.nut", SQTrue)));
  sq_pushroottable(v);
  EXPECT_TRUE(SQ_FAILED(sq_call(v, 1, SQFalse, SQTrue)));
  sq_settop(v, 0);
  EXPECT_EQ(cap.out,
            "\nCALLSTACK\n"
            "bin/gen/main.nut(3): ERROR: the index 'field' does not exist (in leaf())\n"
            "bin/gen/main.nut(5): function branch() (CALLSTACK)\n"
            "bin/gen/main.nut(6): function main() (CALLSTACK)\n"
            "\nLOCALS\n"
            "[this] TABLE\n[n] 5\n[label] \"leaf\"\n"
            "[this] TABLE\n"
            "[this] TABLE\n[vargv] ARRAY\n");
  // the handler runs once per error even when it crosses a native boundary
  cap.out.clear();
  ASSERT_FALSE(Run("[1].map(@(x) x.nothing);"));
  size_t first = cap.out.find("CALLSTACK");
  ASSERT_NE(first, std::string::npos);
  EXPECT_EQ(cap.out.find("\nCALLSTACK", first + 1), std::string::npos);
}

TEST_F(VmTest, DispatcherThrowsInsideScript) {
  struct D {
    static SQInteger method(HSQUIRRELVM vm) {
      SQUserPointer p = nullptr;
      if (SQ_FAILED(sq_getinstanceup(vm, 1, &p, &g_tag_vec)) || !p)
        return sq_throwerror(vm, "invalid 'this' in C++ method call");
      SQUserPointer ud = nullptr;
      if (SQ_FAILED(sq_getuserdata(vm, -1, &ud, nullptr)) || !ud)
        return sq_throwerror(vm, "no method stored for C++ call");
      sq_pop(vm, 1);
      sq_pushinteger(vm, *static_cast<int *>(ud));
      return 1;
    }
  };
  CreateClass(v, "vec4f", &g_tag_vec);
  PushGlobal("vec4f");
  sq_pushstring(v, "get", -1);
  int *ud = static_cast<int *>(sq_newuserdata(v, sizeof(int)));
  *ud = 4;
  sq_newclosure(v, D::method, 1);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_newslot(v, -3, SQFalse)));
  sq_pop(v, 1);
  static float payload[4];
  ASSERT_TRUE(PushInstance(v, payload, &g_tag_vec, nullptr));
  sq_pushroottable(v);
  sq_pushstring(v, "inst", -1);
  sq_push(v, -3);
  sq_newslot(v, -3, SQFalse);
  sq_settop(v, 0);
  ASSERT_TRUE(Run("print(inst.get()); try { vec4f.get.call({}); } catch (e) print(\" \" + e);"));
  EXPECT_EQ(cap.out, "4 invalid 'this' in C++ method call");
}
