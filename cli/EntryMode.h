// modbus-cli in entry mode: one click of the main window's request flow, or
// a batch of clicks on one headless window. Both return the exit status.
#pragma once

#include <string>

#include "CliOptions.h"
#include "EntrySession.h"

// The click that options ask for; false with a reason when the grid file
// cannot be read or has too many lines or cells.
bool ClickRequestFrom(const CliOptions& options, ClickRequest& request, std::string& error);

int RunEntryClick(const CliOptions& options);
int RunBatch(const CliOptions& options);
