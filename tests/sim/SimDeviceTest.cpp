// The device model in-process: the documented bank pattern, the standard
// answers and exceptions, and the device-specific codes in the tool's shapes.
#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "Crc16.h"
#include "RequestFraming.h"
#include "SimBus.h"
#include "SimCrc.h"
#include "SimTestSupport.h"

namespace {
std::optional<std::vector<uint8_t>> Ask(SimDevice& device, std::vector<uint8_t> request) {
  return device.Handle(WithCrc(std::move(request)));
}
std::vector<uint8_t> Answer(std::vector<uint8_t> body) { return WithCrc(std::move(body)); }
}  // namespace

TEST(SimCrc, AgreesWithPublishedValuesAndTheLinksOwnCrc) {
  const std::string digits = "123456789";
  EXPECT_EQ(SimCrc16(reinterpret_cast<const uint8_t*>(digits.data()), digits.size()), 0x4B37);
  EXPECT_EQ(HexBytes(WithCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0x0A})), "01 03 00 00 00 0A C5 CD");
  EXPECT_EQ(HexBytes(WithCrc({0x01, 0x0E})), "01 0E 81 E4");
  EXPECT_TRUE(FrameCrcGood(Bytes({0x01, 0x0E, 0x81, 0xE4})));
  EXPECT_FALSE(FrameCrcGood(Bytes({0x01, 0x0E, 0x81, 0xE5})));

  std::mt19937 random(7);
  std::vector<uint8_t> data(300);
  for (auto& b : data) b = static_cast<uint8_t>(random());
  for (size_t n = 0; n <= data.size(); ++n)
    ASSERT_EQ(SimCrc16(data.data(), n), Crc16(static_cast<int32_t>(n), data.data())) << n;
}

TEST(SimDevice, StandardReadsGiveTheDocumentedPattern) {
  SimDevice one(1, {});
  // Holding register k = 1000·address + k; input register k = its complement.
  EXPECT_EQ(Ask(one, {1, 3, 0, 0, 0, 3}), Answer({1, 3, 6, 0x03, 0xE8, 0x03, 0xE9, 0x03, 0xEA}));
  EXPECT_EQ(Ask(one, {1, 4, 0x03, 0xFF, 0, 1}), Answer({1, 4, 2, 0xF8, 0x18}));  // ~(1000 + 1023)
  // Coil k on when (k + address) % 3 == 0: coils 2, 5, 8.
  EXPECT_EQ(Ask(one, {1, 1, 0, 0, 0, 10}), Answer({1, 1, 2, 0x24, 0x01}));
  // Input k on when (k + address) % 5 == 0: inputs 4, 9.
  EXPECT_EQ(Ask(one, {1, 2, 0, 0, 0, 10}), Answer({1, 2, 2, 0x10, 0x02}));

  SimDevice seven(7, {});
  EXPECT_EQ(Ask(seven, {7, 3, 0, 10, 0, 1}), Answer({7, 3, 2, 0x1B, 0x62}));  // 7010
  EXPECT_EQ(Ask(seven, {7, 1, 0, 0, 0, 3}), Answer({7, 1, 1, 0x04}));          // coil 2
  // The whole coil bank in one read: 2000 coils, 250 bytes.
  const auto all = Ask(seven, {7, 1, 0, 0, 0x07, 0xD0});
  ASSERT_TRUE(all);
  ASSERT_EQ(all->size(), 255u);
  EXPECT_EQ((*all)[2], 250);
}

TEST(SimDevice, StandardWritesEchoAndAreReadBack) {
  SimDevice device(1, {});
  EXPECT_EQ(Ask(device, {1, 5, 0, 1, 0xFF, 0}), Answer({1, 5, 0, 1, 0xFF, 0}));
  EXPECT_EQ(Ask(device, {1, 5, 0, 2, 0, 0}), Answer({1, 5, 0, 2, 0, 0}));
  EXPECT_EQ(Ask(device, {1, 1, 0, 0, 0, 3}), Answer({1, 1, 1, 0x02}));
  EXPECT_EQ(Ask(device, {1, 6, 0x01, 0x00, 0xBE, 0xEF}), Answer({1, 6, 0x01, 0x00, 0xBE, 0xEF}));
  EXPECT_EQ(Ask(device, {1, 3, 0x01, 0x00, 0, 1}), Answer({1, 3, 2, 0xBE, 0xEF}));
  // Code 15 as the tool sends it: quantity 9, byte count 2; answer of 8 bytes.
  EXPECT_EQ(Ask(device, {1, 15, 0, 16, 0, 9, 2, 0xFF, 0x00}), Answer({1, 15, 0, 16, 0, 9}));
  EXPECT_EQ(Ask(device, {1, 1, 0, 16, 0, 10}), Answer({1, 1, 2, 0xFF, 0x00}));
  EXPECT_EQ(Ask(device, {1, 15, 0, 0, 0, 1, 1, 0x00}), Answer({1, 15, 0, 0, 0, 1}));
  EXPECT_EQ(Ask(device, {1, 1, 0, 0, 0, 1}), Answer({1, 1, 1, 0x00}));
}

