// Text a user types, into the whole editor (built once, headless, on the test interface with name
// fields added and a library of two banks). Byte 0 % 5 chooses: a part's sound or category name,
// the multi's name (each sent to the synth in a dump), the librarian's search, the rename of a
// librarian entry; the rest is the text as the text entry hands it over (any bytes).
// Nothing may crash; every SysEx sent carries 7-bit data only; a renamed entry stays a whole
// stored dump whose name is printable.
#include <cstdlib>

#include "BankFormats.h"
#include "BankGenerator.h"
#include "EditorTestSupport.h"
#include "LibrarianView.h"
#include "MIDIMessageSender.h"
#include "WINX_Time.h"

namespace {
editortest::RecordingSorvanta* makeEditor() {
  static editortest::EditorEnvironment env;
  std::string ui = editortest::uiDocument();
  const char* fields[] = {"kPatchName", "kCategoryName", "kMultiName", "kPatchSearchString"};
  for (const char* f : fields)
    ui.insert(ui.rfind("</uiconfig>"), std::string("<dropMenu type=\"nameSelection\" name=\"") + f + "\" paramId=\"" + f +
                                            "\" bounds=\"10,700,160,15\" nameLen=\"16\"/>");
  editortest::writeFile(env.resources + "/uiconfig.tea", editortest::encipher(ui));
  testbanks::makeFolders(env.dataFolder + "Patches");
  testbanks::writeFile(env.dataFolder + "Patches/Basses.syx", testbanks::rawBank(testbanks::sounds(100, "Deep", {"Bass"})));
  testbanks::writeFile(env.dataFolder + "Patches/Sets.mid", testbanks::smfBank(testbanks::multis(100, "Set")));
  return editortest::sendingAtOnce(new editortest::RecordingSorvanta(editortest::instanceInfo()));
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 256) return 0;
  static editortest::RecordingSorvanta& plug = *makeEditor();  // lives to process exit
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  if (data[0] % 5 == 4) {
    PatchLibrarian& lib = *plug.getPatchLibrarian();
    const int slot = data[0] / 10 % 100;
    lib.patchType = data[0] / 5 % 2;  // the sound bank or the multi bank
    if (!renameLibrarianEntry(lib, slot, text)) return 0;
    UTIL_MutexLock lock(&lib.bankLock());
    const LibrarianPatch& e = lib.selectedUpperBank()->entries[static_cast<size_t>(slot)];
    if (e.messages.size() != 1 || !isValidStoredDump(e.messages[0].bytes)) abort();
    for (char c : e.name)
      if (c < 0x20 || c > 0x7E) abort();
    return 0;
  }
  static const int kFields[] = {kPatchName, kCategoryName, kMultiName, kPatchSearchString};
  const int param = kFields[data[0] % 5];
  plug.searchMode = false;
  plug.GetGUI()->SetFromStringAfterPrompt(plug.mainControl(param), plug.GetParam(param), text.c_str());
  for (int waited = 0; plug.ThreadRunning() && waited < 10000; ++waited) Sleep(1);
  std::lock_guard<std::mutex> lock(plug.sentLock);
  for (const std::vector<unsigned char>& m : plug.sysexSent)
    for (size_t i = 1; i + 1 < m.size(); ++i)
      if (m[i] & 0x80) abort();
  plug.sysexSent.clear();
  plug.shortSent.clear();
  return 0;
}
