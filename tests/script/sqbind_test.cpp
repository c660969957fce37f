// The binding layer: argument conversions and their failure texts, type
// tags, dispatch errors raised in the script, instances, the runtime error
// handler's output, object references and typed calls.
#include <gtest/gtest.h>

#include <string>

#include "script/ramp_classes.h"
#include "script/sqbind.h"
#include "script/vec_helpers.h"
#include "tests/script/script_test_support.h"

using namespace sqbind;

namespace {
vec4f last_vec;
const FloatRamp* last_ramp = reinterpret_cast<const FloatRamp*>(1);

void take_vec(vec4f v) { last_vec = v; }
void take_color(Color c) { last_vec = c.v; }
void take_float_ramp(Nullable<const FloatRamp> r) { last_ramp = r; }
float add2(float a, int b) { return a + float(b); }

struct Vm : ::testing::Test {
  HSQUIRRELVM vm = nullptr;
  void SetUp() override {
    vm = open_vm(1024);
    ASSERT_TRUE(vm);
    capture_print(vm);
    printed.clear();
    register_ramp_classes(vm);
    register_vec4f_and_helpers(vm);
    register_global(vm, "take_vec", &take_vec);
    register_global(vm, "take_color", &take_color);
    register_global(vm, "take_float_ramp", &take_float_ramp);
    register_global(vm, "add2", &add2);
  }
  void TearDown() override { close_vm(vm); }

  // Runs text expecting a SquirrelError to unwind out of it; returns its text.
  std::string error_of(const char* text) {
    SQInteger top = sq_gettop(vm);
    try {
      run_text(vm, text);
    } catch (const SquirrelError& e) {
      sq_settop(vm, top);
      return e.text;
    }
    sq_settop(vm, top);
    return "(no error)";
  }
  std::string global_string(const char* name) {
    sq_pushroottable(vm);
    sq_pushstring(vm, name, -1);
    std::string r = "(missing)";
    if (SQ_SUCCEEDED(sq_get(vm, -2))) {
      const SQChar* s = nullptr;
      if (SQ_SUCCEEDED(sq_getstring(vm, -1, &s))) r = s;
      sq_poptop(vm);
    }
    sq_poptop(vm);
    return r;
  }
};

bool same(const vec4f& a, float x, float y, float z, float w) {
  return a.x == x && a.y == y && a.z == z && a.w == w;
}
}  // namespace

TEST_F(Vm, Vec4fArgumentConversions) {
  ASSERT_TRUE(run_text(vm, "take_vec(3)"));
  EXPECT_TRUE(same(last_vec, 3, 3, 3, 3));
  ASSERT_TRUE(run_text(vm, "take_vec([1, 2, 3, 4])"));
  EXPECT_TRUE(same(last_vec, 1, 2, 3, 4));
  ASSERT_TRUE(run_text(vm, "take_vec(vec4f(5, 6, 7, 8))"));
  EXPECT_TRUE(same(last_vec, 5, 6, 7, 8));
  ASSERT_TRUE(run_text(vm, "take_vec(2.5)"));
  EXPECT_TRUE(same(last_vec, 2.5f, 2.5f, 2.5f, 2.5f));

  // A short array fails with the VM's own text for the missing element.
  SQInteger top = sq_gettop(vm);
  std::string short_array = error_of("take_vec([1, 2])");
  EXPECT_NE(short_array, "(no error)");
  EXPECT_NE(short_array, INST_ERROR);
  EXPECT_EQ(sq_gettop(vm), top);
  EXPECT_EQ(error_of("take_vec(\"red\")"), INST_ERROR);
  EXPECT_EQ(error_of("take_vec(null)"), INST_ERROR);
  EXPECT_EQ(error_of("take_vec()"), INST_ERROR);
}

TEST_F(Vm, ColorArgumentsTakePackedIntegers) {
  ASSERT_TRUE(run_text(vm, "take_color(0x80FF0000)"));
  EXPECT_FLOAT_EQ(last_vec.x, 1.0f);
  EXPECT_FLOAT_EQ(last_vec.y, 0.0f);
  EXPECT_FLOAT_EQ(last_vec.w, 128.0f / 255.0f);
  ASSERT_TRUE(run_text(vm, "take_color(0.5)"));
  EXPECT_TRUE(same(last_vec, 0.5f, 0.5f, 0.5f, 0.5f));
}

