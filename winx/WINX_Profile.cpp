// Private-profile files: the 32-slot cache, the parser and the write-back through a temporary
// file. Everything runs under one recursive lock.
#include "WINX_Profile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "UTIL_AssocArray.h"
#include "UTIL_Mutex.h"

namespace {

typedef UTIL_StringKeyedArray<char*> Section;

void deleteSection(Section* s) { delete s; }

const int kSlots = 32;
const size_t kMaxLine = 33554432;        // 32 MiB: a longer line is cut and its rest read as the next
const size_t kMaxHeaderless = 0x40000;   // bytes read before the first section header

struct Slot {
  uint64_t lastAccess = 0;
  // Modification time in nanoseconds, size and inode when last read or written. Whole seconds
  // and size alone miss a same-size change made by another process within the same second.
  int64_t fileTime = 0;
  int32_t fileSize = 0;
  uint64_t fileIno = 0;
  char* fileName = nullptr;
  UTIL_StringKeyedArray<Section*> sections{false, deleteSection};
};

struct ProfileState {
  UTIL_Mutex lock;
  Slot slots[kSlots];
  uint64_t accessCounter = 0;
};
ProfileState& state() {
  static ProfileState* s = new ProfileState;
  return *s;
}

void statFile(const char* name, int64_t* time, int32_t* size, uint64_t* ino) {
  struct stat st;
  if (!name || !*name || stat(name, &st) != 0) {
    *time = 0;
    *size = 0;
    *ino = 0;
    return;
  }
  *time = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
  *size = static_cast<int32_t>(static_cast<uint32_t>(st.st_size));
  *ino = static_cast<uint64_t>(st.st_ino);
}

// One line of the file into out (terminator included when read); false at the end.
bool readLine(FILE* f, std::string* out) {
  out->clear();
  char piece[8192];
  while (out->size() < kMaxLine) {
    const size_t room = std::min(sizeof piece, kMaxLine - out->size() + 1);
    if (!fgets(piece, static_cast<int>(room), f)) break;
    out->append(piece);
    const char last = out->empty() ? 0 : out->back();
    if (last == '\n' || last == '\r') break;
  }
  return !out->empty();
}

void parseFile(FILE* f, Slot* slot) {
  std::string line;
  Section* current = nullptr;
  bool seenHeader = false;
  size_t headerless = 0;
  while (readLine(f, &line)) {
    if (!seenHeader) {
      headerless += line.size();
      if (headerless > kMaxHeaderless) {
        slot->sections.DeleteAll();
        return;
      }
    }
    size_t end = line.size();
    while (end > 0 && (line[end - 1] == ' ' || line[end - 1] == '\t' || line[end - 1] == '\r' || line[end - 1] == '\n'))
      --end;
    size_t start = 0;
    while (start < end && (line[start] == ' ' || line[start] == '\t')) ++start;
    std::string text = line.substr(start, end - start);
    if (!text.empty() && text[0] == '[') {
      const size_t close = text.find(']');
      if (close == std::string::npos) continue;  // an unclosed header changes nothing
      seenHeader = true;
      if (current) current->Resort();
      const std::string name = text.substr(1, close - 1);
      current = nullptr;
      if (name.empty()) continue;
      if (Section** existing = slot->sections.GetPtr(name.c_str())) {
        (*existing)->DeleteAll();  // a repeated header starts the section over
        current = *existing;
      } else {
        Section* s = new Section(false, UTIL_freecharptr);
        Section** put = slot->sections.Insert(name.c_str(), s);
        current = put ? *put : nullptr;
      }
      continue;
    }
    if (!current) continue;
    const size_t eq = text.find('=');
    if (eq == std::string::npos || eq == 0) continue;
    const std::string key = text.substr(0, eq);
    char* value = strdup(text.c_str() + eq + 1);
    if (value) current->AddUnsorted(key.c_str(), value);
  }
  if (current) current->Resort();
}

Slot* getFileContext(const char* file) {
  ProfileState& st = state();
  Slot* slot = nullptr;
  Slot* lru = &st.slots[0];
  // Names are compared exactly: on a case-sensitive file system "A.ini" and "a.ini" are two
  // files, and sharing a slot would write one file's sections over the other.
  for (Slot& s : st.slots) {
    if (!s.fileName || strcmp(s.fileName, file) == 0) {
      slot = &s;
      break;
    }
    if (s.lastAccess < lru->lastAccess) lru = &s;
  }
  if (!slot) slot = lru;
  slot->lastAccess = ++st.accessCounter;
  if (slot->fileName && strcmp(slot->fileName, file) == 0) {
    int64_t t;
    int32_t sz;
    uint64_t ino;
    statFile(file, &t, &sz, &ino);
    if (t == slot->fileTime && sz == slot->fileSize && ino == slot->fileIno) return slot;
  }
  slot->sections.DeleteAll();
  if (!slot->fileName || strcmp(slot->fileName, file) != 0) {
    free(slot->fileName);
    slot->fileName = strdup(file);
  }
  FILE* f = fopen(file, "r");
  if (!f) {
    slot->fileTime = 0;
    slot->fileSize = 0;
    slot->fileIno = 0;
    return slot;
  }
  flock(fileno(f), LOCK_SH);
  parseFile(f, slot);
  statFile(file, &slot->fileTime, &slot->fileSize, &slot->fileIno);
  flock(fileno(f), LOCK_UN);
  fclose(f);
  return slot;
}

// Writes the slot's sections to a temporary file beside the file and renames it over the file.
// Every write is checked: on any failure the temporary file is removed, the file is left as it
// was, and the slot is marked stale so the next query re-reads what is really on disk.
bool writeBackFile(Slot* slot) {
  if (!slot->fileName || !*slot->fileName) return false;
  const std::string path = slot->fileName;
  const size_t cut = path.find_last_of('/');
  const std::string dir = cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
  const std::string base = cut == std::string::npos ? path : path.substr(cut + 1);
  std::string tmp = dir + "." + base + ".XXXXXX";
  int fd = mkstemp(&tmp[0]);
  bool ok = fd >= 0;
  FILE* f = ok ? fdopen(fd, "w") : nullptr;
  if (ok && !f) {
    close(fd);
    ok = false;
  }
  if (ok) {
    struct stat st;
    mode_t mode;
    if (stat(path.c_str(), &st) == 0) {
      mode = st.st_mode & 07777;
    } else {
      const mode_t mask = umask(0);
      umask(mask);
      mode = 0666 & ~mask;
    }
    fchmod(fd, mode);
    flock(fd, LOCK_EX);
    for (int i = 0; ok && i < slot->sections.GetSize(); ++i) {
      const char* name = nullptr;
      Section* s = *slot->sections.EnumeratePtr(i, &name);
      if (fprintf(f, "[%s]\n", name) < 0) ok = false;
      for (int j = 0; ok && j < s->GetSize(); ++j) {
        const char* key = nullptr;
        char* value = *s->EnumeratePtr(j, &key);
        if (*key && fprintf(f, "%s=%s\n", key, value) < 0) ok = false;
      }
      if (ok && fputs("\n", f) < 0) ok = false;
    }
    if (fflush(f) != 0 || ferror(f) || fsync(fd) != 0) ok = false;
    flock(fd, LOCK_UN);
    if (fclose(f) != 0) ok = false;
    if (ok && rename(tmp.c_str(), path.c_str()) != 0) ok = false;
    if (!ok) unlink(tmp.c_str());
  }
  if (ok) {
    statFile(path.c_str(), &slot->fileTime, &slot->fileSize, &slot->fileIno);
  } else {
    slot->fileTime = -1;  // no real file has this time: the next query re-reads the disk
    slot->fileSize = -1;
  }
  return ok;
}

// Whether a name or value survives a write and a re-read unchanged. The file is line based: a
// line break in any of them, a ']' in a section name, or an '=' or leading '[' in a key would
// be read back as other lines, other sections or other keys, so such writes are refused
// instead of corrupting the file.
bool storableSection(const char* s) { return !strpbrk(s, "\r\n]"); }
bool storableKey(const char* k) { return *k != '[' && !strpbrk(k, "\r\n="); }
bool storableValue(const char* v) { return !strpbrk(v, "\r\n"); }

// Trims blanks and one pair of enclosing quotes.
std::string trimValue(const char* v) {
  std::string s = v ? v : "";
  size_t a = 0, b = s.size();
  while (a < b && (s[a] == ' ' || s[a] == '\t')) ++a;
  while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t')) --b;
  if (b - a >= 2 && ((s[a] == '\'' && s[b - 1] == '\'') || (s[a] == '"' && s[b - 1] == '"'))) {
    ++a;
    --b;
  }
  return s.substr(a, b - a);
}

int copyOut(const std::string& s, char* out, int outSize) {
  if (!out || outSize < 1) return 0;
  const size_t n = std::min(s.size(), static_cast<size_t>(outSize - 1));
  memcpy(out, s.data(), n);
  out[n] = 0;
  return static_cast<int>(n);
}

// A list of names, each followed by a NUL, ended by a second NUL.
int copyList(const std::string& list, char* out, int outSize) {
  if (!out || outSize < 2) {
    if (out && outSize == 1) out[0] = 0;
    return 0;
  }
  if (list.empty()) {
    out[0] = out[1] = 0;
    return 0;
  }
  const size_t n = std::min(list.size() - 1, static_cast<size_t>(outSize - 2));
  memcpy(out, list.data(), n);
  out[n] = 0;
  out[n + 1] = 0;
  return static_cast<int>(n);
}

}  // namespace

