// The interpreter of the interface description: one walk over the element tree that builds the
// layers and hands every control element to its factory. Runs once, inside readUIConfig, on the
// thread that constructs the plug-in.
//
// The description is treated as hostile: every number list an element kind uses must supply the
// values it uses, every parameter name must be registered and land inside the parameter table
// after its offsets, or the element is skipped with a "CONFIG READER: " line. Nothing is ever
// bound to a parameter the element did not name.

#include <tinyxml2.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "ControlLayer.h"
#include "IControls.h"
#include "IGraphics.h"
#include "IParam.h"
#include "IPluginBase.h"
#include "UIConfigManager.h"
#include "UIConfigText.h"

namespace {

using tinyxml2::XMLAttribute;
using tinyxml2::XMLElement;
using tinyxml2::XMLNode;

// Every attribute the interpreter reads. An element's attributes are gathered in one pass
// (UIElementAttributes) instead of one search of the element per question.
enum AttrKey : int {
  kAttrImageId,
  kAttrParamGroup,
  kAttrChannel,
  kAttrParamId,
  kAttrBounds,
  kAttrPosition,
  kAttrName,
  kAttrId,
  kAttrOverlay,
  kAttrCreate,
  kAttrDisplaySize,
  kAttrWhite,
  kAttrValueBounds,
  kAttrType,
  kAttrInputDev,
  kAttrNameLen,
  kAttrValueList,
  kAttrVisible,
  kAttrValueDisplay,
  kAttrButtons,
  kAttrLength,
  kAttrChangingByte,
  kAttrBiDirectLink,
  kAttrCcNumber,
  kAttrSysexIndex,
  kAttrMsgZeroVal,
  kAttrColor,
  kAttrCount
};

const char* const kAttrNames[kAttrCount] = {
    "imageId",      "paramGroup", "channel",  "paramId",      "bounds",       "position",
    "name",         "id",         "overlay",  "create",       "displaySize",  "white",
    "valueBounds",  "type",       "inputDev", "nameLen",      "valueList",    "visible",
    "valueDisplay", "buttons",    "length",   "changingByte", "biDirectLink", "ccNumber",
    "sysexIndex",   "msgZeroVal", "color"};

// strcmp(a, b) == 0, with the first characters compared inline: most candidates differ there.
bool sameText(const char* a, const char* b) { return a[0] == b[0] && std::strcmp(a, b) == 0; }

int attrKeyOf(const char* name) {
  for (int k = 0; k < kAttrCount; ++k)
    if (sameText(kAttrNames[k], name)) return k;
  return -1;
}

// The leading decimal integer of `text`, held to the int range; false when it has none.
bool parseInt(const char* text, int* out) {
  return text && parseIntField(text, text + std::strlen(text), out);
}

// A comma-separated number list; `n` counts the leading fields that are numbers.
struct Numbers {
  int v[4] = {0, 0, 0, 0};
  int n = 0;
};

// The element kinds the interpreter knows; every other name builds nothing.
enum class Kind {
  kOther,
  kLayer,
  kMultilayer,
  kBackground,
  kPatchBrowser,
  kDisplay,
  kSwitch,
  kAutoOff,
  kDropMenu,
  kMultiFx,
  kRadio,
  kControl
};

Kind kindOf(const char* n) {
  static const struct {
    const char* name;
    Kind kind;
  } kinds[] = {{"layer", Kind::kLayer},
               {"fxlayer", Kind::kLayer},
               {"multifxlayer", Kind::kLayer},
               {"envelopelayer", Kind::kLayer},
               {"oscillator1layer", Kind::kLayer},
               {"oscillator2layer", Kind::kLayer},
               {"modlayer", Kind::kLayer},
               {"banklayer", Kind::kLayer},
               {"multilayer", Kind::kMultilayer},
               {"background", Kind::kBackground},
               {"patchBrowser", Kind::kPatchBrowser},
               {"display", Kind::kDisplay},
               {"switch", Kind::kSwitch},
               {"autooff", Kind::kAutoOff},
               {"dropMenu", Kind::kDropMenu},
               {"multiFx", Kind::kMultiFx},
               {"radio", Kind::kRadio},
               {"knobcontrol", Kind::kControl},
               {"buttoncontrol", Kind::kControl},
               {"menucontrol", Kind::kControl},
               {"slidercontrol", Kind::kControl}};
  for (const auto& k : kinds)
    if (sameText(n, k.name)) return k.kind;
  return Kind::kOther;
}

// The types of the control elements, with the number of position and valueBounds values each
// needs.
enum class ControlKind {
  kSeKnob,
  kSeSlider,
  kSeButton,
  kCcSlider,
  kCcKnob,
  kCcButton,
  kSeMenu,
  kCcMenu
};
struct ControlType {
  const char* type;
  ControlKind kind;
  int positions;
  int bounds;
  EDirection direction;
};

// Null for a type that builds nothing.
const ControlType* controlTypeOf(const char* type) {
  static const ControlType types[] = {{"seKnob", ControlKind::kSeKnob, 2, 3, kVertical},
                                      {"seSliderVer", ControlKind::kSeSlider, 2, 3, kVertical},
                                      {"seSliderHor", ControlKind::kSeSlider, 2, 3, kHorizontal},
                                      {"seButton", ControlKind::kSeButton, 2, 1, kVertical},
                                      {"ccSliderVer", ControlKind::kCcSlider, 2, 3, kVertical},
                                      {"ccSliderHor", ControlKind::kCcSlider, 2, 3, kHorizontal},
                                      {"ccKnob", ControlKind::kCcKnob, 2, 4, kVertical},
                                      {"ccButton", ControlKind::kCcButton, 2, 3, kVertical},
                                      {"seMenu", ControlKind::kSeMenu, 3, 3, kVertical},
                                      {"ccMenu", ControlKind::kCcMenu, 3, 3, kVertical}};
  for (const ControlType& t : types)
    if (sameText(type, t.type)) return &t;
  return nullptr;
}

bool isStructural(Kind k) {
  return k == Kind::kLayer || k == Kind::kMultilayer || k == Kind::kBackground ||
         k == Kind::kPatchBrowser;
}

}  // namespace

