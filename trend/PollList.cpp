#include "PollList.h"

#include <charconv>

#include "ComPortClass.h"
#include "HexBytes.h"

namespace {
bool ReadInt(const std::string& text, int& value) {
  size_t start = text.find_first_not_of(' ');
  size_t end = text.find_last_not_of(' ');
  if (start == std::string::npos) return false;
  const auto [at, ec] = std::from_chars(text.data() + start, text.data() + end + 1, value);
  return ec == std::errc() && at == text.data() + end + 1;
}
}  // namespace

std::optional<PollEntry> ParsePollEntry(const std::string& device, const std::string& code,
                                        const std::string& data, std::string& error) {
  PollEntry entry;
  int number = 0;
  if (!ReadInt(device, number) || number < 1 || number > 247) {
    error = "Устройство: адрес от 1 до 247";
    return std::nullopt;
  }
  entry.Device = static_cast<uint8_t>(number);
  if (!ReadInt(code, number) || number < 0 || number > 255 || !IsAllowedCode(static_cast<uint8_t>(number))) {
    error = "Запрос: номер функции, которую посылает связь";
    return std::nullopt;
  }
  entry.Code = static_cast<uint8_t>(number);
  if (ChangesDevice(entry.Code) || GetsNoAnswer(entry.Code)) {
    error = "Запрос " + std::to_string(number) + " изменяет устройство: в цикле трендов только чтение";
    return std::nullopt;
  }
  const auto bytes = ParseHexBytes(data);
  if (!bytes || bytes->size() > static_cast<size_t>(kMaxDataLen)) {
    error = "Данные: байты в шестнадцатеричном виде, например 00 00 00 0A";
    return std::nullopt;
  }
  entry.Data = *bytes;
  // A read of bits or registers names its first one and how many (two bytes each).
  if (ReadsBits(entry.Code) || ReadsRegisters(entry.Code)) {
    const int quantity = entry.Data.size() == 4 ? entry.Data[2] << 8 | entry.Data[3] : 0;
    if (entry.Data.size() != 4 || quantity < 1 || !QuantityFits(entry.Code, quantity)) {
      error = "Данные: начальный адрес и количество, два байта каждое (например 00 00 00 0A), количество от 1 до " +
              std::to_string(ReadsBits(entry.Code) ? kMaxBitQuantity : kMaxRegisterQuantity);
      return std::nullopt;
    }
  }
  return entry;
}

int32_t RunPollEntry(TComPortClass& link, const PollEntry& entry) {
  std::vector<uint8_t> answer(kFrameBufferSize);
  return link.Transact(entry.Device - 1, entry.Code, static_cast<int32_t>(entry.Data.size()),
                       entry.Data.empty() ? nullptr : entry.Data.data(), answer.data(),
                       static_cast<int32_t>(answer.size()));
}

void PollCycle::SetEntries(std::vector<PollEntry> entries) {
  entries_ = std::move(entries);
  next_ = entries_.size();
}

bool PollCycle::Begin() {
  if (entries_.empty()) return false;
  if (UnderWay()) {
    ++missed_;
    return false;
  }
  next_ = 0;
  ++cycles_;
  return true;
}

std::optional<PollEntry> PollCycle::Next() {
  if (!UnderWay()) return std::nullopt;
  return entries_[next_++];
}
