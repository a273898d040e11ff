// Pop-up menus, modal dialogs, message boxes, file choosers and widget-driven notifications on
// an X display. Every modal run is answered from a main-loop timeout and guarded by a watchdog
// that ends it, so a broken answer fails the test instead of hanging it.
#include <gtk/gtk.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "WINX_Clipboard.h"
#include "BankNameDialog.h"
#include "WINX_Controls.h"
#include "WINX_Dialog.h"
#include "WINX_DialogTemplate.h"
#include "WINX_FileDialog.h"
#include "WINX_ListView.h"
#include "WINX_Menu.h"
#include "WINX_TreeView.h"
#include "WINX_MenuTrack.h"

namespace {

bool haveDisplay() {
  return winx_internal::gtkAvailable();
}

void pump(int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
    g_usleep(2000);
  }
}

// Removes a timeout that may already have removed itself.
void cancelTimeout(guint id) {
  if (GSource* s = g_main_context_find_source_by_id(nullptr, id)) g_source_destroy(s);
}

std::vector<std::pair<UINT, WPARAM>> g_msgs;

LRESULT recordProc(HWND, UINT msg, WPARAM wp, LPARAM) {
  if (msg == WM_COMMAND || msg == WM_INITMENUPOPUP) g_msgs.emplace_back(msg, wp);
  return 0;
}

HWND shownWindow() {
  HWND v = WINX_CreateWindowView(nullptr, nullptr, recordProc, 0);
  WINX_MakeTopLevel(v, nullptr, 15);
  ShowWindow(v, SW_SHOW);
  pump(100);
  return v;
}

GtkWidget* findToplevel(GType type) {
  GtkWidget* found = nullptr;
  GList* all = gtk_window_list_toplevels();
  for (GList* l = all; l; l = l->next)
    if (G_TYPE_CHECK_INSTANCE_TYPE(l->data, type) && gtk_widget_get_visible(GTK_WIDGET(l->data)))
      found = GTK_WIDGET(l->data);
  g_list_free(all);
  return found;
}

// What the menu answer callback does with the pop-up: choose item `pick` (-1: dismiss).
int g_pick = -1;

gboolean answerMenu(gpointer) {
  GtkWidget* m = WINX_Menu_GetTrackingWidget();
  if (!m) return G_SOURCE_CONTINUE;
  if (g_pick >= 0) {
    GList* kids = gtk_container_get_children(GTK_CONTAINER(m));
    GtkWidget* item = (GtkWidget*)g_list_nth_data(kids, (guint)g_pick);
    g_list_free(kids);
    if (item) gtk_menu_item_activate(GTK_MENU_ITEM(item));
  }
  gtk_menu_shell_deactivate(GTK_MENU_SHELL(m));
  return G_SOURCE_REMOVE;
}

class Display : public ::testing::Test {
protected:
  void SetUp() override {
    if (!haveDisplay()) GTEST_SKIP() << "no X display";
    g_msgs.clear();
  }
};

}  // namespace

TEST_F(Display, PopupReturnsOrSendsTheChosenCommand) {
  HWND v = shownWindow();
  HMENU m = CreatePopupMenu();
  WINX_Menu_AddMenuItem(m, "First", 11, 0);
  WINX_Menu_AddMenuItem(m, "Second", 12, 0);
  g_pick = 1;
  guint t = g_timeout_add(30, answerMenu, nullptr);
  int r = TrackPopupMenu(m, TPM_RETURNCMD, 20, 20, 0, v, nullptr);
  cancelTimeout(t);
  if (r == 0) {
    DestroyMenu(m);
    DestroyWindow(v);
    GTEST_SKIP() << "the pop-up could not be shown on this display";
  }
  EXPECT_EQ(12, r);
  ASSERT_EQ(1u, g_msgs.size());  // WM_INITMENUPOPUP only
  EXPECT_EQ((UINT)WM_INITMENUPOPUP, g_msgs[0].first);

  g_msgs.clear();
  g_pick = 0;
  t = g_timeout_add(30, answerMenu, nullptr);
  EXPECT_EQ(1, TrackPopupMenu(m, 0, 20, 20, 0, v, nullptr));
  cancelTimeout(t);
  ASSERT_EQ(2u, g_msgs.size());
  EXPECT_EQ((UINT)WM_COMMAND, g_msgs[1].first);
  EXPECT_EQ(11u, g_msgs[1].second);

  g_pick = -1;
  t = g_timeout_add(30, answerMenu, nullptr);
  EXPECT_EQ(0, TrackPopupMenu(m, TPM_RETURNCMD, 20, 20, 0, v, nullptr));
  cancelTimeout(t);
  DestroyMenu(m);
  DestroyWindow(v);
}

