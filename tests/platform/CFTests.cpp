// Our Core Foundation: strings, numbers, containers and the property-list reader and writer.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include "CFBase.h"
#include "CFBundle.h"
#include "CFCollections.h"
#include "CFPropertyList.h"
#include "CFString.h"

namespace {

std::string text(CFStringRef s) {
  const char* c = s ? CFStringGetCStringPtr(s, kCFStringEncodingUTF8) : nullptr;
  return c ? c : "<null>";
}

CFPropertyListRef parse(const std::string& xml, std::string* why = nullptr) {
  CFDataRef d = CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(xml.data()), static_cast<CFIndex>(xml.size()));
  CFErrorRef err = nullptr;
  CFPropertyListRef list = CFPropertyListCreateWithData(nullptr, d, 0, nullptr, &err);
  CFRelease(d);
  if (err) {
    CFStringRef d = CFErrorCopyDescription(err);
    if (why) *why = text(d);
    CFRelease(d);
    CFRelease(err);
  }
  return list;
}

std::string plist(const std::string& body) { return "<?xml version=\"1.0\"?><plist version=\"1.0\">" + body + "</plist>"; }

}  // namespace

TEST(CFString, RefusesTextThatIsNotUTF8) {
  EXPECT_EQ(nullptr, CFStringCreateWithCString(nullptr, "\xC3", kCFStringEncodingUTF8));
  EXPECT_EQ(nullptr, CFStringCreateWithCString(nullptr, "\xED\xA0\x80", kCFStringEncodingUTF8));  // a surrogate
  EXPECT_EQ(nullptr, CFStringCreateWithCString(nullptr, "\xC0\xAF", kCFStringEncodingUTF8));      // overlong
  EXPECT_EQ(nullptr, CFStringCreateWithCString(nullptr, "caf\xC3\xA9", kCFStringEncodingASCII));
  CFStringRef s = CFStringCreateWithCString(nullptr, "caf\xC3\xA9 \xF0\x9F\x8E\xB9", kCFStringEncodingUTF8);
  ASSERT_NE(nullptr, s);
  EXPECT_EQ(7, CFStringGetLength(s));  // UTF-16 units: the emoji counts twice
  char small[4];
  EXPECT_FALSE(CFStringGetCString(s, small, sizeof small, kCFStringEncodingUTF8));
  EXPECT_STREQ("", small);
  CFRelease(s);
}

TEST(CFString, FormatCompareAndCut) {
  CFNumberRef n = nullptr;
  int v = 7;
  n = CFNumberCreate(nullptr, kCFNumberIntType, &v);
  CFStringRef s = CFStringCreateWithFormat(nullptr, nullptr, CFSTR("%d|%s|%@|%@|100%%"), 42, "x", CFSTR("str"), n);
  EXPECT_EQ("42|x|str|7|100%", text(s));
  CFRelease(s);
  CFRelease(n);
  EXPECT_EQ(kCFCompareLessThan, CFStringCompare(CFSTR("a"), CFSTR("b"), 0));
  EXPECT_EQ(kCFCompareEqualTo, CFStringCompare(CFSTR("a"), CFSTR("a"), 0));
  EXPECT_EQ(CFSTR("same"), CFSTR("same"));  // constants are made once
  EXPECT_EQ(3u, CFUTF8CutLength("a\xC3\xA9z", 4, 3));
  EXPECT_EQ(1u, CFUTF8CutLength("a\xC3\xA9z", 4, 2));
}

TEST(CFNumber, SignedThirtyTwoBitRoundTripAndRangeChecks) {
  SInt32 v = -123456;
  CFNumberRef n = CFNumberCreate(nullptr, kCFNumberSInt32Type, &v);
  SInt32 out = 0;
  EXPECT_TRUE(CFNumberGetValue(n, kCFNumberSInt32Type, &out));
  EXPECT_EQ(v, out);
  CFRelease(n);
  SInt64 big = 1LL << 40;
  n = CFNumberCreate(nullptr, kCFNumberSInt64Type, &big);
  EXPECT_FALSE(CFNumberGetValue(n, kCFNumberSInt32Type, &out));
  CFRelease(n);
  double d = 2.5;
  n = CFNumberCreate(nullptr, kCFNumberFloat64Type, &d);
  EXPECT_FALSE(CFNumberGetValue(n, kCFNumberSInt32Type, &out));  // not a whole number
  CFRelease(n);
}

