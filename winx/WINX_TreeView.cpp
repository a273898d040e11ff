// Tree view and tab control.
#include "WINX_TreeView.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "WINX_CtlText.h"
#include "WINX_Notify.h"

namespace {

WinxCtlTreeView* treeOf(HWND hwnd) {
  HWND__* w = WINX_ValidWindow(hwnd);
  return w && w->classTag == WINX_CLASS_TREEVIEW ? static_cast<WinxCtlTreeView*>(w) : nullptr;
}

WinxCtlTabView* tabOf(HWND hwnd) {
  HWND__* w = WINX_ValidWindow(hwnd);
  return w && w->classTag == WINX_CLASS_TABVIEW ? static_cast<WinxCtlTabView*>(w) : nullptr;
}

bool isMarker(HTREEITEM h) { return (uintptr_t)h >= 0xFFFF0000ull && (uintptr_t)h <= 0xFFFF0003ull; }

// One static re-entry flag per function that sends the selection notification.
bool g_inSelectItem = false;
bool g_inSetItem = false;

void notifySelection(WinxCtlTreeView* tv, bool* reentry) {
  if (*reentry || !tv->parent || tv->m_hashaddestroy.load() != 0) return;
  *reentry = true;
  NMTREEVIEW nm = {};
  nm.hdr = NMHDR{tv, (uint64_t)tv->m_tag, TVN_SELCHANGED};
  SendMessage(tv->parent, WM_NOTIFY, (WPARAM)tv->m_tag, (LPARAM)(intptr_t)&nm);
  *reentry = false;
}

// ---- GTK side --------------------------------------------------------------------------------

void fillStore(GtkTreeStore* store, GtkTreeIter* parent, const std::vector<HTREEITEM__*>& items) {
  for (HTREEITEM__* it : items) {
    GtkTreeIter iter;
    gtk_tree_store_append(store, &iter, parent);
    gtk_tree_store_set(store, &iter, 0, it->m_label.c_str(), 1, (gpointer)it, -1);
    fillStore(store, &iter, it->m_childItems);
  }
}

// The GTK path of item, or null when it is not in the store.
GtkTreePath* pathOf(WinxCtlTreeView* tv, HTREEITEM__* item) {
  std::vector<int> idx;
  HTREEITEM__* cur = item;
  while (cur) {
    HTREEITEM__* par = nullptr;
    int i = -1;
    if (!tv->findItem(cur, &par, &i)) return nullptr;
    idx.insert(idx.begin(), i);
    cur = par;
  }
  return gtk_tree_path_new_from_indicesv(idx.data(), idx.size());
}

void applyExpansion(WinxCtlTreeView* tv, const std::vector<HTREEITEM__*>& items) {
  for (HTREEITEM__* it : items) {
    if (it->m_expanded) {
      GtkTreePath* p = pathOf(tv, it);
      if (p) gtk_tree_view_expand_row(GTK_TREE_VIEW(tv->m_tree), p, FALSE);
      gtk_tree_path_free(p);
      applyExpansion(tv, it->m_childItems);
    }
  }
}

HTREEITEM__* itemAtIter(GtkTreeModel* m, GtkTreeIter* it) {
  gpointer p = nullptr;
  gtk_tree_model_get(m, it, 1, &p, -1);
  return (HTREEITEM__*)p;
}

void onTreeSelection(GtkTreeSelection* sel, gpointer data) {
  WinxCtlTreeView* tv = (WinxCtlTreeView*)data;
  if (tv->m_syncing || tv->m_hashaddestroy.load() != 0) return;
  GtkTreeModel* m = nullptr;
  GtkTreeIter it;
  HTREEITEM__* item = gtk_tree_selection_get_selected(sel, &m, &it) ? itemAtIter(m, &it) : nullptr;
  if (item && !tv->findItem(item, nullptr, nullptr)) item = nullptr;
  if (item == tv->m_sel) return;
  tv->m_sel = item;
  static bool s_inUserSelection = false;
  notifySelection(tv, &s_inUserSelection);
}

void onRowExpanded(GtkTreeView* v, GtkTreeIter* it, GtkTreePath*, gpointer data) {
  WinxCtlTreeView* tv = (WinxCtlTreeView*)data;
  if (tv->m_syncing) return;
  HTREEITEM__* item = itemAtIter(gtk_tree_view_get_model(v), it);
  if (tv->findItem(item, nullptr, nullptr)) item->m_expanded = true;
}

void onRowCollapsed(GtkTreeView* v, GtkTreeIter* it, GtkTreePath*, gpointer data) {
  WinxCtlTreeView* tv = (WinxCtlTreeView*)data;
  if (tv->m_syncing) return;
  HTREEITEM__* item = itemAtIter(gtk_tree_view_get_model(v), it);
  if (tv->findItem(item, nullptr, nullptr)) item->m_expanded = false;
}

gboolean onTreePress(GtkWidget*, GdkEventButton* e, gpointer data) {
  WinxCtlTreeView* tv = (WinxCtlTreeView*)data;
  if (tv->m_hashaddestroy.load() != 0) return TRUE;
  if (e->type == GDK_BUTTON_PRESS && e->button == 1) tv->mouseDown((e->state & GDK_CONTROL_MASK) != 0);
  return e->button == 3;  // right presses never select
}

gboolean onTreeRelease(GtkWidget*, GdkEventButton* e, gpointer data) {
  WinxCtlTreeView* tv = (WinxCtlTreeView*)data;
  if (tv->m_hashaddestroy.load() != 0) return TRUE;
  if (e->button == 3) {
    tv->rightMouseUp((int)e->x, (int)e->y);
    return TRUE;
  }
  return FALSE;
}

}  // namespace