namespace {

HWND g_dialog = nullptr;

LRESULT endLaterProc(HWND h, UINT msg, WPARAM, LPARAM) {
  if (msg == WM_INITDIALOG) {
    g_dialog = h;
    g_timeout_add(30, [](gpointer) -> gboolean { EndDialog(g_dialog, 5); return G_SOURCE_REMOVE; }, nullptr);
    return 1;
  }
  return 0;
}

void emptyCreator(HWND, int) {}
const WINX_DialogResourceIndex kPlain = {(const char*)(uintptr_t)500, "Modal", 0x4, emptyCreator, 200, 100};
WINX_DialogResourceEntry g_plainEntry = {&kPlain, nullptr};

}  // namespace

TEST_F(Display, ModalDialogRunsUntilEndDialog) {
  // Watchdog: a dialog that never ends is closed after 5 s with a result the test rejects.
  guint dog = g_timeout_add(5000, [](gpointer) -> gboolean { EndDialog(g_dialog, -99); return G_SOURCE_REMOVE; }, nullptr);
  EXPECT_EQ(5, WINX_DialogBox(&g_plainEntry, (const char*)(uintptr_t)500, nullptr, endLaterProc, 0));
  cancelTimeout(dog);
  EXPECT_EQ(nullptr, WINX_ValidWindow(g_dialog));
}

TEST_F(Display, MessageBoxThirdButtonAnswersNo) {
  guint t = g_timeout_add(30, [](gpointer) -> gboolean {
    GtkWidget* d = findToplevel(GTK_TYPE_MESSAGE_DIALOG);
    if (!d) return G_SOURCE_CONTINUE;
    GtkWidget* no = gtk_dialog_get_widget_for_response(GTK_DIALOG(d), IDNO);
    if (no) gtk_button_clicked(GTK_BUTTON(no));
    else gtk_dialog_response(GTK_DIALOG(d), GTK_RESPONSE_DELETE_EVENT);
    return G_SOURCE_REMOVE;
  }, nullptr);
  EXPECT_EQ(IDNO, MessageBox(nullptr, "Save 100% of it?", "Question", MB_YESNOCANCEL));
  cancelTimeout(t);
}

TEST_F(Display, SaveDialogOpensInTheInitialFilesFolderWithItsName) {
  namespace fs = std::filesystem;
  fs::path dir = fs::temp_directory_path() / ("winxctl-save-" + std::to_string(getpid()));
  fs::create_directories(dir);
  std::string initial = (dir / "bank.syx").string();
  guint t = g_timeout_add(100, [](gpointer) -> gboolean {
    GtkWidget* d = findToplevel(GTK_TYPE_FILE_CHOOSER_DIALOG);
    // Answered again until it goes: a save chooser may still be loading its folder and
    // ignore an early answer.
    if (d) gtk_dialog_response(GTK_DIALOG(d), GTK_RESPONSE_ACCEPT);
    return G_SOURCE_CONTINUE;
  }, nullptr);
  char fn[1024] = {};
  const char filters[] = "SysEx\0*.syx\0\0";
  bool ok = BrowseForSaveFile("Save Bank", nullptr, initial.c_str(), filters, fn, sizeof(fn));
  cancelTimeout(t);
  EXPECT_TRUE(ok);
  EXPECT_EQ(initial, fn);
  // Cancelled: false and nothing written.
  t = g_timeout_add(100, [](gpointer) -> gboolean {
    GtkWidget* d = findToplevel(GTK_TYPE_FILE_CHOOSER_DIALOG);
    if (d) gtk_dialog_response(GTK_DIALOG(d), GTK_RESPONSE_CANCEL);
    return G_SOURCE_CONTINUE;
  }, nullptr);
  char fn2[16] = "unchanged";
  EXPECT_FALSE(BrowseForSaveFile("Save Bank", nullptr, initial.c_str(), filters, fn2, sizeof(fn2)));
  cancelTimeout(t);
  EXPECT_STREQ("unchanged", fn2);
  fs::remove_all(dir);
}

