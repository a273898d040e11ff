// One bank: normally one file on disk, or an in-memory category or search bank.
//
// Plain value type; copies are deep (entries are copied, their message bytes shared until
// changed; a reference list of a category or search bank is copied as a reference list). The
// librarian's lists own their PatchFile objects.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "BankEntries.h"
#include "LibrarianPatch.h"

constexpr int kBankTypeSound = 0;
constexpr int kBankTypeMulti = 1;

struct PatchFile {
  int type = kBankTypeSound;
  int subCode = 0;
  BankEntries entries;
  std::string fileName;                 // base name with extension, no folder
  std::string folderName;               // last component of the holding folder
  std::vector<std::string> folderChain; // library root first, holding folder last
  std::string filePath;                 // the file on disk; empty for in-memory banks
  int bankNumber = 0;

  // A copy of type, sub-code, entries and file name; folder fields are left empty. The savers
  // work on such a copy so that completing or cutting never touches the bank in the library.
  std::unique_ptr<PatchFile> clone() const;

  // Cuts the entries after kBankSize or appends empty entries (no messages) up to it.
  void resizeToBank();
};
