// The menu bar of a top-level window: a GtkMenuBar above the content view, built from the
// window's menu (SetMenu) and rebuilt whenever any menu record changes, so its titles, checks,
// enabled states and accelerators follow the record. Main thread only.
//
// The GtkWindow holds a vertical box: the bar (hidden while the window has no menu) above the
// view's widget. The view's frame stays its client area; WINX_Paint.cpp adds the bar's height
// when it moves and sizes the GtkWindow (winx_internal::menuBarHeight).
//
// Rebuilding replaces every item widget. It waits while the user has the bar open (a rebuild
// would close the menu under the pointer) and happens when the bar lets go.
#include <gtk/gtk.h>

#include "WINX_MenuInternal.h"
#include "WINX_MenuTrack.h"
#include "WINX_Window.h"

namespace {

const char kBarKey[] = "winx-menubar";
const char kBarGenKey[] = "winx-menubar-generation";

uint64_t g_generation = 1;  // bumped by every menu change
bool g_refreshQueued = false;
int g_bars = 0;             // menu bars in existence: no refresh is queued while there are none

GtkWidget* barOf(HWND__* top) {
  return top && top->toplevel ? static_cast<GtkWidget*>(g_object_get_data(G_OBJECT(top->toplevel), kBarKey)) : nullptr;
}

// A chosen bar item: the window's menu fires the command through its destination (WM_COMMAND
// to the window), as long as the item is still there and enabled in the record.
void onBarItemActivate(GtkMenuItem* item, gpointer data) {
  HWND__* top = WINX_ValidWindow(static_cast<HWND>(data));
  if (!top) return;
  const int tag = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(item), "winx-tag"));
  WINX_Menu_FireCommand(GetMenu(top), tag);
}

void fillBar(HWND__* top, GtkWidget* bar, HMENU menu);

// A bar item whose submenu opens: the window hears WM_INITMENUPOPUP first, and what its
// handler changed is shown at once.
void onSubmenuSelect(GtkMenuItem* item, gpointer data) {
  HWND__* top = WINX_ValidWindow(static_cast<HWND>(data));
  HMENU menu = top ? GetMenu(top) : nullptr;
  GtkWidget* bar = barOf(top);
  if (!menu || !bar) return;
  GList* kids = gtk_container_get_children(GTK_CONTAINER(bar));
  const int pos = g_list_index(kids, item);
  g_list_free(kids);
  HMENU sub = GetSubMenu(menu, pos);
  if (!sub) return;
  const uint64_t before = g_generation;
  WINX_RetainWindow(top);
  SendMessage(top, WM_INITMENUPOPUP, (WPARAM)(uintptr_t)sub, pos);
  const bool alive = WINX_ValidWindow(top) != nullptr;
  WINX_ReleaseWindow(top);
  if (!alive || before == g_generation || !WINX_IsMenu(sub)) return;
  GtkWidget* gm = gtk_menu_item_get_submenu(item);
  if (!gm) return;
  GList* old = gtk_container_get_children(GTK_CONTAINER(gm));
  for (GList* l = old; l; l = l->next) gtk_widget_destroy(GTK_WIDGET(l->data));
  g_list_free(old);
  WINX_Menu_FillShell(gm, sub, onBarItemActivate, top,
                      static_cast<GtkAccelGroup*>(g_object_get_data(G_OBJECT(top->toplevel), "winx-menubar-accel")));
}

void fillBar(HWND__* top, GtkWidget* bar, HMENU menu) {
  GList* old = gtk_container_get_children(GTK_CONTAINER(bar));
  for (GList* l = old; l; l = l->next) gtk_widget_destroy(GTK_WIDGET(l->data));
  g_list_free(old);
  GtkAccelGroup* accel = static_cast<GtkAccelGroup*>(g_object_get_data(G_OBJECT(top->toplevel), "winx-menubar-accel"));
  WINX_Menu_FillShell(bar, menu, onBarItemActivate, top, accel);
  GList* kids = gtk_container_get_children(GTK_CONTAINER(bar));
  for (GList* l = kids; l; l = l->next)
    if (gtk_menu_item_get_submenu(GTK_MENU_ITEM(l->data)))
      g_signal_connect(l->data, "select", G_CALLBACK(onSubmenuSelect), top);
  g_list_free(kids);
  g_object_set_data(G_OBJECT(bar), kBarGenKey, GSIZE_TO_POINTER(static_cast<gsize>(g_generation)));
}

