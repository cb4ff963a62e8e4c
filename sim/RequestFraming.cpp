#include "RequestFraming.h"

#include "SimCrc.h"

namespace {
constexpr size_t kMaxBlock100 = 2048;
}

size_t CompleteRequestLength(const uint8_t* bytes, size_t count) {
  if (count < 2) return 0;
  switch (bytes[1]) {
    case 1: case 2: case 3: case 4: case 5: case 6:
    case 66:
      return 8;  // four data bytes
    case 14: case 17:
      return 4;  // no data
    case 67: case 71:
      return 6;  // two data bytes
    case 68:
      return 5;  // the module number, or none (then silence ends it)
    case 70:
      return 11;  // seven clock bytes, or none (then silence ends it)
    case 15:
      return count < 7 ? 0 : 9 + size_t{bytes[6]};  // byte count at data offset 4
    case 100: {
      if (count < 4) return 0;
      const size_t n = size_t{bytes[2]} << 8 | bytes[3];
      return n <= kMaxBlock100 ? n + 6 : 0;
    }
    default:
      return 0;  // 69 carries a database of any length; unknown codes
  }
}

size_t SilenceFrameLength(const uint8_t* bytes, size_t count) {
  auto crcGood = [bytes](size_t n) {
    const uint16_t crc = SimCrc16(bytes, n - 2);
    return bytes[n - 2] == (crc & 0xFF) && bytes[n - 1] == (crc >> 8);
  };
  if (count < 4 || crcGood(count)) return count;
  for (size_t n = 4; n < count; ++n)
    if (crcGood(n)) return n;
  return count;
}
