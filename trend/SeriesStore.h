// The points of one series, in the order they came, with the gaps where a
// poll failed; and their extremes per pixel column for drawing. A pyramid of
// block minima and maxima answers any range in logarithmic time, so a view
// of a million points costs about as much as one of a thousand, and no
// extreme is lost at any zoom: each column reports the true minimum and
// maximum of its points.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// One pixel column of a view.
struct SeriesColumn {
  bool Any = false;        // a point lies in the column
  double Min = 0, Max = 0;
  double First = 0, Last = 0;  // the column's first and last point
  bool GapBefore = false;  // a poll failed between the point before and the first one here
};

struct SeriesStats {
  size_t Count = 0;
  double Min = 0, Max = 0, Mean = 0;
};

class SeriesStore {
public:
  // The oldest points go once a series holds this many (a tenth at a time).
  static constexpr size_t kDefaultCapacity = 20'000'000;
  explicit SeriesStore(size_t capacity = kDefaultCapacity);

  // A point at `us` (monotonic microseconds, not before the last one: an
  // earlier time is taken as the last). A value that is no finite number
  // cannot be drawn: it is a gap.
  void Add(int64_t us, double value);
  // A failed poll at `us`: the points on either side are not joined.
  void AddGap(int64_t us);
  void Clear();

  size_t Size() const { return times_.size(); }
  bool Empty() const { return times_.empty(); }
  int64_t Time(size_t i) const { return times_[i]; }
  double Value(size_t i) const { return values_[i]; }
  bool GapBefore(size_t i) const { return gapBefore_[i] != 0; }
  // The failed polls' times, oldest first (those before the oldest point are dropped with it).
  const std::vector<int64_t>& Gaps() const { return gaps_; }
  // The first and last time of a point or gap; nothing when empty.
  std::optional<int64_t> FirstTime() const;
  std::optional<int64_t> LastTime() const;

  // The first point at or after `us`; from index `from` on (when it is known to lie there).
  size_t IndexAtOrAfter(int64_t us) const;
  size_t IndexAtOrAfter(int64_t us, size_t from) const;
  // The point nearest to `us`; nothing when empty.
  std::optional<size_t> Nearest(int64_t us) const;

  // Minimum and maximum of points [first, last).
  void Extremes(size_t first, size_t last, double& min, double& max) const;

  // `width` columns over [from, to): column c covers from + (to - from)·c/width onward.
  std::vector<SeriesColumn> Columns(int64_t from, int64_t to, int width) const;
  // Of the points in [from, to]; Count 0 when none.
  SeriesStats Stats(int64_t from, int64_t to) const;

private:
  struct Extent {
    double Min, Max;
  };
  static constexpr size_t kBlock = 64;  // points per block of the pyramid's first level
  void Push(double value);
  void DropOldest();
  void Rebuild();

  size_t capacity_;
  std::vector<int64_t> times_;
  std::vector<double> values_;
  std::vector<uint8_t> gapBefore_;
  std::vector<int64_t> gaps_;
  bool gapPending_ = false;
  // levels_[0][k]: points [64k, 64k + 64); levels_[j][k]: levels_[j-1][2k] and [2k + 1].
  std::vector<std::vector<Extent>> levels_;
};
