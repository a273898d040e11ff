#include "HostView.h"

#include <gtk/gtk.h>

#include <utility>

#include "AUCocoaView.h"
#include "AUComponent.h"
#include "CFBundle.h"
#include "CFString.h"
#include "HostPlugin.h"

namespace {

void onPlayToggled(GtkToggleButton* b, gpointer data) {
  auto* plug = static_cast<HostPlugin*>(data);
  bool on = gtk_toggle_button_get_active(b);
  if (on)
    plug->Transport().Play();
  else
    plug->Transport().Stop();
  gtk_button_set_label(GTK_BUTTON(b), on ? "Stop" : "Play");
}

void onTempoChanged(GtkSpinButton* s, gpointer data) { static_cast<HostPlugin*>(data)->Transport().SetTempo(gtk_spin_button_get_value(s)); }

// Closing the window ends the session; the window itself is destroyed by Close(), after the
// state has been saved and before the component is closed.
gboolean onDelete(GtkWidget*, GdkEvent*, gpointer closedByUser) {
  *static_cast<bool*>(closedByUser) = true;
  gtk_main_quit();
  return TRUE;
}

// The factory named by the Cocoa UI property, or null with *note saying why.
AUCocoaViewFactory findFactory(HostPlugin* plug, std::string* note) {
  AudioUnitCocoaViewInfo info{};
  UInt32 size = sizeof info;
  OSStatus r = AudioUnitGetProperty(plug->Unit(), kAudioUnitProperty_CocoaUI, kAudioUnitScope_Global, 0, &info, &size);
  if (r != noErr) {
    *note = "no view is available from this plug-in yet (its Cocoa UI property answers " + std::to_string(r) + ")";
    return nullptr;
  }
  AUCocoaViewFactory f = AUCocoaViewFactoryFromInfo(info, note);
  if (info.mCocoaAUViewClass[0]) CFRelease(info.mCocoaAUViewClass[0]);
  if (info.mCocoaAUViewBundleLocation) CFRelease(info.mCocoaAUViewBundleLocation);
  return f;
}

}  // namespace

bool HostView::Open(HostPlugin* plug, std::string* note) {
  mWindow = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(mWindow), plug->ComponentName().empty() ? "sorvanta-host" : plug->ComponentName().c_str());
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_container_add(GTK_CONTAINER(mWindow), box);

  GtkWidget* bar = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  gtk_container_set_border_width(GTK_CONTAINER(bar), 4);
  GtkWidget* play = gtk_toggle_button_new_with_label(plug->Transport().IsPlaying() ? "Stop" : "Play");
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(play), plug->Transport().IsPlaying());
  g_signal_connect(play, "toggled", G_CALLBACK(onPlayToggled), plug);
  // Digits need no input method, and GTK's own loads its compose tables on a GLib worker thread
  // whose handover TSan cannot see. A text field asks for its input method while it is being
  // made, before any property of its own can name one: so none is named for the whole toolkit
  // while the field is made, then for the field itself, and the user's choice is given back for
  // every other field (the plug-in's text entries keep their input method).
  GtkSettings* settings = gtk_settings_get_default();
  g_object_set(settings, "gtk-im-module", "gtk-im-context-none", NULL);
  GtkWidget* tempo = gtk_spin_button_new_with_range(1.0, 999.0, 0.5);
  g_object_set(tempo, "im-module", "gtk-im-context-none", NULL);
  gtk_settings_reset_property(settings, "gtk-im-module");
  gtk_spin_button_set_digits(GTK_SPIN_BUTTON(tempo), 1);
  gtk_spin_button_set_value(GTK_SPIN_BUTTON(tempo), plug->Transport().Tempo());

  g_signal_connect(tempo, "value-changed", G_CALLBACK(onTempoChanged), plug);
  gtk_box_pack_start(GTK_BOX(bar), play, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(bar), gtk_label_new("Tempo"), FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(bar), tempo, FALSE, FALSE, 0);
  mNote = gtk_label_new(nullptr);
  gtk_label_set_line_wrap(GTK_LABEL(mNote), TRUE);
  gtk_label_set_xalign(GTK_LABEL(mNote), 0.0f);
  gtk_label_set_selectable(GTK_LABEL(mNote), TRUE);  // a file name to copy
  gtk_box_pack_start(GTK_BOX(bar), mNote, TRUE, TRUE, 6);
  gtk_box_pack_start(GTK_BOX(box), bar, FALSE, FALSE, 0);

  GtkWidget* holder = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_box_pack_start(GTK_BOX(box), holder, TRUE, TRUE, 0);
  g_signal_connect(mWindow, "delete-event", G_CALLBACK(onDelete), &mClosedByUser);

  GtkWidget* view = nullptr;
  if (AUCocoaViewFactory f = findFactory(plug, note)) {
    view = static_cast<GtkWidget*>(f(plug->Unit(), holder));
    if (!view)
      *note = "the plug-in has no view to show yet";
    else if (!gtk_widget_get_parent(view))
      gtk_box_pack_start(GTK_BOX(holder), view, TRUE, TRUE, 0);
  }
  if (!view) {
    GtkWidget* label = gtk_label_new(note->c_str());
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_label_set_max_width_chars(GTK_LABEL(label), 60);
    g_object_set(label, "margin", 24, NULL);
    gtk_widget_set_size_request(label, 480, 120);
    gtk_box_pack_start(GTK_BOX(holder), label, TRUE, TRUE, 0);
  }
  gtk_widget_show_all(mWindow);
  return view != nullptr;
}

void HostView::ShowNote(const std::string& line) {
  if (mNote) gtk_label_set_text(GTK_LABEL(mNote), line.c_str());
}

void HostView::Tell(const std::string& line, const std::atomic<bool>* quit) {
  ShowNote(line);
  if (!mWindow || !mClosedByUser) return;
  GtkWidget* box = gtk_message_dialog_new(GTK_WINDOW(mWindow), GTK_DIALOG_MODAL, GTK_MESSAGE_WARNING, GTK_BUTTONS_OK, "%s",
                                          line.c_str());
  // A signal while the box waits ends the host as it does elsewhere; the watch ends before we return.
  std::pair<GtkWidget*, const std::atomic<bool>*> watched(box, quit);
  const guint watch = g_timeout_add(50, [](gpointer data) -> gboolean {
    auto* w = static_cast<std::pair<GtkWidget*, const std::atomic<bool>*>*>(data);
    if (w->second && w->second->load()) gtk_dialog_response(GTK_DIALOG(w->first), GTK_RESPONSE_CLOSE);
    return G_SOURCE_CONTINUE;
  }, &watched);
  gtk_dialog_run(GTK_DIALOG(box));
  g_source_remove(watch);
  gtk_widget_destroy(box);
}

void HostView::Close() {
  if (mWindow) gtk_widget_destroy(mWindow);
  mWindow = nullptr;
  mNote = nullptr;
}
