#include "GridTexts.h"

#include <cstdio>

uint32_t HexCellValue(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  uint64_t value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else break;
    value = value * 16 + static_cast<uint64_t>(digit);
    if (value > 0xFFFFFFFFull) return 0xFFFFFFFFu;
  }
  return static_cast<uint32_t>(value);
}

std::string Hex2(uint32_t value) {
  char text[12];
  std::snprintf(text, sizeof text, "%02X", value);
  return text;
}

std::string Decimal(int64_t value) { return std::to_string(value); }
