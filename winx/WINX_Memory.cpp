// Rectangles, global memory, bounded strings, modules and GUIDs.
#include "WINX_Memory.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "UTIL_AssocArray.h"
#include "UTIL_Mutex.h"

// One loaded module. The loader handle keys the module table.
struct WINX_HINSTANCE {
  void* dl;
  int32_t refCount;
  int (*winxDllMain)(HINSTANCE, int, void*);
  int (*dllMain)(HINSTANCE, int, void*);
  void* lastResolved;
};

namespace {

struct GlobalHeader {
  int32_t size;
  int32_t lockCount;
};
// The caller's bytes start at a 16-byte boundary after the header, whatever its size.
const size_t kHeaderRoom = 16;
GlobalHeader* headerOf(void* h) { return reinterpret_cast<GlobalHeader*>(static_cast<char*>(h) - kHeaderRoom); }

struct ModuleTable {
  UTIL_Mutex lock;
  UTIL_AssocArray<void*, WINX_HINSTANCE*> modules{UTIL_libkeycomp};
};
ModuleTable& moduleTable() {
  static ModuleTable* t = new ModuleTable;
  return *t;
}

bool isLoaded(HINSTANCE h) {
  if (!h) return false;
  ModuleTable& t = moduleTable();
  UTIL_MutexLock l(&t.lock);
  for (int i = 0; i < t.modules.GetSize(); ++i)
    if (*t.modules.EnumeratePtr(i) == h) return true;
  return false;
}

}  // namespace

int WinSetRect(RECT* r, int l, int t, int rt, int b) {
  if (!r) return 0;
  *r = {l, t, rt, b};
  return 1;
}

int WinOffsetRect(RECT* r, int dx, int dy) {
  if (!r) return 0;
  r->left += dx;
  r->right += dx;
  r->top += dy;
  r->bottom += dy;
  return 1;
}

int WinIntersectRect(RECT* dst, const RECT* a, const RECT* b) {
  if (!dst) return 0;
  *dst = {0, 0, 0, 0};
  if (!a || !b) return 0;
  if (a->right <= a->left || a->bottom <= a->top || b->right <= b->left || b->bottom <= b->top) return 0;
  *dst = {std::max(a->left, b->left), std::max(a->top, b->top), std::min(a->right, b->right),
          std::min(a->bottom, b->bottom)};
  return (dst->right > dst->left && dst->bottom > dst->top) ? 1 : 0;
}

void WinUnionRect(RECT* dst, const RECT* a, const RECT* b) {
  if (!dst || !a || !b) return;
  *dst = {std::min(a->left, b->left), std::min(a->top, b->top), std::max(a->right, b->right),
          std::max(a->bottom, b->bottom)};
}

int WINX_PtInRect(const RECT* r, POINT p) {
  if (!r) return 0;
  return (p.x >= r->left && p.x < r->right && p.y >= std::min(r->top, r->bottom) &&
          p.y < std::max(r->top, r->bottom))
             ? 1
             : 0;
}

void* GlobalAlloc(int, int size) {
  const size_t n = static_cast<size_t>(std::max(size, 0));
  char* block = static_cast<char*>(malloc(kHeaderRoom + n));
  if (!block) return nullptr;
  GlobalHeader* hdr = reinterpret_cast<GlobalHeader*>(block);
  hdr->size = std::max(size, 0);
  hdr->lockCount = 0;
  return block + kHeaderRoom;
}

void* GlobalLock(void* h) {
  if (!h) return nullptr;
  ++headerOf(h)->lockCount;
  return h;
}

void GlobalUnlock(void* h) {
  if (h) --headerOf(h)->lockCount;
}

int GlobalSize(void* h) { return h ? headerOf(h)->size : 0; }

void GlobalFree(void* h) {
  if (h) free(headerOf(h));
}

char* lstrcpyn(char* dst, const char* src, int n) {
  if (!dst || n < 1) return dst;
  if (!src) src = "";
  const size_t len = strnlen(src, static_cast<size_t>(n - 1));
  memcpy(dst, src, len);
  dst[len] = 0;
  return dst;
}

