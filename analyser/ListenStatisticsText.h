// Listening's counts per address as text, for the window's table and
// modbus-cli's summary: requests, good answers, each result, the answer
// latency and the polling period (min / median / max, ms), the answers
// that began before 3.5 characters of silence, answers without request.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "ListenStatistics.h"

enum ListenColumn {
  ListenAddress, ListenRequests, ListenGood, ListenResults, ListenLatency, ListenPeriod, ListenTooSoon,
  ListenStray, kListenColumns
};
using ListenLine = std::array<std::string, kListenColumns>;

const ListenLine& ListenColumnTitles();
ListenLine DescribeListenDevice(uint8_t address, const ListenDevice& device);
// "min / median / max" in milliseconds, or "—" without values.
std::string SpreadMs(const SampleSummary& summary);
