// Buttons, combo boxes, trackbars, progress bars, text fields, text views and group boxes.
#include "WINX_Controls.h"

#include <gtk/gtk.h>
#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "WINX_Canvas.h"
#include "WINX_CtlText.h"

namespace {

bool haveGtk() { return winx_internal::gtkAvailable(); }

// Takes the floating reference of a freshly made widget: the record owns one reference and
// HWND__::releaseWidgets drops it.
GtkWidget* own(GtkWidget* w) {
  g_object_ref_sink(w);
  gtk_widget_show(w);
  return w;
}

template <class T>
T* ctlOf(HWND hwnd, int id, int classTag) {
  HWND target = id ? GetDlgItem(hwnd, id) : hwnd;
  HWND__* w = WINX_ValidWindow(target);
  return w && w->classTag == classTag ? static_cast<T*>(w) : nullptr;
}

// Character offset <-> byte offset of UTF-8 text; offsets past the end clamp to the end.
int charCount(const std::string& s) { return (int)g_utf8_strlen(s.c_str(), (gssize)s.size()); }

// Mixed or radio handling of a button's check state in the widget.
void syncButtonWidget(WinxCtlButton* b) {
  if (!b->widget || !GTK_IS_TOGGLE_BUTTON(b->widget)) return;
  b->m_syncing = true;
  gtk_toggle_button_set_inconsistent(GTK_TOGGLE_BUTTON(b->widget), b->m_check == BST_INDETERMINATE);
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(b->widget), b->m_check == BST_CHECKED);
  b->m_syncing = false;
}

void onButtonClicked(GtkButton*, gpointer data) {
  WinxCtlButton* b = (WinxCtlButton*)data;
  if (b->m_syncing) return;
  b->clicked();
}

