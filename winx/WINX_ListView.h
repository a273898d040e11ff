// The list view control (and, in list-box mode, the list box): rows, columns, item records,
// selection, owner-data mode, sorting, the header functions, hit testing and the mouse rules
// that decide when a press may change the selection.
//
// Toolkit mapping: NSTableView -> GtkTreeView over a GtkListStore of one string column per list
// column, inside a GtkScrolledWindow. The record (rows, texts, item data, selection) is the
// truth; the store is rebuilt from it whenever the table "reloads" and the tree selection is
// brought in line. Presses on the tree view are held back and replayed by this layer's own
// press/drag/release rules (mouseDown/mouseDragged/mouseUp/rightMouseUp below), which tests
// also call directly. Without a display the same rules run against a fixed row height.
//
// Ownership: a list view owns its rows and their texts; image lists are not owned. Every
// function checks its window's class first and returns the stated failure value otherwise; item
// and column indices are range-checked. Main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "WINX_Controls.h"

enum { WINX_CLASS_LISTVIEW = WINX_CLASS_CONTROL_BASE + 20 };

struct NMHDR {
  HWND hwndFrom;
  uint64_t idFrom;
  int32_t code;
};
struct LVITEM {
  uint32_t mask;
  int32_t iItem;
  int32_t iSubItem;
  uint32_t state;
  uint32_t stateMask;
  char* pszText;
  int32_t cchTextMax;
  int32_t iImage;
  int64_t lParam;
};
struct NMLISTVIEW {
  NMHDR hdr;
  int32_t iItem;
  int32_t iSubItem;
  uint32_t uNewState;
  uint32_t uOldState;
  uint32_t uChanged;
  POINT ptAction;
  int64_t lParam;
};
struct NMLVDISPINFO {
  NMHDR hdr;
  LVITEM item;
};
struct LVCOLUMN {
  uint32_t mask;
  int32_t fmt;
  int32_t cx;
  char* pszText;
  int32_t cchTextMax;
  int32_t iSubItem;
};
struct LVHITTESTINFO {
  POINT pt;
  uint32_t flags;
  int32_t iItem;
  int32_t iSubItem;
};
struct HDITEM {
  uint32_t mask;
  int32_t cxy;
  char* pszText;
  void* hbm;
  int32_t cchTextMax;
  int32_t fmt;
};

enum { LVIF_TEXT = 1, LVIF_IMAGE = 2, LVIF_PARAM = 4, LVIF_STATE = 8 };
enum { LVIS_SELECTED = 1, LVIS_FOCUSED = 2, LVIS_STATEIMAGEMASK = 0xFF0000 };
enum { LVNI_SELECTED = 1, LVNI_FOCUSED = 2 };
enum { LVSIL_STATE = 1, LVSIL_SMALL = 2 };
enum { LVCF_FMT = 1, LVCF_WIDTH = 2, LVCF_TEXT = 4 };
enum { LVHT_NOWHERE = 1, LVHT_ONITEMLABEL = 4, LVHT_ONITEMSTATEICON = 8, LVHT_ABOVE = 0x10,
       LVHT_BELOW = 0x20, LVHT_TORIGHT = 0x40, LVHT_TOLEFT = 0x80 };
enum { HDI_FORMAT = 4, HDF_SORTUP = 0x400, HDF_SORTDOWN = 0x200 };
enum { NM_CLICK = -2, NM_DBLCLK = -3, NM_RCLICK = -5, LVN_ITEMCHANGED = -101, LVN_COLUMNCLICK = -108,
       LVN_BEGINDRAG = -109, LVN_GETDISPINFO = -150 };
enum { LVS_SINGLESEL = 0x4, LVS_SORTASCENDING = 0x10, LVS_SORTDESCENDING = 0x20, LVS_OWNERDATA = 0x1000,
       LVS_NOCOLUMNHEADER = 0x4000, LBS_SORT = 0x2, LBS_OWNERDRAWFIXED = 0x10, LBS_EXTENDEDSEL = 0x800 };
enum {
  LB_ADDSTRING = 384, LB_INSERTSTRING = 385, LB_DELETESTRING = 386, LB_GETTEXT = 387,
  LB_RESETCONTENT = 388, LB_SETSEL = 389, LB_SETCURSEL = 390, LB_GETSEL = 391, LB_GETCURSEL = 392,
  LB_GETCOUNT = 395, LB_GETSELCOUNT = 400, LB_GETITEMDATA = 409, LB_SETITEMDATA = 410,
};
enum { LBN_SELCHANGE = 1, LBN_DBLCLK = 2 };

struct WINX_ListView_Row {
  std::vector<std::string> m_colText;
  int64_t m_itemData = 0;
  int32_t m_image = 0;
  bool m_sortSel = false;
  bool m_selected = false;  // the row's selection in the table
};

struct WINX_ListView_Column {
  std::string title;
  int width = 100;
  bool hidden = false;
  int fmt = 0;        // 0 left, 1 right, 2 centre
  int sortIndicator = 0;  // 0 none, HDF_SORTUP or HDF_SORTDOWN
};

struct WinxCtlListView : WinxCtl {
  WinxCtlListView(bool listBox, int style);
  ~WinxCtlListView() override;
  LRESULT handleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
  void releaseWidgets() override;

