#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "UTIL_AssocArray.h"

TEST(StringKeyedArray, CaseInsensitiveInsertReplacesValueAndKeepsFirstKey) {
  UTIL_StringKeyedArray<char*> a(false, UTIL_freecharptr);
  a.Insert("Section", strdup("one"));
  const char* stored = nullptr;
  a.Insert("SECTION", strdup("two"), &stored);
  EXPECT_EQ(a.GetSize(), 1);
  EXPECT_STREQ(stored, "Section");
  EXPECT_STREQ(a.Get("section"), "two");
}

TEST(StringKeyedArray, CaseSensitiveKeysStayApartAndSorted) {
  UTIL_StringKeyedArray<int> a(true);
  for (const char* k : {"b", "B", "a", "c"}) a.Insert(k, static_cast<int>(k[0]));
  EXPECT_EQ(a.GetSize(), 4);
  const char* keys[4];
  for (int i = 0; i < 4; ++i) a.EnumeratePtr(i, &keys[i]);
  EXPECT_STREQ(keys[0], "B");
  EXPECT_STREQ(keys[1], "a");
  EXPECT_STREQ(keys[3], "c");
  EXPECT_EQ(a.Get("B"), 'B');
  EXPECT_EQ(a.Get("x", -1), -1);
}

TEST(StringKeyedArray, ResortAfterUnsortedAppendsKeepsOnePerKey) {
  UTIL_StringKeyedArray<char*> a(true, UTIL_freecharptr);
  a.AddUnsorted("b", strdup("1"));
  a.AddUnsorted("a", strdup("2"));
  a.AddUnsorted("b", strdup("3"));
  a.Resort();
  ASSERT_EQ(a.GetSize(), 2);
  const char* k = nullptr;
  a.EnumeratePtr(0, &k);
  EXPECT_STREQ(k, "a");
  EXPECT_STREQ(a.Get("a"), "2");
  EXPECT_NE(a.Get("b"), nullptr);
}

TEST(StringKeyedArray, EmptyArrayFindsNothingAndDeleteIsHarmless) {
  UTIL_StringKeyedArray<char*> a(true, UTIL_freecharptr);
  EXPECT_EQ(a.Get("x"), nullptr);
  a.Delete("x");
  a.Insert("x", strdup("v"));
  a.Delete("y");
  EXPECT_EQ(a.GetSize(), 1);
  a.Delete("x");
  EXPECT_EQ(a.GetSize(), 0);
}

TEST(AssocArray, PointerKeysCompareBySignOfDifference) {
  UTIL_AssocArray<void*, int> a(UTIL_libkeycomp);
  int objs[50];
  for (int i = 49; i >= 0; --i) a.Insert(&objs[i], i);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(a.Get(&objs[i], -1), i);
  void* k0 = nullptr;
  a.EnumeratePtr(0, &k0);
  EXPECT_EQ(k0, &objs[0]);
  a.Delete(&objs[10]);
  EXPECT_EQ(a.Get(&objs[10], -1), -1);
  EXPECT_EQ(a.GetSize(), 49);
}

TEST(AssocArray, ManyInsertsStaySortedAcrossGrowth) {
  UTIL_StringKeyedArray<int> a(true);
  for (int i = 0; i < 2000; ++i) a.Insert(std::to_string((i * 7919) % 2000).c_str(), i);
  ASSERT_EQ(a.GetSize(), 2000);
  const char* prev = nullptr;
  for (int i = 0; i < a.GetSize(); ++i) {
    const char* k = nullptr;
    a.EnumeratePtr(i, &k);
    if (prev) {
      EXPECT_LT(strcmp(prev, k), 0);
    }
    prev = k;
  }
  EXPECT_EQ(a.Get("1234", -1) >= 0, true);
}
