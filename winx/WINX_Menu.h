// Win32 menus on GTK 3: HMENU, its items, menus built from static lists and registered
// resources, and TrackPopupMenu (a GtkMenu popped up and run in a nested main loop).
//
// Toolkit mapping: a menu is our own record (its items, their tags, states, titles, submenus,
// item data and key equivalents) and a GtkMenu is built from it each time it is shown, so menus
// can be built, changed and queried without a display. An item's tag is its command id (items
// with a submenu report -1 from GetMenuItemID). Key equivalents are kept (character and modifier
// mask, in the values a Cocoa menu item would hold) and shown as the item's accelerator text.
//
// Ownership: CreatePopupMenu gives the caller one reference; DestroyMenu drops it. Inserting a
// menu as a submenu hands the caller's reference to the parent item, and SetMenu hands it to the
// window; the parent item (or the window, when it is destroyed) releases it. A menu that is
// still some item's submenu when DestroyMenu is called on it is first detached from that item,
// so no item ever points at a freed menu.
//
// Handles are checked, never trusted: every function looks the menu up among the live menus
// before touching it; a destroyed or made-up handle gives the operation's failure value.
//
// Main thread only.
#pragma once

#include <cstdint>

#include "WINX_Types.h"
#include "WINX_Window.h"

#ifndef MF_BYPOSITION
#define MF_STRING 0x0
#define MF_ENABLED 0x0
#define MF_UNCHECKED 0x0
#define MF_BYCOMMAND 0x0
#define MF_GRAYED 0x1
#define MF_DISABLED 0x2
#define MF_BITMAP 0x4
#define MF_CHECKED 0x8
#define MF_POPUP 0x10
#define MF_BYPOSITION 0x400
#define MF_SEPARATOR 0x800
#endif
#ifndef MIIM_ID
#define MIIM_ID 0x1
#define MIIM_STATE 0x2
#define MIIM_TYPE 0x4
#define MIIM_SUBMENU 0x8
#define MIIM_DATA 0x10
#endif
#ifndef MFT_STRING
#define MFT_STRING 0x0
#define MFT_BITMAP 0x4
#define MFT_SEPARATOR 0x800
#define MFS_ENABLED 0x0
#define MFS_GRAYED 0x3
#define MFS_CHECKED 0x8
#endif
#ifndef TPM_NONOTIFY
#define TPM_LEFTALIGN 0x0
#define TPM_NONOTIFY 0x80
#define TPM_RETURNCMD 0x100
#endif

// Modifier bits of SetMenuItemModifier.
#ifndef FVIRTKEY
#define FVIRTKEY 0x01
#endif
#ifndef FSHIFT
#define FSHIFT 0x04
#define FCONTROL 0x08  // the command key
#define FALT 0x10      // option
#define FLWIN 0x20     // control
#endif

// Modifier mask of an item's key equivalent (the values of Cocoa's modifier flags).
enum {
  WINX_MENUKEY_SHIFT = 1 << 17,
  WINX_MENUKEY_CONTROL = 1 << 18,
  WINX_MENUKEY_OPTION = 1 << 19,
  WINX_MENUKEY_COMMAND = 1 << 20,
};

// 64-bit layout, 72 bytes.
struct MENUITEMINFO {
  uint32_t cbSize;
  uint32_t fMask;
  uint32_t fType;
  uint32_t fState;
  uint32_t wID;
  HMENU hSubMenu;
  void* hbmpChecked;    // not used
  void* hbmpUnchecked;  // not used
  uint64_t dwItemData;
  char* dwTypeData;     // the text; for MFT_BITMAP an HICON
  int32_t cch;          // buffer size for GetMenuItemInfo
};

// One record of a static menu list. A null name is a separator; "EN%%%^:" ends the current
// submenu; a name beginning with "/.BO^O:" opens a submenu titled by the rest of the name.
// value: command id in the low 16 bits; a value above 0xFFFF (read as unsigned, so negative
// values too) also makes the item disabled.
struct WINX_MenuListRecord {
  const char* name;
  int value;
};
#define WINX_MENU_SUBMENU_PREFIX "/.BO^O:"
#define WINX_MENU_END_SUBMENU "EN%%%^:"

struct WINX_MenuResourceIndex {
  const void* resid;
  void (*createFunc)(HMENU menu);
  WINX_MenuResourceIndex* next;
};
extern WINX_MenuResourceIndex* WINX_curmodule_menuresource_head;

