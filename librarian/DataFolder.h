// Where the editor keeps its files: the one place that knows the data folder's location.
//
// The folder is "Audio/Presets/Harrowgate Sound Labs/Tamsell Sorvanta Editor/" below the
// per-user data root: $XDG_DATA_HOME, or ~/.local/share when that is unset or empty (XDG rule:
// a relative XDG_DATA_HOME is ignored too). Tests point XDG_DATA_HOME at a temporary folder.
// The environment is read on every call, so the functions are cheap but not free; they create
// nothing on disk.
#pragma once

#include <string>

// The data folder, always ending in "/".
std::string dataFolderPath();
// The patch library root: dataFolderPath() + "Patches" (no trailing separator).
std::string patchesFolderPath();
// Where unsplit oversized bank files are moved: dataFolderPath() + "Converted Banks" (no trailing
// separator).
std::string convertedBanksFolderPath();
