// The GTK binding on a real X display (the test script starts Xvfb): an (offscreen) window with
// a host's container, synthetic mouse and key events, the repaint timer, menus, the value field, and a
// screenshot of a test panel for a person to look at (gui-panel.png in the working folder).
#include <gtk/gtk.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "CairoTestImages.h"
#include "ControlLayer.h"
#include "GuiTestSupport.h"
#include "IControls.h"
#include "IGraphicsGtk.h"
#include "IGraphicsGtkView.h"

namespace fs = std::filesystem;

namespace {

bool haveDisplay() {
  // The accessibility bridge keeps a D-Bus connection whose buffers LeakSanitizer reports at
  // exit; these tests do not need it.
  setenv("NO_AT_BRIDGE", "1", 0);
  // File panels store their settings through GSettings; without a session bus dconf would try
  // to start one for every change.
  setenv("GSETTINGS_BACKEND", "memory", 0);
  static const bool ok = gtk_init_check(nullptr, nullptr);
  return ok;
}

// Runs the main loop for about ms milliseconds (timers and redraws included).
void pump(int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
    g_usleep(2000);
  }
}

class RecordingGtkGraphics : public IGraphicsGtk {
public:
  using IGraphicsGtk::IGraphicsGtk;
  bool DrawScreen(IRECT* rect) override {
    screenRects.push_back(*rect);
    return IGraphicsGtk::DrawScreen(rect);
  }
  std::vector<IRECT> screenRects;
};

// Knob strip of n stacked 40 x 40 frames: a dark disc with a light pointer, as PNG.
void writeKnobStrip(const fs::path& file, int n) {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 40, 40 * n);
  cairo_t* cr = cairo_create(s);
  for (int i = 0; i < n; ++i) {
    const double cy = 40.0 * i + 20.0, a = -2.356 + 4.712 * i / (n - 1);
    cairo_set_source_rgb(cr, 0.16, 0.17, 0.2);
    cairo_arc(cr, 20, cy, 17, 0, 2 * M_PI);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0.95, 0.75, 0.2);
    cairo_set_line_width(cr, 3);
    cairo_move_to(cr, 20 + 5 * std::sin(a), cy - 5 * std::cos(a));
    cairo_line_to(cr, 20 + 15 * std::sin(a), cy - 15 * std::cos(a));
    cairo_stroke(cr);
  }
  cairo_destroy(cr);
  cairo_surface_write_to_png(s, file.c_str());
  cairo_surface_destroy(s);
}

// A window holding a box (the host's container) with an editor of 360 x 200 in it: a panel
// background, a knob bound to parameter 0, a caption of parameter 1, a text control and a
// recording control for keys.
struct Editor {
  fs::path res;
  GuiTestPlug plug;
  RecordingGtkGraphics* g;
  GtkWidget* window = nullptr;
  GtkWidget* box = nullptr;
  IKnobMultiControl* knob = nullptr;
  std::vector<std::string> log;
  RecordingControl* keys = nullptr;
  static int instances;
  static inline Editor* newest = nullptr;

