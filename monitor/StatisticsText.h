// The link statistics as lines of text, one per device address, for the
// monitor's table: requests, good answers, the count of each result code,
// the answers' latency and the repeats spent.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "LinkStatistics.h"

enum StatisticsColumn {
  StatAddress, StatRequests, StatGood, StatResults, StatFailedAttempts, StatLatency, StatRepeats,
  kStatisticsColumns
};
using StatisticsLine = std::array<std::string, kStatisticsColumns>;

const StatisticsLine& StatisticsColumnTitles();

// Results read "0: 12; 130: 3" (code: transactions), the failed attempts
// "130: 7; 131: 1" (code: attempts); the latency
// "min / median / max" in milliseconds, or "—" before any answer.
StatisticsLine DescribeDevice(uint8_t address, const DeviceStatistics& device);
