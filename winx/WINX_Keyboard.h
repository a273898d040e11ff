// Keys, key state, cursors and the cursor position.
//
// Modifier mapping from a PC keyboard to this layer's accelerator flags: Shift -> FSHIFT,
// Control -> FCONTROL (the command key of desktop Linux, where the Mac has Command),
// Alt -> FALT, Super -> FLWIN (the Mac's Control key) unless right-click emulation is on, in
// which case Super + left click is a right click. Keys are read from GDK key values, never from
// hardware key codes, so the user's layout decides letters and symbols.
//
// Cursors are GdkCursors behind an HCURSOR record that the layer caches and never frees.
// Screen coordinates are top-left with y downward. Main thread only, except the pure
// translation WINX_KeyvalToWindowsKey.
#pragma once

#include <cstdint>

#include "WINX_Window.h"

enum { FVIRTKEY = 1, FSHIFT = 4, FCONTROL = 8, FALT = 16, FLWIN = 32 };

// Translates a GDK key (key value, hardware key code, modifier state) into a virtual key or a
// character, with accelerator flags. mode 1 falls back to the keyboard layout for keys without a
// character. Needs no display except for that fallback.
int WINX_KeyvalToWindowsKey(unsigned keyval, unsigned hwKeycode, unsigned gdkState, int* flags, int mode);
// The shifted US symbol of a digit key with flags FVIRTKEY | FSHIFT (newFlags set to 0), else 0.
int WINX_KeyToASCII(int key, int flags, int* newFlags);
// 0x8000 while the key or button is down: 1, 2, 4 mouse buttons; 16 Shift, 17 Control,
// 18 Alt, 91 Super (only while right-click emulation is off).
int GetAsyncKeyState(int vk);

struct WINX_Cursor;
typedef WINX_Cursor* HCURSOR;
enum {
  IDC_ARROW = -999, IDC_SIZEWE = -1000, IDC_SIZENS = -1001, IDC_SIZEALL = -1002, IDC_NO = -1003,
  IDC_UPARROW = -1004, IDC_IBEAM = -1005, IDC_SIZENWSE = -1006, IDC_SIZENESW = -1007, IDC_HAND = 32649,
};
HCURSOR WINX_LoadCursor(int id);  // cached; null for unknown ids
// A Windows .cur file (one image) or any image file GDK can read; null when unreadable.
HCURSOR WINX_LoadCursorFromFile(const char* path);
void WINX_SetCursor(HCURSOR cursor);
HCURSOR WINX_GetCursor();
HCURSOR WINX_GetLastSetCursor();
int WINX_ShowCursor(bool show);
bool WINX_IsCursorVisible();
void GetCursorPos(POINT* pt);
// The pointer position at the last input event (packed (y << 16) | (x & 0xFFFF)).
DWORD GetMessagePos();
int WINX_SetCursorPos(int x, int y);
// The hot spot of a cursor (0, 0 for built-ins without one).
POINT WINX_GetCursorHotSpot(HCURSOR cursor);

// Turns a Windows .cur file's bytes into .ico bytes that an image loader accepts, reporting the
// hot spot; false when the header is not that of a one-image cursor file.
bool WINX_CurToIco(const unsigned char* data, int size, unsigned char* out, POINT* hotSpot);
