// Start-up cost of the UI configuration's first layer, the part the user waits for while the host
// creates the plug-in: deciphering a full-size resource and registering the parameter names.
// Each figure is printed beside a bound measured in the same run:
//   decipher  - beside memcpy of the same bytes (the memory bound) and the textbook TEA loop on
//               native words (the cipher's own cost without our byte-order handling);
//   names     - beside building a plain std::map from the same 707 names.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "ParamNames.h"
#include "UIConfigResources.h"

namespace {

using Clock = std::chrono::steady_clock;

template <typename F>
double bestMs(int reps, F&& f) {
  double best = 1e300;
  for (int i = 0; i < reps; ++i) {
    const auto t0 = Clock::now();
    f();
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    if (ms < best) best = ms;
  }
  return best;
}

void textbookDecipher(uint32_t* v, const uint32_t* k) {
  uint32_t y = v[0], z = v[1], sum = 0xC6EF3720u;
  for (int n = 0; n < 32; ++n) {
    z -= ((y << 4) + k[2]) ^ (y + sum) ^ ((y >> 5) + k[3]);
    y -= ((z << 4) + k[0]) ^ (z + sum) ^ ((z >> 5) + k[1]);
    sum -= 0x9E3779B9u;
  }
  v[0] = y;
  v[1] = z;
}

volatile uint32_t sink;

}  // namespace

int main() {
  const std::size_t n = UIConfigResources::kMaxResourceBytes;
  std::vector<char> data(n);
  for (std::size_t i = 0; i < n; ++i) data[i] = static_cast<char>(i * 2654435761u >> 13);

  std::string out;
  const double ours = bestMs(5, [&] {
    out.clear();
    UIConfigResources::decrypt(data.data(), static_cast<int>(n), out);
  });
  std::vector<char> copy(n);
  const double mem = bestMs(5, [&] { std::memcpy(copy.data(), data.data(), n); sink = copy[n / 2]; });
  std::vector<uint32_t> words(n / 4);
  // Loaded through a volatile so the compiler cannot fold a known key into the loop.
  uint32_t key[4];
  for (int i = 0; i < 4; ++i) key[i] = sink + static_cast<uint32_t>(i) * 0x01010101u;
  const double ref = bestMs(5, [&] {
    std::memcpy(words.data(), data.data(), n);
    for (std::size_t i = 0; i < words.size(); i += 2) textbookDecipher(&words[i], key);
    sink = words[7];
  });
  const double mb = static_cast<double>(n) / 1e6;
  std::printf("decipher %.1f MB resource: %.2f ms (%.0f MB/s) | textbook TEA %.2f ms | memcpy %.3f ms\n",
              mb, ours, mb / ours * 1e3, ref, mem);

  const double reg = bestMs(20, [] {
    ParamNameRegistry r;
    r.initParams();
    sink = static_cast<uint32_t>(r.size());
  });
  const double plain = bestMs(20, [] {
    std::map<std::string, int> m;
    for (std::size_t i = 0; i < paramNameTableSize(); ++i)
      m.emplace(paramNameTable()[i].name, paramNameTable()[i].number);
    sink = static_cast<uint32_t>(m.size());
  });
  ParamNameRegistry r;
  r.initParams();
  const double lookups = bestMs(20, [&] {
    int sum = 0;
    for (std::size_t i = 0; i < paramNameTableSize(); ++i) sum += r.getParamByName(paramNameTable()[i].name);
    sink = static_cast<uint32_t>(sum);
  });
  std::printf("register %zu names: %.3f ms | plain std::map build %.3f ms | %zu lookups %.3f ms\n",
              paramNameTableSize(), reg, plain, paramNameTableSize(), lookups);
  return 0;
}
