// The device data store of the main window: what is known about the selected
// device between requests, the decoding of the device-specific answers into
// it, and the checks of the request and data entries.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

class EntryField;
class OperatorInterface;

// The text of the input error box when the caller gives none.
inline constexpr const char* kInputErrorText = " Ошибка ввода ";

class TServClass {
public:
  // `boxes` shows the input error box; `beep` sounds the system's default beep.
  TServClass(OperatorInterface& boxes, std::function<void()> beep);

  int32_t DeviceIndex = 0;  // device number chosen minus 1 (0..30)
  int32_t DbLength = 0;     // byte count of the last good code-68 answer
  uint8_t DbModule = 0;     // module number of the database in the grid; 0 = none
  std::array<uint8_t, 24> Data66{};
  std::array<uint8_t, 192> InputBits{};  // one byte (0 or 1) per input of the last code-2 answer
  std::array<uint8_t, 255> DbImage{};
  std::array<std::array<std::array<uint8_t, 8>, 6>, 4> Blocks71{};  // 4 records, 6 groups of 8
  std::array<std::array<uint8_t, 6>, 4> Tails71{};

  // Decodes a good answer of code 2, 66 or 71 (answer frame from byte 0);
  // other codes change nothing. Bytes beyond the buffer read as 0.
  void UpdateFromAnswer(uint8_t code, std::span<const uint8_t> answer);

  // Key filters: 0 accepted, 13 Enter on an entry holding text, 1 refused
  // (after the input error routine has run).
  int32_t CheckDecKey(EntryField& entry, uint16_t key);
  int32_t CheckHexKey(EntryField& entry, uint16_t key);
  // Red entry, beep, the error box, then white with the text "00".
  void InputError(EntryField& entry, const std::string& message = kInputErrorText);
  // 1 when the entry was empty (the input error routine has run), else 0.
  int32_t CheckEmpty(EntryField& entry);

private:
  int32_t CheckKey(EntryField& entry, uint16_t key, bool hex);

  OperatorInterface& boxes_;
  std::function<void()> beep_;
};
