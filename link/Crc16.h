// The Modbus CRC-16: reflected polynomial 0xA001, initial 0xFFFF, no final XOR;
// sent low byte first.
#pragma once

#include <cstdint>

uint16_t Crc16(int32_t count, const uint8_t* bytes);

// Whether the `count` bytes of a frame end in the CRC of the bytes before it
// (false for fewer than 4 bytes: no frame is that short).
bool EndsWithItsCrc(int32_t count, const uint8_t* frame);
