#include "RequestCatalogue.h"

#include <algorithm>

#include "AnswerLength.h"
#include "FunctionCodes.h"
#include "StrToInt.h"

namespace {
int32_t DecimalEntry(const std::string& text) { return StrToInt(text); }
// The operator types hex digits without a prefix.
int32_t HexEntry(const std::string& text) { return StrToInt("0x" + text); }
uint8_t LowByte(int32_t value) { return static_cast<uint8_t>(value & 0xFF); }

RequestRefusal WriteCoils(const std::string& dat1, const std::string& dat2, const CellReader& cell,
                          RequestData& r) {
  std::fill_n(r.Bytes.begin(), 256, 0);
  PutBigEndian16(&r.Bytes[0], DecimalEntry(dat1));
  const int32_t quantity = DecimalEntry(dat2);
  PutBigEndian16(&r.Bytes[2], quantity);
  // 0, or more coils than the byte count's one byte can count (2041 would
  // send a count of 0), is an entry error.
  if (!QuantityFits(fc::WriteMultipleCoils, quantity)) return RequestRefusal::QuantityOutOfRange;
  const auto byteCount = static_cast<uint8_t>((quantity - 1) / 8 + 1);
  r.Bytes[4] = byteCount;
  if (cell(0, 1).empty()) return RequestRefusal::TableEmpty;
  // Only row 1 carries coil bytes; columns past the last read as empty cells.
  for (int k = 0; k < byteCount; ++k)
    r.Bytes[5 + k] = k < kGridColumns ? LowByte(static_cast<int32_t>(HexCellValue(cell(k, 1)))) : 0;
  r.Length = byteCount + 5;
  return RequestRefusal::None;
}

RequestRefusal WriteBlock(const std::string& dat1, const CellReader& cell, RequestData& r) {
  r.Bytes.fill(0);
  PutBigEndian16(&r.Bytes[0], DecimalEntry(dat1));
  const int count = (r.Bytes[0] << 8) | r.Bytes[1];
  if (count < 1 || count > 2048) return RequestRefusal::CountOutOfRange;
  if (cell(0, 1).empty()) return RequestRefusal::TableEmpty;
  for (int row = 1; row <= kGridDataRows; ++row)
    for (int column = 0; column < kGridColumns; ++column)
      r.Bytes[2 + (row - 1) * 16 + column] = LowByte(static_cast<int32_t>(HexCellValue(cell(column, row))));
  r.Length = count + 2;
  return RequestRefusal::None;
}
}  // namespace

void PutBigEndian16(uint8_t* at, int32_t value) {
  at[0] = static_cast<uint8_t>((value >> 8) & 0xFF);
  at[1] = static_cast<uint8_t>(value & 0xFF);
}

RequestRefusal BuildRequest(uint8_t code, const std::string& dat1, const std::string& dat2,
                            const CellReader& cell, RequestData& r) {
  auto& b = r.Bytes;
  switch (code) {
    case fc::ReadCoils:
    case fc::ReadDiscreteInputs:
    case fc::ReadHoldingRegisters:
    case fc::ReadInputRegisters: {
      PutBigEndian16(&b[0], DecimalEntry(dat1));
      // A quantity whose answer could not count its bytes in one byte (more
      // than 2040 bits or 127 registers, or a negative one) is an entry error.
      const int32_t quantity = DecimalEntry(dat2);
      if (!QuantityFits(code, quantity)) return RequestRefusal::QuantityOutOfRange;
      PutBigEndian16(&b[2], quantity);
      r.Length = 4;
      break;
    }
    case fc::WriteSingleCoil: {
      PutBigEndian16(&b[0], HexEntry(dat1));
      const bool on = DecimalEntry(dat2) == 1;
      b[2] = on ? 0xFF : 0x00;
      b[3] = 0x00;
      r.Length = 4;
      break;
    }
    case fc::WriteSingleRegister:
      PutBigEndian16(&b[0], HexEntry(dat1));
      PutBigEndian16(&b[2], DecimalEntry(dat2));
      r.Length = 4;
      break;
    case fc::WriteMultipleCoils:
      return WriteCoils(dat1, dat2, cell, r);
    case fc::ReadData66:
      b[0] = 0;
      b[1] = LowByte(DecimalEntry(dat1));
      b[2] = 0;
      b[3] = LowByte(DecimalEntry(dat2));
      r.Length = 4;
      break;
    case fc::ReadData67:
      b[0] = 0;
      b[1] = LowByte(DecimalEntry(dat1));
      r.Length = 2;
      break;
    case fc::ReadModuleDatabase: {
      const int32_t module = DecimalEntry(dat1);
      if (module != 0) b[0] = LowByte(module);
      r.Length = module != 0 ? 1 : 0;
      break;
    }
    case fc::SetClocks:
      // The link puts the clock into these seven bytes.
      std::fill_n(b.begin(), 7, 0);
      r.Length = 7;
      break;
    case fc::ReadRecords71:
      b[0] = LowByte(DecimalEntry(dat1));
      b[1] = LowByte(DecimalEntry(dat2));
      r.Length = 2;
      break;
    case fc::WriteBlock:
      return WriteBlock(dat1, cell, r);
    default:  // 14, 17, and codes the link will refuse
      r.Length = 0;
      break;
  }
  return RequestRefusal::None;
}
