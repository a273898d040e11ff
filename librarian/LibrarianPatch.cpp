#include "LibrarianPatch.h"

#include "PatchFile.h"

void LibrarianPatch::clone(LibrarianPatch& target) const {
  target.name = name;
  target.category = category;
  target.kind = kind;
  target.messages.insert(target.messages.end(), messages.begin(), messages.end());
}

void LibrarianPatch::parseCategory(int pos) {
  if (messages.empty() || pos < 0) return;
  const std::vector<uint8_t>& b = messages[0].bytes;
  if (b.size() < static_cast<size_t>(pos) + kCategoryLength) return;
  category.append(reinterpret_cast<const char*>(&b[pos]), kCategoryLength);
}

int LibrarianPatch::firstMessageId() const {
  if (messages.empty() || messages[0].bytes.size() <= kMessageIdPos) return -1;
  return messages[0].bytes[kMessageIdPos];
}

LibrarianPatch makeEntryFromMessage(PatchSysexMessage message, int kind) {
  LibrarianPatch entry;
  entry.kind = kind;
  const bool sound = message.bytes.size() > kMessageIdPos && message.bytes[kMessageIdPos] == kSoundDumpId;
  const size_t namePos = sound ? kSoundNamePos : kMultiNamePos;
  if (message.bytes.size() >= namePos + kNameLength)
    entry.name.assign(reinterpret_cast<const char*>(&message.bytes[namePos]), kNameLength);
  entry.messages.push_back(std::move(message));
  if (sound) entry.parseCategory(kSoundCategoryPos);
  return entry;
}

std::unique_ptr<PatchFile> PatchFile::clone() const {
  auto copy = std::make_unique<PatchFile>();
  copy->type = type;
  copy->subCode = subCode;
  copy->entries = entries;
  copy->fileName = fileName;
  return copy;
}

void PatchFile::resizeToBank() { entries.resize(kBankSize); }
