// Running a menu as a pop-up on screen (GTK). Main thread only.
#pragma once

#include <gtk/gtk.h>

#include "WINX_Menu.h"

struct WINX_MenuTrackHooks {
  void* ctx;
  // Called for every submenu before the pop-up is built (WM_INITMENUPOPUP of the submenu).
  void (*onSubmenu)(void* ctx, HMENU submenu);
  // Called once the GtkMenu is on screen (tests drive it from here or from a timeout).
  void (*onShown)(void* ctx, GtkWidget* gtkMenu);
};

// Shows menu at (x, y) in anchor's coordinates (at the pointer without an anchor) and runs it until
// it is dismissed. Returns the chosen item's tag, 0 when none was chosen, when the menu is dead
// or when another pop-up is already running.
int WINX_Menu_RunPopup(HMENU menu, GtkWidget* anchor, int x, int y, const WINX_MenuTrackHooks* hooks);

// The GtkMenu on screen while WINX_Menu_RunPopup runs, else null.
GtkWidget* WINX_Menu_GetTrackingWidget();

// Appends one widget per item of menu to shell (a GtkMenu or GtkMenuBar), submenus as nested
// GtkMenus. Every command item carries its tag as the object data "winx-tag" and calls
// onActivate(item, data) when chosen. With accel, key equivalents become accelerators of that
// group (they fire while the item is enabled); without, they are only shown.
void WINX_Menu_FillShell(GtkWidget* shell, HMENU menu, void (*onActivate)(GtkMenuItem*, gpointer), gpointer data,
                         GtkAccelGroup* accel);
// The GDK key value of an item's key equivalent (a Cocoa key character); 0 for none.
guint WINX_Menu_Keyval(unsigned key);
