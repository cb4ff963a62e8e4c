#include "TypedValue.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <vector>

namespace {
size_t FixedBytes(ValueType type) {
  switch (type) {
    case ValueType::U16:
    case ValueType::S16: return 2;
    case ValueType::U32:
    case ValueType::S32:
    case ValueType::F32: return 4;
    case ValueType::U64:
    case ValueType::S64:
    case ValueType::F64: return 8;
    case ValueType::Text: return 0;
  }
  return 0;
}

// Where the i-th most significant byte of an n-byte value lies in the data.
// The registers (two bytes each) come high first in ABCD and BADC, low first
// in CDAB and DCBA; the bytes of a register high first in ABCD and CDAB.
size_t SourceIndex(size_t i, size_t n, ByteOrder order) {
  const bool registersReversed = order == ByteOrder::CDAB || order == ByteOrder::DCBA;
  const bool bytesSwapped = order == ByteOrder::BADC || order == ByteOrder::DCBA;
  const size_t reg = registersReversed ? n / 2 - 1 - i / 2 : i / 2;
  const size_t within = bytesSwapped ? 1 - i % 2 : i % 2;
  return 2 * reg + within;
}

uint64_t BigEndian(std::span<const uint8_t> bytes, size_t n, ByteOrder order) {
  uint64_t value = 0;
  for (size_t i = 0; i < n; ++i) value = value << 8 | bytes[SourceIndex(i, n, order)];
  return value;
}

std::string Shortest(double value, bool single) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  char text[64];
  const auto result = single ? std::to_chars(text, text + sizeof text, static_cast<float>(value))
                             : std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::vector<std::string> SplitColons(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t colon = text.find(':', start);
    parts.push_back(text.substr(start, colon == std::string::npos ? std::string::npos : colon - start));
    if (colon == std::string::npos) return parts;
    start = colon + 1;
  }
}

template <typename Number>
bool WholeNumber(const std::string& text, Number& value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

// The largest text a register read carries (the longest counted answer's data).
constexpr size_t kMaxTextLength = 255;
}  // namespace

ValueDef ValueAt(size_t offset, ValueType type, ByteOrder order) {
  ValueDef def;
  def.Offset = offset;
  def.Type = type;
  def.Order = order;
  return def;
}

ValueDef TextAt(size_t offset, size_t length, ByteOrder order) {
  ValueDef def = ValueAt(offset, ValueType::Text, order);
  def.TextLength = length;
  return def;
}

std::string TypeName(const ValueDef& def) {
  switch (def.Type) {
    case ValueType::U16: return "u16";
    case ValueType::S16: return "s16";
    case ValueType::U32: return "u32";
    case ValueType::S32: return "s32";
    case ValueType::U64: return "u64";
    case ValueType::S64: return "s64";
    case ValueType::F32: return "f32";
    case ValueType::F64: return "f64";
    case ValueType::Text: return "str" + std::to_string(def.TextLength);
  }
  return "?";
}

size_t ValueBytes(const ValueDef& def) {
  if (def.Type == ValueType::Text) return (def.TextLength + 1) / 2 * 2;
  return FixedBytes(def.Type);
}

std::string DefaultValueName(const ValueDef& def) {
  std::string name = std::to_string(def.Offset) + ":" + TypeName(def);
  // Of two bytes, or of text, only whether the bytes of a register swap counts.
  const bool wide = def.Type != ValueType::Text && ValueBytes(def) > 2;
  const bool swapped = def.Order == ByteOrder::BADC || def.Order == ByteOrder::DCBA;
  if (wide ? def.Order != ByteOrder::ABCD : swapped)
    name += std::string(":") + ByteOrderName(wide ? def.Order : ByteOrder::BADC);
  if (def.Scale != 1.0) name += "×" + Shortest(def.Scale, false);
  if (def.Shift != 0.0) name += (def.Shift > 0 ? "+" : "") + Shortest(def.Shift, false);
  return name;
}

double TypedValue::Number() const {
  switch (Is) {
    case Kind::Unsigned: return static_cast<double>(U);
    case Kind::Signed: return static_cast<double>(S);
    case Kind::Real: return R;
    case Kind::Missing:
    case Kind::Text: break;
  }
  return std::numeric_limits<double>::quiet_NaN();
}

TypedValue ReadValue(std::span<const uint8_t> data, const ValueDef& def) {
  TypedValue value;
  const size_t n = ValueBytes(def);
  if (n == 0 || def.Offset > data.size() || data.size() - def.Offset < n) return value;
  const auto bytes = data.subspan(def.Offset, n);
  if (def.Type == ValueType::Text) {
    // Registers in the order they came; the bytes within each as the order says.
    const bool swapped = def.Order == ByteOrder::BADC || def.Order == ByteOrder::DCBA;
    std::vector<uint8_t> text(n);
    for (size_t i = 0; i < n; ++i) text[i] = bytes[swapped ? i ^ 1 : i];
    text.resize(def.TextLength);
    value.Is = TypedValue::Kind::Text;
    value.T = BytesAsText(text);
    return value;
  }
  const uint64_t raw = BigEndian(bytes, n, def.Order);
  switch (def.Type) {
    case ValueType::U16:
    case ValueType::U32:
    case ValueType::U64:
      value.Is = TypedValue::Kind::Unsigned;
      value.U = raw;
      break;
    case ValueType::S16:
      value.Is = TypedValue::Kind::Signed;
      value.S = static_cast<int16_t>(raw);
      break;
    case ValueType::S32:
      value.Is = TypedValue::Kind::Signed;
      value.S = static_cast<int32_t>(raw);
      break;
    case ValueType::S64:
      value.Is = TypedValue::Kind::Signed;
      value.S = static_cast<int64_t>(raw);
      break;
    case ValueType::F32:
      value.Is = TypedValue::Kind::Real;
      value.R = std::bit_cast<float>(static_cast<uint32_t>(raw));
      value.Single = true;
      break;
    case ValueType::F64:
      value.Is = TypedValue::Kind::Real;
      value.R = std::bit_cast<double>(raw);
      break;
    case ValueType::Text: break;
  }
  return value;
}

