// Modal dialogs (WINX_DialogBox / EndDialog), modeless windows and child dialogs.
#include "WINX_Dialog.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <map>
#include <utility>
#include <vector>

#include "WINX_Controls.h"

namespace {

// State of a modal dialog box, keyed by its view's serial (never reused).
struct DialogBoxState {
  bool hasResult = false;
  int result = 0;
  WINX_ModalSession* session = nullptr;
};
std::map<uint64_t, DialogBoxState>& dialogBoxes() {
  static std::map<uint64_t, DialogBoxState> m;
  return m;
}

}  // namespace

int WINX_owned_windows_levelincrease = 0;

namespace {

// Dialogs being made by WINX_DialogBox (nesting depth) and results given while they were.
int g_creating = 0;
std::vector<std::pair<uint64_t, int>> g_earlyEnds;

HMENU g_defaultMenu = nullptr;
HMENU g_defaultModalMenu = nullptr;

// The content view of the window that hwnd lies in.
HWND__* topView(HWND hwnd) {
  HWND__* w = WINX_ValidWindow(hwnd);
  while (w && w->parent) w = w->parent;
  return w;
}

// Size limits from WM_GETMINMAXINFO: the minimum tracking size starts at 1 x 1 and the maximum
// at the window's own limit; an answer of 1000000 or more leaves the window's own maximum.
void applySizeLimits(HWND__* v) {
  if (!v->toplevel || !WINX_ValidWindow(v)) return;
  const int kOwnMax = 1000000;
  MINMAXINFO mmi = {};
  mmi.ptMinTrackSize = POINT{1, 1};
  mmi.ptMaxTrackSize = POINT{kOwnMax, kOwnMax};
  WINX_DeliverMessage(v, WM_GETMINMAXINFO, 0, (LPARAM)(intptr_t)&mmi);
  if (!WINX_ValidWindow(v) || !v->toplevel) return;
  GdkGeometry g = {};
  int mask = 0;
  if (mmi.ptMinTrackSize.x > 1 || mmi.ptMinTrackSize.y > 1) {
    g.min_width = std::max(1, mmi.ptMinTrackSize.x);
    g.min_height = std::max(1, mmi.ptMinTrackSize.y);
    mask |= GDK_HINT_MIN_SIZE;
  }
  if (mmi.ptMaxTrackSize.x < kOwnMax || mmi.ptMaxTrackSize.y < kOwnMax) {
    g.max_width = mmi.ptMaxTrackSize.x < kOwnMax ? std::max(1, mmi.ptMaxTrackSize.x) : G_MAXSHORT;
    g.max_height = mmi.ptMaxTrackSize.y < kOwnMax ? std::max(1, mmi.ptMaxTrackSize.y) : G_MAXSHORT;
    mask |= GDK_HINT_MAX_SIZE;
  }
  gtk_window_set_geometry_hints(GTK_WINDOW(v->toplevel), nullptr, mask ? &g : nullptr, (GdkWindowHints)mask);
}

// A window that becomes active makes its menu (else the default menu; for a modal dialog the
// default modal menu first) the current menu.
void onActiveChanged(GObject* win, GParamSpec*, gpointer data) {
  HWND__* v = (HWND__*)data;
  if (!WINX_ValidWindow(v) || !gtk_window_is_active(GTK_WINDOW(win))) return;
  HMENU m = GetMenu(v);
  const bool modal = dialogBoxes().count(v->serial) != 0;
  if (!m && modal) m = WINX_GetDefaultModalWindowMenu();
  if (!m) m = WINX_GetDefaultWindowMenu();
  if (m && m != WINX_GetCurrentMenu()) WINX_SetCurrentMenu(m);
}

void attachWindowBehaviour(HWND__* v) {
  if (!v->toplevel) return;
  g_signal_connect(v->toplevel, "notify::is-active", G_CALLBACK(onActiveChanged), v);
  applySizeLimits(v);
}

// Top-left corner for a new window: 50 right of and 100 below the anchor's top-left corner.
void placeBelowAnchor(HWND__* view, HWND owner) {
  RECT anchor = {0, 0, 0, 0};
  if (!owner || !GetWindowRect(owner, &anchor)) WINX_GetViewPort(&anchor, nullptr, true);
  SetWindowPos(view, nullptr, anchor.left + 50, anchor.top + 100, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

HWND makeModeless(const WINX_DialogResourceIndex* res, HWND parent, DLGPROC proc, LPARAM param, unsigned mask) {
  HWND v = WINX_CreateWindowView(res, nullptr, proc, param);
  if (!v) return nullptr;
  HWND__* w = WINX_ValidWindow(v);
  if (!w) return nullptr;  // destroyed by its own creation handler
  if (!res) w->frame = RECT{w->frame.left, w->frame.top, w->frame.left + 10, w->frame.top + 10};
  w->m_create_windowflags = mask;
  if (!WINX_MakeTopLevel(v, WINX_ValidWindow(parent), mask)) {
    DestroyWindow(v);
    return nullptr;
  }
  attachWindowBehaviour(w);
  placeBelowAnchor(w, WINX_ValidWindow(parent));
  if (res && res->title) SetDlgItemText(v, 0, res->title);
  return v;
}

}  // namespace

int WINX_DialogBox(WINX_DialogResourceEntry* head, const char* id, HWND parent, DLGPROC proc, LPARAM param) {
  const WINX_DialogResourceIndex* res = WINX_FindDialogResource(head, id);
  if (!res || (res->flags & 0x1)) return -1;
  g_creating++;
  HWND v = WINX_CreateWindowView(res, nullptr, proc, param);
  g_creating--;
  HWND__* w = WINX_ValidWindow(v);
  DialogBoxState st;
  if (w) {
    for (const auto& e : g_earlyEnds)
      if (e.first == w->serial) {
        st.hasResult = true;
        st.result = e.second;
      }
  }
  if (g_creating == 0) g_earlyEnds.clear();
  if (!w) return st.hasResult ? st.result : -1;
  const uint64_t key = w->serial;
  dialogBoxes()[key] = st;
  WINX_RetainWindow(w);
  int result = -1;
  if (st.hasResult) {
    result = st.result;  // ended during WM_INITDIALOG: no loop
  } else {
    w->m_create_windowflags = 3 | ((res->flags & 0x2) ? 8 : 0);
    if (WINX_MakeTopLevel(v, WINX_ValidWindow(parent), w->m_create_windowflags)) {
      attachWindowBehaviour(w);
      if (res->title) SetDlgItemText(v, 0, res->title);
      CenterWindow(v);
      ShowWindow(v, SW_SHOW);
      WINX_ModalSession* s = WINX_ModalWindowStart(v);
      dialogBoxes()[key].session = s;
      int code = WINX_ModalWindowRunUntilStopped(s);
      WINX_ModalWindowEnd(s);
      DialogBoxState& after = dialogBoxes()[key];
      after.session = nullptr;
      result = after.hasResult ? after.result : code;
    }
  }
  dialogBoxes().erase(key);
  if (WINX_IsValidWindow(w, key)) DestroyWindow(w);
  WINX_ReleaseWindow(w);
  return result;
}

void EndDialog(HWND hwnd, int result) {
  HWND__* v = topView(hwnd);
  if (!v) return;
  auto& boxes = dialogBoxes();
  auto it = boxes.find(v->serial);
  if (it == boxes.end()) {
    // A dialog ended from its own WM_INITDIALOG is not known yet: WINX_DialogBox picks the
    // result up once the view exists.
    if (g_creating > 0) g_earlyEnds.emplace_back(v->serial, result);
    return;
  }
  it->second.hasResult = true;
  it->second.result = result;
  if (it->second.session) WINX_ModalStop(v, result);
}

bool WINX_DialogHasResult(HWND hwnd, int* result) {
  HWND__* v = topView(hwnd);
  if (!v) return false;
  auto it = dialogBoxes().find(v->serial);
  if (it == dialogBoxes().end() || !it->second.hasResult) return false;
  if (result) *result = it->second.result;
  return true;
}

HWND WINX_CreateDialog(WINX_DialogResourceEntry* head, const char* id, HWND parent, DLGPROC proc, LPARAM param) {
  const uintptr_t n = (uintptr_t)id;
  unsigned mask = 0;
  bool forceTop = false;
  if ((n & ~(uintptr_t)0xF) == 0x400000) {
    mask = (((n & 1) ? 8u : 0u) | ((n & 2) ? 4u : 0u) | ((n & 4) ? 2u : 0u)) ^ 7u;
    forceTop = (n & 0xF) != 0;
    id = nullptr;
  }
  const WINX_DialogResourceIndex* res = WINX_FindDialogResource(head, id);
  if (!res && id) return nullptr;
  HWND__* pv = WINX_ValidWindow(parent);
  if (pv && !pv->isWindowView()) pv = nullptr;  // controls hold no child windows
  if (!res ? (forceTop || !pv) : (!pv || !(res->flags & 0x1)))
    return makeModeless(res, pv, proc, param, res ? (7u | ((res->flags & 0x2) ? 8u : 0u)) : mask);
  HWND v = WINX_CreateWindowView(res, pv, proc, param);
  if (HWND__* w = WINX_ValidWindow(v)) {
    w->m_create_windowflags = 15;
    ShowWindow(v, SW_SHOWNA);
  }
  return v;
}

HWND WINX_CreateModelessFrameForWindow(HWND child, HWND owner, unsigned int styleMask) {
  HWND__* c = WINX_ValidWindow(child);
  if (!c || !c->isWindowView() || c->parent) return nullptr;
  if (!WINX_MakeTopLevel(c, WINX_ValidWindow(owner), styleMask)) return nullptr;
  c->m_create_windowflags = styleMask;
  attachWindowBehaviour(c);
  placeBelowAnchor(c, WINX_ValidWindow(owner));
  return c;
}

HMENU WINX_GetDefaultWindowMenu() { return WINX_IsMenu(g_defaultMenu) ? g_defaultMenu : nullptr; }
void WINX_SetDefaultWindowMenu(HMENU menu) { g_defaultMenu = menu; }
HMENU WINX_GetDefaultModalWindowMenu() { return WINX_IsMenu(g_defaultModalMenu) ? g_defaultModalMenu : nullptr; }
void WINX_SetDefaultModalWindowMenu(HMENU menu) { g_defaultModalMenu = menu; }

// ---- raise amount and default button -------------------------------------------------------

namespace {

const char kRaiseAmtProp[] = "WINX_WantRaiseAmt";
const char kLevelProp[] = "WINX_WindowLevel";

// The content view of a modeless window (not a modal dialog box) that hwnd lies in, or null.
HWND__* modelessTop(HWND hwnd) {
  HWND__* v = topView(hwnd);
  return v && dialogBoxes().count(v->serial) == 0 ? v : nullptr;
}

bool appActive() {
  for (HWND__* t : winx_internal::topLevelWindows())
    if (t->toplevel && gtk_window_is_active(GTK_WINDOW(t->toplevel))) return true;
  return false;
}

WinxCtlButton* findDefaultButton(HWND__* w) {
  for (HWND__* c : w->children) {
    if (c->classTag == WINX_CLASS_BUTTON && static_cast<WinxCtlButton*>(c)->m_isDefault)
      return static_cast<WinxCtlButton*>(c);
    if (WinxCtlButton* b = findDefaultButton(c)) return b;
  }
  return nullptr;
}

}  // namespace

int WINX_GetWindowWantRaiseAmt(HWND hwnd) {
  HWND__* v = modelessTop(hwnd);
  return v ? static_cast<int>(reinterpret_cast<intptr_t>(WINX_GetProp(v, kRaiseAmtProp, false))) : 0;
}

void WINX_SetWindowWantRaiseAmt(HWND hwnd, int amount) {
  HWND__* v = modelessTop(hwnd);
  if (!v) return;
  const int old = WINX_GetWindowWantRaiseAmt(v);
  if (old == amount) return;
  WINX_SetProp(v, kRaiseAmtProp, reinterpret_cast<void*>(static_cast<intptr_t>(amount)));
  if (appActive()) {
    const int level = static_cast<int>(reinterpret_cast<intptr_t>(WINX_GetProp(v, kLevelProp, false)));
    WINX_SetWindowLevel(v, level + amount - old);
  }
}

int WINX_GetDefaultButtonID(HWND hwnd, bool onlyIfEnabled) {
  HWND__* top = topView(hwnd);
  WinxCtlButton* b = top ? findDefaultButton(top) : nullptr;
  if (!b || (onlyIfEnabled && !b->m_enabled)) return 0;
  return static_cast<int>(b->m_tag);
}

void WINX_MakeDefaultButton(HWND button) {
  HWND__* b = WINX_ValidWindow(button);
  if (!b || b->classTag != WINX_CLASS_BUTTON) return;
  // One default button per window: the newest takes over.
  HWND__* top = topView(b);
  while (WinxCtlButton* old = findDefaultButton(top)) old->m_isDefault = false;
  static_cast<WinxCtlButton*>(b)->m_isDefault = true;
}
