#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "ParamNames.h"

namespace {

#include "param_name_reference.inc"

struct RefEntry {
  std::string name;
  int number;
  std::string kind;
};

std::vector<RefEntry> reference() {
  std::vector<RefEntry> out;
  std::istringstream in(kParamNameReference);
  RefEntry e;
  while (in >> e.name >> e.number >> e.kind) out.push_back(e);
  return out;
}

const std::set<int>& unnamedNumbers() {
  static const std::set<int> s = [] {
    std::set<int> u{8688, 8806, 8807};
    for (int n = 4737; n <= 4752; ++n) u.insert(n);
    return u;
  }();
  return s;
}

struct Registry : ParamNameRegistry {
  std::vector<std::string> lines;
  Registry() {
    setLog([this](const std::string& l) { lines.push_back(l); });
  }
};

}  // namespace

TEST(ParamNames, EveryReferenceNameResolvesToItsNumberAndTheCountIs707) {
  Registry reg;
  reg.initParams();
  const auto ref = reference();
  ASSERT_EQ(707u, ref.size());
  EXPECT_EQ(707u, reg.size());
  EXPECT_EQ(707u, paramNameTableSize());
  for (const RefEntry& e : ref) EXPECT_EQ(e.number, reg.getParamByName(e.name)) << e.name;
  // Registration logs only its start and end, never a duplicate.
  EXPECT_EQ((std::vector<std::string>{"CONFIG READER: Started to initialize parameters...",
                                      "CONFIG READER: Completed!"}),
            reg.lines);
}

TEST(ParamNames, BlocksAndSinglesTileAllNumbersButTheNineteenUnnamed) {
  int blocks = 0, singles = 0, counts = 0;
  const ParamNameEntry* t = paramNameTable();
  for (std::size_t i = 0; i < paramNameTableSize(); ++i) {
    if (t[i].blockSize == 16) ++blocks;
    else if (t[i].blockSize == 1) ++singles;
    else ++counts;
  }
  EXPECT_EQ(571, blocks);
  EXPECT_EQ(134, singles);
  EXPECT_EQ(2, counts);

  int unnamed = 0;
  for (int n = 0; n < kNumParams; ++n) {
    const bool expectUnnamed = unnamedNumbers().count(n) != 0;
    EXPECT_EQ(expectUnnamed, findParamByNumber(n) == nullptr) << n;
    unnamed += expectUnnamed;
  }
  EXPECT_EQ(19, unnamed);
}

TEST(ParamNames, NoNameReachesAnUnnamedNumber) {
  for (const RefEntry& e : reference()) {
    const int size = e.kind == "block" ? 16 : e.kind == "single" ? 1 : 0;
    for (int n = e.number; n < e.number + size; ++n)
      EXPECT_EQ(0u, unnamedNumbers().count(n)) << e.name << " covers " << n;
    EXPECT_EQ(0u, unnamedNumbers().count(e.number)) << e.name;
  }
}

TEST(ParamNames, NumberToNameAndBackAgree) {
  Registry reg;
  reg.initParams();
  for (int n = 0; n < kNumParams; ++n) {
    const std::string name = paramNameForNumber(n);
    if (unnamedNumbers().count(n)) {
      EXPECT_EQ("", name);
      continue;
    }
    const auto plus = name.find('+');
    const int part = plus == std::string::npos ? 0 : std::stoi(name.substr(plus + 1));
    EXPECT_EQ(n, reg.getParamByName(name.substr(0, plus)) + part) << name;
  }
  EXPECT_EQ("kFilter1Cutoff+3", paramNameForNumber(579));
  EXPECT_EQ("kFilter1Resonance", paramNameForNumber(592));
  EXPECT_EQ("kDebugParts", paramNameForNumber(9288));
}

TEST(ParamNames, NumbersOutsideTheTableHaveNoName) {
  for (int n : {-1, 9289, INT_MIN, INT_MAX}) {
    int part = 7;
    EXPECT_EQ(nullptr, findParamByNumber(n, &part)) << n;
    EXPECT_EQ(-1, part);
    EXPECT_EQ("", paramNameForNumber(n));
  }
}

TEST(ParamNames, CountNamesShareNumbersWithParameters) {
  Registry reg;
  reg.initParams();
  EXPECT_EQ(1648, reg.getParamByName("kNumAutomatedParams"));
  EXPECT_EQ(1648, reg.getParamByName("kPatchFileDialog"));
  EXPECT_EQ(7641, reg.getParamByName("kNumNonAutomatedParams"));
  EXPECT_EQ(kCategoryName + 6, kNumNonAutomatedParams);
  // Going from a number to a name gives the parameter, never the count.
  int part = -1;
  EXPECT_STREQ("kCategoryName", findParamByNumber(7641, &part)->name);
  EXPECT_EQ(6, part);
  EXPECT_STREQ("kPatchFileDialog", findParamByNumber(1648)->name);
}

