// List views and list boxes through their functions, messages and mouse rules. Runs with or
// without a display (the list is not shown, so rows are 20 pixels high either way).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "WINX_DialogTemplate.h"
#include "WINX_ListView.h"

namespace {

struct Seen {
  UINT msg;
  int code;   // WM_NOTIFY code, WM_COMMAND notification code
  int item;
  int64_t lParam;
};
std::vector<Seen> g_seen;
LRESULT g_rclickAnswer = 0;

LRESULT ownerProc(HWND, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NOTIFY) {
    const NMHDR* h = (const NMHDR*)(intptr_t)lp;
    if (h->code == LVN_GETDISPINFO) {
      NMLVDISPINFO* di = (NMLVDISPINFO*)(intptr_t)lp;
      snprintf(di->item.pszText, (size_t)di->item.cchTextMax + 1, "r%dc%d", di->item.iItem, di->item.iSubItem);
      return 0;
    }
    const NMLISTVIEW* nm = (const NMLISTVIEW*)(intptr_t)lp;
    g_seen.push_back({msg, h->code, nm->iItem, nm->lParam});
    return h->code == NM_RCLICK ? g_rclickAnswer : 0;
  }
  if (msg == WM_COMMAND) g_seen.push_back({msg, (int)(wp >> 16), 0, 0});
  if (msg == WM_MOUSEMOVE || msg == WM_LBUTTONUP || msg == WM_CONTEXTMENU) g_seen.push_back({msg, 0, 0, 0});
  return 0;
}

class ListViews : public ::testing::Test {
protected:
  void SetUp() override {
    g_seen.clear();
    g_rclickAnswer = 0;
    owner = WINX_CreateWindowView(nullptr, nullptr, ownerProc, 0);
    ASSERT_NE(nullptr, owner);
    WINX_MakeSetCurParms(1, 1, 0, 0, owner, false, false);
  }
  void TearDown() override { DestroyWindow(owner); }

  HWND makeList(int style) {
    HWND l = WINX_MakeControl("", 1, "SysListView32", style, 0, 0, 200, 200, 0);
    EXPECT_NE(nullptr, l);
    return l;
  }
  static int insert(HWND l, int at, const char* text, int64_t data = 0) {
    LVITEM it = {};
    it.mask = LVIF_TEXT | LVIF_PARAM;
    it.iItem = at;
    it.pszText = (char*)text;
    it.lParam = data;
    return ListView_InsertItem(l, &it);
  }
  static std::string text(HWND l, int row, int col = 0) {
    char buf[64];
    ListView_GetItemText(l, row, col, buf, sizeof(buf));
    return buf;
  }
  int count(UINT msg, int code = 0) const {
    int n = 0;
    for (const Seen& s : g_seen) n += s.msg == msg && (msg != WM_NOTIFY || s.code == code);
    return n;
  }
  HWND owner = nullptr;
};

}  // namespace

TEST_F(ListViews, InsertPositionsAreClampedAndSortedListsIgnoreThem) {
  HWND l = makeList(1);
  insert(l, 0, "a");
  insert(l, 1, "b");
  insert(l, 2, "c");
  EXPECT_EQ(3, insert(l, 1000, "d"));
  EXPECT_EQ(0, insert(l, -4, "e"));
  HWND s = WINX_MakeControl("", 2, "SysListView32", 1 | LVS_SORTASCENDING, 0, 0, 100, 100, 0);
  for (const char* t : {"m", "c", "x", "c"}) insert(s, 0, t);
  std::string got;
  for (int i = 0; i < ListView_GetItemCount(s); ++i) got += text(s, i);
  EXPECT_EQ("ccmx", got);
}

TEST_F(ListViews, SelectionFollowsRowsAcrossInsertAndDelete) {
  HWND l = makeList(1);
  for (const char* t : {"a", "b", "c"}) insert(l, 99, t);
  ListView_SetItemState(l, 2, LVIS_SELECTED, LVIS_SELECTED);
  insert(l, 0, "top");
  EXPECT_EQ(LVIS_SELECTED, ListView_GetItemState(l, 3, LVIS_SELECTED));
  EXPECT_EQ(0u, ListView_GetItemState(l, 2, LVIS_SELECTED));
  ListView_DeleteItem(l, 0);
  EXPECT_EQ(LVIS_SELECTED, ListView_GetItemState(l, 2, LVIS_SELECTED));
  EXPECT_EQ(2, ListView_GetSelectionMark(l));
  ListView_DeleteItem(l, 17);  // out of range: nothing
  EXPECT_EQ(3, ListView_GetItemCount(l));
}

