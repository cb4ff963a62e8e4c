// The exchanges in a modbus-sim log (--log): each "RX" line is a request the
// device received, the "TX" line after it what it sent back.
#pragma once

#include <string>
#include <vector>

#include "LinkModel.h"

std::vector<DeviceExchange> ReadSimLog(const std::string& log);
