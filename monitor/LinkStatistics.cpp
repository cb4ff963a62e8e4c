#include "LinkStatistics.h"

#include <algorithm>

int64_t DeviceStatistics::MedianLatencyUs() const {
  if (LatenciesUs.empty()) return 0;
  std::vector<int64_t> sorted = LatenciesUs;
  const auto middle = sorted.begin() + static_cast<long>(sorted.size() / 2);
  std::nth_element(sorted.begin(), middle, sorted.end());
  return *middle;
}

void LinkStatistics::CountTransaction(uint8_t address, int attempts, int32_t result) {
  DeviceStatistics& device = devices_[address];
  ++device.Requests;
  device.Attempts += attempts;
  if (result == 0) ++device.Good;
  ++device.Results[result];
}

void LinkStatistics::CountLatency(uint8_t address, int64_t us) {
  DeviceStatistics& device = devices_[address];
  if (device.LatencyCount == 0 || us < device.MinLatencyUs) device.MinLatencyUs = us;
  if (device.LatencyCount == 0 || us > device.MaxLatencyUs) device.MaxLatencyUs = us;
  ++device.LatencyCount;
  // Past kMaxSamples each latency replaces a kept one with the chance that
  // keeps every latency equally likely to be kept (reservoir sampling).
  if (device.LatenciesUs.size() < kMaxSamples) {
    device.LatenciesUs.push_back(us);
  } else {
    std::uniform_int_distribution<int64_t> slot(0, device.LatencyCount - 1);
    const int64_t at = slot(random_);
    if (at < static_cast<int64_t>(kMaxSamples)) device.LatenciesUs[static_cast<size_t>(at)] = us;
  }
}
