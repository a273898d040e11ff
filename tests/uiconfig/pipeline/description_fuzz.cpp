// Feeds arbitrary plain text to the interface-description interpreter, on top of the test SysEx
// value lists, with a plug-in of the editor's 9289 parameters. Whatever the text, the build must
// end without a crash, a hang or a bound parameter the text did not name.
//
// An input that starts with '<' is a description itself (its first kMaxText bytes). Any other
// input edits one piece of the test description, chosen by its first byte: a child of the root
// layer, or another element, given with the description's value lists (each three bytes: a
// position, then the byte written there), so that most runs reach the factories with damaged
// attributes rather than stopping in the parser. Each run builds one piece, not the whole
// interface: that keeps a run to about a millisecond, where the whole took ten.
#include <tinyxml2.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "IControls.h"
#include "PipelineTestSupport.h"

namespace {

constexpr size_t kMaxText = 4096;

std::string printed(const tinyxml2::XMLElement* e) {
  tinyxml2::XMLPrinter out(nullptr, true);
  e->Accept(&out);
  return out.CStr();
}

// What every build starts from is made once and copied into each manager: the 9289 parameter
// names, the SysEx value lists and the image table (whose pixels the keeper graphics object
// holds in the process-wide store).
struct Fixture {
  PipelinePlug plug;
  MemoryGraphics keeper{&plug, 0, 0};
  UIConfigManager prototype;
  std::string lists;                // the description's value lists, given with every piece
  std::vector<std::string> pieces;  // the rest of the description, in pieces
  Fixture() {
    prototype.scale = 1.0;
    prototype.paramNames.initParams();
    prototype.readSysexText(readFile(std::string(SORVANTA_PIPELINE_XML_DIR) + "/sysex.xml"));
    prototype.initImages(&keeper);
    tinyxml2::XMLDocument doc;
    doc.Parse(readFile(std::string(SORVANTA_PIPELINE_XML_DIR) + "/uiconfig.xml").c_str());
    for (const tinyxml2::XMLElement* e = doc.RootElement()->FirstChildElement(); e; e = e->NextSiblingElement()) {
      if (!strcmp(e->Name(), "valueLists")) {
        lists = printed(e);
      } else if (e->Attribute("name", "root")) {
        const std::string open = std::string("<layer name=\"root\" id=\"") + e->Attribute("id") + "\">";
        for (const tinyxml2::XMLElement* c = e->FirstChildElement(); c; c = c->NextSiblingElement())
          pieces.push_back(open + printed(c) + "</layer>");
      } else {
        pieces.push_back(printed(e));
      }
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Fixture* f = new Fixture;
  // A fresh graphics object and manager per input; the parameters persist (their type is set
  // once), as they would across edits of the same description.
  auto* graphics = new MemoryGraphics(&f->plug, 0, 0);
  {
    UIConfigManager manager;
    manager.graphics = graphics;
    manager.plug = &f->plug;
    manager.scale = 1.0;
    manager.setLibrarianViewFactory(
        [](IPluginBase* plug, int x, int y, int param, IBitmap* bm, IRECT, PatchLibrarian*,
           double) -> IControl* { return new IBitmapControl(plug, x, y, param, bm); });
    manager.setPortNamesProvider(
        [](bool) { return std::vector<std::string>{"Select MIDI Device"}; });
    manager.sysexContainers = f->prototype.sysexContainers;
    manager.imageCache = f->prototype.imageCache;
    // Lent, not copied (a copy of the 9289 names took a sixth of every run): the interpreter only
    // reads the registry.
    std::swap(manager.paramNames, f->prototype.paramNames);
    std::string text;
    if (size > 0 && data[0] == '<') {
      text.assign(reinterpret_cast<const char*>(data), std::min(size, kMaxText));
    } else {
      std::string piece = f->pieces[size > 0 ? data[0] % f->pieces.size() : 0];
      for (size_t i = 1; i + 2 < size; i += 3)
        piece[(static_cast<size_t>(data[i]) << 8 | data[i + 1]) % piece.size()] = static_cast<char>(data[i + 2]);
      text = "<uiconfig>" + f->lists + piece + "</uiconfig>";
    }
    manager.readDescriptionText(text);
    std::swap(manager.paramNames, f->prototype.paramNames);
  }
  delete graphics;
  return 0;
}
