// tea-encipher: turns a plain interface-description or SysEx value-list document into the
// enciphered resource the plug-in ships, or back.
//
//   tea-encipher INPUT OUTPUT              encipher (zero-padded to whole 8-byte blocks)
//   tea-encipher --decipher INPUT OUTPUT   decipher; the zero padding after the text is dropped
//
// The enciphered form is what the editor's resource reader expects: 8-byte blocks, each
// enciphered on its own with the program's key, no header and no length. The plain text must not
// contain a NUL byte (the reader ends the document at the first one) and must fit the reader's
// 4,096,000-byte buffer; the tool refuses such input rather than build a resource the editor
// would silently cut. The output is written to a temporary file and renamed, so a failed run
// never leaves a half-written resource behind for the next build to trust.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Tea.h"
#include "UIConfigKey.h"

namespace {

constexpr std::size_t kMaxResourceBytes = 4096000;  // the editor's resource buffer

int fail(const std::string& what) {
  std::fprintf(stderr, "tea-encipher: %s\n", what.c_str());
  return 1;
}

bool readAll(const std::string& path, std::vector<unsigned char>& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool writeAtomically(const std::string& path, const std::vector<unsigned char>& bytes) {
  const std::string tmp = path + ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::remove(tmp.c_str());
      return false;
    }
  }
  if (std::rename(tmp.c_str(), path.c_str()) != 0) {
    std::remove(tmp.c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  bool decipher = false;
  int arg = 1;
  if (argc > 1 && std::strcmp(argv[1], "--decipher") == 0) {
    decipher = true;
    ++arg;
  }
  if (argc - arg != 2) {
    std::fprintf(stderr, "usage: tea-encipher [--decipher] INPUT OUTPUT\n");
    return 2;
  }
  const std::string input = argv[arg], output = argv[arg + 1];

  std::vector<unsigned char> data;
  if (!readAll(input, data)) return fail("cannot read " + input);

  unsigned int key[4];
  UIConfigKey::words(key);

  if (decipher) {
    if (data.size() % 8 != 0)
      return fail(input + " is not a whole number of 8-byte blocks (" +
                  std::to_string(data.size()) + " bytes)");
    for (std::size_t p = 0; p < data.size(); p += 8) Tea::simpledecrypt(&data[p], key);
    const auto nul = std::find(data.begin(), data.end(), 0);
    data.erase(nul, data.end());
  } else {
    if (data.empty()) return fail(input + " is empty");
    if (std::find(data.begin(), data.end(), 0) != data.end())
      return fail(input + " contains a NUL byte; the editor would end the document there");
    const std::size_t padded = (data.size() + 7) / 8 * 8;
    if (padded > kMaxResourceBytes)
      return fail(input + " is larger than the editor's " + std::to_string(kMaxResourceBytes) +
                  "-byte resource buffer");
    data.resize(padded, 0);
    for (std::size_t p = 0; p < data.size(); p += 8) Tea::simpleencrypt(&data[p], key);
  }

  if (!writeAtomically(output, data)) return fail("cannot write " + output);
  return 0;
}
