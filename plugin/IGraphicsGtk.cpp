#include "IGraphicsGtk.h"

#include <gtk/gtk.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "GFX_PNG.h"
#include "IGraphicsGtkView.h"
#include "IPopupMenu.h"
#include "UTIL_File.h"
#include "WINX_FileDialog.h"

#if __has_include("CFBundle.h")
#include "CFBundle.h"
#include "CFString.h"
#define GUI_HAVE_CFBUNDLE 1
#endif

namespace fs = std::filesystem;

namespace {

std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

// GTK is initialised lazily: a host that is not itself a GTK program may load us. Returns false
// without a display.
bool ensureGtk() {
  static const bool ok = gtk_init_check(nullptr, nullptr);
  return ok;
}

GtkWindow* toplevelOf(IGraphicsGtkView* view) {
  if (!view || !view->GetRoot()) return nullptr;
  GtkWidget* top = gtk_widget_get_toplevel(view->GetRoot());
  return (top && gtk_widget_is_toplevel(top)) ? GTK_WINDOW(top) : nullptr;
}

std::string expandHome(const std::string& path) {
  if (path.compare(0, 1, "~") != 0) return path;
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "") + path.substr(1);
}

std::vector<std::string> splitBlanks(const char* text) {
  std::vector<std::string> out;
  std::string cur;
  for (const char* p = text ? text : ""; *p; ++p) {
    if (*p == ' ') {
      if (!cur.empty()) out.push_back(cur);
      cur.clear();
    } else {
      cur += *p;
    }
  }
  if (!cur.empty()) out.push_back(cur);
  return out;
}

}  // namespace

IGraphicsGtk::IGraphicsGtk(IPluginBase* plug, int w, int h, int fps) : IGraphics(plug, w, h, fps), mBundleID("", 128) {}

IGraphicsGtk::~IGraphicsGtk() {
  // What is queued for the window belongs to a plug-in that is going: closing must not run it.
  DropWindowWork(nullptr);
  CloseWindow();
}

// ---------------------------------------------------------------- window

void* IGraphicsGtk::OpenWindow(void* parent) {
  CloseWindow();
  if (!ensureGtk()) return nullptr;
  SetWindowThread(true);
  mView = new IGraphicsGtkView(this, static_cast<GtkWidget*>(parent));
  return mView->GetRoot();
}

void IGraphicsGtk::CloseWindow() {
  if (!mView) return;
  IGraphicsGtkView* view = mView;
  mView = nullptr;
  view->KillTimer();
  view->Unbind();
  delete view;
  SetWindowThread(false);
}

void IGraphicsGtk::WakeView() { g_main_context_wakeup(nullptr); }

bool IGraphicsGtk::DrawScreen(IRECT* rect) { return mView ? mView->DrawScreen(rect) : false; }

bool IGraphicsGtk::MeasureIText(IText* text, const char* str, IRECT* destRect) {
  return IGraphics::DrawIText(text, str, destRect, true);
}

void IGraphicsGtk::ForceEndUserEdit() {
  if (mView) mView->EndUserInput();
}

void IGraphicsGtk::Resize(int w, int h) {
  if (w == Width() && h == Height()) return;
  IGraphics::Resize(w, h);
  if (mView) {
    // The view's screen copy is sized at creation: reopen it in the same parent.
    GtkWidget* parent = mView->GetRoot() ? gtk_widget_get_parent(mView->GetRoot()) : nullptr;
    OpenWindow(parent);
  }
}

// ---------------------------------------------------------------- menus, text entry, dialogs

IPopupMenu* IGraphicsGtk::CreateIPopupMenu(IPopupMenu* menu, IRECT* rect) {
  ReleaseMouseCapture();
  if (!mView || !menu || !rect) return nullptr;
  return mView->PopupMenu(menu, rect);
}

void IGraphicsGtk::CreateTextEntry(IControl* control, IText* text, IRECT* rect, const char* str, IParam* param) {
  if (mView && rect) mView->CreateTextEntry(control, param, text, str, rect);
}

