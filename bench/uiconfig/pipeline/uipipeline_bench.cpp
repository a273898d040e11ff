// Start-up cost of building the whole window: readUIConfig on a generated description that binds
// every one of the 9289 parameters (sixteen-part multilayers for the per-part blocks, top-level
// controls for the rest, SysEx and CC bindings alternating), read enciphered from a folder.
// Printed beside the bound measured in the same run: tinyxml2 parsing the same text alone.
// Memory: bytes allocated at the peak of the build (a counting operator new) and the growth of
// the process's maximum resident set (getrusage ru_maxrss) over the first build.
#include <malloc.h>
#include <sys/resource.h>
#include <tinyxml2.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "PipelineTestSupport.h"

namespace {

std::atomic<long long> gLive{0}, gPeak{0};

void countAlloc(void* p) {
  if (!p) return;
  const long long now = gLive += static_cast<long long>(malloc_usable_size(p));
  long long peak = gPeak.load();
  while (now > peak && !gPeak.compare_exchange_weak(peak, now)) {
  }
}

}  // namespace

// The replacements pair malloc with free on purpose; GCC cannot see that both sides are ours.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(std::size_t n) {
  void* p = std::malloc(n ? n : 1);
  if (!p) throw std::bad_alloc();
  countAlloc(p);
  return p;
}
void operator delete(void* p) noexcept {
  if (p) gLive -= static_cast<long long>(malloc_usable_size(p));
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
void* operator new[](std::size_t n) { return operator new(n); }
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { operator delete(p); }

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

long maxRssKb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

std::string hex2(int v) {
  char b[4];
  std::snprintf(b, sizeof b, "%02X", v & 0x7F);
  return b;
}

// One SysEx template per named parameter entry, and a description binding every number.
void generate(std::string& sysex, std::string& ui, int* bound) {
  sysex = "<sysexlist>\n";
  ui = "<uiconfig>\n<layer name=\"root\" id=\"1\">\n";
  std::string perPart;
  int container = 0, n = 0;
  for (std::size_t i = 0; i < paramNameTableSize(); ++i) {
    const ParamNameEntry& e = paramNameTable()[i];
    if (e.blockSize == 0) continue;
    const bool useSysEx = (i % 2) == 0;
    std::string el;
    if (useSysEx) {
      const bool partless = e.blockSize == 1;
      sysex += "<sysex><values><value>3E 10 00 " + std::string(partless ? "21 " : "20 00 ") +
               hex2(container >> 7) + " " + hex2(container) + " 00</value></values></sysex>\n";
      el = "<knobcontrol type=\"seKnob\" name=\"P\" paramId=\"" + std::string(e.name) +
           "\" imageId=\"IKNOBROTATERCONTROL_ID2\" position=\"10,10\" valueBounds=\"0,0,127,1\" "
           "sysexIndex=\"" +
           std::to_string(container) + "\" changingByte=\"" + (partless ? "7" : "8") + "\"/>\n";
      ++container;
    } else {
      el = "<knobcontrol type=\"ccKnob\" name=\"P\" paramId=\"" + std::string(e.name) +
           "\" imageId=\"IKNOBROTATERCONTROL_ID2\" position=\"10,10\" valueBounds=\"0,0,127,1\" "
           "ccNumber=\"" +
           std::to_string(i % 120) + "\" channel=\"1\"/>\n";
    }
    if (e.blockSize == 16)
      perPart += el;
    else
      ui += el;
    n += e.blockSize;
  }
  // Unnamed numbers are reached from the name below them with an offset.
  for (int num = 0; num < kNumParams; ++num) {
    int part = -1;
    if (findParamByNumber(num, &part)) continue;
    int below = num - 1;
    while (below >= 0 && !findParamByNumber(below)) --below;
    const ParamNameEntry* e = findParamByNumber(below, &part);
    const int base = e->number;
    ui += "<switch name=\"U\" paramId=\"" + std::string(e->name) + "+" +
          std::to_string(num - base) +
          "\" imageId=\"BTN_SMALL_ID\" position=\"1,1\" valueBounds=\"0,0,1\"/>\n";
    ++n;
  }
  ui += "<multilayer name=\"part\" create=\"16\">\n" + perPart +
        "</multilayer>\n</layer>\n</uiconfig>\n";
  sysex += "</sysexlist>\n";
  *bound = n;
}

}  // namespace

int main() {
  std::string sysexText, uiText;
  int bound = 0;
  generate(sysexText, uiText, &bound);

  char dir[] = "/tmp/uipipeline-bench-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  writeFile(std::string(dir) + "/sysex.tea", encipher(sysexText));
  writeFile(std::string(dir) + "/uiconfig.tea", encipher(uiText));

  const int reps = 5;
  double bestBuild = 1e300, bestParse = 1e300;
  long long peakBytes = 0;
  long rssGrowth = 0;
  int boundAfter = 0;
  for (int r = 0; r < reps; ++r) {
    {
      PipelinePlug plug;
      auto* graphics = new MemoryGraphics(&plug, 0, 0);
      {
        UIConfigManager manager;
        manager.setResourcesFolder(dir);
        const long rss0 = maxRssKb();
        const long long live0 = gLive.load();
        gPeak = live0;
        const auto t0 = Clock::now();
        manager.readUIConfig(graphics, &plug, nullptr, 0, 1.0);
        const double ms = msSince(t0);
        if (ms < bestBuild) bestBuild = ms;
        if (r == 0) {
          peakBytes = gPeak.load() - live0;
          rssGrowth = maxRssKb() - rss0;
          for (int i = 0; i < kNumParams; ++i)
            if (plug.GetParam(i)->GetControlAction()) ++boundAfter;
        }
      }
      delete graphics;
    }
    const auto t1 = Clock::now();
    {
      tinyxml2::XMLDocument doc(true, tinyxml2::PRESERVE_WHITESPACE);
      doc.Parse(uiText.c_str());
    }
    const double parseMs = msSince(t1);
    if (parseMs < bestParse) bestParse = parseMs;
  }
  std::remove((std::string(dir) + "/sysex.tea").c_str());
  std::remove((std::string(dir) + "/uiconfig.tea").c_str());
  rmdir(dir);

  std::printf("description: %zu bytes, %d parameters addressed, %d bound after the build\n",
              uiText.size(), bound, boundAfter);
  std::printf("readUIConfig (decipher + parse + build): %.2f ms best of %d = %.0f parameters/ms\n",
              bestBuild, reps, boundAfter / bestBuild);
  std::printf("tinyxml2 parse of the same text alone:   %.2f ms (%.1f%% of the build)\n", bestParse,
              100.0 * bestParse / bestBuild);
  std::printf("peak heap during the build: %.1f MB allocated; max RSS grew %.1f MB\n",
              peakBytes / 1048576.0, rssGrowth / 1024.0);
  return 0;
}
