// Reloadable VMs: the file list, include rules, change detection and the
// order and forcing of reloads.
#include <gtest/gtest.h>

#include <string>

#include "script/sqVMReload.h"
#include "script/sqbind.h"
#include "tests/script/script_test_support.h"

namespace {
struct Reload : ::testing::Test {
  std::string dir;
  SqReloadableVM rvm;
  void SetUp() override {
    dir = make_scratch_dir();
    ASSERT_TRUE(rvm.open(1024));
    capture_print(rvm.vm);
    printed.clear();
  }
  // Each file appends its name to the root array `runs`.
  void script(const char* name, const char* extra = "") {
    std::string text = std::string("if (!(\"runs\" in getroottable())) ::runs <- [];\n::runs.append(\"") + name +
                       "\");\n" + extra;
    write_file(dir + name, text.c_str());
    set_file_time(dir + name, 1000000);
  }
  std::string runs() {
    std::string r;
    sq_pushroottable(rvm.vm);
    sq_pushstring(rvm.vm, "runs", -1);
    if (SQ_SUCCEEDED(sq_get(rvm.vm, -2))) {
      SQInteger n = sq_getsize(rvm.vm, -1);
      for (SQInteger i = 0; i < n; i++) {
        sq_pushinteger(rvm.vm, i);
        sq_get(rvm.vm, -2);
        const SQChar* s = "";
        sq_getstring(rvm.vm, -1, &s);
        r += std::string(r.empty() ? "" : " ") + s;
        sq_poptop(rvm.vm);
      }
      sq_poptop(rvm.vm);
    }
    sq_poptop(rvm.vm);
    return r;
  }
  void clear_runs() { ASSERT_TRUE(run_text(rvm.vm, "::runs <- [];")); }
};
}  // namespace

TEST_F(Reload, IncludeRunsEachFileOnceWhateverTheCase) {
  script("a.nut", "include(\"b.nut\"); include(\"B.NUT\"); include(\"b.nut\");");
  script("b.nut");
  EXPECT_TRUE(rvm.include("a.nut"));
  EXPECT_TRUE(rvm.include("A.nut"));
  EXPECT_EQ(runs(), "a.nut b.nut");
  ASSERT_EQ(rvm.files.size(), 2);
  EXPECT_EQ(std::string(rvm.files[0].path), dir + "a.nut");
  EXPECT_EQ(std::string(rvm.files[1].path), dir + "b.nut");
  EXPECT_EQ(rvm.files[0].time, 1000000);
  EXPECT_FALSE(rvm.isChanged());
}

TEST_F(Reload, IncludeOfANonStringIsATypeError) {
  SQInteger top = sq_gettop(rvm.vm);
  try {
    run_text(rvm.vm, "include(5)");
    ADD_FAILURE() << "no error";
  } catch (const sqbind::SquirrelError& e) {
    EXPECT_STREQ(e.text, sqbind::TYPE_ERROR);
  }
  sq_settop(rvm.vm, top);
}

TEST_F(Reload, ChangedTimesAreDetectedBothWays) {
  script("a.nut");
  ASSERT_TRUE(rvm.include("a.nut"));
  EXPECT_FALSE(rvm.isChanged());
  set_file_time(dir + "a.nut", 1000001);  // touched, same content
  EXPECT_TRUE(rvm.isChanged());
  EXPECT_TRUE(rvm.reload(false));
  EXPECT_FALSE(rvm.isChanged());
  set_file_time(dir + "a.nut", 999);  // set back
  EXPECT_TRUE(rvm.isChanged());
  EXPECT_TRUE(rvm.reload(false));
  std::remove((dir + "a.nut").c_str());  // vanished
  EXPECT_TRUE(rvm.isChanged());
}

TEST_F(Reload, UnforcedRunsChangedFilesForcedRunsAllInListOrder) {
  script("main.nut", "include(\"one.nut\"); include(\"two.nut\");");
  script("one.nut");
  script("two.nut");
  ASSERT_TRUE(rvm.include("main.nut"));
  EXPECT_EQ(runs(), "main.nut one.nut two.nut");

  clear_runs();
  set_file_time(dir + "two.nut", 1000005);
  EXPECT_TRUE(rvm.reload(false));
  EXPECT_EQ(runs(), "two.nut");

  clear_runs();
  EXPECT_TRUE(rvm.reload(true));
  EXPECT_EQ(runs(), "main.nut one.nut two.nut");
}