  Editor() {
    res = fs::temp_directory_path() / ("gui-display-" + std::to_string(getpid()) + "-" + std::to_string(instances++));
    fs::create_directories(res);
    writeKnobStrip(res / "knob.png", 31);
    writeSolidPng((res / "handle.png").c_str(), 24, 12, 0.8, 0.8, 0.85);
    plug.GetParam(0)->InitDouble("Cutoff", 0.0, 0.0, 127.0, 1.0);
    plug.GetParam(1)->InitEnum("Shape", 1, 3);
    plug.GetParam(1)->SetDisplayText(0, "Saw");
    plug.GetParam(1)->SetDisplayText(1, "Square");
    plug.GetParam(1)->SetDisplayText(2, "Noise");
    plug.GetParam(2)->InitDouble("Level", 64.0, 0.0, 127.0, 1.0);
    g = new RecordingGtkGraphics(&plug, 360, 200);
    g->SetResourcesPath(res.c_str());
    IColor panel(255, 46, 52, 64);
    g->AttachPanelBackground(&panel);
    IBitmap knobBm = g->LoadIBitmap(201, "resources/img/knob.png", 1.0, 31);
    knob = new IKnobMultiControl(&plug, 40, 60, 0, &knobBm);
    g->AttachControl(knob);
    IText label(14, IColor(255, 230, 230, 230));
    auto* cap = new ICaptionControl(&plug, IRECT(120, 60, 240, 80), 1, &label, true);
    cap->SetPromptDisabled(false);
    g->AttachControl(cap);
    IBitmap handle = g->LoadIBitmap(202, "resources/img/handle.png", 1.0);
    g->AttachControl(new IFaderControl(&plug, 280, 30, 140, 2, &handle));
    g->AttachControl(new ITextControl(&plug, IRECT(20, 150, 260, 180), &label, "Sorvanta Editor"));
    keys = new RecordingControl(&plug, IRECT(300, 180, 360, 200), "keys", &log);
    g->AttachControl(keys);
    plug.AttachGraphics(g);
    // Offscreen: test processes run side by side on one X server, and windows of others
    // overlapping ours would expose (and repaint) parts of it at random.
    window = gtk_offscreen_window_new();
    box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_container_add(GTK_CONTAINER(window), box);
    g->OpenWindow(box);
    gtk_widget_show_all(window);
    newest = this;
    pump(150);
  }
  ~Editor() {
    if (window) gtk_widget_destroy(window);
    pump(10);
    std::error_code ec;
    fs::remove_all(res, ec);
  }
  GtkWidget* area() { return g->GetView()->GetDrawingArea(); }

  // A synthetic event for the drawing area's window; the caller fills the rest.
  GdkEvent* newEvent(GdkEventType type) {
    GdkEvent* ev = gdk_event_new(type);
    ev->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(area())));
    return ev;
  }
  void send(GdkEvent* ev) {
    gtk_widget_event(area(), ev);
    gdk_event_free(ev);
  }
  void button(GdkEventType type, int button, double x, double y, guint state, guint32 time) {
    GdkEvent* ev = newEvent(type);
    ev->button.button = static_cast<guint>(button);
    ev->button.x = x;
    ev->button.y = y;
    ev->button.state = state;
    ev->button.time = time;
    send(ev);
  }
  void motion(double x, double y, guint state) {
    GdkEvent* ev = newEvent(GDK_MOTION_NOTIFY);
    ev->motion.x = x;
    ev->motion.y = y;
    ev->motion.state = state;
    send(ev);
  }
  void scroll(double x, double y, GdkScrollDirection dir) {
    GdkEvent* ev = newEvent(GDK_SCROLL);
    ev->scroll.x = x;
    ev->scroll.y = y;
    ev->scroll.direction = dir;
    send(ev);
  }
  bool key(guint keyval) {
    GdkEvent* ev = newEvent(GDK_KEY_PRESS);
    ev->key.keyval = keyval;
    gboolean handled = FALSE;
    g_signal_emit_by_name(area(), "key-press-event", ev, &handled);
    gdk_event_free(ev);
    return handled;
  }
};
int Editor::instances = 0;

}  // namespace

#define REQUIRE_DISPLAY() \
  if (!haveDisplay()) GTEST_SKIP() << "no X display"

TEST(GtkDisplay, ClickAndDragOnAKnobChangesItsParameterThroughTheGuiRoad) {
  REQUIRE_DISPLAY();
  Editor e;
  ASSERT_TRUE(e.g->WindowIsOpen());
  ASSERT_TRUE(gtk_widget_get_mapped(e.area()));
  e.button(GDK_BUTTON_PRESS, 1, 60, 80, 0, 1000);
  e.motion(60, 70, GDK_BUTTON1_MASK);
  e.motion(60, 50, GDK_BUTTON1_MASK);
  e.button(GDK_BUTTON_RELEASE, 1, 60, 50, GDK_BUTTON1_MASK, 1100);
  // 30 px up on a 40 px knob with gearing 4: 30 / 40 / 4 of the range.
  EXPECT_NEAR(e.knob->GetValue(), 30.0 / 160.0, 1e-9);
  EXPECT_NEAR(e.plug.GetParam(0)->Value(), 127.0 * 30.0 / 160.0, 1e-9);
  ASSERT_FALSE(e.plug.changes.empty());
  EXPECT_EQ(e.plug.changes.back(), 0);
  EXPECT_EQ(e.plug.begins, std::vector<int>{0});
  EXPECT_EQ(e.plug.ends, std::vector<int>{0});
}