// ---- items ----------------------------------------------------------------------------------

HTREEITEM__::~HTREEITEM__() {
  for (auto it = m_childItems.rbegin(); it != m_childItems.rend(); ++it) delete *it;
}

namespace {

// Searches list (whose owner is `owner`, null for the top level) for item: the list's own
// entries first, then each entry's subtree in order (depth first).
bool findIn(const std::vector<HTREEITEM__*>& list, HTREEITEM__* owner, const HTREEITEM__* item,
            HTREEITEM__** parentOut, int* indexOut) {
  if (!item) return false;
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i] != item) continue;
    if (parentOut) *parentOut = owner;
    if (indexOut) *indexOut = (int)i;
    return true;
  }
  for (HTREEITEM__* c : list)
    if (findIn(c->m_childItems, c, item, parentOut, indexOut)) return true;
  return false;
}

}  // namespace

bool HTREEITEM__::FindItem(const HTREEITEM__* item, HTREEITEM__** parentOut, int* indexOut) {
  return findIn(m_childItems, this, item, parentOut, indexOut);
}

// ---- tree view record -----------------------------------------------------------------------

WinxCtlTreeView::WinxCtlTreeView(int style) : WinxCtl(WINX_CLASS_TREEVIEW, style) {
  if (!winx_internal::gtkAvailable()) return;
  m_tree = makeScrolledTree();
  gtk_tree_view_set_headers_visible(GTK_TREE_VIEW(m_tree), FALSE);
  GtkTreeViewColumn* col =
      gtk_tree_view_column_new_with_attributes("", gtk_cell_renderer_text_new(), "text", 0, nullptr);
  gtk_tree_view_append_column(GTK_TREE_VIEW(m_tree), col);
  gtk_widget_show_all(widget);
  connect(m_tree, "button-press-event", (void (*)())onTreePress);
  connect(m_tree, "button-release-event", (void (*)())onTreeRelease);
  connect(m_tree, "row-expanded", (void (*)())onRowExpanded);
  connect(m_tree, "row-collapsed", (void (*)())onRowCollapsed);
  GtkTreeSelection* sel = gtk_tree_view_get_selection(GTK_TREE_VIEW(m_tree));
  g_signal_connect(sel, "changed", G_CALLBACK(onTreeSelection), this);
  m_signalWidgets.push_back((GtkWidget*)sel);
  reload();
}

