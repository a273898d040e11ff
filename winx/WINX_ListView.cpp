// List view and list box: record, rows, selection, notifications, mouse rules and the GTK
// mirror.
#include "WINX_ListView.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "WINX_CtlText.h"

namespace {

const int kDefaultRowHeight = 20;

WinxCtlListView* listOf(HWND hwnd) { return WINX_ListViewOf(hwnd); }

// Process-wide, as the selection code is re-entered from notification handlers.
int g_allItemsDepth = 0;
bool g_inItemChanged = false;

LRESULT notify(WinxCtlListView* lv, int code, int item, int sub, POINT pt, int64_t lParam) {
  if (!lv->parent || lv->m_hashaddestroy.load() != 0) return 0;
  NMLISTVIEW nm = {};
  nm.hdr = NMHDR{lv, (uint64_t)lv->m_tag, code};
  nm.iItem = item;
  nm.iSubItem = sub;
  nm.ptAction = pt;
  nm.lParam = lParam;
  return SendMessage(lv->parent, WM_NOTIFY, (WPARAM)lv->m_tag, (LPARAM)(intptr_t)&nm);
}

int64_t rowData(WinxCtlListView* lv, int row) {
  return row >= 0 && row < (int)lv->m_items.size() ? lv->m_items[row]->m_itemData : 0;
}

// The selection changed through the table (a click or the keyboard): list boxes get
// WM_COMMAND code 1, list views LVN_ITEMCHANGED for the table's selected row.
void tableSelectionChanged(WinxCtlListView* lv) {
  if (lv->m_lbMode) WINX_SendCommand(lv, LBN_SELCHANGE);
  else notify(lv, LVN_ITEMCHANGED, lv->m_selMark, 0, POINT{0, 0}, 0);
}

bool ctrlDown(guint state) { return (state & GDK_CONTROL_MASK) != 0; }

// ---- GTK signal handlers --------------------------------------------------------------------

void toTree(WinxCtlListView* lv, double bx, double by, int* x, int* y) {
  gint tx = (gint)bx, ty = (gint)by;
  gtk_tree_view_convert_bin_window_to_tree_coords(GTK_TREE_VIEW(lv->m_tree), (gint)bx, (gint)by, &tx, &ty);
  *x = tx;
  *y = ty;
}

gboolean onPress(GtkWidget*, GdkEventButton* e, gpointer data) {
  WinxCtlListView* lv = (WinxCtlListView*)data;
  if (lv->m_hashaddestroy.load() != 0) return TRUE;
  int x, y;
  toTree(lv, e->x, e->y, &x, &y);
  if (e->type == GDK_2BUTTON_PRESS && e->button == 1) {
    if (lv->m_lbMode) {
      WINX_SendCommand(lv, LBN_DBLCLK);
    } else {
      int row = lv->rowAt(x, y);
      notify(lv, NM_DBLCLK, row, lv->columnAt(x, y), POINT{x, y}, rowData(lv, row));
    }
    return TRUE;
  }
  if (e->type != GDK_BUTTON_PRESS) return TRUE;
  gtk_widget_grab_focus(lv->m_tree);
  if (e->button == 1) lv->mouseDown(x, y, ctrlDown(e->state));
  return TRUE;  // held back: the release replays it
}

gboolean onRelease(GtkWidget*, GdkEventButton* e, gpointer data) {
  WinxCtlListView* lv = (WinxCtlListView*)data;
  if (lv->m_hashaddestroy.load() != 0) return TRUE;
  int x, y;
  toTree(lv, e->x, e->y, &x, &y);
  if (e->button == 1) lv->mouseUp(x, y, ctrlDown(e->state));
  else if (e->button == 3) lv->rightMouseUp(x, y);
  return TRUE;
}

gboolean onMotion(GtkWidget*, GdkEventMotion* e, gpointer data) {
  WinxCtlListView* lv = (WinxCtlListView*)data;
  if ((e->state & GDK_BUTTON1_MASK) && lv->m_hashaddestroy.load() == 0) lv->mouseDragged();
  return FALSE;
}

void onColumnClicked(GtkTreeViewColumn* tc, gpointer data) {
  WinxCtlListView* lv = (WinxCtlListView*)data;
  if (lv->m_hashaddestroy.load() != 0 || lv->m_lbMode || lv->m_cols.empty() || (lv->m_style & 0x8000)) return;
  notify(lv, LVN_COLUMNCLICK, -1, GPOINTER_TO_INT(g_object_get_data(G_OBJECT(tc), "winx-col")), POINT{0, 0}, 0);
}

// Owner-drawn list boxes: every row is a picture the owner draws through WM_DRAWITEM.
void ownerDrawnCell(GtkTreeViewColumn* col, GtkCellRenderer* cell, GtkTreeModel* model, GtkTreeIter* iter,
                    gpointer data) {
  WinxCtlListView* lv = (WinxCtlListView*)data;
  GtkTreePath* p = gtk_tree_model_get_path(model, iter);
  const int row = p ? gtk_tree_path_get_indices(p)[0] : -1;
  gtk_tree_path_free(p);
  const int w = std::max(1, gtk_tree_view_column_get_width(col)), h = kDefaultRowHeight;
  GdkPixbuf* pb = nullptr;
  if (lv->m_hashaddestroy.load() == 0) {
    if (cairo_surface_t* s = (cairo_surface_t*)WINX_DrawItemToSurface(lv, 2, row, rowData(lv, row), w, h)) {
      pb = gdk_pixbuf_get_from_surface(s, 0, 0, w, h);
      cairo_surface_destroy(s);
    }
  }
  g_object_set(cell, "pixbuf", pb, nullptr);
  if (pb) g_object_unref(pb);
}

void onSelectionChanged(GtkTreeSelection* sel, gpointer data) {
  WinxCtlListView* lv = (WinxCtlListView*)data;
  if (lv->m_syncing || lv->m_hashaddestroy.load() != 0 || lv->ownerData()) return;
  bool changed = false;
  for (size_t i = 0; i < lv->m_items.size(); ++i) {
    GtkTreePath* p = gtk_tree_path_new_from_indices((gint)i, -1);
    bool on = gtk_tree_selection_path_is_selected(sel, p);
    gtk_tree_path_free(p);
    if (on != lv->m_items[i]->m_selected) {
      lv->m_items[i]->m_selected = on;
      if (on) lv->m_selMark = (int)i;
      changed = true;
    }
  }
  if (changed) tableSelectionChanged(lv);
}

}  // namespace