TEST_F(ListViews, ItemChangedOnlyForRealChangesAndNeverForAllItems) {
  HWND l = makeList(1);
  for (const char* t : {"a", "b"}) insert(l, 99, t);
  EXPECT_TRUE(ListView_SetItemState(l, 0, LVIS_SELECTED, LVIS_SELECTED));
  EXPECT_EQ(1, count(WM_NOTIFY, LVN_ITEMCHANGED));
  ListView_SetItemState(l, 0, LVIS_SELECTED, LVIS_SELECTED);  // already selected
  EXPECT_EQ(1, count(WM_NOTIFY, LVN_ITEMCHANGED));
  EXPECT_TRUE(ListView_SetItemState(l, -1, 0, LVIS_SELECTED));
  EXPECT_EQ(1, count(WM_NOTIFY, LVN_ITEMCHANGED));
  EXPECT_EQ(0, ListView_GetSelectedCount(l));
  EXPECT_FALSE(ListView_SetItemState(l, 2, LVIS_SELECTED, LVIS_SELECTED));
}

TEST_F(ListViews, OwnerDataAsksTheOwnerForEveryCell) {
  HWND l = makeList(1 | LVS_OWNERDATA);
  EXPECT_EQ(-1, insert(l, 0, "x"));
  ListView_SetItemCount(l, 5);
  EXPECT_EQ(5, ListView_GetItemCount(l));
  WinxCtlListView* lv = static_cast<WinxCtlListView*>(WINX_ValidWindow(l));
  EXPECT_EQ("r3c1", lv->cellText(3, 1));
  EXPECT_EQ("", lv->cellText(5, 0));
}

TEST_F(ListViews, ListBoxMessages) {
  HWND lb = WINX_MakeListBox(3, 0, 0, 100, 100, LBS_SORT);
  SendMessage(lb, LB_ADDSTRING, 0, (LPARAM)(intptr_t) "pear");
  SendMessage(lb, LB_ADDSTRING, 0, (LPARAM)(intptr_t) "apple");
  EXPECT_EQ(2, SendMessage(lb, LB_INSERTSTRING, (WPARAM)-1, (LPARAM)(intptr_t) "zz"));
  char buf[16];
  SendMessage(lb, LB_GETTEXT, 0, (LPARAM)(intptr_t)buf);
  EXPECT_STREQ("apple", buf);
  SendMessage(lb, LB_SETITEMDATA, 1, 55);
  EXPECT_EQ(55, SendMessage(lb, LB_GETITEMDATA, 1, 0));
  EXPECT_EQ(0, SendMessage(lb, LB_GETITEMDATA, 9, 0));
  SendMessage(lb, LB_SETCURSEL, 1, 0);
  EXPECT_EQ(1, SendMessage(lb, LB_GETCURSEL, 0, 0));
  SendMessage(lb, LB_SETCURSEL, (WPARAM)-1, 0);
  EXPECT_EQ(0, SendMessage(lb, LB_GETSELCOUNT, 0, 0));
  EXPECT_EQ(3, SendMessage(lb, LB_GETCOUNT, 0, 0));
  SendMessage(lb, LB_RESETCONTENT, 0, 0);
  EXPECT_EQ(0, SendMessage(lb, LB_GETCOUNT, 0, 0));
}

