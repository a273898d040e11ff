// Window views on a real X display (Xvfb in the test script): a shown top-level window paints
// through its window procedure, GDK mouse and key events arrive as Win32 messages, child views
// follow their frames. Skipped without a display.
#include <epoxy/egl.h>
#include <epoxy/gl.h>
#include <gtk/gtk.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "CFBundle.h"
#include "CFString.h"
#include "WINX_DialogTemplate.h"
#include "WINX_DragDrop.h"
#include "WINX_HostedView.h"
#include "WINX_Keyboard.h"
#include "WINX_Message.h"
#include "WINX_Window.h"
#include "WinxWinTestSupport.h"

namespace {

using winxtest::Log;
using winxtest::RecordingProc;

bool haveDisplay() {
  setenv("NO_AT_BRIDGE", "1", 0);
  setenv("GSETTINGS_BACKEND", "memory", 0);
  static const bool ok = gtk_init_check(nullptr, nullptr);
  return ok;
}

// Runs the main context until pred holds or about ms milliseconds passed.
template <class Pred>
bool pumpUntil(Pred pred, int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!pred() && std::chrono::steady_clock::now() < end) WINX_RunRunLoop(5);
  return pred();
}

void sendEvent(GtkWidget* w, GdkEvent* ev) {
  ev->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(w)));
  gdk_event_set_device(ev, gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default())));
  gtk_widget_event(w, ev);
  gdk_event_free(ev);
}

class Display : public ::testing::Test {
protected:
  void SetUp() override {
    if (!haveDisplay()) GTEST_SKIP() << "no display";
    top = WINX_CreateWindowView(nullptr, nullptr, RecordingProc, 0);
    ASSERT_TRUE(top);
    ASSERT_TRUE(top->widget);
    SetWindowPos(top, nullptr, 40, 40, 120, 80, SWP_NOZORDER);
    ASSERT_TRUE(WINX_MakeTopLevel(top, nullptr, 1));
    ShowWindow(top, SW_SHOW);
    ASSERT_TRUE(pumpUntil([&] { return winxtest::Count(top, WM_PAINT) > 0; }, 3000));
  }
  void TearDown() override {
    if (top) DestroyWindow(top);
    WINX_RunRunLoop(10);
  }
  HWND top = nullptr;
};

TEST_F(Display, ShownWindowPaintsThroughItsProcedure) {
  GtkWidget* da = top->drawingArea;
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 120, 80);
  cairo_t* cr = cairo_create(s);
  gtk_widget_draw(da, cr);
  cairo_destroy(cr);
  cairo_surface_flush(s);
  const uint32_t* px = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(s));
  EXPECT_EQ(px[10 * (cairo_image_surface_get_stride(s) / 4) + 10] & 0xFFFFFF, 0xFF0000u);
  cairo_surface_destroy(s);
  EXPECT_TRUE(IsWindowVisible(top));
  ShowWindow(top, SW_HIDE);
  EXPECT_FALSE(IsWindowVisible(top));
}

TEST_F(Display, GdkEventsBecomeMouseAndKeyMessages) {
  GtkWidget* da = top->drawingArea;
  Log().clear();
  GdkEvent* press = gdk_event_new(GDK_BUTTON_PRESS);
  press->button.x = 12;
  press->button.y = 34;
  press->button.button = 1;
  press->button.time = 1000;
  sendEvent(da, press);
  GdkEvent* release = gdk_event_new(GDK_BUTTON_RELEASE);
  release->button.x = 12;
  release->button.y = 34;
  release->button.button = 1;
  sendEvent(da, release);
  ASSERT_EQ(winxtest::Count(top, WM_LBUTTONDOWN), 1);
  EXPECT_EQ(winxtest::Find(top, WM_LBUTTONDOWN)->lp, (34 << 16) | 12);
  EXPECT_EQ(winxtest::Count(top, WM_LBUTTONUP), 1);
  EXPECT_GE(winxtest::Count(top, WM_SETCURSOR), 1);

  GdkEvent* scroll = gdk_event_new(GDK_SCROLL);
  scroll->scroll.direction = GDK_SCROLL_UP;
  sendEvent(da, scroll);
  ASSERT_EQ(winxtest::Count(top, WM_MOUSEWHEEL), 1);
  EXPECT_EQ(static_cast<int64_t>(winxtest::Find(top, WM_MOUSEWHEEL)->wp), 60 << 16);

  GdkEvent* key = gdk_event_new(GDK_KEY_PRESS);
  key->key.keyval = GDK_KEY_a;
  key->key.state = GDK_CONTROL_MASK;
  sendEvent(da, key);
  ASSERT_EQ(winxtest::Count(top, WM_KEYDOWN), 1);
  EXPECT_EQ(winxtest::Find(top, WM_KEYDOWN)->wp, static_cast<WPARAM>('A'));
  EXPECT_EQ(winxtest::Find(top, WM_KEYDOWN)->lp, FVIRTKEY | FCONTROL);
}

