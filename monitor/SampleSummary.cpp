#include "SampleSummary.h"

#include <algorithm>

void SampleSummary::Add(double value) {
  if (count_ == 0 || value < min_) min_ = value;
  if (count_ == 0 || value > max_) max_ = value;
  sum_ += value;
  ++count_;
  if (kept_.size() < kKept) {
    kept_.push_back(value);
    return;
  }
  // Each value stays with the same chance, kKept / count.
  std::uniform_int_distribution<uint64_t> slot(0, count_ - 1);
  const uint64_t at = slot(random_);
  if (at < kKept) kept_[static_cast<size_t>(at)] = value;
}

void SampleSummary::Reset() {
  kept_.clear();
  count_ = 0;
  min_ = max_ = sum_ = 0;
}

double SampleSummary::Median() const {
  if (kept_.empty()) return 0;
  std::vector<double> sorted = kept_;
  const size_t n = sorted.size();
  const auto upper = sorted.begin() + static_cast<std::ptrdiff_t>(n / 2);
  std::nth_element(sorted.begin(), upper, sorted.end());
  if (n % 2) return *upper;
  const double lower = *std::max_element(sorted.begin(), upper);
  return (lower + *upper) / 2;
}
