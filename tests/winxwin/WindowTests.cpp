// Window records, message delivery, destruction, properties, window longs, stacking, capture,
// mouse and key dispatch, and paint passes into memory contexts. Runs with or without a display
// (without one the records simply have no widgets).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "WINX_GDI.h"
#include "WINX_GDIDraw.h"
#include "WINX_Keyboard.h"
#include "WINX_Message.h"
#include "WINX_Window.h"
#include "WinxWinTestSupport.h"

namespace {

using winxtest::Log;
using winxtest::RecordingProc;

TEST(WindowView, CreationSendsCreateAndDestroyDeliversOnceThenRefusesTheHandle) {
  Log().clear();
  HWND w = WINX_CreateWindowView(nullptr, nullptr, RecordingProc, 1234);
  ASSERT_TRUE(w);
  ASSERT_EQ(Log().size(), 1u);
  EXPECT_EQ(Log()[0].msg, static_cast<UINT>(WM_CREATE));
  EXPECT_EQ(Log()[0].lp, 1234);
  HWND child = WINX_CreateWindowView(nullptr, w, RecordingProc, 0);
  EXPECT_EQ(GetParent(child), w);
  Log().clear();
  DestroyWindow(w);
  EXPECT_EQ(winxtest::Count(w, WM_DESTROY), 1);
  EXPECT_EQ(winxtest::Count(child, WM_DESTROY), 1);
  EXPECT_FALSE(IsWindow(w));
  EXPECT_FALSE(IsWindow(child));
  Log().clear();
  EXPECT_EQ(SendMessage(w, WM_USER_TEST, 0, 0), 0);
  EXPECT_EQ(SendMessage(child, WM_USER_TEST, 0, 0), 0);
  EXPECT_TRUE(Log().empty());
  DestroyWindow(w);  // a second destroy of a freed handle is refused, not a crash
  EXPECT_EQ(SendMessage(reinterpret_cast<HWND>(3), WM_USER_TEST, 0, 0), 0);
}

// During WM_DESTROY ordinary messages still arrive, a nested WM_DESTROY does not, and the
// handler may destroy its own window.
LRESULT DestroyingProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_DESTROY) {
    EXPECT_EQ(SendMessage(h, WM_USER_TEST, 7, 0), 8);
    EXPECT_EQ(SendMessage(h, WM_DESTROY, 0, 0), 0);
    DestroyWindow(h);
    return 5;
  }
  if (msg == WM_USER_TEST) return static_cast<LRESULT>(wp + 1);
  return RecordingProc(h, msg, wp, lp);
}

TEST(WindowView, DestroyFromInsideTheHandlerIsSafeAndDeliversOnce) {
  HWND w = WINX_CreateWindowView(nullptr, nullptr, DestroyingProc, 0);
  HWND c = WINX_CreateWindowView(nullptr, w, DestroyingProc, 0);
  ASSERT_TRUE(w && c);
  DestroyWindow(c);
  EXPECT_FALSE(IsWindow(c));
  EXPECT_EQ(SendMessage(w, WM_USER_TEST, 1, 0), 2);
  EXPECT_EQ(GetWindow(w, GW_CHILD), nullptr);
  DestroyWindow(w);
  EXPECT_EQ(WINX_LiveWindowCount(), 0);
}

TEST(WindowView, ExtraWordsTextAndProperties) {
  HWND w = WINX_CreateWindowView(nullptr, nullptr, RecordingProc, 0);
  WINX_SetExtraData(w, 248, 99);
  WINX_SetExtraData(w, 256, 5);
  EXPECT_EQ(WINX_GetExtraData(w, 248), 99);
  EXPECT_EQ(WINX_GetExtraData(w, 256), 0);
  EXPECT_EQ(WINX_GetExtraData(w, -8), 0);
  EXPECT_EQ(GetWindowLong(w, 248), 99);
  const std::string big(2000, 'x');
  SetDlgItemText(w, 0, big.c_str());
  char buf[4096];
  ASSERT_EQ(GetDlgItemText(w, 0, buf, sizeof buf), 1);
  EXPECT_EQ(strlen(buf), 1023u);

  EXPECT_EQ(WINX_EnumProps(w, nullptr, 0), -1);
  WINX_SetProp(w, reinterpret_cast<const char*>(5), reinterpret_cast<void*>(1));
  WINX_SetProp(w, "5", reinterpret_cast<void*>(2));
  EXPECT_EQ(WINX_GetProp(w, reinterpret_cast<const char*>(5), false), reinterpret_cast<void*>(1));
  EXPECT_EQ(WINX_GetProp(w, "5", true), reinterpret_cast<void*>(2));
  EXPECT_EQ(WINX_GetProp(w, "5", false), nullptr);
  DestroyWindow(w);
}

