// Stack discipline, object handles, references, weak references, type tags,
// release hooks and error handlers of the C API.
#include <stdexcept>
#include <vector>

#include "test_vm.h"

TEST_F(VmTest, StackPushPopSettopRemove) {
  EXPECT_EQ(sq_gettop(v), 0);
  sq_pushinteger(v, 1);
  sq_pushfloat(v, 2.5f);
  sq_pushstring(v, "three", -1);
  sq_pushbool(v, SQTrue);
  sq_pushnull(v);
  EXPECT_EQ(sq_gettop(v), 5);
  EXPECT_EQ(sq_gettype(v, 1), OT_INTEGER);
  EXPECT_EQ(sq_gettype(v, -4), OT_FLOAT);
  EXPECT_EQ(sq_gettype(v, 3), OT_STRING);
  EXPECT_EQ(sq_gettype(v, -2), OT_BOOL);
  EXPECT_EQ(sq_gettype(v, -1), OT_NULL);
  sq_remove(v, 2);
  EXPECT_EQ(sq_gettop(v), 4);
  EXPECT_EQ(sq_gettype(v, 2), OT_STRING);
  sq_push(v, 1);
  SQInteger i = 0;
  ASSERT_TRUE(SQ_SUCCEEDED(sq_getinteger(v, -1, &i)));
  EXPECT_EQ(i, 1);
  sq_poptop(v);
  sq_pop(v, 2);
  EXPECT_EQ(sq_gettop(v), 2);
  sq_settop(v, 5);
  EXPECT_EQ(sq_gettop(v), 5);
  EXPECT_EQ(sq_gettype(v, 5), OT_NULL);
  sq_settop(v, 0);
  EXPECT_EQ(sq_gettop(v), 0);
}

TEST_F(VmTest, GettersRejectWrongTypes) {
  sq_pushstring(v, "str", -1);
  sq_pushinteger(v, 7);
  SQInteger i;
  SQFloat f;
  const SQChar *s;
  SQBool b;
  SQUserPointer p;
  EXPECT_TRUE(SQ_FAILED(sq_getinteger(v, 1, &i)));
  EXPECT_TRUE(SQ_FAILED(sq_getfloat(v, 1, &f)));
  EXPECT_TRUE(SQ_FAILED(sq_getstring(v, 2, &s)));
  EXPECT_TRUE(SQ_FAILED(sq_getbool(v, 2, &b)));
  EXPECT_TRUE(SQ_FAILED(sq_getuserpointer(v, 2, &p)));
  ASSERT_TRUE(SQ_SUCCEEDED(sq_getfloat(v, 2, &f)));  // integers read as floats
  EXPECT_EQ(f, 7.0f);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_getstring(v, 1, &s)));
  EXPECT_STREQ(s, "str");
  EXPECT_EQ(sq_getsize(v, 1), 3);
  // indices outside the stack fail instead of reading garbage
  EXPECT_TRUE(SQ_FAILED(sq_getinteger(v, 3, &i)));
  EXPECT_TRUE(SQ_FAILED(sq_getinteger(v, -3, &i)));
  sq_pushuserpointer(v, &i);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_getuserpointer(v, -1, &p)));
  EXPECT_EQ(p, &i);
}

TEST_F(VmTest, TableSlotsAndStackBalance) {
  sq_newtable(v);
  sq_pushstring(v, "a", -1);
  sq_pushinteger(v, 10);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_newslot(v, -3, SQFalse)));
  EXPECT_EQ(sq_gettop(v), 1);
  sq_pushstring(v, "a", -1);
  sq_pushinteger(v, 20);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_set(v, -3)));
  sq_pushstring(v, "b", -1);
  sq_pushinteger(v, 1);
  EXPECT_TRUE(SQ_FAILED(sq_set(v, -3)));  // set does not create slots
  sq_settop(v, 1);
  sq_pushstring(v, "a", -1);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
  SQInteger i;
  sq_getinteger(v, -1, &i);
  EXPECT_EQ(i, 20);
  sq_pop(v, 1);
  sq_pushstring(v, "missing", -1);
  EXPECT_TRUE(SQ_FAILED(sq_get(v, -2)));
  EXPECT_EQ(sq_gettop(v), 1);  // the key is popped on failure as well
  EXPECT_EQ(LastError(), "the index 'missing' does not exist");
  sq_pushstring(v, "a", -1);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_deleteslot(v, -2, SQTrue)));
  sq_getinteger(v, -1, &i);
  EXPECT_EQ(i, 20);
  sq_pop(v, 1);
  EXPECT_EQ(sq_getsize(v, -1), 0);
  sq_pushnull(v);
  sq_pushinteger(v, 1);
  EXPECT_TRUE(SQ_FAILED(sq_newslot(v, -3, SQFalse)));  // null keys are refused
}

