// Fast paths of the pixel loops, chosen from tables that fall back to the general routines.
//
// A fast path is a special case of a general row loop (_GFX_Template_Blit2<C>::blit,
// _GFX_Template_Blit1<C>::solidBlit, the bilinear scale row) computed with the same per-pixel
// arithmetic and rounding, so its results are the same bits; the tests run both on the same
// random inputs through GFX_SetFastPathsEnabled / GFX_SetFastPathLevel. Vector versions use SSE2
// on any x86-64 and AVX2 where the CPU has it (checked once at run time); elsewhere the lookups
// find nothing and the general routines run.
//
// Naming convention: <loop>_<combiner>[_<weight>], one namespace per instruction set
// (gfx_sse2::, gfx_avx2::): blit_copysa_full is the unscaled blit with copy-with-source-alpha at
// weight 256, solid_copy_any the copy fill at any weight in 1..255, bilinear_clobber_full the
// four-tap bilinear row with the clobber combiner. In the SSE2 set a template flag stands for the
// weight or source-alpha variant (blit_copysa<true> = blit_copysa_full).
#pragma once

#include <cstddef>

#include "GFX_Types.h"

typedef void (*GFX_BlitRowsFn)(unsigned char* dest, const unsigned char* src, int w, int h, std::ptrdiff_t srcspan,
                               std::ptrdiff_t destspan, int weight);
typedef void (*GFX_SolidRowsFn)(unsigned char* dest, int w, int h, int r, int g, int b, int ia,
                                std::ptrdiff_t destspan);
// Whole-word fill: every pixel of w x h becomes c (span in pixels).
typedef void (*GFX_FillWordsFn)(GFX_pixel* dest, int w, int h, GFX_pixel c, int span);
// Four-tap bilinear over n destination pixels of one row, all with column c < clip right - 1;
// row0/row1 are source rows r and r + 1, x the 16.16 position of the first pixel, fy the row
// fraction.
typedef void (*GFX_BilinearRowFn)(unsigned char* dest, const unsigned char* row0, const unsigned char* row1, int n,
                                  int x, int stepx, int fy, int weight);

// Process-wide switch, on by default. Flip it only while no other thread draws (tests, benches).
void GFX_SetFastPathsEnabled(bool enabled);
bool GFX_FastPathsEnabled();

// Finer ceiling for tests and benches: 0 = general routines only, 1 = up to SSE2, 2 = up to AVX2
// (used only where the CPU has it). GFX_GetFastPathLevel reports the level in effect, after the
// CPU's own limit; GFX_SetFastPathsEnabled(true) restores the highest.
enum { GFX_FASTPATH_NONE = 0, GFX_FASTPATH_SSE2 = 1, GFX_FASTPATH_AVX2 = 2 };
void GFX_SetFastPathLevel(int level);
int GFX_GetFastPathLevel();

// Null when no fast path serves (op = mode & 0x100ff for the blits, the low byte for the fills).
GFX_BlitRowsFn GFX_FindBlitFastPath(int op, int weight);
GFX_SolidRowsFn GFX_FindSolidFastPath(int op, int ia);
GFX_BilinearRowFn GFX_FindBilinearFastPath(int op, int weight);
GFX_FillWordsFn GFX_FindFillWordsFastPath();
// The unscaled blit's plain copy (copy combiner at alpha 1.0): the source bytes unchanged.
GFX_BlitRowsFn GFX_FindCopyFastPath();
// The unscaled blit's half mix (copy at alpha exactly 0.5): d/2 + s/2 per byte, both truncated.
GFX_BlitRowsFn GFX_FindHalfMixFastPath();
