#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <limits>
#include <string>

#include "IPluginBase.h"
#include "TestPlug.h"

TEST(ByteChunk, PutGetRoundTripInNativeOrder) {
  ByteChunk c;
  int i = 0x01020304;
  double d = 3.25;
  bool b = true;
  EXPECT_EQ(c.Put(&i), 4);
  EXPECT_EQ(c.Put(&d), 12);
  EXPECT_EQ(c.Put(&b), 13);
  const uint8_t* bytes = c.GetBytes();
  EXPECT_EQ(bytes[0], 0x04);  // little-endian target, never swapped
  int i2 = 0;
  double d2 = 0;
  bool b2 = false;
  int pos = c.Get(&i2, 0);
  pos = c.Get(&d2, pos);
  pos = c.Get(&b2, pos);
  EXPECT_EQ(pos, 13);
  EXPECT_EQ(i2, i);
  EXPECT_EQ(d2, d);
  EXPECT_TRUE(b2);
}

TEST(ByteChunk, ReadPastEndReturnsMinusOne) {
  ByteChunk c;
  int i = 7;
  c.Put(&i);
  double d = 1.5;
  EXPECT_EQ(c.Get(&d, 0), -1);  // 8 bytes from a 4-byte chunk
  EXPECT_EQ(d, 1.5);            // untouched
  EXPECT_EQ(c.Get(&i, -1), -1);  // a failed position keeps failing
  EXPECT_EQ(c.Get(&i, INT_MAX), -1);  // position + size must not overflow
  EXPECT_EQ(c.Get(&i, INT_MAX - 2), -1);
  char buf[4];
  EXPECT_EQ(c.GetBytes(buf, -1, 0), -1);
  EXPECT_EQ(c.GetBytes(buf, INT_MAX, 1), -1);
  ByteChunk empty;
  EXPECT_EQ(empty.GetBytes(), nullptr);
  EXPECT_EQ(empty.Get(&i, 0), -1);
}

TEST(ByteChunk, StringsAreLengthPrefixedWithoutTerminator) {
  ByteChunk c;
  EXPECT_EQ(c.PutStr("abc"), 7);
  EXPECT_EQ(c.PutStr(""), 11);
  EXPECT_EQ(c.PutStr(std::string("xy")), 17);
  int len = 0;
  c.Get(&len, 0);
  EXPECT_EQ(len, 3);
  UTIL_String s;
  int pos = c.GetStr(&s, 0);
  EXPECT_EQ(pos, 7);
  EXPECT_STREQ(s.Get(), "abc");
  UTIL_String e;
  pos = c.GetStr(&e, pos);  // length 0: empty, position advances by 4
  EXPECT_EQ(pos, 11);
  EXPECT_STREQ(e.Get(), "");
  std::string t;
  EXPECT_EQ(c.GetStr(&t, pos), 17);
  EXPECT_EQ(t, "xy");
}

TEST(ByteChunk, StringStopsAtEmbeddedZero) {
  ByteChunk c;
  int len = 5;
  c.Put(&len);
  c.PutBytes("ab\0cd", 5);
  std::string s;
  EXPECT_EQ(c.GetStr(&s, 0), 9);
  EXPECT_EQ(s, "ab");
}

TEST(ByteChunk, HostileStringLengthsFailWithoutReading) {
  for (int len : {-1, INT_MIN, 100, INT_MAX, INT_MAX - 3}) {
    ByteChunk c;
    c.Put(&len);
    c.PutBytes("abcd", 4);
    std::string s = "keep";
    UTIL_String u("keep");
    EXPECT_EQ(c.GetStr(&s, 0), -1) << len;
    EXPECT_EQ(c.GetStr(&u, 0), -1) << len;
    EXPECT_EQ(s, "keep");
    EXPECT_STREQ(u.Get(), "keep");
  }
  ByteChunk shortLen;
  shortLen.PutBytes("\x01\x00", 2);  // length field itself cut off
  std::string s;
  EXPECT_EQ(shortLen.GetStr(&s, 0), -1);
}