TEST(GtkDisplay, TimerRedrawsOnlyTheDirtyRectangle) {
  REQUIRE_DISPLAY();
  int framePaints = 0, idleTurns = 0;
  std::atomic<int> runs{0};  // outlives the editor: its close runs the work still queued
  Editor e;
  e.g->AddIdleWork(&idleTurns, [&] { return ++idleTurns, false; });  // as the librarian lays out ahead
  // Let the window's first full repaints settle: 150 ms without any copy to the screen.
  for (int i = 0; i < 40; ++i) {
    e.g->screenRects.clear();
    pump(150);
    if (e.g->screenRects.empty()) break;
  }
  ASSERT_TRUE(e.g->screenRects.empty());
  EXPECT_GT(idleTurns, 0);
  // Painted in the frame clock's cycle, GDK would hold pointer motion back to the next frame.
  g_signal_connect(gtk_widget_get_frame_clock(e.area()), "paint",
                   G_CALLBACK(+[](GdkFrameClock*, gpointer n) { ++*static_cast<int*>(n); }), &framePaints);
  e.g->SetParameterFromPlug(0, 0.5, true);
  for (int i = 0; i < 100 && e.g->screenRects.empty(); ++i) pump(20);
  // A pushed value also requests a redraw, so the control stays dirty one more frame.
  pump(200);
  ASSERT_FALSE(e.g->screenRects.empty());
  for (const IRECT& r : e.g->screenRects) EXPECT_EQ(r, *e.knob->GetRECT());
  EXPECT_EQ(framePaints, 0);
  e.g->screenRects.clear();
  pump(100);  // nothing dirty: nothing drawn
  EXPECT_TRUE(e.g->screenRects.empty());
  // Resting, the view draws a value pushed on another thread in the main loop's next turn, not at
  // its resting tick's; pushed as part of a message, once the message is handled whole.
  for (int i = 0; i < 200 && !e.g->GetView()->Resting(); ++i) pump(10);
  ASSERT_TRUE(e.g->GetView()->Resting());
  bool wokeHalfWay = true;
  std::thread([&] {
    IGraphics::WakeBatch message;
    e.g->SetParameterFromPlug(0, 0.25, true);
    wokeHalfWay = e.g->WakePending();
  }).join();
  EXPECT_FALSE(wokeHalfWay);
  while (e.g->screenRects.empty() && g_main_context_iteration(nullptr, FALSE)) {
  }
  EXPECT_FALSE(e.g->screenRects.empty());
  EXPECT_FALSE(e.g->WakePending());
  // Work queued on another thread wakes the resting view too. Queued without a pause, it is taken
  // at most once a refresh interval by the wakes, besides the tick's own turns: two a frame.
  for (int i = 0; i < 200 && !e.g->GetView()->Resting(); ++i) pump(10);
  std::thread([&] { e.g->RunOnWindowThread(&runs, 1, [&] { ++runs; }); }).join();
  while (runs == 0 && g_main_context_iteration(nullptr, FALSE)) {
  }
  EXPECT_EQ(runs.load(), 1) << "queued work did not wake the view";
  std::atomic<bool> flooding{true};
  std::thread flood([&] {
    while (flooding) e.g->RunOnWindowThread(&runs, 1, [&] { ++runs; });
  });
  const gint64 from = g_get_monotonic_time();
  for (int turns = 0; turns < 20000; ++turns) g_main_context_iteration(nullptr, FALSE);
  const gint64 frames = (g_get_monotonic_time() - from) / (1000 * e.g->GetView()->FrameIntervalMs());
  flooding = false;
  flood.join();
  EXPECT_LE(runs.load(), 1 + 2 * (frames + 2)) << "over " << frames << " frames";
}