TEST_F(VmTest, ArraysAndIteration) {
  sq_newarray(v, 0);
  for (int i = 0; i < 5; i++) {
    sq_pushinteger(v, i * i);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_arrayappend(v, -2)));
  }
  EXPECT_EQ(sq_getsize(v, -1), 5);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_arraypop(v, -1, SQTrue)));
  SQInteger i;
  sq_getinteger(v, -1, &i);
  EXPECT_EQ(i, 16);
  sq_pop(v, 1);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_arrayresize(v, -1, 6)));
  EXPECT_EQ(sq_getsize(v, -1), 6);
  sq_pushinteger(v, 2);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
  sq_getinteger(v, -1, &i);
  EXPECT_EQ(i, 4);
  sq_pop(v, 1);
  sq_pushinteger(v, 99);
  EXPECT_TRUE(SQ_FAILED(sq_get(v, -2)));
  // sq_next walks every element with an iterator slot on the stack
  std::vector<SQInteger> seen;
  sq_pushnull(v);
  while (SQ_SUCCEEDED(sq_next(v, -2))) {
    SQInteger key;
    sq_getinteger(v, -2, &key);
    seen.push_back(key);
    sq_pop(v, 2);
  }
  sq_pop(v, 1);
  EXPECT_EQ(seen.size(), 6u);
  EXPECT_EQ(sq_gettop(v), 1);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_arrayremove(v, -1, 0)));
  sq_pushstring(v, "x", -1);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_arrayinsert(v, -2, 0)));
  EXPECT_EQ(sq_getsize(v, -1), 6);
  EXPECT_TRUE(SQ_FAILED(sq_arrayremove(v, -1, 100)));
}

TEST_F(VmTest, CallLeavesClosureAndPushesResult) {
  ASSERT_TRUE(Run("function add(a, b) { return a + b; }"));
  PushGlobal("add");
  sq_pushroottable(v);
  sq_pushinteger(v, 2);
  sq_pushinteger(v, 40);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_call(v, 3, SQTrue, SQTrue)));
  EXPECT_EQ(sq_gettop(v), 2);  // closure + result
  SQInteger r;
  sq_getinteger(v, -1, &r);
  EXPECT_EQ(r, 42);
  sq_pop(v, 1);
  sq_pushroottable(v);
  sq_pushinteger(v, 1);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_call(v, 2, SQFalse, SQFalse)) == false);  // wrong number of parameters
  EXPECT_EQ(sq_gettop(v), 1);
  EXPECT_EQ(LastError(), "wrong number of parameters (2 passed, 3 required)");
}

static int g_released = 0;
static SQInteger CountRelease(SQUserPointer p, SQInteger) {
  g_released++;
  delete static_cast<int *>(p);
  return 1;
}

