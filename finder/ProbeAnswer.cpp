#include "ProbeAnswer.h"

#include <algorithm>

#include "Crc16.h"

namespace {
int Quantity(const ProbeRequest& probe) {
  return probe.Data.size() >= 4 ? probe.Data[2] << 8 | probe.Data[3] : 1;
}

bool CrcGood(const std::vector<uint8_t>& bytes, size_t length) {
  return bytes.size() >= length && EndsWithItsCrc(static_cast<int32_t>(length), bytes.data());
}
}  // namespace

std::vector<uint8_t> ProbeFrame(int address, const ProbeRequest& probe) {
  std::vector<uint8_t> frame;
  frame.reserve(probe.Data.size() + 4);
  frame.push_back(static_cast<uint8_t>(address));
  frame.push_back(probe.Code);
  frame.insert(frame.end(), probe.Data.begin(), probe.Data.end());
  const uint16_t crc = Crc16(static_cast<int32_t>(frame.size()), frame.data());
  frame.push_back(static_cast<uint8_t>(crc & 0xFF));
  frame.push_back(static_cast<uint8_t>(crc >> 8));
  return frame;
}

int ExpectedAnswerLength(const ProbeRequest& probe) {
  switch (probe.Code) {
    case 1: case 2: return std::min((Quantity(probe) + 7) / 8, 255) + 5;
    case 3: case 4: return std::min(2 * Quantity(probe), 255) + 5;
    case 5: case 14: return static_cast<int>(probe.Data.size()) + 4;  // the echo of the request
    case 6: return static_cast<int>(probe.Data.size()) + 4;
    case 15: return 8;
    case 66: return 24 + 5;
    case 67: return 128 + 5;
    case 71: return 216 + 5;
    case 100: return 2 + 5;
    default: return 255 + 5;  // 17, 68: as long as the device makes it
  }
}

namespace {
std::chrono::milliseconds OnTheWire(const LineFormat& format, int bytes, int marginMs) {
  return std::chrono::ceil<std::chrono::milliseconds>(WireTime(format, bytes)) +
         std::chrono::milliseconds(std::max(marginMs, 0));
}
}  // namespace

std::chrono::milliseconds FirstByteTimeout(const ProbeRequest& probe, const LineFormat& format, int marginMs) {
  return OnTheWire(format, static_cast<int>(probe.Data.size()) + 4, marginMs);
}

std::chrono::milliseconds AnswerTimeout(const ProbeRequest& probe, const LineFormat& format, int marginMs) {
  return OnTheWire(format, ExpectedAnswerLength(probe), marginMs);
}

ProbeVerdict ClassifyAnswer(int address, const ProbeRequest& probe, const std::vector<uint8_t>& bytes) {
  if (bytes.empty()) return {ProbeKind::Nothing, 0};
  const bool ours = bytes[0] == address;
  if (bytes.size() >= 5 && bytes[1] == (probe.Code | 0x80) && CrcGood(bytes, 5))
    return ours ? ProbeVerdict{ProbeKind::Exception, bytes[2]} : ProbeVerdict{ProbeKind::Noise, 0};
  if (bytes.size() >= 3 && bytes[1] == probe.Code) {
    // The whole answer's length as the link works it out.
    size_t length = static_cast<size_t>(bytes[2]) + 5;
    // An echo of the request. (The link takes the length of a code-6 answer from
    // its third byte; the finder wants to know whether a device is there.)
    if (probe.Code == 5 || probe.Code == 6 || probe.Code == 14) length = probe.Data.size() + 4;
    if (probe.Code == 15) length = 8;
    if (CrcGood(bytes, length) && ours) return {ProbeKind::Answer, 0};
  }
  return {ProbeKind::Noise, 0};
}
