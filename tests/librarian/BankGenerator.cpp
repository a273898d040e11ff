#include "BankGenerator.h"

#include <sys/stat.h>

#include <Poco/File.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <stdexcept>

#include "DataFolder.h"
#include "LibrarianLog.h"

namespace testbanks {

namespace {

uint8_t checksum(const Bytes& b) {
  unsigned sum = 0;
  for (size_t i = 4; i + 2 < b.size(); ++i) sum += b[i];
  return sum & 0x7F;
}

void putText(Bytes& b, size_t pos, const std::string& text, size_t width) {
  for (size_t i = 0; i < width; ++i) b[pos + i] = i < text.size() ? static_cast<uint8_t>(text[i]) : ' ';
}

// Deterministic data bytes (0..7F).
void fillData(Bytes& b, size_t from, size_t to, int seed) {
  uint32_t x = 2463534242u ^ static_cast<uint32_t>(seed * 7919 + 1);
  for (size_t i = from; i < to; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b[i] = x & 0x7F;
  }
}

std::mutex g_logMutex;
int g_captures = 0;
LibrarianLogSink g_previous = nullptr;

void captureSink(const std::string& line) {
  std::lock_guard<std::mutex> lock(g_logMutex);
  LogCapture::lines().push_back(line);
}

}  // namespace

Bytes soundDump(const std::string& name, const std::string& category, int seed, bool badChecksum) {
  Bytes b(392, 0);
  b[0] = 0xF0; b[1] = 0x3E; b[2] = 0x10; b[3] = 0x05; b[4] = 0x10; b[5] = 0x01;
  b[6] = static_cast<uint8_t>(seed & 0x7F);
  fillData(b, 7, 370, seed);
  putText(b, 370, name, 16);
  putText(b, 386, category, 4);
  b[390] = checksum(b);
  if (badChecksum) b[390] = (b[390] + 1) & 0x7F;
  b[391] = 0xF7;
  return b;
}

Bytes multiDump(const std::string& name, int seed, uint8_t model) {
  Bytes b(393, 0);
  b[0] = 0xF0; b[1] = 0x3E; b[2] = model; b[3] = 0x00; b[4] = 0x11; b[5] = 0x00;
  b[6] = static_cast<uint8_t>(seed & 0x7F);
  fillData(b, 7, 391, seed + 1000);
  putText(b, 23, name, 16);
  b[391] = checksum(b);
  b[392] = 0xF7;
  return b;
}

Bytes kestrinSoundDump(const std::string& name, const std::string& category, int seed) {
  Bytes b(393, 0);
  b[0] = 0xF0; b[1] = 0x3E; b[2] = 0x0F; b[3] = 0x00; b[4] = 0x10; b[5] = 0x02;
  b[6] = static_cast<uint8_t>(seed & 0x7F);
  fillData(b, 7, 371, seed + 2000);
  putText(b, 371, name, 16);
  putText(b, 387, category, 4);
  b[391] = checksum(b);
  b[392] = 0xF7;
  return b;
}

Bytes vostrelSoundDump(const std::string& name, int categoryNumber, int seed) {
  Bytes b(392, 0);
  b[0] = 0xF0; b[1] = 0x3E; b[2] = 0x13; b[3] = 0x7F; b[4] = 0x10; b[5] = 0x00;
  b[6] = static_cast<uint8_t>(seed & 0x7F);
  fillData(b, 7, 370, seed + 3000);
  putText(b, 370, name, 16);
  b[386] = 0x55; b[387] = static_cast<uint8_t>(categoryNumber); b[388] = 0x66; b[389] = 0x77;
  b[390] = checksum(b);
  b[391] = 0xF7;
  return b;
}

Bytes foreignManufacturerMessage(int seed) {
  Bytes b(40, 0);
  b[0] = 0xF0; b[1] = 0x41; b[2] = 0x10;
  fillData(b, 3, 39, seed);
  b[10] = 0x3E; b[11] = 0x42;            // manufacturer byte followed by no model we know
  b[20] = 0x3E; b[21] = 0x10; b[22] = 0x00; b[23] = 0x14;   // ours, but no bank message id
  b[39] = 0xF7;
  return b;
}

std::vector<Bytes> sounds(int count, const std::string& prefix, const std::vector<std::string>& categories) {
  std::vector<Bytes> out;
  for (int i = 0; i < count; ++i) {
    char num[16];
    snprintf(num, sizeof num, " %03d", i);
    const std::string cat = categories.empty() ? "Lead" : categories[i % categories.size()];
    out.push_back(soundDump(prefix + num, cat, i));
  }
  return out;
}

std::vector<Bytes> multis(int count, const std::string& prefix) {
  std::vector<Bytes> out;
  for (int i = 0; i < count; ++i) {
    char num[16];
    snprintf(num, sizeof num, " %03d", i);
    out.push_back(multiDump(prefix + num, i));
  }
  return out;
}

Bytes rawBank(const std::vector<Bytes>& messages, size_t padTo) {
  Bytes out;
  for (const Bytes& m : messages) out.insert(out.end(), m.begin(), m.end());
  if (out.size() < padTo) out.resize(padTo, 0x00);
  return out;
}

Bytes smfBank(const std::vector<Bytes>& messages, size_t padTo) {
  Bytes out = {0x4D, 0x54, 0x68, 0x64, 0, 0, 0, 6, 0, 1, 0, 2, 0x01, 0xE0,
               0x4D, 0x54, 0x72, 0x6B, 0, 0, 0, 0x13,
               0, 0xFF, 0x58, 4, 4, 2, 0x18, 8,
               0, 0xFF, 0x51, 3, 0x07, 0xA1, 0x20,
               0, 0xFF, 0x2F, 0,
               0x4D, 0x54, 0x72, 0x6B, 0, 0, 0, 0};
  const size_t lenPos = out.size() - 4;
  bool first = true;
  for (const Bytes& m : messages) {
    if (first) {
      out.push_back(0x00);
    } else {
      out.push_back(0x83);
      out.push_back(0x74);
    }
    first = false;
    out.push_back(0xF0);
    const uint32_t len = static_cast<uint32_t>(m.size() - 1);
    if (len >= 128) out.push_back(static_cast<uint8_t>(0x80 | (len >> 7)));
    out.push_back(len & 0x7F);
    out.insert(out.end(), m.begin() + 1, m.end());
  }
  const uint8_t eot[] = {0, 0xFF, 0x2F, 0};
  out.insert(out.end(), eot, eot + 4);
  const uint32_t trackLen = static_cast<uint32_t>(out.size() - lenPos - 4);
  for (int i = 0; i < 4; ++i) out[lenPos + i] = static_cast<uint8_t>(trackLen >> (24 - 8 * i));
  if (out.size() < padTo) out.resize(padTo, 0x00);
  return out;
}

Bytes garbage(size_t count, int seed) {
  Bytes b(count);
  uint32_t x = 88172645u + static_cast<uint32_t>(seed);
  for (auto& v : b) {
    do {
      x ^= x << 13;
      x ^= x >> 17;
      x ^= x << 5;
      v = x & 0xFF;
    } while (v == 0x3E || v == 0xF0 || v == 0xF7);
  }
  return b;
}

void writeFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

Bytes readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : 0;
  Bytes out(size > 0 ? static_cast<size_t>(size) : 0);
  in.seekg(0);
  in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size()));
  out.resize(in ? out.size() : static_cast<size_t>(in.gcount()));
  return out;
}

