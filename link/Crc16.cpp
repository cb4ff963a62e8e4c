#include "Crc16.h"

uint16_t Crc16(int32_t count, const uint8_t* bytes) {
  uint16_t crc = 0xFFFF;
  for (int32_t i = 0; i < count; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) {
      const bool lsb = crc & 1u;
      crc >>= 1;
      if (lsb) crc ^= 0xA001;
    }
  }
  return crc;
}
