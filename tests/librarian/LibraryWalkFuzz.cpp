// The library load as a whole: the folder walk, the split of banks of more than 100 entries and
// the move of the unsplit file into "Converted Banks", on a tree the input describes and with the
// file system failing where the input says (through FileCalls: a call not made, or made and then
// reported as failed, as a network file system that loses a reply does).
//
// Bytes 0..7: which of the first 32 renames, links and removals fail, and which of those took
// effect before failing. Then the tree, op by op: enter a new sub folder, go back up, or write a
// bank (name, kind and size from the next bytes; up to four banks of up to 160 sounds or multis, sounds of
// the sibling models, raw SysEx or a Standard MIDI File, a linked file).
// Nothing may crash; every bank comes back with 100 entries; no bank file's bytes are lost (each
// is still somewhere in the data folder); and loading twice more without faults changes nothing
// the second time (nothing is split again and again).
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <unistd.h>

#include <Poco/File.h>

#include "BankFormats.h"
#include "BankGenerator.h"
#include "BankFileIO.h"
#include "PatchLibrarian.h"

using namespace testbanks;

namespace {

class Faults : public FileCalls {
 public:
  uint32_t fail = 0, performFirst = 0;
  int call = 0;
  int renameNoReplace(const std::string& f, const std::string& t) override {
    return apply([&] { return FileCalls::renameNoReplace(f, t); });
  }
  int rename(const std::string& f, const std::string& t) override {
    return apply([&] { return FileCalls::rename(f, t); });
  }
  int link(const std::string& f, const std::string& t) override {
    return apply([&] { return FileCalls::link(f, t); });
  }
  int unlink(const std::string& p) override {
    return apply([&] { return FileCalls::unlink(p); });
  }

 private:
  template <typename Real>
  int apply(Real real) {
    const int k = call++;
    if (k >= 32 || !((fail >> k) & 1)) return real();
    if ((performFirst >> k) & 1) real();
    errno = EIO;
    return -1;
  }
};

const char* const kFolderNames[] = {"Sub", "A b", "\xC3\xBCml\xC3\xA4ut", ".hidden", "x.syx", "Converted Banks", "..\\up"};
const char* const kFileNames[] = {"Bank", "BANK", "bank", "Bank Singles 1", "a b\\c", "\xC3\xA9t\xC3\xA9",
                                  "A name long enough to be shortened in the bank selection list", ".tmp-x"};
const char* const kExtensions[] = {".syx", ".SYX", ".mid", ".Mid", ".zpk", ".txt", ""};

struct Reader {
  const uint8_t* data;
  size_t size, at = 0;
  bool more() const { return at < size; }
  uint8_t next() { return at < size ? data[at++] : 0; }
};

std::vector<Bytes> entries(uint8_t kind, int count, int seed) {
  std::vector<Bytes> out;
  for (int i = 0; i < count; ++i) {
    const std::string name = "E" + std::to_string(seed) + "-" + std::to_string(i);
    switch (kind % 4) {
      case 0: out.push_back(soundDump(name, "Bass", seed + i)); break;
      case 1: out.push_back(multiDump(name, seed + i)); break;
      case 2: out.push_back(kestrinSoundDump(name, "Lead", seed + i)); break;
      default: out.push_back(vostrelSoundDump(name, i % 12, seed + i)); break;
    }
  }
  return out;
}

// Every regular file below folder with its bytes (links are not followed).
std::multiset<Bytes> contents(const std::string& folder) {
  std::multiset<Bytes> out;
  for (const auto& kv : snapshot(folder)) out.insert(kv.second);
  return out;
}

// A data folder in memory where the system has one: the librarian syncs every file it writes,
// which on a disk costs milliseconds per bank.
struct Home {
  std::string root;
  Home() {
    char tmpl[] = "/dev/shm/sorvanta-walk-XXXXXX";
    char fallback[] = "/tmp/sorvanta-walk-XXXXXX";
    const char* made = mkdtemp(tmpl);
    root = made ? made : mkdtemp(fallback);
    setenv("XDG_DATA_HOME", root.c_str(), 1);
  }
  ~Home() {
    try {
      Poco::File(root).remove(true);
    } catch (...) {
    }
  }
  std::string dataFolder() const { return root + "/Audio/Presets/Harrowgate Sound Labs/Tamsell Sorvanta Editor/"; }
  std::string patches() const { return dataFolder() + "Patches"; }
};

Home& home() {
  static Home h;  // removed at exit
  return h;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 8 || size > 256) return 0;
  const Home* home = &::home();
  const std::string base = home->dataFolder();
  try {
    Poco::File(base).remove(true);
  } catch (...) {
  }
  makeFolders(home->patches());

  Faults faults;
  for (int i = 0; i < 4; ++i) {
    faults.fail |= static_cast<uint32_t>(data[i]) << (8 * i);
    faults.performFirst |= static_cast<uint32_t>(data[4 + i]) << (8 * i);
  }
  Reader in{data + 8, size - 8};
  std::vector<std::string> folders{home->patches()};
  int files = 0;
  while (in.more() && files < 4) {
    const uint8_t op = in.next();
    const std::string here = folders.back();
    if (op % 4 == 0 && folders.size() < 4) {
      folders.push_back(here + "/" + kFolderNames[in.next() % 7]);
      makeFolders(folders.back());
    } else if (op % 4 == 1 && folders.size() > 1) {
      folders.pop_back();
    } else {
      const uint8_t n = in.next(), kind = in.next();
      const std::string path = here + "/" + kFileNames[n % 8] + kExtensions[n / 8 % 7];
      unlink(path.c_str());  // a link made earlier under this name is not written through
      if (op % 4 == 3 && (kind & 1)) {
        if (symlink((here + "/" + kFileNames[kind / 2 % 8] + ".syx").c_str(), path.c_str()) != 0) {
        }
        continue;
      }
      const std::vector<Bytes> list = entries(kind, 1 + in.next() % 160, files * 1000);
      writeFile(path, (kind & 4) ? smfBank(list, 30001) : rawBank(list, 30001));
      ++files;
    }
  }
  const std::multiset<Bytes> before = contents(home->patches());

  PatchLibrarian lib;
  FileCalls* old = setFileCalls(&faults);
  lib.initBankFilesOnDiscard(home->patches());
  setFileCalls(old);
  {
    UTIL_MutexLock lock(&lib.bankLock());
    for (const std::vector<PatchFile*>* list : {&lib.soundBankFiles, &lib.multiBankFiles})
      for (const PatchFile* bank : *list)
        if (bank->entries.size() != 100) abort();
  }
  const std::multiset<Bytes> after = contents(base);
  for (const Bytes& bank : before)
    if (after.count(bank) < before.count(bank)) abort();

  lib.initBankFilesOnDiscard(home->patches());
  const std::map<std::string, Bytes> second = snapshot(base);
  lib.initBankFilesOnDiscard(home->patches());
  if (snapshot(base) != second) abort();
  return 0;
}
