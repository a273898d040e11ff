#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "WINX_CtlText.h"
#include "WINX_Menu.h"

namespace {

struct Recorder {
  std::vector<int> tags;
  static void onCommand(const WINX_MenuDestination* d, int tag) { ((Recorder*)d->ctx)->tags.push_back(tag); }
};

std::string itemTitle(HMENU m, int pos) {
  WINX_MenuItemView v;
  return WINX_Menu_GetItemView(m, pos, &v) ? v.title : "<none>";
}

}  // namespace

TEST(MenuText, AmpersandsDroppedAndAcceleratorTextCut) {
  EXPECT_EQ("Save", WINX_MenuTitleFromText("&Save\tCtrl+S"));
  EXPECT_EQ("Rock & Roll", WINX_MenuTitleFromText("Rock && Roll"));
  EXPECT_EQ("End", WINX_MenuTitleFromText("End&"));
  EXPECT_EQ("", WINX_MenuTitleFromText(nullptr));
  std::string longText(3000, 'x');
  EXPECT_EQ(1023u, WINX_MenuTitleFromText(longText.c_str()).size());
}

TEST(MenuText, BoundedCopiesNeverSplitUtf8) {
  char buf[4];
  // "aé€": a (1 byte), é (2 bytes), € (3 bytes); 3 bytes fit: "aé".
  EXPECT_EQ(3, WINX_CopyTextBounded(buf, 4, "a\xC3\xA9\xE2\x82\xAC"));
  EXPECT_STREQ("a\xC3\xA9", buf);
  EXPECT_EQ(1, WINX_CopyTextBounded(buf, 3, "a\xC3\xA9"));
  EXPECT_STREQ("a", buf);
  EXPECT_EQ(0, WINX_CopyTextBounded(buf, 0, "abc"));
  EXPECT_EQ("a?b", WINX_SanitizeUTF8("a\xFF" "b"));
}

TEST(Menu, EnableWithDisabledBitAloneKeepsItemEnabled) {
  HMENU m = CreatePopupMenu();
  WINX_Menu_AddMenuItem(m, "One", 10, 0);
  WINX_MenuItemView v;
  EXPECT_TRUE(EnableMenuItem(m, 10, MF_DISABLED));
  ASSERT_TRUE(WINX_Menu_GetItemView(m, 0, &v));
  EXPECT_TRUE(v.enabled);
  EXPECT_TRUE(EnableMenuItem(m, 0, MF_GRAYED | MF_BYPOSITION));
  ASSERT_TRUE(WINX_Menu_GetItemView(m, 0, &v));
  EXPECT_FALSE(v.enabled);
  EXPECT_FALSE(EnableMenuItem(m, 99, MF_GRAYED));  // no such command
  DestroyMenu(m);
}

TEST(Menu, CommandFoundOnlyInSubmenuIsChangedThere) {
  HMENU m = CreatePopupMenu();
  HMENU sub = CreatePopupMenu();
  WINX_Menu_AddMenuItem(sub, "Deep", 42, 0);
  WINX_InsertMenu(m, 0, MF_POPUP | MF_BYPOSITION, (uintptr_t)sub, "&Sub");
  EXPECT_EQ(-1, GetMenuItemID(m, 0));
  EXPECT_EQ(sub, GetSubMenu(m, 0));
  EXPECT_STREQ("Sub", WINX_Menu_GetTitle(sub));
  EXPECT_TRUE(CheckMenuItem(m, 42, MF_CHECKED));
  WINX_MenuItemView v;
  ASSERT_TRUE(WINX_Menu_GetItemView(sub, 0, &v));
  EXPECT_TRUE(v.checked);
  DestroyMenu(m);  // the submenu goes with its parent
  EXPECT_FALSE(WINX_IsMenu(sub));
}

