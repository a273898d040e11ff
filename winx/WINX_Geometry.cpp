// Window geometry, stacking, re-parenting, focus, capture, invalidation, the default window
// procedure and modal sessions. Main thread only; the capture holder is a plain static.
//
// Screen coordinates are top-left with y downward (GDK's), the record's frame is the truth and
// the GTK widgets follow it.
#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "WINX_Controls.h"
#include "WINX_Keyboard.h"
#include "WINX_Message.h"
#include "WINX_Time.h"
#include "WINX_Window.h"

namespace {

HWND__* s_capture = nullptr;  // not referenced: a destroyed holder drops it in WM_DESTROY
bool s_capChangeNotify = false;

struct ModalSessionList {
  std::vector<WINX_ModalSession*> running;
};
ModalSessionList& modals() {
  static ModalSessionList* m = new ModalSessionList;
  return *m;
}

HWND__* topOf(HWND__* w) {
  while (w && w->parent) w = w->parent;
  return w;
}

bool descends(HWND__* child, HWND__* ancestor) {
  for (HWND__* a = child ? child->parent : nullptr; a; a = a->parent)
    if (a == ancestor) return true;
  return false;
}

// Client origin of the record in screen coordinates.
void screenOrigin(HWND__* w, int* x, int* y) {
  int sx = 0, sy = 0;
  for (HWND__* a = w; a; a = a->parent) {
    sx += a->frame.left;
    sy += a->frame.top;
  }
  *x = sx;
  *y = sy;
}


}  // namespace

struct WINX_ModalSession {
  HWND__* window;  // referenced for the session
  uint64_t serial;
  bool stopped = false;
  int code = 0;
  GMainLoop* loop = nullptr;  // while WINX_ModalWindowRunUntilStopped runs
};

namespace winx_internal {

HWND__* captureHolder() { return WINX_ValidWindow(s_capture); }

void dropCaptureIfHeld(HWND__* w) {
  if (s_capture == w) {
    s_capture = nullptr;
    s_capChangeNotify = false;
  }
}

}  // namespace winx_internal

int IsChild(HWND parent, HWND child) {
  HWND__* p = WINX_ValidWindow(parent);
  HWND__* c = WINX_ValidWindow(child);
  if (!p || !c || p == c) return 0;
  return descends(c, p) ? 1 : 0;
}

void SetFocus(HWND hwnd) {
  HWND__* w = WINX_ValidWindow(hwnd);
  if (!w) return;
  WINX_NoteFocus(w);
  if (w->drawingArea && w->m_enabled)
    gtk_widget_grab_focus(w->drawingArea);
  else if (w->widget && gtk_widget_get_can_focus(w->widget))
    gtk_widget_grab_focus(w->widget);
  HWND__* top = topOf(w);
  if (top->toplevel && gtk_widget_get_visible(top->toplevel)) gtk_window_present(GTK_WINDOW(top->toplevel));
}

void SetForegroundWindow(HWND hwnd) { SetFocus(hwnd); }

HWND GetForegroundWindow() {
  HWND f = GetFocus();
  return f ? f : nullptr;
}

void EnableWindow(HWND hwnd, int enable) {
  HWND__* w = WINX_ValidWindow(hwnd);
  if (!w) return;
  w->setEnabled(enable != 0);
  if (w->widget) gtk_widget_set_sensitive(w->widget, enable != 0);
}

void WINX_GetViewPort(RECT* out, const RECT* source, bool work) {
  if (!out) return;
  const int px = source ? (source->left + source->right) / 2 : 0;
  const int py = source ? (source->top + source->bottom) / 2 : 0;
  *out = {0, 0, 1600, 1200};
  if (!winx_internal::gtkAvailable()) return;
  GdkDisplay* d = gdk_display_get_default();
  const int n = d ? gdk_display_get_n_monitors(d) : 0;
  for (int i = 0; i < n; ++i) {
    GdkMonitor* m = gdk_display_get_monitor(d, i);
    GdkRectangle g;
    if (work)
      gdk_monitor_get_workarea(m, &g);
    else
      gdk_monitor_get_geometry(m, &g);
    if (i == 0 || (px >= g.x && g.x + g.width > px && py >= g.y && g.y + g.height > py))
      *out = {g.x, g.y, g.x + g.width, g.y + g.height};
  }
}

