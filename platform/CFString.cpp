#include "CFString.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

#include "CFInternal.h"

namespace {

// Length of the UTF-8 sequence at p (1..4), or 0 when it is not a valid sequence.
size_t utf8SeqLen(const unsigned char* p, size_t avail) {
  unsigned char c = p[0];
  if (c < 0x80) return 1;
  size_t len;
  UInt32 cp;
  if ((c & 0xE0) == 0xC0) {
    len = 2;
    cp = c & 0x1F;
  } else if ((c & 0xF0) == 0xE0) {
    len = 3;
    cp = c & 0x0F;
  } else if ((c & 0xF8) == 0xF0) {
    len = 4;
    cp = c & 0x07;
  } else {
    return 0;
  }
  if (len > avail) return 0;
  for (size_t i = 1; i < len; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (p[i] & 0x3F);
  }
  static const UInt32 minCp[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < minCp[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

__CFString* newString(std::string utf8) {
  auto* s = new __CFString;
  s->utf8 = std::move(utf8);
  return s;
}

const std::string kEmpty;

// Can `encoding` carry this text? UTF-8 always; ASCII only without bytes above 0x7F.
bool encodingHolds(const std::string& u, CFStringEncoding encoding) {
  if (encoding == kCFStringEncodingUTF8) return true;
  if (encoding != kCFStringEncodingASCII) return false;
  for (unsigned char c : u)
    if (c >= 0x80) return false;
  return true;
}

}  // namespace

bool CFUTF8IsValid(const char* bytes, size_t n) {
  auto* p = reinterpret_cast<const unsigned char*>(bytes);
  for (size_t i = 0; i < n;) {
    size_t l = utf8SeqLen(p + i, n - i);
    if (!l) return false;
    i += l;
  }
  return true;
}

size_t CFUTF8CutLength(const char* bytes, size_t n, size_t maxBytes) {
  auto* p = reinterpret_cast<const unsigned char*>(bytes);
  size_t i = 0;
  while (i < n) {
    size_t l = utf8SeqLen(p + i, n - i);
    if (!l || i + l > maxBytes) break;
    i += l;
  }
  return i;
}

CFStringRef CFStringMakeFromValidUTF8(const std::string& utf8) { return newString(utf8); }

const std::string& CFStringUTF8(CFStringRef s) {
  auto* str = CFCast<__CFString>(s, kCFTypeIDString);
  return str ? str->utf8 : kEmpty;
}

CFTypeID CFStringGetTypeID() { return kCFTypeIDString; }

CFStringRef CFStringCreateWithBytes(CFAllocatorRef, const UInt8* bytes, CFIndex numBytes, CFStringEncoding encoding, Boolean) {
  if (numBytes < 0 || (numBytes > 0 && !bytes)) return nullptr;
  std::string text(reinterpret_cast<const char*>(bytes), static_cast<size_t>(numBytes));
  if (!encodingHolds(text, encoding) || !CFUTF8IsValid(text.data(), text.size())) return nullptr;
  return newString(std::move(text));
}

CFStringRef CFStringCreateWithCString(CFAllocatorRef allocator, const char* cStr, CFStringEncoding encoding) {
  if (!cStr) return nullptr;
  return CFStringCreateWithBytes(allocator, reinterpret_cast<const UInt8*>(cStr), static_cast<CFIndex>(strlen(cStr)), encoding, false);
}

CFStringRef CFStringCreateCopy(CFAllocatorRef, CFStringRef s) {
  if (!CFCast<__CFString>(s, kCFTypeIDString)) return nullptr;
  return newString(CFStringUTF8(s));
}

CFStringRef CFStringCreateWithFormat(CFAllocatorRef, const void*, CFStringRef format, ...) {
  if (!CFCast<__CFString>(format, kCFTypeIDString)) return nullptr;
  const std::string& f = CFStringUTF8(format);
  std::string out;
  va_list ap;
  va_start(ap, format);
  for (size_t i = 0; i < f.size(); ++i) {
    if (f[i] != '%') {
      out += f[i];
      continue;
    }
    // Collect one conversion: flags, width, precision, length, conversion character.
    size_t j = i + 1;
    while (j < f.size() && strchr("-+ #0123456789.", f[j])) ++j;
    std::string lenMod;
    while (j < f.size() && (f[j] == 'l' || f[j] == 'h' || f[j] == 'z')) lenMod += f[j++];
    if (j >= f.size()) break;
    char conv = f[j];
    std::string spec = f.substr(i, j - i + 1);
    char buf[512];
    buf[0] = 0;
    switch (conv) {
      case '%':
        out += '%';
        break;
      case '@': {
        CFStringRef d = CFCopyDescription(va_arg(ap, CFTypeRef));
        out += d ? CFStringUTF8(d) : "(null)";
        if (d) CFRelease(d);
        break;
      }
      case 'd': case 'i': case 'u': case 'x': case 'X': case 'c':
        if (lenMod == "l" || lenMod == "z")
          snprintf(buf, sizeof buf, spec.c_str(), va_arg(ap, long));
        else if (lenMod == "ll")
          snprintf(buf, sizeof buf, spec.c_str(), va_arg(ap, long long));
        else
          snprintf(buf, sizeof buf, spec.c_str(), va_arg(ap, int));
        out += buf;
        break;
      case 'f': case 'g': case 'e':
        snprintf(buf, sizeof buf, spec.c_str(), va_arg(ap, double));
        out += buf;
        break;
      case 's': {
        const char* s = va_arg(ap, const char*);
        out += s ? s : "(null)";
        break;
      }
      default:
        out += spec;  // unknown conversion: kept as text, no argument taken
        break;
    }
    i = j;
  }
  va_end(ap);
  if (!CFUTF8IsValid(out.data(), out.size())) return nullptr;
  return newString(std::move(out));
}

CFIndex CFStringGetLength(CFStringRef s) {
  const std::string& u = CFStringUTF8(s);
  CFIndex n = 0;
  for (unsigned char c : u) {
    if ((c & 0xC0) != 0x80) ++n;   // one unit per character ...
    if ((c & 0xF8) == 0xF0) ++n;   // ... and a second for those above the basic plane
  }
  return n;
}

CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding encoding) {
  if (length < 0) return kCFNotFound;
  return encoding == kCFStringEncodingASCII ? length : length * 3;
}

Boolean CFStringGetCString(CFStringRef s, char* buffer, CFIndex bufferSize, CFStringEncoding encoding) {
  if (!buffer || bufferSize < 1) return false;
  buffer[0] = 0;
  if (!CFCast<__CFString>(s, kCFTypeIDString)) return false;
  const std::string& u = CFStringUTF8(s);
  if (!encodingHolds(u, encoding) || static_cast<CFIndex>(u.size()) + 1 > bufferSize) return false;
  memcpy(buffer, u.c_str(), u.size() + 1);
  return true;
}

const char* CFStringGetCStringPtr(CFStringRef s, CFStringEncoding encoding) {
  if (!CFCast<__CFString>(s, kCFTypeIDString)) return nullptr;
  const std::string& u = CFStringUTF8(s);
  return encodingHolds(u, encoding) ? u.c_str() : nullptr;
}

CFComparisonResult CFStringCompare(CFStringRef a, CFStringRef b, CFStringCompareFlags) {
  int c = CFStringUTF8(a).compare(CFStringUTF8(b));
  return c < 0 ? kCFCompareLessThan : (c > 0 ? kCFCompareGreaterThan : kCFCompareEqualTo);
}

CFStringRef __CFStringMakeConstantString(const char* cStr) {
  // Interned for the life of the process; the table's strings are reachable, never leaked.
  static std::mutex lock;
  static std::map<std::string, __CFString*>* table = new std::map<std::string, __CFString*>;
  std::lock_guard<std::mutex> g(lock);
  std::string key(cStr ? cStr : "");
  auto it = table->find(key);
  if (it != table->end()) return it->second;
  __CFString* s = newString(key);
  s->h.immortal = true;
  (*table)[key] = s;
  return s;
}
