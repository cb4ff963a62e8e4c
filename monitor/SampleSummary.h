// Count, minimum, maximum, mean and median of a series of any length, in
// memory that does not grow with it: the median is exact up to kKept values
// and then that of a uniform random sample of kKept of them (reservoir
// sampling), so a week of polling holds as little as a minute of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

class SampleSummary {
public:
  static constexpr size_t kKept = 4096;

  void Add(double value);
  void Reset();

  uint64_t Count() const { return count_; }
  bool Empty() const { return count_ == 0; }
  // 0 without values.
  double Min() const { return min_; }
  double Max() const { return max_; }
  double Mean() const { return count_ ? sum_ / static_cast<double>(count_) : 0.0; }
  // Of the values kept; for an even number of them the mean of the middle two.
  double Median() const;
  // Whether the median is that of every value (no value was left out).
  bool Exact() const { return count_ <= kKept; }

private:
  std::vector<double> kept_;
  uint64_t count_ = 0;
  double min_ = 0, max_ = 0, sum_ = 0;
  std::mt19937_64 random_{0x5eed};  // which values stay once there are too many
};