HINSTANCE LoadLibrary(const char* path) { return LoadLibraryGlobals(path, false); }

HINSTANCE LoadLibraryGlobals(const char* path, bool symbolsAsGlobals) {
  if (!path || !*path) return nullptr;
  struct stat st;
  if (stat(path, &st) != 0 || S_ISDIR(st.st_mode)) return nullptr;
  void* dl = dlopen(path, RTLD_NOW | (symbolsAsGlobals ? RTLD_GLOBAL : RTLD_LOCAL));
  if (!dl) return nullptr;
  ModuleTable& t = moduleTable();
  UTIL_MutexLock l(&t.lock);
  if (WINX_HINSTANCE** found = t.modules.GetPtr(dl)) {
    ++(*found)->refCount;  // the loader's own count went up too; FreeLibrary closes it again
    return *found;
  }
  HINSTANCE h = new WINX_HINSTANCE{dl, 1, nullptr, nullptr, nullptr};
  if (!t.modules.Insert(dl, h)) {
    dlclose(dl);
    delete h;
    return nullptr;
  }
  auto winxMain = reinterpret_cast<int (*)(HINSTANCE, int, void*)>(dlsym(dl, "WINX_dllMain"));
  if (!winxMain) return h;
  if (!winxMain(h, 1, nullptr)) {
    FreeLibrary(h);
    return nullptr;
  }
  auto dllMain = reinterpret_cast<int (*)(HINSTANCE, int, void*)>(dlsym(dl, "DllMain"));
  h->winxDllMain = winxMain;
  if (!dllMain) return h;
  if (!dllMain(h, 1, nullptr)) {
    winxMain(h, 0, nullptr);
    h->winxDllMain = nullptr;  // detached already: the free below must not detach again
    FreeLibrary(h);
    return nullptr;
  }
  h->dllMain = dllMain;
  return h;
}

void* GetProcAddress(HINSTANCE h, const char* name) {
  if (!name || !isLoaded(h)) return nullptr;
  void* p = dlsym(h->dl, name);
  if (p) h->lastResolved = p;
  return p;
}

int FreeLibrary(HINSTANCE h) {
  if (!h) return 0;
  ModuleTable& t = moduleTable();
  UTIL_MutexLock l(&t.lock);
  if (!isLoaded(h)) return 0;  // a freed or foreign handle is refused
  void* dl = h->dl;
  if (h->refCount-- < 2) {
    t.modules.Delete(dl);
    if (h->winxDllMain) {
      h->winxDllMain(h, 0, nullptr);
      if (h->dllMain) h->dllMain(h, 0, nullptr);
    }
    delete h;
  }
  dlclose(dl);
  return 1;
}

int GetModuleFileName(HINSTANCE h, char* buf, int size) {
  if (buf && size >= 1) buf[0] = 0;
  char path[8192];
  path[0] = 0;
  if (h) {
    if (!isLoaded(h) || !h->lastResolved) return 0;
    Dl_info info;
    if (!dladdr(h->lastResolved, &info) || !info.dli_fname) return 0;
    lstrcpyn(path, info.dli_fname, sizeof path);
  } else {
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return 0;
    path[n] = 0;
  }
  if (!buf || size < 1) return 0;
  lstrcpyn(buf, path, size);
  return static_cast<int>(strlen(buf));
}

int WINX_ModuleRefCount(HINSTANCE h) {
  ModuleTable& t = moduleTable();
  UTIL_MutexLock l(&t.lock);
  return isLoaded(h) ? h->refCount : 0;
}

void WINX_GenerateGUID(GUID* g) {
  if (!g) return;
  unsigned char b[16];
  if (getrandom(b, sizeof b, 0) != static_cast<ssize_t>(sizeof b)) return;
  b[6] = static_cast<unsigned char>((b[6] & 0x0F) | 0x40);  // version 4 (random)
  b[8] = static_cast<unsigned char>((b[8] & 0x3F) | 0x80);  // RFC 4122 variant
  memcpy(g->bytes, b, sizeof b);
}
