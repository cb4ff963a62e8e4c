// The data area of the grid as texts: data rows 1..16, columns 0..15. Data
// row r, column c stands for byte (r - 1) * 16 + c.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

inline constexpr int kGridColumns = 16;
inline constexpr int kGridDataRows = 16;

using GridTexts = std::array<std::array<std::string, kGridColumns>, kGridDataRows>;  // [row - 1][column]

// Reads the text of data cell (column, row), row counted from 1.
using CellReader = std::function<std::string(int column, int row)>;

// A cell read for sending: base 16, leading blanks skipped, reading stops at
// the first character that is no hex digit; empty or non-numeric gives 0,
// more than 32 bits gives all ones.
uint32_t HexCellValue(const std::string& text);

// Two upper-case hexadecimal digits ("00".."FF") and plain decimal ("0".."255").
std::string Hex2(uint32_t value);
std::string Decimal(int64_t value);
