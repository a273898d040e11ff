#include "PatchManager.h"

#include <cstring>

#include "Sorvanta.h"

namespace {

constexpr uint32_t kBlockWord = 0x01000000u;  // bytes 00 00 00 01 in the chunk's native order

uint32_t byteSwap(uint32_t v) {
  return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

std::string upToNul(const std::string& s) {
  const size_t nul = s.find('\0');
  return nul == std::string::npos ? s : s.substr(0, nul);
}

}  // namespace

Patch::Patch() : snapshot(4096), names(kNumNames, "INIT") {}

int PatchManager::limitForSlot(int index) {
  if (index == kSlotMidiIn || index == kSlotMidiOut) return 32;
  return index >= kSlotFirstCategory ? 4 : 16;
}

void PatchManager::init() {
  if (!plug) return;
  ByteChunk chunk;
  plug->SerializeState2(&chunk, false);
  snapshot.Resize(chunk.Size(), false);
  if (chunk.Size() > 0) memcpy(snapshot.Get(), chunk.GetBytes(), static_cast<size_t>(chunk.Size()));
}

void PatchManager::putStringToChunk(ByteChunk* chunk, const std::string& text, int maxChars) {
  std::string s = upToNul(text);
  if (maxChars < 0) maxChars = 0;
  if (static_cast<int>(s.size()) > maxChars) s.resize(static_cast<size_t>(maxChars));
  const int32_t k = static_cast<int32_t>(s.size());
  chunk->Put(&k);
  if (k > 0) chunk->PutBytes(s.data(), k);
}

void PatchManager::saveAllToChunk(ByteChunk* chunk) const {
  ByteChunk block;
  const uint32_t word = kBlockWord;
  block.Put(&word);
  block.Put(&word);
  const uint32_t lengthBE = byteSwap(static_cast<uint32_t>(snapshot.GetSize()));
  block.Put(&lengthBE);
  if (snapshot.GetSize() > 0) block.PutBytes(snapshot.Get(), snapshot.GetSize());
  {
    std::lock_guard<std::mutex> guard(namesLock);
    for (int i = 0; i < kNumNames; ++i) putStringToChunk(&block, names[static_cast<size_t>(i)], limitForSlot(i));
  }
  chunk->PutChunk(&block);
}

int PatchManager::parseBlock(const ByteChunk* chunk, int pos, int* snapshotPos, int* snapshotLen,
                             std::vector<std::string>* out) {
  if (!chunk || pos < 0) return -1;
  const long long size = chunk->Size();
  const uint8_t* bytes = chunk->GetBytes();
  long long p = pos;
  if (p + 12 > size) return -1;
  uint32_t w1, w2, lengthBE;
  memcpy(&w1, bytes + p, 4);
  memcpy(&w2, bytes + p + 4, 4);
  memcpy(&lengthBE, bytes + p + 8, 4);
  if (w1 != kBlockWord || w2 != kBlockWord) return -1;
  const uint32_t length = byteSwap(lengthBE);
  p += 12;
  if (length > static_cast<uint32_t>(kMaxSnapshotBytes) || p + length > size) return -1;
  if (snapshotPos) *snapshotPos = static_cast<int>(p);
  if (snapshotLen) *snapshotLen = static_cast<int>(length);
  p += length;
  for (int i = 0; i < kNumNames; ++i) {
    if (p + 4 > size) return -1;
    int32_t k;
    memcpy(&k, bytes + p, 4);
    p += 4;
    if (k < 0 || k > limitForSlot(i) || p + k > size) return -1;
    if (out) {
      std::string text = upToNul(std::string(reinterpret_cast<const char*>(bytes + p), static_cast<size_t>(k)));
      // Fixed-width slots come back exactly as wide as the synth's name fields.
      if (i != kSlotMidiIn && i != kSlotMidiOut) text.resize(static_cast<size_t>(limitForSlot(i)), '\0');
      (*out)[static_cast<size_t>(i)] = text;
    }
    p += k;
  }
  return static_cast<int>(p);
}

int PatchManager::checkBlock(const ByteChunk* chunk, int pos) { return parseBlock(chunk, pos, nullptr, nullptr, nullptr); }

int PatchManager::loadAllFromChunk(const ByteChunk* chunk, int pos) {
  int snapshotPos = 0, length = 0;
  std::vector<std::string> read(kNumNames);
  const int end = parseBlock(chunk, pos, &snapshotPos, &length, &read);
  if (end < 0) return -1;
  snapshot.Resize(length, false);
  if (length > 0) memcpy(snapshot.Get(), chunk->GetBytes() + snapshotPos, static_cast<size_t>(length));
  {
    std::lock_guard<std::mutex> guard(namesLock);
    names.swap(read);
  }
  return end;
}

void PatchManager::getName(std::string* out, int index) const {
  if (out) *out = getName(index);
}

std::string PatchManager::getName(int index) const {
  if (index < 0 || index >= kNumNames) return "INIT";
  std::lock_guard<std::mutex> guard(namesLock);
  return names[static_cast<size_t>(index)];
}

void PatchManager::setName(int index, const std::string& name) {
  if (index < 0 || index >= kNumNames) return;
  std::lock_guard<std::mutex> guard(namesLock);
  const bool port = index == kSlotMidiIn || index == kSlotMidiOut;
  names[static_cast<size_t>(index)] = name.empty() && !port ? "Set Name" : name;
}
