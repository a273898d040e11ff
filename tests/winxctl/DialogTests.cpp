// Dialog templates and modal dialogs that end before their loop starts; the file-dialog
// helpers that need no chooser on screen.
#include <gtest/gtest.h>

#include <cstring>

#include "BankNameDialog.h"
#include "WINX_Controls.h"
#include "WINX_Dialog.h"
#include "WINX_DialogTemplate.h"
#include "WINX_FileDialog.h"
#include "WINX_Notify.h"

namespace {

// A child-only template cannot run as a dialog.
const WINX_DialogResourceIndex kChildOnly = {(const char*)(uintptr_t)77, "Child", 0x1, bankNameCreator, 100, 100};
WINX_DialogResourceEntry g_bankEntry = {&kBankNameRes, nullptr};
WINX_DialogResourceEntry g_childEntry = {&kChildOnly, &g_bankEntry};

int g_destroyCount = 0;

LRESULT endAtInit(HWND h, UINT msg, WPARAM, LPARAM lp) {
  if (msg == WM_INITDIALOG) {
    EndDialog(h, (int)lp);
    return 1;
  }
  if (msg == WM_DESTROY) g_destroyCount++;
  return 0;
}

LRESULT nothingProc(HWND, UINT, WPARAM, LPARAM) { return 0; }

RECT frameOf(HWND h) {
  HWND__* w = WINX_ValidWindow(h);
  return w ? w->frame : RECT{-1, -1, -1, -1};
}

}  // namespace

TEST(DialogTemplate, BankNameDialogControlsLandAtScaledPlaces) {
  HWND v = WINX_CreateWindowView(&kBankNameRes, nullptr, nothingProc, 0);
  ASSERT_NE(nullptr, v);
  HWND edit = GetDlgItem(v, 10013);
  ASSERT_NE(nullptr, edit);
  EXPECT_EQ(1, WINX_IsStaticText(edit));
  RECT r = frameOf(edit);
  EXPECT_EQ(18, r.left);
  EXPECT_EQ(36, r.top);
  EXPECT_EQ(360, r.right - r.left);
  EXPECT_EQ(22, r.bottom - r.top);  // trunc(1.8 * 12 + 0.5)
  char buf[32];
  EXPECT_EQ(1, GetDlgItemText(v, 10006, buf, sizeof(buf)));
  EXPECT_STREQ("OK    ", buf);
  EXPECT_EQ(1, WINX_IsButton(GetDlgItem(v, 2)));
  DestroyWindow(v);
}

TEST(DialogTemplate, RawRectanglesUnknownClassesAndFixedComboHeights) {
  HWND v = WINX_CreateWindowView(nullptr, nullptr, nothingProc, 0);
  WINX_MakeSetCurParms(2, 2, 0, 0, v, false, false);
  HWND raw = WINX_MakeButton(0, "x", 1, -5, -6, -30, -40, 0);
  RECT r = frameOf(raw);
  EXPECT_EQ(5, r.left);
  EXPECT_EQ(6, r.top);
  EXPECT_EQ(35, r.right);
  EXPECT_EQ(46, r.bottom);
  EXPECT_EQ(nullptr, WINX_MakeControl("t", 2, "NoSuchClass", 0, 0, 0, 10, 10, 0));
  const WINX_DialogControlRecord recs[] = {
      {"text", 3, "", 0, 0, 0, 10, 10, 0},                 // empty class: nothing
      {"__WINX_COMBO", 0, "", 4, 10, 10, 50, 99, 1},         // editable: 22 high, at y - 1
      {"__WINX_COMBO", 0, "", 5, 10, 30, 50, 99, 3},         // drop-down list: 18 high
  };
  WINX_GenerateDialogFromList(recs, 3);
  EXPECT_EQ(nullptr, GetDlgItem(v, 3));
  r = frameOf(GetDlgItem(v, 4));
  EXPECT_EQ(18, r.top);
  EXPECT_EQ(22, r.bottom - r.top);
  r = frameOf(GetDlgItem(v, 5));
  EXPECT_EQ(60, r.top);
  EXPECT_EQ(18, r.bottom - r.top);
  DestroyWindow(v);
}

TEST(DialogTemplate, CustomCreatorsAreCountedAndUnregistered) {
  static int calls = 0;
  struct C {
    static HWND make(HWND, const char*, int, const char*, int, int, int, int, int) {
      calls++;
      return nullptr;
    }
  };
  WINX_RegisterCustomControlCreator(C::make);
  WINX_RegisterCustomControlCreator(C::make);
  WINX_UnregisterCustomControlCreator(C::make);
  WINX_MakeControl("", 1, "Whatever", 0, 0, 0, 1, 1, 0);
  EXPECT_EQ(1, calls);
  WINX_UnregisterCustomControlCreator(C::make);
  WINX_UnregisterCustomControlCreator(C::make);  // unknown now: ignored
  WINX_MakeControl("", 1, "Whatever", 0, 0, 0, 1, 1, 0);
  EXPECT_EQ(1, calls);
}

TEST(Dialog, EndDialogDuringInitReturnsWithoutALoop) {
  g_destroyCount = 0;
  EXPECT_EQ(7, WINX_DialogBox(&g_childEntry, (const char*)(uintptr_t)10014, nullptr, endAtInit, 7));
  EXPECT_EQ(1, g_destroyCount);
  EXPECT_EQ(-1, WINX_DialogBox(&g_childEntry, (const char*)(uintptr_t)77, nullptr, endAtInit, 7));
  EXPECT_EQ(-1, WINX_DialogBox(&g_childEntry, (const char*)(uintptr_t)999, nullptr, endAtInit, 7));
  EXPECT_EQ(nullptr, WINX_CreateDialog(&g_childEntry, (const char*)(uintptr_t)999, nullptr, nothingProc, 0));
}