TEST(ByteChunk, AppendResizeClearAndSelfAppend) {
  ByteChunk a, b;
  a.PutStr("one");
  b.PutStr("two");
  EXPECT_EQ(a.PutChunk(&b), 14);
  EXPECT_EQ(a.PutChunk(&a), 28);
  std::string s;
  int pos = a.GetStr(&s, 14);
  EXPECT_EQ(s, "one");
  a.GetStr(&s, pos);
  EXPECT_EQ(s, "two");
  EXPECT_EQ(a.Resize(30), 30);
  EXPECT_EQ(a.GetBytes()[29], 0);
  a.Clear();
  EXPECT_EQ(a.Size(), 0);
  EXPECT_EQ(a.GetBytes(), nullptr);
  EXPECT_TRUE(a.IsEqual(ByteChunk()));
}

TEST(ByteChunk, VersionHeaderBytes) {
  ByteChunk c;
  c.PutStr("junk");
  InitChunkWithIPluginVer(&c);
  ASSERT_EQ(c.Size(), 8);
  const uint8_t expect[] = {0x74, 0x66, 0x66, 0x70, 0x00, 0x00, 0x01, 0x00};
  EXPECT_EQ(memcmp(c.GetBytes(), expect, 8), 0);
  int pos = 0;
  EXPECT_EQ(GetIPluginVerFromChunk(&c, &pos), 0x00010000);
  EXPECT_EQ(pos, 8);
  pos = 4;
  EXPECT_EQ(GetIPluginVerFromChunk(&c, &pos), 0);  // no magic there
  EXPECT_EQ(pos, 4);
  ByteChunk cut;
  cut.PutBytes(expect, 6);
  pos = 0;
  EXPECT_EQ(GetIPluginVerFromChunk(&cut, &pos), 0);
  EXPECT_EQ(pos, -1);
}

namespace {

// The editor's layout: 9289 parameters of mixed types, all hidden from the host.
void initEditorLikeParams(TestPlug& plug) {
  for (int i = 0; i < plug.NParams(); ++i) {
    IParam* p = plug.GetParam(i);
    switch (i % 4) {
      case 0: p->InitBool("b", false); break;
      case 1: p->InitEnum("e", 0, 16); break;
      case 2: p->InitInt("i", 0, -64, 63); break;
      default: p->InitDouble("d", 0.0, 0.0, 1000.0, 0.01); break;
    }
  }
}

void scramble(TestPlug& plug, unsigned seed) {
  for (int i = 0; i < plug.NParams(); ++i) {
    seed = seed * 1103515245u + 12345u;
    plug.GetParam(i)->SetNormalized((seed >> 8) / 16777216.0);
  }
}

}  // namespace

TEST(ParamChunks, AllEditorParametersRoundTrip) {
  const int n = 9289;
  TestPlug a(n, "2-2", 0, 0), b(n, "2-2", 0, 0);
  a.addNonAutomateParamCount(n);
  b.addNonAutomateParamCount(n);
  EXPECT_EQ(a.GetNonAutomatedParamCount(), n);
  initEditorLikeParams(a);
  initEditorLikeParams(b);
  scramble(a, 1);
  ByteChunk c;
  EXPECT_TRUE(a.SerializeParams(&c));  // no host-visible parameters: nothing written
  EXPECT_EQ(c.Size(), 0);
  EXPECT_TRUE(a.SerializeNonAutomatedParams(&c, n));
  EXPECT_EQ(c.Size(), n * 8);
  EXPECT_EQ(b.UnserializeParams(&c, 0), 0);  // H = 0: startPos back, nothing changed
  EXPECT_EQ(b.UnserializeNonAutomatedParams(&c, 0, n), n * 8);
  for (int i = 0; i < n; ++i) ASSERT_EQ(a.GetParam(i)->Value(), b.GetParam(i)->Value()) << i;
  EXPECT_TRUE(b.changes.empty());  // readers call no handler
}

