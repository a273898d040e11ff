#include "Sha1.h"

#include <arpa/inet.h>

#include <cstdint>
#include <cstring>

namespace {

using u32 = std::uint32_t;

constexpr int kBlockBytes = 64;
constexpr int kDigestBytes = 20;

u32 rotl(u32 v, int n) { return (v << n) | (v >> (32 - n)); }

// Message words and the digest are big-endian whatever the machine.
u32 loadBigEndian(const unsigned char* p) {
  u32 v;
  std::memcpy(&v, p, sizeof v);
  return ntohl(v);
}

void storeBigEndian(unsigned char* p, u32 v) {
  v = htonl(v);
  std::memcpy(p, &v, sizeof v);
}

// One 512-bit block into the five chaining words h[0..4].
void compress(u32* h, const unsigned char* block) {
  u32 w[80];
  for (int t = 0; t < 16; ++t) w[t] = loadBigEndian(block + 4 * t);
  // The one-bit rotation is what FIPS 180-1 added over the withdrawn SHA-0; leaving it out
  // still gives plausible-looking but wrong digests.
  for (int t = 16; t < 80; ++t) w[t] = rotl(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);

  u32 a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
  for (int t = 0; t < 80; ++t) {
    u32 f, k;
    if (t < 20) {
      f = (b & c) | (~b & d);
      k = 0x5A827999u;
    } else if (t < 40) {
      f = b ^ c ^ d;
      k = 0x6ED9EBA1u;
    } else if (t < 60) {
      f = (b & c) | (b & d) | (c & d);
      k = 0x8F1BBCDCu;
    } else {
      f = b ^ c ^ d;
      k = 0xCA62C1D6u;
    }
    const u32 temp = rotl(a, 5) + f + e + w[t] + k;
    e = d;
    d = c;
    c = rotl(b, 30);
    b = a;
    a = temp;
  }
  h[0] += a;
  h[1] += b;
  h[2] += c;
  h[3] += d;
  h[4] += e;
}

}  // namespace

namespace sha1 {

void calc(const void* data, int length, unsigned char* digest) {
  if (!digest) return;
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  const std::uint64_t count = (bytes && length > 0) ? static_cast<std::uint64_t>(length) : 0;

  u32 h[5] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u};
  std::uint64_t done = 0;
  for (; count - done >= kBlockBytes; done += kBlockBytes) compress(h, bytes + done);

  // Tail: the remaining bytes, the 0x80 marker, zeros, and the message length in bits as a
  // 64-bit big-endian number ending the last block. When fewer than 9 bytes are left after the
  // tail (55 < tail length < 64) the padding spills into a second block.
  unsigned char last[2 * kBlockBytes] = {};
  const int tail = static_cast<int>(count - done);
  if (tail > 0) std::memcpy(last, bytes + done, static_cast<size_t>(tail));
  last[tail] = 0x80;
  const int lastLength = (tail + 1 + 8 <= kBlockBytes) ? kBlockBytes : 2 * kBlockBytes;
  const std::uint64_t bits = count * 8;
  storeBigEndian(last + lastLength - 8, static_cast<u32>(bits >> 32));
  storeBigEndian(last + lastLength - 4, static_cast<u32>(bits));
  for (int off = 0; off < lastLength; off += kBlockBytes) compress(h, last + off);

  for (int i = 0; i < 5; ++i) storeBigEndian(digest + 4 * i, h[i]);
}

void toHexString(const unsigned char* digest, char* text) {
  if (!digest || !text) return;
  static const char kDigits[] = "0123456789abcdef";
  for (int i = 0; i < kDigestBytes; ++i) {
    text[2 * i] = kDigits[digest[i] >> 4];
    text[2 * i + 1] = kDigits[digest[i] & 0x0F];
  }
  text[2 * kDigestBytes] = '\0';
}

}  // namespace sha1
