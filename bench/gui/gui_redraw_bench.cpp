// Repaint cost of the canvas at the editor's size (1500 x 757) with 300 knobs over a background
// image: (1) a full redraw, (2) the timer's dirty redraw after one knob moved. Each is printed
// beside a plain memcpy of the same number of pixels, measured in the same run, which is the
// bound a repaint that touches each pixel once cannot beat.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "GFX_Bitmap.h"
#include "GuiTestSupport.h"  // the recording plug-in stand-in of the GUI tests
#include "IControls.h"
#include "IGraphics.h"

namespace {

// Images come from memory: a gradient background and a 64-frame knob strip with soft edges.
class BenchGraphics : public IGraphics {
public:
  BenchGraphics(IPluginBase* plug, int w, int h) : IGraphics(plug, w, h) {}
  GFX_IBitmap* OSLoadBitmap(int ID, const char*) override {
    if (ID == 1) {
      auto* bm = new GFX_MemBitmap(1500, 757, 4);
      for (int y = 0; y < 757; ++y)
        for (int x = 0; x < 1500; ++x)
          bm->getBits()[y * bm->getRowSpan() + x] = 0xffu | (x & 0xff) << 8 | (y & 0xff) << 16 | 0x40u << 24;
      return bm;
    }
    auto* bm = new GFX_MemBitmap(48, 48 * 64, 4);
    for (int y = 0; y < 48 * 64; ++y)
      for (int x = 0; x < 48; ++x) {
        const int dx = x - 24, dy = y % 48 - 24, d2 = dx * dx + dy * dy;
        const unsigned a = d2 < 400 ? 255u : d2 < 576 ? 128u : 0u;  // opaque disc, soft rim, clear corners
        bm->getBits()[y * bm->getRowSpan() + x] = a | static_cast<unsigned>(y / 48 * 4) << 8 | 0x80u << 16;
      }
    return bm;
  }
};

double secondsSince(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double timeMemcpy(size_t bytes, int reps) {
  std::vector<unsigned char> a(bytes, 1), b(bytes, 2);
  const auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < reps; ++i) {
    a[static_cast<size_t>(i) % bytes] = static_cast<unsigned char>(i);
    std::memcpy(b.data(), a.data(), bytes);
  }
  const double s = secondsSince(t0) / reps;
  std::printf("%s", b[static_cast<size_t>(reps) % bytes] == 255 ? " " : "");  // keep the copies alive
  return s;
}

}  // namespace

int main() {
  GuiTestPlug plug(400);
  for (int i = 0; i < 400; ++i) plug.GetParam(i)->InitDouble("p", 0.0, 0.0, 1.0, 0.001);
  auto* g = new BenchGraphics(&plug, 1500, 757);
  g->AttachBackground(1, "bg.png", 1.0);
  IBitmap strip = g->LoadIBitmap(2, "knob.png", 1.0, 64);
  std::vector<IControl*> knobs;
  for (int i = 0; i < 300; ++i) {
    auto* k = new IKnobMultiControl(&plug, 10 + (i % 25) * 59, 10 + (i / 25) * 61, i, &strip);
    g->AttachControl(k);
    knobs.push_back(k);
  }
  plug.AttachGraphics(g);
  IRECT all(0, 0, 1500, 757);

  const int fullReps = 200;
  auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < fullReps; ++i) {
    g->SetAllControlsDirty();
    g->Draw(&all);
  }
  const double full = secondsSince(t0) / fullReps;

  const int knobReps = 20000;
  IRECT dirtyArea;
  t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < knobReps; ++i) {
    knobs[150]->SetValueFromPlug((i % 64) / 63.0);
    IRECT r;
    if (g->IsDirty(&r)) g->Draw(&r);
    dirtyArea = r;
  }
  const double one = secondsSince(t0) / knobReps;

  const size_t fullBytes = 1500u * 757u * 4u;
  const size_t knobBytes = static_cast<size_t>(dirtyArea.W()) * dirtyArea.H() * 4u;
  const double copyFull = timeMemcpy(fullBytes, fullReps);
  const double copyKnob = timeMemcpy(knobBytes, knobReps);
  std::printf("\ncanvas 1500 x 757, 300 knobs (48 x 48, 64 frames) over a background image\n");
  std::printf("full redraw:          %9.1f us/frame   plain copy of %zu px: %8.1f us   (%.1fx)\n", full * 1e6,
              fullBytes / 4, copyFull * 1e6, full / copyFull);
  std::printf("one-knob dirty redraw: %8.2f us/frame   plain copy of %zu px: %8.2f us   (%.1fx)\n", one * 1e6,
              knobBytes / 4, copyKnob * 1e6, one / copyKnob);
  std::printf("dirty area per tick: %d x %d\n", dirtyArea.W(), dirtyArea.H());
  return 0;
}
