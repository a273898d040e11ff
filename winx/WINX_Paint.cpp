// GTK glue of window views: widget creation and placement, paint passes into the view's backing
// canvas, window device contexts, and turning GDK input events into Win32 mouse, wheel and key
// messages. Main thread only.
//
// Each view is a GtkFixed holding, at the bottom, a GtkDrawingArea that covers it and paints and
// takes input; the children's widgets sit above it in the fixed. Signal handlers carry the
// record as user data and are disconnected before the record lets its widgets go.
#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>

#include "WINX_DragDrop.h"
#include "WINX_GDIDraw.h"
#include "WINX_HostedView.h"
#include "WINX_Keyboard.h"
#include "WINX_Message.h"
#include "WINX_Window.h"

namespace {

struct NcCalc {
  RECT rects[3];
  void* pos;
};
static_assert(sizeof(NcCalc) == 56, "the non-client record is 56 bytes");
static_assert(sizeof(GESTUREINFO) == 56, "the gesture record is 56 bytes");

// Contexts handed out by GetDC outside a paint pass, with the canvas each owns.
std::unordered_map<HDC, WINX_Canvas*>& looseDCs() {
  static auto* m = new std::unordered_map<HDC, WINX_Canvas*>;
  return *m;
}

bool s_gtkTried = false, s_gtkOk = false;
// Last press per button, to fold GTK's second press of a double click into the double click.
guint32 s_lastPressTime = 0;
guint s_lastPressButton = 0;

void ensureBacking(HWND__* v, int w, int h) {
  w = std::max(w, 1);
  h = std::max(h, 1);
  if (v->backingW == w && v->backingH == h) return;
  // Whatever was drawn stays where it was; new area starts as the dialog background.
  std::vector<uint32_t> n(static_cast<size_t>(w) * static_cast<size_t>(h), WINX_CanvasPixel(0xE8, 0xE8, 0xE8));
  for (int y = 0; y < std::min(h, v->backingH); ++y)
    std::copy_n(v->backing.begin() + static_cast<long>(y) * v->backingW, std::min(w, v->backingW),
                n.begin() + static_cast<long>(y) * w);
  v->backing.swap(n);
  v->backingW = w;
  v->backingH = h;
}

gboolean onDraw(GtkWidget* da, cairo_t* cr, gpointer data) {
  HWND__* v = static_cast<HWND__*>(data);
  if (!WINX_ValidWindow(v)) return FALSE;
  const int w = gtk_widget_get_allocated_width(da), h = gtk_widget_get_allocated_height(da);
  ensureBacking(v, w, h);
  GdkRectangle clip;
  if (!gdk_cairo_get_clip_rectangle(cr, &clip)) return FALSE;
  RECT r = {std::max(clip.x, 0), std::max(clip.y, 0), std::min(clip.x + clip.width, v->backingW),
            std::min(clip.y + clip.height, v->backingH)};
  if (r.right <= r.left || r.bottom <= r.top) return FALSE;
  WINX_Canvas canvas;
  WINX_CanvasInit(&canvas, v->backing.data(), v->backingW, v->backingH, v->backingW);
  HDC hdc = WINX_CreateGfxContext(&canvas);
  WINX_RetainWindow(v);
  // A GL view paints with its context current and its framebuffer bound; what GL drew is the
  // view's content.
  const bool gl = winx_internal::beginViewGL(v, w, h);
  WINX_PaintView(v, hdc, &r);
  WINX_DeleteGfxContext(hdc);
  if (gl) {
    winx_internal::endViewGL(v, cr, w, h);
    WINX_ReleaseWindow(v);
    return FALSE;
  }
  v->m_isdirty = 0;
  // Copy out into Cairo's order; Cairo only ever reads our pixels through this copy.
  const int cw = r.right - r.left, ch = r.bottom - r.top;
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, cw, ch);
  if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) {
    cairo_surface_flush(s);
    unsigned char* dst = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < ch; ++y) {
      const uint32_t* src = v->backing.data() + static_cast<size_t>(r.top + y) * v->backingW + r.left;
      uint32_t* d = reinterpret_cast<uint32_t*>(dst + static_cast<size_t>(y) * stride);
      for (int x = 0; x < cw; ++x) {
        const uint32_t p = src[x];
        d[x] = 0xFF000000u | (((p >> 8) & 0xFF) << 16) | (((p >> 16) & 0xFF) << 8) | ((p >> 24) & 0xFF);
      }
    }
    cairo_surface_mark_dirty(s);
    cairo_set_source_surface(cr, s, r.left, r.top);
    cairo_paint(cr);
  }
  cairo_surface_destroy(s);
  WINX_ReleaseWindow(v);
  return FALSE;
}

