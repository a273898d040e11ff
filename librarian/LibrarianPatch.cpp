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

void BankEntries::addReference(const PatchFile* bank, size_t index) {
  const size_t first = index & ~static_cast<size_t>(kInRow);
  const bool newRow = m_isRefs && (m_rows->empty() || m_rows->back().bank != bank || m_rows->back().index != first);
  // A table of 2^24 rows (millions of banks) takes no more: the entry is copied instead.
  if (!m_isRefs || (newRow && m_rows->size() > (UINT32_MAX >> kRowShift))) {
    own().push_back(resolve(Reference{bank, index}));
    return;
  }
  ReferenceRows& rows = *m_rows;
  if (newRow) rows.push_back(Reference{bank, first});
  m_refs.push_back(static_cast<uint32_t>((rows.size() - 1) << kRowShift | (index - first)));
}

void BankEntries::startReading(const FileBuffer& buffer) {
  m_own.clear();
  m_refs.clear();
  m_rows.reset();
  m_isRefs = false;
  m_read = std::make_shared<Read>();
  m_read->buffer = buffer;
}

void BankEntries::appendRead(PatchSysexMessage message, int kind) {
  const SysexBytes& b = message.bytes;
  if (!m_read || b.size() > UINT16_MAX || kind < 0 || kind > UINT8_MAX) {
    own().push_back(makeEntryFromMessage(std::move(message), kind));
    return;
  }
  Read& read = *m_read;
  if (read.count) {   // settled: back to a place per entry
    for (uint32_t i = 0; i < read.count; ++i) read.places.push_back(read.place(i));
    read.count = 0;
  }
  Place place;
  place.length = static_cast<uint16_t>(b.size());
  place.kind = static_cast<uint8_t>(kind);
  place.inBuffer = b.viewsInto(m_read->buffer);
  if (place.inBuffer) {
    place.at = static_cast<uint32_t>(b.data() - m_read->buffer.get());
  } else {
    place.at = static_cast<uint32_t>(m_read->ownBytes.size());
    m_read->ownBytes.push_back(std::move(message.bytes));
  }
  m_read->places.push_back(place);
}

void BankEntries::settleRead() {
  if (!m_read || m_read->count) return;
  std::vector<Place>& places = m_read->places;
  bool run = places.size() >= 2 && places[1].at > places[0].at;
  const uint32_t stride = run ? places[1].at - places[0].at : 0;
  for (size_t i = 0; run && i < places.size(); ++i) {
    const Place& p = places[i];
    run = p.inBuffer && p.length == places[0].length && p.kind == places[0].kind &&
          p.at == places[0].at + static_cast<uint64_t>(i) * stride;
  }
  if (!run) {
    places.shrink_to_fit();
    return;
  }
  m_read->first = places[0];
  m_read->stride = stride;
  m_read->count = static_cast<uint32_t>(places.size());
  std::vector<Place>().swap(places);
}

const uint8_t* BankEntries::readData(size_t i, size_t& length) const {
  const Place p = m_read->place(i);
  length = p.length;
  return p.inBuffer ? m_read->buffer.get() + p.at : m_read->ownBytes[p.at].data();
}

SysexBytes BankEntries::readBytes(size_t i) const {
  const Place p = m_read->place(i);
  return p.inBuffer ? SysexBytes(m_read->buffer, p.at, p.length) : m_read->ownBytes[p.at];
}

void BankEntries::makeEntries() const {
  if (!m_read) return;
  std::vector<LibrarianPatch> made(m_read->size());
  for (size_t i = 0; i < made.size(); ++i) {
    PatchSysexMessage m;
    m.bytes = readBytes(i);
    made[i].setFromMessage(std::move(m), m_read->place(i).kind);
  }
  m_own.swap(made);
  m_read.reset();
}

namespace {

// Where setFromMessage takes an entry's name and category from, for a message of `length` bytes.
std::string_view textIn(const uint8_t* data, size_t length, bool category) {
  const bool sound = length > kMessageIdPos && data[kMessageIdPos] == kSoundDumpId;
  if (category) {
    if (!sound || length < static_cast<size_t>(kSoundCategoryPos + kCategoryLength)) return {};
    return std::string_view(reinterpret_cast<const char*>(data + kSoundCategoryPos), kCategoryLength);
  }
  const size_t at = sound ? kSoundNamePos : kMultiNamePos;
  if (length < at + kNameLength) return {};
  return std::string_view(reinterpret_cast<const char*>(data + at), kNameLength);
}

}  // namespace

std::string_view BankEntries::textAt(size_t i, bool category) const {
  if (m_isRefs) {
    const Reference r = reference(i);
    return r.bank && r.index < r.bank->entries.size() ? r.bank->entries.textAt(r.index, category) : std::string_view();
  }
  if (!m_read) return category ? m_own[i].category : m_own[i].name;
  size_t length = 0;
  const uint8_t* data = readData(i, length);
  return textIn(data, length, category);
}

bool BankEntries::holdsMessage(size_t i) const {
  if (m_isRefs) {
    const Reference r = reference(i);
    return r.bank && r.index < r.bank->entries.size() && r.bank->entries.holdsMessage(r.index);
  }
  return m_read ? true : !m_own[i].messages.empty();
}

void BankEntries::prefetchName(size_t i) const {
  if (!m_read || i >= m_read->size()) return;
  size_t length = 0;
  const uint8_t* data = readData(i, length);
  __builtin_prefetch(data);
  if (length > static_cast<size_t>(kSoundNamePos)) __builtin_prefetch(data + kSoundNamePos);
}
