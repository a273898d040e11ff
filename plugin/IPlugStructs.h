// Small value types of the plug-in framework: the state chunk (ByteChunk), the host time record,
// short and system-exclusive MIDI messages, the timed host-MIDI queue and the preset record.
//
// Byte order: ByteChunk stores every value as its raw bytes in the machine's order (little-endian on
// x86-64) and never swaps. State written on one byte order does not read back on the other; a
// reader that needs big-endian fields swaps them itself.
#pragma once

#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>

#include "UTIL_HeapBuf.h"
#include "UTIL_String.h"

// Growable byte buffer (granularity 4096) for plug-in state. Owns its bytes.
//
// Puts append and return the new size. Gets read at a position and return the position after
// the value, or -1 when the read would pass the end (the target is then left unchanged). A get
// at a negative position returns -1 too, so a chain of gets after a failure keeps failing and the
// caller needs to test only the last result. Reads are bounded: a chunk from a host or a file is
// hostile input and no get ever touches a byte outside the chunk.
class ByteChunk {
public:
  ByteChunk() : mBytes(4096) {}
  ByteChunk(const ByteChunk&) = delete;
  ByteChunk& operator=(const ByteChunk&) = delete;

  // Appends raw bytes; returns the new size, or -1 when memory ran out (the chunk is unchanged).
  int PutBytes(const void* pSrc, int nBytes);
  // Copies nBytes at startPos into pDst; returns startPos + nBytes, or -1 (pDst untouched).
  int GetBytes(void* pDst, int nBytes, int startPos) const;

  // Plain fixed-size values (int, double, bool = 1 byte, ...), stored as their raw bytes.
  template <class T>
  int Put(const T* pVal) {
    return PutBytes(pVal, static_cast<int>(sizeof(T)));
  }
  template <class T>
  int Get(T* pVal, int startPos) const {
    return GetBytes(pVal, static_cast<int>(sizeof(T)), startPos);
  }
  // A bool is one byte; any non-zero byte reads as true (copying a stray byte such as 0xF2 into
  // a bool would make it neither true nor false).
  int Get(bool* pVal, int startPos) const {
    uint8_t b = 0;
    int pos = GetBytes(&b, 1, startPos);
    if (pos >= 0) *pVal = b != 0;
    return pos;
  }

  // A string is a 32-bit length (without terminator) followed by its characters, unterminated.
  // A null string is written as length 0.
  int PutStr(const char* str);
  int PutStr(const std::string& str) { return PutStr(str.c_str()); }
  // Reads a string written by PutStr. Returns the position after it, or -1 when the position is
  // negative, the length field does not fit, the stored length is negative or the characters
  // would run past the end. The target receives the characters up to the first zero byte among
  // them; it is left untouched for a stored length of 0 (callers pass an empty string) and on -1.
  int GetStr(UTIL_String* pStr, int startPos) const;
  int GetStr(std::string* pStr, int startPos) const;

  // Appends all bytes of another chunk; returns the new size (-1 when memory ran out).
  int PutChunk(const ByteChunk* pRHS);

  void Clear() { mBytes.Resize(0, false); }
  int Size() const { return mBytes.GetSize(); }
  // Sets the size (new bytes are zeroed); returns the new size, the old one when memory ran out.
  int Resize(int newSize);
  // Grows by nBytes left unwritten, for a caller that fills every one of them at once; the first
  // of them, or null (size unchanged) when nBytes is not positive, the size would pass INT_MAX or
  // memory ran out.
  uint8_t* Extend(int nBytes);
  // The data, or null when the chunk is empty.
  uint8_t* GetBytes() { return static_cast<uint8_t*>(mBytes.Get()); }
  const uint8_t* GetBytes() const { return static_cast<const uint8_t*>(mBytes.Get()); }
  bool IsEqual(const ByteChunk& other) const;

private:
  UTIL_HeapBuf mBytes;
};

// The host's transport as read once per block by the Audio Unit binding.
struct ITimeInfo {
  double mTempo = 120.0;
  double mSamplePos = -1.0;
  double mPPQPos = -1.0;
  double mLastBar = -1.0;
  double mCycleStart = -1.0;
  double mCycleEnd = -1.0;
  int mNumerator = 4;
  int mDenominator = 4;
  bool mTransportIsRunning = false;
  bool mTransportLoopEnabled = false;
};

// One short MIDI message (8 bytes, copied by value). Bytes a message does not use are 0.
struct IMidiMsg {
  // The kind of a channel message: the high four bits of the status byte.
  enum EStatusMsg {
    kNone = 0,
    kNoteOff = 8,
    kNoteOn = 9,
    kPolyAftertouch = 10,
    kControlChange = 11,
    kProgramChange = 12,
    kChannelAftertouch = 13,
    kPitchWheel = 14
  };
  // The controller number 0..127. Only the numbers the framework names itself are listed; any
  // number 0..127 may be cast to it.
  enum EControlChangeMsg {
    kBankSelectMSB = 0,
    kModWheel = 1,
    kChannelVolume = 7,
    kPan = 10,
    kBankSelectLSB = 32,
    kSustainOnOff = 64,
    kAllNotesOff = 123
  };