void ClientToScreen(HWND hwnd, POINT* pt) {
  HWND__* w = WINX_ValidWindow(hwnd);
  if (!w || !pt) return;
  int x, y;
  screenOrigin(w, &x, &y);
  pt->x += x;
  pt->y += y;
}

void ScreenToClient(HWND hwnd, POINT* pt) {
  HWND__* w = WINX_ValidWindow(hwnd);
  if (!w || !pt) return;
  int x, y;
  screenOrigin(w, &x, &y);
  pt->x -= x;
  pt->y -= y;
}

bool GetWindowRect(HWND hwnd, RECT* r) {
  if (r) *r = {0, 0, 0, 0};
  HWND__* w = WINX_ValidWindow(hwnd);
  if (!w || !r) return false;
  POINT a = {0, 0}, b = {w->frame.right - w->frame.left, w->frame.bottom - w->frame.top};
  ClientToScreen(w, &a);
  ClientToScreen(w, &b);
  *r = {a.x, a.y, b.x, b.y};
  return true;
}

bool GetWindowContentViewRect(HWND hwnd, RECT* r) { return GetWindowRect(hwnd, r); }

void GetClientRect(HWND hwnd, RECT* r) {
  if (!r) return;
  *r = {0, 0, 0, 0};
  HWND__* w = WINX_ValidWindow(hwnd);
  if (!w) return;
  const int width = w->frame.right - w->frame.left, height = w->frame.bottom - w->frame.top;
  struct {
    RECT rects[3];
    void* pos;
  } nc = {{{0, 0, width, height}, {0, 0, 0, 0}, {0, 0, 0, 0}}, nullptr};
  WINX_DeliverMessage(w, WM_NCCALCSIZE, 0, reinterpret_cast<LPARAM>(&nc));
  *r = {0, 0, nc.rects[0].right - nc.rects[0].left, nc.rects[0].bottom - nc.rects[0].top};
}

void SetWindowPos(HWND hwnd, HWND after, int x, int y, int cx, int cy, int flags) {
  HWND__* w = WINX_ValidWindow(hwnd);
  if (!w) return;
  HWND__* p = w->parent;
  const uintptr_t a = reinterpret_cast<uintptr_t>(after);
  const bool topMost = a == ~uintptr_t(0) || a == ~uintptr_t(0) - 1;
  HWND__* cap = winx_internal::captureHolder();
  const bool capInside = cap && (cap == w || descends(cap, w));
  if (p && !(flags & SWP_NOZORDER) && after != w && p->children.size() >= 2 && !topMost && !capInside) {
    auto& c = p->children;
    auto it = std::find(c.begin(), c.end(), w);
    const size_t idx = static_cast<size_t>(it - c.begin());
    bool moved = false;
    if (a == 1) {  // bottom
      if (idx != 0) {
        c.erase(it);
        c.insert(c.begin(), w);
        moved = true;
      }
    } else if (a == 0) {  // top
      if (idx != c.size() - 1) {
        c.erase(it);
        c.push_back(w);
        moved = true;
      }
    } else {
      auto s = std::find(c.begin(), c.end(), after);
      if (s != c.end() && !(idx > 0 && c[idx - 1] == after)) {
        c.erase(it);
        s = std::find(c.begin(), c.end(), after);
        c.insert(s + 1, w);
        moved = true;
      }
    }
    if (moved) {
      HWND focus = GetFocus();
      winx_internal::restackWidgets(p);
      if (focus && (focus == w || descends(focus, w))) SetFocus(focus);
      InvalidateRect(p, &w->frame, 0);
    }
  }
  if ((flags & (SWP_NOMOVE | SWP_NOSIZE)) == (SWP_NOMOVE | SWP_NOSIZE)) return;
  RECT f = w->frame;
  const RECT old = f;
  if (!(flags & SWP_NOMOVE)) {
    f.right = x + (f.right - f.left);
    f.bottom = y + (f.bottom - f.top);
    f.left = x;
    f.top = y;
  }
  if (!(flags & SWP_NOSIZE)) {
    f.right = f.left + std::max(cx, 0);
    f.bottom = f.top + (cy < 0 ? -cy : cy);
  }
  w->frame = f;
  winx_internal::placeWidget(w);
  w->onFrameChanged();
  w->m_isdirty |= 1;
  if (p) {
    InvalidateRect(p, &old, 0);
    InvalidateRect(p, &f, 0);
  }
  WINX_DeliverMessage(w, WM_SIZE, 0, 0);
}

