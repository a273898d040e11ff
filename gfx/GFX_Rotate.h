// Blits that map each destination pixel back into the source through affine steps in 16.16
// fixed point: rotated (and scaled) about the source rectangle's centre, caller-given deltas
// (with second-order steps for perspective-like warps), and warps through a grid of source
// points. Sampling is nearest, or bilinear when the mode's filter field (bits 8-15) is exactly
// 0x100. The combiner comes from mode & 0x100ff as for GFX_Blit (source-alpha variants
// included); the weight is trunc(alpha * 256) in double.
//
// Caller's thread, no locks, no errors. A null bitmap, a zero size, non-finite input, steps of
// more than 32767 source pixels per destination pixel or positions beyond +-2^29 source pixels,
// an unknown mode or a zero weight draw nothing. Source pixels outside the source clip (the
// whole bitmap, or with cliptosourcerect its intersection with the requested rectangle) are
// never sampled; their destination pixels stay unchanged.
#pragma once

#include "GFX_Bitmap.h"

void GFX_RotatedBlit(GFX_IBitmap* dest, GFX_IBitmap* src, int dstx, int dsty, int dstw, int dsth, float srcx,
                     float srcy, float srcw, float srch, float angle, bool cliptosourcerect, float alpha, int mode,
                     float rotxcent, float rotycent);
// (dsdx, dtdx): source step per destination column; (dsdy, dtdy): per destination row;
// (dsdxdy, dtdxdy): change of the column step per row. A negative size moves the destination
// rectangle but keeps the steps.
void GFX_DeltaBlit(GFX_IBitmap* dest, GFX_IBitmap* src, int dstx, int dsty, int dstw, int dsth, float srcx, float srcy,
                   float srcw, float srch, double dsdx, double dtdx, double dsdy, double dtdy, double dsdxdy,
                   double dtdxdy, bool cliptosourcerect, float alpha, int mode);
// srcpoints: div_w x div_h (x, y) pairs, row after row, in source pixels; one delta blit per cell.
void GFX_TransformBlit(GFX_IBitmap* dest, GFX_IBitmap* src, int dstx, int dsty, int dstw, int dsth,
                       const float* srcpoints, int div_w, int div_h, float alpha, int mode);
void GFX_TransformBlit2(GFX_IBitmap* dest, GFX_IBitmap* src, int dstx, int dsty, int dstw, int dsth,
                        const double* srcpoints, int div_w, int div_h, float alpha, int mode);
