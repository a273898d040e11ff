// State round trip of the editor's 9289 hidden parameters (serialise into a fresh chunk, then
// read back with clamping) beside a plain memcpy of the same number of bytes, the physical floor.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "TestPlug.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

}  // namespace

int main() {
  const int n = 9289;
  TestPlug plug(n, "2-2", 0, 0);
  plug.addNonAutomateParamCount(n);
  for (int i = 0; i < n; ++i) {
    plug.GetParam(i)->InitDouble("d", 0.0, 0.0, 1000.0, 0.01);
    plug.GetParam(i)->Set(i % 1000);
  }

  // The three measures take turns, 20 batches of 100 rounds each, and each keeps its best batch:
  // on a shared machine a burst of load then cannot favour one of them.
  const int batches = 20, rounds = 100;
  double sink = 0.0;
  bool failed = false;
  std::vector<double> src(n, 1.5), dst(n);
  double tState = 1e9, tCopy = 1e9, tVisit = 1e9;
  auto best = [&](double* b, const std::function<void(int)>& round) {
    const auto t0 = Clock::now();
    for (int r = 0; r < rounds; ++r) round(r);
    *b = std::min(*b, secondsSince(t0) / rounds);
  };
  for (int k = 0; k < batches; ++k) {
    best(&tState, [&](int r) {
      ByteChunk c;
      plug.SerializeNonAutomatedParams(&c, n);
      failed |= plug.UnserializeNonAutomatedParams(&c, 0, n) != n * 8;
      sink += plug.GetParam(r % n)->Value();
    });
    best(&tCopy, [&](int r) {
      src[r % n] = r;
      memcpy(dst.data(), src.data(), n * sizeof(double));
      sink += dst[(r * 7) % n];
    });
    // Second reference: visiting the 9289 parameter objects one by one (read every value, write
    // it back). The objects are separate heap blocks of about 300 bytes each; the round trip does
    // not go through them but through the plug-in's one block of values and ranges.
    best(&tVisit, [&](int r) {
      for (int i = 0; i < n; ++i) dst[i] = plug.GetParam(i)->Value();
      for (int i = 0; i < n; ++i) plug.GetParam(i)->Set(dst[i]);
      sink += dst[r % n];
    });
  }
  if (failed) {
    fprintf(stderr, "round trip failed\n");
    return 1;
  }

  printf("state round trip of %d parameters (%d bytes): %8.2f us\n", n, n * 8, tState * 1e6);
  printf("memcpy of the same bytes:                        %8.2f us\n", tCopy * 1e6);
  printf("visiting every parameter object (read + write):  %8.2f us\n", tVisit * 1e6);
  printf("ratio to memcpy: %.1fx (target <= 10x), to the visit: %.1fx   (checksum %g)\n", tCopy > 0 ? tState / tCopy : 0.0,
         tVisit > 0 ? tState / tVisit : 0.0, sink);
  return 0;
}