HWND GetCapture() { return winx_internal::captureHolder(); }

HWND SetCapture(HWND hwnd) {
  HWND__* w = WINX_ValidWindow(hwnd);
  HWND__* old = winx_internal::captureHolder();
  const bool notifyOld = s_capChangeNotify;
  s_capture = w;
  s_capChangeNotify = w != nullptr;  // every record answers the capture-change query with yes
  if (old && old != w && notifyOld) WINX_DeliverMessage(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(w));
  return old;
}

void ReleaseCapture() {
  HWND__* old = winx_internal::captureHolder();
  const bool notify = s_capChangeNotify;
  s_capture = nullptr;
  s_capChangeNotify = false;
  if (old && notify) WINX_DeliverMessage(old, WM_CAPTURECHANGED, 0, 0);
}

HWND GetWindow(HWND hwnd, int cmd) {
  HWND__* w = WINX_ValidWindow(hwnd);
  if (!w) return nullptr;
  if (cmd == GW_CHILD) return w->children.empty() ? nullptr : w->children.front();
  if (cmd == GW_OWNER) return w->parent ? w->parent : WINX_ValidWindow(w->owner);
  if (cmd < 0 || cmd > 3) return nullptr;
  if (!w->parent) return (cmd == GW_HWNDFIRST || cmd == GW_HWNDLAST) ? w : nullptr;
  auto& c = w->parent->children;
  if (c.empty()) return nullptr;
  if (cmd == GW_HWNDFIRST) return c.front();
  if (cmd == GW_HWNDLAST) return c.back();
  auto it = std::find(c.begin(), c.end(), w);
  if (it == c.end()) return nullptr;
  const long idx = static_cast<long>(it - c.begin()) + (cmd == GW_HWNDNEXT ? 1 : -1);
  return (idx >= 0 && idx < static_cast<long>(c.size())) ? c[static_cast<size_t>(idx)] : nullptr;
}

HWND SetParent(HWND hwnd, HWND newParent) {
  HWND__* w = WINX_ValidWindow(hwnd);
  if (!w) return nullptr;
  HWND__* np = WINX_ValidWindow(newParent);
  if (newParent && !np) return nullptr;
  if (np && (np == w || descends(np, w))) return nullptr;  // would make a cycle
  HWND__* old = w->parent;
  if (!old && !np) return nullptr;
  WINX_RetainWindow(w);
  // Detach: the parent's (or the top-level list's) reference moves with the record.
  if (old) {
    auto& c = old->children;
    c.erase(std::find(c.begin(), c.end(), w));
    if (w->widget && old->container && gtk_widget_get_parent(w->widget) == old->container)
      gtk_container_remove(GTK_CONTAINER(old->container), w->widget);
    InvalidateRect(old, &w->frame, 0);
    w->parent = nullptr;
    WINX_ReleaseWindow(w);
  } else {
    // A top-level window becomes a child: its GtkWindow goes, the view stays.
    w->m_lastTopLevelOwner = w->owner;
    if (w->toplevel) {
      if (w->widget && gtk_widget_get_parent(w->widget))
        gtk_container_remove(GTK_CONTAINER(gtk_widget_get_parent(w->widget)), w->widget);
      g_signal_handlers_disconnect_by_data(w->toplevel, w);
      gtk_widget_destroy(w->toplevel);
      g_object_unref(w->toplevel);
      w->toplevel = nullptr;
    }
    w->owner = nullptr;
    winx_internal::detachTopLevel(w);
  }
  if (np) {
    WINX_AttachChild(np, w);  // takes the reference retained above
  } else {
    WINX_AttachChild(nullptr, w);
    const unsigned flags = w->m_create_windowflags ? w->m_create_windowflags : 15;
    HWND__* owner = WINX_ValidWindow(w->m_lastTopLevelOwner);
    WINX_MakeTopLevel(w, owner, flags);
    ShowWindow(w, SW_SHOWNA);
  }
  return old;
}

