// Pop-up menus on screen: a GtkMenu built from a menu record, shown and run in a nested main
// loop until it is dismissed. Main thread only; needs an initialised GTK.
#include <gtk/gtk.h>

#include <string>

#include "WINX_GDI.h"
#include "WINX_MenuInternal.h"
#include "WINX_MenuTrack.h"

namespace {

struct TrackState {
  GMainLoop* loop = nullptr;
  int chosen = 0;                  // tag of the chosen item, 0 until one is chosen
  const WINX_MenuTrackHooks* hooks = nullptr;
};

GtkWidget* g_trackingMenu = nullptr;  // the menu on screen, for tests that drive it

void onItemActivate(GtkMenuItem* item, gpointer data) {
  // The record may have been changed by a handler since the widget was built, so the widget
  // carries only the tag, and the receiver of this track stores it.
  TrackState* st = (TrackState*)data;
  int tag = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(item), "winx-tag"));
  if (st && tag) st->chosen = tag;
}

// Announces every submenu before the widgets are built (the handler may add or remove items),
// depth first. Positions are re-read after each call because the handler may change the menu.
void announceSubmenus(HMENU menu, const WINX_MenuTrackHooks* hooks, int depth) {
  if (!hooks || !hooks->onSubmenu || depth > 32) return;
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    HMENU sub = GetSubMenu(menu, i);
    if (!sub) continue;
    hooks->onSubmenu(hooks->ctx, sub);
    if (WINX_IsMenu(sub)) announceSubmenus(sub, hooks, depth + 1);
    if (!WINX_IsMenu(menu)) return;
  }
}

GdkModifierType keyMods(const WINX_MenuItemRec* it) {
  guint mods = 0;
  if (it->keyModifiers & WINX_MENUKEY_SHIFT) mods |= GDK_SHIFT_MASK;
  if (it->keyModifiers & (WINX_MENUKEY_CONTROL | WINX_MENUKEY_COMMAND)) mods |= GDK_CONTROL_MASK;
  if (it->keyModifiers & WINX_MENUKEY_OPTION) mods |= GDK_MOD1_MASK;
  // An upper-case key equivalent carries its shift in the letter; GTK wants it in the mask.
  if (g_unichar_isupper((gunichar)it->key)) mods |= GDK_SHIFT_MASK;
  return (GdkModifierType)mods;
}

void onDeactivate(GtkMenuShell*, gpointer data) {
  TrackState* st = (TrackState*)data;
  // "activate" of the chosen item is emitted after "deactivate"; quit from idle so it lands.
  g_idle_add([](gpointer d) -> gboolean {
    GMainLoop* loop = (GMainLoop*)d;
    if (g_main_loop_is_running(loop)) g_main_loop_quit(loop);
    return G_SOURCE_REMOVE;
  }, st->loop);
}

}  // namespace

GtkWidget* WINX_Menu_GetTrackingWidget() { return g_trackingMenu; }

guint WINX_Menu_Keyval(unsigned key) {
  if (key >= 0xF704 && key <= 0xF70F) return GDK_KEY_F1 + (key - 0xF704);
  switch (key) {
    case 0: return 0;
    case 8: return GDK_KEY_BackSpace;
    case 127: return GDK_KEY_Delete;
    case 0xF700: return GDK_KEY_Up;
    case 0xF701: return GDK_KEY_Down;
    case 0xF702: return GDK_KEY_Left;
    case 0xF703: return GDK_KEY_Right;
    case 0xF727: return GDK_KEY_Insert;
    case 0xF729: return GDK_KEY_Home;
    case 0xF72B: return GDK_KEY_End;
    case 0xF72C: return GDK_KEY_Page_Up;
    case 0xF72D: return GDK_KEY_Page_Down;
    default: return gdk_keyval_to_lower(gdk_unicode_to_keyval((guint32)key));
  }
}