gboolean onOwnerDraw(GtkWidget* w, cairo_t* cr, gpointer data) {
  WinxCtlButton* b = (WinxCtlButton*)data;
  b->drawOwner(cr, gtk_widget_get_allocated_width(w), gtk_widget_get_allocated_height(w));
  return TRUE;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

void WinxCtl::connect(GtkWidget* w, const char* signal, void (*fn)(), void*) {
  if (!w) return;
  g_signal_connect(w, signal, G_CALLBACK(fn), this);
  if (std::find(m_signalWidgets.begin(), m_signalWidgets.end(), w) == m_signalWidgets.end())
    m_signalWidgets.push_back(w);
}

GtkWidget* WinxCtl::makeScrolledTree() {
  widget = gtk_scrolled_window_new(nullptr, nullptr);
  g_object_ref_sink(widget);
  GtkWidget* tree = gtk_tree_view_new();
  gtk_tree_view_set_enable_search(GTK_TREE_VIEW(tree), FALSE);
  gtk_container_add(GTK_CONTAINER(widget), tree);
  return tree;
}

void WinxCtl::releaseWidgets() {
  for (GtkWidget* w : m_signalWidgets)
    if (G_IS_OBJECT(w)) g_signal_handlers_disconnect_by_data(w, this);
  m_signalWidgets.clear();
  HWND__::releaseWidgets();
}

WinxCtl::~WinxCtl() {
  for (GtkWidget* w : m_signalWidgets)
    if (G_IS_OBJECT(w)) g_signal_handlers_disconnect_by_data(w, this);
  m_signalWidgets.clear();
  if (widget) g_signal_handlers_disconnect_by_data(widget, this);
}

void WINX_MarkParentsDirty(HWND__* ctl) {
  if (!ctl) return;
  for (HWND__* a = ctl->parent; a; a = a->parent) {
    if (!a->isWindowView()) continue;
    if (a->m_isdirty & 2) break;
    a->m_isdirty |= 2;
  }
}

// ---- buttons ---------------------------------------------------------------------------------

WinxCtlButton::WinxCtlButton(WINX_ButtonKind kind, const char* title)
    : WinxCtl(WINX_CLASS_BUTTON), m_kind(kind), m_title(WINX_SanitizeUTF8(title)) {
  setKind(kind);
}

void WinxCtlButton::updateStyleWord() {
  int kind = 0;
  switch (m_kind) {
    case WINX_BUTTON_CHECK: kind = 3; break;
    case WINX_BUTTON_3STATE: kind = 6; break;
    case WINX_BUTTON_RADIO: kind = 9 | ((m_radioflags & 2) ? WS_GROUP : 0); break;
    case WINX_BUTTON_OWNERDRAW: kind = 11; break;
    default: break;
  }
  m_style = (m_style & ~(0xF | WS_GROUP)) | kind;
  m_hasStyle = true;
}

void WinxCtlButton::setRadioFlags(int flags) {
  m_radioflags = flags;
  updateStyleWord();
}

void WinxCtlButton::setKind(WINX_ButtonKind kind) {
  m_kind = kind;
  m_radioflags = kind == WINX_BUTTON_RADIO ? (m_radioflags | 1) : 0;
  if (kind != WINX_BUTTON_3STATE && m_check == BST_INDETERMINATE) m_check = BST_UNCHECKED;
  updateStyleWord();
  if (!haveGtk()) return;
  // Rebuilding the widget keeps it in the parent's container at the same place.
  GtkWidget* old = widget;
  if (old) {
    g_signal_handlers_disconnect_by_data(old, this);
    m_signalWidgets.erase(std::remove(m_signalWidgets.begin(), m_signalWidgets.end(), old),
                          m_signalWidgets.end());
  }
  GtkWidget* w;
  switch (kind) {
    case WINX_BUTTON_OWNERDRAW:
      w = gtk_drawing_area_new();
      connect(w, "draw", (void (*)())onOwnerDraw);
      break;
    case WINX_BUTTON_PUSH:
      w = gtk_button_new_with_label(m_title.c_str());
      connect(w, "clicked", (void (*)())onButtonClicked);
      break;
    default:
      w = gtk_check_button_new_with_label(m_title.c_str());
      connect(w, "clicked", (void (*)())onButtonClicked);
      break;
  }
  widget = own(w);
  gtk_widget_set_sensitive(widget, m_enabled != 0);
  syncButtonWidget(this);
  if (old) {
    GtkWidget* cont = gtk_widget_get_parent(old);
    gtk_widget_destroy(old);
    g_object_unref(old);
    if (cont && parent) winx_internal::placeWidget(this);
  }
}

void WinxCtlButton::setStyle(int32_t style) {
  m_style = style;
  WINX_ButtonKind kind = m_kind;
  int radio = m_radioflags;
  switch (style & 0xF) {
    case 3: kind = WINX_BUTTON_CHECK; radio = 0; break;
    case 6: kind = WINX_BUTTON_3STATE; radio = 0; break;
    case 9: kind = WINX_BUTTON_RADIO; radio = 1 | ((style & WS_GROUP) ? 2 : 0); break;
    default: break;
  }
  if (kind != m_kind) setKind(kind);  // rebuilds the widget; keep that for real changes
  setRadioFlags(radio);                // and puts the real kind back into the style word
  WINX_MarkParentsDirty(this);
}

void WinxCtlButton::setText(const char* text) {
  m_title = WINX_SanitizeUTF8(text);
  if (widget && GTK_IS_BUTTON(widget)) gtk_button_set_label(GTK_BUTTON(widget), m_title.c_str());
  WINX_MarkParentsDirty(this);
}

void WinxCtlButton::setEnabled(bool enabled) {
  HWND__::setEnabled(enabled);
  if (widget) gtk_widget_set_sensitive(widget, enabled);
}

void WinxCtlButton::setCheck(int state) {
  if (m_kind == WINX_BUTTON_PUSH || m_kind == WINX_BUTTON_OWNERDRAW) return;
  if (state == BST_INDETERMINATE && m_kind != WINX_BUTTON_3STATE) state = BST_CHECKED;
  m_check = state;
  syncButtonWidget(this);
  WINX_MarkParentsDirty(this);
}

void WinxCtlButton::clicked() {
  if (m_hashaddestroy.load() != 0) return;
  switch (m_kind) {
    case WINX_BUTTON_CHECK:
      m_check = m_check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
      break;
    case WINX_BUTTON_3STATE:
      m_check = (m_check + 1) % 3;
      break;
    case WINX_BUTTON_RADIO:
      m_check = BST_CHECKED;
      break;
    default:
      break;
  }
  syncButtonWidget(this);
  // Radio groups: siblings from the previous group start up to the next one are switched off.
  if (m_radioflags && parent) {
    std::vector<HWND__*>& sib = parent->children;
    auto self = std::find(sib.begin(), sib.end(), (HWND__*)this);
    auto isRadio = [](HWND__* h) {
      return h->classTag == WINX_CLASS_BUTTON && (static_cast<WinxCtlButton*>(h)->m_radioflags & 1);
    };
    if (self != sib.end()) {
      if (!(m_radioflags & 2)) {
        for (auto it = self; it != sib.begin();) {
          --it;
          if ((*it)->classTag != WINX_CLASS_BUTTON) break;
          WinxCtlButton* o = static_cast<WinxCtlButton*>(*it);
          if (isRadio(o) && o->m_check) o->setCheck(BST_UNCHECKED);
          if (o->m_radioflags & 2) break;
        }
      }
      for (auto it = self + 1; it != sib.end(); ++it) {
        if ((*it)->classTag != WINX_CLASS_BUTTON) break;
        WinxCtlButton* o = static_cast<WinxCtlButton*>(*it);
        if (o->m_radioflags & 2) break;
        if (isRadio(o) && o->m_check) o->setCheck(BST_UNCHECKED);
      }
    }
  }
  WINX_SendCommand(this, BN_CLICKED);
}

void WinxCtlButton::drawOwner(void* cr, int w, int h) {
  if (m_kind != WINX_BUTTON_OWNERDRAW || m_hashaddestroy.load() != 0) return;
  cairo_surface_t* s = (cairo_surface_t*)WINX_DrawItemToSurface(this, ODT_BUTTON, 0, 0, w, h);
  if (!s) return;
  if (cr) {
    cairo_set_source_surface((cairo_t*)cr, s, 0, 0);
    cairo_paint((cairo_t*)cr);
  }
  cairo_surface_destroy(s);
}

void* WINX_DrawItemToSurface(HWND__* ctl, uint32_t ctlType, int item, uint64_t itemData, int w, int h) {
  if (!ctl || !ctl->parent || w < 1 || h < 1) return nullptr;
  std::vector<uint32_t> pixels((size_t)w * (size_t)h, 0);
  WINX_Canvas canvas;
  WINX_CanvasInit(&canvas, pixels.data(), w, h, w);
  HDC ctx = WINX_CreateGfxContext(&canvas);
  if (!ctx) return nullptr;
  DRAWITEMSTRUCT dis = {};
  dis.CtlType = ctlType;
  dis.CtlID = (uint32_t)ctl->m_tag;
  dis.itemID = (uint32_t)item;
  dis.hwndItem = ctl;
  dis.hDC = ctx;
  dis.rcItem = RECT{0, 0, w, h};
  dis.itemData = itemData;
  WINX_RetainWindow(ctl);
  SendMessage(ctl->parent, WM_DRAWITEM, (WPARAM)ctl->m_tag, (LPARAM)(intptr_t)&dis);
  WINX_DeleteGfxContext(ctx);
  WINX_ReleaseWindow(ctl);
  // Our pixel words (alpha in bits 0-7, then red, green, blue) into Cairo's premultiplied ARGB.
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    return nullptr;
  }
  cairo_surface_flush(s);
  unsigned char* dst = cairo_image_surface_get_data(s);
  const int stride = cairo_image_surface_get_stride(s);
  for (int y = 0; y < h; ++y) {
    uint32_t* d = (uint32_t*)(dst + (size_t)y * stride);
    for (int x = 0; x < w; ++x) {
      const uint32_t p = pixels[(size_t)y * w + x];
      const uint32_t a = p & 0xFF;
      auto pm = [a](uint32_t c) { return (c * a + 127) / 255; };
      d[x] = (a << 24) | (pm((p >> 8) & 0xFF) << 16) | (pm((p >> 16) & 0xFF) << 8) | pm((p >> 24) & 0xFF);
    }
  }
  cairo_surface_mark_dirty(s);
  return s;
}

