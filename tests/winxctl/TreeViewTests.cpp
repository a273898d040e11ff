// Tree views and tab controls through their functions; runs with or without a display.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "WINX_DialogTemplate.h"
#include "WINX_TreeView.h"

namespace {

std::vector<int> g_codes;  // WM_NOTIFY codes seen by the owner
HWND g_tree = nullptr;
HTREEITEM g_reselect = nullptr;

LRESULT ownerProc(HWND, UINT msg, WPARAM, LPARAM lp) {
  if (msg == WM_NOTIFY) {
    int code = ((const NMHDR*)(intptr_t)lp)->code;
    g_codes.push_back(code);
    // A handler that selects again must not be told a second time.
    if (code == TVN_SELCHANGED && g_reselect) TreeView_SelectItem(g_tree, g_reselect);
  }
  return 0;
}

class Trees : public ::testing::Test {
protected:
  void SetUp() override {
    g_codes.clear();
    g_reselect = nullptr;
    owner = WINX_CreateWindowView(nullptr, nullptr, ownerProc, 0);
    WINX_MakeSetCurParms(1, 1, 0, 0, owner, false, false);
    tree = g_tree = WINX_MakeControl("", 1, "SysTreeView32", 0, 0, 0, 200, 200, 0);
    ASSERT_NE(nullptr, tree);
  }
  void TearDown() override { DestroyWindow(owner); }
  HTREEITEM add(HTREEITEM parent, HTREEITEM after, const char* text) {
    TVINSERTSTRUCT ins = {};
    ins.hParent = parent;
    ins.hInsertAfter = after;
    ins.item.mask = TVIF_TEXT | TVIF_CHILDREN;
    ins.item.pszText = (char*)text;
    ins.item.cChildren = 1;
    return TreeView_InsertItem(tree, &ins);
  }
  std::string label(HTREEITEM it) {
    char buf[32] = "?";
    TVITEM t = {};
    t.mask = TVIF_HANDLE | TVIF_TEXT;
    t.hItem = it;
    t.pszText = buf;
    t.cchTextMax = sizeof(buf);
    return TreeView_GetItem(tree, &t) ? buf : "<bad>";
  }
  HWND owner = nullptr, tree = nullptr;
};

}  // namespace

TEST_F(Trees, InsertPositionsAndSiblingWalk) {
  HTREEITEM a = add(TVI_ROOT, TVI_LAST, "a");
  HTREEITEM c = add(TVI_ROOT, TVI_SORT, "c");  // sort appends
  add(TVI_ROOT, a, "b");                      // right after a
  HTREEITEM kid = add(a, TVI_LAST, "kid");
  add(a, c, "first");                          // c is not a's child: inserted first
  std::string order;
  for (HTREEITEM it = TreeView_GetRoot(tree); it; it = TreeView_GetNextSibling(tree, it)) order += label(it);
  EXPECT_EQ("abc", order);
  EXPECT_EQ("first", label(TreeView_GetChild(tree, a)));
  HTREEITEM__* par = nullptr;
  int idx = -1;
  WinxCtlTreeView* tv = static_cast<WinxCtlTreeView*>(WINX_ValidWindow(tree));
  ASSERT_TRUE(tv->findItem(kid, &par, &idx));
  EXPECT_EQ(a, par);
  EXPECT_EQ(1, idx);
  ASSERT_TRUE(tv->findItem(c, &par, &idx));
  EXPECT_EQ(nullptr, par);
}

TEST_F(Trees, ItemsOfOtherTreesAndDeletedItemsAreRefused) {
  HWND other = WINX_MakeControl("", 2, "SysTreeView32", 0, 0, 0, 100, 100, 0);
  TVINSERTSTRUCT ins = {};
  ins.item.mask = TVIF_TEXT;
  ins.item.pszText = (char*)"x";
  HTREEITEM foreign = TreeView_InsertItem(other, &ins);
  EXPECT_EQ(nullptr, add(foreign, TVI_LAST, "y"));
  HTREEITEM a = add(TVI_ROOT, TVI_LAST, "a");
  HTREEITEM kid = add(a, TVI_LAST, "kid");
  TreeView_DeleteItem(tree, a);
  EXPECT_EQ("<bad>", label(kid));  // gone with its parent, never read
  EXPECT_EQ(0, TreeView_Expand(tree, a, TVE_EXPAND));
  EXPECT_EQ(nullptr, TreeView_GetRoot(tree));
}

