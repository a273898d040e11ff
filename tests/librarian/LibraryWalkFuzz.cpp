// The library load: folder walk, split of banks of more than 100 entries and move of the unsplit
// file into "Converted Banks", on a tree the input describes, with the file system failing where
// the input says (through FileCalls: a call not made, or made and reported failed, as when a
// network file system loses a reply). Bytes 0..7: which of the first 32 renames, links and
// removals fail, and which of those took effect. Then ops of three bytes (op, name, kind): 0 a new
// sub folder, 1 back up, 2 a bank (one more byte: its entries), 3 a link or a bank.
// Nothing may crash; every bank has 100 entries; no bank file's bytes are lost (each is still
// somewhere in the data folder); a second load without faults leaves a third nothing to change.
#include <unistd.h>

#include <Poco/File.h>

#include <cerrno>
#include <cstdlib>
#include <set>

#include "BankGenerator.h"
#include "PatchLibrarian.h"

using namespace testbanks;

namespace {
struct Faults : FileCalls {
  uint64_t fail = 0, tookEffect = 0;
  int call = 0;
  template <typename Real>
  int apply(Real real) {
    const int k = call++;
    if (k >= 32 || !((fail >> k) & 1)) return real();
    if ((tookEffect >> k) & 1) real();
    errno = EIO;
    return -1;
  }
  int renameNoReplace(int fd, const std::string& f, int td, const std::string& t) override {
    return apply([&] { return FileCalls::renameNoReplace(fd, f, td, t); });
  }
  int rename(int fd, const std::string& f, int td, const std::string& t) override { return apply([&] { return FileCalls::rename(fd, f, td, t); }); }
  int link(int fd, const std::string& f, int td, const std::string& t) override { return apply([&] { return FileCalls::link(fd, f, td, t); }); }
  int unlink(int fd, const std::string& p) override { return apply([&] { return FileCalls::unlink(fd, p); }); }
};

const char* const kFolders[] = {"Sub", "A b", "\xC3\xBCml", ".hidden", "x.syx", "Converted Banks", "..\\up"};
const char* const kNames[] = {"Bank", "BANK", "bank", "Bank Singles 1", "a b\\c", "\xC3\xA9t\xC3\xA9",
                              "A name long enough to be shortened in the bank selection list", ".tmp-x"};
const char* const kExtensions[] = {".syx", ".SYX", ".mid", ".Mid", ".zpk", ".txt", ""};

std::multiset<Bytes> contents(const std::string& folder) {
  std::multiset<Bytes> out;
  for (const auto& kv : snapshot(folder)) out.insert(kv.second);
  return out;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 8 || size > 256) return 0;
  // In memory where the system offers it (the librarian syncs every file it writes); removed at exit.
  static const struct Root {
    std::string path;
    Root() {
      char tmpl[] = "/dev/shm/sorvanta-walk-XXXXXX", fallback[] = "/tmp/sorvanta-walk-XXXXXX";
      const char* made = mkdtemp(tmpl);
      path = made ? made : mkdtemp(fallback);
      setenv("XDG_DATA_HOME", path.c_str(), 1);
    }
    ~Root() { Poco::File(path).remove(true); }
  } home;
  const std::string& root = home.path;
  const std::string base = root + "/Audio/Presets/Harrowgate Sound Labs/Tamsell Sorvanta Editor", patches = base + "/Patches";
  Poco::File(root).remove(true);
  makeFolders(patches);
  Faults faults;
  for (int i = 0; i < 4; ++i) faults.fail |= uint64_t(data[i]) << (8 * i), faults.tookEffect |= uint64_t(data[4 + i]) << (8 * i);
  std::vector<std::string> folders{patches};
  size_t at = 8;
  auto next = [&]() -> uint8_t { return at < size ? data[at++] : 0; };
  for (int files = 0; at < size && files < 4;) {
    const uint8_t op = next() % 4, n = next(), kind = next();
    if (op == 0 && folders.size() < 4) folders.push_back(folders.back() + "/" + kFolders[n % 7]), makeFolders(folders.back());
    if (op == 1 && folders.size() > 1) folders.pop_back();
    if (op < 2) continue;
    const std::string path = folders.back() + "/" + kNames[n % 8] + kExtensions[n / 8 % 7];
    unlink(path.c_str());  // a link made before under this name is not written through
    if (op == 3 && (kind & 1)) {
      if (symlink((folders.back() + "/" + kNames[kind / 2 % 8] + ".syx").c_str(), path.c_str()) != 0) {
      }
      continue;
    }
    std::vector<Bytes> list;
    for (int i = 0, count = 1 + next() % 160; i < count; ++i) {
      const std::string name = "E" + std::to_string(files) + "-" + std::to_string(i);
      const int seed = files * 1000 + i;
      list.push_back(kind % 4 == 0   ? soundDump(name, "Bass", seed)
                     : kind % 4 == 1 ? multiDump(name, seed)
                     : kind % 4 == 2 ? kestrinSoundDump(name, "Lead", seed)
                                     : vostrelSoundDump(name, i % 12, seed));
    }
    writeFile(path, (kind & 4) ? smfBank(list, 30001) : rawBank(list, 30001));
    ++files;
  }
  const std::multiset<Bytes> before = contents(patches);
  PatchLibrarian lib;
  FileCalls* old = setFileCalls(&faults);
  lib.initBankFilesOnDiscard(patches);
  setFileCalls(old);
  for (const auto* list : {&lib.soundBankFiles, &lib.multiBankFiles})
    for (const PatchFile* bank : *list)
      if (bank->entries.size() != 100) abort();
  const std::multiset<Bytes> after = contents(base);
  for (const Bytes& bank : before)
    if (after.count(bank) < before.count(bank)) abort();
  lib.initBankFilesOnDiscard(patches);
  const std::map<std::string, Bytes> second = snapshot(base);
  lib.initBankFilesOnDiscard(patches);
  if (snapshot(base) != second) abort();
  return 0;
}
