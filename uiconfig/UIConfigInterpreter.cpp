// The interpreter of the interface description: one walk over the element tree that builds the
// layers and hands every control element to its factory. Runs once, inside readUIConfig, on the
// thread that constructs the plug-in.
//
// The description is treated as hostile: every number list an element kind uses must supply the
// values it uses, every parameter name must be registered and land inside the parameter table
// after its offsets, or the element is skipped with a "CONFIG READER: " line. Nothing is ever
// bound to a parameter the element did not name.

#include <tinyxml2.h>

#include <climits>
#include <cstdlib>
#include <cstring>

#include "ControlLayer.h"
#include "IControls.h"
#include "IGraphics.h"
#include "IParam.h"
#include "IPluginBase.h"
#include "UIConfigManager.h"
#include "UIConfigText.h"

namespace {

using tinyxml2::XMLElement;
using tinyxml2::XMLNode;

// The leading decimal integer of `text`, held to the int range; false when it has none.
bool parseInt(const char* text, int* out) {
  if (!text) return false;
  char* end = nullptr;
  const long long v = std::strtoll(text, &end, 10);
  if (end == text) return false;
  *out = v < INT_MIN ? INT_MIN : (v > INT_MAX ? INT_MAX : static_cast<int>(v));
  return true;
}

std::string attrText(const XMLElement* e, const char* name) {
  const char* t = e->Attribute(name);
  return t ? t : "";
}

// An integer attribute: absent or not starting with a number counts as 0.
int attrInt(const XMLElement* e, const char* name) {
  int v = 0;
  return parseInt(e->Attribute(name), &v) ? v : 0;
}

// A comma-separated number list; `n` counts the leading fields that are numbers.
struct Numbers {
  int v[4] = {0, 0, 0, 0};
  int n = 0;
};

Numbers readNumbers(const XMLElement* e, const char* name, int maxCount) {
  Numbers out;
  const char* t = e->Attribute(name);
  if (!t) return out;
  std::vector<std::string> fields;
  Tokenize(t, fields, ",");
  for (const std::string& f : fields) {
    if (out.n >= maxCount || !parseInt(f.c_str(), &out.v[out.n])) break;
    ++out.n;
  }
  return out;
}

// "a:b" gives the display pair; anything else (-1, -1).
void readValueDisplay(const XMLElement* e, int* a, int* b) {
  *a = *b = -1;
  std::vector<std::string> pieces;
  Tokenize(attrText(e, "valueDisplay"), pieces, ":");
  if (pieces.size() != 2) return;
  int x = 0, y = 0;
  parseInt(pieces[0].c_str(), &x);
  parseInt(pieces[1].c_str(), &y);
  *a = x;
  *b = y;
}

bool isLayerKind(const char* n) {
  static const char* const kinds[] = {"layer",         "fxlayer",          "multifxlayer",
                                      "envelopelayer", "oscillator1layer", "oscillator2layer",
                                      "modlayer",      "banklayer"};
  for (const char* k : kinds)
    if (std::strcmp(n, k) == 0) return true;
  return false;
}

bool isControlElement(const char* n) {
  return std::strcmp(n, "knobcontrol") == 0 || std::strcmp(n, "buttoncontrol") == 0 ||
         std::strcmp(n, "menucontrol") == 0 || std::strcmp(n, "slidercontrol") == 0;
}

}  // namespace

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
  const std::string image = attrText(e, "imageId");
  const std::string group = attrText(e, "paramGroup");
  const int channel = attrInt(e, "channel");
  auto skip = [&](const std::string& why) {
    log(std::string("CONFIG READER: element ") + kind + " skipped: " + why);
  };

  // The element's parameter: its registered number, plus the part, plus an offset after "+".
  int number = -1;
  bool badParam = false;
  const std::string paramId = attrText(e, "paramId");
  if (!paramId.empty()) {
    std::vector<std::string> pieces;
    Tokenize(paramId, pieces, "+");
    const int base = pieces.empty() ? -1 : getParamByName(pieces[0]);
    if (base < 0) {
      // Never let -1 plus the offsets land on a real parameter.
      badParam = true;
    } else {
      long long n = static_cast<long long>(base) + (part > 0 ? part : 0);
      int offset = 0;
      if (pieces.size() > 1) parseInt(pieces[1].c_str(), &offset);
      n += offset;
      if (n < 0 || n >= kNumParams)
        badParam = true;
      else
        number = static_cast<int>(n);
    }
  }
  const bool layerKind = isLayerKind(kind);
  const bool structural = layerKind || std::strcmp(kind, "multilayer") == 0 ||
                          std::strcmp(kind, "background") == 0 ||
                          std::strcmp(kind, "patchBrowser") == 0;
  if (badParam && !structural) {
    skip("paramId \"" + paramId + "\" names no parameter");
    return;
  }

  if (std::strcmp(kind, "patchBrowser") == 0) {
    const Numbers b = readNumbers(e, "bounds", 4);
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
  } else if (layerKind) {
    const char* name = e->Attribute("name");
    if (!name) return skip("a layer needs a name");
    ControlLayer* l = new ControlLayer(attrInt(e, "id"), name);
    attachLayer(l, layer);
    layerMap[name] = l;
    processXMLElement(e->FirstChild(), l, part);
    l->setIgnoreHiddenWhenUpdatingScreen(attrText(e, "overlay") == "true");
  } else if (std::strcmp(kind, "multilayer") == 0) {
    int create = attrInt(e, "create");
    if (create > kNumParts) {
      // Copies beyond the sixteenth would bind the next block's parameters.
      skip("create " + std::to_string(create) + " is more than the 16 parts; 16 copies built");
      create = kNumParts;
    }
    const std::string name = attrText(e, "name");
    for (int i = 0; i < create; ++i) {
      ControlLayer* copy = new ControlLayer(i, name + std::to_string(i));
      processXMLElement(e->FirstChild(), copy, i);
      layerMap[copy->getName()] = copy;
      attachLayer(copy, layer);
    }
  } else if (std::strcmp(kind, "background") == 0) {
    const Numbers p = readNumbers(e, "position", 2);
    if (p.n < 2) return skip("position needs 2 values");
    IBitmap bm = getImageByName(graphics, image);
    attach(new IBitmapControl(plug, scaled(p.v[0]), scaled(p.v[1]), -1, &bm,
                              IChannelBlend::kBlendNone),
           layer);
  } else if (std::strcmp(kind, "display") == 0) {
    const Numbers b = readNumbers(e, "bounds", 4);
    if (b.n < 4) return skip("bounds needs 4 values");
    const Numbers ds = readNumbers(e, "displaySize", 2);
    createControlDisplay("Display", number, b.v[0], b.v[1], b.v[2], b.v[3], part, layer, group,
                         ds.v[0], attrInt(e, "white") != 0);
  } else if (std::strcmp(kind, "switch") == 0) {
    const Numbers p = readNumbers(e, "position", 2);
    const Numbers vb = readNumbers(e, "valueBounds", 3);
    if (p.n < 2 || vb.n < 1) return skip("position needs 2 values and valueBounds 1");
    createBoolControl(attrText(e, "name"), number, vb.v[0], p.v[0], p.v[1], image, part, layer,
                      group);
  } else if (std::strcmp(kind, "autooff") == 0) {
    const Numbers p = readNumbers(e, "position", 2);
    if (p.n < 2) return skip("position needs 2 values");
    createSwitchControl(attrText(e, "name"), number, 0, p.v[0], p.v[1], image, part, layer, group);
  } else if (std::strcmp(kind, "dropMenu") == 0) {
    const std::string name = attrText(e, "name");
    const std::string type = attrText(e, "type");
    const Numbers b = readNumbers(e, "bounds", 4);
    const Numbers dev = readNumbers(e, "inputDev", 2);
    const Numbers vb = readNumbers(e, "valueBounds", 3);
    const bool known = type == "textSelection" || type == "deviceSelection" ||
                       type == "nameSelection" || type == "dropSelection";
    if (known && b.n < 4) return skip("bounds needs 4 values");
    if (type == "textSelection") {
      createDropDownMenu(name, number, b.v[0], b.v[1], b.v[2], b.v[3], part, layer, group);
    } else if (type == "deviceSelection") {
      createMIDIDeviceSelectionControl("MIDI Setup", number, b.v[0], b.v[1], b.v[2], b.v[3],
                                       dev.v[0], part, layer, group);
    } else if (type == "nameSelection") {
      createNameDisplay(name, number, b.v[0], b.v[1], b.v[2], b.v[3], attrInt(e, "nameLen"), part,
                        layer, group);
    } else if (type == "dropSelection") {
      if (vb.n < 3) return skip("valueBounds needs 3 values");
      createDropDownMenu2(name, number, b.v[0], b.v[1], b.v[2], b.v[3], vb.v[0], vb.v[1], vb.v[2],
                          valueListCopy(attrText(e, "valueList")), part, layer, group);
    }
  } else if (std::strcmp(kind, "multiFx") == 0) {
    const std::string type = attrText(e, "type");
    const std::string name = attrText(e, "name");
    if (type == "Knob") {
      const Numbers p = readNumbers(e, "position", 2);
      const Numbers vb = readNumbers(e, "valueBounds", 4);
      if (p.n < 2 || vb.n < 3) return skip("position needs 2 values and valueBounds 3");
      createNoValKnobControl(name, number, p.v[0], p.v[1], image, vb.v[0], vb.v[1], vb.v[2],
                             vb.v[3], part, layer, group);
    } else if (type == "Menu") {
      const Numbers p = readNumbers(e, "position", 4);
      const Numbers vb = readNumbers(e, "valueBounds", 3);
      if (p.n < 4 || vb.n < 3) return skip("position needs 4 values and valueBounds 3");
      const Numbers visible = readNumbers(e, "visible", 2);
      int a = -1, b = -1;
      readValueDisplay(e, &a, &b);
      createNoValDropDown(name, number, p.v[0], p.v[1], p.v[2], p.v[3], vb.v[0], vb.v[1], vb.v[2],
                          a, b, visible.n > 0 ? visible.v[0] : 1,
                          valueListCopy(attrText(e, "valueList")), part, layer, group,
                          attrInt(e, "white") != 0);
    }
  } else if (std::strcmp(kind, "radio") == 0) {
    const Numbers p = readNumbers(e, "position", 2);
    if (p.n < 2) return skip("position needs 2 values");
    createRadioControl(attrText(e, "name"), number, p.v[0], p.v[1], image, attrInt(e, "buttons"),
                       part, layer, group, e->BoolAttribute("horizontal", false));
  } else if (isControlElement(kind)) {
    interpretControlElement(e, number, layer, part, group, image);
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

void UIConfigManager::interpretControlElement(XMLElement* e, int number, ControlLayer* layer,
                                              int part, const std::string& group,
                                              const std::string& image) {
  const std::string type = attrText(e, "type");
  const std::string name = attrText(e, "name");
  const Numbers p = readNumbers(e, "position", 3);
  const int length = attrInt(e, "length");
  const Numbers vb = readNumbers(e, "valueBounds", 4);
  const int changingByte = attrInt(e, "changingByte") & 0xFF;
  int linkValues[3] = {-1, -1, -1};
  getBiDirectLinkValues(attrText(e, "biDirectLink"), linkValues, part);
  const LinkInfo link{linkValues[0], linkValues[1], linkValues[2]};
  int a = -1, b = -1;
  readValueDisplay(e, &a, &b);
  const std::string valueList = attrText(e, "valueList");
  const int ccNumber = attrInt(e, "ccNumber");
  const int channel = attrInt(e, "channel");
  const int sysexIndex = attrInt(e, "sysexIndex");
  const int msgZeroVal = attrInt(e, "msgZeroVal");
  const int color = attrInt(e, "color");
  const bool white = attrInt(e, "white") != 0;

  struct Need {
    const char* type;
    int positions;
    int bounds;
  };
  static const Need needs[] = {{"seKnob", 2, 3},   {"seSliderVer", 2, 3}, {"seSliderHor", 2, 3},
                               {"seButton", 2, 1}, {"ccSliderVer", 2, 3}, {"ccSliderHor", 2, 3},
                               {"ccKnob", 2, 4},   {"ccButton", 2, 3},    {"seMenu", 3, 3},
                               {"ccMenu", 3, 3}};
  const Need* need = nullptr;
  for (const Need& n : needs)
    if (type == n.type) need = &n;
  if (!need) return;  // an unknown type builds nothing
  if (p.n < need->positions || vb.n < need->bounds) {
    log("CONFIG READER: " + type + " \"" + name + "\" skipped: position needs " +
        std::to_string(need->positions) + " values and valueBounds " +
        std::to_string(need->bounds));
    return;
  }
  const double v1 = vb.v[0], v2 = vb.v[1], v3 = vb.v[2], v4 = vb.v[3];
  if (type == "seKnob") {
    createSysExKnobControl(name, number, p.v[0], p.v[1], image, v1, v2, v3, v4, msgZeroVal,
                           sysexIndex, changingByte, part, link, layer, group);
  } else if (type == "seSliderVer" || type == "seSliderHor") {
    createSysExSliderControl(name, number, p.v[0], p.v[1], length, image, v1, v2, v3, v4,
                             msgZeroVal, sysexIndex, changingByte, part, link, layer, group,
                             type == "seSliderHor" ? kHorizontal : kVertical, false);
  } else if (type == "seButton") {
    createSysExBoolControl(name, number, p.v[0], p.v[1], image, v1, msgZeroVal, sysexIndex,
                           changingByte, part, link, layer, group);
  } else if (type == "ccSliderVer" || type == "ccSliderHor") {
    createCCSliderControl(ccNumber, channel, name, number, p.v[0], p.v[1], length, image, v1, v2,
                          v3, link, part, layer, group,
                          type == "ccSliderHor" ? kHorizontal : kVertical, false);
  } else if (type == "ccKnob") {
    createCCKnobControl(ccNumber, channel, name, number, p.v[0], p.v[1], image, v1, v2, v3, v4,
                        link, part, layer, group);
  } else if (type == "ccButton") {
    createCCBoolControl(ccNumber, channel, name, number, p.v[0], p.v[1], image, v1, v2, v3, link,
                        part, layer, group);
  } else if (type == "seMenu") {
    createMultiSelectionSysExControl(name, number, p.v[0], p.v[1], p.v[2], 13, vb.v[0], vb.v[1],
                                     vb.v[2], a, b, valueListCopy(valueList), msgZeroVal, color,
                                     sysexIndex, changingByte, part, layer, group, white);
  } else if (type == "ccMenu") {
    createMultiSelectionCCControl(ccNumber, channel, name, number, p.v[0], p.v[1], p.v[2], 13,
                                  vb.v[0], vb.v[1], vb.v[2], a, b, valueListCopy(valueList), part,
                                  layer, group, white);
  }
}
