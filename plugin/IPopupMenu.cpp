#include "IPopupMenu.h"

IPopupMenu::~IPopupMenu() { mMenuItems.Empty(true); }

IPopupMenuItem* IPopupMenu::AddItem(IPopupMenuItem* item, int index) {
  if (!item) return nullptr;
  IPopupMenuItem* added = (index == -1) ? mMenuItems.Add(item) : mMenuItems.Insert(index, item);
  if (!added) delete item;  // out of memory: the menu was to own it
  return added;
}

IPopupMenuItem* IPopupMenu::AddItem(const char* text, int index, int flags) {
  return AddItem(new IPopupMenuItem(text, flags), index);
}

IPopupMenuItem* IPopupMenu::AddItem(const char* text, int index, IPopupMenu* submenu) {
  return AddItem(new IPopupMenuItem(text, submenu), index);
}

IPopupMenuItem* IPopupMenu::AddItem(const char* text, IPopupMenu* submenu) {
  return AddItem(new IPopupMenuItem(text, submenu), -1);
}

IPopupMenuItem* IPopupMenu::AddSeparator(int index) {
  return AddItem(new IPopupMenuItem("", IPopupMenuItem::kSeparator), index);
}

const char* IPopupMenu::GetItemText(int index) const {
  IPopupMenuItem* item = mMenuItems.Get(index);
  return item ? item->GetText() : "";
}

void IPopupMenu::CheckItemAlone(int index) {
  for (int i = 0, n = mMenuItems.GetSize(); i < n; ++i) mMenuItems.Get(i)->SetChecked(i == index);
}

bool IPopupMenu::CheckItem(int index, bool checked) {
  IPopupMenuItem* item = mMenuItems.Get(index);
  if (!item) return false;
  item->SetChecked(checked);
  return true;
}

bool IPopupMenu::IsItemChecked(int index) const {
  IPopupMenuItem* item = mMenuItems.Get(index);
  return item && item->GetChecked();
}

bool IPopupMenu::SetPrefix(int prefix) {
  if (prefix < 0 || prefix > 3) return false;
  mPrefix = prefix;
  return true;
}

void IPopupMenu::GetDisplayText(int index, UTIL_String* out) const {
  out->Set("");
  IPopupMenuItem* item = mMenuItems.Get(index);
  if (!item) return;
  switch (mPrefix) {
    case 1: out->SetFormatted(32, "%1d: ", index + 1); break;
    case 2: out->SetFormatted(32, "%02d: ", index + 1); break;
    case 3: out->SetFormatted(32, "%03d: ", index + 1); break;
    default: break;
  }
  out->Append(item->GetText());
}
