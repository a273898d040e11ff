#include "LibrarianIndex.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>

#include "PatchLibrarian.h"

namespace {

constexpr int kSearchDerivedMessages = 2;

std::string lowerCase(std::string s) {
  for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return s;
}

// A new entry for a category or search bank. Returns false for an entry that carries no sound
// dump to derive from.
bool makeDerivedEntry(const LibrarianPatch& source, int maxMessages, LibrarianPatch& out) {
  if (source.messages.empty() || source.messages[0].bytes.size() < kSoundCategoryPos + kCategoryLength)
    return false;
  out = LibrarianPatch();
  out.kind = source.kind;
  for (int i = 0; i < maxMessages && i < static_cast<int>(source.messages.size()); ++i)
    out.messages.push_back(source.messages[i]);
  const std::vector<uint8_t>& b = out.messages[0].bytes;
  out.name.assign(reinterpret_cast<const char*>(&b[kSoundNamePos]), kNameLength);
  out.parseCategory(kSoundCategoryPos);
  return true;
}

}  // namespace

void placeInFolderIndex(std::vector<FolderFiles*>& index, PatchFile* file) {
  const std::vector<std::string>& chain = file->folderChain;
  const size_t d = chain.size();
  if (d == 0) return;
  if (d == 1) {
    for (FolderFiles* top : index) {
      if (top->subFolders.empty() && top->name == chain[0]) {
        top->bankFiles.push_back(file);
        return;
      }
    }
    auto top = std::make_unique<FolderFiles>();
    top->name = chain[0];
    top->bankFiles.push_back(file);
    index.push_back(top.release());
    return;
  }
  // The second-level record of chain[1], wherever it is.
  SubFolderFiles* second = nullptr;
  for (FolderFiles* top : index) {
    for (SubFolderFiles& s : top->subFolders) {
      if (s.name == chain[1]) {
        second = &s;
        break;
      }
    }
    if (second) break;
  }
  if (!second) {
    auto top = std::make_unique<FolderFiles>();
    top->subFolders.emplace_back();
    top->subFolders.back().name = chain[1];
    second = &top->subFolders.back();
    index.push_back(top.release());
  }
  if (d == 2) {
    second->bankFiles.push_back(file);
    return;
  }
  // Deeper files are listed under their holding folder, which is also the folder name the
  // menus compare with.
  const std::string& third = chain.back();
  for (SubFolderFiles2& s2 : second->subFolders) {
    if (s2.name == third) {
      s2.bankFiles.push_back(file);
      return;
    }
  }
  second->subFolders.emplace_back();
  second->subFolders.back().name = third;
  second->subFolders.back().bankFiles.push_back(file);
}

void clearFolderIndex(std::vector<FolderFiles*>& index) {
  for (FolderFiles* f : index) delete f;
  index.clear();
}

void PatchLibrarian::createSingleFolderFilesStructure(PatchFile* file) {
  placeInFolderIndex(soundFolderIndex, file);
}

void PatchLibrarian::createMultiFolderFilesStructure(PatchFile* file) {
  placeInFolderIndex(multiFolderIndex, file);
}

void PatchLibrarian::createNewCategoryPatchFiles() {
  UTIL_MutexLock lock(&m_bankLock);
  if (categories.size() < 2) return;
  // The category list keeps one spelling per category regardless of letter case, so the
  // gathering must ignore letter case too: otherwise sounds tagged "BASS" would be in no
  // category bank once "Bass" was met first. One pass sorts every sound by its category.
  std::map<std::string, std::vector<const LibrarianPatch*>> byCategory;
  for (const PatchFile* bank : soundBankFiles)
    for (const LibrarianPatch& e : bank->entries) byCategory[lowerCase(e.category)].push_back(&e);
  const std::vector<const LibrarianPatch*> none;
  for (size_t ci = 1; ci < categories.size(); ++ci) {
    const std::string& c = categories[ci];
    const auto found = byCategory.find(lowerCase(c));
    const std::vector<const LibrarianPatch*>& gathered = found == byCategory.end() ? none : found->second;
    const size_t n = gathered.size();
    for (size_t k = 0; k <= n / kBankSize; ++k) {
      auto bank = std::make_unique<PatchFile>();
      bank->type = kBankTypeSound;
      bank->fileName = c + " " + std::to_string(k + 1);
      bank->folderName = c;
      bank->bankNumber = static_cast<int>(ci);
      const size_t end = std::min(n, k * kBankSize + kBankSize);
      for (size_t i = k * kBankSize; i < end; ++i) {
        LibrarianPatch derived;
        if (makeDerivedEntry(*gathered[i], 1, derived)) bank->entries.push_back(std::move(derived));
      }
      PatchFile* raw = bank.get();
      // Empty banks are shown in the category menu but are in no list; they are kept here so
      // they are released with the rest.
      if (!bank->entries.empty()) {
        categoryBankFiles.push_back(bank.release());
      } else {
        m_unlistedBanks.push_back(std::move(bank));
      }
      bool placed = false;
      for (FolderFiles* top : categoryFolderIndex) {
        for (SubFolderFiles& s : top->subFolders) {
          if (s.name == c) {
            s.bankFiles.push_back(raw);
            placed = true;
          }
        }
      }
      if (!placed) {
        SubFolderFiles s;
        s.name = c;
        s.bankFiles.push_back(raw);
        categoryFolderIndex.push_back(new FolderFiles(raw->fileName, s));
      }
    }
  }
}

void PatchLibrarian::createNewSearchPatchFiles(const std::string& query) {
  UTIL_MutexLock lock(&m_bankLock);
  clearFolderIndex(searchFolderIndex);
  for (PatchFile* f : searchBankFiles) delete f;
  searchBankFiles.clear();
  // Derive first, then cut into banks: an entry without a sound dump yields nothing, and
  // counting it would leave a short or empty bank behind the last real result.
  std::vector<LibrarianPatch> found;
  for (const PatchFile* bank : soundBankFiles) {
    if (bank->type != kBankTypeSound || bank->entries.empty()) continue;
    for (const LibrarianPatch& e : bank->entries) {
      if (e.name.find(query) == std::string::npos) continue;
      LibrarianPatch derived;
      if (makeDerivedEntry(e, kSearchDerivedMessages, derived)) found.push_back(std::move(derived));
    }
  }
  // n / 100 + 1 banks, like the category banks: exactly 100 results still get an empty
  // "Search Results 2" after the full one, as the menus expect.
  const size_t n = found.size();
  if (n == 0) return;
  for (size_t k = 0; k <= n / kBankSize; ++k) {
    auto bank = std::make_unique<PatchFile>();
    bank->type = kBankTypeSound;
    bank->fileName = "Search Results " + std::to_string(k + 1);
    bank->folderName = "Patches";
    bank->bankNumber = static_cast<int>(k);
    const size_t end = std::min(n, k * kBankSize + kBankSize);
    for (size_t i = k * kBankSize; i < end; ++i) bank->entries.push_back(std::move(found[i]));
    PatchFile* raw = bank.release();
    searchBankFiles.push_back(raw);
    if (!searchFolderIndex.empty() && searchFolderIndex.front()->name == "Patches") {
      searchFolderIndex.front()->bankFiles.push_back(raw);
    } else {
      auto top = std::make_unique<FolderFiles>();
      top->name = "Patches";
      top->bankFiles.push_back(raw);
      searchFolderIndex.push_back(top.release());
    }
  }
}
