#include "CFBase.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "CFInternal.h"
#include "CFString.h"

struct __CFAllocator {
  int unused;
};

namespace {

const __CFAllocator systemAllocator{0};

const CFObjectHeader* header(CFTypeRef cf) {
  auto* h = static_cast<const CFObjectHeader*>(cf);
  return (h && h->magic == kCFObjectMagic) ? h : nullptr;
}

__CFBoolean* makeBool(bool v) {
  auto* b = new __CFBoolean;
  b->value = v;
  b->h.immortal = true;
  return b;
}

void destroy(CFObjectHeader* h) {
  h->magic = 0;  // a released handle that is used again is then refused, not followed
  switch (h->type) {
    case kCFTypeIDString: delete reinterpret_cast<__CFString*>(h); break;
    case kCFTypeIDNumber: delete reinterpret_cast<__CFNumber*>(h); break;
    case kCFTypeIDData: delete reinterpret_cast<__CFData*>(h); break;
    case kCFTypeIDError: delete reinterpret_cast<__CFError*>(h); break;
    case kCFTypeIDURL: delete reinterpret_cast<__CFURL*>(h); break;
    case kCFTypeIDArray: {
      auto* a = reinterpret_cast<__CFArray*>(h);
      if (a->hasCallbacks && a->callbacks.release)
        for (const void* v : a->values) a->callbacks.release(a->allocator, v);
      delete a;
      break;
    }
    case kCFTypeIDDictionary: {
      auto* d = reinterpret_cast<__CFDictionary*>(h);
      for (auto& e : d->entries) {
        if (d->hasKeyCallbacks && d->keyCallbacks.release) d->keyCallbacks.release(d->allocator, e.first);
        if (d->hasValueCallbacks && d->valueCallbacks.release) d->valueCallbacks.release(d->allocator, e.second);
      }
      delete d;
      break;
    }
    case kCFTypeIDBundle: {
      auto* b = reinterpret_cast<__CFBundle*>(h);
      if (b->info) CFRelease(b->info);
      if (b->identifierRef) CFRelease(b->identifierRef);
      delete b;
      break;
    }
    default: break;  // booleans are immortal
  }
}

double numberAsDouble(const __CFNumber* n) { return n->isFloat ? n->d : static_cast<double>(n->i); }

}  // namespace

const CFAllocatorRef kCFAllocatorDefault = nullptr;
const CFAllocatorRef kCFAllocatorSystemDefault = &systemAllocator;
const CFBooleanRef kCFBooleanTrue = makeBool(true);
const CFBooleanRef kCFBooleanFalse = makeBool(false);

void* CFAllocatorAllocate(CFAllocatorRef, CFIndex size, CFOptionFlags) {
  if (size <= 0) return nullptr;
  return malloc(static_cast<size_t>(size));
}

void CFAllocatorDeallocate(CFAllocatorRef, void* ptr) { free(ptr); }

CFTypeRef CFRetain(CFTypeRef cf) {
  auto* h = const_cast<CFObjectHeader*>(header(cf));
  if (!h) return cf;
  if (!h->immortal) h->retainCount.fetch_add(1, std::memory_order_relaxed);
  return cf;
}

void CFRelease(CFTypeRef cf) {
  auto* h = const_cast<CFObjectHeader*>(header(cf));
  if (!h || h->immortal) return;
  if (h->retainCount.fetch_sub(1, std::memory_order_acq_rel) == 1) destroy(h);
}

CFIndex CFGetRetainCount(CFTypeRef cf) {
  auto* h = header(cf);
  if (!h) return 0;
  return h->immortal ? 0x7fffffff : h->retainCount.load();
}

CFTypeID CFGetTypeID(CFTypeRef cf) {
  auto* h = header(cf);
  return h ? h->type : 0;
}

Boolean CFEqual(CFTypeRef a, CFTypeRef b) {
  if (a == b) return true;
  auto *ha = header(a), *hb = header(b);
  if (!ha || !hb || ha->type != hb->type) return false;
  switch (ha->type) {
    case kCFTypeIDString: return CFStringUTF8(static_cast<CFStringRef>(a)) == CFStringUTF8(static_cast<CFStringRef>(b));
    case kCFTypeIDNumber: {
      auto *na = static_cast<const __CFNumber*>(a), *nb = static_cast<const __CFNumber*>(b);
      if (!na->isFloat && !nb->isFloat) return na->i == nb->i;
      return numberAsDouble(na) == numberAsDouble(nb);
    }
    case kCFTypeIDData: return static_cast<const __CFData*>(a)->bytes == static_cast<const __CFData*>(b)->bytes;
    case kCFTypeIDBoolean: return static_cast<const __CFBoolean*>(a)->value == static_cast<const __CFBoolean*>(b)->value;
    case kCFTypeIDURL: return static_cast<const __CFURL*>(a)->path == static_cast<const __CFURL*>(b)->path;
    case kCFTypeIDArray: {
      auto *x = static_cast<const __CFArray*>(a), *y = static_cast<const __CFArray*>(b);
      if (x->values.size() != y->values.size()) return false;
      for (size_t i = 0; i < x->values.size(); ++i) {
        bool eq = x->hasCallbacks && x->callbacks.equal ? x->callbacks.equal(x->values[i], y->values[i]) : x->values[i] == y->values[i];
        if (!eq) return false;
      }
      return true;
    }
    case kCFTypeIDDictionary: {
      auto *x = static_cast<const __CFDictionary*>(a), *y = static_cast<const __CFDictionary*>(b);
      if (x->entries.size() != y->entries.size()) return false;
      for (auto& e : x->entries) {
        const void* other = nullptr;
        if (!CFDictionaryGetValueIfPresent(y, e.first, &other)) return false;
        bool eq = x->hasValueCallbacks && x->valueCallbacks.equal ? x->valueCallbacks.equal(e.second, other) : e.second == other;
        if (!eq) return false;
      }
      return true;
    }
    default: return false;
  }
}

