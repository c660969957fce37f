// The saved-game file on disk: what is written reads back; a damaged,
// truncated, empty or newer file, or a folder, is refused with a message
// naming it and left as it was; the previous save becomes the backup, and a
// crash between writing the new file and renaming it loses neither.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/save_file.h"

namespace fs = std::filesystem;

namespace {
std::string read_bytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}
void write_bytes(const fs::path& p, const std::string& s) { std::ofstream(p, std::ios::binary) << s; }

// A payload that compresses like a world: long runs and some noise.
std::string world_like_payload(int seed) {
  std::string s(200000, '\0');
  uint32_t x = uint32_t(seed) * 2654435761u + 1;
  for (size_t i = 0; i < s.size(); i += 7) {
    x = x * 1664525u + 1013904223u;
    s[i] = char(x >> 24);
  }
  return s;
}

SaveSummary summary(int world) {
  SaveSummary s;
  s.world_number = world;
  s.castle_level = 2;
  s.seconds_played = 123.5;
  s.saved_at = 1765200000;
  return s;
}

struct SaveFiles : ::testing::Test {
  fs::path dir;
  std::string path;
  void SetUp() override {
    char tmpl[] = "/tmp/tolvane-saves-XXXXXX";
    dir = mkdtemp(tmpl);
    path = (dir / "game.sav").string();
  }
  void TearDown() override { fs::remove_all(dir); }

  // The file is refused with a message naming it and is left byte for byte.
  void expect_refused(const std::string& file, const std::string& reason) {
    std::string before = fs::is_regular_file(file) ? read_bytes(file) : "";
    SaveSummary s;
    std::string payload, why;
    EXPECT_FALSE(read_save_file(file, s, payload, why));
    EXPECT_NE(why.find("'" + file + "'"), std::string::npos) << why;
    EXPECT_NE(why.find(reason), std::string::npos) << why;
    if (fs::is_regular_file(file)) EXPECT_EQ(read_bytes(file), before);
  }
};
}  // namespace

TEST_F(SaveFiles, WhatIsWrittenReadsBackAndTheOldSaveBecomesTheBackup) {
  std::string why;
  ASSERT_TRUE(write_save_file(path, summary(1), world_like_payload(1), why)) << why;
  EXPECT_FALSE(fs::exists(path + ".bak")) << "nothing to keep the first time";
  ASSERT_TRUE(write_save_file(path, summary(2), world_like_payload(2), why)) << why;
  EXPECT_FALSE(fs::exists(path + ".tmp"));

  SaveSummary s;
  std::string payload;
  ASSERT_TRUE(read_save_file(path, s, payload, why)) << why;
  EXPECT_EQ(s.world_number, 2);
  EXPECT_EQ(s.castle_level, 2);
  EXPECT_EQ(s.seconds_played, 123.5);
  EXPECT_EQ(payload, world_like_payload(2));
  EXPECT_LT(fs::file_size(path), 200000u) << "compressed";
  ASSERT_TRUE(read_save_file(path + ".bak", s, payload, why)) << why;
  EXPECT_EQ(s.world_number, 1);
  EXPECT_EQ(payload, world_like_payload(1));
  ASSERT_TRUE(read_save_summary(path, s, why));
  EXPECT_EQ(s.world_number, 2);
}

TEST_F(SaveFiles, DamagedFilesAreRefusedNamingThemAndLeftAsTheyAre) {
  std::string why;
  ASSERT_TRUE(write_save_file(path, summary(3), world_like_payload(3), why)) << why;
  std::string good = read_bytes(path);

  std::string cut = (dir / "cut.sav").string();
  write_bytes(cut, good.substr(0, good.size() - 10));
  expect_refused(cut, "cut short");
  write_bytes(cut, good.substr(0, 20));
  expect_refused(cut, "cut short");

  // A flipped byte in the compressed data, in the summary, past the end.
  for (size_t at : {good.size() - 100, size_t(20)}) {
    std::string flipped = good;
    flipped[at] = char(flipped[at] ^ 0x10);
    std::string f = (dir / ("flip" + std::to_string(at) + ".sav")).string();
    write_bytes(f, flipped);
    expect_refused(f, "damaged");
  }
  std::string longer = (dir / "longer.sav").string();
  write_bytes(longer, good + "x");
  expect_refused(longer, "past its end");

  std::string newer = good;
  newer[8] = char(newer[8] + 1);  // the format version
  std::string nf = (dir / "newer.sav").string();
  write_bytes(nf, newer);
  expect_refused(nf, "newer version");
  SaveSummary s;
  EXPECT_FALSE(read_save_summary(nf, s, why));

  std::string empty = (dir / "empty.sav").string();
  write_bytes(empty, "");
  expect_refused(empty, "empty");
  std::string other = (dir / "other.sav").string();
  write_bytes(other, "\"flags\"=dword:0000000c\n this is no save at all, but long enough for a header......\n");
  expect_refused(other, "not a saved game");
  fs::create_directory(dir / "folder.sav");
  expect_refused((dir / "folder.sav").string(), "not a file");
  expect_refused((dir / "missing.sav").string(), "can't read");

  // Nothing is written over a folder standing where the save goes.
  EXPECT_FALSE(write_save_file((dir / "folder.sav").string(), summary(1), "x", why));
  EXPECT_NE(why.find("folder.sav"), std::string::npos) << why;
  EXPECT_TRUE(fs::is_directory(dir / "folder.sav"));

  // Saving over a damaged save sets it aside; the good backup stays.
  ASSERT_TRUE(write_save_file(path, summary(4), world_like_payload(4), why)) << why;
  std::string backup = read_bytes(path + ".bak"), damaged = read_bytes(path);
  damaged[damaged.size() - 100] = char(damaged[damaged.size() - 100] ^ 0x10);
  write_bytes(path, damaged);
  ASSERT_TRUE(write_save_file(path, summary(5), world_like_payload(5), why)) << why;
  EXPECT_EQ(read_bytes(path + ".bak"), backup);
  EXPECT_EQ(read_bytes(path + ".damaged"), damaged);
  ASSERT_TRUE(read_save_summary(path, s, why));
  EXPECT_EQ(s.world_number, 5);
}

TEST_F(SaveFiles, ACrashBetweenWritingAndRenamingLosesNeitherTheSaveNorItsBackup) {
  std::string why;
  ASSERT_TRUE(write_save_file(path, summary(1), world_like_payload(1), why)) << why;
  ASSERT_TRUE(write_save_file(path, summary(2), world_like_payload(2), why)) << why;
  std::string save = read_bytes(path), backup = read_bytes(path + ".bak");

  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    setenv("TOLVANE_TEST_SAVE_CRASH", "1", 1);
    std::string child_why;
    write_save_file(path, summary(3), world_like_payload(3), child_why);
    _exit(0);  // not reached: the write stops where a crash would
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 3) << "stopped between the write and the rename";
  EXPECT_TRUE(fs::exists(path + ".tmp")) << "the new file was written";
  EXPECT_EQ(read_bytes(path), save);
  EXPECT_EQ(read_bytes(path + ".bak"), backup);

  // The next save goes through, the stale temporary file replaced.
  ASSERT_TRUE(write_save_file(path, summary(4), world_like_payload(4), why)) << why;
  SaveSummary s;
  std::string payload;
  ASSERT_TRUE(read_save_file(path, s, payload, why)) << why;
  EXPECT_EQ(s.world_number, 4);
  ASSERT_TRUE(read_save_file(path + ".bak", s, payload, why)) << why;
  EXPECT_EQ(s.world_number, 2);
  EXPECT_FALSE(fs::exists(path + ".tmp"));
}
