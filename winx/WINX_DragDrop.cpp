// Drop targets, drag sources and promised files.
#include "WINX_DragDrop.h"

#include <gtk/gtk.h>
#include <sys/stat.h>

#include <cctype>
#include <cstring>

#include "WINX_Clipboard.h"
#include "WINX_Memory.h"
#include "WINX_CtlText.h"
#include "UTIL_String.h"

void (*WINX_DDrop_onDragEnter)(void*, POINT) = nullptr;
void (*WINX_DDrop_onDragOver)(POINT) = nullptr;
void (*WINX_DDrop_onDragLeave)() = nullptr;
const char* (*WINX_DDrop_getDroppedFileTargetPath)(const char*) = nullptr;
int (*WINX_DragDrop_ReplacePrompt)(const char*) = nullptr;

namespace {

std::string s_dragdropsrcfn;
void (*s_dragdropsrccallback)(const char*) = nullptr;
std::vector<std::string> s_dragFiles;  // the file list of a list drag

bool exists(const std::string& p) {
  struct stat st;
  return stat(p.c_str(), &st) == 0;
}

HWND__* acceptingView(HWND hwnd) {
  HWND__* w = WINX_ValidWindow(hwnd);
  return w && w->isWindowView() && w->m_supports_ddrop ? w : nullptr;
}

POINT screenPoint(HWND__* v, int x, int y) {
  POINT p = {x, y};
  ClientToScreen(v, &p);
  return p;
}

std::vector<std::string> filesFromSelection(GtkSelectionData* data) {
  std::vector<std::string> out;
  gchar** uris = gtk_selection_data_get_uris(data);
  for (gchar** u = uris; u && *u; ++u) {
    gchar* f = g_filename_from_uri(*u, nullptr, nullptr);
    if (f) out.emplace_back(f);
    g_free(f);
  }
  g_strfreev(uris);
  return out;
}

// ---- drop target signals ------------------------------------------------------------------------

gboolean onDragMotion(GtkWidget* w, GdkDragContext* ctx, gint x, gint y, guint time, gpointer data) {
  HWND__* v = acceptingView((HWND)data);
  if (!v) return FALSE;
  const bool entered = !g_object_get_data(G_OBJECT(w), "winx-drag-in");
  if (entered) {
    g_object_set_data(G_OBJECT(w), "winx-drag-in", GINT_TO_POINTER(1));
    // The files are not known before the drop on this toolkit: the preview names no files.
    if (WINX_DDrop_onDragEnter) {
      void* block = WINX_DragDrop_DeliverFiles(v, {}, POINT{x, y}, true);
      if (block) {
        WINX_DDrop_onDragEnter(block, screenPoint(v, x, y));
        GlobalFree(block);
      }
    }
  } else if (WINX_DDrop_onDragOver) {
    WINX_DDrop_onDragOver(screenPoint(v, x, y));
  }
  gdk_drag_status(ctx, GDK_ACTION_COPY, time);
  return TRUE;
}

void onDragLeave(GtkWidget* w, GdkDragContext*, guint, gpointer) {
  g_object_set_data(G_OBJECT(w), "winx-drag-in", nullptr);
  if (WINX_DDrop_onDragLeave) WINX_DDrop_onDragLeave();
}

void onDragDataReceived(GtkWidget* w, GdkDragContext* ctx, gint x, gint y, GtkSelectionData* data, guint,
                        guint time, gpointer user) {
  g_object_set_data(G_OBJECT(w), "winx-drag-in", nullptr);
  HWND__* v = acceptingView((HWND)user);
  bool ok = false;
  if (v) {
    if (WINX_DDrop_onDragLeave) WINX_DDrop_onDragLeave();
    ok = WINX_DragDrop_DeliverFiles(v, filesFromSelection(data), POINT{x, y}, false) != nullptr;
  }
  gtk_drag_finish(ctx, ok, FALSE, time);
}

// ---- drag source signals ------------------------------------------------------------------------

void onDragDataGet(GtkWidget*, GdkDragContext*, GtkSelectionData* data, guint, guint, gpointer) {
  std::vector<std::string> files = s_dragFiles;
  if (files.empty() && !s_dragdropsrcfn.empty()) {
    const char* dir = nullptr;
    if (WINX_DDrop_getDroppedFileTargetPath) {
      size_t dot = s_dragdropsrcfn.rfind('.');
      std::string type = dot == std::string::npos ? s_dragdropsrcfn : s_dragdropsrcfn.substr(dot + 1);
      type.resize(std::min<size_t>(type.size(), 255));
      dir = WINX_DDrop_getDroppedFileTargetPath(type.c_str());
    }
    std::string d = dir && *dir ? dir : "/tmp/";
    std::string name = WINX_DoDragDrop(d.c_str());
    if (!name.empty()) files.push_back(d + (d.back() == '/' ? "" : "/") + name);
  }
  std::vector<gchar*> uris;
  for (const std::string& f : files)
    if (gchar* u = g_filename_to_uri(f.c_str(), nullptr, nullptr)) uris.push_back(u);
  uris.push_back(nullptr);
  gtk_selection_data_set_uris(data, uris.data());
  for (gchar* u : uris) g_free(u);
}

void beginDrag(HWND__* v) {
  // A view that is not on screen cannot start a drag; the state stays for WINX_DoDragDrop.
  if (!v->widget || !gtk_widget_get_realized(v->widget)) return;
  GtkTargetList* targets = gtk_target_list_new(nullptr, 0);
  gtk_target_list_add_uri_targets(targets, 0);
  if (!g_object_get_data(G_OBJECT(v->widget), "winx-drag-source")) {
    g_signal_connect(v->widget, "drag-data-get", G_CALLBACK(onDragDataGet), nullptr);
    g_object_set_data(G_OBJECT(v->widget), "winx-drag-source", GINT_TO_POINTER(1));
  }
  GdkEvent* ev = gtk_get_current_event();
  gtk_drag_begin_with_coordinates(v->widget, targets, GDK_ACTION_COPY, 1, ev, -1, -1);
  if (ev) gdk_event_free(ev);
  gtk_target_list_unref(targets);
}

}  // namespace