TEST(WindowView, WindowLongsDlgItemsAndStacking) {
  HWND p = WINX_CreateWindowView(nullptr, nullptr, RecordingProc, 0);
  HWND a = WINX_CreateWindowView(nullptr, p, RecordingProc, 0);
  HWND b = WINX_CreateWindowView(nullptr, p, RecordingProc, 0);
  HWND grand = WINX_CreateWindowView(nullptr, a, RecordingProc, 0);
  SetWindowLong(a, GWL_ID, 10);
  SetWindowLong(grand, GWL_ID, 30);
  EXPECT_EQ(SetWindowLong(a, GWL_USERDATA, 77), 0);
  EXPECT_EQ(GetWindowLong(a, GWL_USERDATA), 77);
  EXPECT_EQ(GetWindowLong(a, GWL_STYLE) & WS_CHILD, WS_CHILD);
  EXPECT_EQ(GetDlgItem(p, 10), a);
  EXPECT_EQ(GetDlgItem(p, 0), p);
  EXPECT_EQ(GetDlgItem(p, 30), nullptr);  // grandchildren are not searched

  EXPECT_EQ(GetWindow(p, GW_HWNDFIRST), p);
  EXPECT_EQ(GetWindow(p, GW_HWNDNEXT), nullptr);
  EXPECT_EQ(GetWindow(a, GW_HWNDNEXT), b);
  SetWindowPos(b, reinterpret_cast<HWND>(0), 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);  // already last
  EXPECT_EQ(GetWindow(p, GW_CHILD), a);
  SetWindowPos(b, reinterpret_cast<HWND>(1), 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);  // to the bottom
  EXPECT_EQ(GetWindow(p, GW_CHILD), b);
  SetWindowPos(b, a, 5, 6, 20, -30, 0);
  EXPECT_EQ(GetWindow(p, GW_CHILD), a);
  RECT r;
  GetClientRect(b, &r);
  EXPECT_EQ(r.right, 20);
  EXPECT_EQ(r.bottom, 30);
  SetParent(grand, b);
  EXPECT_EQ(GetParent(grand), b);
  EXPECT_EQ(SetParent(b, grand), nullptr);  // no cycles
  DestroyWindow(p);
  EXPECT_EQ(WINX_LiveWindowCount(), 0);
}

TEST(WindowView, CaptureRedirectsMouseInTheCaptureHoldersCoordinates) {
  HWND top = WINX_CreateWindowView(nullptr, nullptr, RecordingProc, 0);
  HWND a = WINX_CreateWindowView(nullptr, top, RecordingProc, 0);
  HWND b = WINX_CreateWindowView(nullptr, top, RecordingProc, 0);
  SetWindowPos(a, nullptr, 10, 10, 50, 50, SWP_NOZORDER);
  SetWindowPos(b, nullptr, 100, 10, 50, 50, SWP_NOZORDER);
  SetCapture(a);
  Log().clear();
  WINX_SendMouseMessage(b, WM_LBUTTONDOWN, 5, 6, 0);
  ASSERT_EQ(winxtest::Count(a, WM_LBUTTONDOWN), 1);
  EXPECT_EQ(winxtest::Count(b, WM_LBUTTONDOWN), 0);
  const LPARAM lp = winxtest::Find(a, WM_LBUTTONDOWN)->lp;
  EXPECT_EQ(lp & 0xFFFF, 95);
  EXPECT_EQ(lp >> 16, 6);
  SetCapture(b);
  EXPECT_EQ(winxtest::Count(a, WM_CAPTURECHANGED), 1);
  DestroyWindow(b);
  EXPECT_EQ(GetCapture(), nullptr);
  DestroyWindow(top);
}

