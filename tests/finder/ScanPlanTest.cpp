// The finder's lists as typed, its sweep order, its probes and their waits.
#include <gtest/gtest.h>

#include <cstdio>

#include "FunctionCodes.h"
#include "ProbeAnswer.h"
#include "ScanPlan.h"

TEST(ScanPlan, ListsAreReadAsTypedAndRefusedPlainly) {
  std::vector<int> addresses;
  std::string error;
  ASSERT_TRUE(ParseAddressList("1, 5,10-12,5", addresses, error)) << error;
  EXPECT_EQ(addresses, (std::vector<int>{1, 5, 10, 11, 12}));
  for (const char* bad : {"0", "248", "5-3", "a", "", "1-", "1,,2"}) EXPECT_FALSE(ParseAddressList(bad, addresses, error)) << bad;

  std::vector<int> bauds;
  ASSERT_TRUE(ParseBaudList("115200,1200,14400", bauds, error)) << error;
  EXPECT_EQ(bauds, (std::vector<int>{115200, 1200, 14400}));
  for (const char* bad : {"128000", "9601", "fast", ""}) EXPECT_FALSE(ParseBaudList(bad, bauds, error)) << bad;

  std::vector<LineFrame> frames;
  ASSERT_TRUE(ParseFrameList("n2,E1,O2", frames, error)) << error;
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0].Name(), "N2");
  EXPECT_EQ(frames[2].Name(), "O2");
  EXPECT_FALSE(ParseFrameList("E2", frames, error));
  EXPECT_NE(error.find("even parity with two stop bits"), std::string::npos);
  for (const char* bad : {"N3", "X1", "N", "N11"}) EXPECT_FALSE(ParseFrameList(bad, frames, error)) << bad;

  ProbeRequest probe;
  ASSERT_TRUE(ParseProbe("04 00 10 00 02", probe, error)) << error;
  EXPECT_EQ(probe.Code, 4);
  EXPECT_EQ(probe.Data, (std::vector<uint8_t>{0x00, 0x10, 0x00, 0x02}));
  ASSERT_TRUE(ParseProbe("11", probe, error)) << "code 17 without data";
  for (const char* bad : {"45 03", "46", "10 00 00 00 01", "0", "zz", ""}) EXPECT_FALSE(ParseProbe(bad, probe, error)) << bad;

  // Only requests that read: every write the link can send is refused.
  for (uint8_t code : AllowedCodes) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X 00", code);
    const ProbeRefusal refusal = ReadProbe(text, probe);
    const bool reads = code <= 4 || code == 14 || code == 17 || code == 66 || code == 67 ||
                       code == 68 || code == 71;
    EXPECT_EQ(refusal, reads ? ProbeRefusal::None : ProbeRefusal::ChangesDevice) << int(code);
  }
  EXPECT_EQ(ReadProbe("03" + std::string(252 * 2, '0'), probe), ProbeRefusal::None);
  EXPECT_EQ(ReadProbe("03" + std::string(253 * 2, '0'), probe), ProbeRefusal::TooLong);
  EXPECT_EQ(ProbeCodesHex(), "01, 02, 03, 04, 0E, 11, 42, 43, 44, 47");
}

TEST(ScanPlan, TheUsualSettingsComeFirst) {
  const std::vector<LineSetting> order = SweepOrder(DefaultScanPlan());
  ASSERT_EQ(order.size(), 8u * 5u);
  const std::vector<std::string> first = {"9600 N2", "9600 N1", "9600 E1", "19200 N2", "19200 N1", "19200 E1",
                                          "9600 O1", "9600 O2", "19200 O1", "19200 O2", "38400 N2"};
  for (size_t i = 0; i < first.size(); ++i)
    EXPECT_EQ(std::to_string(order[i].Baud) + " " + order[i].Frame.Name(), first[i]) << i;
  EXPECT_EQ(order.back().Baud, 1200);
  EXPECT_EQ(order.back().Frame.Name(), "O2");
}

TEST(ScanPlan, WaitsFollowTheLineSpeed) {
  const ProbeRequest probe;  // 03 00 00 00 01: an 8-byte request, a 7-byte answer
  EXPECT_EQ(ExpectedAnswerLength(probe), 7);
  // 8 characters of 11 bits at 9600 baud take 9.2 ms, rounded up, plus 50.
  EXPECT_EQ(FirstByteTimeout(probe, {9600, false, 2}, 50).count(), 60);
  EXPECT_EQ(AnswerTimeout(probe, {9600, false, 2}, 50).count(), 59);
  EXPECT_EQ(FirstByteTimeout(probe, {1200, true, 1}, 0).count(), 74);  // 8 x 11 bits at 1200
  EXPECT_EQ(FirstByteTimeout(probe, {115200, false, 1}, 50).count(), 51);
  ProbeRequest coils{1, {0, 0, 0, 20}};
  EXPECT_EQ(ExpectedAnswerLength(coils), 8);  // three data bytes
  ProbeRequest echo{5, {0, 1, 0xFF, 0}};
  EXPECT_EQ(ExpectedAnswerLength(echo), 8);
}
