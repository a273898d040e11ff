// Contexts and objects made and deleted from several threads at once: the pools, their counts
// and the registry of live records must stay consistent (TSan checks the locking).
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "WINX_Font.h"
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

// Text machinery made and warmed on one thread and taken over by another draws the same pixels
// as that thread's own would; a thread that has made text of its own keeps it.
TEST(GdiThreads, ATextSetupMadeElsewhereDrawsAsTheThreadsOwn) {
  struct Warm {
    static void run(void*) {
      HDC dc = WINX_CreateMemContext(nullptr, 400, 40);
      for (int size : {11, 14}) {
        HFONT f = CreateFont(size, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 4, 0, "NK57 Monospace");
        HGDIOBJ old = SelectObject(dc, f);
        RECT r = {0, 0, 400, 40};
        WINX_DrawText(dc, "Part 01 -- INIT --", -1, &r, DT_NOCLIP | DT_SINGLELINE);
        SelectObject(dc, old);
        DeleteObject(f);
      }
      WINX_DeleteGfxContext(dc);
    }
  };
  // Draws in both warmed sizes and one the setup never saw; the pixels come back.
  auto draw = [] {
    HDC dc = WINX_CreateMemContext(nullptr, 300, 90);
    std::vector<unsigned char> pixels;
    if (!dc) return pixels;
    SetTextColor(dc, 0xffffff);
    int y = 0;
    for (int size : {11, 14, 17}) {
      HFONT f = CreateFont(size, 0, 0, 0, size == 17 ? 700 : 400, 0, 0, 0, 0, 0, 0, 4, 0, "NK57 Monospace");
      HGDIOBJ old = SelectObject(dc, f);
      RECT r = {2, y, 300, y + 30};
      WINX_DrawText(dc, "Init Multi 16 Vol:127", -1, &r, DT_NOCLIP | DT_SINGLELINE);
      SelectObject(dc, old);
      DeleteObject(f);
      y += 30;
    }
    const auto* bits = static_cast<const unsigned char*>(WINX_GetCtxFrameBuffer(dc));
    pixels.assign(bits, bits + 300 * 90 * 4);
    WINX_DeleteGfxContext(dc);
    return pixels;
  };
  WINX_TextSetup* setup = nullptr;
  std::thread([&] { setup = WINX_MakeTextSetup(&Warm::run, nullptr); }).join();
  ASSERT_NE(setup, nullptr);
  std::vector<unsigned char> adopted, own;
  bool taken = false;
  std::thread([&] {
    EXPECT_FALSE(WINX_ThreadTextMade());
    taken = WINX_AdoptTextSetup(setup);
    adopted = draw();
  }).join();
  std::thread([&] { own = draw(); }).join();
  EXPECT_TRUE(taken);
  ASSERT_FALSE(own.empty());
  EXPECT_EQ(adopted, own);
  EXPECT_NE(std::count(own.begin(), own.end(), 0), static_cast<long>(own.size())) << "text was drawn";
  std::thread([&] {
    draw();
    EXPECT_TRUE(WINX_ThreadTextMade());
    EXPECT_FALSE(WINX_AdoptTextSetup(WINX_MakeTextSetup(&Warm::run, nullptr)));
  }).join();
}
