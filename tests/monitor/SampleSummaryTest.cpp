// Summaries of long series in bounded memory: exact while the series is
// short, a fair sample once it is long.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "SampleSummary.h"

TEST(SampleSummary, ShortSeriesAreExact) {
  SampleSummary s;
  EXPECT_TRUE(s.Empty());
  EXPECT_EQ(s.Median(), 0.0);
  s.Add(2.107);
  s.Add(2.004);
  EXPECT_DOUBLE_EQ(s.Median(), 2.0555) << "an even count: the mean of the middle two";
  s.Add(9);
  EXPECT_DOUBLE_EQ(s.Median(), 2.107);
  EXPECT_DOUBLE_EQ(s.Min(), 2.004);
  EXPECT_DOUBLE_EQ(s.Max(), 9);
  EXPECT_NEAR(s.Mean(), (2.107 + 2.004 + 9) / 3, 1e-12);
  EXPECT_EQ(s.Count(), 3u);
  EXPECT_TRUE(s.Exact());
  s.Reset();
  EXPECT_TRUE(s.Empty());
  EXPECT_EQ(s.Max(), 0.0);
}

TEST(SampleSummary, LongSeriesKeepTheirExtremesAndAFairMedian) {
  // A million values, uniform on 0..1000 with one spike: the extremes and
  // the count are exact, the median is close to 500, and the memory kept is
  // bounded (the sample never exceeds its size).
  SampleSummary s;
  std::mt19937 random(7);
  std::uniform_real_distribution<double> uniform(0, 1000);
  for (int i = 0; i < 1'000'000; ++i) s.Add(i == 777'777 ? 1e6 : uniform(random));
  EXPECT_EQ(s.Count(), 1'000'000u);
  EXPECT_FALSE(s.Exact());
  EXPECT_DOUBLE_EQ(s.Max(), 1e6);
  EXPECT_LT(s.Min(), 0.01);
  EXPECT_NEAR(s.Median(), 500, 40) << "4096 kept values: the median's error is a few percent";

  // A series that changes half-way: the sample covers both halves.
  SampleSummary shift;
  for (int i = 0; i < 100'000; ++i) shift.Add(i < 50'000 ? 1.0 : 3.0);
  const double median = shift.Median();
  EXPECT_TRUE(median == 1.0 || median == 2.0 || median == 3.0) << median;
  EXPECT_NEAR(shift.Mean(), 2.0, 1e-9);
}
