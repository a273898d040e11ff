// Dialog templates: static records that name a creator, the layout context that turns Win32
// dialog units into view pixels, the control factories and the custom-control registry.
//
// A dialog is registered by a static WINX_DialogResourceEntry (WINX_REGISTER_DIALOG below) that
// puts itself at the head of WINX_curmodule_dialogresource_head: the last registered is found
// first. The dialog functions (WINX_Dialog.h) find a record by id and call its creator with the
// new view; the creator calls WINX_MakeSetCurParms and WINX_GenerateDialogFromList.
//
// Coordinates: every view of this layer is top-down (y grows downward), so a dialog's y is
// placed from the top whatever the sign of the y scale; the sign is kept only as a record of
// the parent's flipped state (negative = flipped parent).
//
// The layout context is one set of globals: the factories are not re-entrant. Main thread only.
#pragma once

#include <cstdint>

#include "WINX_Controls.h"
#include "WINX_Window.h"

// The list node of a registered dialog (the record itself is WINX_Window.h's).
struct WINX_DialogResourceEntry {
  const WINX_DialogResourceIndex* res;
  WINX_DialogResourceEntry* next;
};
extern WINX_DialogResourceEntry* WINX_curmodule_dialogresource_head;

// Puts entry at the head of the list (static initialisers call it through the macro).
void WINX_RegisterDialogResource(WINX_DialogResourceEntry* entry);
#define WINX_REGISTER_DIALOG(varName, record)                                  \
  static WINX_DialogResourceEntry varName##_entry = {&(record), nullptr};      \
  [[maybe_unused]] static const int varName##_registered = (WINX_RegisterDialogResource(&varName##_entry), 0)

// Finds the record for id in the list starting at head; null when absent.
const WINX_DialogResourceIndex* WINX_FindDialogResource(WINX_DialogResourceEntry* head, const char* id);

// One control of a template. Fields 1 and 3 must point to a text ("" where there is none).
// For a general control the fields read: text, id, class, style, x, y, w, h, extended style.
struct WINX_DialogControlRecord {
  const char* kind;
  int32_t param;
  const char* text;
  int32_t id;
  int32_t x, y, w, h;
  int32_t style;
};

typedef HWND (*ControlCreatorProc)(HWND parent, const char* text, int id, const char* className,
                                   int style, int x, int y, int w, int h);

void WINX_MakeSetCurParms(float xscale, float yscale, float xtrans, float ytrans, HWND parent,
                          bool doAutoRight, bool sizeToFit);
void WINX_GenerateDialogFromList(const WINX_DialogControlRecord* records, int count);

HWND WINX_MakeButton(int isDefault, const char* label, int id, int x, int y, int w, int h, int flags);
HWND WINX_MakeEditField(int id, int x, int y, int w, int h, int flags);
HWND WINX_MakeLabel(int align, const char* label, int id, int x, int y, int w, int h, int flags);
HWND WINX_MakeCheckBox(const char* name, int id, int x, int y, int w, int h, int flags);
HWND WINX_MakeListBox(int id, int x, int y, int w, int h, int style);
HWND WINX_MakeGroupBox(const char* name, int id, int x, int y, int w, int h, int style);
HWND WINX_MakeCombo(int id, int x, int y, int w, int h, int flags);
HWND WINX_MakeControl(const char* text, int id, const char* className, int style, int x, int y,
                      int w, int h, int exStyle);

void WINX_RegisterCustomControlCreator(ControlCreatorProc proc);
void WINX_UnregisterCustomControlCreator(ControlCreatorProc proc);

// 1 (default): buttons and drop-down lists take the flat look.
extern int g_winx_want_nice_style;

// Maps a template rectangle to view pixels with the current context (tests and creators that
// place their own widgets): the MakeCoords rules, optionally taking part in the automatic
// right shift, optionally keeping the height unscaled.
RECT WINX_MapDialogRect(int x, int y, int w, int h, bool takesPartInShift, bool keepHeight);