WinxCtlListView* WINX_ListViewOf(HWND hwnd) {
  HWND__* w = WINX_ValidWindow(hwnd);
  return w && w->classTag == WINX_CLASS_LISTVIEW ? static_cast<WinxCtlListView*>(w) : nullptr;
}

// ---- record ---------------------------------------------------------------------------------

WinxCtlListView::WinxCtlListView(bool listBox, int style) : WinxCtl(WINX_CLASS_LISTVIEW, style), m_lbMode(listBox) {
  if (!winx_internal::gtkAvailable()) return;
  m_tree = makeScrolledTree();
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(widget), listBox ? GTK_POLICY_NEVER : GTK_POLICY_AUTOMATIC,
                                 GTK_POLICY_AUTOMATIC);
  gtk_tree_view_set_headers_visible(GTK_TREE_VIEW(m_tree),
                                    !listBox && (style & (LVS_NOCOLUMNHEADER | 3)) == 1);
  gtk_tree_selection_set_mode(gtk_tree_view_get_selection(GTK_TREE_VIEW(m_tree)),
                              multiSelect() ? GTK_SELECTION_MULTIPLE : GTK_SELECTION_SINGLE);
  gtk_widget_add_events(m_tree, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK);
  gtk_widget_show_all(widget);
  connect(m_tree, "button-press-event", (void (*)())onPress);
  connect(m_tree, "button-release-event", (void (*)())onRelease);
  connect(m_tree, "motion-notify-event", (void (*)())onMotion);
  GtkTreeSelection* sel = gtk_tree_view_get_selection(GTK_TREE_VIEW(m_tree));
  g_signal_connect(sel, "changed", G_CALLBACK(onSelectionChanged), this);
  m_signalWidgets.push_back((GtkWidget*)sel);  // a selection object: only disconnected
  reload();
}

WinxCtlListView::~WinxCtlListView() {
  // The store's cells read the rows (owner data and owner-drawn rows ask this record).
  m_syncing = true;  // dropping the model may report a selection change: ignore it
  if (m_tree) gtk_tree_view_set_model(GTK_TREE_VIEW(m_tree), nullptr);
  for (WINX_ListView_Row* r : m_items) delete r;
  m_items.clear();
}

void WinxCtlListView::releaseWidgets() {
  m_tree = nullptr;  // goes with `widget`
  WinxCtl::releaseWidgets();
}

std::string WinxCtlListView::cellText(int row, int col) {
  if (ownerData()) {
    if (row < 0 || row >= ownermode_cnt) return std::string();
    char buf[1024] = {};
    NMLVDISPINFO di = {};
    di.hdr = NMHDR{this, (uint64_t)m_tag, LVN_GETDISPINFO};
    di.item.mask = LVIF_TEXT | (m_status_imagelist_type == LVSIL_SMALL ? LVIF_IMAGE : 0) |
                   (m_status_imagelist_type == LVSIL_STATE ? LVIF_STATE : 0);
    di.item.iItem = row;
    di.item.iSubItem = col;
    di.item.pszText = buf;
    di.item.cchTextMax = 1023;
    di.item.iImage = -1;
    if (parent) SendMessage(parent, WM_NOTIFY, (WPARAM)m_tag, (LPARAM)(intptr_t)&di);
    if (!di.item.pszText) return std::string();
    // The handler may point elsewhere; the text is read up to its NUL as given. When it wrote
    // into our buffer it is bounded by it.
    if (di.item.pszText == buf) return WINX_SanitizeUTF8(std::string(buf, strnlen(buf, sizeof(buf) - 1)).c_str());
    return WINX_SanitizeUTF8(di.item.pszText);
  }
  if (row < 0 || row >= (int)m_items.size() || col < 0) return std::string();
  const WINX_ListView_Row* r = m_items[row];
  return col < (int)r->m_colText.size() ? r->m_colText[col] : std::string();
}