WinxCtlTreeView::~WinxCtlTreeView() {
  // The store holds pointers to the items freed below.
  m_syncing = true;  // dropping the model may report a selection change: ignore it
  if (m_tree) gtk_tree_view_set_model(GTK_TREE_VIEW(m_tree), nullptr);
  for (auto it = m_items.rbegin(); it != m_items.rend(); ++it) delete *it;
  m_items.clear();
}

void WinxCtlTreeView::releaseWidgets() {
  m_tree = nullptr;
  WinxCtl::releaseWidgets();
}

bool WinxCtlTreeView::findItem(const HTREEITEM__* item, HTREEITEM__** parentOut, int* indexOut) {
  return findIn(m_items, nullptr, item, parentOut, indexOut);
}

bool WinxCtlTreeView::isShown(HTREEITEM__* item) {
  HTREEITEM__* par = nullptr;
  if (!findItem(item, &par, nullptr)) return false;
  return !par || (par->m_expanded && isShown(par));
}

std::vector<HTREEITEM__*> WinxCtlTreeView::visibleRows() {
  std::vector<HTREEITEM__*> out;
  struct Walk {
    static void run(const std::vector<HTREEITEM__*>& items, std::vector<HTREEITEM__*>& out) {
      for (HTREEITEM__* it : items) {
        out.push_back(it);
        if (it->m_expanded) run(it->m_childItems, out);
      }
    }
  };
  Walk::run(m_items, out);
  return out;
}

void WinxCtlTreeView::reload() {
  WINX_MarkParentsDirty(this);
  if (!m_tree) return;
  m_syncing = true;
  GtkTreeStore* store = gtk_tree_store_new(2, G_TYPE_STRING, G_TYPE_POINTER);
  fillStore(store, nullptr, m_items);
  gtk_tree_view_set_model(GTK_TREE_VIEW(m_tree), GTK_TREE_MODEL(store));
  g_object_unref(store);
  gtk_tree_view_set_level_indentation(GTK_TREE_VIEW(m_tree), std::max(0, m_indent - 16));
  GtkTreeViewColumn* col = gtk_tree_view_get_column(GTK_TREE_VIEW(m_tree), 0);
  GList* cells = col ? gtk_cell_layout_get_cells(GTK_CELL_LAYOUT(col)) : nullptr;
  if (cells && m_hasFgColor) {
    char rgb[8];
    snprintf(rgb, sizeof(rgb), "#%06X", m_fgColor & 0xFFFFFF);
    g_object_set(cells->data, "foreground", rgb, nullptr);
  }
  g_list_free(cells);
  applyExpansion(this, m_items);
  GtkTreeSelection* sel = gtk_tree_view_get_selection(GTK_TREE_VIEW(m_tree));
  gtk_tree_selection_unselect_all(sel);
  if (m_sel && isShown(m_sel)) {
    GtkTreePath* p = pathOf(this, m_sel);
    if (p) gtk_tree_selection_select_path(sel, p);
    gtk_tree_path_free(p);
  }
  m_syncing = false;
}

void WinxCtlTreeView::mouseDown(bool) {
  NMLISTVIEW nm = {};
  nm.hdr = NMHDR{this, (uint64_t)m_tag, NM_CLICK};
  m_fakerightmouse = false;
  if (parent) SendMessage(parent, WM_NOTIFY, (WPARAM)m_tag, (LPARAM)(intptr_t)&nm);
}

void WinxCtlTreeView::rightMouseUp(int x, int y) {
  NMLISTVIEW nm = {};
  nm.hdr = NMHDR{this, (uint64_t)m_tag, NM_RCLICK};
  m_fakerightmouse = false;
  if (!parent) return;
  if (SendMessage(parent, WM_NOTIFY, (WPARAM)m_tag, (LPARAM)(intptr_t)&nm) == 0 && WINX_ValidWindow(parent))
    SendMessage(parent, WM_CONTEXTMENU, (WPARAM)(uintptr_t)this, (LPARAM)(((int64_t)y << 16) | (x & 0xFFFF)));
}

