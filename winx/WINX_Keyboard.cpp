// Key translation from GDK key values, key and button state, GdkCursor-backed cursors and the
// cursor position. Main thread only (the translation itself keeps no state).
#include "WINX_Keyboard.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtk/gtk.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <vector>

#include "WINX_Message.h"

struct WINX_Cursor {
  int id;
  GdkCursor* cursor;  // null without a display: the record still stands for the shape
  POINT hotSpot;
};

namespace {

HCURSOR s_lastSet = nullptr;
HCURSOR s_current = nullptr;
int s_hideCount = 0;
bool s_relative = false;
POINT s_virtualPos = {0, 0};
POINT s_lastMouse = {0, 0};
HWND__* s_lastMouseView = nullptr;  // compared and validated only

struct KeyEntry {
  unsigned keyval;
  int vk;
};
const KeyEntry kKeys[] = {
    {GDK_KEY_BackSpace, 0x08},  {GDK_KEY_KP_Decimal, 0x6E}, {GDK_KEY_KP_Multiply, 0x6A},
    {GDK_KEY_KP_Add, 0x6B},     {GDK_KEY_Clear, 0x90},      {GDK_KEY_Num_Lock, 0x90},
    {GDK_KEY_KP_Divide, 0x6F},  {GDK_KEY_KP_Enter, 0x800D}, {GDK_KEY_KP_Subtract, 0x6D},
    {GDK_KEY_KP_Equal, 0x6C},   {GDK_KEY_KP_0, 0x60},       {GDK_KEY_KP_1, 0x61},
    {GDK_KEY_KP_2, 0x62},       {GDK_KEY_KP_3, 0x63},       {GDK_KEY_KP_4, 0x64},
    {GDK_KEY_KP_5, 0x65},       {GDK_KEY_KP_6, 0x66},       {GDK_KEY_KP_7, 0x67},
    {GDK_KEY_KP_8, 0x68},       {GDK_KEY_KP_9, 0x69},       {GDK_KEY_F1, 0x70},
    {GDK_KEY_F2, 0x71},         {GDK_KEY_F3, 0x72},         {GDK_KEY_F4, 0x73},
    {GDK_KEY_F5, 0x74},         {GDK_KEY_F6, 0x75},         {GDK_KEY_F7, 0x76},
    {GDK_KEY_F8, 0x77},         {GDK_KEY_F9, 0x78},         {GDK_KEY_F10, 0x79},
    {GDK_KEY_F11, 0x7A},        {GDK_KEY_F12, 0x7B},        {GDK_KEY_F13, 0x2C},
    {GDK_KEY_Help, 0x2D},       {GDK_KEY_Insert, 0x2D},     {GDK_KEY_Home, 0x24},
    {GDK_KEY_Page_Up, 0x21},    {GDK_KEY_Delete, 0x2E},     {GDK_KEY_End, 0x23},
    {GDK_KEY_Page_Down, 0x22},  {GDK_KEY_Left, 0x25},       {GDK_KEY_Right, 0x27},
    {GDK_KEY_Down, 0x28},       {GDK_KEY_Up, 0x26},         {GDK_KEY_KP_Home, 0x24},
    {GDK_KEY_KP_End, 0x23},     {GDK_KEY_KP_Left, 0x25},    {GDK_KEY_KP_Right, 0x27},
    {GDK_KEY_KP_Up, 0x26},      {GDK_KEY_KP_Down, 0x28},    {GDK_KEY_KP_Page_Up, 0x21},
    {GDK_KEY_KP_Page_Down, 0x22}, {GDK_KEY_KP_Delete, 0x2E}, {GDK_KEY_KP_Insert, 0x2D},
};

const char* cursorName(int id) {
  switch (id) {
    case IDC_ARROW: return "default";
    case IDC_SIZEWE: return "ew-resize";
    case IDC_SIZENS: return "ns-resize";
    case IDC_SIZEALL: return "move";
    case IDC_UPARROW: return "n-resize";
    case IDC_IBEAM: return "text";
    case IDC_SIZENWSE: return "nwse-resize";
    case IDC_SIZENESW: return "nesw-resize";
    case IDC_HAND: return "grab";
    default: return nullptr;
  }
}

GdkWindow* topGdkWindowOf(HWND__* w) {
  while (w && w->parent) w = w->parent;
  return (w && w->toplevel) ? gtk_widget_get_window(w->toplevel) : nullptr;
}

void applyCursor(HCURSOR c) {
  s_current = c;
  if (!winx_internal::gtkAvailable()) return;
  GdkCursor* gc = c ? c->cursor : nullptr;
  if (s_hideCount < 0) gc = gdk_cursor_new_from_name(gdk_display_get_default(), "none");
  // Every top-level window of ours shows it; the views' own windows inherit it.
  for (HWND__* t : winx_internal::topLevelWindows())
    if (GdkWindow* gw = topGdkWindowOf(t)) gdk_window_set_cursor(gw, gc);
  if (s_hideCount < 0 && gc) g_object_unref(gc);
}

GdkDevice* pointerDevice() {
  if (!winx_internal::gtkAvailable()) return nullptr;
  GdkDisplay* d = gdk_display_get_default();
  GdkSeat* seat = d ? gdk_display_get_default_seat(d) : nullptr;
  return seat ? gdk_seat_get_pointer(seat) : nullptr;
}

}  // namespace

