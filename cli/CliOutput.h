// How modbus-cli prints a run: one JSON object, or the same for a reader.
#pragma once

#include <string>

#include "CliRun.h"

struct TimeSummary {
  double Min = 0, Median = 0, Max = 0;
};
TimeSummary SummarizeTimes(std::vector<double> timesMs);

// `withTimes` adds the time per transaction (for --count).
std::string FormatJson(const RunOutcome& outcome, bool withTimes);
std::string FormatText(const RunOutcome& outcome, bool withTimes);