UINT buttonMessage(guint button, bool down, bool dbl) {
  switch (button) {
    case 1: return down ? (dbl ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN) : WM_LBUTTONUP;
    case 3: return down ? (dbl ? WM_RBUTTONDBLCLK : WM_RBUTTONDOWN) : WM_RBUTTONUP;
    case 2: return down ? (dbl ? WM_MBUTTONDBLCLK : WM_MBUTTONDOWN) : WM_MBUTTONUP;
    default: return 0;
  }
}

gboolean onButton(GtkWidget* da, GdkEventButton* e, gpointer data) {
  HWND__* v = static_cast<HWND__*>(data);
  if (!WINX_ValidWindow(v)) return FALSE;
  winx_internal::noteMouse(v, static_cast<int>(floor(e->x_root)), static_cast<int>(floor(e->y_root)));
  const bool down = e->type != GDK_BUTTON_RELEASE;
  // Any left press (on a disabled view too) ends a promised-file drag the program started and
  // never finished: its callback must not run on a later, unrelated drop.
  if (down && e->button == 1) WINX_FinishDragDrop();
  bool dbl = e->type == GDK_2BUTTON_PRESS || e->type == GDK_3BUTTON_PRESS;
  if (e->type == GDK_BUTTON_PRESS) {
    gint dblTime = 400;
    g_object_get(gtk_settings_get_default(), "gtk-double-click-time", &dblTime, NULL);
    const bool second = s_lastPressButton == e->button && e->time - s_lastPressTime <= static_cast<guint32>(dblTime);
    s_lastPressTime = e->time;
    s_lastPressButton = e->button;
    if (second) return TRUE;  // GDK_2BUTTON_PRESS follows and becomes the double click
  }
  guint button = e->button;
  const int x = static_cast<int>(floor(e->x)), y = static_cast<int>(floor(e->y));
  if (down && v->m_enabled && GetFocus() != v) {
    // The first click into a view that does not have the focus activates it (and its parent).
    WINX_DeliverMessage(v, WM_MOUSEACTIVATE, 0, 0);
    if (v->parent) WINX_DeliverMessage(v->parent, WM_MOUSEACTIVATE, 0, 0);
    if (!WINX_ValidWindow(v)) return TRUE;
  }
  if (button == 1) {
    if (down) {
      if (!v->m_enabled) return TRUE;
      v->m_isfakerightmouse = 0;
      if ((e->state & GDK_SUPER_MASK) && IsRightClickEmulateEnabled()) {
        button = 3;
        if (!dbl) v->m_isfakerightmouse = 1;
      }
      if (button == 1 && gtk_widget_get_can_focus(da) && !gtk_widget_has_focus(da)) gtk_widget_grab_focus(da);
    } else {
      if (!v->m_enabled) return TRUE;
      if (v->m_isfakerightmouse) button = 3;
    }
  } else if (!down && !v->m_enabled) {
    return TRUE;
  }
  if (button == 3) v->m_isfakerightmouse = down && v->m_isfakerightmouse;
  if (button != 1 && down) {
    HWND__* top = v;
    while (top->parent) top = top->parent;
    if (top->toplevel && !gtk_window_is_active(GTK_WINDOW(top->toplevel))) SetFocus(v);
  }
  if (UINT msg = buttonMessage(button, down, dbl)) WINX_SendMouseMessage(v, msg, x, y, 0);
  return TRUE;
}

