// Standard controls of the windowing layer on GTK 3: buttons (push, check, three-state, radio,
// owner-drawn), the two combo kinds, trackbars, progress bars, single-line text fields and
// labels, multi-line text views and group boxes, with the Win32 messages they answer and the
// WINX_CB_ / WINX_TB_ functions.
//
// Toolkit mapping (the Cocoa class each record stands for -> the GTK widget it shows):
//   button (NSButton)                 -> GtkButton; check/three-state/radio -> GtkCheckButton
//                                        (radio groups are kept exclusive by this layer, so a
//                                        radio button can be switched off as on Win32);
//                                        owner-drawn -> GtkDrawingArea
//   drop-down list (NSPopUpButton)    -> GtkComboBoxText
//   editable combo (NSComboBox)       -> GtkComboBoxText with an entry
//   trackbar (NSSlider)               -> GtkScale (horizontal)
//   progress bar                      -> GtkProgressBar
//   text field / label (NSTextField)  -> GtkEntry (GtkEntry with invisible characters for a
//                                        password) / GtkLabel
//   text view (NSTextView)            -> GtkTextView in a GtkScrolledWindow
//   group box (NSBox)                 -> GtkFrame
//
// Each control is an HWND__ record (WINX_Window.h) that keeps its own state (items, item data,
// check state, value, range, text): the record is the truth and the widget mirrors it, so the
// controls behave the same without a display. User changes made in a widget are copied back
// into the record before the parent is notified. Item indices are range-checked everywhere;
// text copied into callers' buffers is bounded and never splits a UTF-8 sequence.
//
// Ownership: a control belongs to its parent window (WINX_AttachChild); DestroyWindow of the
// parent destroys it. Main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "WINX_Window.h"

// Control class tags.
enum {
  WINX_CLASS_BUTTON = WINX_CLASS_CONTROL_BASE + 1,
  WINX_CLASS_COMBO,
  WINX_CLASS_SLIDER,
  WINX_CLASS_PROGRESS,
  WINX_CLASS_TEXTFIELD,
  WINX_CLASS_TEXTVIEW,
  WINX_CLASS_GROUPBOX,
};

// Button, combo, trackbar, progress and edit messages (Win32 numbers).
enum {
  BM_GETCHECK = 240, BM_SETCHECK = 241, BM_GETIMAGE = 246, BM_SETIMAGE = 247,
  BST_UNCHECKED = 0, BST_CHECKED = 1, BST_INDETERMINATE = 2,
  CB_ADDSTRING = 323, CB_DELETESTRING = 324, CB_GETCOUNT = 326, CB_GETCURSEL = 327,
  CB_GETLBTEXT = 328, CB_INSERTSTRING = 330, CB_RESETCONTENT = 331, CB_FINDSTRING = 332,
  CB_SETCURSEL = 334, CB_GETITEMDATA = 336, CB_SETITEMDATA = 337, CB_FINDSTRINGEXACT = 344,
  TBM_GETPOS = 1024, TBM_SETTIC = 1028, TBM_SETPOS = 1029, TBM_SETRANGE = 1030,
  PBM_SETRANGE = 1025, PBM_SETPOS = 1026, PBM_DELTAPOS = 1027,
  EM_GETSEL = 0xF0B0, EM_SETSEL = 0xF0B1, EM_SCROLL = 0xF0B5,
  WM_SETFONT = 0x30,
};
enum { BN_CLICKED = 0, CBN_SELCHANGE = 1, CBN_EDITCHANGE = 5, CBN_DROPDOWN = 7, EN_CHANGE = 0x300 };
enum { SB_TOP = 6, SB_BOTTOM = 7 };
enum { WINX_CB_ADD = -1000 };   // WINX_CB_InsertString position meaning "add"
enum { CBS_SORT = 0x100 };

// DRAWITEMSTRUCT (the owner-drawn button's WM_DRAWITEM).
struct DRAWITEMSTRUCT {
  uint32_t CtlType;
  uint32_t CtlID;
  uint32_t itemID;
  uint32_t itemAction;
  uint32_t itemState;
  HWND hwndItem;
  HDC hDC;
  RECT rcItem;
  uint64_t itemData;
};
enum { ODT_BUTTON = 4 };