TEST(GtkDisplay, DoubleClickIsNotASecondPressAndKeysFollowThePointer) {
  REQUIRE_DISPLAY();
  Editor e;
  e.button(GDK_BUTTON_PRESS, 1, 310, 190, 0, 5000);
  e.button(GDK_BUTTON_RELEASE, 1, 310, 190, GDK_BUTTON1_MASK, 5050);
  e.button(GDK_BUTTON_PRESS, 1, 310, 190, 0, 5100);
  e.button(GDK_2BUTTON_PRESS, 1, 310, 190, 0, 5100);
  e.button(GDK_BUTTON_RELEASE, 1, 310, 190, GDK_BUTTON1_MASK, 5150);
  EXPECT_TRUE(e.key(GDK_KEY_7));
  EXPECT_FALSE(e.key(GDK_KEY_Tab));  // not ours: goes on to the host
  std::vector<std::string> input;
  for (const std::string& s : e.log)
    if (s != "keys:draw") input.push_back(s);
  EXPECT_EQ(input, (std::vector<std::string>{"keys:down", "keys:up", "keys:dbl", "keys:up", "keys:key 12"}));
}

TEST(GtkDisplay, ArrowKeysStayInTheViewEvenWhenNoControlTakesThem) {
  // Declined, an arrow key would move GTK's focus to the host's next widget (its tempo field,
  // which the following arrow then changes). Other keys nobody uses go on to the host.
  REQUIRE_DISPLAY();
  Editor e;
  e.motion(10, 10, 0);  // over no control
  for (guint k : {GDK_KEY_Up, GDK_KEY_Down, GDK_KEY_Left, GDK_KEY_Right, GDK_KEY_KP_Up, GDK_KEY_KP_Left})
    EXPECT_TRUE(e.key(k)) << k;
  EXPECT_FALSE(e.key(GDK_KEY_Tab));
  EXPECT_FALSE(e.key(GDK_KEY_F5));
}

TEST(GtkDisplay, MenuReturnsTheSubmenuHoldingTheChoice) {
  REQUIRE_DISPLAY();
  IPopupMenu sub;
  sub.AddItem("inner 1");
  sub.AddItem("inner 2");
  IPopupMenu top;
  top.SetPrefix(2);
  top.AddItem("a");
  top.AddItem("b");
  top.AddItem("c", -1, IPopupMenuItem::kChecked);
  top.AddSeparator();
  top.AddItem("more", &sub);
  IGraphicsGtkView::MenuChoice choice;
  GtkWidget* menu = IGraphicsGtkView::BuildMenu(&top, &choice);
  g_object_ref_sink(menu);
  GList* items = gtk_container_get_children(GTK_CONTAINER(menu));
  ASSERT_EQ(g_list_length(items), 5u);
  GtkWidget* third = GTK_WIDGET(g_list_nth_data(items, 2));
  EXPECT_STREQ(gtk_menu_item_get_label(GTK_MENU_ITEM(third)), "03: c");
  EXPECT_TRUE(GTK_IS_CHECK_MENU_ITEM(third));
  EXPECT_TRUE(GTK_IS_SEPARATOR_MENU_ITEM(g_list_nth_data(items, 3)));
  GtkWidget* submenu = gtk_menu_item_get_submenu(GTK_MENU_ITEM(g_list_nth_data(items, 4)));
  ASSERT_NE(submenu, nullptr);
  GList* subItems = gtk_container_get_children(GTK_CONTAINER(submenu));
  gtk_menu_item_activate(GTK_MENU_ITEM(g_list_nth_data(subItems, 1)));
  EXPECT_EQ(choice.menu, &sub);
  EXPECT_EQ(choice.index, 1);
  g_list_free(subItems);
  g_list_free(items);
  gtk_widget_destroy(menu);
  g_object_unref(menu);
}

