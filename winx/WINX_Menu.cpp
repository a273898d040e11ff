// Menu records and the item operations; popping a menu up on screen lives in WINX_MenuTrack.cpp.
#include "WINX_Menu.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "WINX_CtlText.h"
#include "WINX_MenuInternal.h"

WINX_MenuResourceIndex* WINX_curmodule_menuresource_head = nullptr;

namespace {

std::set<const HMENU__*>& liveMenus() {
  static std::set<const HMENU__*> s;
  return s;
}

HMENU g_mainMenu = nullptr;

void freeMenu(HMENU m);

// Drops one reference; frees the menu (and releases its submenus) at zero.
void releaseMenu(HMENU m) {
  if (!m) return;
  if (--m->refs <= 0) freeMenu(m);
}

void setSubmenu(WINX_MenuItemRec& it, HMENU sub) {
  if (it.submenu == sub) return;
  HMENU old = it.submenu;
  it.submenu = nullptr;
  if (old) {
    old->ownerItem = nullptr;
    releaseMenu(old);
  }
  if (sub) {
    // A menu lives in one place: taking it from another item leaves that item without it.
    // The reference that item held moves to this one.
    if (sub->ownerItem) sub->ownerItem->submenu = nullptr;
    sub->ownerItem = &it;
    it.submenu = sub;
  }
}

void freeMenu(HMENU m) {
  WINX_Menu_Changed();
  liveMenus().erase(m);
  if (g_mainMenu == m) g_mainMenu = nullptr;
  for (WINX_MenuItemRec* it : m->items) {
    setSubmenu(*it, nullptr);
    delete it;
  }
  m->items.clear();
  delete m;
}

HMENU newMenu(const char* title) {
  HMENU m = new HMENU__;
  if (title) m->title = WINX_MenuTitleFromText(title);
  m->autoEnable = false;
  liveMenus().insert(m);
  return m;
}

// Item lookup by position (byPosition) or by tag, searching submenus depth first when the tag
// is not in this menu.
WINX_MenuItemRec* findItem(HMENU m, int item, bool byPosition) {
  if (byPosition) {
    if (item < 0 || item >= (int)m->items.size()) return nullptr;
    return m->items[item];
  }
  for (WINX_MenuItemRec* it : m->items)
    if (it->tag == item) return it;
  for (WINX_MenuItemRec* it : m->items)
    if (it->submenu)
      if (WINX_MenuItemRec* found = findItem(it->submenu, item, false)) return found;
  return nullptr;
}

void setTitle(WINX_MenuItemRec& it, const char* text) {
  it.title = WINX_MenuTitleFromText(text ? text : "");
  if (it.submenu) it.submenu->title = it.title;
}

HMENU duplicate(HMENU src) {
  HMENU m = newMenu(nullptr);
  m->title = src->title;
  m->autoEnable = src->autoEnable;
  m->dest = src->dest;
  for (const WINX_MenuItemRec* s : src->items) {
    WINX_MenuItemRec* it = new WINX_MenuItemRec(*s);
    it->submenu = nullptr;
    m->items.push_back(it);
    if (s->submenu) setSubmenu(*it, duplicate(s->submenu));
  }
  return m;
}

}  // namespace

// ---- shared with the tracking and window code ------------------------------------------------

bool WINX_IsMenu(HMENU menu) { return menu && liveMenus().count(menu) != 0; }

void WINX_Menu_Retain(HMENU menu) {
  if (WINX_IsMenu(menu)) menu->refs++;
}

void WINX_Menu_FireItem(WINX_MenuItemRec* it) {
  if (!it || !it->hasTarget || !it->target.onCommand) return;
  WINX_MenuDestination d = it->target;  // the handler may change or free the menu
  d.onCommand(&d, it->tag);
}

// ---- creation and destruction ----------------------------------------------------------------

HMENU CreatePopupMenu() { return newMenu(nullptr); }
HMENU CreatePopupMenuEx(const char* title) { return newMenu(title); }

void DestroyMenu(HMENU menu) {
  if (!WINX_IsMenu(menu)) return;
  WINX_SetMenuDestinationRaw(menu, nullptr);
  if (menu->ownerItem) {
    // Still some item's submenu: that item gives it up, and with it the only reference.
    menu->ownerItem->submenu = nullptr;
    menu->ownerItem = nullptr;
  }
  releaseMenu(menu);
}