  int mOffset;  // sample offset in the current block; 0 for editor-made and direct-input messages
  uint8_t mStatus, mData1, mData2;

  IMidiMsg(int offset = 0, uint8_t status = 0, uint8_t data1 = 0, uint8_t data2 = 0)
      : mOffset(offset), mStatus(status), mData1(data1), mData2(data2) {}

  // Makers overwrite the whole message. Channels are 0..15 (masked).
  void MakeNoteOnMsg(int noteNumber, int velocity, int offset, int channel = 0);
  void MakeNoteOffMsg(int noteNumber, int offset, int channel = 0, int velocity = 0);
  // value is 0..1; value = k / 127 gives exactly k. Values outside 0..1 are held to 0..127.
  void MakeControlChangeMsg(EControlChangeMsg idx, double value, int channel = 0);
  // value is program / 127.
  void MakeProgramChangeMsg(double value, int channel = 0);
  // value is -1..1; held to 0..16383 after adding 8192.
  void MakePitchWheelMsg(double value, int channel = 0);
  void Clear();

  int Channel() const { return mStatus & 0x0F; }
  int StatusMsg() const;  // 8..14 for a channel message, else 0
  int NoteNumber() const;
  int Velocity() const;
  int Program() const;
  double PitchWheel() const;
  int ControlChangeIdx() const { return mData1; }
  double ControlChange(EControlChangeMsg idx) const;  // -1.0 when not a CC of controller idx
  static const char* StatusMsgStr(EStatusMsg msg);
  int MidiChannelIdx() const { return Channel(); }
  void LogMsg() const {}  // the outgoing-message line is printed by the plug-in class
};

// A system-exclusive message. Does NOT own its bytes: the producer keeps them alive for the
// duration of the call that receives the ISysEx; a receiver copies what it keeps.
struct ISysEx {
  int mOffset;
  int mSize;
  const uint8_t* mData;

  ISysEx(int offset = 0, const uint8_t* data = nullptr, int size = 0) : mOffset(offset), mSize(size), mData(data) {}
  void Clear() {
    mOffset = mSize = 0;
    mData = nullptr;
  }
  void LogMsg() const;
};

// Writes the first min(maxLen / 3, size) bytes as "%02X" separated by blanks into str,
// terminated; an empty string when data is null, size is 0 or nothing fits. maxLen is the size
// of str; nothing is written when it is below 1.
void SysExStr(char* str, int maxLen, const uint8_t* data, int size);

// Queue of host MIDI messages that wait for their sample offset to fall inside the block being
// rendered. Kept sorted by offset; equal offsets stay in arrival order. Owns its buffer.
//
// Threads: the host's MIDI call fills it (Add), the render callback drains it (PopDue, Flush), and
// Reset resizes it (Resize). A host may make these calls on different threads, so every public
// operation takes the queue's own small lock for its whole (short, allocation-free except for
// growth) duration; a drain must use PopDue, which tests and removes the front message in one
// step, never Peek followed by Remove (an Add in between may put an earlier message in front).
// The lock is not recursive and is never held while a message is sent.
class IMidiQueue {
public:
  // The first allocation and the growth step are both growthStep messages.
  explicit IMidiQueue(int growthStep = 1024);
  ~IMidiQueue();
  IMidiQueue(const IMidiQueue&) = delete;
  IMidiQueue& operator=(const IMidiQueue&) = delete;

  // Inserts in offset order. Dropped (queue unchanged, returns false) when the growth step is 0
  // or memory ran out.
  bool Add(const IMidiMsg* msg);
  // Removes the front message (nothing when empty).
  void Remove();
  bool Empty() const;
  int ToDo() const;  // messages in use
  int GetSize() const;  // allocated messages
  int GetGrowthStep() const;
  // Copy of the front message; false (and *msg untouched) when empty.
  bool Peek(IMidiMsg* msg) const;
  // When the front message's offset is at most maxOffset: copies it to *msg, removes it, true.
  bool PopDue(int maxOffset, IMidiMsg* msg);
  // After a block of nFrames: compacts, then moves every remaining message nFrames earlier.
  void Flush(int nFrames);
  // Prepares for a block size: growth step = blockSize rounded up to a multiple of 512, the
  // allocation that or the messages in use rounded up the same way. On failure the old buffer
  // and sizes stay. Returns false on failure.
  bool Resize(int blockSize);
  void Clear();

private:
  void compactLocked();
  bool reallocLocked(int newSize);

  mutable std::mutex mLock;
  IMidiMsg* mBuf = nullptr;
  int mSize = 0;  // allocated messages
  int mGrow;
  int mFront = 0, mBack = 0;
};

// A preset: a name and the state chunk that restores it.
constexpr int MAX_PRESET_NAME_LEN = 256;
struct IPreset {
  bool mInitialized = false;
  char mName[MAX_PRESET_NAME_LEN];
  ByteChunk mChunk;

  IPreset() { strcpy(mName, "empty"); }
  // Copies name, truncated to the buffer; a null name leaves it unchanged.
  void SetName(const char* name);
};
