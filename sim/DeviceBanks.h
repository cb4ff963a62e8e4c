// The four data banks of a simulated device and their initial pattern
// (documented in README.md, so a master can check what it reads).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct DeviceBanks {
  static constexpr size_t kCoils = 2048;
  static constexpr size_t kDiscreteInputs = 2048;
  static constexpr size_t kHoldingRegisters = 1024;
  static constexpr size_t kInputRegisters = 1024;

  explicit DeviceBanks(uint8_t address);

  std::vector<uint8_t> coils;           // 0 or 1
  std::vector<uint8_t> discreteInputs;  // 0 or 1
  std::vector<uint16_t> holding;
  std::vector<uint16_t> inputRegisters;
};
