// Controls through their messages and the WINX_CB_/WINX_TB_ functions. Runs with or without a
// display: the records keep the state either way.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "WINX_Controls.h"
#include "WINX_DialogTemplate.h"

namespace {

std::vector<std::pair<int, int>> g_commands;  // (id, code) of WM_COMMAND seen by the parent

LRESULT parentProc(HWND, UINT msg, WPARAM wp, LPARAM) {
  if (msg == WM_COMMAND) g_commands.emplace_back((int)(wp & 0xFFFF), (int)(wp >> 16));
  return 0;
}

class Controls : public ::testing::Test {
protected:
  void SetUp() override {
    g_commands.clear();
    parent = WINX_CreateWindowView(nullptr, nullptr, parentProc, 0);
    ASSERT_NE(nullptr, parent);
    WINX_MakeSetCurParms(1, 1, 0, 0, parent, false, false);
  }
  void TearDown() override {
    if (WINX_ValidWindow(parent)) DestroyWindow(parent);
  }
  HWND parent = nullptr;
};

}  // namespace

TEST_F(Controls, SortedComboKeepsOrderUnsortedAppends) {
  HWND sorted = WINX_MakeCombo(1, 0, 0, 50, 0, CBS_SORT | 3);
  for (const char* s : {"m", "c", "x", "a", "c"}) WINX_CB_AddString(parent, 1, s);
  char buf[8];
  std::string got;
  for (int i = 0; i < WINX_CB_GetNumItems(sorted, 0); ++i) {
    WINX_CB_GetItemText(sorted, 0, i, buf, sizeof(buf));
    got += buf;
  }
  EXPECT_EQ("accmx", got);
  HWND plain = WINX_MakeCombo(2, 0, 30, 50, 0, 1);
  SendMessage(plain, CB_ADDSTRING, 0, (LPARAM)(intptr_t) "z");
  SendMessage(plain, CB_ADDSTRING, 0, (LPARAM)(intptr_t) "a");
  EXPECT_EQ(1, WINX_CB_FindString(parent, 2, -1, "A", true));
  EXPECT_EQ(0, WINX_CB_InsertString(plain, 0, -1, "top"));
  EXPECT_EQ(3, WINX_CB_InsertString(plain, 0, 99, "end"));
  WINX_CB_GetItemText(plain, 0, 0, buf, sizeof(buf));
  EXPECT_STREQ("top", buf);
}

TEST_F(Controls, ComboItemDataFollowsItsItem) {
  HWND c = WINX_MakeCombo(1, 0, 0, 50, 0, 1);
  WINX_CB_AddString(c, 0, "one");
  WINX_CB_AddString(c, 0, "two");
  WINX_CB_SetItemData(c, 0, 1, 222);
  WINX_CB_InsertString(c, 0, 0, "zero");
  EXPECT_EQ(222, WINX_CB_GetItemData(c, 0, 2));
  WINX_CB_DeleteString(c, 0, 0);
  WINX_CB_DeleteString(c, 0, 0);
  EXPECT_EQ(222, WINX_CB_GetItemData(c, 0, 0));
  EXPECT_EQ(0, WINX_CB_GetItemData(c, 0, 5));  // out of range
  WINX_CB_SetItemData(c, 0, -1, 9);            // ignored
  WINX_CB_DeleteString(c, 0, 7);               // ignored
  EXPECT_EQ(1, WINX_CB_GetNumItems(c, 0));
}

TEST_F(Controls, ComboSearchesAndReadsAreRangeChecked) {
  HWND c = WINX_MakeCombo(1, 0, 0, 50, 0, 3);
  WINX_CB_AddString(c, 0, "Bass");
  WINX_CB_AddString(c, 0, "Brass \xE2\x82\xAC");
  EXPECT_EQ(-1, WINX_CB_FindString(c, 0, 1, "B", false));  // starts after the last: no search
  EXPECT_EQ(1, WINX_CB_FindString(c, 0, 0, "bra", false));
  EXPECT_EQ(-1, SendMessage(c, CB_FINDSTRING, (WPARAM)-1, 0));
  char buf[9] = "junk";
  EXPECT_EQ(0, WINX_CB_GetItemText(c, 0, 2, buf, sizeof(buf)));
  EXPECT_STREQ("", buf);
  EXPECT_EQ(1, WINX_CB_GetItemText(c, 0, 1, buf, sizeof(buf)));
  EXPECT_STREQ("Brass ", buf);  // the euro sign does not fit whole
  SendMessage(c, CB_SETCURSEL, 1, 0);
  SendMessage(c, CB_SETCURSEL, 2, 0);  // index == count: unchanged
  EXPECT_EQ(1, SendMessage(c, CB_GETCURSEL, 0, 0));
  EXPECT_TRUE(g_commands.empty());  // programmatic selection sends nothing
}

