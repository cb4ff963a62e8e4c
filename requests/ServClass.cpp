#include "ServClass.h"

#include <algorithm>
#include <utility>

#include "EntryField.h"
#include "FunctionCodes.h"
#include "KeyFilter.h"
#include "OperatorInterface.h"

TServClass::TServClass(OperatorInterface& boxes, std::function<void()> beep)
    : boxes_(boxes), beep_(std::move(beep)) {
  DbLength = 0;
  DbModule = 0;
}

void TServClass::UpdateFromAnswer(uint8_t code, std::span<const uint8_t> answer) {
  const auto byteAt = [answer](size_t i) -> uint8_t { return i < answer.size() ? answer[i] : 0; };
  switch (code) {
    case fc::ReadDiscreteInputs: {
      std::array<uint8_t, 192> bits{};
      const size_t count = std::min<size_t>(byteAt(2), bits.size() / 8);
      for (size_t i = 0; i < count; ++i)
        for (size_t j = 0; j < 8; ++j) bits[8 * i + j] = (byteAt(3 + i) >> j) & 1;
      InputBits = bits;
      break;
    }
    case fc::ReadData66:
      // Whatever the byte count says: the next 24 bytes of the frame.
      for (size_t i = 0; i < Data66.size(); ++i) Data66[i] = byteAt(3 + i);
      break;
    case fc::ReadRecords71:
      for (size_t k = 0; k < 4; ++k) {
        const size_t record = 3 + 54 * k;
        for (size_t g = 0; g < 6; ++g)
          for (size_t b = 0; b < 8; ++b) Blocks71[k][g][b] = byteAt(record + 8 * g + b);
        for (size_t t = 0; t < 6; ++t) Tails71[k][t] = byteAt(record + 48 + t);
      }
      break;
    default:
      break;
  }
}

int32_t TServClass::CheckKey(EntryField& entry, uint16_t key, bool hex) {
  // The text is only looked at for Enter.
  const bool empty = key == VkReturn && entry.Text().empty();
  switch (ClassifyKey(key, hex, empty)) {
    case KeyVerdict::Accepted: return 0;
    case KeyVerdict::Enter: return 13;
    case KeyVerdict::Rejected: break;
  }
  InputError(entry);
  return 1;
}

int32_t TServClass::CheckDecKey(EntryField& entry, uint16_t key) { return CheckKey(entry, key, false); }

int32_t TServClass::CheckHexKey(EntryField& entry, uint16_t key) { return CheckKey(entry, key, true); }

void TServClass::InputError(EntryField& entry, const std::string& message) {
  entry.SetBackground(255, 0, 0);
  if (beep_) beep_();
  boxes_.ShowMessage(message, "Ошибка", MsgIcon::Error, MsgButtons::Ok);
  entry.SetBackground(255, 255, 255);
  entry.SetText("00");
}

int32_t TServClass::CheckEmpty(EntryField& entry) {
  if (!entry.Text().empty()) return 0;
  InputError(entry);
  return 1;
}
