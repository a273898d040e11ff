#include <gtest/gtest.h>

#include <chrono>

#include "WINX_Time.h"

namespace {
double elapsedUs(void (*f)()) {
  auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count();
}
}  // namespace

TEST(Sleep, ZeroStillYieldsAboutHundredMicroseconds) {
  EXPECT_GE(elapsedUs([] { Sleep(0); }), 100.0);
}

TEST(Sleep, NegativeReturnsAtOnceInsteadOfSeventyOneMinutes) {
  EXPECT_LT(elapsedUs([] { Sleep(-1); }), 50000.0);
  EXPECT_LT(elapsedUs([] { Sleep(-2147483647 - 1); }), 50000.0);
}

TEST(Sleep, SleepsAtLeastTheMilliseconds) {
  EXPECT_GE(elapsedUs([] { Sleep(3); }), 3000.0);
}

TEST(GetTickCount, ComposesMillisecondsAndWrapsAt32Bits) {
  EXPECT_EQ(WINX_TicksFromTime(1, 999999000), 1999u);
  EXPECT_EQ(WINX_TicksFromTime(1, 999999999), 1999u);
  EXPECT_EQ(WINX_TicksFromTime(4294967, 295000000), 4294967295u);
  EXPECT_EQ(WINX_TicksFromTime(4294967, 296000000), 0u);
  // Differences taken as unsigned 32-bit stay right across the wrap.
  uint32_t before = WINX_TicksFromTime(4294967, 200000000);
  uint32_t after = WINX_TicksFromTime(4294967, 300000000 + 250000000);
  EXPECT_EQ(static_cast<uint32_t>(after - before), 350u);
}

TEST(GetTickCount, AdvancesWithSleep) {
  uint32_t t0 = GetTickCount();
  Sleep(5);
  uint32_t d = GetTickCount() - t0;
  EXPECT_GE(d, 4u);
  EXPECT_LT(d, 5000u);
}
