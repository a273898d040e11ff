#include "BankNameDialog.h"

#include <cstdint>

namespace {

// Dialog units; the creator scales them by 1.8. The OK text's four trailing blanks are part of
// the template and widen nothing: the buttons keep their fixed size.
const WINX_DialogControlRecord kPatchSaveControls[] = {
    {"__WINX_LABEL", -1, "Bank Name", 0, 10, 10, 200, 8, 0},
    {"__WINX_EDIT", 0, "", IDC_PATCH_SAVE_NAME, 10, 20, 200, 12, 0x10000},
    {"__WINX_BUTTON", 0, "&Cancel", IDC_PATCH_SAVE_CANCEL, 160, 60, 50, 14, 0},
    {"__WINX_BUTTON", 0, "&OK    ", IDC_PATCH_SAVE_OK, 100, 60, 50, 14, 0},
};

}  // namespace

void patchSaveDialogCreator(HWND view, int flags) {
  WINX_MakeSetCurParms(1.8f, 1.8f, 0.0f, 0.0f, view, false, (flags & 0x8) == 0);
  WINX_GenerateDialogFromList(kPatchSaveControls,
                              static_cast<int>(sizeof(kPatchSaveControls) / sizeof(kPatchSaveControls[0])));
}

const WINX_DialogResourceIndex kPatchSaveDialog = {
    reinterpret_cast<const char*>(static_cast<uintptr_t>(IDD_PATCH_SAVE)), "Enter Bank Name", 12,
    patchSaveDialogCreator, 396, 144};

WINX_REGISTER_DIALOG(patchSave, kPatchSaveDialog);
