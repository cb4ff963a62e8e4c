// The data of an answer (or of grid cells) read as values: 16-bit unsigned
// and signed, 32- and 64-bit unsigned, signed and float, and text, in the
// four byte and word orders devices use, and as bits for coil and input answers.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// A, B, C, D: the bytes in the order they came. ABCD is big-endian (Modbus's
// own order within a register, high register first); CDAB swaps the
// registers, BADC the bytes in each register, DCBA both.
enum class ByteOrder { ABCD, CDAB, BADC, DCBA };
inline constexpr ByteOrder kByteOrders[] = {ByteOrder::ABCD, ByteOrder::CDAB, ByteOrder::BADC,
                                            ByteOrder::DCBA};
const char* ByteOrderName(ByteOrder order);

struct RegisterValues {
  size_t Register = 0;  // index of the 16-bit register in the data
  uint16_t U16 = 0;     // the register, with BADC and DCBA its bytes swapped
  int16_t S16 = 0;
  // From this register and the next, when there is a next one.
  std::optional<uint32_t> U32;
  std::optional<int32_t> S32;
  std::optional<float> F32;
};

// One row per register (two bytes; an odd last byte is left out).
std::vector<RegisterValues> DecodeRegisters(std::span<const uint8_t> data, ByteOrder order);

// Bits least significant first within each byte, as coil and input answers carry them.
std::vector<bool> DecodeBits(std::span<const uint8_t> data);

// The data bytes of an answer frame with a byte count (codes 1-4 and the
// device's reading codes): after address, code and count, before the CRC.
// Empty for anything else (an echo, an exception, a short frame).
std::span<const uint8_t> AnswerData(const std::vector<uint8_t>& frame);

// A float as the value view shows it ("1.5", "-3.25e+10", "NaN", "inf").
std::string FloatText(float value);

// The value view's table: one line per register, numbered from
// `firstRegister`, with its two bytes as they came and its values in `order`
// (TypedValue.h) starting at that register; a column is empty where the
// registers after it are too few. The text column holds the register's two
// characters.
enum ValueColumn {
  ValRegister, ValHex, ValU16, ValS16, ValU32, ValS32, ValFloat, ValU64, ValS64, ValDouble, ValText,
  kValueColumns
};
using ValueLine = std::array<std::string, kValueColumns>;
const ValueLine& ValueColumnTitles();
std::vector<ValueLine> DescribeValues(std::span<const uint8_t> data, ByteOrder order,
                                      size_t firstRegister = 0);

// Bits eight to a line, numbered from `firstBit`: "16–23: 1 0 0 1 0 0 0 0";
// only the first `count` of them when the request says how many were read.
std::vector<std::string> DescribeBits(std::span<const uint8_t> data, size_t firstBit = 0,
                                      std::optional<size_t> count = std::nullopt);

// The first register or coil a reading request (codes 1 to 4) asks for,
// which numbers the data of its answer; nothing for other frames.
std::optional<uint16_t> RequestedStart(const std::vector<uint8_t>& request);
// How many registers or coils it asks for.
std::optional<uint16_t> RequestedQuantity(const std::vector<uint8_t>& request);
