// Text a user types, into the whole editor (built once, headless, on the test interface with the
// name fields added and a library of two banks): a part's sound and category names and the
// multi's name (each sent to the synth in a dump), the librarian's search, and the rename of a
// librarian entry. Byte 0 chooses the field, the rest is the text as the text entry hands it over
// (any bytes up to the first NUL, UTF-8 or not).
// Nothing may crash; every SysEx that leaves carries 7-bit data only between its F0 and F7; a
// renamed entry is still a whole stored dump with a name of printable characters.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "BankFormats.h"
#include "BankGenerator.h"
#include "EditorTestSupport.h"
#include "IControl.h"
#include "LibrarianView.h"
#include "MIDIMessageSender.h"
#include "PatchLibrarian.h"
#include "WINX_Time.h"

namespace {

const int kFields[] = {kPatchName, kCategoryName, kMultiName, kPatchSearchString};

std::string interfaceWithNameFields() {
  std::string ui = editortest::uiDocument();
  ui.insert(ui.rfind("</uiconfig>"),
            "<dropMenu type=\"nameSelection\" name=\"Sound\" paramId=\"kPatchName\" bounds=\"10,700,160,15\" nameLen=\"16\"/>"
            "<dropMenu type=\"nameSelection\" name=\"Category\" paramId=\"kCategoryName\" bounds=\"180,700,60,15\" nameLen=\"4\"/>"
            "<dropMenu type=\"nameSelection\" name=\"Multi\" paramId=\"kMultiName\" bounds=\"250,700,160,15\" nameLen=\"16\"/>"
            "<dropMenu type=\"nameSelection\" name=\"Search\" paramId=\"kPatchSearchString\" bounds=\"420,700,160,15\" nameLen=\"16\"/>");
  return ui;
}

struct Fixture {
  editortest::EditorEnvironment env;
  std::unique_ptr<editortest::RecordingSorvanta> plug;
  Fixture() {
    editortest::writeFile(env.resources + "/uiconfig.tea", editortest::encipher(interfaceWithNameFields()));
    testbanks::makeFolders(env.dataFolder + "Patches");
    testbanks::writeFile(env.dataFolder + "Patches/Basses.syx", testbanks::rawBank(testbanks::sounds(100, "Deep Bass", {"Bass", "Sub"})));
    testbanks::writeFile(env.dataFolder + "Patches/Multis.mid", testbanks::smfBank(testbanks::multis(100, "Set")));
    plug.reset(new editortest::RecordingSorvanta(editortest::instanceInfo()));
    plug->midiIOSet = true;
    plug->GetParam(kDeviceOutSelection)->Set(1);
    plug->midiManager->setPacingOverride(1);
    plug->midiManager->sender()->pauseScalePercent = 0;
  }
};

bool sevenBitInside(const std::vector<unsigned char>& m) {
  for (size_t i = 1; i + 1 < m.size(); ++i)
    if (m[i] & 0x80) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 256) return 0;
  static Fixture* f = new Fixture;  // lives to process exit: the fuzzer never returns
  Sorvanta& plug = *f->plug;
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  const int choice = data[0] % 5;

  if (choice == 4) {
    PatchLibrarian& lib = *plug.getPatchLibrarian();
    const int slot = data[0] / 10 % 100;
    lib.patchType = data[0] / 5 % 2;  // the sound bank or the multi bank
    lib.upperSelection = 0;
    if (renameLibrarianEntry(lib, slot, text.c_str())) {
      UTIL_MutexLock lock(&lib.bankLock());
      const PatchFile* bank = lib.selectedUpperBank();
      const LibrarianPatch& e = bank->entries[static_cast<size_t>(slot)];
      if (e.messages.size() != 1 || !isValidStoredDump(e.messages[0].bytes)) abort();
      for (char c : e.name)
        if (c < 0x20 || c > 0x7E) abort();
    }
    return 0;
  }

  const int param = kFields[choice];
  IControl* field = plug.mainControl(param);
  if (!field) abort();
  plug.searchMode = false;
  plug.GetGUI()->SetFromStringAfterPrompt(field, plug.GetParam(param), text.c_str());
  for (int waited = 0; plug.ThreadRunning() && waited < 10000; ++waited) Sleep(1);

  std::lock_guard<std::mutex> lock(f->plug->sentLock);
  for (const std::vector<unsigned char>& m : f->plug->sysexSent)
    if (!sevenBitInside(m)) abort();
  f->plug->sysexSent.clear();
  f->plug->shortSent.clear();
  return 0;
}
