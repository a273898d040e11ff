// Repaint cost of the editor's real window (the authored interface, 1500 x 757), as a user meets
// it: (1) the full redraw of a first paint; (2) one step of a knob drag, as the view's timer sees
// it: the drag moves the value, the handler writes the value readout, the timer asks what is
// dirty and that is redrawn; (3) the first visit of each main tab, a click on its button and the
// repaint, in fresh processes that open the editor, draw its first page and wait as long as a
// user's first click takes, beside a later visit of the same tab, once with a port list given,
// once with the editor's own port lists on a machine without a MIDI system (where a field that
// asked the MIDI system itself would stall the window's thread) and once with them over a JACK
// server. (1) and (2) are printed beside a plain copy of the same pixels timed between their runs
// (a repaint that touches each pixel once cannot beat it), (3) beside the later visit and the
// resident size after every tab was visited and 5 s of the port watch; the size without a MIDI
// system is bounded by the size with a JACK server (the watch waiting for one costs nothing).
// All figures are medians.
#include <fcntl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "ControlAction.h"
#include "EditorBenchSupport.h"
#include "GFX_Bitmap.h"
#include "IControls.h"
#include "IParam.h"
#include "JackTestServer.h"

namespace {

using editorbench::median;
using editorbench::secondsSince;
using Clock = std::chrono::steady_clock;

constexpr int kTabs = 6;
constexpr double kMB = 1024.0 * 1024.0;

// One plain copy of `pixels` pixels between two buffers kept for the run.
class Copier {
public:
  double seconds(size_t pixels) {
    if (a.size() < pixels) {
      a.assign(pixels, 1);
      b.assign(pixels, 2);
    }
    a[tick % pixels] = static_cast<GFX_pixel>(tick);
    ++tick;
    const auto t0 = Clock::now();
    std::memcpy(b.data(), a.data(), pixels * sizeof(GFX_pixel));
    __asm__ __volatile__("" ::"r"(b.data()) : "memory");
    return secondsSince(t0);
  }

private:
  std::vector<GFX_pixel> a, b;
  size_t tick = 0;
};

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

// A click on a main tab's button (six in a row from 260, 14, each 112 x 30) and the repaint of
// what it made dirty, as the view's next timer tick does it; seconds, or -1 when the click did
// not switch the tab.
double visitTab(Sorvanta* plug, int tab) {
  IGraphics* g = plug->GetGUI();
  IMouseMod mod;
  mod.L = true;
  const int x = 260 + 112 * tab + 56, y = 29;
  const auto t0 = Clock::now();
  g->OnMouseDown(x, y, &mod);
  g->OnMouseUp(x, y, &mod);
  IRECTList dirty;
  if (g->IsDirty(&dirty)) g->Draw(&dirty);
  const double s = secondsSince(t0);
  return plug->GetParam(kMainTab)->Value() == tab ? s : -1.0;
}

enum PortLists { kListGiven, kNoMidiSystem, kJackServer, kPortListKinds };
const char* const kPortListArgs[kPortListKinds] = {"--tabs", "--tabs-no-midi", "--tabs-jack"};

// Child process: open, draw the first page, wait as a user does before the first click (the
// work started ahead of it may run meanwhile, at most 3 s), then visit every tab twice. Without a
// list given: the editor's own port lists, its port watch running as a host starts it, on a
// machine without a MIDI system (no ALSA sequencer, no JACK server to reach) or over the JACK
// server the parent started.
int visitTabsOnce(PortLists lists) {
  editorbench::Environment env;
  if (lists != kListGiven) {
    Sorvanta::portNamesOverride = nullptr;
    setenv("SORVANTA_MIDI_API", "jack", 1);
  }
  if (lists == kNoMidiSystem)
    setenv("JACK_DEFAULT_SERVER", ("sorvanta-bench-none-" + std::to_string(getpid())).c_str(), 1);
  auto* plug = new Sorvanta(editorbench::instanceInfo());
  if (lists != kListGiven) plug->StartDirectMidiInput();
  editorbench::drawWholeWindow(plug->GetGUI());
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  for (int i = 0; i < 300 && IGraphics::WorkAhead(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::string out;
  for (int round = 0; round < 2; ++round)
    for (int tab : {1, 2, 3, 4, 5, 0}) out += "visit " + std::to_string(round) + " " + std::to_string(tab) + " " +
                                             std::to_string(visitTab(plug, tab) * 1e3) + "\n";
  if (lists != kListGiven) std::this_thread::sleep_for(std::chrono::seconds(5));  // the watch lists 5 times
  out += "rss " + std::to_string(editorbench::statusBytes("VmRSS:")) + "\n";
  std::fflush(stdout);
  std::printf("\n%s", out.c_str());
  delete plug;
  return 0;
}

struct Visits {
  const char* what = "";
  std::vector<double> ms[2][kTabs];
  std::vector<double> rss;
  int failed = 0;
};

void runVisitProcess(const char* self, Visits* v, PortLists lists) {
  const std::string text = editorbench::runFresh(self, {kPortListArgs[lists]});
  for (size_t at = 0; (at = text.find('\n', at)) != std::string::npos; ++at) {
    int round = 0, tab = 0;
    double ms = 0, rss = 0;
    if (std::sscanf(text.c_str() + at + 1, "visit %d %d %lf", &round, &tab, &ms) == 3 && tab >= 0 && tab < kTabs) {
      if (ms < 0) ++v->failed;
      else v->ms[round != 0][tab].push_back(ms);
    } else if (std::sscanf(text.c_str() + at + 1, "rss %lf", &rss) == 1) {
      v->rss.push_back(rss);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  for (int lists = 0; argc > 1 && lists < kPortListKinds; ++lists)
    if (std::string(argv[1]) == kPortListArgs[lists]) return visitTabsOnce(static_cast<PortLists>(lists));
  editorbench::Environment env;
  auto* plug = new Sorvanta(editorbench::instanceInfo());
  IGraphics* g = plug->GetGUI();
  editorbench::drawWholeWindow(g);  // decodes the first page's images
  const int w = g->Width(), h = g->Height();
  const size_t windowPixels = static_cast<size_t>(w) * h;

  // Opaque images are copied rather than blended: the same pixels, checked here once.
  auto pixels = [&] {
    GFX_IBitmap* bm = g->GetDrawBitmap();
    return std::vector<GFX_pixel>(bm->getBits(), bm->getBits() + static_cast<size_t>(bm->getRowSpan()) * bm->getHeight());
  };
  const std::vector<GFX_pixel> copied = pixels();
  IGraphics::SetOpaqueImageCopies(false);
  editorbench::drawWholeWindow(g);
  const bool same = pixels() == copied;
  Copier copier;
  const int fullReps = 300;
  std::vector<double> full, fullBlended, fullCopy;
  for (int i = 0; i < fullReps; ++i) {
    IGraphics::SetOpaqueImageCopies(i % 4 != 3);
    auto t0 = Clock::now();
    editorbench::drawWholeWindow(g);
    (i % 4 == 3 ? fullBlended : full).push_back(secondsSince(t0));
    fullCopy.push_back(copier.seconds(windowPixels));
  }
  IGraphics::SetOpaqueImageCopies(true);

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
  std::vector<double> step, stepCopy;
  long long area = 0;
  IRECTList lastAreas;
  for (int i = 0; i < steps; ++i) {
    // Up and down over a small range, one pixel a step, as a slow drag does.
    const int dy = (i / 40) % 2 == 0 ? -(i % 40) : -(40 - i % 40);
    const auto t0 = Clock::now();
    g->OnMouseDrag(x, y + dy, &mod);
    IRECTList dirty;
    long long stepArea = 0;
    if (g->IsDirty(&dirty)) {
      g->Draw(&dirty);
      for (int k = 0; k < dirty.n; ++k) stepArea += static_cast<long long>(dirty.rects[k].W()) * dirty.rects[k].H();
      lastAreas = dirty;
    }
    step.push_back(secondsSince(t0));
    stepCopy.push_back(copier.seconds(static_cast<size_t>(std::max(1LL, stepArea))));
    area += stepArea;
  }
  g->OnMouseUp(x, y, &mod);
  std::fflush(stdout);
  dup2(savedOut, 1);
  close(devNull);
  close(savedOut);

  // First visits, one editor each: fresh processes one after another, with a port list given and
  // with the editor's own on a machine without a MIDI system and over a JACK server.
  Visits visitRuns[kPortListKinds];
  visitRuns[kListGiven].what = "port list given";
  visitRuns[kNoMidiSystem].what = "no MIDI system, the editor's own port lists";
  visitRuns[kJackServer].what = "a JACK server, the editor's own port lists";
  JackTestServer jack;
  const bool jackUp = jack.start();
  for (int run = 0; run < 9; ++run)
    for (int lists = 0; lists < kPortListKinds; ++lists)
      if (lists != kJackServer || jackUp) runVisitProcess(argv[0], &visitRuns[lists], static_cast<PortLists>(lists));
  jack.stop();

  std::printf("\nthe editor's window %d x %d on the authored interface (%s); medians\n", w, h,
              editorbench::machine().c_str());
  const double fullMs = median(full) * 1e3, fullCopyMs = median(fullCopy) * 1e3;
  std::printf("full redraw:           %8.3f ms   plain copy of %d px: %.3f ms  (%.1fx)   goal 2 ms\n", fullMs, w * h,
              fullCopyMs, fullMs / fullCopyMs);
  std::printf("  opaque images blended instead of copied: %.3f ms; pixels %s\n", median(fullBlended) * 1e3,
              same ? "identical" : "DIFFER");
  const double stepMs = median(step) * 1e3, stepCopyMs = median(stepCopy) * 1e3;
  std::printf("knob drag step:        %8.3f ms   plain copy of the %lld px repainted: %.4f ms  (%.1fx)\n", stepMs,
              area / steps, stepCopyMs, stepMs / stepCopyMs);
  std::printf("knob %s (parameter %d) at %d,%d; last repainted areas:", plug->GetParam(param)->GetNameForHost(), param, x, y);
  for (int k = 0; k < lastAreas.n; ++k)
    std::printf(" %d x %d at %d,%d;", lastAreas.rects[k].W(), lastAreas.rects[k].H(), lastAreas.rects[k].L, lastAreas.rects[k].T);
  std::printf("\n");
  for (const Visits& visits : visitRuns) {
    if (visits.rss.empty()) continue;
    std::printf("tab visit (click and repaint), %zu fresh editors, %s:\n", visits.rss.size(), visits.what);
    for (int tab : {1, 2, 3, 4, 5, 0})
      std::printf("  tab %d first visit:   %8.3f ms   later visit %.3f ms   goal 5 ms\n", tab, median(visits.ms[0][tab]),
                  median(visits.ms[1][tab]));
    std::printf("  resident after visiting every tab: %.1f MB   goal 75 MB%s", median(visits.rss) / kMB,
                visits.failed ? "   (SOME CLICKS MISSED THEIR TAB)" : "");
    if (&visits == &visitRuns[kNoMidiSystem] && !visitRuns[kJackServer].rss.empty())
      std::printf("   bound: with a JACK server %.1f MB", median(visitRuns[kJackServer].rss) / kMB);
    std::printf("\n");
  }
  delete plug;
  return 0;
}
