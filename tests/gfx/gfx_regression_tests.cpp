// Seeded random cases of every drawing operation (positions off every edge, all blend modes,
// odd alphas, flipped bitmaps) folded into one CRC and compared with the value recorded when the
// exact tests above passed. Any change in any pixel of any case changes it. On a mismatch, set
// GFX_REGRESSION_CASE=n to print the inputs and the result of case n.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <random>

#include "GFX_Blit.h"
#include "GFX_FastPaths.h"
#include "GFX_Fill.h"
#include "gfx_test_util.h"

namespace {

const int kCases = 20000;
const uint32_t kExpectedCrc = 0xb9df03e1;

struct Case {
  std::string text;
  uint32_t crc = 0;
};

template <class B>
void randomBitmap(B* bm, std::mt19937& rng) {
  randomFill(bm, rng);
}

int pickMode(std::mt19937& rng) {
  static const int modes[] = {0, 1, 2, 3, 4, 5, 6, 0x10000, 0x10001, 0x10002, 0x10003, 0x10004, 0x10005, 0x10006,
                              0x100, 0x10100, 0xf4, 0xfb, 0x200};
  return modes[rng() % (sizeof modes / sizeof modes[0])];
}

float pickAlpha(std::mt19937& rng) {
  static const float alphas[] = {1.0f, 0.5f, 0.25f, 0.75f, 0.0f, -0.5f, 1.5f, 0.999f, 0.6f, 0.004f};
  return rng() % 3 ? alphas[rng() % 10] : static_cast<float>(rng() % 1000) / 999.0f;
}

Case runCase(int n) {
  std::mt19937 rng(static_cast<unsigned>(n) * 2654435761u + 1);
  const int dw = 1 + rng() % 33, dh = 1 + rng() % 9, sw = 1 + rng() % 33, sh = 1 + rng() % 9;
  GFX_MemBitmap dplain(dw, dh, 4), splain(sw, sh, 4);
  FlippedBitmap dflip(dw, dh), sflip(sw, sh);
  GFX_IBitmap* dst = rng() % 4 ? static_cast<GFX_IBitmap*>(&dplain) : &dflip;
  GFX_IBitmap* src = rng() % 4 ? static_cast<GFX_IBitmap*>(&splain) : &sflip;
  randomBitmap(dst, rng);
  randomBitmap(src, rng);
  const int kind = rng() % 6, mode = pickMode(rng);
  const float alpha = pickAlpha(rng);
  const int x = static_cast<int>(rng() % 50) - 20, y = static_cast<int>(rng() % 20) - 8;
  char buf[256];
  switch (kind) {
    case 0:
    case 1: {
      const int sx = static_cast<int>(rng() % 40) - 5, sy = static_cast<int>(rng() % 12) - 3;
      const int w = static_cast<int>(rng() % 40) - 2, h = static_cast<int>(rng() % 12) - 2;
      GFX_Blit(dst, src, x, y, sx, sy, w, h, alpha, mode);
      snprintf(buf, sizeof buf, "blit at %d,%d from %d,%d size %dx%d alpha %g mode %#x", x, y, sx, sy, w, h, alpha,
               mode);
      break;
    }
    case 2:
    case 3: {
      const int w = static_cast<int>(rng() % 60) - 20, h = static_cast<int>(rng() % 20) - 6;
      const float sx = static_cast<float>(rng() % 400) / 10.0f - 5, sy = static_cast<float>(rng() % 100) / 10.0f - 2;
      const float sw2 = static_cast<float>(rng() % 500) / 10.0f - 10, sh2 = static_cast<float>(rng() % 150) / 10.0f - 3;
      const int m = rng() % 2 ? (mode | 0x100) : mode;
      GFX_ScaledBlit(dst, src, x, y, w, h, sx, sy, sw2, sh2, alpha, m);
      snprintf(buf, sizeof buf, "scaled at %d,%d size %dx%d from %g,%g size %gx%g alpha %g mode %#x", x, y, w, h, sx,
               sy, sw2, sh2, alpha, m);
      break;
    }
    case 4: {
      const int w = static_cast<int>(rng() % 50) - 5, h = static_cast<int>(rng() % 14) - 2;
      const GFX_pixel c = rng();
      GFX_FillRect(dst, x, y, w, h, c, alpha, mode);
      snprintf(buf, sizeof buf, "fill %d,%d size %dx%d colour %08x alpha %g mode %#x", x, y, w, h, c, alpha, mode);
      break;
    }
    default: {
      GFX_HalveBlitAA(dst, src);
      GFX_PutPixel(dst, x % (dw + 1), y % (dh + 1), rng(), alpha, mode);
      snprintf(buf, sizeof buf, "halve, then put pixel at %d,%d alpha %g mode %#x", x % (dw + 1), y % (dh + 1), alpha,
               mode);
      break;
    }
  }
  Case c;
  c.text = buf;
  for (int row = 0; row < dh; ++row)
    c.crc = static_cast<uint32_t>(crc32(c.crc, reinterpret_cast<const Bytef*>(dst->getBits() + row * dst->getRowSpan()),
                                        static_cast<uInt>(dw * 4)));
  return c;
}

uint32_t runAll() {
  uint32_t crc = 0;
  for (int n = 0; n < kCases; ++n) {
    const uint32_t c = runCase(n).crc;
    crc = static_cast<uint32_t>(crc32(crc, reinterpret_cast<const Bytef*>(&c), 4));
  }
  return crc;
}
}  // namespace

TEST(GfxRegression, RandomCasesMatchRecordedCrc) {
  if (const char* one = getenv("GFX_REGRESSION_CASE")) {
    const Case c = runCase(atoi(one));
    printf("case %s: %s -> crc %08x\n", one, c.text.c_str(), c.crc);
  }
  GFX_SetFastPathsEnabled(false);
  const uint32_t general = runAll();
  GFX_SetFastPathsEnabled(true);
  const uint32_t fast = runAll();
  EXPECT_EQ(general, fast) << "fast paths differ from the general routines somewhere";
  EXPECT_EQ(general, kExpectedCrc) << "got " << std::hex << general;
}