namespace {
struct MenuScript {
  Editor* e;
  int pick;
  bool closeWindow = false;  // before it picks
  size_t drawsWhileOpen = 0;
  bool menuSeen = false, clickedBehind = false;
  guint menusAtOnce = 0;
  int handedOver = 0, handedOverWhileOpen = -1;
  guint source = 0;  // removed with the script: a failed test leaves nothing to fire in the next
  gint64 deadline = g_get_monotonic_time() + 10 * G_USEC_PER_SEC;
  ~MenuScript() {
    if (source) g_source_remove(source);
  }
};
// Every 10 ms in the menu's loop, by what it finds (a busy machine took over 300 ms to open the
// menu): once the menu is open it dirties the knob, hands work over from another thread (twice under
// one name) and clicks behind the menu; it picks once that click is in and the timer has repainted
// the knob (or 10 s have passed).
gboolean pickFromMenu(gpointer p) {
  auto* s = static_cast<MenuScript*>(p);
  GList* menus = gtk_menu_get_for_attach_widget(s->e->area());
  if (menus && !s->menuSeen) {
    s->menuSeen = true;
    s->e->g->screenRects.clear();
    s->e->g->SetParameterFromPlug(0, 0.9, true);
    std::thread([s] {
      for (int i = 0; i < 2; ++i) s->e->g->RunOnWindowThread(s, 1, [s] { ++s->handedOver; });
    }).join();
    s->e->g->RunOnWindowThread(s, 2, [s] { ++s->handedOver; });  // the menu's own thread waits too
    // From a source of its own: a second menu would run its loop inside it; this script closes both.
    g_idle_add(
        [](gpointer q) {
          static_cast<MenuScript*>(q)->e->button(GDK_BUTTON_PRESS, 1, 150, 70, 0, 9200);
          static_cast<MenuScript*>(q)->clickedBehind = true;
          return G_SOURCE_REMOVE;
        },
        s);
    return G_SOURCE_CONTINUE;
  }
  s->drawsWhileOpen = s->e->g->screenRects.size();
  if (!menus || !s->clickedBehind || (s->drawsWhileOpen == 0 && g_get_monotonic_time() < s->deadline))
    return G_SOURCE_CONTINUE;
  s->handedOverWhileOpen = s->handedOver;
  s->menusAtOnce = g_list_length(menus);
  for (GList* m = menus; m && s->menusAtOnce > 1; m = m->next) gtk_menu_shell_deactivate(GTK_MENU_SHELL(m->data));
  if (s->menusAtOnce == 1) {
    GtkWidget* menu = GTK_WIDGET(menus->data);
    GList* items = gtk_container_get_children(GTK_CONTAINER(menu));
    gtk_menu_item_activate(GTK_MENU_ITEM(g_list_nth_data(items, static_cast<guint>(s->pick))));
    g_list_free(items);
    if (s->closeWindow) gtk_widget_destroy(std::exchange(s->e->window, nullptr));
    gtk_menu_shell_deactivate(GTK_MENU_SHELL(menu));
  }
  s->source = 0;
  return G_SOURCE_REMOVE;
}
// Clicks the caption until its menu has been open (a press returns when the menu has closed). While
// another client of a shared display holds the pointer (a test beside this one with its own menu
// open) the menu cannot take it and does not open: as a user would, click again once it is free.
void clickUntilTheMenuOpened(MenuScript& s) {
  for (int tries = 0; !s.menuSeen && tries < 1000; ++tries) {
    if (tries > 0) pump(100);
    s.e->button(GDK_BUTTON_PRESS, 1, 150, 70, 0, 9000);
  }
}
}  // namespace

TEST(GtkDisplay, CaptionClickOpensAModalMenuWhileTheTimerKeepsRepainting) {
  REQUIRE_DISPLAY();
  Editor e;
  MenuScript script{&e, 2};
  script.source = g_timeout_add(10, pickFromMenu, &script);
  clickUntilTheMenuOpened(script);
  e.button(GDK_BUTTON_RELEASE, 1, 150, 70, GDK_BUTTON1_MASK, 9400);
  EXPECT_EQ(script.menusAtOnce, 1u) << "a click behind the menu opened another";
  EXPECT_TRUE(script.menuSeen);
  EXPECT_GT(script.drawsWhileOpen, 0u);
  EXPECT_DOUBLE_EQ(e.plug.GetParam(1)->Value(), 2.0);
  EXPECT_EQ(e.plug.changes, std::vector<int>{1});
  EXPECT_EQ(script.handedOverWhileOpen, 0);
  for (int i = 0; i < 2500 && script.handedOver < 2; ++i) pump(2);
  EXPECT_EQ(script.handedOver, 2) << "the next tick runs the newest of the thread's two once, and the menu thread's";
}