void WinxCtlListView::reload() {
  WINX_MarkParentsDirty(this);
  if (!m_tree) return;
  m_syncing = true;
  GtkTreeView* tv = GTK_TREE_VIEW(m_tree);
  // Columns: one tree column per list column (at least one, for a list box or a fresh list).
  while (GtkTreeViewColumn* c = gtk_tree_view_get_column(tv, 0)) gtk_tree_view_remove_column(tv, c);
  const int ncols = std::max(1, (int)m_cols.size());
  std::vector<GType> types((size_t)ncols, G_TYPE_STRING);
  GtkListStore* store = gtk_list_store_newv(ncols, types.data());
  for (int pos = 0; pos < ncols; ++pos) {
    const int c = pos < (int)m_colOrder.size() ? m_colOrder[pos] : pos;
    GtkCellRenderer* cell = gtk_cell_renderer_text_new();
    const WINX_ListView_Column* col = c < (int)m_cols.size() ? &m_cols[c] : nullptr;
    if (col) g_object_set(cell, "xalign", col->fmt == 1 ? 1.0f : col->fmt == 2 ? 0.5f : 0.0f, nullptr);
    if (m_hasFgColor) {
      char rgb[8];
      snprintf(rgb, sizeof(rgb), "#%06X", m_fgColor & 0xFFFFFF);
      g_object_set(cell, "foreground", rgb, nullptr);
    }
    GtkTreeViewColumn* tc;
    if (m_lbMode && (m_style & LBS_OWNERDRAWFIXED) && c == 0) {
      g_object_unref(g_object_ref_sink(cell));
      GtkCellRenderer* pic = gtk_cell_renderer_pixbuf_new();
      g_object_set(pic, "xalign", 0.0f, nullptr);
      tc = gtk_tree_view_column_new();
      gtk_tree_view_column_pack_start(tc, pic, TRUE);
      // The column goes with the tree view before the record does (releaseWidgets).
      gtk_tree_view_column_set_cell_data_func(tc, pic, ownerDrawnCell, this, nullptr);
    } else {
      tc = gtk_tree_view_column_new_with_attributes(col ? col->title.c_str() : "", cell, "text", c, nullptr);
    }
    gtk_tree_view_column_set_sizing(tc, GTK_TREE_VIEW_COLUMN_FIXED);
    gtk_tree_view_column_set_fixed_width(tc, col ? std::max(1, col->width) : 300);
    gtk_tree_view_column_set_visible(tc, !(col && col->hidden));
    gtk_tree_view_column_set_sort_indicator(tc, col && col->sortIndicator != 0);
    if (col && col->sortIndicator)
      gtk_tree_view_column_set_sort_order(tc, col->sortIndicator == HDF_SORTUP ? GTK_SORT_ASCENDING : GTK_SORT_DESCENDING);
    g_object_set_data(G_OBJECT(tc), "winx-col", GINT_TO_POINTER(c));
    gtk_tree_view_column_set_clickable(tc, TRUE);
    // Columns are made anew on every reload and go with the tree: no disconnect needed.
    g_signal_connect(tc, "clicked", G_CALLBACK(onColumnClicked), this);
    gtk_tree_view_append_column(tv, tc);
  }
  const int n = itemCount();
  for (int r = 0; r < n; ++r) {
    GtkTreeIter it;
    gtk_list_store_append(store, &it);
    for (int c = 0; c < ncols; ++c) {
      std::string t = cellText(r, c);
      gtk_list_store_set(store, &it, c, t.c_str(), -1);
    }
  }
  gtk_tree_view_set_model(tv, GTK_TREE_MODEL(store));
  g_object_unref(store);
  gtk_tree_view_set_grid_lines(tv, m_gridLines ? GTK_TREE_VIEW_GRID_LINES_BOTH : GTK_TREE_VIEW_GRID_LINES_NONE);
  GtkTreeSelection* sel = gtk_tree_view_get_selection(tv);
  gtk_tree_selection_unselect_all(sel);
  for (int r = 0; r < (int)m_items.size(); ++r) {
    if (!m_items[r]->m_selected) continue;
    GtkTreePath* p = gtk_tree_path_new_from_indices(r, -1);
    gtk_tree_selection_select_path(sel, p);
    gtk_tree_path_free(p);
  }
  m_syncing = false;
}

bool WinxCtlListView::setRowSelected(int row, bool on) {
  if (row < 0 || row >= (int)m_items.size()) return false;
  WINX_ListView_Row* r = m_items[row];
  if (r->m_selected == on) return false;
  if (on) {
    if (!multiSelect())
      for (WINX_ListView_Row* o : m_items) o->m_selected = false;
    r->m_selected = true;
    m_selMark = row;
  } else {
    r->m_selected = false;
    if (m_selMark == row) {
      m_selMark = -1;
      for (int i = (int)m_items.size() - 1; i >= 0; --i)
        if (m_items[i]->m_selected) { m_selMark = i; break; }
    }
  }
  return true;
}

void WinxCtlListView::selectOnly(int row) {
  for (WINX_ListView_Row* o : m_items) o->m_selected = false;
  m_selMark = -1;
  if (row >= 0 && row < (int)m_items.size()) {
    m_items[row]->m_selected = true;
    m_selMark = row;
  }
}

int WinxCtlListView::selectedCount() const {
  int n = 0;
  for (const WINX_ListView_Row* r : m_items) n += r->m_selected ? 1 : 0;
  return n;
}

int WinxCtlListView::rowHeight() {
  if (m_tree && gtk_widget_get_realized(m_tree) && itemCount() > 0) {
    GdkRectangle r;
    GtkTreePath* p = gtk_tree_path_new_from_indices(0, -1);
    gtk_tree_view_get_background_area(GTK_TREE_VIEW(m_tree), p, nullptr, &r);
    gtk_tree_path_free(p);
    if (r.height > 0) return r.height;
  }
  return kDefaultRowHeight;
}

int WinxCtlListView::rowAt(int x, int y) {
  if (m_tree && gtk_widget_get_realized(m_tree)) {
    int bx, by;
    gtk_tree_view_convert_tree_to_bin_window_coords(GTK_TREE_VIEW(m_tree), x, y, &bx, &by);
    GtkTreePath* p = nullptr;
    if (!gtk_tree_view_get_path_at_pos(GTK_TREE_VIEW(m_tree), bx, by, &p, nullptr, nullptr, nullptr)) return -1;
    int row = p ? gtk_tree_path_get_indices(p)[0] : -1;
    gtk_tree_path_free(p);
    return row;
  }
  if (y < 0 || x < 0) return -1;
  int row = y / kDefaultRowHeight;
  return row < itemCount() ? row : -1;
}

int WinxCtlListView::columnAt(int x, int) {
  int left = 0;
  for (int c : m_colOrder) {
    if (m_cols[c].hidden) continue;
    if (x >= left && x < left + m_cols[c].width) return c;
    left += m_cols[c].width;
  }
  return -1;
}

int WinxCtlListView::columnPos(int column) const {
  for (size_t i = 0; i < m_colOrder.size(); ++i)
    if (m_colOrder[i] == column) return (int)i;
  return -1;
}

// ---- mouse rules ----------------------------------------------------------------------------

