// Platform-neutral popup menu model: ordered items (text, flags, optional submenu), a numbering
// prefix and the index of the chosen item. Built by callers, shown modally by
// IGraphics::CreateIPopupMenu, which sets the chosen index in the (sub)menu that holds the choice.
//
// Ownership: a menu owns its items and deletes them (last to first) with itself; it never owns
// a submenu: whoever built the submenu deletes it.
#pragma once

#include "UTIL_PtrList.h"
#include "UTIL_String.h"

class IPopupMenu;

class IPopupMenuItem {
public:
  enum Flags { kNoFlags = 0, kDisabled = 1, kTitle = 2, kChecked = 4, kSeparator = 8 };

  explicit IPopupMenuItem(const char* text, int flags = kNoFlags) : mText(text, 128), mFlags(flags) {}
  IPopupMenuItem(const char* text, IPopupMenu* submenu) : mText(text, 128), mSubmenu(submenu) {}

  const char* GetText() const { return mText.Get(); }
  void SetText(const char* text) { mText.Set(text); }
  int GetFlags() const { return mFlags; }
  IPopupMenu* GetSubmenu() const { return mSubmenu; }
  bool GetEnabled() const { return !(mFlags & kDisabled); }
  bool GetChecked() const { return (mFlags & kChecked) != 0; }
  bool GetIsTitle() const { return (mFlags & kTitle) != 0; }
  bool GetIsSeparator() const { return (mFlags & kSeparator) != 0; }
  void SetChecked(bool checked) { mFlags = checked ? (mFlags | kChecked) : (mFlags & ~kChecked); }

private:
  UTIL_String mText;
  IPopupMenu* mSubmenu = nullptr;
  int mFlags = kNoFlags;
};

class IPopupMenu {
public:
  IPopupMenu() = default;
  ~IPopupMenu();
  IPopupMenu(const IPopupMenu&) = delete;
  IPopupMenu& operator=(const IPopupMenu&) = delete;

  // Index -1 appends; any other index is clamped into 0..count. Each returns the item, which the
  // menu owns from then on.
  IPopupMenuItem* AddItem(IPopupMenuItem* item, int index = -1);
  IPopupMenuItem* AddItem(const char* text, int index = -1, int flags = IPopupMenuItem::kNoFlags);
  IPopupMenuItem* AddItem(const char* text, int index, IPopupMenu* submenu);
  IPopupMenuItem* AddItem(const char* text, IPopupMenu* submenu);
  IPopupMenuItem* AddSeparator(int index = -1);

  int GetNItems() const { return mMenuItems.GetSize(); }
  IPopupMenuItem* GetItem(int index) const { return mMenuItems.Get(index); }
  // "" for a separator, an empty text or an index outside the list.
  const char* GetItemText(int index) const;
  void CheckItemAlone(int index);
  bool CheckItem(int index, bool checked);
  bool IsItemChecked(int index) const;

  // 0 none, 1 "%1d: ", 2 "%02d: ", 3 "%03d: " (item index + 1) before each text when shown.
  int GetPrefix() const { return mPrefix; }
  bool SetPrefix(int prefix);
  // The text an item is shown with, numbering prefix included.
  void GetDisplayText(int index, UTIL_String* out) const;

  int GetChosenItemIdx() const { return mChosenItemIdx; }
  void SetChosenItemIdx(int index) { mChosenItemIdx = index; }

private:
  UTIL_PtrList<IPopupMenuItem> mMenuItems;
  int mPrefix = 0;
  int mChosenItemIdx = -1;
};
