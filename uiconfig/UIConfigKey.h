#pragma once
// The 16-byte key with which the interface description and the SysEx value lists are enciphered
// (at build time, by tools/tea/tea-encipher) and deciphered (by the UI configuration when the
// plug-in is created). This is the only copy: change it here and every enciphered resource is
// rebuilt with it, since the build runs the encipher tool on the plain XML.
//
// The cipher takes the key as four 32-bit words, word i being bytes 4i..4i+3 read least
// significant byte first.

namespace UIConfigKey {

inline constexpr unsigned char kBytes[16] = {0xD3, 0xAC, 0x3A, 0xED, 0xAA, 0xA3, 0x55, 0x24,
                                             0x23, 0x6B, 0xE8, 0x72, 0x86, 0x30, 0xEE, 0x29};

// The key as the cipher's four words, assembled explicitly so that the result does not depend on
// the byte order of the machine.
inline void words(unsigned int out[4]) {
  for (int i = 0; i < 4; ++i)
    out[i] = static_cast<unsigned int>(kBytes[4 * i]) |
             static_cast<unsigned int>(kBytes[4 * i + 1]) << 8 |
             static_cast<unsigned int>(kBytes[4 * i + 2]) << 16 |
             static_cast<unsigned int>(kBytes[4 * i + 3]) << 24;
}

}  // namespace UIConfigKey
