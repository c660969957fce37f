// Embedding patterns: calling script closures from native loops, natives from
// script loops, threads driven through the API, and the standard libraries.
#include <cmath>

#include "test_vm.h"

TEST_F(VmTest, ScriptClosureCalledFromNativeLoop) {
  ASSERT_TRUE(Run("function cell(x, y) { return x * 0.5 + y; }"));
  PushGlobal("cell");
  double sum = 0;
  for (int i = 0; i < 65536; i++) {
    sq_push(v, -1);
    sq_pushroottable(v);
    sq_pushfloat(v, (SQFloat)(i & 255));
    sq_pushfloat(v, (SQFloat)(i >> 8));
    ASSERT_TRUE(SQ_SUCCEEDED(sq_call(v, 3, SQTrue, SQTrue)));
    SQFloat f;
    ASSERT_TRUE(SQ_SUCCEEDED(sq_getfloat(v, -1, &f)));
    sum += f;
    sq_pop(v, 2);
  }
  EXPECT_EQ(sq_gettop(v), 1);
  EXPECT_DOUBLE_EQ(sum, 65536.0 * (127.5 * 0.5 + 127.5));
}

static SQInteger NativeSquare(HSQUIRRELVM v) {
  SQFloat f;
  sq_getfloat(v, 2, &f);
  sq_pushfloat(v, f * f);
  return 1;
}

TEST_F(VmTest, NativeCalledFromScriptLoop) {
  SetGlobalFn("square", NativeSquare);
  ASSERT_TRUE(Run("local s = 0.0; for (local i = 0; i < 65536; i++) s += square(i % 4); ::result <- s;"));
  PushGlobal("result");
  SQFloat f;
  sq_getfloat(v, -1, &f);
  EXPECT_FLOAT_EQ(f, 16384.0f * (0 + 1 + 4 + 9));
}

TEST_F(VmTest, ThreadSuspendAndWakeUpThroughApi) {
  ASSERT_TRUE(Run("function worker(a) { local b = suspend(a + 1); return a + b; }"));
  HSQUIRRELVM t = sq_newthread(v, 256);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(sq_gettype(v, -1), OT_THREAD);
  EXPECT_EQ(sq_getvmstate(t), SQ_VMSTATE_IDLE);
  sq_pushroottable(t);
  sq_pushstring(t, "worker", -1);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_get(t, -2)));
  sq_pushroottable(t);
  sq_pushinteger(t, 10);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_call(t, 2, SQTrue, SQTrue)));
  EXPECT_EQ(sq_getvmstate(t), SQ_VMSTATE_SUSPENDED);
  SQInteger n;
  sq_getinteger(t, -1, &n);
  EXPECT_EQ(n, 11);  // the value passed to suspend()
  sq_pop(t, 1);
  sq_pushinteger(t, 5);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_wakeupvm(t, SQTrue, SQTrue, SQTrue, SQFalse)));
  EXPECT_EQ(sq_getvmstate(t), SQ_VMSTATE_IDLE);
  sq_getinteger(t, -1, &n);
  EXPECT_EQ(n, 15);
  EXPECT_TRUE(SQ_FAILED(sq_wakeupvm(t, SQFalse, SQFalse, SQFalse, SQFalse)));  // nothing to resume
  sq_pop(v, 1);
}

TEST_F(VmTest, GeneratorResumedFromNative) {
  ASSERT_TRUE(Run("function gen() { yield 1; yield 2; }"));
  PushGlobal("gen");
  sq_pushroottable(v);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_call(v, 1, SQTrue, SQTrue)));
  EXPECT_EQ(sq_gettype(v, -1), OT_GENERATOR);
  SQInteger total = 0;
  for (int i = 0; i < 2; i++) {
    ASSERT_TRUE(SQ_SUCCEEDED(sq_resume(v, SQTrue, SQTrue)));
    SQInteger n;
    sq_getinteger(v, -1, &n);
    total += n;
    sq_pop(v, 1);
  }
  EXPECT_EQ(total, 3);
}

static int g_native_tag;

