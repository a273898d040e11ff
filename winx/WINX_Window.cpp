// The HWND record: registry, creation, destruction, message delivery, the dialog default window
// procedure, properties, record accessors and the common window queries. Main thread only,
// except the registry lookups, which posting threads make too.
#include "WINX_Window.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "WINX_DragDrop.h"
#include "WINX_GDIDraw.h"
#include "WINX_HostedView.h"
#include "WINX_Message.h"

namespace {

// Live records by address, with their serials. Posting threads look records up here, so it is
// locked; everything else about a record is the main thread's.
struct Registry {
  std::mutex lock;
  std::unordered_map<const HWND__*, uint64_t> live;
};
Registry& registry() {
  static Registry* r = new Registry;  // never destroyed: records freed at exit still unregister
  return *r;
}
std::atomic<uint64_t> s_nextSerial{1};

// Parentless records; the list holds one reference to each.
std::vector<HWND__*>& topLevels() {
  static std::vector<HWND__*>* v = new std::vector<HWND__*>;
  return *v;
}

HWND__* s_focus = nullptr;  // not referenced; cleared when the record is destroyed
void (*s_dialogColorHook)(HWND, DLGPROC, bool) = nullptr;
void (*s_menuHook)(HMENU, HWND) = nullptr;
void (*s_menuReleaseHook)(HMENU) = nullptr;

void registerWindow(HWND__* w) {
  Registry& r = registry();
  std::lock_guard<std::mutex> l(r.lock);
  r.live[w] = w->serial;
}
void unregisterWindow(HWND__* w) {
  Registry& r = registry();
  std::lock_guard<std::mutex> l(r.lock);
  r.live.erase(w);
}

bool isAtom(const char* name) { return reinterpret_cast<uintptr_t>(name) < 0x10000; }
bool propNameMatches(const char* stored, const char* name) {
  if (isAtom(stored) || isAtom(name)) return stored == name;
  return strcmp(stored, name) == 0;
}
void freeProp(WindowPropRec* p) {
  if (!isAtom(p->name)) free(const_cast<char*>(p->name));
  delete p;
}

void detachFromParent(HWND__* w) {
  if (HWND__* p = w->parent) {
    auto& c = p->children;
    auto it = std::find(c.begin(), c.end(), w);
    if (it != c.end()) c.erase(it);
    w->parent = nullptr;
    if (w->widget && p->container && gtk_widget_get_parent(w->widget) == p->container)
      gtk_container_remove(GTK_CONTAINER(p->container), w->widget);
    p->m_isdirty |= 3;
    winx_internal::queueRedraw(p, nullptr);
    WINX_ReleaseWindow(w);
    return;
  }
  auto& t = topLevels();
  auto it = std::find(t.begin(), t.end(), w);
  if (it != t.end()) {
    t.erase(it);
    WINX_ReleaseWindow(w);
  }
}

// Widgets go with the destroyed tree; the records live on while referenced.
void teardownTree(HWND__* w) {
  std::vector<HWND__*> kids = w->children;
  for (HWND__* k : kids) teardownTree(k);
  w->releaseWidgets();
}

void releaseChildren(HWND__* w) {
  std::vector<HWND__*> kids;
  kids.swap(w->children);
  for (HWND__* k : kids) {
    k->parent = nullptr;
    WINX_ReleaseWindow(k);
  }
}

HWND__* firstFocusable(HWND__* v) {
  for (HWND__* c : v->children)
    if (c->acceptsFirstResponder()) return c;
  return nullptr;
}

// Copies at most size - 1 bytes and a NUL; nothing when size < 1.
void copyBounded(char* dst, const char* src, int size) {
  if (!dst || size < 1) return;
  if (!src) src = "";
  size_t n = strnlen(src, static_cast<size_t>(size - 1));
  memcpy(dst, src, n);
  dst[n] = 0;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Record

HWND__::HWND__(int tag) : classTag(tag), serial(s_nextSerial.fetch_add(1)) {}

HWND__::~HWND__() {
  unregisterWindow(this);
  if (s_focus == this) s_focus = nullptr;
  while (m_props) {
    WindowPropRec* n = m_props->next;
    freeProp(m_props);
    m_props = n;
  }
  releaseChildren(this);
  HWND__::releaseWidgets();
}

LRESULT HWND__::handleMessage(UINT, WPARAM, LPARAM) { return 0; }

const char* HWND__::getText() { return m_titlestr; }

void HWND__::setText(const char* text) { copyBounded(m_titlestr, text, sizeof(m_titlestr)); }

void HWND__::releaseWidgets() {
  winx_internal::releaseViewGL(this);
  if (drawingArea) g_signal_handlers_disconnect_by_data(drawingArea, this);
  if (widget) g_signal_handlers_disconnect_by_data(widget, this);
  if (toplevel) {
    g_signal_handlers_disconnect_by_data(toplevel, this);
    gtk_widget_destroy(toplevel);
    g_object_unref(toplevel);
    toplevel = nullptr;
  }
  if (widget) {
    gtk_widget_destroy(widget);
    g_object_unref(widget);
    widget = nullptr;
  }
  if (drawingArea) {
    g_object_unref(drawingArea);
    drawingArea = nullptr;
  }
  container = nullptr;
}

LRESULT WinxGtkWindowView::handleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  return m_wndproc ? m_wndproc(this, msg, wParam, lParam) : 0;
}

// ---------------------------------------------------------------------------------------------
// Registry

namespace winx_internal {
std::vector<HWND__*> topLevelWindows() {
  std::vector<HWND__*> v(topLevels().rbegin(), topLevels().rend());
  return v;
}
void detachTopLevel(HWND__* w) {
  auto& t = topLevels();
  auto it = std::find(t.begin(), t.end(), w);
  if (it != t.end()) {
    t.erase(it);
    WINX_ReleaseWindow(w);
  }
}
}  // namespace winx_internal

HWND__* WINX_ValidWindow(HWND hwnd) {
  if (reinterpret_cast<uintptr_t>(hwnd) < 5) return nullptr;
  Registry& r = registry();
  std::lock_guard<std::mutex> l(r.lock);
  return r.live.count(hwnd) ? hwnd : nullptr;
}

bool WINX_IsValidWindow(HWND hwnd, uint64_t serial) {
  if (reinterpret_cast<uintptr_t>(hwnd) < 5) return false;
  Registry& r = registry();
  std::lock_guard<std::mutex> l(r.lock);
  auto it = r.live.find(hwnd);
  return it != r.live.end() && it->second == serial;
}

bool WINX_PostableWindow(HWND hwnd, uint64_t* serial) {
  if (reinterpret_cast<uintptr_t>(hwnd) < 5) return false;
  Registry& r = registry();
  // A registered record is not freed while the lock is held (its destructor unregisters first).
  std::lock_guard<std::mutex> l(r.lock);
  auto it = r.live.find(hwnd);
  if (it == r.live.end() || hwnd->m_hashaddestroy.load() != 0) return false;
  *serial = it->second;
  return true;
}

void WINX_RetainWindow(HWND__* w) {
  if (w) ++w->refCount;
}

void WINX_ReleaseWindow(HWND__* w) {
  if (w && --w->refCount == 0) delete w;
}

int WINX_LiveWindowCount() {
  Registry& r = registry();
  std::lock_guard<std::mutex> l(r.lock);
  return static_cast<int>(r.live.size());
}

// ---------------------------------------------------------------------------------------------
// Creation and destruction

bool WINX_AttachChild(HWND parent, HWND__* child) {
  if (!child) return false;
  HWND__* p = nullptr;
  if (parent) {
    p = WINX_ValidWindow(parent);
    if (!p || p->m_hashaddestroy.load() != 0) {  // a dying parent would never destroy it
      WINX_ReleaseWindow(child);
      return false;
    }
  }
  WINX_Internal_PostMessage_Init();
  registerWindow(child);
  if (p) {
    child->parent = p;
    p->children.push_back(child);
    winx_internal::placeWidget(child);
    winx_internal::updateVisibility(child);
    p->m_isdirty |= 2;
    for (HWND__* a = p->parent; a && !(a->m_isdirty & 2); a = a->parent)
      if (a->isWindowView()) a->m_isdirty |= 2;
  } else {
    topLevels().push_back(child);
  }
  return true;
}

HWND WINX_CreateWindowView(const WINX_DialogResourceIndex* res, HWND parent, DLGPROC proc, LPARAM param) {
  if (parent && !WINX_ValidWindow(parent)) return nullptr;
  WinxGtkWindowView* v = new WinxGtkWindowView;
  v->frame = res ? RECT{0, 0, res->width, res->height} : RECT{0, 0, 300, 200};
  v->m_wndproc = WinxDialogDefaultWindowProc;
  if (res) {
    v->m_isopaque = (res->flags & 0x10) ? 1 : 0;
    v->m_flip = (res->flags & 0x4) ? 1 : 0;
    v->m_supports_ddrop = (res->flags & 0x20) != 0;
  }
  v->hidden = true;
  if (winx_internal::gtkAvailable()) winx_internal::createViewWidgets(v);
  if (!WINX_AttachChild(parent, v)) return nullptr;
  WINX_RetainWindow(v);  // the creation call's own hold: a WM_CREATE handler may destroy it
  if (!res) {
    if (proc) v->m_wndproc = proc;
    WINX_DeliverMessage(v, WM_CREATE, 0, param);
  } else {
    if (res->creator) res->creator(v, res->flags);
    v->m_dlgproc = proc;
    if (v->m_supports_ddrop) WINX_DragDrop_EnableDropTarget(v);
    if (proc && v->m_hashaddestroy.load() == 0) {
      HWND__* cand = firstFocusable(v);
      LRESULT r = proc(v, WM_INITDIALOG, reinterpret_cast<WPARAM>(cand), param);
      if (r) {
        if (r == WINX_INITDIALOG_FOCUS_SELF) cand = v;
        if (cand && GetFocus() != cand) SetFocus(cand);
      } else if (cand && (!s_focus || s_focus == v)) {
        SetFocus(cand);
      }
      WINX_DoDialogColorUpdates(v, v->m_dlgproc, false);
    }
  }
  const bool alive = v->m_hashaddestroy.load() == 0;
  WINX_ReleaseWindow(v);
  return alive ? v : nullptr;
}

void DestroyWindow(HWND hwnd) {
  HWND__* w = WINX_ValidWindow(hwnd);
  if (!w) return;
  WINX_RetainWindow(w);
  winx_internal::killAllTimers(w);
  if (s_focus && (s_focus == w || IsChild(w, s_focus))) {
    HWND__* p = w->parent;
    s_focus = nullptr;
    if (p && p->m_hashaddestroy.load() == 0) SetFocus(p);
  }
  WINX_DeliverMessage(w, WM_DESTROY, 0, 0);
  detachFromParent(w);
  teardownTree(w);
  releaseChildren(w);
  WINX_ReleaseWindow(w);
}

int IsWindow(HWND hwnd) { return WINX_ValidWindow(hwnd) ? 1 : 0; }

// ---------------------------------------------------------------------------------------------
// Messages

LRESULT WINX_DeliverMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  HWND__* w = WINX_ValidWindow(hwnd);
  if (!w) return 0;
  const uint8_t state = w->m_hashaddestroy.load();
  if (state == 2) return 0;
  if (state == 1 && (msg == WM_DESTROY || msg == WM_CAPTURECHANGED)) return 0;
  WINX_RetainWindow(w);
  LRESULT result;
  if (msg == WM_DESTROY) {
    w->m_hashaddestroy.store(1);
    winx_internal::dropCaptureIfHeld(w);
    winx_internal::clearPosted(w);
    result = w->handleMessage(WM_DESTROY, 0, 0);
    winx_internal::dropCaptureIfHeld(w);
    winx_internal::clearPosted(w);
    if (HMENU menu = w->m_menu) {
      w->m_menu = nullptr;  // cleared first: the hooks may run window code
      if (s_menuHook) s_menuHook(menu, nullptr);
      if (s_menuReleaseHook) s_menuReleaseHook(menu);
    }
    std::vector<HWND__*> kids = w->children;
    for (HWND__* k : kids) WINX_RetainWindow(k);
    for (HWND__* k : kids) {
      WINX_DeliverMessage(k, WM_DESTROY, 0, 0);
      WINX_ReleaseWindow(k);
    }
    winx_internal::killAllTimers(w);
    if (s_focus == w) s_focus = nullptr;
    w->m_hashaddestroy.store(2);
    unregisterWindow(w);
  } else {
    result = w->handleMessage(msg, wParam, lParam);
  }
  WINX_ReleaseWindow(w);
  return result;
}

LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return WINX_DeliverMessage(hwnd, msg, wParam, lParam);
}

LRESULT WINX_SendCommand(HWND control, int code) {
  HWND__* c = WINX_ValidWindow(control);
  if (!c || !c->parent) return 0;
  WPARAM wp = (static_cast<WPARAM>(static_cast<uint16_t>(code)) << 16) | static_cast<uint16_t>(c->m_tag);
  return WINX_DeliverMessage(c->parent, WM_COMMAND, wp, reinterpret_cast<LPARAM>(c));
}

void WINX_SetDialogColorHook(void (*hook)(HWND, DLGPROC, bool)) { s_dialogColorHook = hook; }
void WINX_SetMenuHook(void (*hook)(HMENU, HWND)) { s_menuHook = hook; }
void WINX_SetMenuReleaseHook(void (*hook)(HMENU)) { s_menuReleaseHook = hook; }

void WINX_DoDialogColorUpdates(HWND hwnd, DLGPROC proc, bool isUpdate) {
  if (s_dialogColorHook && WINX_ValidWindow(hwnd)) s_dialogColorHook(hwnd, proc, isUpdate);
}

LRESULT WinxDialogDefaultWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  HWND__* w = WINX_ValidWindow(hwnd);
  DLGPROC dlg = w ? w->m_dlgproc : nullptr;
  if (!dlg) return DefWindowProc(hwnd, msg, wParam, lParam);
  auto passOn = [&]() -> LRESULT {
    LRESULT r = dlg(hwnd, msg, wParam, lParam);
    return r ? r : DefWindowProc(hwnd, msg, wParam, lParam);
  };
  if (msg != WM_PAINT) return passOn();
  if (dlg(hwnd, WM_ERASEBKGND, 0, 0)) return passOn();
  HWND__* top = w;
  while (top->parent) top = top->parent;
  const bool fill = w->m_isopaque || top->m_isopaque;
  if (w->parent && !fill) return passOn();
  PAINTSTRUCT ps;
  if (!BeginPaint(hwnd, &ps)) return passOn();
  if (ps.rcPaint.right > ps.rcPaint.left && ps.rcPaint.bottom > ps.rcPaint.top) {
    LRESULT b = dlg(hwnd, WM_CTLCOLORDLG, reinterpret_cast<WPARAM>(ps.hdc), reinterpret_cast<LPARAM>(hwnd));
    if (b != 0 && b != 1)
      WINX_FillRect(ps.hdc, &ps.rcPaint, reinterpret_cast<HBRUSH>(b));
    else if (fill)
      WINX_FillDialogBackground(ps.hdc, &ps.rcPaint, 3);
  }
  EndPaint(hwnd, &ps);
  return passOn();
}