// ---- tree functions -------------------------------------------------------------------------

int TreeView_SetIndent(HWND tree, int indent) {
  WinxCtlTreeView* tv = treeOf(tree);
  if (!tv) return 0;
  tv->m_indent = indent;
  tv->reload();
  return 1;
}

HTREEITEM TreeView_InsertItem(HWND tree, const TVINSERTSTRUCT* ins) {
  WinxCtlTreeView* tv = treeOf(tree);
  if (!tv || !ins) return nullptr;
  HTREEITEM__* parent = nullptr;
  if (ins->hParent && !isMarker(ins->hParent)) {
    if (!tv->findItem(ins->hParent, nullptr, nullptr)) return nullptr;
    parent = ins->hParent;
  }
  std::vector<HTREEITEM__*>& list = tv->childList(parent);
  int pos = (int)list.size();
  HTREEITEM after = ins->hInsertAfter;
  if (after == TVI_FIRST) {
    pos = 0;
  } else if (after && after != TVI_LAST && after != TVI_SORT && !isMarker(after)) {
    auto f = std::find(list.begin(), list.end(), after);
    pos = f == list.end() ? 0 : (int)(f - list.begin()) + 1;
  }
  HTREEITEM__* item = new HTREEITEM__;
  const TVITEM& t = ins->item;
  if (t.mask & TVIF_CHILDREN) item->m_expandable = t.cChildren != 0;
  if (t.mask & TVIF_PARAM) item->m_itemParam = t.lParam;
  if ((t.mask & TVIF_TEXT) && t.pszText) {
    item->m_label = WINX_SanitizeUTF8(t.pszText);
    item->m_hasLabel = true;
  }
  list.insert(list.begin() + std::min(std::max(pos, 0), (int)list.size()), item);
  tv->reload();
  return item;
}

int TreeView_Expand(HWND tree, HTREEITEM item, int action) {
  WinxCtlTreeView* tv = treeOf(tree);
  if (!tv || !tv->findItem(item, nullptr, nullptr)) return 0;
  bool want;
  switch (action) {
    case TVE_EXPAND: if (item->m_expanded) return 0; want = true; break;
    case TVE_COLLAPSE: if (!item->m_expanded) return 0; want = false; break;
    case TVE_TOGGLE: want = !item->m_expanded; break;
    default: return 0;
  }
  item->m_expanded = want;
  tv->reload();
  return 1;
}

HTREEITEM TreeView_GetSelection(HWND tree) {
  WinxCtlTreeView* tv = treeOf(tree);
  return tv && tv->m_sel && tv->isShown(tv->m_sel) ? tv->m_sel : nullptr;
}

void TreeView_DeleteItem(HWND tree, HTREEITEM item) {
  WinxCtlTreeView* tv = treeOf(tree);
  HTREEITEM__* par = nullptr;
  int idx = -1;
  if (!tv || !tv->findItem(item, &par, &idx)) return;
  std::vector<HTREEITEM__*>& list = tv->childList(par);
  list.erase(list.begin() + idx);
  // The selection goes when it was the item or lay below it.
  if (tv->m_sel && (tv->m_sel == item || item->FindItem(tv->m_sel, nullptr, nullptr))) tv->m_sel = nullptr;
  delete item;
  tv->reload();
}

void TreeView_DeleteAllItems(HWND tree) {
  WinxCtlTreeView* tv = treeOf(tree);
  if (!tv) return;
  while (!tv->m_items.empty()) TreeView_DeleteItem(tree, tv->m_items.back());
}

void TreeView_SelectItem(HWND tree, HTREEITEM item) {
  WinxCtlTreeView* tv = treeOf(tree);
  if (!tv) return;
  if (item && tv->isShown(item)) {
    tv->m_sel = item;
    tv->reload();
  }
  notifySelection(tv, &g_inSelectItem);
}

