// The plug-in base and the graphics object: what AttachGraphics and RedrawParamControls push.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "IGraphics.h"
#include "TestPlug.h"

namespace {

// Records what the base pushes to the graphics object.
class TestGraphics : public IGraphics {
public:
  explicit TestGraphics(std::atomic<int>* deletions = nullptr) : mDeletions(deletions) {}
  ~TestGraphics() override {
    if (mDeletions) ++*mDeletions;
  }
  void SetParameterFromPlug(int paramIdx, double value, bool normalized) override {
    pushes.push_back({paramIdx, value});
    lastNormalized = normalized;
  }
  void PrepDraw() override { ++prepDraws; }

  std::vector<std::pair<int, double>> pushes;
  bool lastNormalized = false;
  int prepDraws = 0;

private:
  std::atomic<int>* mDeletions;
};

}  // namespace

TEST(IPluginBase, AttachGraphicsPushesNormalisedValuesAndOwnsObject) {
  std::atomic<int> deleted{0};
  {
    TestPlug plug(3, "2-2", 0, 0);
    plug.GetParam(2)->InitInt("i", 5, 0, 10);
    auto* g = new TestGraphics(&deleted);
    plug.AttachGraphics(g);
    ASSERT_EQ(g->pushes.size(), 3u);  // hidden parameters included
    EXPECT_EQ(g->pushes[2].second, 0.5);
    EXPECT_TRUE(g->lastNormalized);
    EXPECT_EQ(g->prepDraws, 1);
    EXPECT_EQ(plug.GetGUI(), g);
    g->pushes.clear();
    plug.RedrawParamControls();
    EXPECT_EQ(g->pushes[2].second, 5.0);
    EXPECT_FALSE(g->lastNormalized);
  }
  EXPECT_EQ(deleted, 1);
}