TEST_F(ListViews, ColumnsItemRecordsAndHeaderIndicators) {
  HWND l = makeList(1);
  LVCOLUMN c = {};
  c.cx = 80;
  c.pszText = (char*)"Name";
  ListView_InsertColumn(l, 0, &c);
  c.cx = 0;
  ListView_InsertColumn(l, 1, &c);
  EXPECT_EQ(80, ListView_GetColumnWidth(l, 0));
  EXPECT_EQ(0, ListView_GetColumnWidth(l, 1));  // hidden
  EXPECT_EQ(0, ListView_GetColumnWidth(l, 2));
  insert(l, 0, "row", 9);
  ListView_SetItemText(l, 0, 3, "far");
  EXPECT_EQ("far", text(l, 0, 3));
  EXPECT_EQ("", text(l, 0, 2));
  char one[1] = {'x'};
  LVITEM it = {LVIF_TEXT | LVIF_PARAM, 0, 0, 0, 0, one, 1, 0, 0};
  EXPECT_EQ(1, ListView_GetItem(l, &it));
  EXPECT_EQ(0, one[0]);
  EXPECT_EQ(9, it.lParam);
  RECT r;
  EXPECT_TRUE(ListView_GetItemRect(l, 0, &r, 0));
  EXPECT_FALSE(ListView_GetItemRect(l, 1, &r, 0));  // index == count
  HDITEM h = {HDI_FORMAT, 0, nullptr, nullptr, 0, HDF_SORTUP};
  Header_SetItem(ListView_GetHeader(l), 0, &h);
  h.fmt = 0;
  Header_GetItem(l, 0, &h);
  EXPECT_EQ(HDF_SORTUP, h.fmt);
  h.fmt = 0;
  Header_SetItem(l, 0, &h);
  h.fmt = 123;
  Header_GetItem(l, 0, &h);
  EXPECT_EQ(0, h.fmt);
  EXPECT_EQ(0, Header_GetItem(l, 5, &h));
}

TEST_F(ListViews, SortIsStableAndKeepsTheSelectedRows) {
  HWND l = makeList(1);
  insert(l, 99, "b1", 2);
  insert(l, 99, "a1", 1);
  insert(l, 99, "b2", 2);
  insert(l, 99, "a2", 1);
  ListView_SetItemState(l, 2, LVIS_SELECTED, LVIS_SELECTED);  // "b2"
  ListView_SortItems(l, [](int64_t a, int64_t b, int64_t) { return (int)(a - b); }, 0);
  EXPECT_EQ("a1", text(l, 0));
  EXPECT_EQ("a2", text(l, 1));
  EXPECT_EQ("b1", text(l, 2));
  EXPECT_EQ("b2", text(l, 3));
  EXPECT_EQ(3, ListView_GetNextItem(l, -1, LVNI_SELECTED));
  EXPECT_EQ(1, ListView_GetSelectedCount(l));
}

TEST_F(ListViews, HitTestOutsideAndOnRows) {
  HWND l = makeList(1);
  insert(l, 0, "a");
  LVHITTESTINFO hi = {{-3, -3}, 0, 0, 0};
  EXPECT_EQ(-1, ListView_HitTest(l, &hi));
  EXPECT_EQ((uint32_t)(LVHT_TOLEFT | LVHT_ABOVE), hi.flags);
  hi.pt = POINT{10, 5};
  EXPECT_EQ(0, ListView_HitTest(l, &hi));
  EXPECT_EQ((uint32_t)LVHT_ONITEMLABEL, hi.flags);
  hi.pt = POINT{10, 100};
  EXPECT_EQ(-1, ListView_HitTest(l, &hi));
  EXPECT_EQ((uint32_t)LVHT_NOWHERE, hi.flags);
}

TEST_F(ListViews, ClickSelectsAtReleaseThenReportsTheRow) {
  HWND l = makeList(1);
  insert(l, 99, "a", 10);
  insert(l, 99, "b", 20);
  WinxCtlListView* lv = static_cast<WinxCtlListView*>(WINX_ValidWindow(l));
  lv->mouseDown(5, 25, false);
  EXPECT_TRUE(g_seen.empty());
  EXPECT_EQ(0, ListView_GetSelectedCount(l));
  lv->mouseUp(5, 25, false);
  EXPECT_EQ(1, ListView_GetNextItem(l, -1, LVNI_SELECTED));
  ASSERT_FALSE(g_seen.empty());
  EXPECT_EQ(NM_CLICK, g_seen.back().code);
  EXPECT_EQ(1, g_seen.back().item);
  EXPECT_EQ(20, g_seen.back().lParam);
}