TEST_F(VmTest, AddrefKeepsObjectsAliveUntilRelease) {
  g_released = 0;
  sq_newclass(v, SQFalse);
  sq_createinstance(v, -1);
  sq_setinstanceup(v, -1, new int(5));
  sq_setreleasehook(v, -1, CountRelease);
  HSQOBJECT h;
  sq_resetobject(&h);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_getstackobj(v, -1, &h)));
  sq_addref(v, &h);
  sq_addref(v, &h);
  sq_pop(v, 2);
  EXPECT_EQ(g_released, 0);
  EXPECT_EQ(sq_getrefcount(v, &h), 2u);
  EXPECT_FALSE(sq_release(v, &h));
  EXPECT_EQ(g_released, 0);
  sq_pushobject(v, h);
  EXPECT_EQ(sq_gettype(v, -1), OT_INSTANCE);
  sq_pop(v, 1);
  EXPECT_TRUE(sq_release(v, &h));
  EXPECT_EQ(g_released, 1);  // the hook runs as soon as the last reference goes
  HSQOBJECT n;
  sq_resetobject(&n);
  EXPECT_EQ(n._type, OT_NULL);
  sq_addref(v, &n);  // non-counted values are fine
  EXPECT_TRUE(sq_release(v, &n));
}

TEST_F(VmTest, ReleaseHookRunsWhenScriptDropsLastReference) {
  g_released = 0;
  sq_pushroottable(v);
  sq_pushstring(v, "Mask", -1);
  sq_newclass(v, SQFalse);
  sq_newslot(v, -3, SQFalse);
  sq_pop(v, 1);
  struct Maker {
    static SQInteger make(HSQUIRRELVM vm) {
      sq_pushroottable(vm);
      sq_pushstring(vm, "Mask", -1);
      sq_get(vm, -2);
      sq_createinstance(vm, -1);
      sq_setinstanceup(vm, -1, new int(1));
      sq_setreleasehook(vm, -1, CountRelease);
      return 1;
    }
  };
  SetGlobalFn("make_mask", Maker::make);
  ASSERT_TRUE(Run("local m = make_mask(); ::before <- 0; m = null; ::after <- 1;"
                  "function f() { local a = make_mask(); local b = [a, a]; }"));
  EXPECT_EQ(g_released, 1);
  ASSERT_TRUE(Run("f(); f();"));
  EXPECT_EQ(g_released, 3);
  ASSERT_TRUE(Run("local t = { m = make_mask() }; delete t.m;"));
  EXPECT_EQ(g_released, 4);
}

TEST_F(VmTest, WeakReferences) {
  sq_newtable(v);
  sq_weakref(v, -1);
  EXPECT_EQ(sq_gettype(v, -1), OT_WEAKREF);
  HSQOBJECT weak;
  sq_getstackobj(v, -1, &weak);
  sq_addref(v, &weak);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_getweakrefval(v, -1)));
  EXPECT_EQ(sq_gettype(v, -1), OT_TABLE);
  sq_settop(v, 0);  // drops the table itself
  sq_pushobject(v, weak);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_getweakrefval(v, -1)));
  EXPECT_EQ(sq_gettype(v, -1), OT_NULL);
  sq_settop(v, 0);
  sq_release(v, &weak);
  sq_pushinteger(v, 3);
  sq_weakref(v, -1);  // values that are not counted stay themselves
  EXPECT_EQ(sq_gettype(v, -1), OT_INTEGER);
  EXPECT_TRUE(SQ_FAILED(sq_getweakrefval(v, -1)));
}

static int tag_a, tag_b;

TEST_F(VmTest, TypeTagsGuardInstancePointers) {
  sq_newclass(v, SQFalse);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_settypetag(v, -1, &tag_a)));
  sq_newclass(v, SQFalse);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_settypetag(v, -1, &tag_b)));
  int payload = 0;
  sq_createinstance(v, 1);
  sq_setinstanceup(v, -1, &payload);
  SQUserPointer p = nullptr;
  ASSERT_TRUE(SQ_SUCCEEDED(sq_getinstanceup(v, -1, &p, &tag_a)));
  EXPECT_EQ(p, &payload);
  p = nullptr;
  EXPECT_TRUE(SQ_FAILED(sq_getinstanceup(v, -1, &p, &tag_b)));
  EXPECT_EQ(p, nullptr);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_getinstanceup(v, -1, &p, nullptr)));  // no tag: any instance
  SQUserPointer t;
  ASSERT_TRUE(SQ_SUCCEEDED(sq_gettypetag(v, 1, &t)));
  EXPECT_EQ(t, &tag_a);
  // a derived class inherits the tag of its base
  sq_push(v, 1);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_newclass(v, SQTrue)));
  sq_createinstance(v, -1);
  sq_setinstanceup(v, -1, &payload);
  EXPECT_TRUE(SQ_SUCCEEDED(sq_getinstanceup(v, -1, &p, &tag_a)));
  sq_pushinteger(v, 1);
  EXPECT_TRUE(SQ_FAILED(sq_getinstanceup(v, -1, &p, &tag_a)));  // not an instance
  EXPECT_TRUE(SQ_FAILED(sq_setinstanceup(v, -1, &payload)));
}