gboolean onMotion(GtkWidget*, GdkEventMotion* e, gpointer data) {
  HWND__* v = static_cast<HWND__*>(data);
  if (!WINX_ValidWindow(v) || !v->m_enabled) return FALSE;
  winx_internal::noteMouse(v, static_cast<int>(floor(e->x_root)), static_cast<int>(floor(e->y_root)));
  WINX_SendMouseMessage(v, WM_MOUSEMOVE, static_cast<int>(floor(e->x)), static_cast<int>(floor(e->y)), 0);
  if (HCURSOR c = WINX_GetLastSetCursor())
    if (c != WINX_GetCursor()) WINX_SetCursor(c);
  return TRUE;
}

gboolean onScroll(GtkWidget*, GdkEventScroll* e, gpointer data) {
  HWND__* v = static_cast<HWND__*>(data);
  if (!WINX_ValidWindow(v) || !v->m_enabled) return FALSE;
  winx_internal::noteMouse(v, static_cast<int>(floor(e->x_root)), static_cast<int>(floor(e->y_root)));
  double dx = 0, dy = 0;
  switch (e->direction) {
    case GDK_SCROLL_UP: dy = 1; break;
    case GDK_SCROLL_DOWN: dy = -1; break;
    case GDK_SCROLL_LEFT: dx = 1; break;
    case GDK_SCROLL_RIGHT: dx = -1; break;
    default:  // smooth: GDK's deltas grow downward and rightward, the wheel's upward
      dx = -e->delta_x;
      dy = -e->delta_y;
      break;
  }
  const int x = static_cast<int>(floor(e->x)), y = static_cast<int>(floor(e->y));
  if (dy != 0 || std::isnan(dy)) WINX_SendMouseMessage(v, WM_MOUSEWHEEL, x, y, dy);
  if (dx != 0 && WINX_ValidWindow(v)) WINX_SendMouseMessage(v, WM_MOUSEHWHEEL, x, y, dx);
  return TRUE;
}

gboolean onKey(GtkWidget*, GdkEventKey* e, gpointer data) {
  HWND__* v = static_cast<HWND__*>(data);
  if (!WINX_ValidWindow(v)) return FALSE;
  int flags = 0;
  const int key = WINX_KeyvalToWindowsKey(e->keyval, e->hardware_keycode, e->state, &flags, 0);
  return WINX_SendKeyMessage(v, e->type == GDK_KEY_PRESS ? WM_KEYDOWN : WM_KEYUP, key, flags) ? TRUE : FALSE;
}

// A pinch reports its scale since the pinch began and its rotation step; each update becomes one
// zoom and one rotate gesture, as a trackpad's magnify and rotate events do.
gboolean onTouchpad(GtkWidget*, GdkEvent* e, gpointer data) {
  static double lastScale = 1.0;
  static double swipeDx = 0, swipeDy = 0;
  HWND__* v = static_cast<HWND__*>(data);
  if (!WINX_ValidWindow(v)) return FALSE;
  if (e->type == GDK_TOUCHPAD_PINCH) {
    const GdkEventTouchpadPinch& p = e->touchpad_pinch;
    const int x = static_cast<int>(p.x_root), y = static_cast<int>(p.y_root);
    if (p.phase == GDK_TOUCHPAD_GESTURE_PHASE_BEGIN) lastScale = 1.0;
    if (p.phase != GDK_TOUCHPAD_GESTURE_PHASE_UPDATE) return TRUE;
    if (p.scale != lastScale && lastScale > 0) {
      WINX_SendGesture(v, GID_ZOOM, WINX_GestureZoomArgument(static_cast<float>(p.scale / lastScale - 1.0)), x, y, x, y);
      lastScale = p.scale;
    }
    // GDK turns clockwise in radians; the trackpad's rotation is counter-clockwise degrees.
    if (p.angle_delta != 0 && WINX_ValidWindow(v))
      WINX_SendGesture(v, GID_ROTATE, WINX_GestureRotateArgument(static_cast<float>(-p.angle_delta * 180.0 / M_PI)), x, y,
                       x, y);
    return TRUE;
  }
  if (e->type == GDK_TOUCHPAD_SWIPE) {
    const GdkEventTouchpadSwipe& s = e->touchpad_swipe;
    if (s.phase == GDK_TOUCHPAD_GESTURE_PHASE_BEGIN) swipeDx = swipeDy = 0;
    swipeDx += s.dx;
    swipeDy += s.dy;
    if (s.phase != GDK_TOUCHPAD_GESTURE_PHASE_END) return TRUE;
    const int x = static_cast<int>(s.x_root), y = static_cast<int>(s.y_root);
    const int w = v->frame.right - v->frame.left, h = v->frame.bottom - v->frame.top;
    int ex = x, ey = y;
    if (std::fabs(swipeDx) >= std::fabs(swipeDy) && swipeDx != 0)
      ex = swipeDx < 0 ? x - w : x + w;
    else if (swipeDy != 0)
      ey = swipeDy < 0 ? y - h : y + h;
    WINX_SendGesture(v, GID_PAN, 0, x, y, ex, ey);
    return TRUE;
  }
  return FALSE;
}

