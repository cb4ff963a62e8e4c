// The simulator on a real pseudo-terminal, in-process: framing by length and
// by silence, the bytes each fault puts on the wire, pacing, the log, and a
// client closing and reopening the port.
#include <gtest/gtest.h>

#include "SimCrc.h"
#include "SimTestSupport.h"

namespace {
SimOptions WithFaults(std::initializer_list<const char*> faults) {
  SimOptions options;
  for (const char* f : faults) options.faults.push_back(*ParseFault(f));
  return options;
}
const std::vector<uint8_t> kRead2 = {1, 3, 0, 0, 0, 2};
const std::vector<uint8_t> kAnswer2 = WithCrc({1, 3, 4, 0x03, 0xE8, 0x03, 0xE9});

double Ms(std::chrono::steady_clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }
}  // namespace

TEST(LineServer, FramesByLengthAndBySilence) {
  RunningSim sim;
  RawPort port(sim.SlavePath());
  EXPECT_EQ(port.Ask(kRead2, 100), kAnswer2);

  // Two requests in one write are two frames, both answered.
  auto both = WithCrc({1, 14});
  const auto second = WithCrc(kRead2);
  both.insert(both.end(), second.begin(), second.end());
  port.Write(both);
  auto expected = WithCrc({1, 14});
  expected.insert(expected.end(), kAnswer2.begin(), kAnswer2.end());
  EXPECT_EQ(port.Read(expected.size()), expected);

  // 69 and a 68 without module number end by silence; then busy polls.
  std::vector<uint8_t> write{1, 69, 3};
  for (int i = 1; i < 20; ++i) write.push_back(static_cast<uint8_t>(i));
  port.Write(WithCrc(write));
  EXPECT_TRUE(port.Read(10, 100ms).empty());
  for (int poll = 0; poll < 3; ++poll) EXPECT_EQ(port.Ask({1, 14}, 10), WithCrc({1, 0x8E, 6}));
  EXPECT_EQ(port.Ask({1, 14}, 10), WithCrc({1, 14}));
  // A 69 and a 14 without a gap between them are still two frames.
  auto joined = WithCrc(write);
  const auto poll = WithCrc({1, 14});
  joined.insert(joined.end(), poll.begin(), poll.end());
  port.Write(joined);
  EXPECT_EQ(port.Read(10), WithCrc({1, 0x8E, 6}));
  auto database = write;
  database[1] = 68;
  database.insert(database.begin() + 2, 20);
  EXPECT_EQ(port.Ask({1, 68}, 100), WithCrc(database));

  // Bytes cut short (no valid frame) are dropped at the silence; the line recovers.
  port.Write({1, 3, 0});
  EXPECT_TRUE(port.Read(10, 50ms).empty());
  EXPECT_EQ(port.Ask(kRead2, 100), kAnswer2);

  const auto log = sim.Log();
  EXPECT_NE(std::find(log.begin(), log.end(), "RX 01 03 00 00 00 02 C4 0B  crc ok"), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "TX " + HexBytes(kAnswer2) + "  crc ok"), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "RX 01 03 00  crc bad"), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "device 1: database of module 3 stored (20 bytes), busy"), log.end());
}

TEST(LineServer, FaultsPutTheirBytesOnTheWire) {
  {
    RunningSim sim(WithFaults({"partial:3"}));
    RawPort port(sim.SlavePath());
    port.Write(WithCrc(kRead2));
    EXPECT_EQ(port.Read(100, 1000ms, 150ms), std::vector<uint8_t>(kAnswer2.begin(), kAnswer2.begin() + 3));
  }
  {
    RunningSim sim(WithFaults({"silence"}));
    RawPort port(sim.SlavePath());
    port.Write(WithCrc(kRead2));
    EXPECT_TRUE(port.Read(100, 150ms).empty());
    const auto log = sim.Log();
    EXPECT_NE(std::find(log.begin(), log.end(), "fault: silence"), log.end());
  }
  {
    RunningSim sim(WithFaults({"badcrc", "wrongaddr"}));
    RawPort port(sim.SlavePath());
    const auto got = port.Ask(kRead2, 100);
    ASSERT_EQ(got.size(), kAnswer2.size());
    EXPECT_EQ(got[0], 2);
    EXPECT_TRUE(std::equal(kAnswer2.begin() + 1, kAnswer2.end() - 2, got.begin() + 1));
    EXPECT_FALSE(FrameCrcGood(got));
  }
  {
    RunningSim sim(WithFaults({"exception:6"}));
    RawPort port(sim.SlavePath());
    EXPECT_EQ(port.Ask(kRead2, 100), WithCrc({1, 0x83, 6}));
  }
  {
    RunningSim sim(WithFaults({"wrongfunc"}));
    RawPort port(sim.SlavePath());
    const auto got = port.Ask(kRead2, 100);
    ASSERT_EQ(got.size(), kAnswer2.size());
    EXPECT_EQ(got[1], 0x43);
    EXPECT_TRUE(FrameCrcGood(got));
  }
  {
    RunningSim sim(WithFaults({"delay:150"}));
    RawPort port(sim.SlavePath());
    const auto start = std::chrono::steady_clock::now();
    port.Write(WithCrc(kRead2));
    EXPECT_TRUE(port.Read(100, 100ms).empty());
    EXPECT_EQ(port.Read(kAnswer2.size(), 2000ms), kAnswer2);
    EXPECT_GE(Ms(std::chrono::steady_clock::now() - start), 140);
  }
  {
    RunningSim sim(WithFaults({"garbage:40"}));
    RawPort port(sim.SlavePath());
    EXPECT_EQ(port.Ask(kRead2, 100).size(), 40u);
  }
}

TEST(LineServer, PacesAnswersAtTheCharacterTime) {
  // 125 registers: a 255-byte answer. At 9600 baud, 8E1 is 11 bits a byte:
  // 1.146 ms per character, so about 292 ms; without pacing it is immediate.
  const std::vector<uint8_t> request{1, 3, 0, 0, 0, 125};
  auto timed = [&](LineTiming timing) {
    RunningSim sim({}, timing);
    RawPort port(sim.SlavePath());
    const auto start = std::chrono::steady_clock::now();
    const auto answer = port.Ask(request, 255);
    EXPECT_EQ(answer.size(), 255u);
    return Ms(std::chrono::steady_clock::now() - start);
  };
  const double paced = timed({9600, 'E', 1});
  EXPECT_GT(paced, 270);
  EXPECT_LT(paced, 1500);
  EXPECT_LT(timed({}), 150);

  EXPECT_EQ(LineTiming({9600, 'N', 1}).CharTime(), std::chrono::nanoseconds(1'041'666));
  EXPECT_EQ(LineTiming({9600, 'O', 2}).CharTime(), std::chrono::nanoseconds(1'250'000));
  EXPECT_EQ(LineTiming({9600, 'N', 1}).Silence(), std::chrono::nanoseconds(3'645'831));
  EXPECT_EQ(LineTiming({115200, 'N', 1}).Silence(), std::chrono::milliseconds(2));
  EXPECT_EQ(LineTiming{}.Silence(), std::chrono::milliseconds(2));
}

TEST(LineServer, ServesAgainAfterTheClientClosesThePort) {
  RunningSim sim;
  for (int round = 0; round < 3; ++round) {
    RawPort port(sim.SlavePath());
    EXPECT_EQ(port.Ask(kRead2, 100), kAnswer2) << round;
  }
}