TEST(SimDevice, ExceptionsForUnservedCodesBadAddressesAndBadQuantities) {
  SimDevice device(1, {});
  EXPECT_EQ(Ask(device, {1, 16, 0, 0, 0, 1, 2, 0, 0}), Answer({1, 0x90, 1}));
  EXPECT_EQ(Ask(device, {1, 65, 0, 0}), Answer({1, 0xC1, 1}));
  EXPECT_EQ(Ask(device, {1, 3, 0x03, 0xFF, 0, 2}), Answer({1, 0x83, 2}));  // past register 1023
  EXPECT_EQ(Ask(device, {1, 4, 0x04, 0x00, 0, 1}), Answer({1, 0x84, 2}));
  EXPECT_EQ(Ask(device, {1, 1, 0x07, 0xFF, 0, 2}), Answer({1, 0x81, 2}));  // past coil 2047
  EXPECT_EQ(Ask(device, {1, 2, 0x08, 0x00, 0, 1}), Answer({1, 0x82, 2}));
  EXPECT_EQ(Ask(device, {1, 5, 0x08, 0x00, 0xFF, 0}), Answer({1, 0x85, 2}));
  EXPECT_EQ(Ask(device, {1, 6, 0x04, 0x00, 0, 1}), Answer({1, 0x86, 2}));
  EXPECT_EQ(Ask(device, {1, 15, 0x07, 0xFF, 0, 2, 1, 3}), Answer({1, 0x8F, 2}));
  EXPECT_EQ(Ask(device, {1, 3, 0, 0, 0, 0}), Answer({1, 0x83, 3}));
  EXPECT_EQ(Ask(device, {1, 3, 0, 0, 0, 126}), Answer({1, 0x83, 3}));
  EXPECT_EQ(Ask(device, {1, 1, 0, 0, 0x07, 0xD1}), Answer({1, 0x81, 3}));
  EXPECT_EQ(Ask(device, {1, 5, 0, 0, 0x12, 0x34}), Answer({1, 0x85, 3}));
  EXPECT_EQ(Ask(device, {1, 15, 0, 0, 0, 9, 1, 0xFF}), Answer({1, 0x8F, 3}));  // byte count too small
  EXPECT_EQ(Ask(device, {1, 15, 0, 0, 0, 0, 0}), Answer({1, 0x8F, 3}));
  // A failed write changes nothing.
  EXPECT_EQ(Ask(device, {1, 3, 0x03, 0xFF, 0, 1}), Answer({1, 3, 2, 0x07, 0xE7}));
  // 14 and 17 carry no data: with data they are bad requests, not echoed at
  // any length (a 14 with 336 data bytes was once echoed as a 340-byte answer).
  EXPECT_EQ(Ask(device, {1, 14, 0, 0}), Answer({1, 0x8E, 3}));
  std::vector<uint8_t> longPoll{1, 14};
  longPoll.resize(2 + 336, 0x30);
  EXPECT_EQ(Ask(device, longPoll), Answer({1, 0x8E, 3}));
  EXPECT_EQ(Ask(device, {1, 17, 5}), Answer({1, 0x91, 3}));
}

TEST(SimDevice, ReportSlaveIdAndTheBlockCodes) {
  SimDevice device(5, {});
  std::vector<uint8_t> id{5, 17, 12, 5, 0xFF};
  for (char c : std::string("modbus-sim")) id.push_back(static_cast<uint8_t>(c));
  EXPECT_EQ(Ask(device, {5, 17}), WithCrc(id));

  // 66: the tool sends 0, a, 0, b and expects byte count 24.
  const auto a66 = Ask(device, {5, 66, 0, 0x11, 0, 0x22});
  ASSERT_TRUE(a66);
  ASSERT_EQ(a66->size(), 24u + 5);
  EXPECT_EQ((*a66)[2], 24);
  EXPECT_EQ((*a66)[3], 0x11);
  EXPECT_EQ((*a66)[4], 0x22);
  EXPECT_EQ((*a66)[26], 5 + 23);

  // 67: 0, a; 128 bytes, each below 100 so they read as two decimal digits.
  const auto a67 = Ask(device, {5, 67, 0, 98});
  ASSERT_TRUE(a67);
  ASSERT_EQ(a67->size(), 128u + 5);
  EXPECT_EQ((*a67)[2], 128);
  EXPECT_EQ((*a67)[3], 98);
  EXPECT_EQ((*a67)[4], 99);
  EXPECT_EQ((*a67)[5], 0);

  // 100: 2-byte count and the bytes; the answer is byte count 2 and the count.
  std::vector<uint8_t> block{5, 100, 0x01, 0x2C};
  block.resize(4 + 300, 0xAB);
  EXPECT_EQ(Ask(device, block), Answer({5, 100, 2, 0x01, 0x2C}));
  EXPECT_EQ(device.LastBlock().size(), 300u);
  EXPECT_EQ(Ask(device, {5, 100, 0x00, 0x03, 1, 2}), Answer({5, 0xE4, 3}));  // count disagrees
}

