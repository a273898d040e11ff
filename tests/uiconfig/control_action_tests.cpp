#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ControlAction.h"
#include "ParamNames.h"
#include "UIConfigText.h"

namespace {

// Stand-ins for controls: the record only stores and compares the pointers.
IControl* fakeControl(int id) {
  static char storage[16];
  return reinterpret_cast<IControl*>(&storage[id]);
}

// The records of a parameter list, as the parameters would hold them.
struct Records {
  std::map<int, ControlAction*> slots;
  ~Records() {
    for (auto& s : slots) delete s.second;
  }
  ControlAction::RecordSlotLookup lookup() {
    return [this](int n) -> ControlAction** {
      if (!isValidParamNumber(n)) return nullptr;
      return &slots[n];
    };
  }
};

std::vector<int> byteColumn(const ControlActionSysExMessage& m, int index) {
  std::vector<int> out;
  for (const auto& msg : m.messages) out.push_back(msg.at(static_cast<std::size_t>(index)));
  return out;
}

// A per-part parameter message of nine bytes: manufacturer, model, device, kind, part, page,
// parameter, value, spare.
const char* const kPartTemplate = "3E 10 00 20 00 05 0C 00 00";

}  // namespace

TEST(ControlAction, FreshRecordHoldsTheInitialValues) {
  const ControlAction r(kActionCC);
  EXPECT_EQ(-1, r.linkOffset);
  EXPECT_EQ(-1, r.part);
  EXPECT_EQ(kActionCC, r.type);
  EXPECT_EQ(-1, r.ccNumber);
  EXPECT_EQ(-1, r.msbValue);
  EXPECT_EQ(-1, r.lsbValue);
  EXPECT_EQ(-1, r.lsbControl);
  EXPECT_EQ(-1, r.channel);
  EXPECT_EQ(-1, r.noPart);
  EXPECT_TRUE(r.controls.empty());
  EXPECT_EQ(-1, r.linkInfo.param1);
  EXPECT_EQ(-1, r.linkInfo.param2);
  EXPECT_EQ(-1, r.linkInfo.param3);
  EXPECT_FALSE(r.sysex.multiMessage);
  EXPECT_TRUE(r.sysex.messages.empty());
  EXPECT_TRUE(r.sysex.messageLists.empty());
  EXPECT_EQ(-1, r.ccOffValue);
  EXPECT_EQ(-1, r.ccOnValue);
}

TEST(ControlAction, LastFactoryDecidesTheKindAndControlsStayGathered) {
  ControlAction* slot = nullptr;
  ControlAction* r = ControlAction::bindControl(slot, kActionCC, fakeControl(1));
  ASSERT_EQ(slot, r);
  r->ccNumber = 74;
  r->channel = 3;
  // A plain switch bound to the same parameter: kind 0, nothing sent, both controls kept.
  EXPECT_EQ(r, ControlAction::bindControl(slot, kActionNone, fakeControl(2)));
  EXPECT_EQ(kActionNone, r->type);
  EXPECT_EQ(74, r->ccNumber);
  EXPECT_EQ((std::vector<IControl*>{fakeControl(1), fakeControl(2)}), r->controls);
  EXPECT_EQ(r, ControlAction::bindControl(slot, kActionSysEx, nullptr));
  EXPECT_EQ(2u, r->controls.size());
  delete slot;
}

TEST(ControlAction, LinkWritesBothDirectionsAndAddsThePartOnce) {
  Records recs;
  const int part = 3;
  ControlAction* own = ControlAction::bindControl(recs.slots[kFilter1Cutoff + part], kActionCC,
                                                  fakeControl(1));
  // The link text reader has already added the part to both numbers.
  const LinkInfo link{kFilter2Cutoff + part, kFilterLinkSwitch + part, -1};
  ControlAction::setControlLink(own, kFilter1Cutoff + part, link, recs.lookup());

  EXPECT_EQ(kFilter2Cutoff + part, own->linkInfo.param1);
  EXPECT_EQ(kFilterLinkSwitch + part, own->linkInfo.param2);
  ControlAction* partner = recs.slots[kFilter2Cutoff + part];
  ASSERT_NE(nullptr, partner);
  EXPECT_EQ(kActionSysEx, partner->type) << "a record made for a partner starts as kind 6";
  EXPECT_EQ(kFilter1Cutoff + part, partner->linkInfo.param1);
  EXPECT_EQ(kFilterLinkSwitch + part, partner->linkInfo.param2);
  EXPECT_EQ(-1, partner->linkInfo.param3);
  EXPECT_EQ(0u, recs.slots.count(kFilter2Cutoff + 2 * part)) << "part added twice";

  // The partner's own factory later sets its kind and keeps the link.
  ControlAction::bindControl(recs.slots[kFilter2Cutoff + part], kActionCC, fakeControl(2));
  EXPECT_EQ(kActionCC, partner->type);
  EXPECT_EQ(kFilter1Cutoff + part, partner->linkInfo.param1);
}

