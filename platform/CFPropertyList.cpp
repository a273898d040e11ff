#include "CFPropertyList.h"

#include <tinyxml2.h>

#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "CFInternal.h"
#include "CFString.h"
#include "UTIL_File.h"

namespace {

const char kB64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// ---- writing ----

bool xmlEscape(const std::string& in, std::string* out) {
  for (unsigned char c : in) {
    switch (c) {
      case '&': *out += "&amp;"; break;
      case '<': *out += "&lt;"; break;
      case '>': *out += "&gt;"; break;
      case '\r': *out += "&#13;"; break;  // a raw CR would come back as LF
      default:
        if (c < 0x20 && c != '\t' && c != '\n') return false;  // XML 1.0 cannot carry it
        *out += static_cast<char>(c);
    }
  }
  return true;
}

bool writeValue(CFTypeRef v, int depth, std::string* out, std::string* why) {
  if (depth > kCFPropertyListMaxDepth) {
    *why = "nesting too deep";
    return false;
  }
  std::string indent(static_cast<size_t>(depth), '\t');
  switch (CFGetTypeID(v)) {
    case kCFTypeIDString: {
      std::string esc;
      if (!xmlEscape(CFStringUTF8(static_cast<CFStringRef>(v)), &esc)) {
        *why = "a string holds a control character";
        return false;
      }
      *out += indent + "<string>" + esc + "</string>\n";
      return true;
    }
    case kCFTypeIDNumber: {
      auto* n = static_cast<const __CFNumber*>(v);
      char buf[64];
      if (n->isFloat) {
        if (!std::isfinite(n->d)) {
          *why = "a number is not finite";
          return false;
        }
        snprintf(buf, sizeof buf, "<real>%.17g</real>\n", n->d);
      } else {
        snprintf(buf, sizeof buf, "<integer>%" PRId64 "</integer>\n", n->i);
      }
      *out += indent + buf;
      return true;
    }
    case kCFTypeIDBoolean:
      *out += indent + (CFBooleanGetValue(static_cast<CFBooleanRef>(v)) ? "<true/>\n" : "<false/>\n");
      return true;
    case kCFTypeIDData: {
      CFDataRef d = static_cast<CFDataRef>(v);
      std::string b64 = CFBase64Encode(CFDataGetBytePtr(d), static_cast<size_t>(CFDataGetLength(d)));
      *out += indent + "<data>\n";
      for (size_t i = 0; i < b64.size(); i += 68) *out += indent + b64.substr(i, 68) + "\n";
      *out += indent + "</data>\n";
      return true;
    }
    case kCFTypeIDArray: {
      CFArrayRef a = static_cast<CFArrayRef>(v);
      *out += indent + "<array>\n";
      for (CFIndex i = 0; i < CFArrayGetCount(a); ++i)
        if (!writeValue(CFArrayGetValueAtIndex(a, i), depth + 1, out, why)) return false;
      *out += indent + "</array>\n";
      return true;
    }
    case kCFTypeIDDictionary: {
      CFDictionaryRef d = static_cast<CFDictionaryRef>(v);
      size_t n = static_cast<size_t>(CFDictionaryGetCount(d));
      std::vector<const void*> keys(n), values(n);
      CFDictionaryGetKeysAndValues(d, keys.data(), values.data());
      std::vector<size_t> order(n);
      for (size_t i = 0; i < n; ++i) {
        order[i] = i;
        if (CFGetTypeID(keys[i]) != kCFTypeIDString) {
          *why = "a dictionary key is not a string";
          return false;
        }
      }
      // Sorted keys: the same state always gives the same file.
      std::sort(order.begin(), order.end(), [&](size_t x, size_t y) {
        return CFStringUTF8(static_cast<CFStringRef>(keys[x])) < CFStringUTF8(static_cast<CFStringRef>(keys[y]));
      });
      *out += indent + "<dict>\n";
      for (size_t i : order) {
        std::string esc;
        if (!xmlEscape(CFStringUTF8(static_cast<CFStringRef>(keys[i])), &esc)) {
          *why = "a dictionary key holds a control character";
          return false;
        }
        *out += indent + "\t<key>" + esc + "</key>\n";
        if (!writeValue(values[i], depth + 1, out, why)) return false;
      }
      *out += indent + "</dict>\n";
      return true;
    }
    default:
      *why = "an object that a property list cannot carry";
      return false;
  }
}

// ---- reading ----

struct Reader {
  std::string why;

  CFTypeRef fail(const char* text, const tinyxml2::XMLElement* e) {
    char buf[160];
    snprintf(buf, sizeof buf, "%s (line %d)", text, e ? e->GetLineNum() : 0);
    why = buf;
    return nullptr;
  }

  static const char* text(const tinyxml2::XMLElement* e) {
    const char* t = e->GetText();
    return t ? t : "";
  }