TEST_F(VmTest, RegistryAndUserPointerKeys) {
  sq_pushregistrytable(v);
  sq_pushuserpointer(v, &tag_a);
  sq_pushstring(v, "by tag", -1);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_newslot(v, -3, SQFalse)));
  sq_pushuserpointer(v, &tag_a);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
  const SQChar *s;
  sq_getstring(v, -1, &s);
  EXPECT_STREQ(s, "by tag");
  sq_pop(v, 1);
  sq_pushuserpointer(v, &tag_b);
  EXPECT_TRUE(SQ_FAILED(sq_get(v, -2)));
  sq_pop(v, 1);
  EXPECT_EQ(sq_gettop(v), 0);
}

TEST_F(VmTest, UserDataWithHookAndTag) {
  static int freed;
  freed = 0;
  struct H {
    static SQInteger hook(SQUserPointer p, SQInteger size) {
      EXPECT_EQ(size, 256 * 1024);
      EXPECT_EQ(static_cast<unsigned char *>(p)[100], 7);
      freed++;
      return 1;
    }
  };
  SQUserPointer mem = sq_newuserdata(v, 256 * 1024);
  ASSERT_NE(mem, nullptr);
  static_cast<unsigned char *>(mem)[100] = 7;
  sq_settypetag(v, -1, &tag_a);
  sq_setreleasehook(v, -1, H::hook);
  SQUserPointer p, t;
  ASSERT_TRUE(SQ_SUCCEEDED(sq_getuserdata(v, -1, &p, &t)));
  EXPECT_EQ(p, mem);
  EXPECT_EQ(t, &tag_a);
  EXPECT_EQ(sq_getsize(v, -1), 256 * 1024);
  sq_pop(v, 1);
  EXPECT_EQ(freed, 1);
}

static std::string g_handler_report;
static SQInteger RecordingHandler(HSQUIRRELVM v) {
  const SQChar *err = "unknown";
  if (sq_gettop(v) >= 2) sq_getstring(v, 2, &err);
  g_handler_report = std::string("error=") + err;
  SQStackInfos si;
  for (SQInteger level = 1; SQ_SUCCEEDED(sq_stackinfos(v, level, &si)); level++) {
    g_handler_report += std::string(" | ") + (si.funcname ? si.funcname : "unknown") + ":" + std::to_string(si.line) + ":" +
                        std::to_string(si.column);
  }
  const SQChar *name;
  for (SQUnsignedInteger i = 0; (name = sq_getlocal(v, 1, i)) != nullptr; i++) {
    g_handler_report += std::string(" ") + name;
    if (sq_gettype(v, -1) == OT_INTEGER) {
      SQInteger n;
      sq_getinteger(v, -1, &n);
      g_handler_report += "=" + std::to_string(n);
    }
    sq_pop(v, 1);
  }
  return 0;
}

TEST_F(VmTest, RuntimeErrorHandlerSeesIntactStack) {
  sq_newclosure(v, RecordingHandler, 0);
  sq_seterrorhandler(v);
  g_handler_report.clear();
  ASSERT_FALSE(Run("function inner(q) {\n local k = 7;\n return q.nothing;\n}\nfunction outer() { return inner({}); }\nouter();"));
  EXPECT_EQ(g_handler_report,
            "error=the index 'nothing' does not exist | inner:3:11 | outer:5:27 | main:6:1 this q k=7");
  EXPECT_EQ(sq_gettop(v), 0);
  // caught errors do not reach the handler
  g_handler_report.clear();
  ASSERT_TRUE(Run("try { null(); } catch (e) {}"));
  EXPECT_TRUE(g_handler_report.empty());
  // a call without raise-error leaves the handler out
  ASSERT_FALSE(Run("throw \"quiet\";", false));
  EXPECT_TRUE(g_handler_report.empty());
  EXPECT_EQ(LastError(), "quiet");
}