// The host's window closed while a menu is open: what was handed over runs as the menu's loop
// ends, not at the next open, and the closed window's menu chooses nothing.
TEST(GtkDisplay, AWindowClosedUnderAMenuRunsItsQueueWhenTheMenuEnds) {
  REQUIRE_DISPLAY();
  Editor e;
  MenuScript script{&e, 2, true};
  script.source = g_timeout_add(10, pickFromMenu, &script);
  clickUntilTheMenuOpened(script);
  EXPECT_EQ(script.handedOver, 2);
  EXPECT_TRUE(e.plug.changes.empty());
}

TEST(GtkDisplay, ValueFieldFiltersCharactersLimitsLengthAndApplies) {
  REQUIRE_DISPLAY();
  Editor e;
  IGraphicsGtkView* view = e.g->GetView();
  IRECT r(40, 70, 80, 86);
  e.g->CreateTextEntry(e.knob, e.knob->GetText(), &r, "12", e.plug.GetParam(0));
  GtkWidget* entry = view->GetTextEntry();
  ASSERT_NE(entry, nullptr);
  gint pos = 2;
  gtk_editable_insert_text(GTK_EDITABLE(entry), "a", 1, &pos);  // a letter in a number field
  EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(entry)), "12");
  gtk_editable_insert_text(GTK_EDITABLE(entry), "0", 1, &pos);
  EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(entry)), "120");
  e.motion(100, 100, GDK_BUTTON1_MASK);  // drags are ignored while the field is open
  EXPECT_TRUE(e.plug.changes.empty());
  g_signal_emit_by_name(entry, "activate");
  EXPECT_EQ(view->GetTextEntry(), nullptr);
  EXPECT_DOUBLE_EQ(e.plug.GetParam(0)->Value(), 120.0);

  // Sixteen characters at most.
  e.g->CreateTextEntry(e.knob, e.knob->GetText(), &r, "", e.plug.GetParam(0));
  entry = view->GetTextEntry();
  pos = 0;
  gtk_editable_insert_text(GTK_EDITABLE(entry), "12345678901234567", 17, &pos);
  EXPECT_EQ(std::string(gtk_entry_get_text(GTK_ENTRY(entry))).size(), 16u);
  // A wheel turn closes the field without applying it.
  e.scroll(300, 20, GDK_SCROLL_UP);
  EXPECT_EQ(view->GetTextEntry(), nullptr);
  EXPECT_DOUBLE_EQ(e.plug.GetParam(0)->Value(), 120.0);
  // Escape closes it without applying it too.
  e.g->CreateTextEntry(e.knob, e.knob->GetText(), &r, "77", e.plug.GetParam(0));
  GdkEvent* esc = gdk_event_new(GDK_KEY_PRESS);
  esc->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(view->GetTextEntry())));
  esc->key.keyval = GDK_KEY_Escape;
  gtk_widget_event(view->GetTextEntry(), esc);
  gdk_event_free(esc);
  EXPECT_EQ(view->GetTextEntry(), nullptr);
  EXPECT_DOUBLE_EQ(e.plug.GetParam(0)->Value(), 120.0);
}

namespace {
// Answers the first dialog that appears with the given response.
struct DialogScript {
  explicit DialogScript(int r) : response(r) {}
  int response;
  bool seen = false, modal = false;  // modal: the newest editor's window knew it was under it
};
gboolean answerDialog(gpointer p) {
  auto* s = static_cast<DialogScript*>(p);
  GList* tops = gtk_window_list_toplevels();
  for (GList* l = tops; l; l = l->next) {
    if (!GTK_IS_DIALOG(l->data) || !gtk_widget_get_visible(GTK_WIDGET(l->data))) continue;
    s->seen = true;
    s->modal = Editor::newest->g->InModal();
    gtk_dialog_response(GTK_DIALOG(l->data), s->response);
    break;
  }
  g_list_free(tops);
  return s->seen ? G_SOURCE_REMOVE : G_SOURCE_CONTINUE;
}
}  // namespace

