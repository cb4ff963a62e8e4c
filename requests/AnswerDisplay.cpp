#include "AnswerDisplay.h"

#include <algorithm>

#include "FunctionCodes.h"
#include "ResultCodes.h"
#include "ServClass.h"

namespace {
int RowsFilled(uint8_t code) {
  switch (code) {
    case fc::ReadDiscreteInputs: return 12;
    case fc::ReadHoldingRegisters:
    case fc::ReadInputRegisters:
    case fc::ReadRecords71: return 13;
    case fc::ReadData66: return 2;
    case fc::ReadData67: return 8;
    case fc::ReadModuleDatabase: return 15;
    default: return 0;
  }
}
}  // namespace

AnswerLayout LayOutAnswer(uint8_t code, int32_t result, std::span<const uint8_t> answer,
                          const TServClass& store) {
  // The display copy: bytes past 234 are never shown.
  std::array<int32_t, 256> values{};
  const size_t shown = std::min<size_t>(answer.size(), kShownAnswerBytes);
  for (size_t i = 0; i < shown; ++i) values[i] = answer[i];

  AnswerLayout layout;
  for (int n = 0; n < 20; ++n)
    layout.Fields[static_cast<size_t>(n)] = n < 3 ? Decimal(values[static_cast<size_t>(n)])
                                                  : Hex2(static_cast<uint32_t>(values[static_cast<size_t>(n)]));
  const int rows = RowsFilled(code);
  if (result == ResultNoAnswer || rows == 0) return layout;

  GridTexts grid;  // every cell empty; not `grid{}`, which crashes clang 14 (fuzz build)
  for (int r = 1; r <= rows; ++r) {
    for (int c = 0; c < kGridColumns; ++c) {
      const size_t index = static_cast<size_t>((r - 1) * 16 + c);
      std::string& text = grid[static_cast<size_t>(r - 1)][static_cast<size_t>(c)];
      if (code == fc::ReadDiscreteInputs)
        text = Hex2(store.InputBits[index]);
      else if (code == fc::ReadData67)
        text = Decimal(values[3 + index]);
      else
        text = Hex2(static_cast<uint32_t>(values[3 + index]));
    }
  }
  layout.Grid = grid;
  return layout;
}
