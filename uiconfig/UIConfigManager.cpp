// UIConfigManager: the loading pipeline (resources, SysEx value lists, value lists), the
// parameter-name and record bookkeeping shared by the factories, and the reverse lookups.
// The interpreter lives in UIConfigInterpreter.cpp, the factories in UIConfigFactories.cpp and
// UIConfigMenus.cpp, the image table in UIConfigImages.cpp.

#include "UIConfigManager.h"

#include <tinyxml2.h>

#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#include "ControlLayer.h"
#include "IControl.h"
#include "IGraphics.h"
#include "IParam.h"
#include "IPluginBase.h"
#include "Tea.h"
#include "UIConfigKey.h"
#include "UIConfigResources.h"
#include "UIConfigText.h"
#include "UTIL_File.h"

namespace {

// Texts of `first` and every element sibling after it; an element without text reads " ".
Values readTexts(const tinyxml2::XMLElement* first) {
  Values v;
  for (const tinyxml2::XMLElement* e = first; e; e = e->NextSiblingElement()) {
    const char* t = e->GetText();
    v.items.emplace_back(t ? t : " ");
  }
  return v;
}

}  // namespace

UIConfigManager::UIConfigManager() = default;

UIConfigManager::~UIConfigManager() {
  // Clear the parameters' pointers before the records go, so nothing that outlives the manager
  // (the parameters, until the framework base deletes them) holds a dangling one.
  for (const auto& owned : ownedRecords) {
    IParam* p = plug ? plug->GetParam(owned.first) : nullptr;
    if (p && p->GetControlAction() == owned.second) p->SetControlAction(nullptr);
  }
  for (const auto& owned : ownedRecords) delete owned.second;
}

void UIConfigManager::setLog(LogSink sink) {
  logSink = sink;
  paramNames.setLog(std::move(sink));
}

void UIConfigManager::log(const std::string& text) const {
  if (logSink) logSink(text);
}

void UIConfigManager::refuse(const std::string& text, bool named) const {
  log(text);
  if (!named) UTIL_SayRefusal(text);
}

// ---------------------------------------------------------------- pipeline

void UIConfigManager::decrypt(const char* data, int length, std::string& text) {
  UIConfigResources::decrypt(data, length, text);
}

bool UIConfigManager::loadResourceText(const std::string& folder, IGraphics* g, int id, const char* name,
                                       std::string& text, const LogSink& to) {
  // A refusal the loader did not name is named here, as the resources folder's reader names its.
  auto say = [&](const std::string& line) {
    if (to) to(line);
  };
  auto refuse = [&](const std::string& line) {
    say(line);
    UTIL_SayRefusal(line);
  };
  text.clear();
  if (!folder.empty()) return UIConfigResources::loadResource(folder, name, text, say);
  if (!g) return false;
  // The two resources may be read side by side: the loader keeps the last file's size.
  static std::mutex loaderLock;
  std::unique_lock<std::mutex> loading(loaderLock);
  char* data = g->LoadFile(id, name);
  if (!data) {
    say(std::string("CONFIG READER: resource ") + name + " MISSING!");
    return false;
  }
  const int length = g->GetLastLoadedFileSize();
  loading.unlock();
  if (length < 1) {
    refuse(std::string("CONFIG READER: resource ") + name + " is EMPTY!");
  } else {
    decrypt(data, length, text);
    if (length % 8 != 0)
      refuse(std::string("CONFIG READER: resource ") + name +
             " does not end on a whole block; its last bytes were left out");
  }
  delete[] data;
  return !text.empty() && length % 8 == 0;
}

struct UIConfigManager::ParsedResource {
  std::thread reader;
  std::vector<std::string> lines;
  bool empty = true;
  bool parsed = false;
  bool named = false;   // not read whole: said why already
  tinyxml2::XMLDocument doc{true, tinyxml2::PRESERVE_WHITESPACE};
  ~ParsedResource() {
    if (reader.joinable()) reader.join();
  }
};

void UIConfigManager::readResource(ParsedResource& r, const std::string& folder, IGraphics* g,
                                   int id, const char* name, const LogSink& to) {
  std::string text;
  r.named = !loadResourceText(folder, g, id, name, text, to);
  r.empty = text.empty();
  // c_str() ends the text at its first NUL, as the deciphered padding requires.
  if (!r.empty) r.parsed = r.doc.Parse(text.c_str()) == tinyxml2::XML_SUCCESS;
}