TEST_F(VmTest, CompilerErrorHandlerGetsLineAndColumn) {
  const char *src = "local a = 1;\nlocal b = (a + ;\n";
  EXPECT_TRUE(SQ_FAILED(sq_compilebuffer(v, src, (SQInteger)strlen(src), "broken.nut", SQTrue)));
  EXPECT_EQ(cap.compile_error, "expression expected");
  EXPECT_EQ(cap.line, 2);
  EXPECT_EQ(cap.column, 16);
  EXPECT_EQ(LastError(), "expression expected");
  EXPECT_EQ(sq_gettop(v), 0);
  cap.compile_error.clear();
  EXPECT_TRUE(SQ_FAILED(sq_compilebuffer(v, "\"open", 5, "x", SQFalse)));
  EXPECT_TRUE(cap.compile_error.empty());  // raiseerror off: handler not called
}

TEST_F(VmTest, BrokenScriptsNeverCrash) {
  const char *broken[] = {"}", "local", "function (", "class A extends {", "a.b.c = ", "@(x", "foreach (in x) {}",
                          "switch (1) { case: }", "local x = [1, 2", "{ a = 1", "'ab'", "0x", "1e", "x = \"\\q\"",
                          "try {} ", "return return", "enum E { A = }", "const C = x;", "/* open", "a <- ",
                          "local t = {}; t.x <- ;", "for (;;", "if x", "base = 1", "this = 2", "1 = 2",
                          "delete 5", "++5", "local function () {}", "class { x = }"};
  for (const char *src : broken) {
    SCOPED_TRACE(src);
    SQInteger top = sq_gettop(v);
    EXPECT_TRUE(SQ_FAILED(sq_compilebuffer(v, src, (SQInteger)strlen(src), "broken", SQTrue)));
    EXPECT_FALSE(cap.compile_error.empty());
    EXPECT_EQ(sq_gettop(v), top);
    cap.compile_error.clear();
  }
}

static SQInteger ThrowingNative(HSQUIRRELVM v) { return sq_throwerror(v, "native says no"); }

TEST_F(VmTest, ThrowErrorFromNativeReachesScriptAndHost) {
  SetGlobalFn("fail", ThrowingNative);
  ASSERT_TRUE(Run("try { fail(); } catch (e) { print(e); }"));
  EXPECT_EQ(cap.out, "native says no");
  ASSERT_FALSE(Run("fail();"));
  EXPECT_EQ(LastError(), "native says no");
  sq_reseterror(v);
  sq_getlasterror(v);
  EXPECT_EQ(sq_gettype(v, -1), OT_NULL);
  sq_pop(v, 1);
}

struct HostError : std::runtime_error {
  using std::runtime_error::runtime_error;
};
static SQInteger CxxThrowingNative(HSQUIRRELVM) { throw HostError("from C++"); }

TEST_F(VmTest, CxxExceptionUnwindsThroughScriptFrames) {
  SetGlobalFn("cxx", CxxThrowingNative);
  ASSERT_TRUE(Run("function a() { local t = [1, 2]; return b(); } function b() { try { return cxx(); } catch (e) { return 0; } }"));
  SQInteger top = sq_gettop(v);
  PushGlobal("a");
  sq_pushroottable(v);
  EXPECT_THROW(sq_call(v, 1, SQTrue, SQTrue), HostError);
  sq_settop(v, top);
  EXPECT_EQ(sq_getvmstate(v), SQ_VMSTATE_IDLE);
  // the VM stays usable afterwards
  ASSERT_TRUE(Run("::ok <- [1, 2, 3].map(@(x) x * 2).len();"));
  PushGlobal("ok");
  SQInteger n;
  sq_getinteger(v, -1, &n);
  EXPECT_EQ(n, 3);
}

