#include "CFCollections.h"
#include <algorithm>

#include "CFInternal.h"

namespace {

const void* typeRetain(CFAllocatorRef, const void* v) { return CFRetain(v); }
void typeRelease(CFAllocatorRef, const void* v) { CFRelease(v); }
Boolean typeEqual(const void* a, const void* b) { return CFEqual(a, b); }
CFHashCode typeHash(const void* v) { return CFHash(v); }

const void* retainArrayValue(__CFArray* a, const void* v) {
  return (a->hasCallbacks && a->callbacks.retain) ? a->callbacks.retain(a->allocator, v) : v;
}

bool keysEqual(const __CFDictionary* d, const void* a, const void* b) {
  if (d->hasKeyCallbacks && d->keyCallbacks.equal) return d->keyCallbacks.equal(a, b);
  return a == b;
}

// Must give equal keys the same hash: the hash callback when there is one; the pointer when keys
// compare by pointer; otherwise (an equality without a hash) one hash for all, i.e. a linear search.
CFHashCode keyHash(const __CFDictionary* d, const void* key) {
  if (d->hasKeyCallbacks && d->keyCallbacks.hash) return d->keyCallbacks.hash(key);
  if (d->hasKeyCallbacks && d->keyCallbacks.equal) return 0;
  return reinterpret_cast<CFHashCode>(key);
}

// Position of key in d->entries, or -1.
long findKey(const __CFDictionary* d, const void* key) {
  auto range = d->index.equal_range(keyHash(d, key));
  for (auto it = range.first; it != range.second; ++it)
    if (keysEqual(d, d->entries[it->second].first, key)) return static_cast<long>(it->second);
  return -1;
}

}  // namespace

const CFArrayCallBacks kCFTypeArrayCallBacks = {0, typeRetain, typeRelease, CFCopyDescription, typeEqual};
const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks = {0, typeRetain, typeRelease, CFCopyDescription, typeEqual, typeHash};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks = {0, typeRetain, typeRelease, CFCopyDescription, typeEqual};

CFTypeID CFArrayGetTypeID() { return kCFTypeIDArray; }

CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef allocator, CFIndex capacity, const CFArrayCallBacks* callBacks) {
  auto* a = new __CFArray;
  a->allocator = allocator;
  if (callBacks) {
    a->callbacks = *callBacks;  // copied: the caller's table may live in another module
    a->hasCallbacks = true;
  }
  if (capacity > 0 && capacity < 1 << 20) a->values.reserve(static_cast<size_t>(capacity));
  return a;
}

CFArrayRef CFArrayCreate(CFAllocatorRef allocator, const void** values, CFIndex numValues, const CFArrayCallBacks* callBacks) {
  if (numValues < 0 || (numValues > 0 && !values)) return nullptr;
  CFMutableArrayRef a = CFArrayCreateMutable(allocator, numValues, callBacks);
  for (CFIndex i = 0; i < numValues; ++i) CFArrayAppendValue(a, values[i]);
  return a;
}

CFIndex CFArrayGetCount(CFArrayRef array) {
  auto* a = CFCast<__CFArray>(array, kCFTypeIDArray);
  return a ? static_cast<CFIndex>(a->values.size()) : 0;
}

const void* CFArrayGetValueAtIndex(CFArrayRef array, CFIndex idx) {
  auto* a = CFCast<__CFArray>(array, kCFTypeIDArray);
  if (!a || idx < 0 || idx >= static_cast<CFIndex>(a->values.size())) return nullptr;
  return a->values[static_cast<size_t>(idx)];
}

void CFArrayAppendValue(CFMutableArrayRef array, const void* value) {
  auto* a = CFCast<__CFArray>(array, kCFTypeIDArray);
  if (a) a->values.push_back(retainArrayValue(a, value));
}

CFIndex CFArrayGetFirstIndexOfValue(CFArrayRef array, CFRange range, const void* value) {
  auto* a = CFCast<__CFArray>(array, kCFTypeIDArray);
  if (!a || range.location < 0 || range.length < 0) return kCFNotFound;
  CFIndex end = std::min<CFIndex>(range.location + range.length, static_cast<CFIndex>(a->values.size()));
  for (CFIndex i = range.location; i < end; ++i) {
    const void* v = a->values[static_cast<size_t>(i)];
    bool eq = (a->hasCallbacks && a->callbacks.equal) ? a->callbacks.equal(v, value) : v == value;
    if (eq) return i;
  }
  return kCFNotFound;
}