TEST_F(Vm, ScalarConversionsAndResults) {
  ASSERT_TRUE(run_text(vm, "r <- add2(1.5, 2).tostring()"));
  EXPECT_EQ(global_string("r"), "3.5");
  ASSERT_TRUE(run_text(vm, "r <- add2(1, 2).tostring()"));  // an integer is a float argument
  EXPECT_EQ(global_string("r"), "3");
  EXPECT_EQ(error_of("add2(1.0, 2.5)"), TYPE_ERROR);  // a float is not an integer
  EXPECT_EQ(error_of("add2(\"x\", 2)"), TYPE_ERROR);
  EXPECT_EQ(error_of("add2(1.0)"), TYPE_ERROR);  // missing argument
}

TEST_F(Vm, RampTypeTagsAreChecked) {
  last_ramp = reinterpret_cast<const FloatRamp*>(1);
  ASSERT_TRUE(run_text(vm, "take_float_ramp(null)"));
  EXPECT_EQ(last_ramp, nullptr);
  ASSERT_TRUE(run_text(vm, "take_float_ramp(FloatRamp.constRamp(2))"));
  ASSERT_NE(last_ramp, nullptr);
  EXPECT_EQ(error_of("take_float_ramp(ColorRamp.constRamp(0xFFFFFFFF))"), INST_ERROR);
  EXPECT_EQ(error_of("take_float_ramp(vec4f(1))"), INST_ERROR);
  EXPECT_EQ(error_of("take_float_ramp({})"), INST_ERROR);
}

TEST_F(Vm, MethodsRefuseAForeignThis) {
  ASSERT_TRUE(run_text(vm,
                       "local t = { get = FloatRamp.constRamp(1).get };"
                       "try { t.get(0.5); r <- \"no error\"; } catch (e) { r <- e; }"));
  EXPECT_EQ(global_string("r"), "invalid 'this' in C++ method call");
  ASSERT_TRUE(run_text(vm,
                       "local f = FloatRamp.constRamp(1).get;"
                       "try { f.call(ColorRamp.constRamp(1), 0.5); r <- \"no error\"; } catch (e) { r <- e; }"));
  EXPECT_EQ(global_string("r"), "invalid 'this' in C++ method call");
}

TEST_F(Vm, PushInstance) {
  SQInteger top = sq_gettop(vm);
  EXPECT_TRUE(push_instance(vm, nullptr, type_tag<vec4f>(), "vec4f", nullptr));
  EXPECT_EQ(sq_gettop(vm), top + 1);
  EXPECT_EQ(sq_gettype(vm, -1), OT_NULL);
  sq_poptop(vm);

  vec4f borrowed(1, 2, 3, 4);
  push_borrowed(vm, &borrowed);
  EXPECT_EQ(get_instance(vm, -1, type_tag<vec4f>()), &borrowed);
  EXPECT_EQ(get_instance(vm, -1, type_tag<ColorRamp>()), nullptr);
  sq_poptop(vm);
  sq_collectgarbage(vm);
  EXPECT_EQ(borrowed.x, 1.0f);  // borrowed objects are not freed

  // A tag with no class behind it leaves the stack as it was.
  static const char unknown_tag = 0;
  EXPECT_THROW(push_instance(vm, &borrowed, SQUserPointer(&unknown_tag), "nothing", nullptr), SquirrelError);
  EXPECT_EQ(sq_gettop(vm), top);
}

TEST_F(Vm, CallStackPrinterLimitsAndNames) {
  // 30 nested calls, each with a local, then an error at the deepest one.
  ASSERT_TRUE(run_text(vm, "function deep(n) { local depth = n; if (n == 0) throw \"bottom\"; deep(n - 1); }"));
  // The locals are printed only when asked for.
  printed.clear();
  EXPECT_FALSE(run_text(vm, "deep(30)"));
  EXPECT_NE(printed.find("test.nut:1:55: ERROR: bottom (in deep())"), std::string::npos) << printed;
  EXPECT_EQ(printed.find("LOCALS"), std::string::npos) << printed;
  set_print_locals(true);
  printed.clear();
  EXPECT_FALSE(run_text(vm, "deep(30)"));
  set_print_locals(false);
  EXPECT_NE(printed.find("\nCALLSTACK\n"), std::string::npos);
  EXPECT_NE(printed.find("test.nut:1:55: ERROR: bottom (in deep())"), std::string::npos) << printed;
  EXPECT_NE(printed.find("\nLOCALS\n"), std::string::npos);
  size_t calls = 0, locals = 0;
  for (size_t p = 0; (p = printed.find("function deep() (CALLSTACK)", p)) != std::string::npos; p++) calls++;
  for (size_t p = 0; (p = printed.find("[depth] ", p)) != std::string::npos; p++) locals++;
  EXPECT_GE(calls, 30u);
  EXPECT_GE(locals, 18u);
  EXPECT_LE(locals, 20u);
  EXPECT_NE(printed.find("[depth] 0\n"), std::string::npos);

  // A function without a name prints as "unknown".
  printed.clear();
  EXPECT_FALSE(run_text(vm, "local f = function() { throw \"x\"; }; f();"));
  EXPECT_NE(printed.find("ERROR: x (in unknown())"), std::string::npos) << printed;
}

