#include "SeriesStore.h"

#include <algorithm>
#include <cmath>

SeriesStore::SeriesStore(size_t capacity) : capacity_(std::max<size_t>(capacity, 2 * kBlock)) {}

void SeriesStore::Add(int64_t us, double value) {
  if (!std::isfinite(value)) {
    AddGap(us);
    return;
  }
  if (!times_.empty()) us = std::max(us, times_.back());
  if (times_.size() >= capacity_) DropOldest();
  times_.push_back(us);
  values_.push_back(value);
  gapBefore_.push_back(gapPending_ ? 1 : 0);
  gapPending_ = false;
  Push(value);
}

void SeriesStore::AddGap(int64_t us) {
  if (!gaps_.empty()) us = std::max(us, gaps_.back());
  gaps_.push_back(us);
  gapPending_ = true;
}

void SeriesStore::Clear() {
  times_.clear();
  values_.clear();
  gapBefore_.clear();
  gaps_.clear();
  levels_.clear();
  gapPending_ = false;
}

std::optional<int64_t> SeriesStore::FirstTime() const {
  if (times_.empty() && gaps_.empty()) return std::nullopt;
  if (times_.empty()) return gaps_.front();
  if (gaps_.empty()) return times_.front();
  return std::min(times_.front(), gaps_.front());
}

std::optional<int64_t> SeriesStore::LastTime() const {
  if (times_.empty() && gaps_.empty()) return std::nullopt;
  if (times_.empty()) return gaps_.back();
  if (gaps_.empty()) return times_.back();
  return std::max(times_.back(), gaps_.back());
}

// The value joins its block's entry on every level: a new entry where it
// starts a block, the last one grown otherwise. A level is added, built from
// the one below, once that one has two entries.
void SeriesStore::Push(double value) {
  const size_t index = values_.size() - 1;
  size_t entry = index / kBlock;
  bool fresh = index % kBlock == 0;
  for (size_t level = 0;; ++level) {
    if (level == levels_.size()) {
      if (level > 0) {
        const auto& below = levels_[level - 1];
        if (below.size() < 2) return;
        std::vector<Extent> built;
        for (size_t k = 0; k < below.size(); k += 2)
          built.push_back(k + 1 < below.size() ? Extent{std::min(below[k].Min, below[k + 1].Min),
                                                        std::max(below[k].Max, below[k + 1].Max)}
                                               : below[k]);
        levels_.push_back(std::move(built));
        continue;  // built with the value in it; the level above may be due too
      }
      levels_.emplace_back();
    }
    auto& entries = levels_[level];
    if (fresh) {
      entries.push_back({value, value});
    } else {
      entries[entry].Min = std::min(entries[entry].Min, value);
      entries[entry].Max = std::max(entries[entry].Max, value);
    }
    fresh = fresh && entry % 2 == 0;
    entry /= 2;
  }
}

void SeriesStore::DropOldest() {
  const auto drop = static_cast<std::ptrdiff_t>(std::max<size_t>(capacity_ / 10, 1));
  const int64_t keptFrom = times_[static_cast<size_t>(drop)];
  times_.erase(times_.begin(), times_.begin() + drop);
  values_.erase(values_.begin(), values_.begin() + drop);
  gapBefore_.erase(gapBefore_.begin(), gapBefore_.begin() + drop);
  gaps_.erase(gaps_.begin(), std::lower_bound(gaps_.begin(), gaps_.end(), keptFrom));
  Rebuild();
}

void SeriesStore::Rebuild() {
  levels_.clear();
  std::vector<double> values;
  values.swap(values_);
  values_.reserve(values.size());
  for (double value : values) {
    values_.push_back(value);
    Push(value);
  }
}

size_t SeriesStore::IndexAtOrAfter(int64_t us) const {
  return static_cast<size_t>(std::lower_bound(times_.begin(), times_.end(), us) - times_.begin());
}

// The first point at or after `us` from index `from` on, found by doubling
// steps: a view's columns lie close together, so this stays in the cache
// where a search over the whole series would not.
size_t SeriesStore::IndexAtOrAfter(int64_t us, size_t from) const {
  size_t low = from, high = from, step = 1;
  while (high < times_.size() && times_[high] < us) {
    low = high + 1;
    high = from + step;
    step *= 2;
  }
  high = std::min(high, times_.size());
  return static_cast<size_t>(std::lower_bound(times_.begin() + static_cast<std::ptrdiff_t>(low),
                                              times_.begin() + static_cast<std::ptrdiff_t>(high), us) -
                             times_.begin());
}

std::optional<size_t> SeriesStore::Nearest(int64_t us) const {
  if (times_.empty()) return std::nullopt;
  const size_t after = IndexAtOrAfter(us);
  if (after == 0) return 0;
  if (after == times_.size()) return after - 1;
  return us - times_[after - 1] <= times_[after] - us ? after - 1 : after;
}

void SeriesStore::Extremes(size_t first, size_t last, double& min, double& max) const {
  const auto take = [&](double lo, double hi) {
    min = std::min(min, lo);
    max = std::max(max, hi);
  };
  // The loose points at either end, then whole blocks, as high up the pyramid as they go.
  while (first < last && first % kBlock != 0) take(values_[first], values_[first]), ++first;
  while (last > first && last % kBlock != 0) --last, take(values_[last], values_[last]);
  size_t low = first / kBlock, high = last / kBlock;
  for (size_t level = 0; low < high && level < levels_.size(); ++level) {
    const auto& entries = levels_[level];
    if (low % 2 == 1) take(entries[low].Min, entries[low].Max), ++low;
    if (high % 2 == 1) --high, take(entries[high].Min, entries[high].Max);
    low /= 2;
    high /= 2;
  }
}

std::vector<SeriesColumn> SeriesStore::Columns(int64_t from, int64_t to, int width) const {
  std::vector<SeriesColumn> columns(static_cast<size_t>(std::max(width, 0)));
  if (width <= 0 || to <= from) return columns;
  const double span = static_cast<double>(to - from);
  size_t begin = IndexAtOrAfter(from);
  for (int c = 0; c < width; ++c) {
    const int64_t edge = from + static_cast<int64_t>(span * (c + 1) / width);
    const size_t end = IndexAtOrAfter(c + 1 == width ? to : edge, begin);
    SeriesColumn& column = columns[static_cast<size_t>(c)];
    if (end > begin) {
      column.Any = true;
      column.Min = column.Max = values_[begin];
      Extremes(begin, end, column.Min, column.Max);
      column.First = values_[begin];
      column.Last = values_[end - 1];
      column.GapBefore = gapBefore_[begin] != 0;
    }
    begin = end;
  }
  return columns;
}

SeriesStats SeriesStore::Stats(int64_t from, int64_t to) const {
  SeriesStats stats;
  if (to < from) std::swap(from, to);
  const size_t first = IndexAtOrAfter(from);
  const size_t last = static_cast<size_t>(std::upper_bound(times_.begin(), times_.end(), to) - times_.begin());
  if (last <= first) return stats;
  stats.Count = last - first;
  stats.Min = stats.Max = values_[first];
  Extremes(first, last, stats.Min, stats.Max);
  double sum = 0;
  for (size_t i = first; i < last; ++i) sum += values_[i];
  stats.Mean = sum / static_cast<double>(stats.Count);
  return stats;
}