TEST_F(Controls, DestroyedControlReceivesNothing) {
  HWND c = WINX_MakeCombo(1, 0, 0, 50, 0, 3);
  WINX_CB_AddString(c, 0, "x");
  DestroyWindow(c);
  EXPECT_EQ(0, WINX_CB_GetNumItems(c, 0));
  EXPECT_EQ(0, SendMessage(c, CB_GETCOUNT, 0, 0));
  EXPECT_EQ(0, WINX_CB_AddString(c, 0, "y"));
  EXPECT_EQ(nullptr, GetDlgItem(parent, 1));
}

TEST_F(Controls, TrackbarRoundsAndProgressTakesPackedRange) {
  HWND s = WINX_MakeControl("", 5, "msctls_trackbar32", 0, 0, 0, 100, 20, 0);
  ASSERT_NE(nullptr, s);
  WinxCtlSlider* sl = static_cast<WinxCtlSlider*>(WINX_ValidWindow(s));
  sl->setRange(-10, 10);
  sl->setValue(9.5);
  EXPECT_EQ(10, WINX_TB_GetPos(parent, 5));
  sl->setValue(-2.5);
  EXPECT_EQ(-2, SendMessage(s, TBM_GETPOS, 0, 0));
  EXPECT_EQ(1, SendMessage(s, TBM_SETRANGE, 1, (100 << 16) | 20));
  WINX_TB_SetPos(parent, 5, 500);
  EXPECT_EQ(100, WINX_TB_GetPos(s, 0));  // clamped to the range
  HWND p = WINX_MakeControl("", 6, "msctls_progress32", 0, 0, 30, 100, 10, 0);
  SendMessage(p, PBM_SETRANGE, 0, 6553600);
  WinxCtlProgress* pr = static_cast<WinxCtlProgress*>(WINX_ValidWindow(p));
  EXPECT_EQ(0, pr->m_min);
  EXPECT_EQ(100, pr->m_max);
  SendMessage(p, PBM_SETPOS, 40, 0);
  SendMessage(p, PBM_DELTAPOS, 5, 0);
  EXPECT_EQ(45, pr->m_value);
}

TEST_F(Controls, ButtonsCheckMixedAndKeepRadioGroupsExclusive) {
  HWND tri = WINX_MakeControl("Tri", 1, "Button", 6, 0, 0, 40, 10, 0);
  SendMessage(tri, BM_SETCHECK, 3, 0);
  EXPECT_EQ(BST_INDETERMINATE, SendMessage(tri, BM_GETCHECK, 0, 0));
  HWND r1 = WINX_MakeControl("A", 2, "Button", 9 | 0x20000, 0, 20, 40, 10, 0);
  HWND r2 = WINX_MakeControl("B", 3, "Button", 9, 0, 30, 40, 10, 0);
  HWND r3 = WINX_MakeControl("C", 4, "Button", 9 | 0x20000, 0, 40, 40, 10, 0);  // next group
  EXPECT_EQ(9 | WS_GROUP, (int)(GetWindowLong(r1, GWL_STYLE) & (0xF | WS_GROUP)));
  EXPECT_EQ(6, (int)(GetWindowLong(tri, GWL_STYLE) & 0xF));
  SendMessage(r1, BM_SETCHECK, 1, 0);
  SendMessage(r3, BM_SETCHECK, 1, 0);
  static_cast<WinxCtlButton*>(WINX_ValidWindow(r2))->clicked();
  EXPECT_EQ(0, SendMessage(r1, BM_GETCHECK, 0, 0));
  EXPECT_EQ(1, SendMessage(r2, BM_GETCHECK, 0, 0));
  EXPECT_EQ(1, SendMessage(r3, BM_GETCHECK, 0, 0));
  ASSERT_FALSE(g_commands.empty());
  EXPECT_EQ(std::make_pair(3, (int)BN_CLICKED), g_commands.back());
  HWND push = WINX_MakeButton(0, "&&Go&", 9, 0, 60, 40, 10, 0);
  char buf[16];
  GetDlgItemText(parent, 9, buf, sizeof(buf));
  EXPECT_STREQ("&Go", buf);
  EXPECT_EQ(1, WINX_IsButton(push));
  EXPECT_EQ(0, SendMessage(push, BM_GETIMAGE, 2, 0));
}

