// One editor opened on the authored interface and its first page drawn, as a host opens it:
// (1) the memory it then holds, beside the process before the open, with the two structures that
// used to dominate it (the prepared SysEx messages and the decoded images) printed next to what
// they cost when every message was kept whole and every image decoded at open; (2) the time from
// construction to the first page on the canvas, beside the work no open can skip, measured in the
// same run: deciphering and parsing the two resources and decoding the PNG files the first page
// shows.
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

// What no open can skip, timed here: the two resources read and deciphered, their texts parsed.
double decipherAndParse() {
  const auto t0 = Clock::now();
  for (const char* name : {UIConfigResources::kUIConfigResource, UIConfigResources::kSysExResource}) {
    std::vector<unsigned char> bytes;
    UIConfigResources::readResource(UIConfigResources::resourcePath(SORVANTA_BUNDLE_RESOURCES, name), bytes);
    std::string text;
    UIConfigResources::decrypt(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()), text);
    tinyxml2::XMLDocument doc(true, tinyxml2::PRESERVE_WHITESPACE);
    if (doc.Parse(text.c_str()) != tinyxml2::XML_SUCCESS) std::printf("%s does not parse\n", name);
  }
  return secondsSince(t0);
}

double decodeFiles(const std::vector<std::string>& files) {
  const auto t0 = Clock::now();
  for (const std::string& f : files) {
    const std::string path = std::string(SORVANTA_BUNDLE_RESOURCES) + "/" + f.substr(f.find_last_of('/') + 1);
    delete GFX_LoadPNG(path.c_str());
  }
  return secondsSince(t0);
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

// Median open to ready over `runs` fresh processes (each open is a first open, as a host's is),
// each held to the first `cores` cores this one may use (0: all of them); -1 when none ran.
double medianOpenMs(const char* self, int cores, int runs) {
  cpu_set_t allowed;
  if (sched_getaffinity(0, sizeof allowed, &allowed) != 0) return -1;
  cpu_set_t use;
  CPU_ZERO(&use);
  for (int c = 0, taken = 0; c < CPU_SETSIZE && (cores == 0 || taken < cores); ++c)
    if (CPU_ISSET(c, &allowed)) {
      CPU_SET(c, &use);
      ++taken;
    }
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    int out[2];
    if (pipe(out) != 0) break;
    const pid_t pid = fork();
    if (pid < 0) break;
    if (pid == 0) {
      sched_setaffinity(0, sizeof use, &use);
      dup2(out[1], 1);
      const int devNull = open("/dev/null", O_WRONLY);
      dup2(devNull, 2);
      execl(self, self, "--open-only", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(out[1]);
    std::string text;
    char buf[512];
    for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;) text.append(buf, static_cast<size_t>(n));
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    const size_t at = text.find("open to ready: ");
    if (at != std::string::npos) ms.push_back(std::atof(text.c_str() + at + 15));
  }
  if (ms.empty()) return -1;
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  editorbench::Environment env;
  // Every outgoing message and log copy is printed; keep the figures readable.
  std::fflush(stdout);
  const long long rssBefore = editorbench::statusBytes("VmRSS:");
  const auto t0 = Clock::now();
  auto* plug = new Sorvanta(editorbench::instanceInfo());
  const double constructed = secondsSince(t0);
  IGraphics* g = plug->GetGUI();
  editorbench::drawWholeWindow(g);
  const double ready = secondsSince(t0);
  // --open-only: stop here, for a profiler's view of the open alone.
  if (argc > 1 && std::string(argv[1]) == "--open-only") {
    std::printf("open to ready: %.1f ms (constructor %.1f ms)\n", ready * 1e3, constructed * 1e3);
    return 0;
  }
  const long long rssOpen = editorbench::statusBytes("VmRSS:");
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

  double unavoidable = 1e9;
  for (int i = 0; i < 3; ++i) {
    const double t = decipherAndParse() + decodeFiles(shown);
    if (t < unavoidable) unavoidable = t;
  }
  const double parse = decipherAndParse();

  std::printf("\none editor open on the authored interface, first page drawn (%ld cores)\n", sysconf(_SC_NPROCESSORS_ONLN));
  std::printf("resident size:        %7.1f MB   (process before the open: %.1f MB; open editor adds %.1f MB)\n",
              rssOpen / kMB, rssBefore / kMB, (rssOpen - rssBefore) / kMB);
  const long long host = headlessHostBytes();
  std::printf("headless host:        %7.1f MB   (sorvanta-host --headless, editor open, nothing drawn)\n", host / kMB);
  std::printf("prepared SysEx:       %7.2f MB   as whole messages: %.2f MB  (%zu bindings, %zu messages)\n",
              sysex.now / kMB, sysex.whole / kMB, sysex.bindings, sysex.messages);
  std::printf("decoded images:       %7.1f MB   every image decoded: %.1f MB  (%zu of %zu images on the first page)\n",
              decodedOpen / kMB, decodedAll / kMB, shown.size(), ui->imageCache.size());
  std::printf("open to ready:        %7.1f ms   (constructor %.1f ms, first page %.1f ms)\n", ready * 1e3,
              constructed * 1e3, (ready - constructed) * 1e3);
  std::printf("unavoidable work:     %7.1f ms   (decipher + XML parse %.1f ms, PNG decode of the first page %.1f ms)  ratio %.2fx\n",
              unavoidable * 1e3, parse * 1e3, (unavoidable - parse) * 1e3, ready / unavoidable);
  // Each open above is one sample; fresh processes give the median, on all cores and on two.
  const double all = medianOpenMs(argv[0], 0, 15), two = medianOpenMs(argv[0], 2, 15);
  std::printf("median of 15 opens:   %7.1f ms on all cores (%.2fx), %.1f ms on 2 cores (%.2fx)\n", all,
              all / (unavoidable * 1e3), two, two / (unavoidable * 1e3));
  delete plug;
  return 0;
}
