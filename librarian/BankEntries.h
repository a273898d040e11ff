// The entries of a bank: a vector of entries of its own, or, for the in-memory category and
// search banks, a list of references to entries of the sound banks read from disk.
//
// A reference list costs a few bytes per entry where copies would cost an entry each, and shows
// its sources as they are now (a sound renamed in its bank is renamed in its category bank too).
// Reads behave like those of a const std::vector<LibrarianPatch>. Any non-const access to a
// reference list (operator[], begin, resize, push_back, ...) first replaces it by copies of the
// entries it refers to, so a change never reaches the source bank.
//
// A reference names a bank and a position in it, so it survives that bank's entries being
// reallocated; a position past the end of its bank reads as an empty entry. The referenced banks
// must outlive the list: the librarian deletes category and search banks together with, or
// before, the sound banks. Threads: as a vector; hold the librarian's bank lock.
#pragma once

#include <cstddef>
#include <iterator>
#include <vector>

#include "LibrarianPatch.h"

struct PatchFile;

class BankEntries {
public:
  struct Reference {
    const PatchFile* bank;
    size_t index;
  };

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

  // Turns this into an empty reference list (entries of its own are dropped).
  void clearToReferences() {
    m_own.clear();
    m_refs.clear();
    m_isRefs = true;
  }
  // Appends a reference to entry index of bank; this must be a reference list.
  void addReference(const PatchFile* bank, size_t index) { m_refs.push_back(Reference{bank, index}); }
  bool isReferenceList() const { return m_isRefs; }

  size_t size() const { return m_isRefs ? m_refs.size() : m_own.size(); }
  bool empty() const { return size() == 0; }
  const LibrarianPatch& operator[](size_t i) const { return m_isRefs ? resolve(m_refs[i]) : m_own[i]; }
  const LibrarianPatch& at(size_t i) const { return m_isRefs ? resolve(m_refs.at(i)) : m_own.at(i); }
  const LibrarianPatch& front() const { return (*this)[0]; }
  const LibrarianPatch& back() const { return (*this)[size() - 1]; }
  const_iterator begin() const { return const_iterator(this, 0); }
  const_iterator end() const { return const_iterator(this, size()); }
  const_iterator cbegin() const { return begin(); }
  const_iterator cend() const { return end(); }
  operator std::vector<LibrarianPatch>() const {
    return m_isRefs ? std::vector<LibrarianPatch>(begin(), end()) : m_own;
  }

  // The entries as a vector of this bank's own (a reference list is replaced by copies first).
  std::vector<LibrarianPatch>& own() {
    if (m_isRefs) {
      const BankEntries& self = *this;   // the const begin/end: the others would come back here
      std::vector<LibrarianPatch> copies(self.begin(), self.end());
      m_own.swap(copies);
      m_refs.clear();
      m_refs.shrink_to_fit();
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
  void resize(size_t n) { own().resize(n); }
  void reserve(size_t n) {
    if (m_isRefs) m_refs.reserve(n);
    else m_own.reserve(n);
  }
  void clear() {
    m_own.clear();
    m_refs.clear();
    m_isRefs = false;
  }
  iterator insert(iterator pos, const LibrarianPatch& e) { return own().insert(pos, e); }
  iterator insert(iterator pos, LibrarianPatch&& e) { return own().insert(pos, std::move(e)); }
  iterator erase(iterator first, iterator last) { return own().erase(first, last); }
  iterator erase(iterator pos) { return own().erase(pos); }

private:
  static const LibrarianPatch& resolve(const Reference& r);

  std::vector<LibrarianPatch> m_own;
  std::vector<Reference> m_refs;
  bool m_isRefs = false;
};