TEST(ControlAction, LinkWithoutBothNumbersOrToNoParameterWritesNoPartner) {
  Records recs;
  ControlAction own(kActionCC);
  ControlAction::setControlLink(&own, 100, LinkInfo{200, -1, -1}, recs.lookup());
  ControlAction::setControlLink(&own, 100, LinkInfo{-1, 5, -1}, recs.lookup());
  EXPECT_EQ(-1, own.linkInfo.param1);
  EXPECT_TRUE(recs.slots.empty());

  ControlAction::setControlLink(&own, 100, LinkInfo{kNumParams, 5, 9}, recs.lookup());
  EXPECT_EQ(kNumParams, own.linkInfo.param1) << "the declaring record keeps what it was given";
  EXPECT_EQ(9, own.linkInfo.param3);
  EXPECT_TRUE(recs.slots.empty());
}

TEST(ControlAction, ExistingPartnerKeepsItsKind) {
  Records recs;
  ControlAction::bindControl(recs.slots[200], kActionCCSwitch, fakeControl(3));
  ControlAction own(kActionCC);
  ControlAction::setControlLink(&own, 100, LinkInfo{200, 7, -1}, recs.lookup());
  EXPECT_EQ(kActionCCSwitch, recs.slots[200]->type);
  EXPECT_EQ(100, recs.slots[200]->linkInfo.param1);
  EXPECT_EQ(7, recs.slots[200]->linkInfo.param2);
}

TEST(SysExPreparation, PartAndValueBytesAreWrittenPerMessage) {
  ControlActionSysExMessage m;
  ASSERT_TRUE(calculateSysexWithChangingByte(kPartTemplate, 8, 4, &m, 0, 5));
  ASSERT_EQ(4u, m.messages.size());
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ((std::vector<int>{0x3E, 0x10, 0x00, 0x20, 5, 0x05, 0x0C, static_cast<int>(i), 0}),
              m.messages[i]);
  }
  EXPECT_FALSE(m.multiMessage);
  EXPECT_TRUE(m.messageLists.empty());
}

TEST(SysExPreparation, ValuesWrapPast127ToZeroAndCountOn) {
  ControlActionSysExMessage m;
  ASSERT_TRUE(calculateSysexWithChangingByte("3E 10 00 20 00 00 00 00", 8, 3, &m, 126, -1));
  EXPECT_EQ((std::vector<int>{126, 127, 0}), byteColumn(m, 7));
  ASSERT_TRUE(calculateSysexWithChangingByte("3E 10 00 20 00 00 00 00", 8, 3, &m, 127, -1));
  EXPECT_EQ((std::vector<int>{127, 0, 1}), byteColumn(m, 7));
  EXPECT_EQ((std::vector<int>{0, 0, 0}), byteColumn(m, 4)) << "no part given: byte 4 untouched";
}

TEST(SysExPreparation, StartMinusOneKeepsTheTemplateAsMessageZero) {
  ControlActionSysExMessage m;
  ASSERT_TRUE(calculateSysexWithChangingByte("3E 10 00 20 09 05 0C 40 00", 8, 3, &m, -1, -1));
  ASSERT_EQ(3u, m.messages.size());
  EXPECT_EQ((std::vector<int>{0x3E, 0x10, 0x00, 0x20, 0x09, 0x05, 0x0C, 0x40, 0x00}),
            m.messages[0]);
  EXPECT_EQ((std::vector<int>{0x40, 0x41, 0x42}), byteColumn(m, 7));

  ASSERT_TRUE(calculateSysexWithChangingByte("3E 10 00 20 09 05 0C 40 00", 8, 1, &m, -1, -1));
  EXPECT_EQ(1u, m.messages.size());
}