LRESULT WinxCtlButton::handleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case BM_GETCHECK:
      return m_check;
    case BM_SETCHECK:
      setCheck((wParam & 2) ? BST_INDETERMINATE : (wParam & 1) ? BST_CHECKED : BST_UNCHECKED);
      return 0;
    case BM_GETIMAGE:
    case BM_SETIMAGE: {
      if (wParam > 1) return 0;
      HGDIOBJ prev = m_image;
      if (msg == BM_SETIMAGE) {
        HGDIOBJ img = (HGDIOBJ)(intptr_t)lParam;
        m_image = WINX_ValidObj(img, WINX_GDI_BITMAP) ? img : nullptr;
      }
      return (LRESULT)(intptr_t)prev;
    }
    default:
      return 0;
  }
}

// ---- combo boxes -----------------------------------------------------------------------------

namespace {

void onComboChanged(GtkComboBox* cb, gpointer data) {
  WinxCtlCombo* c = (WinxCtlCombo*)data;
  if (c->m_syncing) return;
  c->userSelected(gtk_combo_box_get_active(cb));
}

void onComboEntryChanged(GtkEditable* e, gpointer data) {
  WinxCtlCombo* c = (WinxCtlCombo*)data;
  if (c->m_syncing || c->m_hashaddestroy.load() != 0) return;
  char* t = gtk_editable_get_chars(e, 0, -1);
  c->m_editText = t ? t : "";
  g_free(t);
  if (gtk_combo_box_get_active(GTK_COMBO_BOX(c->widget)) < 0) WINX_SendCommand(c, CBN_EDITCHANGE);
}

void onComboPopup(GObject* cb, GParamSpec*, gpointer data) {
  WinxCtlCombo* c = (WinxCtlCombo*)data;
  gboolean shown = FALSE;
  g_object_get(cb, "popup-shown", &shown, nullptr);
  if (shown && c->m_hashaddestroy.load() == 0) WINX_SendCommand(c, CBN_DROPDOWN);
}

}  // namespace