TEST_F(VmTest, ClassesBuiltFromNativeCode) {
  struct Ctor {
    static SQInteger ctor(HSQUIRRELVM vm) {
      SQInteger n;
      sq_getinteger(vm, 2, &n);
      sq_setinstanceup(vm, 1, reinterpret_cast<SQUserPointer>(n));
      return 0;
    }
    static SQInteger get(HSQUIRRELVM vm) {
      SQUserPointer p;
      if (SQ_FAILED(sq_getinstanceup(vm, 1, &p, &g_native_tag))) return sq_throwerror(vm, "invalid 'this'");
      sq_pushinteger(vm, reinterpret_cast<SQInteger>(p));
      return 1;
    }
  };
  sq_pushroottable(v);
  sq_pushstring(v, "Native", -1);
  sq_newclass(v, SQFalse);
  sq_settypetag(v, -1, &g_native_tag);
  sq_pushstring(v, "constructor", -1);
  sq_newclosure(v, Ctor::ctor, 0);
  sq_newslot(v, -3, SQFalse);
  sq_pushstring(v, "get", -1);
  sq_newclosure(v, Ctor::get, 0);
  sq_newslot(v, -3, SQFalse);
  sq_newslot(v, -3, SQFalse);
  sq_pop(v, 1);
  ASSERT_TRUE(Run("class Sub extends Native { function twice() { return get() * 2; } }"
                  "print(Native(21).get() + \" \" + Sub(4).twice());"
                  "try { Native.get.call({}); } catch (e) print(\" \" + e);"));
  EXPECT_EQ(cap.out, "21 8 invalid 'this'");
}

TEST_F(VmTest, ConstTableAndAttributesFromApi) {
  sq_pushconsttable(v);
  sq_pushstring(v, "MAXV", -1);
  sq_pushinteger(v, 9);
  sq_newslot(v, -3, SQFalse);
  sq_pop(v, 1);
  ASSERT_TRUE(Run("print(MAXV * 2);"));
  EXPECT_EQ(cap.out, "18");
  ASSERT_TRUE(Run("class K { </ hint = \"h\" /> field = 1; }"));
  PushGlobal("K");
  sq_pushstring(v, "field", -1);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_getattributes(v, -2)));
  sq_pushstring(v, "hint", -1);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
  const SQChar *s;
  sq_getstring(v, -1, &s);
  EXPECT_STREQ(s, "h");
}

TEST_F(VmTest, MathLibrary) {
  ASSERT_TRUE(Run("print(format(\"%.3f %.3f %.3f %d %.1f %.1f %d %.4f %.2f\", sqrt(2), sin(PI / 2), atan2(1, 1) * 4, abs(-5),"
                  " floor(-1.5), ceil(1.2), (rand() >= 0 && rand() <= RAND_MAX) ? 1 : 0, pow(2, 0.5), log2(8)));"));
  EXPECT_EQ(cap.out, "1.414 1.000 3.142 5 -2.0 2.0 1 1.4142 3.00");
  cap.out.clear();
  ASSERT_TRUE(Run("srand(7); local a = rand(); srand(7); print(a == rand());"));
  EXPECT_EQ(cap.out, "true");
}

TEST_F(VmTest, RegexpFromNative) {
  const SQChar *err = nullptr;
  SQRex *rex = sqstd_rex_compile("(\\w+)=(\\d+)", &err);
  ASSERT_NE(rex, nullptr);
  const char *text = "  key=123 rest";
  const SQChar *b, *e;
  ASSERT_TRUE(sqstd_rex_search(rex, text, &b, &e));
  EXPECT_EQ(std::string(b, e), "key=123");
  SQRexMatch m;
  ASSERT_TRUE(sqstd_rex_getsubexp(rex, 2, &m));
  EXPECT_EQ(std::string(m.begin, m.len), "123");
  EXPECT_EQ(sqstd_rex_getsubexpcount(rex), 3);
  EXPECT_FALSE(sqstd_rex_match(rex, text));
  sqstd_rex_free(rex);
  EXPECT_EQ(sqstd_rex_compile("[abc", &err), nullptr);
  EXPECT_NE(err, nullptr);
  // a pattern prone to exponential backtracking gives up instead of hanging
  SQRex *bad = sqstd_rex_compile("(a*)*b", &err);
  ASSERT_NE(bad, nullptr);
  EXPECT_FALSE(sqstd_rex_match(bad, "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"));
  sqstd_rex_free(bad);
}

TEST_F(VmTest, FormatFromNative) {
  sq_pushstring(v, "%s-%04d-%.1f", -1);
  sq_pushstring(v, "id", -1);
  sq_pushinteger(v, 42);
  sq_pushfloat(v, 0.25f);
  SQChar *out;
  SQInteger len;
  ASSERT_TRUE(SQ_SUCCEEDED(sqstd_format(v, 1, &len, &out)));
  EXPECT_EQ(std::string(out, len), "id-0042-0.2");
}
