// Our own small Core Foundation: the reference-counted types the Audio Unit binding and the host
// exchange (strings, numbers, data, arrays, dictionaries, URLs, bundles, errors).
//
// Every object starts with a retain count of 1 when made by a Create or Copy call, and is freed
// when CFRelease takes the count to 0 ("the create rule"); Get calls hand out borrowed references.
// Objects carry a fixed type id (the same numbers in every module), so an object made by the
// plug-in library can be read and released by the host, which links its own copy of this code.
// Thread safety: retain and release are atomic; a mutable object must not be changed while
// another thread reads it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "AUTypes.h"

typedef const void* CFTypeRef;
typedef long CFIndex;
typedef unsigned long CFTypeID;
typedef unsigned long CFHashCode;
typedef unsigned long CFOptionFlags;

struct __CFAllocator;
typedef const struct __CFAllocator* CFAllocatorRef;
struct __CFString;
typedef const struct __CFString* CFStringRef;
typedef struct __CFString* CFMutableStringRef;
struct __CFNumber;
typedef const struct __CFNumber* CFNumberRef;
struct __CFData;
typedef const struct __CFData* CFDataRef;
struct __CFError;
typedef struct __CFError* CFErrorRef;
struct __CFBoolean;
typedef const struct __CFBoolean* CFBooleanRef;

struct CFRange {
  CFIndex location;
  CFIndex length;
};
inline CFRange CFRangeMake(CFIndex loc, CFIndex len) { return CFRange{loc, len}; }

enum : CFIndex { kCFNotFound = -1 };

typedef CFIndex CFComparisonResult;
enum : CFIndex { kCFCompareLessThan = -1, kCFCompareEqualTo = 0, kCFCompareGreaterThan = 1 };

// Fixed type ids: equal in every module that links this code.
enum : CFTypeID {
  kCFTypeIDString = 7,
  kCFTypeIDNumber = 22,
  kCFTypeIDData = 20,
  kCFTypeIDArray = 19,
  kCFTypeIDDictionary = 18,
  kCFTypeIDURL = 29,
  kCFTypeIDBundle = 31,
  kCFTypeIDError = 45,
  kCFTypeIDBoolean = 21,
};

// Allocators: null (kCFAllocatorDefault) and kCFAllocatorSystemDefault both use malloc/free.
extern const CFAllocatorRef kCFAllocatorDefault;
extern const CFAllocatorRef kCFAllocatorSystemDefault;
void* CFAllocatorAllocate(CFAllocatorRef allocator, CFIndex size, CFOptionFlags hint);
void CFAllocatorDeallocate(CFAllocatorRef allocator, void* ptr);

// Retain and release. CFRelease(null) is refused (ignored), as is retaining null.
CFTypeRef CFRetain(CFTypeRef cf);
void CFRelease(CFTypeRef cf);
CFIndex CFGetRetainCount(CFTypeRef cf);
// 0 for null or for a pointer that is not one of our objects.
CFTypeID CFGetTypeID(CFTypeRef cf);
// Same object, or same type and equal contents (strings, numbers, data, booleans, arrays,
// dictionaries, URLs).
Boolean CFEqual(CFTypeRef a, CFTypeRef b);
CFHashCode CFHash(CFTypeRef cf);
// A new string describing the object (the text itself for a string, the decimal for a number).
CFStringRef CFCopyDescription(CFTypeRef cf);

// Numbers hold a signed integer (up to 64 bits) or a double.
typedef CFIndex CFNumberType;
enum : CFIndex {
  kCFNumberSInt8Type = 1,
  kCFNumberSInt16Type = 2,
  kCFNumberSInt32Type = 3,
  kCFNumberSInt64Type = 4,
  kCFNumberFloat32Type = 5,
  kCFNumberFloat64Type = 6,
  kCFNumberIntType = 9,
  kCFNumberLongType = 10,
  kCFNumberFloatType = 12,
  kCFNumberDoubleType = 13,
};
CFTypeID CFNumberGetTypeID();
CFNumberRef CFNumberCreate(CFAllocatorRef allocator, CFNumberType type, const void* valuePtr);
CFNumberType CFNumberGetType(CFNumberRef number);
Boolean CFNumberIsFloatType(CFNumberRef number);
// Writes the value converted to `type`; false when the conversion loses range or precision
// (the converted value is still written, as far as it goes).
Boolean CFNumberGetValue(CFNumberRef number, CFNumberType type, void* valuePtr);

// Booleans: two immortal constants.
extern const CFBooleanRef kCFBooleanTrue;
extern const CFBooleanRef kCFBooleanFalse;
CFTypeID CFBooleanGetTypeID();
Boolean CFBooleanGetValue(CFBooleanRef boolean);

// Immutable byte data (a copy of the bytes given).
CFTypeID CFDataGetTypeID();
CFDataRef CFDataCreate(CFAllocatorRef allocator, const UInt8* bytes, CFIndex length);
CFIndex CFDataGetLength(CFDataRef data);
// Null for empty data.
const UInt8* CFDataGetBytePtr(CFDataRef data);

// Errors, as the property-list reader reports them.
CFTypeID CFErrorGetTypeID();
CFErrorRef CFErrorCreateWithText(CFAllocatorRef allocator, CFIndex code, const char* utf8Text);
CFIndex CFErrorGetCode(CFErrorRef error);
CFStringRef CFErrorCopyDescription(CFErrorRef error);
