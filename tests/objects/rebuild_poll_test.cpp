// The rebuild watch and the rebuild script's output: which sources are
// watched, which output lines count as errors, and how a run ends.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "objects/module_host.h"
#include "platform/globals.h"
#include "platform/messages.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

TEST(RebuildErrorWords, OnlyTheWholeWordErrorOrErrorsCounts) {
  EXPECT_TRUE(line_reports_error("main.cpp:3:1: error: expected ';'"));
  EXPECT_TRUE(line_reports_error("2 ERRORS generated."));
  EXPECT_TRUE(line_reports_error("Error"));
  EXPECT_TRUE(line_reports_error("(errors)"));
  EXPECT_TRUE(line_reports_error("-error-"));
  EXPECT_FALSE(line_reports_error("error_words.cpp compiled"));
  EXPECT_FALSE(line_reports_error("no errorless build"));
  EXPECT_FALSE(line_reports_error("terror"));
  EXPECT_FALSE(line_reports_error("errors2"));
  EXPECT_FALSE(line_reports_error("_error"));
  EXPECT_FALSE(line_reports_error("3 warnings generated"));
  EXPECT_TRUE(line_reports_error("terror and error"));
}

namespace {
struct RebuildDir : ::testing::Test {
  fs::path dir;
  std::string old_cwd;
  void SetUp() override {
    char tmpl[] = "/tmp/tolvane-rebuild-XXXXXX";
    dir = mkdtemp(tmpl);
    fs::create_directories(dir / "bin");
    fs::create_directories(dir / "compiler");
    std::snprintf(app_path, sizeof(app_path), "%s/", (dir / "bin").c_str());
    old_cwd = fs::current_path();
    set_error_message(nullptr);
  }
  void TearDown() override {
    // Lets a script still running finish, so that no pipe stays open.
    for (int i = 0; i < 200 && poll_gameobj_rebuild(); i++) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    clear_rebuild_sources();
    fs::current_path(old_cwd);
    fs::remove_all(dir);
  }
  void write(const std::string& name, const std::string& text) {
    std::ofstream(dir / "compiler" / name, std::ios::binary) << text;
  }
  // File times have a resolution of a second: moving the time ahead makes
  // an edit visible at once.
  void touch_later(const std::string& name) {
    fs::path p = dir / "compiler" / name;
    struct stat st;
    ASSERT_EQ(stat(p.c_str(), &st), 0);
    utimbuf t{st.st_atime, st.st_mtime + 5};
    ASSERT_EQ(utime(p.c_str(), &t), 0);
  }
  std::string watched(int i) { return fs::path(rebuild_watch_path(i)).filename(); }
  // Polls until the run ends (or a few seconds pass).
  void finish_run() {
    for (int i = 0; i < 300 && poll_gameobj_rebuild(); i++) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  void script(const std::string& body) {
    write("rebuild_dll.sh", "#!/bin/sh\n" + body);
    fs::permissions(dir / "compiler" / "rebuild_dll.sh", fs::perms::owner_all);
  }
};
}  // namespace

TEST_F(RebuildDir, SourcesAreWatchedOnceThroughIncludeCycles) {
  write("main.cpp", "#include \"a.h\"\n#include <vector>\n #include \"indented.h\"\n#include \"main.cpp\"\n");
  write("a.h", "#include \"b.h\"\n#include \"A.H\"\n");
  write("b.h", "#include \"a.h\"\n#include \"missing.h\"\n");
  scan_rebuild_sources(GAMEOBJ_MAIN_SOURCE);
  ASSERT_EQ(rebuild_watch_count(), 4);
  EXPECT_EQ(watched(0), "main.cpp");
  EXPECT_EQ(watched(1), "a.h");
  EXPECT_EQ(watched(2), "b.h");
  EXPECT_EQ(watched(3), "missing.h");  // watched until it appears
  EXPECT_EQ(std::string(rebuild_watch_path(0)), (dir / "compiler" / "main.cpp").string());
}

TEST_F(RebuildDir, AnErrorWordFailsTheRunEvenWithExitCodeZero) {
  write("main.cpp", "// module\n");
  script("echo 'compiling main.cpp'\necho 'main.cpp:1: Error: broken'\nexit 0\n");
  scan_rebuild_sources(GAMEOBJ_MAIN_SOURCE);
  EXPECT_FALSE(poll_gameobj_rebuild());  // nothing changed yet
  touch_later("main.cpp");
  EXPECT_TRUE(poll_gameobj_rebuild());
  finish_run();
  std::string msg = get_error_message();
  EXPECT_NE(msg.find("main.cpp:1: Error: broken"), std::string::npos) << msg;
  EXPECT_EQ(msg.find("compiling"), std::string::npos) << msg;
  EXPECT_NE(msg.find("gameobj rebuild failed!!!"), std::string::npos) << msg;
  // The script runs in the sources' directory.
  EXPECT_EQ(fs::canonical(fs::current_path()), fs::canonical(dir / "compiler"));
}

TEST_F(RebuildDir, ACleanRunLeavesNoMessageAndAFailingOneDoes) {
  write("main.cpp", "// module\n");
  script("echo 'all fine, no errorless words here'\nexit 0\n");
  scan_rebuild_sources(GAMEOBJ_MAIN_SOURCE);
  set_error_message("an old message");
  touch_later("main.cpp");
  poll_gameobj_rebuild();
  finish_run();
  EXPECT_FALSE(has_error_message()) << get_error_message();

  script("exit 3\n");
  touch_later("main.cpp");
  poll_gameobj_rebuild();
  finish_run();
  EXPECT_STREQ(get_error_message(), "gameobj rebuild failed!!!");
}

TEST_F(RebuildDir, ARunningRebuildIsNeverWaitedFor) {
  write("main.cpp", "// module\n");
  script("echo started\nsleep 1\necho 'error: late'\n");
  scan_rebuild_sources(GAMEOBJ_MAIN_SOURCE);
  touch_later("main.cpp");
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(poll_gameobj_rebuild());
  EXPECT_TRUE(poll_gameobj_rebuild());
  EXPECT_FALSE(poll_gameobj_reload());  // no reload while it runs
  auto spent = std::chrono::steady_clock::now() - start;
  EXPECT_LT(spent, std::chrono::milliseconds(500));
  finish_run();
  EXPECT_NE(std::string(get_error_message()).find("error: late"), std::string::npos);
}

TEST_F(RebuildDir, ASourceAddedByAnEditIsWatchedAfterTheRebuildStarts) {
  write("main.cpp", "// module\n");
  script("exit 0\n");
  scan_rebuild_sources(GAMEOBJ_MAIN_SOURCE);
  EXPECT_EQ(rebuild_watch_count(), 1);
  write("extra.cpp", "// more\n");
  write("main.cpp", "#include \"extra.cpp\"\n");
  touch_later("main.cpp");
  poll_gameobj_rebuild();
  finish_run();
  EXPECT_EQ(rebuild_watch_count(), 2);
}

TEST_F(RebuildDir, AnEditWithinTheSameSecondIsSeen) {
  write("main.cpp", "// module\n");
  script("exit 0\n");
  std::string path = (dir / "compiler" / "main.cpp").string();
  timespec times[2] = {{1700000000, 100}, {1700000000, 100}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  scan_rebuild_sources(GAMEOBJ_MAIN_SOURCE);
  EXPECT_FALSE(poll_gameobj_rebuild());
  times[1].tv_nsec = 900000;
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  EXPECT_TRUE(poll_gameobj_rebuild());
  finish_run();
}
