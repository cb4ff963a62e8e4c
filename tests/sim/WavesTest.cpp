// Registers that move in time (--wave): each kind's value at known moments,
// the walk's bounded steps, and answers that carry the value of their moment.
#include <gtest/gtest.h>

#include <thread>

#include "DeviceBanks.h"
#include "SimBus.h"
#include "SimCrc.h"
#include "Waves.h"

TEST(Waves, ParsedWithTheirDefaultPeriods) {
  std::string error;
  auto wave = ParseWave("5:ramp:60", &error);
  ASSERT_TRUE(wave) << error;
  EXPECT_EQ(wave->Register, 5);
  EXPECT_EQ(wave->Kind, WaveKind::Ramp);
  EXPECT_EQ(wave->PeriodS, 60);
  EXPECT_EQ(ParseWave("0:sine")->PeriodS, 10);
  EXPECT_EQ(ParseWave("0:counter")->PeriodS, 1);
  EXPECT_EQ(ParseWave("1023:walk:0.1")->Kind, WaveKind::Walk);
  for (const char* bad : {"", "0", "1024:sine", "-1:sine", "x:sine", "0:square", "0:sine:0", "0:sine:x", "0:sine:1:2"}) {
    error.clear();
    EXPECT_FALSE(ParseWave(bad, &error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}

TEST(Waves, EachKindAtKnownMoments) {
  WaveSet waves({{0, WaveKind::Ramp, 10}, {1, WaveKind::Sine, 10}, {2, WaveKind::Counter, 0.5}}, 1);
  EXPECT_EQ(waves.Value(0, 0), 0);
  EXPECT_EQ(waves.Value(0, 2.5), 250);
  EXPECT_EQ(waves.Value(0, 12.5), 250) << "again from 0 each period";
  EXPECT_EQ(waves.Value(1, 0), 1000);
  EXPECT_EQ(waves.Value(1, 2.5), 2000);
  EXPECT_EQ(waves.Value(1, 7.5), 0);
  EXPECT_EQ(waves.Value(2, 0.4), 0);
  EXPECT_EQ(waves.Value(2, 3.1), 6);
}

TEST(Waves, TheWalkTakesBoundedStepsAndStaysInItsRange) {
  WaveSet waves({{0, WaveKind::Walk, 1}}, 42);
  int last = waves.Value(0, 0);
  EXPECT_EQ(last, 1000);
  int moved = 0;
  for (int second = 1; second <= 5000; ++second) {
    const int value = waves.Value(0, second);
    EXPECT_LE(std::abs(value - last), 10);
    EXPECT_GE(value, 0);
    EXPECT_LE(value, 2000);
    moved += value != last;
    last = value;
  }
  EXPECT_GT(moved, 4000);
  WaveSet same({{0, WaveKind::Walk, 1}}, 42);
  EXPECT_EQ(same.Value(0, 5000), last) << "the same seed walks the same way, however it is sampled";
}

TEST(Waves, AnAnswerCarriesTheValueOfItsMoment) {
  SimOptions options;
  options.waves = {{3, WaveKind::Counter, 0.05}};
  SimBus bus(options);
  const std::vector<uint8_t> read = [] {
    std::vector<uint8_t> frame{0x01, 0x03, 0x00, 0x03, 0x00, 0x01};
    AppendCrc(frame);
    return frame;
  }();
  const auto first = bus.Handle(read).bytes;
  std::this_thread::sleep_for(std::chrono::milliseconds(250));
  const auto later = bus.Handle(read).bytes;
  ASSERT_EQ(first.size(), 7u);
  ASSERT_EQ(later.size(), 7u);
  const int a = first[3] << 8 | first[4], b = later[3] << 8 | later[4];
  EXPECT_GE(b - a, 4) << "a step every 50 ms";
  EXPECT_EQ(bus.Device(1)->Banks().holding[4], 1004) << "the register beside it keeps its value";
}