gboolean onFocusIn(GtkWidget*, GdkEvent*, gpointer data) {
  WINX_NoteFocus(static_cast<HWND__*>(data));
  return FALSE;
}

void onSizeAllocate(GtkWidget*, GdkRectangle* a, gpointer data) {
  HWND__* v = static_cast<HWND__*>(data);
  if (WINX_ValidWindow(v)) ensureBacking(v, a->width, a->height);
}

// The close box of every top-level window: WM_CLOSE first; a procedure that leaves it
// unhandled (0) gets the cancel command, WM_COMMAND (2, 0). The window itself closes only
// through DestroyWindow or EndDialog.
gboolean onDelete(GtkWidget*, GdkEvent*, gpointer data) {
  HWND__* v = static_cast<HWND__*>(data);
  if (!WINX_ValidWindow(v)) return TRUE;
  WINX_RetainWindow(v);
  if (WINX_DeliverMessage(v, WM_CLOSE, 0, 0) == 0 && WINX_ValidWindow(v)) WINX_DeliverMessage(v, WM_COMMAND, 2, 0);
  WINX_ReleaseWindow(v);
  return TRUE;
}

// The window size last asked of the window system, while its answer is awaited. Configure
// events still describing the size before (the server answers resizes in order) must not win:
// taken as the new client size they would set the view's size request back and hold the window
// at the old size. An answer that never comes (a window manager that overrules the size)
// stops being awaited after a second.
struct PendingSize {
  int width, height;
  gint64 until;
};
const char kPendingSizeKey[] = "winx-pending-size";

void awaitSize(GtkWidget* win, int width, int height) {
  PendingSize* p = g_new(PendingSize, 1);
  *p = {width, height, g_get_monotonic_time() + G_USEC_PER_SEC};
  g_object_set_data_full(G_OBJECT(win), kPendingSizeKey, p, g_free);
}

// False for a configure event that is an earlier size than the one awaited.
bool sizeIsCurrent(GtkWidget* win, int width, int height) {
  const PendingSize* p = static_cast<const PendingSize*>(g_object_get_data(G_OBJECT(win), kPendingSizeKey));
  if (!p) return true;
  if ((p->width == width && p->height == height) || g_get_monotonic_time() > p->until) {
    g_object_set_data(G_OBJECT(win), kPendingSizeKey, nullptr);
    return true;
  }
  return false;
}

gboolean onConfigure(GtkWidget* win, GdkEventConfigure* e, gpointer data) {
  HWND__* v = static_cast<HWND__*>(data);
  if (!WINX_ValidWindow(v)) return FALSE;
  int x = e->x, y = e->y;
  gtk_window_get_position(GTK_WINDOW(win), &x, &y);
  // The frame is the client area: below the menu bar when the window shows one.
  const int bar = winx_internal::menuBarHeight(v);
  y += bar;
  const RECT old = v->frame;
  const bool current = sizeIsCurrent(win, e->width, e->height);
  const int width = current ? e->width : old.right - old.left;
  const int height = current ? std::max(e->height - bar, 0) : old.bottom - old.top;
  v->frame = {x, y, x + width, y + height};
  if (old.left != x || old.top != y)
    WINX_DeliverMessage(v, WM_MOVE, 0, (static_cast<LPARAM>(y) << 16) | (x & 0xFFFF));
  if (old.right - old.left != width || old.bottom - old.top != height) {
    if (v->drawingArea) gtk_widget_set_size_request(v->drawingArea, width, height);
    WINX_DeliverMessage(v, WM_SIZE, 0, 0);
  }
  return FALSE;
}

}  // namespace

