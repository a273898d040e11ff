// The entries of a bank: a vector of entries of its own; for the in-memory category and search
// banks, a list of references to entries of the sound banks read from disk; or, for a bank as it
// was read from its file, the places of its messages in the file's buffer.
//
// A reference list costs a few bytes per entry where copies would cost an entry each, and shows
// its sources as they are now (a sound renamed in its bank is renamed in its category bank too).
// Reads behave like those of a const std::vector<LibrarianPatch>. Any non-const access to a
// reference list (operator[], begin, resize, push_back, ...) first replaces it by copies of the
// entries it refers to, so a change never reaches the source bank.
//
// A bank as read keeps 8 bytes per entry, or none when its messages lie at equal distances in the
// file (as in the files this editor and the synth write); its LibrarianPatch objects are made the first time an
// entry is looked at as one (the slot grid showing the bank, a send, a save), so a library of
// thousands of banks holds little more than its files' bytes. nameAt, categoryAt and holdsMessage
// answer from the bytes without making them: the loader, the category banks and the search use
// them.
//
// A reference names a bank and a position in it, so it survives that bank's entries being
// reallocated; a position past the end of its bank reads as an empty entry. It is kept in 4 bytes:
// a row of a table of (bank, first position) rows that the reference lists built in one pass
// share (a row per bank they refer to, one more per 256 entries of it), and the distance from
// that first position. The referenced banks
// must outlive the list: the librarian deletes category and search banks together with, or
// before, the sound banks. Threads: as a vector (const reads may make the entries, so even they
// must not run beside each other); hold the librarian's bank lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string_view>
#include <vector>

#include "LibrarianPatch.h"

struct PatchFile;

class BankEntries {
public:
  struct Reference {
    const PatchFile* bank;
    size_t index;
  };
  // The rows that compact references point through; only ever appended to.
  using ReferenceRows = std::vector<Reference>;

  class const_iterator {
  public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = LibrarianPatch;
    using difference_type = std::ptrdiff_t;
    using pointer = const LibrarianPatch*;
    using reference = const LibrarianPatch&;

    const_iterator() = default;
    const_iterator(const BankEntries* entries, size_t i) : m_entries(entries), m_i(i) {}
    reference operator*() const { return (*m_entries)[m_i]; }
    pointer operator->() const { return &(*m_entries)[m_i]; }
    reference operator[](difference_type n) const { return (*m_entries)[m_i + static_cast<size_t>(n)]; }
    const_iterator& operator++() { ++m_i; return *this; }
    const_iterator operator++(int) { const_iterator t = *this; ++m_i; return t; }
    const_iterator& operator--() { --m_i; return *this; }
    const_iterator operator--(int) { const_iterator t = *this; --m_i; return t; }
    const_iterator& operator+=(difference_type n) { m_i += static_cast<size_t>(n); return *this; }
    const_iterator& operator-=(difference_type n) { m_i -= static_cast<size_t>(n); return *this; }
    friend const_iterator operator+(const_iterator a, difference_type n) { return a += n; }
    friend const_iterator operator-(const_iterator a, difference_type n) { return a -= n; }
    friend difference_type operator-(const const_iterator& a, const const_iterator& b) {
      return static_cast<difference_type>(a.m_i) - static_cast<difference_type>(b.m_i);
    }
    friend bool operator==(const const_iterator& a, const const_iterator& b) { return a.m_i == b.m_i; }
    friend bool operator!=(const const_iterator& a, const const_iterator& b) { return a.m_i != b.m_i; }
    friend bool operator<(const const_iterator& a, const const_iterator& b) { return a.m_i < b.m_i; }

  private:
    const BankEntries* m_entries = nullptr;
    size_t m_i = 0;
  };

  using value_type = LibrarianPatch;
  using size_type = size_t;
  using iterator = std::vector<LibrarianPatch>::iterator;

  BankEntries() = default;

  // Turns this into an empty reference list (entries of its own are dropped) whose references go
  // through rows, shared with the other lists built beside it (a table of its own when null).
  void clearToReferences(std::shared_ptr<ReferenceRows> rows = nullptr) {
    m_own.clear();
    m_refs.clear();
    m_read.reset();
    m_rows = rows ? std::move(rows) : std::make_shared<ReferenceRows>();
    m_isRefs = true;
  }

  // Turns this empty list into a bank as read from buffer; appendRead adds its entries in order.
  void startReading(const FileBuffer& buffer);
  // Appends the entry of one stored message: a view into the buffer given to startReading (kept
  // as its place) or bytes of its own. Like push_back of makeEntryFromMessage(message, kind).
  void appendRead(PatchSysexMessage message, int kind);
  // Called once the file is read: a bank as read whose messages lie at equal distances keeps two
  // numbers instead of a place per entry; any other gives back the room it reserved.
  void settleRead();

  // Entry i's name, category and whether it holds a message, without making the entry.
  std::string_view nameAt(size_t i) const { return textAt(i, false); }
  std::string_view categoryAt(size_t i) const { return textAt(i, true); }
  bool holdsMessage(size_t i) const;
  // Asks the processor to fetch what nameAt(i) will read (a walk over a whole library waits on
  // memory, not on the comparisons).
  void prefetchName(size_t i) const;
  // Appends a reference to entry index of bank (a copy of the entry once this is no reference
  // list). Lists that share rows cost a row per bank when their references are added in the
  // order of the library.
  void addReference(const PatchFile* bank, size_t index);
  bool isReferenceList() const { return m_isRefs; }