HMENU WINX_DuplicateMenu(HMENU menu) {
  if (!WINX_IsMenu(menu)) return nullptr;
  return duplicate(menu);
}

// ---- queries ---------------------------------------------------------------------------------

int GetMenuItemCount(HMENU menu) { return WINX_IsMenu(menu) ? (int)menu->items.size() : 0; }

HMENU GetSubMenu(HMENU menu, int pos) {
  if (!WINX_IsMenu(menu) || pos < 0 || pos >= (int)menu->items.size()) return nullptr;
  return menu->items[pos]->submenu;
}

int GetMenuItemID(HMENU menu, int pos) {
  if (!WINX_IsMenu(menu) || pos < 0 || pos >= (int)menu->items.size()) return 0;
  const WINX_MenuItemRec* it = menu->items[pos];
  return it->submenu ? -1 : it->tag;
}

// ---- insertion -------------------------------------------------------------------------------

int AddMenuItem(HMENU menu, int pos, const char* name, int tag) {
  if (!WINX_IsMenu(menu)) return -1;
  WINX_MenuItemRec* it = new WINX_MenuItemRec;
  it->title = WINX_SanitizeUTF8(name ? name : "");
  it->tag = tag;
  if (pos < 0 || pos > (int)menu->items.size()) pos = (int)menu->items.size();
  menu->items.insert(menu->items.begin() + pos, it);
  WINX_Menu_Changed();
  return 0;
}

void InsertMenuItem(HMENU menu, int pos, bool byPosition, const MENUITEMINFO* info) {
  if (!WINX_IsMenu(menu) || !info) return;
  int n = (int)menu->items.size();
  int idx = pos;
  if (!byPosition) {
    idx = -1;
    for (int i = 0; i < n; ++i)
      if (menu->items[i]->tag == pos) { idx = i; break; }
  }
  if (idx < 0 || idx > n) idx = n;

  WINX_MenuItemRec* it = new WINX_MenuItemRec;
  if (info->fType == MFT_BITMAP) {
    it->title = "(no image)";
    if (info->dwTypeData && WINX_Menu_IconHasImage((HICON)(void*)info->dwTypeData)) {
      it->title.clear();
      it->image = (HICON)(void*)info->dwTypeData;
    }
  } else if (info->fType != 0) {
    it->separator = true;
  } else {
    it->title = info->dwTypeData ? WINX_MenuTitleFromText(info->dwTypeData) : "(null)";
  }
  if (n == 0) menu->autoEnable = false;
  if (info->fMask & MIIM_STATE) {
    it->enabled = !(info->fState & 3);
    it->checked = (info->fState & MFS_CHECKED) != 0;
  }
  if (info->fMask & MIIM_DATA) {
    it->hasData = true;
    it->data = info->dwItemData;
  }
  if (info->fMask & MIIM_ID) it->tag = (int)info->wID;
  // Reach the same destination as the items already there.
  if (n > 0 && menu->items[0]->hasTarget) {
    it->hasTarget = true;
    it->target = menu->items[0]->target;
  }
  menu->items.insert(menu->items.begin() + idx, it);
  if ((info->fMask & MIIM_SUBMENU) && WINX_IsMenu(info->hSubMenu) && info->hSubMenu != menu) {
    HMENU sub = info->hSubMenu;
    if (!it->separator && !it->image) sub->title = it->title;
    setSubmenu(*it, sub);
  }
  WINX_Menu_Changed();
}

void WINX_Menu_AddMenuItem(HMENU menu, const char* name, int id, int disabled) {
  MENUITEMINFO mi = {};
  mi.cbSize = sizeof(mi);
  mi.fMask = MIIM_ID | MIIM_STATE | MIIM_TYPE;
  mi.fType = name ? MFT_STRING : MFT_SEPARATOR;
  mi.fState = disabled ? MFS_GRAYED : MFS_ENABLED;
  mi.wID = (uint32_t)id;
  mi.dwTypeData = (char*)name;
  InsertMenuItem(menu, GetMenuItemCount(menu), true, &mi);
}