void IGraphicsGtk::EndModalLoops(const std::vector<void*>& loops) {
  for (auto it = loops.rbegin(); it != loops.rend(); ++it) {
    auto* w = static_cast<GtkWidget*>(*it);
    if (GTK_IS_MENU_SHELL(w))
      gtk_menu_shell_cancel(GTK_MENU_SHELL(w));
    else if (GTK_IS_DIALOG(w))
      gtk_dialog_response(GTK_DIALOG(w), GTK_RESPONSE_DELETE_EVENT);
  }
}

namespace {
gboolean runDeletion(gpointer del) {
  (*static_cast<std::function<void()>*>(del))();
  return G_SOURCE_REMOVE;
}
void freeDeletion(gpointer del) { delete static_cast<std::function<void()>*>(del); }
}  // namespace

void IGraphicsGtk::DeleteWhenUnwound(std::function<void()> del) {
  g_idle_add_full(G_PRIORITY_HIGH_IDLE, runDeletion, new std::function<void()>(std::move(del)), freeDeletion);
}

int IGraphicsGtk::ShowMessageBox(const char* text, const char* caption, int type) {
  if (!ensureGtk() || Going()) return 0;
  enum { kOK = 1, kCancel = 2, kNo = 7 };
  GtkWidget* dlg = gtk_message_dialog_new(toplevelOf(mView), GTK_DIALOG_MODAL, GTK_MESSAGE_INFO, GTK_BUTTONS_NONE, "%s",
                                          caption ? caption : "");
  gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dlg), "%s", text ? text : "");
  switch (type) {
    case 1:  // OK, Cancel
      gtk_dialog_add_buttons(GTK_DIALOG(dlg), "Cancel", kCancel, "OK", kOK, nullptr);
      break;
    case 3:  // Yes, No, Cancel
      gtk_dialog_add_buttons(GTK_DIALOG(dlg), "Cancel", kCancel, "No", kNo, "Yes", kOK, nullptr);
      break;
    case 4:  // Yes, No
      gtk_dialog_add_buttons(GTK_DIALOG(dlg), "No", kNo, "Yes", kOK, nullptr);
      break;
    default:
      gtk_dialog_add_buttons(GTK_DIALOG(dlg), "OK", kOK, nullptr);
      break;
  }
  gtk_dialog_set_default_response(GTK_DIALOG(dlg), kOK);
  BeginModal(dlg);
  const int r = gtk_dialog_run(GTK_DIALOG(dlg));
  EndModal();
  gtk_widget_destroy(dlg);
  return (r == kOK || r == kCancel || r == kNo) ? r : 0;
}

std::string IGraphicsGtk::AddMissingExtension(const std::string& path, const std::string& extensions) {
  std::vector<std::string> types = splitBlanks(extensions.c_str());
  if (types.empty()) return path;
  const std::string ext = lower(fs::path(path).extension().string());
  for (const std::string& t : types)
    if (ext == "." + lower(t)) return path;
  return path + "." + types[0];
}

