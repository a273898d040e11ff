// In the test plug-in's bundle only: with SORVANTA_TEST_MODAL set in the environment, the plug-in
// opens what a user may leave open when the host's time runs out: a modal dialog, and over it a
// pop-up menu, each in a nested main loop as the editor runs them. Lines on standard output say
// what opened and closed.
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>

namespace {

void quitLoop(GtkMenuShell*, gpointer loop) { g_main_loop_quit(static_cast<GMainLoop*>(loop)); }

gboolean openMenu(gpointer dialog) {
  GtkWidget* menu = gtk_menu_new();
  gtk_menu_shell_append(GTK_MENU_SHELL(menu), gtk_menu_item_new_with_label("Init Sound"));
  gtk_widget_show_all(menu);
  GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
  g_signal_connect(menu, "deactivate", G_CALLBACK(quitLoop), loop);
  gtk_menu_popup_at_widget(GTK_MENU(menu), GTK_WIDGET(dialog), GDK_GRAVITY_CENTER, GDK_GRAVITY_NORTH_WEST, nullptr);
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
  printf("test modal: dialog closed\n");
  fflush(stdout);
  gtk_widget_destroy(dialog);
  return G_SOURCE_REMOVE;
}

struct OpenWhenAsked {
  OpenWhenAsked() {
    if (getenv("SORVANTA_TEST_MODAL")) g_timeout_add(200, openDialog, nullptr);
  }
} openWhenAsked;

}  // namespace
