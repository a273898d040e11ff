// Modal dialogs, modeless windows and child dialogs made from dialog templates, and the
// default window menus.
//
// On GTK a top-level window is the GtkWindow that WINX_MakeTopLevel puts around a view; the
// view (its content view) stands for the window everywhere. A modal dialog runs in a nested
// main loop (WINX_ModalWindowStart/RunUntilStopped) and ends by EndDialog; the dialog is
// destroyed before WINX_DialogBox returns, and its view then receives WM_DESTROY exactly once.
//
// Main thread only.
#pragma once

#include "WINX_DialogTemplate.h"
#include "WINX_Menu.h"
#include "WINX_Window.h"

// WM_GETMINMAXINFO's record: five points.
struct MINMAXINFO {
  POINT ptReserved;
  POINT ptMaxSize;
  POINT ptMaxPosition;
  POINT ptMinTrackSize;
  POINT ptMaxTrackSize;
};

// Exported flag: when nonzero, owned windows are kept above their owners. On this toolkit an
// owned window is always transient for its owner, which keeps it above, so the flag is read by
// nobody; it stays for hosts that set it.
extern int WINX_owned_windows_levelincrease;

// Runs the dialog with that id as a modal dialog; its result, or -1 when it cannot be made
// (unknown id, a child-only template, no window).
int WINX_DialogBox(WINX_DialogResourceEntry* head, const char* id, HWND parent, DLGPROC proc, LPARAM param);
// Ends a modal dialog (hwnd: the dialog view or any window inside it) with result.
void EndDialog(HWND hwnd, int result);
// A modeless window or a child view from the template with that id. Ids whose bits other than
// the low four equal 0x400000 make a window without a template: bit 0 adds a sizing frame, bit
// 1 removes the minimise button, bit 2 the close box; any of the four forces a top-level window.
HWND WINX_CreateDialog(WINX_DialogResourceEntry* head, const char* id, HWND parent, DLGPROC proc, LPARAM param);
// Gives the parentless view child a top-level window (style mask: 1 titled, 2 closable,
// 4 miniaturizable, 8 resizable), placed 50 right of and 100 below the owner's (or the
// screen's) top-left corner. Returns the view, which stands for the window; null on failure.
HWND WINX_CreateModelessFrameForWindow(HWND child, HWND owner, unsigned int styleMask);

HMENU WINX_GetDefaultWindowMenu();
void WINX_SetDefaultWindowMenu(HMENU menu);
HMENU WINX_GetDefaultModalWindowMenu();
void WINX_SetDefaultModalWindowMenu(HMENU menu);

// True while hwnd (a dialog view) is a modal dialog whose result was set.
bool WINX_DialogHasResult(HWND hwnd, int* result);

// The raise amount of a modeless window (extra levels above its owner; a view stands for its
// window). Modal dialogs and bad handles answer 0 and ignore a set. Changing it while one of our
// windows is active moves the window's level by the difference.
int WINX_GetWindowWantRaiseAmt(HWND hwnd);
void WINX_SetWindowWantRaiseAmt(HWND hwnd, int amount);
// The id of the default button of the window that hwnd lies in; 0 when there is none, or, with
// onlyIfEnabled, when it is disabled.
int WINX_GetDefaultButtonID(HWND hwnd, bool onlyIfEnabled);
// Makes button the default button of its window (the previous one stops being it).
void WINX_MakeDefaultButton(HWND button);
