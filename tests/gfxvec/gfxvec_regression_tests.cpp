// Seeded random cases of each vector family (coordinates off every edge and far away, all modes,
// odd opacities, flipped bitmaps) folded into one CRC per family and compared with the value
// recorded when the exact tests passed. Any change of any pixel changes it. On a mismatch, set
// GFXVEC_CASE=family:n (family 0 lines .. 5 Bezier) to print the inputs of case n.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <random>
#include <string>

#include "../gfx/gfx_test_util.h"
#include "GFX_Bezier.h"
#include "GFX_Circle.h"
#include "GFX_FloatLine.h"
#include "GFX_Line.h"
#include "GFX_Rotate.h"
#include "GFX_Shapes.h"

namespace {
const int kCases = 2000;
enum { kLines, kFloatLines, kShapes, kCircles, kBlits, kBezier, kFamilies };
const uint32_t kExpected[kFamilies] = {0xca5bcaa6, 0x3368e914, 0x4e7a55e8, 0x8b68a85c, 0x6ed57bb5, 0xf6627136};

int pickMode(std::mt19937& rng) {
  static const int modes[] = {0, 1, 2, 3, 4, 5, 6, 0x10000, 0x10003, 0x100, 0x10105, 0x106};
  return modes[rng() % (sizeof modes / sizeof modes[0])];
}
float pickAlpha(std::mt19937& rng) {
  static const float alphas[] = {1.0f, 0.5f, 0.25f, 0.75f, 0.502f, 0.0f, -0.5f, 1.5f, 0.6f, 0.004f};
  return rng() % 3 ? alphas[rng() % 10] : static_cast<float>(rng() % 1000) / 999.0f;
}
// Mostly near the bitmap, sometimes anywhere in the int range.
int coord(std::mt19937& rng, int size) {
  if (rng() % 16 == 0) return static_cast<int>(rng());
  return static_cast<int>(rng() % (2 * size + 6)) - size / 2 - 3;
}
float fcoord(std::mt19937& rng, int size) {
  if (rng() % 32 == 0) return (rng() % 2 ? 1.0f : -1.0f) * static_cast<float>(rng()) * 1e20f;
  return static_cast<float>(coord(rng, size)) + static_cast<float>(rng() % 100) / 100.0f;
}

std::string runCase(int family, int n, uint32_t* crc) {
  std::mt19937 rng(static_cast<unsigned>(n) * 2654435761u + family * 7919u + 1);
  const int w = 1 + rng() % 40, h = 1 + rng() % 30;
  GFX_MemBitmap plain(w, h, 4);
  FlippedBitmap flip(w, h);
  GFX_IBitmap* bm = rng() % 4 ? static_cast<GFX_IBitmap*>(&plain) : &flip;
  randomFill(bm, rng);
  auto crcOf = [&]() {
    uint32_t v = 0;
    for (int row = 0; row < h; ++row)
      v = static_cast<uint32_t>(
          crc32(v, reinterpret_cast<const Bytef*>(bm->getBits() + row * bm->getRowSpan()), static_cast<uInt>(w * 4)));
    return v;
  };
  const uint32_t before = crcOf();
  const int mode = pickMode(rng);
  const float alpha = pickAlpha(rng);
  const GFX_pixel c = rng();
  const bool aa = rng() % 2;
  char buf[512];
  switch (family) {
    case kLines: {
      const int x1 = coord(rng, w), y1 = coord(rng, h), x2 = coord(rng, w), y2 = coord(rng, h);
      GFX_Line(bm, x1, y1, x2, y2, c, alpha, mode, aa);
      snprintf(buf, sizeof buf, "%dx%d line %d,%d %d,%d", w, h, x1, y1, x2, y2);
      break;
    }
    case kFloatLines: {
      const float a = fcoord(rng, w), b = fcoord(rng, h), d = fcoord(rng, w), e = fcoord(rng, h);
      const int run = static_cast<int>(rng() % 6) - 1, gap = static_cast<int>(rng() % 5) - 1;
      if (rng() % 3) {
        GFX_FLine(bm, a, b, d, e, c, alpha, mode, aa);
      } else {
        const int x1 = coord(rng, w), y1 = coord(rng, h);
        const int x2 = rng() % 2 ? x1 : coord(rng, w);  // one by one: argument order is unspecified
        const int y2 = rng() % 2 ? y1 : coord(rng, h);
        GFX_DashedLine(bm, x1, y1, x2, y2, run, gap, c, alpha, mode, aa);
      }
      snprintf(buf, sizeof buf, "%dx%d fline %g,%g %g,%g run %d gap %d", w, h, a, b, d, e, run, gap);
      break;
    }
    case kShapes: {
      int xs[7], ys[7];
      const int np = 3 + rng() % 5;
      for (int i = 0; i < 7; ++i) xs[i] = coord(rng, w), ys[i] = coord(rng, h);
      const int op = rng() % 4;
      switch (op) {
        case 0: GFX_FillTrapezoid(bm, xs[0], xs[1], ys[0], xs[2], xs[3], ys[1], c, alpha, mode); break;
        case 1: GFX_FillConvexPolygon(bm, xs, ys, np, c, alpha, mode); break;
        case 2: GFX_DrawRect(bm, xs[0], ys[0], xs[1] % 50, ys[1] % 50, c, alpha, mode); break;
        default: GFX_BorderedRect(bm, xs[0], ys[0], xs[1] % 50, ys[1] % 50, rng(), c, alpha, mode); break;
      }
      snprintf(buf, sizeof buf, "%dx%d shape %d, %d points %d,%d %d,%d %d,%d %d,%d", w, h, op, np, xs[0], ys[0], xs[1],
               ys[1], xs[2], ys[2], xs[3], ys[3]);
      break;
    }
    case kCircles: {
      const float cx = fcoord(rng, w), cy = fcoord(rng, h);
      const float r = rng() % 4 ? static_cast<float>(rng() % 400) / 20.0f : static_cast<float>(rng() % 8) / 2.0f;
      const float a1 = static_cast<float>(rng() % 1000) / 100.0f - 5, a2 = static_cast<float>(rng() % 1000) / 100.0f - 5;
      switch (rng() % 4) {
        case 0: GFX_Circle(bm, cx, cy, r, c, alpha, mode, aa); break;
        case 1: GFX_FillCircle(bm, cx, cy, r, c, alpha, mode, aa); break;
        case 2: GFX_Arc(bm, cx, cy, r, a1, a2, c, alpha, mode, aa); break;
        default: GFX_RoundRect(bm, cx, cy, r * 3, r * 2, static_cast<int>(rng() % 12) - 2, c, alpha, mode, aa); break;
      }
      snprintf(buf, sizeof buf, "%dx%d circle %g,%g r %g angles %g %g", w, h, cx, cy, r, a1, a2);
      break;
    }
    case kBlits: {
      const int sw = 1 + rng() % 20, sh = 1 + rng() % 20;
      GFX_MemBitmap src(sw, sh, 4);
      randomFill(&src, rng);
      const int dx = coord(rng, w), dy = coord(rng, h), dw = static_cast<int>(rng() % (2 * w + 10)) - 10,
                dh = static_cast<int>(rng() % (2 * h + 10)) - 10;
      const float sx = static_cast<float>(rng() % (10 * sw + 20)) / 10.0f - 2,
                  sy = static_cast<float>(rng() % (10 * sh + 20)) / 10.0f - 2;
      const float ang = static_cast<float>(rng() % 700) / 100.0f;
      const int k = rng() % 3;
      if (k == 0) {
        GFX_RotatedBlit(bm, &src, dx, dy, dw, dh, sx, sy, static_cast<float>(sw), static_cast<float>(sh), ang,
                        rng() % 2, alpha, mode, 0.5f, -1.0f);
      } else if (k == 1) {
        GFX_DeltaBlit(bm, &src, dx, dy, dw, dh, sx, sy, 5, 5, 0.7, 0.2, -0.3, 0.9, 0.01, -0.02, rng() % 2, alpha, mode);
      } else {
        float pts[18];
        for (int i = 0; i < 18; ++i) pts[i] = static_cast<float>(rng() % (10 * (i % 2 ? sh : sw) + 20)) / 10.0f - 2;
        GFX_TransformBlit(bm, &src, dx, dy, dw, dh, pts, 3, 3, alpha, mode);
      }
      snprintf(buf, sizeof buf, "%dx%d blit kind %d at %d,%d size %dx%d from %g,%g of %dx%d angle %g", w, h, k, dx, dy, dw, dh,
               sx, sy, sw, sh, ang);
      break;
    }
    default: {
      float p[8];
      for (int i = 0; i < 8; ++i) p[i] = fcoord(rng, i % 2 ? h : w);
      const float tol = static_cast<float>(rng() % 40) / 10.0f - 0.5f;
      switch (rng() % 4) {
        case 0: GFX_DrawQBezier(bm, p[0], p[1], p[2], p[3], p[4], p[5], c, alpha, mode, aa, tol); break;
        case 1: GFX_DrawCBezier(bm, p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], c, alpha, mode, aa, tol); break;
        case 2: GFX_FillCBezier(bm, p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], coord(rng, h), c, alpha, mode, tol); break;
        default: GFX_FillCBezierX(bm, p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], coord(rng, w), c, alpha, mode, tol);
      }
      snprintf(buf, sizeof buf, "%dx%d bezier %g,%g %g,%g %g,%g %g,%g tol %g", w, h, p[0], p[1], p[2], p[3], p[4], p[5],
               p[6], p[7], tol);
      break;
    }
  }
  *crc = crcOf();
  char tail[128];
  snprintf(tail, sizeof tail, " colour %08x alpha %g mode %#x aa %d%s%s", c, alpha, mode, aa,
           bm == &flip ? " flipped" : "", *crc == before ? " (unchanged)" : "");
  return std::string(buf) + tail;
}

uint32_t runFamily(int family) {
  uint32_t crc = 0;
  const char* dump = getenv("GFXVEC_DUMP");  // family number: print every case's crc
  for (int n = 0; n < kCases; ++n) {
    uint32_t c = 0;
    const std::string text = runCase(family, n, &c);
    if (dump && atoi(dump) == family) printf("%d %08x %s\n", n, c, text.c_str());
    crc = static_cast<uint32_t>(crc32(crc, reinterpret_cast<const Bytef*>(&c), 4));
  }
  return crc;
}
}  // namespace

TEST(GfxVecRegression, RandomCasesMatchRecordedCrcs) {
  if (const char* one = getenv("GFXVEC_CASE")) {
    uint32_t c = 0;
    const int family = atoi(one);
    const char* colon = strchr(one, ':');
    const int n = colon ? atoi(colon + 1) : 0;
    const std::string text = runCase(family, n, &c);
    printf("family %d case %d: %s -> crc %08x\n", family, n, text.c_str(), c);
  }
  for (int f = 0; f < kFamilies; ++f) {
    const uint32_t got = runFamily(f);
    EXPECT_EQ(got, kExpected[f]) << "family " << f << ": got 0x" << std::hex << got;
  }
}
