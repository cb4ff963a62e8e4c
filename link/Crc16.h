// The Modbus CRC-16: reflected polynomial 0xA001, initial 0xFFFF, no final XOR;
// sent low byte first.
#pragma once

#include <cstdint>

uint16_t Crc16(int32_t count, const uint8_t* bytes);
// One more byte into a running CRC (start from 0xFFFF): for checking every
// length of a frame whose end is not known in one pass.
uint16_t Crc16Next(uint16_t crc, uint8_t byte);

// Whether the `count` bytes of a frame end in the CRC of the bytes before it
// (false for fewer than 4 bytes: no frame is that short).
bool EndsWithItsCrc(int32_t count, const uint8_t* frame);
