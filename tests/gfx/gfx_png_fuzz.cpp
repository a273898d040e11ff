// Fuzz target for the PNG loader. Three shapes of input per run:
//   1. the bytes as they are (signature check, anything);
//   2. the bytes behind a PNG signature (chunk parsing: random bytes rarely carry one);
//   3. a well-formed PNG built around the bytes: header fields taken from the first bytes, a
//      palette and transparency when the type wants them, and the rest deflated as image data,
//      so that checksums and zlib pass and the row filters, bit depths, interlacing and
//      transformations get exercised with hostile pixel data.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "GFX_PNG.h"

namespace {
void put32(std::vector<uint8_t>& v, uint32_t x) {
  for (int s = 24; s >= 0; s -= 8) v.push_back(static_cast<uint8_t>(x >> s));
}

void chunk(std::vector<uint8_t>& out, const char* type, const uint8_t* data, size_t n) {
  put32(out, static_cast<uint32_t>(n));
  const size_t at = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data, data + n);
  put32(out, static_cast<uint32_t>(crc32(0, out.data() + at, static_cast<uInt>(n + 4))));
}

std::vector<uint8_t> buildPng(const uint8_t* d, size_t n) {
  static const uint8_t types[5] = {0, 2, 3, 4, 6};
  static const uint8_t depths[5][5] = {{1, 2, 4, 8, 16}, {8, 16, 8, 16, 8}, {1, 2, 4, 8, 8}, {8, 16, 8, 16, 8},
                                       {8, 16, 8, 16, 8}};
  if (n < 6) return {};
  const int t = d[0] % 5;
  const uint8_t ctype = types[t], depth = depths[t][d[1] % 5];
  const uint32_t w = 1 + d[2] % 48, h = 1 + d[3] % 48;
  const uint8_t interlace = d[4] & 1, extras = d[5];
  d += 6, n -= 6;

  std::vector<uint8_t> out = {137, 80, 78, 71, 13, 10, 26, 10};
  std::vector<uint8_t> ihdr;
  put32(ihdr, w);
  put32(ihdr, h);
  ihdr.insert(ihdr.end(), {depth, ctype, 0, 0, interlace});
  chunk(out, "IHDR", ihdr.data(), ihdr.size());
  if (ctype == 3) {
    const size_t entries = 1 + (extras & 0x7f) % (1u << (depth < 8 ? depth : 8));
    std::vector<uint8_t> plte(entries * 3);
    for (size_t i = 0; i < plte.size(); ++i) plte[i] = static_cast<uint8_t>(i * 37 + extras);
    chunk(out, "PLTE", plte.data(), plte.size());
    if (extras & 0x80) {
      std::vector<uint8_t> trns(entries);
      for (size_t i = 0; i < entries; ++i) trns[i] = static_cast<uint8_t>(i * 91);
      chunk(out, "tRNS", trns.data(), trns.size());
    }
  } else if ((ctype == 0 || ctype == 2) && (extras & 0x80)) {
    const uint8_t key[6] = {0, extras, 0, 1, 0, 2};
    chunk(out, "tRNS", key, ctype == 0 ? 2 : 6);
  }
  uLongf zlen = compressBound(static_cast<uLong>(n));
  std::vector<uint8_t> z(zlen);
  if (compress2(z.data(), &zlen, d, static_cast<uLong>(n), 1) != Z_OK) return {};
  chunk(out, "IDAT", z.data(), zlen);
  chunk(out, "IEND", nullptr, 0);
  return out;
}

void tryLoad(const uint8_t* data, size_t size) {
  const int n = static_cast<int>(size);
  if (GFX_IBitmap* bm = GFX_LoadPNGFromMemory(data, n, nullptr)) {
    // A success must own every pixel it reports.
    volatile GFX_pixel sink = 0;
    for (int y = 0; y < bm->getHeight(); ++y) sink = sink + bm->getBits()[y * bm->getRowSpan() + bm->getWidth() - 1];
    delete bm;
  }
  GFX_MemBitmap mine(3, 3, 4);
  GFX_LoadPNGFromMemory(data, n, &mine);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  tryLoad(data, size);
  static const uint8_t sig[8] = {137, 80, 78, 71, 13, 10, 26, 10};
  std::vector<uint8_t> withSig(sig, sig + 8);
  withSig.insert(withSig.end(), data, data + size);
  tryLoad(withSig.data(), withSig.size());
  const std::vector<uint8_t> built = buildPng(data, size);
  if (!built.empty()) tryLoad(built.data(), built.size());
  return 0;
}
