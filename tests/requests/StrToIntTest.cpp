#include "StrToInt.h"

#include <gtest/gtest.h>

TEST(StrToInt, DecimalAndHexadecimalTexts) {
  EXPECT_EQ(StrToInt("0"), 0);
  EXPECT_EQ(StrToInt("261"), 261);
  EXPECT_EQ(StrToInt("  -12"), -12);
  EXPECT_EQ(StrToInt("+7"), 7);
  EXPECT_EQ(StrToInt("007"), 7);
  EXPECT_EQ(StrToInt("0x1A"), 26);
  EXPECT_EQ(StrToInt("0X1a"), 26);
  EXPECT_EQ(StrToInt("0xFFFFFFFF"), -1);
  EXPECT_EQ(StrToInt("2147483647"), 2147483647);
  EXPECT_EQ(StrToInt("-2147483648"), INT32_MIN);
}

TEST(StrToInt, RefusesWhatIsNoNumber) {
  for (const char* text : {"", " ", "-", "0x", "12a", "!", "1 ", "00A", "2147483648", "0x100000000",
                           "1.5", "$FF", "x10", "0x$5"}) {
    EXPECT_THROW(StrToInt(text), EConvertError) << text;
  }
  try {
    StrToInt("!2");
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'!2' is not a valid integer value");
  }
}