namespace winx_internal {
void noteMouse(HWND__* w, int screenX, int screenY) {
  s_lastMouseView = w;
  if (!s_relative) s_lastMouse = {screenX, screenY};
}
}  // namespace winx_internal

int WINX_KeyvalToWindowsKey(unsigned keyval, unsigned hwKeycode, unsigned state, int* flagsOut, int mode) {
  int flags = 0;
  if (state & GDK_SHIFT_MASK) flags |= FSHIFT;
  if (state & GDK_CONTROL_MASK) flags |= FCONTROL;
  if (state & GDK_MOD1_MASK) flags |= FALT;
  if ((state & GDK_SUPER_MASK) && !IsRightClickEmulateEnabled()) flags |= FLWIN;
  int result = 0;
  bool done = false;
  for (const KeyEntry& k : kKeys)
    if (k.keyval == keyval) {
      result = k.vk;
      flags |= FVIRTKEY;
      done = true;
      break;
    }
  if (!done) {
    gunichar ch = gdk_keyval_to_unicode(keyval);
    if (keyval == GDK_KEY_ISO_Left_Tab || keyval == GDK_KEY_Tab) ch = 9;
    if (keyval == GDK_KEY_Return) ch = 13;
    if (keyval == GDK_KEY_Escape) ch = 27;
    if (ch == 25 && (flags & FSHIFT)) ch = 9;
    if (ch) {
      if (ch >= 'a' && ch <= 'z') ch -= 'a' - 'A';
      if (iswalnum(static_cast<wint_t>(ch)) || g_unichar_isalnum(ch) || ch == 9 || ch == 10 || ch == 13 || ch == 27 ||
          ch == 32) {
        flags |= FVIRTKEY;
      } else {
        flags &= ~FSHIFT;
      }
      result = static_cast<int>(ch);
      done = true;
    }
  }
  if (!done && mode == 1 && winx_internal::gtkAvailable()) {
    guint plain = 0;
    if (gdk_keymap_translate_keyboard_state(gdk_keymap_get_for_display(gdk_display_get_default()), hwKeycode,
                                            static_cast<GdkModifierType>(0), 0, &plain, nullptr, nullptr, nullptr)) {
      if (gunichar ch = gdk_keyval_to_unicode(plain)) {
        result = static_cast<int>(ch);
        flags &= ~FSHIFT;
        done = true;
      }
    }
  }
  if (!done) {
    result = static_cast<int>(hwKeycode) + 1024;
    flags |= FVIRTKEY;
  }
  if (flagsOut) *flagsOut = flags;
  return result;
}

int WINX_KeyToASCII(int key, int flags, int* newFlags) {
  static const char kShifted[] = ")!@#$%^&*(";
  if (key >= '0' && key <= '9' && flags == (FVIRTKEY | FSHIFT)) {
    if (newFlags) *newFlags = 0;
    return kShifted[key - '0'];
  }
  return 0;
}

int GetAsyncKeyState(int vk) {
  GdkDevice* dev = pointerDevice();
  if (!dev) return 0;
  GdkModifierType mask = static_cast<GdkModifierType>(0);
  gdk_window_get_device_position(gdk_get_default_root_window(), dev, nullptr, nullptr, &mask);
  // Modifiers come from the keyboard's state, which GDK folds into the pointer's mask.
  unsigned bit = 0;
  switch (vk) {
    case 1: bit = GDK_BUTTON1_MASK; break;
    case 2: bit = GDK_BUTTON3_MASK; break;
    case 4: bit = GDK_BUTTON2_MASK; break;
    case 16: bit = GDK_SHIFT_MASK; break;
    case 17: bit = GDK_CONTROL_MASK; break;
    case 18: bit = GDK_MOD1_MASK; break;
    case 91: bit = IsRightClickEmulateEnabled() ? 0 : GDK_SUPER_MASK; break;
    default: return 0;
  }
  return (mask & bit) ? 0x8000 : 0;
}

// ---------------------------------------------------------------------------------------------
// Cursors

HCURSOR WINX_LoadCursor(int id) {
  static std::vector<WINX_Cursor*>* cache = new std::vector<WINX_Cursor*>;
  const char* name = cursorName(id);
  if (!name) return nullptr;
  for (WINX_Cursor* c : *cache)
    if (c->id == id) return c;
  GdkCursor* gc = nullptr;
  if (winx_internal::gtkAvailable()) {
    gc = gdk_cursor_new_from_name(gdk_display_get_default(), name);
    if (!gc) gc = gdk_cursor_new_for_display(gdk_display_get_default(), GDK_LEFT_PTR);
  }
  WINX_Cursor* c = new WINX_Cursor{id, gc, {0, 0}};
  cache->push_back(c);
  return c;
}

