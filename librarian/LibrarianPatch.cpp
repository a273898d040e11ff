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
  const SysexBytes& b = messages[0].bytes;
  if (b.size() < static_cast<size_t>(pos) + kCategoryLength) return;
  category.append(reinterpret_cast<const char*>(&b[pos]), kCategoryLength);
}

int LibrarianPatch::firstMessageId() const {
  if (messages.empty() || messages[0].bytes.size() <= kMessageIdPos) return -1;
  return messages[0].bytes[kMessageIdPos];
}

void LibrarianPatch::setFromMessage(PatchSysexMessage message, int kindCode) {
  kind = kindCode;
  name.clear();
  category.clear();
  messages.clear();
  // Read through a const view: the non-const operator[] would give the message bytes of its own.
  const SysexBytes& b = message.bytes;
  const bool sound = b.size() > kMessageIdPos && b[kMessageIdPos] == kSoundDumpId;
  const size_t namePos = sound ? kSoundNamePos : kMultiNamePos;
  if (b.size() >= namePos + kNameLength) name.assign(reinterpret_cast<const char*>(&b[namePos]), kNameLength);
  messages.reserve(1);
  messages.push_back(std::move(message));
  if (sound) parseCategory(kSoundCategoryPos);
}

LibrarianPatch makeEntryFromMessage(PatchSysexMessage message, int kind) {
  LibrarianPatch entry;
  entry.setFromMessage(std::move(message), kind);
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

const LibrarianPatch& BankEntries::resolve(const Reference& r) {
  static const LibrarianPatch kNoEntry;
  if (!r.bank || r.index >= r.bank->entries.size()) return kNoEntry;
  return r.bank->entries[r.index];
}
