// How modbus-cli prints a run: one JSON object, or the same for a reader.
#pragma once

#include <string>

#include "CliRun.h"

// With --monitor: "latency of the answer (ms): 12.345", or none.
std::string LatencyText(const std::optional<int64_t>& us);

// `withTimes` adds the time per transaction (for --count).
std::string FormatJson(const RunOutcome& outcome, bool withTimes);
std::string FormatText(const RunOutcome& outcome, bool withTimes);
