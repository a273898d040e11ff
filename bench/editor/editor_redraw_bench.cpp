// Repaint cost of the editor's real window (the authored interface, first page shown, 1500 x 757):
// (1) the full redraw of the first paint; (2) one step of a user's knob drag, as the view's timer
// sees it: the drag moves the value, the handler writes the value readout, the timer asks what is
// dirty and that is redrawn. Each is printed beside a plain copy of the same pixels, measured in
// the same run: a repaint that touches each pixel once cannot beat it.
#include <fcntl.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "ControlAction.h"
#include "EditorBenchSupport.h"
#include "GFX_Bitmap.h"
#include "IControls.h"
#include "IParam.h"

namespace {

using editorbench::secondsSince;
using Clock = std::chrono::steady_clock;

double copySeconds(size_t pixels, int reps) {
  std::vector<GFX_pixel> a(pixels ? pixels : 1, 1), b(pixels ? pixels : 1, 2);
  const auto t0 = Clock::now();
  for (int i = 0; i < reps; ++i) {
    a[static_cast<size_t>(i) % a.size()] = static_cast<GFX_pixel>(i);
    std::memcpy(b.data(), a.data(), a.size() * sizeof(GFX_pixel));
    __asm__ __volatile__("" ::"r"(b.data()) : "memory");
  }
  return secondsSince(t0) / reps;
}

// The first sound parameter whose main control is a knob the first page shows: the control a
// click on its centre reaches.
IControl* visibleKnob(Sorvanta* plug, int* param) {
  IGraphics* g = plug->GetGUI();
  for (int p = 0; p < kNumParams; ++p) {
    const ControlAction* r = plug->GetParam(p)->GetControlAction();
    if (!r || r->type != kActionSysEx || r->controls.empty()) continue;
    IControl* c = r->controls[0];
    const IRECT* cr = c ? c->GetRECT() : nullptr;
    if (c && dynamic_cast<IKnobMultiControl*>(c) &&
        g->GetMouseControlIdx((cr->L + cr->R) / 2, (cr->T + cr->B) / 2, false) == c) {
      *param = p;
      return c;
    }
  }
  return nullptr;
}

}  // namespace

int main() {
  editorbench::Environment env;
  auto* plug = new Sorvanta(editorbench::instanceInfo());
  IGraphics* g = plug->GetGUI();
  editorbench::drawWholeWindow(g);  // decodes the first page's images
  const int w = g->Width(), h = g->Height();

  // Opaque images are copied rather than blended: the same pixels, checked here once.
  const GFX_IBitmap* canvas = g->GetDrawBitmap();
  auto pixels = [&] {
    GFX_IBitmap* bm = g->GetDrawBitmap();
    return std::vector<GFX_pixel>(bm->getBits(), bm->getBits() + static_cast<size_t>(bm->getRowSpan()) * bm->getHeight());
  };
  const std::vector<GFX_pixel> copied = pixels();
  IGraphics::SetOpaqueImageCopies(false);
  editorbench::drawWholeWindow(g);
  const bool same = pixels() == copied;
  const int fullReps = 100;
  auto t0 = Clock::now();
  for (int i = 0; i < fullReps; ++i) editorbench::drawWholeWindow(g);
  const double fullBlended = secondsSince(t0) / fullReps;
  IGraphics::SetOpaqueImageCopies(true);
  t0 = Clock::now();
  for (int i = 0; i < fullReps; ++i) editorbench::drawWholeWindow(g);
  const double full = secondsSince(t0) / fullReps;
  (void)canvas;

  int param = -1;
  IControl* knob = visibleKnob(plug, &param);
  if (!knob) {
    std::printf("no knob on the first page\n");
    return 1;
  }
  const IRECT* kr = knob->GetRECT();
  const int x = (kr->L + kr->R) / 2, y = (kr->T + kr->B) / 2;
  IMouseMod mod;
  mod.L = true;
  // Every outgoing message and status line is printed; they go to /dev/null while timing.
  std::fflush(stdout);
  const int savedOut = dup(1), devNull = open("/dev/null", O_WRONLY);
  dup2(devNull, 1);
  g->OnMouseDown(x, y, &mod);
  IRECT settle;
  if (g->IsDirty(&settle)) g->Draw(&settle);
  if (g->IsDirty(&settle)) g->Draw(&settle);
  const int steps = 4000;
  long long area = 0;
  IRECTList lastAreas;
  t0 = Clock::now();
  for (int i = 0; i < steps; ++i) {
    // Up and down over a small range, one pixel a step, as a slow drag does.
    const int dy = (i / 40) % 2 == 0 ? -(i % 40) : -(40 - i % 40);
    g->OnMouseDrag(x, y + dy, &mod);
    IRECTList dirty;
    if (g->IsDirty(&dirty)) {
      g->Draw(&dirty);
      for (int k = 0; k < dirty.n; ++k) area += static_cast<long long>(dirty.rects[k].W()) * dirty.rects[k].H();
      lastAreas = dirty;
    }
  }
  const double step = secondsSince(t0) / steps;
  g->OnMouseUp(x, y, &mod);
  std::fflush(stdout);
  dup2(savedOut, 1);
  close(devNull);
  close(savedOut);

  const size_t stepPixels = static_cast<size_t>(area / steps);
  const double copyFull = copySeconds(static_cast<size_t>(w) * h, fullReps);
  const double copyStep = copySeconds(stepPixels, steps);
  std::printf("\nthe editor's window %d x %d on the authored interface (%ld cores)\n", w, h, sysconf(_SC_NPROCESSORS_ONLN));
  std::printf("full redraw:           %8.3f ms   plain copy of %d px: %.3f ms  (%.1fx)\n", full * 1e3, w * h,
              copyFull * 1e3, full / copyFull);
  std::printf("  opaque images blended instead of copied: %.3f ms; pixels %s\n", fullBlended * 1e3,
              same ? "identical" : "DIFFER");
  std::printf("knob drag step:        %8.3f ms   plain copy of the %zu px repainted: %.4f ms  (%.1fx)\n", step * 1e3,
              stepPixels, copyStep * 1e3, step / copyStep);
  std::printf("knob %s (parameter %d) at %d,%d; last repainted areas:", plug->GetParam(param)->GetNameForHost(), param, x, y);
  for (int k = 0; k < lastAreas.n; ++k)
    std::printf(" %d x %d at %d,%d;", lastAreas.rects[k].W(), lastAreas.rects[k].H(), lastAreas.rects[k].L, lastAreas.rects[k].T);
  std::printf("\n");
  delete plug;
  return 0;
}
