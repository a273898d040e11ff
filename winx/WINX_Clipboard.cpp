// Clipboard, drop blocks, properties, metrics, scrolling and shell.
#include "WINX_Clipboard.h"

#include <gtk/gtk.h>
#include <strings.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "WINX_Controls.h"
#include "WINX_CtlText.h"
#include "WINX_Memory.h"

namespace {

const char* const kTextFormat = "WINX__CF_TEXT";

struct ClipboardState {
  std::vector<std::string> formats;                 // id = position + 1
  std::vector<unsigned> curFormats;                 // found on the private board at open
  std::vector<void*> handedOut;                     // freed by CloseClipboard
  std::vector<std::pair<unsigned, void*>> pending;  // owned handles
  std::map<std::string, std::string> privateBoard;  // "WINX_APP": type -> bytes
  std::string generalText;                          // the desktop clipboard without a display
  bool hasGeneralText = false;
};
ClipboardState& clip() {
  static ClipboardState s;
  return s;
}

void freePending() {
  for (auto& p : clip().pending) GlobalFree(p.second);
  clip().pending.clear();
}

const std::string* formatName(unsigned id) {
  return id >= 1 && id <= clip().formats.size() ? &clip().formats[id - 1] : nullptr;
}

bool haveGtk() { return winx_internal::gtkAvailable(); }

void* newHandle(const void* bytes, size_t n, bool addNul) {
  void* h = GlobalAlloc(0, (int)(n + (addNul ? 1 : 0)));
  if (!h) return nullptr;
  char* p = (char*)GlobalLock(h);
  if (n) memcpy(p, bytes, n);
  if (addNul) p[n] = 0;
  GlobalUnlock(h);
  return h;
}

}  // namespace

unsigned int RegisterClipboardFormat(const char* name) {
  if (!name || !*name) return 0;
  auto& f = clip().formats;
  auto it = std::find(f.begin(), f.end(), std::string(name));
  if (it != f.end()) return (unsigned)(it - f.begin()) + 1;
  f.push_back(name);
  return (unsigned)f.size();
}

bool OpenClipboard(HWND) {
  freePending();
  RegisterClipboardFormat(kTextFormat);
  ClipboardState& c = clip();
  c.curFormats.clear();
  for (const auto& kv : c.privateBoard) {
    auto it = std::find(c.formats.begin(), c.formats.end(), kv.first);
    if (it == c.formats.end()) continue;
    unsigned id = (unsigned)(it - c.formats.begin()) + 1;
    if (std::find(c.curFormats.begin(), c.curFormats.end(), id) == c.curFormats.end()) c.curFormats.push_back(id);
  }
  return true;
}

bool EmptyClipboard() {
  freePending();
  return true;
}

unsigned int EnumClipboardFormats(unsigned int format) {
  const auto& cur = clip().curFormats;
  if (format == 0) return cur.empty() ? 0 : cur[0];
  for (int i = (int)cur.size() - 2; i >= 0; --i)
    if (cur[i] == format) return cur[i + 1];
  return 0;
}

void* GetClipboardData(unsigned int format) {
  const std::string* name = formatName(format);
  if (!name) return nullptr;
  void* h = nullptr;
  ClipboardState& c = clip();
  if (*name == kTextFormat) {
    if (haveGtk()) {
      gchar* t = gtk_clipboard_wait_for_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD));
      if (t) {
        std::string s = WINX_SanitizeUTF8(t);
        g_free(t);
        h = newHandle(s.data(), s.size(), true);
      }
    } else if (c.hasGeneralText) {
      h = newHandle(c.generalText.data(), c.generalText.size(), true);
    }
  } else {
    auto it = c.privateBoard.find(*name);
    if (it != c.privateBoard.end()) h = newHandle(it->second.data(), it->second.size(), false);
  }
  if (h) c.handedOut.push_back(h);
  return h;
}

void SetClipboardData(unsigned int format, void* handle) {
  if (!handle) return;
  clip().pending.emplace_back(format, handle);
}

void CloseClipboard() {
  ClipboardState& c = clip();
  for (void* h : c.handedOut) GlobalFree(h);
  c.handedOut.clear();
  if (c.pending.empty()) return;
  // Text goes to the desktop clipboard and every other format to the private board. (Putting
  // the private formats on the desktop clipboard whenever text was set too would leave stale
  // data on the private board, which is where GetClipboardData reads them.)
  bool replacedPrivate = false;
  for (auto& p : c.pending) {
    const std::string* name = formatName(p.first);
    if (!name) continue;
    const char* bytes = (const char*)GlobalLock(p.second);
    const int n = std::max(GlobalSize(p.second), 0);
    if (*name == kTextFormat) {
      std::string text = WINX_SanitizeUTF8(std::string(bytes, strnlen(bytes, (size_t)n)).c_str());
      if (haveGtk()) {
        gtk_clipboard_set_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), text.c_str(), (gint)text.size());
      } else {
        c.generalText = text;
        c.hasGeneralText = true;
      }
    } else {
      if (!replacedPrivate) {
        c.privateBoard.clear();  // a new set of data replaces the board's old types
        replacedPrivate = true;
      }
      c.privateBoard[*name] = std::string(bytes, (size_t)n);
    }
    GlobalUnlock(p.second);
  }
  freePending();
}

