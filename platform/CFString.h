// Strings of our Core Foundation. They hold UTF-8; creation refuses (null) text that is not
// valid UTF-8 in the encodings we take (UTF-8 and ASCII), so everything that reaches a string
// can be written back out. Lengths are counted in UTF-16 units as the platform counts them.
#pragma once

#include "CFBase.h"

typedef UInt32 CFStringEncoding;
enum : CFStringEncoding {
  kCFStringEncodingASCII = 0x0600,
  kCFStringEncodingUTF8 = 0x08000100,
};
typedef CFOptionFlags CFStringCompareFlags;

CFTypeID CFStringGetTypeID();
CFStringRef CFStringCreateWithCString(CFAllocatorRef allocator, const char* cStr, CFStringEncoding encoding);
CFStringRef CFStringCreateWithBytes(CFAllocatorRef allocator, const UInt8* bytes, CFIndex numBytes, CFStringEncoding encoding,
                                    Boolean isExternalRepresentation);
CFStringRef CFStringCreateCopy(CFAllocatorRef allocator, CFStringRef s);
// Formats: %d %i %u %x %ld %lu %s %c %f %g %% and %@ (the object's description).
CFStringRef CFStringCreateWithFormat(CFAllocatorRef allocator, const void* formatOptions, CFStringRef format, ...);
CFIndex CFStringGetLength(CFStringRef s);
CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding encoding);
// Copies the text and a terminator; false (buffer emptied) when it does not fit or the
// encoding cannot hold it.
Boolean CFStringGetCString(CFStringRef s, char* buffer, CFIndex bufferSize, CFStringEncoding encoding);
// Our strings always have a UTF-8 pointer; null for ASCII when the text is not pure ASCII.
const char* CFStringGetCStringPtr(CFStringRef s, CFStringEncoding encoding);
CFComparisonResult CFStringCompare(CFStringRef a, CFStringRef b, CFStringCompareFlags options);

// A constant string made once per text and never freed (the platform's CFSTR("...")).
CFStringRef __CFStringMakeConstantString(const char* cStr);
#define CFSTR(text) __CFStringMakeConstantString("" text "")

// Valid UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF)?
bool CFUTF8IsValid(const char* bytes, size_t n);
// The longest prefix of at most maxBytes bytes that ends on a character boundary of valid UTF-8.
size_t CFUTF8CutLength(const char* bytes, size_t n, size_t maxBytes);