void onBarDeactivate(GtkMenuShell*, gpointer data) {
  // Changes made while the bar was open were held back; show them now.
  if (HWND__* top = WINX_ValidWindow(static_cast<HWND>(data))) winx_internal::syncMenuBar(top);
}

gboolean refreshAll(gpointer) {
  g_refreshQueued = false;
  for (HWND__* t : winx_internal::topLevelWindows()) winx_internal::syncMenuBar(t);
  return G_SOURCE_REMOVE;
}

}  // namespace

void WINX_Menu_Changed() {
  ++g_generation;
  if (g_refreshQueued || g_bars == 0) return;
  g_refreshQueued = true;
  g_idle_add(refreshAll, nullptr);
}

namespace winx_internal {

GtkWidget* newTopLevelBox(GtkWidget* window, HWND__* top) {
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  GtkWidget* bar = gtk_menu_bar_new();
  gtk_widget_set_no_show_all(bar, TRUE);
  gtk_box_pack_start(GTK_BOX(box), bar, FALSE, FALSE, 0);
  gtk_container_add(GTK_CONTAINER(window), box);
  gtk_widget_show(box);
  GtkAccelGroup* accel = gtk_accel_group_new();
  gtk_window_add_accel_group(GTK_WINDOW(window), accel);
  g_object_set_data_full(G_OBJECT(window), "winx-menubar-accel", accel, g_object_unref);
  g_object_set_data(G_OBJECT(window), kBarKey, bar);
  g_signal_connect(bar, "deactivate", G_CALLBACK(onBarDeactivate), top);
  ++g_bars;
  g_signal_connect(bar, "destroy", G_CALLBACK(+[](GtkWidget*, gpointer) { --g_bars; }), nullptr);
  return box;
}

int menuBarHeight(HWND__* top) {
  GtkWidget* bar = barOf(top);
  if (!bar || !gtk_widget_get_visible(bar)) return 0;
  int natural = 0;
  gtk_widget_get_preferred_height(bar, nullptr, &natural);
  return natural;
}

void syncMenuBar(HWND__* top) {
  GtkWidget* bar = barOf(top);
  if (!bar) return;
  HMENU menu = GetMenu(top);
  const bool wasShown = gtk_widget_get_visible(bar);
  if (!menu || GetMenuItemCount(menu) == 0) {
    if (!wasShown) return;
    gtk_widget_hide(bar);
    fillBar(top, bar, nullptr);
    placeWidget(top);  // the window shrinks by the bar; the client area keeps its size
    return;
  }
  if (gtk_menu_shell_get_selected_item(GTK_MENU_SHELL(bar))) return;  // in use: after deactivate
  const bool stale = GPOINTER_TO_SIZE(g_object_get_data(G_OBJECT(bar), kBarGenKey)) != static_cast<gsize>(g_generation) ||
                     g_object_get_data(G_OBJECT(bar), "winx-menubar-menu") != menu;
  if (stale) {
    fillBar(top, bar, menu);
    g_object_set_data(G_OBJECT(bar), "winx-menubar-menu", menu);
  }
  if (!wasShown) {
    gtk_widget_show(bar);
    placeWidget(top);  // the window grows by the bar; the client area keeps its size
  }
}

}  // namespace winx_internal

void DrawMenuBar(HWND hwnd) {
  HWND__* w = WINX_ValidWindow(hwnd);
  while (w && w->parent) w = w->parent;
  if (w) winx_internal::syncMenuBar(w);
}