void CheckDlgButton(HWND dlg, int id, int state) {
  SendMessage(GetDlgItem(dlg, id), 241 /* BM_SETCHECK */, (state & 2) ? 3 : static_cast<WPARAM>(state & 1), 0);
}

int IsDlgButtonChecked(HWND dlg, int id) {
  HWND b = GetDlgItem(dlg, id);
  if (!b) return 0;
  LRESULT r = SendMessage(b, 240 /* BM_GETCHECK */, 0, 0);
  return r == 2 ? 2 : (r ? 1 : 0);
}

void SetDlgItemInt(HWND dlg, int id, int value, int isSigned) {
  char buf[32];
  if (isSigned)
    snprintf(buf, sizeof buf, "%d", value);
  else
    snprintf(buf, sizeof buf, "%u", static_cast<unsigned>(value));
  SetDlgItemText(dlg, id, buf);
}

int GetDlgItemInt(HWND dlg, int id, BOOL* translated, int isSigned) {
  char buf[128];
  buf[0] = 0;
  GetDlgItemText(dlg, id, buf, sizeof buf);
  const char* p = buf;
  while (*p == ' ' || *p == '\t') ++p;
  const int v = atoi(p);
  const bool ok = (isSigned || v >= 0) && (v != 0 || *p == '0');
  if (translated) *translated = ok ? 1 : 0;
  return ok ? v : 0;
}

void InvalidateRect(HWND hwnd, const RECT* r, int) {
  HWND__* w = WINX_ValidWindow(hwnd);
  if (!w) return;
  const bool was = (w->m_isdirty & 1) != 0;
  w->m_isdirty |= 1;
  if (!was)
    for (HWND__* a = w->parent; a && !(a->m_isdirty & 2); a = a->parent) a->m_isdirty |= 2;
  if (!r) {
    winx_internal::queueRedraw(w, nullptr);
    return;
  }
  RECT n = {r->left, std::min(r->top, r->bottom), r->right, std::max(r->top, r->bottom)};
  winx_internal::queueRedraw(w, &n);
}

void UpdateWindow(HWND hwnd) {
  HWND__* w = WINX_ValidWindow(hwnd);
  // GTK paints at its next frame; run the main context until the queued draws are done.
  if (w && w->widget) {
    for (int i = 0; i < 100 && g_main_context_pending(nullptr); ++i) g_main_context_iteration(nullptr, FALSE);
  }
}

namespace {

// The front-most visible descendant of top under (x, y), top's client coordinates; top itself
// when no child covers the point.
HWND__* hitTest(HWND__* top, int x, int y) {
  HWND__* hit = top;
  for (bool found = true; found;) {
    found = false;
    for (auto it = hit->children.rbegin(); it != hit->children.rend(); ++it) {
      HWND__* c = *it;
      if (c->hidden) continue;
      if (x >= c->frame.left && x < c->frame.right && y >= c->frame.top && y < c->frame.bottom) {
        x -= c->frame.left;
        y -= c->frame.top;
        hit = c;
        found = true;
        break;
      }
    }
  }
  return hit;
}

}  // namespace

HWND WindowFromPoint(POINT pt) {
  for (HWND__* top : winx_internal::topLevelWindows()) {
    if (!top->toplevel || !gtk_widget_get_visible(top->toplevel)) continue;
    const RECT& f = top->frame;
    if (pt.x < f.left || pt.x >= f.right || pt.y < f.top || pt.y >= f.bottom) continue;
    return hitTest(top, pt.x - f.left, pt.y - f.top);
  }
  return nullptr;
}