TEST(SysExPreparation, EveryMessageOfAPerPartControlAddressesItsPart) {
  // The template was written for part 9; message 0 of part 2's control must not edit part 9.
  ControlActionSysExMessage m;
  ASSERT_TRUE(calculateSysexWithChangingByte("3E 10 00 20 09 05 0C 40 00", 8, 3, &m, -1, 2));
  EXPECT_EQ((std::vector<int>{2, 2, 2}), byteColumn(m, 4));
  EXPECT_EQ((std::vector<int>{0x40, 0x41, 0x42}), byteColumn(m, 7));
}

TEST(SysExPreparation, CountsOfZeroAndOne) {
  ControlActionSysExMessage m;
  m.messages.push_back({1, 2, 3});
  ASSERT_TRUE(calculateSysexWithChangingByte(kPartTemplate, 8, 0, &m, 0, 0));
  EXPECT_TRUE(m.messages.empty()) << "the table is replaced, not appended to";
  ASSERT_TRUE(calculateSysexWithChangingByte(kPartTemplate, 8, 1, &m, 5, -1));
  EXPECT_EQ((std::vector<int>{5}), byteColumn(m, 7));
}

TEST(SysExPreparation, TemplatesThatCannotBeExpandedAreRefused) {
  ControlActionSysExMessage m;
  m.multiMessage = true;
  EXPECT_FALSE(calculateSysexWithChangingByte("3E 10 00 20", 8, 3, &m, 0, -1));
  EXPECT_TRUE(m.messages.empty());
  EXPECT_FALSE(calculateSysexWithChangingByte("3E 10 00 20", 2, 3, &m, 0, 0)) << "no part byte";
  EXPECT_FALSE(calculateSysexWithChangingByte(kPartTemplate, 0, 3, &m, 0, -1));
  EXPECT_FALSE(calculateSysexWithChangingByte(kPartTemplate, -5, 3, &m, 0, -1));
  EXPECT_FALSE(calculateSysexWithChangingByte("", 1, 3, &m, 0, -1));
  EXPECT_FALSE(calculateSysexWithChangingByte(kPartTemplate, 8, 1 << 30, &m, 0, -1));
  EXPECT_TRUE(m.messages.empty());
  EXPECT_TRUE(m.multiMessage) << "the flag is not the preparation's to touch";
}

TEST(SysExPreparation, NoPreparedByteLeavesTheSevenBitRange) {
  // A bipolar parameter starting at -64: the data bytes must stay data bytes.
  ControlActionSysExMessage m;
  ASSERT_TRUE(calculateSysexWithChangingByte(kPartTemplate, 8, 128, &m, -64, 15));
  ASSERT_EQ(128u, m.messages.size());
  EXPECT_EQ(64, m.messages[0][7]);
  EXPECT_EQ(127, m.messages[63][7]);
  EXPECT_EQ(0, m.messages[64][7]);
  for (const auto& msg : m.messages) {
    EXPECT_EQ(9u, msg.size());
    for (int b : msg) {
      EXPECT_GE(b, 0);
      EXPECT_LE(b, 127);
    }
  }
}

TEST(ControlAction, MessagesOutsideThePreparedRangeAreNotThere) {
  ControlAction r(kActionSysEx);
  ASSERT_TRUE(calculateSysexWithChangingByte(kPartTemplate, 8, 3, &r.sysex, 0, 1));
  ASSERT_NE(nullptr, r.messageForValue(2));
  EXPECT_EQ(2, (*r.messageForValue(2))[7]);
  EXPECT_EQ(nullptr, r.messageForValue(3));
  EXPECT_EQ(nullptr, r.messageForValue(-1));
  EXPECT_EQ(nullptr, r.messageListForValue(0));
  r.sysex.messageLists.push_back({{1, 2}, {3, 4}});
  ASSERT_NE(nullptr, r.messageListForValue(0));
  EXPECT_EQ(2u, r.messageListForValue(0)->size());
}

