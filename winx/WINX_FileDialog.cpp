// File choosers and message boxes on GTK.
#include "WINX_FileDialog.h"

#include <gtk/gtk.h>

#include <cstdlib>
#include <cstring>

#include "WINX_CtlText.h"
#include "WINX_Dialog.h"

namespace {

const size_t kMaxPath = 2047;

// Accessory template for the next file dialog that finds both an id and a procedure.
struct AccessoryTemplate {
  int id = 0;
  DLGPROC proc = nullptr;
  WINX_DialogResourceEntry* list = nullptr;
} g_accessory;

// One file dialog's common frame: the modal menu while it runs, the accessory view, clean-up.
struct ChooserRun {
  GtkWidget* dialog = nullptr;
  HWND accessory = nullptr;
  HMENU modalMenu = nullptr;

  ChooserRun(const char* title, GtkFileChooserAction action, const char* okLabel) {
    dialog = gtk_file_chooser_dialog_new(title && *title ? title : nullptr, nullptr, action, "_Cancel",
                                         GTK_RESPONSE_CANCEL, okLabel, GTK_RESPONSE_ACCEPT, nullptr);
    g_object_ref_sink(dialog);
    if (g_accessory.id && g_accessory.proc) {
      const WINX_DialogResourceIndex* res =
          WINX_FindDialogResource(g_accessory.list, (const char*)(uintptr_t)g_accessory.id);
      DLGPROC proc = g_accessory.proc;
      g_accessory.id = 0;
      g_accessory.proc = nullptr;
      if (res) {
        accessory = WINX_CreateWindowView(res, nullptr, proc, 0);
        HWND__* a = WINX_ValidWindow(accessory);
        if (a && a->widget) {
          ShowWindow(accessory, SW_SHOW);
          gtk_widget_set_size_request(a->widget, res->width, res->height);
          gtk_file_chooser_set_extra_widget(GTK_FILE_CHOOSER(dialog), a->widget);
        }
      }
    }
    if (HMENU m = WINX_GetDefaultModalWindowMenu()) {
      modalMenu = WINX_DuplicateMenu(m);
      if (modalMenu) WINX_SetCurrentMenu(modalMenu);
    }
  }

  bool run() { return gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT; }

  ~ChooserRun() {
    if (modalMenu) {
      if (HMENU m = GetMenu(GetFocus())) WINX_SetCurrentMenu(m);
      DestroyMenu(modalMenu);
    }
    if (WINX_ValidWindow(accessory)) {
      SendMessage(accessory, WM_DESTROY, 0, 0);
      gtk_file_chooser_set_extra_widget(GTK_FILE_CHOOSER(dialog), nullptr);
      DestroyWindow(accessory);
    }
    gtk_widget_destroy(dialog);
    g_object_unref(dialog);
  }
};

void addFilters(GtkFileChooser* fc, const std::vector<std::string>& exts) {
  if (exts.empty()) return;
  GtkFileFilter* f = gtk_file_filter_new();
  std::string name;
  for (const std::string& e : exts) {
    std::string pat = "*." + e;
    gtk_file_filter_add_pattern(f, pat.c_str());
    name += (name.empty() ? "" : ";") + pat;
  }
  gtk_file_filter_set_name(f, name.c_str());
  gtk_file_chooser_add_filter(fc, f);
}

void setStart(GtkFileChooser* fc, const char* initialDir, const char* initialFile, bool nameField) {
  std::string dir, file;
  WINX_SplitInitialPath(initialDir, initialFile, &dir, &file);
  if (!dir.empty()) gtk_file_chooser_set_current_folder(fc, dir.c_str());
  if (!file.empty()) {
    if (nameField) gtk_file_chooser_set_current_name(fc, file.c_str());
    else if (!dir.empty()) gtk_file_chooser_set_filename(fc, (dir + "/" + file).c_str());
  }
}

bool gtkReady() { return winx_internal::gtkAvailable(); }

// GTK answers a Return in the name field through the Save button, and only while the button is
// sensitive, which it is again only some time after the last key typed.
gboolean returnSaves(GtkWidget* dialog, GdkEventKey* key, gpointer) {
  if (key->keyval != GDK_KEY_Return && key->keyval != GDK_KEY_KP_Enter && key->keyval != GDK_KEY_ISO_Enter) return FALSE;
  // The name field, not the entry of the new-folder popover: it holds the name the chooser saves.
  GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(dialog));
  gchar* name = gtk_file_chooser_get_current_name(GTK_FILE_CHOOSER(dialog));
  GtkWidget* save = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
  if (save && GTK_IS_ENTRY(focus) && name && *name && strcmp(name, gtk_entry_get_text(GTK_ENTRY(focus))) == 0)
    gtk_widget_set_sensitive(save, TRUE);
  g_free(name);
  return FALSE;
}

}  // namespace

