#include "LinkStatistics.h"

void LinkStatistics::CountTransaction(uint8_t address, int attempts, int32_t result) {
  DeviceStatistics& device = devices_[address];
  ++device.Requests;
  device.Attempts += attempts;
  if (result == 0) ++device.Good;
  ++device.Results[result];
}

void LinkStatistics::CountLatency(uint8_t address, int64_t us) {
  devices_[address].LatencyUs.Add(static_cast<double>(us));
}

void LinkStatistics::CountFailedAttempt(uint8_t address, int32_t result) {
  ++devices_[address].FailedAttempts[result];
}
