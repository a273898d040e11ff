#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "ParamNames.h"

// Once filled, the registry is read without a lock from the MIDI input thread and the workers
// while the main thread goes on using it. Lookups, hits and misses alike, must not write.
TEST(ParamNamesThreads, ConcurrentLookupsOfAFilledRegistryNeverWrite) {
  ParamNameRegistry reg;
  reg.initParams();
  std::atomic<bool> go{false};
  std::atomic<int> wrong{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 4; ++t) {
    readers.emplace_back([&, t] {
      while (!go.load()) std::this_thread::yield();
      for (int round = 0; round < 20; ++round) {
        for (std::size_t i = static_cast<std::size_t>(t); i < paramNameTableSize(); i += 4) {
          const ParamNameEntry& e = paramNameTable()[i];
          if (reg.getParamByName(e.name) != e.number) ++wrong;
        }
        if (reg.getParamByName("kNotRegistered") != -1) ++wrong;
        if (findParamByNumber(kFilter1Cutoff + t) == nullptr) ++wrong;
      }
    });
  }
  go = true;
  for (auto& r : readers) r.join();
  EXPECT_EQ(0, wrong.load());
  EXPECT_EQ(707u, reg.size());
}