TEST_F(Controls, TextViewSelectionIsClampedToTheText) {
  HWND v = WINX_MakeEditField(1, 0, 0, 100, 50, 0x200000);
  SetDlgItemText(parent, 1, "hello");
  int s = -5, e = -5;
  SendMessage(v, EM_SETSEL, (WPARAM)-1, 3);
  SendMessage(v, EM_GETSEL, (WPARAM)(uintptr_t)&s, (LPARAM)(intptr_t)&e);
  EXPECT_EQ(0, s);
  EXPECT_EQ(0, e);
  SendMessage(v, EM_SETSEL, 2, -1);
  SendMessage(v, EM_GETSEL, (WPARAM)(uintptr_t)&s, (LPARAM)(intptr_t)&e);
  EXPECT_EQ(2, s);
  EXPECT_EQ(5, e);
  SendMessage(v, EM_SETSEL, 9, 12);
  SendMessage(v, EM_GETSEL, (WPARAM)(uintptr_t)&s, 0);
  EXPECT_EQ(5, s);
}

namespace {
DRAWITEMSTRUCT g_dis;
int g_drawItems = 0;
LRESULT drawingParent(HWND, UINT msg, WPARAM, LPARAM lp) {
  if (msg == WM_DRAWITEM) {
    g_dis = *(const DRAWITEMSTRUCT*)(intptr_t)lp;
    g_drawItems++;
    EXPECT_NE(nullptr, WINX_ValidDC(g_dis.hDC));
  }
  return 0;
}
}  // namespace

TEST(OwnerDrawnButton, ParentDrawsItThroughDrawItem) {
  HWND parent = WINX_CreateWindowView(nullptr, nullptr, drawingParent, 0);
  WINX_MakeSetCurParms(1, 1, 0, 0, parent, false, false);
  HWND b = WINX_MakeControl("", 12, "Button", 11, 0, 0, 30, 20, 0);
  ASSERT_NE(nullptr, b);
  g_drawItems = 0;
  static_cast<WinxCtlButton*>(WINX_ValidWindow(b))->drawOwner(nullptr, 30, 20);
  EXPECT_EQ(1, g_drawItems);
  EXPECT_EQ((uint32_t)ODT_BUTTON, g_dis.CtlType);
  EXPECT_EQ(12u, g_dis.CtlID);
  EXPECT_EQ(0u, g_dis.itemData);
  EXPECT_EQ(b, g_dis.hwndItem);
  EXPECT_EQ(30, g_dis.rcItem.right);
  DestroyWindow(parent);
}

TEST_F(Controls, StyleKindTurnsAButtonIntoThatKind) {
  HWND b = WINX_MakeControl("Go", 7, "Button", 0, 0, 0, 40, 10, 0);
  SendMessage(b, BM_SETCHECK, 1, 0);
  EXPECT_EQ(0, SendMessage(b, BM_GETCHECK, 0, 0));  // a push button keeps no check
  SetWindowLong(b, GWL_STYLE, 3);
  SendMessage(b, BM_SETCHECK, 1, 0);
  EXPECT_EQ(1, SendMessage(b, BM_GETCHECK, 0, 0));
  EXPECT_EQ(3, (int)(GetWindowLong(b, GWL_STYLE) & 0xF));

  SetWindowLong(b, GWL_STYLE, 9 | WS_GROUP);
  EXPECT_EQ(9 | WS_GROUP, (int)(GetWindowLong(b, GWL_STYLE) & (0xF | WS_GROUP)));
  HWND next = WINX_MakeControl("B", 8, "Button", 9, 0, 20, 40, 10, 0);
  SendMessage(next, BM_SETCHECK, 1, 0);
  static_cast<WinxCtlButton*>(WINX_ValidWindow(b))->clicked();
  EXPECT_EQ(0, SendMessage(next, BM_GETCHECK, 0, 0));  // b now heads the radio group

  SetWindowLong(b, GWL_STYLE, 6);  // three-state: leaves the group
  EXPECT_EQ(6, (int)(GetWindowLong(b, GWL_STYLE) & (0xF | WS_GROUP)));
  SendMessage(b, BM_SETCHECK, 3, 0);
  EXPECT_EQ(BST_INDETERMINATE, SendMessage(b, BM_GETCHECK, 0, 0));
  // Kinds a button cannot become leave it as it is, and the style word says so.
  SetWindowLong(b, GWL_STYLE, 0);
  EXPECT_EQ(6, (int)(GetWindowLong(b, GWL_STYLE) & 0xF));
}