void WINX_Menu_FillShell(GtkWidget* shell, HMENU menu, void (*onActivate)(GtkMenuItem*, gpointer), gpointer data,
                         GtkAccelGroup* accel) {
  if (!WINX_IsMenu(menu)) return;
  for (WINX_MenuItemRec* it : menu->items) {
    GtkWidget* w;
    if (it->separator) {
      w = gtk_separator_menu_item_new();
    } else {
      if (it->checked) {
        w = gtk_check_menu_item_new_with_label(it->title.c_str());
        gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(w), TRUE);
      } else {
        w = gtk_menu_item_new_with_label(it->title.c_str());
      }
      if (const guint keyval = WINX_Menu_Keyval(it->key)) {
        if (accel) {
          gtk_widget_add_accelerator(w, "activate", accel, keyval, keyMods(it), GTK_ACCEL_VISIBLE);
        } else {
          GtkWidget* label = gtk_bin_get_child(GTK_BIN(w));
          if (GTK_IS_ACCEL_LABEL(label)) gtk_accel_label_set_accel(GTK_ACCEL_LABEL(label), keyval, keyMods(it));
        }
      }
      gtk_widget_set_sensitive(w, it->enabled);
      if (it->submenu) {
        GtkWidget* sub = gtk_menu_new();
        if (accel) gtk_menu_set_accel_group(GTK_MENU(sub), accel);
        WINX_Menu_FillShell(sub, it->submenu, onActivate, data, accel);
        gtk_menu_item_set_submenu(GTK_MENU_ITEM(w), sub);
      } else {
        g_object_set_data(G_OBJECT(w), "winx-tag", GINT_TO_POINTER(it->tag));
        g_signal_connect(w, "activate", G_CALLBACK(onActivate), data);
      }
    }
    gtk_widget_show(w);
    gtk_menu_shell_append(GTK_MENU_SHELL(shell), w);
  }
}

int WINX_Menu_RunPopup(HMENU menu, GtkWidget* anchor, int x, int y, const WINX_MenuTrackHooks* hooks) {
  if (!WINX_IsMenu(menu) || g_trackingMenu) return 0;  // one pop-up at a time
  announceSubmenus(menu, hooks, 0);
  if (!WINX_IsMenu(menu)) return 0;
  TrackState st;
  st.hooks = hooks;
  st.loop = g_main_loop_new(nullptr, FALSE);
  GtkWidget* gm = gtk_menu_new();
  g_object_ref_sink(gm);
  WINX_Menu_FillShell(gm, menu, onItemActivate, &st, nullptr);
  g_trackingMenu = gm;
  g_signal_connect(gm, "deactivate", G_CALLBACK(onDeactivate), &st);
  GdkWindow* gw = anchor ? gtk_widget_get_window(anchor) : nullptr;
  if (gw) {
    // (x, y) is in the anchor's coordinates; a widget without a GDK window of its own (our
    // views' GtkFixed) lies at its allocation inside the window it draws into.
    if (!gtk_widget_get_has_window(anchor)) {
      GtkAllocation a;
      gtk_widget_get_allocation(anchor, &a);
      x += a.x;
      y += a.y;
    }
    GdkRectangle r = {x, y, 1, 1};
    // A menu wants the event that opened it; a programmatic pop-up makes one at the point.
    GdkEvent* trigger = gtk_get_current_event();
    if (!trigger) {
      trigger = gdk_event_new(GDK_BUTTON_PRESS);
      trigger->button.window = (GdkWindow*)g_object_ref(gw);
      trigger->button.time = GDK_CURRENT_TIME;
      trigger->button.button = 3;
      trigger->button.x = x;
      trigger->button.y = y;
      GdkSeat* seat = gdk_display_get_default_seat(gdk_window_get_display(gw));
      if (seat) gdk_event_set_device(trigger, gdk_seat_get_pointer(seat));
    }
    gtk_menu_popup_at_rect(GTK_MENU(gm), gw, &r, GDK_GRAVITY_NORTH_WEST, GDK_GRAVITY_NORTH_WEST, trigger);
    gdk_event_free(trigger);
  } else {
    gtk_menu_popup_at_pointer(GTK_MENU(gm), nullptr);
  }
  if (hooks && hooks->onShown) hooks->onShown(hooks->ctx, gm);
  // A pop-up that could not be shown (no display, no pointer to place it at) never sends
  // "deactivate": running the loop then would never return.
  if (gtk_widget_get_visible(gm)) g_main_loop_run(st.loop);
  g_trackingMenu = nullptr;
  gtk_widget_destroy(gm);
  g_object_unref(gm);
  g_main_loop_unref(st.loop);
  return st.chosen;
}

bool WINX_Menu_IconHasImage(HICON icon) {
  HGDIOBJ__* o = WINX_ValidObj(icon, WINX_GDI_BITMAP);
  return o && o->image;
}

std::string WINX_Menu_KeyText(unsigned key) {
  if (!key) return std::string();
  char buf[8] = {};
  int n = g_unichar_to_utf8((gunichar)key, buf);
  return std::string(buf, (size_t)n);
}

// ---- menus and windows -----------------------------------------------------------------------

bool WINX_Menu_AppTerminating() {
  // The layer has no quitting state of its own on GTK: a host that quits destroys its windows.
  return false;
}