int TreeView_GetItem(HWND tree, TVITEM* item) {
  WinxCtlTreeView* tv = treeOf(tree);
  if (!tv || !item || !(item->mask & TVIF_HANDLE) || !tv->findItem(item->hItem, nullptr, nullptr)) return 0;
  HTREEITEM__* it = item->hItem;
  item->cChildren = it->m_expandable ? 1 : 0;
  item->lParam = it->m_itemParam;
  if ((item->mask & TVIF_TEXT) && item->pszText && item->cchTextMax > 0)
    WINX_CopyTextBounded(item->pszText, item->cchTextMax, it->m_label.c_str());
  item->state = (tv->m_sel == it && tv->isShown(it) ? TVIS_SELECTED : 0) | (it->m_expanded ? TVIS_EXPANDED : 0);
  return 1;
}

int TreeView_SetItem(HWND tree, TVITEM* item) {
  WinxCtlTreeView* tv = treeOf(tree);
  if (!tv || !item || !(item->mask & TVIF_HANDLE) || !tv->findItem(item->hItem, nullptr, nullptr)) return 0;
  HTREEITEM__* it = item->hItem;
  if (item->mask & TVIF_CHILDREN) it->m_expandable = item->cChildren != 0;
  if (item->mask & TVIF_PARAM) it->m_itemParam = item->lParam;
  if ((item->mask & TVIF_TEXT) && item->pszText) {
    it->m_label = WINX_SanitizeUTF8(item->pszText);
    it->m_hasLabel = true;
  }
  if ((item->stateMask & TVIS_SELECTED) && (item->state & TVIS_SELECTED) && tv->isShown(it)) {
    tv->m_sel = it;
    tv->reload();
    notifySelection(tv, &g_inSetItem);
    if (!treeOf(tree) || !tv->findItem(it, nullptr, nullptr)) return 1;  // the handler changed the tree
  }
  if (item->stateMask & TVIS_EXPANDED) it->m_expanded = (item->state & TVIS_EXPANDED) != 0;
  tv->reload();
  return 1;
}

HTREEITEM TreeView_HitTest(HWND tree, TVHITTESTINFO* info) {
  WinxCtlTreeView* tv = treeOf(tree);
  if (!tv || !info || tv->m_items.empty()) return nullptr;
  std::vector<HTREEITEM__*> rows = tv->visibleRows();
  if (tv->m_tree && gtk_widget_get_realized(tv->m_tree)) {
    for (HTREEITEM__* it : rows) {
      GtkTreePath* p = pathOf(tv, it);
      GdkRectangle r;
      gtk_tree_view_get_background_area(GTK_TREE_VIEW(tv->m_tree), p, nullptr, &r);
      gtk_tree_path_free(p);
      int tx, ty;
      gtk_tree_view_convert_bin_window_to_tree_coords(GTK_TREE_VIEW(tv->m_tree), r.x, r.y, &tx, &ty);
      if (info->pt.y >= ty && info->pt.y < ty + r.height && info->pt.x >= tx && info->pt.x < tx + r.width)
        return it;
    }
    return nullptr;
  }
  const int rh = 20, width = tv->frame.right - tv->frame.left;
  if (info->pt.y < 0 || info->pt.x < 0 || info->pt.x >= width) return nullptr;
  size_t row = (size_t)(info->pt.y / rh);
  return row < rows.size() ? rows[row] : nullptr;
}

HTREEITEM TreeView_GetRoot(HWND tree) {
  WinxCtlTreeView* tv = treeOf(tree);
  return tv && !tv->m_items.empty() ? tv->m_items[0] : nullptr;
}

HTREEITEM TreeView_GetChild(HWND tree, HTREEITEM item) {
  WinxCtlTreeView* tv = treeOf(tree);
  if (!tv) return nullptr;
  if (!item) return tv->m_items.empty() ? nullptr : tv->m_items[0];
  if (!tv->findItem(item, nullptr, nullptr) || item->m_childItems.empty()) return nullptr;
  return item->m_childItems[0];
}

