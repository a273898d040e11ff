// A plug-in library with only a view: its factory puts a 120 x 80 view, painted blue, into the
// parent container and marks it with the audio unit it was made for.
#include <gtk/gtk.h>

#include <type_traits>

#include "AUCocoaView.h"

extern "C" {

__attribute__((visibility("default"))) int Sorvanta_Entry(void*, void*) { return -1; }
__attribute__((visibility("default"))) int Sorvanta_ViewEntry(void*, void*) { return -1; }

__attribute__((visibility("default"))) void* Sorvanta_View_64(AudioUnit unit, void* parent) {
  static_assert(std::is_same_v<decltype(&Sorvanta_View_64), AUCocoaViewFactory>, "the factory type");
  GtkWidget* da = gtk_drawing_area_new();
  gtk_widget_set_size_request(da, 120, 80);
  g_object_set_data(G_OBJECT(da), "test-unit", unit);
  g_signal_connect(da, "draw", G_CALLBACK(+[](GtkWidget*, cairo_t* cr, gpointer) -> gboolean {
                     cairo_set_source_rgb(cr, 0, 0, 1);
                     cairo_paint(cr);
                     return TRUE;
                   }),
                   nullptr);
  gtk_container_add(GTK_CONTAINER(parent), da);
  gtk_widget_show(da);
  return da;
}

}  // extern "C"