TEST_F(Display, ChildViewsFollowTheirFramesAndGoWithTheirParent) {
  HWND child = WINX_CreateWindowView(nullptr, top, RecordingProc, 0);
  SetWindowPos(child, nullptr, 10, 20, 30, 40, SWP_NOZORDER);
  ShowWindow(child, SW_SHOWNA);
  ASSERT_TRUE(pumpUntil([&] { return winxtest::Count(child, WM_PAINT) > 0; }, 3000));
  GtkAllocation a;
  gtk_widget_get_allocation(child->widget, &a);
  EXPECT_EQ(a.width, 30);
  EXPECT_EQ(a.height, 40);
  POINT p = {0, 0};
  ClientToScreen(child, &p);
  EXPECT_EQ(p.x, 50);
  EXPECT_EQ(p.y, 60);
  EXPECT_EQ(WindowFromPoint(POINT{55, 65}), child);
  EXPECT_EQ(WindowFromPoint(POINT{45, 45}), top);
  UINT_PTR id = SetTimer(child, 3, 5, nullptr);
  EXPECT_EQ(id, 3u);
  DestroyWindow(top);
  top = nullptr;
  Log().clear();
  WINX_RunRunLoop(30);
  EXPECT_EQ(winxtest::Count(child, WM_TIMER), 0);
  EXPECT_EQ(WINX_LiveWindowCount(), 0);
}

TEST_F(Display, ModalSessionEndsOnStop) {
  WINX_ModalSession* s = WINX_ModalWindowStart(top);
  ASSERT_TRUE(s);
  EXPECT_TRUE(WINX_IsModalRunning());
  g_timeout_add(20, [](gpointer p) -> gboolean {
    WINX_ModalStop(static_cast<HWND>(p), 7);
    return G_SOURCE_REMOVE;
  }, top);
  EXPECT_EQ(WINX_ModalWindowRunUntilStopped(s), 7);
  int code = 0;
  EXPECT_FALSE(WINX_ModalWindowRun(s, &code));
  EXPECT_EQ(code, 7);
  WINX_ModalWindowEnd(s);
  EXPECT_FALSE(WINX_IsModalRunning());
}

TEST_F(Display, CloseBoxLeftUnhandledSendsTheCancelCommand) {
  Log().clear();
  sendEvent(top->toplevel, gdk_event_new(GDK_DELETE));
  ASSERT_EQ(winxtest::Count(top, WM_CLOSE), 1);
  ASSERT_EQ(winxtest::Count(top, WM_COMMAND), 1);
  EXPECT_EQ(winxtest::Find(top, WM_COMMAND)->wp, 2u);
  EXPECT_TRUE(IsWindow(top));  // the close box never closes the window by itself
}

bool g_promiseWritten = false;

TEST_F(Display, LeftPressForgetsAnUnfinishedPromisedDrag) {
  // A view that is not on screen starts no GTK drag, so only the promise is recorded.
  HWND offscreen = WINX_CreateWindowView(nullptr, nullptr, RecordingProc, 0);
  g_promiseWritten = false;
  WINX_InitiateDragDrop(offscreen, nullptr, "/src/Strings.syx", [](const char*) { g_promiseWritten = true; });
  GdkEvent* press = gdk_event_new(GDK_BUTTON_PRESS);
  press->button.button = 1;
  press->button.time = 90000;
  sendEvent(top->drawingArea, press);
  EXPECT_EQ("", WINX_DoDragDrop("/nonexistent-dir"));
  EXPECT_FALSE(g_promiseWritten);
  DestroyWindow(offscreen);
}

