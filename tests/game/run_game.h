#pragma once
// Runs the real game binary (GAME_BINARY) as its own process: offscreen video,
// no message boxes, a private settings directory, a 640 × 360 window and a
// two-minute limit. Collects standard output and error together.
#include <sys/wait.h>

#include <cstdio>
#include <string>

// Returns the exit code (-1 when the process did not exit normally).
inline int run_game_process(const std::string& config_dir, const std::string& args, const std::string& env,
                            std::string& output) {
  // The data folder too: a crash file of the user's own runs must not meet
  // the tests, nor theirs the user.
  std::string cmd = "env XDG_CONFIG_HOME='" + config_dir + "' XDG_DATA_HOME='" + config_dir +
                    "' TOLVANE_NO_MSGBOX=1 SDL_VIDEODRIVER=offscreen " + env + " timeout 120 '" GAME_BINARY "' -360 " +
                    args + " 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return -1;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof(buf), p)) > 0) output.append(buf, n);
  int status = pclose(p);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
