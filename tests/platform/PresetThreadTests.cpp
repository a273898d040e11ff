// The factory-presets array's records against a host that retains and releases them on two
// threads at once. Built and run under TSan ("threads").
#include <gtest/gtest.h>

#include <thread>

#include "CFString.h"
#include "IPluginAU.h"

TEST(PresetRecordThreads, RetainAndReleaseOnTwoThreadsKeepTheCount) {
  CFAUPresetRef r = CFAUPresetCreate(nullptr, 1, CFSTR("Pad"));
  ASSERT_NE(nullptr, r);
  CFMutableArrayRef a = CFArrayCreateMutable(nullptr, 0, &kCFAUPresetArrayCallBacks);
  CFArrayAppendValue(a, r);
  CFAUPresetRelease(r);  // the array holds the only reference now
  auto churn = [r] {
    for (int i = 0; i < 20000; ++i) {
      CFAUPresetRetain(r);
      CFAUPresetRelease(r);
    }
  };
  std::thread other(churn);
  churn();
  other.join();
  EXPECT_EQ(1, r->retainCount.load());
  CFRelease(a);  // the last reference: freed (ASan checks)
}
