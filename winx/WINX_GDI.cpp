#include "WINX_GDI.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <unordered_set>

#include "UTIL_Mutex.h"
#include "WINX_FontInternal.h"

namespace {

const int kMaxPooledContexts = 100;
const int kMaxPooledObjects = 200;
// Pixel blocks stay below 2 GiB: the graphics library addresses pixels with int offsets.
const long long kMaxPixelBytes = 0x7fffffffLL - 64;

// Process-wide GDI bookkeeping: both pools and the registry of live records, under one
// recursive lock. Made on first use and never destroyed, so a context or object deleted from
// another static destructor at exit still finds it; the unloader below frees what the pools hold.
struct GdiState {
  UTIL_Mutex lock;
  HDC__* dcPool = nullptr;
  int dcPoolCount = 0;
  HGDIOBJ__* objPool = nullptr;
  int objPoolCount = 0;
  std::unordered_set<const void*> liveDCs;
  std::unordered_set<const void*> liveObjs;
};

GdiState& gdi() {
  static GdiState* s = new GdiState;
  return *s;
}

struct PoolUnloader {
  ~PoolUnloader() {
    GdiState& g = gdi();
    UTIL_MutexLock l(&g.lock);
    while (g.dcPool) {
      HDC__* n = g.dcPool->poolNext;
      free(g.dcPool);
      g.dcPool = n;
    }
    while (g.objPool) {
      HGDIOBJ__* n = g.objPool->poolNext;
      free(g.objPool);
      g.objPool = n;
    }
    g.dcPoolCount = g.objPoolCount = 0;
  }
} s_poolUnloader;

// Stock objects: static records, never freed, always valid.
HGDIOBJ__ s_nullPen = {WINX_GDI_PEN, 0, {0, 0, 0, 0}, -1, nullptr, nullptr, 0, 0, 0.f, 0, nullptr, nullptr, 0};
HGDIOBJ__ s_nullBrush = {WINX_GDI_BRUSH, 0, {0, 0, 0, 0}, -1, nullptr, nullptr, 0, 0, 0.f, 0, nullptr, nullptr, 0};

bool isStock(const HGDIOBJ__* o) { return o == &s_nullPen || o == &s_nullBrush; }

bool isKindHandle(const void* p) {
  uintptr_t v = reinterpret_cast<uintptr_t>(p);
  return v >= 1 && v <= 3;
}

HGDIOBJ kindHandle(int type) { return reinterpret_cast<HGDIOBJ>(static_cast<uintptr_t>(type)); }

// Pops a record from a pool (or allocates one), clears it and registers it as live. Null when
// memory ran out.
template <class T>
T* takeRecord(T*& pool, int& poolCount, std::unordered_set<const void*>& live) {
  GdiState& g = gdi();
  T* r = nullptr;
  {
    UTIL_MutexLock l(&g.lock);
    if (pool) {
      r = pool;
      pool = r->poolNext;
      --poolCount;
    }
  }
  if (r)
    memset(r, 0, sizeof(*r));
  else
    r = static_cast<T*>(calloc(1, sizeof(T)));
  if (!r) return nullptr;
  UTIL_MutexLock l(&g.lock);
  live.insert(r);
  return r;
}

// Unregisters a record and pools it, or frees it when the pool is full.
template <class T>
void recycleRecord(T* r, T*& pool, int& poolCount, int maxPooled, std::unordered_set<const void*>& live) {
  GdiState& g = gdi();
  UTIL_MutexLock l(&g.lock);
  live.erase(r);
  memset(r, 0, sizeof(*r));
  if (poolCount >= maxPooled) {
    free(r);
    return;
  }
  r->inPool = 1;
  r->poolNext = pool;
  pool = r;
  ++poolCount;
}

HDC__* takeContextRecord() {
  GdiState& g = gdi();
  return takeRecord(g.dcPool, g.dcPoolCount, g.liveDCs);
}

void recycleContextRecord(HDC__* r) {
  GdiState& g = gdi();
  recycleRecord(r, g.dcPool, g.dcPoolCount, kMaxPooledContexts, g.liveDCs);
}

void recycleObjectRecord(HGDIOBJ__* r) {
  GdiState& g = gdi();
  recycleRecord(r, g.objPool, g.objPoolCount, kMaxPooledObjects, g.liveObjs);
}

WINX_Color colorFromInt(int color, float alpha) {
  return {((color >> 16) & 0xff) / 255.0f, ((color >> 8) & 0xff) / 255.0f, (color & 0xff) / 255.0f, alpha};
}

// The slot of a selectable kind, or null for other types.
HGDIOBJ__** slotFor(HDC__* dc, int type) {
  switch (type) {
    case WINX_GDI_PEN: return &dc->curPen;
    case WINX_GDI_BRUSH: return &dc->curBrush;
    case WINX_GDI_FONT: return &dc->curFont;
    default: return nullptr;
  }
}

}  // namespace

