#include "FrameLengths.h"

#include <algorithm>

#include "AnswerLength.h"
#include "FunctionCodes.h"

namespace {
// The largest block 100 writes, and the frame around it: address, code,
// count (2 bytes), the block, CRC.
constexpr int32_t kMaxBlock = 2048;

// 15 and 16 count their data in byte 6: address, code, start, quantity,
// count, the data, CRC.
FrameLengths CountedWrite(const uint8_t* frame, size_t available) {
  FrameLengths lengths;
  if (available < 7) {
    lengths.NeedBytes = 7;
    return lengths;
  }
  lengths.Add(9 + frame[6]);
  return lengths;
}
}  // namespace

bool FrameLengths::Has(int32_t length) const {
  return std::find(Lengths.begin(), Lengths.begin() + Count, length) != Lengths.begin() + Count;
}

void FrameLengths::Add(int32_t length) {
  if (length < kMinFrame || Has(length)) return;
  if (Count < static_cast<int>(Lengths.size())) Lengths[static_cast<size_t>(Count++)] = length;
}

void FrameLengths::Merge(const FrameLengths& other) {
  for (int i = 0; i < other.Count; ++i) Add(other.Lengths[static_cast<size_t>(i)]);
  Open = Open || other.Open;
  NeedBytes = std::max(NeedBytes, other.NeedBytes);
}

FrameLengths RequestFrameLengths(const uint8_t* frame, size_t available) {
  FrameLengths lengths;
  if (available < 2) {
    lengths.NeedBytes = 2;
    return lengths;
  }
  switch (frame[1]) {
    case fc::ReadCoils:
    case fc::ReadDiscreteInputs:
    case fc::ReadHoldingRegisters:
    case fc::ReadInputRegisters:
    case fc::WriteSingleCoil:
    case fc::WriteSingleRegister:
    case fc::ReadData66: lengths.Add(8); break;       // four data bytes
    case fc::WriteCompletionPoll:
    case fc::ReportServerId: lengths.Add(4); break;   // no data
    case fc::ReadData67:
    case fc::ReadRecords71: lengths.Add(6); break;    // two data bytes
    case fc::ReadModuleDatabase:                      // the module number, or none
      lengths.Add(5);
      lengths.Add(4);
      break;
    case fc::SetClocks:                               // seven clock bytes, or none
      lengths.Add(11);
      lengths.Add(4);
      break;
    case fc::WriteMultipleCoils:
    case fc::WriteMultipleRegisters: return CountedWrite(frame, available);
    case fc::WriteBlock: {
      if (available < 4) {
        lengths.NeedBytes = 4;
        break;
      }
      const int32_t count = (frame[2] << 8) | frame[3];
      if (count >= 1 && count <= kMaxBlock) lengths.Add(count + 6);
      break;
    }
    default:
      // 69's database, 65, other layouts; 0 and codes with bit 7 set are no
      // request's.
      lengths.Open = frame[1] != 0 && !IsExceptionFunction(frame[1]);
      break;
  }
  return lengths;
}

FrameLengths AnswerFrameLengths(const uint8_t* request, size_t requestLen, const uint8_t* answer,
                                size_t available) {
  FrameLengths lengths;
  if (available < 3) {
    lengths.NeedBytes = 3;
    return lengths;
  }
  const uint8_t code = request[1];
  if (answer[1] == ExceptionFunction(code)) lengths.Add(5);
  if (GetsNoAnswer(code)) return lengths;
  const auto frameLen = static_cast<int32_t>(requestLen);
  lengths.Add(ExpectedAnswerLength(code, frameLen, answer[2]));
  // Devices answer 6 with the echo of the request, which the link reads by
  // its third byte; both readings are the answer's.
  if (code == fc::WriteSingleRegister) lengths.Add(frameLen);
  if (code == fc::WriteMultipleRegisters) lengths.Add(8);
  return lengths;
}

FrameLengths AnswerFrameLengths(const uint8_t* answer, size_t available) {
  FrameLengths lengths;
  if (available < 3) {
    lengths.NeedBytes = 3;
    return lengths;
  }
  const uint8_t function = answer[1];
  if (IsExceptionFunction(function)) {
    lengths.Add(5);
    return lengths;
  }
  switch (function) {
    case fc::WriteSingleCoil:
    case fc::WriteSingleRegister:
    case fc::WriteMultipleCoils:
    case fc::WriteMultipleRegisters: lengths.Add(8); break;
    case fc::WriteCompletionPoll: lengths.Add(4); break;
    case fc::WriteModuleDatabase:
    case fc::SetClocks: break;  // never answered
    default: lengths.Add(answer[2] + 5); break;
  }
  return lengths;
}

bool ExpectsAnswer(uint8_t address, uint8_t code) { return address != 0 && !GetsNoAnswer(code); }

bool AnswerFits(const uint8_t* request, size_t requestLen, const uint8_t* answer, size_t answerLen) {
  if (answerLen < static_cast<size_t>(kMinFrame) || requestLen < 2) return false;
  const uint8_t code = request[1];
  if (answer[1] != code && answer[1] != ExceptionFunction(code)) return false;
  return AnswerFrameLengths(request, requestLen, answer, answerLen).Has(static_cast<int32_t>(answerLen));
}

bool AnswerAgrees(const uint8_t* request, size_t requestLen, const uint8_t* answer, size_t available) {
  const uint8_t code = request[1];
  if (available < 2) return true;
  if (answer[1] == ExceptionFunction(code)) return true;
  if (answer[1] != code) return false;
  const bool write = code == fc::WriteSingleCoil || code == fc::WriteSingleRegister ||
                     code == fc::WriteMultipleCoils || code == fc::WriteMultipleRegisters;
  if (write && requestLen >= 6 && available >= 6 && !std::equal(request + 2, request + 6, answer + 2)) return false;
  const auto count = ExpectedByteCount(code, request + 2, static_cast<int32_t>(requestLen) - 4);
  return !count || available < 3 || answer[2] == *count;
}