namespace {

CFHashCode hashBytes(const unsigned char* p, size_t n) {
  CFHashCode x = 5381;
  for (size_t i = 0; i < n; ++i) x = x * 33 + p[i];
  return x;
}

CFHashCode hashText(const std::string& s) { return hashBytes(reinterpret_cast<const unsigned char*>(s.data()), s.size()); }

}  // namespace

// Objects that CFEqual calls equal hash alike (dictionaries index their keys by this hash).
CFHashCode CFHash(CFTypeRef cf) {
  auto* h = header(cf);
  if (!h) return 0;
  switch (h->type) {
    case kCFTypeIDString: return hashText(CFStringUTF8(static_cast<CFStringRef>(cf)));
    case kCFTypeIDNumber: {
      // An integer equals a float of the same value: both hash by their value as a double.
      double v = numberAsDouble(static_cast<const __CFNumber*>(cf));
      if (v == 0.0) v = 0.0;  // -0.0 equals 0.0
      unsigned char bits[sizeof v];
      memcpy(bits, &v, sizeof v);
      return hashBytes(bits, sizeof bits);
    }
    case kCFTypeIDData: {
      auto& b = static_cast<const __CFData*>(cf)->bytes;
      return hashBytes(b.data(), b.size());
    }
    case kCFTypeIDBoolean: return static_cast<const __CFBoolean*>(cf)->value ? 1 : 2;
    case kCFTypeIDURL: return hashText(static_cast<const __CFURL*>(cf)->path);
    // Collections compare by contents under their own callbacks: the count is what equal ones share.
    case kCFTypeIDArray: return static_cast<const __CFArray*>(cf)->values.size();
    case kCFTypeIDDictionary: return static_cast<const __CFDictionary*>(cf)->entries.size();
    default: return reinterpret_cast<CFHashCode>(cf);
  }
}

CFStringRef CFCopyDescription(CFTypeRef cf) {
  auto* h = header(cf);
  if (!h) return nullptr;
  char buf[64];
  switch (h->type) {
    case kCFTypeIDString: return static_cast<CFStringRef>(CFRetain(cf));
    case kCFTypeIDNumber: {
      auto* n = static_cast<const __CFNumber*>(cf);
      if (n->isFloat)
        snprintf(buf, sizeof buf, "%.17g", n->d);
      else
        snprintf(buf, sizeof buf, "%lld", static_cast<long long>(n->i));
      return CFStringMakeFromValidUTF8(buf);
    }
    case kCFTypeIDBoolean: return CFStringMakeFromValidUTF8(static_cast<const __CFBoolean*>(cf)->value ? "true" : "false");
    case kCFTypeIDURL: return CFStringMakeFromValidUTF8(static_cast<const __CFURL*>(cf)->path);
    case kCFTypeIDError: return CFStringMakeFromValidUTF8(static_cast<const __CFError*>(cf)->text);
    default:
      snprintf(buf, sizeof buf, "<CF object type %lu at %p>", h->type, cf);
      return CFStringMakeFromValidUTF8(buf);
  }
}

// ---- numbers ----

CFTypeID CFNumberGetTypeID() { return kCFTypeIDNumber; }

CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType type, const void* valuePtr) {
  if (!valuePtr) return nullptr;
  auto* n = new __CFNumber;
  n->declaredType = type;
  switch (type) {
    case kCFNumberSInt8Type: { SInt8 v; memcpy(&v, valuePtr, sizeof v); n->i = v; break; }
    case kCFNumberSInt16Type: { SInt16 v; memcpy(&v, valuePtr, sizeof v); n->i = v; break; }
    case kCFNumberSInt32Type: case kCFNumberIntType: { SInt32 v; memcpy(&v, valuePtr, sizeof v); n->i = v; break; }
    case kCFNumberSInt64Type: case kCFNumberLongType: { SInt64 v; memcpy(&v, valuePtr, sizeof v); n->i = v; break; }
    case kCFNumberFloat32Type: case kCFNumberFloatType: { float v; memcpy(&v, valuePtr, sizeof v); n->isFloat = true; n->d = v; break; }
    case kCFNumberFloat64Type: case kCFNumberDoubleType: { double v; memcpy(&v, valuePtr, sizeof v); n->isFloat = true; n->d = v; break; }
    default: delete n; return nullptr;
  }
  return n;
}

