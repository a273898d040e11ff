// Fonts of the Win32 model and the layer's one text renderer.
//
// A font is a GDI object (WINX_GDI.h) holding a Pango font description (family, size in pixels,
// weight, style). Face names are resolved through fontconfig: the interface's names ("Consolas",
// "Monaco", "NK57 Monospace") and the system label font map to the fonts installed from Debian
// (fonts-dejavu-core: DejaVu Sans Mono for the monospaced names, DejaVu Sans otherwise).
//
// Text is laid out by Pango, rendered by Cairo into an 8-bit coverage mask and blended into the
// context's canvas in the text colour, so it works without a display.
//
// Threads: CreateFont may run on any thread (the font-name cache has its own lock). Drawing
// uses only the given context and per-thread Pango state.
#pragma once

#include "WINX_GDI.h"
#include "WINX_Types.h"

// height: pixels (negative means the same as positive); 0 takes the width; a size below 2 or
// above 8192 becomes 10. Weight 700 and up is bold; quality 3 is not antialiased, 4 is.
// Escapement, underline, strike-out, character set, precisions and pitch are ignored.
// Null only when no object record can be had.
HFONT CreateFont(int height, int width, int escapement, int orientation, int weight, char italic,
                 char underline, char strikeOut, char charSet, char outPrecision, char clipPrecision,
                 char quality, char pitchAndFamily, const char* faceName);
HFONT CreateFontIndirect(const LOGFONT* lf);

// Loads the system's font configuration (the first font made otherwise waits for it). Safe on
// any thread and any number of times; only the first call does the work.
void WINX_LoadFontConfiguration();

// Text machinery made on one thread for another. WINX_MakeTextSetup runs warm(arg) on the calling
// thread with every text call it makes (fonts made, text measured and drawn) going to a font
// map and contexts of the setup's own, which then hold those fonts and glyphs; the thread's own
// are left as they were. The thread that calls WINX_AdoptTextSetup makes and draws its text with
// the setup from then on, unless it has made text of its own already: the setup is then freed.
// Either way the call consumes the setup. A setup is used by one thread at a time.
struct WINX_TextSetup;
WINX_TextSetup* WINX_MakeTextSetup(void (*warm)(void*), void* arg);
bool WINX_AdoptTextSetup(WINX_TextSetup* setup);
void WINX_FreeTextSetup(WINX_TextSetup* setup);
// Whether the calling thread has made text (fonts, measures or drawing) of its own yet.
bool WINX_ThreadTextMade();

// Metrics of the selected font (or the default label font). Pre-fills tm with 16, 12, 4, 3, 10
// and returns 0 for an invalid context or null tm; 1 otherwise.
int GetTextMetrics(HDC hdc, TEXTMETRIC* tm);

// Draws UTF-8 text (len < 0: up to the NUL) into rect with the DT_ flags of WINX_Types.h and
// returns the height of the laid-out text in pixels (0 when nothing was laid out). With
// DT_CALCRECT it only sets rect's right and bottom. Text beyond 4095 bytes (after cleaning)
// is cut at a character boundary. Each thread keeps the texts it has laid out, with their
// rendered coverage, per font and antialiasing: a text measured or drawn again is neither laid
// out nor rendered again (the least recently drawn go when a thread holds several megabytes).
int WINX_DrawText(HDC hdc, const char* text, int len, RECT* rect, int flags);
// How many texts the calling thread has laid out (not found kept) so far.
unsigned long long WINX_ThreadTextLayouts();

// The text WINX_DrawText lays out: carriage returns dropped, '&' prefixes resolved unless
// DT_NOPREFIX, line feeds turned into spaces under DT_SINGLELINE. Writes at most
// WINX_DRAWTEXT_MAX - 1 bytes and a NUL, never splitting a UTF-8 sequence; returns the length.
// *multiLine tells whether a line feed was kept.
enum { WINX_DRAWTEXT_MAX = 4096 };
int WINX_CleanDrawText(const char* text, int len, int flags, char* out, bool* multiLine);

// The family a face name resolves to (cached per composed name), for diagnostics and tests.
// Returns false when the font is not a valid font handle.
bool WINX_GetFontFamily(HFONT font, char* buf, int bufSize);

// The font-name cache's entry for a composed name ("Face", "Face Bold", "Face Bold Italic"):
// false when absent.
bool WINX_FontNameCacheGet(const char* composedName, char* buf, int bufSize);
