// In the test plug-in's bundle only: with SORVANTA_TEST_MODAL set in the environment, the plug-in
// opens what a user may leave open when the host's time runs out: a modal dialog, and over it a
// pop-up menu, each in a nested main loop as the editor runs them. Lines on standard output say
// what opened and closed. Rendering, and so the host's clock (--seconds), stands until both are
// open, however long a busy machine takes to show them.
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "TestPlugin.h"

namespace {

void quitLoop(GtkMenuShell*, gpointer loop) { g_main_loop_quit(static_cast<GMainLoop*>(loop)); }

gboolean openMenu(gpointer dialog) {
  GtkWidget* menu = gtk_menu_new();
  gtk_menu_shell_append(GTK_MENU_SHELL(menu), gtk_menu_item_new_with_label("Init Sound"));
  gtk_widget_show_all(menu);
  GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
  g_signal_connect(menu, "deactivate", G_CALLBACK(quitLoop), loop);
  gtk_menu_popup_at_widget(GTK_MENU(menu), GTK_WIDGET(dialog), GDK_GRAVITY_CENTER, GDK_GRAVITY_NORTH_WEST, nullptr);
  TestPlug::sRenderHeld = false;
  if (gtk_widget_get_visible(menu)) {
    printf("test modal: menu open\n");
    fflush(stdout);
    g_main_loop_run(loop);
    printf("test modal: menu closed\n");
    fflush(stdout);
  }
  g_main_loop_unref(loop);
  gtk_widget_destroy(menu);
  return G_SOURCE_REMOVE;
}

gboolean openDialog(gpointer) {
  GtkWidget* dialog = gtk_dialog_new_with_buttons("Save Bank", nullptr, GTK_DIALOG_MODAL, "Cancel", GTK_RESPONSE_CANCEL, nullptr);
  gtk_widget_show_all(dialog);
  g_timeout_add(300, openMenu, dialog);
  printf("test modal: dialog open\n");
  fflush(stdout);
  gtk_dialog_run(GTK_DIALOG(dialog));
  TestPlug::sRenderHeld = false;
  printf("test modal: dialog closed\n");
  fflush(stdout);
  gtk_widget_destroy(dialog);
  return G_SOURCE_REMOVE;
}

// With SORVANTA_TEST_WINDOWS set, the plug-in reads the host's windows as a user does: each text
// shown, once, and each message box, answered, on lines "test window: ...". Set to "close", it
// closes the host's window once it shows, as a user does.
void sayTexts(GtkWidget* w, gpointer said) {
  const char* text = GTK_IS_LABEL(w) ? gtk_label_get_text(GTK_LABEL(w)) : "";
  if (*text && static_cast<std::set<std::string>*>(said)->insert(text).second) printf("test window: %s\n", text);
  if (GTK_IS_CONTAINER(w)) gtk_container_forall(GTK_CONTAINER(w), sayTexts, said);
}

gboolean watchWindows(gpointer) {
  static std::set<std::string> said;
  static bool closed = strcmp(getenv("SORVANTA_TEST_WINDOWS"), "close") != 0;
  GList* windows = gtk_window_list_toplevels();
  for (GList* l = windows; l; l = l->next) {
    if (!gtk_widget_get_visible(GTK_WIDGET(l->data))) continue;
    sayTexts(GTK_WIDGET(l->data), &said);
    if (GTK_IS_MESSAGE_DIALOG(l->data)) printf("test window: message box\n"), gtk_dialog_response(GTK_DIALOG(l->data), GTK_RESPONSE_OK);
    else if (!closed) closed = true, gtk_window_close(GTK_WINDOW(l->data));
  }
  g_list_free(windows);
  return fflush(stdout), G_SOURCE_CONTINUE;
}

struct OpenWhenAsked {
  OpenWhenAsked() {
    if (getenv("SORVANTA_TEST_MODAL")) TestPlug::sRenderHeld = true, g_timeout_add(200, openDialog, nullptr);
    if (getenv("SORVANTA_TEST_WINDOWS")) g_timeout_add(50, watchWindows, nullptr);
  }
} openWhenAsked;

}  // namespace
