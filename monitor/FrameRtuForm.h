// A frame's bytes in RTU form (address, code, data, CRC), whatever way it
// travelled: what the value view and other readers of frame contents take.
#pragma once

#include <cstdint>
#include <vector>

#include "MonitorFrame.h"

// The bytes as they are for a line or RTU over TCP; for Modbus TCP the unit,
// the PDU and a CRC computed over them (nothing for a frame shorter than its
// header and function code).
std::vector<uint8_t> RtuBytesOf(const MonitorFrame& frame);