void UIConfigManager::readResourcesAhead(IGraphics* g) {
  auto start = [&](std::unique_ptr<ParsedResource>& ahead, int id, const char* name) {
    if (ahead) return;
    ahead = std::make_unique<ParsedResource>();
    ParsedResource* r = ahead.get();
    try {
      r->reader = std::thread([r, folder = resourcesFolder, g, id, name] {
        readResource(*r, folder, g, id, name, [r](const std::string& line) { r->lines.push_back(line); });
      });
    } catch (const std::system_error&) {
      ahead.reset();  // no thread to be had: read when needed
    }
  };
  start(sysexAhead, UIConfigResources::kSysExResourceId, UIConfigResources::kSysExResource);
  start(descriptionAhead, UIConfigResources::kUIConfigResourceId, UIConfigResources::kUIConfigResource);
}

std::unique_ptr<UIConfigManager::ParsedResource> UIConfigManager::takeResource(
    std::unique_ptr<ParsedResource>& ahead, int id, const char* name) {
  std::unique_ptr<ParsedResource> r = std::move(ahead);
  if (!r) {
    r = std::make_unique<ParsedResource>();
    readResource(*r, resourcesFolder, graphics, id, name, [this](const std::string& line) { log(line); });
    return r;
  }
  if (r->reader.joinable()) r->reader.join();
  for (const std::string& line : r->lines) log(line);
  return r;
}

void UIConfigManager::readUIConfig(IGraphics* g, IPluginBase* p, PatchLibrarian* lib, int s,
                                   double sc) {
  librarian = lib;
  graphics = g;
  plug = p;
  skin = s;
  scale = sc;
  readSysexValues();
  initImages(graphics);
  initParams();
  std::unique_ptr<ParsedResource> description = takeResource(
      descriptionAhead, UIConfigResources::kUIConfigResourceId, UIConfigResources::kUIConfigResource);
  if (description->empty) {
    log("CONFIG READER: no interface description; the window is built without its controls");
    return;
  }
  if (!readDescriptionDocument(description->doc, description->parsed, description->named))
    log("CONFIG READER: the interface description could not be read; the window is built "
        "without its controls");
}

void UIConfigManager::readSysexValues() {
  log("CONFIG READER: Started to read SysEx Data...");
  std::unique_ptr<ParsedResource> lists =
      takeResource(sysexAhead, UIConfigResources::kSysExResourceId, UIConfigResources::kSysExResource);
  if (!lists->parsed || !readSysexDocument(lists->doc)) {
    if (!lists->empty)
      refuse(std::string("CONFIG READER: resource ") + UIConfigResources::kSysExResource +
             (lists->parsed ? std::string(" has no sysexlist element")
                            : std::string(" does not parse: ") + (lists->doc.ErrorStr() ? lists->doc.ErrorStr() : "")),
             lists->named);
    log("CONFIG READER: no SysEx value lists; SysEx controls cannot be bound");
  }
  log("CONFIG READER: Completed reading SysEx data!");
}

bool UIConfigManager::readSysexText(const std::string& text) {
  tinyxml2::XMLDocument doc(true, tinyxml2::PRESERVE_WHITESPACE);
  // c_str() ends the text at its first NUL, as the deciphered padding requires.
  return doc.Parse(text.c_str()) == tinyxml2::XML_SUCCESS && readSysexDocument(doc);
}

bool UIConfigManager::readSysexDocument(tinyxml2::XMLDocument& doc) {
  tinyxml2::XMLElement* root = doc.FirstChildElement("sysexlist");
  if (!root) return false;
  for (tinyxml2::XMLElement* c = root->FirstChildElement("sysex"); c; c = c->NextSiblingElement()) {
    SysExContainer container;
    for (tinyxml2::XMLElement* l = c->FirstChildElement("values"); l; l = l->NextSiblingElement()) {
      if (tinyxml2::XMLElement* first = l->FirstChildElement("value")) {
        container.lists.push_back(readTexts(first));
        continue;
      }
      std::vector<Values> multi;
      for (tinyxml2::XMLElement* m = l->FirstChildElement("multivalue"); m;
           m = m->NextSiblingElement())
        multi.push_back(readTexts(m->FirstChildElement("value")));
      container.isMultiValue = true;
      container.multiLists.push_back(std::move(multi));
    }
    sysexContainers.push_back(std::move(container));
  }
  return true;
}