void* WINX_DragDrop_DeliverFiles(HWND view, const std::vector<std::string>& files, POINT pt, bool preview) {
  HWND__* v = WINX_ValidWindow(view);
  if (!v) return nullptr;
  if (!preview && files.empty()) return nullptr;
  std::vector<const char*> names;
  for (const std::string& f : files) names.push_back(f.c_str());
  HDROP block = WINX_MakeDropBlock(names.data(), (int)names.size(), pt);
  if (!block || preview) return block;
  WINX_DeliverMessage(v, WM_DROPFILES, (WPARAM)(uintptr_t)block, 0);
  GlobalFree(block);
  return (void*)1;
}

bool WINX_DragDrop_EnableDropTarget(HWND view) {
  HWND__* v = acceptingView(view);
  if (!v || !v->widget) return false;
  if (g_object_get_data(G_OBJECT(v->widget), "winx-drop-target")) return true;
  gtk_drag_dest_set(v->widget, GTK_DEST_DEFAULT_DROP, nullptr, 0, GDK_ACTION_COPY);
  gtk_drag_dest_add_uri_targets(v->widget);
  // The view's record is the data; handlers check it is still a live accepting view.
  g_signal_connect(v->widget, "drag-motion", G_CALLBACK(onDragMotion), v);
  g_signal_connect(v->widget, "drag-leave", G_CALLBACK(onDragLeave), v);
  g_signal_connect(v->widget, "drag-data-received", G_CALLBACK(onDragDataReceived), v);
  g_object_set_data(G_OBJECT(v->widget), "winx-drop-target", GINT_TO_POINTER(1));
  return true;
}

void WINX_FinishDragDrop() {
  s_dragdropsrcfn.clear();
  s_dragdropsrccallback = nullptr;
  s_dragFiles.clear();
}

void WINX_InitiateDragDrop(HWND view, const RECT*, const char* srcPath, void (*callback)(const char*)) {
  WINX_FinishDragDrop();
  HWND__* v = WINX_ValidWindow(view);
  if (!v || !v->isWindowView() || !srcPath) return;
  s_dragdropsrcfn = srcPath;
  s_dragdropsrccallback = callback;
  if (winx_internal::gtkAvailable()) beginDrag(v);
}

