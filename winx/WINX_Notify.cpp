// Dialog colours and control title colours.
#include "WINX_Notify.h"

#include <gtk/gtk.h>

#include <cstdio>
#include <string>

#include "WINX_Controls.h"
#include "WINX_GDI.h"

namespace {

bool colourable(HWND__* w) {
  if (!w) return false;
  if (w->classTag == WINX_CLASS_BUTTON || w->classTag == WINX_CLASS_GROUPBOX) return true;
  return w->classTag == WINX_CLASS_TEXTFIELD && !static_cast<WinxCtlTextField*>(w)->m_editable;
}

// Asks the procedure once for a colour: the colour int it set on a scratch context, -1 for the
// theme's (when updating), -2 for "leave as it is".
int askColour(HWND hwnd, DLGPROC proc, UINT msg, HWND__* ctl, bool isUpdate) {
  HDC dc = WINX_CreateMemContext(nullptr, 1, 1);
  if (!dc) return -2;
  proc(hwnd, msg, (WPARAM)(uintptr_t)dc, (LPARAM)(intptr_t)ctl);
  HDC__* rec = WINX_ValidDC(dc);
  int colour = rec && rec->hasTextColor ? (rec->textColor & 0xFFFFFF) : (isUpdate ? -1 : -2);
  WINX_DeleteGfxContext(dc);
  return colour;
}

}  // namespace

void WINX_InstallDialogColorHook() {
  static const bool s_installed = (WINX_SetDialogColorHook(WINX_ApplyDialogColors), true);
  (void)s_installed;
}

bool WINX_SetControlTextColor(HWND hwnd, int color) {
  HWND__* w = WINX_ValidWindow(hwnd);
  if (!colourable(w)) return false;
  static_cast<WinxCtl*>(w)->m_textColor = color < 0 ? -1 : (color & 0xFFFFFF);
  if (!w->widget) return true;
  char css[64];
  snprintf(css, sizeof(css), "* { color: #%06X; }", color & 0xFFFFFF);
  WINX_SetWidgetCss(w->widget, "winx-css-color", color < 0 ? nullptr : css);
  return true;
}

void WINX_SetWidgetCss(GtkWidget* widget, const char* key, const char* css) {
  if (!widget) return;
  GtkStyleContext* sc = gtk_widget_get_style_context(widget);
  if (GtkCssProvider* old = (GtkCssProvider*)g_object_get_data(G_OBJECT(widget), key))
    gtk_style_context_remove_provider(sc, GTK_STYLE_PROVIDER(old));
  if (!css) {
    g_object_set_data(G_OBJECT(widget), key, nullptr);
    return;
  }
  GtkCssProvider* p = gtk_css_provider_new();
  gtk_css_provider_load_from_data(p, css, -1, nullptr);
  gtk_style_context_add_provider(sc, GTK_STYLE_PROVIDER(p), GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  // The widget keeps the provider; the data's destroy function drops it with the widget.
  g_object_set_data_full(G_OBJECT(widget), key, p, g_object_unref);
}

void WINX_ApplySelectionColors(GtkWidget* tree, const std::vector<int>& c) {
  auto hex = [](int colour) {
    char buf[8];
    snprintf(buf, sizeof(buf), "#%06X", colour & 0xFFFFFF);
    return std::string(buf);
  };
  std::string css;
  auto add = [&](const char* selector, size_t bg, size_t fg) {
    if (c.size() <= bg) return;
    css += std::string(selector) + " { background-color: " + hex(c[bg]) + ";";
    if (c.size() > fg) css += " color: " + hex(c[fg]) + ";";
    css += " } ";
  };
  add("treeview.view:selected:focus", 0, 1);
  add("treeview.view:selected:not(:focus)", 2, 3);
  WINX_SetWidgetCss(tree, "winx-css-selection", css.empty() ? nullptr : css.c_str());
}

int WINX_GetControlTextColor(HWND hwnd) {
  HWND__* w = WINX_ValidWindow(hwnd);
  if (!colourable(w)) return -1;
  return static_cast<WinxCtl*>(w)->m_textColor;
}

void WINX_ApplyDialogColors(HWND hwnd, DLGPROC proc, bool isUpdate) {
  HWND__* v = WINX_ValidWindow(hwnd);
  if (!v || !proc || v->children.empty()) return;
  int btnColour = -3, staticColour = -3;  // -3: not asked yet in this call
  std::vector<HWND__*> kids = v->children;
  for (HWND__* k : kids) WINX_RetainWindow(k);  // the procedure may destroy controls
  for (HWND__* k : kids) {
    if (!WINX_ValidWindow(k)) continue;
    if (k->classTag == WINX_CLASS_BUTTON && static_cast<WinxCtlButton*>(k)->m_image) {
      if (btnColour == -3) btnColour = askColour(hwnd, proc, WM_CTLCOLORBTN, k, isUpdate);
      if (btnColour != -2) WINX_SetControlTextColor(k, btnColour);
    } else if (colourable(k) && k->classTag != WINX_CLASS_BUTTON) {
      if (staticColour == -3) staticColour = askColour(hwnd, proc, WM_CTLCOLORSTATIC, k, isUpdate);
      if (staticColour != -2) WINX_SetControlTextColor(k, staticColour);
    }
  }
  for (HWND__* k : kids) WINX_ReleaseWindow(k);
}