TEST(WindowView, HitTestWheelAndKeys) {
  HWND w = WINX_CreateWindowView(nullptr, nullptr, RecordingProc, 0);
  winxtest::HitTestAnswer() = 2;
  Log().clear();
  WINX_SendMouseMessage(w, WM_LBUTTONDOWN, 1, 1, 0);
  EXPECT_EQ(winxtest::Count(w, WM_LBUTTONDOWN), 0);
  ASSERT_EQ(winxtest::Count(w, WM_NCLBUTTONDOWN), 1);
  EXPECT_EQ(winxtest::Find(w, WM_NCLBUTTONDOWN)->wp, 2u);
  winxtest::HitTestAnswer() = 1;
  Log().clear();
  WINX_SendMouseMessage(w, WM_MOUSEWHEEL, 1, 1, 1.0);
  WINX_SendMouseMessage(w, WM_MOUSEWHEEL, 1, 1, -0.5);
  ASSERT_EQ(winxtest::Count(w, WM_MOUSEWHEEL), 2);
  std::vector<WPARAM> wheels;
  for (auto& e : Log())
    if (e.msg == WM_MOUSEWHEEL) wheels.push_back(e.wp);
  EXPECT_EQ(static_cast<int64_t>(wheels[0]), 60 << 16);
  EXPECT_EQ(static_cast<int64_t>(wheels[1]), -30 * 65536);

  winxtest::KeyAnswer() = WINX_KEY_PASS_ON;
  EXPECT_FALSE(WINX_SendKeyMessage(w, WM_KEYDOWN, 'A', FVIRTKEY));
  winxtest::KeyAnswer() = 0;
  EXPECT_TRUE(WINX_SendKeyMessage(w, WM_KEYDOWN, 'A', FVIRTKEY));
  EXPECT_EQ(DefWindowProc(w, WM_KEYDOWN, 0, 0), WINX_KEY_PASS_ON);
  DestroyWindow(w);
}

TEST(KeyTranslation, LettersDigitsPunctuationAndTableKeys) {
  int flags = 0;
  EXPECT_EQ(WINX_KeyvalToWindowsKey('a', 38, 0, &flags, 0), 'A');
  EXPECT_EQ(flags, FVIRTKEY);
  EXPECT_EQ(WINX_KeyvalToWindowsKey(',', 59, 1 /* shift */, &flags, 0), ',');
  EXPECT_EQ(flags, 0);
  EXPECT_EQ(WINX_KeyvalToWindowsKey(0xfe20 /* ISO_Left_Tab */, 23, 1, &flags, 0), 9);
  EXPECT_EQ(flags, FVIRTKEY | FSHIFT);
  EXPECT_EQ(WINX_KeyvalToWindowsKey(0xff8d /* KP_Enter */, 104, 0, &flags, 0), 0x800D);
  EXPECT_EQ(WINX_KeyvalToWindowsKey(0xffbe /* F1 */, 67, 4 /* control */, &flags, 0), 0x70);
  EXPECT_EQ(flags, FVIRTKEY | FCONTROL);
  EXPECT_EQ(WINX_KeyvalToWindowsKey(0xffe1 /* Shift_L */, 50, 0, &flags, 0), 50 + 1024);
  int nf = 5;
  EXPECT_EQ(WINX_KeyToASCII('2', FVIRTKEY | FSHIFT, &nf), '@');
  EXPECT_EQ(nf, 0);
  EXPECT_EQ(WINX_KeyToASCII('2', FVIRTKEY, &nf), 0);
}

TEST(Paint, PassFillsTheDialogBackgroundAndReportsThePaintRectangle) {
  HWND w = WINX_CreateWindowView(nullptr, nullptr, RecordingProc, 0);
  SetWindowPos(w, nullptr, 0, 0, 8, 8, SWP_NOZORDER | SWP_NOMOVE);
  HDC dc = WINX_CreateMemContext(nullptr, 8, 8);
  ASSERT_TRUE(dc);
  const RECT r = {2, 3, 6, 7};
  Log().clear();
  winxtest::PaintRect() = {0, 0, 0, 0};
  WINX_PaintView(w, dc, &r);
  ASSERT_EQ(winxtest::Count(w, WM_PAINT), 1);
  EXPECT_EQ(winxtest::PaintRect().left, 2);
  EXPECT_EQ(winxtest::PaintRect().bottom, 7);
  // The recording procedure paints red inside the paint rectangle.
  const uint32_t* px = static_cast<const uint32_t*>(WINX_GetCtxFrameBuffer(dc));
  EXPECT_EQ(px[3 * 8 + 2], WINX_CanvasPixel(255, 0, 0));
  EXPECT_EQ(px[0], 0u);
  EXPECT_EQ(BeginPaint(w, nullptr), nullptr);
  PAINTSTRUCT ps;
  EXPECT_EQ(BeginPaint(w, &ps), nullptr);  // outside a pass
  WINX_DeleteGfxContext(dc);
  DestroyWindow(w);
}

