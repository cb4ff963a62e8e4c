#include "ListenStatistics.h"

void ListenStatistics::CountRequest(uint8_t address, int64_t startUs) {
  ListenDevice& device = devices_[address];
  if (device.Requests > 0) device.PollPeriodUs.Add(static_cast<double>(startUs - device.LastRequestUs));
  device.LastRequestUs = startUs;
  ++device.Requests;
}

void ListenStatistics::CountResult(uint8_t address, int32_t result) {
  ListenDevice& device = devices_[address];
  if (result == 0) ++device.Good;
  ++device.Results[result];
}

void ListenStatistics::CountLatency(uint8_t address, int64_t us, bool tooSoon) {
  ListenDevice& device = devices_[address];
  device.LatencyUs.Add(static_cast<double>(us));
  if (tooSoon) ++device.TooSoon;
}

void ListenStatistics::CountStrayAnswer(uint8_t address) { ++devices_[address].AnswersWithoutRequest; }

void ListenStatistics::Reset() {
  devices_.clear();
  unframedBytes_ = 0;
}