// What the interpreter reads of one element: its kind and its attributes, each the value of the
// first attribute of that name (as XMLElement::Attribute gives it), null when absent; and, filled
// on first use, what was made of them. The copies of a multilayer read the same elements again,
// so during a walk these are kept per element (UIElementCache) and read once.
struct UIElementAttributes {
  Kind kind = Kind::kOther;
  const char* value[kAttrCount] = {};
  std::string image, group, name;  // imageId, paramGroup, name; "" when absent

  // paramId: whether its first piece was looked up, that piece, and what came of it.
  bool paramRead = false;
  std::string paramName;
  int paramBase = -1;  // the registered number, -1 when there is no piece or it is unregistered
  int paramOffset = 0;
  const std::vector<std::string>* entries = nullptr;  // the named value list, once looked up

  explicit UIElementAttributes(const XMLElement* e) : kind(kindOf(e->Name())) {
    for (const XMLAttribute* a = e->FirstAttribute(); a; a = a->Next()) {
      const int k = attrKeyOf(a->Name());
      if (k >= 0 && !value[k]) value[k] = a->Value();
    }
    image = text(kAttrImageId);
    group = text(kAttrParamGroup);
    name = text(kAttrName);
  }

  const char* raw(AttrKey k) const { return value[k]; }
  // The text, "" when absent.
  const char* text(AttrKey k) const { return value[k] ? value[k] : ""; }
  // An integer: absent or not starting with a number counts as 0.
  int integer(AttrKey k) const {
    int v = 0;
    return parseInt(value[k], &v) ? v : 0;
  }
  // The leading numbers of a comma-separated list, at most maxCount (1..4) of them.
  Numbers numbers(AttrKey k, int maxCount) {
    const int slot = listSlot(k);
    Numbers all;
    if (slot < 0 || !(listsRead & (1u << slot))) {
      all.n = readLeadingInts(value[k], ',', all.v, 4);
      if (slot >= 0) {
        lists[slot] = all;
        listsRead |= 1u << slot;
      }
    } else {
      all = lists[slot];
    }
    // Reading stops after maxCount values: what the first maxCount of all four are.
    Numbers out;
    out.n = all.n < maxCount ? all.n : maxCount;
    for (int i = 0; i < out.n; ++i) out.v[i] = all.v[i];
    return out;
  }
  // The control type named by the type attribute, null for none.
  const ControlType* controlType() {
    if (!typeRead) {
      type = controlTypeOf(text(kAttrType));
      typeRead = true;
    }
    return type;
  }
  // "a:b" gives the display pair; anything else (-1, -1).
  void valueDisplay(int* a, int* b) const {
    *a = *b = -1;
    const char* t = text(kAttrValueDisplay);
    const char* begin[2] = {nullptr, nullptr};
    const char* end[2] = {nullptr, nullptr};
    int pieces = 0;
    for (const char* p = t;;) {
      while (*p == ':') ++p;
      if (!*p) break;
      if (pieces == 2) return;  // a third piece
      begin[pieces] = p;
      while (*p && *p != ':') ++p;
      end[pieces++] = p;
    }
    if (pieces != 2) return;
    int x = 0, y = 0;
    parseIntField(begin[0], end[0], &x);
    parseIntField(begin[1], end[1], &y);
    *a = x;
    *b = y;
  }