void IGraphicsGtk::PromptForFile(UTIL_String* file, EFileAction action, UTIL_String* dir, char* extensions) {
  if (!file) return;
  if (!mView || !dir || Going()) {
    file->Set("");
    return;
  }
  std::string startName = file->Get();
  if (dir->Empty()) dir->Set("~/Desktop");
  const std::string startDir = expandHome(dir->Get());
  file->Set("");
  const bool save = action == kFileSave;
  GtkWidget* dlg = gtk_file_chooser_dialog_new(save ? "Save" : "Open", toplevelOf(mView),
                                               save ? GTK_FILE_CHOOSER_ACTION_SAVE : GTK_FILE_CHOOSER_ACTION_OPEN,
                                               "Cancel", GTK_RESPONSE_CANCEL, save ? "Save" : "Open",
                                               GTK_RESPONSE_ACCEPT, nullptr);
  GtkFileChooser* chooser = GTK_FILE_CHOOSER(dlg);
  // Return in the name field saves (or opens), as in every panel of the kind.
  gtk_dialog_set_default_response(GTK_DIALOG(dlg), GTK_RESPONSE_ACCEPT);
  gtk_file_chooser_set_current_folder(chooser, startDir.c_str());
  if (save) {
    WINX_ReturnSavesAtOnce(dlg);
    gtk_file_chooser_set_do_overwrite_confirmation(chooser, TRUE);
    if (!startName.empty()) gtk_file_chooser_set_current_name(chooser, fs::path(startName).filename().c_str());
  } else if (!startName.empty()) {
    gtk_file_chooser_set_filename(chooser, startName.c_str());
  }
  std::vector<std::string> types = splitBlanks(extensions);
  if (!types.empty()) {
    GtkFileFilter* filter = gtk_file_filter_new();
    std::string label;
    for (const std::string& t : types) {
      // Case-insensitive: "*.[mM][iI][dD]".
      std::string pattern = "*.";
      for (char c : t) {
        if (std::isalpha(static_cast<unsigned char>(c)))
          pattern += std::string("[") + static_cast<char>(std::tolower(static_cast<unsigned char>(c))) +
                     static_cast<char>(std::toupper(static_cast<unsigned char>(c))) + "]";
        else
          pattern += c;
      }
      gtk_file_filter_add_pattern(filter, pattern.c_str());
      label += (label.empty() ? "*." : " *.") + t;
    }
    gtk_file_filter_set_name(filter, label.c_str());
    gtk_file_chooser_add_filter(chooser, filter);
  }
  BeginModal(dlg);
  while (gtk_dialog_run(GTK_DIALOG(dlg)) == GTK_RESPONSE_ACCEPT && !Going()) {
    gchar* chosen = gtk_file_chooser_get_filename(chooser);
    const std::string name = chosen ? chosen : "";
    g_free(chosen);
    if (name.empty()) break;
    if (save) {
      const std::string existing = ExistingFileBehindAddedExtension(name, extensions);
      if (!existing.empty()) {
        GtkWidget* q = gtk_message_dialog_new(GTK_WINDOW(dlg), GTK_DIALOG_MODAL, GTK_MESSAGE_QUESTION,
                                              GTK_BUTTONS_YES_NO, "A file named \"%s\" already exists. Replace it?",
                                              fs::path(existing).filename().c_str());
        BeginModal(q);
        const int r = gtk_dialog_run(GTK_DIALOG(q));
        EndModal();
        gtk_widget_destroy(q);
        if (Going()) break;
        if (r != GTK_RESPONSE_YES) continue;  // back to the panel
      }
    }
    ApplyChosenFile(name, save, extensions, file, dir);
    break;
  }
  EndModal();
  gtk_widget_destroy(dlg);
}

std::string IGraphicsGtk::ExistingFileBehindAddedExtension(const std::string& chosen, const char* extensions) {
  const std::string path = AddMissingExtension(chosen, extensions ? extensions : "");
  std::error_code ec;
  return (path != chosen && fs::exists(path, ec)) ? path : std::string();
}

void IGraphicsGtk::ApplyChosenFile(const std::string& chosen, bool save, const char* extensions, UTIL_String* file,
                                   UTIL_String* dir) {
  const std::string path = save ? AddMissingExtension(chosen, extensions ? extensions : "") : chosen;
  file->Set(path.c_str());
  dir->Set((fs::path(path).parent_path().string() + "/").c_str());
}

bool IGraphicsGtk::PromptForColor(IColor*, char*) { return false; }

std::string IGraphicsGtk::URIForOpen(const char* urlOrPath) {
  if (!urlOrPath || !*urlOrPath) return "";
  if (std::strstr(urlOrPath, "http")) return urlOrPath;
  std::string path = expandHome(urlOrPath);
  if (!fs::path(path).is_absolute()) path = (fs::current_path() / path).string();
  gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
  std::string out = uri ? uri : "";
  g_free(uri);
  return out;
}

