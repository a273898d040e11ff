// Private to the CF*.cpp files: the object layouts behind our Core Foundation handles.
// Every object starts with CFObjectHeader; the type id is a fixed number, so a handle made in
// one module (the plug-in library) is understood in another (the host) that links its own copy.
// Destruction dispatches on the type id, not through a vtable, for the same reason.
#pragma once

#include <atomic>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "CFBase.h"
#include "CFCollections.h"

enum : UInt32 { kCFObjectMagic = 0x43466f62u /* 'CFob' */ };

struct CFObjectHeader {
  UInt32 magic = kCFObjectMagic;
  CFTypeID type;
  std::atomic<long> retainCount{1};
  bool immortal = false;  // constants (CFSTR, booleans, cached bundles): retain and release do nothing
  explicit CFObjectHeader(CFTypeID t) : type(t) {}
};

struct __CFString {
  CFObjectHeader h{kCFTypeIDString};
  std::string utf8;
};

struct __CFNumber {
  CFObjectHeader h{kCFTypeIDNumber};
  bool isFloat = false;
  SInt64 i = 0;
  double d = 0.0;
  CFNumberType declaredType = kCFNumberSInt32Type;
};

struct __CFBoolean {
  CFObjectHeader h{kCFTypeIDBoolean};
  bool value = false;
};

struct __CFData {
  CFObjectHeader h{kCFTypeIDData};
  std::vector<UInt8> bytes;
};

struct __CFError {
  CFObjectHeader h{kCFTypeIDError};
  CFIndex code = 0;
  std::string text;
};

struct __CFArray {
  CFObjectHeader h{kCFTypeIDArray};
  CFAllocatorRef allocator = nullptr;
  CFArrayCallBacks callbacks{};
  bool hasCallbacks = false;
  std::vector<const void*> values;
};

struct __CFDictionary {
  CFObjectHeader h{kCFTypeIDDictionary};
  CFAllocatorRef allocator = nullptr;
  CFDictionaryKeyCallBacks keyCallbacks{};
  CFDictionaryValueCallBacks valueCallbacks{};
  bool hasKeyCallbacks = false;
  bool hasValueCallbacks = false;
  std::vector<std::pair<const void*, const void*>> entries;  // insertion order
  // Key hash -> position in entries, so a lookup compares only the keys of one hash (a state
  // file may hold many thousands of keys). Keys equal by the key callbacks hash alike.
  std::unordered_multimap<CFHashCode, size_t> index;
};

struct __CFURL {
  CFObjectHeader h{kCFTypeIDURL};
  std::string path;  // POSIX path
  bool isDirectory = false;
};

struct CFBundleInfo;
struct __CFBundle {
  CFObjectHeader h{kCFTypeIDBundle};
  std::string path;        // the bundle folder
  std::string identifier;  // empty when the bundle has none
  std::string executable;  // full path, empty when unknown
  CFStringRef identifierRef = nullptr;  // owned; null when there is no identifier
  CFDictionaryRef info = nullptr;       // owned
};

// Checked downcast: null when cf is not a live object of that type.
template <class T>
inline T* CFCast(CFTypeRef cf, CFTypeID type) {
  auto* h = static_cast<const CFObjectHeader*>(cf);
  if (!h || h->magic != kCFObjectMagic || h->type != type) return nullptr;
  return const_cast<T*>(static_cast<const T*>(cf));
}

// Makes a string object from UTF-8 that is already known to be valid.
CFStringRef CFStringMakeFromValidUTF8(const std::string& utf8);
// The UTF-8 text of a string ("" for null or a non-string).
const std::string& CFStringUTF8(CFStringRef s);
