#include "DeviceBanks.h"

DeviceBanks::DeviceBanks(uint8_t address)
    : coils(kCoils), discreteInputs(kDiscreteInputs), holding(kHoldingRegisters), inputRegisters(kInputRegisters) {
  for (size_t k = 0; k < kCoils; ++k) coils[k] = (k + address) % 3 == 0;
  for (size_t k = 0; k < kDiscreteInputs; ++k) discreteInputs[k] = (k + address) % 5 == 0;
  for (size_t k = 0; k < kHoldingRegisters; ++k) holding[k] = static_cast<uint16_t>(address * 1000u + k);
  for (size_t k = 0; k < kInputRegisters; ++k) inputRegisters[k] = static_cast<uint16_t>(~(address * 1000u + k));
}
