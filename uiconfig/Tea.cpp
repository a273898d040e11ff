#include "Tea.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

// Unsigned 32-bit arithmetic throughout: wrap-around and logical shifts are what the cipher needs.
using u32 = std::uint32_t;

constexpr u32 kDecipherSumStart = Tea::kDelta * static_cast<u32>(Tea::kCycles);  // 0xC6EF3720
static_assert(kDecipherSumStart == 0xC6EF3720u, "32 cycles of delta");

u32 loadBigEndian(const unsigned char* p) {
  return (u32(p[0]) << 24) | (u32(p[1]) << 16) | (u32(p[2]) << 8) | u32(p[3]);
}

void storeBigEndian(unsigned char* p, u32 v) {
  p[0] = static_cast<unsigned char>(v >> 24);
  p[1] = static_cast<unsigned char>(v >> 16);
  p[2] = static_cast<unsigned char>(v >> 8);
  p[3] = static_cast<unsigned char>(v);
}

// Words and key are copied into locals: y and z written through references could alias the key
// words as far as the compiler knows, which forces a reload of the key on every cycle.
void encipher(u32& yRef, u32& zRef, const unsigned int* key) {
  const u32 k0 = key[0], k1 = key[1], k2 = key[2], k3 = key[3];
  u32 y = yRef, z = zRef, sum = 0;
  for (int i = 0; i < Tea::kCycles; ++i) {
    sum += Tea::kDelta;
    y += ((z << 4) + k0) ^ (z + sum) ^ ((z >> 5) + k1);
    z += ((y << 4) + k2) ^ (y + sum) ^ ((y >> 5) + k3);
  }
  yRef = y;
  zRef = z;
}

void decipher(u32& yRef, u32& zRef, const unsigned int* key) {
  const u32 k0 = key[0], k1 = key[1], k2 = key[2], k3 = key[3];
  u32 y = yRef, z = zRef, sum = kDecipherSumStart;
  for (int i = 0; i < Tea::kCycles; ++i) {
    z -= ((y << 4) + k2) ^ (y + sum) ^ ((y >> 5) + k3);
    y -= ((z << 4) + k0) ^ (z + sum) ^ ((z >> 5) + k1);
    sum -= Tea::kDelta;
  }
  yRef = y;
  zRef = z;
}

// The buffer forms address the buffer as native words; go through memcpy so an unaligned byte
// buffer is fine.
void wordsAt(const unsigned char* p, unsigned int w[2]) { std::memcpy(w, p, 8); }
void storeWordsAt(unsigned char* p, const unsigned int w[2]) { std::memcpy(p, w, 8); }

}  // namespace

static_assert(sizeof(unsigned int) == 4, "the cipher works on 32-bit words");

void Tea::simpledecrypt(unsigned char* block, unsigned int* key) {
  simpledecryptBlocks(block, 1, key);
}

void Tea::simpledecryptBlocks(unsigned char* data, unsigned long blocks, const unsigned int* key) {
  // Thirty-two blocks at a time: the rounds of one block depend on each other, those of
  // different blocks do not, so interleaving them keeps the processor busy and lets the compiler
  // use vector instructions.
  constexpr unsigned long kLanes = 32;
  const u32 k0 = key[0], k1 = key[1], k2 = key[2], k3 = key[3];
  unsigned long b = 0;
  for (; b + kLanes <= blocks; b += kLanes) {
    unsigned char* p = data + 8 * b;
    u32 y[kLanes], z[kLanes];
    for (unsigned long l = 0; l < kLanes; ++l) {
      y[l] = loadBigEndian(p + 8 * l);
      z[l] = loadBigEndian(p + 8 * l + 4);
    }
    u32 sum = kDecipherSumStart;
    for (int i = 0; i < Tea::kCycles; ++i) {
      for (unsigned long l = 0; l < kLanes; ++l)
        z[l] -= ((y[l] << 4) + k2) ^ (y[l] + sum) ^ ((y[l] >> 5) + k3);
      for (unsigned long l = 0; l < kLanes; ++l)
        y[l] -= ((z[l] << 4) + k0) ^ (z[l] + sum) ^ ((z[l] >> 5) + k1);
      sum -= Tea::kDelta;
    }
    for (unsigned long l = 0; l < kLanes; ++l) {
      storeBigEndian(p + 8 * l, y[l]);
      storeBigEndian(p + 8 * l + 4, z[l]);
    }
  }
  for (; b < blocks; ++b) {
    unsigned char* p = data + 8 * b;
    u32 y = loadBigEndian(p), z = loadBigEndian(p + 4);
    decipher(y, z, key);
    storeBigEndian(p, y);
    storeBigEndian(p + 4, z);
  }
}

void Tea::simpleencrypt(unsigned char* block, unsigned int* key) {
  u32 y = loadBigEndian(block), z = loadBigEndian(block + 4);
  encipher(y, z, key);
  storeBigEndian(block, y);
  storeBigEndian(block + 4, z);
}

void Tea::decryptTea(unsigned int* words, unsigned int* key) { decipher(words[0], words[1], key); }

void Tea::encryptTea(unsigned int* words, unsigned int* key) { encipher(words[0], words[1], key); }

void Tea::encryptBlock(unsigned char* buffer, unsigned int* length, unsigned int* key) {
  const unsigned int n = *length;
  const unsigned int m = (n + 7) / 8;
  unsigned char* lengthBlock = buffer + 8u * m;
  std::memcpy(lengthBlock + 4, &n, 4);  // word 2m + 1
  *length = 8u * m + 8u;
  for (unsigned int b = 0; b <= m; ++b) {
    unsigned int w[2];
    wordsAt(buffer + 8u * b, w);
    encryptTea(w, key);
    storeWordsAt(buffer + 8u * b, w);
  }
}

void Tea::decryptBlock(unsigned char* buffer, unsigned int* length, unsigned int* key) {
  const unsigned int c = *length / 8;
  if (c == 0) return;
  for (unsigned int b = 0; b < c; ++b) {
    unsigned int w[2];
    wordsAt(buffer + 8u * b, w);
    decryptTea(w, key);
    storeWordsAt(buffer + 8u * b, w);
  }
  unsigned int stored = 0;
  std::memcpy(&stored, buffer + 8u * (c - 1) + 4, 4);
  const unsigned int dataBytes = 8u * (c - 1);
  *length = stored <= dataBytes ? stored : dataBytes;
}

void Tea::printBuffer(unsigned char* bytes, int count) {
  for (int i = 0; i < count; ++i) std::putchar(bytes[i]);
  std::putchar('\n');
}
