// Dialog colours (WM_CTLCOLORBTN / WM_CTLCOLORSTATIC applied to a dialog's buttons, labels and
// group boxes) and control title colours.
//
// Toolkit mapping: a colour is a per-widget GtkCssProvider ("color: #RRGGBB") that replaces the
// theme's text colour; clearing it returns the widget to the theme.
// Main thread only.
#pragma once

#include <vector>

#include "WINX_Window.h"

// Installs the colour hook into the window core (idempotent). Template dialogs call it, which
// also keeps this file linked in wherever dialogs are built.
void WINX_InstallDialogColorHook();
// Applies the dialog procedure's colours to hwnd's children (see WINX_DoDialogColorUpdates).
void WINX_ApplyDialogColors(HWND hwnd, DLGPROC proc, bool isUpdate);
// A control's title colour: colour int, or -1 for the theme's. Set returns false for anything
// that is not a live button, label or group box.
bool WINX_SetControlTextColor(HWND hwnd, int color);
int WINX_GetControlTextColor(HWND hwnd);
// Replaces the style sheet that `key` names on widget with css (null: removes it).
void WINX_SetWidgetCss(GtkWidget* widget, const char* key, const char* css);
// The selection colours of a list or tree view (index 0/1 background/text with the focus, 2/3
// without); entries missing from the array leave the theme's colour.
void WINX_ApplySelectionColors(GtkWidget* tree, const std::vector<int>& colours);