bool WINX_HandleMouseEvent(const GdkEvent* e) {
  if (!e || winx_internal::captureHolder()) return false;
  UINT msg;
  double rx, ry;
  switch (e->type) {
    case GDK_BUTTON_PRESS:
    case GDK_BUTTON_RELEASE:
      if (e->button.button != 1 && e->button.button != 3) return false;
      msg = e->type == GDK_BUTTON_PRESS ? (e->button.button == 1 ? WM_LBUTTONDOWN : WM_RBUTTONDOWN)
                                        : (e->button.button == 1 ? WM_LBUTTONUP : WM_RBUTTONUP);
      rx = e->button.x_root;
      ry = e->button.y_root;
      break;
    case GDK_MOTION_NOTIFY:
      msg = WM_MOUSEMOVE;
      rx = e->motion.x_root;
      ry = e->motion.y_root;
      break;
    default:
      return false;
  }
  GdkWindow* gw = e->any.window ? gdk_window_get_toplevel(e->any.window) : nullptr;
  if (!gw) return false;
  HWND__* top = nullptr;
  for (HWND__* t : winx_internal::topLevelWindows())
    if (t->toplevel && gtk_widget_get_window(t->toplevel) == gw) top = t;
  if (!top) return false;
  const int sx = static_cast<int>(floor(rx)), sy = static_cast<int>(floor(ry));
  const LPARAM lp = (static_cast<LPARAM>(sy & 0xFFFF) << 16) | (sx & 0xFFFF);
  // The outermost view, from the hit view up to the content view, that calls the point
  // non-client (a hit-test answer above 1) takes the event.
  HWND__* taker = nullptr;
  for (HWND__* v = hitTest(top, sx - top->frame.left, sy - top->frame.top); v; v = v->parent) {
    if (v->isWindowView()) {
      WINX_RetainWindow(v);
      const LRESULT hit = WINX_DeliverMessage(v, WM_NCHITTEST, 0, lp);
      const bool alive = WINX_ValidWindow(v) != nullptr;
      WINX_ReleaseWindow(v);
      if (!alive) return false;
      if (hit > 1) taker = v;
    }
    if (v == top) break;
  }
  if (!taker) return false;
  POINT p = {sx, sy};
  ScreenToClient(taker, &p);
  winx_internal::noteMouse(taker, sx, sy);
  WINX_SendMouseMessage(taker, msg, p.x, p.y, 0);
  return true;
}

int IsEquivalentTextView(HWND a, HWND b) {
  HWND__* x = WINX_ValidWindow(a);
  HWND__* y = WINX_ValidWindow(b);
  if (!x || !y) return 0;
  if (x == y) return 1;
  if (x->classTag == WINX_CLASS_TEXTFIELD) std::swap(x, y);
  if (x->classTag != WINX_CLASS_TEXTVIEW || y->classTag != WINX_CLASS_TEXTFIELD) return 0;
  // A field's editor is a text view three levels below the field.
  HWND__* third = x->parent && x->parent->parent ? x->parent->parent->parent : nullptr;
  return third == y ? 1 : 0;
}

int EnumChildWindows(HWND hwnd, WNDENUMPROC proc, LPARAM lParam) {
  HWND__* w = WINX_ValidWindow(hwnd);
  if (!w || !proc) return 1;
  std::vector<HWND__*> kids = w->children;
  for (HWND__* k : kids) WINX_RetainWindow(k);
  int result = 1;
  for (HWND__* k : kids) {
    if (result && WINX_ValidWindow(k)) {
      if (!proc(k, lParam) || !EnumChildWindows(k, proc, lParam)) result = 0;
    }
  }
  for (HWND__* k : kids) WINX_ReleaseWindow(k);
  return result;
}

void SetOpaque(HWND hwnd, bool opaque) {
  if (HWND__* w = WINX_ValidWindow(hwnd)) w->m_isopaque = opaque ? 1 : 0;
}

void WINX_CloseWindow(HWND hwnd) {
  HWND__* w = topOf(WINX_ValidWindow(hwnd));
  if (w && w->toplevel) gtk_window_close(GTK_WINDOW(w->toplevel));
}

