// Values and texts pushed from a worker thread while the GUI thread repaints: the MIDI input and
// the sender's workers do this all the time. Also an image whose first drawing comes from two
// threads at once. Built and run under TSan too.
#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "CairoTestImages.h"
#include "ControlLayer.h"
#include "GFX_PNG.h"
#include "GuiTestSupport.h"
#include "IControls.h"
#include "IGraphicsGtk.h"

namespace {
// Reads its text the way drawing does, without going to the fonts (whose library threads are
// outside this test's subject).
class StatusText : public ITextControl {
public:
  using ITextControl::ITextControl;
  bool Draw(IGraphics*) override {
    lastDrawn = textToDraw();
    return true;
  }
  std::string lastDrawn;
};

// A decode that never ends: the helper that runs it stays in it.
std::atomic<bool> gDecoding{false};
GFX_IBitmap* decodeForEver(const char*) {
  gDecoding = true;
  for (;;) pause();
}
}  // namespace

// An editor closed while a helper decodes one of its images, and then the process's end, wait for
// no decode. In a process of its own: one that waits never ends, and its alarm ends it instead.
TEST(GuiThreadsDeathTest, NeitherAClosedEditorNorTheProcessEndWaitsForADecode) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  char tmpl[] = "/tmp/gui-held-img-XXXXXX";
  const std::string dir = mkdtemp(tmpl);
  writeSolidPng((dir + "/held.png").c_str(), 300, 200, 0.5, 0.5, 0.5);
  EXPECT_EXIT(
      {
        alarm(20);
        IGraphics::SetImageDecoder(&decodeForEver);
        GuiTestPlug plug;
        {
          IGraphicsGtk g(&plug, 400, 300);
          g.SetResourcesPath(dir.c_str());
          IBitmap bm = g.LoadIBitmap(7500, "resources/img/held.png");
          g.DecodeAhead(&bm);
          while (!gDecoding) usleep(1000);
          g.ReleaseBitmap(&bm);
        }
        exit(0);
      },
      ::testing::ExitedWithCode(0), "");
  std::remove((dir + "/held.png").c_str());
  rmdir(dir.c_str());
}