void makeFolders(const std::string& path) { Poco::File(path).createDirectories(); }

std::map<std::string, Bytes> snapshot(const std::string& root) {
  std::map<std::string, Bytes> out;
  Poco::File r(root);
  if (!r.exists()) return out;
  std::vector<std::string> names;
  r.list(names);
  for (const std::string& n : names) {
    const std::string p = root + "/" + n;
    Poco::File f(p);
    if (f.isLink()) continue;
    if (f.isDirectory()) {
      auto sub = snapshot(p);
      out.insert(sub.begin(), sub.end());
    } else {
      out[p] = readFile(p);
    }
  }
  return out;
}

TempDataHome::TempDataHome() {
  const char* old = getenv("XDG_DATA_HOME");
  if (old) {
    m_hadXdg = true;
    m_oldXdg = old;
  }
  char tmpl[] = "/tmp/librarian-test-XXXXXX";
  const char* made = mkdtemp(tmpl);
  if (!made) throw std::runtime_error("mkdtemp failed");
  m_base = made;
  setenv("XDG_DATA_HOME", m_base.c_str(), 1);
  makeFolders(patches());
}

TempDataHome::~TempDataHome() {
  try {
    Poco::File(m_base).remove(true);
  } catch (...) {
  }
  if (m_hadXdg) {
    setenv("XDG_DATA_HOME", m_oldXdg.c_str(), 1);
  } else {
    unsetenv("XDG_DATA_HOME");
  }
}

std::string TempDataHome::dataFolder() const { return dataFolderPath(); }
std::string TempDataHome::patches() const { return patchesFolderPath(); }
std::string TempDataHome::converted() const { return convertedBanksFolderPath(); }

LogCapture::LogCapture() {
  std::lock_guard<std::mutex> lock(g_logMutex);
  if (g_captures++ == 0) {
    lines().clear();
    g_previous = setLibrarianLogSink(&captureSink);
  }
}

LogCapture::~LogCapture() {
  std::lock_guard<std::mutex> lock(g_logMutex);
  if (--g_captures == 0) setLibrarianLogSink(g_previous);
}

bool LogCapture::contains(const std::string& text) const {
  std::lock_guard<std::mutex> lock(g_logMutex);
  for (const std::string& l : lines())
    if (l.find(text) != std::string::npos) return true;
  return false;
}

std::vector<std::string>& LogCapture::lines() {
  static std::vector<std::string> all;
  return all;
}

}  // namespace testbanks
