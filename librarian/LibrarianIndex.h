// The library index: the folder tree behind the bank selection menus, at most three levels deep.
//
// A record owns its names, its sub records and its lists, never the bank files it points to:
// those belong to the librarian's bank lists, and every index is rebuilt whenever those lists
// are (a pointer in an index is valid exactly as long as the list that owns the bank keeps it).
#pragma once

#include <string>
#include <vector>

#include "PatchFile.h"

struct SubFolderFiles2 {   // third level
  std::string name;
  std::vector<PatchFile*> bankFiles;
};

struct SubFolderFiles {    // second level
  std::string name;
  std::vector<SubFolderFiles2> subFolders;
  std::vector<PatchFile*> bankFiles;
};

struct FolderFiles {       // top level
  std::string name;
  std::vector<SubFolderFiles> subFolders;
  std::vector<PatchFile*> bankFiles;

  FolderFiles() = default;
  FolderFiles(const std::string& n, const SubFolderFiles& first) : name(n), subFolders{first} {}
};

// Places one bank file by its folder chain (library root first):
//  - a file in the root goes into the top-level record named after the root;
//  - a file one folder down goes into the second-level record named after that folder;
//  - a file two or more folders down goes into the third-level record named after its holding
//    folder, inside the second-level record named after the first folder below the root.
// A missing record is made (second-level records each in a new nameless top-level record).
// Matching follows the chain, so equally named folders below different parents stay apart at
// the third level, and sibling folders share their parent's record. A file without a chain is
// not placed.
void placeInFolderIndex(std::vector<FolderFiles*>& index, PatchFile* file);

// Deletes every record of index and empties it.
void clearFolderIndex(std::vector<FolderFiles*>& index);
