// The bytes of one stored SysEx message, shared until changed.
//
// A message read from a bank file is a view into that file's buffer: the hundred entries of a
// file, and the category and search banks gathered from them, all point into one allocation, so
// loading and indexing a library copies no message. Every change (operator[] on a non-const
// object, resize, push_back, ...) first gives the message bytes of its own if they are shared
// (copy on write), so a change never reaches another entry or bank.
//
// Reads behave like those of a const std::vector<uint8_t>, and the type converts to one.
// Threads: a SysexBytes object is no more thread-safe than a vector; the shared buffer is never
// written once shared (reference counts are atomic), so copies may live on different threads.
// Ownership: the buffer lives as long as the last SysexBytes that points into it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <vector>

// The buffer that a file is read into and that its messages point into: not zero-filled, as
// every byte is about to be overwritten by the read.
using FileBuffer = std::shared_ptr<uint8_t[]>;

class SysexBytes {
public:
  using value_type = uint8_t;
  using size_type = size_t;
  using const_iterator = const uint8_t*;
  using iterator = const uint8_t*;

  SysexBytes() = default;
  SysexBytes(std::vector<uint8_t> bytes)   // NOLINT: implicit, a vector is a message's bytes
      : m_own(std::make_shared<std::vector<uint8_t>>(std::move(bytes))) {}
  SysexBytes(std::initializer_list<uint8_t> bytes) : SysexBytes(std::vector<uint8_t>(bytes)) {}
  // A view of size bytes at offset in buffer, which must hold them and must not change again.
  SysexBytes(const FileBuffer& buffer, size_t offset, size_t size)
      : m_view(buffer, buffer.get() + offset), m_len(size) {}

  SysexBytes& operator=(std::initializer_list<uint8_t> bytes) { return *this = SysexBytes(bytes); }

  size_t size() const { return m_own ? m_own->size() : m_len; }
  bool empty() const { return size() == 0; }
  const uint8_t* data() const { return m_own ? m_own->data() : m_view.get(); }
  const uint8_t* begin() const { return data(); }
  const uint8_t* end() const { return data() + size(); }
  const uint8_t& operator[](size_t i) const { return data()[i]; }
  const uint8_t& front() const { return data()[0]; }
  const uint8_t& back() const { return data()[size() - 1]; }
  operator std::vector<uint8_t>() const { return std::vector<uint8_t>(begin(), end()); }
  // True while the bytes are shared with another message (a change would copy them first).
  bool shared() const { return !m_own || m_own.use_count() > 1; }
  // True for a view into buffer (the bytes lie in it, at data() - buffer.get()).
  bool viewsInto(const FileBuffer& buffer) const {
    return !m_own && m_view && buffer && !m_view.owner_before(buffer) && !buffer.owner_before(m_view);
  }

  // The bytes as a vector of this message's own, copied out of a shared buffer first if need be.
  std::vector<uint8_t>& own() {
    if (shared()) {
      m_own = std::make_shared<std::vector<uint8_t>>(begin(), end());
      m_view.reset();
      m_len = 0;
    }
    return *m_own;
  }
  uint8_t& operator[](size_t i) { return own()[i]; }
  void resize(size_t n, uint8_t value = 0) { own().resize(n, value); }
  void reserve(size_t n) { own().reserve(n); }
  void push_back(uint8_t b) { own().push_back(b); }
  void pop_back() { own().pop_back(); }
  void clear() { *this = SysexBytes(); }
  template <typename It>
  void assign(It first, It last) { own().assign(first, last); }
  void assign(size_t n, uint8_t value) { own().assign(n, value); }
  template <typename It>
  void insert(const uint8_t* at, It first, It last) {
    const size_t pos = static_cast<size_t>(at - begin());
    std::vector<uint8_t>& v = own();
    v.insert(v.begin() + static_cast<std::ptrdiff_t>(pos), first, last);
  }
  void insert(const uint8_t* at, size_t n, uint8_t value) {
    const size_t pos = static_cast<size_t>(at - begin());
    std::vector<uint8_t>& v = own();
    v.insert(v.begin() + static_cast<std::ptrdiff_t>(pos), n, value);
  }

  friend bool operator==(const SysexBytes& a, const SysexBytes& b) {
    return a.size() == b.size() && (a.size() == 0 || memcmp(a.data(), b.data(), a.size()) == 0);
  }
  friend bool operator!=(const SysexBytes& a, const SysexBytes& b) { return !(a == b); }
  friend bool operator==(const SysexBytes& a, const std::vector<uint8_t>& b) {
    return a.size() == b.size() && (a.size() == 0 || memcmp(a.data(), b.data(), a.size()) == 0);
  }
  friend bool operator==(const std::vector<uint8_t>& a, const SysexBytes& b) { return b == a; }
  friend bool operator!=(const SysexBytes& a, const std::vector<uint8_t>& b) { return !(a == b); }
  friend bool operator!=(const std::vector<uint8_t>& a, const SysexBytes& b) { return !(b == a); }

private:
  // Either bytes of this message's own (m_own), possibly shared by copies of it, or a view of
  // m_len bytes into a file's buffer (m_view keeps the whole buffer alive).
  std::shared_ptr<std::vector<uint8_t>> m_own;
  std::shared_ptr<const uint8_t> m_view;
  size_t m_len = 0;
};
