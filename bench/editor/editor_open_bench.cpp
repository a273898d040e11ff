// One editor opened on the authored interface and its first page drawn, as a host opens it:
// (1) the memory it holds at ready and once the work started ahead of the user's next steps is
// done, beside the process before the open, with the two structures that used to dominate it
// (the prepared SysEx messages and the decoded images) printed next to what they cost when every
// message was kept whole and every image decoded at open; (2) the time from construction to the
// first page on the canvas, beside the work no open can skip: deciphering and parsing the two
// resources and decoding the PNG files the first page shows, keeping their pixels as the open
// does. Open and reference each run in fresh processes, one after the other, and their medians
// are compared, on all cores and held to two.
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <tinyxml2.h>

#include <thread>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ControlAction.h"
#include "EditorBenchSupport.h"
#include "GFX_PNG.h"
#include "IParam.h"
#include "UIConfigManager.h"
#include "UIConfigResources.h"

namespace {

using editorbench::secondsSince;
using Clock = std::chrono::steady_clock;

constexpr double kMB = 1024.0 * 1024.0;

// Heap bytes glibc's malloc takes for a request of n bytes (header included, 32 at least).
size_t chunk(size_t n) {
  const size_t c = (n + 8 + 15) & ~static_cast<size_t>(15);
  return c < 32 ? 32 : c;
}

struct SysExSizes {
  size_t bindings = 0, messages = 0, now = 0, whole = 0;
};

SysExSizes sysexSizes(Sorvanta* plug) {
  SysExSizes s;
  for (int p = 0; p < kNumParams; ++p) {
    const ControlAction* r = plug->GetParam(p)->GetControlAction();
    if (!r || r->sysex.messages.empty()) continue;
    ++s.bindings;
    const size_t n = r->sysex.messages.size();
    s.messages += n;
    s.now += r->sysex.messages.heapBytes();
    // As one vector of int per message inside a vector of them.
    s.whole += chunk(n * sizeof(std::vector<int>)) + n * chunk(r->sysex.messages.front().size() * sizeof(int));
  }
  return s;
}

// What no open can skip: the two resources read and deciphered, their texts parsed.
void decipherAndParse() {
  for (const char* name : {UIConfigResources::kUIConfigResource, UIConfigResources::kSysExResource}) {
    std::vector<unsigned char> bytes;
    UIConfigResources::readResource(UIConfigResources::resourcePath(SORVANTA_BUNDLE_RESOURCES, name), bytes);
    std::string text;
    UIConfigResources::decrypt(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()), text);
    tinyxml2::XMLDocument doc(true, tinyxml2::PRESERVE_WHITESPACE);
    if (doc.Parse(text.c_str()) != tinyxml2::XML_SUCCESS) std::printf("%s does not parse\n", name);
  }
}

// Resident size of the stand-in host holding the editor open without a window (nothing drawn),
// read from /proc one second after it started; -1 when it cannot be run.
long long headlessHostBytes() {
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    const int devNull = open("/dev/null", O_WRONLY);
    dup2(devNull, 1);
    dup2(devNull, 2);
    execl(SORVANTA_HOST_PROGRAM, SORVANTA_HOST_PROGRAM, "--headless", "--seconds", "2", SORVANTA_BUNDLE,
          static_cast<char*>(nullptr));
    _exit(127);
  }
  std::this_thread::sleep_for(std::chrono::seconds(1));
  long long rss = -1;
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line))
    if (line.compare(0, 6, "VmRSS:") == 0) rss = std::atoll(line.c_str() + 6) * 1024;
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  return rss;
}

// --open-only: one open as a host makes it, alone in its process (also a profiler's view of the
// open): its time, and the resident size before it, at ready, and once the other tabs' images
// are decoded.
int openOnly() {
  editorbench::Environment env;
  const long long rssBefore = editorbench::statusBytes("VmRSS:");
  const auto t0 = Clock::now();
  auto* plug = new Sorvanta(editorbench::instanceInfo());
  const double constructed = secondsSince(t0);
  editorbench::drawWholeWindow(plug->GetGUI());
  const double ready = secondsSince(t0);
  const long long rssReady = editorbench::statusBytes("VmRSS:");
  editorbench::waitForWorkAhead();
  std::fflush(stdout);
  std::printf("\nopen to ready: %.2f ms (constructor %.1f ms) before: %lld at ready: %lld settled: %lld\n", ready * 1e3,
              constructed * 1e3, rssBefore, rssReady, editorbench::statusBytes("VmRSS:"));
  delete plug;
  return 0;
}

