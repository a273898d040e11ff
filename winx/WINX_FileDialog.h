// Standard file dialogs (GtkFileChooserDialog) with Win32-style filter lists and an optional
// accessory dialog from a template, and MessageBox (GtkMessageDialog).
//
// Each dialog runs modally in its own nested main loop (gtk_dialog_run) until the user answers;
// tests answer by finding the dialog among the top-level windows and emitting its response.
// Main thread only; needs an initialised GTK (without a display every call fails: false, null
// or 0).
#pragma once

#include <string>
#include <vector>

#include "WINX_DialogTemplate.h"
#include "WINX_Window.h"

enum { MB_OK = 0, MB_OKCANCEL = 1, MB_YESNOCANCEL = 3, MB_YESNO = 4, MB_RETRYCANCEL = 5 };
enum { IDOK = 1, IDCANCEL = 2, IDRETRY = 4, IDYES = 6, IDNO = 7 };

void BrowseFile_SetTemplate(int dialogId, DLGPROC proc, WINX_DialogResourceEntry* list);
bool BrowseForSaveFile(const char* title, const char* initialDir, const char* initialFile,
                       const char* extlist, char* fn, int fnsize);
bool BrowseForDirectory(const char* title, const char* initialDir, char* fn, int fnsize);
// A malloc'ed buffer (the caller frees it) or null. One file: the path and two NULs. Several
// with allowMultiple: a NUL, then each full path with its NUL, then a final NUL.
char* BrowseForFiles(const char* title, const char* initialDir, const char* initialFile,
                     bool allowMultiple, const char* extlist);
int MessageBox(HWND ignored, const char* text, const char* caption, int type);

// The extensions a filter list allows ("Banks\0*.syx;*.mid\0\0" -> syx, mid). Patterns whose
// extension is empty or starts with '*' add nothing.
std::vector<std::string> WINX_ExtensionsFromList(const char* extlist);
// Return in a save chooser's name field saves at once, as its Save button does: GTK keeps the
// button insensitive for a moment after each key typed, and a Return in that moment did nothing.
typedef struct _GtkWidget GtkWidget;
void WINX_ReturnSavesAtOnce(GtkWidget* saveChooserDialog);
// Splits initialFile / initialDir into the folder and the file name a dialog opens with.
void WINX_SplitInitialPath(const char* initialDir, const char* initialFile, std::string* dir,
                           std::string* file);