bool UIConfigManager::readDescriptionText(const std::string& text) {
  tinyxml2::XMLDocument doc(true, tinyxml2::PRESERVE_WHITESPACE);
  const bool parsed = doc.Parse(text.c_str()) == tinyxml2::XML_SUCCESS;
  return readDescriptionDocument(doc, parsed);
}

bool UIConfigManager::readDescriptionDocument(tinyxml2::XMLDocument& doc, bool parsed, bool named) {
  if (!parsed) {
    refuse(std::string("CONFIG READER: interface description ") + UIConfigResources::kUIConfigResource + " does not parse: " +
               (doc.ErrorStr() ? doc.ErrorStr() : ""),
           named);
    return false;
  }
  readReasources(&doc);
  tinyxml2::XMLElement* root = doc.FirstChildElement("uiconfig");
  if (!root) {
    refuse(std::string("CONFIG READER: interface description ") + UIConfigResources::kUIConfigResource +
               " has no uiconfig element",
           named);
    return false;
  }
  if (!graphics || !plug) {
    log("CONFIG READER: no graphics object or plug-in to build the interface on");
    return false;
  }
  decodeStartupImagesAhead(root->FirstChild());
  walkBudget = kWalkBudget;
  walkDescription(root->FirstChild());
  return true;
}

void UIConfigManager::readReasources(tinyxml2::XMLDocument* document) {
  if (!document) return;
  tinyxml2::XMLElement* root = document->FirstChildElement("uiconfig");
  tinyxml2::XMLElement* lists = root ? root->FirstChildElement("valueLists") : nullptr;
  if (!lists) return;
  for (tinyxml2::XMLElement* l = lists->FirstChildElement(); l; l = l->NextSiblingElement()) {
    if (std::strcmp(l->Name(), "list") != 0) continue;
    const char* name = l->Attribute("name");
    if (!name) {
      log("CONFIG READER: value list without a name skipped");
      continue;
    }
    std::vector<std::string> items;
    for (tinyxml2::XMLElement* v = l->FirstChildElement("value"); v;
         v = v->NextSiblingElement("value")) {
      const char* t = v->GetText();
      items.emplace_back(t ? t : "");
    }
    valueLists[name] = std::move(items);
  }
}

// ---------------------------------------------------------------- parameter names

void UIConfigManager::initParams() { paramNames.initParams(); }

void UIConfigManager::mapParamToString(const std::string& name, int number) {
  paramNames.mapParamToString(name, number);
}

int UIConfigManager::getParamByName(const std::string& name) const {
  return paramNames.getParamByName(name);
}

const char* UIConfigManager::getParamGroup(int part, const std::string& name) {
  return paramNames.getParamGroup(part, name);
}

void UIConfigManager::getBiDirectLinkValues(const std::string& text, int* link,
                                            int partOffset) const {
  link[0] = link[1] = link[2] = -1;
  paramNames.getBiDirectLinkValues(text, link, partOffset);
  // A third item carries the offset the link manager keeps between the two values.
  std::vector<std::string> items;
  Tokenize(text, items, ",");
  if (items.size() == 3 && link[0] >= 0 && link[1] >= 0) getCSValues(items[2], &link[2], 1);
}

// ---------------------------------------------------------------- records and attaching

IParam* UIConfigManager::paramFor(int number, const char* what) {
  IParam* p = (plug && isValidParamNumber(number)) ? plug->GetParam(number) : nullptr;
  if (!p)
    log(std::string("CONFIG READER: ") + what + " with parameter number " + std::to_string(number) +
        " skipped: no such parameter");
  return p;
}

ControlAction* UIConfigManager::bindRecord(int number, int kind, IControl* control) {
  IParam* p = plug ? plug->GetParam(number) : nullptr;
  if (!p) return nullptr;
  ControlAction* slot = p->GetControlAction();
  const bool fresh = slot == nullptr;
  ControlAction::bindControl(slot, kind, control);
  if (fresh) ownedRecords.emplace_back(number, slot);
  p->SetControlAction(slot);
  return slot;
}

