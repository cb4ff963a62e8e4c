// The series' store: every extreme survives decimation at every zoom, gaps
// part the points, and the pyramid's answers agree with a plain count.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "SeriesStore.h"

namespace {
// The extremes of the points in [from, to] counted one by one.
std::pair<double, double> PlainExtremes(const SeriesStore& store, int64_t from, int64_t to) {
  double lo = std::numeric_limits<double>::infinity(), hi = -lo;
  for (size_t i = 0; i < store.Size(); ++i)
    if (store.Time(i) >= from && store.Time(i) < to) {
      lo = std::min(lo, store.Value(i));
      hi = std::max(hi, store.Value(i));
    }
  return {lo, hi};
}
}  // namespace

TEST(SeriesStore, OneSpikeAmongAMillionPointsShowsAtEveryZoom) {
  SeriesStore store;
  std::mt19937 random(7);
  std::uniform_real_distribution<double> noise(-1.0, 1.0);
  constexpr int64_t kPoints = 1'000'000;
  constexpr int64_t kSpikeAt = 654'321;
  for (int64_t i = 0; i < kPoints; ++i) store.Add(i * 100, i == kSpikeAt ? 1000.0 : noise(random));
  store.Add(kPoints * 100, -1000.0);  // and a dip at the very end

  // From the whole series down to a window a few points wide, at several widths.
  for (int64_t span = kPoints * 100 + 1; span >= 500; span /= 7) {
    for (int width : {1, 3, 800, 1600, 4001}) {
      const int64_t from = std::max<int64_t>(0, kSpikeAt * 100 - span / 3);
      const auto columns = store.Columns(from, from + span, width);
      double top = -1e9;
      for (const SeriesColumn& c : columns)
        if (c.Any) top = std::max(top, c.Max);
      EXPECT_EQ(top, 1000.0) << "span " << span << " µs, " << width << " px";
    }
  }
  const auto all = store.Columns(0, kPoints * 100 + 1, 1600);
  EXPECT_EQ(all.back().Min, -1000.0) << "the last point is in the last column";
  EXPECT_TRUE(all.back().Any);
}

TEST(SeriesStore, ColumnsAgreeWithAPlainCount) {
  SeriesStore store;
  std::mt19937 random(3);
  std::uniform_real_distribution<double> value(-50.0, 50.0);
  std::uniform_int_distribution<int64_t> step(0, 40);
  int64_t t = 0;
  // Lengths that are not whole blocks, so the loose ends of every level are hit.
  for (int i = 0; i < 100'003; ++i) store.Add(t += step(random), value(random));
  std::uniform_int_distribution<int64_t> at(0, t);
  std::uniform_int_distribution<int> width(1, 300);
  for (int round = 0; round < 200; ++round) {
    int64_t from = at(random), to = at(random);
    if (from > to) std::swap(from, to);
    ++to;
    const int w = width(random);
    const auto columns = store.Columns(from, to, w);
    ASSERT_EQ(columns.size(), static_cast<size_t>(w));
    for (int c = 0; c < w; ++c) {
      const int64_t left = from + static_cast<int64_t>(static_cast<double>(to - from) * c / w);
      const int64_t right = c + 1 == w ? to : from + static_cast<int64_t>(static_cast<double>(to - from) * (c + 1) / w);
      const auto [lo, hi] = PlainExtremes(store, left, right);
      const SeriesColumn& column = columns[static_cast<size_t>(c)];
      ASSERT_EQ(column.Any, std::isfinite(lo)) << round << "/" << c;
      if (!column.Any) continue;
      ASSERT_EQ(column.Min, lo) << round << "/" << c;
      ASSERT_EQ(column.Max, hi) << round << "/" << c;
    }
  }
}

TEST(SeriesStore, FailedPollsPartThePointsAndNonNumbersAreGaps) {
  SeriesStore store;
  store.Add(0, 1);
  store.Add(10, 2);
  store.AddGap(20);
  store.Add(30, 3);
  store.Add(40, std::numeric_limits<double>::quiet_NaN());
  store.Add(50, std::numeric_limits<double>::infinity());
  store.Add(60, 4);
  store.Add(70, 5);
  ASSERT_EQ(store.Size(), 5u);
  EXPECT_FALSE(store.GapBefore(1));
  EXPECT_TRUE(store.GapBefore(2)) << "the point after the failed poll";
  EXPECT_TRUE(store.GapBefore(3)) << "NaN and infinity cannot be drawn";
  EXPECT_FALSE(store.GapBefore(4));
  EXPECT_EQ(store.Gaps(), (std::vector<int64_t>{20, 40, 50}));
  const auto columns = store.Columns(0, 80, 8);
  EXPECT_TRUE(columns[3].GapBefore);
  EXPECT_FALSE(columns[2].Any) << "nothing was drawn at the failed poll";
  EXPECT_TRUE(columns[6].GapBefore);
  EXPECT_FALSE(columns[7].GapBefore);
  EXPECT_EQ(store.FirstTime(), 0);
  EXPECT_EQ(store.LastTime(), 70);
}

TEST(SeriesStore, StatisticsNearestPointAndTheOldestDropped) {
  SeriesStore store(1000);
  for (int i = 0; i < 1000; ++i) store.Add(i * 10, i);
  const SeriesStats stats = store.Stats(100, 190);
  EXPECT_EQ(stats.Count, 10u);
  EXPECT_EQ(stats.Min, 10);
  EXPECT_EQ(stats.Max, 19);
  EXPECT_DOUBLE_EQ(stats.Mean, 14.5);
  EXPECT_EQ(store.Stats(190, 100).Count, 10u) << "markers in either order";
  EXPECT_EQ(store.Stats(101, 109).Count, 0u);
  EXPECT_EQ(store.Nearest(104), 10u);
  EXPECT_EQ(store.Nearest(106), 11u);
  EXPECT_EQ(store.Nearest(-5), 0u);

  store.Add(10'000, 5000);  // the store is full: the oldest tenth goes
  EXPECT_EQ(store.Size(), 901u);
  EXPECT_EQ(store.Time(0), 1000);
  const SeriesStats all = store.Stats(0, 20'000);
  EXPECT_EQ(all.Min, 100);
  EXPECT_EQ(all.Max, 5000) << "the pyramid was built again with the newest point";
  EXPECT_EQ(store.Columns(0, 20'000, 1)[0].Max, 5000);
}

TEST(SeriesStore, TimesNeverRunBackwards) {
  SeriesStore store;
  store.Add(100, 1);
  store.Add(50, 2);
  EXPECT_EQ(store.Time(1), 100);
  store.Clear();
  EXPECT_TRUE(store.Empty());
  EXPECT_FALSE(store.FirstTime());
}