bool WINX_InsertMenu(HMENU menu, int pos, unsigned int flags, uintptr_t value, const char* text) {
  if (!WINX_IsMenu(menu)) return false;
  MENUITEMINFO mi = {};
  mi.cbSize = sizeof(mi);
  mi.fMask = MIIM_ID | MIIM_STATE | MIIM_TYPE;
  mi.fType = MFT_STRING;
  mi.fState = flags & ~MF_BYPOSITION;
  mi.wID = (uint32_t)value;
  mi.dwTypeData = (char*)text;
  if (flags & MF_POPUP) {
    mi.wID = 0;
    mi.hSubMenu = (HMENU)value;
    mi.fMask |= MIIM_SUBMENU;
    mi.fState &= ~MF_POPUP;
  } else if (flags & MF_SEPARATOR) {
    mi.fMask = MIIM_TYPE;
    mi.fType = MFT_SEPARATOR;
    mi.fState &= ~0xC00u;
  } else if (flags & MF_BITMAP) {
    mi.fType = MFT_BITMAP;
    mi.fState &= ~MF_BITMAP;
  }
  InsertMenuItem(menu, pos, (flags & MF_BYPOSITION) != 0, &mi);
  return true;
}

// ---- item changes ----------------------------------------------------------------------------

bool DeleteMenu(HMENU menu, int item, int flags) {
  if (!WINX_IsMenu(menu)) return false;
  WINX_MenuItemRec* it = findItem(menu, item, (flags & MF_BYPOSITION) != 0);
  if (!it) return false;
  if (it->submenu) WINX_SetMenuDestinationRaw(it->submenu, nullptr);
  // The item may sit in a submenu: remove it from whichever menu holds it.
  std::vector<HMENU> stack{menu};
  while (!stack.empty()) {
    HMENU m = stack.back();
    stack.pop_back();
    auto f = std::find(m->items.begin(), m->items.end(), it);
    if (f != m->items.end()) {
      m->items.erase(f);
      setSubmenu(*it, nullptr);
      delete it;
      WINX_Menu_Changed();
      return true;
    }
    for (WINX_MenuItemRec* c : m->items)
      if (c->submenu) stack.push_back(c->submenu);
  }
  return false;
}

bool SetMenuItemText(HMENU menu, int item, int flags, const char* text) {
  if (!WINX_IsMenu(menu)) return false;
  WINX_MenuItemRec* it = findItem(menu, item, (flags & MF_BYPOSITION) != 0);
  if (!it) return false;
  setTitle(*it, text);
  WINX_Menu_Changed();
  return true;
}

bool EnableMenuItem(HMENU menu, int item, int flags) {
  if (!WINX_IsMenu(menu)) return false;
  WINX_MenuItemRec* it = findItem(menu, item, (flags & MF_BYPOSITION) != 0);
  if (!it) return false;
  it->enabled = !(flags & MF_GRAYED);
  WINX_Menu_Changed();
  return true;
}

bool CheckMenuItem(HMENU menu, int item, int flags) {
  if (!WINX_IsMenu(menu)) return false;
  WINX_MenuItemRec* it = findItem(menu, item, (flags & MF_BYPOSITION) != 0);
  if (!it) return false;
  it->checked = (flags & MF_CHECKED) != 0;
  WINX_Menu_Changed();
  return true;
}