int GetPrivateProfileString(const char* section, const char* key, const char* def, char* out, int outSize,
                            const char* file) {
  if (!file) file = "";
  ProfileState& st = state();
  UTIL_MutexLock l(&st.lock);
  Slot* slot = getFileContext(file);
  if (!section) {
    std::string list;
    for (int i = 0; i < slot->sections.GetSize(); ++i) {
      const char* name = nullptr;
      slot->sections.EnumeratePtr(i, &name);
      if (*name) list.append(name).push_back(0);
    }
    return copyList(list, out, outSize);
  }
  Section** s = slot->sections.GetPtr(section);
  if (!key) {
    std::string list;
    for (int i = 0; s && i < (*s)->GetSize(); ++i) {
      const char* k = nullptr;
      (*s)->EnumeratePtr(i, &k);
      if (*k) list.append(k).push_back(0);
    }
    return copyList(list, out, outSize);
  }
  char** v = s ? (*s)->GetPtr(key) : nullptr;
  return copyOut(v ? trimValue(*v) : std::string(def ? def : ""), out, outSize);
}

int GetPrivateProfileInt(const char* section, const char* key, int def, const char* file) {
  char buf[512];
  GetPrivateProfileString(section, key, "", buf, sizeof buf, file);
  if (!buf[0]) return def;
  const int v = atoi(buf);
  return (v == 0 && buf[0] != '0') ? def : v;
}

