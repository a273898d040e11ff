// After the build, the value lists, layers and reverse lookups are read from the MIDI input
// thread and the workers without a lock: that is sound only while no read inserts.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "PipelineTestSupport.h"

namespace {

TEST(PipelineLookupThreads, ConcurrentReadersSeeAStableBuild) {
  Pipeline p;
  p.manager->setResourcesFolder(SORVANTA_PIPELINE_TEA_DIR);
  p.manager->readUIConfig(p.graphics, &p.plug, nullptr, 0, 1.0);
  IControl* cutoff1 = p.record(kFilter1Cutoff + 1)->controls[0];
  IControl* level2 = p.record(kOscillator1Level + 2)->controls[0];
  const size_t lists = p.manager->valueLists.size();
  const size_t layers = p.manager->layerMap.size();

  std::atomic<int> failures{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 4; ++t) {
    readers.emplace_back([&, t] {
      for (int i = 0; i < 2000; ++i) {
        const UIConfigManager& m = *p.manager;
        if (m.getSysexControl(0x20, 1, 2, 5, 0) != cutoff1) ++failures;
        if (m.getCCControls(3, 20, 0) != level2) ++failures;
        if (m.getCCControls(9, 99, t) != nullptr) ++failures;
        if (!m.findValueList("tempoValues") || m.findValueList("missing" + std::to_string(t)))
          ++failures;
        if (!m.findLayer("part1") || m.findLayer("missing")) ++failures;
      }
    });
  }
  for (auto& r : readers) r.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(p.manager->valueLists.size(), lists);
  EXPECT_EQ(p.manager->layerMap.size(), layers);
}

}  // namespace