void WinxCtlListView::mouseDown(int x, int y, bool) {
  m_leftmousemovecnt = 0;
  m_fakerightmouse = false;
  m_start_item = rowAt(x, y);
  m_start_subitem = columnAt(x, y);
  m_start_item_clickmode = 0;
  if (m_start_item < 0) return;
  if (m_fastClickMask & (1 << (m_start_subitem & 31))) {
    notify(this, NM_CLICK, m_start_item, m_start_subitem, POINT{x, y}, rowData(this, m_start_item));
    m_start_item_clickmode = 4;
  } else if (m_status_imagelist && m_status_imagelist_type == LVSIL_STATE && x <= rowHeight()) {
    m_start_item_clickmode = 1;
  }
}

void WinxCtlListView::mouseDragged() {
  if (++m_leftmousemovecnt == 4) {
    if (m_start_item >= 0 && !(m_start_item_clickmode & 3) && !m_lbMode) {
      if (!(m_start_item_clickmode & 4) && m_start_item < (int)m_items.size() &&
          !m_items[m_start_item]->m_selected) {
        if (setRowSelected(m_start_item, true)) {
          reload();
          tableSelectionChanged(this);
        }
      }
      notify(this, LVN_BEGINDRAG, m_start_item, m_start_subitem, POINT{0, 0}, 0);
      m_start_item_clickmode |= 2;
    }
  } else if (m_leftmousemovecnt > 4 && !(m_start_item_clickmode & 1) && parent) {
    SendMessage(parent, WM_MOUSEMOVE, 0, 0);
  }
}

void WinxCtlListView::mouseUp(int x, int y, bool ctrl) {
  if (m_fakerightmouse) {
    rightMouseUp(x, y);
    return;
  }
  if (!(m_start_item_clickmode & 1)) {
    if (!(m_start_item_clickmode & 4) && m_leftmousemovecnt < 4) {
      // The held-back press and the release reach the table now.
      int row = rowAt(x, y);
      bool changed = false;
      if (row >= 0 && multiSelect() && ctrl) {
        changed = setRowSelected(row, !m_items[row]->m_selected);
      } else {
        bool already = row >= 0 && row < (int)m_items.size() && m_items[row]->m_selected && selectedCount() == 1;
        bool nothing = row < 0 && selectedCount() == 0;
        if (!already && !nothing && !ownerData()) {
          selectOnly(row);
          changed = true;
        }
      }
      if (changed) {
        reload();
        tableSelectionChanged(this);
      }
    } else if (m_leftmousemovecnt >= 4 && parent) {
      SendMessage(parent, WM_LBUTTONUP, 0, 0);
    }
  }
  if (!m_lbMode && !(m_start_item_clickmode & 6)) {
    int row = rowAt(x, y);
    notify(this, NM_CLICK, row, columnAt(x, y), POINT{x, y}, rowData(this, row));
  }
}

void WinxCtlListView::rightMouseUp(int x, int y) {
  m_fakerightmouse = false;
  if (!m_lbMode) {
    int row = rowAt(x, y);
    if (row >= 0 && row < (int)m_items.size() && !m_items[row]->m_selected) {
      selectOnly(row);
      reload();
      tableSelectionChanged(this);
    }
    if (notify(this, NM_RCLICK, row, columnAt(x, y), POINT{x, y}, 0)) return;
  }
  if (parent && m_hashaddestroy.load() == 0)
    SendMessage(parent, WM_CONTEXTMENU, (WPARAM)(uintptr_t)this, (LPARAM)(((int64_t)y << 16) | (x & 0xFFFF)));
}

// ---- list-box messages ----------------------------------------------------------------------

LRESULT WinxCtlListView::handleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case LB_ADDSTRING: {
      const char* text = (const char*)(intptr_t)lParam;
      int pos = itemCount();
      if (m_lbMode && (m_style & LBS_SORT)) {
        std::string t = text ? text : "";
        pos = WINX_SortedInsertPos((int)m_items.size(), [&](int p) { return strcmp(t.c_str(), cellText(p, 0).c_str()); });
      }
      return handleMessage(LB_INSERTSTRING, (WPARAM)pos, lParam);
    }
    case LB_INSERTSTRING: {
      int pos = wParam <= (WPARAM)itemCount() ? (int)wParam : itemCount();
      LVITEM it = {};
      it.mask = LVIF_TEXT;
      it.iItem = pos;
      it.pszText = (char*)(intptr_t)lParam;
      ListView_InsertItem(this, &it);
      return pos;
    }
    case LB_DELETESTRING: ListView_DeleteItem(this, (int)wParam); return 0;
    case LB_GETTEXT:
      if (lParam) {
        LVITEM it = {};
        it.mask = LVIF_TEXT;
        it.iItem = (int)wParam;
        it.pszText = (char*)(intptr_t)lParam;
        it.cchTextMax = 4096;
        ListView_GetItem(this, &it);
      }
      return 0;
    case LB_RESETCONTENT: ListView_DeleteAllItems(this); return 0;
    case LB_SETSEL: ListView_SetItemState(this, (int)lParam, wParam ? 1 : 0, LVIS_SELECTED); return 0;
    case LB_SETCURSEL:
      selectOnly(wParam >= (WPARAM)itemCount() ? -1 : (int)wParam);
      reload();
      return 0;
    case LB_GETSEL: return ListView_GetItemState(this, (int)wParam, LVIS_SELECTED) & 1;
    case LB_GETCURSEL: return m_selMark;
    case LB_GETCOUNT: return itemCount();
    case LB_GETSELCOUNT: return selectedCount();
    case LB_GETITEMDATA: return wParam < m_items.size() ? m_items[wParam]->m_itemData : 0;
    case LB_SETITEMDATA:
      if (wParam < m_items.size()) m_items[wParam]->m_itemData = lParam;
      return 0;
    default: return 0;
  }
}

// ---- item functions -------------------------------------------------------------------------

int ListView_GetItemCount(HWND list) {
  WinxCtlListView* lv = listOf(list);
  return lv ? lv->itemCount() : 0;
}

