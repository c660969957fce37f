// Paths, file times, file streams, libraries and pipes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/file_stream.h"
#include "platform/globals.h"
#include "platform/platform.h"

TEST(Paths, ExecutableAndFullPaths) {
  char exe[260], dir[260];
  ASSERT_TRUE(get_exe_filename(exe, sizeof(exe)));
  ASSERT_TRUE(get_exe_path(dir, sizeof(dir)));
  EXPECT_EQ(std::strncmp(exe, dir, std::strlen(dir)), 0);
  EXPECT_EQ(dir[std::strlen(dir) - 1], '/');
  char tiny[4];
  EXPECT_FALSE(get_exe_filename(tiny, sizeof(tiny))) << "a name that fills the buffer is a failure";

  std::strcpy(app_path, "/opt/tolvane/bin/");
  EXPECT_STREQ(make_full_path(nullptr), "/opt/tolvane/bin/");
  EXPECT_STREQ(make_full_path("gen/main.nut"), "/opt/tolvane/bin/gen/main.nut");
  EXPECT_STREQ(make_full_path("gen\\sub\\x.nut"), "/opt/tolvane/bin/gen/sub/x.nut");
  EXPECT_STREQ(make_full_path("../compiler/rebuild_dll.sh"), "/opt/tolvane/compiler/rebuild_dll.sh");
  EXPECT_STREQ(make_full_path("/abs//./dir/../f.txt"), "/abs/f.txt");
  EXPECT_STREQ(make_full_path("shots/"), "/opt/tolvane/bin/shots/");
}

TEST(Paths, FileTimes) {
  EXPECT_EQ(get_file_time("/no/such/file"), 0);
  EXPECT_EQ(get_file_time(nullptr), 0);
  std::string p = std::filesystem::temp_directory_path() / "tolvane_ftime.txt";
  std::fclose(std::fopen(p.c_str(), "w"));
  utimbuf t{1700000000, 1700000000};
  utime(p.c_str(), &t);
  EXPECT_EQ(get_file_time(p.c_str()), 1700000000);
  std::remove(p.c_str());
}

TEST(FileStreams, ReadWriteSeekAndFailures) {
  std::string p = std::filesystem::temp_directory_path() / "tolvane_stream.bin";
  {
    FileOutputStream out;
    ASSERT_TRUE(out.open(p.c_str()));
    out.write("abcdefgh", 8);
    EXPECT_EQ(out.tell(), 8);
    out.seekTo(2);
    out.write("XY", 2);
    try {
      out.write("x", -1);
      FAIL();
    } catch (const OutputStream::Exception& e) {
      EXPECT_STREQ(e.message, "negative size in write()");
      EXPECT_EQ(e.code, -1);
    }
  }
  FileInputStream in;
  ASSERT_TRUE(in.open(p.c_str()));
  char buf[16] = {};
  in.read(buf, 4);
  EXPECT_STREQ(buf, "abXY");
  in.seekToEnd(-2);
  EXPECT_EQ(in.readSome(buf, 10), 2);
  EXPECT_EQ(std::strncmp(buf, "gh", 2), 0);
  in.seekTo(6);
  try {
    in.read(buf, 5);
    FAIL();
  } catch (const InputStream::Exception& e) {
    EXPECT_STREQ(e.message, "error reading file");
    EXPECT_EQ(e.code, 6) << "the code is the position of the failure";
  }
  try {
    in.seekRel(-100);
    FAIL();
  } catch (const InputStream::Exception& e) {
    EXPECT_STREQ(e.message, "file seek error");
  }
  in.close();
  EXPECT_EQ(in.readSome(buf, 4), 0);
  try {
    in.read(buf, 1);
    FAIL();
  } catch (const InputStream::Exception& e) {
    EXPECT_STREQ(e.message, "file not opened");
    EXPECT_EQ(e.code, -1);
  }
  EXPECT_FALSE(in.open("/no/such/file"));
  std::remove(p.c_str());
}

TEST(Libraries, LoadLookUpAndFree) {
  void* lib = load_library("libm.so.6");
  ASSERT_NE(lib, nullptr);
  auto cosine = reinterpret_cast<double (*)(double)>(get_library_proc(lib, "cos"));
  ASSERT_NE(cosine, nullptr);
  EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
  EXPECT_EQ(get_library_proc(lib, "no_such_symbol_here"), nullptr);
  EXPECT_TRUE(free_library(lib));
  EXPECT_EQ(load_library("no-such-library.so"), nullptr);
  EXPECT_FALSE(free_library(nullptr));
}

TEST(Pipes, BytesAvailableWithoutBlocking) {
  EXPECT_EQ(pipe_bytes_available(nullptr), 0);
  FILE* p = popen("printf 'hello\\nworld\\n'; sleep 0.2", "r");
  ASSERT_NE(p, nullptr);
  int n = 0;
  for (int tries = 0; tries < 100 && n == 0; tries++) {
    n = pipe_bytes_available(p);
    if (!n) usleep(10000);
  }
  EXPECT_EQ(n, 12) << "waiting bytes are counted before reading";
  char line[32];
  ASSERT_TRUE(std::fgets(line, sizeof(line), p));
  EXPECT_STREQ(line, "hello\n");
  EXPECT_EQ(pipe_bytes_available(p), 6) << "bytes already buffered by the stream count";
  pclose(p);
}
