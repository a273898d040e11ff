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

// The resources read on threads of their own while the caller goes on.
TEST(PipelineResourceThreads, ReadingAheadBuildsAndLogsAsReadingInPlace) {
  const std::string sysex = encipher("<sysexlist><sysex><values><value>3E 10</value></values></sysex></sysexlist>");
  const std::string ui = encipher(R"(<uiconfig><layer name="root"><layer name="a"/></layer></uiconfig>)");
  struct Case {
    const char* name;
    const char* sysex;  // null: no file
    std::string description;
    bool throughGraphics;
  };
  const Case cases[] = {
      {"both read", sysex.c_str(), ui, false},
      {"both missing", nullptr, "", false},
      {"empty lists, stray bytes", "", ui + "\x01\x02\x03", false},
      {"no parse", sysex.c_str(), encipher("<uiconfig><layer"), false},
      {"loader: both read", sysex.c_str(), ui, true},
      {"loader: partial blocks", "1234567", "123", true},
      {"loader: missing", nullptr, "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    if (c.sysex) writeFile(folder.dir + "/sysex.tea", c.sysex);
    if (!c.description.empty()) writeFile(folder.dir + "/uiconfig.tea", c.description);
    std::vector<std::string> logs[2];
    size_t layers[2], lists[2];
    for (int ahead = 0; ahead < 2; ++ahead) {
      Pipeline p;
      if (c.throughGraphics)
        p.graphics->folder = folder.dir;
      else
        p.manager->setResourcesFolder(folder.dir);
      if (ahead) p.manager->readResourcesAhead(p.graphics);
      p.manager->readUIConfig(p.graphics, &p.plug, nullptr, 0, 1.0);
      logs[ahead] = p.logLines;
      layers[ahead] = p.manager->layerMap.size();
      lists[ahead] = p.manager->sysexContainers.size();
    }
    EXPECT_EQ(logs[0], logs[1]);
    EXPECT_EQ(layers[0], layers[1]);
    EXPECT_EQ(lists[0], lists[1]);
  }
}

}  // namespace