WinxCtlCombo::WinxCtlCombo(bool editable, int style)
    : WinxCtl(WINX_CLASS_COMBO, style), m_editable(editable), m_winxStyle(style) {
  if (!haveGtk()) return;
  widget = own(editable ? gtk_combo_box_text_new_with_entry() : gtk_combo_box_text_new());
  connect(widget, "changed", (void (*)())onComboChanged);
  connect(widget, "notify::popup-shown", (void (*)())onComboPopup);
  if (editable) connect(gtk_bin_get_child(GTK_BIN(widget)), "changed", (void (*)())onComboEntryChanged);
}

int WinxCtlCombo::insert(int pos, const char* text) {
  const int n = (int)m_items.size();
  std::string t = WINX_SanitizeUTF8(text ? text : "");
  if (pos == WINX_CB_ADD) {
    pos = n;
    if (m_winxStyle & CBS_SORT) {
      // Byte-wise (case-sensitive) comparison.
      pos = WINX_SortedInsertPos(n, [&](int p) { return strcmp(t.c_str(), m_items[p].c_str()); });
    }
  } else if (pos < 0) {
    pos = 0;
  } else {
    pos = std::min(pos, n);
  }
  m_items.insert(m_items.begin() + pos, t);
  m_ids.insert(m_ids.begin() + pos, 0);
  if (m_sel >= pos) m_sel++;
  if (widget) {
    m_syncing = true;
    gtk_combo_box_text_insert_text(GTK_COMBO_BOX_TEXT(widget), pos, t.c_str());
    m_syncing = false;
  }
  WINX_MarkParentsDirty(this);
  return pos;
}

void WinxCtlCombo::remove(int pos) {
  if (pos < 0 || pos >= (int)m_items.size()) return;
  m_items.erase(m_items.begin() + pos);
  m_ids.erase(m_ids.begin() + pos);
  if (m_sel == pos) m_sel = -1;
  else if (m_sel > pos) m_sel--;
  if (widget) {
    m_syncing = true;
    gtk_combo_box_text_remove(GTK_COMBO_BOX_TEXT(widget), pos);
    gtk_combo_box_set_active(GTK_COMBO_BOX(widget), m_sel);
    m_syncing = false;
  }
}

void WinxCtlCombo::clear() {
  m_items.clear();
  m_ids.clear();
  m_sel = -1;
  if (widget) {
    m_syncing = true;
    gtk_combo_box_text_remove_all(GTK_COMBO_BOX_TEXT(widget));
    m_syncing = false;
  }
}

void WinxCtlCombo::select(int index, bool notify) {
  if (index < 0 || index >= (int)m_items.size()) return;
  m_sel = index;
  if (m_editable) m_editText = m_items[index];
  if (widget) {
    m_syncing = true;
    gtk_combo_box_set_active(GTK_COMBO_BOX(widget), index);
    m_syncing = false;
  }
  if (notify) WINX_SendCommand(this, CBN_SELCHANGE);
}

void WinxCtlCombo::userSelected(int index) {
  if (m_hashaddestroy.load() != 0 || index < 0 || index >= (int)m_items.size()) return;
  select(index, true);
}

const char* WinxCtlCombo::getText() {
  if (m_editable) return m_editText.c_str();
  return m_sel >= 0 ? m_items[m_sel].c_str() : "";
}

void WinxCtlCombo::setText(const char* text) {
  if (!m_editable) {
    // A drop-down list shows one of its items: select the matching one.
    for (size_t i = 0; i < m_items.size(); ++i)
      if (m_items[i] == (text ? text : "")) select((int)i, false);
    return;
  }
  m_editText = WINX_SanitizeUTF8(text);
  if (widget) {
    m_syncing = true;
    gtk_entry_set_text(GTK_ENTRY(gtk_bin_get_child(GTK_BIN(widget))), m_editText.c_str());
    m_syncing = false;
  }
}

LRESULT WinxCtlCombo::handleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case CB_ADDSTRING: return insert(WINX_CB_ADD, (const char*)(intptr_t)lParam);
    case CB_DELETESTRING: remove((int)wParam); return 1;
    case CB_GETCOUNT: return (LRESULT)m_items.size();
    case CB_GETCURSEL: return m_sel;
    case CB_GETLBTEXT: return WINX_CB_GetItemText(this, 0, (int)wParam, (char*)(intptr_t)lParam, 1024);
    case CB_INSERTSTRING: return insert((int)wParam, (const char*)(intptr_t)lParam);
    case CB_RESETCONTENT: clear(); return 0;
    case CB_FINDSTRING:
    case CB_FINDSTRINGEXACT:
      if (!lParam) return -1;
      return WINX_CB_FindString(this, 0, (int)wParam, (const char*)(intptr_t)lParam, msg == CB_FINDSTRINGEXACT);
    case CB_SETCURSEL: select((int)wParam, false); return 0;
    case CB_GETITEMDATA: return WINX_CB_GetItemData(this, 0, (int)wParam);
    case CB_SETITEMDATA: WINX_CB_SetItemData(this, 0, (int)wParam, lParam); return 0;
    default: return 0;
  }
}

