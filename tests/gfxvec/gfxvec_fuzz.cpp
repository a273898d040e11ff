// Fuzz target for the vector primitives: the bytes choose the operation, the bitmap (plain,
// flipped, one pixel, none) and every argument, ints and floats taken raw so that the extremes
// (INT_MIN, NaN, infinities, 3e38) come up. Nothing may crash, read or write outside a bitmap,
// hit undefined behaviour or run long.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "GFX_Bezier.h"
#include "GFX_Circle.h"
#include "GFX_FloatLine.h"
#include "GFX_Line.h"
#include "GFX_Rotate.h"
#include "GFX_Shapes.h"

namespace {
class Reader {
public:
  Reader(const uint8_t* d, size_t n) : m_d(d), m_n(n) {}
  uint32_t u32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = v << 8 | (m_i < m_n ? m_d[m_i++] : 0);
    return v;
  }
  int i() {
    const uint32_t v = u32();
    // Half the time a small coordinate near the bitmap, else any int.
    return v & 1 ? static_cast<int>(v >> 1) : static_cast<int>((v >> 1) % 64) - 24;
  }
  float f() {
    const uint32_t v = u32();
    if (v & 1) {
      float r;
      std::memcpy(&r, &v, 4);
      return r;
    }
    return static_cast<float>(static_cast<int>((v >> 1) % 1024) - 300) / 8.0f;
  }
  bool empty() const { return m_i >= m_n; }

private:
  const uint8_t* m_d;
  size_t m_n, m_i = 0;
};

class Flipped : public GFX_IBitmap {
public:
  GFX_pixel* getBits() override { return m.getBits(); }
  int getWidth() override { return m.getWidth(); }
  int getHeight() override { return m.getHeight(); }
  int getRowSpan() override { return m.getRowSpan(); }
  bool isFlipped() override { return true; }
  bool resize(int w, int h) override { return m.resize(w, h); }
  GFX_MemBitmap m{13, 11, 4};
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static GFX_MemBitmap plain(23, 17, 4), one(1, 1, 4), none(0, 0, 4), src(9, 7, 4);
  static Flipped flipped;
  GFX_IBitmap* bitmaps[] = {&plain, &flipped, &one, &none};
  Reader r(data, size);
  for (int ops = 0; ops < 8 && !r.empty(); ++ops) {
    const uint32_t head = r.u32();
    GFX_IBitmap* d = bitmaps[(head >> 8) & 3];
    const int mode = static_cast<int>(head >> 16);
    const bool aa = head & 0x400;
    const float alpha = (head & 0x800) ? r.f() : 1.0f;
    const GFX_pixel c = r.u32();
    switch (head % 16) {
      case 0: GFX_Line(d, r.i(), r.i(), r.i(), r.i(), c, alpha, mode, aa); break;
      case 1: GFX_FLine(d, r.f(), r.f(), r.f(), r.f(), c, alpha, mode, aa); break;
      case 2: GFX_DashedLine(d, r.i(), r.i(), r.i(), r.i(), r.i(), r.i(), c, alpha, mode, aa); break;
      case 3: {
        int a = r.i(), b = r.i(), e = r.i(), g = r.i();
        GFX_ClipLine(&a, &b, &e, &g, r.i(), r.i(), r.i(), r.i());
        float fa = r.f(), fb = r.f(), fe = r.f(), fg = r.f();
        GFX_ClipFLine(&fa, &fb, &fe, &fg, r.f(), r.f(), r.f(), r.f());
        break;
      }
      case 4: GFX_FillTrapezoid(d, r.i(), r.i(), r.i(), r.i(), r.i(), r.i(), c, alpha, mode); break;
      case 5: {
        int xs[9], ys[9];
        for (int k = 0; k < 9; ++k) xs[k] = r.i(), ys[k] = r.i();
        GFX_FillConvexPolygon(d, xs, ys, static_cast<int>(c % 10), c, alpha, mode);
        break;
      }
      case 6: GFX_BorderedRect(d, r.i(), r.i(), r.i(), r.i(), c, r.u32(), alpha, mode); break;
      case 7: GFX_Circle(d, r.f(), r.f(), r.f(), c, alpha, mode, aa); break;
      case 8: GFX_FillCircle(d, r.f(), r.f(), r.f(), c, alpha, mode, aa); break;
      case 9: GFX_Arc(d, r.f(), r.f(), r.f(), r.f(), r.f(), c, alpha, mode, aa); break;
      case 10: GFX_RoundRect(d, r.f(), r.f(), r.f(), r.f(), r.i(), c, alpha, mode, aa); break;
      case 11:
        GFX_RotatedBlit(d, c & 1 ? &src : static_cast<GFX_IBitmap*>(&flipped), r.i(), r.i(), r.i(), r.i(), r.f(), r.f(),
                        r.f(), r.f(), r.f(), c & 2, alpha, mode, r.f(), r.f());
        break;
      case 12:
        GFX_DeltaBlit(d, &src, r.i(), r.i(), r.i(), r.i(), r.f(), r.f(), r.f(), r.f(), r.f(), r.f(), r.f(), r.f(), r.f(),
                      r.f(), c & 2, alpha, mode);
        break;
      case 13: {
        float pts[18];
        for (float& p : pts) p = r.f();
        GFX_TransformBlit(d, &src, r.i() % 64, r.i() % 64, static_cast<int>(c % 48), static_cast<int>((c >> 8) % 48), pts,
                          2 + (c >> 16) % 2, 2 + (c >> 17) % 2, alpha, mode);
        break;
      }
      case 14:
        GFX_DrawQBezier(d, r.f(), r.f(), r.f(), r.f(), r.f(), r.f(), c, alpha, mode, aa, r.f());
        GFX_DrawCBezier(d, r.f(), r.f(), r.f(), r.f(), r.f(), r.f(), r.f(), r.f(), c, alpha, mode, aa, r.f());
        break;
      default:
        GFX_FillCBezier(d, r.f(), r.f(), r.f(), r.f(), r.f(), r.f(), r.f(), r.f(), r.i(), c, alpha, mode, r.f());
        GFX_FillCBezierX(d, r.f(), r.f(), r.f(), r.f(), r.f(), r.f(), r.f(), r.f(), r.i(), c, alpha, mode, r.f());
        break;
    }
  }
  return 0;
}
