// The on-screen error message, the visual log and the fatal path.
#include "platform/messages.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/log.h"

TEST(ErrorMessage, AppendSetAndClear) {
  set_error_message(nullptr);
  EXPECT_FALSE(has_error_message());
  append_error_message("first", -1);
  append_error_message("second line", 6);
  EXPECT_STREQ(get_error_message(), "first\nsecond");
  append_error_message("ignored", 0);
  append_error_message("", -1);
  append_error_message(nullptr, 5);
  EXPECT_STREQ(get_error_message(), "first\nsecond");
  set_error_message("replaced");
  EXPECT_STREQ(get_error_message(), "replaced");
  set_error_message("");
  EXPECT_FALSE(has_error_message());
  EXPECT_STREQ(get_error_message(), "");
}

TEST(VisualLog, KeepsTheNewestHundredLines) {
  clear_visual_log();
  for (int i = 0; i < 101; i++) visual_log("line %d", i);
  const auto& lines = get_visual_log();
  ASSERT_EQ(lines.size(), 100u);
  EXPECT_STREQ(lines[0].text, "line 1") << "the 101st line drops the first";
  EXPECT_STREQ(lines[99].text, "line 100");
  visual_log("%s", std::string(300, 'x').c_str());
  EXPECT_EQ(std::string(get_visual_log()[99].text).size(), 127u) << "long lines are cut to fit";
  clear_visual_log();
  EXPECT_TRUE(get_visual_log().empty());
}

namespace {
void shutdown_for_test() {
  std::fputs("closing...\n", stdout);
  std::fflush(stdout);
}
}  // namespace

TEST(FatalDeathTest, AssertPrintsLocationRunsShutdownAndExits100) {
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  setenv("TOLVANE_NO_MSGBOX", "1", 1);
  EXPECT_EXIT(
      {
        set_fatal_shutdown_hook(shutdown_for_test);
        int x = 1;
        G_ASSERT(x == 2);
      },
      ::testing::ExitedWithCode(100), "messages_test.cpp\\([0-9]+\\): failed ASSERT\\(x == 2\\)");
  EXPECT_EXIT(fatal("can't create %s", "land VB"), ::testing::ExitedWithCode(100), "can't create land VB");
}

TEST(GpuProbe, QuietlyUnavailableOrAPercentage) {
  if (!start_gpu_probe()) {
    int p = 42;
    EXPECT_FALSE(query_gpu_activity(p));
    EXPECT_EQ(p, 42);
  } else {
    int p = -1;
    if (query_gpu_activity(p)) {
      EXPECT_GE(p, 0);
      EXPECT_LE(p, 100);
    }
  }
  stop_gpu_probe();
  int p = 0;
  EXPECT_FALSE(query_gpu_activity(p));
}
