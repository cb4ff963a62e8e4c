#include "SimDevice.h"

#include <cstdio>

#include "SimCrc.h"

namespace {
uint16_t Be16(const std::vector<uint8_t>& data, size_t at) {
  return static_cast<uint16_t>(data[at] << 8 | data[at + 1]);
}
void PutBe16(std::vector<uint8_t>& out, unsigned value) {
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value));
}
constexpr unsigned kMaxReadBits = 2000;
constexpr unsigned kMaxReadRegisters = 125;
constexpr unsigned kMaxWriteCoils = 1968;
constexpr unsigned kMaxBlock100 = 2048;
constexpr char kDeviceId[] = "modbus-sim";
}  // namespace

std::vector<uint8_t> ExceptionBody(uint8_t code, uint8_t exception) {
  return {static_cast<uint8_t>(code | 0x80), exception};
}

SimDevice::SimDevice(uint8_t address, BusyPolicy busy, SimLog log)
    : address_(address), busy_(busy), log_(std::move(log)), banks_(address) {}

void SimDevice::Note(const std::string& text) const {
  if (log_) log_("device " + std::to_string(address_) + ": " + text);
}

bool SimDevice::Busy() const {
  if (busy_.ms > 0) return std::chrono::steady_clock::now() < busyUntil_;
  return busyPollsLeft_ > 0;
}

std::optional<std::vector<uint8_t>> SimDevice::Handle(const std::vector<uint8_t>& frame) {
  if (frame.size() < 4) return std::nullopt;
  const uint8_t code = frame[1];
  const Data data(frame.begin() + 2, frame.end() - 2);
  // Codes 69 and 70 are never answered; a broadcast is acted on only for 70.
  if (code == 70) {
    SetClock(data);
    return std::nullopt;
  }
  if (frame[0] == 0) return std::nullopt;
  if (code == 69) {
    WriteDatabase(data);
    return std::nullopt;
  }
  auto body = Answer(code, data);
  if (!body) return std::nullopt;
  std::vector<uint8_t> answer;
  answer.reserve(body->size() + 3);
  answer.push_back(address_);
  answer.insert(answer.end(), body->begin(), body->end());
  AppendCrc(answer);
  return answer;
}

std::optional<SimDevice::Data> SimDevice::Answer(uint8_t code, const Data& data) {
  switch (code) {
    case 1: return ReadBits(code, data, banks_.coils);
    case 2: return ReadBits(code, data, banks_.discreteInputs);
    case 3: return ReadRegisters(code, data, banks_.holding);
    case 4: return ReadRegisters(code, data, banks_.inputRegisters);
    case 5: return WriteCoil(data);
    case 6: return WriteRegister(data);
    // 14 and 17 carry no data: with some they are bad requests, not echoed at any length.
    case 14: return data.empty() ? CompletionPoll() : ExceptionBody(code, IllegalDataValue);
    case 15: return WriteCoils(data);
    case 17: return data.empty() ? ReportId() : ExceptionBody(code, IllegalDataValue);
    case 66: return Status66(data);
    case 67: return Block67(data);
    case 68: return ReadDatabase(data);
    case 71: return Records71(data);
    case 100: return Block100(data);
    default: return ExceptionBody(code, IllegalFunction);
  }
}

std::optional<SimDevice::Data> SimDevice::ReadBits(uint8_t code, const Data& data,
                                                   const std::vector<uint8_t>& bank) {
  if (data.size() != 4) return ExceptionBody(code, IllegalDataValue);
  const unsigned start = Be16(data, 0), quantity = Be16(data, 2);
  if (quantity < 1 || quantity > kMaxReadBits) return ExceptionBody(code, IllegalDataValue);
  if (start + quantity > bank.size()) return ExceptionBody(code, IllegalDataAddress);
  Data out{code, static_cast<uint8_t>((quantity + 7) / 8)};
  out.resize(2 + out[1], 0);
  for (unsigned i = 0; i < quantity; ++i)
    if (bank[start + i]) out[2 + i / 8] |= static_cast<uint8_t>(1u << (i % 8));
  return out;
}

std::optional<SimDevice::Data> SimDevice::ReadRegisters(uint8_t code, const Data& data,
                                                        const std::vector<uint16_t>& bank) {
  if (data.size() != 4) return ExceptionBody(code, IllegalDataValue);
  const unsigned start = Be16(data, 0), quantity = Be16(data, 2);
  if (quantity < 1 || quantity > kMaxReadRegisters) return ExceptionBody(code, IllegalDataValue);
  if (start + quantity > bank.size()) return ExceptionBody(code, IllegalDataAddress);
  Data out{code, static_cast<uint8_t>(quantity * 2)};
  for (unsigned i = 0; i < quantity; ++i) PutBe16(out, bank[start + i]);
  return out;
}

