// The graphics object's parameter-to-controls index: a push must reach exactly the controls, in
// exactly the order, that a walk of the control list and then of every layer depth-first reaches,
// however the tree was built and changed in between. Run under ASan: a control or layer deleted
// after a push must never be touched by a later one.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "ControlLayer.h"
#include "GuiTestSupport.h"

namespace {

// One value arriving at a control: "<name>=<value>" for its own parameter, "<name>:aux<i>=<value>"
// for an auxiliary entry.
using PushLog = std::vector<std::string>;

class PushRecorder : public IControl {
public:
  PushRecorder(IPluginBase* plug, std::string name, PushLog* log, int paramIdx)
      : IControl(plug, IRECT(0, 0, 10, 10), paramIdx), mName(std::move(name)), mLog(log) {}
  bool Draw(IGraphics*) override { return true; }
  void SetValueFromPlug(double value) override {
    mLog->push_back(mName + "=" + std::to_string(value));
    IControl::SetValueFromPlug(value);
  }
  void SetAuxParamValueFromPlug(int auxIdx, double value) override {
    mLog->push_back(mName + ":aux" + std::to_string(auxIdx) + "=" + std::to_string(value));
    IControl::SetAuxParamValueFromPlug(auxIdx, value);
  }
  const std::string& name() const { return mName; }

private:
  std::string mName;
  PushLog* mLog;
};

// What a full walk delivers, computed from the tree as it stands (no control is called).
void expectedFor(const UTIL_PtrList<IControl>& controls, const UTIL_PtrList<ControlLayer>& layers, int p,
                 double v, PushLog* out) {
  for (int i = 0; i < controls.GetSize(); ++i) {
    IControl* c = controls.Get(i);
    auto* r = dynamic_cast<PushRecorder*>(c);
    const std::string name = r ? r->name() : "unrecorded";  // the background
    if (c->ParamIdx() == p) out->push_back(name + "=" + std::to_string(v));
    const int aux = c->AuxParamIdx(p);
    if (aux >= 0) out->push_back(name + ":aux" + std::to_string(aux) + "=" + std::to_string(v));
  }
  for (int i = 0; i < layers.GetSize(); ++i) expectedFor(layers.Get(i)->controls, layers.Get(i)->layers, p, v, out);
}

// Exposes the graphics object's own lists to the reference walk.
class IndexedGraphics : public HeadlessGraphics {
public:
  using HeadlessGraphics::HeadlessGraphics;
  PushLog expected(int p, double v) const {
    PushLog out;
    expectedFor(mControls, mLayers, p, v, &out);
    return out;
  }
};

struct Tree {
  GuiTestPlug plug{32};
  IndexedGraphics* g = new IndexedGraphics(&plug, 100, 100);  // owned by the plug-in after attach
  PushLog log;
  int made = 0;
  PushRecorder* make(int paramIdx, const char* name = nullptr) {
    return new PushRecorder(&plug, name ? name : "c" + std::to_string(made++), &log, paramIdx);
  }
  PushLog push(int p, double v) {
    log.clear();
    g->SetParameterFromPlug(p, v, true);
    return log;
  }
};

}  // namespace

TEST(ParamIndex, PushOrderIsControlListThenLayersDepthFirst) {
  Tree t;
  t.g->AttachControl(t.make(-1, "bg"));
  t.g->AttachControl(t.make(3, "top"));
  auto* a = new ControlLayer(1, "a");
  auto* aChild = new ControlLayer(2, "a.child");
  aChild->AddControl(t.make(3, "deep"));
  a->AddLayer(aChild);
  a->AddControl(t.make(3, "a1"));  // after the child layer was added: still before it
  t.g->AttachLayer(a);
  auto* b = new ControlLayer(3, "b");
  t.g->AttachLayer(b);
  PushRecorder* shared = t.make(7, "shared");
  shared->AddAuxParam(5);
  shared->AddAuxParam(3);
  b->AddControl(shared);  // filled after it was attached
  t.g->AttachControl(t.make(3, "late"));  // control list: ahead of every layer
  t.plug.AttachGraphics(t.g);

  EXPECT_EQ(t.push(3, 0.25), (PushLog{"top=0.250000", "late=0.250000", "a1=0.250000", "deep=0.250000",
                                      "shared:aux1=0.250000"}));
  EXPECT_EQ(t.push(7, 0.5), (PushLog{"shared=0.500000"}));
  EXPECT_EQ(t.push(5, 0.75), (PushLog{"shared:aux0=0.750000"}));
  EXPECT_TRUE(t.push(4, 0.5).empty());
  EXPECT_TRUE(t.push(10000, 0.5).empty());  // beyond every bound parameter
  // -1 is every unbound control's index: the background answers to it, as it always did.
  EXPECT_EQ(t.push(-1, 0.5), (PushLog{"bg=0.500000"}));
}

TEST(ParamIndex, ChangesAfterAPushReachTheNextPush) {
  Tree t;
  auto* outer = new ControlLayer(1, "outer");
  t.g->AttachLayer(outer);
  t.plug.AttachGraphics(t.g);  // pushes every parameter: the index now exists
  t.log.clear();

  auto* inner = new ControlLayer(2, "inner");
  inner->AddControl(t.make(2, "i1"));
  outer->AddLayer(inner);
  EXPECT_EQ(t.push(2, 0.1), (PushLog{"i1=0.100000"}));

  inner->AddControl(t.make(2, "i2"));  // into a layer already in the tree
  PushRecorder* aux = t.make(9, "auxed");
  outer->AddControl(aux);
  EXPECT_EQ(t.push(2, 0.2), (PushLog{"i1=0.200000", "i2=0.200000"}));
  aux->AddAuxParam(2);  // a control already in the tree starts listening to parameter 2
  EXPECT_EQ(t.push(2, 0.3), (PushLog{"auxed:aux0=0.300000", "i1=0.300000", "i2=0.300000"}));

  t.g->AttachBackground(1, "none");  // inserted at index 0, unbound
  EXPECT_EQ(t.push(2, 0.4), t.g->expected(2, 0.4));
}