HTREEITEM TreeView_GetNextSibling(HWND tree, HTREEITEM item) {
  WinxCtlTreeView* tv = treeOf(tree);
  if (!tv) return nullptr;
  if (!item) return tv->m_items.empty() ? nullptr : tv->m_items[0];
  HTREEITEM__* par = nullptr;
  int idx = -1;
  if (!tv->findItem(item, &par, &idx)) return nullptr;
  std::vector<HTREEITEM__*>& list = tv->childList(par);
  return idx + 1 < (int)list.size() ? list[idx + 1] : nullptr;
}

// ---- colours --------------------------------------------------------------------------------

void TreeView_SetBkColor(HWND tree, int) { (void)treeOf(tree); }  // the theme's background stays

void TreeView_SetTextColor(HWND tree, int color) {
  WinxCtlTreeView* tv = treeOf(tree);
  if (!tv) return;
  tv->m_fgColor = (uint32_t)color;
  tv->m_hasFgColor = true;
  tv->reload();
}

void ListView_SetBkColor(HWND list, int color) {
  if (WinxCtlListView* lv = WINX_ListViewOf(list)) lv->m_bkColor = color & 0xFFFFFF;
}

void ListView_SetTextColor(HWND list, int color) {
  WinxCtlListView* lv = WINX_ListViewOf(list);
  if (!lv) return;
  lv->m_fgColor = color & 0xFFFFFF;
  lv->m_hasFgColor = true;
  lv->reload();
}

void ListView_SetGridColor(HWND list, int color) {
  if (WinxCtlListView* lv = WINX_ListViewOf(list)) lv->m_gridColor = color & 0xFFFFFF;
}

void ListView_SetTextBkColor(HWND, int) {}

void ListView_SetSelColors(HWND hwnd, const int* colors, int count) {
  std::vector<int> c;
  for (int i = 0; i < count; ++i) c.push_back(colors ? (colors[i] & 0xFFFFFF) : 0);
  if (WinxCtlListView* lv = WINX_ListViewOf(hwnd)) {
    lv->m_selColors = c;
    if (lv->m_tree) WINX_ApplySelectionColors(lv->m_tree, c);
  } else if (WinxCtlTreeView* tv = treeOf(hwnd)) {
    tv->m_selColors = c;
    if (tv->m_tree) WINX_ApplySelectionColors(tv->m_tree, c);
  }
}

// ---- tab control ----------------------------------------------------------------------------

namespace {

void onSwitchPage(GtkNotebook*, GtkWidget*, guint page, gpointer data) {
  WinxCtlTabView* t = (WinxCtlTabView*)data;
  if (t->m_syncing || t->m_hashaddestroy.load() != 0) return;
  t->selected((int)page);
}

}  // namespace

WinxCtlTabView::WinxCtlTabView() : WinxCtl(WINX_CLASS_TABVIEW) {
  if (!winx_internal::gtkAvailable()) return;
  widget = gtk_notebook_new();
  g_object_ref_sink(widget);
  gtk_notebook_set_scrollable(GTK_NOTEBOOK(widget), TRUE);
  gtk_widget_show(widget);
  connect(widget, "switch-page", (void (*)())onSwitchPage);
}

void WinxCtlTabView::releaseWidgets() { WinxCtl::releaseWidgets(); }

void WinxCtlTabView::selected(int index) {
  if (index < 0 || index >= (int)m_tabs.size() || index == m_cur) return;
  m_cur = index;
  if (!m_dest || !WINX_IsValidWindow(m_dest, m_destSerial)) return;
  NMHDR h = {this, (uint64_t)m_tag, TCN_SELCHANGE};
  SendMessage(m_dest, WM_NOTIFY, (WPARAM)m_tag, (LPARAM)(intptr_t)&h);
}

int TabCtrl_GetItemCount(HWND tab) {
  WinxCtlTabView* t = tabOf(tab);
  return t ? (int)t->m_tabs.size() : 0;
}