int WINX_CB_AddString(HWND hwnd, int id, const char* text) { return WINX_CB_InsertString(hwnd, id, WINX_CB_ADD, text); }

int WINX_CB_InsertString(HWND hwnd, int id, int pos, const char* text) {
  WinxCtlCombo* c = ctlOf<WinxCtlCombo>(hwnd, id, WINX_CLASS_COMBO);
  return c ? c->insert(pos, text) : 0;
}

void WINX_CB_DeleteString(HWND hwnd, int id, int pos) {
  if (WinxCtlCombo* c = ctlOf<WinxCtlCombo>(hwnd, id, WINX_CLASS_COMBO)) c->remove(pos);
}

int WINX_CB_GetNumItems(HWND hwnd, int id) {
  WinxCtlCombo* c = ctlOf<WinxCtlCombo>(hwnd, id, WINX_CLASS_COMBO);
  return c ? (int)c->m_items.size() : 0;
}

int WINX_CB_GetCurSel(HWND hwnd, int id) {
  WinxCtlCombo* c = ctlOf<WinxCtlCombo>(hwnd, id, WINX_CLASS_COMBO);
  return c ? c->m_sel : -1;
}

int WINX_CB_GetItemText(HWND hwnd, int id, int item, char* buf, int size) {
  if (buf && size > 0) buf[0] = 0;
  WinxCtlCombo* c = ctlOf<WinxCtlCombo>(hwnd, id, WINX_CLASS_COMBO);
  if (!c || item < 0 || item >= (int)c->m_items.size()) return 0;
  WINX_CopyTextBounded(buf, size, c->m_items[item].c_str());
  return 1;
}

void WINX_CB_Empty(HWND hwnd, int id) {
  if (WinxCtlCombo* c = ctlOf<WinxCtlCombo>(hwnd, id, WINX_CLASS_COMBO)) c->clear();
}

void WINX_CB_SetCurSel(HWND hwnd, int id, int item) {
  if (WinxCtlCombo* c = ctlOf<WinxCtlCombo>(hwnd, id, WINX_CLASS_COMBO)) c->select(item, false);
}

int64_t WINX_CB_GetItemData(HWND hwnd, int id, int item) {
  WinxCtlCombo* c = ctlOf<WinxCtlCombo>(hwnd, id, WINX_CLASS_COMBO);
  if (!c || item < 0 || item >= (int)c->m_ids.size()) return 0;
  return (int64_t)c->m_ids[item];
}

void WINX_CB_SetItemData(HWND hwnd, int id, int item, int64_t data) {
  WinxCtlCombo* c = ctlOf<WinxCtlCombo>(hwnd, id, WINX_CLASS_COMBO);
  if (!c || item < 0 || item >= (int)c->m_ids.size()) return;
  c->m_ids[item] = (uint64_t)data;
}

int WINX_CB_FindString(HWND hwnd, int id, int startAfter, const char* text, bool exact) {
  WinxCtlCombo* c = ctlOf<WinxCtlCombo>(hwnd, id, WINX_CLASS_COMBO);
  if (!c) return 0;
  if (!text) return -1;
  const int n = (int)c->m_items.size();
  const size_t len = strlen(text);
  for (int i = startAfter < 0 ? 0 : startAfter + 1; i < n; ++i) {
    const char* t = c->m_items[i].c_str();
    if (exact ? !strcasecmp(t, text) : !strncasecmp(t, text, len)) return i;
  }
  return -1;
}

// ---- trackbars -------------------------------------------------------------------------------

namespace {

void onScaleChanged(GtkRange* r, gpointer data) {
  WinxCtlSlider* s = (WinxCtlSlider*)data;
  if (s->m_syncing || s->m_hashaddestroy.load() != 0) return;
  s->m_value = gtk_range_get_value(r);
  if (s->parent) SendMessage(s->parent, WM_HSCROLL, 0, (LPARAM)(intptr_t)s);
}

}  // namespace

WinxCtlSlider::WinxCtlSlider() : WinxCtl(WINX_CLASS_SLIDER) {
  if (!haveGtk()) return;
  widget = own(gtk_scale_new_with_range(GTK_ORIENTATION_HORIZONTAL, 0, 1000, 1));
  gtk_scale_set_draw_value(GTK_SCALE(widget), FALSE);
  connect(widget, "value-changed", (void (*)())onScaleChanged);
}

