// Runs under TSan ("threads"): the plug-in lock and the host MIDI queue across threads.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "IPlugStructs.h"
#include "TestPlug.h"

namespace {

// Handler that re-enters the lock (as the editor's handlers do through partner parameters) and
// checks that no other thread is inside at the same time.
class NestingPlug : public TestPlug {
public:
  NestingPlug() : TestPlug(2) {}
  void OnParamChange(int paramIdx) override {
    UTIL_MutexLock outer(GetMutex());
    UTIL_MutexLock inner(GetMutex());
    if (inside.fetch_add(1) != 0) overlaps.fetch_add(1);
    depthSeen = GetMutex()->GetDepth();
    if (paramIdx == 0) OnParamChange2(1);
    inside.fetch_sub(1);
    calls.fetch_add(1);
  }
  void OnParamChange2(int) override { UTIL_MutexLock again(GetMutex()); }
  std::atomic<int> inside{0}, overlaps{0}, calls{0};
  int depthSeen = 0;  // written and read under the lock only
};

}  // namespace

TEST(PluginLock, RecursiveDepthHeldAgainstOtherThreads) {
  NestingPlug plug;
  plug.GetParam(0)->InitDouble("d", 0.0, 0.0, 1.0, 0.001);
  plug.GetParam(1)->InitDouble("d", 0.0, 0.0, 1.0, 0.001);
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      while (!go) std::this_thread::yield();
      for (int i = 0; i < 300; ++i) plug.SetParameterFromGUI(t % 2, ((i + t) % 1000) / 1000.0 + 0.0005);
    });
  }
  go = true;
  for (auto& th : threads) th.join();
  EXPECT_EQ(plug.overlaps, 0);
  EXPECT_GT(plug.calls, 0);
  plug.Lock();
  EXPECT_EQ(plug.depthSeen, 2);  // SetParameterFromGUI (0) + outer (1) + inner (2)
  plug.Unlock();
  EXPECT_FALSE(plug.GetMutex()->IsOwnedByMe());
}

TEST(PluginLock, OtherThreadWaitsUntilOutermostRelease) {
  TestPlug plug;
  std::atomic<int> stage{0};
  plug.Lock();
  plug.Lock();
  std::thread other([&] {
    stage = 1;
    plug.Lock();  // must wait for both releases
    stage = 3;
    plug.Unlock();
  });
  while (stage != 1) std::this_thread::yield();
  plug.Unlock();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(stage, 1);  // still held at depth 0
  stage = 2;
  plug.Unlock();
  other.join();
  EXPECT_EQ(stage, 3);
}

TEST(HostMidiQueue, FillDrainAndResizeFromThreeThreadsKeepOrder) {
  IMidiQueue q;
  std::atomic<bool> done{false};
  std::atomic<int> added{0};
  std::thread host([&] {  // the host's MIDI call
    for (int i = 0; i < 20000; ++i) {
      IMidiMsg m(i % 64, 0x90, static_cast<uint8_t>(i & 127));
      if (q.Add(&m)) added.fetch_add(1);
    }
    done = true;
  });
  std::thread reset([&] {  // Reset on another thread
    for (int i = 0; !done; ++i) {
      q.Resize(64 + (i % 4) * 512);
      std::this_thread::yield();
    }
  });
  int drained = 0;
  IMidiMsg m;
  while (!done || !q.Empty()) {  // the render thread
    for (int s = 0; s < 64; ++s) {
      while (q.PopDue(s, &m)) {
        EXPECT_LE(m.mOffset, s);
        ++drained;
      }
    }
    q.Flush(64);
  }
  host.join();
  reset.join();
  while (q.PopDue(1 << 30, &m)) ++drained;
  EXPECT_EQ(drained, added.load());
}

// The render thread, the MIDI input thread and the workers read parameter values without the
// plug-in lock while the GUI writes them under it. A plain double there is a data race (TSan
// flags it); every read must also see a whole value that some writer stored.
TEST(ParamValue, UnlockedReadersSeeWholeValuesWhileTheGuiWrites) {
  TestPlug plug(1);
  plug.GetParam(0)->InitInt("Cutoff", 0, 0, 127);
  std::atomic<bool> done{false};
  std::atomic<int> badReads{0}, reads{0};
  std::thread reader([&] {
    do {
      const double v = plug.GetParam(0)->Value();
      const double n = plug.GetParam(0)->GetNormalized();
      if ((v != 0.0 && v != 127.0) || (n != 0.0 && n != 1.0)) badReads.fetch_add(1);
      reads.fetch_add(1);
    } while (!done);
  });
  while (reads == 0) std::this_thread::yield();  // the reader is running before the writes start
  for (int i = 0; i < 2000; ++i) plug.SetParameterFromGUI(0, (i & 1) ? 1.0 : 0.0);
  done = true;
  reader.join();
  EXPECT_EQ(0, badReads.load());
  EXPECT_GT(reads.load(), 0);
}