bool SetMenuItemModifier(HMENU menu, int item, int flags, int code, unsigned int mods) {
  if (!WINX_IsMenu(menu)) return false;
  WINX_MenuItemRec* it = findItem(menu, item, (flags & MF_BYPOSITION) != 0);
  if (!it) return false;
  static const int kPunct[] = {0x21, 0x22, 0x27, 0x2C, 0x2E, 0x2F, 0x3F, 0x5B, 0x5C, 0x5D, 0x7C};
  const bool shift = (mods & FSHIFT) != 0;
  const bool upper = code >= 'A' && code <= 'Z';
  unsigned key = 0;
  if (upper || (code >= '0' && code <= '9') ||
      (!(mods & FVIRTKEY) && std::find(std::begin(kPunct), std::end(kPunct), code) != std::end(kPunct))) {
    key = (unsigned)code;
    if (upper && !shift) key = (unsigned)(code - 'A' + 'a');
  } else if (code >= 0x70 && code <= 0x7B) {
    key = 0xF704 + (unsigned)(code - 0x70);
  } else {
    switch (code) {
      case 0x08: key = 8; break;
      case 0x21: key = 0xF72C; break;
      case 0x22: key = 0xF72D; break;
      case 0x23: key = 0xF72B; break;
      case 0x24: key = 0xF729; break;
      case 0x25: key = 0xF702; break;
      case 0x26: key = 0xF700; break;
      case 0x27: key = 0xF703; break;
      case 0x28: key = 0xF701; break;
      case 0x2D: key = 0xF727; break;
      case 0x2E: key = 127; break;
      case 0x6D: key = '-'; break;
      default: key = 0; break;
    }
  }
  unsigned mask = 0;
  if (mods & FLWIN) mask |= WINX_MENUKEY_CONTROL;
  if (mods & FCONTROL) mask |= WINX_MENUKEY_COMMAND;
  if (mods & FALT) mask |= WINX_MENUKEY_OPTION;
  if (shift && !upper) mask |= WINX_MENUKEY_SHIFT;
  it->key = key;
  it->keyModifiers = mask;
  WINX_Menu_Changed();
  return true;
}

bool SetMenuItemInfo(HMENU menu, int item, bool byPosition, const MENUITEMINFO* info) {
  if (!WINX_IsMenu(menu) || !info) return false;
  WINX_MenuItemRec* it = findItem(menu, item, byPosition);
  if (!it) return false;
  if ((info->fMask & MIIM_SUBMENU) && WINX_IsMenu(info->hSubMenu) && info->hSubMenu != menu)
    setSubmenu(*it, info->hSubMenu);
  if ((info->fMask & MIIM_TYPE) && info->fType == MFT_STRING && info->dwTypeData)
    setTitle(*it, info->dwTypeData);
  if (info->fMask & MIIM_STATE) {
    it->checked = (info->fState & MFS_CHECKED) != 0;
    it->enabled = !(info->fState & 3);
  }
  if (info->fMask & MIIM_ID) it->tag = (int)info->wID;
  if (info->fMask & MIIM_DATA) {
    it->hasData = true;
    it->data = info->dwItemData;
  }
  WINX_Menu_Changed();
  return true;
}

bool GetMenuItemInfo(HMENU menu, int item, bool byPosition, MENUITEMINFO* info) {
  if (!WINX_IsMenu(menu) || !info) return false;
  WINX_MenuItemRec* it = findItem(menu, item, byPosition);
  if (!it) return false;
  if (info->fMask & MIIM_TYPE) {
    if (it->separator) {
      info->fType = MFT_SEPARATOR;
    } else {
      info->fType = MFT_STRING;
      if (info->dwTypeData && info->cch > 0)
        WINX_CopyTextBounded(info->dwTypeData, info->cch, it->title.c_str());
    }
  }
  if (info->fMask & MIIM_DATA) info->dwItemData = it->hasData ? it->data : 0;
  if (info->fMask & MIIM_STATE) info->fState = (it->checked ? MFS_CHECKED : 0) | (it->enabled ? 0 : 3);
  if (info->fMask & MIIM_ID) info->wID = (uint32_t)it->tag;
  if ((info->fMask & MIIM_SUBMENU) && it->submenu) info->hSubMenu = it->submenu;
  return true;
}

// ---- lists and resources ---------------------------------------------------------------------

