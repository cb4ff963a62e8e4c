// One value in an answer's data, as the value view, the trend and modbus-cli
// name it: where it lies (a byte offset in the data), its type and byte
// order, an optional scale and offset, its unit and name; and the value read
// from the bytes. Integers stay exact up to 64 bits; floats keep NaN and
// infinities; text takes two characters per register.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "ValueView.h"  // ByteOrder

enum class ValueType { U16, S16, U32, S32, U64, S64, F32, F64, Text };

struct ValueDef {
  size_t Offset = 0;  // in bytes of the answer's data
  ValueType Type = ValueType::U16;
  size_t TextLength = 0;  // characters of a Text value (its bytes, rounded up to whole registers)
  ByteOrder Order = ByteOrder::ABCD;
  double Scale = 1.0;  // shown = read × Scale + Shift
  double Shift = 0.0;
  std::string Unit;
  std::string Name;

  bool Scaled() const { return Scale != 1.0 || Shift != 0.0; }
  bool operator==(const ValueDef&) const = default;
};

// A number of `type` at `offset`, and text of `length` characters.
ValueDef ValueAt(size_t offset, ValueType type, ByteOrder order = ByteOrder::ABCD);
ValueDef TextAt(size_t offset, size_t length, ByteOrder order = ByteOrder::ABCD);

// "u16", "s64", "f32", "str10".
std::string TypeName(const ValueDef& def);
// The bytes a value takes in the data: 2, 4 or 8, or its text rounded up to registers.
size_t ValueBytes(const ValueDef& def);
// A name for a value without one: "3:u16", "4:f32:CDAB", "0:str6:BADC" (the
// order only where it changes anything), with "×0.1" for a scale.
std::string DefaultValueName(const ValueDef& def);

// What the bytes say, before any scale.
struct TypedValue {
  enum class Kind { Missing, Unsigned, Signed, Real, Text };
  Kind Is = Kind::Missing;  // Missing: the data is too short for it
  uint64_t U = 0;
  int64_t S = 0;
  double R = 0.0;
  bool Single = false;  // R came from a 32-bit float (its shortest text is the float's)
  std::string T;

  // The number, for drawing and statistics: NaN for text and for a missing value.
  double Number() const;
};

TypedValue ReadValue(std::span<const uint8_t> data, const ValueDef& def);
// ReadValue, then the scale and offset applied (a real number then) when the definition has them.
TypedValue ShownValue(std::span<const uint8_t> data, const ValueDef& def);

// Exact integers; floats in their shortest text that reads back the same
// ("0.1", "1e+20", "NaN", "inf", "-inf"); text as it is; "" when missing.
std::string ValueText(const TypedValue& value);

// Text from bytes: printable ASCII as it is, the Cyrillic letters of code
// page 1251 as UTF-8, a backslash doubled, any other byte as \xNN; NUL
// bytes at the end (padding) are left out.
std::string BytesAsText(std::span<const uint8_t> bytes);

// "OFFSET:TYPE[:ORDER][:SCALE]", e.g. "0:u16", "4:f32:CDAB", "8:s32:DCBA:0.1",
// "2:str10"; nothing, with the reason in `error`, on a mistake.
std::optional<ValueDef> ParseValueOption(const std::string& text, std::string& error);
// The byte order by name ("ABCD", ...).
std::optional<ByteOrder> ParseByteOrder(const std::string& text);