TEST_F(ListViews, FastClickColumnReportsAtPressWithoutSelecting) {
  HWND l = makeList(1);
  LVCOLUMN c = {};
  c.cx = 50;
  ListView_InsertColumn(l, 0, &c);
  ListView_InsertColumn(l, 1, &c);
  insert(l, 99, "a", 10);
  WINX_SetListViewFastClickMask(l, 1 << 1);
  WinxCtlListView* lv = static_cast<WinxCtlListView*>(WINX_ValidWindow(l));
  lv->mouseDown(60, 5, false);
  EXPECT_EQ(1, count(WM_NOTIFY, NM_CLICK));
  lv->mouseUp(60, 5, false);
  EXPECT_EQ(1, count(WM_NOTIFY, NM_CLICK));
  EXPECT_EQ(0, ListView_GetSelectedCount(l));
}

TEST_F(ListViews, DragSelectsBeginsOnceThenMovesAndReleases) {
  HWND l = makeList(1);
  insert(l, 99, "a");
  WinxCtlListView* lv = static_cast<WinxCtlListView*>(WINX_ValidWindow(l));
  lv->mouseDown(5, 5, false);
  for (int i = 0; i < 6; ++i) lv->mouseDragged();
  lv->mouseUp(5, 5, false);
  EXPECT_EQ(1, ListView_GetSelectedCount(l));
  EXPECT_EQ(1, count(WM_NOTIFY, LVN_BEGINDRAG));
  EXPECT_EQ(2, count(WM_MOUSEMOVE));
  EXPECT_EQ(1, count(WM_LBUTTONUP));
  EXPECT_EQ(0, count(WM_NOTIFY, NM_CLICK));
}

TEST_F(ListViews, RightClickSelectsOnlyThatRowThenAsksForAContextMenu) {
  HWND l = makeList(1);
  for (const char* t : {"a", "b"}) insert(l, 99, t);
  ListView_SetItemState(l, 0, LVIS_SELECTED, LVIS_SELECTED);
  WinxCtlListView* lv = static_cast<WinxCtlListView*>(WINX_ValidWindow(l));
  lv->rightMouseUp(5, 25);
  EXPECT_EQ(1, ListView_GetNextItem(l, -1, LVNI_SELECTED));
  EXPECT_EQ(1, ListView_GetSelectedCount(l));
  EXPECT_EQ(1, count(WM_CONTEXTMENU));
  g_rclickAnswer = 1;  // the owner handled NM_RCLICK: no context menu
  lv->rightMouseUp(5, 25);
  EXPECT_EQ(1, count(WM_CONTEXTMENU));
}

TEST_F(ListViews, DestroyedListRefusesEverything) {
  HWND l = makeList(1);
  insert(l, 0, "a");
  DestroyWindow(l);
  EXPECT_EQ(0, ListView_GetItemCount(l));
  EXPECT_EQ(0, insert(l, 0, "b"));
  EXPECT_FALSE(ListView_SetItemState(l, 0, 1, 1));
  EXPECT_EQ(0, SendMessage(l, LB_GETCOUNT, 0, 0));
}

TEST_F(ListViews, ColumnOrderMovesColumnsAndHitTestsFollow) {
  HWND l = makeList(1);
  LVCOLUMN c = {};
  c.cx = 50;
  for (int i = 0; i < 3; ++i) ListView_InsertColumn(l, i, &c);
  int order[3];
  ASSERT_EQ(1, ListView_GetColumnOrderArray(l, 3, order));
  EXPECT_EQ(2, order[2]);
  EXPECT_EQ(0, ListView_GetColumnOrderArray(l, 2, order));  // count must match
  const int newOrder[3] = {2, 0, 1};  // column 0 shows last
  ASSERT_EQ(1, ListView_SetColumnOrderArray(l, 3, newOrder));
  ListView_GetColumnOrderArray(l, 3, order);
  EXPECT_EQ(2, order[0]);
  WinxCtlListView* lv = static_cast<WinxCtlListView*>(WINX_ValidWindow(l));
  EXPECT_EQ(0, lv->columnAt(120, 0));  // the third 50-pixel slot
  insert(l, 0, "a");
  RECT r;
  ASSERT_TRUE(ListView_GetSubItemRect(l, 0, 0, 0, &r));
  EXPECT_EQ(100, r.left);
  EXPECT_EQ(10, ListView_GetCountPerPage(l));  // 200 pixels of 20-pixel rows
  EXPECT_EQ(0, WINX_GetListViewHeaderHeight(l));  // not on screen
}