TEST(Menu, ListBuildsSubmenusAndDisablesHighValues) {
  const WINX_MenuListRecord list[] = {
      {"/.BO^O:Tools", 0}, {"Alpha", 1}, {"Beta", 2}, {"EN%%%^:", 0},
      {nullptr, 0},        {"Gamma", 0x10005},
  };
  HMENU m = CreatePopupMenu();
  EXPECT_EQ(6, WINX_GenerateMenuFromList(m, list, 6));
  ASSERT_EQ(3, GetMenuItemCount(m));
  HMENU tools = GetSubMenu(m, 0);
  ASSERT_NE(nullptr, tools);
  EXPECT_EQ(2, GetMenuItemCount(tools));
  EXPECT_EQ("Beta", itemTitle(tools, 1));
  WINX_MenuItemView v;
  ASSERT_TRUE(WINX_Menu_GetItemView(m, 1, &v));
  EXPECT_TRUE(v.separator);
  ASSERT_TRUE(WINX_Menu_GetItemView(m, 2, &v));
  EXPECT_EQ(5, v.tag);
  EXPECT_FALSE(v.enabled);
  DestroyMenu(m);
}

TEST(Menu, KeyEquivalentsFollowCaseAndShift) {
  HMENU m = CreatePopupMenu();
  WINX_Menu_AddMenuItem(m, "Item", 7, 0);
  WINX_MenuItemView v;
  ASSERT_TRUE(SetMenuItemModifier(m, 7, 0, 'A', FVIRTKEY | FCONTROL));
  WINX_Menu_GetItemView(m, 0, &v);
  EXPECT_STREQ("a", v.key);
  EXPECT_EQ((unsigned)WINX_MENUKEY_COMMAND, v.keyModifiers);
  SetMenuItemModifier(m, 7, 0, 'A', FVIRTKEY | FSHIFT);
  WINX_Menu_GetItemView(m, 0, &v);
  EXPECT_STREQ("A", v.key);
  EXPECT_EQ(0u, v.keyModifiers & WINX_MENUKEY_SHIFT);
  SetMenuItemModifier(m, 7, 0, '1', FVIRTKEY | FSHIFT);
  WINX_Menu_GetItemView(m, 0, &v);
  EXPECT_STREQ("1", v.key);
  EXPECT_NE(0u, v.keyModifiers & WINX_MENUKEY_SHIFT);
  SetMenuItemModifier(m, 7, 0, 0x99, FVIRTKEY);  // no such key
  WINX_Menu_GetItemView(m, 0, &v);
  EXPECT_STREQ("", v.key);
  DestroyMenu(m);
}

TEST(Menu, ItemInfoRoundTripsAndCopiesBounded) {
  HMENU m = CreatePopupMenu();
  MENUITEMINFO mi = {};
  mi.cbSize = sizeof(mi);
  mi.fMask = MIIM_ID | MIIM_TYPE | MIIM_STATE | MIIM_DATA;
  mi.fType = MFT_STRING;
  mi.fState = MFS_CHECKED;
  mi.wID = 77;
  mi.dwItemData = 0x123456789ull;
  mi.dwTypeData = (char*)"Caf\xC3\xA9";
  InsertMenuItem(m, 0, true, &mi);
  char buf[5];
  MENUITEMINFO out = {};
  out.fMask = MIIM_ID | MIIM_TYPE | MIIM_STATE | MIIM_DATA;
  out.dwTypeData = buf;
  out.cch = sizeof(buf);
  ASSERT_TRUE(GetMenuItemInfo(m, 77, false, &out));
  EXPECT_STREQ("Caf", buf);  // the two-byte é does not fit after "Caf" in 4 bytes + NUL
  EXPECT_EQ(77u, out.wID);
  EXPECT_EQ((uint32_t)MFS_CHECKED, out.fState);
  EXPECT_EQ(0x123456789ull, out.dwItemData);
  EXPECT_FALSE(GetMenuItemInfo(m, 3, true, &out));
  DestroyMenu(m);
}

