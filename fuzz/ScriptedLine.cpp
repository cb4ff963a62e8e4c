#include "ScriptedLine.h"

#include <algorithm>

#include "ComTypes.h"
#include "Crc16.h"
#include "EComPort.h"

namespace {
// Answer kinds (low two bits of the answer byte) and their modifiers.
enum : uint8_t {
  kSilence = 0,
  kRaw = 1,        // a length byte, then that many bytes
  kFormed = 2,     // address and code of the request, byte count and data, CRC
  kEcho = 3,       // the request frame itself
  kException = 4,  // kFormed: the code with bit 7 set and the exception code from the next byte
  kForeign = 8,    // kFormed: the code from the next byte
  kEchoData = 16,  // kFormed: the request's data instead of byte count and data
  kBadCrc = 32,    // kFormed, kEcho: the CRC's high byte flipped
  kCut = 64,       // cut to the length in the next byte
};
constexpr uint8_t kWriteFails = 0xFF;  // instead of an answer: the write fails
constexpr uint8_t kReadFails = 0xFE;   // instead of a read count: the read fails

void AppendCrc(std::vector<uint8_t>& bytes, bool bad) {
  const uint16_t crc = Crc16(static_cast<int32_t>(bytes.size()), bytes.data());
  bytes.push_back(static_cast<uint8_t>(crc & 0xFF));
  bytes.push_back(static_cast<uint8_t>((crc >> 8) ^ (bad ? 0xFF : 0)));
}
}  // namespace

ScriptedLine::ScriptedLine(FuzzInput& input) : input_(input) { SetFakeSerialLine(this); }
ScriptedLine::~ScriptedLine() { SetFakeSerialLine(nullptr); }

std::vector<uint8_t> ScriptedLine::Answer(const std::vector<uint8_t>& frame) {
  const uint8_t how = input_.Byte();
  if (how == kWriteFails) throw EComPort(CError_WriteFailed, 5);
  std::vector<uint8_t> answer;
  switch (how & 3) {
    case kSilence:
      break;
    case kRaw:
      answer = input_.Bytes(input_.Byte());
      break;
    case kFormed: {
      uint8_t code = frame[1];
      if (how & kException) code |= 0x80;
      if (how & kForeign) code = input_.Byte();
      answer = {frame[0], code};
      if (how & kException) {
        answer.push_back(input_.Byte());  // the exception code, nothing after it
      } else if (how & kEchoData) {
        answer.insert(answer.end(), frame.begin() + 2, frame.end() - 2);
      } else {
        const uint8_t count = input_.Byte();
        answer.push_back(count);
        const auto data = input_.Bytes(count);
        answer.insert(answer.end(), data.begin(), data.end());
      }
      AppendCrc(answer, how & kBadCrc);
      break;
    }
    case kEcho:
      answer.assign(frame.begin(), frame.end() - 2);
      AppendCrc(answer, how & kBadCrc);
      break;
  }
  if (how & kCut) answer.resize(std::min<size_t>(answer.size(), input_.Byte()));
  return answer;
}

int ScriptedLine::Write(const uint8_t* bytes, int count) {
  if (Writes.empty()) PurgedBeforeFirstWrite = !Purges.empty() && Purges.front() == (PurgeRxClear | PurgeTxClear);
  Writes.emplace_back(bytes, bytes + count);
  // A frame too short to carry an address and a code gets no answer.
  if (count >= 4) Queue(Answer(Writes.back()));
  return count;
}

int ScriptedLine::Read(uint8_t* buffer, int count) {
  ++Reads;
  const uint8_t limit = input_.Byte();
  if (limit == kReadFails) throw EComPort(CError_ReadFailed, 5);
  // 0x80 and up: all that is queued comes in time; below: at most that many bytes.
  size_t got = std::min(queued_.size(), static_cast<size_t>(count));
  if (limit < 0x80) got = std::min<size_t>(got, limit);
  std::copy_n(queued_.begin(), got, buffer);
  queued_.erase(queued_.begin(), queued_.begin() + static_cast<long>(got));
  return static_cast<int>(got);
}

void ScriptedLine::Purge(uint32_t flags) {
  Purges.push_back(flags);
  if (purgesBeforeFailure_ >= 0 && purgesBeforeFailure_-- == 0) {
    ++FailedPurges;
    throw EComPort(CError_PurgeFailed, 5);
  }
  if (flags & PurgeRxClear) queued_.clear();
}