static SQInteger TypedNative(HSQUIRRELVM v) {
  SQInteger a;
  const SQChar *s;
  sq_getinteger(v, 2, &a);
  sq_getstring(v, 3, &s);
  sq_pushinteger(v, a + (SQInteger)strlen(s));
  return 1;
}

TEST_F(VmTest, ParamsCheckAndTypeMask) {
  sq_newclosure(v, TypedNative, 0);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_setparamscheck(v, 3, ".is")));
  sq_setnativeclosurename(v, -1, "typed");
  sq_pushroottable(v);
  sq_pushstring(v, "typed", -1);
  sq_push(v, -3);
  sq_newslot(v, -3, SQFalse);
  sq_settop(v, 0);
  ASSERT_TRUE(Run("print(typed(2, \"abc\"));"));
  EXPECT_EQ(cap.out, "5");
  ASSERT_TRUE(Run("try { typed(1); } catch (e) print(\"|\" + e);"));
  ASSERT_TRUE(Run("try { typed(\"x\", \"y\"); } catch (e) print(\"|\" + e);"));
  EXPECT_EQ(cap.out, "5|wrong number of parameters|parameter 1 has an invalid type 'string' ; expected: 'integer'");
  sq_pushinteger(v, 1);
  EXPECT_TRUE(SQ_FAILED(sq_setparamscheck(v, 1, "i")));  // not a native closure
}

static SQInteger ReadFreeVar(HSQUIRRELVM v) {
  // free variables sit above the arguments
  SQUserPointer p;
  if (SQ_FAILED(sq_getuserpointer(v, -1, &p))) return sq_throwerror(v, "no pointer");
  sq_pushinteger(v, *static_cast<int *>(p));
  return 1;
}

TEST_F(VmTest, NativeClosureFreeVariables) {
  static int value = 77;
  sq_pushuserpointer(v, &value);
  SetGlobalFn("freevar", ReadFreeVar, 1);
  EXPECT_EQ(sq_gettop(v), 0);
  ASSERT_TRUE(Run("print(freevar());"));
  EXPECT_EQ(cap.out, "77");
  PushGlobal("freevar");
  SQUnsignedInteger np, nf;
  ASSERT_TRUE(SQ_SUCCEEDED(sq_getclosureinfo(v, -1, &np, &nf)));
  EXPECT_EQ(nf, 1u);
  sq_pushinteger(v, 5);
  EXPECT_TRUE(SQ_SUCCEEDED(sq_setfreevariable(v, -2, 0)));
  sq_pushroottable(v);
  EXPECT_TRUE(SQ_FAILED(sq_call(v, 1, SQFalse, SQFalse)));  // the free variable is no longer a pointer
  EXPECT_EQ(LastError(), "no pointer");
}

TEST_F(VmTest, ScriptClosureInfoAndBindEnv) {
  ASSERT_TRUE(Run("function f(a, b) { return this.tag + a + b; }"));
  PushGlobal("f");
  SQUnsignedInteger np, nf;
  ASSERT_TRUE(SQ_SUCCEEDED(sq_getclosureinfo(v, -1, &np, &nf)));
  EXPECT_EQ(np, 3u);
  EXPECT_EQ(nf, 0u);
  sq_newtable(v);
  sq_pushstring(v, "tag", -1);
  sq_pushstring(v, "T", -1);
  sq_newslot(v, -3, SQFalse);
  sq_push(v, -1);  // the closure holds its environment weakly: keep it alive here
  ASSERT_TRUE(SQ_SUCCEEDED(sq_bindenv(v, -3)));
  sq_pushroottable(v);  // ignored: the bound environment wins
  sq_pushinteger(v, 1);
  sq_pushinteger(v, 2);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_call(v, 3, SQTrue, SQTrue)));
  const SQChar *s;
  sq_getstring(v, -1, &s);
  EXPECT_STREQ(s, "T12");
}

