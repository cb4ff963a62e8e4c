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
  auto crcGood = [](const uint8_t* frame, size_t n) {
    const uint16_t crc = SimCrc16(frame, n - 2);
    return frame[n - 2] == (crc & 0xFF) && frame[n - 1] == (crc >> 8);
  };
  if (count < 4 || crcGood(bytes, count)) return count;
  // A database's bytes can end in what looks like a CRC of the bytes before
  // it (about once in 65536 places); a split that leaves a whole frame after
  // it is the real one.
  size_t firstGood = 0;
  for (size_t n = 4; n < count; ++n) {
    if (!crcGood(bytes, n)) continue;
    if (count - n >= 4 && crcGood(bytes + n, count - n)) return n;
    if (firstGood == 0) firstGood = n;
  }
  return firstGood != 0 ? firstGood : count;
}
