// The SHA-1 digest against the FIPS 180-1 vectors and the padding boundaries, and the
// "Enter Bank Name" dialog template: its record, its layout (with or without a display) and, on a
// display, a modal run driven from a main-loop timeout. Every modal run has a watchdog that ends
// it, so a broken answer fails the test instead of hanging it.
#include <gtk/gtk.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "BankNameDialog.h"
#include "Sha1.h"
#include "WINX_Controls.h"
#include "WINX_Dialog.h"

namespace {

std::string digestHex(const void* data, int length) {
  unsigned char digest[20];
  char text[41];
  sha1::calc(data, length, digest);
  sha1::toHexString(digest, text);
  return text;
}

std::string digestHex(const std::string& s) { return digestHex(s.data(), static_cast<int>(s.size())); }

}  // namespace

TEST(Sha1, MatchesThePublishedTestVectors) {
  EXPECT_EQ("a9993e364706816aba3e25717850c26c9cd0d89d", digestHex("abc"));
  EXPECT_EQ("84983e441c3bd26ebaae4aa1f95129e5e54670f1",
            digestHex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"));
  EXPECT_EQ("34aa973cd4c4daa4f61eeb2bdbad27316534016f", digestHex(std::string(1000000, 'a')));
  EXPECT_EQ("2fd4e1c67a2d28fced849ee1bb76e7391b93eb12", digestHex("The quick brown fox jumps over the lazy dog"));
}

// 55 bytes is the longest tail whose padding fits one block; 56..63 spill into a second one.
TEST(Sha1, PadsCorrectlyAroundTheBlockBoundaries) {
  const struct {
    int length;
    const char* hex;
  } cases[] = {
      {55, "c1c8bbdc22796e28c0e15163d20899b65621d65a"}, {56, "c2db330f6083854c99d4b5bfb6e8f29f201be699"},
      {57, "f08f24908d682555111be7ff6f004e78283d989a"}, {63, "03f09f5b158a7a8cdad920bddc29b81c18a551f5"},
      {64, "0098ba824b5c16427bd7a1122a5a442a25ec644d"}, {65, "11655326c708d70319be2610e8a57d9a5b959d3b"},
      {119, "ee971065aaa017e0632a8ca6c77bb3bf8b1dfc56"}, {120, "f34c1488385346a55709ba056ddd08280dd4c6d6"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.hex, digestHex(std::string(c.length, 'a'))) << c.length << " bytes";
}

// Bytes above 0x7F catch a sign-extending load.
TEST(Sha1, HashesEveryByteValue) {
  std::vector<unsigned char> bytes(768);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(i);
  EXPECT_EQ("ac2a264c8ec1f4232a40854e8239bc3a697ab1d2", digestHex(bytes.data(), static_cast<int>(bytes.size())));
}

TEST(Sha1, EmptyNullOrNegativeInputIsTheEmptyMessage) {
  const std::string empty = "da39a3ee5e6b4b0d3255bfef95601890afd80709";
  EXPECT_EQ(empty, digestHex("", 0));
  EXPECT_EQ(empty, digestHex(nullptr, 0));
  EXPECT_EQ(empty, digestHex(nullptr, 12));
  EXPECT_EQ(empty, digestHex("abc", -3));
  sha1::calc("abc", 3, nullptr);  // no digest buffer: nothing written, no crash
}

TEST(Sha1, HexStringIsFortyLowerCaseDigitsAndANul) {
  unsigned char digest[20];
  for (int i = 0; i < 20; ++i) digest[i] = static_cast<unsigned char>(0xF0 + (i % 16) - i);
  digest[0] = 0xAB;
  digest[19] = 0x0F;
  char text[48];
  std::memset(text, 'X', sizeof(text));
  sha1::toHexString(digest, text);
  EXPECT_EQ('\0', text[40]);
  EXPECT_EQ('X', text[41]);  // nothing past the terminator
  EXPECT_EQ(0, std::strncmp(text, "ab", 2));
  EXPECT_EQ(0, std::strncmp(text + 38, "0f", 2));
  for (int i = 0; i < 40; ++i) EXPECT_TRUE(std::strchr("0123456789abcdef", text[i])) << text;
}

// ---- the bank-name dialog ---------------------------------------------------------------------

TEST(BankNameDialog, IsRegisteredUnderItsIdWithTitleFlagsAndSize) {
  const WINX_DialogResourceIndex* res = WINX_FindDialogResource(
      WINX_curmodule_dialogresource_head, reinterpret_cast<const char*>(static_cast<uintptr_t>(10014)));
  ASSERT_EQ(&kPatchSaveDialog, res);
  EXPECT_STREQ("Enter Bank Name", res->title);
  EXPECT_EQ(12, res->flags);
  EXPECT_EQ(396, res->width);
  EXPECT_EQ(144, res->height);
  EXPECT_EQ(&patchSaveDialogCreator, res->creator);
}

namespace {

struct ExpectedControl {
  int id;
  const char* text;  // as shown: mnemonic ampersands dropped
  RECT frame;        // dialog units x 1.8, rounded
};

// Template order is creation order, which is the view's back-to-front child order.
const ExpectedControl kExpected[] = {
    {0, "Bank Name", {18, 18, 18 + 360, 18 + 14}},
    {IDC_PATCH_SAVE_NAME, "", {18, 36, 18 + 360, 36 + 22}},
    {IDC_PATCH_SAVE_CANCEL, "Cancel", {288, 108, 288 + 90, 108 + 25}},
    {IDC_PATCH_SAVE_OK, "OK    ", {180, 108, 180 + 90, 108 + 25}},
};

// Checks the dialog view's four controls: place, id, text and kind.
void expectBankNameLayout(HWND dlg) {
  HWND__* v = WINX_ValidWindow(dlg);
  ASSERT_NE(nullptr, v);
  ASSERT_EQ(4u, v->children.size());
  for (size_t i = 0; i < 4; ++i) {
    HWND__* c = v->children[i];
    const ExpectedControl& e = kExpected[i];
    SCOPED_TRACE(e.text);
    EXPECT_EQ(e.id, GetWindowLong(c, GWL_ID));
    EXPECT_STREQ(e.text, c->getText());
    EXPECT_EQ(e.frame.left, c->frame.left);
    EXPECT_EQ(e.frame.top, c->frame.top);
    EXPECT_EQ(e.frame.right, c->frame.right);
    EXPECT_EQ(e.frame.bottom, c->frame.bottom);
  }
  EXPECT_EQ(1, WINX_IsStaticText(v->children[0]));
  EXPECT_EQ(0, WINX_IsButton(v->children[0]));
  EXPECT_EQ(1, WINX_IsStaticText(v->children[1]));  // edit fields count as text fields
  EXPECT_EQ(1, WINX_IsButton(v->children[2]));
  EXPECT_EQ(1, WINX_IsButton(v->children[3]));
}

}  // namespace

// The records work without widgets, so the layout is checked with or without a display.
TEST(BankNameDialog, CreatorPlacesTheFourControlsAtTheirScaledPositions) {
  HWND dlg = WINX_CreateWindowView(&kPatchSaveDialog, nullptr, nullptr, 0);
  ASSERT_NE(nullptr, dlg);
  expectBankNameLayout(dlg);
  DestroyWindow(dlg);
}

namespace {

// Removes a timeout that may already have removed itself.
void cancelTimeout(guint id) {
  if (GSource* s = g_main_context_find_source_by_id(nullptr, id)) g_source_destroy(s);
}

HWND g_dialog = nullptr;
const char* g_typed = nullptr;  // text to type; null leaves the field as it is
int g_pressId = 0;              // button to click once the dialog is up
char g_bankName[64];
bool g_sawShownDialog = false;
std::string g_title;

HWND__* dialogWidgetFor(int id) {
  HWND__* c = WINX_ValidWindow(GetDlgItem(g_dialog, id));
  return (c && c->widget) ? c : nullptr;
}

// Runs inside the modal loop, as a user's keystrokes and click would.
gboolean answerDialog(gpointer) {
  HWND__* v = WINX_ValidWindow(g_dialog);
  if (v && v->toplevel) {
    g_sawShownDialog = IsWindowVisible(g_dialog) && gtk_widget_get_visible(v->toplevel);
    if (const char* t = gtk_window_get_title(GTK_WINDOW(v->toplevel))) g_title = t;
  }
  if (!::testing::Test::HasFatalFailure()) expectBankNameLayout(g_dialog);
  HWND__* edit = dialogWidgetFor(IDC_PATCH_SAVE_NAME);
  if (edit && g_typed) gtk_entry_set_text(GTK_ENTRY(edit->widget), g_typed);
  if (HWND__* button = dialogWidgetFor(g_pressId)) gtk_button_clicked(GTK_BUTTON(button->widget));
  return G_SOURCE_REMOVE;
}

LRESULT bankNameProc(HWND h, UINT msg, WPARAM wp, LPARAM) {
  if (msg == WM_INITDIALOG) {
    g_dialog = h;
    g_timeout_add(50, answerDialog, nullptr);
    return 1;
  }
  if (msg == WM_COMMAND && (wp & 0xFFFF) == IDC_PATCH_SAVE_OK) {
    GetDlgItemText(h, IDC_PATCH_SAVE_NAME, g_bankName, sizeof(g_bankName));
    EndDialog(h, 1);
  } else if (msg == WM_COMMAND && (wp & 0xFFFF) == IDC_PATCH_SAVE_CANCEL) {
    EndDialog(h, 0);
  }
  return 0;
}

// Runs the registered dialog modally; -99 when the watchdog had to end it.
int runBankNameDialog(const char* typed, int pressId) {
  g_dialog = nullptr;
  g_typed = typed;
  g_pressId = pressId;
  g_bankName[0] = '\0';
  g_sawShownDialog = false;
  g_title.clear();
  const guint dog = g_timeout_add(5000, [](gpointer) -> gboolean {
    if (g_dialog) EndDialog(g_dialog, -99);
    return G_SOURCE_REMOVE;
  }, nullptr);
  const int result = WINX_DialogBox(WINX_curmodule_dialogresource_head,
                                    reinterpret_cast<const char*>(static_cast<uintptr_t>(IDD_PATCH_SAVE)),
                                    nullptr, bankNameProc, 0);
  cancelTimeout(dog);
  return result;
}

class BankNameDialogOnDisplay : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!winx_internal::gtkAvailable()) GTEST_SKIP() << "no X display";
  }
};

}  // namespace

TEST_F(BankNameDialogOnDisplay, OkReturnsTheTypedName) {
  EXPECT_EQ(1, runBankNameDialog("Warm Pads 2", IDC_PATCH_SAVE_OK));
  EXPECT_TRUE(g_sawShownDialog);
  EXPECT_EQ("Enter Bank Name", g_title);
  EXPECT_STREQ("Warm Pads 2", g_bankName);
  EXPECT_FALSE(IsWindow(g_dialog));  // destroyed before WINX_DialogBox returned
}

TEST_F(BankNameDialogOnDisplay, CancelReturnsZeroAndNoName) {
  EXPECT_EQ(0, runBankNameDialog("Discarded", IDC_PATCH_SAVE_CANCEL));
  EXPECT_STREQ("", g_bankName);
}
