// Pushing every parameter's value to the controls, as IPluginBase::AttachGraphics and
// RedrawParamControls do, on a tree shaped like the editor's: 9289 parameters, 8000 controls,
// 20 in the control list and the rest in 60 layers nested three deep. Printed beside, from the
// same run: the same pushes by a full walk of every control per parameter (what a push cost
// before the parameter index), and one SetValueFromPlug per control (the bound: every control
// has to be handed its value once).
#include <chrono>
#include <cstdio>
#include <vector>

#include "ControlLayer.h"
#include "GuiTestSupport.h"  // the recording plug-in stand-in of the GUI tests

namespace {

constexpr int kParams = 9289;
constexpr int kControls = 8000;

class BenchGraphics : public IGraphics {
public:
  using IGraphics::IGraphics;
  // The walk every push made before the index existed.
  void pushByFullWalk(int paramIdx, double value) {
    GUI_PushParamToControls(mControls, paramIdx, value);
    for (int i = 0, n = mLayers.GetSize(); i < n; ++i) mLayers.Get(i)->SetParameterFromPlug(paramIdx, value, true);
  }
};

template <class F>
double secondsFor(F&& f) {
  const auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main() {
  GuiTestPlug plug(kParams);
  auto* g = new BenchGraphics(&plug, 1500, 757);
  std::vector<IControl*> all;
  // Parameters spread over the controls; every fifth control shares its parameter with the one
  // before it, and one in forty has none (labels, frames).
  auto make = [&](int n) {
    const int p = n % 40 == 0 ? -1 : (n % 5 == 0 ? n - 1 : n) * 7 % kParams;
    IControl* c = new TestKnob(&plug, IRECT(0, 0, 10, 10), p);
    all.push_back(c);
    return c;
  };
  int n = 0;
  for (; n < 20; ++n) g->AttachControl(make(n));
  std::vector<ControlLayer*> layers;
  for (int i = 0; i < 60; ++i) {
    auto* l = new ControlLayer(i, "page");
    if (i % 3 == 0)
      g->AttachLayer(l);
    else
      layers.back()->AddLayer(l);
    layers.push_back(l);
  }
  for (; n < kControls; ++n) layers[static_cast<size_t>(n % 60)]->AddControl(make(n));
  plug.AttachGraphics(g);  // builds the index and pushes everything once

  const int rounds = 3;
  const double walk = secondsFor([&] {
    for (int r = 0; r < rounds; ++r)
      for (int p = 0; p < kParams; ++p) g->pushByFullWalk(p, (p + r) % 100 / 100.0);
  }) / rounds;
  const double indexed = secondsFor([&] {
    for (int r = 0; r < rounds; ++r)
      for (int p = 0; p < kParams; ++p) g->SetParameterFromPlug(p, (p + r + 1) % 100 / 100.0, true);
  }) / rounds;
  const double bound = secondsFor([&] {
    for (int r = 0; r < rounds; ++r)
      for (IControl* c : all) c->SetValueFromPlug((r + 2) % 100 / 100.0);
  }) / rounds;
  // The first push after the tree changed rebuilds the index.
  layers[5]->AddControl(new TestKnob(&plug, IRECT(0, 0, 10, 10), 1));
  const double rebuild = secondsFor([&] { g->SetParameterFromPlug(1, 0.5, true); });

  printf("push all %d parameters to %d controls (%d layers):\n", kParams, kControls, 60);
  printf("  full walk per parameter (before):  %9.3f ms\n", walk * 1e3);
  printf("  parameter index (now):             %9.3f ms  (%.0fx faster)\n", indexed * 1e3, walk / indexed);
  printf("  bound, one SetValueFromPlug each:  %9.3f ms\n", bound * 1e3);
  printf("  first push after a tree change (index rebuild): %.3f ms\n", rebuild * 1e3);
  return 0;
}
