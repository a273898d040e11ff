// init-bank: writes the banks an installer lays down in an empty library, so that a first session
// has a bank to receive sounds into and one to receive multis into, and can save both: 100 copies
// of the librarian's own init sound, or with --multis of its own init multi, as a raw SysEx bank
// file.
//
//   init-bank [--multis] OUTPUT
//
// The multis carry their slot in byte 5, as every bank the librarian reads and saves again does,
// so loading and saving the bank gives back the same bytes. The file is written to a temporary
// name and renamed, so a failed run never leaves half a bank.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "BankFormats.h"
#include "PatchFile.h"

int main(int argc, char** argv) {
  const bool multis = argc == 3 && std::string(argv[1]) == "--multis";
  if (argc != 2 && !multis) {
    std::fprintf(stderr, "usage: init-bank [--multis] OUTPUT\n");
    return 2;
  }
  PatchFile bank;
  bank.type = multis ? kBankTypeMulti : kBankTypeSound;
  bank.entries.resize(kBankSize);
  for (int slot = 0; slot < kBankSize; ++slot) {
    PatchSysexMessage m = multis ? initMultiMessage() : initSoundMessage();
    if (multis) {
      m.bytes[kSlotPos] = static_cast<uint8_t>(slot);
      m.bytes[m.bytes.size() - 2] = dumpChecksum(m.bytes);
    }
    bank.entries[slot].setFromMessage(std::move(m), multis ? kKindMultiRead : kKindSoundRead);
  }
  const std::vector<uint8_t> bytes = writeBank(bank, false);
  const std::string out = argv[argc - 1], temp = out + ".part";
  {
    std::ofstream f(temp, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!f) {
      std::fprintf(stderr, "init-bank: cannot write %s\n", temp.c_str());
      return 1;
    }
  }
  if (std::rename(temp.c_str(), out.c_str()) != 0) {
    std::fprintf(stderr, "init-bank: cannot rename %s to %s\n", temp.c_str(), out.c_str());
    return 1;
  }
  return 0;
}
