// Where the programs write: beside the program or in the user's folders.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/globals.h"
#include "platform/user_dirs.h"

namespace {
struct ScopedEnv {
  std::string name;
  std::string old;
  bool had;
  ScopedEnv(const char* n, const char* value) : name(n) {
    const char* v = std::getenv(n);
    had = v != nullptr;
    if (had) old = v;
    if (value)
      setenv(n, value, 1);
    else
      unsetenv(n);
  }
  ~ScopedEnv() {
    if (had)
      setenv(name.c_str(), old.c_str(), 1);
    else
      unsetenv(name.c_str());
  }
};

std::string temp_dir() {
  char tmpl[] = "/tmp/tolvane_userdirs_XXXXXX";
  return std::string(mkdtemp(tmpl)) + "/";
}
}  // namespace

TEST(UserDirs, FollowTheXdgRules) {
  ScopedEnv home("HOME", "/home/ann");
  {
    ScopedEnv data("XDG_DATA_HOME", "/srv/data/");
    ScopedEnv cache("XDG_CACHE_HOME", "/srv/cache");
    EXPECT_EQ(user_data_dir(), "/srv/data/Mirevast Games/Tolvane/");
    EXPECT_EQ(user_cache_dir(), "/srv/cache/Mirevast Games/Tolvane/");
  }
  // Unset, empty or relative values fall back to the home folder's defaults.
  ScopedEnv data("XDG_DATA_HOME", "relative/data");
  ScopedEnv cache("XDG_CACHE_HOME", "");
  EXPECT_EQ(user_data_dir(), "/home/ann/.local/share/Mirevast Games/Tolvane/");
  EXPECT_EQ(user_cache_dir(), "/home/ann/.cache/Mirevast Games/Tolvane/");
  ScopedEnv no_home("HOME", nullptr);
  EXPECT_EQ(user_cache_dir().front(), '/') << "the account's home folder stands in for HOME";
}

TEST(UserDirs, InstalledOrReadOnlyProgramFoldersWriteToTheUsersFolders) {
  std::string prog = temp_dir(), user = temp_dir();
  std::snprintf(app_path, sizeof(app_path), "%s", prog.c_str());
  ScopedEnv data("XDG_DATA_HOME", (user + "data").c_str());
  ScopedEnv cache("XDG_CACHE_HOME", (user + "cache").c_str());

  // A writable program folder (a build tree) keeps everything beside the program.
  EXPECT_TRUE(program_dir_writable());
  EXPECT_EQ(writable_path(WriteArea::Data, "shots/a.png"), prog + "shots/a.png");
  EXPECT_EQ(writable_path(WriteArea::Cache, "/abs/x.cache"), "/abs/x.cache");

  // An installed copy writes to the user's folders even when it could write
  // its own (as root can).
  std::fclose(std::fopen((prog + INSTALL_MARKER_FILE).c_str(), "w"));
  EXPECT_TRUE(program_dir_installed());
  EXPECT_FALSE(program_dir_writable());
  EXPECT_EQ(writable_path(WriteArea::Data, "shots\\a.png"), user + "data/Mirevast Games/Tolvane/shots/a.png");
  EXPECT_EQ(writable_path(WriteArea::Cache, "cache/land.sh.cache"),
            user + "cache/Mirevast Games/Tolvane/cache/land.sh.cache");
  std::remove((prog + INSTALL_MARKER_FILE).c_str());

  if (geteuid() != 0) {  // root may write anywhere
    chmod(prog.c_str(), 0555);
    EXPECT_FALSE(program_dir_writable());
    EXPECT_EQ(writable_path(WriteArea::Data, "rec.txt"), user + "data/Mirevast Games/Tolvane/rec.txt");
    chmod(prog.c_str(), 0755);
  }
  std::snprintf(app_path, sizeof(app_path), "%s", "");
  EXPECT_FALSE(program_dir_writable()) << "no known program folder: nothing is written beside it";
  std::filesystem::remove_all(prog);
  std::filesystem::remove_all(user);
}

TEST(UserDirs, PreparingAPathMakesTheUsersFoldersOrSaysWhyNot) {
  std::string prog = temp_dir(), user = temp_dir();
  std::snprintf(app_path, sizeof(app_path), "%s", prog.c_str());
  std::fclose(std::fopen((prog + INSTALL_MARKER_FILE).c_str(), "w"));
  ScopedEnv data("XDG_DATA_HOME", (user + "fresh/data").c_str());

  std::string full, why;
  ASSERT_TRUE(prepare_writable_path(WriteArea::Data, "shots/x.png", full, &why)) << why;
  EXPECT_EQ(full, user + "fresh/data/Mirevast Games/Tolvane/shots/x.png");
  EXPECT_TRUE(std::filesystem::is_directory(user + "fresh/data/Mirevast Games/Tolvane/shots"));

  // A file where a folder belongs: the failure names that folder.
  std::fclose(std::fopen((user + "blocked").c_str(), "w"));
  ScopedEnv blocked("XDG_DATA_HOME", (user + "blocked").c_str());
  EXPECT_FALSE(prepare_writable_path(WriteArea::Data, "shots/x.png", full, &why));
  EXPECT_EQ(why, user + "blocked: Not a directory");
  EXPECT_EQ(full, user + "blocked/Mirevast Games/Tolvane/shots/x.png");
  std::filesystem::remove_all(prog);
  std::filesystem::remove_all(user);
}
