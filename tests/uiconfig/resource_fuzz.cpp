// Feeds arbitrary bytes through the resource reader and decipher, then through the XML parser the
// UI configuration hands the text to. The first byte picks the road:
//   even: the bytes are a resource file as found in the bundle (any length, any content);
//   odd:  the bytes are plain text, enciphered first, so the parser sees fuzzer-shaped documents.
#include <tinyxml2.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Tea.h"
#include "UIConfigKey.h"
#include "UIConfigResources.h"

namespace {

// A private folder for the resource file, removed when the run ends.
struct Folder {
  std::string dir;
  Folder() {
    const char* tmp = std::getenv("TMPDIR");
    dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/uiconfig-fuzz-XXXXXX";
    if (!mkdtemp(&dir[0])) std::abort();
  }
  ~Folder() {
    std::remove((dir + "/uiconfig.tea").c_str());
    ::rmdir(dir.c_str());
  }
};

const std::string& folder() {
  static const Folder f;
  return f.dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool encipherFirst = data[0] & 1;
  std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  if (encipherFirst) {
    bytes.resize((bytes.size() + 7) / 8 * 8, '\0');
    unsigned int key[4];
    UIConfigKey::words(key);
    for (std::size_t p = 0; p < bytes.size(); p += 8)
      Tea::simpleencrypt(reinterpret_cast<unsigned char*>(&bytes[p]), key);
  }

  std::string direct;
  const std::size_t left =
      UIConfigResources::decrypt(bytes.data(), static_cast<int>(bytes.size()), direct);
  if (direct.size() + left != bytes.size() || left >= 8) std::abort();

  const std::string path = folder() + "/uiconfig.tea";
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  std::string text;
  const bool whole = UIConfigResources::loadResource(folder(), UIConfigResources::kUIConfigResource,
                                                     text, [](const std::string&) {});
  if (text != direct) std::abort();
  if (whole != (!bytes.empty() && left == 0)) std::abort();

  tinyxml2::XMLDocument doc(true, tinyxml2::PRESERVE_WHITESPACE);
  doc.Parse(text.c_str());
  return 0;
}
