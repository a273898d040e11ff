// Bank file formats: raw SysEx ("syx", "zpk") and Standard MIDI File ("mid").
//
// Readers take the file's bytes (hostile until proven otherwise: every read is bounded by the
// size given) and append entries to a bank; writers turn a bank into the bytes of a file.
// Pure functions of their arguments: safe on any thread, they touch no librarian state.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "PatchFile.h"

// The byte at length - 2 of a dump: the sum of positions 4 .. length - 3, low 7 bits.
// Returns 0 for messages too short to carry one (fewer than 7 bytes).
uint8_t dumpChecksum(const uint8_t* data, size_t size);
inline uint8_t dumpChecksum(const SysexBytes& bytes) { return dumpChecksum(bytes.data(), bytes.size()); }

// True for a well-formed stored dump: 392 bytes with id 10 or 393 with id 11, header
// F0 3E 10 00, one F7 at the end, no other byte at or above 0x80, and a matching checksum.
bool isValidStoredDump(const SysexBytes& bytes);

// Scans from pos for the first byte equal to value: leaves pos just after it and returns true,
// or sets pos to -1 and returns false. With pos negative it returns false at once.
bool findByte(const uint8_t* data, int size, int& pos, uint8_t value);


// Detects the format of a file's bytes and appends every bank message found to bank. Files of
// fewer than 15 bytes are not read. Stops after kMaxEntriesPerFile entries (logged). Returns
// false when nothing was read because the data was too short. With whole given, one flag per
// entry appended tells whether its message was a whole dump (see isWholeDumpLength) rather than
// a fragment that the size repair merely padded.
//
// The buffer is taken over: a dump that is already whole in the file is stored in place (header
// normalised, slot and checksum written into the buffer) and its entry's bytes are a view into
// the buffer; only dumps that need more repair or a conversion get bytes of their own. The
// buffer must not be changed afterwards by anyone else.
bool readBankMessages(const FileBuffer& file, size_t size, PatchFile& bank, std::vector<bool>* whole = nullptr);
// The same for bytes that the caller keeps: they are copied first.
bool readBankMessages(const uint8_t* data, int size, PatchFile& bank, std::vector<bool>* whole = nullptr);

// A message as read (F0 through F7, before any repair) is a whole dump when it carries every
// data byte of its kind: positions up to 389 of a sound (its category included) or 390 of a
// multi. Only the checksum and the F7 may be missing; the size repair restores those exactly,
// whereas a shorter message would be padded with zeros into a sound nobody made.
bool isWholeDumpLength(bool sound, size_t lengthAsRead);

// At most this many entries are taken from one file: keeps a hostile file of back-to-back
// message headers from growing memory without bound.
constexpr int kMaxEntriesPerFile = 50000;

// The bytes of a bank file: every entry's messages in slot order, raw or as a Standard MIDI File
// (format 1, two tracks) with the header of a sound or a multi bank. Track and event lengths
// are the true ones; a full bank of one-message entries gives 39652 (sounds) or 39752 (multis)
// bytes as MIDI file, 39200 or 39300 raw.
std::vector<uint8_t> writeBank(const PatchFile& bank, bool asMidi);

// The extension of a file name (text after the last '.', empty when there is none), lower case.
std::string lowerExtension(const std::string& fileName);
// True for "mid", "syx" and "zpk" (already lower case).
bool isBankExtension(const std::string& lowerExt);

// The init records that complete short banks. Their checksums are computed by the dump rule.
PatchSysexMessage initSoundMessage();   // "Init Patch   vTn", category "Init"
PatchSysexMessage initMultiMessage();   // "Sequencer Multi "
// The completion sound for 1-based slot n: the init sound with the name "Init" + nine blanks +
// n in three digits and a category of four NUL bytes.
PatchSysexMessage completionSoundMessage(int slotNumber);