TEST(ParamNames, ConstantsSitWhereTheEditorExpectsThem) {
  EXPECT_EQ(576, kFilter1Cutoff);
  EXPECT_EQ(592, kFilter1Resonance);
  EXPECT_EQ(9245, kPatchDown);
  EXPECT_EQ(9261, kControlLibrary);
  EXPECT_EQ(kControlLibrary, kPatchDown + 15 + 1);
  EXPECT_EQ(9288, kDebugParts);
  EXPECT_EQ(kNumParams - 1, kDebugParts);
  EXPECT_EQ(8744, kFirstUnstoredParam);
  EXPECT_EQ(kNumParams - 545, kFirstUnstoredParam);
  EXPECT_EQ(7651, kDorvikModel);
  EXPECT_EQ(7409, kMultiPartMIDICh);
  EXPECT_EQ(8656, kFX2DelaySyncedLength);
  EXPECT_EQ(kFilter1Cutoff + 3, paramOfPart(kFilter1Cutoff, partFromOneBased(4)));
}

TEST(ParamNames, LookupIsExactAndNeverInserts) {
  Registry reg;
  reg.initParams();
  reg.lines.clear();
  const std::size_t before = reg.size();
  EXPECT_EQ(-1, reg.getParamByName("kfilter1cutoff"));
  EXPECT_EQ(-1, reg.getParamByName("KFilter1Cutoff"));
  EXPECT_EQ(-1, reg.getParamByName("kFX1FlangerDepth"));  // the registered form is ...Depht
  EXPECT_EQ(3153, reg.getParamByName("kFX1FlangerDepht"));
  EXPECT_EQ(-1, reg.getParamByName("kFilter1Cutoff "));
  EXPECT_EQ(-1, reg.getParamByName(""));
  EXPECT_EQ(before, reg.size());
  ASSERT_EQ(5u, reg.lines.size());
  EXPECT_EQ("CONFIG READER: parameter  NOT FOUND!", reg.lines.back());
}

TEST(ParamNames, LookupWithLoggingOffWritesNothingAndStillFails) {
  ParamNameRegistry reg;
  reg.initParams();
  EXPECT_EQ(-1, reg.getParamByName("kNoSuchThing"));
  EXPECT_EQ(kQuickTab, reg.getParamByName("kQuickTab"));
}

TEST(ParamNames, SecondRegistrationKeepsTheFirstNumber) {
  Registry reg;
  reg.mapParamToString("kA", 10);
  reg.mapParamToString("kB", 10);
  reg.mapParamToString("kA", 20);
  EXPECT_EQ(10, reg.getParamByName("kA"));
  EXPECT_EQ(10, reg.getParamByName("kB"));
  EXPECT_EQ(2u, reg.size());
  EXPECT_EQ((std::vector<std::string>{"CONFIG READER: parameter kA ALREADY EXISTS!"}), reg.lines);
}

TEST(ParamNames, GroupTextNamesPartsFromOne) {
  ParamNameRegistry reg;
  EXPECT_STREQ("Part 1", reg.getParamGroup(0, ""));
  EXPECT_STREQ("Part 16:Filter", reg.getParamGroup(15, "Filter"));
  EXPECT_STREQ("Global", reg.getParamGroup(-1, "Global"));
  const char* kept = reg.getParamGroup(-1, "Global");
  EXPECT_STREQ("", reg.getParamGroup(-1, ""));
  EXPECT_STREQ("Global", kept) << "an empty group leaves the held text alone";
  const std::string longName(80, 'x');
  const std::string got = reg.getParamGroup(2, longName);
  EXPECT_EQ(ParamNameRegistry::kMaxGroupLength, got.size());
  EXPECT_EQ("Part 3:xxx", got.substr(0, 10));
}

TEST(ParamNames, LinkTextAddsThePartOnceAndNeverMovesAnUnknownName) {
  Registry reg;
  reg.initParams();
  int link[3] = {-1, -1, -1};
  reg.getBiDirectLinkValues("kFilter2Cutoff,kFilterLinkSwitch", link, 2);
  EXPECT_EQ(kFilter2Cutoff + 2, link[0]);
  EXPECT_EQ(kFilterLinkSwitch + 2, link[1]);
  EXPECT_EQ(-1, link[2]);

  reg.getBiDirectLinkValues("kFilter2Cutoff,kFilterLinkSwitch,3", link, -1);
  EXPECT_EQ(kFilter2Cutoff, link[0]) << "a part-less element adds nothing";
  EXPECT_EQ(kFilterLinkSwitch, link[1]);
  EXPECT_EQ(-1, link[2]);

  int untouched[3] = {7, 8, 9};
  reg.getBiDirectLinkValues("kFilter2Cutoff", untouched, 2);
  reg.getBiDirectLinkValues("", untouched, 2);
  EXPECT_EQ(7, untouched[0]);
  EXPECT_EQ(8, untouched[1]);
  EXPECT_EQ(9, untouched[2]);

  reg.getBiDirectLinkValues("kNoSuch,kFilterLinkSwitch", link, 5);
  EXPECT_EQ(-1, link[0]) << "-1 + part must not become parameter 4";
  EXPECT_EQ(kFilterLinkSwitch + 5, link[1]);
}
