// The statistics table's lines: counts, results and latencies as the window shows them.
#include <gtest/gtest.h>

#include "StatisticsText.h"

TEST(StatisticsText, ALinePerDevice) {
  LinkStatistics statistics;
  statistics.CountTransaction(7, 1, 0);
  statistics.CountTransaction(7, 5, 130);
  statistics.CountTransaction(7, 2, 0);
  statistics.CountTransaction(7, 1, 2);
  for (int64_t us : {9'000, 1'250, 3'000}) statistics.CountLatency(7, us);
  for (int32_t failed : {130, 130, 131, 130, 130, 130, 130, 2}) statistics.CountFailedAttempt(7, failed);
  const StatisticsLine line = DescribeDevice(7, statistics.Devices().at(7));
  EXPECT_EQ(line, (StatisticsLine{"7", "4", "2", "0: 2; 2: 1; 130: 1", "2: 1; 130: 6; 131: 1",
                                  "1,250 / 3,000 / 9,000", "5"}));
  // An even count: the median is the mean of the middle two.
  statistics.CountLatency(7, 4'000);
  EXPECT_EQ(DescribeDevice(7, statistics.Devices().at(7))[StatLatency], "1,250 / 3,500 / 9,000");

  statistics.CountTransaction(9, 5, 130);
  EXPECT_EQ(DescribeDevice(9, statistics.Devices().at(9))[StatLatency], "—") << "no answer, no latency";
  EXPECT_EQ(DescribeDevice(9, statistics.Devices().at(9))[StatFailedAttempts], "—");
  EXPECT_EQ(StatisticsColumnTitles()[StatRepeats], "Повторов");
}
