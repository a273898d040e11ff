// Hostile SysEx into the incoming dispatch and the dump parsers. The first byte chooses the
// state the message meets (librarian capture armed, dump awaited for the editor, or neither;
// bit 2: a quick-tab refresh pending); the rest is the message. Nothing may read outside it, no
// job may be started, and a SysEx cut off before its F7 changes nothing at all.
#include <cstddef>
#include <cstdint>

#include "DumpParser.h"
#include "FakeEngineHost.h"
#include "MIDIMessageManager.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 4096) return 0;
  static FakeEngineHost* host = [] {
    auto* h = new FakeEngineHost();
    h->flags.requestAfterProgramChange = false;
    h->flags.adoptDeviceId = true;
    h->lib = new PatchLibrarian();
    auto* bank = new PatchFile();
    bank->entries.resize(100);
    h->lib->soundBankFiles.push_back(bank);
    h->bindSysex(0x20, 1, 0x00, 0x4E, 0, kFilter1Cutoff + 1);
    h->bindPartless(0x24, 0x00, 0x06, kGlobalTranspose);
    return h;
  }();
  static MIDIMessageManager* mgr = new MIDIMessageManager(host, &host->state);

  const uint8_t mode = data[0];
  const uint8_t* msg = data + 1;
  const int n = static_cast<int>(size - 1);
  host->lib->selectedSlot = mode % 120;  // slots outside 0..99 included
  if (mode & 1) mgr->SetLibrarianRequestActive(true), mgr->reply.arm();
  else if (mode & 2) mgr->awaitDumpForEditor();
  else mgr->SetLibrarianRequestActive(false), mgr->reply.disarm();
  mgr->quickTabRefreshPending = (mode & 4) != 0;
  const size_t before = mgr->awaitingDump() + 2 * mgr->patchRequest.armed + 4 * (host->changes.size() + host->changes2.size());
  ISysEx sx(0, n > 0 ? msg : nullptr, n);
  mgr->ProcessSysExFromPlug(&sx, true);
  const size_t after = mgr->awaitingDump() + 2 * mgr->patchRequest.armed + 4 * (host->changes.size() + host->changes2.size());
  if (n > 0 && msg[0] == 0xF0 && msg[n - 1] != 0xF7 && (after != before || host->flags.replyReceived)) abort();
  mgr->ProcessSysEx(&sx, false);

  dump::parseSoundDump(msg, n, *host);
  dump::parseMultiDump(msg, n, *host, nullptr);
  dump::parseGlobalDump(msg, n, *host);
  host->clearSent();
  return 0;
}