TEST_F(Reload, FailingFirstFileLeavesLaterTimesAlone) {
  script("main.nut", "include(\"one.nut\");");
  script("one.nut");
  ASSERT_TRUE(rvm.include("main.nut"));
  write_file(dir + "main.nut", "this is not squirrel (");
  set_file_time(dir + "main.nut", 2000000);
  set_file_time(dir + "one.nut", 2000000);
  clear_runs();
  EXPECT_FALSE(rvm.reload(false));
  EXPECT_EQ(rvm.files[0].time, 2000000);  // the broken file is not retried until it changes
  EXPECT_EQ(rvm.files[1].time, 1000000);
  EXPECT_EQ(runs(), "");
  EXPECT_NE(printed.find("error"), std::string::npos);
  EXPECT_TRUE(rvm.isChanged());
}

TEST_F(Reload, AFailedFileIsStillWatched) {
  write_file(dir + "bad.nut", "local = ;");
  EXPECT_FALSE(rvm.include("bad.nut"));
  ASSERT_EQ(rvm.files.size(), 1);
  EXPECT_TRUE(rvm.include("bad.nut"));  // listed: not run again
  EXPECT_FALSE(rvm.include("missing.nut"));
  EXPECT_EQ(rvm.files.size(), 2);
}

TEST_F(Reload, ReopenKeepsTheFileListAndTheStandardSet) {
  script("a.nut");
  ASSERT_TRUE(rvm.include("a.nut"));
  HSQUIRRELVM old = rvm.vm;
  ASSERT_TRUE(rvm.open(1024));
  EXPECT_NE(rvm.vm, nullptr);
  (void)old;
  ASSERT_EQ(rvm.files.size(), 1);
  EXPECT_TRUE(run_text(rvm.vm, "x <- sqrt(16.0); y <- format(\"%d\", 3); include(\"a.nut\");"));
  EXPECT_EQ(runs(), "");  // listed from before: include does nothing
  EXPECT_TRUE(rvm.reload(true));
  EXPECT_EQ(runs(), "a.nut");
  rvm.close();
  EXPECT_EQ(rvm.vm, nullptr);
  EXPECT_EQ(rvm.files.size(), 1);
}

TEST_F(Reload, AFailedIncludeFailsTheIncludingScriptWithTheReason) {
  struct Case {
    const char* included;  // text of inc.nut, or null for a missing file
    const char* reason;
  } cases[] = {
      {nullptr, "include 'inc.nut' failed: can't open script file"},
      {"local = ;", "expected 'IDENTIFIER'"},
      {"throw \"broken on purpose\";", "broken on purpose"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    rvm.files.clear();
    ASSERT_TRUE(rvm.open(1024));
    std::remove((dir + "inc.nut").c_str());
    if (c.included) write_file(dir + "inc.nut", c.included);
    script("main.nut", "include(\"inc.nut\");\n::after <- 1;");
    SQInteger top = sq_gettop(rvm.vm);
    EXPECT_FALSE(rvm.include("main.nut"));
    std::string err = sqbind::last_error_text(rvm.vm);
    EXPECT_EQ(err.rfind(c.reason, 0), 0u) << err;
    sq_settop(rvm.vm, top);
    EXPECT_FALSE(run_text(rvm.vm, "return ::after;"));  // main.nut stopped at the include
  }
}

TEST_F(Reload, AnEndlessFileIsStoppedAndTheFixedFileRunsOnReload) {
#ifndef SQ_HAS_CALLTIMELIMIT
  GTEST_SKIP() << "the installed Squirrel has no watchdog";
#endif
  rvm.files.clear();
  ASSERT_TRUE(rvm.open(1024));
  sq_setcalltimelimit(rvm.vm, 0.2f);
  script("main.nut", "while (true) {}");
  EXPECT_FALSE(rvm.include("main.nut"));
  std::string err = sqbind::last_error_text(rvm.vm);
  EXPECT_EQ(err, "script ran for more than 0.2 s");
  script("main.nut", "::fixed <- true;");
  set_file_time(dir + "main.nut", 3000000);
  EXPECT_TRUE(rvm.reload(false));
  EXPECT_TRUE(run_text(rvm.vm, "if (!::fixed) throw \"not run\";"));
}