void UIConfigManager::linkRecord(ControlAction* record, int number, LinkInfo link) {
  if (link.param1 < 0 || link.param2 < 0) return;  // no link: nothing to write or report
  ControlAction* partnerRecord = nullptr;
  IParam* partner = nullptr;
  int partnerNumber = -1;
  ControlAction::setControlLink(record, number, link, [&](int n) -> ControlAction** {
    partnerNumber = n;
    partner = plug ? plug->GetParam(n) : nullptr;
    if (!partner) return nullptr;
    partnerRecord = partner->GetControlAction();
    return &partnerRecord;
  });
  if (partner && partnerRecord && partner->GetControlAction() != partnerRecord) {
    ownedRecords.emplace_back(partnerNumber, partnerRecord);
    partner->SetControlAction(partnerRecord);
  }
  if (link.param1 >= 0 && link.param2 >= 0 && !partner)
    log("CONFIG READER: link partner " + std::to_string(link.param1) + " of parameter " +
        std::to_string(number) + " is no parameter; only this side of the link is kept");
}

void UIConfigManager::attach(IControl* control, ControlLayer* layer) {
  if (layer)
    layer->AddControl(control);
  else
    graphics->AttachControl(control);
}

void UIConfigManager::attachLayer(ControlLayer* child, ControlLayer* parent) {
  if (parent)
    parent->AddLayer(child);
  else
    graphics->AttachLayer(child);
}

const std::string& UIConfigManager::boundName(const std::string& label, int part) {
  if (part < 0) return label;
  boundNameText.assign("[");
  boundNameText += std::to_string(partToOneBased(part));
  boundNameText += "] ";
  boundNameText += label;
  return boundNameText;
}

const std::string* UIConfigManager::sysexTemplate(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= sysexContainers.size()) return nullptr;
  const SysExContainer& c = sysexContainers[static_cast<std::size_t>(index)];
  if (c.lists.empty() || c.lists[0].items.empty()) return nullptr;
  return &c.lists[0].items[0];
}

// ---------------------------------------------------------------- read-only lookups

ControlLayer* UIConfigManager::findLayer(const std::string& name) const {
  auto it = layerMap.find(name);
  return it == layerMap.end() ? nullptr : it->second;
}

const std::vector<std::string>* UIConfigManager::findValueList(const std::string& name) const {
  auto it = valueLists.find(name);
  return it == valueLists.end() ? nullptr : &it->second;
}

const std::vector<std::string>& UIConfigManager::valueListOrEmpty(const char* name) const {
  static const std::vector<std::string> kNone;
  const std::vector<std::string>* l = findValueList(name);
  return l ? *l : kNone;
}

IControl* UIConfigManager::getSysexControl(int k1, int k2, int k3, int k4, int k5) const {
  return sysexControls.findControl(k1, k2, k3, k4, k5);
}

IControl* UIConfigManager::getPartlessSysexControl(int, int command, int hi, int lo, int k5) const {
  return sysexControls.findControl(kNormalisedDeviceIdKey, command, hi, lo, k5);
}

IControl* UIConfigManager::findSysexControlForMessage(const unsigned char* bytes, int size,
                                                      int fifthKey) const {
  if (!bytes || size < 1) return nullptr;
  // Work on the unframed form: byte 0 the manufacturer id, byte 2 the device id.
  if (bytes[0] == 0xF0) {
    ++bytes;
    --size;
  }
  if (size > 0 && bytes[size - 1] == 0xF7) --size;
  if (size == 8) return getSysexControl(bytes[3], bytes[4], bytes[5], bytes[6], fifthKey);
  if (size == 7) return getPartlessSysexControl(bytes[2], bytes[3], bytes[4], bytes[5], fifthKey);
  return nullptr;
}

IControl* UIConfigManager::getCCControls(int channel, int ccNumber, int partless) const {
  return ccControls.findControl(channel, ccNumber, partless);
}

IControl* UIConfigManager::getMsbLsbControl(int k1, int k2, int k3, int k4, int k5) const {
  return nrpnControls.findControl(k1, k2, k3, k4, k5);
}

int UIConfigManager::scaled(int v) const {
  const double d = v * scale;
  if (!(d > -kMaxCoordinate)) return -kMaxCoordinate;  // also catches NaN
  if (d > kMaxCoordinate) return kMaxCoordinate;
  return static_cast<int>(d);
}
