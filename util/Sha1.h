#pragma once
// SHA-1 message digest (FIPS 180-1) of a whole byte block in one call.
//
// Nothing in the editor computes a digest today; this is kept for identifying bank files and
// dumps by content. SHA-1 is no longer collision resistant: use it to recognise data, never to
// authenticate it.
//
// No state; both functions touch only their arguments and may run on any thread.

namespace sha1 {

// Writes the 20-byte digest of the `length` bytes at `data` into `digest`. A null `data` or a
// length of 0 or less is taken as the empty message (a negative length is a caller's slip, and
// reading "minus n" bytes is not something to guess at). A null `digest` does nothing.
void calc(const void* data, int length, unsigned char* digest);

// Writes the 20-byte digest as 40 lower-case hexadecimal digits and a terminating NUL: `text`
// must hold 41 bytes. Null arguments do nothing.
void toHexString(const unsigned char* digest, char* text);

}  // namespace sha1