// Common base: remembers which widgets carry signal handlers bound to this record, so they are
// cut before the record goes (a late GTK signal never reaches a freed control).
struct WinxCtl : HWND__ {
  explicit WinxCtl(int classTag) : HWND__(classTag) { hidden = false; }
  // A control that keeps its creation style (GetWindowLong(GWL_STYLE) reads it).
  WinxCtl(int classTag, int style) : HWND__(classTag) {
    hidden = false;
    m_style = style;
    m_hasStyle = true;
  }
  // List and tree views: `widget` becomes a scrolled window holding a new tree view (returned),
  // interactive search off. Only with a display.
  GtkWidget* makeScrolledTree();
  // Cuts the signal handlers bound to this record before the base class drops the widgets, so
  // no handler runs on a half-destroyed control.
  ~WinxCtl() override;
  void releaseWidgets() override;
  void connect(GtkWidget* w, const char* signal, void (*fn)(), void* data = nullptr);
  std::vector<GtkWidget*> m_signalWidgets;
  int m_textColor = -1;  // title colour (colour int), -1 for the theme's (WINX_Notify.h)
  int m_fontPoints = 0;  // system font size set by the dialog-template factories, 0 for the theme's
};

enum WINX_ButtonKind { WINX_BUTTON_PUSH, WINX_BUTTON_CHECK, WINX_BUTTON_3STATE, WINX_BUTTON_RADIO,
                       WINX_BUTTON_OWNERDRAW };

struct WinxCtlButton : WinxCtl {
  WinxCtlButton(WINX_ButtonKind kind, const char* title);
  LRESULT handleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
  const char* getText() override { return m_title.c_str(); }
  void setText(const char* text) override;
  void setEnabled(bool enabled) override;
  // The kind in style & 15 decides what the button becomes: 3 check box, 6 three-state (both
  // leave any radio group), 9 radio button (a group start with WS_GROUP); other kinds leave the
  // button as it is, and the style word keeps reporting the kind it really has.
  void setStyle(int32_t style) override;

  void setCheck(int state);  // BST_ value; INDETERMINATE only for three-state buttons
  void setRadioFlags(int flags);  // bit 0 radio, bit 1 first of a group
  // The Win32 style word GetWindowLong reads: 3 check box, 6 three-state, 9 radio (+0x20000
  // for a group start), 0 otherwise.
  void updateStyleWord();
  void setKind(WINX_ButtonKind kind);
  void clicked();            // the user pressed it: toggle, keep the radio group, notify
  // Owner-drawn buttons: the parent draws the w x h button into a device context through
  // WM_DRAWITEM; the pixels are then painted into cr (a cairo_t*, may be null).
  void drawOwner(void* cr, int w, int h);

  WINX_ButtonKind m_kind;
  int m_check = BST_UNCHECKED;
  int m_radioflags = 0;          // bit 0 radio, bit 1 first of a group
  bool m_isDefault = false;
  bool m_checkOnRight = false;
  HGDIOBJ m_image = nullptr;     // BM_SETIMAGE, not owned
  std::string m_title;
  bool m_syncing = false;        // set while the widget is being brought in line
};

struct WinxCtlCombo : WinxCtl {
  WinxCtlCombo(bool editable, int style);
  LRESULT handleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
  const char* getText() override;
  void setText(const char* text) override;

  int insert(int pos, const char* text);  // the WINX_CB_InsertString rules
  void remove(int pos);
  void clear();
  void select(int index, bool notify);
  void userSelected(int index);           // from the widget

  const bool m_editable;
  int m_winxStyle;
  std::vector<std::string> m_items;
  std::vector<uint64_t> m_ids;            // item data, one per item
  int m_sel = -1;
  std::string m_editText;                 // editable combo: the entry's text
  bool m_syncing = false;
};

struct WinxCtlSlider : WinxCtl {
  WinxCtlSlider();
  LRESULT handleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
  void setValue(double v);
  void setRange(double lo, double hi);
  double m_value = 0, m_min = 0, m_max = 1000;
  bool m_syncing = false;
};

struct WinxCtlProgress : WinxCtl {
  WinxCtlProgress();
  LRESULT handleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
  void sync();
  double m_value = 0, m_min = 0, m_max = 100;
};