int ListView_InsertItem(HWND list, const LVITEM* item) {
  WinxCtlListView* lv = listOf(list);
  if (!lv || !item || item->iSubItem != 0) return 0;
  if (lv->ownerData()) return -1;
  const int n = (int)lv->m_items.size();
  int pos = std::min(std::max(item->iItem, 0), n);
  std::string text = (item->mask & LVIF_TEXT) && item->pszText ? WINX_SanitizeUTF8(item->pszText) : std::string();
  if ((item->mask & LVIF_TEXT) && !lv->m_lbMode && (lv->m_style & (LVS_SORTASCENDING | LVS_SORTDESCENDING))) {
    const int sign = (lv->m_style & LVS_SORTASCENDING) ? 1 : -1;
    pos = WINX_SortedInsertPos(n, [&](int p) { return sign * strcmp(text.c_str(), lv->cellText(p, 0).c_str()); });
  }
  WINX_ListView_Row* row = new WINX_ListView_Row;
  row->m_colText.push_back(text);
  row->m_itemData = (item->mask & LVIF_PARAM) ? item->lParam : 0;
  if ((item->mask & LVIF_STATE) && (item->stateMask & LVIS_STATEIMAGEMASK)) row->m_image = (item->state >> 16) & 0xFF;
  lv->m_items.insert(lv->m_items.begin() + pos, row);
  if (lv->m_selMark >= pos) lv->m_selMark++;
  if ((item->mask & LVIF_STATE) && (item->stateMask & LVIS_SELECTED) && (item->state & LVIS_SELECTED))
    lv->setRowSelected(pos, true);
  lv->reload();
  return pos;
}

bool ListView_SetItemState(HWND list, int item, unsigned state, unsigned mask) {
  WinxCtlListView* lv = listOf(list);
  if (!lv) return false;
  if (item == -1) {
    g_allItemsDepth++;
    for (int i = 0; i < lv->itemCount(); ++i) ListView_SetItemState(lv, i, state, mask);
    g_allItemsDepth--;
    lv->reload();
    return true;
  }
  if (item < 0 || item >= lv->itemCount()) return false;
  bool imageChanged = false, selChanged = false;
  if (!lv->ownerData()) {
    WINX_ListView_Row* r = lv->m_items[item];
    if ((mask & LVIS_STATEIMAGEMASK) && r->m_image != (int)((state >> 16) & 0xFF)) {
      r->m_image = (state >> 16) & 0xFF;
      imageChanged = true;
    }
    if (mask & LVIS_SELECTED) selChanged = lv->setRowSelected(item, (state & LVIS_SELECTED) != 0);
  }
  if (g_allItemsDepth > 0) return true;
  if (selChanged && !imageChanged) lv->reload();
  if (selChanged && !g_inItemChanged) {
    g_inItemChanged = true;
    HWND__* target = lv->parent;
    if (target) {
      NMLISTVIEW nm = {};
      nm.hdr = NMHDR{lv, (uint64_t)lv->m_tag, LVN_ITEMCHANGED};
      nm.iItem = item;
      nm.uNewState = state;
      SendMessage(target, WM_NOTIFY, (WPARAM)lv->m_tag, (LPARAM)(intptr_t)&nm);
    }
    g_inItemChanged = false;
  }
  if (imageChanged && WINX_ValidWindow(list)) lv->reload();
  return true;
}

unsigned ListView_GetItemState(HWND list, int item, unsigned mask) {
  WinxCtlListView* lv = listOf(list);
  if (!lv || item < 0 || item >= lv->itemCount()) return 0;
  unsigned s = 0;
  if (!lv->ownerData()) {
    const WINX_ListView_Row* r = lv->m_items[item];
    if (mask & LVIS_STATEIMAGEMASK) s |= (unsigned)r->m_image << 16;
    if ((mask & LVIS_SELECTED) && r->m_selected) s |= LVIS_SELECTED;
  }
  if ((mask & LVIS_FOCUSED) && lv->m_selMark == item) s |= LVIS_FOCUSED;
  return s;
}

void ListView_GetItemText(HWND list, int item, int subitem, char* text, int max) {
  LVITEM it = {LVIF_TEXT, item, subitem, 0, 0, text, max, 0, 0};
  ListView_GetItem(list, &it);
}

void ListView_DeleteItem(HWND list, int item) {
  WinxCtlListView* lv = listOf(list);
  if (!lv || item < 0 || item >= (int)lv->m_items.size()) return;
  delete lv->m_items[item];
  lv->m_items.erase(lv->m_items.begin() + item);
  if (lv->m_selMark == item) lv->m_selMark = -1;
  else if (lv->m_selMark > item) lv->m_selMark--;
  lv->reload();
}

void ListView_DeleteAllItems(HWND list) {
  WinxCtlListView* lv = listOf(list);
  if (!lv) return;
  lv->ownermode_cnt = 0;
  for (WINX_ListView_Row* r : lv->m_items) delete r;
  lv->m_items.clear();
  lv->m_selMark = -1;
  lv->reload();
}

int ListView_GetItem(HWND list, LVITEM* item) {
  WinxCtlListView* lv = listOf(list);
  if (!lv || !item) return 0;
  if ((item->mask & LVIF_TEXT) && item->pszText && item->cchTextMax > 0) item->pszText[0] = 0;
  item->state = 0;
  if (item->iItem < 0 || item->iItem >= lv->itemCount()) return 0;
  if (!lv->ownerData()) {
    const WINX_ListView_Row* r = lv->m_items[item->iItem];
    if (item->mask & LVIF_PARAM) item->lParam = r->m_itemData;
    if ((item->mask & LVIF_TEXT) && item->pszText && item->iSubItem >= 0 &&
        item->iSubItem < (int)r->m_colText.size())
      WINX_CopyTextBounded(item->pszText, item->cchTextMax, r->m_colText[item->iSubItem].c_str());
    if ((item->mask & LVIF_STATE) && (item->stateMask & 0xFFFF0000u)) item->state |= (unsigned)r->m_image << 16;
  }
  if (item->mask & LVIF_STATE) {
    if ((item->stateMask & LVIS_SELECTED) && !lv->ownerData() && lv->m_items[item->iItem]->m_selected)
      item->state |= LVIS_SELECTED;
    if ((item->stateMask & LVIS_FOCUSED) && lv->m_selMark == item->iItem) item->state |= LVIS_FOCUSED;
  }
  return 1;
}

