// Vector primitives and the rotated blit against pixman on the same 1500 x 757 bitmap in one run:
// polygon fill against pixman's triangle rasteriser, the rotated bilinear blit against pixman's
// affine bilinear composite, lines against the rectangle fill of the same pixel count (the
// memory-bound floor of writing those pixels one by one). The arithmetic differs from pixman's
// (straight colour, truncation), the work per pixel is the same kind.
#include <pixman.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <random>

#include "GFX_Circle.h"
#include "GFX_Fill.h"
#include "GFX_Line.h"
#include "GFX_Rotate.h"
#include "GFX_Shapes.h"

namespace {
const int W = 1500, H = 757;

double best(const std::function<void()>& f, int reps) {
  double b = 1e30;
  for (int r = 0; r < reps; ++r) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    b = std::min(b, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  return b;
}

void row(const char* what, double pixels, double ours, const char* peer, double theirs) {
  printf("%-40s %8.1f Mpx/s   %-28s %8.1f Mpx/s   ratio %.2f\n", what, pixels / ours / 1e6, peer,
         pixels / theirs / 1e6, theirs / ours);
}
}  // namespace

int main() {
  GFX_MemBitmap dst(W, H, 4), src(W, H, 4);
  std::mt19937 rng(3);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) src.getBits()[y * src.getRowSpan() + x] = rng() | 0xff;
  pixman_image_t* pdst = pixman_image_create_bits(PIXMAN_a8r8g8b8, W, H, reinterpret_cast<uint32_t*>(dst.getBits()),
                                                  dst.getRowSpan() * 4);
  pixman_image_t* psrc = pixman_image_create_bits(PIXMAN_a8r8g8b8, W, H, reinterpret_cast<uint32_t*>(src.getBits()),
                                                  src.getRowSpan() * 4);
  const GFX_pixel c = 0x336699ff;

  // A big triangle: half the bitmap.
  const double triPixels = 0.5 * W * H;
  const double tOurs = best([&] { GFX_FillTriangle(&dst, 0, 0, W - 1, 0, 0, H - 1, c, 0.6f, 0); }, 20);
  pixman_color_t pc = {0x3333, 0x6666, 0x9999, 0x9999};
  pixman_image_t* solid = pixman_image_create_solid_fill(&pc);
  pixman_triangle_t tri = {{pixman_int_to_fixed(0), pixman_int_to_fixed(0)},
                           {pixman_int_to_fixed(W), pixman_int_to_fixed(0)},
                           {pixman_int_to_fixed(0), pixman_int_to_fixed(H)}};
  const double tPix = best([&] { pixman_composite_triangles(PIXMAN_OP_OVER, solid, pdst, PIXMAN_a8, 0, 0, 0, 0, 1, &tri); }, 20);
  row("FillTriangle, copy at 0.6", triPixels, tOurs, "pixman triangles OVER", tPix);

  const double fOurs = best([&] { GFX_FillCircle(&dst, W / 2.0f, H / 2.0f, 370.0f, c, 0.6f, 0, true); }, 20);
  const double fRect = best([&] { GFX_FillRect(&dst, 0, 0, 656, 656, c, 0.6f, 0); }, 20);
  row("FillCircle r 370 antialiased, copy 0.6", 3.14159 * 370 * 370, fOurs, "FillRect of the same area", fRect);

  // 2000 general lines across the bitmap.
  std::vector<int> pts;
  for (int i = 0; i < 2000; ++i) pts.push_back(rng() % W), pts.push_back(rng() % H), pts.push_back(rng() % W), pts.push_back(rng() % H);
  double linePixels = 0;
  for (size_t i = 0; i < pts.size(); i += 4)
    linePixels += std::max(std::abs(pts[i + 2] - pts[i]), std::abs(pts[i + 3] - pts[i + 1])) + 1;
  for (bool aa : {false, true}) {
    const double lOurs = best([&] {
      for (size_t i = 0; i < pts.size(); i += 4) GFX_Line(&dst, pts[i], pts[i + 1], pts[i + 2], pts[i + 3], c, 0.6f, 0, aa);
    }, 5);
    // The floor: the same number of pixels written by the rectangle fill, one row at a time.
    // An antialiased line blends two pixels per step.
    const double pixels = linePixels * (aa ? 2 : 1);
    const double whole = best([&] { GFX_FillRect(&dst, 0, 0, W, H, c, 0.6f, 0); }, 5);
    row(aa ? "2000 lines antialiased, copy 0.6" : "2000 lines, copy 0.6", pixels, lOurs, "FillRect, same pixels",
        whole * pixels / (static_cast<double>(W) * H));
  }

  // Rotated bilinear blit of a 512 x 512 area by 0.3 rad against pixman's affine bilinear.
  const int S = 512;
  const double rOurs = best([&] {
    GFX_RotatedBlit(&dst, &src, 100, 100, S, S, 200, 100, S, S, 0.3f, true, 1.0f, 0x100, 0, 0);
  }, 10);
  pixman_transform_t tr;
  pixman_transform_init_identity(&tr);
  pixman_transform_rotate(&tr, nullptr, pixman_double_to_fixed(std::cos(0.3)), pixman_double_to_fixed(std::sin(0.3)));
  pixman_image_set_transform(psrc, &tr);
  pixman_image_set_filter(psrc, PIXMAN_FILTER_BILINEAR, nullptr, 0);
  const double rPix = best([&] { pixman_image_composite32(PIXMAN_OP_SRC, psrc, nullptr, pdst, 200, 100, 0, 0, 100, 100, S, S); }, 10);
  row("RotatedBlit 512x512 bilinear", static_cast<double>(S) * S, rOurs, "pixman SRC affine bilinear", rPix);

  pixman_image_unref(solid);
  pixman_image_unref(psrc);
  pixman_image_unref(pdst);
  return 0;
}