// ---------------------------------------------------------------------------------------------
// Accessors and properties

int64_t WINX_GetExtraData(HWND hwnd, int offset) {
  HWND__* w = WINX_ValidWindow(hwnd);
  int slot = offset >> 3;
  return (w && slot >= 0 && slot < 32) ? w->m_extradata[slot] : 0;
}

void WINX_SetExtraData(HWND hwnd, int offset, int64_t value) {
  HWND__* w = WINX_ValidWindow(hwnd);
  int slot = offset >> 3;
  if (w && slot >= 0 && slot < 32) w->m_extradata[slot] = value;
}

void WINX_SetWindowText(HWND hwnd, const char* text) {
  if (HWND__* w = WINX_ValidWindow(hwnd)) w->setText(text);
}

void WINX_SetMenu(HWND hwnd, HMENU menu) {
  HWND__* w = WINX_ValidWindow(hwnd);
  if (!w) return;
  if (w->m_menu && s_menuHook) s_menuHook(w->m_menu, nullptr);
  w->m_menu = menu;
  if (menu && s_menuHook) s_menuHook(menu, w);
}

HMENU WINX_GetMenu(HWND hwnd) {
  HWND__* w = WINX_ValidWindow(hwnd);
  return w ? w->m_menu : nullptr;
}

