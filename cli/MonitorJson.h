// The monitor's part of a modbus-cli JSON result: "latency_ms", "discarded",
// "frames" (each request and answer with its time, attempt and stage).
#pragma once

#include <nlohmann/json.hpp>

#include "CliMonitor.h"

void AddMonitorJson(nlohmann::ordered_json& out, const MonitorSpan& span);

// "latency_ms": the latency in milliseconds, or null.
nlohmann::ordered_json LatencyJson(const std::optional<int64_t>& us);