static_assert(offsetof(HDC__, ctx) == 0, "the GUI framework reads a context's canvas as its first field");

HDC__* WINX_ValidDC(HDC hdc) {
  if (reinterpret_cast<uintptr_t>(hdc) < 5) return nullptr;
  GdiState& g = gdi();
  UTIL_MutexLock l(&g.lock);
  if (!g.liveDCs.count(hdc)) return nullptr;
  return hdc->inPool ? nullptr : hdc;
}

HGDIOBJ__* WINX_ValidObj(HGDIOBJ obj, int type) {
  if (reinterpret_cast<uintptr_t>(obj) < 5) return nullptr;
  if (!isStock(obj)) {
    GdiState& g = gdi();
    UTIL_MutexLock l(&g.lock);
    if (!g.liveObjs.count(obj) || obj->inPool) return nullptr;
  }
  if (type && obj->type != type) return nullptr;
  return obj;
}

HGDIOBJ__* WINX_NewGDIObject(int type) {
  GdiState& g = gdi();
  HGDIOBJ__* r = takeRecord(g.objPool, g.objPoolCount, g.liveObjs);
  if (r) r->type = type;
  return r;
}

WINX_GdiStats WINX_GetGdiStats() {
  GdiState& g = gdi();
  UTIL_MutexLock l(&g.lock);
  return {g.dcPoolCount, g.objPoolCount, static_cast<int>(g.liveDCs.size()), static_cast<int>(g.liveObjs.size())};
}

HDC WINX_CreateGfxContext(WINX_Canvas* canvas) {
  HDC__* dc = takeContextRecord();
  if (dc) dc->ctx = canvas;
  return dc;
}

HDC WINX_CreateMemContext(HDC, int width, int height) {
  if (width <= 0 || height <= 0) return nullptr;
  // 64-bit arithmetic: width * 4 * height wraps a 32-bit int for large sizes and would hand
  // out a block far smaller than the rows later written.
  const long long bytes = static_cast<long long>(width) * 4 * height;
  if (bytes > kMaxPixelBytes) return nullptr;
  void* block = calloc(1, static_cast<size_t>(bytes) + 63);
  if (!block) return nullptr;
  WINX_Canvas* canvas = new (std::nothrow) WINX_Canvas;
  HDC__* dc = canvas ? takeContextRecord() : nullptr;
  if (!dc) {
    delete canvas;
    free(block);
    return nullptr;
  }
  uintptr_t aligned = (reinterpret_cast<uintptr_t>(block) + 63) & ~static_cast<uintptr_t>(63);
  WINX_CanvasInit(canvas, reinterpret_cast<uint32_t*>(aligned), width, height, width);
  dc->ctx = canvas;
  dc->ownedData = block;
  SetTextColor(dc, 0);
  return dc;
}

void* WINX_GetCtxFrameBuffer(HDC hdc) {
  HDC__* dc = WINX_ValidDC(hdc);
  if (!dc || !dc->ownedData || !dc->ctx) return nullptr;
  return dc->ctx->pixels;
}

WINX_Canvas* WINX_GetCtxGC(HDC hdc) {
  HDC__* dc = WINX_ValidDC(hdc);
  return dc ? dc->ctx : nullptr;
}

