// Clipboard with registered formats, dropped-file block queries, window properties, system
// metrics, scrolling a window's children and opening documents and web addresses.
//
// Toolkit mapping: the text format ("WINX__CF_TEXT") lives on the desktop clipboard
// (GtkClipboard, CLIPBOARD selection); every other format lives in the private board
// "WINX_APP", an in-process store (it never leaves this process). Without a display the text
// is kept in an in-process stand-in for the desktop clipboard, so the clipboard still
// round-trips.
//
// Handles given out by GetClipboardData belong to the layer until the next CloseClipboard;
// handles given to SetClipboardData become the layer's. Main thread only.
#pragma once

#include "WINX_Window.h"

unsigned int RegisterClipboardFormat(const char* name);
bool OpenClipboard(HWND hwnd);
void CloseClipboard();
bool EmptyClipboard();
unsigned int EnumClipboardFormats(unsigned int format);
void* GetClipboardData(unsigned int format);
void SetClipboardData(unsigned int format, void* handle);
#define CF_TEXT (RegisterClipboardFormat("WINX__CF_TEXT"))

// Drop blocks of WM_DROPFILES: offset 16, point x and y, non-client flag, names, extra NUL.
typedef void* HDROP;
int DragQueryPoint(HDROP drop, POINT* pt);
int DragQueryFile(HDROP drop, unsigned int index, char* buf, int size);
void DragFinish(HDROP drop);
// Builds a drop block (GlobalAlloc; the caller frees it) of names at pt.
HDROP WINX_MakeDropBlock(const char* const* names, int count, POINT pt);

int SetProp(HWND hwnd, const char* name, void* data);
void* GetProp(HWND hwnd, const char* name);
void* RemoveProp(HWND hwnd, const char* name);
int EnumPropsEx(HWND hwnd, PROPENUMPROCEX proc, LPARAM lParam);

enum { SM_CXSCREEN = 0, SM_CYSCREEN = 1, SM_CXVSCROLL = 2, SM_CYHSCROLL = 3, SM_CYVSCROLL = 20, SM_CXHSCROLL = 21 };
int GetSystemMetrics(int index);
int ScrollWindow(HWND hwnd, int dx, int dy, const RECT* r, const RECT* clip);
// Finds a window by title (top level, parent null) or a child by text and class ("Static": text
// fields only), after `after` when given. Null when none matches.
HWND FindWindowEx(HWND parent, HWND after, const char* className, const char* windowName);
// Shows (or moves) a translucent grey overlay over r (client coordinates of hwnd) and keeps it
// in *overlay; a null r removes it. Nothing when overlay is null.
void WINX_DrawFocusRect(HWND hwnd, const RECT* r, void** overlay);

// Opens a web address, a document with its default application, or a document with a named
// application. 1 when the launch was started, 0 otherwise.
int ShellExecute(HWND hwnd, const char* verb, const char* file, const char* params, const char* dir, int show);