void WINX_InitiateDragDropOfFileList(HWND view, const RECT*, const char** paths, int count, HICON) {
  WINX_FinishDragDrop();
  HWND__* v = WINX_ValidWindow(view);
  if (!v || !v->isWindowView() || !paths) return;
  for (int i = 0; i < count; ++i)
    if (paths[i]) s_dragFiles.emplace_back(paths[i]);
  if (!s_dragFiles.empty() && winx_internal::gtkAvailable()) beginDrag(v);
}

std::string WINX_DragDrop_KeepBothName(const std::string& path) {
  size_t slash = path.rfind('/');
  size_t dot = path.rfind('.');
  std::string ext = dot != std::string::npos && (slash == std::string::npos || dot > slash) ? path.substr(dot) : "";
  std::string stem = path.substr(0, path.size() - ext.size());
  int digits = 0;
  while (digits < 3 && digits < (int)stem.size() && isdigit((unsigned char)stem[stem.size() - 1 - digits])) ++digits;
  int start = 0;
  const char sep = (int)stem.size() > digits ? stem[stem.size() - 1 - digits] : 0;
  if ((int)stem.size() > digits + 1 && (sep == ' ' || sep == '-' || sep == '_')) {
    start = digits ? atoi(stem.c_str() + stem.size() - digits) : 0;
    stem.resize(stem.size() - digits);
  } else {
    stem += ' ';
  }
  for (int n = start + 1; n < 1000; ++n) {
    UTIL_String cand;
    cand.SetFormatted(4096, "%s%03d%s", stem.c_str(), n, ext.c_str());
    if (!exists(cand.Get())) return cand.Get();
  }
  return std::string();
}

namespace {

// 0 keep both, 1 stop, 2 replace.
int askReplace(const std::string& base) {
  if (WINX_DragDrop_ReplacePrompt) return WINX_DragDrop_ReplacePrompt(base.c_str());
  if (!winx_internal::gtkAvailable()) return 1;  // never overwrite without asking
  GtkWidget* d = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_WARNING, GTK_BUTTONS_NONE,
                                        "An item named \"%s\" already exists in this location. Do you want to "
                                        "replace it with the one you're moving?",
                                        base.c_str());
  g_object_ref_sink(d);
  gtk_window_set_title(GTK_WINDOW(d), "Copy");
  gtk_dialog_add_button(GTK_DIALOG(d), "Keep Both Files", 0);
  gtk_dialog_add_button(GTK_DIALOG(d), "Stop", 1);
  gtk_dialog_add_button(GTK_DIALOG(d), "Replace", 2);
  gtk_dialog_set_default_response(GTK_DIALOG(d), 0);
  int r = gtk_dialog_run(GTK_DIALOG(d));
  gtk_widget_destroy(d);
  g_object_unref(d);
  return r == 0 || r == 2 ? r : 1;
}

}  // namespace

std::string WINX_DoDragDrop(const char* destDir) {
  if (!destDir || s_dragdropsrcfn.empty() || !s_dragdropsrccallback) {
    WINX_FinishDragDrop();
    return std::string();
  }
  size_t slash = s_dragdropsrcfn.rfind('/');
  std::string base = slash == std::string::npos ? s_dragdropsrcfn : s_dragdropsrcfn.substr(slash + 1);
  UTIL_String target;
  target.SetFormatted(4096, "%s/%s", destDir, base.c_str());
  std::string path = target.Get();
  if (exists(path)) {
    int answer = askReplace(base);
    if (answer == 1) {
      WINX_FinishDragDrop();
      return std::string();
    }
    if (answer == 0) {
      path = WINX_DragDrop_KeepBothName(path);
      if (path.empty()) {
        WINX_FinishDragDrop();
        return std::string();
      }
    }
  }
  void (*cb)(const char*) = s_dragdropsrccallback;
  WINX_FinishDragDrop();
  cb(path.c_str());
  size_t s = path.rfind('/');
  return s == std::string::npos ? path : path.substr(s + 1);
}