TEST(ParamChunks, HostVisibleBlockRoundTripsAndClamps) {
  TestPlug a(3), b(3);
  for (TestPlug* p : {&a, &b}) {
    p->GetParam(0)->InitInt("i", 5, 2, 9);
    p->GetParam(1)->InitDouble("d", 0.5, 0.0, 1.0, 0.1);
    p->GetParam(2)->InitBool("b", false);
  }
  a.GetParam(1)->Set(0.7);
  ByteChunk c;
  EXPECT_TRUE(a.SerializeState(&c));
  EXPECT_EQ(c.Size(), 24);
  double wild = 1e9;
  memcpy(c.GetBytes(), &wild, 8);  // out of range: stored clamped, not refused
  EXPECT_EQ(b.UnserializeState(&c, 0), 24);
  EXPECT_EQ(b.GetParam(0)->Value(), 9.0);
  EXPECT_EQ(b.GetParam(1)->Value(), 0.7);
}

TEST(ParamChunks, ChunkOneDoubleShortSetsLastToClampedZero) {
  TestPlug plug(3, "2-2", 0, 0);
  plug.addNonAutomateParamCount(3);
  for (int i = 0; i < 3; ++i) plug.GetParam(i)->InitInt("i", 7, 5, 9);
  ByteChunk c;
  double v = 6.0;
  c.Put(&v);
  c.Put(&v);
  EXPECT_EQ(plug.UnserializeNonAutomatedParams(&c, 0, 3), -1);
  EXPECT_EQ(plug.GetParam(1)->Value(), 6.0);
  EXPECT_EQ(plug.GetParam(2)->Value(), 5.0);  // 0.0 held at the minimum
  // A chunk that ends in the first parameter leaves the ones after it alone.
  ByteChunk empty;
  plug.GetParam(1)->Set(8.0);
  EXPECT_EQ(plug.UnserializeNonAutomatedParams(&empty, 0, 3), -1);
  EXPECT_EQ(plug.GetParam(1)->Value(), 8.0);
}

TEST(ParamChunks, HostileCountsAndPositionsAreSafe) {
  TestPlug plug(4, "2-2", 0, 0);
  plug.addNonAutomateParamCount(4);
  ByteChunk c;
  for (int i = 0; i < 4; ++i) {
    double v = 0.5;
    c.Put(&v);
  }
  EXPECT_EQ(plug.UnserializeNonAutomatedParams(&c, -1, 4), -1);  // startPos unchanged
  EXPECT_EQ(plug.UnserializeNonAutomatedParams(&c, 0, 0), 0);
  EXPECT_EQ(plug.UnserializeNonAutomatedParams(&c, 0, 1000), 32);  // limited to the list
  EXPECT_EQ(plug.UnserializeNonAutomatedParams(&c, INT_MAX - 4, 4), -1);
  ByteChunk out;
  EXPECT_TRUE(plug.SerializeNonAutomatedParams(&out, 1000));
  EXPECT_EQ(out.Size(), 32);
  // A hidden count above the parameter count must not make the host-visible count negative.
  plug.addNonAutomateParamCount(100);
  EXPECT_EQ(plug.NHostParams(), 0);
  EXPECT_EQ(plug.UnserializeParams(&c, 0), 0);
  // NaN from a chunk leaves the value as it was.
  double nan = std::numeric_limits<double>::quiet_NaN();
  ByteChunk n;
  n.Put(&nan);
  plug.GetParam(0)->Set(0.25);
  plug.addNonAutomateParamCount(4);
  EXPECT_EQ(plug.UnserializeNonAutomatedParams(&n, 0, 1), 8);
  EXPECT_EQ(plug.GetParam(0)->Value(), 0.25);
}

TEST(Presets, NoPresetsMeansNothingToMakeOrRestore) {
  TestPlug plug(2);
  plug.MakeDefaultPreset("-", 64);
  plug.PruneUninitializedPresets();
  EXPECT_EQ(plug.NPresets(), 0);
  EXPECT_FALSE(plug.RestorePreset(0));
  EXPECT_FALSE(plug.RestorePreset(-1));
  EXPECT_STREQ(plug.GetPresetName(3), "");
}

