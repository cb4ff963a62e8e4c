#include "ProbeAnswer.h"

#include <algorithm>

#include "AnswerLength.h"
#include "Crc16.h"
#include "FunctionCodes.h"

namespace {
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
  return LongestAnswerLength(probe.Code, probe.Data.data(), static_cast<int32_t>(probe.Data.size()));
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
  if (bytes.size() >= 5 && bytes[1] == ExceptionFunction(probe.Code) && CrcGood(bytes, 5))
    return ours ? ProbeVerdict{ProbeKind::Exception, bytes[2]} : ProbeVerdict{ProbeKind::Noise, 0};
  if (bytes.size() >= 3 && bytes[1] == probe.Code) {
    // The whole answer's length as the link works it out.
    const auto length = static_cast<size_t>(ExpectedAnswerLength(
        probe.Code, static_cast<int32_t>(probe.Data.size()) + 4, bytes[2]));
    if (CrcGood(bytes, length) && ours) return {ProbeKind::Answer, 0};
  }
  return {ProbeKind::Noise, 0};
}