TEST_F(Display, GrownLabelShiftsTheNextControlOnItsLine) {
  HWND v = WINX_CreateWindowView(nullptr, nullptr, recordProc, 0);
  WINX_MakeSetCurParms(1, 1, 0, 0, v, true, true);
  HWND lab = WINX_MakeLabel(-1, "A label much wider than ten pixels", 1, 10, 10, 10, 20, 0);
  HWND__* l = WINX_ValidWindow(lab);
  ASSERT_NE(nullptr, l);
  const int grown = (l->frame.right - l->frame.left) - 10;
  ASSERT_GT(grown, 0);
  HWND next = WINX_MakeButton(0, "Go", 2, 25, 12, 30, 14, 0);
  EXPECT_EQ(25 + grown, WINX_ValidWindow(next)->frame.left);
  HWND below = WINX_MakeButton(0, "Far", 3, 25, 100, 30, 14, 0);  // another line: not moved
  EXPECT_EQ(25, WINX_ValidWindow(below)->frame.left);
  DestroyWindow(v);
}

TEST_F(Display, UserChangesInWidgetsReachTheRecordAndTheParent) {
  HWND v = shownWindow();
  WINX_MakeSetCurParms(1, 1, 0, 0, v, false, false);
  HWND combo = WINX_MakeCombo(4, 10, 10, 80, 0, 3);
  WINX_CB_AddString(combo, 0, "one");
  WINX_CB_AddString(combo, 0, "two");
  HWND edit = WINX_MakeEditField(5, 10, 40, 80, 14, 0);
  g_msgs.clear();
  gtk_combo_box_set_active(GTK_COMBO_BOX(WINX_ValidWindow(combo)->widget), 1);
  EXPECT_EQ(1, WINX_CB_GetCurSel(v, 4));
  ASSERT_FALSE(g_msgs.empty());
  EXPECT_EQ((WPARAM)(4 | (CBN_SELCHANGE << 16)), g_msgs.back().second);
  gtk_entry_set_text(GTK_ENTRY(WINX_ValidWindow(edit)->widget), "typed");
  char buf[16];
  GetDlgItemText(v, 5, buf, sizeof(buf));
  EXPECT_STREQ("typed", buf);
  EXPECT_EQ((WPARAM)(5 | (EN_CHANGE << 16)), g_msgs.back().second);
  // Selection colours and a title colour become style sheets on the widgets.
  HWND list = WINX_MakeControl("", 6, "SysListView32", 1, 10, 60, 80, 40, 0);
  const int colours[] = {0x102030, 0xFFFFFF, 0x808080, 0x000000};
  ListView_SetSelColors(list, colours, 4);
  EXPECT_NE(nullptr, g_object_get_data(G_OBJECT(static_cast<WinxCtlListView*>(WINX_ValidWindow(list))->m_tree),
                                       "winx-css-selection"));
  pump(30);
  RECT want = {-1, -1, -1, -1};
  WINX_GetDesiredControlSize(combo, &want);
  EXPECT_GT(want.right, 0);
  DestroyWindow(v);
}

TEST_F(Display, FocusRectangleIsOneOverlayThatMoves) {
  HWND v = shownWindow();
  void* overlay = nullptr;
  RECT r = {10, 10, 60, 40};
  WINX_DrawFocusRect(v, &r, &overlay);
  ASSERT_NE(nullptr, overlay);
  void* first = overlay;
  r = RECT{20, 30, 90, 10};  // upside down: normalised
  WINX_DrawFocusRect(v, &r, &overlay);
  EXPECT_EQ(first, overlay);
  WINX_DrawFocusRect(v, nullptr, &overlay);
  EXPECT_EQ(nullptr, overlay);
  DestroyWindow(v);
}