void WINX_BroadcastMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  std::vector<HWND__*> tops = winx_internal::topLevelWindows();
  for (HWND__* t : tops) WINX_RetainWindow(t);
  for (HWND__* t : tops) {
    if (msg == WM_DISPLAYCHANGE) InvalidateRect(t, nullptr, 0);
    WINX_DeliverMessage(t, msg, wParam, lParam);
    WINX_ReleaseWindow(t);
  }
}

LRESULT DefWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  HWND__* w = WINX_ValidWindow(hwnd);
  if (!w) return 0;
  switch (msg) {
    case WM_CONTEXTMENU:
    case WM_GESTURE:
    case WM_MOUSEWHEEL:
    case WM_MOUSEHWHEEL:
      // Up to the nearest ancestor, never above the top-level view.
      return w->parent ? SendMessage(w->parent, msg, wParam, lParam) : 0;
    case WM_NCHITTEST: {
      RECT r;
      GetWindowRect(w, &r);
      int x = static_cast<int16_t>(lParam & 0xFFFF), y = static_cast<int16_t>((lParam >> 16) & 0xFFFF);
      struct {
        RECT rects[3];
        void* pos;
      } nc = {{r, {0, 0, 0, 0}, {0, 0, 0, 0}}, nullptr};
      WINX_DeliverMessage(w, WM_NCCALCSIZE, 0, reinterpret_cast<LPARAM>(&nc));
      const RECT& c = nc.rects[0];
      return (x >= c.left && x < c.right && y >= c.top && y < c.bottom) ? 1 : 0;
    }
    case WM_NCRBUTTONUP:
    case WM_RBUTTONUP: {
      POINT p = {static_cast<int16_t>(lParam & 0xFFFF), static_cast<int16_t>((lParam >> 16) & 0xFFFF)};
      HWND__* target = w;
      if (msg == WM_RBUTTONUP) {
        ClientToScreen(w, &p);
        HWND__* under = WindowFromPoint(p);
        if (under && (under == w || descends(under, w))) target = under;
      }
      const LPARAM lp = (static_cast<LPARAM>(p.y) << 16) | (p.x & 0xFFFF);
      SendMessage(w, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(target), lp);
      return 1;
    }
    case WM_KEYDOWN:
    case WM_KEYUP:
      return WINX_KEY_PASS_ON;
    case WM_DISPLAYCHANGE: {
      std::vector<HWND__*> kids = w->children;
      for (HWND__* k : kids) WINX_RetainWindow(k);
      for (HWND__* k : kids) {
        WINX_DeliverMessage(k, msg, wParam, lParam);
        WINX_ReleaseWindow(k);
      }
      if (WINX_ValidWindow(w)) {
        DLGPROC d = w->m_dlgproc ? w->m_dlgproc : reinterpret_cast<DLGPROC>(WINX_GetExtraData(w, -8));
        WINX_DoDialogColorUpdates(w, d, true);
      }
      return 0;
    }
    default:
      return 0;
  }
}

// ---------------------------------------------------------------------------------------------
// Decoration

void WINX_HideApp() {
  for (HWND__* t : winx_internal::topLevelWindows())
    if (t->toplevel) gtk_widget_hide(t->toplevel);
}

int WINX_SetWindowLevel(HWND hwnd, int level) {
  HWND__* w = topOf(WINX_ValidWindow(hwnd));
  if (!w) return 0;
  const int old = static_cast<int>(reinterpret_cast<intptr_t>(WINX_GetProp(w, "WINX_WindowLevel", false)));
  WINX_SetProp(w, "WINX_WindowLevel", reinterpret_cast<void*>(static_cast<intptr_t>(level)));
  if (w->toplevel) gtk_window_set_keep_above(GTK_WINDOW(w->toplevel), level > 0);
  return old;
}

void SetTransparent(HWND hwnd) {
  HWND__* w = topOf(WINX_ValidWindow(hwnd));
  if (!w) return;
  w->m_isopaque = 0;
  if (w->toplevel) gtk_widget_set_app_paintable(w->toplevel, TRUE);
}