namespace winx_internal {

bool gtkAvailable() {
  if (!s_gtkTried) {
    s_gtkTried = true;
    s_gtkOk = gtk_init_check(nullptr, nullptr);
  }
  return s_gtkOk;
}

void createViewWidgets(HWND__* v) {
  GtkWidget* fixed = newViewContainer(v);
  g_object_ref_sink(fixed);
  GtkWidget* da = gtk_drawing_area_new();
  g_object_ref_sink(da);
  gtk_widget_set_can_focus(da, TRUE);
  gtk_widget_add_events(da, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK |
                                GDK_SCROLL_MASK | GDK_SMOOTH_SCROLL_MASK | GDK_KEY_PRESS_MASK |
                                GDK_KEY_RELEASE_MASK | GDK_FOCUS_CHANGE_MASK | GDK_TOUCHPAD_GESTURE_MASK);
  gtk_fixed_put(GTK_FIXED(fixed), da, 0, 0);
  gtk_widget_show(da);
  g_signal_connect(da, "draw", G_CALLBACK(onDraw), v);
  g_signal_connect(da, "button-press-event", G_CALLBACK(onButton), v);
  g_signal_connect(da, "button-release-event", G_CALLBACK(onButton), v);
  g_signal_connect(da, "motion-notify-event", G_CALLBACK(onMotion), v);
  g_signal_connect(da, "scroll-event", G_CALLBACK(onScroll), v);
  g_signal_connect(da, "key-press-event", G_CALLBACK(onKey), v);
  g_signal_connect(da, "key-release-event", G_CALLBACK(onKey), v);
  g_signal_connect(da, "focus-in-event", G_CALLBACK(onFocusIn), v);
  g_signal_connect(da, "event", G_CALLBACK(onTouchpad), v);
  g_signal_connect(da, "size-allocate", G_CALLBACK(onSizeAllocate), v);
  v->widget = v->container = fixed;
  v->drawingArea = da;
  placeWidget(v);
}

void placeWidget(HWND__* w) {
  const int width = std::max(w->frame.right - w->frame.left, 0);
  const int height = std::max(w->frame.bottom - w->frame.top, 0);
  if (w->widget) gtk_widget_set_size_request(w->widget, width, height);
  if (w->drawingArea) gtk_widget_set_size_request(w->drawingArea, width, height);
  if (w->toplevel) {
    const int bar = menuBarHeight(w);
    gtk_window_move(GTK_WINDOW(w->toplevel), w->frame.left, w->frame.top - bar);
    gtk_window_resize(GTK_WINDOW(w->toplevel), std::max(width, 1), std::max(height + bar, 1));
    if (gtk_widget_get_realized(w->toplevel)) awaitSize(w->toplevel, std::max(width, 1), std::max(height + bar, 1));
    return;
  }
  HWND__* p = w->parent;
  if (!w->widget || !p || !p->container) return;
  if (gtk_widget_get_parent(w->widget) == p->container)
    gtk_fixed_move(GTK_FIXED(p->container), w->widget, w->frame.left, w->frame.top);
  else if (!gtk_widget_get_parent(w->widget))
    gtk_fixed_put(GTK_FIXED(p->container), w->widget, w->frame.left, w->frame.top);
}

void restackWidgets(HWND__* p) {
  if (!p->container) return;
  // GtkFixed stacks in insertion order: take the children out and put them back in ours.
  for (HWND__* c : p->children)
    if (c->widget && gtk_widget_get_parent(c->widget) == p->container)
      gtk_container_remove(GTK_CONTAINER(p->container), c->widget);
  for (HWND__* c : p->children) placeWidget(c);
}

void updateVisibility(HWND__* w) {
  if (!w->widget) return;
  if (w->hidden)
    gtk_widget_hide(w->widget);
  else
    gtk_widget_show(w->widget);
}

void queueRedraw(HWND__* w, const RECT* r) {
  GtkWidget* target = w->drawingArea ? w->drawingArea : w->widget;
  if (!target) return;
  if (r)
    gtk_widget_queue_draw_area(target, r->left, r->top, std::max(r->right - r->left, 0),
                               std::max(r->bottom - r->top, 0));
  else
    gtk_widget_queue_draw(target);
}

}  // namespace winx_internal

