// Hostile private-profile files and cursor files: parse, query and rewrite without crashing or
// reading out of bounds.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "WINX_Keyboard.h"
#include "WINX_Profile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 && data[0] == 'C') {  // a cursor file
    std::vector<unsigned char> out(size);
    POINT hot;
    WINX_CurToIco(data, static_cast<int>(size), out.data(), &hot);
    return 0;
  }
  static const std::string file = "/tmp/winxwin_profile_fuzz_" + std::to_string(getpid()) + ".ini";
  FILE* f = fopen(file.c_str(), "wb");
  if (!f) return 0;
  fwrite(data, 1, size, f);
  fclose(f);
  char buf[512];
  const int n = GetPrivateProfileString(nullptr, nullptr, "", buf, sizeof buf, file.c_str());
  if (n > 0) {
    char keys[512];
    GetPrivateProfileString(buf, nullptr, "", keys, sizeof keys, file.c_str());
    GetPrivateProfileString(buf, keys, "d", buf, 7, file.c_str());
    GetPrivateProfileSection(buf, keys, 13, file.c_str());
    unsigned char st[4];
    GetPrivateProfileStruct(buf, keys, st, sizeof st, file.c_str());
    WritePrivateProfileString(buf, "fuzz", "1", file.c_str());
  }
  unlink(file.c_str());
  return 0;
}