void WINX_ReturnSavesAtOnce(GtkWidget* saveChooserDialog) {
  g_signal_connect(saveChooserDialog, "key-press-event", G_CALLBACK(returnSaves), nullptr);
}

std::vector<std::string> WINX_ExtensionsFromList(const char* list) {
  std::vector<std::string> out;
  out.reserve(30);
  if (!list) return out;
  while (*list) {
    list += strlen(list) + 1;  // the description
    const char* pats = list;
    list += strlen(list) + 1;
    const char* p = pats;
    while (*p) {
      const char* dot = strchr(p, '.');
      if (!dot) break;
      const char* start = dot + 1;
      size_t n = strcspn(start, ";");
      std::string ext(start, n < 31 ? n : 31);
      if (!ext.empty() && ext[0] != '*') out.push_back(ext);
      p = start + n;
      if (*p == ';') ++p;
    }
  }
  return out;
}

void WINX_SplitInitialPath(const char* initialDir, const char* initialFile, std::string* dir, std::string* file) {
  dir->clear();
  file->clear();
  if (initialFile && *initialFile) {
    std::string f(initialFile, strnlen(initialFile, kMaxPath));
    size_t slash = f.rfind('/');
    if (slash != std::string::npos) {
      *dir = slash ? f.substr(0, slash) : "/";
      *file = f.substr(slash + 1);
    } else {
      *file = f;
    }
  }
  if (dir->empty() && initialDir && *initialDir) *dir = initialDir;
}

void BrowseFile_SetTemplate(int dialogId, DLGPROC proc, WINX_DialogResourceEntry* list) {
  g_accessory.id = dialogId;
  g_accessory.proc = proc;
  g_accessory.list = list;
}

bool BrowseForSaveFile(const char* title, const char* initialDir, const char* initialFile,
                       const char* extlist, char* fn, int fnsize) {
  if (!gtkReady()) return false;
  ChooserRun r(title, GTK_FILE_CHOOSER_ACTION_SAVE, "_Save");
  WINX_ReturnSavesAtOnce(r.dialog);
  GtkFileChooser* fc = GTK_FILE_CHOOSER(r.dialog);
  addFilters(fc, WINX_ExtensionsFromList(extlist));
  setStart(fc, initialDir, initialFile, true);
  if (!r.run()) return false;
  char* path = gtk_file_chooser_get_filename(fc);
  std::string p = path ? std::string(path, strnlen(path, kMaxPath)) : std::string();
  g_free(path);
  WINX_CopyTextBounded(fn, fnsize, p.c_str());
  return !p.empty();
}

bool BrowseForDirectory(const char* title, const char* initialDir, char* fn, int fnsize) {
  if (!gtkReady()) return false;
  ChooserRun r(title, GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, "_Open");
  GtkFileChooser* fc = GTK_FILE_CHOOSER(r.dialog);
  gtk_file_chooser_set_create_folders(fc, TRUE);
  if (initialDir && *initialDir) gtk_file_chooser_set_current_folder(fc, initialDir);
  if (!r.run()) return false;
  char* path = gtk_file_chooser_get_filename(fc);
  if (!path) return false;
  WINX_CopyTextBounded(fn, fnsize, path);
  g_free(path);
  return true;
}

