#include "ParamNames.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "UIConfigText.h"

namespace {

const ParamNameEntry kTable[] = {
#define SORVANTA_PARAM_BLOCK(name, base) {#name, base, kNumParts},
#define SORVANTA_PARAM_SINGLE(name, number) {#name, number, 1},
#include "ParamNameList.h"
#undef SORVANTA_PARAM_BLOCK
#undef SORVANTA_PARAM_SINGLE
    {"kNumAutomatedParams", kNumAutomatedParams, 0},
    {"kNumNonAutomatedParams", kNumNonAutomatedParams, 0},
};

constexpr std::size_t kTableSize = sizeof(kTable) / sizeof(kTable[0]);
constexpr std::size_t kCountNames = 2;

}  // namespace

const ParamNameEntry* paramNameTable() { return kTable; }
std::size_t paramNameTableSize() { return kTableSize; }

const ParamNameEntry* findParamByNumber(int number, int* part) {
  if (part) *part = -1;
  if (!isValidParamNumber(number)) return nullptr;
  // The parameter rows are ascending and never overlap: the candidate is the last row whose base
  // is not above the number.
  const ParamNameEntry* first = kTable;
  const ParamNameEntry* last = kTable + (kTableSize - kCountNames);
  const ParamNameEntry* it = std::upper_bound(
      first, last, number, [](int n, const ParamNameEntry& e) { return n < e.number; });
  if (it == first) return nullptr;
  --it;
  if (number >= it->number + it->blockSize) return nullptr;  // an unnamed gap
  if (part) *part = number - it->number;
  return it;
}

std::string paramNameForNumber(int number) {
  int part = -1;
  const ParamNameEntry* e = findParamByNumber(number, &part);
  if (!e) return std::string();
  std::string name = e->name;
  if (part > 0) name += "+" + std::to_string(part);
  return name;
}

void ParamNameRegistry::initParams() {
  log("CONFIG READER: Started to initialize parameters...");
  for (std::size_t i = 0; i < kTableSize; ++i) mapParamToString(kTable[i].name, kTable[i].number);
  log("CONFIG READER: Completed!");
}

void ParamNameRegistry::mapParamToString(const std::string& name, int number) {
  if (!paramNameMap_.emplace(name, number).second)
    log("CONFIG READER: parameter " + name + " ALREADY EXISTS!");
}

int ParamNameRegistry::getParamByName(const std::string& name) const {
  auto it = paramNameMap_.find(name);
  if (it != paramNameMap_.end()) return it->second;
  log("CONFIG READER: parameter " + name + " NOT FOUND!");
  return -1;
}

const char* ParamNameRegistry::getParamGroup(int part, const std::string& name) {
  if (part >= 0) {
    groupName_ = "Part " + std::to_string(partToOneBased(part));
    if (!name.empty()) groupName_ += ":" + name;
  } else if (name.empty()) {
    return "";
  } else {
    groupName_ = name;
  }
  // The parameter's group field holds 54 characters; cut here rather than let the copy overrun
  // or silently differ from what we hand out.
  if (groupName_.size() > kMaxGroupLength) groupName_.resize(kMaxGroupLength);
  return groupName_.c_str();
}

void ParamNameRegistry::getBiDirectLinkValues(const std::string& attribute, int* link,
                                              int part) const {
  std::vector<std::string> names;
  Tokenize(attribute, names, ",");
  if (names.size() < 2) return;
  const int offset = part > 0 ? part : 0;
  const int first = getParamByName(names[0]);
  const int second = getParamByName(names[1]);
  link[0] = first >= 0 ? first + offset : -1;
  link[1] = second >= 0 ? second + offset : -1;
  link[2] = -1;
}