TEST(GdiDraw, ShapesLinesAndCopies) {
  HDC dc = WINX_CreateMemContext(nullptr, 20, 20);
  uint32_t* px = static_cast<uint32_t*>(WINX_GetCtxFrameBuffer(dc));
  auto at = [&](int x, int y) { return px[y * 20 + x]; };
  const uint32_t red = WINX_CanvasPixel(255, 0, 0), blue = WINX_CanvasPixel(0, 0, 255);
  HBRUSH br = CreateSolidBrush(RGB(255, 0, 0));
  SelectObject(dc, br);
  SelectObject(dc, GetStockObject(1));  // the null pen: fill only
  Rectangle(dc, 2, 2, 6, 6);
  EXPECT_EQ(at(2, 2), red);
  EXPECT_EQ(at(5, 5), red);
  EXPECT_EQ(at(6, 6), 0u);
  HPEN pen = CreatePen(0, 0, RGB(0, 0, 255));
  SelectObject(dc, pen);
  MoveToEx(dc, 0, 10, nullptr);
  WINX_LineTo(dc, 10, 10);
  EXPECT_EQ(at(0, 10), blue);
  EXPECT_EQ(at(9, 10), blue);
  EXPECT_EQ(at(10, 10), 0u);  // the end point is not drawn
  EXPECT_EQ(at(5, 11), 0u);   // width 0 draws one pixel wide
  RoundRect(dc, 10, 0, 20, 9, 9, 9);  // 3-pixel corner cuts
  EXPECT_EQ(at(10, 0), 0u);
  EXPECT_EQ(at(15, 4), red);

  HDC src = WINX_CreateMemContext(nullptr, 10, 10);
  uint32_t* s = static_cast<uint32_t*>(WINX_GetCtxFrameBuffer(src));
  for (int i = 0; i < 100; ++i) s[i] = blue;
  HDC dst = WINX_CreateMemContext(nullptr, 20, 20);
  uint32_t* d = static_cast<uint32_t*>(WINX_GetCtxFrameBuffer(dst));
  BitBlt(dst, 0, 0, 10, 10, src, -2, 0, 0);
  EXPECT_EQ(d[0 * 20 + 1], 0u);
  EXPECT_EQ(d[0 * 20 + 2], blue);
  EXPECT_EQ(d[0 * 20 + 9], blue);
  EXPECT_EQ(d[0 * 20 + 10], 0u);  // 8 columns copied from x + 2
  WINX_DeleteGfxContext(src);
  WINX_DeleteGfxContext(dst);
  WINX_DeleteGfxContext(dc);
  DeleteObject(br);
  DeleteObject(pen);
  EXPECT_EQ(GetSysColor(8), 0xFFF0C8);
  EXPECT_EQ(GetSysColor(-1), 0);
}

TEST(GdiDraw, ImageListsOwnTheirIcons) {
  const unsigned char argb[4] = {255, 1, 2, 3};
  HBITMAP bm = CreateBitmap(1, 1, 1, 32, argb);
  ASSERT_TRUE(bm);
  HIMAGELIST list = ImageList_CreateEx();
  EXPECT_EQ(ImageList_ReplaceIcon(list, -1, bm), 0);
  EXPECT_EQ(ImageList_ReplaceIcon(list, -1, bm), 1);
  EXPECT_EQ(ImageList_ReplaceIcon(list, 0, bm), 0);
  EXPECT_EQ(ImageList_ReplaceIcon(list, 0, reinterpret_cast<HICON>(4)), -1);
  EXPECT_EQ(ImageList_Remove(list, 0), 1);
  EXPECT_EQ(ImageList_GetImageCount(list), 2);
  EXPECT_EQ(ImageList_GetIcon(list, 0), nullptr);
  DeleteObject(bm);  // the list's copies keep the image alive
  EXPECT_EQ(WINX_GetBitmapImage(ImageList_GetIcon(list, 1))->pixels[0], WINX_CanvasPixel(1, 2, 3, 255));
  ImageList_Destroy(list);
}

}  // namespace

