// Reads state files of 10,000 to 400,000 dictionary keys through the property-list reader and
// sets each time beside the time tinyxml2 alone takes to parse the same bytes (the floor: the
// reader parses with it, then builds the dictionary). Linear reading keeps the ratio flat.
#include <tinyxml2.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <unistd.h>

#include "CFBase.h"
#include "CFCollections.h"
#include "CFPropertyList.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

std::string stateFile(int keys) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n";
  for (int i = 0; i < keys; ++i) xml += "\t<key>k" + std::to_string(i) + "</key>\n\t<integer>" + std::to_string(i) + "</integer>\n";
  return xml + "</dict>\n</plist>\n";
}

}  // namespace

int main() {
  printf("cf_restore_bench: %u cores\n", std::thread::hardware_concurrency());
  printf("%8s %10s %12s %12s %7s\n", "keys", "bytes", "reader ms", "xml-only ms", "ratio");
  const std::string path = "/tmp/sorvanta-cf-bench-" + std::to_string(getpid()) + ".plist";
  for (int keys : {10000, 40000, 100000, 400000}) {
    const std::string xml = stateFile(keys);
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return 1;
    fwrite(xml.data(), 1, xml.size(), f);
    fclose(f);
    double reader = 1e30, floor = 1e30;
    for (int run = 0; run < 3; ++run) {
      auto t0 = Clock::now();
      std::string why;
      CFPropertyListRef list = CFPropertyListCreateFromFile(path.c_str(), &why);
      reader = std::min(reader, msSince(t0));
      if (CFDictionaryGetCount(static_cast<CFDictionaryRef>(list)) != keys) {
        fprintf(stderr, "cf_restore_bench: read %s\n", why.c_str());
        return 1;
      }
      CFRelease(list);
      t0 = Clock::now();
      tinyxml2::XMLDocument doc;
      doc.LoadFile(path.c_str());
      floor = std::min(floor, msSince(t0));
    }
    printf("%8d %10zu %12.1f %12.1f %7.2f\n", keys, xml.size(), reader, floor, reader / floor);
  }
  remove(path.c_str());
  return 0;
}