namespace {

int generate(HMENU menu, const WINX_MenuListRecord* rec, int count) {
  const size_t prefixLen = strlen(WINX_MENU_SUBMENU_PREFIX);
  int i = 0;
  while (i < count) {
    const WINX_MenuListRecord& r = rec[i];
    if (r.name && !strcmp(r.name, WINX_MENU_END_SUBMENU)) return i + 1;
    MENUITEMINFO mi = {};
    mi.cbSize = sizeof(mi);
    if (!r.name) {
      mi.fMask = MIIM_TYPE;
      mi.fType = MFT_SEPARATOR;
      InsertMenuItem(menu, GetMenuItemCount(menu), true, &mi);
      ++i;
    } else if (!strncmp(r.name, WINX_MENU_SUBMENU_PREFIX, prefixLen)) {
      const char* title = r.name + prefixLen;
      HMENU sub = CreatePopupMenuEx(title);
      int used = generate(sub, rec + i + 1, count - i - 1);
      mi.fMask = MIIM_STATE | MIIM_TYPE | MIIM_SUBMENU;
      mi.fType = MFT_STRING;
      mi.hSubMenu = sub;
      mi.dwTypeData = (char*)title;
      InsertMenuItem(menu, GetMenuItemCount(menu), true, &mi);
      i += 1 + used;
    } else {
      mi.fMask = MIIM_ID | MIIM_STATE | MIIM_TYPE;
      mi.fType = MFT_STRING;
      mi.fState = (unsigned)r.value > 0xFFFF ? MFS_GRAYED : 0;
      mi.wID = (unsigned)r.value & 0xFFFF;
      mi.dwTypeData = (char*)r.name;
      InsertMenuItem(menu, GetMenuItemCount(menu), true, &mi);
      ++i;
    }
  }
  return i;
}

}  // namespace

int WINX_GenerateMenuFromList(HMENU menu, const WINX_MenuListRecord* records, int count) {
  if (!WINX_IsMenu(menu) || !records || count <= 0) return 0;
  return generate(menu, records, count);
}

HMENU WINX_LoadMenu(WINX_MenuResourceIndex* head, const void* resid) {
  for (WINX_MenuResourceIndex* r = head; r; r = r->next) {
    if (r->resid != resid) continue;
    HMENU m = CreatePopupMenu();
    if (r->createFunc) r->createFunc(m);
    return m;
  }
  return nullptr;
}

// ---- destinations and the main menu ----------------------------------------------------------

void WINX_SetMenuDestinationRaw(HMENU menu, const WINX_MenuDestination* dest) {
  if (!WINX_IsMenu(menu)) return;
  menu->dest = dest ? *dest : WINX_MenuDestination{nullptr, nullptr, 0};
  for (WINX_MenuItemRec* it : menu->items) {
    if (it->submenu) {
      WINX_SetMenuDestinationRaw(it->submenu, dest);
    } else if (it->tag != 0) {
      it->hasTarget = dest != nullptr;
      it->target = menu->dest;
    }
  }
}

HMENU WINX_GetCurrentMenu() { return g_mainMenu; }

void WINX_SetCurrentMenu(HMENU menu) {
  if (!WINX_IsMenu(menu) || WINX_Menu_AppTerminating()) return;
  g_mainMenu = menu;
}

// ---- reads ----------------------------------------------------------------------------------

const char* WINX_Menu_GetTitle(HMENU menu) { return WINX_IsMenu(menu) ? menu->title.c_str() : ""; }

bool WINX_Menu_GetItemView(HMENU menu, int pos, WINX_MenuItemView* out) {
  if (!WINX_IsMenu(menu) || !out || pos < 0 || pos >= (int)menu->items.size()) return false;
  WINX_MenuItemRec* it = menu->items[pos];
  it->keyText = WINX_Menu_KeyText(it->key);
  out->title = it->title.c_str();
  out->key = it->keyText.c_str();
  out->keyModifiers = it->keyModifiers;
  out->enabled = it->enabled;
  out->checked = it->checked;
  out->separator = it->separator;
  out->hasTarget = it->hasTarget;
  out->isImage = it->image != nullptr;
  out->tag = it->tag;
  return true;
}

bool WINX_Menu_FireCommand(HMENU menu, int tag) {
  if (!WINX_IsMenu(menu) || tag == 0) return false;
  WINX_MenuItemRec* it = findItem(menu, tag, false);
  if (!it || !it->enabled || it->separator || it->submenu) return false;
  WINX_Menu_FireItem(it);
  return true;
}

bool WINX_Menu_ActivateItem(HMENU menu, int pos) {
  if (!WINX_IsMenu(menu) || pos < 0 || pos >= (int)menu->items.size()) return false;
  WINX_MenuItemRec* it = menu->items[pos];
  if (!it->enabled || it->separator || !it->hasTarget) return false;
  WINX_Menu_FireItem(it);
  return true;
}