namespace {
std::vector<UINT> g_viewMsgs;
LRESULT closeIgnoringProc(HWND, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_CLOSE || (msg == WM_COMMAND && wp == 2)) g_viewMsgs.push_back(msg);
  if (msg == WM_GETMINMAXINFO) {
    g_viewMsgs.push_back(msg);
    ((MINMAXINFO*)(intptr_t)lp)->ptMaxTrackSize = POINT{2000000, 2000000};  // no limit of its own
  }
  return 0;
}
}  // namespace

TEST_F(Display, PlainWindowIdsChooseTheFrameAndTheCloseBoxCancels) {
  g_viewMsgs.clear();
  HWND w = WINX_CreateDialog(nullptr, (const char*)(uintptr_t)0x400001, nullptr, closeIgnoringProc, 0);
  ASSERT_NE(nullptr, w);
  HWND__* rec = WINX_ValidWindow(w);
  EXPECT_EQ(15u, rec->m_create_windowflags);
  EXPECT_EQ(std::vector<UINT>{WM_GETMINMAXINFO}, g_viewMsgs);  // asked once for its limits
  ASSERT_NE(nullptr, rec->toplevel);
  HWND bare = WINX_CreateDialog(nullptr, (const char*)(uintptr_t)0x400006, nullptr, closeIgnoringProc, 0);
  EXPECT_EQ(1u, WINX_ValidWindow(bare)->m_create_windowflags);  // no close box, no minimise
  g_viewMsgs.clear();
  GdkEvent* ev = gdk_event_new(GDK_DELETE);
  gboolean handled = FALSE;
  g_signal_emit_by_name(rec->toplevel, "delete-event", ev, &handled);
  gdk_event_free(ev);
  EXPECT_EQ((std::vector<UINT>{WM_CLOSE, WM_COMMAND}), g_viewMsgs);
  EXPECT_NE(nullptr, WINX_ValidWindow(w));  // still open
  DestroyWindow(w);
  DestroyWindow(bare);
}

namespace {
int g_listDraws = 0;
LRESULT listOwnerProc(HWND, UINT msg, WPARAM, LPARAM lp) {
  if (msg == WM_DRAWITEM) {
    const DRAWITEMSTRUCT* d = (const DRAWITEMSTRUCT*)(intptr_t)lp;
    if (d->CtlType == 2 && d->itemID == 1 && d->itemData == 77) g_listDraws++;
  }
  return 0;
}
}  // namespace

TEST_F(Display, OwnerDrawnListBoxAsksTheOwnerForEachRow) {
  HWND v = WINX_CreateWindowView(nullptr, nullptr, listOwnerProc, 0);
  WINX_MakeTopLevel(v, nullptr, 15);
  WINX_MakeSetCurParms(1, 1, 0, 0, v, false, false);
  HWND lb = WINX_MakeListBox(1, 0, 0, 150, 100, LBS_OWNERDRAWFIXED);
  SendMessage(lb, LB_ADDSTRING, 0, (LPARAM)(intptr_t) "a");
  SendMessage(lb, LB_ADDSTRING, 0, (LPARAM)(intptr_t) "b");
  SendMessage(lb, LB_SETITEMDATA, 1, 77);
  ShowWindow(v, SW_SHOW);
  g_listDraws = 0;
  pump(200);
  EXPECT_GT(g_listDraws, 0);
  DestroyWindow(v);
}

