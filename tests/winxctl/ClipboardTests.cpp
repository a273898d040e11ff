// Clipboard formats and data, drop blocks, properties and metrics; with or without a display.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "WINX_Clipboard.h"
#include "WINX_Memory.h"

namespace {

void* handleOf(const void* bytes, int n) {
  void* h = GlobalAlloc(0, n);
  memcpy(GlobalLock(h), bytes, (size_t)n);
  GlobalUnlock(h);
  return h;
}

std::string read(unsigned fmt) {
  void* h = GetClipboardData(fmt);
  return h ? std::string((const char*)GlobalLock(h), (size_t)GlobalSize(h)) : "<none>";
}

LRESULT nothingProc(HWND, UINT, WPARAM, LPARAM) { return 0; }

}  // namespace

TEST(Clipboard, FormatsRoundTripAndTextDoesNotDisturbPrivateData) {
  const unsigned patch = RegisterClipboardFormat("SorvantaPatch");
  EXPECT_EQ(patch, RegisterClipboardFormat("SorvantaPatch"));
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  const unsigned char bytes[] = {0xF0, 0x00, 0x7F, 0xF7};
  SetClipboardData(patch, handleOf(bytes, 4));
  CloseClipboard();

  OpenClipboard(nullptr);
  EXPECT_EQ(patch, EnumClipboardFormats(0));
  EXPECT_EQ(0u, EnumClipboardFormats(patch));
  EXPECT_EQ(std::string((const char*)bytes, 4), read(patch));
  // Text set later goes to the desktop clipboard; the patch stays readable.
  SetClipboardData(CF_TEXT, handleOf("Bank A", 7));
  CloseClipboard();
  OpenClipboard(nullptr);
  EXPECT_EQ(std::string((const char*)bytes, 4), read(patch));
  std::string t = read(CF_TEXT);
  EXPECT_STREQ("Bank A", t.c_str());
  EXPECT_EQ(nullptr, GetClipboardData(999));  // never registered
  CloseClipboard();
}

TEST(DropBlock, NamesAndPointAreReadWithinTheBlock) {
  const char* names[] = {"/a/one.syx", "/b/two.mid", "/c/three"};
  HDROP d = WINX_MakeDropBlock(names, 3, POINT{12, 34});
  ASSERT_NE(nullptr, d);
  EXPECT_EQ(3, DragQueryFile(d, 0xFFFFFFFFu, nullptr, 0));
  EXPECT_EQ(0, DragQueryFile(d, 3, nullptr, 0));
  EXPECT_EQ(10, DragQueryFile(d, 1, nullptr, 0));
  char buf[6];
  EXPECT_EQ(5, DragQueryFile(d, 1, buf, sizeof(buf)));
  EXPECT_STREQ("/b/tw", buf);
  EXPECT_EQ(0, DragQueryFile(d, 1, buf, 0));
  POINT p = {};
  EXPECT_EQ(1, DragQueryPoint(d, &p));
  EXPECT_EQ(12, p.x);
  EXPECT_EQ(34, p.y);
  GlobalFree(d);
  EXPECT_EQ(0, DragQueryPoint(nullptr, &p));
}

TEST(WindowServices, PropertiesMetricsAndShell) {
  HWND v = WINX_CreateWindowView(nullptr, nullptr, nothingProc, 0);
  int x = 5;
  EXPECT_EQ(1, SetProp(v, "key", &x));
  EXPECT_EQ(&x, GetProp(v, "key"));
  EXPECT_EQ(&x, RemoveProp(v, "key"));
  EXPECT_EQ(nullptr, GetProp(v, "key"));
  DestroyWindow(v);
  EXPECT_EQ(0, SetProp(v, "key", &x));
  EXPECT_EQ(-1, EnumPropsEx(v, nullptr, 0));
  EXPECT_EQ(16, GetSystemMetrics(SM_CYVSCROLL));
  EXPECT_EQ(0, GetSystemMetrics(22));
  EXPECT_GT(GetSystemMetrics(SM_CXSCREEN), 0);
  EXPECT_EQ(0, ShellExecute(nullptr, "open", "", "", nullptr, 0));
}

TEST(WindowServices, FindWindowByTitleAndChildByText) {
  HWND top = WINX_CreateWindowView(nullptr, nullptr, nothingProc, 0);
  SetDlgItemText(top, 0, "Librarian");
  EXPECT_EQ(top, FindWindowEx(nullptr, nullptr, nullptr, "Librarian"));
  EXPECT_EQ(nullptr, FindWindowEx(nullptr, top, nullptr, "Librarian"));  // nothing after it
  EXPECT_EQ(nullptr, FindWindowEx(nullptr, nullptr, nullptr, nullptr));
  HWND label = WINX_CreateWindowView(nullptr, top, nothingProc, 0);
  SetDlgItemText(label, 0, "Bank");
  EXPECT_EQ(label, FindWindowEx(top, nullptr, nullptr, "Bank"));
  EXPECT_EQ(nullptr, FindWindowEx(top, nullptr, "Static", "Bank"));  // a view is not a text field
  EXPECT_EQ(nullptr, FindWindowEx(top, label, nullptr, nullptr));
  DestroyWindow(top);
}