// ---- drop blocks ----------------------------------------------------------------------------

namespace {

// The names of a drop block, read within the block's size.
std::vector<std::string> dropNames(HDROP drop) {
  std::vector<std::string> out;
  const char* b = (const char*)drop;
  const int size = GlobalSize(drop);
  if (size < 17) return out;
  uint32_t off;
  memcpy(&off, b, 4);
  if (off < 16 || (int)off >= size) return out;
  size_t pos = off;
  while (pos < (size_t)size && b[pos]) {
    size_t n = strnlen(b + pos, (size_t)size - pos);
    out.emplace_back(b + pos, n);
    pos += n + 1;
  }
  return out;
}

}  // namespace

HDROP WINX_MakeDropBlock(const char* const* names, int count, POINT pt) {
  std::string list;
  for (int i = 0; i < count; ++i) {
    if (!names[i] || !names[i][0]) continue;
    list.append(names[i], strnlen(names[i], 4095));
    list.push_back('\0');
  }
  list.push_back('\0');
  void* h = GlobalAlloc(0, (int)(16 + list.size()));
  if (!h) return nullptr;
  char* b = (char*)GlobalLock(h);
  const uint32_t off = 16, nc = 0;
  memcpy(b, &off, 4);
  memcpy(b + 4, &pt.x, 4);
  memcpy(b + 8, &pt.y, 4);
  memcpy(b + 12, &nc, 4);
  memcpy(b + 16, list.data(), list.size());
  GlobalUnlock(h);
  return h;
}

int DragQueryPoint(HDROP drop, POINT* pt) {
  if (!drop || GlobalSize(drop) < 16) return 0;
  const char* b = (const char*)drop;
  uint32_t nc;
  if (pt) {
    memcpy(&pt->x, b + 4, 4);
    memcpy(&pt->y, b + 8, 4);
  }
  memcpy(&nc, b + 12, 4);
  return nc == 0;
}

int DragQueryFile(HDROP drop, unsigned int index, char* buf, int size) {
  if (!drop) return 0;
  std::vector<std::string> names = dropNames(drop);
  if (index == 0xFFFFFFFFu) return (int)names.size();
  if (index >= names.size()) return 0;
  const std::string& n = names[index];
  if (!buf) return (int)n.size();
  if (size <= 0) return 0;
  return WINX_CopyTextBounded(buf, size, n.c_str());
}

void DragFinish(HDROP) {}

// ---- properties, metrics, scrolling, shell --------------------------------------------------

int SetProp(HWND hwnd, const char* name, void* data) {
  HWND__* w = WINX_ValidWindow(hwnd);
  return w && w->isWindowView() && WINX_SetProp(w, name, data) ? 1 : 0;
}

void* GetProp(HWND hwnd, const char* name) {
  HWND__* w = WINX_ValidWindow(hwnd);
  return w && w->isWindowView() ? WINX_GetProp(w, name, false) : nullptr;
}

void* RemoveProp(HWND hwnd, const char* name) {
  HWND__* w = WINX_ValidWindow(hwnd);
  return w && w->isWindowView() ? WINX_GetProp(w, name, true) : nullptr;
}

int EnumPropsEx(HWND hwnd, PROPENUMPROCEX proc, LPARAM lParam) {
  HWND__* w = WINX_ValidWindow(hwnd);
  return w && w->isWindowView() ? WINX_EnumProps(w, proc, lParam) : -1;
}

int GetSystemMetrics(int index) {
  switch (index) {
    case SM_CXSCREEN:
    case SM_CYSCREEN: {
      if (!haveGtk()) return 1024;
      GdkDisplay* d = gdk_display_get_default();
      GdkMonitor* m = d ? gdk_display_get_primary_monitor(d) : nullptr;
      if (!m && d && gdk_display_get_n_monitors(d) > 0) m = gdk_display_get_monitor(d, 0);
      if (!m) return 1024;
      GdkRectangle r;
      gdk_monitor_get_geometry(m, &r);
      return index == SM_CXSCREEN ? r.width : r.height;
    }
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
    case SM_CYVSCROLL:
    case SM_CXHSCROLL:
      return 16;
    default:
      return 0;
  }
}

