// The librarian's entries: one stored SysEx message and one library entry (a sound or a multi).
//
// Plain value types. Copies behave as deep copies: message bytes are shared until one copy
// changes them (SysexBytes). Nothing here is locked: the banks that hold entries are guarded by
// PatchLibrarian's bank lock.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "SysexBytes.h"

// Layout of a stored dump (positions count from the F0 at 0).
constexpr uint8_t kSysexStart = 0xF0;
constexpr uint8_t kSysexEnd = 0xF7;
constexpr uint8_t kManufacturerId = 0x3E;
constexpr uint8_t kModelDorvik = 0x10;
constexpr uint8_t kModelKestrin = 0x0F;
constexpr uint8_t kModelVostrel = 0x13;
constexpr uint8_t kSoundDumpId = 0x10;
constexpr uint8_t kMultiDumpId = 0x11;
constexpr int kMessageIdPos = 4;
constexpr int kSlotPos = 5;
constexpr int kSoundDumpSize = 392;   // checksum at 390, F7 at 391
constexpr int kMultiDumpSize = 393;   // checksum at 391, F7 at 392
constexpr int kSoundNamePos = 370;
constexpr int kSoundCategoryPos = 386;
constexpr int kMultiNamePos = 23;
constexpr int kNameLength = 16;
constexpr int kCategoryLength = 4;
constexpr int kBankSize = 100;        // entries of every bank held in the library lists

// Kind codes of LibrarianPatch::kind.
constexpr int kKindSoundRead = 0;
constexpr int kKindSoundInit = 1;
constexpr int kKindMultiRead = 3;
constexpr int kKindMultiInit = 4;

// One whole SysEx message as stored in the library: F0 3E 10 00 id slot ... F7. Copies share
// the bytes until one of them changes (SysexBytes).
struct PatchSysexMessage {
  SysexBytes bytes;

  // Brings a sound to 392 or a multi to 393 bytes: the data part is cut or padded with zeros,
  // the old checksum and any F7 in the data are dropped, and the checksum and one F7 are
  // appended, so the result is always a well-formed dump. Defined in BankFormats.cpp.
  void checkPatchDataSize(bool sound);

  // Appends the message to a bank file being written: raw (F0 .. F7), or as a Standard MIDI
  // File SysEx event with delta 0 for the first event of the track and 500 ticks otherwise.
  // Defined in BankFormats.cpp.
  void save(std::vector<uint8_t>& out, bool asMidi, bool firstEvent) const;
};

// One library entry. Entries read from a file or received from the synthesizer hold exactly one
// message. Copies are cheap: the message bytes are shared until changed.
struct LibrarianPatch {
  int kind = 0;
  std::string name;       // 16 characters, blanks included
  std::string category;   // 4 characters for sounds (NULs kept), empty for multis
  std::vector<PatchSysexMessage> messages;

  // Appends name, category and kind to target and a copy of every message behind the messages
  // that target already holds.
  void clone(LibrarianPatch& target) const;

  // Appends the four bytes at pos.. of the first message to the category, byte for byte.
  // Does nothing when there is no such message or it is too short.
  void parseCategory(int pos);

  // Becomes the entry of one stored message (see makeEntryFromMessage).
  void setFromMessage(PatchSysexMessage message, int kindCode);

  // Message id (byte 4) of the first message, or -1 when there is none.
  int firstMessageId() const;
};

// A category of at most 7 bytes as one number (length + 1 in the low byte, then the bytes), so
// that the loader can compare a hundred thousand of them cheaply; 0 for longer ones.
inline uint64_t categoryKey(std::string_view category) {
  if (category.size() > 7) return 0;
  uint64_t key = category.size() + 1;
  for (size_t i = 0; i < category.size(); ++i) key |= static_cast<uint64_t>(static_cast<uint8_t>(category[i])) << (8 * (i + 1));
  return key;
}

// Makes an entry from one stored message: name from 370 (sound) or 23 (multi), category from
// 386 for sounds. The message must already have its stored size.
LibrarianPatch makeEntryFromMessage(PatchSysexMessage message, int kind);