TEST(GtkDisplay, MessageBoxAnswersWithTheWin32Codes) {
  REQUIRE_DISPLAY();
  Editor e;
  DialogScript no(7);
  g_timeout_add(50, answerDialog, &no);
  EXPECT_EQ(e.g->ShowMessageBox("Overwrite the bank?", "Sorvanta Editor", 4), 7);
  EXPECT_TRUE(no.modal);
  DialogScript yes(1);
  g_timeout_add(50, answerDialog, &yes);
  EXPECT_EQ(e.g->ShowMessageBox("Overwrite the bank?", "Sorvanta Editor", 4), 1);
  DialogScript cancel(2);
  g_timeout_add(50, answerDialog, &cancel);
  EXPECT_EQ(e.g->ShowMessageBox("Send all parts?", "Sorvanta Editor", 3), 2);
}

TEST(GtkDisplay, CancelledSavePanelEmptiesTheNameAndKeepsTheDesktopFolder) {
  REQUIRE_DISPLAY();
  Editor e;
  char ext[] = "mid";
  UTIL_String file("My Bank"), dir("");
  DialogScript cancel(GTK_RESPONSE_CANCEL);
  g_timeout_add(50, answerDialog, &cancel);
  e.g->PromptForFile(&file, kFileSave, &dir, ext);
  EXPECT_TRUE(cancel.seen && cancel.modal);
  EXPECT_STREQ(file.Get(), "");
  EXPECT_STREQ(dir.Get(), "~/Desktop");

}

TEST(GtkDisplay, DestroyingTheHostContainerClosesTheViewAndReopeningLeavesOne) {
  REQUIRE_DISPLAY();
  Editor e;
  GtkWidget* first = static_cast<GtkWidget*>(e.g->OpenWindow(e.box));
  GtkWidget* second = static_cast<GtkWidget*>(e.g->OpenWindow(e.box));
  ASSERT_NE(second, nullptr);
  (void)first;
  GList* kids = gtk_container_get_children(GTK_CONTAINER(e.box));
  EXPECT_EQ(g_list_length(kids), 1u);
  g_list_free(kids);
  IRECT r(40, 70, 80, 86);  // an open value field goes down with its container, unapplied
  e.g->CreateTextEntry(e.knob, e.knob->GetText(), &r, "99", e.plug.GetParam(0));
  ASSERT_NE(e.g->GetView()->GetTextEntry(), nullptr);
  gtk_widget_destroy(e.window);
  e.window = nullptr;
  EXPECT_FALSE(e.g->WindowIsOpen());
  EXPECT_TRUE(e.plug.changes.empty());
  pump(60);  // a timer still running would touch freed widgets here
}

TEST(GtkDisplay, ScreenshotOfATestPanel) {
  REQUIRE_DISPLAY();
  Editor e;
  e.g->SetParameterFromPlug(0, 0.7, true);
  e.g->SetParameterFromPlug(2, 0.3, true);
  pump(200);
  GdkPixbuf* shot = gtk_offscreen_window_get_pixbuf(GTK_OFFSCREEN_WINDOW(e.window));
  ASSERT_NE(shot, nullptr);
  const char* dir = std::getenv("SORVANTA_SCREENSHOT_DIR");
  const std::string path = std::string(dir ? dir : ".") + "/gui-panel.png";
  EXPECT_TRUE(gdk_pixbuf_save(shot, path.c_str(), "png", nullptr, nullptr));
  // The panel colour shows at a corner, the knob's disc differs from it.
  const guchar* px = gdk_pixbuf_get_pixels(shot);
  const int stride = gdk_pixbuf_get_rowstride(shot), nch = gdk_pixbuf_get_n_channels(shot);
  EXPECT_EQ(px[0], 46);
  EXPECT_EQ(px[1], 52);
  EXPECT_EQ(px[2], 64);
  const guchar* disc = px + 65 * stride + 60 * nch;
  EXPECT_NE(disc[2], 64);
  g_object_unref(shot);
}