int ListView_SetItem(HWND list, LVITEM* item) {
  WinxCtlListView* lv = listOf(list);
  if (!lv || !item) return 0;
  if (!lv->ownerData()) {
    if (item->iItem < 0 || item->iItem >= (int)lv->m_items.size()) return 0;
    WINX_ListView_Row* r = lv->m_items[item->iItem];
    if (item->mask & LVIF_PARAM) r->m_itemData = item->lParam;
    if ((item->mask & LVIF_TEXT) && item->pszText) ListView_SetItemText(list, item->iItem, item->iSubItem, item->pszText);
    if ((item->mask & LVIF_IMAGE) && item->iImage >= 0) {
      r->m_image = item->iImage + 1;
      lv->reload();
    }
  }
  if ((item->mask & LVIF_STATE) && item->stateMask)
    ListView_SetItemState(list, item->iItem, item->state, item->stateMask);
  return 1;
}

void ListView_SetItemText(HWND list, int item, int subitem, const char* text) {
  WinxCtlListView* lv = listOf(list);
  if (!lv || subitem < 0 || subitem > 31 || lv->ownerData()) return;
  if (item < 0 || item >= (int)lv->m_items.size()) return;
  std::vector<std::string>& t = lv->m_items[item]->m_colText;
  if ((int)t.size() <= subitem) t.resize((size_t)subitem + 1);
  t[subitem] = WINX_SanitizeUTF8(text ? text : "");
  lv->reload();
}

int ListView_GetNextItem(HWND list, int start, int flags) {
  if (flags != LVNI_SELECTED && flags != LVNI_FOCUSED) return -1;
  WinxCtlListView* lv = listOf(list);
  if (!lv) return 0;
  if (flags == LVNI_FOCUSED) return lv->m_selMark;
  for (int i = start < 0 ? 0 : start + 1; i < (int)lv->m_items.size(); ++i)
    if (lv->m_items[i]->m_selected) return i;
  return -1;
}

void ListView_RedrawItems(HWND list, int, int) {
  WinxCtlListView* lv = listOf(list);
  if (lv && lv->itemCount() > 0) lv->reload();
}

void ListView_SetItemCount(HWND list, int count) {
  WinxCtlListView* lv = listOf(list);
  if (!lv || !lv->ownerData()) return;
  lv->ownermode_cnt = std::max(count, 0);
  lv->reload();
}

int ListView_GetSelectedCount(HWND list) {
  WinxCtlListView* lv = listOf(list);
  return lv ? lv->selectedCount() : 0;
}

int ListView_GetSelectionMark(HWND list) {
  WinxCtlListView* lv = listOf(list);
  return lv ? lv->m_selMark : -1;
}

// ---- columns --------------------------------------------------------------------------------

void ListView_InsertColumn(HWND list, int, const LVCOLUMN* col) {
  WinxCtlListView* lv = listOf(list);
  if (!lv || !col) return;
  WINX_ListView_Column c;
  c.width = col->cx;
  c.hidden = col->cx == 0;
  c.fmt = col->fmt == 1 || col->fmt == 2 ? col->fmt : 0;
  if (!lv->m_lbMode && !(lv->m_style & LVS_NOCOLUMNHEADER) && col->pszText) c.title = WINX_SanitizeUTF8(col->pszText);
  lv->m_cols.push_back(c);
  lv->m_colOrder.push_back((int)lv->m_cols.size() - 1);
  lv->reload();
}

void ListView_SetColumn(HWND list, int column, const LVCOLUMN* col) {
  WinxCtlListView* lv = listOf(list);
  if (!lv || !col || column < 0 || column >= (int)lv->m_cols.size()) return;
  WINX_ListView_Column& c = lv->m_cols[column];
  if ((col->mask & LVCF_FMT) && col->fmt >= 0 && col->fmt <= 2) c.fmt = col->fmt;
  if (col->mask & LVCF_WIDTH) {
    c.hidden = col->cx == 0;
    if (col->cx) c.width = col->cx;
  }
  if ((col->mask & LVCF_TEXT) && col->pszText && !lv->m_lbMode && !(lv->m_style & LVS_NOCOLUMNHEADER))
    c.title = WINX_SanitizeUTF8(col->pszText);
  lv->reload();
}

int ListView_DeleteColumn(HWND list, int column) {
  WinxCtlListView* lv = listOf(list);
  if (!lv || column < 0 || column >= (int)lv->m_cols.size()) return 0;
  lv->m_cols.erase(lv->m_cols.begin() + column);
  std::vector<int>& order = lv->m_colOrder;
  order.erase(std::remove(order.begin(), order.end(), column), order.end());
  for (int& o : order)
    if (o > column) o--;
  lv->reload();
  return 1;
}

int ListView_GetColumnWidth(HWND list, int column) {
  WinxCtlListView* lv = listOf(list);
  if (!lv || column < 0 || column >= (int)lv->m_cols.size() || lv->m_cols[column].hidden) return 0;
  return lv->m_cols[column].width;
}

void ListView_SetColumnWidth(HWND list, int column, int width) {
  WinxCtlListView* lv = listOf(list);
  if (!lv || column < 0 || column >= (int)lv->m_cols.size()) return;
  lv->m_cols[column].hidden = width == 0;
  if (width) lv->m_cols[column].width = width;
  lv->reload();
}

// ---- geometry -------------------------------------------------------------------------------

namespace {

// The visible rectangle in view coordinates.
RECT visibleRect(WinxCtlListView* lv) {
  if (lv->m_tree && gtk_widget_get_realized(lv->m_tree)) {
    GdkRectangle r;
    gtk_tree_view_get_visible_rect(GTK_TREE_VIEW(lv->m_tree), &r);
    return RECT{r.x, r.y, r.x + r.width, r.y + r.height};
  }
  const int w = lv->frame.right - lv->frame.left, h = lv->frame.bottom - lv->frame.top;
  const int top = lv->m_scrollTop * kDefaultRowHeight;
  return RECT{0, top, w, top + h};
}

}  // namespace