// --reference: the unavoidable work alone in its process, the first page's images decoded one
// after another and kept.
int referenceOnly(int n, char** files) {
  const auto t0 = Clock::now();
  decipherAndParse();
  std::vector<GFX_IBitmap*> kept;
  for (int i = 0; i < n; ++i) kept.push_back(GFX_LoadPNG((std::string(SORVANTA_BUNDLE_RESOURCES) + "/" + files[i]).c_str()));
  std::printf("\nreference: %.2f ms\n", secondsSince(t0) * 1e3);
  for (GFX_IBitmap* bm : kept) delete bm;
  return 0;
}

struct OpenFigures {
  double open = -1, reference = -1, rssBefore = -1, rssReady = -1, rssSettled = -1;
};

// Medians of `runs` opens and as many references, taking turns, each in a fresh process held to
// the first `cores` cores this one may use (0: all of them).
OpenFigures medianOpen(const char* self, const std::vector<std::string>& shown, int cores, int runs) {
  cpu_set_t allowed, use;
  if (sched_getaffinity(0, sizeof allowed, &allowed) != 0) return {};
  CPU_ZERO(&use);
  for (int c = 0, taken = 0; c < CPU_SETSIZE && (cores == 0 || taken < cores); ++c)
    if (CPU_ISSET(c, &allowed)) {
      CPU_SET(c, &use);
      ++taken;
    }
  std::vector<std::string> reference{"--reference"};
  for (const std::string& f : shown) reference.push_back(f.substr(f.find_last_of('/') + 1));
  std::vector<double> open, ref, before, ready, settled;
  using editorbench::numberAfter;
  for (int i = 0; i < runs; ++i) {
    const std::string opened = editorbench::runFresh(self, {"--open-only"}, &use);
    const std::string referenced = editorbench::runFresh(self, reference, &use);
    if (numberAfter(opened, "open to ready: ") <= 0 || numberAfter(referenced, "reference: ") <= 0) continue;
    open.push_back(numberAfter(opened, "open to ready: "));
    ref.push_back(numberAfter(referenced, "reference: "));
    before.push_back(numberAfter(opened, "before: "));
    ready.push_back(numberAfter(opened, "at ready: "));
    settled.push_back(numberAfter(opened, "settled: "));
  }
  using editorbench::median;
  return {median(open), median(ref), median(before), median(ready), median(settled)};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--open-only") return openOnly();
  if (argc > 1 && std::string(argv[1]) == "--reference") return referenceOnly(argc - 2, argv + 2);
  editorbench::Environment env;
  // Built without a draw, which would start on the other tabs' images: once the work started
  // ahead of the first draw is done, the images decoded are the first page's.
  auto* plug = new Sorvanta(editorbench::instanceInfo());
  IGraphics* g = plug->GetGUI();
  editorbench::waitForWorkAhead();
  const size_t decodedOpen = IGraphics::DecodedBitmapBytes();
  const SysExSizes sysex = sysexSizes(plug);

  // Which registered images the first page decoded; then every image, as the open used to.
  UIConfigManager* ui = plug->getUIConfigManager();
  std::vector<std::string> shown;
  for (const auto& entry : ui->imageCache) {
    IBitmap bm = ui->getImageByName(g, entry.first);
    if (!bm.mData) continue;
    const size_t before = IGraphics::DecodedBitmapBytes();
    bm.mData->getBits();
    if (IGraphics::DecodedBitmapBytes() == before) shown.push_back(entry.second.file);
  }
  const size_t decodedAll = IGraphics::DecodedBitmapBytes();

  std::fflush(stdout);
  std::printf("\none editor open on the authored interface, first page drawn (%s)\n", editorbench::machine().c_str());
  const long long host = headlessHostBytes();
  std::printf("headless host:        %7.1f MB   (sorvanta-host --headless, editor open, nothing drawn)\n", host / kMB);
  std::printf("prepared SysEx:       %7.2f MB   as whole messages: %.2f MB  (%zu bindings, %zu messages)\n",
              sysex.now / kMB, sysex.whole / kMB, sysex.bindings, sysex.messages);
  std::printf("decoded images:       %7.1f MB   every image decoded: %.1f MB  (%zu of %zu images on the first page)\n",
              decodedOpen / kMB, decodedAll / kMB, shown.size(), ui->imageCache.size());
  for (int cores : {0, 2}) {
    const OpenFigures f = medianOpen(argv[0], shown, cores, 15);
    if (!cores)
      std::printf("resident size:        %7.1f MB   at ready (process before the open: %.1f MB); %.1f MB once the "
                  "other tabs' images are decoded\n",
                  f.rssReady / kMB, f.rssBefore / kMB, f.rssSettled / kMB);
    std::printf("open to ready:        %7.1f ms   unavoidable work %.1f ms (decipher + XML parse + PNG decode of the "
                "first page, pixels kept)  ratio %.2fx  [medians of 15 each, fresh processes, %s]\n",
                f.open, f.reference, f.open / f.reference, cores ? "2 cores" : "all cores");
  }
  delete plug;
  return 0;
}
