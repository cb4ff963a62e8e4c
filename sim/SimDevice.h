// One simulated field device: its banks, module databases, clock and the
// busy period after a database write. Answers whole request frames.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "DeviceBanks.h"
#include "ModuleDatabases.h"

using SimLog = std::function<void(const std::string&)>;

// How long the device stays busy after a database write (code 69): `ms` > 0
// makes it a time, otherwise `polls` code-14 polls are answered "busy".
struct BusyPolicy {
  int polls = 3;
  int ms = 0;
};

struct DeviceClock {
  uint8_t seconds = 0, minutes = 0, hours = 0, day = 0, month = 0;
};

enum ModbusException : uint8_t {
  IllegalFunction = 1,
  IllegalDataAddress = 2,
  IllegalDataValue = 3,
  DeviceBusy = 6,
};

class SimDevice {
public:
  SimDevice(uint8_t address, BusyPolicy busy, SimLog log = {});

  // `frame`: a request with a good CRC addressed to this device, or a
  // broadcast (address 0). The answer frame with its CRC, or nothing.
  std::optional<std::vector<uint8_t>> Handle(const std::vector<uint8_t>& frame);

  uint8_t Address() const { return address_; }
  DeviceBanks& Banks() { return banks_; }
  ModuleDatabases& Databases() { return databases_; }
  const DeviceClock& Clock() const { return clock_; }
  bool Busy() const;
  const std::vector<uint8_t>& LastBlock() const { return lastBlock_; }

private:
  using Data = std::vector<uint8_t>;
  std::optional<Data> Answer(uint8_t code, const Data& data);
  std::optional<Data> ReadBits(uint8_t code, const Data& data, const std::vector<uint8_t>& bank);
  std::optional<Data> ReadRegisters(uint8_t code, const Data& data, const std::vector<uint16_t>& bank);
  std::optional<Data> WriteCoil(const Data& data);
  std::optional<Data> WriteRegister(const Data& data);
  std::optional<Data> WriteCoils(const Data& data);
  std::optional<Data> ReportId();
  std::optional<Data> CompletionPoll();
  std::optional<Data> Status66(const Data& data);
  std::optional<Data> Block67(const Data& data);
  std::optional<Data> ReadDatabase(const Data& data);
  void WriteDatabase(const Data& data);
  void SetClock(const Data& data);
  std::optional<Data> Records71(const Data& data);
  std::optional<Data> Block100(const Data& data);
  void Note(const std::string& text) const;

  uint8_t address_;
  BusyPolicy busy_;
  SimLog log_;
  DeviceBanks banks_;
  ModuleDatabases databases_;
  DeviceClock clock_;
  int busyPollsLeft_ = 0;
  std::chrono::steady_clock::time_point busyUntil_{};
  std::vector<uint8_t> lastBlock_;
};

// An exception answer body: code | 0x80, exception code.
std::vector<uint8_t> ExceptionBody(uint8_t code, uint8_t exception);
