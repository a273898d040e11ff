// Property lists in the XML form (the form of an .aupreset and of a bundle's Info.plist):
// dictionaries with string keys, arrays, strings, integers, reals, booleans and data.
//
// The reader takes hostile input: it checks every element's shape, caps nesting depth and size,
// refuses duplicate dictionary keys, integers out of range, malformed base64 and text that is not
// valid UTF-8, and answers null with an error instead of a partial result.
#pragma once

#include <sys/types.h>

#include <string>

#include "CFBase.h"
#include "CFCollections.h"

typedef CFTypeRef CFPropertyListRef;
typedef CFIndex CFPropertyListFormat;
enum : CFIndex { kCFPropertyListXMLFormat_v1_0 = 100 };
enum : CFOptionFlags { kCFPropertyListImmutable = 0 };

// Nesting deeper than this is refused.
enum { kCFPropertyListMaxDepth = 32 };
// Files larger than this are refused by CFPropertyListCreateFromFile.
enum : long { kCFPropertyListMaxFileBytes = 64L * 1024 * 1024 };

// A new data object holding the XML text; null (and *error) when the list holds something a
// property list cannot carry (a non-string key, an unknown object, text XML cannot represent).
CFDataRef CFPropertyListCreateData(CFAllocatorRef allocator, CFPropertyListRef list, CFPropertyListFormat format, CFOptionFlags options,
                                   CFErrorRef* error);
// A new property list read from XML; null (and *error) on any fault.
CFPropertyListRef CFPropertyListCreateWithData(CFAllocatorRef allocator, CFDataRef data, CFOptionFlags options, CFPropertyListFormat* format,
                                               CFErrorRef* error);

// Conveniences for the host and the bundle code: read a file (size-capped) or write one
// (through a temporary file renamed into place, so a failed save leaves the old file whole).
// `why` receives a readable reason on failure, and after a save what it had to change (empty when
// nothing: see UTIL_ReplaceFile). A new file takes newMode under the umask; a
// replaced one keeps its own; what the rule of every save refuses (UTIL_CheckSave) is left as it
// was.
CFPropertyListRef CFPropertyListCreateFromFile(const char* path, std::string* why);
bool CFPropertyListWriteToFile(CFPropertyListRef list, const char* path, std::string* why, mode_t newMode = 0666);

// Base64 as property lists carry data. Decoding skips white space and refuses anything else
// that is not base64.
std::string CFBase64Encode(const UInt8* bytes, size_t n);
bool CFBase64Decode(const char* text, size_t n, std::string* out);
