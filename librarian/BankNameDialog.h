#pragma once
// The "Enter Bank Name" dialog template (IDD_PATCH_SAVE): a label, a one-line edit field and
// Cancel/OK buttons, registered with the windowing layer's dialog list when the program is
// loaded.
//
// Nothing opens it: bank names are typed into the editor's own text controls. A caller that
// wants it runs WINX_DialogBox(WINX_curmodule_dialogresource_head, (const char*)IDD_PATCH_SAVE,
// ...) on the main thread with a dialog procedure that reads IDC_PATCH_SAVE_NAME on
// IDC_PATCH_SAVE_OK and ends the dialog on IDC_PATCH_SAVE_CANCEL.
//
// Linking: the registration lives in BankNameDialog.cpp, which a static link only keeps when
// something refers to kPatchSaveDialog (or the library is linked whole).
#include "WINX_DialogTemplate.h"

enum {
  IDD_PATCH_SAVE = 10014,
  IDC_PATCH_SAVE_NAME = 10013,   // edit field
  IDC_PATCH_SAVE_OK = 10006,     // "OK" button
  IDC_PATCH_SAVE_CANCEL = 2,     // "Cancel" button (the Win32 IDCANCEL)
};

// The template record: id IDD_PATCH_SAVE, title "Enter Bank Name", flags 12 (flipped view, no
// size-to-fit), 396 x 144 dialog units, creator patchSaveDialogCreator.
extern const WINX_DialogResourceIndex kPatchSaveDialog;

// Fills a fresh dialog view with the four controls at a scale of 1.8. Uses the windowing layer's
// shared layout context, so main thread only and not re-entrant.
void patchSaveDialogCreator(HWND view, int flags);