TEST(Presets, UninitialisedPresetBecomesNumberedUserPreset) {
  TestPlug plug(2, "2-2", 3);
  plug.MakeDefaultPreset("user preset 1", 1);  // preset 0 now carries the name
  EXPECT_TRUE(plug.RestorePreset(1));
  EXPECT_STREQ(plug.GetPresetName(1), "user preset 2");
  EXPECT_EQ(plug.GetCurrentPresetIdx(), 1);
  EXPECT_EQ(plug.presetChanges, 1);
  plug.PruneUninitializedPresets();
  EXPECT_EQ(plug.NPresets(), 2);
  EXPECT_TRUE(plug.RestorePreset("user preset 1"));
  EXPECT_FALSE(plug.RestorePreset(""));
  EXPECT_FALSE(plug.RestorePreset("nobody"));
}

TEST(Presets, RestoreBringsBackValuesAndPresetBankRoundTrips) {
  TestPlug plug(2, "2-2", 2);
  plug.GetParam(0)->InitInt("i", 0, 0, 10);
  plug.GetParam(1)->InitDouble("d", 0.0, 0.0, 1.0, 0.01);
  plug.GetParam(0)->Set(4);
  plug.MakeDefaultPreset("first", 1);
  plug.GetParam(0)->Set(9);
  EXPECT_TRUE(plug.RestorePreset(0));
  EXPECT_EQ(plug.GetParam(0)->Value(), 4.0);
  EXPECT_TRUE(plug.MakePreset("second", 6, 0.5));
  EXPECT_EQ(plug.GetParam(0)->Value(), 4.0);  // live values kept
  ByteChunk bank;
  EXPECT_TRUE(plug.SerializePresets(&bank));
  TestPlug other(2, "2-2", 2);
  other.GetParam(0)->InitInt("i", 0, 0, 10);
  other.GetParam(1)->InitDouble("d", 0.0, 0.0, 1.0, 0.01);
  EXPECT_EQ(other.UnserializePresets(&bank, 0), bank.Size());
  EXPECT_STREQ(other.GetPresetName(1), "second");
  EXPECT_TRUE(other.RestorePreset(1));
  EXPECT_EQ(other.GetParam(0)->Value(), 6.0);
  EXPECT_EQ(other.GetParam(1)->Value(), 0.5);
  ByteChunk cut;
  cut.PutBytes(bank.GetBytes(), bank.Size() - 3);
  EXPECT_EQ(other.UnserializePresets(&cut, 0), -1);
}

TEST(Presets, BlobHelpersRefuseBadInput) {
  TestPlug plug(1, "2-2", 2);
  EXPECT_FALSE(plug.MakePresetFromBlob("x", "not base64!", 3));
  EXPECT_FALSE(plug.MakePresetFromBlob("x", "AAAA", 2));  // decodes to 3 bytes
  EXPECT_TRUE(plug.MakePresetFromBlob("x", "AAAAAAAAAAA=", 8));
  EXPECT_FALSE(plug.SaveProgramAsFXP());
  EXPECT_FALSE(plug.LoadBankFromFXB());
  EXPECT_FALSE(plug.DumpPresetBlob("/nonexistent-dir/x.txt"));
}

TEST(Presets, LongNamesAreCutToTheNameBuffer) {
  TestPlug plug(1, "2-2", 1);
  std::string longName(1000, 'n');
  plug.MakeDefaultPreset(longName.c_str(), 1);
  EXPECT_EQ(strlen(plug.GetPresetName(0)), static_cast<size_t>(MAX_PRESET_NAME_LEN - 1));
  plug.ModifyCurrentPreset("renamed");
  EXPECT_STREQ(plug.GetPresetName(0), "renamed");
  plug.ModifyCurrentPreset("");  // an empty name keeps the old one
  EXPECT_STREQ(plug.GetPresetName(0), "renamed");
}
