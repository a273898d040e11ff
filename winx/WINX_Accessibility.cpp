// Accessibility of window views. A window procedure may supply an object that stands for what
// it draws (a view paints its own controls, which ATK cannot see); ATK is GTK's accessibility
// layer, so the object is an AtkObject and the view's container reports it as its last child,
// after the accessibles of its child widgets. Hit tests reach it through ATK's own child walk.
//
// The layer never owns the supplied object: the procedure keeps it alive for as long as it
// answers WM_GETOBJECT with it; the layer takes a reference only for each child it hands out.
//
// Not mapped: ATK has no notion of an "ignored" element or of asking a parent for its focused
// child (focus is announced by events), so a view with a supplied object stays a panel in the
// tree and the object announces its own focus. Main thread only.
#include <gtk/gtk-a11y.h>
#include <gtk/gtk.h>

#include "WINX_Window.h"

void* WINX_GetViewAccessibleObject(HWND hwnd) {
  HWND__* w = WINX_ValidWindow(hwnd);
  if (!w || !w->isWindowView() || w->m_hashaddestroy.load() != 0) return nullptr;
  void* slot = nullptr;
  WINX_DeliverMessage(w, WM_GETOBJECT, WINX_OBJID_SELF, reinterpret_cast<LPARAM>(&slot));
  return slot;
}

// The view's container: a GtkFixed that knows its record, so its accessible can ask the
// window procedure. The serial guards against a record freed and another made at its address.
struct WinxViewFixed {
  GtkFixed parent;
  HWND__* view;
  uint64_t serial;
};
struct WinxViewFixedClass {
  GtkFixedClass parent_class;
};
struct WinxViewAccessible {
  GtkContainerAccessible parent;
};
struct WinxViewAccessibleClass {
  GtkContainerAccessibleClass parent_class;
};

G_DEFINE_TYPE(WinxViewAccessible, winx_view_accessible, GTK_TYPE_CONTAINER_ACCESSIBLE)
G_DEFINE_TYPE(WinxViewFixed, winx_view_fixed, GTK_TYPE_FIXED)

namespace {

AtkObjectClass* baseClass() { return ATK_OBJECT_CLASS(winx_view_accessible_parent_class); }

// The object the view's procedure supplies now, or null (no live view, no answer, not an ATK
// object, or the accessible itself, which would make the tree a loop).
AtkObject* suppliedObject(AtkObject* self) {
  GtkWidget* w = gtk_accessible_get_widget(GTK_ACCESSIBLE(self));
  if (!w || !G_TYPE_CHECK_INSTANCE_TYPE(w, winx_view_fixed_get_type())) return nullptr;
  WinxViewFixed* f = reinterpret_cast<WinxViewFixed*>(w);
  if (!WINX_IsValidWindow(f->view, f->serial)) return nullptr;
  void* o = WINX_GetViewAccessibleObject(f->view);
  if (!o || o == self || !ATK_IS_OBJECT(o)) return nullptr;
  return ATK_OBJECT(o);
}

gint getNChildren(AtkObject* self) {
  return baseClass()->get_n_children(self) + (suppliedObject(self) ? 1 : 0);
}

AtkObject* refChild(AtkObject* self, gint i) {
  const gint n = baseClass()->get_n_children(self);
  if (i < n) return baseClass()->ref_child(self, i);
  if (i != n) return nullptr;
  AtkObject* o = suppliedObject(self);
  if (!o) return nullptr;
  if (!atk_object_get_parent(o)) atk_object_set_parent(o, self);
  return ATK_OBJECT(g_object_ref(o));
}

}  // namespace

static void winx_view_accessible_class_init(WinxViewAccessibleClass* k) {
  AtkObjectClass* a = ATK_OBJECT_CLASS(k);
  a->get_n_children = getNChildren;
  a->ref_child = refChild;
}
static void winx_view_accessible_init(WinxViewAccessible*) {}

static void winx_view_fixed_class_init(WinxViewFixedClass* k) {
  gtk_widget_class_set_accessible_type(GTK_WIDGET_CLASS(k), winx_view_accessible_get_type());
}
static void winx_view_fixed_init(WinxViewFixed* f) {
  f->view = nullptr;
  f->serial = 0;
}

namespace winx_internal {

GtkWidget* newViewContainer(HWND__* v) {
  WinxViewFixed* f = static_cast<WinxViewFixed*>(g_object_new(winx_view_fixed_get_type(), nullptr));
  f->view = v;
  f->serial = v->serial;
  return GTK_WIDGET(f);
}

}  // namespace winx_internal