TEST(CFCollections, ContainersRetainWhatTheyHoldAndReleaseOnRemoval) {
  CFStringRef s = CFStringCreateWithCString(nullptr, "value", kCFStringEncodingUTF8);
  CFMutableArrayRef a = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
  CFArrayAppendValue(a, s);
  EXPECT_EQ(2, CFGetRetainCount(s));
  EXPECT_EQ(nullptr, CFArrayGetValueAtIndex(a, 1));
  EXPECT_EQ(nullptr, CFArrayGetValueAtIndex(a, -1));
  CFMutableDictionaryRef d = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
  CFDictionarySetValue(d, CFSTR("k"), s);
  CFDictionarySetValue(d, CFSTR("k"), s);  // replacing keeps one reference
  EXPECT_EQ(3, CFGetRetainCount(s));
  EXPECT_EQ(1, CFDictionaryGetCount(d));
  CFDictionaryRemoveValue(d, CFSTR("k"));
  EXPECT_EQ(2, CFGetRetainCount(s));
  CFRelease(a);
  EXPECT_EQ(1, CFGetRetainCount(s));
  CFRelease(d);
  CFRelease(s);
}

TEST(CFCollections, DictionaryFindsKeysByValueAndKeepsInsertionOrderAcrossRemovals) {
  SInt32 one = 1;
  double oneF = 1.0, minusZero = -0.0;
  SInt64 big = -5;
  const UInt8 bytes[] = {1, 2, 3};
  CFNumberRef n1 = CFNumberCreate(nullptr, kCFNumberSInt32Type, &one), f1 = CFNumberCreate(nullptr, kCFNumberFloat64Type, &oneF);
  CFNumberRef mz = CFNumberCreate(nullptr, kCFNumberFloat64Type, &minusZero), neg = CFNumberCreate(nullptr, kCFNumberSInt64Type, &big);
  SInt32 zero = 0;
  CFNumberRef z = CFNumberCreate(nullptr, kCFNumberSInt32Type, &zero);
  CFDataRef d1 = CFDataCreate(nullptr, bytes, 3), d2 = CFDataCreate(nullptr, bytes, 3);
  CFStringRef s1 = CFStringCreateWithCString(nullptr, "key", kCFStringEncodingUTF8);
  // Each pair: a key stored, then an equal but distinct object that must find it.
  const void* pairs[][2] = {{s1, CFSTR("key")}, {n1, f1}, {mz, z}, {d1, d2}, {kCFBooleanTrue, kCFBooleanTrue}, {neg, neg}};
  CFMutableDictionaryRef d = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
  for (auto& p : pairs) CFDictionarySetValue(d, p[0], p[0]);
  ASSERT_EQ(6, CFDictionaryGetCount(d));
  for (auto& p : pairs) EXPECT_EQ(p[0], CFDictionaryGetValue(d, p[1]));
  CFDictionaryRemoveValue(d, f1);  // removes the integer 1
  CFDictionarySetValue(d, CFSTR("key"), n1);  // replaces in place
  const void* keys[5];
  const void* values[5];
  ASSERT_EQ(5, CFDictionaryGetCount(d));
  CFDictionaryGetKeysAndValues(d, keys, values);
  const void* order[] = {s1, mz, d1, kCFBooleanTrue, neg};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(order[i], keys[i]) << i;
    EXPECT_EQ(i == 0 ? n1 : order[i], values[i]) << i;
    EXPECT_EQ(values[i], CFDictionaryGetValue(d, order[i])) << i;
  }
  EXPECT_FALSE(CFDictionaryContainsKey(d, n1));
  CFRelease(d);
  for (CFTypeRef o : {(CFTypeRef)n1, (CFTypeRef)f1, (CFTypeRef)mz, (CFTypeRef)neg, (CFTypeRef)z, (CFTypeRef)d1, (CFTypeRef)d2, (CFTypeRef)s1}) CFRelease(o);
}

// A state file with 100,000 keys reads in time proportional to its size (the bound is generous
// for sanitizer builds; a search key by key takes minutes). bench/platform prints the figure.
TEST(CFPropertyList, HundredThousandKeysReadInLinearTime) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n";
  for (int i = 0; i < 100000; ++i) xml += "<key>k" + std::to_string(i) + "</key><integer>" + std::to_string(i) + "</integer>\n";
  xml += "</dict>\n</plist>\n";
  std::string path = "/tmp/sorvanta-cf-test-" + std::to_string(getpid()) + ".plist";
  FILE* f = fopen(path.c_str(), "wb");
  ASSERT_TRUE(f);
  fwrite(xml.data(), 1, xml.size(), f);
  fclose(f);
  auto t0 = std::chrono::steady_clock::now();
  std::string why;
  CFPropertyListRef list = CFPropertyListCreateFromFile(path.c_str(), &why);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  remove(path.c_str());
  ASSERT_EQ(CFDictionaryGetTypeID(), CFGetTypeID(list)) << why;
  EXPECT_EQ(100000, CFDictionaryGetCount(static_cast<CFDictionaryRef>(list)));
  SInt64 v = 0;
  CFNumberGetValue(static_cast<CFNumberRef>(CFDictionaryGetValue(static_cast<CFDictionaryRef>(list), CFSTR("k99999"))), kCFNumberSInt64Type, &v);
  EXPECT_EQ(99999, v);
  EXPECT_LT(seconds, 15.0);
  CFRelease(list);
}

