#include "ValueView.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstdio>

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
  if (frame.size() < 5 || (frame[1] & 0x80)) return {};
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
