// The watchdog stops a script call that runs past the VM's time limit, at the
// line it was on, through every try, and the VM works normally afterwards.
#include <chrono>

#include "test_vm.h"

namespace {

class WatchdogTest : public VmTest {
 protected:
  // Runs `src` under a limit of `seconds`; returns the wall time it took.
  double RunLimited(const char *src, SQFloat seconds, bool &ok) {
    sq_setcalltimelimit(v, seconds);
    auto t0 = std::chrono::steady_clock::now();
    ok = Run(src, true);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  }
  // The error handler records the line of the script frame that raised.
  static SQInteger RecordLine(HSQUIRRELVM vm) {
    SQStackInfos si;
    if (SQ_SUCCEEDED(sq_stackinfos(vm, 1, &si))) current->error_line = si.line;
    return 0;
  }
  void SetUp() override {
    VmTest::SetUp();
    current = this;
    sq_newclosure(v, RecordLine, 0);
    sq_seterrorhandler(v);
    SetGlobalFn("clock", Clock);
  }
  static SQInteger Clock(HSQUIRRELVM vm) {
    static const auto start = std::chrono::steady_clock::now();  // floats keep ms near zero
    sq_pushfloat(vm, (SQFloat)std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    return 1;
  }
  static inline WatchdogTest *current = nullptr;
  SQInteger error_line = -1;
};

TEST_F(WatchdogTest, StopsEndlessLoopsAtTheirLineThroughAnyTry) {
  const char *endless[] = {
      "local i = 0;\nwhile (true) {\n  i++;\n}\n",
      // a try inside the loop must not swallow the stop
      "while (true) {\n  try { while (true) {} } catch (e) {}\n}\n",
      // endless recursion without any loop (a tree of calls)
      "function f(n) { if (n > 0) { f(n - 1); f(n - 1); } }\nf(60);\n",
      // a script callback run by a native
      "[1, 2, 3].map(function(x) {\n  for (;;) {}\n});\n",
      // a generator driven by foreach
      "function g() { local i = 0; while (true) yield i++; }\nforeach (x in g()) {}\n",
  };
  for (const char *src : endless) {
    SCOPED_TRACE(src);
    bool ok = true;
    double took = RunLimited(src, 0.1f, ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(LastError(), "script ran for more than 0.1 s");
    EXPECT_LT(took, 2.0);
  }
  bool ok;
  RunLimited("local i = 0;\nwhile (true) {\n  i++;\n}\n", 0.1f, ok);
  EXPECT_GE(error_line, 2);  // the loop or its body
  EXPECT_LE(error_line, 3);
}

TEST_F(WatchdogTest, EachHostCallGetsTheFullTimeAndTheLimitCanBeLifted) {
  bool ok = false;
  // Short calls one after the other never add up to a stop.
  for (int n = 0; n < 5; n++) {
    RunLimited("local t = clock(); while (clock() - t < 0.05) {}", 0.15f, ok);
    EXPECT_TRUE(ok) << LastError();
  }
  // The VM runs normally after a stopped call.
  RunLimited("while (true) {}", 0.05f, ok);
  EXPECT_FALSE(ok);
  RunLimited("x <- 0; for (local i = 0; i < 100000; i++) x += i;", 0.05f, ok);
  EXPECT_TRUE(ok) << LastError();
  EXPECT_FLOAT_EQ(sq_getcalltimelimit(v), 0.05f);
  RunLimited("local t = clock(); while (clock() - t < 0.2) {}", 0.0f, ok);
  EXPECT_TRUE(ok) << LastError();
}

}  // namespace