  size_t size() const { return m_isRefs ? m_refs.size() : (m_read ? m_read->size() : m_own.size()); }
  bool empty() const { return size() == 0; }
  const LibrarianPatch& operator[](size_t i) const {
    if (m_isRefs) return resolve(reference(i));
    makeEntries();
    return m_own[i];
  }
  const LibrarianPatch& at(size_t i) const {
    if (m_isRefs) return resolve(unpack(m_refs.at(i)));
    makeEntries();
    return m_own.at(i);
  }
  const LibrarianPatch& front() const { return (*this)[0]; }
  const LibrarianPatch& back() const { return (*this)[size() - 1]; }
  const_iterator begin() const { return const_iterator(this, 0); }
  const_iterator end() const { return const_iterator(this, size()); }
  const_iterator cbegin() const { return begin(); }
  const_iterator cend() const { return end(); }
  operator std::vector<LibrarianPatch>() const {
    if (m_isRefs) return std::vector<LibrarianPatch>(begin(), end());
    makeEntries();
    return m_own;
  }

  // The entries as a vector of this bank's own (a reference list is replaced by copies first).
  std::vector<LibrarianPatch>& own() {
    makeEntries();
    if (m_isRefs) {
      const BankEntries& self = *this;   // the const begin/end: the others would come back here
      std::vector<LibrarianPatch> copies(self.begin(), self.end());
      m_own.swap(copies);
      m_refs.clear();
      m_refs.shrink_to_fit();
      m_rows.reset();
      m_isRefs = false;
    }
    return m_own;
  }
  LibrarianPatch& operator[](size_t i) { return own()[i]; }
  LibrarianPatch& at(size_t i) { return own().at(i); }
  LibrarianPatch& front() { return own().front(); }
  LibrarianPatch& back() { return own().back(); }
  iterator begin() { return own().begin(); }
  iterator end() { return own().end(); }
  void push_back(const LibrarianPatch& e) { own().push_back(e); }
  void push_back(LibrarianPatch&& e) { own().push_back(std::move(e)); }
  template <typename... Args>
  LibrarianPatch& emplace_back(Args&&... args) {
    return own().emplace_back(std::forward<Args>(args)...);
  }
  // A bank of that size already keeps its entries as they are (a bank as read is not made).
  void resize(size_t n) {
    if (size() != n) own().resize(n);
  }
  void reserve(size_t n) {
    if (m_isRefs) m_refs.reserve(n);
    else if (m_read) m_read->places.reserve(n);
    else m_own.reserve(n);
  }
  void clear() {
    m_own.clear();
    m_refs.clear();
    m_read.reset();
    m_rows.reset();
    m_isRefs = false;
  }
  iterator insert(iterator pos, const LibrarianPatch& e) { return own().insert(pos, e); }
  iterator insert(iterator pos, LibrarianPatch&& e) { return own().insert(pos, std::move(e)); }
  iterator erase(iterator first, iterator last) { return own().erase(first, last); }
  iterator erase(iterator pos) { return own().erase(pos); }

private:
  static const LibrarianPatch& resolve(const Reference& r);
  // The bank and position of reference i, or of a packed reference.
  Reference reference(size_t i) const { return unpack(m_refs[i]); }
  Reference unpack(uint32_t packed) const {
    const Reference& row = (*m_rows)[packed >> kRowShift];
    return Reference{row.bank, row.index + (packed & kInRow)};
  }
  static constexpr unsigned kRowShift = 8;
  static constexpr uint32_t kInRow = (1u << kRowShift) - 1;

  // A bank as read: per entry the place of its message in the buffer, or an index into bytes of
  // its own (a message the reader had to repair or convert). Never changed once read, so copies
  // of the bank share it.
  struct Place {
    uint32_t at;        // offset in the buffer, or index into ownBytes
    uint16_t length;
    uint8_t kind;
    bool inBuffer;
  };
  struct Read {
    FileBuffer buffer;
    std::vector<Place> places;          // empty once settled into a run
    std::vector<SysexBytes> ownBytes;
    // A bank whose messages lie in the buffer at equal distances, all of one length and kind (a
    // file as this editor or the synth writes it) keeps its first place and that distance.
    Place first{};
    uint32_t stride = 0;
    uint32_t count = 0;                 // entries of the run; 0 while places holds them
    size_t size() const { return count ? count : places.size(); }
    Place place(size_t i) const {
      if (!count) return places[i];
      Place p = first;
      p.at += static_cast<uint32_t>(i) * stride;
      return p;
    }
  };
  std::string_view textAt(size_t i, bool category) const;
  // The bytes of entry i of a bank as read.
  SysexBytes readBytes(size_t i) const;
  const uint8_t* readData(size_t i, size_t& length) const;
  // Makes the LibrarianPatch objects of a bank as read (nothing for any other).
  void makeEntries() const;

  mutable std::vector<LibrarianPatch> m_own;
  std::vector<uint32_t> m_refs;            // row << kRowShift | distance from the row's position
  std::shared_ptr<ReferenceRows> m_rows;   // shared by the lists built beside this one
  mutable std::shared_ptr<Read> m_read;   // shared by copies; written only while being read
  bool m_isRefs = false;
};