std::optional<SimDevice::Data> SimDevice::WriteCoil(const Data& data) {
  if (data.size() != 4) return ExceptionBody(5, IllegalDataValue);
  const unsigned address = Be16(data, 0), value = Be16(data, 2);
  if (value != 0xFF00 && value != 0x0000) return ExceptionBody(5, IllegalDataValue);
  if (address >= banks_.coils.size()) return ExceptionBody(5, IllegalDataAddress);
  banks_.coils[address] = value == 0xFF00;
  Data out{5};
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

std::optional<SimDevice::Data> SimDevice::WriteRegister(const Data& data) {
  if (data.size() != 4) return ExceptionBody(6, IllegalDataValue);
  const unsigned address = Be16(data, 0);
  if (address >= banks_.holding.size()) return ExceptionBody(6, IllegalDataAddress);
  banks_.holding[address] = Be16(data, 2);
  Data out{6};
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

std::optional<SimDevice::Data> SimDevice::WriteCoils(const Data& data) {
  if (data.size() < 5) return ExceptionBody(15, IllegalDataValue);
  const unsigned start = Be16(data, 0), quantity = Be16(data, 2), count = data[4];
  if (quantity < 1 || quantity > kMaxWriteCoils || count != (quantity + 7) / 8 || data.size() != 5 + count)
    return ExceptionBody(15, IllegalDataValue);
  if (start + quantity > banks_.coils.size()) return ExceptionBody(15, IllegalDataAddress);
  for (unsigned i = 0; i < quantity; ++i) banks_.coils[start + i] = (data[5 + i / 8] >> (i % 8)) & 1;
  Data out{15};
  out.insert(out.end(), data.begin(), data.begin() + 4);
  return out;
}

std::optional<SimDevice::Data> SimDevice::ReportId() {
  Data out{17, 0, address_, 0xFF};
  out.insert(out.end(), kDeviceId, kDeviceId + sizeof kDeviceId - 1);
  out[1] = static_cast<uint8_t>(out.size() - 2);
  return out;
}

std::optional<SimDevice::Data> SimDevice::CompletionPoll() {
  if (Busy()) {
    if (busy_.ms <= 0) --busyPollsLeft_;
    return ExceptionBody(14, DeviceBusy);
  }
  return Data{14};  // the echo of the request
}

std::optional<SimDevice::Data> SimDevice::Status66(const Data& data) {
  if (data.size() != 4) return ExceptionBody(66, IllegalDataValue);
  Data out{66, 24, data[1], data[3]};
  for (unsigned i = 2; i < 24; ++i) out.push_back(static_cast<uint8_t>(address_ + i));
  return out;
}

std::optional<SimDevice::Data> SimDevice::Block67(const Data& data) {
  if (data.size() != 2) return ExceptionBody(67, IllegalDataValue);
  Data out{67, 128};
  for (unsigned i = 0; i < 128; ++i) out.push_back(static_cast<uint8_t>((data[1] + i) % 100));
  return out;
}

std::optional<SimDevice::Data> SimDevice::ReadDatabase(const Data& data) {
  if (data.size() > 1) return ExceptionBody(68, IllegalDataValue);
  const auto& database = databases_.Read(data.empty() ? std::nullopt : std::optional<uint8_t>(data[0]));
  Data out{68, static_cast<uint8_t>(database.size())};
  out.insert(out.end(), database.begin(), database.end());
  return out;
}

void SimDevice::WriteDatabase(const Data& data) {
  if (!databases_.Store(data)) {
    Note("database write of " + std::to_string(data.size()) + " bytes refused (1..255 bytes expected)");
    return;
  }
  busyPollsLeft_ = busy_.polls;
  busyUntil_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(busy_.ms);
  Note("database of module " + std::to_string(data[0]) + " stored (" + std::to_string(data.size()) +
       " bytes), busy");
}

void SimDevice::SetClock(const Data& data) {
  if (data.size() < 5) {
    Note("clock frame without time fields ignored");
    return;
  }
  clock_ = {data[0], data[1], data[2], data[3], data[4]};
  char text[64];
  std::snprintf(text, sizeof text, "clock set to %02u:%02u:%02u, day %u, month %u", clock_.hours,
                clock_.minutes, clock_.seconds, clock_.day, clock_.month);
  Note(text);
}

std::optional<SimDevice::Data> SimDevice::Records71(const Data& data) {
  if (data.size() != 2) return ExceptionBody(71, IllegalDataValue);
  Data out{71, 216};
  for (unsigned record = 0; record < 4; ++record) {
    for (unsigned j = 0; j < 48; ++j) out.push_back(static_cast<uint8_t>(data[0] + 48 * record + j));
    out.insert(out.end(), {clock_.seconds, clock_.minutes, clock_.hours, clock_.day, clock_.month, data[1]});
  }
  return out;
}

std::optional<SimDevice::Data> SimDevice::Block100(const Data& data) {
  if (data.size() < 2) return ExceptionBody(100, IllegalDataValue);
  const unsigned count = Be16(data, 0);
  if (count < 1 || count > kMaxBlock100 || data.size() != 2 + count) return ExceptionBody(100, IllegalDataValue);
  lastBlock_.assign(data.begin() + 2, data.end());
  Data out{100, 2};
  PutBe16(out, count);
  return out;
}