int TabCtrl_InsertItem(HWND tab, int index, const TCITEM* item) {
  WinxCtlTabView* t = tabOf(tab);
  if (!t || !item || !(item->mask & TCIF_TEXT) || !item->pszText) return -1;
  index = std::min(std::max(index, 0), (int)t->m_tabs.size());
  t->m_tabs.insert(t->m_tabs.begin() + index, WINX_SanitizeUTF8(item->pszText));
  // Inserting never notifies: the notification window is detached meanwhile.
  if (t->m_tabs.size() == 1) t->m_cur = 0;
  else if (t->m_cur >= index) t->m_cur++;
  if (t->widget) {
    t->m_syncing = true;
    GtkWidget* page = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_widget_show(page);
    gtk_notebook_insert_page(GTK_NOTEBOOK(t->widget), page, gtk_label_new(t->m_tabs[index].c_str()), index);
    gtk_notebook_set_current_page(GTK_NOTEBOOK(t->widget), t->m_cur);
    t->m_syncing = false;
  }
  WINX_MarkParentsDirty(t);
  return index;
}

int TabCtrl_DeleteItem(HWND tab, int index) {
  WinxCtlTabView* t = tabOf(tab);
  if (!t || index < 0 || index >= (int)t->m_tabs.size()) return 0;
  t->m_tabs.erase(t->m_tabs.begin() + index);
  if (t->m_cur >= (int)t->m_tabs.size() || t->m_cur > index) t->m_cur--;
  if (t->m_tabs.empty()) t->m_cur = -1;
  else if (t->m_cur < 0) t->m_cur = 0;
  if (t->widget) {
    t->m_syncing = true;
    gtk_notebook_remove_page(GTK_NOTEBOOK(t->widget), index);
    if (t->m_cur >= 0) gtk_notebook_set_current_page(GTK_NOTEBOOK(t->widget), t->m_cur);
    t->m_syncing = false;
  }
  return 1;
}

int TabCtrl_SetCurSel(HWND tab, int index) {
  WinxCtlTabView* t = tabOf(tab);
  if (!t) return -1;
  int prev = t->m_cur < 0 ? 0 : t->m_cur;
  if (index >= 0 && index < (int)t->m_tabs.size()) {
    if (t->widget) {
      t->m_syncing = true;
      gtk_notebook_set_current_page(GTK_NOTEBOOK(t->widget), index);
      t->m_syncing = false;
    }
    t->selected(index);
  }
  return prev;
}

int TabCtrl_GetCurSel(HWND tab) {
  WinxCtlTabView* t = tabOf(tab);
  return t && t->m_cur >= 0 ? t->m_cur : 0;
}

int TabCtrl_AdjustRect(HWND tab, bool larger, RECT* r) {
  if (!tabOf(tab) || !r) return 0;
  const int s = larger ? -1 : 1;
  r->left += 7 * s;
  r->right -= 7 * s;
  r->top += 26 * s;
  r->bottom -= 3 * s;
  return 1;
}

// ---- factories ------------------------------------------------------------------------------

HWND WINX_MakeTreeViewControl(HWND parent, int id, int style, const RECT& frame) {
  HWND__* p = WINX_ValidWindow(parent);
  if (!p) return nullptr;
  WinxCtlTreeView* tv = new WinxCtlTreeView(style);
  tv->frame = frame;
  tv->m_tag = id;
  if (style & 0x80000000) tv->hidden = true;
  return WINX_AttachChild(p, tv) ? tv : nullptr;
}

HWND WINX_MakeTabControl(HWND parent, int id, const RECT& frame) {
  HWND__* p = WINX_ValidWindow(parent);
  if (!p) return nullptr;
  WinxCtlTabView* t = new WinxCtlTabView;
  t->frame = frame;
  t->m_tag = id;
  t->m_dest = p;
  t->m_destSerial = p->serial;
  return WINX_AttachChild(p, t) ? t : nullptr;
}