void WINX_SetWindowShadow(HWND hwnd, bool shadow) {
  HWND__* w = topOf(WINX_ValidWindow(hwnd));
  if (w) WINX_SetProp(w, "WINX_NoShadow", shadow ? nullptr : reinterpret_cast<void*>(1));
}

void WINX_SetWindowRepre(HWND hwnd, const char* filename, bool edited) {
  HWND__* w = topOf(WINX_ValidWindow(hwnd));
  if (!w || !w->toplevel || WINX_GetProp(w, "WINX_DisableWindowRepre", false)) return;
  std::string title = edited ? "*" : "";
  title += (filename && *filename) ? filename : w->getText();
  gtk_window_set_title(GTK_WINDOW(w->toplevel), title.c_str());
}

void WINX_FlushWindow(HWND hwnd) {
  if (WINX_ValidWindow(hwnd) && winx_internal::gtkAvailable()) gdk_display_flush(gdk_display_get_default());
}

bool WINX_SetAppAutoHideMenuAndDock(int) { return false; }

// ---------------------------------------------------------------------------------------------
// Modal sessions

WINX_ModalSession* WINX_ModalWindowStart(HWND hwnd) {
  HWND__* w = topOf(WINX_ValidWindow(hwnd));
  if (!w) return nullptr;
  WINX_ModalSession* s = new WINX_ModalSession;
  s->window = w;
  s->serial = w->serial;
  WINX_RetainWindow(w);
  if (w->toplevel) gtk_window_set_modal(GTK_WINDOW(w->toplevel), TRUE);
  modals().running.push_back(s);
  return s;
}

bool WINX_ModalWindowRun(WINX_ModalSession* s, int* result) {
  if (!s) return false;
  if (!s->stopped && !WINX_IsValidWindow(s->window, s->serial)) {  // its window went away
    s->stopped = true;
    s->code = 0;
  }
  if (!s->stopped) {
    g_main_context_iteration(nullptr, FALSE);
    if (!s->stopped && !WINX_IsValidWindow(s->window, s->serial)) s->stopped = true;
  }
  if (!s->stopped) return true;
  if (result) *result = s->code;
  return false;
}

int WINX_ModalWindowRunUntilStopped(WINX_ModalSession* s) {
  if (!s) return 0;
  // A loop that wakes now and then, so a window destroyed without WINX_ModalStop ends it too.
  const guint tick = g_timeout_add(
      50,
      [](gpointer p) -> gboolean {
        WINX_ModalSession* m = static_cast<WINX_ModalSession*>(p);
        if (!WINX_IsValidWindow(m->window, m->serial)) {
          m->stopped = true;
          if (m->loop) g_main_loop_quit(m->loop);
        }
        return G_SOURCE_CONTINUE;
      },
      s);
  if (!s->stopped && WINX_IsValidWindow(s->window, s->serial)) {
    s->loop = g_main_loop_new(nullptr, FALSE);
    g_main_loop_run(s->loop);
    g_main_loop_unref(s->loop);
    s->loop = nullptr;
  }
  g_source_remove(tick);
  s->stopped = true;
  return s->code;
}

void WINX_ModalWindowEnd(WINX_ModalSession* s) {
  if (!s) return;
  auto& r = modals().running;
  r.erase(std::remove(r.begin(), r.end(), s), r.end());
  if (s->loop) g_main_loop_quit(s->loop);
  if (WINX_IsValidWindow(s->window, s->serial) && s->window->toplevel)
    gtk_window_set_modal(GTK_WINDOW(s->window->toplevel), FALSE);
  WINX_ReleaseWindow(s->window);
  delete s;
}

void WINX_ModalStop(HWND hwnd, int code) {
  HWND__* w = topOf(WINX_ValidWindow(hwnd));
  if (!w) return;
  auto& r = modals().running;
  for (auto it = r.rbegin(); it != r.rend(); ++it) {
    WINX_ModalSession* s = *it;
    if (s->window != w || s->stopped) continue;
    s->stopped = true;
    s->code = code;
    if (s->loop) g_main_loop_quit(s->loop);
    return;
  }
}

bool WINX_IsModalRunning() {
  for (WINX_ModalSession* s : modals().running)
    if (!s->stopped) return true;
  return false;
}