TEST(SimDevice, DatabaseWriteMakesTheDeviceBusyAndIsReadBack) {
  SimDevice device(1, {3, 0});
  // 68 with a module number: that module's database, byte 0 = module.
  const auto initial = Ask(device, {1, 68, 2});
  ASSERT_TRUE(initial);
  ASSERT_EQ(initial->size(), 48u + 5);  // module 2 holds 32 + 8·2 bytes
  EXPECT_EQ((*initial)[2], 48);
  EXPECT_EQ((*initial)[3], 2);
  EXPECT_EQ((*initial)[4], 0x21);
  // Without one: the module selected last.
  EXPECT_EQ(Ask(device, {1, 68}), initial);

  EXPECT_EQ(Ask(device, {1, 14}), Answer({1, 14}));  // idle: echo
  std::vector<uint8_t> write{1, 69, 5};
  for (int i = 1; i < 40; ++i) write.push_back(static_cast<uint8_t>(0xC0 + i));
  EXPECT_FALSE(Ask(device, write));  // 69 is never answered
  for (int poll = 0; poll < 3; ++poll) EXPECT_EQ(Ask(device, {1, 14}), Answer({1, 0x8E, 6})) << poll;
  EXPECT_EQ(Ask(device, {1, 14}), Answer({1, 14}));
  EXPECT_EQ(Ask(device, {1, 14}), Answer({1, 14}));

  std::vector<uint8_t> expected{1, 68, 40};
  expected.insert(expected.end(), write.begin() + 2, write.end());
  EXPECT_EQ(Ask(device, {1, 68, 5}), Answer(expected));
  EXPECT_EQ(Ask(device, {1, 68, 2}), initial);  // other modules keep theirs
  EXPECT_EQ(Ask(device, {1, 68, 5}), Answer(expected));
  EXPECT_EQ(Ask(device, {1, 68}), Answer(expected));

  // An empty write stores nothing and does not turn busy.
  EXPECT_FALSE(Ask(device, {1, 69}));
  EXPECT_EQ(Ask(device, {1, 14}), Answer({1, 14}));
}

TEST(SimDevice, BusyForATimeWhenAskedTo) {
  SimDevice device(1, {3, 150});
  EXPECT_FALSE(Ask(device, {1, 69, 4, 1, 2, 3}));
  for (int poll = 0; poll < 5; ++poll) EXPECT_EQ(Ask(device, {1, 14}), Answer({1, 0x8E, 6}));
  std::this_thread::sleep_for(250ms);
  EXPECT_EQ(Ask(device, {1, 14}), Answer({1, 14}));
}

TEST(SimBus, BroadcastClockAndAddressing) {
  SimOptions options;
  ASSERT_TRUE(ParseDeviceList("1,5-7", options.devices));
  EXPECT_EQ(options.devices, (std::vector<uint8_t>{1, 5, 6, 7}));
  SimBus bus(options);
  // The tool's clock frame for 12:15:30 on 7 December, to address 0.
  EXPECT_EQ(HexBytes(WithCrc({0, 70, 30, 15, 12, 7, 12, 0, 0})), "00 46 1E 0F 0C 07 0C 00 00 A1 62");
  EXPECT_TRUE(bus.Handle(WithCrc({0, 70, 30, 15, 12, 7, 12, 0, 0})).bytes.empty());
  for (uint8_t a : {1, 5, 6, 7}) {
    const auto& clock = bus.Device(a)->Clock();
    EXPECT_EQ(clock.hours, 12);
    EXPECT_EQ(clock.minutes, 15);
    EXPECT_EQ(clock.seconds, 30);
    EXPECT_EQ(clock.day, 7);
    EXPECT_EQ(clock.month, 12);
  }
  // 71: four 54-byte records; each ends with the clock and the second request byte.
  const auto records = bus.Handle(WithCrc({6, 71, 0x10, 0x99})).bytes;
  ASSERT_EQ(records.size(), 216u + 5);
  EXPECT_EQ(records[2], 216);
  EXPECT_EQ(records[3 + 54 * 2], 0x10 + 96);
  EXPECT_EQ(std::vector<uint8_t>(records.begin() + 159, records.begin() + 165),
            (std::vector<uint8_t>{30, 15, 12, 7, 12, 0x99}));

  EXPECT_TRUE(bus.Handle(WithCrc({0, 3, 0, 0, 0, 1})).bytes.empty());  // broadcast read: no answer
  EXPECT_TRUE(bus.Handle(WithCrc({2, 3, 0, 0, 0, 1})).bytes.empty());  // not served
  auto bad = WithCrc({5, 3, 0, 0, 0, 1});
  bad.back() ^= 1;
  EXPECT_TRUE(bus.Handle(bad).bytes.empty());
  EXPECT_EQ(bus.Handle(WithCrc({5, 3, 0, 0, 0, 1})).bytes, Answer({5, 3, 2, 0x13, 0x88}));

  std::vector<uint8_t> none;
  EXPECT_FALSE(ParseDeviceList("0", none));
  EXPECT_FALSE(ParseDeviceList("7-5", none));
  EXPECT_FALSE(ParseDeviceList("1,x", none));
  EXPECT_FALSE(ParseDeviceList("248", none));
  EXPECT_FALSE(ParseDeviceList("", none));
}