void WinxCtlSlider::setValue(double v) {
  m_value = std::min(std::max(v, m_min), m_max);
  if (widget) {
    m_syncing = true;
    gtk_range_set_value(GTK_RANGE(widget), m_value);
    m_syncing = false;
  }
}

void WinxCtlSlider::setRange(double lo, double hi) {
  m_min = lo;
  m_max = std::max(lo, hi);
  if (widget) {
    m_syncing = true;
    gtk_range_set_range(GTK_RANGE(widget), m_min, m_max > m_min ? m_max : m_min + 1);
    m_syncing = false;
  }
  setValue(m_value);
}

LRESULT WinxCtlSlider::handleMessage(UINT msg, WPARAM, LPARAM lParam) {
  switch (msg) {
    case TBM_GETPOS: return (int)(m_value + 0.5);
    case TBM_SETTIC: return 1;
    case TBM_SETPOS: setValue((double)(int)lParam); return 1;
    case TBM_SETRANGE: setRange((double)(lParam & 0xFFFF), (double)((lParam >> 16) & 0xFFFF)); return 1;
    default: return 0;
  }
}

int WINX_TB_GetPos(HWND hwnd, int id) {
  HWND target = id ? GetDlgItem(hwnd, id) : hwnd;
  if (WinxCtlSlider* s = ctlOf<WinxCtlSlider>(hwnd, id, WINX_CLASS_SLIDER)) return (int)(s->m_value + 0.5);
  return WINX_ValidWindow(target) ? (int)SendMessage(target, TBM_GETPOS, 0, 0) : 0;
}

void WINX_TB_SetPos(HWND hwnd, int id, int pos) {
  HWND target = id ? GetDlgItem(hwnd, id) : hwnd;
  if (WinxCtlSlider* s = ctlOf<WinxCtlSlider>(hwnd, id, WINX_CLASS_SLIDER)) s->setValue(pos);
  else if (WINX_ValidWindow(target)) SendMessage(target, TBM_SETPOS, 1, pos);
}

void WINX_TB_SetRange(HWND hwnd, int id, int low, int high) {
  HWND target = id ? GetDlgItem(hwnd, id) : hwnd;
  if (WinxCtlSlider* s = ctlOf<WinxCtlSlider>(hwnd, id, WINX_CLASS_SLIDER)) s->setRange(low, high);
  else if (WINX_ValidWindow(target))
    SendMessage(target, TBM_SETRANGE, 1, (LPARAM)((low & 0xFFFF) | ((int64_t)high << 16)));
}

void WINX_TB_SetTic(HWND hwnd, int id, int pos) {
  HWND target = id ? GetDlgItem(hwnd, id) : hwnd;
  if (ctlOf<WinxCtlSlider>(hwnd, id, WINX_CLASS_SLIDER)) return;
  if (WINX_ValidWindow(target)) SendMessage(target, TBM_SETTIC, 0, pos);
}

// ---- progress bars ---------------------------------------------------------------------------

WinxCtlProgress::WinxCtlProgress() : WinxCtl(WINX_CLASS_PROGRESS) {
  if (haveGtk()) widget = own(gtk_progress_bar_new());
}

void WinxCtlProgress::sync() {
  if (!widget) return;
  double span = m_max - m_min;
  double f = span > 0 ? (m_value - m_min) / span : 0;
  gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(widget), std::min(std::max(f, 0.0), 1.0));
  WINX_MarkParentsDirty(this);
}

LRESULT WinxCtlProgress::handleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case PBM_SETRANGE:
      m_min = (double)(lParam & 0xFFFF);
      m_max = (double)((lParam >> 16) & 0xFFFF);
      break;
    case PBM_SETPOS: m_value = (double)(uint32_t)wParam; break;
    case PBM_DELTAPOS: m_value += (double)(uint32_t)wParam; break;
    default: return 0;
  }
  sync();
  return 0;
}

// ---- text fields and labels ------------------------------------------------------------------

