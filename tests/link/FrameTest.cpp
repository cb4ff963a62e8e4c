// Request frames and the CRC, byte for byte.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "ComPort.h"
#include "ComPortClass.h"
#include "Crc16.h"
#include "FakeOperator.h"
#include "PtyPair.h"

namespace {
struct Link {
  TComPort port;
  FakeOperator form;
  TComPortClass link{port, form};

  // Builds as the transaction does: lengths set, the frame's bytes zeroed first.
  std::vector<uint8_t> Frame(uint8_t device, uint8_t code, std::vector<uint8_t> data,
                             int32_t len = -1) {
    link.DataLen = len < 0 ? static_cast<int32_t>(data.size()) : len;
    link.FrameLen = link.DataLen + 4;
    data.resize(kMaxDataLen);
    std::vector<uint8_t> frame(kFrameBufferSize, 0xEE);
    std::memset(frame.data(), 0, static_cast<size_t>(link.FrameLen));
    if (link.BuildFrame(device, code, data.data(), frame.data()) != 0) return {};
    frame.resize(static_cast<size_t>(link.FrameLen));
    return frame;
  }
};
}  // namespace

TEST(Crc16, CheckValueAndEmptyInput) {
  const char* digits = "123456789";
  EXPECT_EQ(Crc16(9, reinterpret_cast<const uint8_t*>(digits)), 0x4B37);
  EXPECT_EQ(Crc16(0, nullptr), 0xFFFF);
  EXPECT_EQ(Crc16(-5, nullptr), 0xFFFF);
  const uint8_t exception[] = {0x01, 0x83, 0x02};
  EXPECT_EQ(Crc16(3, exception), 0xF1C0);  // 01 83 02 C0 F1 on the wire

  const uint8_t frame[] = {0x01, 0x83, 0x02, 0xC0, 0xF1};
  EXPECT_TRUE(EndsWithItsCrc(5, frame));
  const uint8_t swapped[] = {0x01, 0x83, 0x02, 0xF1, 0xC0};
  EXPECT_FALSE(EndsWithItsCrc(5, swapped)) << "low byte first";
  EXPECT_FALSE(EndsWithItsCrc(4, frame));
  const uint8_t empty[] = {0xFF, 0xFF};  // the CRC of nothing, but no frame
  EXPECT_FALSE(EndsWithItsCrc(2, empty));
}

TEST(BuildFrame, AddressCodeDataAndCrcLowByteFirst) {
  Link l;
  EXPECT_EQ(Hex(l.Frame(0, 3, Bytes({0x00, 0x00, 0x00, 0x0A}))), "01 03 00 00 00 0A C5 CD");
  EXPECT_EQ(l.link.FrameLen, 8);
  EXPECT_EQ(Hex(l.Frame(0, 14, {})), "01 0E 81 E4");
  EXPECT_EQ(l.link.FrameLen, 4);
  EXPECT_EQ(Hex(l.Frame(30, 1, Bytes({0x00, 0x1A, 0x00, 0x01}))).substr(0, 5), "1F 01");
  EXPECT_EQ(l.Frame(255, 3, Bytes({0, 0, 0, 1}))[0], 0x00) << "the address wraps at 8 bits";

  // The longest request: 3000 data bytes, copied unchanged.
  std::vector<uint8_t> big(kMaxDataLen);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7);
  const auto frame = l.Frame(0, 100, big);
  ASSERT_EQ(frame.size(), size_t(kFrameBufferSize));
  EXPECT_TRUE(std::equal(big.begin(), big.end(), frame.begin() + 2));
  EXPECT_EQ(Crc16(kFrameBufferSize, frame.data()), 0) << "a frame with its CRC checks to 0";
}

TEST(BuildFrame, ClockFrameGoesToEveryDeviceWithTheLocalTime) {
  Link l;
  l.link.Clock = [] { return LocalDateTime{2026, 12, 7, 12, 15, 30, 0}; };
  for (uint8_t device : {0, 4, 30})
    EXPECT_EQ(Hex(l.Frame(device, 70, Bytes({9, 9, 9, 9, 9, 9, 9}))),
              "00 46 1E 0F 0C 07 0C 00 00 A1 62");
  // Without data the frame keeps the device address and carries no clock.
  const auto bare = l.Frame(4, 70, {});
  EXPECT_EQ(bare.size(), 4u);
  EXPECT_EQ(bare[0], 5);
  EXPECT_EQ(bare[1], 70);
}

TEST(BuildFrame, CodesOutsideTheTableAreRefusedAndTouchNothing) {
  Link l;
  for (int code : {65, 16, 0, 300 & 0xFF, 7, 255}) {
    l.link.DataLen = 4;
    l.link.FrameLen = 8;
    std::vector<uint8_t> frame(kFrameBufferSize, 0xEE);
    const uint8_t data[4] = {1, 2, 3, 4};
    EXPECT_EQ(l.link.BuildFrame(0, static_cast<uint8_t>(code), data, frame.data()), 1) << code;
    EXPECT_EQ(frame[0], 0xEE) << code;
  }
  for (uint8_t code : AllowedCodes) EXPECT_FALSE(l.Frame(0, code, Bytes({0, 0, 0, 1})).empty());
}