namespace {

uint64_t s_gestureArgs[2];
uint32_t s_gestureFlags[2];
int s_gestures = 0;
LRESULT gestureProc(HWND, UINT msg, WPARAM, LPARAM lp) {
  if (msg == WM_GESTURE && s_gestures < 2) {
    GESTUREINFO g;
    WINX_GetGestureInfo(lp, &g);
    s_gestureArgs[s_gestures] = g.ullArguments;
    s_gestureFlags[s_gestures++] = g.dwFlags;
  }
  return 0;
}

TEST(Gestures, ArgumentsAreNeverZeroAndClamped) {
  EXPECT_EQ(WINX_GestureZoomArgument(0.0001f), 1025u);
  EXPECT_EQ(WINX_GestureZoomArgument(2.0f), 2048u);
  EXPECT_EQ(WINX_GestureZoomArgument(-0.0001f), 1023u);
  EXPECT_EQ(WINX_GestureRotateArgument(0.0f), 32768u);
  EXPECT_EQ(WINX_GestureRotateArgument(-1000.0f), 0u);
  HWND w = WINX_CreateWindowView(nullptr, nullptr, gestureProc, 0);
  WINX_SendGesture(w, GID_ZOOM, 1100, 1, 2, 1, 2);
  ASSERT_EQ(s_gestures, 2);
  EXPECT_EQ(s_gestureFlags[0], static_cast<uint32_t>(GF_BEGIN));
  EXPECT_EQ(s_gestureArgs[0], 1024u);
  EXPECT_EQ(s_gestureFlags[1], static_cast<uint32_t>(GF_END));
  EXPECT_EQ(s_gestureArgs[1], 1100u);
  DestroyWindow(w);
}

}  // namespace

namespace {

HBRUSH s_dialogBrush = nullptr;
int s_initFocusAnswer = 0;
LRESULT dialogProc(HWND, UINT msg, WPARAM, LPARAM) {
  if (msg == WM_CTLCOLORDLG) return reinterpret_cast<LRESULT>(s_dialogBrush);
  if (msg == WM_INITDIALOG) return s_initFocusAnswer;
  return 0;
}

void addChild(HWND dlg, int) { WINX_CreateWindowView(nullptr, dlg, winxtest::RecordingProc, 0); }

TEST(DialogView, DefaultProcedureFillsWithTheDialogBrushAndHonoursFocusSelf) {
  s_dialogBrush = CreateSolidBrush(RGB(0, 0, 255));
  WINX_DialogResourceIndex res = {"test", "Test", 0x10 | 0x4, addChild, 6, 6};
  s_initFocusAnswer = WINX_INITDIALOG_FOCUS_SELF;
  HWND dlg = WINX_CreateWindowView(&res, nullptr, dialogProc, 0);
  ASSERT_TRUE(dlg);
  EXPECT_EQ(GetFocus(), dlg);
  EXPECT_TRUE(GetWindow(dlg, GW_CHILD));
  HDC dc = WINX_CreateMemContext(nullptr, 6, 6);
  const RECT all = {0, 0, 6, 6};
  WINX_PaintView(dlg, dc, &all);
  EXPECT_EQ(static_cast<const uint32_t*>(WINX_GetCtxFrameBuffer(dc))[5 * 6 + 5], WINX_CanvasPixel(0, 0, 255));
  WINX_DeleteGfxContext(dc);
  DestroyWindow(dlg);
  s_initFocusAnswer = 0;
  HWND dlg2 = WINX_CreateWindowView(&res, nullptr, dialogProc, 0);
  EXPECT_EQ(GetFocus(), GetWindow(dlg2, GW_CHILD));  // the proposed control takes it
  DestroyWindow(dlg2);
  DeleteObject(s_dialogBrush);
}

}  // namespace