TEST(ParamIndex, DeletedLayersAndControlsAreNeverReachedAgain) {
  PushLog afterLog;
  ControlLayer* kept = new ControlLayer(4, "kept");
  {
    Tree t;
    auto* outer = new ControlLayer(1, "outer");
    auto* doomed = new ControlLayer(2, "doomed");
    doomed->AddControl(t.make(4, "gone1"));
    auto* doomedChild = new ControlLayer(3, "doomed.child");
    doomedChild->AddControl(t.make(4, "gone2"));
    doomed->AddLayer(doomedChild);
    outer->AddLayer(doomed);
    outer->AddControl(t.make(4, "stays"));
    outer->AddControl(t.make(4, "removed"));
    t.g->AttachLayer(outer);
    t.plug.AttachGraphics(t.g);
    ASSERT_EQ(t.push(4, 0.5), (PushLog{"stays=0.500000", "removed=0.500000", "gone1=0.500000", "gone2=0.500000"}));

    outer->layers.Delete(0, true);    // the layer with its child and their controls
    outer->controls.Delete(1, true);  // one control
    EXPECT_EQ(t.push(4, 0.6), (PushLog{"stays=0.600000"}));

    // Taken out without deleting: no longer reached, and no longer tied to this graphics object.
    kept->AddControl(t.make(4, "k"));
    outer->AddLayer(kept);
    EXPECT_EQ(t.push(4, 0.7), (PushLog{"stays=0.700000", "k=0.700000"}));
    outer->layers.Delete(0, false);
    EXPECT_EQ(t.push(4, 0.8), (PushLog{"stays=0.800000"}));
  }
  // The graphics object is gone: changing the layer it once held must not touch it.
  kept->AddControl(new PushRecorder(nullptr, "after", &afterLog, 4));
  kept->controls.Delete(0, true);
  delete kept;
}

TEST(ParamIndex, ResizeDropsTheControlListFromTheIndex) {
  Tree t;
  t.g->AttachControl(t.make(1, "list"));
  auto* layer = new ControlLayer(1, "layer");
  layer->AddControl(t.make(1, "inLayer"));
  t.g->AttachLayer(layer);
  t.plug.AttachGraphics(t.g);
  t.g->Resize(120, 80);  // deletes the control list's controls; layers stay
  EXPECT_EQ(t.push(1, 0.5), (PushLog{"inLayer=0.500000"}));
}

// Seeded random trees changed at random between pushes; every push must match the full walk.
// Rerun one seed by setting it in `seeds`.
TEST(ParamIndex, RandomTreesAndChangesMatchTheFullWalk) {
  for (unsigned seed : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    Tree t;
    std::vector<ControlLayer*> attachedLayers;  // every layer in the tree, for random targets
    auto randomControl = [&] {
      PushRecorder* c = t.make(pick(6) - 1);  // -1..4
      for (int a = pick(3); a > 0; --a) c->AddAuxParam(pick(6) - 1);
      return c;
    };
    auto forget = [&](ControlLayer* l) {
      std::vector<ControlLayer*> stack{l};
      while (!stack.empty()) {
        ControlLayer* x = stack.back();
        stack.pop_back();
        for (int i = 0; i < x->layers.GetSize(); ++i) stack.push_back(x->layers.Get(i));
        attachedLayers.erase(std::remove(attachedLayers.begin(), attachedLayers.end(), x), attachedLayers.end());
      }
    };
    t.plug.AttachGraphics(t.g);
    for (int step = 0; step < 300; ++step) {
      switch (pick(8)) {
        case 0:
          t.g->AttachControl(randomControl());
          break;
        case 1: {
          auto* l = new ControlLayer(step, "l");
          for (int n = pick(3); n > 0; --n) l->AddControl(randomControl());
          t.g->AttachLayer(l);
          attachedLayers.push_back(l);
          break;
        }
        case 2:
        case 3:
          if (!attachedLayers.empty()) attachedLayers[static_cast<size_t>(pick(static_cast<int>(attachedLayers.size())))]->AddControl(randomControl());
          break;
        case 4:
          if (!attachedLayers.empty()) {
            auto* l = new ControlLayer(step, "child");
            l->AddControl(randomControl());
            attachedLayers[static_cast<size_t>(pick(static_cast<int>(attachedLayers.size())))]->AddLayer(l);
            attachedLayers.push_back(l);
          }
          break;
        case 5:
          if (!attachedLayers.empty()) {
            ControlLayer* l = attachedLayers[static_cast<size_t>(pick(static_cast<int>(attachedLayers.size())))];
            if (l->layers.GetSize() > 0) {
              const int i = pick(l->layers.GetSize());
              forget(l->layers.Get(i));
              l->layers.Delete(i, true);
            } else if (l->controls.GetSize() > 0) {
              l->controls.Delete(pick(l->controls.GetSize()), true);
            }
          }
          break;
        case 6:
          if (t.g->NControls() > 0) t.g->GetControl(pick(t.g->NControls()))->AddAuxParam(pick(5));
          break;
        default:
          break;  // push twice in a row without a change
      }
      const int p = pick(7) - 1;  // -1..5: 5 is bound to nothing
      const double v = pick(1000) / 1000.0;
      PushLog expected = t.g->expected(p, v);
      ASSERT_EQ(t.push(p, v), expected) << "step " << step << " parameter " << p;
    }
  }
}