 private:
  static int listSlot(AttrKey k) {
    switch (k) {
      case kAttrBounds:
        return 0;
      case kAttrPosition:
        return 1;
      case kAttrValueBounds:
        return 2;
      case kAttrInputDev:
        return 3;
      case kAttrDisplaySize:
        return 4;
      case kAttrVisible:
        return 5;
      default:
        return -1;
    }
  }
  Numbers lists[6];
  unsigned listsRead = 0;
  const ControlType* type = nullptr;
  bool typeRead = false;
};

struct UIElementCache {
  std::unordered_map<const XMLElement*, UIElementAttributes> byElement;
};

void UIConfigManager::findStartupImages(XMLNode* first, bool shown, int depth, std::vector<IBitmap>& found) {
  if (!graphics || depth > kMaxLayerDepth) return;
  for (XMLNode* n = first; n; n = n->NextSibling()) {
    XMLElement* e = n->ToElement();
    if (!e) continue;
    const Kind kind = kindOf(e->Name());
    if (kind == Kind::kLayer) {
      const char* name = e->Attribute("name");
      const bool startup = name && std::find(startupLayers.begin(), startupLayers.end(), name) != startupLayers.end();
      findStartupImages(e->FirstChild(), startup, depth + 1, found);
    } else if (shown && kind != Kind::kMultilayer && kind != Kind::kOther) {
      // An unknown image is left to the walk, which reports it.
      const char* image = e->Attribute("imageId");
      if (image && imageCache.count(image)) {
        IBitmap bm = getImageByName(graphics, image);
        if (bm.mData) found.push_back(bm);
      }
    }
  }
}

void UIConfigManager::decodeStartupImagesAhead(XMLNode* first) {
  std::vector<IBitmap> found;
  findStartupImages(first, true, 0, found);
  graphics->DecodeAhead(std::move(found));
}

void UIConfigManager::walkDescription(XMLNode* first) {
  UIElementCache cache;
  elementCache = &cache;
  processXMLElement(first, nullptr, -1);
  elementCache = nullptr;
  // Stable: of two registrations under the same keys the later one still wins.
  std::stable_sort(
      deferredSysex.begin(), deferredSysex.end(),
      [](const SysExRegistration& a, const SysExRegistration& b) { return a.key < b.key; });
  for (const SysExRegistration& r : deferredSysex) {
    unsigned char keys[4];
    for (int i = 0; i < 4; ++i) keys[i] = static_cast<unsigned char>(r.key >> (8 * (4 - i)));
    sysexControls.addToControlMap(keys, static_cast<unsigned char>(r.key), r.control);
  }
  deferredSysex.clear();
  deferredSysex.shrink_to_fit();
  entryLists.clear();
  templateCache.clear();
}

void UIConfigManager::processXMLElement(XMLNode* node, ControlLayer* layer, int part) {
  for (XMLNode* n = node; n; n = n->NextSibling()) {
    if (walkBudget <= 0) return;
    if (--walkBudget == 0) {
      log("CONFIG READER: interface description too large; the rest of it is not built");
      return;
    }
    if (XMLElement* e = n->ToElement()) interpretElement(e, layer, part);
  }
}

