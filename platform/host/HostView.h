// The host window (GTK 3, main thread only): a small transport bar (play/stop, tempo) above
// the plug-in's view. The view comes from the factory that the plug-in names through its
// Cocoa UI property: an exported C function of that name taking the audio unit and the parent
// container and answering the view's widget (or null when the plug-in has no view yet).
#pragma once

#include <string>

class HostPlugin;
typedef struct _GtkWidget GtkWidget;

class HostView {
public:
  // Builds and shows the window; *note tells what became of the plug-in's view.
  bool Open(HostPlugin* plug, std::string* note);
  // Destroys the window (and with it the plug-in's view widget).
  void Close();

private:
  GtkWidget* mWindow = nullptr;
};
