// The simulator's own Modbus CRC-16 (table-driven), written apart from the
// link's bitwise one so that each checks the other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

uint16_t SimCrc16(const uint8_t* data, size_t size);

// Appends the CRC of `frame`, low byte first.
void AppendCrc(std::vector<uint8_t>& frame);

// True when the last two bytes are the CRC of the others (at least 3 bytes).
bool FrameCrcGood(const std::vector<uint8_t>& frame);

// "01 03 00 0A" – upper-case hex, one blank between bytes.
std::string HexBytes(const std::vector<uint8_t>& bytes);
