// Stand-alone driver for fuzz targets when libFuzzer is not available (gcc builds): feeds the
// target seeded random inputs of growing size, plus the files named on the command line and the
// files in the folders named there (the seed corpus).
#include <dirent.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

void runFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
}

void runPath(const std::string& path) {
  DIR* d = opendir(path.c_str());
  if (!d) {
    runFile(path);
    return;
  }
  while (dirent* e = readdir(d))
    if (e->d_name[0] != '.') runFile(path + "/" + e->d_name);
  closedir(d);
}

}  // namespace

int main(int argc, char** argv) {
  long runs = 20000;
  for (int i = 1; i < argc; ++i) {
    char* end = nullptr;
    long n = strtol(argv[i], &end, 10);
    if (end && *end == 0) {
      runs = n;
      continue;
    }
    runPath(argv[i]);
  }
  std::mt19937 rng(12345);
  std::vector<uint8_t> buf;
  for (long r = 0; r < runs; ++r) {
    size_t size = rng() % (1 + (r % 4096));
    buf.resize(size);
    for (auto& b : buf) b = static_cast<uint8_t>(rng());
    LLVMFuzzerTestOneInput(buf.data(), buf.size());
  }
  printf("fuzz driver: %ld random inputs, no crash\n", runs);
  return 0;
}