int ListView_HitTest(HWND list, LVHITTESTINFO* info) {
  WinxCtlListView* lv = listOf(list);
  if (!lv || !info) return -1;
  info->iItem = -1;
  info->flags = 0;
  RECT v = visibleRect(lv);
  const int x = info->pt.x - v.left, y = info->pt.y - v.top;
  if (x < 0) info->flags |= LVHT_TOLEFT;
  if (x >= v.right - v.left) info->flags |= LVHT_TORIGHT;
  if (y < 0) info->flags |= LVHT_ABOVE;
  if (y >= v.bottom - v.top) {
    info->flags |= LVHT_BELOW;
    return info->iItem;
  }
  if (info->flags) return info->iItem;
  info->iItem = lv->rowAt(info->pt.x, info->pt.y);
  if (info->iItem < 0) info->flags = LVHT_NOWHERE;
  else info->flags = (lv->m_status_imagelist && info->pt.x <= lv->rowHeight()) ? LVHT_ONITEMSTATEICON : LVHT_ONITEMLABEL;
  return info->iItem;
}

int ListView_SubItemHitTest(HWND list, LVHITTESTINFO* info) {
  int item = ListView_HitTest(list, info);
  WinxCtlListView* lv = listOf(list);
  if (lv && info) info->iSubItem = lv->columnAt(info->pt.x, (info->pt.y < 0 && item < 0) ? 0 : info->pt.y);
  return item;
}

bool ListView_GetSubItemRect(HWND list, int item, int subitem, int, RECT* r) {
  WinxCtlListView* lv = listOf(list);
  if (!lv || !r || item < 0 || item >= lv->itemCount() || subitem >= (int)lv->m_cols.size()) return false;
  const int rh = lv->rowHeight();
  int left = 0, right = std::max(lv->frame.right - lv->frame.left, 0);
  if (subitem >= 0) {
    int x = 0;
    for (int pos = 0; pos < lv->columnPos(subitem); ++pos) {
      const WINX_ListView_Column& c = lv->m_cols[lv->m_colOrder[pos]];
      x += c.hidden ? 0 : c.width;
    }
    left = x;
    right = x + (lv->m_cols[subitem].hidden ? 0 : lv->m_cols[subitem].width);
  } else if (!lv->m_cols.empty()) {
    right = 0;
    for (const WINX_ListView_Column& c : lv->m_cols) right += c.hidden ? 0 : c.width;
  }
  *r = RECT{left, item * rh, right, (item + 1) * rh};
  return true;
}

bool ListView_GetItemRect(HWND list, int item, RECT* r, int code) {
  return ListView_GetSubItemRect(list, item, -1, code, r);
}

void ListView_EnsureVisible(HWND list, int item, bool) {
  WinxCtlListView* lv = listOf(list);
  if (!lv) return;
  item = std::min(item, lv->itemCount() - 1);
  if (item < 0) return;
  if (lv->m_tree && gtk_widget_get_realized(lv->m_tree)) {
    GtkTreePath* p = gtk_tree_path_new_from_indices(item, -1);
    gtk_tree_view_scroll_to_cell(GTK_TREE_VIEW(lv->m_tree), p, nullptr, FALSE, 0, 0);
    gtk_tree_path_free(p);
    return;
  }
  const int perPage = std::max(1, (lv->frame.bottom - lv->frame.top) / kDefaultRowHeight);
  if (item < lv->m_scrollTop) lv->m_scrollTop = item;
  else if (item >= lv->m_scrollTop + perPage) lv->m_scrollTop = item - perPage + 1;
}

int ListView_GetTopIndex(HWND list) {
  WinxCtlListView* lv = listOf(list);
  if (!lv) return -1;
  RECT v = visibleRect(lv);
  return std::max(lv->rowAt(0, v.top), 0);
}

// ---- sorting --------------------------------------------------------------------------------

namespace {

// Stable merge sort: the left element wins ties.
void mergeSort(WINX_ListView_Row** a, WINX_ListView_Row** scratch, int n, PFNLVCOMPARE cmp, int64_t param) {
  if (n < 2) return;
  const int nl = n / 2, nr = n - nl;
  if (n > 2) {
    mergeSort(a, scratch, nl, cmp, param);
    mergeSort(a + nl, scratch, nr, cmp, param);
  }
  WINX_ListView_Row** l = a;
  WINX_ListView_Row** r = a + nl;
  int li = 0, ri = 0, out = 0;
  while (li < nl && ri < nr) {
    if (cmp(l[li]->m_itemData, r[ri]->m_itemData, param) <= 0) scratch[out++] = l[li++];
    else scratch[out++] = r[ri++];
  }
  while (li < nl) scratch[out++] = l[li++];
  std::copy(scratch, scratch + out, a);  // what is left on the right is already in place
}

}  // namespace

void ListView_SortItems(HWND list, PFNLVCOMPARE compare, int64_t lParamSort) {
  WinxCtlListView* lv = listOf(list);
  if (!lv || !compare || lv->m_lbMode || lv->ownerData() || lv->m_items.empty()) return;
  WINX_ListView_Row* mark = lv->m_selMark >= 0 && lv->m_selMark < (int)lv->m_items.size() ? lv->m_items[lv->m_selMark] : nullptr;
  for (WINX_ListView_Row* r : lv->m_items) r->m_sortSel = r->m_selected;
  std::vector<WINX_ListView_Row*> scratch(lv->m_items.size());
  mergeSort(lv->m_items.data(), scratch.data(), (int)lv->m_items.size(), compare, lParamSort);
  lv->m_selMark = -1;
  for (size_t i = 0; i < lv->m_items.size(); ++i) {
    lv->m_items[i]->m_selected = lv->m_items[i]->m_sortSel;
    if (lv->m_items[i] == mark) lv->m_selMark = (int)i;
  }
  lv->reload();
}