void WINX_SetExtendedStyle(HWND hwnd, int style) {
  HWND__* w = WINX_ValidWindow(hwnd);
  if (!w) return;
  w->m_supports_ddrop = (style & 0x10) != 0;
  // Once a drop target, a view stays one for GTK; the drop handlers refuse drags while the
  // flag is clear, so clearing it needs nothing more.
  if (w->m_supports_ddrop) WINX_DragDrop_EnableDropTarget(w);
}

int WINX_GetExtendedStyle(HWND hwnd) {
  HWND__* w = WINX_ValidWindow(hwnd);
  return (w && w->m_supports_ddrop) ? 0x10 : 0;
}

bool WINX_SetProp(HWND hwnd, const char* name, void* data) {
  HWND__* w = WINX_ValidWindow(hwnd);
  if (!w || !name) return false;
  for (WindowPropRec* p = w->m_props; p; p = p->next)
    if (propNameMatches(p->name, name)) {
      p->data = data;
      return true;
    }
  const char* copy = name;
  if (!isAtom(name)) {
    copy = strdup(name);
    if (!copy) return false;
  }
  w->m_props = new WindowPropRec{copy, data, w->m_props};
  return true;
}

void* WINX_GetProp(HWND hwnd, const char* name, bool remove) {
  HWND__* w = WINX_ValidWindow(hwnd);
  if (!w || !name) return nullptr;
  for (WindowPropRec** pp = &w->m_props; *pp; pp = &(*pp)->next) {
    WindowPropRec* p = *pp;
    if (!propNameMatches(p->name, name)) continue;
    void* data = p->data;
    if (remove) {
      *pp = p->next;
      freeProp(p);
    }
    return data;
  }
  return nullptr;
}