char* BrowseForFiles(const char* title, const char* initialDir, const char* initialFile,
                     bool allowMultiple, const char* extlist) {
  if (!gtkReady()) return nullptr;
  ChooserRun r(title, GTK_FILE_CHOOSER_ACTION_OPEN, "_Open");
  GtkFileChooser* fc = GTK_FILE_CHOOSER(r.dialog);
  gtk_file_chooser_set_select_multiple(fc, allowMultiple);
  addFilters(fc, WINX_ExtensionsFromList(extlist));
  setStart(fc, initialDir, initialFile, false);
  if (!r.run()) return nullptr;
  GSList* names = gtk_file_chooser_get_filenames(fc);
  std::vector<std::string> paths;
  for (GSList* n = names; n; n = n->next) {
    const char* s = (const char*)n->data;
    paths.emplace_back(s, strnlen(s, kMaxPath));
  }
  g_slist_free_full(names, g_free);
  if (paths.empty()) return nullptr;
  std::string block;
  if (paths.size() > 1 && allowMultiple) {
    block.push_back('\0');
    for (const std::string& p : paths) {
      block += p;
      block.push_back('\0');
    }
    block.push_back('\0');
  } else {
    block = paths[0];
    block.push_back('\0');
    block.push_back('\0');
  }
  char* buf = (char*)malloc(block.size());
  if (buf) memcpy(buf, block.data(), block.size());
  return buf;
}

int MessageBox(HWND, const char* text, const char* caption, int type) {
  struct Button {
    const char* label;
    int result;
  };
  static const Button kOk[] = {{"OK", IDOK}};
  static const Button kOkCancel[] = {{"OK", IDOK}, {"Cancel", IDCANCEL}};
  static const Button kYesNoCancel[] = {{"Yes", IDYES}, {"Cancel", IDCANCEL}, {"No", IDNO}};
  static const Button kYesNo[] = {{"Yes", IDYES}, {"No", IDNO}};
  static const Button kRetryCancel[] = {{"Retry", IDRETRY}, {"Cancel", IDCANCEL}};
  const Button* buttons;
  int n;
  switch (type) {
    case MB_OK: buttons = kOk; n = 1; break;
    case MB_OKCANCEL: buttons = kOkCancel; n = 2; break;
    case MB_YESNOCANCEL: buttons = kYesNoCancel; n = 3; break;
    case MB_YESNO: buttons = kYesNo; n = 2; break;
    case MB_RETRYCANCEL: buttons = kRetryCancel; n = 2; break;
    default: return 0;
  }
  if (!gtkReady()) return 0;
  std::string msg = WINX_SanitizeUTF8(text ? text : "");
  std::string cap = WINX_SanitizeUTF8(caption ? caption : "");
  // "%s" keeps any '%' in the text as it is.
  GtkWidget* d = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_OTHER, GTK_BUTTONS_NONE, "%s",
                                        msg.c_str());
  g_object_ref_sink(d);
  gtk_window_set_title(GTK_WINDOW(d), cap.c_str());
  for (int i = 0; i < n; ++i) gtk_dialog_add_button(GTK_DIALOG(d), buttons[i].label, buttons[i].result);
  gtk_dialog_set_default_response(GTK_DIALOG(d), buttons[0].result);
  int r = gtk_dialog_run(GTK_DIALOG(d));
  gtk_widget_destroy(d);
  g_object_unref(d);
  // Closing the box without a button counts as its cancel answer (or OK for MB_OK).
  for (int i = 0; i < n; ++i)
    if (buttons[i].result == r) return r;
  for (int i = 0; i < n; ++i)
    if (buttons[i].result == IDCANCEL) return IDCANCEL;
  return type == MB_YESNO ? IDNO : IDOK;
}
