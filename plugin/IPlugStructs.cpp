#include "IPlugStructs.h"

#include <cmath>
#include <cstdio>

// ---------------------------------------------------------------- ByteChunk

namespace {

// True when [pos, pos + n) lies inside a buffer of `size` bytes. Done in 64 bits: pos + n of two
// ints taken from a hostile chunk may overflow int.
bool fits(int pos, long long n, int size) {
  return pos >= 0 && n >= 0 && static_cast<long long>(pos) + n <= static_cast<long long>(size);
}

}  // namespace

int ByteChunk::PutBytes(const void* pSrc, int nBytes) {
  if (nBytes < 0) return -1;
  if (nBytes == 0) return Size();
  return mBytes.Add(pSrc, nBytes) ? Size() : -1;
}

int ByteChunk::GetBytes(void* pDst, int nBytes, int startPos) const {
  if (!fits(startPos, nBytes, Size())) return -1;
  if (nBytes > 0) memcpy(pDst, GetBytes() + startPos, static_cast<size_t>(nBytes));
  return startPos + nBytes;
}

int ByteChunk::PutStr(const char* str) {
  size_t len = str ? strlen(str) : 0;
  if (len > 0x7fffffffu - 4u) return -1;
  int n = static_cast<int>(len);
  int old = Size();
  if (Put(&n) < 0) return -1;
  if (n > 0 && PutBytes(str, n) < 0) {
    mBytes.Resize(old, false);  // no half-written string
    return -1;
  }
  return Size();
}

namespace {

// Shared by both GetStr overloads: validates and returns where the characters start, their
// count up to the first zero byte, and the position after the string; false on a bad string.
bool locateStr(const ByteChunk& c, int startPos, int* pTextPos, int* pTextLen, int* pNext) {
  int len = 0;
  int p = c.Get(&len, startPos);
  if (p < 0 || len < 0 || !fits(p, len, c.Size())) return false;
  const uint8_t* text = c.GetBytes() + p;
  *pTextPos = p;
  *pTextLen = len > 0 ? static_cast<int>(strnlen(reinterpret_cast<const char*>(text), static_cast<size_t>(len))) : 0;
  *pNext = p + len;
  return true;
}

}  // namespace

int ByteChunk::GetStr(UTIL_String* pStr, int startPos) const {
  int textPos, textLen, next;
  if (!locateStr(*this, startPos, &textPos, &textLen, &next)) return -1;
  if (next > textPos && pStr) pStr->Set(reinterpret_cast<const char*>(GetBytes() + textPos), textLen);
  return next;
}

int ByteChunk::GetStr(std::string* pStr, int startPos) const {
  int textPos, textLen, next;
  if (!locateStr(*this, startPos, &textPos, &textLen, &next)) return -1;
  if (next > textPos && pStr) pStr->assign(reinterpret_cast<const char*>(GetBytes() + textPos), static_cast<size_t>(textLen));
  return next;
}

int ByteChunk::PutChunk(const ByteChunk* pRHS) {
  if (!pRHS || pRHS == this) {
    if (pRHS != this) return Size();
    // Appending a chunk to itself: the source would move while it is copied.
    std::string copy(reinterpret_cast<const char*>(GetBytes()), static_cast<size_t>(Size()));
    return PutBytes(copy.data(), static_cast<int>(copy.size()));
  }
  return PutBytes(pRHS->GetBytes(), pRHS->Size());
}

int ByteChunk::Resize(int newSize) {
  if (newSize < 0) newSize = 0;
  int old = Size();
  if (!mBytes.ResizeOK(newSize, false)) return Size();
  if (newSize > old) memset(GetBytes() + old, 0, static_cast<size_t>(newSize - old));
  return Size();
}

uint8_t* ByteChunk::Extend(int nBytes) {
  const int old = Size();
  if (nBytes <= 0 || static_cast<long long>(old) + nBytes > 0x7fffffffLL) return nullptr;
  if (!mBytes.ResizeOK(old + nBytes, false)) return nullptr;
  return GetBytes() + old;
}

bool ByteChunk::IsEqual(const ByteChunk& other) const {
  return Size() == other.Size() && (Size() == 0 || memcmp(GetBytes(), other.GetBytes(), static_cast<size_t>(Size())) == 0);
}

// ---------------------------------------------------------------- IMidiMsg

namespace {

uint8_t dataByte(int v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 127 ? 127 : v)); }

// value (0..1) * 127 truncated towards zero, held to 0..127 (NaN gives 0).
uint8_t scaled127(double value) {
  if (!(value > 0.0)) return 0;
  if (value >= 1.0) return 127;
  return static_cast<uint8_t>(value * 127.0);
}

}  // namespace