// ---- styles, images, header -----------------------------------------------------------------

void ListView_SetImageList(HWND list, void* imageList, int kind) {
  WinxCtlListView* lv = listOf(list);
  if (!lv) return;
  lv->m_status_imagelist = imageList;
  lv->m_status_imagelist_type = kind;
}

void ListView_SetExtendedListViewStyleEx(HWND list, int mask, int style) {
  WinxCtlListView* lv = listOf(list);
  if (!lv) return;
  if (mask & 0x1) lv->m_gridLines = (style & 0x1) != 0;
  if ((mask & 0x10) && lv->m_tree) gtk_tree_view_set_reorderable(GTK_TREE_VIEW(lv->m_tree), FALSE);
  lv->reload();
}

void WINX_SetListViewFastClickMask(HWND list, int mask) {
  if (WinxCtlListView* lv = listOf(list)) lv->m_fastClickMask = mask;
}

HWND ListView_GetHeader(HWND list) { return listOf(list); }

int Header_GetItemCount(HWND header) {
  WinxCtlListView* lv = listOf(header);
  return lv ? (int)lv->m_cols.size() : 0;
}

int Header_GetItem(HWND header, int column, HDITEM* item) {
  WinxCtlListView* lv = listOf(header);
  if (!lv || !item || column < 0 || column >= (int)lv->m_cols.size()) return 0;
  if (item->mask & HDI_FORMAT) item->fmt = lv->m_cols[column].sortIndicator;
  return 1;
}

int Header_SetItem(HWND header, int column, const HDITEM* item) {
  WinxCtlListView* lv = listOf(header);
  if (!lv || !item || column < 0 || column >= (int)lv->m_cols.size()) return 0;
  if (item->mask & HDI_FORMAT)
    lv->m_cols[column].sortIndicator = (item->fmt & HDF_SORTUP) ? HDF_SORTUP : (item->fmt & HDF_SORTDOWN) ? HDF_SORTDOWN : 0;
  lv->reload();
  return 1;
}

HWND WINX_MakeListViewControl(HWND parent, bool listBox, int id, int style, const RECT& frame, int scaledWidth) {
  HWND__* p = WINX_ValidWindow(parent);
  if (!p) return nullptr;
  WinxCtlListView* lv = new WinxCtlListView(listBox, style);
  lv->frame = frame;
  lv->m_tag = id;
  if (style & 0x80000000) lv->hidden = true;
  if (!WINX_AttachChild(p, lv)) return nullptr;
  const bool report = !listBox && (style & 3) == 1;
  if (!report) {
    LVCOLUMN c = {};
    c.cx = (int)std::ceil(std::max(300.0, (double)scaledWidth));
    c.pszText = (char*)"";
    ListView_InsertColumn(lv, 0, &c);
  }
  return lv;
}

// ---- scrolling, page size, column order, header height ----------------------------------------

int ListView_GetCountPerPage(HWND list) {
  WinxCtlListView* lv = listOf(list);
  if (!lv) return 0;
  RECT v = visibleRect(lv);
  return (v.bottom - v.top) / std::max(1, lv->rowHeight());
}

bool ListView_GetScroll(HWND list, POINT* pt) {
  WinxCtlListView* lv = listOf(list);
  if (!lv) return false;
  RECT v = visibleRect(lv);
  if (pt) *pt = POINT{v.left, v.top};
  return true;
}

bool ListView_Scroll(HWND list, int dx, int dy) {
  WinxCtlListView* lv = listOf(list);
  if (!lv) return false;
  const int n = lv->itemCount();
  if (n <= 0) return true;
  const int rh = std::max(1, lv->rowHeight());
  RECT v = visibleRect(lv);
  int probeY = dy > 0 ? v.bottom - 1 : v.top;
  int row = std::min(std::max(probeY / rh, 0), n - 1);
  int target = std::min(std::max(row + dy / rh, 0), n - 1);
  ListView_EnsureVisible(list, target, false);
  if (dx && lv->m_tree && gtk_widget_get_realized(lv->m_tree)) {
    GtkAdjustment* h = gtk_scrollable_get_hadjustment(GTK_SCROLLABLE(lv->m_tree));
    if (h) gtk_adjustment_set_value(h, gtk_adjustment_get_value(h) + dx);
  }
  return true;
}

int ListView_GetColumnOrderArray(HWND list, int count, int* order) {
  WinxCtlListView* lv = listOf(list);
  if (!lv || !order || count != (int)lv->m_cols.size()) return 0;
  for (int i = 0; i < count; ++i) order[i] = lv->columnPos(i);
  return 1;
}

int ListView_SetColumnOrderArray(HWND list, int count, const int* order) {
  WinxCtlListView* lv = listOf(list);
  if (!lv || !order || count != (int)lv->m_cols.size()) return 0;
  // For i from 0: the column now at column i's display position moves to position order[i].
  for (int i = 0; i < count; ++i) {
    const int from = lv->columnPos(i);
    const int to = std::min(std::max(order[i], 0), count - 1);
    if (from < 0 || from == to) continue;
    const int moved = lv->m_colOrder[from];
    lv->m_colOrder.erase(lv->m_colOrder.begin() + from);
    lv->m_colOrder.insert(lv->m_colOrder.begin() + to, moved);
  }
  lv->reload();
  return 1;
}

int WINX_GetListViewHeaderHeight(HWND list) {
  WinxCtlListView* lv = listOf(list);
  if (!lv || !lv->m_tree || !gtk_tree_view_get_headers_visible(GTK_TREE_VIEW(lv->m_tree)) ||
      !gtk_widget_get_realized(lv->m_tree))
    return 0;
  int wx = 0, wy = 0;
  gtk_tree_view_convert_bin_window_to_widget_coords(GTK_TREE_VIEW(lv->m_tree), 0, 0, &wx, &wy);
  return wy;
}