CFTypeID CFDictionaryGetTypeID() { return kCFTypeIDDictionary; }

CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef allocator, CFIndex capacity, const CFDictionaryKeyCallBacks* keyCallBacks,
                                                 const CFDictionaryValueCallBacks* valueCallBacks) {
  auto* d = new __CFDictionary;
  d->allocator = allocator;
  if (keyCallBacks) {
    d->keyCallbacks = *keyCallBacks;
    d->hasKeyCallbacks = true;
  }
  if (valueCallBacks) {
    d->valueCallbacks = *valueCallBacks;
    d->hasValueCallbacks = true;
  }
  if (capacity > 0 && capacity < 1 << 20) {
    d->entries.reserve(static_cast<size_t>(capacity));
    d->index.reserve(static_cast<size_t>(capacity));
  }
  return d;
}

CFIndex CFDictionaryGetCount(CFDictionaryRef dict) {
  auto* d = CFCast<__CFDictionary>(dict, kCFTypeIDDictionary);
  return d ? static_cast<CFIndex>(d->entries.size()) : 0;
}

Boolean CFDictionaryGetValueIfPresent(CFDictionaryRef dict, const void* key, const void** value) {
  auto* d = CFCast<__CFDictionary>(dict, kCFTypeIDDictionary);
  if (!d) return false;
  long at = findKey(d, key);
  if (at < 0) return false;
  if (value) *value = d->entries[static_cast<size_t>(at)].second;
  return true;
}

const void* CFDictionaryGetValue(CFDictionaryRef dict, const void* key) {
  const void* v = nullptr;
  return CFDictionaryGetValueIfPresent(dict, key, &v) ? v : nullptr;
}

Boolean CFDictionaryContainsKey(CFDictionaryRef dict, const void* key) { return CFDictionaryGetValueIfPresent(dict, key, nullptr); }

void CFDictionarySetValue(CFMutableDictionaryRef dict, const void* key, const void* value) {
  auto* d = CFCast<__CFDictionary>(dict, kCFTypeIDDictionary);
  if (!d) return;
  const void* v = (d->hasValueCallbacks && d->valueCallbacks.retain) ? d->valueCallbacks.retain(d->allocator, value) : value;
  long at = findKey(d, key);
  if (at >= 0) {
    auto& e = d->entries[static_cast<size_t>(at)];
    if (d->hasValueCallbacks && d->valueCallbacks.release) d->valueCallbacks.release(d->allocator, e.second);
    e.second = v;
    return;
  }
  const void* k = (d->hasKeyCallbacks && d->keyCallbacks.retain) ? d->keyCallbacks.retain(d->allocator, key) : key;
  d->index.emplace(keyHash(d, k), d->entries.size());
  d->entries.emplace_back(k, v);
}

void CFDictionaryRemoveValue(CFMutableDictionaryRef dict, const void* key) {
  auto* d = CFCast<__CFDictionary>(dict, kCFTypeIDDictionary);
  if (!d) return;
  long at = findKey(d, key);
  if (at < 0) return;
  const size_t i = static_cast<size_t>(at);
  auto e = d->entries[i];
  // Later entries move up one place; their index positions follow.
  auto range = d->index.equal_range(keyHash(d, e.first));
  for (auto it = range.first; it != range.second; ++it)
    if (it->second == i) {
      d->index.erase(it);
      break;
    }
  for (auto& slot : d->index)
    if (slot.second > i) --slot.second;
  d->entries.erase(d->entries.begin() + static_cast<long>(i));
  if (d->hasKeyCallbacks && d->keyCallbacks.release) d->keyCallbacks.release(d->allocator, e.first);
  if (d->hasValueCallbacks && d->valueCallbacks.release) d->valueCallbacks.release(d->allocator, e.second);
}

void CFDictionaryGetKeysAndValues(CFDictionaryRef dict, const void** keys, const void** values) {
  auto* d = CFCast<__CFDictionary>(dict, kCFTypeIDDictionary);
  if (!d) return;
  for (size_t i = 0; i < d->entries.size(); ++i) {
    if (keys) keys[i] = d->entries[i].first;
    if (values) values[i] = d->entries[i].second;
  }
}