void UIConfigManager::interpretElement(XMLElement* e, ControlLayer* layer, int part) {
  const char* kind = e->Name();
  // Elements under a multilayer are read once per walk; any other is met once anyway.
  std::optional<UIElementAttributes> single;
  UIElementAttributes& at = elementCache && part >= 0
                                ? elementCache->byElement.try_emplace(e, e).first->second
                                : single.emplace(e);
  const Kind k = at.kind;
  const std::string& image = at.image;
  const std::string& group = at.group;
  const int channel = at.integer(kAttrChannel);
  auto skip = [&](const std::string& why) {
    log(std::string("CONFIG READER: element ") + kind + " skipped: " + why);
  };

  // The element's parameter: its registered number, plus the part, plus an offset after "+".
  int number = -1;
  bool badParam = false;
  const char* paramId = at.text(kAttrParamId);
  if (*paramId) {
    if (!at.paramRead) {
      const char* first = paramId;
      while (*first == '+') ++first;
      const char* firstEnd = first;
      while (*firstEnd && *firstEnd != '+') ++firstEnd;
      at.paramName.assign(first, firstEnd);
      at.paramBase = at.paramName.empty() ? -1 : getParamByName(at.paramName);
      const char* second = firstEnd;
      while (*second == '+') ++second;
      if (*second) {
        const char* secondEnd = second;
        while (*secondEnd && *secondEnd != '+') ++secondEnd;
        parseIntField(second, secondEnd, &at.paramOffset);
      }
      at.paramRead = true;
    } else if (at.paramBase < 0 && !at.paramName.empty()) {
      getParamByName(at.paramName);  // reports the unregistered name again, as every copy does
    }
    const int base = at.paramBase;
    if (base < 0) {
      // Never let -1 plus the offsets land on a real parameter.
      badParam = true;
    } else {
      long long n = static_cast<long long>(base) + (part > 0 ? part : 0);
      n += at.paramOffset;
      if (n < 0 || n >= kNumParams)
        badParam = true;
      else
        number = static_cast<int>(n);
    }
  }
  if (badParam && !isStructural(k)) {
    skip(std::string("paramId \"") + paramId + "\" names no parameter");
    return;
  }

  switch (k) {
    case Kind::kPatchBrowser: {
      const Numbers b = at.numbers(kAttrBounds, 4);
      if (b.n < 4) return skip("bounds needs 4 values");
      if (!librarianViewFactory) return skip("no librarian view to build");
      IBitmap bm = getImageByName(graphics, image);
      const int x = scaled(b.v[0]), y = scaled(b.v[1]), w = scaled(b.v[2]), h = scaled(b.v[3]);
      IControl* view = librarianViewFactory(plug, x, y, kLibrarianArea, &bm,
                                            IRECT(x, y, x + w, y + h), librarian, scale);
      if (view) {
        librarianView = view;
        attach(view, layer);
      }
      break;
    }
    case Kind::kLayer: {
      const char* name = at.raw(kAttrName);
      if (!name) return skip("a layer needs a name");
      ControlLayer* l = new ControlLayer(at.integer(kAttrId), name);
      attachLayer(l, layer);
      layerMap[name] = l;
      processXMLElement(e->FirstChild(), l, part);
      l->setIgnoreHiddenWhenUpdatingScreen(sameText(at.text(kAttrOverlay), "true"));
      break;
    }
    case Kind::kMultilayer: {
      int create = at.integer(kAttrCreate);
      if (create > kNumParts) {
        // Copies beyond the sixteenth would bind the next block's parameters.
        skip("create " + std::to_string(create) + " is more than the 16 parts; 16 copies built");
        create = kNumParts;
      }
      const std::string& name = at.name;
      for (int i = 0; i < create; ++i) {
        ControlLayer* copy = new ControlLayer(i, name + std::to_string(i));
        processXMLElement(e->FirstChild(), copy, i);
        layerMap[copy->getName()] = copy;
        attachLayer(copy, layer);
      }
      break;
    }
    case Kind::kBackground: {
      const Numbers p = at.numbers(kAttrPosition, 2);
      if (p.n < 2) return skip("position needs 2 values");
      IBitmap bm = getImageByName(graphics, image);
      attach(new IBitmapControl(plug, scaled(p.v[0]), scaled(p.v[1]), -1, &bm,
                                IChannelBlend::kBlendNone),
             layer);
      break;
    }
    case Kind::kDisplay: {
      const Numbers b = at.numbers(kAttrBounds, 4);
      if (b.n < 4) return skip("bounds needs 4 values");
      const Numbers ds = at.numbers(kAttrDisplaySize, 2);
      createControlDisplay("Display", number, b.v[0], b.v[1], b.v[2], b.v[3], part, layer, group,
                           ds.v[0], at.integer(kAttrWhite) != 0);
      break;
    }
    case Kind::kSwitch: {
      const Numbers p = at.numbers(kAttrPosition, 2);
      const Numbers vb = at.numbers(kAttrValueBounds, 3);
      if (p.n < 2 || vb.n < 1) return skip("position needs 2 values and valueBounds 1");
      createBoolControl(at.name, number, vb.v[0], p.v[0], p.v[1], image, part, layer, group);
      break;
    }
    case Kind::kAutoOff: {
      const Numbers p = at.numbers(kAttrPosition, 2);
      if (p.n < 2) return skip("position needs 2 values");
      createSwitchControl(at.name, number, 0, p.v[0], p.v[1], image, part, layer, group);
      break;
    }
    case Kind::kDropMenu: {
      const std::string& name = at.name;
      const char* type = at.text(kAttrType);
      const Numbers b = at.numbers(kAttrBounds, 4);
      const Numbers dev = at.numbers(kAttrInputDev, 2);
      const Numbers vb = at.numbers(kAttrValueBounds, 3);
      const bool known = sameText(type, "textSelection") || sameText(type, "deviceSelection") ||
                         sameText(type, "nameSelection") || sameText(type, "dropSelection");
      if (known && b.n < 4) return skip("bounds needs 4 values");
      if (sameText(type, "textSelection")) {
        createDropDownMenu(name, number, b.v[0], b.v[1], b.v[2], b.v[3], part, layer, group);
      } else if (sameText(type, "deviceSelection")) {
        createMIDIDeviceSelectionControl("MIDI Setup", number, b.v[0], b.v[1], b.v[2], b.v[3],
                                         dev.v[0], part, layer, group);
      } else if (sameText(type, "nameSelection")) {
        createNameDisplay(name, number, b.v[0], b.v[1], b.v[2], b.v[3], at.integer(kAttrNameLen),
                          part, layer, group);
      } else if (sameText(type, "dropSelection")) {
        if (vb.n < 3) return skip("valueBounds needs 3 values");
        createDropDownMenu2(name, number, b.v[0], b.v[1], b.v[2], b.v[3], vb.v[0], vb.v[1], vb.v[2],
                            valueListOrEmpty(at.text(kAttrValueList)), part, layer, group);
      }
      break;
    }
    case Kind::kMultiFx: {
      const char* type = at.text(kAttrType);
      const std::string& name = at.name;
      if (sameText(type, "Knob")) {
        const Numbers p = at.numbers(kAttrPosition, 2);
        const Numbers vb = at.numbers(kAttrValueBounds, 4);
        if (p.n < 2 || vb.n < 3) return skip("position needs 2 values and valueBounds 3");
        createNoValKnobControl(name, number, p.v[0], p.v[1], image, vb.v[0], vb.v[1], vb.v[2],
                               vb.v[3], part, layer, group);
      } else if (sameText(type, "Menu")) {
        const Numbers p = at.numbers(kAttrPosition, 4);
        const Numbers vb = at.numbers(kAttrValueBounds, 3);
        if (p.n < 4 || vb.n < 3) return skip("position needs 4 values and valueBounds 3");
        const Numbers visible = at.numbers(kAttrVisible, 2);
        int a = -1, b = -1;
        at.valueDisplay(&a, &b);
        createNoValDropDown(name, number, p.v[0], p.v[1], p.v[2], p.v[3], vb.v[0], vb.v[1], vb.v[2],
                            a, b, visible.n > 0 ? visible.v[0] : 1,
                            valueListOrEmpty(at.text(kAttrValueList)), part, layer, group,
                            at.integer(kAttrWhite) != 0);
      }
      break;
    }
    case Kind::kRadio: {
      const Numbers p = at.numbers(kAttrPosition, 2);
      if (p.n < 2) return skip("position needs 2 values");
      createRadioControl(at.name, number, p.v[0], p.v[1], image, at.integer(kAttrButtons), part,
                         layer, group, e->BoolAttribute("horizontal", false));
      break;
    }
    case Kind::kControl:
      interpretControlElement(at, number, layer, part, group, image);
      break;
    case Kind::kOther:
      break;
  }

  // Closing step: the binding's part is the copy's part, or the element's 1-based channel.
  if (number >= 0 && plug) {
    IParam* p = plug->GetParam(number);
    ControlAction* record = p ? p->GetControlAction() : nullptr;
    if (record) {
      if (part >= 0)
        record->part = part;
      else if (channel >= 0 && channel <= kNumParts)
        record->part = partFromOneBased(channel);
      else
        skip("channel " + std::to_string(channel) + " is no MIDI channel; part left unset");
    }
  }
}