bool WINX_MakeTopLevel(HWND view, HWND owner, unsigned kind) {
  HWND__* v = WINX_ValidWindow(view);
  if (!v || v->parent || v->toplevel) return false;
  HWND__* o = WINX_ValidWindow(owner);
  v->owner = o;
  if (!v->widget) return true;  // no display: the record alone stands for the window
  GtkWidget* win = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  g_object_ref(win);
  gtk_window_set_decorated(GTK_WINDOW(win), (kind & 1) != 0);
  gtk_window_set_resizable(GTK_WINDOW(win), (kind & 8) != 0);
  gtk_window_set_title(GTK_WINDOW(win), v->getText());
  HWND__* ot = o;
  while (ot && ot->parent) ot = ot->parent;
  if (ot && ot->toplevel) gtk_window_set_transient_for(GTK_WINDOW(win), GTK_WINDOW(ot->toplevel));
  gtk_box_pack_end(GTK_BOX(winx_internal::newTopLevelBox(win, v)), v->widget, TRUE, TRUE, 0);
  g_signal_connect(win, "delete-event", G_CALLBACK(onDelete), v);
  g_signal_connect(win, "configure-event", G_CALLBACK(onConfigure), v);
  v->toplevel = win;
  winx_internal::syncMenuBar(v);
  winx_internal::placeWidget(v);
  if (!v->hidden) gtk_widget_show(v->widget);
  return true;
}

// ---------------------------------------------------------------------------------------------
// Paint passes

void WINX_PaintView(HWND hwnd, HDC hdc, const RECT* rect) {
  HWND__* v = WINX_ValidWindow(hwnd);
  if (!v || !rect || !WINX_ValidDC(hdc)) return;
  WINX_RetainWindow(v);
  v->m_paintctx_hdc = hdc;
  v->m_paintctx_rect[0] = rect->left;
  v->m_paintctx_rect[1] = rect->top;
  v->m_paintctx_rect[2] = rect->right - rect->left;
  v->m_paintctx_rect[3] = rect->bottom - rect->top;
  v->m_paintctx_used = false;
  RECT w;
  GetWindowRect(v, &w);
  if (w.top > w.bottom) std::swap(w.top, w.bottom);
  NcCalc nc = {{w, {0, 0, 0, 0}, {0, 0, 0, 0}}, nullptr};
  WINX_DeliverMessage(v, WM_NCCALCSIZE, 0, reinterpret_cast<LPARAM>(&nc));
  WINX_DeliverMessage(v, WM_NCPAINT, 1, 0);
  const RECT c = nc.rects[0];
  v->m_paintctx_rect[0] += c.left - w.left;
  v->m_paintctx_rect[1] += c.top - w.top;
  if (v->m_paintctx_rect[2] >= 1 && v->m_paintctx_rect[3] >= 1) {
    if (c.left != w.left || c.top != w.top || c.right != w.right || c.bottom != w.bottom) {
      WINX_PushClipRegion(hdc);
      RECT cr;
      GetClientRect(v, &cr);
      WINX_SetClipRegion(hdc, &cr);
      WINX_DeliverMessage(v, WM_PAINT, reinterpret_cast<WPARAM>(hdc), 0);
      WINX_PopClipRegion(hdc);
    } else {
      WINX_DeliverMessage(v, WM_PAINT, reinterpret_cast<WPARAM>(hdc), 0);
    }
  }
  v->m_paintctx_hdc = nullptr;
  v->m_isdirty = 0;
  WINX_ReleaseWindow(v);
}

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps) {
  if (!ps) return nullptr;
  *ps = PAINTSTRUCT{nullptr, 0, {0, 0, 0, 0}};
  HWND__* v = WINX_ValidWindow(hwnd);
  if (!v || !v->m_paintctx_hdc) return nullptr;
  v->m_paintctx_used = true;
  ps->hdc = v->m_paintctx_hdc;
  const double* r = v->m_paintctx_rect;
  ps->rcPaint = {static_cast<int>(r[0]), static_cast<int>(r[1]), static_cast<int>(ceil(r[0] + r[2])),
                 static_cast<int>(ceil(r[1] + r[3]))};
  return ps->hdc;
}