  // The element must hold text only (no child elements).
  static bool textOnly(const tinyxml2::XMLElement* e) { return e->FirstChildElement() == nullptr; }

  CFTypeRef value(const tinyxml2::XMLElement* e, int depth) {
    if (depth > kCFPropertyListMaxDepth) return fail("nesting too deep", e);
    const char* name = e->Name();
    if (!strcmp(name, "string")) {
      if (!textOnly(e)) return fail("<string> holds elements", e);
      const char* t = text(e);
      if (!CFUTF8IsValid(t, strlen(t))) return fail("<string> is not valid UTF-8", e);
      return CFStringMakeFromValidUTF8(t);
    }
    if (!strcmp(name, "integer")) {
      if (!textOnly(e)) return fail("<integer> holds elements", e);
      const char* t = text(e);
      while (*t == ' ' || *t == '\t' || *t == '\n' || *t == '\r') ++t;
      if (!*t) return fail("empty <integer>", e);
      errno = 0;
      char* end = nullptr;
      long long v = strtoll(t, &end, 10);
      while (end && (*end == ' ' || *end == '\t' || *end == '\n' || *end == '\r')) ++end;
      if (errno == ERANGE || !end || *end) return fail("<integer> is not a 64-bit decimal", e);
      SInt64 x = v;
      return CFNumberCreate(nullptr, kCFNumberSInt64Type, &x);
    }
    if (!strcmp(name, "real")) {
      if (!textOnly(e)) return fail("<real> holds elements", e);
      const char* t = text(e);
      char* end = nullptr;
      double v = strtod(t, &end);
      while (end && (*end == ' ' || *end == '\t' || *end == '\n' || *end == '\r')) ++end;
      if (end == t || !end || *end || !std::isfinite(v)) return fail("<real> is not a finite number", e);
      return CFNumberCreate(nullptr, kCFNumberFloat64Type, &v);
    }
    if (!strcmp(name, "true") || !strcmp(name, "false")) {
      if (e->FirstChild()) return fail("<true/> or <false/> is not empty", e);
      return name[0] == 't' ? kCFBooleanTrue : kCFBooleanFalse;
    }
    if (!strcmp(name, "data")) {
      if (!textOnly(e)) return fail("<data> holds elements", e);
      const char* t = text(e);
      std::string bytes;
      if (!CFBase64Decode(t, strlen(t), &bytes)) return fail("<data> is not base64", e);
      return CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(bytes.data()), static_cast<CFIndex>(bytes.size()));
    }
    if (!strcmp(name, "array")) {
      CFMutableArrayRef a = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
      for (auto* c = e->FirstChildElement(); c; c = c->NextSiblingElement()) {
        CFTypeRef v = value(c, depth + 1);
        if (!v) {
          CFRelease(a);
          return nullptr;
        }
        CFArrayAppendValue(a, v);
        CFRelease(v);
      }
      return a;
    }
    if (!strcmp(name, "dict")) {
      CFMutableDictionaryRef d = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
      for (auto* k = e->FirstChildElement(); k; k = k->NextSiblingElement()) {
        if (strcmp(k->Name(), "key") != 0 || !textOnly(k)) {
          CFRelease(d);
          return fail("<dict> entry without <key>", k);
        }
        const char* kt = text(k);
        if (!CFUTF8IsValid(kt, strlen(kt))) {
          CFRelease(d);
          return fail("<key> is not valid UTF-8", k);
        }
        auto* ve = k->NextSiblingElement();
        if (!ve) {
          CFRelease(d);
          return fail("<key> without a value", k);
        }
        CFStringRef key = CFStringMakeFromValidUTF8(kt);
        if (CFDictionaryContainsKey(d, key)) {
          CFRelease(key);
          CFRelease(d);
          return fail("duplicate <key>", k);
        }
        CFTypeRef v = value(ve, depth + 1);
        if (!v) {
          CFRelease(key);
          CFRelease(d);
          return nullptr;
        }
        CFDictionarySetValue(d, key, v);
        CFRelease(key);
        CFRelease(v);
        k = ve;
      }
      return d;
    }
    return fail("unknown property-list element", e);
  }
};

void setError(CFErrorRef* error, const std::string& why) {
  if (error) *error = CFErrorCreateWithText(nullptr, 3840, why.c_str());
}

}  // namespace

std::string CFBase64Encode(const UInt8* bytes, size_t n) {
  std::string out;
  out.reserve((n + 2) / 3 * 4);
  for (size_t i = 0; i < n; i += 3) {
    UInt32 v = UInt32(bytes[i]) << 16;
    if (i + 1 < n) v |= UInt32(bytes[i + 1]) << 8;
    if (i + 2 < n) v |= bytes[i + 2];
    out += kB64[(v >> 18) & 63];
    out += kB64[(v >> 12) & 63];
    out += i + 1 < n ? kB64[(v >> 6) & 63] : '=';
    out += i + 2 < n ? kB64[v & 63] : '=';
  }
  return out;
}

