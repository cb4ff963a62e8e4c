// modbus-cli --scan: the device finder on the port of the command line,
// with a progress line on a terminal and the findings as text or JSON.
#pragma once

#include "CliOptions.h"
#include "ScanPlan.h"

// The plan from the scan options; false with a reason on a bad list.
bool ScanPlanFrom(const CliOptions& options, ScanPlan& plan, std::string& error);

// 0 when a device answered, 1 when none did, 2 for bad options, 3 when the port did not open.
int RunScan(const CliOptions& options);
