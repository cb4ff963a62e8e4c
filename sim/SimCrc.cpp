#include "SimCrc.h"

#include <array>
#include <cstdio>

namespace {
// CRC of each byte value for the reflected polynomial 0xA001.
constexpr std::array<uint16_t, 256> MakeTable() {
  std::array<uint16_t, 256> table{};
  for (unsigned value = 0; value < 256; ++value) {
    uint16_t crc = static_cast<uint16_t>(value);
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
    table[value] = crc;
  }
  return table;
}
constexpr auto kTable = MakeTable();
}  // namespace

uint16_t SimCrc16(const uint8_t* data, size_t size) {
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < size; ++i) crc = static_cast<uint16_t>((crc >> 8) ^ kTable[(crc ^ data[i]) & 0xFF]);
  return crc;
}

void AppendCrc(std::vector<uint8_t>& frame) {
  const uint16_t crc = SimCrc16(frame.data(), frame.size());
  frame.push_back(static_cast<uint8_t>(crc & 0xFF));
  frame.push_back(static_cast<uint8_t>(crc >> 8));
}

bool FrameCrcGood(const std::vector<uint8_t>& frame) {
  if (frame.size() < 3) return false;
  const size_t body = frame.size() - 2;
  const uint16_t crc = SimCrc16(frame.data(), body);
  return frame[body] == (crc & 0xFF) && frame[body + 1] == (crc >> 8);
}

std::string HexBytes(const std::vector<uint8_t>& bytes) {
  std::string text;
  text.reserve(bytes.size() * 3);
  char digits[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(digits, sizeof digits, "%02X", bytes[i]);
    if (i) text += ' ';
    text += digits;
  }
  return text;
}