TEST_F(Vm, CompilerErrorsArePrinted) {
  printed.clear();
  const char* bad = "local x = ;";
  EXPECT_FALSE(compile_buffer(vm, bad, SQInteger(strlen(bad)), "broken.nut"));
  EXPECT_NE(printed.find("broken.nut:1:11: error: expression expected"), std::string::npos) << printed;
}

TEST_F(Vm, SqFuncCallsAndCollectedEnvironments) {
  ASSERT_TRUE(run_text(vm, "function twice(x) { return x * 2; } holder <- { f = function() { return 7; } }"));
  SqFunc twice;
  ASSERT_TRUE(twice.bind(vm, "twice"));
  EXPECT_FALSE(twice.isNull());
  EXPECT_FLOAT_EQ(twice.call<float>(2.5f), 5.0f);
  vec4f r = twice.call<vec4f>(vec4f(1, 2, 3, 4));
  EXPECT_TRUE(same(r, 2, 4, 6, 8));

  SqFunc missing;
  EXPECT_FALSE(missing.bind(vm, "no_such_function"));
  EXPECT_TRUE(missing.isNull());

  SqFunc f;
  {
    SqObject root;
    sq_pushroottable(vm);
    root.weakFromStack(vm, -1);
    sq_poptop(vm);
    SqObject holder = getSlot<SqObject>(vm, root, "holder");
    ASSERT_TRUE(f.bind(vm, holder, "f"));
  }
  SQInteger top = sq_gettop(vm);
  EXPECT_FALSE(f.isNull());
  EXPECT_FLOAT_EQ(f.call<float>(), 7.0f);
  ASSERT_TRUE(run_text(vm, "delete holder"));
  sq_collectgarbage(vm);
  EXPECT_TRUE(f.isNull());
  try {
    f.call<float>();
    ADD_FAILURE() << "call of a collected environment succeeded";
  } catch (const SquirrelError& e) {
    EXPECT_STREQ(e.text, "SqFunc: can't deref weakptr to object");
  }
  EXPECT_EQ(sq_gettop(vm), top);

  // A script error inside the call throws and leaves the stack balanced.
  ASSERT_TRUE(run_text(vm, "function fails() { return nothing_here; }"));
  SqFunc fails;
  fails.bind(vm, "fails");
  EXPECT_THROW(fails.call<float>(), SquirrelError);
  EXPECT_EQ(sq_gettop(vm), top);
  // A result of the wrong type.
  ASSERT_TRUE(run_text(vm, "function text() { return \"t\"; }"));
  SqFunc text;
  text.bind(vm, "text");
  EXPECT_THROW(text.call<float>(), SquirrelError);
  EXPECT_EQ(sq_gettop(vm), top);
}

TEST_F(Vm, SlotsRegistryAndArrays) {
  ASSERT_TRUE(run_text(vm, "cfg <- { size = 2.5, tint = [1, 0, 0, 1], ramp = null }"));
  SqObject root;
  sq_pushroottable(vm);
  root.weakFromStack(vm, -1);
  sq_poptop(vm);
  SQInteger top = sq_gettop(vm);
  SqObject cfg = getSlot<SqObject>(vm, root, "cfg");
  EXPECT_FLOAT_EQ(getSlot<float>(vm, cfg, "size"), 2.5f);
  EXPECT_TRUE(same(getSlot<vec4f>(vm, cfg, "tint"), 1, 0, 0, 1));
  EXPECT_EQ(getSlotPtr<FloatRamp>(vm, cfg, "ramp"), nullptr);
  EXPECT_THROW(getSlot<float>(vm, cfg, "missing"), SquirrelError);
  EXPECT_THROW(getSlot<float>(vm, cfg, "tint"), SquirrelError);
  EXPECT_THROW(getReg(vm, "NoSuchEntry"), SquirrelError);
  EXPECT_EQ(sq_gettop(vm), top);

  SqObject copy = cfg;  // references are counted per holder
  cfg.release();
  EXPECT_FLOAT_EQ(getSlot<float>(vm, copy, "size"), 2.5f);
}
