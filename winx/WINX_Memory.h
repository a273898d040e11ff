// Small Win32 helpers: rectangle arithmetic, movable-memory blocks (GlobalAlloc family, used by
// the clipboard), bounded string copy, loadable modules with their entry points, module file
// names and GUIDs. Rectangle, memory and string helpers keep no state and suit any thread;
// module loading is serialised by the module table's recursive lock.
#pragma once

#include <cstdint>

#include "WINX_Types.h"

int WinSetRect(RECT* r, int l, int t, int rt, int b);
int WinOffsetRect(RECT* r, int dx, int dy);
// dst is zeroed first; 1 when the intersection is not empty (its clipped values stay in dst).
int WinIntersectRect(RECT* dst, const RECT* a, const RECT* b);
void WinUnionRect(RECT* dst, const RECT* a, const RECT* b);
// Either vertical orientation is accepted.
int WINX_PtInRect(const RECT* r, POINT p);

// A block of max(size, 0) bytes behind a header of size and lock count; the handle is the
// address of the caller's bytes. Null when memory runs out.
void* GlobalAlloc(int flags, int size);
void* GlobalLock(void* h);
void GlobalUnlock(void* h);
int GlobalSize(void* h);
void GlobalFree(void* h);

// Copies at most n - 1 bytes and always terminates; nothing at all when n < 1.
char* lstrcpyn(char* dst, const char* src, int n);

struct WINX_HINSTANCE;
typedef WINX_HINSTANCE* HINSTANCE;
// The entry points a module may export (C linkage): reason 1 attach, 0 detach; 0 refuses.
typedef int (*WINX_DllMainProc)(HINSTANCE, int, void*);
// Loads a shared object (a path to a file; directories are refused: there are no bundles here).
// A module already loaded comes back with one more reference. Its "WINX_dllMain" and "DllMain"
// entries are called on the first load (attach, 1) and the last free (detach, 0); a zero answer
// on attach unloads it again and gives null.
HINSTANCE LoadLibrary(const char* path);
HINSTANCE LoadLibraryGlobals(const char* path, bool symbolsAsGlobals);
void* GetProcAddress(HINSTANCE h, const char* name);
int FreeLibrary(HINSTANCE h);
// The module's file (the executable's for null); the length of what stands in buf.
int GetModuleFileName(HINSTANCE h, char* buf, int size);
int WINX_ModuleRefCount(HINSTANCE h);  // 0 for a handle that is not loaded

struct GUID {
  unsigned char bytes[16];
};
void WINX_GenerateGUID(GUID* g);