int GetPrivateProfileSection(const char* section, char* out, int outSize, const char* file) {
  if (!out || outSize < 2) {
    if (out && outSize == 1) out[0] = 0;
    return 0;
  }
  if (!file) file = "";
  ProfileState& st = state();
  UTIL_MutexLock l(&st.lock);
  Slot* slot = getFileContext(file);
  Section** s = section ? slot->sections.GetPtr(section) : nullptr;
  if (!s || (*s)->GetSize() == 0) {
    out[0] = out[1] = 0;
    return 0;
  }
  int pos = 0;
  for (int i = 0; i < (*s)->GetSize(); ++i) {
    const char* key = nullptr;
    char* value = *(*s)->EnumeratePtr(i, &key);
    auto put = [&](const char* text, int keepFree) {
      const int room = outSize - keepFree - pos;
      if (room <= 0) return;
      const int n = std::min(static_cast<int>(strlen(text)), room);
      memcpy(out + pos, text, static_cast<size_t>(n));
      pos += n;
    };
    put(key, 2);
    if (outSize - pos > 2) out[pos++] = '=';
    if (outSize - pos >= 3) put(trimValue(value).c_str(), 2);
    if (outSize - pos >= 2) out[pos++] = 0;
    if (pos >= outSize - 1) {
      out[outSize - 1] = 0;
      return outSize - 2;
    }
  }
  out[pos] = 0;
  if (pos == 0) out[1] = 0;
  return pos;
}

