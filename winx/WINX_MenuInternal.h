// Menu records, shared by the menu files of the windowing layer only.
#pragma once

#include <string>
#include <vector>

#include "WINX_Menu.h"

struct WINX_MenuItemRec {
  std::string title;            // shown text (already mnemonic-free)
  int tag = 0;                  // command id
  bool separator = false;
  bool enabled = true;
  bool checked = false;
  HMENU submenu = nullptr;      // owned: one reference
  bool hasData = false;         // MIIM_DATA value holder present
  uint64_t data = 0;
  HICON image = nullptr;        // not owned
  unsigned key = 0;             // key equivalent (Cocoa key character), 0 for none
  unsigned keyModifiers = 0;    // WINX_MENUKEY_ bits
  bool hasTarget = false;
  WINX_MenuDestination target = {nullptr, nullptr, 0};
  std::string keyText;          // scratch for WINX_Menu_GetItemView
};

struct HMENU__ {
  std::string title;
  bool autoEnable = false;
  int refs = 1;
  WINX_MenuItemRec* ownerItem = nullptr;  // the item whose submenu this is
  WINX_MenuDestination dest = {nullptr, nullptr, 0};
  std::vector<WINX_MenuItemRec*> items;  // owned
};

void WINX_Menu_Retain(HMENU menu);
void WINX_Menu_FireItem(WINX_MenuItemRec* it);
bool WINX_Menu_IconHasImage(HICON icon);
bool WINX_Menu_AppTerminating();
std::string WINX_Menu_KeyText(unsigned key);  // UTF-8 of a key equivalent, "" for none
// Every change of any menu record calls this: window menu bars rebuild from their menus once the
// main loop is idle (WINX_MenuBar.cpp). Without a display it only counts.
void WINX_Menu_Changed();
// Fires the first enabled item with that command id (submenus searched depth first) through
// its target, as a click would. False when there is none.
bool WINX_Menu_FireCommand(HMENU menu, int tag);
