// The game run into failures it must survive or report honestly: a crash in
// module code (the report, the record that replays into it, the next start
// after it), and files it was asked to write and could not.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/game/run_game.h"

namespace fs = std::filesystem;

namespace {
bool contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

int step_lines(const std::string& record) {
  int n = 0;
  std::istringstream in(record);
  std::string line;
  while (std::getline(in, line)) n += line.rfind("s ", 0) == 0;
  return n;
}

// A private copy of the program directory (the module files in it change)
// and a private data folder for the crash file.
struct FailureRun : ::testing::Test {
  fs::path root, bin, data;
  void SetUp() override {
    char tmpl[] = "/tmp/tolvane-failure-XXXXXX";
    root = mkdtemp(tmpl);
    bin = root / "bin";
    data = root / "data";
  }
  void TearDown() override {
    chmod(root.c_str(), 0755);
    fs::remove_all(root);
  }
  void copyProgram() { fs::copy(fs::path(GAME_BINARY).parent_path(), bin, fs::copy_options::recursive); }
  fs::path crashFile() const { return data / "Mirevast Games/Tolvane/crash.txt"; }

  // Returns the shell's exit status: a process killed by signal N gives 128 + N.
  int run(const std::string& args, std::string& out, bool own_copy = true) {
    std::string game = own_copy ? (bin / "game").string() : std::string(GAME_BINARY);
    std::string cmd = "ulimit -c 0; cd '" + root.string() + "' && env XDG_CONFIG_HOME='" + root.string() + "' XDG_DATA_HOME='" +
                      data.string() + "' TOLVANE_NO_MSGBOX=1 SDL_VIDEODRIVER=offscreen timeout 120 '" + game +
                      "' -360 " + args + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return -1;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), p)) > 0) out.append(buf, n);
    int status = pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
};
}  // namespace

// The module the game starts with crashes at step 30: the report names the
// module and the step, the record holds every step up to the crash and its
// replay crashes at the same step, and the next start says what happened.
TEST_F(FailureRun, ACrashInModuleCodeIsReportedAndItsRecordReplaysIntoIt) {
  copyProgram();
  fs::copy_file(CRASH_MODULE, bin / "gameobj.so", fs::copy_options::overwrite_existing);
  std::string out;
  int code = run("-steps 100 -seed 5 -record rec.txt", out);
  EXPECT_EQ(code, 128 + SIGSEGV) << out;
  EXPECT_TRUE(contains(out, "Tolvane crashed: SIGSEGV (invalid memory access at address 0x0) in the game-object "
                            "module gameobj.so"))
      << out;
  EXPECT_TRUE(contains(out, "at: gameobj.so+0x")) << out;
  EXPECT_TRUE(contains(out, "seed: 5\n")) << out;
  EXPECT_TRUE(contains(out, "step: 30\n")) << out;
  EXPECT_TRUE(contains(out, "backtrace:\n  #0 gameobj.so+0x")) << out;
  std::string report = read_file(crashFile());
  EXPECT_TRUE(contains(report, "in_module: yes\n")) << report;
  EXPECT_TRUE(contains(report, "module_rebuild: 0\n")) << report;
  EXPECT_TRUE(contains(report, "record: rec.txt\n")) << report;
  EXPECT_EQ(step_lines(read_file(root / "rec.txt")), 31) << "steps 0 to 30, the crashing one included";

  std::string replay;
  EXPECT_EQ(run("-replay rec.txt", replay), 128 + SIGSEGV) << replay;
  EXPECT_TRUE(contains(replay, "step: 30\n")) << replay;
  EXPECT_TRUE(contains(read_file(crashFile()), "seed: 5\n"));

  std::string next;
  EXPECT_EQ(run("-steps 5", next), 0) << next;
  EXPECT_TRUE(contains(next, "The last run crashed (SIGSEGV) in the game-object module gameobj.so it started with"))
      << next;
  EXPECT_FALSE(fs::exists(crashFile())) << "reported once";
  EXPECT_TRUE(fs::exists(crashFile().parent_path() / "crash_last.txt"));
}

// A module dropped in while the game runs is swapped in and crashes: the
// next start goes back to the module that ran before it, and says so.
TEST_F(FailureRun, AfterACrashInASwappedInModuleTheNextStartUsesTheLastGoodOne) {
  copyProgram();
  std::string good = read_file(bin / "gameobj.so");
  fs::copy_file(CRASH_MODULE, bin / "gameobj_new.so");
  std::string out;
  EXPECT_EQ(run("-steps 200 -seed 9", out), 128 + SIGSEGV) << out;
  EXPECT_TRUE(contains(out, "gameobj reload ok")) << out;
  EXPECT_TRUE(contains(out, "(rebuilt while running)")) << out;
  EXPECT_TRUE(contains(read_file(crashFile()), "module_rebuild: 1\n"));
  EXPECT_EQ(read_file(bin / "gameobj_prev.so"), good);

  std::string next;
  EXPECT_EQ(run("-steps 40", next), 0) << next;
  EXPECT_TRUE(contains(next, "rebuilt while it ran (rebuild 1): starting with the last good module")) << next;
  EXPECT_EQ(read_file(bin / "gameobj.so"), good);
  EXPECT_EQ(read_file(bin / "gameobj_crashed.so"), read_file(CRASH_MODULE));
}

// Files the run was asked for and did not get: the path and the reason in
// the log, and a failed exit code.
TEST_F(FailureRun, ShotAndRecordWriteFailuresNameThePathAndFailTheRun) {
  fs::create_directories(root / "locked");
  chmod((root / "locked").c_str(), 0555);
  bool can_write_anyway = access((root / "locked").c_str(), W_OK) == 0;  // root ignores the mode
  std::string shot;
  int shot_code = run("-steps 3 -shot '" + (root / "locked/x.png").string() + "'", shot, false);
  if (!can_write_anyway) {
    EXPECT_NE(shot_code, 0) << shot;
    EXPECT_TRUE(contains(shot, "failed to save screenshot to '" + (root / "locked/x.png").string() +
                                   "': Permission denied"))
        << shot;
  }
  std::string missing;
  EXPECT_NE(run("-steps 3 -shot '" + (root / "no/such/dir/x.png").string() + "'", missing, false), 0) << missing;
  EXPECT_TRUE(contains(missing, "x.png': No such file or directory")) << missing;

  std::string rec;
  EXPECT_NE(run("-steps 3 -record /dev/full", rec, false), 0) << rec;
  EXPECT_TRUE(contains(rec, "can't write input record '/dev/full': No space left on device")) << rec;
  EXPECT_TRUE(contains(rec, "closed all systems")) << "the run itself goes on to its end";
}
