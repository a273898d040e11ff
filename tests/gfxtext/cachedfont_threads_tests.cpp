// Cached fonts made and destroyed on several threads while one font lives on: the count of live
// fonts behind the shared temporaries must neither lose nor double a reference (TSan checks the
// count itself; the live font must still draw afterwards).
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "GFX_Bitmap.h"
#include "GFX_CachedFont.h"
#include "WINX_Font.h"

TEST(CachedFontThreads, FontsMadeAndDestroyedElsewhereKeepTheSharedCount) {
  GFX_CachedFont live;
  live.SetFromHFont(CreateFont(-12, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 4, 0, "Consolas"), GFX_FONT_OWNHFONT);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([] {
      for (int i = 0; i < 2000; ++i) {
        GFX_CachedFont f;  // no font set: touches only the shared count
        EXPECT_EQ(f.GetLineHeight(), 0);
      }
    });
  for (auto& th : threads) th.join();
  GFX_MemBitmap bm(60, 20, 4);
  live.SetTextColor(0xffffffff);
  RECT r = {0, 0, 60, 20};
  EXPECT_GT(live.DrawText(&bm, "Hz", -1, &r, 0), 0);
}
