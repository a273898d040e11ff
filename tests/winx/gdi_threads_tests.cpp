// Contexts and objects made and deleted from several threads at once: the pools, their counts
// and the registry of live records must stay consistent (TSan checks the locking).
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "WINX_GDI.h"

TEST(GdiThreads, ConcurrentCreateAndDeleteKeepPoolsConsistent) {
  const WINX_GdiStats before = WINX_GetGdiStats();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 300; ++i) {
        HDC dc = WINX_CreateMemContext(nullptr, 4 + t, 3);
        HBRUSH b = CreateSolidBrush(i);
        HPEN p = CreatePen(0, 1, i);
        ASSERT_NE(dc, nullptr);
        SelectObject(dc, b);
        SelectObject(dc, p);
        SetTextColor(dc, i);
        EXPECT_EQ(GetTextColor(dc), i);
        WINX_DeleteGfxContext(dc);
        DeleteObject(b);
        DeleteObject(p);
      }
    });
  }
  for (auto& th : threads) th.join();
  const WINX_GdiStats after = WINX_GetGdiStats();
  EXPECT_EQ(after.liveContexts, before.liveContexts);
  EXPECT_EQ(after.liveObjects, before.liveObjects);
  EXPECT_LE(after.contextPool, 100);
  EXPECT_LE(after.objectPool, 200);
}