HMENU CreatePopupMenu();
HMENU CreatePopupMenuEx(const char* title);
void DestroyMenu(HMENU menu);
HMENU WINX_DuplicateMenu(HMENU menu);
bool WINX_IsMenu(HMENU menu);  // a live menu handle

int GetMenuItemCount(HMENU menu);
HMENU GetSubMenu(HMENU menu, int pos);
int GetMenuItemID(HMENU menu, int pos);

int AddMenuItem(HMENU menu, int pos, const char* name, int tag);
void WINX_Menu_AddMenuItem(HMENU menu, const char* name, int id, int disabled);
bool WINX_InsertMenu(HMENU menu, int pos, unsigned int flags, uintptr_t idOrSubmenu,
                     const char* text);
void InsertMenuItem(HMENU menu, int pos, bool byPosition, const MENUITEMINFO* info);
bool DeleteMenu(HMENU menu, int item, int flags);
bool SetMenuItemText(HMENU menu, int item, int flags, const char* text);
bool EnableMenuItem(HMENU menu, int item, int flags);
bool CheckMenuItem(HMENU menu, int item, int flags);
bool SetMenuItemModifier(HMENU menu, int item, int flags, int code, unsigned int modifiers);
bool SetMenuItemInfo(HMENU menu, int item, bool byPosition, const MENUITEMINFO* info);
bool GetMenuItemInfo(HMENU menu, int item, bool byPosition, MENUITEMINFO* info);

int WINX_GenerateMenuFromList(HMENU menu, const WINX_MenuListRecord* records, int count);
HMENU WINX_LoadMenu(WINX_MenuResourceIndex* head, const void* resid);

HMENU WINX_GetCurrentMenu();
void WINX_SetCurrentMenu(HMENU menu);

// ---- Command destinations --------------------------------------------------------------------
// A destination receives the tag of a chosen item. Window views are destinations through
// WINX_SetMenuDestination (the window gets WM_COMMAND (tag, 0)); TrackPopupMenu installs its own
// receiver for one call.
struct WINX_MenuDestination {
  void (*onCommand)(const WINX_MenuDestination* self, int tag);
  void* ctx;
  uint64_t serial;  // the window's serial when ctx is a window (checked before each use)
};
// Makes dest the menu's destination: every item with a submenu passes the call on, every other
// item with a nonzero tag gets dest as its target. A null dest clears the targets. Nothing for
// a dead menu.
void WINX_SetMenuDestinationRaw(HMENU menu, const WINX_MenuDestination* dest);

// Reads of an item for tests and for the menu bar: title, key equivalent (UTF-8, "" for none),
// its modifier mask, enabled/checked/separator. False for a dead menu or a bad position.
struct WINX_MenuItemView {
  const char* title;
  const char* key;
  unsigned int keyModifiers;
  bool enabled, checked, separator, hasTarget, isImage;
  int tag;
};
bool WINX_Menu_GetItemView(HMENU menu, int pos, WINX_MenuItemView* out);
const char* WINX_Menu_GetTitle(HMENU menu);
// Activates the item at pos as if the user chose it (sends its tag to its target). False when
// the item is missing, disabled, a separator or has no target.
bool WINX_Menu_ActivateItem(HMENU menu, int pos);

// ---- Menus and windows ----------------------------------------------------------------------
// Makes the window view the menu's command destination: a chosen item sends it WM_COMMAND
// (tag, 0). A null window detaches the menu; anything that is not a live window view is ignored.
void WINX_SetMenuDestination(HMENU menu, HWND destination);
// Shows the menu as a context menu at screen point (x, y) and runs it until it is dismissed.
// flags: TPM_NONOTIFY (no WM_INITMENUPOPUP to the window), TPM_RETURNCMD (return the chosen id
// instead of sending WM_COMMAND). 0 when nothing was chosen or the menu or window is bad.
int TrackPopupMenu(HMENU menu, int flags, int x, int y, int reserved, HWND hwnd, const RECT* r);
// Gives the menu (and the caller's reference) to the window view. 0 for a bad window.
int SetMenu(HWND hwnd, HMENU menu);
HMENU GetMenu(HWND hwnd);
// Brings the menu bar of hwnd's top-level window in line with its menu now (changes otherwise
// show once the main loop is idle).
void DrawMenuBar(HWND hwnd);