int EndPaint(HWND, PAINTSTRUCT*) { return 1; }

HDC GetDC(HWND hwnd) {
  HWND__* v = WINX_ValidWindow(hwnd);
  if (!v) return nullptr;
  if (HDC__* dc = WINX_ValidDC(v->m_paintctx_hdc)) {
    if (dc->ctx) WINX_CanvasSave(dc->ctx);
    return dc;
  }
  // Outside a paint pass the context draws into the view's backing pixels, shown at the next
  // draw (ReleaseDC queues one).
  ensureBacking(v, v->frame.right - v->frame.left, v->frame.bottom - v->frame.top);
  WINX_Canvas* c = new WINX_Canvas;
  WINX_CanvasInit(c, v->backing.data(), v->backingW, v->backingH, v->backingW);
  HDC hdc = WINX_CreateGfxContext(c);
  if (!hdc) {
    delete c;
    return nullptr;
  }
  WINX_CanvasSave(c);
  looseDCs()[hdc] = c;
  return hdc;
}

HDC GetWindowDC(HWND hwnd) { return GetDC(hwnd); }

void ReleaseDC(HWND hwnd, HDC hdc) {
  HDC__* dc = WINX_ValidDC(hdc);
  if (!dc) return;
  HWND__* v = WINX_ValidWindow(hwnd);
  if (dc->ctx) WINX_CanvasRestore(dc->ctx);
  if (v && v->m_paintctx_hdc == hdc) return;  // belongs to the paint pass
  auto it = looseDCs().find(hdc);
  if (it == looseDCs().end()) return;  // not ours: leave it to its maker
  WINX_Canvas* c = it->second;
  looseDCs().erase(it);
  WINX_DeleteGfxContext(hdc);
  delete c;
  if (v) winx_internal::queueRedraw(v, nullptr);
}

// ---------------------------------------------------------------------------------------------
// Input

