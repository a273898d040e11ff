#pragma once
// The Tiny Encryption Algorithm in its first published form (1994; not XTEA or XXTEA), with which
// the interface description and the SysEx value lists ship enciphered.
//
// Two families, not interchangeable: the block forms (simpleencrypt/simpledecrypt) read the
// 8-byte block as two big-endian words, while the word forms (encryptTea/decryptTea and the
// buffer forms built on them) take the words as they lie in memory. In both the key is four
// words as they lie in memory (little-endian on every machine we build for): word i is key bytes
// 4i..4i+3. The editor itself only calls simpledecrypt(Blocks); the tea-encipher build tool calls
// simpleencrypt. A wrong key gives wrong bytes, never an error.
//
// No state; every member touches only its arguments and may run on any thread.

class Tea {
 public:
  Tea() = delete;

  static void simpledecrypt(unsigned char* block, unsigned int* key);
  // simpledecrypt on each of `blocks` consecutive 8-byte blocks; the blocks are independent, so
  // several are deciphered side by side.
  static void simpledecryptBlocks(unsigned char* data, unsigned long blocks,
                                  const unsigned int* key);
  static void simpleencrypt(unsigned char* block, unsigned int* key);

  static void decryptTea(unsigned int* words, unsigned int* key);
  static void encryptTea(unsigned int* words, unsigned int* key);

  // Pads *length bytes to whole blocks, appends a block whose second word carries the original
  // length, enciphers every block with encryptTea and sets *length to the enciphered size. The
  // buffer must hold at least ((*length + 7) / 8) * 8 + 8 bytes. Padding bytes and the first word
  // of the length block keep whatever the buffer held.
  static void encryptBlock(unsigned char* buffer, unsigned int* length, unsigned int* key);
  // Deciphers every whole block and sets *length to the length stored in the last block. With no
  // whole block (*length < 8) nothing is done and *length stays. A stored length larger than the
  // data blocks (a damaged or foreign buffer) is cut to the data blocks' size, so a caller can
  // never be sent past the buffer.
  static void decryptBlock(unsigned char* buffer, unsigned int* length, unsigned int* key);

  // Writes `count` bytes to standard output as characters, then a line feed.
  static void printBuffer(unsigned char* bytes, int count);

  static constexpr unsigned int kDelta = 0x9E3779B9u;
  static constexpr int kCycles = 32;
};
