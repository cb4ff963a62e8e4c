// What the monitor counts per device address: requests, good answers, each
// result code of the transactions and of their failed attempts, the
// answers' latencies (min, median, max) and the repeats the link spent on them. Counts run from the last Reset.
#pragma once

#include <cstdint>
#include <map>

#include "SampleSummary.h"

struct DeviceStatistics {
  int Requests = 0;  // transactions
  int Good = 0;      // result 0
  int Attempts = 0;  // all attempts; Attempts - Requests were repeats
  std::map<int32_t, int> Results;  // result code → transactions
  std::map<int32_t, int> FailedAttempts;  // result code → attempts that failed with it
  SampleSummary LatencyUs;  // of the answers

  int Repeats() const { return Attempts - Requests; }
};

class LinkStatistics {
public:
  void CountTransaction(uint8_t address, int attempts, int32_t result);
  void CountLatency(uint8_t address, int64_t us);
  void CountFailedAttempt(uint8_t address, int32_t result);
  void Reset() { devices_.clear(); }
  const std::map<uint8_t, DeviceStatistics>& Devices() const { return devices_; }

private:
  std::map<uint8_t, DeviceStatistics> devices_;
};
