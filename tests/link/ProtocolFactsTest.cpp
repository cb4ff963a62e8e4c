// The protocol's facts that every room takes from the link: which codes get
// an answer or change a device, how long answers are, which quantities fit,
// which rates and frames the link sets.
#include <gtest/gtest.h>

#include <set>

#include "AnswerLength.h"
#include "FunctionCodes.h"
#include "LineSettings.h"
#include "ResultCodes.h"

TEST(ProtocolFacts, WhatEachCodeDoesToADevice) {
  std::set<int> silent, writes;
  for (uint8_t code : AllowedCodes) {
    if (GetsNoAnswer(code)) silent.insert(code);
    if (ChangesDevice(code)) writes.insert(code);
  }
  EXPECT_EQ(silent, (std::set<int>{69, 70}));
  EXPECT_EQ(writes, (std::set<int>{5, 6, 15, 69, 70, 100}));
  EXPECT_TRUE(ChangesDevice(16)) << "a write the link does not send is still a write";
  EXPECT_TRUE(ChangesDevice(200)) << "an unknown code is never taken for a read";
  EXPECT_FALSE(IsAllowedCode(65));
  EXPECT_EQ(ExceptionFunction(3), 0x83);
  EXPECT_TRUE(IsExceptionFunction(0x83));
  EXPECT_FALSE(IsExceptionFunction(0x03));
}

TEST(ProtocolFacts, AnswerLengthsAndQuantities) {
  // The length the link reads by: the echo for 5 and 14, 8 for 15, else count + 5.
  EXPECT_EQ(ExpectedAnswerLength(5, 8, 0xFF), 8);
  EXPECT_EQ(ExpectedAnswerLength(14, 4, 0x12), 4);
  EXPECT_EQ(ExpectedAnswerLength(15, 11, 0x00), 8);
  EXPECT_EQ(ExpectedAnswerLength(3, 8, 20), 25);
  EXPECT_EQ(ExpectedAnswerLength(68, 5, 255), kMaxCountedAnswer);

  const uint8_t tenRegisters[4] = {0, 0, 0, 10}, nineteenBits[4] = {0, 0, 0, 19};
  EXPECT_EQ(ExpectedByteCount(3, tenRegisters, 4), 20);
  EXPECT_EQ(ExpectedByteCount(4, tenRegisters, 4), 20);
  EXPECT_EQ(ExpectedByteCount(1, nineteenBits, 4), 3);
  EXPECT_EQ(ExpectedByteCount(2, nineteenBits, 4), 3);
  EXPECT_FALSE(ExpectedByteCount(3, tenRegisters, 2)) << "too little data to hold a quantity";
  EXPECT_FALSE(ExpectedByteCount(66, tenRegisters, 4)) << "the device's own codes count for themselves";
  const uint8_t tooMany[4] = {0, 0, 0, 128};
  EXPECT_FALSE(ExpectedByteCount(3, tooMany, 4)) << "256 bytes cannot be counted in one";

  // The edges: 2040 bits and 127 registers are 255 bytes.
  EXPECT_TRUE(QuantityFits(1, 2040));
  EXPECT_FALSE(QuantityFits(2, 2041));
  EXPECT_TRUE(QuantityFits(3, 127));
  EXPECT_FALSE(QuantityFits(4, 128));
  EXPECT_FALSE(QuantityFits(3, -1));
  EXPECT_FALSE(QuantityFits(15, 0));
  EXPECT_TRUE(QuantityFits(15, 2040));
  EXPECT_FALSE(QuantityFits(15, 2041));

  EXPECT_EQ(LongestAnswerLength(3, tenRegisters, 4), 25);
  EXPECT_EQ(LongestAnswerLength(1, nineteenBits, 4), 8);
  EXPECT_EQ(LongestAnswerLength(14, nullptr, 0), 4);
  EXPECT_EQ(LongestAnswerLength(71, nullptr, 2), 4 * 54 + 5);
  EXPECT_EQ(LongestAnswerLength(68, nullptr, 1), kMaxCountedAnswer);
}

TEST(ProtocolFacts, WhatAnAnswerBufferHolds) {
  uint8_t answer[300] = {0x01, 0x83, 0x02, 0xC0, 0xF1};
  EXPECT_EQ(StoredAnswerLength(3, 2, 5, answer, 300), 3u) << "an exception's head; its CRC stays unread";
  EXPECT_EQ(StoredAnswerLength(69, ResultOk, 5, answer, 300), 0u);
  answer[1] = 0x04;
  EXPECT_EQ(StoredAnswerLength(3, ResultReceiveError, 25, answer, 300), 3u) << "a foreign head";
  answer[1] = 0x03;
  EXPECT_EQ(StoredAnswerLength(3, ResultOk, 25, answer, 300), 25u);
  EXPECT_EQ(StoredAnswerLength(3, ResultCrcMismatch, 25, answer, 10), 10u) << "never past the buffer";
  EXPECT_FALSE(IsDeviceException(ResultNoAnswer));
  EXPECT_TRUE(IsDeviceException(ExceptionDeviceBusy));
}

TEST(ProtocolFacts, RatesAndFrames) {
  for (int32_t rate : LinkRates) EXPECT_NE(BaudRateOf(rate), brCustom) << rate;
  for (int32_t rate : {0, 128000, 256000, 9601}) {
    EXPECT_FALSE(IsLinkRate(rate)) << rate;
    EXPECT_EQ(BaudRateOf(rate), brCustom) << rate;
  }
  EXPECT_EQ(LinkRatesText(), "110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200");
  EXPECT_EQ(CheckLineFrame({'E', 2}), FrameRefusal::EvenParityTwoStopBits);
  EXPECT_EQ(CheckLineFrame({'M', 1}), FrameRefusal::UnknownParity);
  EXPECT_EQ(CheckLineFrame({'N', 3}), FrameRefusal::UnknownStopBits);
  for (const LineFrame& frame : OfferedFrames) EXPECT_EQ(CheckLineFrame(frame), FrameRefusal::None) << frame.Name();
  EXPECT_EQ(OfferedFrames.size(), 5u) << "every frame but E2";
}
