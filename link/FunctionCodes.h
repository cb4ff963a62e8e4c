// The function codes the link sends, by name, and what each does to a
// device: which get no answer and which change what a device holds.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

namespace fc {
inline constexpr uint8_t ReadCoils = 1;
inline constexpr uint8_t ReadDiscreteInputs = 2;
inline constexpr uint8_t ReadHoldingRegisters = 3;
inline constexpr uint8_t ReadInputRegisters = 4;
inline constexpr uint8_t WriteSingleCoil = 5;
inline constexpr uint8_t WriteSingleRegister = 6;
inline constexpr uint8_t WriteCompletionPoll = 14;  // is the device still storing a database?
inline constexpr uint8_t WriteMultipleCoils = 15;
inline constexpr uint8_t WriteMultipleRegisters = 16;  // a foreign master's; the link does not send it
inline constexpr uint8_t ReportServerId = 17;
inline constexpr uint8_t DeviceCode65 = 65;      // the device's, of no known layout; the link does not send it
inline constexpr uint8_t ReadData66 = 66;        // 24 data bytes
inline constexpr uint8_t ReadData67 = 67;        // bytes shown in decimal
inline constexpr uint8_t ReadModuleDatabase = 68;
inline constexpr uint8_t WriteModuleDatabase = 69;  // no answer; completion polls follow
inline constexpr uint8_t SetClocks = 70;            // broadcast, no answer
inline constexpr uint8_t ReadRecords71 = 71;        // four 54-byte records
inline constexpr uint8_t WriteBlock = 100;          // up to 2048 bytes
}  // namespace fc

// The function codes the link sends, in table order; anything else is refused.
inline constexpr std::array<uint8_t, 16> AllowedCodes = {
    fc::ReadCoils,          fc::ReadDiscreteInputs,  fc::ReadHoldingRegisters, fc::ReadInputRegisters,
    fc::WriteSingleCoil,    fc::WriteSingleRegister, fc::WriteCompletionPoll,  fc::WriteMultipleCoils,
    fc::ReportServerId,     fc::ReadData66,          fc::ReadData67,           fc::ReadModuleDatabase,
    fc::WriteModuleDatabase, fc::SetClocks,          fc::ReadRecords71,        fc::WriteBlock};

constexpr bool IsAllowedCode(uint8_t code) {
  return std::find(AllowedCodes.begin(), AllowedCodes.end(), code) != AllowedCodes.end();
}

// The function code of an exception answer to `code`: its top bit set.
constexpr uint8_t ExceptionFunction(uint8_t code) { return static_cast<uint8_t>(code | 0x80); }
constexpr bool IsExceptionFunction(uint8_t function) { return (function & 0x80) != 0; }

// Requests whose answers carry bits (coils, inputs) rather than registers.
constexpr bool ReadsBits(uint8_t code) {
  return code == fc::ReadCoils || code == fc::ReadDiscreteInputs;
}
constexpr bool ReadsRegisters(uint8_t code) {
  return code == fc::ReadHoldingRegisters || code == fc::ReadInputRegisters;
}

// The link writes these and reads nothing back.
constexpr bool GetsNoAnswer(uint8_t code) {
  return code == fc::WriteModuleDatabase || code == fc::SetClocks;
}

// Requests that change what a device holds (its outputs, registers,
// databases or clock). Unknown codes count as changing: a code whose effect
// we do not know is never sent where nobody asked for a write.
constexpr bool ChangesDevice(uint8_t code) {
  switch (code) {
    case fc::ReadCoils:
    case fc::ReadDiscreteInputs:
    case fc::ReadHoldingRegisters:
    case fc::ReadInputRegisters:
    case fc::WriteCompletionPoll:
    case fc::ReportServerId:
    case fc::ReadData66:
    case fc::ReadData67:
    case fc::ReadModuleDatabase:
    case fc::ReadRecords71:
      return false;
    default:
      return true;
  }
}