namespace {

TEST(Paint, WindowContextsInsideAndOutsideAPaintPass) {
  HWND w = WINX_CreateWindowView(nullptr, nullptr, winxtest::RecordingProc, 0);
  SetWindowPos(w, nullptr, 0, 0, 4, 4, SWP_NOZORDER | SWP_NOMOVE);
  HDC loose = GetDC(w);
  ASSERT_TRUE(loose);
  WINX_CanvasFillRect(WINX_GetCtxGC(loose), 0, 0, 4, 4, 0x00FF00);
  EXPECT_EQ(w->backing[0], WINX_CanvasPixel(0, 255, 0));  // drew into the view's own pixels
  ReleaseDC(w, loose);
  EXPECT_FALSE(WINX_ValidDC(loose));
  HDC mem = WINX_CreateMemContext(nullptr, 4, 4);
  w->m_paintctx_hdc = mem;  // as during a paint pass
  EXPECT_EQ(GetDC(w), mem);
  ReleaseDC(w, mem);
  EXPECT_TRUE(WINX_ValidDC(mem));  // the pass's context stays with the pass
  w->m_paintctx_hdc = nullptr;
  ReleaseDC(w, mem);  // not ours either: its maker deletes it
  EXPECT_TRUE(WINX_ValidDC(mem));
  WINX_DeleteGfxContext(mem);
  DestroyWindow(w);
}

}  // namespace

namespace {

TEST(Cursors, CurHeaderHiddenCounterAndVirtualPosition) {
  unsigned char cur[22] = {0, 0, 2, 0, 1, 0, 16, 16, 0, 0, 3, 0, 4, 0};
  unsigned char ico[22];
  POINT hot = {0, 0};
  ASSERT_TRUE(WINX_CurToIco(cur, sizeof cur, ico, &hot));
  EXPECT_EQ(ico[2], 1);
  EXPECT_EQ(hot.x, 3);
  EXPECT_EQ(hot.y, 4);
  EXPECT_EQ(ico[10], 1);  // planes
  cur[4] = 2;             // two images: not a cursor file of ours
  EXPECT_FALSE(WINX_CurToIco(cur, sizeof cur, ico, &hot));
  EXPECT_FALSE(WINX_CurToIco(cur, 5, ico, &hot));

  EXPECT_EQ(WINX_LoadCursor(IDC_NO), nullptr);
  EXPECT_EQ(WINX_LoadCursor(IDC_SIZENWSE), WINX_LoadCursor(IDC_SIZENWSE));  // cached
  EXPECT_EQ(WINX_ShowCursor(false), -1);
  EXPECT_EQ(WINX_ShowCursor(false), -2);
  EXPECT_EQ(WINX_SetCursorPos(100, 200), 1);  // hidden: moves the virtual position only
  POINT p;
  GetCursorPos(&p);
  EXPECT_EQ(p.x, 100);
  EXPECT_EQ(p.y, 200);
  EXPECT_EQ(WINX_ShowCursor(true), -1);
  EXPECT_FALSE(WINX_IsCursorVisible());
  EXPECT_EQ(WINX_ShowCursor(true), 0);
  EXPECT_TRUE(WINX_IsCursorVisible());
}

}  // namespace

namespace {
int g_standIn;  // any object will do: the layer only passes it on
LRESULT accessibleProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_GETOBJECT && wp == WINX_OBJID_SELF) {
    *reinterpret_cast<void**>(lp) = &g_standIn;
    return 1;
  }
  return DefWindowProc(h, msg, wp, lp);
}
}  // namespace

TEST(Accessibility, ProcedureSuppliesItsObjectThroughGetObject) {
  HWND v = WINX_CreateWindowView(nullptr, nullptr, accessibleProc, 0);
  HWND plain = WINX_CreateWindowView(nullptr, nullptr, nullptr, 0);
  EXPECT_EQ(&g_standIn, WINX_GetViewAccessibleObject(v));
  EXPECT_EQ(nullptr, WINX_GetViewAccessibleObject(plain));  // behaves as a plain view
  DestroyWindow(v);
  EXPECT_EQ(nullptr, WINX_GetViewAccessibleObject(v));
  DestroyWindow(plain);
}