int WINX_EnumProps(HWND hwnd, PROPENUMPROCEX proc, LPARAM lParam) {
  HWND__* w = WINX_ValidWindow(hwnd);
  if (!w || !w->m_props) return -1;
  if (!proc) return 1;
  for (WindowPropRec* p = w->m_props; p;) {
    WindowPropRec* next = p->next;  // the callback may remove the entry it is shown
    if (!(proc(w, p->name, p->data, lParam) & 0xff)) return 0;
    p = next;
  }
  return 1;
}

// ---------------------------------------------------------------------------------------------
// Window queries

void WINX_NoteFocus(HWND hwnd) {
  if (HWND__* w = WINX_ValidWindow(hwnd)) s_focus = w;
}

HWND GetFocus() { return WINX_ValidWindow(s_focus); }

HWND GetParent(HWND hwnd) {
  HWND__* w = WINX_ValidWindow(hwnd);
  if (!w) return nullptr;
  if (w->parent) return w->parent;
  return WINX_ValidWindow(w->owner);
}

HWND GetDlgItem(HWND hwnd, int id) {
  HWND__* w = WINX_ValidWindow(hwnd);
  if (!w) return nullptr;
  if (id == 0) return w;
  for (HWND__* c : w->children)
    if (c->m_tag == id) return c;
  return nullptr;
}

int64_t GetWindowLong(HWND hwnd, int index) {
  HWND__* w = WINX_ValidWindow(hwnd);
  if (!w) return 0;
  switch (index) {
    case GWL_USERDATA: return w->m_userdata;
    case GWL_EXSTYLE: return WINX_GetExtendedStyle(w);
    case GWL_STYLE: {
      if (w->m_hasStyle) return static_cast<int32_t>(w->m_style);
      int64_t s = 0;
      if (w->parent) s |= WS_CHILD;
      if (w->toplevel && gtk_window_get_decorated(GTK_WINDOW(w->toplevel))) {
        s |= WS_CAPTION;
        if (gtk_window_get_resizable(GTK_WINDOW(w->toplevel))) s |= WS_THICKFRAME;
      }
      return s;
    }
    case GWL_ID: return w->m_tag;
    case DWL_DLGPROC: return reinterpret_cast<int64_t>(w->m_dlgproc);
    case GWL_WNDPROC: return reinterpret_cast<int64_t>(w->m_wndproc);
    default: return WINX_GetExtraData(w, index);
  }
}