namespace {

void onEntryChanged(GtkEditable* e, gpointer data) {
  WinxCtlTextField* f = (WinxCtlTextField*)data;
  if (f->m_syncing || f->m_hashaddestroy.load() != 0) return;
  char* t = gtk_editable_get_chars(e, 0, -1);
  f->m_text = t ? t : "";
  g_free(t);
  WINX_SendCommand(f, EN_CHANGE);
}

// Leaving the field ends its editing (textDidEndEditing: EN_CHANGE once more).
gboolean onEntryFocusOut(GtkWidget*, GdkEvent*, gpointer data) {
  WinxCtlTextField* f = (WinxCtlTextField*)data;
  if (f->m_hashaddestroy.load() == 0 && f->m_editable) WINX_SendCommand(f, EN_CHANGE);
  return FALSE;
}

void onEntryActivate(GtkEntry*, gpointer data) {
  WinxCtlTextField* f = (WinxCtlTextField*)data;
  if (f->m_hashaddestroy.load() == 0) WINX_SendCommand(f, 0);
}

// Keeps a selection [start, end) inside a text of len characters. wParam -1 empties it at the
// start; an end of -1 means the end of the text; an end before the start becomes the start.
void clampSelection(int64_t wp, int64_t lp, int len, int* start, int* end) {
  if (wp == -1) { *start = *end = 0; return; }
  int64_t s = wp < 0 ? 0 : std::min<int64_t>(wp, len);
  int64_t e = lp == -1 ? len : std::min<int64_t>(std::max<int64_t>(lp, 0), len);
  *start = (int)s;
  *end = (int)std::max(s, e);
}

}  // namespace

WinxCtlTextField::WinxCtlTextField(bool label, bool password, bool editable)
    : WinxCtl(WINX_CLASS_TEXTFIELD), m_label(label), m_password(password), m_editable(editable && !label) {
  if (!haveGtk()) return;
  if (label) {
    widget = own(gtk_label_new(""));
    gtk_label_set_xalign(GTK_LABEL(widget), 0.0f);
  } else {
    widget = own(gtk_entry_new());
    gtk_editable_set_editable(GTK_EDITABLE(widget), m_editable);
    if (password) gtk_entry_set_visibility(GTK_ENTRY(widget), FALSE);
    connect(widget, "changed", (void (*)())onEntryChanged);
    connect(widget, "activate", (void (*)())onEntryActivate);
    connect(widget, "focus-out-event", (void (*)())onEntryFocusOut);
  }
}

const char* WinxCtlTextField::getText() { return m_text.c_str(); }

void WinxCtlTextField::setText(const char* text) {
  m_text = WINX_SanitizeUTF8(text);
  m_selStart = m_selEnd = 0;
  if (widget) {
    m_syncing = true;
    if (m_label) gtk_label_set_text(GTK_LABEL(widget), m_text.c_str());
    else gtk_entry_set_text(GTK_ENTRY(widget), m_text.c_str());
    m_syncing = false;
  }
  WINX_MarkParentsDirty(this);
  // An editable field reports programmatic changes too, as the toolkit-free layer always did.
  if (m_editable && m_hashaddestroy.load() == 0) WINX_SendCommand(this, EN_CHANGE);
}

void WinxCtlTextField::setAlignment(int align) {
  float x = align < 0 ? 0.0f : align == 0 ? 0.5f : 1.0f;
  if (!widget) return;
  if (m_label) gtk_label_set_xalign(GTK_LABEL(widget), x);
  else gtk_entry_set_alignment(GTK_ENTRY(widget), x);
}

LRESULT WinxCtlTextField::handleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (m_label) return 0;
  const int len = charCount(m_text);
  if (widget && GTK_IS_EDITABLE(widget)) {
    gint s = 0, e = 0;
    if (gtk_editable_get_selection_bounds(GTK_EDITABLE(widget), &s, &e)) {
      m_selStart = s;
      m_selEnd = e;
    }
  }
  switch (msg) {
    case EM_GETSEL:
      if (wParam) *(uint32_t*)(uintptr_t)wParam = (uint32_t)m_selStart;
      if (lParam) *(int*)(intptr_t)lParam = m_selEnd;
      return 0;
    case EM_SETSEL:
      clampSelection((int64_t)wParam, lParam, len, &m_selStart, &m_selEnd);
      if (widget) gtk_editable_select_region(GTK_EDITABLE(widget), m_selStart, m_selEnd);
      return 0;
    default:
      return 0;
  }
}

// ---- text views ------------------------------------------------------------------------------

namespace {

void onBufferChanged(GtkTextBuffer* b, gpointer data) {
  WinxCtlTextView* v = (WinxCtlTextView*)data;
  if (v->m_syncing || v->m_hashaddestroy.load() != 0) return;
  GtkTextIter s, e;
  gtk_text_buffer_get_bounds(b, &s, &e);
  char* t = gtk_text_buffer_get_text(b, &s, &e, FALSE);
  v->m_text = t ? t : "";
  g_free(t);
  WINX_SendCommand(v, EN_CHANGE);
}

}  // namespace

