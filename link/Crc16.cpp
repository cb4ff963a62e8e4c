#include "Crc16.h"

uint16_t Crc16Next(uint16_t crc, uint8_t byte) {
  crc ^= byte;
  for (int bit = 0; bit < 8; ++bit) {
    const bool lsb = crc & 1u;
    crc >>= 1;
    if (lsb) crc ^= 0xA001;
  }
  return crc;
}

uint16_t Crc16(int32_t count, const uint8_t* bytes) {
  uint16_t crc = 0xFFFF;
  for (int32_t i = 0; i < count; ++i) crc = Crc16Next(crc, bytes[i]);
  return crc;
}

bool EndsWithItsCrc(int32_t count, const uint8_t* frame) {
  if (count < 4) return false;
  const uint16_t crc = Crc16(count - 2, frame);
  return frame[count - 2] == (crc & 0xFF) && frame[count - 1] == (crc >> 8);
}
