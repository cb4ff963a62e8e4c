// Answer data read as values in every byte order, and as bits.
#include <gtest/gtest.h>

#include "ValueView.h"

TEST(ValueView, RegistersInTheFourOrders) {
  // 10.0f is 0x41200000; 0x41200000 as two registers in each order.
  const std::pair<ByteOrder, std::vector<uint8_t>> cases[] = {
      {ByteOrder::ABCD, {0x41, 0x20, 0x00, 0x00}},
      {ByteOrder::CDAB, {0x00, 0x00, 0x41, 0x20}},
      {ByteOrder::BADC, {0x20, 0x41, 0x00, 0x00}},
      {ByteOrder::DCBA, {0x00, 0x00, 0x20, 0x41}}};
  for (const auto& [order, bytes] : cases) {
    SCOPED_TRACE(ByteOrderName(order));
    const auto rows = DecodeRegisters(bytes, order);
    ASSERT_EQ(rows.size(), 2u);
    ASSERT_TRUE(rows[0].F32);
    EXPECT_EQ(*rows[0].F32, 10.0f);
    EXPECT_EQ(*rows[0].U32, 0x41200000u);
    EXPECT_EQ(*rows[0].S32, 0x41200000);
    EXPECT_FALSE(rows[1].U32) << "no register after the last";
  }
  const auto plain = DecodeRegisters(std::vector<uint8_t>{0x41, 0x20, 0x00, 0x00}, ByteOrder::ABCD);
  EXPECT_EQ(plain[0].U16, 0x4120);
  const auto swapped = DecodeRegisters(std::vector<uint8_t>{0x41, 0x20, 0x00, 0x00}, ByteOrder::BADC);
  EXPECT_EQ(swapped[0].U16, 0x2041);

  const auto negative = DecodeRegisters(std::vector<uint8_t>{0xFF, 0xFE, 0xFF, 0xFF, 0x12}, ByteOrder::ABCD);
  ASSERT_EQ(negative.size(), 2u) << "an odd last byte is no register";
  EXPECT_EQ(negative[0].U16, 0xFFFE);
  EXPECT_EQ(negative[0].S16, -2);
  EXPECT_EQ(*negative[0].S32, -65537);
  EXPECT_EQ(*negative[0].U32, 0xFFFEFFFFu);
  EXPECT_EQ(FloatText(*negative[0].F32), "NaN");
  EXPECT_EQ(FloatText(-3.25f), "-3.25");
  EXPECT_EQ(FloatText(1e10f), "1e+10");
}

TEST(ValueView, BitsAndAnswerData) {
  const auto bits = DecodeBits(std::vector<uint8_t>{0x81, 0x02});
  ASSERT_EQ(bits.size(), 16u);
  EXPECT_TRUE(bits[0]);
  EXPECT_TRUE(bits[7]);
  EXPECT_FALSE(bits[1]);
  EXPECT_TRUE(bits[9]);

  const std::vector<uint8_t> answer{0x01, 0x03, 0x04, 0x03, 0xE8, 0x03, 0xE9, 0xBB, 0x98};
  const auto data = AnswerData(answer);
  ASSERT_EQ(data.size(), 4u);
  EXPECT_EQ(data[0], 0x03);
  EXPECT_EQ(data[3], 0xE9);
  EXPECT_TRUE(AnswerData({0x01, 0x83, 0x02, 0xC0, 0xF1}).empty()) << "an exception";
  EXPECT_TRUE(AnswerData({0x01, 0x05, 0x00, 0x01, 0xFF, 0x00, 0xDD, 0xFA}).empty()) << "an echo";
  EXPECT_TRUE(AnswerData({0x01, 0x03, 0x04, 0x03}).empty()) << "cut short";
}
