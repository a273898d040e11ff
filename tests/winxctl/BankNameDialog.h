// The editor's bank-name dialog template, as the editor core lays it out: shared by the
// template tests and the display test that drives it.
#pragma once

#include "WINX_DialogTemplate.h"

inline const WINX_DialogControlRecord kBankName[] = {
    {"__WINX_LABEL", -1, "Bank Name", 0, 10, 10, 200, 8, 0},
    {"__WINX_EDIT", 0, "", 10013, 10, 20, 200, 12, 0x10000},
    {"__WINX_BUTTON", 0, "&Cancel", 2, 160, 60, 50, 14, 0},
    {"__WINX_BUTTON", 0, "&OK    ", 10006, 100, 60, 50, 14, 0},
};

inline void bankNameCreator(HWND view, int flags) {
  WINX_MakeSetCurParms(1.8f, 1.8f, 0, 0, view, false, !(flags & 0x8));
  WINX_GenerateDialogFromList(kBankName, 4);
}

inline const WINX_DialogResourceIndex kBankNameRes = {(const char*)(uintptr_t)10014, "Enter Bank Name", 12,
                                                      bankNameCreator, 396, 144};
