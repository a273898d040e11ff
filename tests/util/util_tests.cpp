#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "UTIL_HeapBuf.h"
#include "UTIL_Mutex.h"
#include "UTIL_PtrList.h"
#include "UTIL_String.h"

TEST(HeapBuf, LargeGranularityRoundsAllocationToPagesLessHeader) {
  UTIL_HeapBuf hb(4096);
  hb.Resize(100);
  // g = max(50, 4096) = 4096; ((100 + 4096 + 96) & ~4095) - 96 = 4000
  EXPECT_EQ(hb.GetAllocated(), 4000);
  EXPECT_EQ(hb.GetSize(), 100);
  hb.Resize(5000);
  // g = 4096; ((5000 + 4096 + 96) & ~4095) - 96 = 8096
  EXPECT_EQ(hb.GetAllocated(), 8096);
}

TEST(HeapBuf, SmallGranularityAddsHalfOrGranule) {
  UTIL_HeapBuf hb(128);
  hb.Resize(10);
  EXPECT_EQ(hb.GetAllocated(), 138);
  hb.Resize(1000);
  EXPECT_EQ(hb.GetAllocated(), 1500);
}

TEST(HeapBuf, ShrinksOnlyWhenFarBelowAllocation) {
  UTIL_HeapBuf hb(128);
  hb.Resize(10000);
  int big = hb.GetAllocated();
  hb.Resize(9000);
  EXPECT_EQ(hb.GetAllocated(), big);  // not below half
  hb.Resize(10, true);
  EXPECT_LT(hb.GetAllocated(), big);
  EXPECT_EQ(hb.GetSize(), 10);
  hb.Resize(0);
  EXPECT_EQ(hb.Get(), nullptr);
}

TEST(HeapBuf, KeepsContentAcrossGrowth) {
  UTIL_HeapBuf hb(16);
  for (int i = 0; i < 1000; ++i) {
    unsigned char b = static_cast<unsigned char>(i);
    ASSERT_NE(hb.Add(&b, 1), nullptr);
  }
  auto* p = static_cast<unsigned char*>(hb.Get());
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(p[i], static_cast<unsigned char>(i));
}

TEST(TypedBuf, RefusesCountsThatOverflowTheSizeWord) {
  UTIL_TypedBuf<double> tb;
  ASSERT_NE(tb.Resize(10), nullptr);
  EXPECT_EQ(tb.Resize(0x7fffffff / 4), nullptr);
  EXPECT_EQ(tb.Resize(-1), nullptr);
  EXPECT_EQ(tb.GetSize(), 10);
}

namespace {
int g_deleted[8];
int g_order = 0;
struct Tracked {
  explicit Tracked(int i) : id(i) {}
  ~Tracked() { g_deleted[id] = ++g_order; }
  int id;
};
}  // namespace

TEST(PtrList, InsertDeleteAndEmptyFromLastToFirst) {
  UTIL_PtrList<Tracked> l;
  for (int i = 0; i < 3; ++i) l.Add(new Tracked(i));
  l.Insert(1, new Tracked(3));
  ASSERT_EQ(l.GetSize(), 4);
  EXPECT_EQ(l.Get(1)->id, 3);
  EXPECT_EQ(l.Get(2)->id, 1);
  EXPECT_EQ(l.Get(4), nullptr);
  EXPECT_EQ(l.Get(-1), nullptr);
  l.Delete(1, true);
  EXPECT_EQ(l.GetSize(), 3);
  g_order = 0;
  memset(g_deleted, 0, sizeof g_deleted);
  l.Empty(true);
  EXPECT_EQ(l.GetSize(), 0);
  EXPECT_EQ(g_deleted[2], 1);
  EXPECT_EQ(g_deleted[1], 2);
  EXPECT_EQ(g_deleted[0], 3);
}

TEST(PtrList, EmptyWithoutDeleteLeavesElements) {
  Tracked t(5);
  UTIL_PtrList<Tracked> l;
  l.Add(&t);
  g_deleted[5] = 0;
  l.Empty(false);
  EXPECT_EQ(l.GetSize(), 0);
  EXPECT_EQ(g_deleted[5], 0);
}

TEST(String, EmptyReadsAsEmptyTextAndSelfAppendIsSafe) {
  UTIL_String s;
  EXPECT_STREQ(s.Get(), "");
  s.Set("abc");
  s.Append(s.Get());
  EXPECT_STREQ(s.Get(), "abcabc");
  s.Set(s.Get() + 2);
  EXPECT_STREQ(s.Get(), "cabc");
  s.SetFormatted(5, "%d-%s", 12345, "xyz");
  EXPECT_STREQ(s.Get(), "12345");
  s.SetLen(2);
  EXPECT_STREQ(s.Get(), "12");
  s.Set("hello", 3);
  EXPECT_STREQ(s.Get(), "hel");
}

TEST(Mutex, RecursiveDepthAndExclusionAcrossThreads) {
  UTIL_Mutex m;
  m.Enter();
  m.Enter();
  EXPECT_EQ(m.GetDepth(), 1);
  EXPECT_TRUE(m.IsOwnedByMe());
  std::atomic<bool> got{false};
  std::thread t([&] {
    EXPECT_FALSE(m.IsOwnedByMe());
    m.Enter();
    got = true;
    m.Leave();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  m.Leave();
  EXPECT_FALSE(got.load());  // still held at depth 0
  m.Leave();
  t.join();
  EXPECT_TRUE(got.load());
  EXPECT_FALSE(m.IsOwnedByMe());
}

TEST(Mutex, CountsStayConsistentUnderContention) {
  UTIL_Mutex m;
  long counter = 0;
  std::vector<std::thread> ts;
  for (int t = 0; t < 4; ++t)
    ts.emplace_back([&] {
      for (int i = 0; i < 10000; ++i) {
        UTIL_MutexLock a(&m);
        UTIL_MutexLock b(&m);  // re-entry by the owner
        ++counter;
      }
    });
  for (auto& t : ts) t.join();
  EXPECT_EQ(counter, 40000);
}
