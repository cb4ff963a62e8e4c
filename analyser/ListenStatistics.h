// What listening counts per device address: requests heard, good answers,
// each result (as the link's codes: exceptions, 128 foreign answer, 129
// incomplete, 130 no answer, 131 CRC), answers without request, the answer
// latency (min, median, max) with the answers that began before 3.5
// characters of silence, and the master's polling period (from one request
// to that address to the next).
#pragma once

#include <cstdint>
#include <map>

#include "SampleSummary.h"

struct ListenDevice {
  int Requests = 0;
  int Good = 0;
  std::map<int32_t, int> Results;  // result → requests
  int AnswersWithoutRequest = 0;
  int TooSoon = 0;
  SampleSummary LatencyUs;
  SampleSummary PollPeriodUs;
  int64_t LastRequestUs = 0;  // start of the last request heard, for the period
};

class ListenStatistics {
public:
  void CountRequest(uint8_t address, int64_t startUs);
  void CountResult(uint8_t address, int32_t result);
  void CountLatency(uint8_t address, int64_t us, bool tooSoon);
  void CountStrayAnswer(uint8_t address);
  void CountUnframed(uint64_t bytes) { unframedBytes_ += bytes; }
  void Reset();

  const std::map<uint8_t, ListenDevice>& Devices() const { return devices_; }
  uint64_t UnframedBytes() const { return unframedBytes_; }

private:
  std::map<uint8_t, ListenDevice> devices_;
  uint64_t unframedBytes_ = 0;
};