LRESULT WINX_SendMouseMessage(HWND hwnd, UINT msg, int x, int y, double wheelDelta) {
  HWND__* v = WINX_ValidWindow(hwnd);
  if (!v) return 0;
  HWND__* cap = winx_internal::captureHolder();
  if (cap && cap != v && cap->isWindowView()) {
    HWND__* a = cap;
    HWND__* b = v;
    while (a->parent) a = a->parent;
    while (b->parent) b = b->parent;
    if (a == b) {
      POINT p = {x, y};
      ClientToScreen(v, &p);
      ScreenToClient(cap, &p);
      return WINX_SendMouseMessage(cap, msg, p.x, p.y, wheelDelta);
    }
  }
  if (v->m_hashaddestroy.load() != 0) return -1;
  WINX_RetainWindow(v);
  const bool wheel = msg == WM_MOUSEWHEEL || msg == WM_MOUSEHWHEEL;
  LRESULT hit = 1;
  LRESULT result = -1;
  do {
    if (!wheel && !cap) {
      hit = WINX_DeliverMessage(v, WM_NCHITTEST, 0, static_cast<LPARAM>(GetMessagePos()));
      if (!WINX_ValidWindow(v)) break;
      if (hit != 1 && msg >= WM_MOUSEMOVE && msg <= WM_MBUTTONDBLCLK) {
        result = WINX_DeliverMessage(v, WM_NCMOUSEMOVE + (msg - WM_MOUSEMOVE), static_cast<WPARAM>(hit),
                                     static_cast<LPARAM>(GetMessagePos()));
        break;
      }
    }
    if (wheel) {
      const float d = static_cast<float>(wheelDelta);
      const int amount = static_cast<int>(d * 60.0);
      POINT sp;
      GetCursorPos(&sp);
      result = WINX_DeliverMessage(v, msg, static_cast<WPARAM>(static_cast<int64_t>(amount) * 65536),
                                   (static_cast<LPARAM>(sp.y) << 16) | (sp.x & 0xFFFF));
      break;
    }
    result = WINX_DeliverMessage(v, msg, 0, (static_cast<LPARAM>(y) << 16) | (x & 0xFFFF));
    if ((msg == WM_MOUSEMOVE || msg == WM_LBUTTONUP || msg == WM_RBUTTONUP || msg == WM_MBUTTONUP) &&
        !winx_internal::captureHolder()) {
      LRESULT sc = WINX_ValidWindow(v) ? WINX_DeliverMessage(v, WM_SETCURSOR, reinterpret_cast<WPARAM>(v),
                                                             (static_cast<LPARAM>(msg) << 16) | (hit & 0xFFFF))
                                       : 0;
      if (!sc) {
        HCURSOR arrow = WINX_LoadCursor(IDC_ARROW);
        if (WINX_GetCursor() != arrow) WINX_SetCursor(arrow);
      }
    }
  } while (false);
  WINX_ReleaseWindow(v);
  return result;
}

bool WINX_SendKeyMessage(HWND hwnd, UINT msg, int vk, int flags) {
  HWND__* v = WINX_ValidWindow(hwnd);
  if (!v || v->m_hashaddestroy.load() != 0) return false;
  LRESULT r = WINX_DeliverMessage(v, msg, static_cast<WPARAM>(vk), flags);
  return r != WINX_KEY_PASS_ON;
}

// ---------------------------------------------------------------------------------------------
// Gestures

int WINX_GetGestureInfo(LPARAM lParam, GESTUREINFO* out) {
  if (!lParam || !out) return 0;
  memcpy(out, reinterpret_cast<const void*>(lParam), sizeof(GESTUREINFO));
  return 1;
}

uint64_t WINX_GestureZoomArgument(float magnification) {
  int v = static_cast<int>(1024.0f * magnification + 0.5f);
  if (v == 0) v = magnification < 0 ? -1 : 1;
  return static_cast<uint64_t>(std::min(std::max(1024 + v, 512), 2048));
}

uint64_t WINX_GestureRotateArgument(float degrees) {
  int v = static_cast<int>(32767.0f * degrees / 60.0f);
  if (v == 0) v = degrees < 0 ? -1 : 1;
  return static_cast<uint64_t>(std::min(std::max(32767 + v, 0), 65535));
}

void WINX_SendGesture(HWND hwnd, uint32_t id, uint64_t endArgument, int x, int y, int endX, int endY) {
  HWND__* v = WINX_ValidWindow(hwnd);
  if (!v) return;
  WINX_RetainWindow(v);
  GESTUREINFO g = {};
  g.cbSize = sizeof g;
  g.dwFlags = GF_BEGIN;
  g.dwID = id;
  g.hwndTarget = v;
  g.x = static_cast<int16_t>(x);
  g.y = static_cast<int16_t>(y);
  g.ullArguments = id == GID_ZOOM ? 1024 : 0;
  SendMessage(v, WM_GESTURE, 0, reinterpret_cast<LPARAM>(&g));
  g.dwFlags = GF_END;
  g.x = static_cast<int16_t>(endX);
  g.y = static_cast<int16_t>(endY);
  g.ullArguments = endArgument;
  SendMessage(v, WM_GESTURE, static_cast<WPARAM>(endArgument), reinterpret_cast<LPARAM>(&g));
  WINX_ReleaseWindow(v);
}