namespace {

// The editor's bank-name dialog, driven as a user would: type a name, press OK.
WINX_REGISTER_DIALOG(bankName, kBankNameRes);

char g_bankName[64];

LRESULT bankNameProc(HWND h, UINT msg, WPARAM wp, LPARAM) {
  if (msg == WM_INITDIALOG) {
    g_dialog = h;
    g_timeout_add(30, [](gpointer) -> gboolean {
      HWND__* edit = WINX_ValidWindow(GetDlgItem(g_dialog, 10013));
      HWND__* ok = WINX_ValidWindow(GetDlgItem(g_dialog, 10006));
      if (edit && edit->widget) gtk_entry_set_text(GTK_ENTRY(edit->widget), "Warm Pads");
      if (ok && ok->widget) gtk_button_clicked(GTK_BUTTON(ok->widget));
      return G_SOURCE_REMOVE;
    }, nullptr);
    return 1;
  }
  if (msg == WM_COMMAND && (wp & 0xFFFF) == 10006) {
    GetDlgItemText(h, 10013, g_bankName, sizeof(g_bankName));
    EndDialog(h, 1);
  } else if (msg == WM_COMMAND && (wp & 0xFFFF) == 2) {
    EndDialog(h, 0);
  }
  return 0;
}

}  // namespace

TEST_F(Display, BankNameDialogReturnsTheTypedName) {
  g_bankName[0] = 0;
  guint dog = g_timeout_add(5000, [](gpointer) -> gboolean { EndDialog(g_dialog, -99); return G_SOURCE_REMOVE; }, nullptr);
  EXPECT_EQ(1, WINX_DialogBox(WINX_curmodule_dialogresource_head, (const char*)(uintptr_t)10014, nullptr,
                              bankNameProc, 0));
  cancelTimeout(dog);
  EXPECT_STREQ("Warm Pads", g_bankName);
}

namespace {

// Where the pop-up's window opened, in root coordinates; the menu is then dismissed.
int g_menuX = -1, g_menuY = -1;

gboolean measureMenu(gpointer) {
  GtkWidget* m = WINX_Menu_GetTrackingWidget();
  if (!m || !gtk_widget_get_mapped(m)) return G_SOURCE_CONTINUE;
  gdk_window_get_origin(gtk_widget_get_window(gtk_widget_get_toplevel(m)), &g_menuX, &g_menuY);
  gtk_menu_shell_deactivate(GTK_MENU_SHELL(m));
  return G_SOURCE_REMOVE;
}

}  // namespace

TEST_F(Display, PopupOpensBelowTheAskedScreenPointForTopLevelAndNestedViews) {
  HWND top = shownWindow();
  SetWindowPos(top, nullptr, 200, 150, 500, 400, SWP_NOZORDER);
  HWND child = WINX_CreateWindowView(nullptr, top, recordProc, 0);
  SetWindowPos(child, nullptr, 100, 80, 300, 250, SWP_NOZORDER);
  ShowWindow(child, SW_SHOW);
  HWND nested = WINX_CreateWindowView(nullptr, child, recordProc, 0);
  SetWindowPos(nested, nullptr, 30, 20, 200, 150, SWP_NOZORDER);
  ShowWindow(nested, SW_SHOW);
  pump(150);
  RECT wr;
  GetWindowRect(top, &wr);
  HMENU m = CreatePopupMenu();
  WINX_Menu_AddMenuItem(m, "Only", 1, 0);
  for (HWND target : {top, child, nested}) {
    g_menuX = g_menuY = -1;
    guint t = g_timeout_add(20, measureMenu, nullptr);
    TrackPopupMenu(m, TPM_RETURNCMD, wr.left + 310, wr.top + 244, 0, target, nullptr);
    cancelTimeout(t);
    if (g_menuX < 0) {
      DestroyMenu(m);
      DestroyWindow(top);
      GTEST_SKIP() << "the pop-up could not be shown on this display";
    }
    EXPECT_NEAR(wr.left + 310, g_menuX, 2) << "target " << (target == top ? "top" : target == child ? "child" : "nested");
    EXPECT_NEAR(wr.top + 244 + 4, g_menuY, 2) << "target " << (target == top ? "top" : target == child ? "child" : "nested");
  }
  DestroyMenu(m);
  DestroyWindow(top);
}

