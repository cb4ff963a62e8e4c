// The Modbus CRC-16: reflected polynomial 0xA001, initial 0xFFFF, no final XOR;
// sent low byte first.
#pragma once

#include <cstdint>

uint16_t Crc16(int32_t count, const uint8_t* bytes);