int64_t SetWindowLong(HWND hwnd, int index, int64_t value) {
  HWND__* w = WINX_ValidWindow(hwnd);
  if (!w) return 0;
  int64_t old = GetWindowLong(w, index);
  switch (index) {
    case GWL_USERDATA: w->m_userdata = value; break;
    case GWL_EXSTYLE: WINX_SetExtendedStyle(w, static_cast<int>(value)); break;
    case GWL_STYLE:
      if (w->toplevel) {
        // A top-level window's caption and sizing frame change in place: GTK can redecorate a
        // window, so there is no new window to build around the view.
        const int64_t frameBits = WS_CAPTION | WS_THICKFRAME;
        if ((old & frameBits) != (value & frameBits)) {
          GtkWindow* win = GTK_WINDOW(w->toplevel);
          gtk_window_set_decorated(win, (value & WS_CAPTION) != 0);
          gtk_window_set_resizable(win, (value & frameBits) == frameBits);
        }
        return 0;
      }
      if (!w->parent) return 0;  // a parentless view without a window has no frame to change
      w->setStyle(static_cast<int32_t>(value));
      break;
    case GWL_ID: w->m_tag = static_cast<int>(value); break;
    case DWL_DLGPROC: w->m_dlgproc = reinterpret_cast<DLGPROC>(value); break;
    case GWL_WNDPROC: w->m_wndproc = reinterpret_cast<WNDPROC>(value); break;
    default: WINX_SetExtraData(w, index, value); break;
  }
  return old;
}

bool IsWindowVisible(HWND hwnd) {
  HWND__* w = WINX_ValidWindow(hwnd);
  if (!w) return false;
  for (HWND__* a = w; a; a = a->parent) {
    if (a->hidden) return false;
    if (!a->parent && a->toplevel && !gtk_widget_get_visible(a->toplevel)) return false;
  }
  return true;
}

int GetDlgItemText(HWND hwnd, int id, char* buf, int size) {
  if (buf && size >= 1) buf[0] = 0;
  HWND__* t = id ? GetDlgItem(hwnd, id) : WINX_ValidWindow(hwnd);
  if (!t) return 0;
  copyBounded(buf, t->getText(), size);
  return 1;
}

int SetDlgItemText(HWND hwnd, int id, const char* text) {
  HWND__* t = id ? GetDlgItem(hwnd, id) : WINX_ValidWindow(hwnd);
  if (!t) return 0;
  t->setText(text);
  if (t->toplevel) gtk_window_set_title(GTK_WINDOW(t->toplevel), t->getText());
  return 1;
}

void ShowWindow(HWND hwnd, int command) {
  HWND__* w = WINX_ValidWindow(hwnd);
  if (!w) return;
  if (command == SW_SHOWNA || command == SW_SHOW) {
    if (w->hidden) {
      w->hidden = false;
      winx_internal::updateVisibility(w);
      WINX_DeliverMessage(w, WM_SHOWWINDOW, 1, 0);
    }
  } else if (command == SW_HIDE) {
    if (s_focus && (s_focus == w || IsChild(w, s_focus)) && w->parent) SetFocus(w->parent);
    if (!w->hidden) {
      if (w->parent) InvalidateRect(w->parent, &w->frame, 0);
      w->hidden = true;
      winx_internal::updateVisibility(w);
      WINX_DeliverMessage(w, WM_SHOWWINDOW, 0, 0);
    }
  } else if (command != SW_SHOWMINIMIZED) {
    return;
  }
  if (w->toplevel) {
    GtkWindow* win = GTK_WINDOW(w->toplevel);
    if (command == SW_HIDE)
      gtk_widget_hide(w->toplevel);
    else if (command == SW_SHOWNA)
      gtk_widget_show(w->toplevel);
    else if (command == SW_SHOW)
      gtk_window_present(win);
    else
      gtk_window_iconify(win);
  }
}

void CenterWindow(HWND hwnd) {
  HWND__* w = WINX_ValidWindow(hwnd);
  while (w && w->parent) w = w->parent;
  if (!w || w->parent) return;
  RECT screen;
  WINX_GetViewPort(&screen, nullptr, true);
  const int width = w->frame.right - w->frame.left, height = w->frame.bottom - w->frame.top;
  const int x = screen.left + (screen.right - screen.left - width) / 2;
  const int y = screen.top + (screen.bottom - screen.top - height) / 2;
  SetWindowPos(w, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}
