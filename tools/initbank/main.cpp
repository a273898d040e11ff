// init-bank: writes the bank an installer lays down in an empty library, so that a first session
// has a bank to receive sounds into and save: 100 copies of the librarian's own init sound, as a
// raw SysEx bank file.
//
//   init-bank OUTPUT
//
// The file is written to a temporary name and renamed, so a failed run never leaves half a bank.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "BankFormats.h"
#include "PatchFile.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: init-bank OUTPUT\n");
    return 2;
  }
  PatchFile bank;
  bank.entries.resize(kBankSize);
  for (LibrarianPatch& entry : bank.entries) entry.setFromMessage(initSoundMessage(), kKindSoundRead);
  const std::vector<uint8_t> bytes = writeBank(bank, false);
  const std::string out = argv[1], temp = out + ".part";
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
