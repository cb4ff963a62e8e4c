#include "ValueView.h"

#include <algorithm>

#include <array>
#include <bit>
#include <cmath>
#include <cstdio>

#include "FunctionCodes.h"
#include "TypedValue.h"

namespace {
// The four bytes at `p` rearranged into ABCD, most significant first.
std::array<uint8_t, 4> InAbcd(const uint8_t* p, ByteOrder order) {
  switch (order) {
    case ByteOrder::ABCD: return {p[0], p[1], p[2], p[3]};
    case ByteOrder::CDAB: return {p[2], p[3], p[0], p[1]};
    case ByteOrder::BADC: return {p[1], p[0], p[3], p[2]};
    case ByteOrder::DCBA: return {p[3], p[2], p[1], p[0]};
  }
  return {};
}

bool SwapsBytes(ByteOrder order) { return order == ByteOrder::BADC || order == ByteOrder::DCBA; }
}  // namespace

const char* ByteOrderName(ByteOrder order) {
  switch (order) {
    case ByteOrder::ABCD: return "ABCD";
    case ByteOrder::CDAB: return "CDAB";
    case ByteOrder::BADC: return "BADC";
    case ByteOrder::DCBA: return "DCBA";
  }
  return "?";
}

std::vector<RegisterValues> DecodeRegisters(std::span<const uint8_t> data, ByteOrder order) {
  std::vector<RegisterValues> rows;
  for (size_t r = 0; 2 * r + 1 < data.size(); ++r) {
    RegisterValues row;
    row.Register = r;
    const uint8_t* p = data.data() + 2 * r;
    row.U16 = SwapsBytes(order) ? static_cast<uint16_t>(p[1] << 8 | p[0])
                                : static_cast<uint16_t>(p[0] << 8 | p[1]);
    row.S16 = static_cast<int16_t>(row.U16);
    if (2 * r + 3 < data.size()) {
      const auto b = InAbcd(p, order);
      const uint32_t value = uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3];
      row.U32 = value;
      row.S32 = static_cast<int32_t>(value);
      row.F32 = std::bit_cast<float>(value);
    }
    rows.push_back(row);
  }
  return rows;
}

std::vector<bool> DecodeBits(std::span<const uint8_t> data) {
  std::vector<bool> bits;
  bits.reserve(data.size() * 8);
  for (uint8_t byte : data)
    for (int bit = 0; bit < 8; ++bit) bits.push_back((byte >> bit) & 1);
  return bits;
}

std::span<const uint8_t> AnswerData(const std::vector<uint8_t>& frame) {
  if (frame.size() < 5 || IsExceptionFunction(frame[1])) return {};
  const size_t count = frame[2];
  if (frame.size() != count + 5) return {};  // not a byte-count answer, or not whole
  return std::span<const uint8_t>(frame.data() + 3, count);
}

std::string FloatText(float value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  char text[32];
  std::snprintf(text, sizeof text, "%.7g", static_cast<double>(value));
  return text;
}

const ValueLine& ValueColumnTitles() {
  static const ValueLine titles = {"Регистр", "Байты", "u16", "s16",    "u32",  "s32",
                                   "float",   "u64",   "s64", "double", "Текст"};
  return titles;
}

std::vector<ValueLine> DescribeValues(std::span<const uint8_t> data, ByteOrder order,
                                      size_t firstRegister) {
  std::vector<ValueLine> lines;
  for (const RegisterValues& row : DecodeRegisters(data, order)) {
    ValueLine line;
    line[ValRegister] = std::to_string(firstRegister + row.Register);
    char hex[8];
    std::snprintf(hex, sizeof hex, "%02X %02X", data[2 * row.Register], data[2 * row.Register + 1]);
    line[ValHex] = hex;
    line[ValU16] = std::to_string(row.U16);
    line[ValS16] = std::to_string(row.S16);
    if (row.U32) {
      line[ValU32] = std::to_string(*row.U32);
      line[ValS32] = std::to_string(*row.S32);
      line[ValFloat] = FloatText(*row.F32);
    }
    const size_t at = 2 * row.Register;
    line[ValU64] = ValueText(ReadValue(data, ValueAt(at, ValueType::U64, order)));
    line[ValS64] = ValueText(ReadValue(data, ValueAt(at, ValueType::S64, order)));
    line[ValDouble] = ValueText(ReadValue(data, ValueAt(at, ValueType::F64, order)));
    line[ValText] = ValueText(ReadValue(data, TextAt(at, 2, order)));
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> DescribeBits(std::span<const uint8_t> data, size_t firstBit,
                                      std::optional<size_t> count) {
  std::vector<bool> bits = DecodeBits(data);
  // The last byte's padding is no coil or input.
  if (count && *count < bits.size()) bits.resize(*count);
  std::vector<std::string> lines;
  for (size_t at = 0; at < bits.size(); at += 8) {
    const size_t end = std::min(at + 8, bits.size());
    std::string line = std::to_string(firstBit + at) + "–" + std::to_string(firstBit + end - 1) + ":";
    for (size_t k = at; k < end; ++k) line += bits[k] ? " 1" : " 0";
    lines.push_back(line);
  }
  return lines;
}

std::optional<uint16_t> RequestedQuantity(const std::vector<uint8_t>& request) {
  if (request.size() < 6 || request[1] < 1 || request[1] > 4) return std::nullopt;
  return static_cast<uint16_t>(request[4] << 8 | request[5]);
}

std::optional<uint16_t> RequestedStart(const std::vector<uint8_t>& request) {
  if (request.size() < 4 || request[1] < 1 || request[1] > 4) return std::nullopt;
  return static_cast<uint16_t>(request[2] << 8 | request[3]);
}