struct WinxCtlTextField : WinxCtl {
  // label: a GtkLabel; otherwise an entry (password hides the characters).
  WinxCtlTextField(bool label, bool password, bool editable);
  LRESULT handleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
  const char* getText() override;
  void setText(const char* text) override;
  void setAlignment(int align);  // <0 left, 0 centre, >0 right

  const bool m_label, m_password;
  bool m_editable;
  std::string m_text;
  int m_selStart = 0, m_selEnd = 0;  // characters
  bool m_syncing = false;
};

struct WinxCtlTextView : WinxCtl {
  WinxCtlTextView(bool editable, bool scrolls);
  LRESULT handleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
  const char* getText() override;
  void setText(const char* text) override;
  void releaseWidgets() override;

  std::string m_text;
  int m_selStart = 0, m_selEnd = 0;  // characters
  bool m_editable;
  GtkWidget* m_textView = nullptr;   // inside `widget` (a scrolled window) when it scrolls
  bool m_syncing = false;
};

struct WinxCtlGroupBox : WinxCtl {
  explicit WinxCtlGroupBox(const char* title);
  const char* getText() override { return m_title.c_str(); }
  void setText(const char* text) override;
  void setTitleCentered(bool centred);
  std::string m_title;
};

// The sorted insertion place of a text among n sorted items (combo boxes, list boxes and sorted
// list views share it). cmp(p) compares the new text with item p (<0, 0, >0); at(p) likewise
// for the item after the probe. An equal item met by the search takes the new text before it.
template <class Cmp>
int WINX_SortedInsertPos(int n, Cmp cmp) {
  int lim = n, base = 0;
  while (lim > 0) {
    int p = base + lim / 2;
    int c = cmp(p);
    if (c == 0) return p;
    if (c > 0) {
      base = p + 1;
      if (base >= n || cmp(base) <= 0) return base;
      lim--;
    }
    lim /= 2;
  }
  return 0;
}

// Lets the parent of ctl draw a w x h item through WM_DRAWITEM (type, item index and data as
// given) into a fresh context, and returns the result as a new Cairo ARGB32 surface
// (cairo_surface_t*, the caller destroys it), transparent where nothing was drawn. Null for a
// control without a parent or an empty size.
void* WINX_DrawItemToSurface(HWND__* ctl, uint32_t ctlType, int item, uint64_t itemData, int w, int h);

// Marks every window view above ctl as having changed children (m_isdirty bit 1), stopping at
// the first that already has it.
void WINX_MarkParentsDirty(HWND__* ctl);

// Combo boxes: act on GetDlgItem(window, id) (id 0: the window itself).
int WINX_CB_AddString(HWND hwnd, int id, const char* text);
int WINX_CB_InsertString(HWND hwnd, int id, int pos, const char* text);
void WINX_CB_DeleteString(HWND hwnd, int id, int pos);
int WINX_CB_GetNumItems(HWND hwnd, int id);
int WINX_CB_GetCurSel(HWND hwnd, int id);
int WINX_CB_GetItemText(HWND hwnd, int id, int item, char* buf, int size);
void WINX_CB_Empty(HWND hwnd, int id);
void WINX_CB_SetCurSel(HWND hwnd, int id, int item);
int64_t WINX_CB_GetItemData(HWND hwnd, int id, int item);
void WINX_CB_SetItemData(HWND hwnd, int id, int item, int64_t data);
int WINX_CB_FindString(HWND hwnd, int id, int startAfter, const char* text, bool exact);

// Trackbars.
int WINX_TB_GetPos(HWND hwnd, int id);
void WINX_TB_SetPos(HWND hwnd, int id, int pos);
void WINX_TB_SetRange(HWND hwnd, int id, int low, int high);
void WINX_TB_SetTic(HWND hwnd, int id, int pos);

int WINX_IsGroupBox(HWND hwnd);
int WINX_IsButton(HWND hwnd);
int WINX_IsStaticText(HWND hwnd);
// The size the control takes when fitted to its content: {0, 0, w, h}. r is left as it was for
// anything that is not a live control or when there is no display.
void WINX_GetDesiredControlSize(HWND hwnd, RECT* r);
