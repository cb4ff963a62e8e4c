#include <gtest/gtest.h>

#include "EComPort.h"

TEST(EComPort, TextsAndTheSystemErrorSuffix) {
  EXPECT_STREQ(EComPort(1, 2).what(), "Unable to open com port (Error: 2)");
  EXPECT_STREQ(EComPort(5, 0).what(), "PurgeComm function failed");
  EXPECT_EQ(EComPort(5, 0).SystemErrorCode, -1);
  EXPECT_STREQ(EComPort(24, -1).what(), "Port Not Open");
  EXPECT_STREQ(EComPort(8, 1450).what(), "SetCommTimeouts failed (Error: 1450)");
  EXPECT_STREQ(EComPort(22, 0).what(), "A component is linked to OnRxBuf event");
  EXPECT_STREQ(EComPort(19, 0).what(), "Cannot change led state if ComPort is selected");
  EXPECT_EQ(EComPort(3, 5).FailureCode, 3);
  for (int code = 1; code <= 24; ++code) EXPECT_STRNE(EComPort::Text(code), "") << code;
}
