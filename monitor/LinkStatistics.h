// What the monitor counts per device address: requests, good answers, each
// result code, the answers' latencies (min, median, max) and the repeats the
// link spent on them. Counts run from the last Reset.
#pragma once

#include <cstdint>
#include <map>
#include <random>
#include <vector>

struct DeviceStatistics {
  int Requests = 0;  // transactions
  int Good = 0;      // result 0
  int Attempts = 0;  // all attempts; Attempts - Requests were repeats
  std::map<int32_t, int> Results;  // result code → transactions
  std::vector<int64_t> LatenciesUs;  // of the answers (at most kMaxSamples, drawn evenly)
  int64_t MinLatencyUs = 0, MaxLatencyUs = 0;
  int64_t LatencyCount = 0;

  int Repeats() const { return Attempts - Requests; }
  // The median of the latencies kept; 0 without any.
  int64_t MedianLatencyUs() const;
};

class LinkStatistics {
public:
  static constexpr size_t kMaxSamples = 1'000'000;

  void CountTransaction(uint8_t address, int attempts, int32_t result);
  void CountLatency(uint8_t address, int64_t us);
  void Reset() { devices_.clear(); }
  const std::map<uint8_t, DeviceStatistics>& Devices() const { return devices_; }

private:
  std::map<uint8_t, DeviceStatistics> devices_;
  std::mt19937 random_{12345};  // which samples stay once there are too many
};