void IMidiMsg::MakeNoteOnMsg(int noteNumber, int velocity, int offset, int channel) {
  mOffset = offset;
  mStatus = static_cast<uint8_t>(0x90 | (channel & 0x0F));
  mData1 = dataByte(noteNumber);
  mData2 = dataByte(velocity);
}

void IMidiMsg::MakeNoteOffMsg(int noteNumber, int offset, int channel, int velocity) {
  mOffset = offset;
  mStatus = static_cast<uint8_t>(0x80 | (channel & 0x0F));
  mData1 = dataByte(noteNumber);
  mData2 = dataByte(velocity);
}

void IMidiMsg::MakeControlChangeMsg(EControlChangeMsg idx, double value, int channel) {
  mOffset = 0;
  mStatus = static_cast<uint8_t>(0xB0 | (channel & 0x0F));
  mData1 = static_cast<uint8_t>(static_cast<int>(idx) & 0x7F);
  mData2 = scaled127(value);
}

void IMidiMsg::MakeProgramChangeMsg(double value, int channel) {
  mOffset = 0;
  mStatus = static_cast<uint8_t>(0xC0 | (channel & 0x0F));
  mData1 = scaled127(value);
  mData2 = 0;
}

void IMidiMsg::MakePitchWheelMsg(double value, int channel) {
  mOffset = 0;
  mStatus = static_cast<uint8_t>(0xE0 | (channel & 0x0F));
  int i;
  if (std::isnan(value))
    i = 8192;
  else if (value >= 1.0)
    i = 16383;
  else if (value <= -1.0)
    i = 0;
  else
    i = static_cast<int>(value * 8192.0) + 8192;
  if (i < 0) i = 0;
  if (i > 16383) i = 16383;
  mData1 = static_cast<uint8_t>(i & 127);
  mData2 = static_cast<uint8_t>(i >> 7);
}

void IMidiMsg::Clear() {
  mOffset = 0;
  mStatus = mData1 = mData2 = 0;
}

int IMidiMsg::StatusMsg() const { return (mStatus >= 0x80 && mStatus <= 0xEF) ? (mStatus >> 4) : kNone; }

int IMidiMsg::NoteNumber() const {
  int k = StatusMsg();
  return (k == kNoteOn || k == kNoteOff || k == kPolyAftertouch) ? mData1 : -1;
}

int IMidiMsg::Velocity() const {
  int k = StatusMsg();
  return (k == kNoteOn || k == kNoteOff) ? mData2 : -1;
}

int IMidiMsg::Program() const { return StatusMsg() == kProgramChange ? mData1 : -1; }

double IMidiMsg::PitchWheel() const {
  if (StatusMsg() != kPitchWheel) return 0.0;
  int v = (mData2 << 7) + mData1 - 8192;
  return static_cast<double>(v) / 8192.0;
}

double IMidiMsg::ControlChange(EControlChangeMsg idx) const {
  if (StatusMsg() == kControlChange && mData1 == static_cast<int>(idx)) return mData2 / 127.0;
  return -1.0;
}

const char* IMidiMsg::StatusMsgStr(EStatusMsg msg) {
  switch (msg) {
    case kNone: return "none";
    case kNoteOff: return "noteoff";
    case kNoteOn: return "noteon ";
    case kPolyAftertouch: return "aftertouch";
    case kControlChange: return "controlchange";
    case kProgramChange: return "programchange";
    case kChannelAftertouch: return "channelaftertouch";
    case kPitchWheel: return "pitchwheel";
  }
  return "unknown";
}

// ---------------------------------------------------------------- ISysEx

void SysExStr(char* str, int maxLen, const uint8_t* data, int size) {
  if (!str || maxLen < 1) return;
  str[0] = 0;
  if (!data || size <= 0) return;
  int n = maxLen / 3;
  if (n > size) n = size;
  // Each byte takes "XX " (3 chars); the last blank becomes the terminator, so n * 3 <= maxLen fits.
  for (int i = 0; i < n; ++i) snprintf(str + i * 3, 4, i + 1 < n ? "%02X " : "%02X", data[i]);
}

void ISysEx::LogMsg() const {
  char buf[3 * 32 + 1];
  SysExStr(buf, sizeof(buf), mData, mSize < 32 ? mSize : 32);
  (void)buf;  // tracing is compiled empty
}

// ---------------------------------------------------------------- IPreset

void IPreset::SetName(const char* name) {
  if (!name) return;
  snprintf(mName, sizeof(mName), "%s", name);
}