bool IGraphicsGtk::OpenURL(const char* url, const char*, const char*, const char*) {
  const std::string uri = URIForOpen(url);
  if (uri.empty()) return false;
  GError* err = nullptr;
  // The desktop's default handler (browser, file manager), as with a double click.
  const gboolean ok = g_app_info_launch_default_for_uri(uri.c_str(), nullptr, &err);
  if (err) g_error_free(err);
  return ok == TRUE;
}

// ---------------------------------------------------------------- paths

void IGraphicsGtk::HostPath(UTIL_String* path) {
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  if (n <= 0) return;
  buf[n] = '\0';
  path->Set(buf);
}

void IGraphicsGtk::PluginPath(UTIL_String* path) {
  const std::string res = resourcesFolder();
  if (res.empty()) return;
  // <bundle>/Contents/Resources -> the folder that holds the bundle.
  fs::path bundle = fs::path(res).parent_path().parent_path();
  path->Set((bundle.parent_path().string() + "/").c_str());
}

void IGraphicsGtk::DesktopPath(UTIL_String* path) {
  const char* home = std::getenv("HOME");
  path->Set(home ? home : "");
  path->Append("/Desktop/");
}

// ---------------------------------------------------------------- resources

std::string IGraphicsGtk::resourcesFolder() const {
  if (!mResourcesPath.empty()) return mResourcesPath;
#ifdef GUI_HAVE_CFBUNDLE
  if (mBundleID.Empty()) return "";
  CFStringRef id = CFStringCreateWithCString(nullptr, mBundleID.Get(), kCFStringEncodingUTF8);
  if (!id) return "";
  CFBundleRef bundle = CFBundleGetBundleWithIdentifier(id);
  CFRelease(id);
  if (!bundle) return "";
  CFURLRef url = CFBundleCopyResourcesDirectoryURL(bundle);
  if (!url) return "";
  char buf[4096];
  const bool ok = CFURLGetFileSystemRepresentation(url, true, reinterpret_cast<UInt8*>(buf), sizeof(buf));
  CFRelease(url);
  return ok ? std::string(buf) : std::string();
#else
  return "";
#endif
}

