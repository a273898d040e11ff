// The tree view control (items, expansion, selection, hit testing, colours) and the tab control.
//
// Toolkit mapping: NSOutlineView -> GtkTreeView over a GtkTreeStore (one text column) inside a
// GtkScrolledWindow; NSTabView -> GtkNotebook with empty pages (the tabs only label; the
// dialog shows and hides its own controls on TCN_SELCHANGE). As with the list view, the record
// is the truth and the store is rebuilt from it on every reload, with expansion and selection
// restored.
//
// Item handles are checked, never trusted: every function first finds the item in this tree
// (pointer comparison only) before touching it, so a deleted item or one of another tree is
// refused. Ownership: a tree owns its items; deleting an item deletes its subtree. Main thread
// only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "WINX_ListView.h"

enum { WINX_CLASS_TREEVIEW = WINX_CLASS_CONTROL_BASE + 21, WINX_CLASS_TABVIEW = WINX_CLASS_CONTROL_BASE + 22 };

struct HTREEITEM__ {
  ~HTREEITEM__();
  // Searches this item's children (depth first) for item: parent and index on success.
  bool FindItem(const HTREEITEM__* item, HTREEITEM__** parentOut, int* indexOut);
  bool m_expandable = false;
  bool m_expanded = false;
  std::string m_label;
  bool m_hasLabel = false;
  std::vector<HTREEITEM__*> m_childItems;  // owned
  int64_t m_itemParam = 0;
};
typedef HTREEITEM__* HTREEITEM;

#define TVI_ROOT ((HTREEITEM)(uintptr_t)0xFFFF0000ull)
#define TVI_FIRST ((HTREEITEM)(uintptr_t)0xFFFF0001ull)
#define TVI_LAST ((HTREEITEM)(uintptr_t)0xFFFF0002ull)
#define TVI_SORT ((HTREEITEM)(uintptr_t)0xFFFF0003ull)

struct TVITEM {
  uint32_t mask;
  HTREEITEM hItem;
  uint32_t state;
  uint32_t stateMask;
  char* pszText;
  int32_t cchTextMax;
  int32_t iImage;
  int32_t iSelectedImage;
  int32_t cChildren;
  int64_t lParam;
};
struct TVINSERTSTRUCT {
  HTREEITEM hParent;
  HTREEITEM hInsertAfter;
  TVITEM item;
};
struct TVHITTESTINFO {
  POINT pt;
  uint32_t flags;
  HTREEITEM hItem;
};
struct NMTREEVIEW {
  NMHDR hdr;
  uint8_t rest[128];
};
struct TCITEM {
  uint32_t mask;
  uint32_t dwState;
  uint32_t dwStateMask;
  char* pszText;
  int32_t cchTextMax;
  int32_t iImage;
  int64_t lParam;
};

enum { TVIF_TEXT = 1, TVIF_PARAM = 4, TVIF_HANDLE = 0x10, TVIF_CHILDREN = 0x40 };
enum { TVIS_SELECTED = 2, TVIS_EXPANDED = 0x20 };
enum { TVE_COLLAPSE = 1, TVE_EXPAND = 2, TVE_TOGGLE = 3 };
enum { TVN_SELCHANGED = -402, TCN_SELCHANGE = -551 };
enum { TCIF_TEXT = 1 };

struct WinxCtlTreeView : WinxCtl {
  explicit WinxCtlTreeView(int style);
  ~WinxCtlTreeView() override;
  void releaseWidgets() override;
  bool findItem(const HTREEITEM__* item, HTREEITEM__** parentOut, int* indexOut);
  std::vector<HTREEITEM__*>& childList(HTREEITEM__* parent) { return parent ? parent->m_childItems : m_items; }
  bool isShown(HTREEITEM__* item);  // every ancestor expanded
  std::vector<HTREEITEM__*> visibleRows();
  void reload();
  void mouseDown(bool ctrl);
  void rightMouseUp(int x, int y);

  std::vector<HTREEITEM__*> m_items;  // owned top-level items
  HTREEITEM__* m_sel = nullptr;
  bool m_fakerightmouse = false;
  int m_indent = 16;
  uint32_t m_fgColor = 0;
  bool m_hasFgColor = false;
  std::vector<int> m_selColors;
  GtkWidget* m_tree = nullptr;
  bool m_syncing = false;
};

struct WinxCtlTabView : WinxCtl {
  WinxCtlTabView();
  void releaseWidgets() override;
  void selected(int index);  // the user switched tabs
  std::vector<std::string> m_tabs;
  int m_cur = -1;
  HWND m_dest = nullptr;     // notification window (checked before each use)
  uint64_t m_destSerial = 0;
  bool m_syncing = false;
};

int TreeView_SetIndent(HWND tree, int indent);
HTREEITEM TreeView_InsertItem(HWND tree, const TVINSERTSTRUCT* ins);
int TreeView_Expand(HWND tree, HTREEITEM item, int action);
HTREEITEM TreeView_GetSelection(HWND tree);
void TreeView_DeleteItem(HWND tree, HTREEITEM item);
void TreeView_DeleteAllItems(HWND tree);
void TreeView_SelectItem(HWND tree, HTREEITEM item);
int TreeView_GetItem(HWND tree, TVITEM* item);
int TreeView_SetItem(HWND tree, TVITEM* item);
HTREEITEM TreeView_HitTest(HWND tree, TVHITTESTINFO* info);
HTREEITEM TreeView_GetRoot(HWND tree);
HTREEITEM TreeView_GetChild(HWND tree, HTREEITEM item);
HTREEITEM TreeView_GetNextSibling(HWND tree, HTREEITEM item);
void TreeView_SetBkColor(HWND tree, int color);
void TreeView_SetTextColor(HWND tree, int color);
void ListView_SetBkColor(HWND list, int color);
void ListView_SetTextColor(HWND list, int color);
void ListView_SetGridColor(HWND list, int color);
void ListView_SetTextBkColor(HWND list, int color);
void ListView_SetSelColors(HWND hwnd, const int* colors, int count);

int TabCtrl_GetItemCount(HWND tab);
int TabCtrl_InsertItem(HWND tab, int index, const TCITEM* item);
int TabCtrl_DeleteItem(HWND tab, int index);
int TabCtrl_SetCurSel(HWND tab, int index);
int TabCtrl_GetCurSel(HWND tab);
int TabCtrl_AdjustRect(HWND tab, bool larger, RECT* r);

// Factories used by the dialog templates.
HWND WINX_MakeTreeViewControl(HWND parent, int id, int style, const RECT& frame);
HWND WINX_MakeTabControl(HWND parent, int id, const RECT& frame);
