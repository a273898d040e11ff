// Graphics library against pixman on the same images in one run: prints GFX time, pixman time
// and their ratio for each operation the editor's interface leans on, beside the goal's target
// (copy and fills at most 1.0, colour dodge at most 1.0, source alpha, add and bilinear scaling at
// most 1.5). pixman is the reference for what a tuned compositor does on this machine; the
// arithmetic differs (pixman works on premultiplied colour with rounding, we on straight colour
// with truncation), the work per pixel is the same kind.
//
// Images: 1500 x 757 (the editor's window at size 1.0) with mixed alpha laid out in 16-pixel
// runs, as in real interface art: fully transparent, opaque and partial areas. Both sides work
// on the same buffers and see the same pictures: each pixel's blue equals its alpha and its red
// and green are at most that, so the same words read in pixman's a8r8g8b8 (alpha in the top
// byte, colour premultiplied) are valid pixels with the same alpha.
#include <pixman.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "GFX_Blit.h"
#include "GFX_FastPaths.h"
#include "GFX_Fill.h"

namespace {
const int W = 1500, H = 757;

void makeImage(GFX_MemBitmap* bm, unsigned seed) {
  std::mt19937 rng(seed);
  for (int y = 0; y < H; ++y) {
    GFX_pixel* row = bm->getBits() + static_cast<size_t>(y) * bm->getRowSpan();
    for (int x = 0; x < W; x += 16) {
      const int kind = rng() % 3;
      for (int i = x; i < std::min(W, x + 16); ++i) {
        const unsigned a = kind == 0 ? 0u : kind == 1 ? 255u : (rng() & 0xff);
        row[i] = GFX_RGBA(rng() % (a + 1), rng() % (a + 1), a, a);
      }
    }
  }
}

double seconds(const std::function<void()>& f) {
  const auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

struct Images {
  GFX_MemBitmap src{W, H, 4}, dst{W, H, 4}, pristine{W, H, 4}, scaled{W, H, 4};
  pixman_image_t *psrc, *pdst, *pscaled;
  Images() {
    makeImage(&src, 1);
    makeImage(&pristine, 2);
    psrc = pixman_image_create_bits(PIXMAN_a8r8g8b8, W, H, reinterpret_cast<uint32_t*>(src.getBits()),
                                    src.getRowSpan() * 4);
    pdst = pixman_image_create_bits(PIXMAN_a8r8g8b8, W, H, reinterpret_cast<uint32_t*>(dst.getBits()),
                                    dst.getRowSpan() * 4);
    pscaled = pixman_image_create_bits(PIXMAN_a8r8g8b8, W, H, reinterpret_cast<uint32_t*>(scaled.getBits()),
                                       scaled.getRowSpan() * 4);
  }
  ~Images() {
    pixman_image_unref(psrc);
    pixman_image_unref(pdst);
    pixman_image_unref(pscaled);
  }
  void reset() { memcpy(dst.getBits(), pristine.getBits(), static_cast<size_t>(dst.getRowSpan()) * H * 4); }
};

// Best of `rounds` runs of each, alternating so that both see the same machine state. GFX runs
// with its fast paths at the best level this CPU has, and again capped at SSE2 (the level every
// x86-64 has), so the figure for machines without AVX2 is known too.
void compare(Images& im, const char* name, const char* peer, const std::function<void()>& gfx,
             const std::function<void()>& pix, const char* target, int rounds = 25) {
  double bg = 1e9, bs = 1e9, bp = 1e9;
  for (int r = 0; r < rounds; ++r) {
    im.reset();
    bg = std::min(bg, seconds(gfx));
    GFX_SetFastPathLevel(GFX_FASTPATH_SSE2);
    im.reset();
    bs = std::min(bs, seconds(gfx));
    GFX_SetFastPathsEnabled(true);
    im.reset();
    bp = std::min(bp, seconds(pix));
  }
  printf("%-34s %-21s %8.3f ms %8.3f ms %5.2f   %8.3f ms %5.2f   %s\n", name, peer, bg * 1e3, bp * 1e3, bg / bp,
         bs * 1e3, bs / bp, target);
}

void setScale(pixman_image_t* img, double factor, pixman_filter_t filter) {
  pixman_transform_t t;
  pixman_transform_init_scale(&t, pixman_double_to_fixed(1.0 / factor), pixman_double_to_fixed(1.0 / factor));
  pixman_image_set_transform(img, &t);
  pixman_image_set_filter(img, filter, nullptr, 0);
}
}  // namespace

int main() {
  Images im;
  GFX_SetFastPathsEnabled(true);
  printf("%d x %d pixels, mixed alpha. Ratio = GFX time / pixman time (best of 25; dodge best of 9).\n", W, H);
  printf("GFX fast paths: %s on this CPU; the last two columns cap them at SSE2.\n\n",
         GFX_GetFastPathLevel() == GFX_FASTPATH_AVX2 ? "AVX2" : "SSE2");
  printf("%-34s %-21s %11s %11s %5s   %11s %5s   %s\n", "operation", "pixman peer", "GFX", "pixman", "ratio",
         "GFX SSE2", "ratio", "target");

  compare(im, "opaque copy (mode 0, 1.0)", "SRC",
          [&] { GFX_Blit(&im.dst, &im.src, 0, 0, nullptr, 1.0f, 0); },
          [&] { pixman_image_composite32(PIXMAN_OP_SRC, im.psrc, nullptr, im.pdst, 0, 0, 0, 0, 0, 0, W, H); }, "<= 1.0");
  compare(im, "source-alpha blit (0x10000, 1.0)", "OVER",
          [&] { GFX_Blit(&im.dst, &im.src, 0, 0, nullptr, 1.0f, 0x10000); },
          [&] { pixman_image_composite32(PIXMAN_OP_OVER, im.psrc, nullptr, im.pdst, 0, 0, 0, 0, 0, 0, W, H); }, "<= 1.5");

  pixman_color_t half = {0, 0, 0, 0x8080};
  pixman_image_t* halfMask = pixman_image_create_solid_fill(&half);
  compare(im, "half-alpha blit (0x10000, 0.5)", "OVER, mask 0.5",
          [&] { GFX_Blit(&im.dst, &im.src, 0, 0, nullptr, 0.5f, 0x10000); },
          [&] { pixman_image_composite32(PIXMAN_OP_OVER, im.psrc, halfMask, im.pdst, 0, 0, 0, 0, 0, 0, W, H); }, "-");
  compare(im, "half-alpha copy (mode 0, 0.5)", "OVER, mask 0.5",
          [&] { GFX_Blit(&im.dst, &im.src, 0, 0, nullptr, 0.5f, 0); },
          [&] { pixman_image_composite32(PIXMAN_OP_OVER, im.psrc, halfMask, im.pdst, 0, 0, 0, 0, 0, 0, W, H); }, "-");
  compare(im, "add (mode 1, 1.0)", "ADD",
          [&] { GFX_Blit(&im.dst, &im.src, 0, 0, nullptr, 1.0f, 1); },
          [&] { pixman_image_composite32(PIXMAN_OP_ADD, im.psrc, nullptr, im.pdst, 0, 0, 0, 0, 0, 0, W, H); }, "<= 1.5");
  compare(im, "add source-alpha (0x10001, 1.0)", "ADD",
          [&] { GFX_Blit(&im.dst, &im.src, 0, 0, nullptr, 1.0f, 0x10001); },
          [&] { pixman_image_composite32(PIXMAN_OP_ADD, im.psrc, nullptr, im.pdst, 0, 0, 0, 0, 0, 0, W, H); }, "<= 1.5");
  compare(im, "colour dodge (0x10002, 1.0)", "COLOR_DODGE",
          [&] { GFX_Blit(&im.dst, &im.src, 0, 0, nullptr, 1.0f, 0x10002); },
          [&] { pixman_image_composite32(PIXMAN_OP_COLOR_DODGE, im.psrc, nullptr, im.pdst, 0, 0, 0, 0, 0, 0, W, H); },
          "<= 1.0", 9);

  for (double f : {0.85, 1.15}) {
    const int dw = static_cast<int>(W * f + 0.5), dh = static_cast<int>(H * f + 0.5);
    const int cw = std::min(dw, W), ch = std::min(dh, H);  // destination clipped to the bitmap
    char name[64];
    snprintf(name, sizeof name, "bilinear scale x%.2f (0x100)", f);
    setScale(im.psrc, f, PIXMAN_FILTER_BILINEAR);
    compare(im, name, "SRC, BILINEAR",
            [&] { GFX_ScaledBlit(&im.scaled, &im.src, 0, 0, dw, dh, 0, 0, W, H, 1.0f, 0x100); },
            [&] { pixman_image_composite32(PIXMAN_OP_SRC, im.psrc, nullptr, im.pscaled, 0, 0, 0, 0, 0, 0, cw, ch); },
            "<= 1.5");
  }
  {
    const double f = 1.15;
    const int dw = static_cast<int>(W * f + 0.5), dh = static_cast<int>(H * f + 0.5);
    setScale(im.psrc, f, PIXMAN_FILTER_NEAREST);
    compare(im, "nearest scale x1.15 (mode 0)", "SRC, NEAREST",
            [&] { GFX_ScaledBlit(&im.scaled, &im.src, 0, 0, dw, dh, 0, 0, W, H, 1.0f, 0); },
            [&] { pixman_image_composite32(PIXMAN_OP_SRC, im.psrc, nullptr, im.pscaled, 0, 0, 0, 0, 0, 0, W, H); }, "-");
    pixman_image_set_transform(im.psrc, nullptr);
    pixman_image_set_filter(im.psrc, PIXMAN_FILTER_NEAREST, nullptr, 0);
  }

  const GFX_pixel colour = GFX_RGBA(200, 120, 40, 255);
  compare(im, "solid fill (mode 0, 1.0)", "pixman_fill",
          [&] { GFX_FillRect(&im.dst, 0, 0, W, H, colour, 1.0f, 0); },
          [&] {
            pixman_fill(reinterpret_cast<uint32_t*>(im.dst.getBits()), im.dst.getRowSpan(), 32, 0, 0, W, H, colour);
          },
          "<= 1.0");
  pixman_color_t tc = {static_cast<uint16_t>(0.6 * 200 * 257), static_cast<uint16_t>(0.6 * 120 * 257),
                       static_cast<uint16_t>(0.6 * 40 * 257), static_cast<uint16_t>(0.6 * 65535)};
  pixman_image_t* translucent = pixman_image_create_solid_fill(&tc);
  compare(im, "translucent fill (mode 0, 0.6)", "OVER, solid 0.6",
          [&] { GFX_FillRect(&im.dst, 0, 0, W, H, colour, 0.6f, 0); },
          [&] { pixman_image_composite32(PIXMAN_OP_OVER, translucent, nullptr, im.pdst, 0, 0, 0, 0, 0, 0, W, H); },
          "<= 1.0");
  pixman_image_unref(translucent);
  pixman_image_unref(halfMask);
  return 0;
}