bool WINX_CurToIco(const unsigned char* d, int size, unsigned char* out, POINT* hot) {
  if (!d || size < 22) return false;
  const int reserved = d[0] | (d[1] << 8), type = d[2] | (d[3] << 8), count = d[4] | (d[5] << 8);
  if (reserved != 0 || type != 2 || count != 1) return false;
  const unsigned char* e = d + 6;
  if (e[3] != 0) return false;
  memcpy(out, d, static_cast<size_t>(size));
  out[2] = 1;  // icon
  if (hot) *hot = {e[4] | (e[5] << 8), e[6] | (e[7] << 8)};
  unsigned char* oe = out + 6;
  oe[4] = 1;  // planes
  oe[5] = 0;
  oe[6] = 0;  // bit count: taken from the image
  oe[7] = 0;
  return true;
}

HCURSOR WINX_LoadCursorFromFile(const char* path) {
  if (!path || !winx_internal::gtkAvailable()) return nullptr;
  gchar* data = nullptr;
  gsize len = 0;
  if (!g_file_get_contents(path, &data, &len, nullptr)) return nullptr;
  POINT hot = {0, 0};
  GdkPixbuf* pb = nullptr;
  std::vector<unsigned char> ico(len);
  GdkPixbufLoader* loader = nullptr;
  const bool cur = len <= 0x7fffffff &&
                   WINX_CurToIco(reinterpret_cast<unsigned char*>(data), static_cast<int>(len), ico.data(), &hot);
  loader = cur ? gdk_pixbuf_loader_new_with_type("ico", nullptr) : gdk_pixbuf_loader_new();
  if (loader) {
    const unsigned char* bytes = cur ? ico.data() : reinterpret_cast<unsigned char*>(data);
    if (gdk_pixbuf_loader_write(loader, bytes, len, nullptr) && gdk_pixbuf_loader_close(loader, nullptr)) {
      pb = gdk_pixbuf_loader_get_pixbuf(loader);
      if (pb) g_object_ref(pb);
    } else {
      gdk_pixbuf_loader_close(loader, nullptr);
    }
    g_object_unref(loader);
  }
  g_free(data);
  if (!pb) return nullptr;
  if (hot.x >= gdk_pixbuf_get_width(pb)) hot.x = 0;
  if (hot.y >= gdk_pixbuf_get_height(pb)) hot.y = 0;
  GdkCursor* gc = gdk_cursor_new_from_pixbuf(gdk_display_get_default(), pb, hot.x, hot.y);
  g_object_unref(pb);
  if (!gc) return nullptr;
  return new WINX_Cursor{0, gc, hot};
}

POINT WINX_GetCursorHotSpot(HCURSOR c) { return c ? c->hotSpot : POINT{0, 0}; }

void WINX_SetCursor(HCURSOR cursor) {
  if (cursor) {
    s_lastSet = cursor;
    applyCursor(cursor);
  } else {
    s_lastSet = nullptr;
    applyCursor(WINX_LoadCursor(IDC_ARROW));
  }
}

HCURSOR WINX_GetCursor() { return s_current; }
HCURSOR WINX_GetLastSetCursor() { return s_lastSet; }

int WINX_ShowCursor(bool show) {
  s_hideCount += show ? 1 : -1;
  if (!show && s_hideCount == -1) {
    if (!s_relative) GetCursorPos(&s_virtualPos);
    s_relative = true;
    applyCursor(s_current);
  } else if (show && s_hideCount == 0) {
    s_relative = false;
    applyCursor(s_current);
    WINX_SetCursorPos(s_virtualPos.x, s_virtualPos.y);
  }
  return s_hideCount;
}

bool WINX_IsCursorVisible() { return s_hideCount >= 0; }

void GetCursorPos(POINT* pt) {
  if (!pt) return;
  if (s_relative) {
    *pt = s_virtualPos;
    return;
  }
  if (GdkDevice* dev = pointerDevice()) {
    int x = 0, y = 0;
    gdk_device_get_position(dev, nullptr, &x, &y);
    *pt = {x, y};
    return;
  }
  *pt = s_lastMouse;
}

DWORD GetMessagePos() {
  // Where the pointer was at the last input event, as on Win32; asking the X server instead
  // would cost a round trip for every mouse message.
  POINT p = s_lastMouse;
  if (s_relative)
    p = s_virtualPos;
  else if (!s_lastMouseView)
    GetCursorPos(&p);
  return (static_cast<DWORD>(p.y) << 16) | (static_cast<DWORD>(p.x) & 0xFFFF);
}

int WINX_SetCursorPos(int x, int y) {
  if (s_relative) {
    s_virtualPos = {x, y};
    return 1;
  }
  GdkDevice* dev = pointerDevice();
  if (!dev) return 0;
  gdk_device_warp(dev, gdk_display_get_default_screen(gdk_display_get_default()), x, y);
  return 1;
}