TypedValue ShownValue(std::span<const uint8_t> data, const ValueDef& def) {
  TypedValue value = ReadValue(data, def);
  if (!def.Scaled() || value.Is == TypedValue::Kind::Missing || value.Is == TypedValue::Kind::Text)
    return value;
  TypedValue scaled;
  scaled.Is = TypedValue::Kind::Real;
  // To 15 significant digits, which a double always holds: 65668073 × 0.1
  // is 6566807.3, not the 6566807.300000001 the multiplication leaves.
  char text[40];
  std::snprintf(text, sizeof text, "%.15g", value.Number() * def.Scale + def.Shift);
  scaled.R = std::strtod(text, nullptr);
  return scaled;
}

std::string ValueText(const TypedValue& value) {
  switch (value.Is) {
    case TypedValue::Kind::Missing: return "";
    case TypedValue::Kind::Unsigned: return std::to_string(value.U);
    case TypedValue::Kind::Signed: return std::to_string(value.S);
    case TypedValue::Kind::Real: return Shortest(value.R, value.Single);
    case TypedValue::Kind::Text: return value.T;
  }
  return "";
}

std::string BytesAsText(std::span<const uint8_t> bytes) {
  size_t end = bytes.size();
  while (end > 0 && bytes[end - 1] == 0) --end;
  std::string text;
  for (size_t i = 0; i < end; ++i) {
    const uint8_t b = bytes[i];
    if (b == '\\') {
      text += "\\\\";
    } else if (b >= 0x20 && b < 0x7F) {
      text += static_cast<char>(b);
    } else if (b >= 0xC0 || b == 0xA8 || b == 0xB8) {
      // А..я are U+0410..U+044F; Ё U+0401, ё U+0451.
      const unsigned code = b == 0xA8 ? 0x401 : b == 0xB8 ? 0x451 : 0x410 + (b - 0xC0);
      text += static_cast<char>(0xC0 | code >> 6);
      text += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      text += hex;
    }
  }
  return text;
}

std::optional<ByteOrder> ParseByteOrder(const std::string& text) {
  for (ByteOrder order : kByteOrders)
    if (Lower(text) == Lower(ByteOrderName(order))) return order;
  return std::nullopt;
}

std::optional<ValueDef> ParseValueOption(const std::string& text, std::string& error) {
  const auto parts = SplitColons(text);
  if (parts.size() < 2 || parts.size() > 4) {
    error = "a value is OFFSET:TYPE[:ORDER][:SCALE], not " + text;
    return std::nullopt;
  }
  ValueDef def;
  if (!WholeNumber(parts[0], def.Offset) || def.Offset > 65535) {
    error = "the offset (bytes into the answer's data) is a whole number from 0, not " + parts[0];
    return std::nullopt;
  }
  const std::string type = Lower(parts[1]);
  static const std::pair<const char*, ValueType> kTypes[] = {
      {"u16", ValueType::U16}, {"s16", ValueType::S16}, {"u32", ValueType::U32},
      {"s32", ValueType::S32}, {"u64", ValueType::U64}, {"s64", ValueType::S64},
      {"f32", ValueType::F32}, {"f64", ValueType::F64}};
  const auto known = std::find_if(std::begin(kTypes), std::end(kTypes),
                                  [&](const auto& entry) { return type == entry.first; });
  if (known != std::end(kTypes)) {
    def.Type = known->second;
  } else if (type.rfind("str", 0) == 0 && WholeNumber(type.substr(3), def.TextLength) &&
             def.TextLength >= 1 && def.TextLength <= kMaxTextLength) {
    def.Type = ValueType::Text;
  } else {
    error = "the type is one of u16 s16 u32 s32 u64 s64 f32 f64 str<N> (N 1.." +
            std::to_string(kMaxTextLength) + "), not " + parts[1];
    return std::nullopt;
  }
  if (parts.size() >= 3 && !parts[2].empty()) {
    const auto order = ParseByteOrder(parts[2]);
    if (!order) {
      error = "the order is one of ABCD CDAB BADC DCBA, not " + parts[2];
      return std::nullopt;
    }
    def.Order = *order;
  }
  if (parts.size() == 4) {
    const std::string& scale = parts[3];
    const auto [end, ec] = std::from_chars(scale.data(), scale.data() + scale.size(), def.Scale);
    if (scale.empty() || ec != std::errc() || end != scale.data() + scale.size() || !std::isfinite(def.Scale)) {
      error = "the scale is a number such as 0.1, not " + scale;
      return std::nullopt;
    }
    if (def.Type == ValueType::Text && def.Scale != 1.0) {
      error = "text takes no scale: " + text;
      return std::nullopt;
    }
  }
  def.Name = DefaultValueName(def);
  return def;
}
