// The editor's store of the 35 names carried in the host's state chunk (multi name, the 16 part
// sound names, the MIDI input and output port names, the 16 part categories) and of the
// default-state snapshot, a state chunk without names taken once at construction.
//
// Threads: the names are written by the MIDI engine's dump jobs (worker thread) and by the state
// writer/reader (host thread, under the plug-in lock); readers copy them. A mutex guards the name
// list so a copy is never torn. The snapshot is touched only under the plug-in lock.
//
// Ownership: the plug-in owns the manager (plain pointer, deleted by its destructor); the manager
// does not own the plug-in it points back to.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "IPlugStructs.h"
#include "UTIL_HeapBuf.h"

class Sorvanta;

class Patch {
public:
  static constexpr int kNumNames = 35;
  Patch();
  virtual ~Patch() = default;

protected:
  UTIL_HeapBuf snapshot;  // growth step 4096
  std::vector<std::string> names;
  mutable std::mutex namesLock;
};

class PatchManager : public Patch {
public:
  // Name slots.
  static constexpr int kSlotMulti = 0;
  static constexpr int kSlotFirstPart = 1;    // + part
  static constexpr int kSlotMidiIn = 17;
  static constexpr int kSlotMidiOut = 18;
  static constexpr int kSlotFirstCategory = 19;  // + part
  // Longest snapshot accepted from a chunk: a few times the editor's own (69972 bytes), so a
  // future layout fits but a hostile length cannot make us allocate gigabytes.
  static constexpr int kMaxSnapshotBytes = 1 << 20;

  explicit PatchManager(Sorvanta* owner = nullptr) : plug(owner) {}

  // Takes the default-state snapshot (the plug-in's state chunk without names).
  void init();
  // Appends the block: 00 00 00 01, 00 00 00 01, snapshot length (big-endian), snapshot, then
  // the 35 names as 32-bit length + bytes, cut to 16 (slots 0..16), 32 (17, 18) or 4 (19..34).
  void saveAllToChunk(ByteChunk* chunk) const;
  // Reads a block at pos. The whole block is checked first (both leading words, lengths inside
  // the chunk, snapshot no longer than kMaxSnapshotBytes); a block that fails any check changes
  // nothing and gives -1. Otherwise the snapshot and names are replaced (names 0..16 padded or
  // cut to 16 characters, 19..34 to 4, with NUL characters) and the position after it returned.
  int loadAllFromChunk(const ByteChunk* chunk, int pos);
  // The checks of loadAllFromChunk without changing anything: the position after a valid block
  // at pos, or -1.
  static int checkBlock(const ByteChunk* chunk, int pos);

  // Name slot index (0..34); "INIT" for any other index.
  void getName(std::string* out, int index) const;
  std::string getName(int index) const;
  // Stores a name; an empty text is stored as "Set Name", but for a port (none chosen). Ignored
  // outside 0..34.
  void setName(int index, const std::string& name);
  int snapshotSize() const { return snapshot.GetSize(); }
  const unsigned char* snapshotBytes() const { return static_cast<const unsigned char*>(snapshot.Get()); }

  // Appends text up to its first NUL and at most maxChars characters as length + bytes.
  static void putStringToChunk(ByteChunk* chunk, const std::string& text, int maxChars);
  static int limitForSlot(int index);

private:
  // Parses a block; on success fills the snapshot range and names (when given) and returns the
  // position after it, else -1.
  static int parseBlock(const ByteChunk* chunk, int pos, int* snapshotPos, int* snapshotLen,
                        std::vector<std::string>* names);
  Sorvanta* plug;
};