TEST(RequestFraming, LengthsOfTheToolsRequests) {
  auto length = [](std::vector<uint8_t> frame) { return CompleteRequestLength(frame.data(), frame.size()); };
  EXPECT_EQ(length({1}), 0u);
  for (uint8_t code : {1, 2, 3, 4, 5, 6, 66}) EXPECT_EQ(length({1, code}), 8u) << int(code);
  EXPECT_EQ(length({1, 14}), 4u);
  EXPECT_EQ(length({1, 17}), 4u);
  EXPECT_EQ(length({1, 67}), 6u);
  EXPECT_EQ(length({1, 71}), 6u);
  EXPECT_EQ(length({1, 68}), 5u);   // with a module number; silence ends the shorter one
  EXPECT_EQ(length({0, 70}), 11u);
  EXPECT_EQ(length({1, 15, 0, 0, 0, 9}), 0u);  // byte count not yet in
  EXPECT_EQ(length({1, 15, 0, 0, 0, 9, 2}), 11u);
  EXPECT_EQ(length({1, 100, 0x01}), 0u);
  EXPECT_EQ(length({1, 100, 0x01, 0x2C}), 306u);
  EXPECT_EQ(length({1, 100, 0x08, 0x00}), 2054u);
  EXPECT_EQ(length({1, 100, 0x08, 0x01}), 0u);  // beyond the largest block: silence
  EXPECT_EQ(length({1, 69, 5, 6, 7}), 0u);
  EXPECT_EQ(length({1, 16, 0, 0}), 0u);
}

TEST(RequestFraming, FramesWithoutAGapAreSplitWhereBothCrcsHold) {
  auto joined = WithCrc({1, 69, 4, 0x10, 0x20, 0x30});
  const size_t first = joined.size();
  const auto poll = WithCrc({1, 14});
  joined.insert(joined.end(), poll.begin(), poll.end());
  EXPECT_EQ(SilenceFrameLength(joined.data(), joined.size()), first);
  EXPECT_EQ(SilenceFrameLength(joined.data() + first, poll.size()), poll.size());
  const auto whole = WithCrc({1, 69, 4, 1, 2, 3, 4, 5, 6, 7, 8});
  EXPECT_EQ(SilenceFrameLength(whole.data(), whole.size()), whole.size());
  const auto noise = Bytes({1, 69, 4, 1, 2, 3});
  EXPECT_EQ(SilenceFrameLength(noise.data(), noise.size()), noise.size());
  EXPECT_EQ(SilenceFrameLength(noise.data(), 2), 2u);

  // A database whose bytes 31 and 32 happen to be the CRC of the 31 before
  // them, sent with no gap before the 68 that follows it.
  const auto database = Bytes({0x02, 0x45, 0x07, 0xBB, 0xB3, 0x7A, 0x0E, 0x3F, 0xD8, 0x51, 0x77, 0xCC,
                               0x2D, 0xE9, 0x5E, 0x60, 0x20, 0xF2, 0x90, 0xEC, 0x2E, 0xAC, 0xAF, 0xED,
                               0xE5, 0x22, 0x31, 0x7D, 0xCD, 0x03, 0xD8, 0x3F, 0xD9, 0x00});
  ASSERT_EQ(WithCrc(std::vector<uint8_t>(database.begin(), database.end() - 2)), database);
  auto glued = database;
  const auto module = WithCrc({1, 68, 6});
  glued.insert(glued.end(), module.begin(), module.end());
  EXPECT_EQ(SilenceFrameLength(glued.data(), glued.size()), database.size());
}