bool CFBase64Decode(const char* text, size_t n, std::string* out) {
  out->clear();
  UInt32 acc = 0;
  int bits = 0, pad = 0;
  for (size_t i = 0; i < n; ++i) {
    char c = text[i];
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') continue;
    if (c == '=') {
      ++pad;
      continue;
    }
    if (pad) return false;  // nothing but padding after padding
    const char* p = c ? strchr(kB64, c) : nullptr;
    if (!p) return false;
    acc = (acc << 6) | static_cast<UInt32>(p - kB64);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out->push_back(static_cast<char>((acc >> bits) & 0xFF));
    }
  }
  if (pad > 2 || bits >= 6) return false;
  return true;
}

CFDataRef CFPropertyListCreateData(CFAllocatorRef, CFPropertyListRef list, CFPropertyListFormat format, CFOptionFlags, CFErrorRef* error) {
  if (error) *error = nullptr;
  if (format != kCFPropertyListXMLFormat_v1_0) {
    setError(error, "only the XML form is written");
    return nullptr;
  }
  std::string out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
      "<plist version=\"1.0\">\n";
  std::string why;
  if (!writeValue(list, 0, &out, &why)) {
    setError(error, why);
    return nullptr;
  }
  out += "</plist>\n";
  return CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(out.data()), static_cast<CFIndex>(out.size()));
}

CFPropertyListRef CFPropertyListCreateWithData(CFAllocatorRef, CFDataRef data, CFOptionFlags, CFPropertyListFormat* format, CFErrorRef* error) {
  if (error) *error = nullptr;
  CFIndex n = CFDataGetLength(data);
  if (n <= 0) {
    setError(error, "empty property list");
    return nullptr;
  }
  tinyxml2::XMLDocument doc;
  if (doc.Parse(reinterpret_cast<const char*>(CFDataGetBytePtr(data)), static_cast<size_t>(n)) != tinyxml2::XML_SUCCESS) {
    setError(error, std::string("not well-formed XML: ") + (doc.ErrorStr() ? doc.ErrorStr() : "?"));
    return nullptr;
  }
  const tinyxml2::XMLElement* root = doc.RootElement();
  if (!root || strcmp(root->Name(), "plist") != 0) {
    setError(error, "the root element is not <plist>");
    return nullptr;
  }
  const tinyxml2::XMLElement* top = root->FirstChildElement();
  if (!top || top->NextSiblingElement()) {
    setError(error, "<plist> must hold exactly one value");
    return nullptr;
  }
  Reader r;
  CFTypeRef v = r.value(top, 0);
  if (!v) {
    setError(error, r.why);
    return nullptr;
  }
  if (format) *format = kCFPropertyListXMLFormat_v1_0;
  return v;
}

CFPropertyListRef CFPropertyListCreateFromFile(const char* path, std::string* why) {
  std::string dummy;
  if (!why) why = &dummy;
  // A host's saved state may be named by anything: a FIFO or device is refused at once, and no
  // more than the limit is read.
  std::string bytes;
  const UTIL_FileCheck check = path ? UTIL_ReadFile(path, bytes, kCFPropertyListMaxFileBytes) : UTIL_FileCheck();
  if (!check.ok()) {
    *why = check.status == UTIL_FileStatus::tooLarge ? "file too large for a property list (" + check.why() + ")"
                                                     : (path ? check.why() : "no path");
    return nullptr;
  }
  CFDataRef d = CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(bytes.data()), static_cast<CFIndex>(bytes.size()));
  CFErrorRef err = nullptr;
  CFPropertyListRef list = CFPropertyListCreateWithData(nullptr, d, kCFPropertyListImmutable, nullptr, &err);
  CFRelease(d);
  if (!list) {
    *why = err ? static_cast<const __CFError*>(static_cast<const void*>(err))->text : "unreadable property list";
  }
  if (err) CFRelease(err);
  return list;
}

bool CFPropertyListWriteToFile(CFPropertyListRef list, const char* path, std::string* why, mode_t newMode) {
  std::string dummy;
  if (!why) why = &dummy;
  CFErrorRef err = nullptr;
  CFDataRef d = CFPropertyListCreateData(nullptr, list, kCFPropertyListXMLFormat_v1_0, 0, &err);
  if (!d) {
    *why = err ? static_cast<const __CFError*>(static_cast<const void*>(err))->text : "cannot write property list";
    if (err) CFRelease(err);
    return false;
  }
  const UInt8* bytes = CFDataGetBytePtr(d);
  const size_t size = static_cast<size_t>(CFDataGetLength(d));
  const bool ok = UTIL_ReplaceFile(path, bytes, size, why, newMode);
  CFRelease(d);
  return ok;
}