CFNumberType CFNumberGetType(CFNumberRef number) {
  auto* n = CFCast<__CFNumber>(number, kCFTypeIDNumber);
  return n ? n->declaredType : 0;
}

Boolean CFNumberIsFloatType(CFNumberRef number) {
  auto* n = CFCast<__CFNumber>(number, kCFTypeIDNumber);
  return n && n->isFloat;
}

Boolean CFNumberGetValue(CFNumberRef number, CFNumberType type, void* valuePtr) {
  auto* n = CFCast<__CFNumber>(number, kCFTypeIDNumber);
  if (!n || !valuePtr) return false;
  auto asInt = [&](SInt64 lo, SInt64 hi, SInt64* out) {
    if (n->isFloat) {
      if (!std::isfinite(n->d) || n->d < static_cast<double>(lo) || n->d > static_cast<double>(hi)) {
        *out = 0;
        return false;
      }
      *out = static_cast<SInt64>(n->d);
      return static_cast<double>(*out) == n->d;
    }
    *out = n->i;
    if (n->i < lo || n->i > hi) {
      *out = static_cast<SInt64>(static_cast<UInt64>(n->i) & static_cast<UInt64>(hi - lo));  // wrapped, as the platform does
      return false;
    }
    return true;
  };
  SInt64 v = 0;
  bool ok;
  switch (type) {
    case kCFNumberSInt8Type: { ok = asInt(INT8_MIN, INT8_MAX, &v); SInt8 x = static_cast<SInt8>(v); memcpy(valuePtr, &x, sizeof x); return ok; }
    case kCFNumberSInt16Type: { ok = asInt(INT16_MIN, INT16_MAX, &v); SInt16 x = static_cast<SInt16>(v); memcpy(valuePtr, &x, sizeof x); return ok; }
    case kCFNumberSInt32Type: case kCFNumberIntType: { ok = asInt(INT32_MIN, INT32_MAX, &v); SInt32 x = static_cast<SInt32>(v); memcpy(valuePtr, &x, sizeof x); return ok; }
    case kCFNumberSInt64Type: case kCFNumberLongType: {
      if (n->isFloat) {
        ok = asInt(INT64_MIN, INT64_MAX, &v);
      } else {
        v = n->i;
        ok = true;
      }
      memcpy(valuePtr, &v, sizeof v);
      return ok;
    }
    case kCFNumberFloat32Type: case kCFNumberFloatType: { float x = static_cast<float>(numberAsDouble(n)); memcpy(valuePtr, &x, sizeof x); return static_cast<double>(x) == numberAsDouble(n); }
    case kCFNumberFloat64Type: case kCFNumberDoubleType: { double x = numberAsDouble(n); memcpy(valuePtr, &x, sizeof x); return true; }
    default: return false;
  }
}

// ---- booleans ----

CFTypeID CFBooleanGetTypeID() { return kCFTypeIDBoolean; }

Boolean CFBooleanGetValue(CFBooleanRef boolean) {
  auto* b = CFCast<__CFBoolean>(boolean, kCFTypeIDBoolean);
  return b && b->value;
}

// ---- data ----

CFTypeID CFDataGetTypeID() { return kCFTypeIDData; }

CFDataRef CFDataCreate(CFAllocatorRef, const UInt8* bytes, CFIndex length) {
  if (length < 0 || (length > 0 && !bytes)) return nullptr;
  auto* d = new __CFData;
  d->bytes.assign(bytes, bytes + length);
  return d;
}

CFIndex CFDataGetLength(CFDataRef data) {
  auto* d = CFCast<__CFData>(data, kCFTypeIDData);
  return d ? static_cast<CFIndex>(d->bytes.size()) : 0;
}

const UInt8* CFDataGetBytePtr(CFDataRef data) {
  auto* d = CFCast<__CFData>(data, kCFTypeIDData);
  return (d && !d->bytes.empty()) ? d->bytes.data() : nullptr;
}

// ---- errors ----

CFTypeID CFErrorGetTypeID() { return kCFTypeIDError; }

CFErrorRef CFErrorCreateWithText(CFAllocatorRef, CFIndex code, const char* utf8Text) {
  auto* e = new __CFError;
  e->code = code;
  std::string t = utf8Text ? utf8Text : "";
  t.resize(CFUTF8CutLength(t.data(), t.size(), t.size()));
  e->text = t;
  return e;
}

CFIndex CFErrorGetCode(CFErrorRef error) {
  auto* e = CFCast<__CFError>(error, kCFTypeIDError);
  return e ? e->code : 0;
}

CFStringRef CFErrorCopyDescription(CFErrorRef error) {
  auto* e = CFCast<__CFError>(error, kCFTypeIDError);
  return e ? CFStringMakeFromValidUTF8(e->text) : nullptr;
}
