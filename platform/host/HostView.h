// The host window (GTK 3, main thread only): a small transport bar (play/stop, tempo) above
// the plug-in's view. The view comes from the factory that the plug-in names through its
// Cocoa UI property: an exported C function of that name taking the audio unit and the parent
// container and answering the view's widget (or null when the plug-in has no view yet).
#pragma once

#include <atomic>
#include <string>

class HostPlugin;
typedef struct _GtkWidget GtkWidget;

class HostView {
public:
  // Builds and shows the window; *note tells what became of the plug-in's view.
  bool Open(HostPlugin* plug, std::string* note);
  // Shows line in the window's bar until the window closes (empty: nothing); without a window,
  // nothing.
  void ShowNote(const std::string& line);
  // Tells the user line at the close: in the bar, and, when the user closed the window (so is
  // there to read it), in a message box that waits for OK, or for *quit (a signal) to be set.
  void Tell(const std::string& line, const std::atomic<bool>* quit);
  // Destroys the window (and with it the plug-in's view widget).
  void Close();

private:
  GtkWidget* mWindow = nullptr;
  GtkWidget* mNote = nullptr;
  bool mClosedByUser = false;
};