// Work run at once elsewhere while no window is open ends before a window opens (whose first tick
// would draw what it changes half-way): the work sees no opening in 0.2 s.
TEST(GuiThreads, OpeningAWindowWaitsForWorkRunningElsewhere) {
  GuiTestPlug plug;
  HeadlessGraphics g(&plug, 10, 10);
  std::atomic<int> step{0}, seenAtItsEnd{-1};  // 1: the work runs, 2: the window is open
  std::thread elsewhere([&] {
    g.RunOnWindowThread(&g, 1, [&] {
      for (int i = (step = 1, 0); i < 200 && step < 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      seenAtItsEnd = step.load();
    });
  });
  while (step < 1) std::this_thread::yield();
  g.SetWindowThread(true);
  step = 2;
  elsewhere.join();
  EXPECT_EQ(seenAtItsEnd, 1);
}

// Handed over while the plug-in's lock is held by the thread that opens the window meanwhile:
// once the lock is its, the work finds the window open and is queued for it, not run where it
// was handed over; the window's next tick runs it, under the plug-in's lock.
TEST(GuiThreads, WorkHandedOverWhileTheWindowOpensIsQueuedForIt) {
  GuiTestPlug plug;
  HeadlessGraphics g(&plug, 10, 10);
  std::atomic<pid_t> waiter{0};
  std::atomic<int> runs{0};
  std::thread::id ranOn;
  bool locked = false;
  std::thread elsewhere;
  {
    UTIL_MutexLock lock(plug.GetMutex());
    elsewhere = std::thread([&] {
      waiter = static_cast<pid_t>(syscall(SYS_gettid));
      g.RunOnWindowThread(&g, 1, [&] { ++runs, ranOn = std::this_thread::get_id(), locked = plug.GetMutex()->IsOwnedByMe(); });
    });
    // Until the thread sleeps: on its way to the plug-in's lock nothing else puts it to sleep.
    auto asleep = [&] {  // the state follows the name, which may hold anything
      std::ifstream in("/proc/self/task/" + std::to_string(waiter.load()) + "/stat");
      const std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      return waiter != 0 && stat.find(") S ", stat.rfind(')')) != std::string::npos;
    };
    for (int i = 0; i < 20000 && !asleep(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(asleep()) << "the thread never waited for the lock";
    g.SetWindowThread(true);
  }
  elsewhere.join();
  EXPECT_EQ(runs.load(), 0);
  EXPECT_TRUE(g.RunWindowWork() && runs == 1 && ranOn == std::this_thread::get_id() && locked) << "not run by the tick, once";
}

TEST(GuiThreads, WorkerPushesRaceCleanlyWithRepaints) {
  GuiTestPlug plug;
  auto* g = new HeadlessGraphics(&plug, 200, 100);
  IColor bg(255, 10, 20, 30);
  g->AttachPanelBackground(&bg);
  auto* knob = new TestKnob(&plug, IRECT(10, 10, 50, 50), 0);
  g->AttachControl(knob);
  IText style(12);
  auto* status = new StatusText(&plug, IRECT(60, 10, 190, 30), &style, "ready");
  g->AttachControl(status);
  auto* overlay = new ControlLayer(0, "PROGRESS");
  overlay->AddControl(new TestKnob(&plug, IRECT(0, 0, 200, 100), -1));
  overlay->setIgnoreHiddenWhenUpdatingScreen(true);
  g->AttachLayer(overlay);
  plug.AttachGraphics(g);

  std::atomic<bool> go{false};
  std::thread worker([&] {
    while (!go.load()) std::this_thread::yield();
    for (int i = 0; i < 3000; ++i) {
      g->SetParameterFromPlug(0, (i % 101) / 100.0, true);
      status->SetTextFromPlug(i % 2 ? "Requesting..." : "Done");
      if (i % 500 == 0) overlay->Hide(i % 1000 == 0);
    }
  });
  go.store(true);
  int frames = 0;
  for (int i = 0; i < 400; ++i) {
    IRECT r;
    if (g->IsDirty(&r)) {
      g->Draw(&r);
      ++frames;
    }
    const double v = knob->GetValue();
    ASSERT_GE(v, 0.0);
    ASSERT_LE(v, 1.0);
    const std::string t = status->GetTextCopy();
    ASSERT_TRUE(t == "ready" || t == "Requesting..." || t == "Done") << t;
  }
  worker.join();
  EXPECT_GT(frames, 0);
}

// After the tree changes, the first pushes from several threads at once find the parameter
// index stale together; exactly one may rebuild it while the others wait, and every push must
// land on the controls of the new tree.
TEST(GuiThreads, ConcurrentFirstPushesAfterATreeChangeShareOneIndexRebuild) {
  GuiTestPlug plug;
  auto* g = new HeadlessGraphics(&plug, 200, 100);
  auto* layer = new ControlLayer(1, "page");
  g->AttachLayer(layer);
  plug.AttachGraphics(g);
  for (int round = 0; round < 20; ++round) {
    // The GUI thread changes the tree while nobody pushes, then releases the pushers.
    auto* knob = new TestKnob(&plug, IRECT(0, 0, 10, 10), round % 4);
    layer->AddControl(knob);
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> pushers;
    for (int t = 0; t < 3; ++t)
      pushers.emplace_back([&, t] {
        ready.fetch_add(1);
        while (!go.load()) std::this_thread::yield();
        g->SetParameterFromPlug(round % 4, 0.25 * (t + 1), true);
      });
    while (ready.load() < 3) std::this_thread::yield();
    go.store(true);
    for (auto& th : pushers) th.join();
    const double v = knob->GetValue();
    EXPECT_TRUE(v == 0.25 || v == 0.5 || v == 0.75) << "round " << round << " value " << v;
  }
}

TEST(GuiThreads, AnImageFirstDrawnOnTwoThreadsAtOnceIsDecodedOnce) {
  char tmpl[] = "/tmp/gui-thread-img-XXXXXX";
  const std::string dir = mkdtemp(tmpl);
  writeSolidPng((dir + "/strip.png").c_str(), 30, 300, 0.5, 0.25, 1.0);
  GuiTestPlug plug;
  IGraphicsGtk g(&plug, 10, 10);
  g.SetResourcesPath(dir.c_str());
  IBitmap bm = g.LoadIBitmap(7300, "resources/img/strip.png", 0.85, 10);
  ASSERT_NE(bm.mData, nullptr);
  std::atomic<int> ready{0};
  GFX_pixel* seen[2] = {nullptr, nullptr};
  auto draw = [&](int i) {
    ++ready;
    while (ready.load() < 2) std::this_thread::yield();
    seen[i] = bm.mData->getBits();
  };
  std::thread a(draw, 0), b(draw, 1);
  a.join();
  b.join();
  EXPECT_NE(seen[0], nullptr);
  EXPECT_EQ(seen[0], seen[1]);
  EXPECT_EQ(seen[0][0], bm.mData->getBits()[0]);
  g.ReleaseBitmap(&bm);
  std::remove((dir + "/strip.png").c_str());
  rmdir(dir.c_str());
}

// Images decoded ahead on helper threads: only those of shown controls, then those of a page not
// shown once the first page is drawn, all drawn exactly as images decoded by the draw itself,
// and an editor closed while helpers still decode frees nothing they hold (the sanitizer builds
// watch that).
TEST(GuiThreads, ImagesDecodedAheadAreTheShownOnesDrawnAsBeforeAndMayBeClosedMidway) {
  char tmpl[] = "/tmp/gui-ahead-img-XXXXXX";
  const std::string dir = mkdtemp(tmpl);
  const char* const files[] = {"a.png", "b.png", "hidden.png"};
  for (int i = 0; i < 3; ++i) writeSolidPng((dir + "/" + files[i]).c_str(), 500, 400, 0.2 * i, 0.5, 1.0 - 0.3 * i);
  // Ids apart per editor: each gets its own cache entries.
  auto build = [&](GuiTestPlug* plug, int firstId) {
    auto* g = new IGraphicsGtk(plug, 600, 500);
    g->SetResourcesPath(dir.c_str());
    auto* shown = new ControlLayer(1, "shown");
    auto* hidden = new ControlLayer(2, "hidden");
    for (int i = 0; i < 3; ++i) {
      IBitmap bm = g->LoadIBitmap(firstId + i, ("resources/img/" + std::string(files[i])).c_str());
      (i == 2 ? hidden : shown)->AddControl(new IBitmapControl(plug, 40 * i, 30 * i, &bm, IChannelBlend::kBlendNone));
    }
    g->AttachLayer(shown);
    g->AttachLayer(hidden);
    shown->Hide(false);
    plug->AttachGraphics(g);
    return g;
  };
  auto drawAll = [](IGraphics* g) {
    IRECT all(0, 0, g->Width(), g->Height());
    g->SetAllControlsDirty();
    g->Draw(&all);
  };
  const size_t before = IGraphics::DecodedBitmapBytes();
  GuiTestPlug aheadPlug, plainPlug;
  IGraphics* ahead = build(&aheadPlug, 7400);
  ahead->DecodeShownImagesAhead();
  const size_t twoImages = 2u * 500 * 400 * sizeof(GFX_pixel);
  for (int i = 0; i < 2000 && IGraphics::DecodedBitmapBytes() - before < twoImages; ++i) usleep(5000);
  EXPECT_EQ(IGraphics::DecodedBitmapBytes() - before, twoImages) << "the shown images, and only they";
  ahead->DecodeAfterFirstDraw(ahead->ImagesOf(ahead->GetLayer(1), true));
  EXPECT_EQ(IGraphics::DecodedBitmapBytes() - before, twoImages) << "the hidden one waits for the first draw";
  drawAll(ahead);
  for (int i = 0; i < 2000 && IGraphics::WorkAhead(); ++i) usleep(5000);
  EXPECT_EQ(IGraphics::DecodedBitmapBytes() - before, twoImages * 3 / 2) << "and follows it";
  IGraphics* plain = build(&plainPlug, 7410);
  drawAll(plain);
  // Drawn at once: the draw meets its images queued or half decoded, and takes them over.
  GuiTestPlug hurriedPlug;
  IGraphics* hurried = build(&hurriedPlug, 7415);
  hurried->DecodeShownImagesAhead();
  drawAll(hurried);
  GFX_IBitmap* y = plain->GetDrawBitmap();
  for (IGraphics* g : {ahead, hurried}) {
    GFX_IBitmap* x = g->GetDrawBitmap();
    ASSERT_TRUE(x && y);
    for (int row = 0; row < 500; ++row)
      ASSERT_EQ(0, memcmp(x->getBits() + row * x->getRowSpan(), y->getBits() + row * y->getRowSpan(),
                          600u * sizeof(GFX_pixel)))
          << "row " << row;
  }
  for (int round = 0; round < 5; ++round) {
    GuiTestPlug closing;
    IGraphics* g = build(&closing, 7420 + 10 * round);
    g->DecodeShownImagesAhead();
    g->DecodeAfterFirstDraw(g->ImagesOf(g->GetLayer(1), true));
    if (round % 2) drawAll(g);
  }
  for (const char* f : files) std::remove((dir + "/" + f).c_str());
  rmdir(dir.c_str());
}