int GetPrivateProfileStruct(const char* section, const char* key, void* buffer, int size, const char* file) {
  if (!section || !key || size < 0 || (size > 0 && !buffer)) return 0;
  const long long room = 2LL * size + 16;
  if (room > 0x7fffffff) return 0;
  char* text = static_cast<char*>(malloc(static_cast<size_t>(room)));
  if (!text) return 0;
  GetPrivateProfileString(section, key, "", text, static_cast<int>(room), file);
  int ok = 0;
  if (strlen(text) == static_cast<size_t>(2 * size + 2)) {
    auto hex = [](char c) -> int {
      if (c >= '0' && c <= '9') return c - '0';
      if (c >= 'a' && c <= 'f') return c - 'a' + 10;
      if (c >= 'A' && c <= 'F') return c - 'A' + 10;
      return -1;
    };
    unsigned sum = 0;
    bool bad = false;
    unsigned char* bytes = static_cast<unsigned char*>(buffer);
    for (int i = 0; i <= size && !bad; ++i) {
      const int hi = hex(text[2 * i]), lo = hex(text[2 * i + 1]);
      if (hi < 0 || lo < 0) {
        bad = true;
        break;
      }
      const unsigned v = static_cast<unsigned>(hi * 16 + lo);
      if (i < size) {
        bytes[i] = static_cast<unsigned char>(v);
        sum += v;
      } else {
        ok = (sum & 0xFF) == v ? 1 : 0;
      }
    }
  }
  free(text);
  return ok;
}

int WritePrivateProfileString(const char* section, const char* key, const char* value, const char* file) {
  if (!section || (key && !*key) || !file) return 0;
  if (key && value && (!storableSection(section) || !storableKey(key) || !storableValue(value))) return 0;
  ProfileState& st = state();
  UTIL_MutexLock l(&st.lock);
  Slot* slot = getFileContext(file);
  Section** s = slot->sections.GetPtr(section);
  if (!key) {
    if (!s) return 1;
    slot->sections.Delete(section);
    return writeBackFile(slot) ? 1 : 0;
  }
  if (!value) {
    if (!s || !(*s)->Exists(key)) return 1;
    (*s)->Delete(key);
    return writeBackFile(slot) ? 1 : 0;
  }
  if (s) {
    if (char** old = (*s)->GetPtr(key))
      if (strcmp(*old, value) == 0) return 1;
  } else {
    s = slot->sections.Insert(section, new Section(false, UTIL_freecharptr));
    if (!s) return 0;
  }
  char* copy = strdup(value);
  if (!copy || !(*s)->Insert(key, copy)) return 0;
  return writeBackFile(slot) ? 1 : 0;
}

int WritePrivateProfileSection(const char* section, const char* strings, const char* file) {
  if (!section || !file || !strings) return 0;
  ProfileState& st = state();
  UTIL_MutexLock l(&st.lock);
  Slot* slot = getFileContext(file);
  Section** s = slot->sections.GetPtr(section);
  if (s) {
    (*s)->DeleteAll();
  } else {
    if (!*strings) return 1;
    if (!storableSection(section)) return 0;
    s = slot->sections.Insert(section, new Section(false, UTIL_freecharptr));
    if (!s) return 0;
  }
  for (const char* p = strings; *p; p += strlen(p) + 1) {
    char keyBuf[8192];
    const size_t n = strnlen(p, sizeof keyBuf - 1);
    memcpy(keyBuf, p, n);
    keyBuf[n] = 0;
    char* eq = strchr(keyBuf, '=');
    if (!eq) continue;
    *eq = 0;
    const char* text = p + (eq - keyBuf) + 1;
    if (!*keyBuf || !storableKey(keyBuf) || !storableValue(text)) continue;
    char* value = strdup(text);
    if (value) (*s)->Insert(keyBuf, value);
  }
  return writeBackFile(slot) ? 1 : 0;
}

int WritePrivateProfileStruct(const char* section, const char* key, const void* buffer, int size, const char* file) {
  if (!key || !buffer) return WritePrivateProfileString(section, key, nullptr, file);
  if (size < 0 || 2LL * size + 3 > 0x7fffffff) return 0;
  char* text = static_cast<char*>(malloc(static_cast<size_t>(2 * size + 3)));
  if (!text) return 0;
  const unsigned char* bytes = static_cast<const unsigned char*>(buffer);
  unsigned sum = 0;
  for (int i = 0; i < size; ++i) {
    snprintf(text + 2 * i, 3, "%02X", bytes[i]);
    sum += bytes[i];
  }
  snprintf(text + 2 * size, 3, "%02X", sum & 0xFF);
  const int r = WritePrivateProfileString(section, key, text, file);
  free(text);
  return r;
}
