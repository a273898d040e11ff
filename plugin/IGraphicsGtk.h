// The GTK 3 binding of the graphics object: puts the canvas on screen in a container that the
// host gives, runs the repaint timer, turns GTK's mouse, wheel and key events into the canvas's
// input calls, and offers the platform services the controls ask for (popup menus, text entry,
// message boxes, file dialogs, opening URLs and folders) and the resource lookup by file name.
//
// Coordinates: GTK's widget coordinates are top-left with y downward like the canvas, so no
// flip applies: a pointer at widget (px, py) reaches the canvas as (px, py), and a canvas
// rectangle is invalidated as the same rectangle of the widget.
//
// Threads: GTK's main thread only, except OSLoadFile, OSLoadBitmap and OSBitmapFile, which run
// on whatever thread builds the interface. Menus, dialogs and message boxes run nested main
// loops; the repaint timer keeps firing inside them.
//
// Ownership: the view (widgets, timer) belongs to this object from OpenWindow to CloseWindow;
// a host that destroys the parent container closes the view through the root widget's
// "destroy" signal.
#pragma once

#include <string>

#include "IGraphics.h"

class IGraphicsGtkView;

class IGraphicsGtk : public IGraphics {
public:
  IGraphicsGtk(IPluginBase* plug, int w, int h, int fps = 0);
  ~IGraphicsGtk() override;

  bool DrawScreen(IRECT* rect) override;
  bool MeasureIText(IText* text, const char* str, IRECT* destRect) override;
  void ForceEndUserEdit() override;
  void Resize(int w, int h) override;
  bool WindowIsOpen() override { return mView != nullptr; }
  const char* GetGUIAPI() override { return "GTK gui"; }
  int ShowMessageBox(const char* text, const char* caption, int type) override;
  IPopupMenu* CreateIPopupMenu(IPopupMenu* menu, IRECT* rect) override;
  void CreateTextEntry(IControl* control, IText* text, IRECT* rect, const char* str, IParam* param) override;
  void HostPath(UTIL_String* path) override;
  void PluginPath(UTIL_String* path) override;
  void DesktopPath(UTIL_String* path) override;
  void PromptForFile(UTIL_String* file, EFileAction action, UTIL_String* dir, char* extensions) override;
  bool PromptForColor(IColor* color, char* prompt) override;
  bool OpenURL(const char* url, const char* msgWindowTitle = nullptr, const char* confirmMsg = nullptr,
               const char* errMsgOnFailure = nullptr) override;
  // parent: a GtkContainer (GtkWidget*) of the host, or null. Returns the root GtkWidget.
  void* OpenWindow(void* parent) override;
  void CloseWindow() override;
  void* GetWindow() override { return mView; }
  char* OSLoadFile(int ID, const char* name) override;
  void HideMouseCursor() override;
  void ShowMouseCursor() override;
  GFX_IBitmap* OSLoadBitmap(int ID, const char* name) override;
  std::string OSBitmapFile(int ID, const char* name) override;
  // A menu is cancelled, a dialog answered as by its close button.
  void EndModalLoops(const std::vector<void*>& loops) override;
  // From an idle of the main loop, which runs once the loops' callers have returned.
  void DeleteWhenUnwound(std::function<void()> del) override;

  // Resources are looked up in the resources folder of the bundle with this identifier ...
  void SetBundleID(const char* id) { mBundleID.Set(id); }
  const char* GetBundleID() const { return mBundleID.Get(); }
  // ... or, when set, in this folder (the stand-in host and tests have no bundle).
  void SetResourcesPath(const char* path) { mResourcesPath = path ? path : ""; }
  // Full path of the resource file "<base>.<type>" for a name such as "resources/img/x.png"
  // (folder part dropped, type compared without case); "" when there is none. When something
  // that is no regular file (a FIFO, a device, a folder, a link loop or to nothing) stands at
  // "<base>.<type>" in the resources folder, that is the resource, unusable: "" too, with
  // *refused (when given) naming it and why, and no other folder is searched.
  std::string FindResource(const char* name, const char* type = nullptr, std::string* refused = nullptr) const;
  // The resource file of an image name with the extension "png" (any case), or "".
  std::string pngFile(const char* name, std::string* refused = nullptr) const;

  IGraphicsGtkView* GetView() const { return mView; }

  // The running kernel's version packed like the classic system version word, one hex digit per
  // part where it fits: 6.1.0 gives 0x0610. The Audio Unit binding reports it with the view.
  static int GetUserOSVersion();

  // What a confirmed file panel leaves: file = the chosen path (a saved name without one of the
  // allowed extensions gets the first one), dir = the path's folder followed by "/".
  static void ApplyChosenFile(const std::string& chosen, bool save, const char* extensions, UTIL_String* file,
                              UTIL_String* dir);
  // The text a save panel's answer ends up as: the chosen path with the first allowed
  // extension added when the user left the name without one of them.
  static std::string AddMissingExtension(const std::string& path, const std::string& extensions);
  // The panel asks before replacing the name as typed; the extension is added after that. This is
  // the existing file an added extension would replace without a question (empty when none).
  static std::string ExistingFileBehindAddedExtension(const std::string& chosen, const char* extensions);
  // The URI OpenURL hands to the desktop: text containing "http" as it is, a path as file URI.
  static std::string URIForOpen(const char* urlOrPath);

protected:
  // The view's tick waits in the default main context: wake it up, so that the view's wake
  // source looks at the pending wake.
  void WakeView() override;

private:
  std::string resourcesFolder() const;

  IGraphicsGtkView* mView = nullptr;
  UTIL_String mBundleID;
  std::string mResourcesPath;
};
