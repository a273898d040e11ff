#include "LibrarianIndex.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <memory>

#include "PatchLibrarian.h"

namespace {


std::string lowerCase(std::string_view text) {
  std::string s(text);
  for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return s;
}


using Ref = BankEntries::Reference;

// A reference bank of entries first .. last - 1 of refs, through rows.
std::unique_ptr<PatchFile> referenceBank(const std::vector<Ref>& refs, size_t first, size_t last,
                                         const std::shared_ptr<BankEntries::ReferenceRows>& rows) {
  auto bank = std::make_unique<PatchFile>();
  bank->type = kBankTypeSound;
  bank->entries.clearToReferences(rows);
  bank->entries.reserve(last - first);
  for (size_t i = first; i < last; ++i) bank->entries.addReference(refs[i].bank, refs[i].index);
  return bank;
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
  ++m_generation;
  placeInFolderIndex(soundFolderIndex, file);
}

void PatchLibrarian::createMultiFolderFilesStructure(PatchFile* file) {
  ++m_generation;
  placeInFolderIndex(multiFolderIndex, file);
}

void PatchLibrarian::createNewCategoryPatchFiles() {
  UTIL_MutexLock lock(&m_bankLock);
  ++m_generation;
  if (categories.size() < 2) return;
  // The category list keeps one spelling per category regardless of letter case, so the
  // gathering must ignore letter case too: otherwise sounds tagged "BASS" would be in no
  // category bank once "Bass" was met first. One pass sorts every sound by its category; a
  // library has a handful of categories, and neighbouring sounds often share one.
  std::vector<std::string> groups;                       // lower-case categories met
  std::vector<std::pair<uint64_t, size_t>> spellings;    // short exact spelling -> group
  auto groupOf = [&](std::string_view category) {
    const uint64_t key = categoryKey(category);
    if (key != 0)
      for (const auto& sp : spellings)
        if (sp.first == key) return sp.second;
    const std::string lower = lowerCase(category);
    size_t g = 0;
    while (g < groups.size() && groups[g] != lower) ++g;
    if (g == groups.size()) groups.push_back(lower);
    if (key != 0) spellings.emplace_back(key, g);
    return g;
  };
  // Two passes: the first finds every sound's category and counts them, so the banks can be
  // made at their final sizes; the second files a reference to each sound in its bank.
  // An entry is listed only when it carries a message to send; name and category are read from
  // the bytes, so no bank's entries are made here.
  std::vector<uint32_t> groupOfEntry;
  for (const PatchFile* bank : soundBankFiles)
    for (size_t i = 0; i < bank->entries.size(); ++i) {
      bank->entries.prefetchName(i + 8);   // the category lies beside the name
      groupOfEntry.push_back(bank->entries.holdsMessage(i) ? static_cast<uint32_t>(groupOf(bank->entries.categoryAt(i)))
                                                           : UINT32_MAX);
    }
  std::vector<size_t> counts(groups.size(), 0);
  for (uint32_t g : groupOfEntry)
    if (g != UINT32_MAX) ++counts[g];
  std::vector<std::vector<PatchFile*>> banksOfGroup(groups.size());
  const auto rows = std::make_shared<BankEntries::ReferenceRows>();
  for (size_t ci = 1; ci < categories.size(); ++ci) {
    const std::string& c = categories[ci];
    const std::string lower = lowerCase(c);
    size_t group = 0;
    while (group < groups.size() && groups[group] != lower) ++group;
    const size_t n = group < groups.size() ? counts[group] : 0;
    for (size_t k = 0; k <= n / kBankSize; ++k) {
      auto bank = std::make_unique<PatchFile>();
      bank->type = kBankTypeSound;
      const size_t size = std::min(n, k * kBankSize + kBankSize) - k * kBankSize;
      bank->entries.clearToReferences(rows);
      bank->entries.reserve(size);
      if (size > 0) banksOfGroup[group].push_back(bank.get());
      bank->fileName = c + " " + std::to_string(k + 1);
      bank->folderName = c;
      bank->bankNumber = static_cast<int>(ci);
      PatchFile* raw = bank.get();
      // Empty banks are shown in the category menu but are in no list; they are kept here so
      // they are released with the rest.
      if (size > 0) {
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
  std::vector<size_t> filled(groups.size(), 0);
  size_t at = 0;
  for (const PatchFile* bank : soundBankFiles) {
    for (size_t i = 0; i < bank->entries.size(); ++i, ++at) {
      const uint32_t g = groupOfEntry[at];
      if (g == UINT32_MAX || banksOfGroup[g].empty()) continue;   // a category nobody listed
      banksOfGroup[g][filled[g]++ / kBankSize]->entries.addReference(bank, i);
    }
  }
  rows->shrink_to_fit();
}

void PatchLibrarian::createNewSearchPatchFiles(const std::string& query) {
  waitForLoad();
  UTIL_MutexLock lock(&m_bankLock);
  ++m_generation;
  clearFolderIndex(searchFolderIndex);
  for (PatchFile* f : searchBankFiles) delete f;
  searchBankFiles.clear();
  std::vector<Ref> found;
  for (const PatchFile* bank : soundBankFiles) {
    if (bank->type != kBankTypeSound || bank->entries.empty()) continue;
    for (size_t i = 0; i < bank->entries.size(); ++i) {
      bank->entries.prefetchName(i + 8);
      if (bank->entries.nameAt(i).find(query) != std::string_view::npos && bank->entries.holdsMessage(i))
        found.push_back(Ref{bank, i});
    }
  }
  // n / 100 + 1 banks, like the category banks: exactly 100 results still get an empty
  // "Search Results 2" after the full one, as the menus expect.
  const size_t n = found.size();
  if (n == 0) return;
  const auto rows = std::make_shared<BankEntries::ReferenceRows>();
  for (size_t k = 0; k <= n / kBankSize; ++k) {
    std::unique_ptr<PatchFile> bank = referenceBank(found, k * kBankSize, std::min(n, k * kBankSize + kBankSize), rows);
    bank->fileName = "Search Results " + std::to_string(k + 1);
    bank->folderName = "Patches";
    bank->bankNumber = static_cast<int>(k);
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
  rows->shrink_to_fit();
}
