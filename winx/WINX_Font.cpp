#include "WINX_Font.h"

#include <fontconfig/fontconfig.h>
#include <hb.h>
#include <strings.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

#include "UTIL_AssocArray.h"
#include "UTIL_Mutex.h"
#include "UTIL_SanitizerDefaults.h"  // the library caches and Pango's font thread, by function
#include "WINX_FontInternal.h"

#ifdef UTIL_LSAN_DEFAULTS
#include <sanitizer/lsan_interface.h>

// Allocation stacks walked in full, so that the suppressions' names are seen (a program that
// loads this code in a bundle does so by tests/sanitizer/WholeAllocationStacks.cpp or its own
// options). A second definition elsewhere fails at link time: merge them then.
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0:malloc_context_size=40"; }
#endif

namespace {

// Around a call into Pango that fills the font map's process-long caches (fontconfig patterns
// made through Cairo's font options): under LeakSanitizer what the call allocates on this
// thread is not reported. The libraries are built without frame pointers and reach fontconfig
// through tail calls, so no function of theirs is on the stack for a suppression to name; our
// own objects are made outside such a scope and are still checked.
struct LibraryCacheScope {
#ifdef UTIL_LSAN_DEFAULTS
  LibraryCacheScope() { __lsan_disable(); }
  ~LibraryCacheScope() { __lsan_enable(); }
#else
  LibraryCacheScope() {}
#endif
};

const int kMaxFaceBytes = 899;

// Face names the interface uses for its monospaced readouts, and the macOS and Windows faces of
// that kind: none of them is installed here, and fontconfig alone would give them the default
// sans-serif face. They resolve to DejaVu Sans Mono (fonts-dejavu-core, which the setup
// installs), named first so that whatever else the machine has installed under the generic
// "monospace" alias cannot change how the interface looks; "monospace" is the fallback.
const char* const kMonospaceFaces[] = {"Consolas", "Monaco", "Menlo", "Courier", "Courier New",
                                       "Lucida Console", "Andale Mono", "SF Mono"};

bool isMonospaceFace(const char* face) {
  for (const char* m : kMonospaceFaces)
    if (!strcasecmp(face, m)) return true;
  for (const char* p = face; *p; ++p)  // "NK57 Monospace", "Bitstream Vera Sans Mono", ...
    if (!strncasecmp(p, "mono", 4)) return true;
  return false;
}

// Family fontconfig picks for a face name; strdup'ed, or null when fontconfig finds nothing.
char* resolveFamily(const char* face) {
  WINX_LoadFontConfiguration();
  FcPattern* pat = FcPatternCreate();
  if (!pat) return nullptr;
  FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(face));
  if (isMonospaceFace(face)) {
    FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>("DejaVu Sans Mono"));
    FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>("monospace"));
  }
  FcConfigSubstitute(nullptr, pat, FcMatchPattern);
  FcDefaultSubstitute(pat);
  FcResult res = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pat, &res);
  char* out = nullptr;
  FcChar8* fam = nullptr;
  if (match && FcPatternGetString(match, FC_FAMILY, 0, &fam) == FcResultMatch && fam && *fam)
    out = strdup(reinterpret_cast<const char*>(fam));
  if (match) FcPatternDestroy(match);
  FcPatternDestroy(pat);
  return out;
}

// Composed font name (face plus " Bold"/" Italic") -> resolved family, process-wide. The lock
// is not held while fontconfig resolves a name; a concurrent insert of the same name replaces
// the value, which is the same family.
struct FontNameCache {
  UTIL_Mutex lock;
  UTIL_StringKeyedArray<char*> names{true, UTIL_freecharptr};
};

FontNameCache& nameCache() {
  static FontNameCache* c = new FontNameCache;  // kept past static destruction: fonts may be made late
  return *c;
}

// Label family (the empty face name and the default font); resolved once.
const char* labelFamily() {
  static const char* fam = [] {
    char* f = resolveFamily("DejaVu Sans");
    return f ? f : strdup("DejaVu Sans");
  }();
  return fam;
}

// Copies at most maxBytes of a NUL-terminated string without splitting a UTF-8 sequence.
size_t utf8Cut(const char* s, size_t maxBytes) {
  size_t n = strnlen(s, maxBytes + 1);
  if (n <= maxBytes) return n;
  n = maxBytes;
  // Back off continuation bytes, then drop the lead byte whose sequence does not fit.
  size_t i = n;
  while (i > 0 && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) --i;
  return i;
}