TEST(Menu, DestroyedHandlesAreRefused) {
  HMENU m = CreatePopupMenu();
  WINX_Menu_AddMenuItem(m, "x", 1, 0);
  DestroyMenu(m);
  EXPECT_FALSE(WINX_IsMenu(m));
  EXPECT_EQ(0, GetMenuItemCount(m));
  EXPECT_EQ(-1, AddMenuItem(m, 0, "y", 2));
  EXPECT_FALSE(CheckMenuItem(m, 1, MF_CHECKED));
  EXPECT_EQ(nullptr, WINX_DuplicateMenu(m));
  DestroyMenu(m);  // twice: nothing happens
  EXPECT_EQ(0, GetMenuItemCount((HMENU)(uintptr_t)0x1234));
}

TEST(Menu, DestroyingAnAttachedSubmenuDetachesItFirst) {
  HMENU m = CreatePopupMenu();
  HMENU sub = CreatePopupMenu();
  WINX_InsertMenu(m, 0, MF_POPUP | MF_BYPOSITION, (uintptr_t)sub, "Sub");
  DestroyMenu(sub);
  EXPECT_EQ(nullptr, GetSubMenu(m, 0));
  EXPECT_EQ(1, GetMenuItemCount(m));
  DestroyMenu(m);
}

TEST(Menu, DestinationReachesItemsAndNewItemsInheritIt) {
  Recorder rec;
  WINX_MenuDestination d = {Recorder::onCommand, &rec, 0};
  HMENU m = CreatePopupMenu();
  WINX_Menu_AddMenuItem(m, "One", 1, 0);
  WINX_SetMenuDestinationRaw(m, &d);
  WINX_Menu_AddMenuItem(m, "Two", 2, 0);
  WINX_Menu_AddMenuItem(m, "Off", 3, 1);
  EXPECT_TRUE(WINX_Menu_ActivateItem(m, 1));
  EXPECT_FALSE(WINX_Menu_ActivateItem(m, 2));  // disabled
  EXPECT_FALSE(WINX_Menu_ActivateItem(m, 9));
  WINX_SetMenuDestinationRaw(m, nullptr);
  EXPECT_FALSE(WINX_Menu_ActivateItem(m, 0));
  EXPECT_EQ(std::vector<int>{2}, rec.tags);
  // A duplicate keeps titles and states and is independent of the original.
  HMENU copy = WINX_DuplicateMenu(m);
  DeleteMenu(m, 0, MF_BYPOSITION);
  EXPECT_EQ(3, GetMenuItemCount(copy));
  EXPECT_EQ(2, GetMenuItemCount(m));
  DestroyMenu(copy);
  DestroyMenu(m);
}

TEST(WindowMenu, DestroyingTheWindowFreesItsMenuWhileReplacingOnlyDetaches) {
  HWND w = WINX_CreateWindowView(nullptr, nullptr, nullptr, 0);
  ASSERT_NE(nullptr, w);
  HMENU first = CreatePopupMenu();
  WINX_Menu_AddMenuItem(first, "One", 10, 0);
  HMENU second = CreatePopupMenu();
  WINX_Menu_AddMenuItem(second, "Two", 20, 0);
  ASSERT_EQ(1, SetMenu(w, first));
  ASSERT_EQ(1, SetMenu(w, second));
  // The replaced menu goes back to the caller: alive, but its items no longer reach the window.
  ASSERT_TRUE(WINX_IsMenu(first));
  WINX_MenuItemView v;
  ASSERT_TRUE(WINX_Menu_GetItemView(first, 0, &v));
  EXPECT_FALSE(v.hasTarget);
  WINX_SetCurrentMenu(second);
  DestroyWindow(w);
  EXPECT_FALSE(WINX_IsMenu(second));  // freed with its window (LeakSanitizer checks the rest)
  EXPECT_EQ(nullptr, WINX_GetCurrentMenu());  // and no longer the main menu
  EXPECT_TRUE(WINX_IsMenu(first));
  DestroyMenu(first);
}
