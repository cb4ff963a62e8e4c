#include "RtuTiming.h"

#include <algorithm>

#include "ComPortClass.h"

LineFormat LineFormatOf(const TComPortClass& link) {
  LineFormat format;
  const int32_t baud = LenientToInt(link.BaudText);
  if (baud > 0) format.Baud = baud;
  format.Parity = !link.ParityText.empty() && link.ParityText[0] != 'N';
  format.StopBits = LenientToInt(link.StopBitsText) == 1 ? 1 : 2;
  return format;
}

std::chrono::nanoseconds CharacterTime(const LineFormat& format) {
  const long long baud = std::max(format.Baud, 1);
  return std::chrono::nanoseconds(format.BitsPerCharacter() * 1'000'000'000LL / baud);
}

std::chrono::nanoseconds WireTime(const LineFormat& format, int bytes) {
  return CharacterTime(format) * std::max(bytes, 0);
}

std::chrono::nanoseconds InterFrameGap(const LineFormat& format) {
  if (format.Baud > 19200) return std::chrono::microseconds(1750);
  return CharacterTime(format) * 7 / 2;
}
