// The host program with its window (needs a display): a timed end (--seconds) and a signal both
// end the session while the plug-in holds a modal dialog and a pop-up menu open, each in a nested
// main loop. Each waits for what it checks, however busy the machine; `timeout` bounds every run
// only so that a host that cannot end fails instead of hanging.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <string>
#include <utility>

#include "AUTestSupport.h"
#include "HostRunSupport.h"
#include "IControls.h"
#include "IGraphicsGtk.h"
#include "IGraphicsGtkView.h"
#include "UTIL_String.h"

TEST(HostWindow, TimedOrSignalledEndClosesOpenMenusAndDialogs) {
  const std::string host = std::string("timeout -s KILL 120 ") + SORVANTA_HOST_EXE + " --note hello --session /nonexistent/s ";
  const std::string bundle = SORVANTA_TEST_BUNDLE;
  const std::string runs[] = {
      host + "--seconds 1.5 " + bundle,
      // The signal once the menu is open, however long the start takes on a busy machine.
      "sh -c 'f=$(mktemp); " + host + bundle + " >$f 2>&1 & p=$!; while kill -0 $p && ! grep -q \"menu open\" $f; do "
      "sleep 0.05; done; kill -TERM $p; wait $p; r=$?; cat $f; rm -f $f; exit $r'",
      // Closed by the user, who is told in a box where the work is (nowhere: it changed nothing).
      "env -u SORVANTA_TEST_MODAL SORVANTA_TEST_WINDOWS=close " + host + bundle,
  };
  for (const std::string& cmd : runs) {
    // The host's leaks are checked by the sanitizer configurations' own host run, which walks
    // whole stacks; walking them here would slow GTK's start past the time this run allows.
    RunResult r = runCommand("SORVANTA_TEST_MODAL=1 SORVANTA_TEST_WINDOWS=1 ASAN_OPTIONS=\"${ASAN_OPTIONS}:detect_leaks=0\" " + cmd);
    EXPECT_EQ(5, r.exitCode) << cmd << "\n" << r.output;
    const bool byUser = cmd.find("=close") != std::string::npos;
    for (const char* line : {"test modal: dialog open", "test modal: menu open", "test modal: menu closed", "test modal: dialog closed", "rendered"})
      EXPECT_TRUE(byUser || r.output.find(line) != std::string::npos) << cmd << ": no \"" << line << "\"\n" << r.output;
    EXPECT_TRUE(r.output.find("test window: hello") != std::string::npos && (r.output.find("test window: message box") != std::string::npos) == byUser &&
                (!byUser || (r.output.find("test window: This run changed nothing: there was no work to keep.") != std::string::npos &&
                             r.output.find("test window: the session was not saved") == std::string::npos))) << cmd << "\n" << r.output;
  }
}

// A stop while the toolkit starts (a GTK module holds it) ends the session in order, saving it.
TEST(HostWindow, AStopWhileTheToolkitStartsSavesTheSession) {
  const std::string dir = testing::TempDir() + "stop-in-start", out = dir + "/out";
  RunResult r = runCommand("rm -rf " + dir + "; mkdir " + dir + "; ASAN_OPTIONS=\"${ASAN_OPTIONS}:detect_leaks=0\" GTK_MODULES="
                           SORVANTA_SLOW_START_MODULE " SORVANTA_SLOW_START_RELEASE=" + dir + "/stopped timeout -s KILL 120 "
                           SORVANTA_HOST_EXE " --session " + dir + "/s.plist " SORVANTA_TEST_BUNDLE " >" + out + " 2>&1 & p=$!; while "
                           "kill -0 $p && ! grep -q \"GTK starting\" " + out + "; do sleep 0.05; done; kill -TERM $p; touch " + dir +
                           "/stopped; wait $p; r=$?; cat " + out + "; exit $r");
  EXPECT_EQ(0, r.exitCode) << r.output;
  EXPECT_NE(std::string::npos, r.output.find("saved the session")) << r.output;
}