int ScrollWindow(HWND hwnd, int dx, int dy, const RECT*, const RECT*) {
  HWND__* w = WINX_ValidWindow(hwnd);
  if (!w || (!dx && !dy)) return 0;
  std::vector<HWND__*> kids = w->children;
  for (HWND__* k : kids) {
    if (!WINX_ValidWindow(k)) continue;
    SetWindowPos(k, nullptr, k->frame.left + dx, k->frame.top + dy, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  }
  InvalidateRect(w, nullptr, 0);
  return 1;
}

int ShellExecute(HWND, const char*, const char* file, const char* params, const char*, int) {
  std::string f = file ? file : "", p = params ? params : "";
  if (!strncasecmp(f.c_str(), "http://", 7) || !strncasecmp(f.c_str(), "https://", 8))
    return g_app_info_launch_default_for_uri(f.c_str(), nullptr, nullptr) ? 1 : 0;
  if (!strcasecmp(f.c_str(), "explorer.exe")) f.clear();
  if (!strcasecmp(f.c_str(), "notepad.exe") || !strcasecmp(f.c_str(), "notepad")) f = "xdg-open";
  if (!strcasecmp(p.c_str(), "explorer.exe")) p.clear();
  if (!f.empty() && !p.empty()) {
    // An application (f) opens a document (p).
    const char* argv[] = {f.c_str(), p.c_str(), nullptr};
    return g_spawn_async(nullptr, (gchar**)argv, nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, nullptr, nullptr) ? 1 : 0;
  }
  const std::string& target = !f.empty() ? f : p;
  if (target.empty()) return 0;
  gchar* uri = g_filename_to_uri(target.c_str(), nullptr, nullptr);
  if (!uri) return 0;
  gboolean ok = g_app_info_launch_default_for_uri(uri, nullptr, nullptr);
  g_free(uri);
  return ok ? 1 : 0;
}

// ---- finding windows and the focus overlay --------------------------------------------------

namespace {

bool isTextField(HWND__* w) { return w && w->classTag == WINX_CLASS_TEXTFIELD; }

}  // namespace

HWND FindWindowEx(HWND parent, HWND after, const char* className, const char* windowName) {
  const bool isStatic = className && !strcasecmp(className, "Static");
  if (!parent) {
    if (!windowName) return nullptr;
    std::vector<HWND__*> tops = winx_internal::topLevelWindows();
    size_t i = 0;
    if (HWND__* a = WINX_ValidWindow(after)) {
      auto f = std::find(tops.begin(), tops.end(), a);
      i = f == tops.end() ? tops.size() : (size_t)(f - tops.begin()) + 1;
    }
    for (; i < tops.size(); ++i) {
      if (!WINX_ValidWindow(tops[i])) continue;
      char title[1024];
      GetDlgItemText(tops[i], 0, title, sizeof(title));
      if (!strcmp(title, windowName)) return tops[i];
    }
    return nullptr;
  }
  HWND__* p = WINX_ValidWindow(parent);
  if (!p) return nullptr;
  HWND cand = WINX_ValidWindow(after) ? GetWindow(after, GW_HWNDNEXT)
                                      : (p->children.empty() ? nullptr : p->children.front());
  for (; cand; cand = GetWindow(cand, GW_HWNDNEXT)) {
    HWND__* c = WINX_ValidWindow(cand);
    if (!c) break;
    if (!windowName) {
      if (!isStatic || isTextField(c)) return c;
      continue;
    }
    char text[513];
    GetDlgItemText(c, 0, text, sizeof(text));
    if (!strcmp(text, windowName) && (!isStatic || isTextField(c))) return c;
  }
  return nullptr;
}

void WINX_DrawFocusRect(HWND hwnd, const RECT* r, void** overlay) {
  if (!overlay) return;
  GtkWidget* ov = (GtkWidget*)*overlay;
  if (!r) {
    if (ov) {
      gtk_widget_destroy(ov);
      g_object_unref(ov);
      *overlay = nullptr;
    }
    return;
  }
  if (!haveGtk()) return;
  POINT a = {r->left, std::min(r->top, r->bottom)}, b = {r->right, std::max(r->top, r->bottom)};
  if (hwnd) {
    if (!WINX_ValidWindow(hwnd)) return;
    ClientToScreen(hwnd, &a);
    ClientToScreen(hwnd, &b);
  }
  if (!ov) {
    ov = gtk_window_new(GTK_WINDOW_POPUP);
    g_object_ref_sink(ov);
    gtk_widget_set_app_paintable(ov, TRUE);
    g_signal_connect(ov, "draw", G_CALLBACK(+[](GtkWidget*, cairo_t* cr, gpointer) -> gboolean {
      cairo_set_source_rgb(cr, 0.5, 0.5, 0.5);
      cairo_paint(cr);
      return TRUE;
    }), nullptr);
    gtk_widget_set_opacity(ov, 0.5);
    gtk_widget_set_sensitive(ov, FALSE);
    *overlay = ov;
  }
  gtk_window_move(GTK_WINDOW(ov), a.x, a.y);
  gtk_window_resize(GTK_WINDOW(ov), std::max(1, b.x - a.x), std::max(1, b.y - a.y));
  gtk_widget_show(ov);
}