TEST_F(Trees, ExpandActionsReportWhetherTheyActed) {
  HTREEITEM a = add(TVI_ROOT, TVI_LAST, "a");
  EXPECT_EQ(1, TreeView_Expand(tree, a, TVE_EXPAND));
  EXPECT_EQ(0, TreeView_Expand(tree, a, TVE_EXPAND));
  EXPECT_EQ(1, TreeView_Expand(tree, a, TVE_TOGGLE));
  TVITEM t = {};
  t.mask = TVIF_HANDLE;
  t.hItem = a;
  TreeView_GetItem(tree, &t);
  EXPECT_EQ(0u, t.state & TVIS_EXPANDED);
  EXPECT_EQ(1, t.cChildren);
}

TEST_F(Trees, SelectionNotifiesOnceEvenWhenTheHandlerSelectsAgain) {
  HTREEITEM a = add(TVI_ROOT, TVI_LAST, "a");
  HTREEITEM b = add(TVI_ROOT, TVI_LAST, "b");
  HTREEITEM hidden = add(a, TVI_LAST, "hidden");  // a is collapsed
  g_reselect = b;
  TreeView_SelectItem(tree, a);
  EXPECT_EQ(std::vector<int>{TVN_SELCHANGED}, g_codes);
  EXPECT_EQ(b, TreeView_GetSelection(tree));
  g_reselect = nullptr;
  TreeView_SelectItem(tree, hidden);  // not shown: the selection stays
  EXPECT_EQ(b, TreeView_GetSelection(tree));
  TVHITTESTINFO hi = {{5, 25}, 0, nullptr};
  EXPECT_EQ(b, TreeView_HitTest(tree, &hi));
  hi.pt = POINT{5, 100};
  EXPECT_EQ(nullptr, TreeView_HitTest(tree, &hi));
}

TEST_F(Trees, TabControlInsertsClampedAndNotifiesOnlyOnSelection) {
  HWND tab = WINX_MakeControl("", 3, "SysTabControl32", 0, 0, 0, 200, 100, 0);
  ASSERT_NE(nullptr, tab);
  TCITEM t = {TCIF_TEXT, 0, 0, (char*)"One", 0, 0, 0};
  EXPECT_EQ(0, TabCtrl_InsertItem(tab, 0, &t));
  EXPECT_EQ(1, TabCtrl_InsertItem(tab, 5, &t));
  EXPECT_EQ(2, TabCtrl_InsertItem(tab, 99, &t));
  t.mask = 0;
  EXPECT_EQ(-1, TabCtrl_InsertItem(tab, 0, &t));
  EXPECT_TRUE(g_codes.empty());
  EXPECT_EQ(0, TabCtrl_SetCurSel(tab, 2));
  EXPECT_EQ(std::vector<int>{TCN_SELCHANGE}, g_codes);
  EXPECT_EQ(2, TabCtrl_GetCurSel(tab));
  EXPECT_EQ(1, TabCtrl_DeleteItem(tab, 0));
  EXPECT_EQ(0, TabCtrl_DeleteItem(tab, 5));
  EXPECT_EQ(1, TabCtrl_GetCurSel(tab));
  RECT r = {0, 0, 100, 100};
  TabCtrl_AdjustRect(tab, false, &r);
  EXPECT_EQ(7, r.left);
  EXPECT_EQ(26, r.top);
  EXPECT_EQ(-1, TabCtrl_SetCurSel(owner, 0));
}

TEST_F(Trees, SelectionColoursDefaultToBlack) {
  ListView_SetSelColors(tree, nullptr, 4);
  WinxCtlTreeView* tv = static_cast<WinxCtlTreeView*>(WINX_ValidWindow(tree));
  EXPECT_EQ(std::vector<int>(4, 0), tv->m_selColors);
}
