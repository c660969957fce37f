#include "platform/fixed_string.h"

#include <gtest/gtest.h>

#include <string>

TEST(FixedString, HoldsTextUpToCapacityMinusOne) {
  std::string s(259, 'a');
  TempString t(s.c_str());
  EXPECT_EQ(t.length(), 259);
  String128 n("abc");
  n.append("def");
  EXPECT_STREQ(n, "abcdef");
  n.assign("xyz123", 3);  // counted copy without terminator in the source
  EXPECT_STREQ(n.c_str(), "xyz");
  EXPECT_STREQ(String128(nullptr).c_str(), "");
}

TEST(FixedStringDeathTest, OverlongTextIsFatal) {
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  std::string s(260, 'a');
  EXPECT_EXIT({ TempString t(s.c_str()); }, ::testing::ExitedWithCode(100), "failed ASSERT\\(l<BS\\)");
  EXPECT_EXIT(
      {
        String128 n(std::string(120, 'x').c_str());
        n.append("12345678");
      },
      ::testing::ExitedWithCode(100), "failed ASSERT\\(l<BS\\)");
}
