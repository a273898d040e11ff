// Small helpers shared by the graphics tests.
#pragma once

#include <cstdio>
#include <random>
#include <string>

#include "GFX_Bitmap.h"

inline GFX_pixel px(int r, int g, int b, int a) { return GFX_RGBA(r, g, b, a); }

inline std::string pixStr(GFX_pixel p) {
  char buf[64];
  snprintf(buf, sizeof buf, "(r%u g%u b%u a%u)", GFX_GETR(p), GFX_GETG(p), GFX_GETB(p), GFX_GETA(p));
  return buf;
}

inline void fillAll(GFX_IBitmap* bm, GFX_pixel c) {
  for (int y = 0; y < bm->getHeight(); ++y)
    for (int x = 0; x < bm->getWidth(); ++x) bm->getBits()[y * bm->getRowSpan() + x] = c;
}

inline GFX_pixel at(GFX_IBitmap* bm, int x, int y) { return bm->getBits()[y * bm->getRowSpan() + x]; }
inline void put(GFX_IBitmap* bm, int x, int y, GFX_pixel c) { bm->getBits()[y * bm->getRowSpan() + x] = c; }

// Pixel value encoding its own position, so a test can tell which source pixel landed where.
inline GFX_pixel tag(int x, int y) { return px(x, y, 7, 255); }

// Random pixels with the alpha mix of real interface images: fully transparent, opaque and
// partial in about equal shares.
inline void randomFill(GFX_IBitmap* bm, std::mt19937& rng) {
  for (int y = 0; y < bm->getHeight(); ++y)
    for (int x = 0; x < bm->getWidth(); ++x) {
      GFX_pixel p = rng();
      const int k = rng() % 3;
      p = (p & ~0xffu) | (k == 0 ? 0u : k == 1 ? 255u : (p & 0xff));
      put(bm, x, y, p);
    }
}

// A bitmap whose rows are stored bottom-up, to check that every operation honours isFlipped.
class FlippedBitmap : public GFX_IBitmap {
public:
  FlippedBitmap(int w, int h) : m_inner(w, h, 4) {}
  GFX_pixel* getBits() override { return m_inner.getBits(); }
  int getWidth() override { return m_inner.getWidth(); }
  int getHeight() override { return m_inner.getHeight(); }
  int getRowSpan() override { return m_inner.getRowSpan(); }
  bool isFlipped() override { return true; }
  bool resize(int w, int h) override { return m_inner.resize(w, h); }
  // Picture row y is memory row h - 1 - y.
  GFX_pixel pic(int x, int y) { return at(&m_inner, x, getHeight() - 1 - y); }
  void setPic(int x, int y, GFX_pixel c) { put(&m_inner, x, getHeight() - 1 - y, c); }

private:
  GFX_MemBitmap m_inner;
};