TEST_F(Display, AcceptFilesStyleMakesTheViewADropTarget) {
  HWND child = WINX_CreateWindowView(nullptr, top, RecordingProc, 0);
  ASSERT_TRUE(child && child->widget);
  EXPECT_EQ(nullptr, gtk_drag_dest_get_target_list(child->widget));
  SetWindowLong(child, GWL_EXSTYLE, 0x10);
  EXPECT_EQ(GetWindowLong(child, GWL_EXSTYLE), 0x10);
  EXPECT_NE(nullptr, gtk_drag_dest_get_target_list(child->widget));
}

AtkObject* g_supplied = nullptr;
LRESULT suppliesAccessible(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_GETOBJECT && wp == WINX_OBJID_SELF && g_supplied) {
    *reinterpret_cast<void**>(lp) = g_supplied;
    return 1;
  }
  return RecordingProc(h, msg, wp, lp);
}

TEST_F(Display, SuppliedAccessibleFollowsTheChildWidgets) {
  AtkObject* acc = gtk_widget_get_accessible(top->widget);
  ASSERT_TRUE(acc);
  const int plain = atk_object_get_n_accessible_children(acc);
  GtkWidget* label = gtk_label_new("Cutoff");
  g_object_ref_sink(label);
  g_supplied = gtk_widget_get_accessible(label);
  SetWindowLong(top, GWL_WNDPROC, reinterpret_cast<int64_t>(suppliesAccessible));
  ASSERT_EQ(atk_object_get_n_accessible_children(acc), plain + 1);
  AtkObject* last = atk_object_ref_accessible_child(acc, plain);
  EXPECT_EQ(last, g_supplied);
  if (last) g_object_unref(last);
  EXPECT_EQ(atk_object_ref_accessible_child(acc, plain + 1), nullptr);
  g_supplied = nullptr;  // a procedure that stops supplying one leaves the plain view
  EXPECT_EQ(atk_object_get_n_accessible_children(acc), plain);
  gtk_widget_destroy(label);
  g_object_unref(label);
}

}  // namespace

TEST_F(Display, MouseEventsReachTheOutermostNonClientView) {
  HWND child = WINX_CreateWindowView(nullptr, top, RecordingProc, 0);
  SetWindowPos(child, nullptr, 10, 10, 60, 40, SWP_NOZORDER);
  ShowWindow(child, SW_SHOW);
  WINX_RunRunLoop(20);
  GdkEvent* press = gdk_event_new(GDK_BUTTON_PRESS);
  press->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(top->toplevel)));
  press->button.button = 1;
  press->button.x_root = top->frame.left + 20;
  press->button.y_root = top->frame.top + 20;
  Log().clear();
  EXPECT_FALSE(WINX_HandleMouseEvent(press));  // every view says client area
  EXPECT_EQ(1, winxtest::Count(child, WM_NCHITTEST));
  EXPECT_EQ(1, winxtest::Count(top, WM_NCHITTEST));
  winxtest::HitTestAnswer() = 2;
  Log().clear();
  EXPECT_TRUE(WINX_HandleMouseEvent(press));
  EXPECT_EQ(1, winxtest::Count(top, WM_NCLBUTTONDOWN));
  EXPECT_EQ(0, winxtest::Count(child, WM_NCLBUTTONDOWN));
  SetCapture(child);
  EXPECT_FALSE(WINX_HandleMouseEvent(press));
  ReleaseCapture();
  winxtest::HitTestAnswer() = 1;
  gdk_event_free(press);
}

namespace {

// The colour on screen at (x, y) of the window that view lies in (view coordinates), 0xRRGGBB.
uint32_t screenPixel(HWND view, int x, int y) {
  POINT p = {x, y};
  ClientToScreen(view, &p);
  HWND__* t = view;
  while (t->parent) t = t->parent;
  POINT o = {0, 0};
  ClientToScreen(t, &o);
  GdkPixbuf* pb = gdk_pixbuf_get_from_window(gtk_widget_get_window(t->toplevel), p.x - o.x, p.y - o.y, 1, 1);
  if (!pb) return 0xFFFFFFFFu;
  const guchar* px = gdk_pixbuf_get_pixels(pb);
  const uint32_t c = (uint32_t(px[0]) << 16) | (uint32_t(px[1]) << 8) | px[2];
  g_object_unref(pb);
  return c;
}

int g_glPaints = 0;
bool g_glCurrentInPaint = false;

LRESULT clearGreenProc(HWND, UINT msg, WPARAM, LPARAM) {
  if (msg == WM_PAINT) {
    g_glCurrentInPaint = eglGetCurrentContext() != EGL_NO_CONTEXT;
    glClearColor(0.f, 1.f, 0.f, 1.f);
    glClear(GL_COLOR_BUFFER_BIT);
    ++g_glPaints;
  }
  return 0;
}

}  // namespace