std::string IGraphicsGtk::FindResource(const char* name, const char* type, std::string* refused) const {
  if (!name || !*name) return "";
  const fs::path p(name);
  const std::string base = p.stem().string();
  const std::string wanted = lower(type ? std::string(type) : p.extension().string().substr(p.has_extension() ? 1 : 0));
  const std::string folder = resourcesFolder();
  if (base.empty() || folder.empty()) return "";
  std::error_code ec;
  auto matches = [&](const fs::directory_entry& e) {
    if (!e.is_regular_file(ec)) return false;
    const fs::path& f = e.path();
    return f.stem().string() == base && lower(f.extension().string()) == "." + wanted;
  };
  // The usual case first: the bundle copies resources flat, with lower-case extensions. What
  // stands there is the resource even when it is no file: searching on would walk every folder
  // below for each such image, and find what the bundle does not mean.
  const fs::path direct = fs::path(folder) / (base + "." + wanted);
  const UTIL_FileCheck there = UTIL_StatFile(direct.string());
  if (there.ok()) return direct.string();
  if (there.status != UTIL_FileStatus::missing) {
    if (refused) *refused = direct.string() + " " + there.why();
    return "";
  }
  // Then the folder itself ignoring the extension's case, then every folder below it in name
  // order (stable across runs).
  for (const auto& e : fs::directory_iterator(folder, ec))
    if (matches(e)) return e.path().string();
  std::vector<std::string> found;
  for (auto it = fs::recursive_directory_iterator(folder, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
    if (matches(*it)) found.push_back(it->path().string());
  std::sort(found.begin(), found.end());
  return found.empty() ? "" : found.front();
}

char* IGraphicsGtk::OSLoadFile(int, const char* name) {
  std::string refused;
  const std::string path = FindResource(name, nullptr, &refused);
  // Never waits on a FIFO or reads a device found under a resource's name; a file that reaches
  // the limit is refused, never cut.
  UTIL_FileCheck check;
  FILE* f = path.empty() ? nullptr : UTIL_FOpenForRead(path, &check, kMaxLoadFileSize - 1);
  char* buf = f ? new char[kMaxLoadFileSize + 1] : nullptr;
  const size_t n = f ? std::fread(buf, 1, kMaxLoadFileSize, f) : 0;
  if (f && (n >= static_cast<size_t>(kMaxLoadFileSize) || std::ferror(f))) {
    check.status = std::ferror(f) ? UTIL_FileStatus::failed : UTIL_FileStatus::tooLarge;
    check.size = static_cast<int64_t>(n), check.limit = kMaxLoadFileSize - 1, check.error = EIO;
    delete[] buf;
    buf = nullptr;
  }
  if (f) std::fclose(f);
  if (!buf) {
    if (path.empty() && refused.empty())
      refused = std::string(name ? name : "") + " is not among the resources in " + resourcesFolder();
    // Its own line: the next line printed must not run on from it.
    if (f || !path.empty()) std::printf("failed to open file\n");
    UTIL_SayRefusal("GRAPHICS: " + (refused.empty() ? path + " " + check.why() : refused));
    return nullptr;
  }
  buf[n] = '\0';
  mLastLoadedFileSize = static_cast<int>(n);
  return buf;
}

std::string IGraphicsGtk::pngFile(const char* name, std::string* refused) const {
  if (!name) return "";
  const char* dot = std::strrchr(name, '.');
  const std::string ext = lower(dot ? dot + 1 : name);
  if (ext != "png") return "";
  return FindResource(name, "png", refused);
}

// Says nothing: without a file here the bitmap cache asks OSLoadBitmap, which names a refusal.
std::string IGraphicsGtk::OSBitmapFile(int, const char* name) { return pngFile(name); }

GFX_IBitmap* IGraphicsGtk::OSLoadBitmap(int, const char* name) {
  std::string refused;
  const std::string path = pngFile(name, &refused);
  GFX_IBitmap* bitmap = path.empty() ? nullptr : GFX_LoadPNG(path.c_str(), nullptr, &refused);
  if (!bitmap && !refused.empty())
    UTIL_SayRefusal("GRAPHICS: " + (path.empty() ? refused : path + " " + refused) + "; the image is left out");
  return bitmap;
}

int IGraphicsGtk::GetUserOSVersion() {
  struct utsname u;
  if (uname(&u) != 0) return 0;
  int major = 0, minor = 0, patch = 0;
  std::sscanf(u.release, "%d.%d.%d", &major, &minor, &patch);
  auto digit = [](int v) { return v < 0 ? 0 : v > 15 ? 15 : v; };
  return (major < 0 ? 0 : major) << 8 | digit(minor) << 4 | digit(patch);
}

// ---------------------------------------------------------------- cursor

void IGraphicsGtk::HideMouseCursor() {
  if (mCursorHidden || !mView) return;
  GdkDisplay* display = gdk_display_get_default();
  GdkSeat* seat = display ? gdk_display_get_default_seat(display) : nullptr;
  GdkDevice* pointer = seat ? gdk_seat_get_pointer(seat) : nullptr;
  if (!pointer) return;
  gdk_device_get_position(pointer, nullptr, &mHiddenMousePointX, &mHiddenMousePointY);
  mView->SetCursorHidden(true);
  mCursorHidden = true;
}

void IGraphicsGtk::ShowMouseCursor() {
  if (!mCursorHidden) return;
  GdkDisplay* display = gdk_display_get_default();
  GdkSeat* seat = display ? gdk_display_get_default_seat(display) : nullptr;
  GdkDevice* pointer = seat ? gdk_seat_get_pointer(seat) : nullptr;
  if (pointer)
    gdk_device_warp(pointer, gdk_display_get_default_screen(display), mHiddenMousePointX, mHiddenMousePointY);
  if (mView) mView->SetCursorHidden(false);
  mCursorHidden = false;
}