WinxCtlTextView::WinxCtlTextView(bool editable, bool scrolls)
    : WinxCtl(WINX_CLASS_TEXTVIEW), m_editable(editable) {
  if (!haveGtk()) return;
  m_textView = gtk_text_view_new();
  gtk_text_view_set_editable(GTK_TEXT_VIEW(m_textView), editable);
  gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(m_textView), GTK_WRAP_WORD_CHAR);
  gtk_widget_show(m_textView);
  if (scrolls) {
    widget = own(gtk_scrolled_window_new(nullptr, nullptr));
    gtk_container_add(GTK_CONTAINER(widget), m_textView);
  } else {
    widget = own(m_textView);
  }
  GtkTextBuffer* b = gtk_text_view_get_buffer(GTK_TEXT_VIEW(m_textView));
  g_signal_connect(b, "changed", G_CALLBACK(onBufferChanged), this);
  m_signalWidgets.push_back((GtkWidget*)b);  // a buffer, not a widget: only disconnected
}

void WinxCtlTextView::releaseWidgets() {
  m_textView = nullptr;  // goes with `widget`
  WinxCtl::releaseWidgets();
}

const char* WinxCtlTextView::getText() { return m_text.c_str(); }

void WinxCtlTextView::setText(const char* text) {
  m_text = WINX_SanitizeUTF8(text);
  m_selStart = m_selEnd = 0;
  if (m_textView) {
    m_syncing = true;
    gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(m_textView)), m_text.c_str(), -1);
    m_syncing = false;
  }
  WINX_MarkParentsDirty(this);
}

LRESULT WinxCtlTextView::handleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  GtkTextBuffer* b = m_textView ? gtk_text_view_get_buffer(GTK_TEXT_VIEW(m_textView)) : nullptr;
  if (b) {
    GtkTextIter s, e;
    gtk_text_buffer_get_selection_bounds(b, &s, &e);
    m_selStart = gtk_text_iter_get_offset(&s);
    m_selEnd = gtk_text_iter_get_offset(&e);
  }
  switch (msg) {
    case EM_GETSEL:
      if (wParam) *(int*)(uintptr_t)wParam = m_selStart;
      if (lParam) *(int*)(intptr_t)lParam = m_selEnd;
      return 0;
    case EM_SETSEL:
      clampSelection((int64_t)wParam, lParam, charCount(m_text), &m_selStart, &m_selEnd);
      if (b) {
        GtkTextIter s, e;
        gtk_text_buffer_get_iter_at_offset(b, &s, m_selStart);
        gtk_text_buffer_get_iter_at_offset(b, &e, m_selEnd);
        gtk_text_buffer_select_range(b, &s, &e);
      }
      return 0;
    case EM_SCROLL:
      if (b && (wParam == SB_BOTTOM || wParam == SB_TOP)) {
        GtkTextIter it;
        if (wParam == SB_BOTTOM) gtk_text_buffer_get_end_iter(b, &it);
        else gtk_text_buffer_get_start_iter(b, &it);
        gtk_text_view_scroll_to_iter(GTK_TEXT_VIEW(m_textView), &it, 0, FALSE, 0, 0);
      }
      return 0;
    default:
      return 0;  // WM_SETFONT: the view keeps the theme's font
  }
}

// ---- group boxes -----------------------------------------------------------------------------

WinxCtlGroupBox::WinxCtlGroupBox(const char* title) : WinxCtl(WINX_CLASS_GROUPBOX), m_title(WINX_SanitizeUTF8(title)) {
  if (haveGtk()) widget = own(gtk_frame_new(m_title.c_str()));
}

void WinxCtlGroupBox::setText(const char* text) {
  m_title = WINX_SanitizeUTF8(text);
  if (widget) gtk_frame_set_label(GTK_FRAME(widget), m_title.c_str());
}

void WinxCtlGroupBox::setTitleCentered(bool centred) {
  if (widget) gtk_frame_set_label_align(GTK_FRAME(widget), centred ? 0.5f : 0.0f, 0.5f);
}

// ---- kind queries ----------------------------------------------------------------------------

int WINX_IsGroupBox(HWND hwnd) {
  HWND__* w = WINX_ValidWindow(hwnd);
  return w && w->classTag == WINX_CLASS_GROUPBOX;
}

int WINX_IsButton(HWND hwnd) {
  HWND__* w = WINX_ValidWindow(hwnd);
  return w && w->classTag == WINX_CLASS_BUTTON;
}

int WINX_IsStaticText(HWND hwnd) {
  HWND__* w = WINX_ValidWindow(hwnd);
  return w && w->classTag == WINX_CLASS_TEXTFIELD;
}

void WINX_GetDesiredControlSize(HWND hwnd, RECT* r) {
  HWND__* w = WINX_ValidWindow(hwnd);
  if (!r || !w || w->classTag < WINX_CLASS_CONTROL_BASE || !w->widget) return;
  GtkRequisition nat;
  gtk_widget_get_preferred_size(w->widget, nullptr, &nat);
  *r = RECT{0, 0, nat.width, nat.height};
}