TEST_F(Display, GLViewPaintsWithItsContextCurrentAndShowsWhatGLDrew) {
  HWND v = WINX_CreateWindowView(nullptr, top, clearGreenProc, 0);
  SetWindowPos(v, nullptr, 20, 10, 60, 40, SWP_NOZORDER);
  ShowWindow(v, SW_SHOW);
  g_glPaints = 0;
  WINX_SetViewGL(v, true);
  ASSERT_TRUE(WINX_GetViewGL(v)) << "no OpenGL context could be made on this display";
  void* context = v->m_glctx;
  WINX_SetViewGL(v, true);
  EXPECT_EQ(context, v->m_glctx);  // one context
  WINX_MakeSetCurParms(1, 1, 0, 0, top, false, false);
  HWND button = WINX_MakeButton(0, "B", 5, 0, 60, 10, 10, 0);
  WINX_SetViewGL(button, true);
  EXPECT_FALSE(WINX_GetViewGL(button));

  ASSERT_TRUE(pumpUntil([] { return g_glPaints > 0; }, 3000));
  EXPECT_TRUE(g_glCurrentInPaint);
  EXPECT_EQ(EGL_NO_CONTEXT, eglGetCurrentContext());  // cleared after the pass
  WINX_RunRunLoop(50);
  EXPECT_EQ(0x00FF00u, screenPixel(v, 30, 20));
  EXPECT_EQ(0xFF0000u, screenPixel(top, 5, 5));  // the parent still paints itself

  EXPECT_TRUE(WINX_SetGLContextToView(v));
  EXPECT_NE(EGL_NO_CONTEXT, eglGetCurrentContext());
  EXPECT_FALSE(WINX_SetGLContextToView(nullptr));
  EXPECT_EQ(EGL_NO_CONTEXT, eglGetCurrentContext());
  WINX_SetViewGL(v, false);
  EXPECT_FALSE(WINX_GetViewGL(v));
  EXPECT_FALSE(WINX_SetGLContextToView(v));
}

TEST_F(Display, HostedPluginViewDrawsInItsParentAndReportsItsSize) {
  CFStringRef path = CFStringCreateWithCString(nullptr, WINXWIN_VIEW_BUNDLE, kCFStringEncodingUTF8);
  CFURLRef url = CFURLCreateWithFileSystemPath(nullptr, path, kCFURLPOSIXPathStyle, true);
  CFRelease(path);
  AudioUnitCocoaViewInfo info = {url, {nullptr}};
  RECT r = {0, 0, 300, 200};
  EXPECT_EQ(nullptr, WINX_GetAudioUnitCocoaView(top, nullptr, &info, &r));  // no factory named
  info.mCocoaAUViewClass[0] = CFStringCreateWithCString(nullptr, "Missing_View", kCFStringEncodingUTF8);
  EXPECT_EQ(nullptr, WINX_GetAudioUnitCocoaView(top, nullptr, &info, &r));
  CFRelease(info.mCocoaAUViewClass[0]);
  EXPECT_EQ(300, r.right);  // untouched on failure

  info.mCocoaAUViewClass[0] = CFStringCreateWithCString(nullptr, "Sorvanta_View_64", kCFStringEncodingUTF8);
  int unitStandIn = 0;
  AudioUnit unit = reinterpret_cast<AudioUnit>(&unitStandIn);
  HWND h = WINX_GetAudioUnitCocoaView(top, unit, &info, &r);
  CFRelease(info.mCocoaAUViewClass[0]);
  CFRelease(url);
  ASSERT_NE(nullptr, h);
  EXPECT_EQ(top, GetParent(h));
  EXPECT_EQ(0, r.left);
  EXPECT_EQ(0, r.top);
  EXPECT_EQ(120, r.right);
  EXPECT_EQ(80, r.bottom);
  EXPECT_EQ(static_cast<void*>(&unitStandIn), g_object_get_data(G_OBJECT(h->widget), "test-unit"));
  ASSERT_TRUE(pumpUntil([&] { return gtk_widget_get_mapped(h->widget); }, 3000));
  WINX_RunRunLoop(50);
  EXPECT_EQ(0x0000FFu, screenPixel(top, 60, 40));
}
