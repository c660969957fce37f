// The settings store: typed values in a text file, written atomically.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/globals.h"
#include "platform/platform.h"
#include "tests/platform/test_config_dir.h"

namespace {
std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}
void write_file(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}
}  // namespace

TEST(ConfigStore, TypesAreKeptAndMissingValuesLeaveOutputAlone) {
  TempConfigDir tmp;
  int v = 77;
  char buf[32] = "untouched";
  EXPECT_FALSE(get_config_int("flags", v)) << "missing file is an empty key";
  EXPECT_EQ(v, 77);
  ASSERT_TRUE(set_config_int("flags", 0xc));
  ASSERT_TRUE(set_config_str("gfx_quality", "high", -1));
  EXPECT_TRUE(get_config_int("FLAGS", v)) << "value names are case-insensitive";
  EXPECT_EQ(v, 0xc);
  EXPECT_FALSE(get_config_str("flags", buf, sizeof(buf))) << "a DWORD read as a string is a type mismatch";
  v = 5;
  EXPECT_FALSE(get_config_int("gfx_quality", v));
  EXPECT_EQ(v, 5);
  ASSERT_TRUE(get_config_str("gfx_quality", buf, sizeof(buf)));
  EXPECT_STREQ(buf, "high");
  EXPECT_NE(read_file(tmp.settingsFile()).find("\"flags\"=dword:0000000c"), std::string::npos);
  EXPECT_NE(read_file(tmp.settingsFile()).find("\"gfx_quality\"=\"high\""), std::string::npos);
  ASSERT_TRUE(set_config_int("flags", -1));  // overwrite keeps one entry
  EXPECT_TRUE(get_config_int("flags", v));
  EXPECT_EQ(v, -1);
}

TEST(ConfigStore, UnterminatedAndOversizedStrings) {
  TempConfigDir tmp;
  const char raw[] = {'l', 'o', 'w', 'X', 'Y'};
  ASSERT_TRUE(set_config_str("gfx_quality", raw, 3));  // counted, no terminator
  char buf[8];
  std::memset(buf, 'Z', sizeof(buf));
  ASSERT_TRUE(get_config_str("gfx_quality", buf, sizeof(buf)));
  EXPECT_STREQ(buf, "low");
  char tiny[3];
  EXPECT_FALSE(get_config_str("gfx_quality", tiny, sizeof(tiny))) << "does not fit in size-1 bytes";
  EXPECT_EQ(tiny[2], 0) << "the buffer is always terminated";
  ASSERT_TRUE(set_config_str("path", "a \"quoted\" \\ text", -1));
  char back[64];
  ASSERT_TRUE(get_config_str("path", back, sizeof(back)));
  EXPECT_STREQ(back, "a \"quoted\" \\ text");
}

TEST(ConfigStore, CorruptFileNeverCrashesAndKeepsGoodValues) {
  TempConfigDir tmp;
  std::string garbage;
  for (int i = 0; i < 4096; i++) garbage += char((i * 7919) & 0xff);
  write_file(tmp.settingsFile(), garbage);
  int v = 3;
  EXPECT_FALSE(get_config_int("flags", v));
  EXPECT_EQ(read_file(tmp.settingsFile()), garbage) << "reading never rewrites the file";

  write_file(tmp.settingsFile(),
             "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\SOFTWARE\\Mirevast Games\\Tolvane]\n"
             "\"flags\"=dword:zz\n\"land_shadows\"=dword:00000001\n\"gfx_quality\"=\"low\n"
             "a person's note\n\"gfx_quality\"=\"LOW\"\n");
  EXPECT_FALSE(get_config_int("flags", v)) << "a bad hex value is ignored";
  ASSERT_TRUE(get_config_int("land_shadows", v));
  EXPECT_EQ(v, 1);
  ASSERT_TRUE(set_config_int("flags", 4));
  std::string after = read_file(tmp.settingsFile());
  EXPECT_NE(after.find("a person's note"), std::string::npos) << "saving keeps lines it cannot parse";
  ASSERT_TRUE(get_config_int("land_shadows", v));
  EXPECT_EQ(v, 1) << "good values survive a write";
  char buf[32];
  ASSERT_TRUE(get_config_str("gfx_quality", buf, sizeof(buf)));
  EXPECT_STREQ(buf, "LOW");
}

TEST(ConfigStore, WriteIsAtomicAndLeavesNoTemporaryFiles) {
  TempConfigDir tmp;
  ASSERT_TRUE(set_config_int("flags", 1));
  int files = 0;
  for (auto& e : std::filesystem::directory_iterator(std::filesystem::path(tmp.settingsFile()).parent_path())) {
    (void)e;
    files++;
  }
  EXPECT_EQ(files, 1);
  // An unwritable location fails cleanly instead of claiming success.
  setenv("XDG_CONFIG_HOME", "/proc/no-such-dir", 1);
  EXPECT_FALSE(set_config_int("flags", 2));
}


TEST(ConfigStore, HugeFilesParseInOnePassAndChangesOnDiskAreSeen) {
  TempConfigDir tmp;
  // 200,000 distinct names (once far too slow to start), each later line
  // winning over an earlier one of the same name whatever its case.
  std::string text = "Windows Registry Editor Version 5.00\n\n";
  char line[64];
  for (int i = 0; i < 200000; i++) {
    std::snprintf(line, sizeof(line), "\"v%d\"=dword:%08x\n", i, unsigned(i));
    text += line;
  }
  text += "\"V17\"=dword:00000063\nnot a value\n";
  write_file(tmp.settingsFile(), text);
  int v = 0;
  ASSERT_TRUE(get_config_int("v199999", v));
  EXPECT_EQ(v, 199999);
  ASSERT_TRUE(get_config_int("v17", v));
  EXPECT_EQ(v, 0x63);
  EXPECT_FALSE(get_config_int("v200000", v));

  // A file rewritten by someone else is read again, not served from memory.
  write_file(tmp.settingsFile(), "\"flags\"=dword:00000005\n");
  ASSERT_TRUE(get_config_int("flags", v));
  EXPECT_EQ(v, 5);
  EXPECT_FALSE(get_config_int("v17", v));
  ASSERT_TRUE(set_config_int("flags", 6));
  ASSERT_TRUE(get_config_int("flags", v));
  EXPECT_EQ(v, 6);
}
