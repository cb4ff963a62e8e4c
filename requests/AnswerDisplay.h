// How an answer is shown: its first twenty bytes in Edit1..Edit20, and for the
// reading codes its data bytes in the grid.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "GridTexts.h"

class TServClass;

inline constexpr int kAnswerBufferSize = 260;
// Only answer bytes 0..234 are ever shown.
inline constexpr int kShownAnswerBytes = 235;

struct AnswerLayout {
  std::array<std::string, 20> Fields;  // Edit1..Edit20
  std::optional<GridTexts> Grid;       // the new data rows; none: the grid is left alone
};

// `result` is the transaction's result code: 130 (no answer) leaves the grid alone.
AnswerLayout LayOutAnswer(uint8_t code, int32_t result, std::span<const uint8_t> answer,
                          const TServClass& store);
