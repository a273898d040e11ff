// Checks of the generated interface resources (tools/uigen, tools/images) without a GUI: the
// description's vocabulary, its layer tree, every MIDI binding against the synthesizer's dump
// addresses, the parameters left without a control (each with its reason), the trigger buttons,
// the value lists, the images of all three colour schemes, and the enciphered copies.
//
// The walk below mirrors the interpreter's rules only as far as the checks need them: multilayer
// copies offset the parameter numbers and carry the part, "+n" offsets a parameter name, and a
// SysEx control's first prepared message gives its address.

#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <algorithm>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "Tea.h"
#include "UIConfigKey.h"

namespace {

#include "image_table.inc"

const std::string kOut = SORVANTA_AUTHORED_DIR;
const std::string kTables = SORVANTA_UIGEN_DIR;

struct NameEntry {
  const char* name;
  int number;
  bool perPart;
};
const NameEntry kNames[] = {
#define SORVANTA_PARAM_BLOCK(name, base) {#name, base, true},
#define SORVANTA_PARAM_SINGLE(name, number) {#name, number, false},
#include "ParamNameList.h"
#undef SORVANTA_PARAM_BLOCK
#undef SORVANTA_PARAM_SINGLE
};

int paramNumber(const std::string& name) {
  for (const NameEntry& e : kNames)
    if (name == e.name) return e.number;
  return -1;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::vector<std::string> split(const std::string& text, char sep) {
  std::vector<std::string> out;
  std::string cur;
  for (char c : text) {
    if (c == sep) {
      if (!cur.empty()) out.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) out.push_back(cur);
  return out;
}

std::vector<int> ints(const char* text) {
  std::vector<int> out;
  if (!text) return out;
  for (const std::string& s : split(text, ',')) out.push_back(std::atoi(s.c_str()));
  return out;
}

// ---- the parsed resources, loaded once ------------------------------------------------------

struct Control {
  std::string element, type, name, image, valueList, link;
  int number = -1;
  int part = -1;       // the binding's part: the copy's part, else "channel" - 1
  int layerPart = -1;  // the multilayer copy's part, -1 outside any
  std::vector<int> valueBounds, position;
  int sysexIndex = 0, changingByte = 0, msgZeroVal = 0;
  std::vector<int> firstMessage;  // the template with part and first value written
};

struct Layer {
  std::string name;
  int id = 0;
  std::vector<int> childIds;
};

struct Resources {
  tinyxml2::XMLDocument ui, sysex;
  bool loaded = false;
  std::vector<std::string> templates;
  std::map<std::string, std::vector<std::string>> lists;
  std::vector<Control> controls;
  std::map<std::string, Layer> layers;
  std::set<std::string> imageIds;
  std::map<std::string, std::set<std::string>> attributesSeen;  // element -> attributes
};

int paramFromAttr(const char* text, int part) {
  if (!text || !*text) return -1;
  std::vector<std::string> pieces = split(text, '+');
  if (pieces.empty()) return -1;
  int n = paramNumber(pieces[0]);
  if (n < 0) return -1000000;  // flags an unknown name
  n += part > 0 ? part : 0;
  if (pieces.size() > 1) n += std::atoi(pieces[1].c_str());
  return n;
}

void walk(Resources& r, const tinyxml2::XMLElement* e, int part, Layer* parent) {
  for (; e; e = e->NextSiblingElement()) {
    const std::string kind = e->Name();
    for (const tinyxml2::XMLAttribute* a = e->FirstAttribute(); a; a = a->Next())
      r.attributesSeen[kind].insert(a->Name());
    if (e->Attribute("imageId")) r.imageIds.insert(e->Attribute("imageId"));
    if (kind == "layer") {
      Layer l;
      l.name = e->Attribute("name") ? e->Attribute("name") : "";
      l.id = e->IntAttribute("id");
      if (parent) parent->childIds.push_back(l.id);
      walk(r, e->FirstChildElement(), part, &l);
      r.layers[l.name] = l;
      continue;
    }
    if (kind == "multilayer") {
      const int create = e->IntAttribute("create");
      for (int i = 0; i < create; ++i) {
        Layer l;
        l.name = std::string(e->Attribute("name")) + std::to_string(i);
        l.id = i;
        if (parent) parent->childIds.push_back(i);
        walk(r, e->FirstChildElement(), i, &l);
        r.layers[l.name] = l;
      }
      continue;
    }
    if (kind == "valueLists") continue;
    Control c;
    c.element = kind;
    c.type = e->Attribute("type") ? e->Attribute("type") : "";
    c.name = e->Attribute("name") ? e->Attribute("name") : "";
    c.image = e->Attribute("imageId") ? e->Attribute("imageId") : "";
    c.valueList = e->Attribute("valueList") ? e->Attribute("valueList") : "";
    c.link = e->Attribute("biDirectLink") ? e->Attribute("biDirectLink") : "";
    c.number = paramFromAttr(e->Attribute("paramId"), part);
    c.part = part >= 0 ? part : e->IntAttribute("channel") - 1;
    c.layerPart = part;
    c.valueBounds = ints(e->Attribute("valueBounds"));
    c.position = ints(e->Attribute("position"));
    c.sysexIndex = e->IntAttribute("sysexIndex");
    c.changingByte = e->IntAttribute("changingByte") & 0xFF;
    c.msgZeroVal = e->IntAttribute("msgZeroVal");
    if (c.type.rfind("se", 0) == 0 && c.sysexIndex >= 0 &&
        c.sysexIndex < static_cast<int>(r.templates.size()) && c.valueBounds.size() >= 3) {
      for (const std::string& tok : split(r.templates[c.sysexIndex], ' '))
        c.firstMessage.push_back(static_cast<int>(std::strtol(tok.c_str(), nullptr, 16)));
      int first = c.valueBounds[1];
      if (c.type == "seButton") first = 0;
      if (c.type == "seSliderHor" || c.type == "seSliderVer") first += c.msgZeroVal;
      if (part >= 0 && c.firstMessage.size() > 4) c.firstMessage[4] = part;
      if (c.changingByte >= 1 && c.changingByte <= static_cast<int>(c.firstMessage.size()))
        c.firstMessage[c.changingByte - 1] = first == 128 ? 0 : first;
    }
    r.controls.push_back(c);
  }
}

Resources& resources() {
  static Resources r;
  if (r.loaded) return r;
  r.loaded = true;
  const std::string sysexText = readFile(kOut + "/plain/sysex.xml");
  if (r.sysex.Parse(sysexText.c_str()) == tinyxml2::XML_SUCCESS) {
    const tinyxml2::XMLElement* list = r.sysex.FirstChildElement("sysexlist");
    for (const tinyxml2::XMLElement* s = list ? list->FirstChildElement("sysex") : nullptr; s;
         s = s->NextSiblingElement()) {
      const tinyxml2::XMLElement* v = s->FirstChildElement("values");
      v = v ? v->FirstChildElement("value") : nullptr;
      r.templates.push_back(v && v->GetText() ? v->GetText() : "");
    }
  }
  const std::string uiText = readFile(kOut + "/plain/uiconfig.xml");
  if (r.ui.Parse(uiText.c_str()) == tinyxml2::XML_SUCCESS) {
    const tinyxml2::XMLElement* root = r.ui.FirstChildElement("uiconfig");
    if (root) {
      if (const tinyxml2::XMLElement* vl = root->FirstChildElement("valueLists"))
        for (const tinyxml2::XMLElement* l = vl->FirstChildElement("list"); l;
             l = l->NextSiblingElement("list")) {
          std::vector<std::string>& entries = r.lists[l->Attribute("name")];
          entries.clear();
          for (const tinyxml2::XMLElement* v = l->FirstChildElement("value"); v;
               v = v->NextSiblingElement("value"))
            entries.push_back(v->GetText() ? v->GetText() : "");
        }
      walk(r, root->FirstChildElement(), -1, nullptr);
    }
  }
  return r;
}

bool isBinding(const Control& c) {
  return c.type.rfind("se", 0) == 0 || c.type.rfind("cc", 0) == 0;
}

// ---- expected addresses ----------------------------------------------------------------------

// Sound parameters: the dump index of each name (index = dump position - 7).
std::map<std::string, int> soundIndexes() {
  std::map<std::string, int> out;
  for (const char* file : {"/sound_dump.txt", "/effect_slots.txt"}) {
    std::ifstream in(kTables + file);
    std::string line;
    const bool slots = std::strstr(file, "slots") != nullptr;
    while (std::getline(in, line)) {
      if (line.empty() || line[0] == '#') continue;
      std::vector<std::string> f = split(line, ' ');
      for (size_t i = slots ? 2 : 1; i < f.size(); ++i) out[f[i]] = std::atoi(f[0].c_str());
    }
  }
  for (int s = 1; s <= 16; ++s) {
    char n[64];
    for (const char* p : {"Glide", "Accent", "Step"}) {
      std::snprintf(n, sizeof n, "kArpPattern%02d%s", s, p);
      out[n] = 326 + s;
    }
    for (const char* p : {"Timing", "StepLen"}) {
      std::snprintf(n, sizeof n, "kArpPattern%02d%s", s, p);
      out[n] = 342 + s;
    }
  }
  // Slot parameters (kEffect1Param01 ..) mirror the effect-type parameters, which the user edits.
  for (auto it = out.begin(); it != out.end();)
    it = it->first.rfind("kEffect1Param", 0) == 0 || it->first.rfind("kEffect2Param", 0) == 0
             ? out.erase(it)
             : std::next(it);
  return out;
}

const std::map<std::string, int> kMultiCommon = {
    {"kMultiMasterVolume", 0}, {"kMultiControlW", 1}, {"kMultiControlX", 2},
    {"kMultiControlY", 3},     {"kMultiControlZ", 4}, {"kMultiTempo", 5}};
const std::map<std::string, int> kMultiPart = {
    {"kMultiPartBank", 0},     {"kMultiPartPatch", 1},    {"kMultiPartMIDICh", 2},
    {"kMultiPartLevel", 3},    {"kMultiPartTranspose", 4}, {"kMultiPartDetune", 5},
    {"kMultiPartOutput", 6},   {"kMultiPartStatus", 7},   {"kMultiPartPanning", 8},
    {"kMultiPartVeloLow", 12}, {"kMultiPartVeloHigh", 13}, {"kMultiPartKeyLow", 14},
    {"kMultiPartKeyHigh", 15}};
const std::map<std::string, int> kGlobal = {
    {"kGlobalTuning", 5},          {"kGlobalTranspose", 6},        {"kGlobalControlSend", 7},
    {"kGlobalReceive", 8},         {"kGlobalArpSend", 15},         {"kGlobalClock", 19},
    {"kGlobalMidiChannel", 24},    {"kGlobalSysExID", 25},         {"kGlobalLocalControl", 26},
    {"kGlobalPopupTime", 27},      {"kGlobalDisplayContrast", 29}, {"kGlobalKeyVeloCurve", 30},
    {"kGlobalReleaseCurve", 31},   {"kGlobalPressureCurve", 32},   {"kGlobalInputGain", 33},
    {"kGlobalFX2Link", 35},        {"kGlobalControlW", 53},        {"kGlobalControlX", 54},
    {"kGlobalControlY", 55},       {"kGlobalControlZ", 56},        {"kGlobalRxProgramChange", 57},
    {"kGlobalMixInputTo", 58},     {"kGlobalInputMix", 59},        {"kGlobalPedalOffset", 70},
    {"kGlobalPedalGain", 71},      {"kGlobalPedalCurve", 72},      {"kGlobalPedalController", 73},
    {"kGlobalTxProgramChange", 74}};

struct Address {
  int command, part, hi, lo;  // part -1 for messages without a part byte
};

// Address of every bound parameter number the dump tables name.
std::map<int, Address> expectedAddresses() {
  std::map<int, Address> out;
  for (const auto& [name, index] : soundIndexes()) {
    const int base = paramNumber(name);
    if (base < 0) continue;
    for (int p = 0; p < 16; ++p) out[base + p] = {0x20, p, index >> 7, index & 0x7F};
  }
  for (const auto& [name, index] : kMultiCommon)
    out[paramNumber(name)] = {0x21, -1, index >> 7, index & 0x7F};
  for (const auto& [name, offset] : kMultiPart)
    for (int p = 0; p < 16; ++p) {
      const int index = 32 + 22 * p + offset;
      out[paramNumber(name) + p] = {0x21, -1, index >> 7, index & 0x7F};
    }
  for (const auto& [name, index] : kGlobal)
    out[paramNumber(name)] = {0x24, -1, index >> 7, index & 0x7F};
  return out;
}

// ---- PNG header ------------------------------------------------------------------------------

bool pngSize(const std::string& path, int& w, int& h) {
  std::ifstream in(path, std::ios::binary);
  unsigned char b[24];
  if (!in.read(reinterpret_cast<char*>(b), 24)) return false;
  static const unsigned char sig[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (std::memcmp(b, sig, 8) != 0 || std::memcmp(b + 12, "IHDR", 4) != 0) return false;
  w = b[16] << 24 | b[17] << 16 | b[18] << 8 | b[19];
  h = b[20] << 24 | b[21] << 16 | b[22] << 8 | b[23];
  return true;
}

const ImageRow* imageRow(const std::string& name) {
  for (const ImageRow& row : kImageRows)
    if (name == row.name) return &row;
  return nullptr;
}

// ---- tests -----------------------------------------------------------------------------------

TEST(AuthoredDescription, BothDocumentsParseAndHaveTheirRoots) {
  Resources& r = resources();
  ASSERT_FALSE(r.ui.Error()) << r.ui.ErrorStr();
  ASSERT_FALSE(r.sysex.Error()) << r.sysex.ErrorStr();
  ASSERT_NE(r.ui.FirstChildElement("uiconfig"), nullptr);
  ASSERT_NE(r.sysex.FirstChildElement("sysexlist"), nullptr);
  EXPECT_GT(r.templates.size(), 300u);
  EXPECT_GT(r.controls.size(), 5000u);
}

TEST(AuthoredDescription, UsesOnlyTheInterpretersVocabulary) {
  const std::map<std::string, std::set<std::string>> allowed = {
      {"layer", {"name", "id", "overlay"}},
      {"multilayer", {"name", "create"}},
      {"background", {"imageId", "position"}},
      {"patchBrowser", {"imageId", "bounds"}},
      {"display", {"paramId", "bounds", "displaySize", "white"}},
      {"switch", {"name", "paramId", "imageId", "position", "valueBounds", "paramGroup"}},
      {"autooff", {"name", "paramId", "imageId", "position", "paramGroup"}},
      {"dropMenu",
       {"name", "type", "paramId", "bounds", "inputDev", "valueBounds", "valueList", "nameLen"}},
      {"radio", {"name", "paramId", "imageId", "position", "buttons", "horizontal"}},
      {"multiFx", {"type", "name", "paramId", "imageId", "position", "valueBounds", "valueList",
                   "visible", "valueDisplay", "white"}},
      {"list", {"name"}},
      {"value", {}}};
  const std::set<std::string> controlAttrs = {
      "type", "name", "paramId", "imageId", "position", "length", "valueBounds",
      "changingByte", "biDirectLink", "valueDisplay", "valueList", "ccNumber", "channel",
      "sysexIndex", "msgZeroVal", "color", "white", "paramGroup"};
  const std::set<std::string> controlElements = {"knobcontrol", "buttoncontrol", "menucontrol",
                                                 "slidercontrol"};
  for (const auto& [element, attrs] : resources().attributesSeen) {
    if (controlElements.count(element)) {
      for (const std::string& a : attrs) EXPECT_TRUE(controlAttrs.count(a)) << element << " " << a;
      continue;
    }
    auto it = allowed.find(element);
    ASSERT_NE(it, allowed.end()) << "unknown element " << element;
    for (const std::string& a : attrs) EXPECT_TRUE(it->second.count(a)) << element << " " << a;
  }
  const std::set<std::string> types = {"seKnob", "seSliderHor", "seSliderVer", "seButton",
                                       "seMenu", "ccKnob", "ccSliderHor", "ccSliderVer",
                                       "ccButton", "ccMenu", "textSelection",
                                       "deviceSelection", "nameSelection", "dropSelection",
                                       "Knob", "Menu"};
  for (const Control& c : resources().controls)
    if (!c.type.empty()) { EXPECT_TRUE(types.count(c.type)) << c.type; }
}

TEST(AuthoredDescription, EveryParameterNameIsRegisteredAndInRange) {
  for (const Control& c : resources().controls) {
    if (c.element == "background" || c.element == "patchBrowser") continue;
    EXPECT_GE(c.number, 0) << c.element << " " << c.name;
    EXPECT_LT(c.number, 9289) << c.element << " " << c.name;
  }
}

TEST(AuthoredDescription, DefinesEveryLayerTheEditorLooksUp) {
  std::vector<std::string> names = {
      "root", "oscillators", "filtersEnvelopes", "lfoModMatrix", "effectsArp", "delayFreeLayer",
      "delayClockedLayer", "miniMixer", "patchLibrarian", "multiModeSettingsPage1",
      "multiModeSettingsPage2", "effect1Overlayer", "effect2Overlayer", "bankAndProgramMulti",
      "saveChangesLayer", "discardChangesLayerRight", "keepBankOpenLayer", "aboutWindow",
      "firstRunNotification", "bankPatchConflictWindow", "midiFilterSettings", "patchRename",
      "categoryLimit", "searchField"};
  for (int n : {1, 2})
    for (const char* t : {"LP", "BP", "HP", "Notch", "CombMinus", "CombPlus"})
      names.push_back("filter" + std::to_string(n) + t);
  for (int p = 1; p <= 16; ++p) {
    char n[32];
    std::snprintf(n, sizeof n, "bankAndProgram%02d", p);
    names.push_back(n);
  }
  for (const std::string& n : names) EXPECT_TRUE(resources().layers.count(n)) << n;
}

TEST(AuthoredDescription, TabPagesAreRootChildrenInTabOrderWithOnePagePerPart) {
  const Layer& root = resources().layers.at("root");
  ASSERT_EQ(root.childIds.size(), 6u);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(root.childIds[i], i);
  for (const char* page : {"oscillators", "filtersEnvelopes", "lfoModMatrix", "effectsArp",
                           "delayFreeLayer", "delayClockedLayer"}) {
    const Layer& l = resources().layers.at(page);
    ASSERT_EQ(l.childIds.size(), 16u) << page;
    for (int i = 0; i < 16; ++i) EXPECT_EQ(l.childIds[i], i) << page;
  }
}

TEST(AuthoredDescription, PartPagesCarryTheNumberedZonesTheSwitchesShow) {
  auto zones = [](const std::string& name) {
    return std::set<int>(resources().layers.at(name).childIds.begin(),
                         resources().layers.at(name).childIds.end());
  };
  for (int part = 0; part < 16; ++part) {
    const std::string p = std::to_string(part);
    EXPECT_EQ(zones("oscPart" + p), (std::set<int>{10, 20, 30, 40, 50}));
    std::set<int> env;
    for (int z = 10; z <= 40; z += 10)
      for (int m = 0; m < 5; ++m) env.insert(z + m);
    EXPECT_EQ(zones("filterPart" + p), env);
    EXPECT_EQ(zones("lfoPart" + p), (std::set<int>{10, 20, 30}));
    std::set<int> fx;
    for (int t = 0; t <= 6; ++t) fx.insert(10 + t);
    for (int t = 0; t <= 10; ++t) fx.insert(300 + t);
    EXPECT_EQ(zones("fxPart" + p), fx);
    // no child numbered below 10: the zone switch would hide it
    for (const char* page : {"oscPart", "filterPart", "lfoPart", "fxPart"})
      for (int id : zones(page + p)) EXPECT_GE(id, 10);
  }
}

TEST(AuthoredBindings, EveryDumpParameterIsBoundOnceToItsAddress) {
  std::map<int, std::vector<const Control*>> bound;
  for (const Control& c : resources().controls)
    if (isBinding(c)) bound[c.number].push_back(&c);
  const std::map<int, Address> expected = expectedAddresses();
  EXPECT_GT(expected.size(), 4000u);
  for (const auto& [number, addr] : expected) {
    auto it = bound.find(number);
    ASSERT_NE(it, bound.end()) << "parameter " << number << " has no control";
    ASSERT_EQ(it->second.size(), 1u) << "parameter " << number << " bound more than once";
    const Control& c = *it->second[0];
    ASSERT_GE(c.firstMessage.size(), 7u) << c.name;
    EXPECT_EQ(c.firstMessage[0], 0x3E) << c.name;
    EXPECT_EQ(c.firstMessage[1], 0x10) << c.name;
    if (addr.part >= 0) {
      // 3E 10 dev 20 part hi lo value: the value is byte 8, keys are bytes 3..6
      EXPECT_EQ(c.changingByte, 8) << c.name;
      EXPECT_EQ(c.firstMessage.size(), 8u) << c.name;
      EXPECT_EQ(c.firstMessage[3], addr.command) << c.name;
      EXPECT_EQ(c.firstMessage[4], addr.part) << c.name;
      EXPECT_EQ(c.firstMessage[5], addr.hi) << c.name;
      EXPECT_EQ(c.firstMessage[6], addr.lo) << c.name;
      EXPECT_EQ(c.part, addr.part) << c.name;
    } else {
      // 3E 10 dev cmd hi lo value: the value is byte 7, keys are bytes 2..5
      EXPECT_EQ(c.changingByte, 7) << c.name;
      EXPECT_EQ(c.firstMessage.size(), 7u) << c.name;
      EXPECT_EQ(c.firstMessage[3], addr.command) << c.name;
      EXPECT_EQ(c.firstMessage[4], addr.hi) << c.name;
      EXPECT_EQ(c.firstMessage[5], addr.lo) << c.name;
    }
  }
  // nothing is bound twice, dump parameter or not
  for (const auto& [number, controls] : bound) EXPECT_EQ(controls.size(), 1u) << number;
}

// Name of the parameter block that holds `number`.
std::string blockName(int number) {
  for (const NameEntry& e : kNames)
    if (number >= e.number && number < e.number + (e.perPart ? 16 : 1)) return e.name;
  return "";
}

bool startsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// The fifth lookup key a SysEx knob registers with: the effect type of its parameter family.
int effectFamily(const std::string& n) {
  for (const char* fx : {"kFX1", "kFX2"}) {
    const std::string f(fx);
    if (n == f + "ChorusSpeed" || n == f + "ChorusDepth" || n == f + "ChorusDelay") return 1;
    if (startsWith(n, (f + "Flanger").c_str())) return 2;
    if (startsWith(n, (f + "Phaser").c_str())) return 3;
    if (startsWith(n, (f + "Overdrive").c_str())) return 4;
    if (startsWith(n, (f + "FiveFX").c_str()) && n != f + "FiveFXSource") return 5;
    if (startsWith(n, (f + "Vocoder").c_str()) && n != f + "VocoderAnalysisSignal") return 6;
  }
  if (startsWith(n, "kFX2Delay")) return 7;
  if (startsWith(n, "kFX251DelayClocked")) return 9;
  if (startsWith(n, "kFX251Delay")) return 8;
  if (startsWith(n, "kFX2Reverb")) return 10;
  return 0;
}

// Parameters that share one data byte with a neighbour; the editor packs them when sending and
// the parser unpacks that byte itself instead of looking a control up.
bool packed(const std::string& n) {
  static const std::set<std::string> names = {
      "kOscillatorUnisono", "kOscillatorMonoPolyMode", "kFilterEnvMode", "kFilterEnvTrigger",
      "kAmpEnvMode",        "kAmpEnvTrigger",          "kEnvelope3Mode", "kEnv3Trigger",
      "kEnvelope4Mode",     "kEnv4Trigger"};
  return names.count(n) > 0 || (startsWith(n, "kArpPattern") && n.size() > 13 && std::isdigit(n[11]));
}

TEST(AuthoredBindings, NoTwoSysExControlsShareTheirLookupKeys) {
  // An incoming parameter change finds its control by four message bytes and a fifth key; a
  // control registered later under the same keys would hide the earlier one.
  std::map<std::vector<int>, std::string> seen;
  int packedShares = 0;
  for (const Control& c : resources().controls) {
    if (c.type.rfind("se", 0) != 0 || c.firstMessage.size() < 7) continue;
    const int from = c.changingByte == 7 ? 2 : 3;
    std::vector<int> key(c.firstMessage.begin() + from, c.firstMessage.begin() + from + 4);
    int fifth = 0;
    if (c.type == "seKnob") fifth = effectFamily(blockName(c.number));
    if (c.type == "seSliderHor" || c.type == "seSliderVer") fifth = c.layerPart < 0 ? 1 : 0;
    key.push_back(fifth);
    auto [it, inserted] = seen.emplace(key, blockName(c.number));
    if (!inserted && packed(blockName(c.number)) && packed(it->second)) {
      ++packedShares;
      continue;
    }
    EXPECT_TRUE(inserted) << c.name << " (" << blockName(c.number) << ") hides " << it->second;
  }
  // unison/mono, four envelope mode/trigger pairs, 16 arp steps x 3 shares, all per part
  EXPECT_EQ(packedShares, (1 + 4 + 16 * 3) * 16);
}

TEST(AuthoredBindings, SysExParametersStartAtZeroSoTheValuePicksItsMessage) {
  // The editor sends prepared message number `value`; a minimum above 0 would shift every
  // message. Offsets on the wire are carried by a slider's message offset instead. A stepped
  // knob (fourth number above 1) has its messages prepared from 0 whatever its minimum.
  for (const Control& c : resources().controls) {
    if (c.type.rfind("se", 0) != 0 || c.type == "seButton") continue;
    ASSERT_GE(c.valueBounds.size(), 3u) << c.name;
    const bool stepped = c.type == "seKnob" && c.valueBounds.size() > 3 && c.valueBounds[3] > 1;
    if (!stepped) { EXPECT_EQ(c.valueBounds[1], 0) << c.name; }
    if (c.type != "seSliderHor" && c.type != "seSliderVer") { EXPECT_EQ(c.msgZeroVal, 0) << c.name; }
  }
}

TEST(AuthoredBindings, PitchParametersSendTheProtocolsBytes) {
  // Octave and semitone hold the wire byte (64 = 8 foot / no transpose); bend range and the
  // offset parameters hold the user value, the slider adding the protocol's offset.
  for (int base : {paramNumber("kOscillator1Octave"), paramNumber("kOscillator2Octave"),
                   paramNumber("kOscillator3Octave")})
    for (const Control& c : resources().controls)
      if (c.number == base) {
        EXPECT_EQ(c.valueBounds[2], 112);
        EXPECT_EQ(c.valueBounds[0], 64);
      }
  for (const Control& c : resources().controls) {
    if (c.number == paramNumber("kOscillator1BendRange")) {
      EXPECT_EQ(c.msgZeroVal, 40);
      EXPECT_EQ(c.firstMessage[7], 40);
    }
    if (c.number == paramNumber("kMultiPartTranspose")) { EXPECT_EQ(c.msgZeroVal, 16); }
    if (c.number == paramNumber("kMultiPartVeloLow")) { EXPECT_EQ(c.msgZeroVal, 1); }
    if (c.number == paramNumber("kGlobalTuning")) { EXPECT_EQ(c.msgZeroVal, 54); }
    if (c.number == paramNumber("kGlobalTranspose")) { EXPECT_EQ(c.msgZeroVal, 52); }
  }
}

TEST(AuthoredBindings, MultiTempoShowsTheBeatsPerMinuteItSends) {
  // The synth takes the multi tempo as BPM - 65 (the host-tempo rule sends 120 BPM as 55): the
  // menu's text for value v must be the tempo whose byte v goes out. Ends and middle.
  const Control* tempo = nullptr;
  for (const Control& c : resources().controls)
    if (c.number == paramNumber("kMultiTempo") && c.type == "seMenu") tempo = &c;
  ASSERT_NE(tempo, nullptr);
  const std::vector<std::string>& texts = resources().lists.at(tempo->valueList);
  ASSERT_GE(tempo->changingByte, 1);
  EXPECT_EQ(tempo->firstMessage[tempo->changingByte - 1], 0);  // value 0 sends byte 0
  for (int v : {0, 55, 127}) EXPECT_EQ(texts.at(v), std::to_string(v + 65)) << v;
  EXPECT_EQ(texts.at(tempo->valueBounds[0]), "120");  // the default is 120 BPM
}

TEST(AuthoredDescription, ControlsShowWordsNotParameterIdentifiers) {
  // The display shows a touched control's name: "CategorySelection" means nothing to a player.
  for (const Control& c : resources().controls) {
    const bool camel = c.name.find(' ') == std::string::npos &&
                       std::any_of(c.name.begin() + (c.name.empty() ? 0 : 1), c.name.end(), ::isupper);
    if (!camel) continue;
    for (const NameEntry& e : kNames) EXPECT_NE(c.name, std::string(e.name).substr(1)) << c.name;
  }
}

TEST(AuthoredBindings, FilterPairsLinkToTheirCounterpartThroughTheLinkSwitch) {
  int links = 0;
  for (const char* pair : {"Cutoff", "Resonance", "EnvAmount", "Keytrack", "Drive", "EnvVelocity",
                           "Panning", "ModAmount", "FMAmount", "PanAmount"})
    for (int f = 1; f <= 2; ++f) {
      const int base = paramNumber("kFilter" + std::to_string(f) + pair);
      const std::string expected =
          "kFilter" + std::to_string(3 - f) + pair + ",kFilterLinkSwitch";
      for (const Control& c : resources().controls)
        if (c.number >= base && c.number < base + 16) {
          EXPECT_EQ(c.link, expected) << c.name;
          ++links;
        }
    }
  EXPECT_EQ(links, 10 * 2 * 16);
  for (const Control& c : resources().controls)
    if (!c.link.empty()) {
      EXPECT_EQ(c.link.find("kFilter"), 0u) << c.name;
    }
}

TEST(AuthoredBindings, PartControlsOfTheMultiCarryTheirPartInNameAndChannel) {
  for (const Control& c : resources().controls) {
    const int base = paramNumber("kMultiPartLevel");
    if (c.number >= base && c.number < base + 16) {
      const int part = c.number - base;
      EXPECT_EQ(c.part, part);
      EXPECT_EQ(c.name.rfind("[" + std::to_string(part + 1) + "] ", 0), 0u) << c.name;
    }
  }
}

// ---- parameters no control reaches ------------------------------------------------------------

// Every parameter the description leaves without a control, and why nobody edits it. A name here
// must be unbound in all its numbers; a user-edited parameter that loses its control, or one
// listed here that gains one, fails the check below.
struct Unbound {
  const char* name;
  const char* why;
};
const Unbound kNotUserEdited[] = {
    // Mirrors: the editor fills them from the parameters the user edits.
    {"kFilterRoutingParallel", "mirror of kFilterRouting's dump byte (the routing menu)"},
    {"kFilterRoutingSerial", "mirror of kFilterRouting's dump byte (the routing menu)"},
    {"kTriggerFilterRouting", "flips only the two routing mirrors, never kFilterRouting itself, "
                              "so nothing would reach the synthesizer"},
    {"kMultiBank", "the multi's bank number menu, which the editor makes itself"},
    {"kMultiPatch", "the multi's program number menu, which the editor makes itself"},
    {"kCategoryName", "each part's category text, shown by the category display"},
    // No place in any dump and no message: a control could not reach the synthesizer.
    {"kGlobalInitSound1", "not in the global dump"},
    {"kGlobalInitSound2", "not in the global dump"},
    {"kGlobalInitSound3", "not in the global dump"},
    {"kGlobalInitSound4", "not in the global dump"},
    {"kGlobalInitBank1", "not in the global dump"},
    {"kGlobalInitBank2", "not in the global dump"},
    {"kGlobalInitBank3", "not in the global dump"},
    {"kGlobalInitBank4", "not in the global dump"},
    {"kGlobalMultiBank", "not in the global dump"},
    {"kGlobalMultiSound", "not in the global dump"},
    {"kGlobalInstrSel", "not in the global dump"},
    {"kGlobalStartMode", "not in the global dump"},
    {"kGlobalLabelTime", "not in the global dump"},
    {"kNoiseExtSelect", "not in the sound dump (the two feed menus carry the noise routing)"},
    {"kNoiseF12Feed", "not in the sound dump (the two feed menus carry the noise routing)"},
    {"kTuneMode", "not in the sound dump"},
    // Performance controllers of each part: played on the synthesizer, not stored in any dump.
    {"kModWheel", "performance controller"},
    {"kBreathControl", "performance controller"},
    {"kContr3", "performance controller"},
    {"kFootController", "performance controller"},
    {"kDataSlider", "performance controller"},
    {"kChannelVolume", "performance controller"},
    {"kBalance", "performance controller"},
    {"kContr9", "performance controller"},
    {"kPanorama", "performance controller"},
    {"kExpression", "performance controller"},
    {"kContr12", "performance controller"},
    {"kContr13", "performance controller"},
    {"kContr14", "performance controller"},
    {"kContr15", "performance controller"},
    {"kContr16", "performance controller"},
    {"kSustainPedal", "performance controller"},
    // Hidden state the editor keeps for itself.
    {"kPatchFileDialog", "unused"},
    {"kOverrideSettings", "unused"},
    {"kBankSelection", "stored selection"},
    {"kPatchSelection", "stored selection"},
    {"kDorvikModel", "connected model, set by the editor"},
    {"kDeviceID_old", "last device id, set by the device-id menu's handler"},
    {"kCurrentBank", "bank of each part, set from bank selects"},
    {"kCurrentPatch", "program of each part"},
    {"kCurrentPatchBank", "librarian bank of each part"},
    {"kCurrentOpenPatchBankL", "librarian list selection"},
    {"kCurrentOpenPatchBankR", "librarian list selection"},
    {"kCurrentOpenPerfBankL", "librarian list selection"},
    {"kCurrentOpenPerfBankR", "librarian list selection"},
    {"kTempoInformation", "host tempo"},
    {"kLibSyncTimer", "librarian timer"},
    {"kRequestFromBank", "librarian request state"},
    {"kBankEditUnsaved", "librarian edit state"},
    {"kCategoryRename", "unused"},
    {"kDebugParts", "unused"},
    // Controls the editor builds itself rather than from the description.
    {"kCancelDataRequest", "the two cancel buttons of a running transfer"},
    {"kLibrarianArea", "the slot grid of the patchBrowser element"},
    // Triggers whose target is itself a one-click switch the user already has.
    {"kTriggerProgControl", "the librarian's \"Request on program\" checkbox"},
    {"kTriggerLibControl", "the librarian's \"Library names\" checkbox"},
    {"kTriggerMidiFromSynth", "no handler; the MIDI filter switches do this"},
    {"kTriggerMidiFromDaw", "no handler; the MIDI filter switches do this"},
};

// The effect slots kEffect1Param01 .. kEffect2Param14: filled from the effect-type parameters.
bool isEffectSlotMirror(const std::string& name) {
  return startsWith(name, "kEffect1Param") || startsWith(name, "kEffect2Param");
}

// First word of a name, by which the report groups: kTrigger, kGlobal, kEffect, kFX ...
std::string namePrefix(const std::string& name) {
  size_t end = 2;
  while (end < name.size() && std::islower(static_cast<unsigned char>(name[end]))) ++end;
  if (end == 2)  // an acronym such as kFX or kLFO
    while (end < name.size() && std::isupper(static_cast<unsigned char>(name[end]))) ++end;
  return name.substr(0, end);
}

int blockSize(const std::string& name) {
  for (const NameEntry& e : kNames)
    if (name == e.name) return e.perPart ? 16 : 1;
  return 0;
}

// Numbers that carry no name at all.
bool isUnnamed(int number) {
  return (number >= 4737 && number <= 4752) || number == 8688 || number == 8806 || number == 8807;
}

TEST(AuthoredCoverage, OnlyParametersNobodyEditsAreLeftWithoutAControl) {
  std::set<int> reached;
  for (const Control& c : resources().controls)
    if (c.number >= 0) reached.insert(c.number);
  std::set<std::string> allowed;
  for (const Unbound& u : kNotUserEdited) {
    EXPECT_GE(paramNumber(u.name), 0) << u.name;
    allowed.insert(u.name);
  }
  // Unbound numbers by name, names grouped by their first word (kGlobal, kTrigger, ...).
  std::map<std::string, std::map<std::string, int>> unbound;
  for (int n = 0; n < 9289; ++n) {
    if (reached.count(n)) continue;
    if (isUnnamed(n)) continue;
    const std::string name = blockName(n);
    ASSERT_FALSE(name.empty()) << n;
    ++unbound[namePrefix(name)][name];
  }
  std::string report;
  for (const auto& [prefix, names] : unbound) {
    report += "  " + prefix + ":";
    for (const auto& [name, count] : names) {
      report += " " + name;
      if (count != blockSize(name))
        report += "(" + std::to_string(count) + " parts)";
    }
    report += "\n";
  }
  std::printf("Parameters without a control:\n%s", report.c_str());
  for (const auto& [prefix, names] : unbound)
    for (const auto& [name, count] : names) {
      if (isEffectSlotMirror(name)) continue;
      EXPECT_TRUE(allowed.count(name)) << name << " has no control but a user edits it";
    }
  // Every allowed name is unbound in all its numbers: a listed name that gained a control (in
  // any part) belongs off the list.
  for (int n = 0; n < 9289; ++n) {
    const std::string name = blockName(n);
    if (reached.count(n) && (allowed.count(name) || isEffectSlotMirror(name)))
      ADD_FAILURE() << name << " part " << n - paramNumber(name) << " is listed as unbound";
  }
}

TEST(AuthoredCoverage, TriggersArePushButtonsBesideTheirTargetOfTheSamePart) {
  // The editor flips the target on a trigger's 1 and ignores its 0: a latching switch would make
  // every second click do nothing. The target is the trigger's number less a fixed distance, so
  // both must sit in the same part's copy of the page.
  const std::map<std::string, std::string> targets = {
      {"kTriggerFX1PhaserPolarity", "kFX1PhaserPolarity"},
      {"kTriggerFX2PhaserPolarity", "kFX2PhaserPolarity"},
      {"kTriggerFX1FlangerPolarity", "kFX1FlangerPolarity"},
      {"kTriggerFX2FlangerPolarity", "kFX2FlangerPolarity"},
      {"kTriggerFX2DelayPolarity", "kFX2DelayPolarity"},
      {"kTriggerFX2DelayAutoPan", "kFX2DelayAutoPan"},
      {"kTriggerFX2DelayClocked", "kFX2DelayClocked"},
      {"kTriggerArpNoteOverlap", "kArpSameNoteOverlap"},
      {"kTriggerArpPatternReset", "kArpPatternReset"},
      {"kTriggerOscillator2SyncToOsc3", "kOscillator2SyncToOsc3"},
      {"kTriggerOscillatorMonoPolyMode", "kOscillatorMonoPolyMode"},
      {"kTriggerOscillatorGlideOnOffSwitch", "kOscillatorGlideOnOffSwitch"},
      {"kTriggerFilterEnvTrigger", "kFilterEnvTrigger"},
      {"kTriggerAmpEnvTrigger", "kAmpEnvTrigger"},
      {"kTriggerEnv3Trigger", "kEnv3Trigger"},
      {"kTriggerEnv4Trigger", "kEnv4Trigger"},
      {"kTriggerLFO1Clock", "kLFO1Clock"},
      {"kTriggerLFO2Clock", "kLFO2Clock"},
      {"kTriggerLFO3Clock", "kLFO3Clock"},
      {"kTriggerLFO1SyncOnOff", "kLFO1SyncOnOff"},
      {"kTriggerLFO2SyncOnOff", "kLFO2SyncOnOff"},
      {"kTriggerLFO3SyncOnOff", "kLFO3SyncOnOff"},
      {"kTriggerGlobalArpMidiOut", "kGlobalArpSend"},
      {"kTriggerGlobalLocalKBDControl", "kGlobalLocalControl"}};
  std::map<int, const Control*> bindingOf;
  for (const Control& c : resources().controls)
    if (isBinding(c)) bindingOf[c.number] = &c;
  std::map<std::string, int> seen;
  for (const Control& c : resources().controls) {
    const std::string name = blockName(c.number);
    auto it = targets.find(name);
    if (it == targets.end()) continue;
    ++seen[name];
    EXPECT_EQ(c.element, "autooff") << c.name;
    const int part = c.number - paramNumber(name);
    auto target = bindingOf.find(paramNumber(it->second) + part);
    ASSERT_NE(target, bindingOf.end()) << it->second << " part " << part << " is not bound";
    EXPECT_EQ(target->second->layerPart, c.layerPart) << c.name;
    EXPECT_EQ(c.layerPart, blockSize(name) == 16 ? part : -1) << c.name;
  }
  for (const auto& [trigger, target] : targets)
    EXPECT_EQ(seen[trigger], blockSize(trigger)) << trigger;
}

TEST(AuthoredValueLists, EveryListTheDisplayReadsExists) {
  const char* names[] = {
      "oscillator12shape", "oscillator3shape", "unisonoVoices", "oscillatorFMSource",
      "oscillatorPWMSource", "fastModMatrixDestinations", "standardMatrixSources",
      "standardMatrixDestinations", "modifierMatrixSources", "modifierOperators",
      "noiseFeedSource", "filter1Type", "lfoShape", "startPhase", "clockedValues",
      "envelopeMode", "envelopeTrigger", "fx1Mode", "fx2Mode", "positiveNegative", "sampleRate",
      "fxInputList", "analysisFrequency", "delayPercentage", "delayFreeValues",
      "delayClockedValues", "preDelay", "reverbSize", "fxGlobalLink", "arpMode", "arpPattern",
      "arpNoteLength", "arpDirection", "arpSortOrder", "arpVeloMode", "arpClock",
      "arpStepDisplay", "arpAccent", "arpTiming", "arpStepLength", "partStatus", "outputList",
      "keyList", "keyVeloOnCurve", "keyVeloOffCurve", "keyPressureCurve", "pedalCvController",
      "globalChannel", "globalClock", "controllerSend", "controllerReceive", "programChange",
      "globalTuning", "globalInputGain", "globalMixInTo", "globalPopupTime", "controlList",
      "tempoValues"};
  for (const char* n : names) {
    auto it = resources().lists.find(n);
    ASSERT_NE(it, resources().lists.end()) << n;
    EXPECT_FALSE(it->second.empty()) << n;
  }
  // lists indexed by a 0..127 value cover it
  for (const char* n : {"clockedValues", "tempoValues", "delayPercentage", "analysisFrequency",
                        "keyList", "delayFreeValues", "delayClockedValues"})
    EXPECT_GE(resources().lists.at(n).size(), 128u) << n;
}

TEST(AuthoredValueLists, MenusHaveAnEntryForEveryValueOfTheirRange) {
  for (const Control& c : resources().controls) {
    if (c.valueList.empty()) continue;
    auto it = resources().lists.find(c.valueList);
    ASSERT_NE(it, resources().lists.end()) << c.valueList;
    ASSERT_GE(c.valueBounds.size(), 3u);
    const size_t count = static_cast<size_t>(c.valueBounds[2] - c.valueBounds[1]);
    if (c.type == "seMenu") { EXPECT_EQ(it->second.size(), count) << c.name; }
    // the menu shows text i for value i only when the count matches exactly
    if (c.type == "dropSelection") { EXPECT_GE(it->second.size(), count) << c.name; }
  }
}

TEST(AuthoredImages, EveryRowOfTheImageTableExistsForEveryScheme) {
  EXPECT_EQ(sizeof kImageRows / sizeof kImageRows[0], 107u);
  for (const ImageRow& row : kImageRows)
    for (int s = 0; s < 3; ++s) {
      int w = 0, h = 0;
      const std::string path = kOut + "/img/" + row.file[s];
      ASSERT_TRUE(pngSize(path, w, h)) << path;
      EXPECT_EQ((row.sideBySide ? w : h) % row.frames, 0) << path;
      if (row.frames > 2 && !row.sideBySide) {
        EXPECT_EQ(w, h / row.frames) << path;  // knob frames are square
      }
    }
}

TEST(AuthoredImages, WindowSizedPicturesAre1500By757) {
  for (const char* name : {"MAIN_BG_ID", "MAIN_BG_FRAME_ID", "PROGRESS_INDICATOR_ID"}) {
    const ImageRow* row = imageRow(name);
    ASSERT_NE(row, nullptr);
    for (int s = 0; s < 3; ++s) {
      int w = 0, h = 0;
      ASSERT_TRUE(pngSize(kOut + "/img/" + row->file[s], w, h));
      EXPECT_EQ(w, 1500);
      EXPECT_EQ(h, 757);
    }
  }
}

TEST(AuthoredImages, EveryImageTheDescriptionNamesIsInTheTable) {
  for (const std::string& id : resources().imageIds) EXPECT_NE(imageRow(id), nullptr) << id;
}

TEST(AuthoredImages, LetteredButtonsDoWhatTheirImageSays) {
  // Images that carry a word belong to the one action the word names.
  const std::pair<const char*, const char*> owner[] = {
      {"BUTTON_LIB_DISCARD_ID", "kDiscardBankData"},  {"BUTTON_BANK_OVERWRITE_ID", "kOverwriteBank"},
      {"BUTTON_LIB_CANCEL_ID", "kCancelDataRequest"}, {"BUTTON_BANK_SEARCH_ID", "kPatchSearch"},
      {"BUTTON_BANK_RECALL_ID", "kKeepSelectedBank"}, {"BUTTON_LIB_DATATYPE_ID", "kDatatype"},
      {"BTN_OFFON_ID", "kCategorySelection"},         {"ID_RANDOMIZE", "kRandomize"},
      {"BTN_SEE_ABOUT_ID", "kDisplayAboutWindow"},    {"BTN_MULTISETTINGS_ID", "kMultiSettings"},
      {"BTN_EXIT_ABOUT_ID", "kExitAboutWindow"},      {"BTN_EXIT_FIRST_RUN_ID", "kFirstRunExit"}};
  int lettered = 0;
  for (const Control& c : resources().controls)
    for (const auto& o : owner)
      if (c.image == o.first) {
        ++lettered;
        EXPECT_EQ(c.number, paramNumber(o.second)) << c.name << " shows " << o.first;
      }
  EXPECT_GE(lettered, 12);
}

TEST(AuthoredImages, EffectPicturesFillTheirPanel) {
  // Every effect type's picture sits in its effect's panel with the same 10-pixel margin on
  // both sides: a narrower one leaves a bare strip of panel beside "BYPASSED".
  std::vector<std::vector<std::string>> panels, pictures;
  std::istringstream layout(readFile(kOut + "/plain/layout.txt"));
  for (std::string line; std::getline(layout, line);) {
    std::vector<std::string> f = split(line, ' ');
    if (f.size() >= 6 && f[0] == "panel" && f[5] == "EFFECT") panels.push_back(f);
    if (f.size() == 6 && f[0] == "picture" && f[1].rfind("EFFECTS_", 0) == 0) pictures.push_back(f);
  }
  ASSERT_EQ(panels.size(), 2u);
  ASSERT_GE(pictures.size(), 18u);  // the types of both effects
  for (const auto& pic : pictures) {
    const int x = std::atoi(pic[2].c_str()), w = std::atoi(pic[4].c_str());
    int matched = 0;
    for (const auto& panel : panels) {
      const int px = std::atoi(panel[1].c_str()), pw = std::atoi(panel[3].c_str());
      if (x < px || x >= px + pw) continue;
      ++matched;
      EXPECT_EQ(x - px, 10) << pic[1];
      EXPECT_EQ(px + pw - (x + w), 10) << pic[1] << " in " << panel[5] << " " << panel[6];
    }
    EXPECT_EQ(matched, 1) << pic[1];
  }
}

TEST(AuthoredImages, RadioPicturesHoldEveryButton) {
  for (const Control& c : resources().controls) {
    if (c.element != "radio") continue;
    const ImageRow* row = imageRow(c.image);
    ASSERT_NE(row, nullptr);
    int w = 0, h = 0;
    ASSERT_TRUE(pngSize(kOut + "/img/" + row->file[0], w, h));
    const int buttons = c.number == paramNumber("kMainTab") ? 6 : 16;
    EXPECT_EQ((row->sideBySide ? h : w) % buttons, 0);
  }
}

TEST(AuthoredImages, LibrarianAreaHoldsTwoGridsAndContactSheetsExist) {
  int w = 0, h = 0;
  ASSERT_TRUE(pngSize(kOut + "/img/lib-blank-bg.png", w, h));
  EXPECT_GE(w, 7 * 133 + 105);  // eight columns of slots, 133 apart
  EXPECT_GE(h, 274 + 16 * 14);  // the lower grid's sixteen rows
  for (const char* s : {"yellow", "blue", "obsidra"})
    EXPECT_TRUE(pngSize(kOut + "/review/contact-" + std::string(s) + ".png", w, h)) << s;
  // the composed window of one tab at the small size
  ASSERT_TRUE(pngSize(kOut + "/review/preview-yellow-oscillators-small.png", w, h));
  EXPECT_EQ(w, 1275);
  EXPECT_EQ(h, 643);
}

TEST(AuthoredResources, EncipheredDocumentsDecipherToThePlainText) {
  unsigned int key[4];
  UIConfigKey::words(key);
  for (const char* name : {"uiconfig", "sysex"}) {
    std::string data = readFile(kOut + "/" + name + ".tea");
    const std::string plain = readFile(kOut + "/plain/" + name + ".xml");
    ASSERT_EQ(data.size() % 8, 0u);
    ASSERT_LT(data.size(), 4096000u);
    for (size_t p = 0; p < data.size(); p += 8)
      Tea::simpledecrypt(reinterpret_cast<unsigned char*>(&data[p]), key);
    EXPECT_EQ(std::string(data.c_str()), plain) << name;
  }
}

}  // namespace