TEST(UIConfigText, HexBytesAreReadInAnyCaseAndKeepTheirLowByte) {
  EXPECT_EQ((std::vector<int>{240, 62, 16, 0, 32, 0, 0, 247}),
            convertStringSysextoVector("F0 3E 10 00 20 00 00 F7"));
  EXPECT_EQ((std::vector<int>{0x3E, 0x7F, 0}), convertStringSysextoVector("  3e 7f zz "));
  EXPECT_EQ((std::vector<int>{0xFF, 0x3E}), convertStringSysextoVector("123456789ABCDEFFF 0x3E"));
  EXPECT_TRUE(convertStringSysextoVector("").empty());
}

TEST(UIConfigText, TokenizeDropsEmptyRuns) {
  std::vector<std::string> t;
  Tokenize("  F0  7F ", t, " ");
  EXPECT_EQ((std::vector<std::string>{"F0", "7F"}), t);
  Tokenize("", t, " ");
  Tokenize(",,,", t, ",");
  EXPECT_EQ(2u, t.size());
}

TEST(UIConfigText, CopyIntVectorAppendsEvenOntoItself) {
  std::vector<int> from{1, 2, 3};
  std::vector<int> to{9};
  copyIntVector(&from, &to);
  EXPECT_EQ((std::vector<int>{9, 1, 2, 3}), to);
  copyIntVector(&to, &to);
  EXPECT_EQ((std::vector<int>{9, 1, 2, 3, 9, 1, 2, 3}), to);
  copyIntVector(nullptr, &to);
  copyIntVector(&from, nullptr);
  EXPECT_EQ(8u, to.size());
}

TEST(UIConfigText, CommaSeparatedValuesFillOnlyWhatIsThere) {
  int v[4] = {9, 9, 9, 9};
  getCSValues("1,2,3,4", v, 2);
  EXPECT_EQ((std::vector<int>{1, 2, 9, 9}), std::vector<int>(v, v + 4));
  getCSValues("", v, 4);
  getCSValues("x,-7,99999999999", v, 4);
  EXPECT_EQ((std::vector<int>{1, -7, 9, 9}), std::vector<int>(v, v + 4));
}

TEST(UIConfigText, LeadingIntsReadEachFieldAsACopyOfItWouldBeRead) {
  // Reference: split with Tokenize, read each field on its own with strtoll.
  auto reference = [](const char* text, char delimiter, int maxCount, int* out) {
    std::vector<std::string> fields;
    if (text) Tokenize(text, fields, std::string(1, delimiter));
    int n = 0;
    for (const std::string& f : fields) {
      char* end = nullptr;
      const long long v = std::strtoll(f.c_str(), &end, 10);
      if (n >= maxCount || end == f.c_str()) break;
      out[n++] = v < INT_MIN ? INT_MIN : (v > INT_MAX ? INT_MAX : static_cast<int>(v));
    }
    return n;
  };
  const struct {
    const char* text;
    char delimiter;
    int maxCount;
    std::vector<int> expected;
  } cases[] = {
      {"1,2,3", ',', 4, {1, 2, 3}},
      {"  4, +5,-6 ", ',', 4, {4, 5, -6}},
      {"1,,2", ',', 4, {1, 2}},
      {",,7,", ',', 4, {7}},
      {"-", ',', 4, {}},
      {"3,-,4", ',', 4, {3}},
      {"+,5", ',', 4, {}},
      {"99999999999,-99999999999", ',', 4, {INT_MAX, INT_MIN}},
      {"12abc,5", ',', 4, {12, 5}},
      {"x,1", ',', 4, {}},
      {"", ',', 4, {}},
      {nullptr, ',', 4, {}},
      {"1,2,3,4,5", ',', 3, {1, 2, 3}},
      {"0x10,1e3", ',', 4, {0, 1}},
      {" 1: 2", ':', 2, {1, 2}},
      {"kName+ +3", '+', 4, {}},
      {"+ +3", '+', 4, {}},
      {"+-3", '+', 4, {-3}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text ? c.text : "(null)");
    int got[4] = {0, 0, 0, 0}, want[4] = {0, 0, 0, 0};
    const int n = readLeadingInts(c.text, c.delimiter, got, c.maxCount);
    EXPECT_EQ(c.expected, std::vector<int>(got, got + n));
    EXPECT_EQ(reference(c.text, c.delimiter, c.maxCount, want), n);
  }
}
