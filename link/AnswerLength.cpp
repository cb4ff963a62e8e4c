#include "AnswerLength.h"

#include <algorithm>

#include "FunctionCodes.h"
#include "ResultCodes.h"

int32_t ExpectedAnswerLength(uint8_t code, int32_t requestFrameLen, uint8_t byteCount) {
  switch (code) {
    case fc::WriteSingleCoil:  // the echo of the request
    case fc::WriteCompletionPoll: return requestFrameLen;
    case fc::WriteMultipleCoils: return 8;
    default: return byteCount + 5;
  }
}

std::optional<uint8_t> ExpectedByteCount(uint8_t code, const uint8_t* data, int32_t dataLen) {
  if (!(ReadsBits(code) || ReadsRegisters(code)) || data == nullptr || dataLen < 4) return std::nullopt;
  const int32_t quantity = (data[2] << 8) | data[3];
  const int32_t count = ReadsBits(code) ? (quantity + 7) / 8 : 2 * quantity;
  if (count > 255) return std::nullopt;
  return static_cast<uint8_t>(count);
}

bool QuantityFits(uint8_t code, int32_t quantity) {
  if (ReadsBits(code)) return quantity >= 0 && quantity <= kMaxBitQuantity;
  if (ReadsRegisters(code)) return quantity >= 0 && quantity <= kMaxRegisterQuantity;
  if (code == fc::WriteMultipleCoils) return quantity >= 1 && quantity <= kMaxBitQuantity;
  return true;
}

int32_t LongestAnswerLength(uint8_t code, const uint8_t* data, int32_t dataLen) {
  const int32_t quantity = data != nullptr && dataLen >= 4 ? (data[2] << 8) | data[3] : 1;
  const int32_t echo = std::max(dataLen, 0) + 4;
  switch (code) {
    case fc::ReadCoils:
    case fc::ReadDiscreteInputs: return std::min((quantity + 7) / 8, 255) + 5;
    case fc::ReadHoldingRegisters:
    case fc::ReadInputRegisters: return std::min(2 * quantity, 255) + 5;
    case fc::WriteSingleCoil:
    case fc::WriteSingleRegister:
    case fc::WriteCompletionPoll: return echo;
    case fc::WriteMultipleCoils: return 8;
    case fc::ReadData66: return 24 + 5;
    case fc::ReadData67: return 128 + 5;
    case fc::ReadRecords71: return 216 + 5;
    case fc::WriteBlock: return 2 + 5;
    default: return kMaxCountedAnswer;
  }
}

size_t StoredAnswerLength(uint8_t code, int32_t result, int32_t answerLen, const uint8_t* answer,
                          size_t answerSize) {
  if (GetsNoAnswer(code) || answerSize < 3) return 0;
  // Any result in the exception range, when the buffer holds that exception.
  if (result >= 1 && result <= 255 && answer[1] == ExceptionFunction(code) && answer[2] == result) return 3;
  // A foreign head, or one whose byte count was not the one asked for: its
  // rest was never read.
  if (result == ResultReceiveError && answerLen <= static_cast<int32_t>(answerSize)) return 3;
  return static_cast<size_t>(std::clamp<int32_t>(answerLen, 0, static_cast<int32_t>(answerSize)));
}