// A host closing the project from inside the plug-in's popup menu, message box or file panel (a
// shortcut of its own that the loop runs): the loop ends, and the plug-in goes once the call that
// opened it has returned (the menu's click through the caption, the canvas and the view), none of
// which it frees under them.
class HostWindowOpener : public testing::TestWithParam<int> {};
INSTANTIATE_TEST_SUITE_P(MenuBoxPanel, HostWindowOpener, testing::Values(0, 1, 2));
TEST_P(HostWindowOpener, APlugInClosedFromInsideGoesOnceTheLoopHasReturned) {
  if (!gtk_init_check(nullptr, nullptr)) GTEST_SKIP() << "no X display";
  OpenPlug p;
  IGraphics* g = MakeGraphics(p.plug, 200, 100);
  IColor panel(255, 40, 40, 40);
  IText label(14, panel);
  g->AttachPanelBackground(&panel);
  auto* caption = new ICaptionControl(p.plug, IRECT(20, 20, 120, 40), 1, &label, true);
  caption->SetPromptDisabled(false);
  g->AttachControl(caption);
  p.plug->AttachGraphics(g);
  GtkWidget* window = gtk_offscreen_window_new();
  g->OpenWindow(window);
  gtk_widget_show_all(window);
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
  GtkWidget* area = static_cast<IGraphicsGtk*>(g)->GetView()->GetDrawingArea();
  struct { OpenPlug* p; IGraphics* gui; bool closedInside = false; int menusLeftOpen = 0; } close{&p, g};
  using Close = decltype(close);
  const guint source = g_timeout_add(10, [](gpointer c) -> gboolean {
    if (!static_cast<Close*>(c)->gui->InModal()) return G_SOURCE_CONTINUE;
    static_cast<Close*>(c)->closedInside = true;
    CloseComponentInstance(std::exchange(static_cast<Close*>(c)->p->unit, nullptr));
    g_timeout_add(5000, [](gpointer c) -> gboolean {  // one left open long after the close, so that the test ends
      GList* windows = gtk_window_list_toplevels();
      for (GList* l = windows; l; l = l->next) {
        GtkWidget* menu = gtk_bin_get_child(GTK_BIN(l->data));
        if (gtk_widget_get_visible(GTK_WIDGET(l->data)) && menu && GTK_IS_MENU(menu))
          ++static_cast<Close*>(c)->menusLeftOpen, gtk_menu_shell_cancel(GTK_MENU_SHELL(menu));
        if (gtk_widget_get_visible(GTK_WIDGET(l->data)) && GTK_IS_DIALOG(l->data))
          ++static_cast<Close*>(c)->menusLeftOpen, gtk_dialog_response(GTK_DIALOG(l->data), GTK_RESPONSE_CANCEL);
      }
      return g_list_free(windows), G_SOURCE_REMOVE;
    }, c);
    return G_SOURCE_REMOVE;
  }, &close);
  GdkEvent* ev = gdk_event_new(GDK_BUTTON_PRESS);
  ev->button.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(area)));
  ev->button.button = 1, ev->button.x = 50, ev->button.y = 30;
  UTIL_String file, dir("/tmp");
  char types[] = "syx";
  if (GetParam() == 0) gtk_widget_event(area, ev);  // returns when the menu has closed
  else if (GetParam() == 1) g->ShowMessageBox("Bank NOT saved!", "Sorvanta Editor", 0);
  else g->PromptForFile(&file, kFileSave, &dir, types);
  gdk_event_free(ev);
  if (!close.closedInside) g_source_remove(source);
  ASSERT_TRUE(close.closedInside) << "the menu never opened";
  EXPECT_EQ(0, close.menusLeftOpen) << "the close left the menu open";
  EXPECT_EQ(1, TestPlug::sLiveInstances.load()) << "deleted under the calls around the menu";
  for (int i = 0; i < 5000 && TestPlug::sLiveInstances.load() > 0; ++i) gtk_main_iteration_do(FALSE), g_usleep(1000);
  EXPECT_EQ(0, TestPlug::sLiveInstances.load());
  gtk_widget_destroy(window);
}
