// The link's busy waits: SpinDelay units of 0.1 ms, and WaitMs on the time of
// day across midnight.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "ComPortClass.h"
#include "RecordingOperator.h"
#include "ComPort.h"

using namespace std::chrono;

namespace {
double MsToRun(auto&& work) {
  const auto start = steady_clock::now();
  work();
  return duration<double, std::milli>(steady_clock::now() - start).count();
}

// A time of day that moves on 1 ms with every reading.
struct SteppingClock {
  int next;
  std::vector<int>* readings;
  LocalDateTime operator()() {
    const int ms = next;
    next = (next + 1) % 86'400'000;
    readings->push_back(ms);
    LocalDateTime t;
    t.Hour = ms / 3'600'000;
    t.Minute = ms / 60'000 % 60;
    t.Second = ms / 1000 % 60;
    t.Millisecond = ms % 1000;
    return t;
  }
};
constexpr int kAt235959900 = 86'399'900;
}  // namespace

TEST(SpinDelay, OneUnitIsATenthOfAMillisecond) {
  EXPECT_GE(MsToRun([] { TComPortClass::SpinDelay(200); }), 20.0);
  EXPECT_LT(MsToRun([] { TComPortClass::SpinDelay(200); }), 200.0);
  EXPECT_LT(MsToRun([] { TComPortClass::SpinDelay(0); }), 1.0);
  EXPECT_LT(MsToRun([] { TComPortClass::SpinDelay(-5); }), 1.0);
}

TEST(WaitMs, WaitsOnTheTimeOfDayAcrossMidnight) {
  TComPort port;
  RecordingOperator form;
  TComPortClass link(port, form);
  std::vector<int> readings;
  link.Clock = SteppingClock{kAt235959900, &readings};
  link.WaitMs(300);
  // Started at 23:59:59.900, the first reading at or past 300 ms ends it: 00:00:00.200.
  ASSERT_FALSE(readings.empty());
  EXPECT_EQ(readings.front(), kAt235959900);
  EXPECT_EQ(readings.back(), 200);
  EXPECT_EQ(readings.size(), 301u);

  // Zero or less: the start and one more reading.
  for (int ms : {0, -7}) {
    readings.clear();
    link.Clock = SteppingClock{5000, &readings};
    link.WaitMs(ms);
    EXPECT_EQ(readings.size(), 2u) << ms;
  }

  link.Clock = SystemLocalTime;
  EXPECT_GE(MsToRun([&] { link.WaitMs(50); }), 49.0);
}
