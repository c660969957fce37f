// The real gatewick under the X display: synthetic clicks through the X
// server change a setting, Quit or Start save it, and the game's own settings
// reader sees the new value.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "app/settings.h"
#include "platform/globals.h"

namespace fs = std::filesystem;

namespace {
std::string read_file(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

bool have_x_tools() {
  return std::getenv("DISPLAY") && std::system("command -v xdotool >/dev/null 2>&1") == 0;
}

struct GatewickRun : ::testing::Test {
  std::string dir, cfg, log;
  pid_t pid = -1;

  void SetUp() override {
    if (!have_x_tools()) GTEST_SKIP() << "needs an X display and xdotool (tools/deps.sh installs it)";
    char tmpl[] = "/tmp/tolvane-gatewick-XXXXXX";
    dir = mkdtemp(tmpl);
    cfg = dir + "/config";
    log = dir + "/gatewick.log";
    fs::create_directories(cfg);
  }
  void TearDown() override {
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    if (!dir.empty()) fs::remove_all(dir);
  }

  // Starts the program with a private settings directory, logging to a file.
  void launch(const std::string& program) {
    pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      std::FILE* out = std::freopen(log.c_str(), "w", stdout);
      if (!out || dup2(fileno(stdout), 2) < 0) _exit(127);
      setenv("XDG_CONFIG_HOME", cfg.c_str(), 1);
      setenv("XDG_DATA_HOME", (cfg + "/data").c_str(), 1);
      setenv("TOLVANE_NO_MSGBOX", "1", 1);
      setenv("SDL_VIDEODRIVER", "x11", 1);
      execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
  }

  bool waitForLog(const std::string& line, int seconds = 20) {
    for (int i = 0; i < seconds * 20; i++) {
      if (read_file(log).find(line) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

  // Clicks at window coordinates of the 640 x 512 client area.
  void click(int x, int y) {
    std::string cmd = "xdotool search --sync --pid " + std::to_string(pid) +
                      " --name 'Tolvane Launcher' mousemove --window %1 " + std::to_string(x) + " " +
                      std::to_string(y) + " sleep 0.2 click 1 sleep 0.3";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  }

  int waitExit(int seconds = 20) {
    for (int i = 0; i < seconds * 20; i++) {
      int status = 0;
      if (waitpid(pid, &status, WNOHANG) == pid) {
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return -2;  // still running
  }

  std::string settingsFile() const { return cfg + "/Mirevast Games/Tolvane/settings.reg"; }
};

// Centres of the controls in a 640 x 512 window with 16-pixel glyphs.
constexpr int FULLSCREEN_X = 424, FULLSCREEN_Y = 128;
constexpr int QUALITY_LOW_X = 424, QUALITY_LOW_Y = 208;
constexpr int QUIT_X = 104, QUIT_Y = 440;
constexpr int START_X = 536, START_Y = 440;
}  // namespace

// One test for both runs: they share the display's one pointer, so they must
// not run side by side.
TEST_F(GatewickRun, ClicksChangeSettingsQuitSavesAndStartStartsTheGame) {
  launch(GATEWICK_BINARY);
  ASSERT_TRUE(waitForLog("total start-up time:")) << read_file(log);
  std::string out = read_file(log);
  EXPECT_NE(out.find("app path: '"), std::string::npos);
  EXPECT_NE(out.find("wr: "), std::string::npos);
  EXPECT_NE(out.find("resized screen buffer to 640x512"), std::string::npos) << out;
  click(FULLSCREEN_X, FULLSCREEN_Y);
  click(QUIT_X, QUIT_Y);
  EXPECT_EQ(waitExit(), 0) << read_file(log);
  out = read_file(log);
  size_t closing = out.find("closing..."), closed = out.find("closed all systems");
  ASSERT_NE(closing, std::string::npos) << out;
  EXPECT_LT(closing, closed);
  std::string saved = read_file(settingsFile());
  EXPECT_NE(saved.find("\"flags\"=dword:0000000d"), std::string::npos) << saved;

  setenv("XDG_CONFIG_HOME", cfg.c_str(), 1);
  start_fullscreen = false;
  const char* argv[] = {"game"};
  read_settings(1, argv);
  EXPECT_TRUE(start_fullscreen) << "the game reads what the launcher wrote";
  EXPECT_TRUE(use_vsync);
  EXPECT_EQ(gfx_quality, 1);
  ASSERT_EQ(pid, -1) << "the first run has ended";

  // A copy of the program next to a probe standing in for the game, which
  // records how it was started and what the settings were at that moment.
  std::string bin = dir + "/bin";
  fs::create_directories(bin);
  fs::copy_file(GATEWICK_BINARY, bin + "/gatewick");
  fs::copy_file(BIN_DIR "/font.tga", bin + "/font.tga");
  std::ofstream(bin + "/game") << "#!/bin/sh\n"
                                  "echo \"args: $# $0\" > \"" + dir + "/probe.txt\"\n"
                                  "cat \"" + settingsFile() + "\" >> \"" + dir + "/probe.txt\"\n";
  fs::permissions(bin + "/game", fs::perms::owner_all);
  launch(bin + "/gatewick");
  ASSERT_TRUE(waitForLog("total start-up time:")) << read_file(log);
  click(QUALITY_LOW_X, QUALITY_LOW_Y);
  click(START_X, START_Y);
  EXPECT_EQ(waitExit(), 0) << read_file(log);
  std::string probe;
  for (int i = 0; i < 100 && probe.find("gfx_quality") == std::string::npos; i++) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    probe = read_file(dir + "/probe.txt");
  }
  EXPECT_NE(probe.find("args: 0 " + bin + "/game"), std::string::npos) << probe;
  EXPECT_NE(probe.find("\"gfx_quality\"=\"low\""), std::string::npos) << "saved before the game started: " << probe;
}
