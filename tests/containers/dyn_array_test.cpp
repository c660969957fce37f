#include "containers/dyn_array.h"

#include <gtest/gtest.h>

namespace {
void fill(DynArray<int>& a, int n) {
  for (int i = 0; i < n; i++) a.push_back(i);
}
}  // namespace

TEST(DynArray, InsertEraseKeepOrder) {
  DynArray<int> a;
  fill(a, 5);
  int two[2] = {100, 101};
  a.insert(2, two, 2);
  ASSERT_EQ(a.count, 7);
  int expect1[] = {0, 1, 100, 101, 2, 3, 4};
  for (int i = 0; i < 7; i++) EXPECT_EQ(a[i], expect1[i]);
  a.erase(1, 3);
  int expect2[] = {0, 2, 3, 4};
  ASSERT_EQ(a.count, 4);
  for (int i = 0; i < 4; i++) EXPECT_EQ(a[i], expect2[i]);
  a.insert(4, 9);  // at the end is allowed
  EXPECT_EQ(a[4], 9);
  EXPECT_EQ(a.pop(), 9);
  EXPECT_EQ(a.count, 4);
}

TEST(DynArray, GrowsAcrossManyAppendsAndZeroFillsResize) {
  DynArray<int> a;
  fill(a, 10000);
  EXPECT_EQ(a.count, 10000);
  EXPECT_GE(a.capacity, 10000);
  EXPECT_EQ(a[9999], 9999);
  a.clear();
  a.resize(3);
  EXPECT_EQ(a[0] + a[1] + a[2], 0);
  a.insert(0, nullptr, 2);
  EXPECT_EQ(a.count, 5);
}

using DynArrayDeathTest = ::testing::Test;

TEST(DynArrayDeathTest, BoundsViolationsAreFatal) {
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_EXIT(
      {
        DynArray<int> a;
        a.pop();
      },
      ::testing::ExitedWithCode(100), "failed ASSERT\\(count > 0\\)");
  EXPECT_EXIT(
      {
        DynArray<int> a;
        a.push_back(1);
        a.insert(2, 5);
      },
      ::testing::ExitedWithCode(100), "failed ASSERT\\(pos >= 0 && pos <= count\\)");
  EXPECT_EXIT(
      {
        DynArray<int> a;
        a.push_back(1);
        a.erase(0, 2);
      },
      ::testing::ExitedWithCode(100), "dyn_array.h\\([0-9]+\\): failed ASSERT");
}