namespace {

void sendWindowCommand(const WINX_MenuDestination* d, int tag) {
  HWND w = (HWND)d->ctx;
  if (!WINX_IsValidWindow(w, d->serial)) return;
  SendMessage(w, WM_COMMAND, (WPARAM)(unsigned)tag, 0);
}

HWND__* liveView(HWND hwnd) {
  HWND__* w = WINX_ValidWindow(hwnd);
  return w && w->isWindowView() ? w : nullptr;
}

// DestroyMenu as the release hook: it detaches the menu and frees it, and a freed menu stops
// being the main menu (freeMenu clears it).
struct MenuHookRegistration {
  MenuHookRegistration() {
    WINX_SetMenuHook(WINX_SetMenuDestination);
    WINX_SetMenuReleaseHook(DestroyMenu);
  }
} g_menuHookRegistration;

struct TrackNotify {
  HWND window;
  uint64_t serial;
};

void notifySubmenu(void* ctx, HMENU sub) {
  TrackNotify* n = (TrackNotify*)ctx;
  if (n->window && WINX_IsValidWindow(n->window, n->serial))
    SendMessage(n->window, WM_INITMENUPOPUP, (WPARAM)(uintptr_t)sub, 0);
}

}  // namespace

void WINX_SetMenuDestination(HMENU menu, HWND destination) {
  if (!destination) {
    WINX_SetMenuDestinationRaw(menu, nullptr);
    return;
  }
  HWND__* w = liveView(destination);
  if (!w) return;
  WINX_MenuDestination d = {sendWindowCommand, w, w->serial};
  WINX_SetMenuDestinationRaw(menu, &d);
}

int TrackPopupMenu(HMENU menu, int flags, int x, int y, int, HWND hwnd, const RECT*) {
  if (!WINX_IsMenu(menu)) return 0;
  HWND__* view = WINX_ValidWindow(hwnd);
  if (!view) view = WINX_ValidWindow(GetForegroundWindow());
  if (!view) return 0;
  HWND notify = (flags & TPM_NONOTIFY) ? nullptr : WINX_ValidWindow(hwnd);
  TrackNotify tn = {notify, notify ? notify->serial : 0};
  WINX_RetainWindow(view);  // a handler may destroy the window while the menu is up
  WINX_SetMenuDestinationRaw(menu, nullptr);
  if (notify) SendMessage(notify, WM_INITMENUPOPUP, (WPARAM)(uintptr_t)menu, 0);
  int chosen = 0;
  if (WINX_IsMenu(menu)) {
    // The point goes into the coordinates of the view's window (its top-level content view),
    // whatever child view asked: a child's own offset must not move the menu.
    HWND__* top = view;
    while (top->parent) top = top->parent;
    POINT pt = {x, y + 4};  // just below the point, as the pointer's hot spot sits on it
    ScreenToClient(top, &pt);
    WINX_MenuTrackHooks hooks = {&tn, notifySubmenu, nullptr};
    chosen = WINX_Menu_RunPopup(menu, top->widget, pt.x, pt.y, &hooks);
  }
  WINX_SetMenuDestinationRaw(menu, nullptr);
  bool windowAlive = notify && WINX_IsValidWindow(notify, tn.serial);
  WINX_ReleaseWindow(view);
  if (chosen <= 0) return 0;
  if (flags & TPM_RETURNCMD) return chosen;
  if (windowAlive) SendMessage(notify, WM_COMMAND, (WPARAM)(unsigned)chosen, 0);
  return 1;
}

int SetMenu(HWND hwnd, HMENU menu) {
  HWND__* w = liveView(hwnd);
  if (!w || WINX_Menu_AppTerminating()) return 0;
  if (menu && !WINX_IsMenu(menu)) return 0;
  HMENU old = WINX_GetMenu(w);
  if (old && old != menu) WINX_SetMenuDestinationRaw(old, nullptr);
  WINX_SetMenu(w, menu);
  if (menu) WINX_SetMenuDestination(menu, w);
  if (w->toplevel) winx_internal::syncMenuBar(w);
  HWND fg = GetForegroundWindow();
  if (fg && WINX_ValidWindow(fg) == w && w->isTopLevel() && WINX_GetCurrentMenu() != menu) {
    if (menu) {
      WINX_SetCurrentMenu(menu);
      SendMessage(w, WM_INITMENUPOPUP, (WPARAM)(uintptr_t)menu, 0);
    }
  }
  return 1;
}

HMENU GetMenu(HWND hwnd) {
  HWND__* w = liveView(hwnd);
  if (!w) return nullptr;
  HMENU m = WINX_GetMenu(w);
  return WINX_IsMenu(m) ? m : nullptr;
}