WINX_FontData* makeFontData(const char* family, double size, bool bold, bool italic) {
  static std::atomic<unsigned> serials{0};
  WINX_FontData* f = new WINX_FontData();
  f->serial = ++serials;
  f->desc = pango_font_description_new();
  pango_font_description_set_family(f->desc, family);
  pango_font_description_set_absolute_size(f->desc, size * PANGO_SCALE);
  pango_font_description_set_weight(f->desc, bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_font_description_set_style(f->desc, italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
  // The extents of the first font of the description's set: the ascent, descent and height that
  // the context's metrics report, without the sample text they also shape for average widths.
  PangoFont* font;
  {
    LibraryCacheScope caches;
    font = pango_context_load_font(WINX_ThreadPangoContext(true), f->desc);
  }
  if (font) {
    hb_font_extents_t e{};
    if (hb_font_t* hb = pango_font_get_hb_font(font)) hb_font_get_extents_for_direction(hb, HB_DIRECTION_LTR, &e);
    f->ascent = e.ascender / double(PANGO_SCALE);
    f->descent = -e.descender / double(PANGO_SCALE);
    const double height = (e.ascender - e.descender + e.line_gap) / double(PANGO_SCALE);
    f->leading = std::max(0.0, height - f->ascent - f->descent);
    g_object_unref(font);
  }
  return f;
}

struct ThreadPango {
  PangoFontMap* map = nullptr;  // null: the thread's default Cairo font map
  PangoContext* ctx[2] = {nullptr, nullptr};  // [0] aliased, [1] antialiased
  PangoLayout* layout[2] = {nullptr, nullptr};
  ThreadPango() = default;
  ThreadPango(const ThreadPango&) = delete;
  ThreadPango& operator=(const ThreadPango&) = delete;
  ~ThreadPango() {
    for (int i = 0; i < 2; ++i) {
      if (layout[i]) g_object_unref(layout[i]);
      if (ctx[i]) g_object_unref(ctx[i]);
    }
    if (map) g_object_unref(map);
  }
  bool used() const { return ctx[0] || ctx[1]; }
  void swap(ThreadPango& o) {
    std::swap(map, o.map);
    std::swap(ctx, o.ctx);
    std::swap(layout, o.layout);
  }
};
thread_local ThreadPango t_pango;

}  // namespace

struct WINX_TextSetup {
  ThreadPango pango;
};

WINX_TextSetup* WINX_MakeTextSetup(void (*warm)(void*), void* arg) {
  WINX_LoadFontConfiguration();  // before the font map, whose own threads read the configuration
  auto* setup = new WINX_TextSetup;
  setup->pango.map = pango_cairo_font_map_new();
  t_pango.swap(setup->pango);
  if (warm) warm(arg);
  // What the warm-up drew is not what the interface will: only the fonts and glyphs are kept.
  WINX_ThreadTextCacheClear();
  t_pango.swap(setup->pango);
  return setup;
}

bool WINX_AdoptTextSetup(WINX_TextSetup* setup) {
  if (!setup) return false;
  const bool taken = !t_pango.used();
  if (taken) t_pango.swap(setup->pango);
  delete setup;  // with what this thread had, when it was not taken: nothing
  return taken;
}

void WINX_FreeTextSetup(WINX_TextSetup* setup) { delete setup; }

bool WINX_ThreadTextMade() { return t_pango.used(); }

void WINX_FontDataFree(WINX_FontData* f) {
  if (!f) return;
  if (f->desc) pango_font_description_free(f->desc);
  delete f;
}

PangoContext* WINX_ThreadPangoContext(bool antialias) {
  PangoContext*& ctx = t_pango.ctx[antialias ? 1 : 0];
  if (!ctx) {
    WINX_LoadFontConfiguration();
    // The default Cairo font map is per thread, so this context never crosses threads (but for
    // a whole text setup handed over, see WINX_MakeTextSetup).
    ctx = pango_font_map_create_context(t_pango.map ? t_pango.map : pango_cairo_font_map_get_default());
    cairo_font_options_t* fo = cairo_font_options_create();
    cairo_font_options_set_antialias(fo, antialias ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_NONE);
    // Unhinted metrics: advances do not depend on hinting or antialiasing, so measuring and
    // drawing agree whatever the quality; outlines get light vertical hinting for small sizes.
    cairo_font_options_set_hint_metrics(fo, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(fo, CAIRO_HINT_STYLE_SLIGHT);
    pango_cairo_context_set_font_options(ctx, fo);
    cairo_font_options_destroy(fo);
    pango_context_set_round_glyph_positions(ctx, FALSE);
  }
  return ctx;
}

PangoLayout* WINX_ThreadPangoLayout(bool antialias) {
  PangoLayout*& l = t_pango.layout[antialias ? 1 : 0];
  if (!l) l = pango_layout_new(WINX_ThreadPangoContext(antialias));
  return l;
}

const WINX_FontData* WINX_DefaultFont() {
  static const WINX_FontData* f = makeFontData(labelFamily(), 10.0, false, false);
  return f;
}

void WINX_LoadFontConfiguration() {
  // fontconfig publishes its configuration through atomics of its own, which a thread sanitizer
  // does not see (the library is not built with it): a thread that uses a configuration another
  // made would look unordered with it. A once-call orders every later user after the one that
  // made it, and costs nothing once done.
  static std::once_flag once;
  std::call_once(once, [] { FcInit(); });
}

HFONT CreateFont(int height, int width, int, int orientation, int weight, char italic, char, char, char, char,
                 char, char quality, char, const char* faceName) {
  HGDIOBJ__* o = WINX_NewGDIObject(WINX_GDI_FONT);
  if (!o) return nullptr;

  double size = std::fabs(static_cast<double>(height ? height : width));
  if (size < 2 || size > 8192) size = 10;
  o->fontRotation = orientation / 10.0f;

  const char* face = faceName ? faceName : "";
  const size_t faceLen = utf8Cut(face, kMaxFaceBytes);
  char composed[kMaxFaceBytes + 16];
  memcpy(composed, face, faceLen);
  composed[faceLen] = 0;
  char faceOnly[kMaxFaceBytes + 1];
  memcpy(faceOnly, composed, faceLen + 1);
  const bool bold = weight >= FW_BOLD, ital = italic != 0;
  if (bold) strcat(composed, " Bold");
  if (ital) strcat(composed, " Italic");

  // The family comes from the face name alone; weight and style go into the description, and
  // the composed name only keys the cache (so "F Bold" and "F" are cached apart, as looked up).
  const char* family = labelFamily();
  char* resolved = nullptr;
  if (faceOnly[0]) {
    FontNameCache& c = nameCache();
    {
      UTIL_MutexLock l(&c.lock);
      if (char* hit = c.names.Get(composed, nullptr)) resolved = strdup(hit);
    }
    if (!resolved) {
      resolved = resolveFamily(faceOnly);
      if (resolved) {
        char* stored = strdup(resolved);
        if (stored) {
          UTIL_MutexLock l(&c.lock);
          c.names.Insert(composed, stored);
        }
      }
    }
    if (resolved) family = resolved;
  }

  o->font = makeFontData(family, size, bold, ital);
  free(resolved);
  o->fontQuality = (quality == NONANTIALIASED_QUALITY || quality == ANTIALIASED_QUALITY) ? quality : 0;
  return o;
}

HFONT CreateFontIndirect(const LOGFONT* lf) {
  if (!lf) return nullptr;
  char face[sizeof(lf->lfFaceName) + 1];
  memcpy(face, lf->lfFaceName, sizeof(lf->lfFaceName));
  face[sizeof(lf->lfFaceName)] = 0;  // a full name field carries no NUL of its own
  return CreateFont(lf->lfHeight, lf->lfWidth, 0, lf->lfOrientation, lf->lfWeight, lf->lfItalic, 0, 0, 0, 0, 0,
                    lf->lfQuality, 0, face);
}

int GetTextMetrics(HDC hdc, TEXTMETRIC* tm) {
  if (tm) {
    tm->tmHeight = 16;
    tm->tmAscent = 12;
    tm->tmDescent = 4;
    tm->tmInternalLeading = 3;
    tm->tmAveCharWidth = 10;
  }
  HDC__* dc = WINX_ValidDC(hdc);
  if (!dc || !tm) return 0;
  HGDIOBJ__* fo = WINX_ValidObj(dc->curFont, WINX_GDI_FONT);
  const WINX_FontData* f = fo && fo->font ? fo->font : WINX_DefaultFont();
  if (!f) return 1;
  tm->tmInternalLeading = static_cast<int>(f->leading);
  tm->tmAscent = static_cast<int>(f->ascent);
  tm->tmDescent = static_cast<int>(f->descent);
  const int s = tm->tmAscent + tm->tmDescent + tm->tmInternalLeading;
  tm->tmAveCharWidth = (2 * s) / 3;
  tm->tmHeight = s ? s + 1 : 0;
  return 1;
}

bool WINX_GetFontFamily(HFONT font, char* buf, int bufSize) {
  HGDIOBJ__* o = WINX_ValidObj(font, WINX_GDI_FONT);
  if (!o || !o->font || !buf || bufSize < 1) return false;
  const char* fam = pango_font_description_get_family(o->font->desc);
  snprintf(buf, static_cast<size_t>(bufSize), "%s", fam ? fam : "");
  return true;
}

bool WINX_FontNameCacheGet(const char* composedName, char* buf, int bufSize) {
  if (!composedName || !buf || bufSize < 1) return false;
  FontNameCache& c = nameCache();
  UTIL_MutexLock l(&c.lock);
  char* hit = c.names.Get(composedName, nullptr);
  if (!hit) return false;
  snprintf(buf, static_cast<size_t>(bufSize), "%s", hit);
  return true;
}