namespace {

int widgetFontPoints(HWND h) {
  HWND__* w = WINX_ValidWindow(h);
  if (!w || !w->widget) return -1;
  GtkStyleContext* sc = gtk_widget_get_style_context(w->widget);
  PangoFontDescription* fd = nullptr;
  gtk_style_context_get(sc, gtk_style_context_get_state(sc), "font", &fd, NULL);
  const int pt = fd ? (int)lround((double)pango_font_description_get_size(fd) / PANGO_SCALE) : -1;
  if (fd) pango_font_description_free(fd);
  return pt;
}

}  // namespace

TEST_F(Display, DialogControlsTakeTheSystemFontSizeForTheirScale) {
  // A toolkit size unlike both system sizes, so a control that keeps it is told apart.
  gchar* oldFont = nullptr;
  g_object_get(gtk_settings_get_default(), "gtk-font-name", &oldFont, NULL);
  g_object_set(gtk_settings_get_default(), "gtk-font-name", "Sans 13", NULL);
  const int themeSize = 13;
  struct Case {
    float scale;
    int points;  // 0: the toolkit's own size
  } cases[] = {{0.9f, 8}, {1.5f, 10}, {1.9f, 0}};
  for (const Case& c : cases) {
    HWND v = WINX_CreateWindowView(nullptr, nullptr, recordProc, 0);
    WINX_MakeSetCurParms(c.scale, c.scale, 0, 0, v, false, false);
    const int want = c.points ? c.points : themeSize;
    EXPECT_EQ(want, widgetFontPoints(WINX_MakeLabel(-1, "Name", 1, 0, 0, 40, 8, 0))) << c.scale;
    EXPECT_EQ(want, widgetFontPoints(WINX_MakeButton(0, "OK", 2, 0, 20, 40, 14, 0))) << c.scale;
    EXPECT_EQ(want, widgetFontPoints(WINX_MakeEditField(3, 0, 40, 40, 12, 0))) << c.scale;
    EXPECT_EQ(want, widgetFontPoints(WINX_MakeCheckBox("On", 4, 0, 60, 40, 12, 0))) << c.scale;
    EXPECT_EQ(want, widgetFontPoints(WINX_MakeControl("Static", 5, "static", 0, 0, 80, 40, 8, 0))) << c.scale;
    EXPECT_EQ(10, widgetFontPoints(WINX_MakeCombo(6, 0, 100, 40, 0, 3))) << c.scale;
    EXPECT_EQ(10, widgetFontPoints(WINX_MakeCombo(7, 0, 120, 40, 0, 1))) << c.scale;
    DestroyWindow(v);
  }
  g_object_set(gtk_settings_get_default(), "gtk-font-name", oldFont, NULL);
  g_free(oldFont);
}

namespace {

GtkWidget* findChild(GtkWidget* w, GType type) {
  if (G_TYPE_CHECK_INSTANCE_TYPE(w, type)) return w;
  if (!GTK_IS_CONTAINER(w)) return nullptr;
  GtkWidget* found = nullptr;
  GList* kids = gtk_container_get_children(GTK_CONTAINER(w));
  for (GList* l = kids; l && !found; l = l->next) found = findChild(GTK_WIDGET(l->data), type);
  g_list_free(kids);
  return found;
}

GtkWidget* nthItem(GtkWidget* shell, int n) {
  GList* kids = gtk_container_get_children(GTK_CONTAINER(shell));
  GtkWidget* w = (GtkWidget*)g_list_nth_data(kids, (guint)n);
  g_list_free(kids);
  return w;
}

void pressKey(GtkWidget* win, guint keyval, GdkModifierType mods) {
  GdkEvent* e = gdk_event_new(GDK_KEY_PRESS);
  e->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(win)));
  e->key.keyval = keyval;
  e->key.state = mods;
  GdkKeymapKey* keys = nullptr;
  gint n = 0;
  if (gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(gdk_display_get_default()), keyval, &keys, &n) && n)
    e->key.hardware_keycode = (guint16)keys[0].keycode;
  g_free(keys);
  gdk_event_set_device(e, gdk_seat_get_keyboard(gdk_display_get_default_seat(gdk_display_get_default())));
  gtk_widget_event(win, e);
  gdk_event_free(e);
}

