#include "ReadDeadline.h"

#include <algorithm>
#include <cstdint>

namespace {
constexpr uint32_t kMaxDword = 0xFFFFFFFF;
}

ReadDeadline::ReadDeadline(const TimeoutValues& t, int count, Clock::time_point start) {
  // MAXDWORD interval with zero totals returns what is queued; with a MAXDWORD
  // multiplier it waits up to the constant for the first byte and then
  // returns what is queued.
  const bool waitFirst = t.ReadInterval == kMaxDword && t.ReadTotalMultiplier == kMaxDword &&
                         t.ReadTotalConstant > 0 && t.ReadTotalConstant < kMaxDword;
  returnQueued_ = waitFirst || (t.ReadInterval == kMaxDword && t.ReadTotalMultiplier == 0 &&
                                t.ReadTotalConstant == 0);
  if (returnQueued_) {
    total_ = start + std::chrono::milliseconds(waitFirst ? t.ReadTotalConstant : 0);
  } else if (t.ReadTotalMultiplier != 0 || t.ReadTotalConstant != 0) {
    const uint64_t ms = uint64_t{t.ReadTotalMultiplier} * uint64_t(std::max(count, 0)) + t.ReadTotalConstant;
    total_ = start + std::chrono::milliseconds(ms);
  }
  if (!returnQueued_ && t.ReadInterval != 0 && t.ReadInterval != kMaxDword)
    interval_ = std::chrono::milliseconds(t.ReadInterval);
}

std::optional<ReadDeadline::Clock::time_point> ReadDeadline::Limit(int got, Clock::time_point lastByte) const {
  if (!interval_ || got == 0) return total_;
  const auto between = lastByte + *interval_;
  return total_ ? std::min(*total_, between) : between;
}

std::optional<std::chrono::steady_clock::time_point> WriteDeadline(
    const TimeoutValues& t, int count, std::chrono::steady_clock::time_point start) {
  if (t.WriteTotalMultiplier == 0 && t.WriteTotalConstant == 0) return std::nullopt;
  const uint64_t ms = uint64_t{t.WriteTotalMultiplier} * uint64_t(std::max(count, 0)) + t.WriteTotalConstant;
  return start + std::chrono::milliseconds(ms);
}

int WaitMilliseconds(std::optional<std::chrono::steady_clock::time_point> limit) {
  if (!limit) return -1;
  const auto left = *limit - std::chrono::steady_clock::now();
  if (left <= std::chrono::steady_clock::duration::zero()) return 0;
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return static_cast<int>(std::min<long long>(ms, 24LL * 3600 * 1000));
}