TEST(Dialog, PlainChildViewFromPlainWindowIdWithParent) {
  HWND parent = WINX_CreateWindowView(nullptr, nullptr, nothingProc, 0);
  HWND child = WINX_CreateDialog(nullptr, (const char*)(uintptr_t)0x400000, parent, nothingProc, 0);
  ASSERT_NE(nullptr, child);
  EXPECT_EQ(parent, GetParent(child));
  RECT r = frameOf(child);
  EXPECT_EQ(300, r.right - r.left);
  EXPECT_EQ(200, r.bottom - r.top);
  DestroyWindow(parent);
  EXPECT_EQ(nullptr, WINX_ValidWindow(child));
}

TEST(FileDialogHelpers, ExtensionListsAndInitialPaths) {
  const char list[] = "Banks\0*.syx;*.mid\0All\0*.*\0\0";
  std::vector<std::string> exts = WINX_ExtensionsFromList(list);
  ASSERT_EQ(2u, exts.size());
  EXPECT_EQ("syx", exts[0]);
  EXPECT_EQ("mid", exts[1]);
  EXPECT_TRUE(WINX_ExtensionsFromList("").empty());
  std::string dir, file;
  WINX_SplitInitialPath("/home", "/data/banks/a.syx", &dir, &file);
  EXPECT_EQ("/data/banks", dir);
  EXPECT_EQ("a.syx", file);
  WINX_SplitInitialPath("/home", "/root.syx", &dir, &file);
  EXPECT_EQ("/", dir);
  WINX_SplitInitialPath("/home", "b.syx", &dir, &file);
  EXPECT_EQ("/home", dir);
  EXPECT_EQ("b.syx", file);
  EXPECT_EQ(0, MessageBox(nullptr, "text", "caption", 2));
}

namespace {

const WINX_DialogControlRecord kColoured[] = {
    {"__WINX_LABEL", -1, "Label", 5, 10, 10, 50, 8, 0},
    {"__WINX_BUTTON", 0, "Plain", 6, 10, 30, 50, 14, 0},
};
void colouredCreator(HWND view, int) {
  WINX_MakeSetCurParms(1, 1, 0, 0, view, false, false);
  WINX_GenerateDialogFromList(kColoured, 2);
}
const WINX_DialogResourceIndex kColouredRes = {(const char*)(uintptr_t)600, "C", 0x4, colouredCreator, 100, 100};

LRESULT redStatic(HWND, UINT msg, WPARAM wp, LPARAM) {
  if (msg == WM_CTLCOLORSTATIC) SetTextColor((HDC)(uintptr_t)wp, RGB(255, 0, 0));
  return 0;
}

}  // namespace

TEST(DialogColours, StaticColourReachesLabelsButNotPlainButtons) {
  HWND v = WINX_CreateWindowView(&kColouredRes, nullptr, redStatic, 0);
  ASSERT_NE(nullptr, v);
  EXPECT_EQ(0xFF0000, WINX_GetControlTextColor(GetDlgItem(v, 5)));
  EXPECT_EQ(-1, WINX_GetControlTextColor(GetDlgItem(v, 6)));
  EXPECT_FALSE(WINX_SetControlTextColor(v, 0x123456));  // a view has no title colour
  DestroyWindow(v);
}

TEST(DialogTemplate, DefaultButtonRaiseAmountAndTextViewEquivalence) {
  HWND v = WINX_CreateWindowView(nullptr, nullptr, nothingProc, 0);
  WINX_MakeSetCurParms(1, 1, 0, 0, v, false, false);
  HWND group = WINX_MakeGroupBox("Group", 3, 0, 0, 100, 60, 0);
  EXPECT_EQ(0, WINX_GetDefaultButtonID(v, false));
  WINX_MakeButton(1, "First", 7, 10, 10, 40, 14, 0);
  HWND second = WINX_MakeButton(1, "Second", 8, 60, 10, 40, 14, 0);  // the newest default wins
  WINX_MakeButton(0, "Plain", 9, 10, 30, 40, 14, 0);
  EXPECT_EQ(8, WINX_GetDefaultButtonID(group, false));  // any window inside asks its window
  EnableWindow(second, 0);
  EXPECT_EQ(8, WINX_GetDefaultButtonID(v, false));
  EXPECT_EQ(0, WINX_GetDefaultButtonID(v, true));

  HWND child = WINX_CreateWindowView(nullptr, v, nothingProc, 0);
  WINX_SetWindowWantRaiseAmt(child, 2);  // a view stands for its window
  EXPECT_EQ(2, WINX_GetWindowWantRaiseAmt(v));
  EXPECT_EQ(0, WINX_GetWindowWantRaiseAmt(nullptr));

  HWND field = WINX_MakeEditField(20, 10, 50, 40, 14, 0);
  HWND text = WINX_MakeEditField(21, 10, 70, 40, 40, 0x200000);
  EXPECT_EQ(0, IsEquivalentTextView(nullptr, field));
  EXPECT_EQ(1, IsEquivalentTextView(field, field));
  EXPECT_EQ(0, IsEquivalentTextView(field, text));  // not the field's editor
  EXPECT_EQ(0, IsEquivalentTextView(text, group));
  DestroyWindow(v);
}
