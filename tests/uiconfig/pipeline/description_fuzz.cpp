// Feeds arbitrary plain text to the interface-description interpreter, on top of the test SysEx
// value lists, with a plug-in of the editor's 9289 parameters. Whatever the text, the build must
// end without a crash, a hang or a bound parameter the text did not name.
//
// An input that starts with '<' is the description itself. Any other input edits the complete
// test description instead (each three bytes: a position, then the byte written there), so that
// most runs reach the factories with damaged attributes rather than stopping in the parser.
#include <cstddef>
#include <cstdint>
#include <string>

#include "IControls.h"
#include "PipelineTestSupport.h"

namespace {

struct Fixture {
  PipelinePlug plug;
  std::string sysex = readFile(std::string(SORVANTA_PIPELINE_XML_DIR) + "/sysex.xml");
  std::string description = readFile(std::string(SORVANTA_PIPELINE_XML_DIR) + "/uiconfig.xml");
  // The 9289 parameter names, registered once and copied into each manager: registering them
  // anew took a fifth of every run.
  ParamNameRegistry names = [] {
    ParamNameRegistry r;
    r.initParams();
    return r;
  }();
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
    manager.readSysexText(f->sysex);
    manager.initImages(graphics);
    manager.paramNames = f->names;
    std::string text;
    if (size > 0 && data[0] == '<') {
      text.assign(reinterpret_cast<const char*>(data), size);
    } else {
      text = f->description;
      for (size_t i = 0; i + 2 < size && !text.empty(); i += 3)
        text[(static_cast<size_t>(data[i]) << 8 | data[i + 1]) % text.size()] =
            static_cast<char>(data[i + 2]);
    }
    manager.readDescriptionText(text);
  }
  delete graphics;
  return 0;
}
