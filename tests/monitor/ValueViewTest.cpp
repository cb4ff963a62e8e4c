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

TEST(ValueView, LinesOfValuesAndBits) {
  // Registers 1000 and 1001 (03E8, 03E9) from register 20 on.
  const std::vector<uint8_t> data{0x03, 0xE8, 0x03, 0xE9};
  const auto abcd = DescribeValues(data, ByteOrder::ABCD, 20);
  ASSERT_EQ(abcd.size(), 2u);
  EXPECT_EQ(abcd[0], (ValueLine{"20", "03 E8", "1000", "1000", "65537001", "65537001", "1.363663e-36",
                                "", "", "", "\\x03и"}));
  EXPECT_EQ(abcd[1], (ValueLine{"21", "03 E9", "1001", "1001", "", "", "", "", "", "", "\\x03й"}));
  const auto dcba = DescribeValues(data, ByteOrder::DCBA);
  EXPECT_EQ(dcba[0][ValRegister], "0");
  EXPECT_EQ(dcba[0][ValHex], "03 E8") << "the bytes as they came";
  EXPECT_EQ(dcba[0][ValU16], "59395");
  EXPECT_EQ(dcba[0][ValS16], "-6141");
  EXPECT_EQ(dcba[0][ValU32], "3909347331");  // E9 03 E8 03
  EXPECT_EQ(dcba[0][ValS32], "-385619965");
  EXPECT_EQ(ValueColumnTitles()[ValU32], "u32");

  // Four registers: the 64-bit columns on the first; text two characters a register.
  const std::vector<uint8_t> wide{0x40, 0x24, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 'O', 'K'};
  const auto lines = DescribeValues(wide, ByteOrder::ABCD);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0][ValDouble], "10");
  EXPECT_EQ(lines[0][ValU64], "4621819117588971520");
  EXPECT_EQ(lines[0][ValS64], "4621819117588971520");
  EXPECT_EQ(lines[1][ValU64], "20299") << "registers 1 to 4: 0, 0, 0, 'OK'";
  EXPECT_EQ(lines[2][ValU64], "") << "only three registers after it";
  EXPECT_EQ(lines[4][ValText], "OK");
  EXPECT_EQ(DescribeValues(wide, ByteOrder::DCBA)[4][ValText], "KO");

  const auto bits = DescribeBits(std::vector<uint8_t>{0x81, 0x02}, 16);
  ASSERT_EQ(bits.size(), 2u);
  EXPECT_EQ(bits[0], "16–23: 1 0 0 0 0 0 0 1");
  EXPECT_EQ(bits[1], "24–31: 0 1 0 0 0 0 0 0");
  // Request 1 for ten coils: bits 0-9 are coils, the six after them padding.
  const auto ten = DescribeBits(std::vector<uint8_t>{0xFF, 0xFF}, 0, 10);
  ASSERT_EQ(ten.size(), 2u);
  EXPECT_EQ(ten[0], "0–7: 1 1 1 1 1 1 1 1");
  EXPECT_EQ(ten[1], "8–9: 1 1");
  EXPECT_EQ(RequestedQuantity({0x01, 0x01, 0x00, 0x00, 0x00, 0x0A, 0x00, 0x00}), 10);
  EXPECT_FALSE(RequestedQuantity({0x01, 0x05, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00})) << "a write";

  EXPECT_EQ(RequestedStart({0x01, 0x03, 0x01, 0x2C, 0x00, 0x02, 0x00, 0x00}), 300);
  EXPECT_EQ(RequestedStart({0x01, 0x01, 0x00, 0x10, 0x00, 0x08, 0x00, 0x00}), 16);
  EXPECT_FALSE(RequestedStart({0x01, 0x06, 0x00, 0x10, 0x00, 0x08, 0x00, 0x00})) << "a write";
  EXPECT_FALSE(RequestedStart({0x01, 0x03, 0x00})) << "cut short";
}
