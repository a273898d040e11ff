// Test helper: writes bank files the way the synthesizer, its siblings and other software do,
// built byte by byte from the dump layouts (not through the librarian's own writer), and a
// temporary data folder so tests never touch a real home.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace testbanks {

using Bytes = std::vector<uint8_t>;

// A Dorvik sound dump as sent by the synthesizer: 392 bytes, F0 3E 10 dev 10 bank program,
// seeded data, name at 370, category at 386, checksum at 390, F7. badChecksum spoils byte 390.
Bytes soundDump(const std::string& name, const std::string& category, int seed, bool badChecksum = false);
// A Dorvik multi dump: 393 bytes, name at 23, checksum at 391.
Bytes multiDump(const std::string& name, int seed, uint8_t model = 0x10);
// A Kestrin sound dump: 393 bytes; its data is one byte longer from position 253 on, so its
// name lies at 371 and its category at 387.
Bytes kestrinSoundDump(const std::string& name, const std::string& category, int seed);
// A Vostrel sound dump: 392 bytes, name at 370, category number at 387.
Bytes vostrelSoundDump(const std::string& name, int categoryNumber, int seed);
// A message of another manufacturer (0x41) that carries 3E bytes inside its data.
Bytes foreignManufacturerMessage(int seed);

// Many sounds "<prefix> NNN" with categories cycling through the given list.
std::vector<Bytes> sounds(int count, const std::string& prefix, const std::vector<std::string>& categories);
std::vector<Bytes> multis(int count, const std::string& prefix);

// Raw SysEx file: the messages back to back, then zero bytes up to padTo (to pass the size gate
// with short banks). Zeros never start a message.
Bytes rawBank(const std::vector<Bytes>& messages, size_t padTo = 0);
// Standard MIDI File: format 1, a tempo track, and one SysEx event per message (delta 0, then
// 500 ticks), with true lengths; padded after the last chunk like rawBank.
Bytes smfBank(const std::vector<Bytes>& messages, size_t padTo = 0);
// Random bytes without 3E, F0 or F7: garbage between messages that can never start one.
Bytes garbage(size_t count, int seed);

void writeFile(const std::string& path, const Bytes& bytes);
Bytes readFile(const std::string& path);
void makeFolders(const std::string& path);
// Every regular file below root (symlinks not followed) with its bytes, by path.
std::map<std::string, Bytes> snapshot(const std::string& root);

// Points XDG_DATA_HOME at a new temporary folder for the life of the object and makes the
// "Patches" folder there; removes everything on destruction.
class TempDataHome {
public:
  TempDataHome();
  ~TempDataHome();
  TempDataHome(const TempDataHome&) = delete;
  TempDataHome& operator=(const TempDataHome&) = delete;
  const std::string& base() const { return m_base; }
  std::string dataFolder() const;   // ends in "/"
  std::string patches() const;
  std::string converted() const;

private:
  std::string m_base;
  std::string m_oldXdg;
  bool m_hadXdg = false;
};

// Collects librarian log lines while alive.
class LogCapture {
public:
  LogCapture();
  ~LogCapture();
  bool contains(const std::string& text) const;
  static std::vector<std::string>& lines();
};

}  // namespace testbanks