void UIConfigManager::interpretControlElement(UIElementAttributes& at, int number,
                                              ControlLayer* layer, int part,
                                              const std::string& group, const std::string& image) {
  const char* type = at.text(kAttrType);
  const std::string& name = at.name;
  const Numbers p = at.numbers(kAttrPosition, 3);
  const int length = at.integer(kAttrLength);
  const Numbers vb = at.numbers(kAttrValueBounds, 4);
  const int changingByte = at.integer(kAttrChangingByte) & 0xFF;
  int linkValues[3] = {-1, -1, -1};
  // No text, no link: the reader would find no names in it.
  if (*at.text(kAttrBiDirectLink))
    getBiDirectLinkValues(at.text(kAttrBiDirectLink), linkValues, part);
  const LinkInfo link{linkValues[0], linkValues[1], linkValues[2]};
  int a = -1, b = -1;
  at.valueDisplay(&a, &b);
  const char* valueList = at.text(kAttrValueList);
  const int ccNumber = at.integer(kAttrCcNumber);
  const int channel = at.integer(kAttrChannel);
  const int sysexIndex = at.integer(kAttrSysexIndex);
  const int msgZeroVal = at.integer(kAttrMsgZeroVal);
  const bool white = at.integer(kAttrWhite) != 0;

  auto entries = [&]() -> const std::vector<std::string>& {
    if (!at.entries) at.entries = &valueListOrEmpty(valueList);
    return *at.entries;
  };
  const ControlType* need = at.controlType();
  if (!need) return;  // an unknown type builds nothing
  if (p.n < need->positions || vb.n < need->bounds) {
    log(std::string("CONFIG READER: ") + type + " \"" + name + "\" skipped: position needs " +
        std::to_string(need->positions) + " values and valueBounds " +
        std::to_string(need->bounds));
    return;
  }
  const double v1 = vb.v[0], v2 = vb.v[1], v3 = vb.v[2], v4 = vb.v[3];
  const EDirection direction = need->direction;
  IControl* sysexControl = nullptr;  // a SysEx type's control, which may also follow a controller
  switch (need->kind) {
    case ControlKind::kSeKnob:
      sysexControl = createSysExKnobControl(name, number, p.v[0], p.v[1], image, v1, v2, v3, v4,
                                            msgZeroVal, sysexIndex, changingByte, part, link, layer,
                                            group);
      break;
    case ControlKind::kSeSlider:
      sysexControl = createSysExSliderControl(name, number, p.v[0], p.v[1], length, image, v1, v2,
                                              v3, v4, msgZeroVal, sysexIndex, changingByte, part,
                                              link, layer, group, direction, false);
      break;
    case ControlKind::kSeButton:
      sysexControl = createSysExBoolControl(name, number, p.v[0], p.v[1], image, v1, msgZeroVal,
                                            sysexIndex, changingByte, part, link, layer, group);
      break;
    case ControlKind::kCcSlider:
      createCCSliderControl(ccNumber, channel, name, number, p.v[0], p.v[1], length, image, v1, v2,
                            v3, link, part, layer, group, direction, false);
      break;
    case ControlKind::kCcKnob:
      createCCKnobControl(ccNumber, channel, name, number, p.v[0], p.v[1], image, v1, v2, v3, v4,
                          link, part, layer, group);
      break;
    case ControlKind::kCcButton:
      createCCBoolControl(ccNumber, channel, name, number, p.v[0], p.v[1], image, v1, v2, v3, link,
                          part, layer, group);
      break;
    case ControlKind::kSeMenu:
      sysexControl = createMultiSelectionSysExControl(
          name, number, p.v[0], p.v[1], p.v[2], 13, vb.v[0], vb.v[1], vb.v[2], a, b, entries(),
          msgZeroVal, at.integer(kAttrColor), sysexIndex, changingByte, part, layer, group, white);
      break;
    case ControlKind::kCcMenu:
      createMultiSelectionCCControl(ccNumber, channel, name, number, p.v[0], p.v[1], p.v[2], 13,
                                    vb.v[0], vb.v[1], vb.v[2], a, b, entries(), part, layer, group,
                                    white);
      break;
  }
  if (sysexControl && at.raw(kAttrCcNumber))
    receiveCC(number, sysexControl, ccNumber, channel, part);
}
