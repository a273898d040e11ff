#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>

#include "Tea.h"

namespace {

// The published reference routines (Wheeler and Needham, 1994), on native 32-bit words, kept
// apart from the code under test.
void referenceEncipher(uint32_t* v, const uint32_t* k) {
  uint32_t y = v[0], z = v[1], sum = 0, delta = 0x9e3779b9, n = 32;
  while (n-- > 0) {
    sum += delta;
    y += ((z << 4) + k[0]) ^ (z + sum) ^ ((z >> 5) + k[1]);
    z += ((y << 4) + k[2]) ^ (y + sum) ^ ((y >> 5) + k[3]);
  }
  v[0] = y;
  v[1] = z;
}

void referenceDecipher(uint32_t* v, const uint32_t* k) {
  uint32_t n = 32, sum, y = v[0], z = v[1], delta = 0x9e3779b9;
  sum = delta << 5;
  while (n-- > 0) {
    z -= ((y << 4) + k[2]) ^ (y + sum) ^ ((y >> 5) + k[3]);
    y -= ((z << 4) + k[0]) ^ (z + sum) ^ ((z >> 5) + k[1]);
    sum -= delta;
  }
  v[0] = y;
  v[1] = z;
}

uint32_t be(const unsigned char* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
uint32_t le(const unsigned char* p) {
  return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

// A key given as 16 bytes, as the program holds it, turned into the words the cipher is handed
// (the bytes as they lie in memory).
struct Key {
  unsigned char bytes[16];
  unsigned int words[4];
  explicit Key(const unsigned char (&b)[16]) {
    std::memcpy(bytes, b, 16);
    std::memcpy(words, b, 16);
  }
};

const unsigned char kKeyBytes[16] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07,
                                     0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F};

}  // namespace

TEST(Tea, AllZeroBlockAndKeyGiveThePublishedCiphertext) {
  unsigned char block[8] = {};
  unsigned int key[4] = {};
  Tea::simpleencrypt(block, key);
  const unsigned char expected[8] = {0x41, 0xEA, 0x3A, 0x0A, 0x94, 0xBA, 0xA9, 0x40};
  EXPECT_EQ(0, std::memcmp(block, expected, 8));
  Tea::simpledecrypt(block, key);
  const unsigned char zero[8] = {};
  EXPECT_EQ(0, std::memcmp(block, zero, 8));
}

TEST(Tea, BlockWordsAreBigEndianAndKeyWordsLittleEndian) {
  Key key(kKeyBytes);
  unsigned char block[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};

  uint32_t v[2] = {be(block), be(block + 4)};
  const uint32_t k[4] = {le(kKeyBytes), le(kKeyBytes + 4), le(kKeyBytes + 8), le(kKeyBytes + 12)};
  ASSERT_EQ(0x01234567u, v[0]);
  ASSERT_EQ(0x03020100u, k[0]);
  referenceEncipher(v, k);

  Tea::simpleencrypt(block, key.words);
  EXPECT_EQ(v[0], be(block));
  EXPECT_EQ(v[1], be(block + 4));

  referenceDecipher(v, k);
  Tea::simpledecrypt(block, key.words);
  EXPECT_EQ(0x01234567u, be(block));
  EXPECT_EQ(0x89ABCDEFu, be(block + 4));
}

TEST(Tea, KeyReadInTheOtherByteOrderDeciphersToOtherBytes) {
  Key key(kKeyBytes);
  unsigned char block[8] = {'<', 'u', 'i', 'c', 'o', 'n', 'f', 'i'};
  Tea::simpleencrypt(block, key.words);

  unsigned int swapped[4];
  for (int i = 0; i < 4; ++i) swapped[i] = be(kKeyBytes + 4 * i);
  unsigned char wrong[8];
  std::memcpy(wrong, block, 8);
  Tea::simpledecrypt(wrong, swapped);
  EXPECT_NE(0, std::memcmp(wrong, "<uiconfi", 8));

  Tea::simpledecrypt(block, key.words);
  EXPECT_EQ(0, std::memcmp(block, "<uiconfi", 8));
}

TEST(Tea, WordFormsTakeMemoryOrderAndDifferFromBlockForms) {
  Key key(kKeyBytes);
  unsigned char bytes[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
  unsigned int words[2];
  std::memcpy(words, bytes, 8);
  uint32_t ref[2] = {words[0], words[1]};
  referenceEncipher(ref, key.words);
  Tea::encryptTea(words, key.words);
  EXPECT_EQ(ref[0], words[0]);
  EXPECT_EQ(ref[1], words[1]);

  Tea::simpleencrypt(bytes, key.words);
  EXPECT_NE(0, std::memcmp(bytes, words, 8)) << "on a little-endian machine the forms differ";

  Tea::decryptTea(words, key.words);
  EXPECT_EQ(0x67452301u, words[0]);
}

TEST(Tea, EncipherThenDecipherRestoresEveryBlock) {
  std::mt19937 rng(1234);
  const auto r = [&rng] { return static_cast<unsigned int>(rng()); };
  unsigned int keys[3][4] = {{0, 0, 0, 0}, {~0u, ~0u, ~0u, ~0u}, {r(), r(), r(), r()}};
  for (auto& key : keys) {
    for (int fill : {0x00, 0xFF, -1}) {
      unsigned char block[8], orig[8];
      for (int i = 0; i < 8; ++i) block[i] = static_cast<unsigned char>(fill < 0 ? rng() : fill);
      std::memcpy(orig, block, 8);
      Tea::simpleencrypt(block, key);
      EXPECT_NE(0, std::memcmp(block, orig, 8));
      Tea::simpledecrypt(block, key);
      EXPECT_EQ(0, std::memcmp(block, orig, 8));
    }
  }
}

TEST(Tea, RunsOfBlocksDecipherAsEachBlockAlone) {
  std::mt19937 rng(99);
  unsigned int key[4] = {static_cast<unsigned int>(rng()), static_cast<unsigned int>(rng()),
                         static_cast<unsigned int>(rng()), static_cast<unsigned int>(rng())};
  // More than two runs deciphered side by side, and some blocks left over.
  constexpr int kBlocks = 67;
  unsigned char run[kBlocks * 8], alone[kBlocks * 8];
  for (unsigned char& b : run) b = static_cast<unsigned char>(rng());
  std::memcpy(alone, run, sizeof run);
  Tea::simpledecryptBlocks(run, kBlocks, key);
  for (int b = 0; b < kBlocks; ++b) Tea::simpledecrypt(alone + 8 * b, key);
  EXPECT_EQ(0, std::memcmp(run, alone, sizeof run));
}

TEST(Tea, BufferFormCarriesTheLengthInAnExtraBlock) {
  Key key(kKeyBytes);
  for (unsigned int n : {0u, 8u, 13u}) {
    unsigned char buf[32] = {};
    for (unsigned int i = 0; i < n; ++i) buf[i] = static_cast<unsigned char>('a' + i);
    unsigned int length = n;
    Tea::encryptBlock(buf, &length, key.words);
    EXPECT_EQ((n + 7) / 8 * 8 + 8, length) << n;
    Tea::decryptBlock(buf, &length, key.words);
    EXPECT_EQ(n, length);
    for (unsigned int i = 0; i < n; ++i) EXPECT_EQ('a' + i, buf[i]);
  }
}

TEST(Tea, BufferDecipherOfFewerThanEightBytesLeavesLengthAlone) {
  Key key(kKeyBytes);
  unsigned char buf[8] = {1, 2, 3, 4, 5, 6, 7, 0};
  unsigned int length = 7;
  Tea::decryptBlock(buf, &length, key.words);
  EXPECT_EQ(7u, length);
  EXPECT_EQ(1, buf[0]);
}

TEST(Tea, BufferDecipherNeverReportsMoreThanItsDataBlocks) {
  // A length block claiming 4 GB must not send the caller past a 16-byte buffer.
  Key key(kKeyBytes);
  unsigned int words[4] = {0, 0, 0, 0xFFFFFFF0u};
  Tea::encryptTea(words, key.words);
  Tea::encryptTea(words + 2, key.words);
  unsigned char buf[16];
  std::memcpy(buf, words, 16);
  unsigned int length = 16;
  Tea::decryptBlock(buf, &length, key.words);
  EXPECT_EQ(8u, length);
}

TEST(Tea, PrintBufferOfNothingWritesOnlyTheLineFeed) {
  testing::internal::CaptureStdout();
  unsigned char text[] = "abc";
  Tea::printBuffer(text, 0);
  Tea::printBuffer(text, -3);
  Tea::printBuffer(text, 3);
  EXPECT_EQ("\n\nabc\n", testing::internal::GetCapturedStdout());
}