TEST_F(VmTest, ConversionsCompareCloneDelegate) {
  sq_pushfloat(v, 1.5f);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_tostring(v, -1)));
  const SQChar *s;
  sq_getstring(v, -1, &s);
  EXPECT_STREQ(s, "1.5");
  sq_settop(v, 0);
  SQBool b;
  sq_pushinteger(v, 0);
  sq_tobool(v, -1, &b);
  EXPECT_FALSE(b);
  sq_pushstring(v, "", -1);
  sq_tobool(v, -1, &b);
  EXPECT_TRUE(b);
  sq_settop(v, 0);
  sq_pushinteger(v, 1);
  sq_pushinteger(v, 2);
  EXPECT_LT(sq_cmp(v), 0);
  sq_settop(v, 0);
  sq_newtable(v);
  sq_pushstring(v, "k", -1);
  sq_pushinteger(v, 1);
  sq_newslot(v, -3, SQFalse);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_clone(v, -1)));
  sq_pushstring(v, "k", -1);
  sq_pushinteger(v, 2);
  sq_set(v, -3);
  sq_pushstring(v, "k", -1);
  sq_get(v, 1);
  SQInteger n;
  sq_getinteger(v, -1, &n);
  EXPECT_EQ(n, 1);  // the original is untouched
  sq_settop(v, 2);
  sq_push(v, 1);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_setdelegate(v, 2)));
  ASSERT_TRUE(SQ_SUCCEEDED(sq_getdelegate(v, 2)));
  HSQOBJECT d, t;
  sq_getstackobj(v, -1, &d);
  sq_getstackobj(v, 1, &t);
  EXPECT_EQ(d._unVal.pTable, t._unVal.pTable);
  sq_pop(v, 1);
  sq_push(v, 2);
  EXPECT_TRUE(SQ_FAILED(sq_setdelegate(v, 1)));  // a delegation cycle is refused
  EXPECT_STREQ(sq_objtostring(&t), nullptr);
  sq_pushstring(v, "s", -1);
  HSQOBJECT so;
  sq_getstackobj(v, -1, &so);
  EXPECT_STREQ(sq_objtostring(&so), "s");
  ASSERT_TRUE(SQ_SUCCEEDED(sq_typeof(v, 1)));
  sq_getstring(v, -1, &s);
  EXPECT_STREQ(s, "table");
}

TEST_F(VmTest, CycleCollectorFreesUnreachableCycles) {
  g_released = 0;
  sq_pushroottable(v);
  sq_pushstring(v, "Holder", -1);
  sq_newclass(v, SQFalse);
  sq_newslot(v, -3, SQFalse);
  sq_pop(v, 1);
  struct Maker {
    static SQInteger make(HSQUIRRELVM vm) {
      sq_pushroottable(vm);
      sq_pushstring(vm, "Holder", -1);
      sq_get(vm, -2);
      sq_createinstance(vm, -1);
      sq_setinstanceup(vm, -1, new int(1));
      sq_setreleasehook(vm, -1, CountRelease);
      return 1;
    }
  };
  SetGlobalFn("holder", Maker::make);
  ASSERT_TRUE(Run("local a = {h = holder()}; local b = {a = a}; a.b <- b; a = null; b = null;"));
  EXPECT_EQ(g_released, 0);  // the cycle keeps both tables alive
  ASSERT_TRUE(Run("::kept <- {h = holder()}; ::kept.self <- ::kept;"));
  EXPECT_GT(sq_collectgarbage(v), 0);
  EXPECT_EQ(g_released, 1);  // only the unreachable cycle went
  ASSERT_TRUE(Run("::kept = null;"));
  sq_collectgarbage(v);
  EXPECT_EQ(g_released, 2);
}

TEST_F(VmTest, VersionForeignPointerAndPrintFunctions) {
  EXPECT_EQ(sq_getversion(), SQUIRREL_VERSION_NUMBER);
  EXPECT_EQ(sq_getforeignptr(v), &cap);
  EXPECT_EQ(sq_getprintfunc(v), (SQPRINTFUNCTION)CapturePrint);
  EXPECT_EQ(sq_geterrorfunc(v), (SQPRINTFUNCTION)CaptureError);
  ASSERT_TRUE(Run("print(\"out\"); error(\"err\");"));
  EXPECT_EQ(cap.out, "out");
  EXPECT_EQ(cap.err, "err");
}