std::vector<WPARAM> commands() {
  std::vector<WPARAM> c;
  for (auto& m : g_msgs)
    if (m.first == WM_COMMAND) c.push_back(m.second);
  return c;
}

}  // namespace

TEST_F(Display, MenuBarShowsTheWindowsMenuAndFiresByClickAndAccelerator) {
  HWND v = shownWindow();
  SetWindowPos(v, nullptr, 100, 100, 300, 200, SWP_NOZORDER);
  pump(50);
  HMENU file = CreatePopupMenu();
  WINX_Menu_AddMenuItem(file, "&Open...\tCtrl+O", 101, 0);
  WINX_Menu_AddMenuItem(file, "&Save", 102, 1);
  SetMenuItemModifier(file, 101, 0, 'O', FVIRTKEY | FCONTROL);
  SetMenuItemModifier(file, 102, 0, 'S', FVIRTKEY | FCONTROL);
  HMENU bar = CreatePopupMenu();
  WINX_InsertMenu(bar, 0, MF_BYPOSITION | MF_POPUP, (uintptr_t)file, "&File");
  ASSERT_EQ(1, SetMenu(v, bar));
  pump(50);
  GtkWidget* win = WINX_ValidWindow(v)->toplevel;
  GtkWidget* gbar = findChild(win, GTK_TYPE_MENU_BAR);
  ASSERT_NE(nullptr, gbar);
  GtkWidget* fileItem = nthItem(gbar, 0);
  ASSERT_NE(nullptr, fileItem);
  EXPECT_STREQ("File", gtk_menu_item_get_label(GTK_MENU_ITEM(fileItem)));
  // The bar sits above the view: the client area keeps its size.
  EXPECT_EQ(200, gtk_widget_get_allocated_height(WINX_ValidWindow(v)->drawingArea));
  RECT client;
  GetClientRect(v, &client);
  EXPECT_EQ(200, client.bottom);

  // By click: open File, choose Open.
  g_msgs.clear();
  gtk_menu_shell_select_item(GTK_MENU_SHELL(gbar), fileItem);
  pump(50);
  GtkWidget* sub = gtk_menu_item_get_submenu(GTK_MENU_ITEM(fileItem));
  ASSERT_NE(nullptr, sub);
  gtk_menu_shell_activate_item(GTK_MENU_SHELL(sub), nthItem(sub, 0), TRUE);
  pump(50);
  EXPECT_EQ(std::vector<WPARAM>{101}, commands());
  gtk_menu_shell_deactivate(GTK_MENU_SHELL(gbar));

  // By accelerator; the disabled Save answers only once it is enabled.
  g_msgs.clear();
  pressKey(win, GDK_KEY_o, GDK_CONTROL_MASK);
  pressKey(win, GDK_KEY_s, GDK_CONTROL_MASK);
  EXPECT_EQ(std::vector<WPARAM>{101}, commands());
  EnableMenuItem(bar, 102, MF_ENABLED);
  CheckMenuItem(bar, 101, MF_CHECKED);
  DrawMenuBar(v);
  g_msgs.clear();
  pressKey(win, GDK_KEY_s, GDK_CONTROL_MASK);
  EXPECT_EQ(std::vector<WPARAM>{102}, commands());
  GtkWidget* open = nthItem(gtk_menu_item_get_submenu(GTK_MENU_ITEM(nthItem(gbar, 0))), 0);
  ASSERT_TRUE(GTK_IS_CHECK_MENU_ITEM(open));
  EXPECT_TRUE(gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(open)));

  // Without a menu the bar goes and the window keeps its client size.
  SetMenu(v, nullptr);
  DestroyMenu(bar);
  pump(50);
  gbar = findChild(win, GTK_TYPE_MENU_BAR);
  EXPECT_TRUE(!gbar || !gtk_widget_get_visible(gbar));
  EXPECT_EQ(200, gtk_widget_get_allocated_height(WINX_ValidWindow(v)->drawingArea));
  DestroyWindow(v);
}