TEST(CFPropertyList, WritesAndReadsBackEveryType) {
  CFMutableDictionaryRef d = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
  SInt32 i = -5;
  CFNumberRef n = CFNumberCreate(nullptr, kCFNumberSInt32Type, &i);
  double r = 0.125;
  CFNumberRef real = CFNumberCreate(nullptr, kCFNumberFloat64Type, &r);
  const UInt8 bytes[] = {0, 1, 2, 0xFF, 0x80};
  CFDataRef data = CFDataCreate(nullptr, bytes, sizeof bytes);
  CFStringRef str = CFStringCreateWithCString(nullptr, "a<b>&\"c\"\r\n\xC3\xA9", kCFStringEncodingUTF8);
  CFMutableArrayRef arr = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
  CFArrayAppendValue(arr, kCFBooleanTrue);
  CFArrayAppendValue(arr, kCFBooleanFalse);
  CFDictionarySetValue(d, CFSTR("n"), n);
  CFDictionarySetValue(d, CFSTR("r"), real);
  CFDictionarySetValue(d, CFSTR("data"), data);
  CFDictionarySetValue(d, CFSTR("s"), str);
  CFDictionarySetValue(d, CFSTR("a"), arr);
  for (CFTypeRef o : {CFTypeRef(n), CFTypeRef(real), CFTypeRef(data), CFTypeRef(str), CFTypeRef(arr)}) CFRelease(o);

  CFDataRef xml = CFPropertyListCreateData(nullptr, d, kCFPropertyListXMLFormat_v1_0, 0, nullptr);
  ASSERT_NE(nullptr, xml);
  CFPropertyListRef back = CFPropertyListCreateWithData(nullptr, xml, 0, nullptr, nullptr);
  ASSERT_NE(nullptr, back);
  EXPECT_TRUE(CFEqual(d, back));
  CFRelease(back);
  CFRelease(xml);
  CFRelease(d);
}

TEST(CFPropertyList, WriterRefusesWhatXMLCannotCarry) {
  CFMutableDictionaryRef d = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
  CFStringRef ctl = CFStringCreateWithCString(nullptr, "bell\x07", kCFStringEncodingUTF8);
  CFDictionarySetValue(d, CFSTR("s"), ctl);
  CFRelease(ctl);
  CFErrorRef err = nullptr;
  EXPECT_EQ(nullptr, CFPropertyListCreateData(nullptr, d, kCFPropertyListXMLFormat_v1_0, 0, &err));
  ASSERT_NE(nullptr, err);
  CFRelease(err);
  CFRelease(d);
}

TEST(CFPropertyList, ReaderRefusesMalformedInput) {
  const char* bad[] = {
      "",
      "<plist><dict>",
      "<notplist><dict/></notplist>",
      "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict/><dict/></plist>",
  };
  for (const char* x : bad) EXPECT_EQ(nullptr, parse(x)) << x;
  const std::string bodies[] = {
      "<dict><key>a</key><integer>1</integer><key>a</key><integer>2</integer></dict>",  // duplicate key
      "<dict><key>a</key></dict>",                                                        // key without value
      "<dict><string>x</string></dict>",                                                  // value without key
      "<integer>99999999999999999999</integer>",
      "<integer>12abc</integer>",
      "<integer></integer>",
      "<real>nan</real>",
      "<data>!!!!</data>",
      "<data>A</data>",
      "<string>\xC3</string>",
      "<string>&#xD800;</string>",
      "<date>2020-01-01T00:00:00Z</date>",
      "<true>x</true>",
      "<string><b/></string>",
  };
  for (const auto& b : bodies) {
    std::string why;
    EXPECT_EQ(nullptr, parse(plist(b), &why)) << b;
    EXPECT_FALSE(why.empty()) << b;
  }
  for (int depth : {40, 100, 20000}) {  // ours stops at 32, the XML parser at 100: no stack overflow
    std::string deep;
    for (int i = 0; i < depth; ++i) deep += "<array>";
    for (int i = 0; i < depth; ++i) deep += "</array>";
    EXPECT_EQ(nullptr, parse(plist(deep))) << depth;
  }
}

TEST(CFPropertyList, Base64DecodesWithWhiteSpaceAndPadding) {
  std::string out;
  EXPECT_TRUE(CFBase64Decode(" AAEC\n/w==\t", 11, &out));
  EXPECT_EQ(std::string("\x00\x01\x02\xFF", 4), out);
  EXPECT_FALSE(CFBase64Decode("AA=A", 4, &out));
  EXPECT_EQ("AAEC/w==", CFBase64Encode(reinterpret_cast<const UInt8*>("\x00\x01\x02\xFF"), 4));
}

TEST(CFBundle, UnknownIdentifierFindsNoBundle) {
  EXPECT_EQ(nullptr, CFBundleGetBundleWithIdentifier(CFSTR("com.example.none")));
  EXPECT_EQ(nullptr, CFBundleGetIdentifier(CFBundleGetMainBundle()));  // the test program lies in no bundle
  EXPECT_EQ("", CFBundleFolderContaining("/proc/self/exe"));
}
