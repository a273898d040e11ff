// Rectangles, global memory, bounded copies, modules and GUIDs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "WINX_Memory.h"

namespace {

TEST(Rects, IntersectUnionAndPointTests) {
  RECT a = {0, 0, 10, 10}, b = {10, 0, 20, 10}, d;
  EXPECT_EQ(WinIntersectRect(&d, &a, &b), 0);
  EXPECT_EQ(d.left, 10);  // the clipped, empty rectangle stays
  EXPECT_EQ(d.right, 10);
  RECT empty = {5, 5, 5, 9};
  EXPECT_EQ(WinIntersectRect(&d, &a, &empty), 0);
  EXPECT_EQ(d.left, 0);
  WinUnionRect(&d, &a, &b);
  EXPECT_EQ(d.right, 20);
  RECT flipped = {0, 10, 10, 0};
  EXPECT_EQ(WINX_PtInRect(&flipped, POINT{5, 5}), 1);
  EXPECT_EQ(WINX_PtInRect(&flipped, POINT{10, 5}), 0);
  EXPECT_EQ(WINX_PtInRect(nullptr, POINT{0, 0}), 0);
  EXPECT_EQ(WinOffsetRect(&a, 2, 3), 1);
  EXPECT_EQ(a.bottom, 13);
}

TEST(Strings, LstrcpynBoundsAndTerminates) {
  char buf[4] = {'x', 'x', 'x', 'x'};
  lstrcpyn(buf, "abcdef", 0);
  EXPECT_EQ(buf[0], 'x');
  lstrcpyn(buf, "abcdef", 1);
  EXPECT_EQ(buf[0], 0);
  EXPECT_EQ(buf[1], 'x');
  lstrcpyn(buf, "abcdef", 4);
  EXPECT_STREQ(buf, "abc");
}

TEST(GlobalMemory, SizeLockAndFree) {
  void* h = GlobalAlloc(0, 10);
  ASSERT_TRUE(h);
  EXPECT_EQ(GlobalSize(h), 10);
  EXPECT_EQ(GlobalLock(h), h);
  memset(h, 1, 10);
  GlobalUnlock(h);
  GlobalFree(h);
  void* z = GlobalAlloc(0, -5);
  EXPECT_EQ(GlobalSize(z), 0);
  GlobalFree(z);
  EXPECT_EQ(GlobalSize(nullptr), 0);
}

TEST(Modules, LoadTwiceDetachOnLastFreeAndRefusal) {
  unsetenv("WINXWIN_ATTACH");
  unsetenv("WINXWIN_DETACH");
  unsetenv("WINXWIN_REFUSE");
  HINSTANCE a = LoadLibrary(WINXWIN_MODULE);
  ASSERT_TRUE(a);
  HINSTANCE b = LoadLibrary(WINXWIN_MODULE);
  EXPECT_EQ(a, b);
  EXPECT_EQ(WINX_ModuleRefCount(a), 2);
  EXPECT_STREQ(getenv("WINXWIN_ATTACH"), "1");
  auto answer = reinterpret_cast<int (*)()>(GetProcAddress(a, "winxwin_answer"));
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer(), 42);
  char path[4096];
  EXPECT_GT(GetModuleFileName(a, path, sizeof path), 0);
  EXPECT_NE(strstr(path, "winxwin_module"), nullptr);
  EXPECT_EQ(FreeLibrary(a), 1);
  EXPECT_EQ(getenv("WINXWIN_DETACH"), nullptr);
  EXPECT_EQ(FreeLibrary(a), 1);
  EXPECT_STREQ(getenv("WINXWIN_DETACH"), "1");
  EXPECT_EQ(FreeLibrary(a), 0);  // no longer loaded
  setenv("WINXWIN_REFUSE", "1", 1);
  EXPECT_EQ(LoadLibrary(WINXWIN_MODULE), nullptr);
  unsetenv("WINXWIN_REFUSE");
  EXPECT_EQ(LoadLibrary("/nonexistent.so"), nullptr);
  EXPECT_EQ(LoadLibrary(""), nullptr);
  EXPECT_GT(GetModuleFileName(nullptr, path, sizeof path), 0);
}

TEST(Guids, RandomAndDistinct) {
  GUID a, b;
  WINX_GenerateGUID(&a);
  WINX_GenerateGUID(&b);
  EXPECT_NE(memcmp(a.bytes, b.bytes, 16), 0);
  EXPECT_EQ(a.bytes[6] >> 4, 4);
}

}  // namespace
