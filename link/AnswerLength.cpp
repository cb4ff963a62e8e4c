#include "AnswerLength.h"

#include "FunctionCodes.h"

int32_t ExpectedAnswerLength(uint8_t code, int32_t requestFrameLen, uint8_t byteCount) {
  switch (code) {
    case fc::WriteSingleCoil:  // the echo of the request
    case fc::WriteCompletionPoll: return requestFrameLen;
    case fc::WriteMultipleCoils: return 8;
    default: return byteCount + 5;
  }
}

namespace {
bool ReadsBits(uint8_t code) { return code == fc::ReadCoils || code == fc::ReadDiscreteInputs; }
bool ReadsRegisters(uint8_t code) {
  return code == fc::ReadHoldingRegisters || code == fc::ReadInputRegisters;
}
}  // namespace

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