  bool ownerData() const { return !m_lbMode && (m_style & LVS_OWNERDATA); }
  int itemCount() const { return ownerData() ? ownermode_cnt : (int)m_items.size(); }
  bool multiSelect() const { return m_lbMode ? (m_style & LBS_EXTENDEDSEL) != 0 : !(m_style & LVS_SINGLESEL); }
  // Selects row (extending when allowed) or deselects it; true when the selection changed.
  bool setRowSelected(int row, bool on);
  void selectOnly(int row);  // -1: nothing
  int selectedCount() const;
  void reload();             // rebuilds the widget's store and selection from the record
  std::string cellText(int row, int col);

  // Mouse rules (view coordinates; ctrl: the Control key is down).
  void mouseDown(int x, int y, bool ctrl);
  void mouseDragged();
  void mouseUp(int x, int y, bool ctrl);
  void rightMouseUp(int x, int y);
  int rowAt(int x, int y);
  int columnAt(int x, int y);
  int rowHeight();
  int columnPos(int column) const;             // display position of a column index, -1 if none

  const bool m_lbMode;
  int ownermode_cnt = 0;
  std::vector<WINX_ListView_Row*> m_items;     // owned
  std::vector<WINX_ListView_Column> m_cols;
  std::vector<int> m_colOrder;                 // display position -> column index
  int m_selMark = -1;                          // the table's selected row
  int m_leftmousemovecnt = 0;
  bool m_fakerightmouse = false;
  int m_start_item = -1, m_start_subitem = -1, m_start_item_clickmode = 0;
  int m_fastClickMask = 0;
  void* m_status_imagelist = nullptr;          // not owned
  int m_status_imagelist_type = -1;
  bool m_gridLines = false;
  bool m_hasFgColor = false;
  int m_fgColor = 0;                           // colour int of the rows' text
  std::vector<int> m_selColors;                // selection colours (focused/unfocused pairs)
  int m_bkColor = -1, m_gridColor = -1;        // -1: the theme's
  int m_scrollTop = 0;                         // first visible row without a widget
  GtkWidget* m_tree = nullptr;                 // inside `widget` (a scrolled window)
  bool m_syncing = false;
};

// The live list view a handle names, or null.
WinxCtlListView* WINX_ListViewOf(HWND hwnd);

int ListView_GetItemCount(HWND list);
int ListView_InsertItem(HWND list, const LVITEM* item);
bool ListView_SetItemState(HWND list, int item, unsigned state, unsigned mask);
unsigned ListView_GetItemState(HWND list, int item, unsigned mask);
void ListView_GetItemText(HWND list, int item, int subitem, char* text, int max);
void ListView_DeleteItem(HWND list, int item);
void ListView_DeleteAllItems(HWND list);
void ListView_InsertColumn(HWND list, int index, const LVCOLUMN* col);
void ListView_SetColumn(HWND list, int column, const LVCOLUMN* col);
int ListView_DeleteColumn(HWND list, int column);
int ListView_GetColumnWidth(HWND list, int column);
void ListView_SetColumnWidth(HWND list, int column, int width);
int ListView_GetItem(HWND list, LVITEM* item);
int ListView_SetItem(HWND list, LVITEM* item);
void ListView_SetItemText(HWND list, int item, int subitem, const char* text);
int ListView_GetNextItem(HWND list, int start, int flags);
void ListView_RedrawItems(HWND list, int first, int last);
void ListView_SetItemCount(HWND list, int count);
int ListView_GetSelectedCount(HWND list);
int ListView_GetSelectionMark(HWND list);
int ListView_HitTest(HWND list, LVHITTESTINFO* info);
int ListView_SubItemHitTest(HWND list, LVHITTESTINFO* info);
bool ListView_GetItemRect(HWND list, int item, RECT* r, int code);
bool ListView_GetSubItemRect(HWND list, int item, int subitem, int code, RECT* r);
void ListView_EnsureVisible(HWND list, int item, bool partial);
int ListView_GetTopIndex(HWND list);
int ListView_GetCountPerPage(HWND list);
bool ListView_Scroll(HWND list, int dx, int dy);
bool ListView_GetScroll(HWND list, POINT* pt);
int ListView_GetColumnOrderArray(HWND list, int count, int* order);
int ListView_SetColumnOrderArray(HWND list, int count, const int* order);
int WINX_GetListViewHeaderHeight(HWND list);
typedef int (*PFNLVCOMPARE)(int64_t, int64_t, int64_t);
void ListView_SortItems(HWND list, PFNLVCOMPARE compare, int64_t lParamSort);
void ListView_SetImageList(HWND list, void* imageList, int kind);
void ListView_SetExtendedListViewStyleEx(HWND list, int mask, int style);
void WINX_SetListViewFastClickMask(HWND list, int mask);
HWND ListView_GetHeader(HWND list);
int Header_GetItemCount(HWND header);
int Header_GetItem(HWND header, int column, HDITEM* item);
int Header_SetItem(HWND header, int column, const HDITEM* item);

// Makes a list view (listBox false) or list box at frame under parent, as the template
// factories do. Null for a bad parent.
HWND WINX_MakeListViewControl(HWND parent, bool listBox, int id, int style, const RECT& frame, int scaledWidth);