void WINX_DeleteGfxContext(HDC hdc) {
  HDC__* dc = WINX_ValidDC(hdc);
  if (!dc) return;
  if (dc->ownedData) {
    delete dc->ctx;
    free(dc->ownedData);
  }
  recycleContextRecord(dc);
}

HPEN CreatePenAlpha(int, int width, int color, float alpha) {
  HGDIOBJ__* o = WINX_NewGDIObject(WINX_GDI_PEN);
  if (!o) return nullptr;
  o->width = width < 0 ? 0 : width;
  o->color = colorFromInt(color, alpha);
  return o;
}

HPEN CreatePen(int style, int width, int color) { return CreatePenAlpha(style, width, color, 1.0f); }

HBRUSH CreateSolidBrushAlpha(int color, float alpha) {
  HGDIOBJ__* o = WINX_NewGDIObject(WINX_GDI_BRUSH);
  if (!o) return nullptr;
  o->color = colorFromInt(color, alpha);
  return o;
}

HBRUSH CreateSolidBrush(int color) { return CreateSolidBrushAlpha(color, 1.0f); }

HGDIOBJ GetStockObject(int id) {
  if (id == 1) return &s_nullPen;
  if (id == 2) return &s_nullBrush;
  return nullptr;
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ obj) {
  HDC__* dc = WINX_ValidDC(hdc);
  if (!dc || !obj) return nullptr;
  if (isKindHandle(obj)) {
    const int type = static_cast<int>(reinterpret_cast<uintptr_t>(obj));
    HGDIOBJ__** slot = slotFor(dc, type);
    HGDIOBJ__* old = *slot;
    *slot = nullptr;
    return WINX_ValidObj(old, type) ? old : obj;
  }
  HGDIOBJ__* o = WINX_ValidObj(obj);
  if (!o) return nullptr;
  HGDIOBJ__** slot = slotFor(dc, o->type);
  if (!slot) return nullptr;  // bitmaps cannot be selected
  HGDIOBJ prev = WINX_ValidObj(*slot, o->type) ? *slot : kindHandle(o->type);
  if (prev != o) *slot = o;
  return prev;
}

HGDIOBJ WINX_CloneGDIObject(HGDIOBJ obj) {
  HGDIOBJ__* o = WINX_ValidObj(obj);
  if (!o) return nullptr;
  if (isStock(o)) return o;  // stock records are shared and never freed: no count to keep
  ++o->extraRefs;
  return o;
}

void DeleteObject(HGDIOBJ obj) {
  HGDIOBJ__* o = WINX_ValidObj(obj);
  if (!o || isStock(o)) return;
  if (o->extraRefs-- > 0) return;  // a clone's reference was dropped
  if (o->type < WINX_GDI_PEN || o->type > WINX_GDI_BITMAP) return;
  if ((o->type == WINX_GDI_PEN || o->type == WINX_GDI_BRUSH) && o->width < 0) return;
  if (o->font) WINX_FontDataFree(o->font);
  if (o->width && o->image && o->imageRelease) o->imageRelease(o->image);
  recycleObjectRecord(o);
}

int GetObject(HGDIOBJ obj, int size, void* buffer) {
  if (buffer && size > 0) memset(buffer, 0, static_cast<size_t>(size));
  HGDIOBJ__* o = WINX_ValidObj(obj, WINX_GDI_BITMAP);
  if (!o || !o->image || size != 8 || !buffer) return 0;
  int32_t wh[2] = {o->imageWidth, o->imageHeight};
  memcpy(buffer, wh, sizeof(wh));
  return 1;
}

void SetTextColor(HDC hdc, int color) {
  HDC__* dc = WINX_ValidDC(hdc);
  if (!dc) return;
  dc->textColor = color;
  dc->hasTextColor = 1;
}

int GetTextColor(HDC hdc) {
  HDC__* dc = WINX_ValidDC(hdc);
  return dc ? dc->textColor : -1;
}

void SetBkColor(HDC hdc, int color) {
  if (HDC__* dc = WINX_ValidDC(hdc)) dc->bkColor = color;
}

void SetBkMode(HDC hdc, int mode) {
  if (HDC__* dc = WINX_ValidDC(hdc)) dc->bkMode = mode;
}
